#include "graphics/GUI.h"

// Integer trigonometry: 4096 steps per turn, results scaled by 1024.

// sin of 0, 5.625, 11.25 ... 90 degrees.
static const uint16_t aSin[17] = {
    0, 100, 200, 297, 392, 483, 569, 650, 724, 792, 851, 903, 946, 980, 1004, 1019, 1024,
};

// atan of i / 16, i = 0..16.
static const uint16_t aTan[17] = {
    0, 41, 81, 121, 160, 197, 234, 269, 302, 334, 364, 393, 419, 445, 469, 491, 512,
};

int GUI_sin(int angle)
{
    int a = angle & 4095;
    bool negative = false;
    if (a > 2048) {
        a -= 2048;
        negative = true;
    }
    if (a > 1024)
        a = 2048 - a;
    const int i = a >> 6, f = a & 63;
    int r = aSin[i] * (64 - f) + 32;
    if (f)
        r += aSin[i + 1] * f;
    r /= 64;
    return negative ? -r : r;
}

int GUI_cos(int angle)
{
    return GUI_sin(angle + 1024);
}

int GUI__atan2(int dx, int dy)
{
    const int adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const int major = adx >= ady ? adx : ady, minor = adx >= ady ? ady : adx;
    if (major == 0)
        return 0;
    const int q = (minor * 1024 + major / 2) / major;  // tan in 1/1024
    const int i = q >> 6, f = q & 63;
    int a = aTan[i];
    if (f)
        a += ((aTan[i + 1] - aTan[i]) * f + 32) / 64;
    if (ady > adx)
        a = 1024 - a;
    if (dx < 0)
        a = 2048 - a;
    if (dy < 0)
        a = 4096 - a;
    return a;
}
