#include "graphics/GUI.h"

// Points: one pixel with the thin pen, a filled disc with a wider one.

void GUI_DrawPixel(int x, int y)
{
    GUI_Context.pHLine->pfDrawPixel(x, y);
}

void GL_DrawPoint(int x, int y)
{
    if (GUI_Context.PenSize <= 1)
        GUI_Context.pHLine->pfDrawPixel(x, y);
    else
        GL_FillCircle(x, y, (GUI_Context.PenSize - 1) / 2);
}

void GUI_DrawPoint(int x, int y)
{
    GL_DrawPoint(x, y);
}
