// The value scale shared by strip charts, level bars and sliders; strip
// charts (10, numbers 0-9) and level bars (32, numbers 0-31) with their
// host commands.
#pragma once

#include <stdint.h>

// Maps values to pixels along one axis of a screen rectangle.
struct ChartScale {
    int32_t x0, y0, x1, y1;  // corners inclusive
    int32_t orientation;     // 0: the value runs along y, 1: along x
    uint8_t flags;           // bit 0 reversed; bits 1-4 chart state
    int32_t span;            // length of the value axis in pixels
    int32_t max, min;
    int32_t value;           // free word: charts and level bars keep their background colour here
};

// Sample value that means "no sample for this pen".
#define CHART_GAP (-31999)

int KM_Chart_Common(ChartScale* scale, int x0, int y0, int x1, int y1, int orientation, int reversed, int max,
                    int min, int value);
// Pixel offset from the start of the value axis; -1 no scale, empty range or
// below min; -2 above max.
int KM_Chart_value_to_pixel(const ChartScale* scale, int v);
int KM_Chart_pixel_to_value(const ChartScale* scale, int p);

void KM_Chart_Init(void);
int KM_Chart_Setup(int n, int type, int step, int x0, int y0, int x1, int y1, int min, int max, uint32_t bk);
int KM_BitmapChart_Setup(int n, int step, int x, int y, int min, int max, int bitmap);
int KM_Chart_Set_Pen(int n, int pen, uint32_t color, int width);
int KM_ChangeChartPen(int n, int pen, int width, uint32_t color);
void KM_Chart_FinishSetup(int n, int widest);
int KM_SetChartBackgroundColor(int n, uint32_t color);
int KM_SetChartBitmap(int n, int bitmap);
int KM_SetChartRetraceMode(int n, int mode);
int KM_SetChartDrawMode(int n, int mode);
int KM_ResetChartCursor(int n);
int KM_ClearAndResetChartDisplay(int n);
// Plots one sample per pen (count 0-8); values become the pixel offsets
// plotted.
int KM_Chart_Show(int n, int count, int* values);
int KM_Chart_Get_Pens(int n);
int KM_ChartIsDefined(int n);
int KM_GetChartType(int n);

void KM_LevelBar_Init(void);
int KM_LevelBar_Setup(int n, int state, int orientation, int reversed, int x0, int y0, int x1, int y1, int min,
                      uint32_t bk);
int KM_LevelBar_Add_Color(int n, uint32_t color, int value);
int KM_LevelBar_Show(int n, int value);

// The chart and level-bar commands ("cc", "cr", "cdbb", "cdbc", "cdp",
// "cddm", "cdrm", "cdb", "cd…", "cv…", "bcv", "ld…", "lv"): the result
// code, or -1 when the line is none of them.
int cmdChartFamily(char* cmd);
