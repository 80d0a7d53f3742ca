#include "app/KM_chart.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/KM_bitmaps.h"
#include "app/KM_draw.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/command.h"
#include "app/parse_command.h"
#include "graphics/LCD.h"
#include "graphics/GUI.h"

// ---------------------------------------------------------------- value scale

enum {
    SCALE_REVERSED = 1 << 0,
    CHART_CLEAR_STRIP = 1 << 1,
    CHART_RETRACE = 1 << 2,
    CHART_FULL = 1 << 3,
    CHART_CLEAR_AHEAD = 1 << 4,
};

int KM_Chart_Common(ChartScale* s, int x0, int y0, int x1, int y1, int orientation, int reversed, int max, int min,
                    int value)
{
    if (!s || orientation < 0 || orientation > 1)
        return 0;
    s->x0 = x0;
    s->y0 = y0;
    s->x1 = x1;
    s->y1 = y1;
    s->orientation = orientation;
    s->flags = (uint8_t)((s->flags & ~(SCALE_REVERSED | CHART_FULL)) | CHART_RETRACE | CHART_CLEAR_AHEAD |
                         (reversed ? SCALE_REVERSED : 0));
    s->span = orientation ? x1 - x0 : y1 - y0;
    s->max = max;
    s->min = min;
    s->value = value;
    return 1;
}

// Worked in 64 bits: a wide range or a long axis would overflow the 32-bit
// product and give pixels far off the axis.
int KM_Chart_value_to_pixel(const ChartScale* s, int v)
{
    if (!s)
        return -1;
    const int64_t range = (int64_t)s->max - s->min;
    if (range <= 0 || v < s->min)
        return -1;
    if (v > s->max)
        return -2;
    const int64_t q = 10 * (int64_t)s->span * ((int64_t)v - s->min) / range;
    return (int)((q < 0 ? q - 5 : q + 5) / 10);
}

int KM_Chart_pixel_to_value(const ChartScale* s, int p)
{
    if (!s)
        return 0;
    const int end = s->orientation ? s->x1 : s->y1, start = s->orientation ? s->x0 : s->y0;
    if (p > end)
        p = end;
    const int64_t g = p < start ? 0 : (int64_t)p - start;
    if (s->span == 0)
        return 0;
    const int64_t range = (int64_t)s->max - s->min;
    const int64_t o = ((range * g * 2) / s->span + 1) >> 1;
    return (int)((s->flags & SCALE_REVERSED) ? s->max - o : s->min + o);
}

// ---------------------------------------------------------------- charts

#define CHARTS 10
#define PENS 8
#define CHART_UNDEFINED 4

struct ChartPen {
    uint32_t color;
    uint8_t width;
    uint8_t flags;  // bit 0 defined
    int32_t last;   // -1: the next sample starts a new line
};

struct ChartRecord {
    int32_t type;
    ChartPen pen[PENS];
    ChartScale scale;
    uint8_t step;
    int32_t cursor;
    uint16_t bitmap;
};

static ChartRecord chart[CHARTS];

static ChartRecord* defined_chart(int n)
{
    if (n < 0 || n >= CHARTS || chart[n].type >= CHART_UNDEFINED)
        return 0;
    return &chart[n];
}

static void undefine_pens(ChartRecord* c)
{
    for (int i = 0; i < PENS; ++i) {
        c->pen[i].flags = 0;
        c->pen[i].last = -1;
    }
}

void KM_Chart_Init(void)
{
    memset(chart, 0, sizeof chart);
    for (int n = 0; n < CHARTS; ++n) {
        chart[n].type = CHART_UNDEFINED;
        undefine_pens(&chart[n]);
    }
}

static void restore_clip(const GUI_Area* saved)
{
    LCD_SetClipRectEx(saved);
}

// Part l..r (relative to x0) of a chart's background, full height.
static void clear_band(ChartRecord* c, int l, int r)
{
    const ChartScale* s = &c->scale;
    if (c->type == 2) {
        ExtMemDirEntry* e = KM_GetExtBitmap(c->bitmap);
        if (!e)
            return;
        // A transparent bitmap is copied past the clip rectangle: only the
        // band may be repainted, or the whole chart would be wiped.
        if (e->type == EXTMEM_BITMAP_TRANS) {
            KM_DrawBitmapTrClipAbs(e, s->x0, s->y0, s->x0 + l, s->y0, s->x0 + r, s->y1, KM_BitmapKey(e));
            return;
        }
        GUI_Area saved = GUI_Context.ClipRect;
        GUI_Area band = {(int16_t)(s->x0 + l), (int16_t)s->y0, (int16_t)(s->x0 + r), (int16_t)s->y1};
        GUI_SetClipRect(&band);
        KM_DrawBitmap(e, s->x0, s->y0);
        restore_clip(&saved);
    } else {
        const GUI_ColorValue bk = GUI_GetBkColor();
        GUI_SetBkColor((GUI_ColorValue)s->value);
        GUI_ClearRect(s->x0 + l, s->y0, s->x0 + r, s->y1);
        GUI_SetBkColor(bk);
    }
}

static void full_clear(ChartRecord* c)
{
    ChartScale* s = &c->scale;
    const GUI_ColorValue bk = GUI_GetBkColor();
    GUI_SetBkColor((GUI_ColorValue)s->value);
    if (c->type == 2) {
        if (ExtMemDirEntry* e = KM_GetExtBitmap(c->bitmap))
            KM_DrawBitmap(e, s->x0, s->y0);
    } else {
        GUI_ClearRect(s->x0, s->y0, s->x1, s->y1);
    }
    GUI_SetBkColor(bk);
    s->flags &= (uint8_t)~CHART_FULL;
}

static void set_flags(ChartRecord* c, int clearStrip)
{
    c->scale.flags = (uint8_t)(SCALE_REVERSED | CHART_RETRACE | CHART_CLEAR_AHEAD | (clearStrip ? CHART_CLEAR_STRIP : 0));
}

int KM_Chart_Setup(int n, int type, int step, int x0, int y0, int x1, int y1, int min, int max, uint32_t bk)
{
    if (n < 0 || n >= CHARTS || type < 0 || type > 3)
        return 0;
    ChartRecord* c = &chart[n];
    orderCorners(&x0, &y0, &x1, &y1);
    // A step of 0 would plot every sample on one column and make the
    // multiple-of-step test divide by zero.
    if (step < 1)
        step = 1;
    if (step > 255)
        step = 255;
    c->type = type;
    c->step = (uint8_t)step;
    KM_Chart_Common(&c->scale, x0, y0, x1, y1, 0, 1, max, min, (int32_t)bk);
    set_flags(c, type == 0 && (x1 - x0) % step != 0);
    c->cursor = type == 3 ? (x1 - x0) - step : 0;
    full_clear(c);
    undefine_pens(c);
    return 1;
}

int KM_BitmapChart_Setup(int n, int step, int x, int y, int min, int max, int bitmap)
{
    if (n < 0 || n >= CHARTS)
        return 0;
    ExtMemDirEntry* e = KM_GetExtBitmap(bitmap);
    if (!e)
        return 0;
    ChartRecord* c = &chart[n];
    if (step < 1)
        step = 1;
    if (step > 255)
        step = 255;
    c->type = 2;
    c->step = (uint8_t)step;
    c->bitmap = (uint16_t)bitmap;
    KM_Chart_Common(&c->scale, x, y, x + KM_BitmapWidth(e) - 1, y + KM_BitmapHeight(e) - 1, 0, 1, max, min, -1);
    set_flags(c, 0);
    c->cursor = 0;
    full_clear(c);
    undefine_pens(c);
    return 1;
}

int KM_Chart_Set_Pen(int n, int pen, uint32_t color, int width)
{
    ChartRecord* c = defined_chart(n);
    if (!c || width <= 0 || width > 255 || pen < 0 || pen >= PENS)
        return 0;
    c->pen[pen].flags |= 1;
    c->pen[pen].color = color;
    c->pen[pen].width = (uint8_t)width;
    c->pen[pen].last = -1;
    return 1;
}

int KM_ChangeChartPen(int n, int pen, int width, uint32_t color)
{
    ChartRecord* c = defined_chart(n);
    if (!c || width <= 0 || width > 255 || pen < 0 || pen >= PENS)
        return 0;
    c->pen[pen].color = color;
    c->pen[pen].width = (uint8_t)width;
    return 1;
}

void KM_Chart_FinishSetup(int n, int widest)
{
    if (ChartRecord* c = defined_chart(n))
        if (widest == 0 || widest == 1)
            c->scale.flags &= (uint8_t)~CHART_CLEAR_STRIP;
}

int KM_SetChartBackgroundColor(int n, uint32_t color)
{
    ChartRecord* c = defined_chart(n);
    if (!c || c->type == 2)
        return 0;
    c->scale.value = (int32_t)color;
    return 1;
}

int KM_SetChartBitmap(int n, int bitmap)
{
    ChartRecord* c = defined_chart(n);
    if (!c || c->type != 2 || !KM_GetExtBitmap(bitmap))
        return 0;
    c->bitmap = (uint16_t)bitmap;
    return 1;
}

static int set_sweep_flag(int n, int mode, uint8_t bit)
{
    ChartRecord* c = defined_chart(n);
    if (!c || (c->type != 1 && c->type != 2))
        return 0;
    if (mode == 1)
        c->scale.flags |= bit;
    else
        c->scale.flags &= (uint8_t)~bit;
    return 1;
}

int KM_SetChartRetraceMode(int n, int mode)
{
    return set_sweep_flag(n, mode, CHART_RETRACE);
}

int KM_SetChartDrawMode(int n, int mode)
{
    return set_sweep_flag(n, mode, CHART_CLEAR_AHEAD);
}

int KM_ResetChartCursor(int n)
{
    ChartRecord* c = defined_chart(n);
    if (!c)
        return 0;
    for (int i = 0; i < PENS; ++i)
        c->pen[i].last = -1;
    c->cursor = c->type == 3 ? (c->scale.x1 - c->scale.x0) - c->step : 0;
    c->scale.flags &= (uint8_t)~CHART_FULL;
    return 1;
}

int KM_ClearAndResetChartDisplay(int n)
{
    ChartRecord* c = defined_chart(n);
    if (!c)
        return 0;
    full_clear(c);
    return KM_ResetChartCursor(n);
}

static void step_clear(ChartRecord* c)
{
    const int w = c->scale.x1 - c->scale.x0, step = c->step;
    int l = c->cursor + 1, r = l + step;
    clear_band(c, l, r);
    l = l + step;
    if (l + step > w)
        l = 0;
    r = l + step;
    if (c->scale.x0 + r + step > c->scale.x1)
        r = w;
    clear_band(c, l, r);
}

int KM_Chart_Show(int n, int count, int* values)
{
    if (n < 0 || n >= CHARTS || count < 0 || count > PENS || (count > 0 && !values))
        return 0;
    ChartRecord* c = defined_chart(n);
    if (!c)
        return 0;
    ChartScale* s = &c->scale;
    if (s->flags & CHART_FULL) {
        txNotify(":chart FULL and retrace is OFF\r");
        return 1;
    }
    const GUI_Area saved = GUI_Context.ClipRect;
    GUI_Area area = {(int16_t)s->x0, (int16_t)s->y0, (int16_t)s->x1, (int16_t)s->y1};
    GUI_SetClipRect(&area);
    const int step = c->step;
    if (c->type == 0 || c->type == 3) {
        if (s->x0 + c->cursor + step > s->x1) {
            const GUI_ColorValue bk = GUI_GetBkColor();
            GUI_SetBkColor((GUI_ColorValue)s->value);
            const int ok = scroll(s->x0 - Origin_X, s->y0 - Origin_Y, s->x0 + c->cursor - Origin_X, s->y1 - Origin_Y,
                                  step, "l");
            if (ok == CMD_OK && (s->flags & CHART_CLEAR_STRIP))
                GUI_ClearRect(s->x0 + c->cursor, s->y0, s->x1, s->y1);
            GUI_SetBkColor(bk);
            if (ok != CMD_OK) {
                restore_clip(&saved);
                return 0;
            }
            c->cursor -= step;
        }
    } else if (s->flags & CHART_CLEAR_AHEAD) {
        step_clear(c);
    }
    for (int i = 0; i < PENS; ++i)
        if ((c->pen[i].flags & 1) && (count == 0 || (i < count && values[i] == CHART_GAP)))
            c->pen[i].last = -1;
    for (int i = 0; i < count; ++i) {
        ChartPen* pen = &c->pen[i];
        if (!(pen->flags & 1) || values[i] == CHART_GAP)
            continue;
        const uint8_t oldSize = GUI_SetPenSize(pen->width);
        const GUI_ColorValue oldColor = GUI_GetColor();
        GUI_SetColor(pen->color);
        int p = KM_Chart_value_to_pixel(s, values[i]);
        if (p == -1)
            p = 0;
        else if (p == -2)
            p = s->span;
        const int last = pen->last == -1 ? p : pen->last;
        const int ya = (s->flags & SCALE_REVERSED) ? s->y1 - last : s->y0 + last;
        const int yb = (s->flags & SCALE_REVERSED) ? s->y1 - p : s->y0 + p;
        GUI_DrawLine(s->x0 + c->cursor, ya, s->x0 + c->cursor + step, yb);
        pen->last = p;
        values[i] = p;
        GUI_SetPenSize(oldSize);
        GUI_SetColor(oldColor);
    }
    c->cursor += step;
    if ((c->type == 1 || c->type == 2) && s->x0 + step + c->cursor > s->x1) {
        if (s->flags & CHART_RETRACE)
            c->cursor = 0;
        else
            s->flags |= CHART_FULL;
    }
    restore_clip(&saved);
    return 1;
}

int KM_Chart_Get_Pens(int n)
{
    ChartRecord* c = defined_chart(n);
    if (!c)
        return 0;
    int pens = 0;
    while (pens < PENS && (c->pen[pens].flags & 1))
        ++pens;
    return pens;
}

int KM_ChartIsDefined(int n)
{
    return defined_chart(n) != 0;
}

int KM_GetChartType(int n)
{
    ChartRecord* c = defined_chart(n);
    return c ? c->type : CHART_UNDEFINED;
}

// ---------------------------------------------------------------- host commands

// The next blank-separated token of *p, terminated in place; null at the end.
static char* next_token(char** p)
{
    char* s = *p;
    while (*s == ' ' || *s == '\t')
        ++s;
    if (!*s) {
        *p = s;
        return 0;
    }
    char* t = s;
    while (*s && *s != ' ' && *s != '\t')
        ++s;
    if (*s)
        *s++ = 0;
    *p = s;
    return t;
}

// Reads count numbers; 0 when a token is missing.
static int read_ints(char** p, int* out, int count)
{
    for (int i = 0; i < count; ++i) {
        char* t = next_token(p);
        if (!t)
            return 0;
        out[i] = KM_atoi(t);
    }
    return 1;
}

static int read_color(char** p, uint32_t* color)
{
    char* t = next_token(p);
    return t && readColorWord(t, color);
}

static int result(int ok)
{
    return ok ? CMD_OK : CMD_FAIL;
}

// [width colour]… defining pens 0, 1, …; then the set-up is finished.
static int read_pens(int n, char** p)
{
    int widest = 0;
    for (int pen = 0;; ++pen) {
        char* t = next_token(p);
        if (!t)
            break;
        const int width = KM_atoi(t);
        uint32_t color;
        if (!read_color(p, &color) || !KM_Chart_Set_Pen(n, pen, color, width))
            return CMD_FAIL;
        if (width > widest)
            widest = width;
    }
    KM_Chart_FinishSetup(n, widest);
    return CMD_OK;
}

// "cd n x0 y0 x1 y1 type step min max colour [width colour]…"
static int cmdChartDefine(char* cmd)
{
    char* p = cmd;
    next_token(&p);
    int v[9];
    uint32_t bk;
    if (!read_ints(&p, v, 9) || !read_color(&p, &bk))
        return CMD_FAIL;
    placeHeldAtOrigin(&v[1], 2);
    const int x0 = v[1], y0 = v[2], x1 = v[3], y1 = v[4];
    if (!areaIsOnScreen(x0, y0, x1, y1))
        return CMD_FAIL;
    if (!KM_Chart_Setup(v[0], v[5], v[6], x0, y0, x1, y1, v[7], v[8], bk))
        return CMD_FAIL;
    return read_pens(v[0], &p);
}

// "cdb n x y step min max bitmap [width colour]…"
static int cmdBitmapChartDefine(char* cmd)
{
    char* p = cmd;
    next_token(&p);
    int v[7];
    if (!read_ints(&p, v, 7))
        return CMD_FAIL;
    ExtMemDirEntry* e = KM_GetExtBitmap(v[6]);
    if (!e) {
        txString(":Bitmap not present\r");
        return CMD_FAIL;
    }
    placeHeldAtOrigin(&v[1], 1);
    const int x = v[1], y = v[2];
    if (!areaIsOnScreen(x, y, x + KM_BitmapWidth(e) - 1, y + KM_BitmapHeight(e) - 1))
        return CMD_FAIL;
    if (!KM_BitmapChart_Setup(v[0], v[3], x, y, v[4], v[5], v[6]))
        return CMD_FAIL;
    return read_pens(v[0], &p);
}

// "cv n [value1 … value8]": a token beginning "-" is a gap.
static int cmdChartValues(char* cmd)
{
    char* p = cmd;
    next_token(&p);
    char* t = next_token(&p);
    if (!t)
        return CMD_FAIL;
    const int n = KM_atoi(t);
    int values[PENS];
    int count = 0;
    while (count < PENS && (t = next_token(&p)) != 0)
        values[count++] = t[0] == '-' ? CHART_GAP : KM_atoi(t);
    return result(KM_Chart_Show(n, count, values));
}

// "on" anywhere in the line: 1; else "off": 0; else -1.
static int on_off(const char* cmd)
{
    if (strstr(cmd, "on"))
        return 1;
    if (strstr(cmd, "off"))
        return 0;
    return -1;
}

// "ld n x0 y0 x1 y1 orientation reversed min colour [value colour]…"
static int cmdLevelBarDefine(char* cmd)
{
    char* p = cmd;
    next_token(&p);
    int v[8];
    uint32_t bk;
    if (!read_ints(&p, v, 8) || !read_color(&p, &bk))
        return CMD_FAIL;
    placeHeldAtOrigin(&v[1], 2);
    const int x0 = v[1], y0 = v[2], x1 = v[3], y1 = v[4];
    if (!areaIsOnScreen(x0, y0, x1, y1))
        return CMD_FAIL;
    if (!KM_LevelBar_Setup(v[0], 1, v[5], v[6], x0, y0, x1, y1, v[7], bk))
        return CMD_FAIL;
    for (;;) {
        char* t = next_token(&p);
        if (!t)
            break;
        const int value = KM_atoi(t);
        uint32_t color;
        if (!read_color(&p, &color) || !KM_LevelBar_Add_Color(v[0], color, value))
            return CMD_FAIL;
    }
    return CMD_OK;
}

int cmdChartFamily(char* cmd)
{
    int n, m;
    if (strncmp(cmd, "cc", 2) == 0)
        return KM_sscanf(cmd, "%*s %d", &n) == 1 ? result(KM_ClearAndResetChartDisplay(n)) : CMD_FAIL;
    if (strncmp(cmd, "cr", 2) == 0)
        return KM_sscanf(cmd, "%*s %d", &n) == 1 ? result(KM_ResetChartCursor(n)) : CMD_FAIL;
    if (strncmp(cmd, "cdbb", 4) == 0)
        return KM_sscanf(cmd, "%*s %d %d", &n, &m) == 2 ? result(KM_SetChartBitmap(n, m)) : CMD_FAIL;
    if (strncmp(cmd, "cdbc", 4) == 0) {
        char* p = cmd;
        next_token(&p);
        char* t = next_token(&p);
        uint32_t color;
        if (!t || !read_color(&p, &color))
            return CMD_FAIL;
        return result(KM_SetChartBackgroundColor(KM_atoi(t), color));
    }
    if (strncmp(cmd, "cdp", 3) == 0) {
        char* p = cmd;
        next_token(&p);
        int v[3];
        uint32_t color;
        if (!read_ints(&p, v, 3) || !read_color(&p, &color))
            return CMD_FAIL;
        // Pens are numbered from 1 here; below that there is no pen.
        return result(KM_ChangeChartPen(v[0], v[1] >= 1 ? v[1] - 1 : -1, v[2], color));
    }
    if (strncmp(cmd, "cddm", 4) == 0 || strncmp(cmd, "cdrm", 4) == 0) {
        const int mode = on_off(cmd);
        if (KM_sscanf(cmd, "%*s %d", &n) != 1 || mode < 0)
            return CMD_FAIL;
        return result(cmd[2] == 'd' ? KM_SetChartDrawMode(n, mode) : KM_SetChartRetraceMode(n, mode));
    }
    if (strncmp(cmd, "cdb", 3) == 0)
        return cmdBitmapChartDefine(cmd);
    if (strncmp(cmd, "cd", 2) == 0)
        return cmdChartDefine(cmd);
    if (cmd[0] == 'c' && cmd[1] == 'v')
        return cmdChartValues(cmd);
    if (strncmp(cmd, "bcv", 3) == 0)
        return KM_sscanf(cmd, "%*s %d %d", &n, &m) == 2 ? doBinChartVals(n, m, 5000) : CMD_FAIL;
    if (strncmp(cmd, "ld", 2) == 0)
        return cmdLevelBarDefine(cmd);
    if (KM_sscanf(cmd, "lv %d %d", &n, &m) == 2)
        return result(KM_LevelBar_Show(n, m));
    return -1;
}
