#include "app/KM_syscmds.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "format/memimage.h"

#include "app/KM_com.h"
#include "app/KM_macros.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/KM_timer.h"
#include "app/KM_touch.h"
#include "app/Main.h"
#include "app/command.h"
#include "app/parse_command.h"
#include "board/MAC_panelTiming.h"
#include "board/KM_visibility.h"
#include "board/bootio.h"
#include "board/lcd_driver.h"
#include "config/build_config.h"
#include "graphics/GUI.h"
#include "storage/KM_eeprom.h"
#include "storage/file_sys.h"
#include "storage/sdcard.h"

// "Q": an RS-485 host polls for the reports queued for it.
int cmdQueuedReports(void)
{
    if (anythingToTx())
        txSavedBuf();
    return CMD_OK;
}

// "w n": accepted for compatibility; there is nothing to wait for.
int cmdWait(unsigned)
{
    return CMD_OK;
}

int cmdVersion(void)
{
    KM_Copy_Version(out_buffer);
    size_t n = strlen(out_buffer);
    if (n + 1 < OUT_BUFFER_SIZE) {
        out_buffer[n] = '\r';
        out_buffer[n + 1] = 0;
    }
    txString(out_buffer);
    return CMD_OK;
}

// ---------------------------------------------------------------- ports

int cmdRs485(char* cmd)
{
    EepromRecord& e = eepromData;
    if (strncmp(cmd, "*rs485 off", 10) == 0) {
        snprintf(out_buffer, sizeof out_buffer, "RS485 OFF ADR %02X\r", e.rs485Address);
        txString(out_buffer);
        e.rs485Mode = EE_OFF;
        KM_EEPROM_Save();
        Init_485mode();
        return CMD_OK;
    }
    char sof, hi, lo;
    if (KM_sscanf(cmd, "*rs485 %c%c%c", &sof, &hi, &lo) != 3)
        return -1;
    const uint8_t h = oneCapHexToBin(hi), l = oneCapHexToBin(lo);
    // An address that is not two upper-case hexadecimal digits would put a
    // unit on the bus that no frame can reach.
    if (h == 0xFF || l == 0xFF)
        return CMD_FAIL;
    const uint8_t address = (uint8_t)(h << 4 | l);
    // The reply goes out in the framing the host used for this line.
    snprintf(out_buffer, sizeof out_buffer, "RS485 Mode SOF 0x%02X (%c) ADR %02X\r", (uint8_t)sof, sof, address);
    txString(out_buffer);
    e.rs485Mode = 'Z';
    e.rs485Start = (uint8_t)sof;
    e.rs485Address = address;
    Init_485mode();
    KM_EEPROM_Save();
    return CMD_OK;
}

int cmdBaud(const char* cmd)
{
    int early = 0, save = 0;
    const char* form = "baud%c %u";
    if (strncmp(cmd, "baudp", 5) == 0) {
        early = 1;
        form = "baudp%c %u";
    } else if (strncmp(cmd, "bauds", 5) == 0) {
        early = save = 1;
        form = "bauds%c %u";
    }
    char p = 0;
    unsigned rate = 0;
    const int got = KM_sscanf(cmd, form, &p, &rate);
    const int port = p == '0' ? 0 : p == '1' ? 1 : (mainIsUart0 ? 0 : 1);
    if (got < 2) {
        pout("%d\r", (int)KM_COM_getBaud(port));
        return CMD_OK;
    }
    if (KM_EEPROM_Rate2eeVal(rate) == 0xFF)
        return CMD_FAIL;
    if (save && !KM_save_baudrate_eeprom(port, (int32_t)rate))
        return CMD_FAIL;
    if (early) {
        // The prompt goes out at the old rate, before the line changes.
        txString(">\r");
        txWait();
    }
    if (port == 0)
        KM_COM_BaudRate(rate);
    else
        KM_AUX_BaudRate(rate);
    return early ? CMD_REPLIED : CMD_OK;
}

int cmdComMain(const char* cmd, int uart0)
{
    if (uart0)
        makeUart0Main();
    else
        makeUart1Main();
    eepromData.mainPort = uart0 ? 0 : 1;
    if (cmd[9] != 's')
        KM_EEPROM_Save();
    return CMD_OK;
}

int cmdAuxEsc(const char* cmd)
{
    unsigned v;
    const int got = KM_sscanf(cmd, "*auxEsc %x", &v);
    if (got == 1) {
        if (v > 0xFF)
            return CMD_FAIL;
        eepromData.auxEsc = (uint8_t)v;
        KM_EEPROM_Save();
    } else if (cmd[7] != 0) {
        return CMD_FAIL;
    }
    pout("0x%02x\r", eepromData.auxEsc);
    return CMD_OK;
}

// Aux-port mode: 1 forwards what the aux port receives to the host, 0
// keeps it for "ain".
int cmdAuxIO(const char* cmd)
{
    int mode;
    if (KM_sscanf(cmd, "auxIO %d", &mode) != 1) {
        if (cmd[5] != 0)
            return CMD_FAIL;
        pout("%d\r", eepromData.auxReport == 'Z' ? 1 : 0);
        return CMD_OK;
    }
    eepromData.auxReport = mode ? 'Z' : EE_OFF;
    aFlushRx();
    KM_EEPROM_Save();
    return CMD_OK;
}

// ---------------------------------------------------------------- panel

int cmdPanel(void)
{
    txString(PANEL_LABEL "\r");
    return CMD_OK;
}

int cmdConfigText(char* cmd)
{
    char* rest;
    int n = 0;
    if (cmd[7] == 0) {
        char text[sizeof eepromData.config + 1];
        memcpy(text, eepromData.config, sizeof eepromData.config);
        text[sizeof eepromData.config] = 0;
        pout("\"%s\"\r", text);
        return CMD_OK;
    }
    char* text = strchr(cmd, '"') ? escstrl(cmd + 7, '"', &rest, &n) : 0;
    if (!text)
        return CMD_FAIL;
    // The record holds 31 characters and the NUL.
    char* dst = eepromData.config;
    const int max = (int)sizeof eepromData.config - 1;
    if (n > max)
        n = max;
    memset(dst, 0, sizeof eepromData.config);
    memcpy(dst, text, (size_t)n);
    KM_EEPROM_Save();
    return CMD_OK;
}

static void apply_orient(void) { setOrient(eepromData.orient); }
static void apply_brite(void) { KM_Brite_Set(eepromData.brite); }
static void apply_inverter(void) { KM_External_Inverter_On(); }
static void apply_pwm(void) { setLCDpwmClock(); }
static void apply_timing(void) { setLCDtiming(); }

struct Setting {
    const char* keyword;
    uint16_t offset;  // in the record; NO_FIELD for "*vq"
    uint8_t max;
    void (*apply)(void);
};
#define NO_FIELD 0xFFFF
#define FIELD(f) (uint16_t) offsetof(EepromRecord, f)

static const Setting settings[] = {
    {"*orient", FIELD(orient), 3, apply_orient},
    {"*vq", NO_FIELD, 1, 0},
    {"*maxBrite", FIELD(maxBrite), 255, apply_brite},
    {"*minBrite", FIELD(minBrite), 255, apply_brite},
    {"*invEnaHiTrue", FIELD(invEnaHiTrue), 1, apply_inverter},
    {"*pwmIsEnable", FIELD(pwmIsEnable), 1, apply_pwm},
    {"*hpw", FIELD(hpw), 255, apply_timing},
    {"*hfp", FIELD(hfp), 255, apply_timing},
    {"*hbp", FIELD(hbp), 255, apply_timing},
    {"*vpw", FIELD(vpw), 255, apply_timing},
    {"*vfp", FIELD(vfp), 255, apply_timing},
    {"*vbp", FIELD(vbp), 255, apply_timing},
    {"xbb", FIELD(brite), 255, apply_brite},
};

int cmdSetting(const char* cmd, const char* keyword)
{
    const size_t k = strlen(keyword);
    if (strncmp(cmd, keyword, k) != 0)
        return -1;
    const Setting* s = 0;
    for (const Setting& t : settings)
        if (strcmp(t.keyword, keyword) == 0)
            s = &t;
    if (!s)
        return -1;
    uint8_t* field = s->offset == NO_FIELD ? 0 : (uint8_t*)&eepromData + s->offset;
    int v;
    const int got = KM_sscanf(cmd + k, "%d", &v);
    if (got != 1) {
        if (cmd[k] != 0 && strspn(cmd + k, " ") != strlen(cmd + k))
            return CMD_FAIL;
        pout("%d\r", field ? *field : getVQpin());
        return CMD_OK;
    }
    // A value beyond the field would be cut to a different one.
    if (v < 0 || v > s->max)
        return CMD_FAIL;
    if (!field) {
        setVQpin(v);
        return CMD_OK;
    }
    *field = (uint8_t)v;
    s->apply();
    KM_EEPROM_Save();
    return CMD_OK;
}

int cmdBacklight(int on)
{
    if (on)
        KM_External_Inverter_On();
    else
        KM_External_Inverter_Off();
    return CMD_OK;
}

int cmdPanelPower(int on)
{
    if (on) {
        LCD_sigs_low();
        LCD_sigs_buf_ena(1);
        KM_Panel_Power(1);
        KM_Delay(1000);
        LCD_sigs_active();
        KM_Delay(50);
        KM_External_Inverter_On();
    } else {
        KM_External_Inverter_Off();
        LCD_sigs_low();
        KM_Delay(1000);
        KM_Panel_Power(0);
    }
    return CMD_OK;
}

// userLedState: 0 the busy light, 1 held on, 2 held off.
int cmdLed(const char* word)
{
    if (strcmp(word, "sys") == 0) {
        userLedState = 0;
        Led(0);
    } else if (strcmp(word, "on") == 0) {
        userLedState = 1;
        Led(1);
    } else if (strcmp(word, "off") == 0) {
        userLedState = 2;
        Led(0);
    } else {
        return CMD_FAIL;
    }
    return CMD_OK;
}

// ---------------------------------------------------------------- reports

int cmdState(void)
{
    snprintf(out_buffer, sizeof out_buffer,
             "*STATE:Bclr 0x%06lX Fclr 0x%06lX p 0x%02X line 0x%02X dm 0x%02X ta 0x%02X tm 0x%02X x %d y %d\r",
             (unsigned long)(GUI_GetBkColor() & 0xFFFFFF), (unsigned long)(GUI_GetColor() & 0xFFFFFF),
             GUI_GetPenSize(), GUI_GetLineStyle(), GUI_GetDrawMode() & 0xFF, GUI_GetTextAlign() & 0xFF,
             GUI_GetTextMode() & 0xFF, GUI_GetDispPosX(), GUI_GetDispPosY());
    txString(out_buffer);
    return CMD_OK;
}

int cmdOut(char* cmd, int aux)
{
    char* rest;
    int n = 0;
    char* text = escstrl(cmd, '"', &rest, &n);
    if (!text)
        return CMD_FAIL;
    // The decoded text may hold NULs (\0); each byte goes out as it is.
    if (n > (int)OUT_BUFFER_SIZE - 1)
        n = OUT_BUFFER_SIZE - 1;
    for (int i = 0; i < n; ++i) {
        if (aux)
            aPutChar(text[i]);
        else
            putChar(text[i]);
    }
    if (!aux)
        txWait();
    return CMD_OK;
}

int cmdAuxIn(void)
{
    // Control bytes are shown as they came; the text ends with CR.
    int n = getAuxRx(out_buffer, OUT_BUFFER_SIZE - 1);
    out_buffer[n] = '\r';
    out_buffer[n + 1] = 0;
    txString(out_buffer);
    return CMD_OK;
}

int cmdWaitLine(const char* cmd)
{
    int line;
    if (KM_sscanf(cmd, "wvr %d", &line) != 1)
        return CMD_FAIL;
    wvr(line);
    return CMD_OK;
}

int cmdWaitLineRel(const char* cmd)
{
    int x, line;
    if (KM_sscanf(cmd + 3, "%d %d", &x, &line) != 2)
        return CMD_FAIL;
    wrf(x, line);
    return CMD_OK;
}

int cmdSpeedTest(char* cmd)
{
    int count;
    char* rest;
    char* open = strchr(cmd, '<');
    char* inner = open && strchr(open, '>') ? strtokr(open + 1, '>', &rest) : 0;
    if (KM_sscanf(cmd, "%*s %d", &count) != 1 || !inner || !*inner)
        return CMD_FAIL;
    // No runs would leave nothing to divide the time by.
    if (count < 1)
        return CMD_FAIL;
    // Handlers may write into their line, so every run gets a fresh copy.
    char line[LINE_BUF];
    const uint32_t start = KM_TimerGetMsCount();
    int runs = 0;
    while (runs < count) {
        strncpy(line, inner, sizeof line - 1);
        line[sizeof line - 1] = 0;
        parse_command(line);
        ++runs;
        if (checkAbortCmd())
            break;
    }
    const uint32_t elapsed = KM_TimerGetMsCount() - start;
    pout(":time/command = %d ms\r", (int)(elapsed / (uint32_t)runs));
    return CMD_OK;
}

void DumpBitMapStructure(const ExtBitmapRecord* r)
{
    char line[128];
    snprintf(line, sizeof line, "    XSize=%u YSize=%u BytesPerLine=%u BitsPerPixel=%u\r", r->XSize, r->YSize,
             r->BytesPerLine, r->BitsPerPixel);
    txString(line);
    snprintf(line, sizeof line, "    pData=0x%08X pPal=0x%08X pMethods=0x%08X\r", (unsigned)r->pData, (unsigned)r->pPal,
             (unsigned)r->pMethods);
    txString(line);
}

// ---------------------------------------------------------------- more

int cmdTemperature(void)
{
    const int t = readTemp();
    if (t < -300 || t > 999) {
        txString("*****\r");
        return CMD_OK;
    }
    pout("%s%d.%d\r", t < 0 ? "-" : "", (t < 0 ? -t : t) / 10, (t < 0 ? -t : t) % 10);
    return CMD_OK;
}

int cmdBinaryResponses(int on)
{
    binaryResponses = on ? 1 : 0;
    return CMD_OK;
}

// A porch moves the picture when its partner gives up what it gains, so the
// line and frame times stay as they were.  The limits keep both fields
// inside what the controller can hold and away from 0xFF, which the record
// reads as "build default".
static int shift(uint8_t* grow, uint8_t* shrink, int growMax, int shrinkMin)
{
    if (*grow >= growMax || *shrink <= shrinkMin)
        return 0;
    ++*grow;
    --*shrink;
    return 1;
}

static void timing_test_pattern(void)
{
    const int w = LCD_WIDTH, h = LCD_HEIGHT;
    GUI_SetColor(0x000000);
    GUI_FillRect(0, 0, w - 1, h - 1);
    GUI_SetColor(0xFFFFFF);
    GUI_DrawRect(0, 0, w - 1, h - 1);
    GUI_DrawRect(2, 2, w - 3, h - 3);
    GUI_DrawLine(w / 2, 0, w / 2, h - 1);
    GUI_DrawLine(0, h / 2, w - 1, h / 2);
}

// Keys 4, 6, 8, 2 move the picture left, right, up, down by one pixel
// clock or line; any other key saves the timing and ends.
int cmdPanelAdjust(void)
{
    DrawingState keep;
    SaveState(&keep);
    timing_test_pattern();
    txString(":Panel Timing Adjustment\r");
    txString(":Use number pad (4=left,6=right,2=down,8=up) for image adjust\r");
    txString(":any other key saves and ends\r");
    EepromRecord& e = eepromData;
    for (;;) {
        const int key = waitChar();
        int moved;
        switch (key) {
        case '4': moved = shift(&e.hfp, &e.hbp, 254, 3); break;
        case '6': moved = shift(&e.hbp, &e.hfp, 254, 1); break;
        case '8': moved = shift(&e.vfp, &e.vbp, 254, 0); break;
        case '2': moved = shift(&e.vbp, &e.vfp, 254, 0); break;
        default: moved = -1; break;
        }
        if (moved < 0)
            break;
        if (moved)
            setLCDtiming();
        pout(":hfp %d hbp %d vfp %d vbp %d\r", e.hfp, e.hbp, e.vfp, e.vbp);
    }
    // Keys are not lines: what is left of them must not reach the
    // dispatcher.
    rxReset();
    KM_EEPROM_Save();
    RestoreState(&keep);
    GUI_Clear();
    return CMD_OK;
}

// ---------------------------------------------------------------- firmware, pads, restart

int cmdFirmwareId(void)
{
    char id[sizeof eepromData.firmwareId + 1];
    for (size_t i = 0; i < sizeof eepromData.firmwareId; ++i) {
        const uint8_t c = (uint8_t)eepromData.firmwareId[i];
        id[i] = c >= 0x20 && c < 0x7F ? (char)c : '?';
    }
    id[sizeof id - 1] = 0;
    snprintf(out_buffer, OUT_BUFFER_SIZE, "\"%s\"\r", id);
    txString(out_buffer);
    return CMD_OK;
}

int cmdDriveStrength(int high)
{
    setDriveStrength(high);
    return CMD_OK;
}

int cmdReset(void)
{
    // What was answered before goes out; then the board starts again and
    // greets the host as after power-on.
    txWait();
    BoardRestart();
}

// ---------------------------------------------------------------- card folders

int cmdCardChdir(const char* folder)
{
    if (!SDisInitialized()) {
        txString(":SD Card not ready\r");
        return CMD_FAIL;
    }
    if (fat::chdir(folder) != 0) {
        snprintf(out_buffer, OUT_BUFFER_SIZE, ":SD Card, chdir(\"%s\") FAILED\r", folder);
        txString(out_buffer);
        return CMD_FAIL;
    }
    return CMD_OK;
}

int cmdSdLoad(const char* cmd)
{
    char folder[17];
    int macro = 0;
    if (KM_sscanf(cmd, "*sdload %16s", folder) != 1)
        return CMD_FAIL;
    const int hasMacro = KM_sscanf(cmd, "*sdload %*s %d", &macro) == 1;
    if (hasMacro && (macro < 1 || macro > 255 || !KM_GetMacro(macro))) {
        txString(":invalid macro index number\r");
        return CMD_FAIL;
    }
    if (cmdCardChdir(folder) != CMD_OK)
        return CMD_FAIL;
    // The macro runs with the arguments of the request before it.
    if (hasMacro)
        scheduleMacro(macro + 512, 0);
    return CMD_OK;
}

int cmdCardList(void)
{
    if (!SDisInitialized())
        return CMD_FAIL;
    uint8_t entry[32];
    int16_t r;
    for (uint16_t first = 0; (r = fat::read_directory_entry(entry, first)) == 1; first = 1) {
        // The volume's label is no entry of the folder.
        if (entry[11] & fat::ATTR_VOLUME)
            continue;
        char name[14];
        fat::NameFromDirEntry(name, entry);
        size_t n = strlen(name);
        if (n && name[n - 1] == '.')
            name[--n] = 0;  // a name without extension
        if (entry[11] & fat::ATTR_DIRECTORY) {
            name[n++] = '/';
            name[n] = 0;
        }
        snprintf(out_buffer, OUT_BUFFER_SIZE, "%s\r", name);
        txString(out_buffer);
    }
    // A folder that could not be read to its end is no (shorter) listing.
    return r == 0 && fat::dir_read_failed() ? CMD_FAIL : CMD_OK;
}

int cmdCardTestFile(void)
{
    if (!SDisInitialized())
        return CMD_FAIL;
    fat::FatFile* f = fat::fcreate("mytest.ini", fat::ATTR_ARCHIVE);
    if (!f)
        return CMD_FAIL;
    SD_led(1);
    const int written = fat::fputs("; test file of the fopen command", f) == 0;
    SD_led(0);
    if (written && fat::fclose(f) == 0)
        return CMD_OK;
    fat::fdiscard(f);  // a test file that did not come out whole is no test file
    return CMD_FAIL;
}
