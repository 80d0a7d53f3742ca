#include <math.h>

#include "graphics/GUI.h"

// Arcs: a ring of the pen's width around the ellipse (rx, ry), cut to the
// angle range.  The range is drawn one quadrant at a time; each quadrant is
// mirrored onto the first, where angles run from the +x axis (0) to the up
// direction (90) and rows run outward from the centre.

static const double kDegree = 3.14159265358979323846 / 180.0;

// Screen span of local row v, columns u0..u1, in quadrant q.
static void quadrant_span(int x0, int y0, int q, int v, int u0, int u1)
{
    switch (q) {
    case 0: LCD_DrawHLine(x0 + u0, y0 - v, x0 + u1); break;
    case 1: LCD_DrawHLine(x0 - u1, y0 - v, x0 - u0); break;
    case 2: LCD_DrawHLine(x0 - u1, y0 + v, x0 - u0); break;
    default: LCD_DrawHLine(x0 + u0, y0 + v, x0 + u1); break;
    }
}

// x of row v on the ellipse with half-axes (a, b); 0 beyond it.
static float ellipse_x(float a, float b, int v)
{
    if (b <= 0 || v >= b)
        return 0;
    const float t = 1.0f - (float)v * (float)v / (b * b);
    return t > 0 ? a * sqrtf(t) : 0;
}

// One piece inside quadrant q, local angles la..lb (0 <= la <= lb <= 90).
static void arc_quadrant(int x0, int y0, int rx, int ry, int q, int la, int lb)
{
    // The ring reaches half the pen (plus an allowance) to either side; the
    // inner edge stops at the centre, however wide the pen.
    const double half = (GUI_Context.PenSize + 1.5) * 0.5;
    const float rxo = (float)(rx + half), ryo = (float)(ry + half);
    float rxi = (float)(rx - half), ryi = (float)(ry - half);
    if (rxi < 0)
        rxi = 0;
    if (ryi < 0)
        ryi = 0;
    const double cotB = lb >= 90 ? 0.0 : cos(lb * kDegree) / sin(lb * kDegree);
    const double cotA = la <= 0 ? 0.0 : cos(la * kDegree) / sin(la * kDegree);
    // A piece that is only the angle 0 has nothing above the centre row.
    const int vMax = lb <= 0 ? 0 : (int)floorf(ryo);
    for (int v = 0; v <= vMax; ++v) {
        int u0 = (int)ceilf(ellipse_x(rxi, ryi, v)), u1 = (int)floorf(ellipse_x(rxo, ryo, v));
        if (v == 0) {
            // The row through the centre lies at angle 0 only.
            if (la != 0)
                continue;
        } else {
            const double lo = v * cotB, hi = v * cotA;
            const int aMin = (int)ceil(lo - 1e-9);
            if (u0 < aMin)
                u0 = aMin;
            if (la > 0) {
                const int aMax = (int)floor(hi + 1e-9);
                if (u1 > aMax)
                    u1 = aMax;
            }
        }
        if (u0 <= u1)
            quadrant_span(x0, y0, q, v, u0, u1);
    }
}

void GL_DrawArc(int x0, int y0, int rx, int ry, int a0, int a1)
{
    if (rx < 0 || ry < 0)
        return;
    // Both angles move by whole turns until a0 lies in 0..359.
    const int64_t span = (int64_t)a1 - a0;
    if (span < 0)
        return;
    a0 %= 360;
    if (a0 < 0)
        a0 += 360;
    a1 = a0 + (span > 360 ? 360 : (int)span);
    for (int start = a0;;) {
        const int base = start / 90 * 90;
        const int end = a1 < base + 90 ? a1 : base + 90;
        const int q = (base / 90) & 3;
        const int s = start - base, e = end - base;
        // Quadrants 1 and 3 are mirrored, so their angles run backwards.
        if (q & 1)
            arc_quadrant(x0, y0, rx, ry, q, 90 - e, 90 - s);
        else
            arc_quadrant(x0, y0, rx, ry, q, s, e);
        if (end >= a1)
            break;
        start = end;
    }
}

void GUI_DrawArc(int x0, int y0, int rx, int ry, int a0, int a1)
{
    GL_DrawArc(x0, y0, rx, ry, a0, a1);
}
