// Level bars: a rectangle filled up to a value in up to three colour bands.
#include <string.h>

#include "app/KM_chart.h"
#include "app/Main.h"
#include "graphics/GUI.h"

#define LEVEL_BARS 32
#define BANDS 3

struct LevelBarRecord {
    int32_t state;  // 1 defined, 0 free
    ChartScale scale;
    uint8_t bands;
    uint32_t color[BANDS];
    int32_t top[BANDS];
};

static LevelBarRecord LevelBars[LEVEL_BARS];

void KM_LevelBar_Init(void)
{
    memset(LevelBars, 0, sizeof LevelBars);
}

int KM_LevelBar_Setup(int n, int state, int orientation, int reversed, int x0, int y0, int x1, int y1, int min,
                      uint32_t bk)
{
    if (n < 0 || n >= LEVEL_BARS)
        return 0;
    LevelBarRecord* b = &LevelBars[n];
    b->bands = 0;
    if (!KM_Chart_Common(&b->scale, x0, y0, x1, y1, orientation, reversed, 0, min, (int32_t)bk)) {
        b->state = 0;
        return 0;
    }
    b->state = state;
    return 1;
}

int KM_LevelBar_Add_Color(int n, uint32_t color, int value)
{
    if (n < 0 || n >= LEVEL_BARS)
        return 0;
    LevelBarRecord* b = &LevelBars[n];
    if (b->state != 1 || b->bands >= BANDS || value < b->scale.min)
        return 0;
    if (b->bands == 0)
        b->scale.max = value;
    else if (value > b->scale.max)
        return 0;
    int p = KM_Chart_value_to_pixel(&b->scale, value);
    if (p == -2)
        p = b->scale.span;
    b->color[b->bands] = color;
    b->top[b->bands] = p;
    ++b->bands;
    return 1;
}

// Part a..b of the value axis in one colour.
static void fill_part(const ChartScale* s, int a, int b, uint32_t color)
{
    if (a > b)
        return;
    int x0 = s->x0, y0 = s->y0, x1 = s->x1, y1 = s->y1;
    const int reversed = s->flags & 1;
    if (s->orientation == 0) {
        if (reversed) {
            y0 = s->y0 + a;
            y1 = s->y0 + b;
        } else {
            y0 = s->y1 - b;
            y1 = s->y1 - a;
        }
    } else if (reversed) {
        x0 = s->x1 - b;
        x1 = s->x1 - a;
    } else {
        x0 = s->x0 + a;
        x1 = s->x0 + b;
    }
    const GUI_ColorValue old = GUI_GetColor();
    GUI_SetColor(color);
    GUIDEMO_DrawRect(1, x0, y0, x1, y1);
    GUI_SetColor(old);
}

int KM_LevelBar_Show(int n, int value)
{
    if (n < 0 || n >= LEVEL_BARS)
        return 0;
    LevelBarRecord* b = &LevelBars[n];
    if (b->state != 1 || b->bands == 0)
        return 0;
    const ChartScale* s = &b->scale;
    int p = KM_Chart_value_to_pixel(s, value);
    if (p == -2)
        p = s->span;
    int start = 0;
    for (int i = b->bands - 1; i >= 0; --i) {
        const int end = p < b->top[i] ? p : b->top[i];
        fill_part(s, start, end, b->color[i]);
        if (end + 1 > start)
            start = end + 1;
        if (p < start)
            break;
    }
    if (s->span > start)
        fill_part(s, start, s->span, (uint32_t)s->value);
    return 1;
}
