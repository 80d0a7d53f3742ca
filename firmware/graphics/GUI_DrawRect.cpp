#include "graphics/GUI.h"

// Rectangle outline: the top and bottom rows whole, the sides between them,
// so that no pixel is drawn twice (an XOR outline stays closed).

void GUI_DrawRect(int x0, int y0, int x1, int y1)
{
    LCD_DrawHLine(x0, y0, x1);
    if (y1 != y0)
        LCD_DrawHLine(x0, y1, x1);
    if (y1 - y0 >= 2) {
        LCD_DrawVLine(x0, y0 + 1, y1 - 1);
        if (x1 != x0)
            LCD_DrawVLine(x1, y0 + 1, y1 - 1);
    }
}

void GUI_FillRect(int x0, int y0, int x1, int y1)
{
    LCD_FillRect(x0, y0, x1, y1);
}
