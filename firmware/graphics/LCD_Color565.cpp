#include "graphics/LCD.h"

// RGB565 and its sister layouts.  Colour to index keeps the top bits of each
// channel (no rounding); index to colour scales each field back to 0..255
// with a truncating division, so black and white survive the round trip.

LCD_PixelIndex LCD_Color2Index_M565(GUI_ColorValue color)
{
    return LCD__RGB2Index_M565(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

static GUI_ColorValue rgb(uint32_t r5, uint32_t g, uint32_t gmax, uint32_t b5)
{
    return (r5 * 255 / 31) | (g * 255 / gmax) << 8 | (b5 * 255 / 31) << 16;
}

GUI_ColorValue LCD_Index2Color_M565(LCD_PixelIndex index)
{
    return rgb((index >> 11) & 0x1F, (index >> 5) & 0x3F, 63, index & 0x1F);
}

GUI_ColorValue LCD_Index2Color_565(LCD_PixelIndex index)
{
    return rgb(index & 0x1F, (index >> 5) & 0x3F, 63, (index >> 11) & 0x1F);
}

GUI_ColorValue LCD_Index2Color_M555(LCD_PixelIndex index)
{
    return rgb((index >> 10) & 0x1F, (index >> 5) & 0x1F, 31, index & 0x1F);
}

LCD_PixelIndex LCD_GetIndexMask_M565(void)
{
    return 0xFFFF;
}
