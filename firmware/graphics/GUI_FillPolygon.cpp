#include "graphics/GUI.h"

// Scan-line polygon fill.  On each line every edge that crosses it gives one
// x; the crossings are kept sorted and filled pairwise.  An edge covers the
// lines from its upper end down to just above its lower end, so a vertex
// between two edges counts once; on the polygon's last line the edges that
// end there count instead, so the bottom row is filled too.  Horizontal
// edges give no crossing (their rows are reached through their neighbours).

#define FILL_MAX_CROSSINGS 12

static int16_t crossings[FILL_MAX_CROSSINGS];
static int numCrossings;

static void add_crossing(int x)
{
    if (numCrossings >= FILL_MAX_CROSSINGS)
        return;  // a 13th crossing on one line is dropped
    if (x < -32768)
        x = -32768;
    if (x > 32767)
        x = 32767;
    int i = numCrossings++;
    for (; i > 0 && crossings[i - 1] > x; --i)
        crossings[i] = crossings[i - 1];
    crossings[i] = (int16_t)x;
}

// x where the edge from (xa, ya) down to (xb, yb) crosses the line; the
// product fits 32 bits for every edge on the screen, far-off points take
// the 64-bit way.
static int edge_x(int xa, int ya, int xb, int yb, int line)
{
    const int dy = line - ya, dx = xb - xa;
    if (dy < 32768 && dx > -65536 && dx < 65536)
        return xa + dy * dx / (yb - ya);
    return xa + (int)((int64_t)dy * dx / (yb - ya));
}

void GL_FillPolygon(const GUI_Point* pPoints, int numPoints, int x, int y)
{
    if (numPoints < 2)
        return;
    int yMin = pPoints[0].y, yMax = pPoints[0].y;
    for (int i = 1; i < numPoints; ++i) {
        if (pPoints[i].y < yMin)
            yMin = pPoints[i].y;
        if (pPoints[i].y > yMax)
            yMax = pPoints[i].y;
    }
    const int last = yMax + y;
    yMin += y;
    yMax += y;
    if (yMin < -4095)
        yMin = -4095;
    if (yMax > 4095)
        yMax = 4095;
    // Lines outside the clip would draw nothing anyway.
    if (yMin < GUI_Context.ClipRect.y0)
        yMin = GUI_Context.ClipRect.y0;
    if (yMax > GUI_Context.ClipRect.y1)
        yMax = GUI_Context.ClipRect.y1;
    for (int line = yMin; line <= yMax; ++line) {
        numCrossings = 0;
        const bool bottom = line == last;
        for (int i = 0; i < numPoints; ++i) {
            const GUI_Point& a = pPoints[i];
            const GUI_Point& b = pPoints[i + 1 < numPoints ? i + 1 : 0];
            if (a.y == b.y)
                continue;
            const bool down = a.y < b.y;
            const int xa = (down ? a.x : b.x) + x, ya = (down ? a.y : b.y) + y;
            const int xb = (down ? b.x : a.x) + x, yb = (down ? b.y : a.y) + y;
            const bool covers = bottom ? (ya < line && line <= yb) : (ya <= line && line < yb);
            if (covers)
                add_crossing(edge_x(xa, ya, xb, yb, line));
        }
        for (int k = 0; k + 1 < numCrossings; k += 2)
            LCD_DrawHLine(crossings[k], line, crossings[k + 1]);
    }
}

void GUI_FillPolygon(const GUI_Point* pPoints, int numPoints, int x, int y)
{
    GL_FillPolygon(pPoints, numPoints, x, y);
}
