// Hotspots: screen rectangles that turn touches into press and release
// events (feedback, click beep, report to the host, macro), with
// auto-repeat, simulated touches and the hotspot commands.
#include <stdio.h>
#include <string.h>

#include "app/KM_beep.h"
#include "app/KM_macros.h"
#include "app/KM_scan.h"
#include "app/KM_slider.h"
#include "app/KM_reply.h"
#include "app/KM_text.h"
#include "app/KM_touch.h"
#include "app/Main.h"
#include "app/command.h"
#include "app/parse_command.h"
#include "graphics/GUI.h"
#include "storage/KM_eeprom.h"

HotSpot TouchHotSpots[HOTSPOTS];

int32_t previousSpot = -1, currentSpot = -1, tempSpot = -1;
volatile uint32_t typematicTimer;
uint8_t waitForRelease, waitForNoTouch, allowPreExistingTouch, simulateTouch;
int32_t cursX, cursY;
int32_t lastHotAX, lastHotAY, lastHotRX, lastHotRY;
uint32_t beepMS;

// Hotspots the host defines; 0-127 belong to the buttons.
#define HOST_SPOT_FIRST 128
#define HOST_SPOT_LAST 255

// A simulated finger held by "*tsm p".
static uint8_t simHeld;
static int32_t simX, simY;

static int used_type(uint32_t t)
{
    return t <= SPOT_TOGGLE;
}

static int repeats(const HotSpot& h)
{
    return (h.stateFlags & SPOT_ST_REPEAT) && h.type >= SPOT_XOR && h.type <= SPOT_BUTTON;
}

static int spot_is_slider(int n)
{
    return KM_Slider_Find(n) >= 0 || CircSliderFind(n) >= 0;
}

int KM_SearchHotSpot(int x, int y)
{
    if (x == -1 || y == -1)
        return -1;
    for (int n = 0; n < HOTSPOTS; ++n) {
        const HotSpot& h = TouchHotSpots[n];
        if (used_type(h.type) && h.x1 <= x && x <= h.x2 && h.y1 <= y && y <= h.y2)
            return n;
    }
    return -1;
}

int KM_Touch_HotSpot_Unset(int n)
{
    if (n < 0 || n > 255)
        return 0;
    HotSpot& h = TouchHotSpots[n];
    memset(&h, 0, sizeof h);
    h.type = SPOT_FREE;
    releaseMacroArgs(n, 0);
    releaseMacroArgs(n, 1);
    KM_Slider_Unset(KM_Slider_Find(n));
    return 1;
}

void KM_Touch_HotSpot_Clear(void)
{
    for (int n = 0; n < HOTSPOTS; ++n)
        KM_Touch_HotSpot_Unset(n);
    clearMacroArgStore();
}

void ButtonTimer(void)
{
    if (typematicTimer)
        typematicTimer = typematicTimer - 1;
}

int simTouch(int x, int y)
{
    cursX = x;
    cursY = y;
    simulateTouch = 1;
    return 1;
}

// The point handle_touch works with: the simulated one once a simulated
// touch was given, else the calibrated panel point (-1, -1 when free).
static void touch_point(int* x, int* y)
{
    if (simulateTouch) {
        *x = cursX;
        *y = cursY;
    } else {
        KM_GetLocation(x, y);
    }
}

// ---------------------------------------------------------------- reports

static void report(uint8_t kind, int n, int withXY, int dx, int dy)
{
    if (binaryResponses) {
        uint8_t b[6] = {kind, (uint8_t)n, (uint8_t)dx, (uint8_t)(dx >> 8), (uint8_t)dy, (uint8_t)(dy >> 8)};
        txBinary(b, withXY ? 6 : 2);
        return;
    }
    char t[32];
    if (kind == 'R')
        snprintf(t, sizeof t, "r%d\r", n);
    else if (withXY)
        snprintf(t, sizeof t, "x%d %d %d\r", n, dx, dy);
    else
        snprintf(t, sizeof t, "x%d\r", n);
    txNotify(t);
}

// A slider's new value: 'L', n, value low, value high, or "l%d:%d\r".
static void report_slider(int n, int value)
{
    if (binaryResponses) {
        uint8_t b[4] = {'L', (uint8_t)n, (uint8_t)value, (uint8_t)(value >> 8)};
        txBinary(b, 4);
        return;
    }
    char t[32];
    snprintf(t, sizeof t, "l%d:%d\r", n, value);
    txNotify(t);
}

static void start_macro(int n, int spot, int press);

// A press on a slider hotspot moves the knob; a new value is reported and
// starts the press macro.  Returns 0 when the hotspot holds no slider.
static int slider_press(int spot, int x, int y, uint8_t noMacro)
{
    int slot = KM_Slider_Find(spot);
    if (slot < 0)
        return 0;
    const HotSpot& h = TouchHotSpots[spot];
    int before = KM_Slider_GetValue(slot);
    int value = KM_Slider_Touched(slot, x, y);
    if (value == before)
        return 1;
    if (h.eventFlags & SPOT_EV_REPORT)
        report_slider(spot, value);
    if (!noMacro && h.pressMacro)
        start_macro(h.pressMacro, spot, 1);
    return 1;
}

void startHotspotMacro(int m, int n, int event, int argsKind)
{
    setQueuedMacroLabel(n, event);
    scheduleMacro(m, getMacroArgs(n, argsKind));
}

static void start_macro(int m, int spot, int press)
{
    startHotspotMacro(m, spot, press, press);
}

void spotProcess(uint8_t spot, int press, uint8_t noMacro, int x, int y)
{
    HotSpot& h = TouchHotSpots[spot];
    if (press) {
        if ((h.eventFlags & SPOT_EV_REPORT) && (h.eventFlags & SPOT_EV_PRESS) && !waitForRelease) {
            lastHotAX = x;
            lastHotAY = y;
            lastHotRX = x - h.x1;
            lastHotRY = y - h.y1;
            report((h.eventFlags & SPOT_EV_XY) ? 'Y' : 'X', spot, (h.eventFlags & SPOT_EV_XY) != 0, lastHotRX,
                   lastHotRY);
            waitForRelease = 1;
        }
        if (!noMacro && h.pressMacro)
            start_macro(h.pressMacro, spot, 1);
        return;
    }
    if ((h.eventFlags & SPOT_EV_REPORT) && (h.eventFlags & SPOT_EV_RELEASE))
        report('R', spot, 0, 0, 0);
    if (!noMacro && h.releaseMacro)
        start_macro(h.releaseMacro, spot, 0);
    waitForRelease = 0;
}

void updateSpot(int press, int spot, int process, int x, int y, uint8_t noMacro)
{
    if (spot < 0 || spot > 255)
        return;
    HotSpot& h = TouchHotSpots[spot];
    if (spot >= HOST_SPOT_FIRST && h.type != SPOT_XOR && h.type != SPOT_INVISIBLE)
        return;
    if (press == 1 && slider_press(spot, x, y, noMacro))
        return;
    if (process && press == 1 && beepMS && (h.eventFlags & SPOT_EV_BEEP) &&
        (!(h.eventFlags & SPOT_EV_QUIET_REPEAT) || typematicTimer == 0))
        BeepImmediate(beepMS);
    if (h.type == SPOT_XOR) {
        int mode = GUI_SetDrawMode(GUI_DRAWMODE_XOR);
        GUI_FillRect(h.x1, h.y1, h.x2, h.y2);
        GUI_SetDrawMode(mode);
    } else if (h.type == SPOT_BUTTON || h.type == SPOT_TOGGLE) {
        // A toggle button reports and starts its macro itself.
        buttonEvent(spot, press, process, noMacro);
    }
    if (process && h.type >= SPOT_XOR && h.type <= SPOT_BUTTON)
        spotProcess((uint8_t)spot, press, noMacro, x, y);
}

void handle_spotNotReleasedWhenDefined(int spot)
{
    if (allowPreExistingTouch) {
        previousSpot = -1;
        return;
    }
    int x, y;
    touch_point(&x, &y);
    if (x == -1 || y == -1)
        return;
    const HotSpot& h = TouchHotSpots[spot];
    if (h.x1 <= x && x <= h.x2 && h.y1 <= y && y <= h.y2)
        previousSpot = spot;
}

static void debug_cross(int x, int y)
{
    GUI_DrawLine(x - 5, y - 5, x + 5, y + 5);
    GUI_DrawLine(x - 5, y + 5, x + 5, y - 5);
    if (debug_touch == 2) {
        char t[40];
        snprintf(t, sizeof t, "Pmin %5u; Pmax %5u", (unsigned)pMin, (unsigned)pMax);
        GUI_DispStringAt(t, 0, 0);
    }
}

int handle_touch(void)
{
    if (ignoreTouch)
        return 0;
    int x, y;
    touch_point(&x, &y);
    int valid = x != -1 && y != -1;
    if (debug_touch && valid)
        debug_cross(x, y);
    if (waitForNoTouch) {
        if (valid)
            return 0;
        waitForNoTouch = 0;
    }
    int spot = KM_SearchHotSpot(x, y);
    tempSpot = spot;
    if (!valid)
        waitForRelease = 0;
    else if (spot < 0)
        return 0;  // a finger slid off keeps its hotspot until it lifts
    currentSpot = spot;
    if (spot != previousSpot) {
        if (previousSpot >= 0 && (TouchHotSpots[previousSpot].stateFlags & SPOT_ST_PRESSED)) {
            updateSpot(0, previousSpot, 1, x, y, 0);
            TouchHotSpots[previousSpot].stateFlags &= (uint8_t)~SPOT_ST_PRESSED;
        }
        updateSpot(1, spot, 1, x, y, 0);
        // The hotspot left stops its repeat before the one entered starts
        // its delay, so a finger sliding from one repeating hotspot to
        // another waits the full delay there too.
        if (previousSpot >= 0 && repeats(TouchHotSpots[previousSpot]))
            typematicTimer = 0;
        if (spot >= 0) {
            HotSpot& h = TouchHotSpots[spot];
            h.stateFlags |= SPOT_ST_PRESSED;
            if (repeats(h) && typematicTimer == 0)
                typematicTimer = eepromData.typematicDelay * 10u;
        }
        previousSpot = spot;
        return 1;
    }
    if (spot < 0)
        return 0;
    if (repeats(TouchHotSpots[spot]) && typematicTimer == 0) {
        updateSpot(0, spot, 1, x, y, 0);
        typematicTimer = eepromData.typematicRepeat * 10u;
        previousSpot = -1;
    }
    if (spot > 127 && isXYinSlider(x, y))
        updateSpot(1, spot, 1, x, y, 0);
    return 1;
}

int buttonDisable(int n)
{
    if (n < 0 || n > 255)
        return 0;
    HotSpot& h = TouchHotSpots[n];
    if (h.type <= SPOT_TOGGLE)
        h.type += SPOT_DISABLED;
    return 1;
}

int buttonReEnable(int n, int noRedraw)
{
    if (n < 0 || n > 255)
        return 0;
    HotSpot& h = TouchHotSpots[n];
    if (h.type >= SPOT_DISABLED && h.type < SPOT_FREE)
        h.type -= SPOT_DISABLED;
    if (!noRedraw) {
        if (h.type == SPOT_BUTTON)
            updateSpot(0, n, 0, 0, 0, 1);
        else if (h.type == SPOT_TOGGLE) {
            toggleButtonInvert(n);
            updateSpot(1, n, 0, 0, 0, 1);
        }
    }
    return 1;
}

// ---------------------------------------------------------------- commands

static int starts(const char* cmd, const char* kw)
{
    return strncmp(cmd, kw, strlen(kw)) == 0;
}

static int is_word(const char* s, const char* w)
{
    while (*s == ' ')
        ++s;
    return starts(s, w);
}

struct SpotForm {
    const char* form;
    uint32_t type;
    uint8_t events;
    uint8_t states;
};

#define EV_DEFAULT (SPOT_EV_PRESS | SPOT_EV_REPORT)
static const SpotForm kSpotForms[] = {
    {"x %d %d %d %d %d", SPOT_XOR, EV_DEFAULT | SPOT_EV_BEEP, 0},
    {"xs %d %d %d %d %d", SPOT_INVISIBLE, EV_DEFAULT | SPOT_EV_BEEP, 0},
    {"xsnb %d %d %d %d %d", SPOT_INVISIBLE, EV_DEFAULT, 0},
    {"xt %d %d %d %d %d", SPOT_XOR, EV_DEFAULT | SPOT_EV_BEEP, SPOT_ST_REPEAT},
    {"xst %d %d %d %d %d", SPOT_INVISIBLE, EV_DEFAULT | SPOT_EV_QUIET_REPEAT | SPOT_EV_BEEP, SPOT_ST_REPEAT},
    {"xxy %d %d %d %d %d", SPOT_INVISIBLE, EV_DEFAULT | SPOT_EV_XY | SPOT_EV_BEEP, 0},
    {"xxynb %d %d %d %d %d", SPOT_INVISIBLE, EV_DEFAULT | SPOT_EV_XY, 0},
};

static int define_spot(const SpotForm& f, int n, int x1, int y1, int x2, int y2)
{
    int corners[4] = {x1, y1, x2, y2};
    if (n < HOST_SPOT_FIRST || n > HOST_SPOT_LAST || !placeAtOrigin(corners, 2))
        return CMD_FAIL;
    KM_Touch_HotSpot_Unset(n);
    HotSpot& h = TouchHotSpots[n];
    h.type = f.type;
    h.x1 = corners[0];
    h.y1 = corners[1];
    h.x2 = corners[2];
    h.y2 = corners[3];
    h.eventFlags = f.events;
    h.stateFlags = f.states;
    handle_spotNotReleasedWhenDefined(n);
    return CMD_OK;
}

static int spot_set_flag(int n, char a, char b, int count)
{
    if (n < 0 || n > 255 || TouchHotSpots[n].type == SPOT_FREE || spot_is_slider(n))
        return CMD_FAIL;
    int on = 1;
    char letter = a;
    if (count == 3) {
        if (a == '+')
            on = 1;
        else if (a == '-')
            on = 0;
        else
            return CMD_FAIL;
        letter = b;
    }
    HotSpot& h = TouchHotSpots[n];
    uint8_t* field = &h.eventFlags;
    uint8_t bit;
    switch (letter) {
    case 'p': bit = SPOT_EV_PRESS; break;
    case 'r': bit = SPOT_EV_RELEASE; break;
    case 'T': bit = SPOT_EV_QUIET_REPEAT; break;
    case 'b': bit = SPOT_EV_BEEP; break;
    case 'x':
        if (n < HOST_SPOT_FIRST)
            return CMD_FAIL;
        bit = SPOT_EV_XY;
        break;
    case 't':
        field = &h.stateFlags;
        bit = SPOT_ST_REPEAT;
        break;
    default: return CMD_FAIL;
    }
    if (on)
        *field |= bit;
    else
        *field &= (uint8_t)~bit;
    return CMD_OK;
}

static int spot_disable(const char* cmd)
{
    if (is_word(cmd + 2, "all")) {
        for (int n = 0; n < HOTSPOTS; ++n)
            buttonDisable(n);
        return CMD_OK;
    }
    int a, b;
    int c = KM_sscanf(cmd, "xd %d %d", &a, &b);
    if (c == 1)
        return buttonDisable(a) ? CMD_OK : CMD_FAIL;
    if (c == 2) {
        for (int n = a; n <= b; ++n)
            if (!buttonDisable(n))
                return CMD_FAIL;
        return CMD_OK;
    }
    return CMD_FAIL;
}

static int spot_enable(const char* cmd)
{
    const char* rest = cmd + 2;
    int noRedraw = 0;
    if (*rest == 's') {
        noRedraw = 1;
        ++rest;
    }
    if (is_word(rest, "all")) {
        for (int n = 0; n < HOTSPOTS; ++n)
            buttonReEnable(n, noRedraw);
        return CMD_OK;
    }
    int a, b;
    int c = KM_sscanf(rest, "%d %d", &a, &b);
    if (c == 1)
        return buttonReEnable(a, noRedraw) ? CMD_OK : CMD_FAIL;
    if (c == 2) {
        for (int n = a; n <= b; ++n)
            if (!buttonReEnable(n, noRedraw))
                return CMD_FAIL;
    }
    return CMD_OK;
}

static int touch_switch(const char* cmd)
{
    const char* rest = cmd + strlen("touch");
    if (strstr(rest, "off")) {
        ignoreTouch = 1;
    } else if (strstr(rest, "on")) {
        if (!allowPreExistingTouch)
            waitForNoTouch = 1;
        ignoreTouch = 0;
    } else {
        snprintf(out_buffer, OUT_BUFFER_SIZE, "touch %s\r", ignoreTouch ? "off" : "on");
        txString(out_buffer);
    }
    return CMD_OK;
}

static int touch_simulation(const char* cmd)
{
    int xy[2];
    switch (cmd[4]) {
    case 'm':
        if (simHeld || KM_sscanf(cmd, "%*s %d %d", &xy[0], &xy[1]) != 2 || !placeAtOrigin(xy, 1))
            return CMD_FAIL;
        simTouch(xy[0], xy[1]);
        handle_touch();
        simTouch(-1, -1);
        return CMD_OK;
    case 'p':
        if (KM_sscanf(cmd, "%*s %d %d", &xy[0], &xy[1]) != 2 || !placeAtOrigin(xy, 1))
            return CMD_FAIL;
        simX = xy[0];
        simY = xy[1];
        simHeld = 1;
        simTouch(simX, simY);
        return CMD_OK;
    case 'r':
        if (!simHeld)
            return CMD_FAIL;
        simHeld = 0;
        simTouch(-1, -1);
        return CMD_OK;
    case 't':
        if (!simHeld)
            return CMD_FAIL;
        simTouch(-1, -1);
        handle_touch();
        simTouch(simX, simY);
        return CMD_OK;
    default: return CMD_FAIL;
    }
}

int cmdHotspots(char* cmd)
{
    int n, a, b, c, d;
    for (unsigned i = 0; i < sizeof kSpotForms / sizeof kSpotForms[0]; ++i)
        if (KM_sscanf(cmd, kSpotForms[i].form, &n, &a, &b, &c, &d) == 5)
            return define_spot(kSpotForms[i], n, a, b, c, d);
    char f1, f2;
    int count = KM_sscanf(cmd, "xset %d %c%c", &n, &f1, &f2);
    if (count == 2 || count == 3)
        return spot_set_flag(n, f1, f2, count);
    if (starts(cmd, "xd"))
        return spot_disable(cmd);
    if (starts(cmd, "xe"))
        return spot_enable(cmd);
    if (starts(cmd, "touch"))
        return touch_switch(cmd);
    if (starts(cmd, "*tsm"))
        return touch_simulation(cmd);
    if (starts(cmd, "*apt")) {
        allowPreExistingTouch = 1;
        return CMD_OK;
    }
    if (strcmp(cmd, "*xn off") == 0) {
        for (int i = 0; i < HOTSPOTS; ++i)
            TouchHotSpots[i].eventFlags &= (uint8_t)~SPOT_EV_REPORT;
        return CMD_OK;
    }
    if (starts(cmd, "xc all")) {
        KM_Touch_HotSpot_Clear();
        return CMD_OK;
    }
    if (KM_sscanf(cmd, "xc %d", &n) == 1) {
        if (n < HOST_SPOT_FIRST || n > HOST_SPOT_LAST) {
            snprintf(out_buffer, OUT_BUFFER_SIZE, ":touch index must be %d to %d\r", HOST_SPOT_FIRST,
                     HOST_SPOT_LAST);
            txString(out_buffer);
            return CMD_FAIL;
        }
        KM_Touch_HotSpot_Unset(n);
        return CMD_OK;
    }
    return -1;
}

// A macro name of "xm": its number, 0 for "0", -1 for none that exists.
static int macro_by_name(char* name)
{
    formatMacroNameString(name);
    if (strcmp(name, "0") == 0)
        return 0;
    int m = convertStringtoIndexMacro(name);
    if (m <= 0 || m > 255 || !KM_GetMacro(m))
        return -1;
    return m;
}

int cmdHotspotMacros(char* cmd)
{
    const char* rest = cmd + 2;
    int quiet = 0;
    if (*rest == 'q') {
        quiet = 1;
        ++rest;
    }
    int n;
    char pressName[64], releaseName[64];
    if (KM_sscanf(rest, "%d %63s", &n, pressName) != 2) {
        txString(":err - syntax\r");
        return CMD_FAIL;
    }
    if (n < 0 || n > 255 || TouchHotSpots[n].type == SPOT_FREE)
        return CMD_FAIL;
    int hasRelease = KM_sscanf(rest, "%d %*s %63s", &n, releaseName) == 2;
    // A name may carry the label its macro starts at ("name:x130").
    char pressLabel[64], releaseLabel[64];
    const char* c = strchr(pressName, ':');
    snprintf(pressLabel, sizeof pressLabel, "%s", c ? c : "");
    c = hasRelease ? strchr(releaseName, ':') : 0;
    snprintf(releaseLabel, sizeof releaseLabel, "%s", c ? c : "");
    int pm = macro_by_name(pressName);
    if (pm < 0)
        return CMD_FAIL;
    int rm = 0;
    if (pm && hasRelease) {
        rm = macro_by_name(releaseName);
        if (rm < 0)
            return CMD_FAIL;
    }
    if (!bindMacroLabel(n, pm && pressLabel[0] ? pressLabel : 0, 1) ||
        !bindMacroLabel(n, rm && releaseLabel[0] ? releaseLabel : 0, 0))
        return CMD_FAIL;
    HotSpot& h = TouchHotSpots[n];
    h.pressMacro = (uint8_t)pm;
    h.releaseMacro = (uint8_t)rm;
    if (quiet)
        h.eventFlags &= (uint8_t)~SPOT_EV_REPORT;
    else
        h.eventFlags |= SPOT_EV_REPORT;
    return CMD_OK;
}

int cmdTypematic(char* cmd)
{
    const char* rest = cmd + strlen("typematic");
    int save = 1;
    if (*rest == 's') {
        save = 0;
        ++rest;
    }
    int delay, rep;
    if (KM_sscanf(rest, "%d %d", &delay, &rep) == 2) {
        if (delay > 255 || rep > 255 || delay < 0 || rep < 0)
            return -1;
        eepromData.typematicDelay = (uint8_t)delay;
        eepromData.typematicRepeat = (uint8_t)rep;
        if (save)
            KM_EEPROM_Save();
    }
    snprintf(out_buffer, OUT_BUFFER_SIZE, "Delay %dms, Repeat %dms\r", eepromData.typematicDelay * 10,
             eepromData.typematicRepeat * 10);
    txString(out_buffer);
    return CMD_OK;
}
