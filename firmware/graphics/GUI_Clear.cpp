#include "graphics/GUI.h"

// Clearing paints the background colour: reverse mode for the fill gives
// the foreground slot the background index.

void GUI_ClearRect(int x0, int y0, int x1, int y1)
{
    const int old = LCD_SetDrawMode(GUI_DRAWMODE_REV);
    LCD_FillRect(x0, y0, x1, y1);
    LCD_SetDrawMode(old);
}

void GUI_Clear(void)
{
    GUI_GotoXY(0, 0);
    GUI_ClearRect(-4095, -4095, 4095, 4095);
}
