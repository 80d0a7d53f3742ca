#include "graphics/GUI.h"

// Circles are walked over one octant, from the top to the 45-degree point
// (limit), with bound = r*r + r/2 deciding when the walk steps inward, so
// each step gives eight points or four spans.

static int circle_limit(int r)
{
    return r * 707 / 1000 + 1;
}

static void eight_points(int x0, int y0, int a, int b)
{
    void (*pixel)(int, int) = GUI_Context.pHLine->pfDrawPixel;
    pixel(x0 + a, y0 + b);
    pixel(x0 - a, y0 + b);
    if (b != 0) {
        pixel(x0 + a, y0 - b);
        pixel(x0 - a, y0 - b);
    }
    if (a == b)
        return;  // the exchanged points are the same four
    pixel(x0 + b, y0 + a);
    pixel(x0 + b, y0 - a);
    if (b != 0) {
        pixel(x0 - b, y0 + a);
        pixel(x0 - b, y0 - a);
    }
}

void GL_DrawCircle(int x0, int y0, int r)
{
    if (r <= 0) {
        // The walk below would put the neighbours of a zero radius around it.
        if (r == 0)
            GUI_Context.pHLine->pfDrawPixel(x0, y0);
        return;
    }
    const int limit = circle_limit(r), bound = r * r + r / 2;
    eight_points(x0, y0, r, 0);
    // The walk runs a step past the diagonal; there it only repeats points
    // of the neighbouring octant, so those are left out and an XOR outline
    // inverts each of its pixels once.
    for (int i = 1, x = r; i <= limit; ++i) {
        if (i <= x)
            eight_points(x0, y0, i, x);
        if (i * i + x * x > bound) {
            --x;
            if (i <= x)
                eight_points(x0, y0, i, x);
        }
    }
}

void GL_FillCircle(int x0, int y0, int r)
{
    if (r < 0)
        return;
    void (*hline)(int, int, int) = GUI_Context.pHLine->pfDrawHLine;
    const int limit = circle_limit(r), bound = r * r + r / 2;
    hline(x0 - r, y0, x0 + r);
    for (int i = 1, x = r; i <= limit; ++i) {
        if (i * i + x * x > bound) {
            if (limit < x) {
                hline(x0 - i + 1, y0 - x, x0 + i - 1);
                hline(x0 - i + 1, y0 + x, x0 + i - 1);
            }
            --x;
        }
        hline(x0 - x, y0 - i, x0 + x);
        hline(x0 - x, y0 + i, x0 + x);
    }
}

void GUI_DrawCircle(int x0, int y0, int r)
{
    GL_DrawCircle(x0, y0, r);
}

void GUI_FillCircle(int x0, int y0, int r)
{
    GL_FillCircle(x0, y0, r);
}
