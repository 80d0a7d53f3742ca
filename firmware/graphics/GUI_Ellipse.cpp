#include "graphics/GUI.h"

// Ellipses: for each row dy of one quadrant the half-width is the largest
// dx with dx^2 ry^2 + dy^2 rx^2 <= rx^2 ry^2 (1 + 1 / (2 max(rx, ry))), the
// same half-pixel allowance the circles use.  A radius of 0 gives a
// straight line (both 0: one pixel).

struct QuadrantWalk {
    int64_t rx2, ry2, bound;
    int dx;
};

static QuadrantWalk walk_start(int rx, int ry)
{
    QuadrantWalk w;
    w.rx2 = (int64_t)rx * rx;
    w.ry2 = (int64_t)ry * ry;
    const int m = rx > ry ? rx : ry;
    w.bound = w.rx2 * w.ry2 + (m ? w.rx2 * w.ry2 / (2 * m) : 0);
    w.dx = rx;
    return w;
}

// Half-width of row dy; rows must be asked in increasing order.
static int half_width(QuadrantWalk& w, int dy)
{
    const int64_t rowTerm = (int64_t)dy * dy * w.rx2;
    while (w.dx > 0 && (int64_t)w.dx * w.dx * w.ry2 + rowTerm > w.bound)
        --w.dx;
    return w.dx;
}

void GL_FillEllipse(int x0, int y0, int rx, int ry)
{
    if (rx < 0 || ry < 0)
        return;
    void (*hline)(int, int, int) = GUI_Context.pHLine->pfDrawHLine;
    QuadrantWalk w = walk_start(rx, ry);
    const int middle = half_width(w, 0);
    hline(x0 - middle, y0, x0 + middle);
    for (int dy = 1; dy <= ry; ++dy) {
        const int dx = half_width(w, dy);
        hline(x0 - dx, y0 - dy, x0 + dx);
        hline(x0 - dx, y0 + dy, x0 + dx);
    }
}

// The outline joins the quadrant's points row by row: each row runs from
// its own half-width out to just inside the row before, so the outline is
// closed, the same in all four quadrants, and has every pixel once.
void GL_DrawEllipse(int x0, int y0, int rx, int ry)
{
    if (rx < 0 || ry < 0)
        return;
    if (rx == 0 || ry == 0) {
        GL_DrawLine1(x0 - rx, y0 - ry, x0 + rx, y0 + ry);
        return;
    }
    void (*hline)(int, int, int) = GUI_Context.pHLine->pfDrawHLine;
    QuadrantWalk w = walk_start(rx, ry);
    int prev = half_width(w, 0);
    hline(x0 - prev, y0, x0 - prev);
    hline(x0 + prev, y0, x0 + prev);
    for (int dy = 1; dy <= ry; ++dy) {
        const int dx = half_width(w, dy);
        const int outer = dx > prev - 1 ? dx : prev - 1;
        if (dy == ry) {
            // The top and bottom rows join the two halves.
            hline(x0 - outer, y0 - dy, x0 + outer);
            hline(x0 - outer, y0 + dy, x0 + outer);
        } else {
            hline(x0 + dx, y0 - dy, x0 + outer);
            hline(x0 - outer, y0 - dy, x0 - dx);
            hline(x0 + dx, y0 + dy, x0 + outer);
            hline(x0 - outer, y0 + dy, x0 - dx);
        }
        prev = dx;
    }
}

void GUI_DrawEllipse(int x0, int y0, int rx, int ry)
{
    GL_DrawEllipse(x0, y0, rx, ry);
}

void GUI_FillEllipse(int x0, int y0, int rx, int ry)
{
    GL_FillEllipse(x0, y0, rx, ry);
}
