#include "graphics/GUI.h"

// Anti-aliased glyph pixels: an intensity 0..15 mixes the foreground into
// the background colour (normal), into the colour already on the screen
// (TRANS), or inverts what lies below in proportion (XOR).  Pixels of full
// intensity skip the mixing.

GUI_ColorValue LCD_AA_MixColors(GUI_ColorValue fg, GUI_ColorValue bg, uint8_t intensity)
{
    if (intensity >= 15)
        return fg;
    if (intensity == 0)
        return bg;
    GUI_ColorValue out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const unsigned f = (fg >> shift) & 0xFF, b = (bg >> shift) & 0xFF;
        out |= (GUI_ColorValue)((f * intensity + b * (15u - intensity)) / 15u) << shift;
    }
    return out;
}

static bool inside_clip(int x, int y)
{
    const GUI_Area& c = GUI_Context.ClipRect;
    return x >= c.x0 && x <= c.x1 && y >= c.y0 && y <= c.y1;
}

static const LCD_DeviceAPIList* api(void)
{
    return GUI_Context.pDeviceAPI;
}

// The 16 indices between the background and the foreground for the pair
// in use; a glyph or a whole text line reuses them.
static LCD_PixelIndex mixFg = 0xFFFFFFFF, mixBg = 0xFFFFFFFF;
static LCD_PixelIndex mixTable[16];

static const LCD_PixelIndex* mixes(void)
{
    const LCD_PixelIndex fg = *LCD_pColorIndex, bg = *LCD_pBkColorIndex;
    if (fg != mixFg || bg != mixBg) {
        const GUI_ColorValue f = api()->pfIndex2Color(fg), b = api()->pfIndex2Color(bg);
        mixTable[0] = bg;
        mixTable[15] = fg;
        for (int i = 1; i < 15; ++i)
            mixTable[i] = api()->pfColor2Index(LCD_AA_MixColors(f, b, (uint8_t)i));
        mixFg = fg;
        mixBg = bg;
    }
    return mixTable;
}

void LCD_SetPixelAA_NoTrans(int x, int y, uint8_t intensity)
{
    if (inside_clip(x, y))
        api()->pfSetPixelIndex(x, y, mixes()[intensity & 15]);
}

void LCD_SetPixelAA(int x, int y, uint8_t intensity)
{
    if (intensity == 0 || !inside_clip(x, y))
        return;
    LCD_PixelIndex index = *LCD_pColorIndex;
    if (intensity < 15) {
        const GUI_ColorValue under = api()->pfIndex2Color(api()->pfGetPixelIndex(x, y));
        index = api()->pfColor2Index(LCD_AA_MixColors(api()->pfIndex2Color(index), under, intensity));
    }
    api()->pfSetPixelIndex(x, y, index);
}

// Full intensity inverts the pixel exactly as 1-bpp XOR text does; lower
// intensities move the pixel that far towards its inverse.
void LCD_SetPixelAA_Xor(int x, int y, uint8_t intensity)
{
    if (intensity == 0 || !inside_clip(x, y))
        return;
    const LCD_PixelIndex under = api()->pfGetPixelIndex(x, y);
    LCD_PixelIndex index = under ^ api()->pfGetIndexMask();
    if (intensity < 15) {
        const GUI_ColorValue c = api()->pfIndex2Color(under);
        index = api()->pfColor2Index(LCD_AA_MixColors(c ^ 0xFFFFFF, c, intensity));
    }
    api()->pfSetPixelIndex(x, y, index);
}

LCD_SetPixelAAFunc* LCD_GetpfSetPixelAA(void)
{
    const int mode = GUI_Context.DrawMode;
    if (mode & GUI_DRAWMODE_XOR)
        return LCD_SetPixelAA_Xor;
    if (mode & GUI_DRAWMODE_TRANS)
        return LCD_SetPixelAA;
    return LCD_SetPixelAA_NoTrans;
}

// Rows of 2- or 4-bpp intensities, high bits leftmost; 2-bpp values
// 0..3 stand for 0, 5, 10, 15.  Rows and columns outside the clip are
// skipped before any pixel is looked at.
static void draw_aa(int x0, int y0, int xsize, int ysize, int bytesPerLine, const uint8_t* pData, int bpp,
                    LCD_SetPixelAAFunc* pixel)
{
    if (!pData)
        return;
    if (GUI_pLCD_APIList) {
        GUI_pLCD_APIList->pfDrawBitmap(x0, y0, xsize, ysize, 1, 1, bpp, bytesPerLine, pData, nullptr);
        return;
    }
    const GUI_Area& c = GUI_Context.ClipRect;
    const int row0 = c.y0 > y0 ? c.y0 - y0 : 0, row1 = c.y1 - y0 < ysize - 1 ? c.y1 - y0 : ysize - 1;
    const int col0 = c.x0 > x0 ? c.x0 - x0 : 0, col1 = c.x1 - x0 < xsize - 1 ? c.x1 - x0 : xsize - 1;
    const int perByte = 8 / bpp, mask = (1 << bpp) - 1, scale = bpp == 2 ? 5 : 1;
    for (int row = row0; row <= row1; ++row) {
        const uint8_t* p = pData + row * bytesPerLine;
        for (int col = col0; col <= col1; ++col) {
            const int v = (p[col / perByte] >> (8 - bpp - (col % perByte) * bpp)) & mask;
            pixel(x0 + col, y0 + row, (uint8_t)(v * scale));
        }
    }
}

void GUI_AA__DrawCharAA4(int x0, int y0, int xsize, int ysize, int bytesPerLine, const uint8_t* pData)
{
    draw_aa(x0, y0, xsize, ysize, bytesPerLine, pData, 4, LCD_GetpfSetPixelAA());
}

void GUI_AA__DrawCharAA2NoTrans(int x0, int y0, int xsize, int ysize, int bytesPerLine, const uint8_t* pData)
{
    draw_aa(x0, y0, xsize, ysize, bytesPerLine, pData, 2, LCD_SetPixelAA_NoTrans);
}

void GUI_AA__DrawCharAA2Trans(int x0, int y0, int xsize, int ysize, int bytesPerLine, const uint8_t* pData)
{
    draw_aa(x0, y0, xsize, ysize, bytesPerLine, pData, 2, LCD_SetPixelAA);
}

void GUI_AA__DrawCharAA2Xor(int x0, int y0, int xsize, int ysize, int bytesPerLine, const uint8_t* pData)
{
    draw_aa(x0, y0, xsize, ysize, bytesPerLine, pData, 2, LCD_SetPixelAA_Xor);
}

void GUI_AA__DrawCharAA2(int x0, int y0, int xsize, int ysize, int bytesPerLine, const uint8_t* pData)
{
    draw_aa(x0, y0, xsize, ysize, bytesPerLine, pData, 2, LCD_GetpfSetPixelAA());
}
