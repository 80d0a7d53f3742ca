#include "graphics/GUI.h"

// Colours by value and by index.  The getters read the slot that plays the
// role now, so in reverse mode they report the exchanged colours.

void GUI_SetColor(GUI_ColorValue color)
{
    LCD_SetColor(color);
}

void GUI_SetBkColor(GUI_ColorValue color)
{
    LCD_SetBkColor(color);
}

void GUI_SetColorIndex(LCD_PixelIndex index)
{
    GUI_Context.Color = GUI_COLOR_NONE;
    LCD_SetColorIndex(index);
}

void GUI_SetBkColorIndex(LCD_PixelIndex index)
{
    GUI_Context.BkColor = GUI_COLOR_NONE;
    LCD_SetBkColorIndex(index);
}

GUI_ColorValue GUI_GetColor(void)
{
    return LCD_Index2Color(*LCD_pColorIndex);
}

GUI_ColorValue GUI_GetBkColor(void)
{
    return LCD_Index2Color(*LCD_pBkColorIndex);
}

LCD_PixelIndex GUI_GetColorIndex(void)
{
    return LCD_GetColorIndex();
}

LCD_PixelIndex GUI_GetBkColorIndex(void)
{
    return LCD_GetBkColorIndex();
}

GUI_ColorValue GUI_Index2Color(LCD_PixelIndex index)
{
    return LCD_Index2Color(index);
}

LCD_Color2IndexFunc* GUI_GetpfColor2IndexEx(int layer)
{
    return LCD_GetpfColor2IndexEx(layer);
}

LCD_Index2ColorFunc* GUI_GetpfIndex2ColorEx(int layer)
{
    return LCD_GetpfIndex2ColorEx(layer);
}
