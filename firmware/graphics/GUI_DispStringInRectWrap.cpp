#include "graphics/GUI.h"

// Text wrapped into a rectangle: lines cut by the wrap finder for the
// rectangle's width, placed by the alignment, clipped to the rectangle.

void GUI_DispStringInRectWrap(const char* s, const GUI_Area* pRect, int align, int wrapMode)
{
    if (!s || !pRect || !GUI_Context.pFont)
        return;
    const GUI_Area r = *pRect;
    const int xSize = r.x1 - r.x0 + 1;
    const int yDist = GUI_GetFontDistY();

    int numLines = 0;
    for (const char* p = s; *p; p += GUI__WrapGetNumBytesToNextLine(p, xSize, wrapMode))
        ++numLines;

    int y = GUI__RectLinesTop(&r, align, numLines);
    GUI_Area old;
    if (GUI__NarrowClip(&r, &old)) {
        for (const char* p = s; *p; p += GUI__WrapGetNumBytesToNextLine(p, xSize, wrapMode), y += yDist)
            GUI__DispRectLine(p, GUI__WrapGetNumCharsDisp(p, xSize, wrapMode), &r, align, y);
    }
    GUI_Context.ClipRect = old;
}
