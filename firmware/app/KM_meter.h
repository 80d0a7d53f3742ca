// Needle meters: a background bitmap of the memory image with a filled
// polygon that turns about a pivot as the host sends values; band meters
// also carry one coloured value band drawn as an arc about the pivot.
#pragma once

#include <stdint.h>

#include "graphics/GUI_Type.h"

#define METER_COUNT 8
#define METER_POINTS 10

// A value band: low and high value, the arc angles of high and low
// (degrees, 0-359), radius, pen width, band colour and the colour of the
// rest of the scale (0x00BBGGRR).
struct MeterBand {
    int32_t low, high;
    int32_t start, end;
    int32_t radius, pen;
    uint32_t color, color2;
};

struct Meter {
    int32_t x, y;    // background bitmap position (absolute)
    int32_t bitmap;  // memory-image number; -1: no meter
    int16_t pivotX, pivotY;
    GUI_Point points[METER_POINTS];  // relative to the pivot, turned to the initial value
    uint8_t count;
    uint32_t color;      // needle colour at definition
    uint32_t lastColor;  // needle colour last drawn
    int32_t initial, last;
    int32_t a, b;  // angles of the minimum and the maximum, degrees
    int32_t min, max;
    uint16_t box[4];  // x0, y0, x1, y1 of the last needle (absolute)
    MeterBand band;   // band.color 0xFFFFFFFF: a plain needle meter
};

extern Meter meters[METER_COUNT];

void KM_Meter_Init(void);
// "md " and "mdb " lines: 1 or 0.
int meterDefine(char* line);
// "mv": 1 or 0.
int meterValue(int n, int v);
// "mvb": band null changes the value (and needle colour) only.
int meterValueband(int n, int v, const MeterBand* band, uint32_t needleColor);
// "mvb" lines that scan with at least 2 fields; -1 for fewer (not an "mvb").
int cmdMeterValueBand(const char* line);
void savePolyBoxCorners(int px, int py, const GUI_Point* points, int count, uint16_t* box);
void findMaxAbsY(void);
