#include <math.h>

#include "graphics/GUI.h"

// Rotation about (0, 0) in single precision, truncated toward zero.  Each
// point is read whole before it is written, so pDest may be pSrc.

static int16_t to_coordinate(float v)
{
    if (v >= 32767.0f)
        return 32767;
    if (v <= -32768.0f)
        return -32768;
    return (int16_t)(int)v;
}

void GUI_RotatePolygon(GUI_Point* pDest, const GUI_Point* pSrc, int numPoints, float angle)
{
    const float c = cosf(angle), s = sinf(angle);
    for (int i = 0; i < numPoints; ++i) {
        const float x = pSrc[i].x, y = pSrc[i].y;
        pDest[i].x = to_coordinate(x * c + y * s);
        pDest[i].y = to_coordinate(y * c - x * s);
    }
}
