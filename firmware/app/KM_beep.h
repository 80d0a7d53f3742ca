// The beeper and alarms: timed beeps, repeating beeps and three two-tone
// alarm patterns, timed by the 1 ms tick, with the stored frequency, volume
// and maximum volume; and the host commands that drive them.
#pragma once

#include <stdint.h>

// 1 while the tone is switched on by the beeper functions (alarm tones do
// not change it).
extern uint8_t beep_state;
// 0 none, 1-3 the alarm pattern sounding.
extern uint32_t alarmType;

// Start-up: alarm off, the audio hardware set up, the stored volume applied.
void KM_BeepInit(void);
// Every millisecond, from the tick interrupt.
void BeepTimerCheck(void);
// A beep of ms milliseconds (start-up's calibration offer).
void KM_Beep(uint32_t ms);

// Stores v (not saved) and sets the hardware to v x maximum / 255.
void SetBeepVolume(uint8_t v);
// Stores the maximum; it counts from the next SetBeepVolume.
void BeepMaxSet(uint8_t m);
void BeepFrequency(uint32_t f);
uint32_t GetBeepFrequency(void);
uint8_t GetBeepVolume(void);
int BeepActive(void);
void Beep_Hardware_On(void);
void Beep_Hardware_Off(void);
// 0 switches the tone off; otherwise a beep of ms milliseconds.
void BeepImmediate(uint32_t ms);
// on ms of tone, off ms of silence, again and again; on = 0 ends it.
void BeepRepeat(uint32_t on, uint32_t off);
// 1 for the patterns 1-3 (they sound while a beep lasts); any other type
// ends the alarm and gives 0.
int AlarmSet(int type);

// Host commands: "beep", "beepw", "al", "bv"/"bvs", "bf"/"bfs", "*spkr",
// "bMaX", "bb", "rb".  Each returns the dispatcher's result code.
int cmdBeep(uint32_t ms);
int cmdBeepWait(uint32_t ms);
int cmdAlarm(int type, uint32_t ms);
int cmdBeepVolume(const char* cmd);
int cmdBeepFrequency(const char* cmd);
int cmdSpeaker(const char* cmd);
int cmdBeepMax(uint32_t m);
int cmdClickBeep(uint32_t n);
// has_type 0: the repeating beep without an alarm.
int cmdRepeatBeep(uint32_t on, uint32_t off, int type, int has_type);
