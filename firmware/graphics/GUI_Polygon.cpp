#include "graphics/GUI.h"

// Outlines through a point list with the current pen; one dash-pattern
// count runs through all segments, so a dotted outline keeps its rhythm at
// the corners.

static void draw_path(const GUI_Point* pPoints, int numPoints, int x, int y, bool closed)
{
    if (numPoints < 2)
        return;
    int count = 0;
    GL_MoveTo(pPoints[0].x + x, pPoints[0].y + y);
    for (int i = 1; i < numPoints; ++i)
        GL_DrawLineToEx(pPoints[i].x + x, pPoints[i].y + y, &count);
    if (closed)
        GL_DrawLineToEx(pPoints[0].x + x, pPoints[0].y + y, &count);
}

void GL_DrawPolygon(const GUI_Point* pPoints, int numPoints, int x, int y)
{
    draw_path(pPoints, numPoints, x, y, true);
}

void GUI_DrawPolygon(const GUI_Point* pPoints, int numPoints, int x, int y)
{
    draw_path(pPoints, numPoints, x, y, true);
}

void GUI_DrawPolyLine(const GUI_Point* pPoints, int numPoints, int x, int y)
{
    draw_path(pPoints, numPoints, x, y, false);
}
