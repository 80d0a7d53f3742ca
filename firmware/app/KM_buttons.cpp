// Buttons: hotspots 0-127 drawn as a bitmap with a label, momentary (type 3)
// or toggle (type 4), and their commands.
//
//   bd  n x y kind "up label" ["down label"]          built-in bitmaps
//   bdc n x y kind up down "up label" ["down label"]  memory-image bitmaps
//   i   n x y      built-in bitmap 1 (up) or 2 (down) at a position
//   ssb n [state]  a toggle button's state: set (and redraw) or report
//   bc  n          removes the button
// kind 0 is momentary, 1 toggle.  Coordinates are added to the origin; the
// label is drawn centred in the current font and colour of the definition.
// A momentary button reports "x%d" and "r%d" like other hotspots; a toggle
// button reports its new state ("s%d %d", binary 'S') on every press.
#include <stdio.h>
#include <string.h>

#include "app/KM_bitmaps.h"
#include "app/KM_macros.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/KM_touch.h"
#include "app/Main.h"
#include "app/command.h"
#include "app/parse_command.h"
#include "graphics/GUI.h"

#define BUTTONS 128
#define LABEL_MAX 80
// The built-in button bitmaps.
#define BUILTIN_W 80
#define BUILTIN_H 32
#define BUILTIN_FACE 0x00C0C0C0u
#define BUILTIN_LIGHT 0x00FFFFFFu
#define BUILTIN_DARK 0x00404040u

struct ButtonInfo {
    uint8_t state;  // toggle: 1 down
    int16_t up, down;  // memory-image bitmaps; 0: the built-in ones
    int16_t width, height;
    const GUI_FontRecord* font;
    GUI_ColorValue color;
    char label[2][LABEL_MAX + 1];  // up, down
};

static ButtonInfo buttonInfo[BUTTONS];

static void draw_builtin(int n, int x, int y)
{
    GUI_ColorValue c = GUI_GetColor();
    int down = n == 2;
    GUI_SetColor(BUILTIN_FACE);
    GUI_FillRect(x, y, x + BUILTIN_W - 1, y + BUILTIN_H - 1);
    GUI_SetColor(down ? BUILTIN_DARK : BUILTIN_LIGHT);
    GUI_DrawLine(x, y, x + BUILTIN_W - 1, y);
    GUI_DrawLine(x, y, x, y + BUILTIN_H - 1);
    GUI_SetColor(down ? BUILTIN_LIGHT : BUILTIN_DARK);
    GUI_DrawLine(x, y + BUILTIN_H - 1, x + BUILTIN_W - 1, y + BUILTIN_H - 1);
    GUI_DrawLine(x + BUILTIN_W - 1, y, x + BUILTIN_W - 1, y + BUILTIN_H - 1);
    GUI_SetColor(c);
}

// Draws button n up or down, with its label.
void drawButton(int n, int down)
{
    if (n < 0 || n >= BUTTONS)
        return;
    const HotSpot& h = TouchHotSpots[n];
    const ButtonInfo& b = buttonInfo[n];
    int bmp = down ? b.down : b.up;
    if (bmp)
        KM_DrawBitmap(KM_GetExtBitmap(bmp), h.x1, h.y1);
    else
        draw_builtin(down ? 2 : 1, h.x1, h.y1);
    const char* text = b.label[down && b.label[1][0] ? 1 : 0];
    if (!text[0])
        return;
    const GUI_FontRecord* f = GUI_SetFont(b.font);
    GUI_ColorValue c = GUI_GetColor();
    GUI_SetColor(b.color);
    int mode = GUI_SetTextMode(2);  // transparent over the bitmap
    int16_t align = GUI_SetTextAlign((h.eventFlags & SPOT_EV_CENTRED) ? (GUI_TA_HCENTER | GUI_TA_VCENTER)
                                                                      : (GUI_TA_LEFT | GUI_TA_VCENTER));
    int tx = (h.eventFlags & SPOT_EV_CENTRED) ? (h.x1 + h.x2) / 2 : h.x1 + 4;
    GUI_DispStringAt(text, tx, (h.y1 + h.y2) / 2);
    GUI_SetTextAlign(align);
    GUI_SetTextMode((int16_t)mode);
    GUI_SetColor(c);
    GUI_SetFont(f);
}

// Press and release of a button, from updateSpot.
void buttonEvent(int n, int press, int process, uint8_t noMacro)
{
    HotSpot& h = TouchHotSpots[n];
    ButtonInfo& b = buttonInfo[n];
    if (h.type == SPOT_BUTTON) {
        drawButton(n, press);
        return;
    }
    if (h.type != SPOT_TOGGLE || !press)
        return;
    b.state ^= 1;
    drawButton(n, b.state);
    if (!process)
        return;
    if (h.eventFlags & SPOT_EV_REPORT) {
        if (binaryResponses) {
            uint8_t r[3] = {'S', (uint8_t)n, b.state};
            txBinary(r, 3);
        } else {
            char t[16];
            snprintf(t, sizeof t, "s%d %d\r", n, b.state);
            txNotify(t);
        }
    }
    // The new state runs the release macro, or the press macro when the
    // button has no release macro.
    if (noMacro)
        return;
    if (h.releaseMacro)
        startHotspotMacro(h.releaseMacro, n, 1, 0);
    else if (h.pressMacro)
        startHotspotMacro(h.pressMacro, n, 0, 1);
}

void toggleButtonInvert(int n)
{
    if (n >= 0 && n < BUTTONS)
        buttonInfo[n].state ^= 1;
}

int buttonState(int n)
{
    return n >= 0 && n < BUTTONS ? buttonInfo[n].state : 0;
}

// The quoted texts of a line: up to two, each cut to LABEL_MAX.
static int labels(const char* cmd, char out[2][LABEL_MAX + 1])
{
    out[0][0] = out[1][0] = 0;
    const char* p = strchr(cmd, '"');
    int found = 0;
    while (p && found < 2) {
        const char* e = strchr(p + 1, '"');
        if (!e)
            break;
        size_t len = (size_t)(e - p - 1);
        if (len > LABEL_MAX)
            len = LABEL_MAX;
        memcpy(out[found], p + 1, len);
        out[found][len] = 0;
        ++found;
        p = strchr(e + 1, '"');
    }
    return found;
}

static int fail(const char* text)
{
    txString(text);
    return CMD_FAIL;
}

static int define_button(const char* cmd, int n, int x, int y, int kind, int up, int down)
{
    if (n < 0 || n >= BUTTONS)
        return fail(":index outside valid range\r");
    if (kind != 0 && kind != 1)
        return fail(": invalid <type>\r");
    int w = BUILTIN_W, hgt = BUILTIN_H;
    if (up || down) {
        ExtMemDirEntry* a = KM_GetExtBitmap(up);
        ExtMemDirEntry* b = KM_GetExtBitmap(down);
        if (!a || !b)
            return fail(":invalid argument\r");
        if (KM_BitmapHeight(a) != KM_BitmapHeight(b))
            return fail(": bitmaps have different height\r");
        if (KM_BitmapWidth(a) != KM_BitmapWidth(b))
            return fail(": bitmaps have different width\r");
        w = KM_BitmapWidth(a);
        hgt = KM_BitmapHeight(a);
        if (w < 1 || hgt < 1)
            return fail(": bitmap dimension less than 1\r");
    }
    // The button and the label drawn in it must lie in the coordinates'
    // room (refused without a text, as a drawing is).
    int at[2] = {x, y};
    if (!placeAtOrigin(at, 1) || !coordInRange((long long)at[0] + w - 1) || !coordInRange((long long)at[1] + hgt - 1))
        return CMD_FAIL;
    ButtonInfo& b = buttonInfo[n];
    if (labels(cmd, b.label) < 1)
        return fail(": missing text argument(s)\r");
    KM_Touch_HotSpot_Unset(n);
    HotSpot& h = TouchHotSpots[n];
    h.type = kind ? SPOT_TOGGLE : SPOT_BUTTON;
    h.x1 = at[0];
    h.y1 = at[1];
    h.x2 = h.x1 + w - 1;
    h.y2 = h.y1 + hgt - 1;
    h.eventFlags = SPOT_EV_PRESS | SPOT_EV_RELEASE | SPOT_EV_REPORT | SPOT_EV_CENTRED | SPOT_EV_BEEP;
    b.state = 0;
    b.up = (int16_t)up;
    b.down = (int16_t)down;
    b.width = (int16_t)w;
    b.height = (int16_t)hgt;
    b.font = GUI_Context.pFont;
    b.color = GUI_GetColor();
    drawButton(n, 0);
    handle_spotNotReleasedWhenDefined(n);
    return CMD_OK;
}

static int is_button(int n)
{
    return n >= 0 && n < BUTTONS &&
           (TouchHotSpots[n].type == SPOT_BUTTON || TouchHotSpots[n].type == SPOT_TOGGLE ||
            TouchHotSpots[n].type == SPOT_BUTTON + SPOT_DISABLED ||
            TouchHotSpots[n].type == SPOT_TOGGLE + SPOT_DISABLED);
}

int cmdButtons(char* cmd)
{
    int n, x, y, k, u, d;
    if (KM_sscanf(cmd, "i %d%d%d", &n, &x, &y) == 3) {
        if (n != 1 && n != 2)
            return fail(": invalid <type>\r");
        if (!pointAtOrigin(&x, &y))
            return CMD_FAIL;
        draw_builtin(n, x, y);
        return CMD_OK;
    }
    int c = KM_sscanf(cmd, "ssb %d %d", &n, &k);
    if (c == 2 || c == 1) {
        if (!is_button(n) || (TouchHotSpots[n].type % SPOT_DISABLED) != SPOT_TOGGLE)
            return fail(":index outside valid range\r");
        if (c == 1) {
            snprintf(out_buffer, OUT_BUFFER_SIZE, "%d\r", buttonInfo[n].state);
            txString(out_buffer);
            return CMD_OK;
        }
        buttonInfo[n].state = k ? 1 : 0;
        drawButton(n, buttonInfo[n].state);
        return CMD_OK;
    }
    if (KM_sscanf(cmd, "bd %d%d%d%d", &n, &x, &y, &k) == 4)
        return define_button(cmd, n, x, y, k, 0, 0);
    c = KM_sscanf(cmd, "bdc %d%d%d%d%d%d", &n, &x, &y, &k, &u, &d);
    if (c >= 4) {
        if (c < 6)
            return fail(": missing argument(s)\r");
        if (u < 1 || d < 1)
            return fail(":invalid argument\r");
        return define_button(cmd, n, x, y, k, u, d);
    }
    if (KM_sscanf(cmd, "bc %d", &n) == 1) {
        if (!is_button(n))
            return fail(":index outside valid range\r");
        KM_Touch_HotSpot_Unset(n);
        memset(&buttonInfo[n], 0, sizeof buttonInfo[n]);
        return CMD_OK;
    }
    return -1;
}
