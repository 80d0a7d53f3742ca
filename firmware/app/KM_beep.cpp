#include "app/KM_beep.h"

#include <stdio.h>
#include <string.h>

#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/KM_touch.h"
#include "app/parse_command.h"
#include "board/hw.h"
#include "board/miscdrivers.h"
#include "storage/KM_eeprom.h"

uint8_t beep_state;
uint32_t alarmType;

// The timed beep and the repeating beep.
static uint32_t beepCountdown;
static uint32_t repeatOnTime;  // 0: no repeating beep
static uint32_t repeatOffTime;
static uint32_t phaseCountdown;
static uint8_t phase;  // 1: on phase

// The alarm pattern.
static uint32_t alarmCounter;
static uint32_t alarmToggle;
static uint32_t alarmLow;
static uint32_t alarmHigh;

// Alarm tone offsets above the stored frequency.
#define ALARM1_RISE 750u
#define ALARM2_RISE 500u
#define ALARM3_RISE 386u
#define ALARM3_PERIOD 250u  // reload: one tone lasts 251 ms
#define VOLUME_MAX 255

// ---------------------------------------------------------------- settings

void SetBeepVolume(uint8_t v)
{
    eepromData.beepVolume = v;
    SetAudioVolume((uint32_t)v * eepromData.beepMaxVolume / VOLUME_MAX);
}

void BeepMaxSet(uint8_t m)
{
    eepromData.beepMaxVolume = m;
}

void BeepFrequency(uint32_t f)
{
    eepromData.beepFrequency = f;
}

uint32_t GetBeepFrequency(void)
{
    return eepromData.beepFrequency;
}

uint8_t GetBeepVolume(void)
{
    return eepromData.beepVolume;
}

int BeepActive(void)
{
    return beep_state == 1;
}

// ---------------------------------------------------------------- the tone

void Beep_Hardware_On(void)
{
    if (!beep_state) {
        SoundOn(eepromData.beepFrequency);
        beep_state = 1;
    }
}

void Beep_Hardware_Off(void)
{
    if (beep_state) {
        SoundOff();
        beep_state = 0;
    }
}

// The main loop changes what the tick reads with the tick held off: a tick
// between the countdown and the switch would otherwise leave a tone on.
void BeepImmediate(uint32_t ms)
{
    __ARMLIB_disableIRQ();
    if (ms == 0) {
        beepCountdown = 0;
        Beep_Hardware_Off();
    } else {
        beepCountdown = ms;
        Beep_Hardware_On();
    }
    __ARMLIB_enableIRQ();
}

void KM_Beep(uint32_t ms)
{
    BeepImmediate(ms);
}

void BeepRepeat(uint32_t on, uint32_t off)
{
    __ARMLIB_disableIRQ();
    phase = 1;
    repeatOnTime = phaseCountdown = on;
    repeatOffTime = off;
    // Without an on-time there is nothing to repeat: silence, not a tone
    // that never ends.
    if (on == 0)
        Beep_Hardware_Off();
    else
        Beep_Hardware_On();
    __ARMLIB_enableIRQ();
}

int AlarmSet(int type)
{
    uint32_t f = eepromData.beepFrequency & 0xFFFF;
    int ok = type >= 1 && type <= 3;
    __ARMLIB_disableIRQ();
    int was = alarmType != 0;
    alarmType = ok ? (uint32_t)type : 0;
    alarmCounter = 1;
    alarmToggle = 1;
    alarmLow = f;
    if (type == 1)
        alarmHigh = f + ALARM1_RISE;
    else if (type == 2)
        alarmHigh = f + ALARM2_RISE;
    else if (type == 3)
        alarmHigh = f + ALARM3_RISE;
    // An alarm's own tones do not belong to a beep: when the alarm ends
    // with no beep sounding, nothing else would silence them.
    if (was && !ok && !beep_state)
        SoundOff();
    __ARMLIB_enableIRQ();
    return ok;
}

void KM_BeepInit(void)
{
    alarmType = 0;
    beep_state = 0;
    beepCountdown = 0;
    repeatOnTime = 0;
    phaseCountdown = 0;
    InitAudio();
    SetBeepVolume(eepromData.beepVolume);
}

// ---------------------------------------------------------------- the tick

// The high tone when the toggle is set, else the low one.
static void alarm_alternate(void)
{
    SoundOn(alarmToggle ? alarmHigh : alarmLow);
    alarmToggle ^= 1;
}

static void alarm_tick(void)
{
    uint32_t was = alarmCounter--;
    // The off phase of a repeating beep stays silent under an alarm too.
    int quiet = repeatOnTime != 0 && phase == 0;
    switch (alarmType) {
    case 1:  // 16 ms of the high tone, 16 ms of silence
        if ((was & 15) == 0 && !quiet) {
            if (alarmToggle)
                SoundOn(alarmHigh);
            else
                SoundOff();
            alarmToggle ^= 1;
        }
        break;
    case 2:  // high and low, 4 ms each
        if ((was & 3) == 0 && !quiet)
            alarm_alternate();
        break;
    case 3:  // high and low, 251 ms each
        if (was == 0) {
            alarmCounter = ALARM3_PERIOD;
            if (!quiet)
                alarm_alternate();
        }
        break;
    default:
        break;
    }
}

void BeepTimerCheck(void)
{
    if (alarmType)
        alarm_tick();

    if (beepCountdown && --beepCountdown == 0) {
        Beep_Hardware_Off();
        alarmType = 0;
    }

    if (repeatOnTime) {
        if (phaseCountdown)
            --phaseCountdown;
        if (phaseCountdown == 0) {
            phase ^= 1;
            if (phase) {
                phaseCountdown = repeatOnTime;
                Beep_Hardware_On();
            } else {
                phaseCountdown = repeatOffTime;
                Beep_Hardware_Off();
            }
        }
    }
}

// ---------------------------------------------------------------- commands

static int reply_number(long v)
{
    snprintf(out_buffer, OUT_BUFFER_SIZE, "%ld\r", v);
    txString(out_buffer);
    return CMD_OK;
}

int cmdBeep(uint32_t ms)
{
    BeepImmediate(ms);
    return CMD_OK;
}

int cmdBeepWait(uint32_t ms)
{
    BeepImmediate(ms);
    while (beepCountdown) {
        if (handle_touch())
            hw_wait();
        else
            hw_idle(HW_IDLE_FOREVER);
    }
    return CMD_OK;
}

int cmdAlarm(int type, uint32_t ms)
{
    if (!AlarmSet(type))
        return CMD_FAIL;
    BeepImmediate(ms);
    return CMD_OK;
}

// "bv" and "bvs": query, v, or +d / -d when the sign stands in the first
// or second character after the keyword; "bvs" does not save.
int cmdBeepVolume(const char* cmd)
{
    int save = cmd[2] != 's';
    const char* a = cmd + (save ? 2 : 3);
    if (a[0] == '\0' || (a[0] == ' ' && (a[1] == '\0' || a[1] == ' ')))
        return reply_number(GetBeepVolume());
    int relative = a[0] == '+' || a[0] == '-' || a[1] == '+' || a[1] == '-';
    int n;
    char rest;
    if (KM_sscanf(a, "%d %c", &n, &rest) != 1) {
        txString(":err - syntax\r");
        return CMD_FAIL;
    }
    // Wide: a step near 2^31 is held at the scale's end, not wrapped round.
    int64_t v = relative ? (int64_t)GetBeepVolume() + n : n;
    if (relative)
        v = v < 0 ? 0 : v > VOLUME_MAX ? VOLUME_MAX : v;
    else if (v < 0 || v > VOLUME_MAX)
        return CMD_FAIL;
    SetBeepVolume((uint8_t)v);
    if (save)
        KM_EEPROM_Save();
    return CMD_OK;
}

// "bf" saves, "bfs" does not; without a number the frequency is reported.
int cmdBeepFrequency(const char* cmd)
{
    int save = cmd[2] != 's';
    unsigned f;
    if (KM_sscanf(cmd, save ? "bf %u" : "bfs %u", &f) != 1)
        return reply_number((long)GetBeepFrequency());
    BeepFrequency(f);
    if (save)
        KM_EEPROM_Save();
    return CMD_OK;
}

int cmdSpeaker(const char* cmd)
{
    const char* a = cmd + 5;
    if (strncmp(a, " on", 3) == 0 || strncmp(a, " off", 4) == 0) {
        SetExtSpeaker(a[2] == 'n');
        KM_EEPROM_Save();
        return CMD_OK;
    }
    while (*a == ' ')
        ++a;
    if (*a)
        return CMD_FAIL;
    txNotify(GetExtSpeaker() ? "on\r" : "off\r");
    return CMD_OK;
}

int cmdBeepMax(uint32_t m)
{
    BeepMaxSet((uint8_t)m);
    KM_EEPROM_Save();
    return CMD_OK;
}

// The click beep belongs to the hotspots (beepMS, KM_touch.h).
int cmdClickBeep(uint32_t n)
{
    beepMS = n * 10;
    return CMD_OK;
}

int cmdRepeatBeep(uint32_t on, uint32_t off, int type, int has_type)
{
    AlarmSet(has_type ? type : 0);
    BeepRepeat(on, off);
    return CMD_OK;
}
