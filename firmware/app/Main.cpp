#include "app/Main.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/KM_agif.h"
#include "app/KM_animation.h"
#include "app/KM_beep.h"
#include "app/KM_bitmaps.h"
#include "app/KM_chart.h"
#include "app/KM_scan.h"
#include "app/crc16.h"
#include "app/KM_com.h"
#include "app/KM_expand.h"
#include "app/KM_fonts.h"
#include "app/KM_macros.h"
#include "app/KM_meter.h"
#include "app/KM_reply.h"
#include "app/KM_ScrollTB.h"
#include "app/KM_slider.h"
#include "app/KM_timer.h"
#include "app/KM_touch.h"
#include "app/command.h"
#include "app/parse_command.h"
#include "board/KM_visibility.h"
#include "board/bootio.h"
#include "board/hw.h"
#include "board/lcd_driver.h"
#include "config/build_config.h"
#include "graphics/GUI.h"
#include "storage/KM_eeprom.h"
#include "storage/KM_extmem.h"
#include "storage/sdcard.h"

char myBuf[LINE_BUF];
char expBuf[LINE_BUF];
char locBuf[LINE_BUF];
uint8_t splashShown;
uint8_t macroNotify;
uint8_t binaryResponses;
int32_t userLedState;
int32_t ignoreTouch;
int32_t text_border;
int mx21;
CommWatchDog commWatchDog;

#define CR '\r'

// ---------------------------------------------------------------- start-up

void KM_main(void)
{
    mx21 = 1;
    KM_EEPROM_LoadAndFix();
    KM_COM_Init0();
    KM_COM_Init1();
    KM_EEPROM_Init();
    Init_485mode();
    if (eepromData.mainPort == 1) {
        mainIsUart0 = 0;
        makeUart1Main();
    }
    KM_led_init();
    KM_BeepInit();
    KM_Touch_Init();
    KM_Chart_Init();
    KM_LevelBar_Init();
    KM_Slider_Init();
    KM_Macros_Init();
    GUI_Init();
    KM_Panel_Power(1);
    KM_Delay(PANEL_POWERUP_DELAY_MS);
    KM_External_Inverter_Off();
    LCD_sigs_active();
    KM_Delay(200);
    KM_Load_ExtMem();
    GUIDEMO_main();
}

void GUI_X_Init(void) {}

// The font of the command interpreter; SIF fonts are built into it.
static GUI_FontRecord CmdFont;

int GUIDEMO_SetFont(const char* name)
{
    const FontTableEntry* e = KM_FindFont(name);
    // A font that cannot be selected leaves the current one in place.
    if (!e || !KM_SetFont(e, &CmdFont))
        return 0;
    current_font = e;
    return 1;
}

void GUIDEMO_SetTextBorder(int x)
{
    text_border = x;
    GUI_SetLBorder((int16_t)x);
}

int GUIDEMO_GetTextBorder(void)
{
    return text_border;
}

int GUIDEMO_DrawRect(int style, int x0, int y0, int x1, int y1)
{
    if (style < 0 || style > 3)
        return 0;
    // Corners in either order: a fill of reversed corners would draw nothing.
    orderCorners(&x0, &y0, &x1, &y1);
    if (style == 1) {
        GUI_FillRect(x0, y0, x1, y1);
        return 1;
    }
    if (style == 2) {
        for (int x = x0; x < x1; x += 2) {
            GUI_DrawPixel(x, y0);
            GUI_DrawPixel(x, y1);
        }
        for (int y = y0; y < y1; y += 2) {
            GUI_DrawPixel(x0, y);
            GUI_DrawPixel(x1, y);
        }
        return 1;
    }
    const GUI_Point corners[4] = {
        {(int16_t)x0, (int16_t)y0}, {(int16_t)x1, (int16_t)y0}, {(int16_t)x1, (int16_t)y1}, {(int16_t)x0, (int16_t)y1}};
    uint8_t pen = style == 3 ? GUI_SetPenSize(1) : 0;
    GUI_DrawPolygon(corners, 4, 0, 0);
    if (style == 3)
        GUI_SetPenSize(pen);
    return 1;
}

void GUIDEMO_Clear(int bitmap)
{
    KM_Touch_HotSpot_Clear();
    KM_Chart_Init();
    KM_LevelBar_Init();
    KM_Slider_Init();
    STB_InitScrollTB_Resources();
    KM_Meter_Init();
    Origin_X = 0;
    Origin_Y = 0;
    if (bitmap == 0)
        GUI_Clear();
    else if (bitmap > 0)
        KM_DrawBitmap(KM_GetExtBitmap(bitmap), 0, 0);
    GUI_GotoXY(0, 0);
    GUI_SetLBorder(0);
    text_border = 0;
}

void KM_Copy_Version(char* dst)
{
    const char* first = is_plus_E() ? "-E" : is_plus_N() ? "-N" : "";
    const char* second = (!is_plus_E() && !is_plus_N() && has_26Mhz()) ? "/26" : "";
    int n = sprintf(dst, "%s%s%s V%d.%d.%d %s ", "VELM5-PLUS", first, second, 1, 5, 8, PANEL_WORD);
    const char* cfg = eepromData.config;
    if (eepromData.magic == EEPROM_MAGIC && cfg[0] && (uint8_t)cfg[0] != 0xFF) {
        char text[33];
        memcpy(text, cfg, 32);
        text[32] = 0;
        sprintf(dst + n, "\"%s\"", text);
    }
}

// Returns whether a demonstration macro ran.
static int run_startup_macros(int skipped)
{
    int demo = KM_Check_Demo();
    if (demo) {
        processMacro(demo, "", 0);
        return 1;
    }
    if (!skipped && eepromData.PONMAC >= 1 && eepromData.PONMAC <= 254)
        processMacro(eepromData.PONMAC, "", 0);
    return 0;
}

static void banner_line(const char* text)
{
    GUI_DispString(text);
    GUI_DispNextLine();
}

static void show_banner(void)
{
    char line[96];
    GUI_SetTextAlign(0);
    GUI_GotoXY(Origin_X, Origin_Y);
    GUIDEMO_SetTextBorder(Origin_X);
    GUI_SetLBorder((int16_t)Origin_X);
    GUIDEMO_SetFont("12");
    GUI_GotoXY(Origin_X, Origin_Y + 10);
    strcpy(line, "  ");
    KM_Copy_Version(line + 2);
    banner_line(line);
    banner_line("  Kestrom smart display controller");
    banner_line("  Serial command interface");
    uint32_t rate = mainBaud();
    snprintf(line, sizeof line, "  Baud rate = %d,%03d", (int)(rate / 1000), (int)(rate % 1000));
    banner_line(line);
    if (rs485Mode()) {
        snprintf(line, sizeof line, "  RS485 Mode SOF 0x%02X (%c) ADR %02X", eepromData.rs485Start,
                 eepromData.rs485Start, eepromData.rs485Address);
        banner_line(line);
    }
    banner_line("");
}

void GUIDEMO_main(void)
{
    GUI_SetColor(0x000000);
    GUI_SetBkColor(0xFFFFFF);
    GUIDEMO_Clear(splashShown ? -1 : 0);
    GUIDEMO_SetFont("16");
    GUI_SetTextMode(0);
    GUI_SetDrawMode(0);
    int skipped = checkEscape();
    if (!skipped && eepromData.SPL == EE_ON && !splashShown) {
        if (KM_DrawBitmap(KM_GetExtBitmap(eepromData.SPLbitmap), Origin_X, Origin_Y))
            splashShown = 1;
        else
            GUI_DispStringAt("(invalid splash bitmap)", Origin_X, Origin_Y + 10);
    }
    KM_Delay(16);
    KM_Visibility_Init();
    if (eepromData.autoCal == EE_ON) {
        gpTimer = 50;
        while (!GetPenState() && gpTimer)
            hw_idle(HW_IDLE_FOREVER);
        if (GetPenState()) {
            KM_Beep(50);
            KM_Delay(100);
            KM_Beep(50);
            GUI_Clear();
            GUI_DispStringAt("Touch on power-up detected...starting touch calibrate", Origin_X + 10, Origin_Y + 100);
            GUI_DispStringAt("Release touch to begin calibration", Origin_X + 10, Origin_Y + 150);
            KM_Delay(2000);
            doCalibration();
            GUIDEMO_Clear(0);
        }
    }
    if (ExecState != 3)
        init_animation();
    init_agif();
    int demo = run_startup_macros(skipped);
    if (!splashShown && !demo && eepromData.PONMACnoBanner != EE_ON)
        show_banner();
    // The start-up screen is out of the cache before the host hears the
    // prompt, as a command's drawing is.
    LCD_FlushFrameBuffer();
    if (!rs485Mode())
        txString(">\r");
    if (eepromData.demoMacro == 0xFF)
        eepromData.demoMacro = 1;
    SaveState(&GDIState[0]);
    for (;;)
        mainLoopPass();
}

// ---------------------------------------------------------------- main loop

static void busy_light(int on)
{
    if (userLedState == 0)
        Led(on);
}

static void reply(int result)
{
    const char* r = result == CMD_FAIL ? "!\r" : result == CMD_LINE_ERROR ? "#\r" : result == CMD_REPLIED ? 0 : ">\r";
    if (!rs485Mode()) {
        if (r)
            txString(r);
        return;
    }
    if (anythingToTx())
        txSavedBuf();
    if (r && !(stringSent && strcmp(r, ">\r") == 0))
        txString(r);
    stringSent = 0;
}

static int hexval(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = (char)tolower((unsigned char)c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A '~' line carries the CRC-16 of the rest of the line (CR included) as
// four hex digits; returns the command, or 0 when the check fails.
static char* crc_checked(char* line)
{
    size_t len = strlen(line);
    if (len <= 5)
        return 0;
    unsigned v = 0;
    for (int i = 1; i < 5; ++i) {
        int d = hexval(line[i]);
        if (d < 0)
            break;
        v = v * 16 + (unsigned)d;
    }
    if ((v & 0xFFFF) != CalcCRC((const uint8_t*)line + 5, (uint32_t)(len - 5)))
        return 0;
    return line + 5;
}

static int is_macro_command(const char* cmd)
{
    if (cmd[0] == 'm' && (isdigit((unsigned char)cmd[1]) || isspace((unsigned char)cmd[1])))
        return 1;
    return (uint8_t)cmd[0] == 0x82 && cmd[1] == 'M' && cmd[2] != 0;
}

static int literal_text_command(const char* cmd)
{
    return !strncmp(cmd, "tu", 2) || !strncmp(cmd, "ts", 2) || !strncmp(cmd, "outs", 4) ||
           !strncmp(cmd, "aouts", 5);
}

static void handle_line(void)
{
    if (checkAbortCmd()) {
        rxReset();
        fakeNullCommand();
    }
    rxString(myBuf, LINE_BUF);
    stringSent = 0;
    char* cmd = myBuf;
    if (cmd[0] == '~') {
        cmd = crc_checked(myBuf);
        if (!cmd) {
            txString("#\r");
            return;
        }
    }
    if (cmd[0] == CR && cmd[1] == 0) {
        KM_Delay(10);
        reply(CMD_OK);
        return;
    }
    busy_light(1);
    if (rs485Mode() && is_macro_command(cmd)) {
        txString(">\r");
        stringSent = 1;
    }
    int binary = (uint8_t)cmd[0] >= 0x80 && binaryEnable && (uint8_t)cmd[0] != 0x80;
    if (!binary) {
        // Text: no CR, no leading or trailing blanks, no trailing comment.
        char* cr = strchr(cmd, CR);
        if (cr)
            *cr = 0;
        cmd = skipLeadingWhitespace(cmd);
        killTrailingComment(cmd);
        size_t n = strlen(cmd);
        while (n > 0 && isspace((unsigned char)cmd[n - 1]))
            cmd[--n] = 0;
        if (!cmd[0]) {
            busy_light(0);
            reply(CMD_OK);
            return;
        }
        if (!literal_text_command(cmd)) {
            expandVariables(expBuf, LINE_BUF, cmd, nullArgs);
            processMath(locBuf, LINE_BUF, expBuf);
            cmd = locBuf;
        }
    }
    // Binary commands go to the dispatcher as received: their data may hold
    // any byte, and their length is in the lead byte.
    int result = parse_command(cmd);
    // The picture is out of the cache before the host hears the command is done.
    LCD_FlushFrameBuffer();
    busy_light(0);
    reply(result);
}

static int forward_aux_input(void)
{
    if (eepromData.auxReport != 'Z' || !anyAuxRx())
        return 0;
    getAuxRx(myBuf, LINE_BUF);
    txNotify("a ");
    txNotify(myBuf);
    txNotify("\r");
    return 1;
}

// The start or end of a queued macro: "m%d"/"e%d", or the one-byte forms
// "M"/"E" and the number.
static void report_macro(char kind, int n)
{
    if (binaryResponses) {
        uint8_t b[2] = {(uint8_t)(kind - 'a' + 'A'), (uint8_t)n};
        txBinary(b, 2);
    } else {
        char note[8];
        snprintf(note, sizeof note, "%c%d\r", kind, n);
        txNotify(note);
    }
}

static int run_queued_macro(void)
{
    int n = pendingMacro();
    if (!n)
        return 0;
    busy_light(1);
    if (macroNotify & 1)
        report_macro('m', n);
    processScheduledMacro();
    if (macroNotify & 2)
        report_macro('e', n);
    busy_light(0);
    return 1;
}

void mainLoopPass(void)
{
    int busy = SDcheckHotplug();
    busy |= handle_touch();
    busy |= handle_animation();
    busy |= handle_agif();
    busy |= forward_aux_input();
    busy |= run_queued_macro();
    int status = isLineAvail();
    busy |= processCommWatchDog(status != 0);
    switch (status) {
    case 0: break;
    case 1: handle_line(); break;
    case 2: txString("^\r"); break;
    case 3: txString("!\r"); break;
    case 4: txString("?\r"); break;
    default: txString("#\r"); break;
    }
    // What touch, animations, the GIF player or a queued macro drew.
    LCD_FlushFrameBuffer();
    // A pass that found nothing to do leaves nothing for the passes after
    // it either, until an interrupt brings something (RS-485 frames for
    // other units are lines too).
    if (busy || status || rxGotLine)
        hw_wait();
    else
        hw_idle(HW_IDLE_FOREVER);
}

// ---------------------------------------------------------------- watchdog

void setupCommWatchDog(int macro, int shortSecs, int longSecs)
{
    commWatchDog.macro = (uint32_t)macro;
    commWatchDog.shortSecs = (uint32_t)shortSecs;
    commWatchDog.longSecs = (uint32_t)longSecs;
    commWatchDog.flags &= (uint8_t)~(WDT_SHORT_FIRED | WDT_LONG_FIRED);
    commWatchDog.stamp = KM_TimerGetMsCount();
    commWatchDog.flags |= WDT_ARMED;
}

void disableCommWatchDog(void)
{
    commWatchDog.flags &= (uint8_t)~WDT_ARMED;
}

static void run_watchdog_label(const char* label)
{
    ignoreTouch = 1;
    processMacro((int)commWatchDog.macro, 0, label);
    ignoreTouch = 0;
}

int processCommWatchDog(int activity)
{
    CommWatchDog& w = commWatchDog;
    if (!(w.flags & WDT_ARMED))
        return 0;
    if (activity) {
        int ran = 1;
        if (w.flags & WDT_SHORT_FIRED) {
            w.flags &= (uint8_t)~WDT_SHORT_FIRED;
            run_watchdog_label(":st_up");
        } else if (w.flags & WDT_LONG_FIRED) {
            w.flags &= (uint8_t)~WDT_LONG_FIRED;
            run_watchdog_label(":lt_up");
        } else {
            ran = 0;
        }
        w.stamp = KM_TimerGetMsCount();
        return ran;
    }
    uint32_t elapsed = (KM_TimerGetMsCount() - w.stamp) / 1000;
    if (w.longSecs && !(w.flags & WDT_LONG_FIRED) && elapsed >= w.longSecs) {
        w.flags &= (uint8_t)~WDT_SHORT_FIRED;
        w.flags |= WDT_LONG_FIRED;
        run_watchdog_label(":lt_down");
        return 1;
    }
    if (!(w.flags & (WDT_LONG_FIRED | WDT_SHORT_FIRED)) && elapsed >= w.shortSecs) {
        w.flags |= WDT_SHORT_FIRED;
        run_watchdog_label(":st_down");
        return 1;
    }
    return 0;
}

// "*comwdt off", or "*comwdt" with a macro (number or name), a short and an
// optional long silence in seconds.
int cmdCommWatchDog(char* cmd)
{
    if (!strncmp(cmd, "*comwdt off", 11)) {
        disableCommWatchDog();
        return CMD_OK;
    }
    char* p = cmd + 7;
    int macro;
    if (*p == ' ' && isdigit((unsigned char)p[1])) {
        char* end;
        int32_t n = KM_strtol(p + 1, &end, 10);
        if (n < 1 || n > 255 || !KM_GetMacro((int)n)) {
            txString("bad macro index number\r");
            return CMD_FAIL;
        }
        macro = (int)n;
        p = end;
    } else {
        p = skipLeadingWhitespace(p);
        char name[64];
        int len = 0;
        while (p[len] && !isspace((unsigned char)p[len]) && len < 63) {
            name[len] = p[len];
            ++len;
        }
        name[len] = 0;
        p += len;
        formatMacroNameString(name);
        macro = convertStringtoIndexMacro(name);
        if (macro <= 0) {
            txString("bad macro name\r");
            return CMD_FAIL;
        }
    }
    int shortSecs = 0, longSecs = 0;
    int got = KM_sscanf(p, " %d %d", &shortSecs, &longSecs);
    if (got < 1 || shortSecs <= 0 || (got == 2 && longSecs <= shortSecs)) {
        txString("bad or missing timeout arg(s)\r");
        return CMD_FAIL;
    }
    if (got < 2)
        longSecs = 0;
    setupCommWatchDog(macro, shortSecs, longSecs);
    return CMD_OK;
}
