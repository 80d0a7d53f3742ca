#include "app/KM_slider.h"

#include <stdio.h>
#include <string.h>

#include "app/KM_bitmaps.h"
#include "app/KM_chart.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/KM_touch.h"
#include "app/command.h"
#include "app/parse_command.h"
#include "board/lcd_driver.h"
#include "graphics/GUI.h"
#include "graphics/LCD.h"

struct LinearSlider {
    int32_t id;  // bound hotspot, -1 = free
    ChartScale scale;
    int32_t offset;
    int32_t lastPixel;
    ExtMemDirEntry* background;
    ExtMemDirEntry* knob;
    int32_t value;
};

static LinearSlider sliders[MAX_SLIDERS];

struct CircSlider {
    int32_t id;
};
static CircSlider circSliders[MAX_CIRC_SLIDERS];
static CircSlider circWork;

void KM_Slider_Init(void)
{
    for (int i = 0; i < MAX_SLIDERS; ++i)
        KM_Slider_Unset(i);
    CircSliderInit();
}

void KM_Slider_Unset(int slot)
{
    if (slot < 0 || slot >= MAX_SLIDERS)
        return;
    memset(&sliders[slot], 0, sizeof sliders[slot]);
    sliders[slot].id = -1;
    sliders[slot].lastPixel = -1;
}

int KM_Slider_Find(int hotspot)
{
    if (hotspot < 0 || hotspot > 255)
        return -1;
    for (int i = 0; i < MAX_SLIDERS; ++i)
        if (sliders[i].id == hotspot)
            return i;
    return -1;
}

int KM_Slider_GetValue(int slot)
{
    if (slot < 0 || slot >= MAX_SLIDERS || sliders[slot].id < 0)
        return 0;
    return sliders[slot].value;
}

static int inside(const HotSpot& h, int x, int y)
{
    return h.x1 <= x && x <= h.x2 && h.y1 <= y && y <= h.y2;
}

// Every slot is looked at: a slot freed below others does not end the
// table.
int isXYinSlider(int x, int y)
{
    for (int i = 0; i < MAX_SLIDERS; ++i)
        if (sliders[i].id >= 0 && inside(TouchHotSpots[sliders[i].id], x, y))
            return 1;
    for (int i = 0; i < MAX_CIRC_SLIDERS; ++i)
        if (circSliders[i].id >= 0 && circSliders[i].id <= 255 && inside(TouchHotSpots[circSliders[i].id], x, y))
            return 1;
    return 0;
}

// Paints the background bitmap over one rectangle only.
static void repaint_background(const LinearSlider& s, int left, int top, int width, int height)
{
    const HotSpot& h = TouchHotSpots[s.id];
    // A bitmap with a transparent colour goes straight to the frame buffer,
    // past the clip rectangle: it is cut to the rectangle itself.
    if (s.background->type == EXTMEM_BITMAP_TRANS) {
        KM_DrawBitmapTrClipAbs(s.background, h.x1, h.y1, left, top, left + width - 1, top + height - 1,
                               KM_BitmapKey(s.background));
        return;
    }
    GUI_Area saved = GUI_Context.ClipRect;
    GUI_Area clip = {(int16_t)left, (int16_t)top, (int16_t)(left + width - 1), (int16_t)(top + height - 1)};
    GUI_SetClipRect(&clip);
    KM_DrawBitmap(s.background, h.x1, h.y1);
    LCD_SetClipRectEx(&saved);
}

int KM_Slider_Touched(int slot, int x, int y)
{
    if (slot < 0 || slot >= MAX_SLIDERS || sliders[slot].id < 0)
        return 0;
    LinearSlider& s = sliders[slot];
    const HotSpot& h = TouchHotSpots[s.id];
    const ChartScale& sc = s.scale;
    int kw = KM_BitmapWidth(s.knob), kh = KM_BitmapHeight(s.knob);
    int horizontal = sc.orientation != 0;
    // The coordinate along the travel, its limits and the knob's size there.
    int p = horizontal ? x : y;
    int lo = horizontal ? sc.x0 : sc.y0, hi = horizontal ? sc.x1 : sc.y1;
    int along = horizontal ? kw : kh;
    if (p != s.lastPixel) {
        if (p < lo)
            p = lo;
        if (p > hi)
            p = hi;
        int start = p - (along - 1) / 2;
        if (start < 0)
            return 0;
        int side = (horizontal ? h.y1 : h.x1) + s.offset;
        // Drawn once the raster has passed the knob, so it does not tear.
        wvr(horizontal ? side + kh / 2 : p + kh / 2);
        if (s.lastPixel >= 0) {
            int oldStart = s.lastPixel - (along - 1) / 2;
            if (horizontal)
                repaint_background(s, oldStart, side, kw, kh);
            else
                repaint_background(s, side, oldStart, kw, kh);
        }
        if (horizontal)
            KM_DrawBitmap(s.knob, start, side);
        else
            KM_DrawBitmap(s.knob, side, start);
    }
    s.value = KM_Chart_pixel_to_value(&sc, p);
    s.lastPixel = p;
    return s.value;
}

int KM_Slider_Setup(int hotspot, int orientation, int autoRepeat, int x, int y, int offset, int reversed, int max,
                    int min, int background, int knob)
{
    if (hotspot < 128 || hotspot > 255)
        return 0;
    int slot = KM_Slider_Find(hotspot);
    for (int i = 0; slot < 0 && i < MAX_SLIDERS; ++i)
        if (sliders[i].id < 0)
            slot = i;
    if (slot < 0) {
        txString("max sliders\r");
        return 0;
    }
    if (offset < 0) {
        txString("offset must be >= 0\r");
        return 0;
    }
    ExtMemDirEntry* bg = KM_GetExtBitmap(background);
    if (!bg) {
        txString("bad background bitmap\r");
        return 0;
    }
    int bw = KM_BitmapWidth(bg), bh = KM_BitmapHeight(bg);
    if (x < 0 || y < 0 || x + bw > LCD_WIDTH || y + bh > LCD_HEIGHT) {
        txString("bad background bitmap size or location\r");
        return 0;
    }
    ExtMemDirEntry* kn = KM_GetExtBitmap(knob);
    if (!kn) {
        txString("bad slider bitmap\r");
        return 0;
    }
    int kw = KM_BitmapWidth(kn), kh = KM_BitmapHeight(kn);
    // Wide: an offset near 2^31 must not wrap round into a fit.
    int fits = orientation ? (bw > kw && bh >= (int64_t)kh + offset) : (bh > kh && bw >= (int64_t)kw + offset);
    ChartScale sc;
    memset(&sc, 0, sizeof sc);
    int left = x, top = y, right = x + bw - 1, bottom = y + bh - 1;
    // An orientation the scale refuses is a bad size as well: there is no
    // travel to put the knob on.
    if (!fits || !KM_Chart_Common(&sc, left + kw / 2, top + kh / 2, right - kw / 2, bottom - kh / 2, orientation ? 1 : 0,
                             reversed, max, min, 0)) {
        txString("bad slider size or offset\r");
        return 0;
    }
    KM_Touch_HotSpot_Unset(hotspot);  // frees a slider bound to it as well
    HotSpot& h = TouchHotSpots[hotspot];
    h.type = SPOT_INVISIBLE;
    h.x1 = left;
    h.y1 = top;
    h.x2 = right;
    h.y2 = bottom;
    h.eventFlags = SPOT_EV_REPORT;
    h.stateFlags = autoRepeat ? SPOT_ST_REPEAT : 0;
    LinearSlider& s = sliders[slot];
    s.scale = sc;
    s.offset = offset;
    s.background = bg;
    s.knob = kn;
    s.value = 0;
    s.id = hotspot;
    KM_DrawBitmap(bg, x, y);
    s.lastPixel = -1;
    int rev = (sc.flags & 1) != 0;
    if (orientation)
        KM_Slider_Touched(slot, rev ? sc.x1 : sc.x0, sc.y0);
    else
        KM_Slider_Touched(slot, sc.x0, rev ? sc.y1 : sc.y0);
    return 1;
}

int KM_Slider_Value(int hotspot, int value)
{
    int slot = KM_Slider_Find(hotspot);
    if (slot < 0)
        return 0;
    const ChartScale& sc = sliders[slot].scale;
    int p = KM_Chart_value_to_pixel(&sc, value);
    if (p < 0)
        return 0;
    int rev = (sc.flags & 1) != 0;
    if (sc.orientation)
        KM_Slider_Touched(slot, rev ? sc.x1 - p : sc.x0 + p, sc.y0);
    else
        KM_Slider_Touched(slot, sc.x0, rev ? sc.y1 - p : sc.y0 + p);
    return 1;
}

// ---------------------------------------------------------------- circular

void CircSliderInit(void)
{
    for (int i = 0; i < MAX_CIRC_SLIDERS; ++i)
        CircSliderUnset(i);
    circWork.id = -1;
}

void CircSliderUnset(int slot)
{
    if (slot >= 0 && slot < MAX_CIRC_SLIDERS)
        circSliders[slot].id = -1;
}

int CircSliderFind(int hotspot)
{
    if (hotspot < 0 || hotspot > 255)
        return -1;
    for (int i = 0; i < MAX_CIRC_SLIDERS; ++i)
        if (circSliders[i].id == hotspot)
            return i;
    return -1;
}

int CircSliderSetup(const int*)
{
    return 0;
}

int CircSetVarsAndDraw(int hotspot, int)
{
    return CircSliderFind(hotspot) >= 0 ? 1 : 0;
}

// ---------------------------------------------------------------- commands

int cmdSliders(char* cmd)
{
    int a[15];
    if (KM_sscanf(cmd, "sl %d %d %d %d %d %d %d %d %d %d%d", &a[0], &a[1], &a[2], &a[3], &a[4], &a[5], &a[6], &a[7],
               &a[8], &a[9], &a[10]) == 11) {
        placeHeldAtOrigin(&a[2], 1);
        return KM_Slider_Setup(a[0], a[6], a[8], a[2], a[3], a[5], a[7], a[9], a[10], a[1], a[4]) ? CMD_OK : CMD_FAIL;
    }
    if (KM_sscanf(cmd, "sv %d %d", &a[0], &a[1]) == 2)
        return KM_Slider_Value(a[0], a[1]) ? CMD_OK : CMD_FAIL;
    if (KM_sscanf(cmd, "slc %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d", &a[0], &a[1], &a[2], &a[3], &a[4], &a[5],
               &a[6], &a[7], &a[8], &a[9], &a[10], &a[11], &a[12], &a[13], &a[14]) == 15) {
        return placeAtOrigin(&a[2], 1) && CircSliderSetup(a) ? CMD_OK : CMD_FAIL;
    }
    if (KM_sscanf(cmd, "svc %d %d", &a[0], &a[1]) == 2)
        return CircSetVarsAndDraw(a[0], a[1]) ? CMD_OK : CMD_FAIL;
    return -1;
}
