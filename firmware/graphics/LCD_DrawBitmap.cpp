#include <string.h>

#include "graphics/GUI.h"

// The one bitmap entry between the shape and text code and the driver.

static void draw_clipped(int x0, int y0, int xsize, int ysize, int bpp, int bytesPerLine, const uint8_t* pData,
                         const LCD_PixelIndex* pTrans)
{
    const GUI_Area& c = GUI_Context.ClipRect;
    int d = c.y0 - y0;
    if (d > 0) {
        ysize -= d;
        pData += d * bytesPerLine;
        y0 = c.y0;
    }
    d = y0 + ysize - 1 - c.y1;
    if (d > 0)
        ysize -= d;
    d = x0 + xsize - 1 - c.x1;
    if (d > 0)
        xsize -= d;
    int diff = 0;  // pixels to skip in the first byte of each row
    d = c.x0 - x0;
    if (d > 0) {
        xsize -= d;
        x0 = c.x0;
        switch (bpp) {
        case 1: pData += d >> 3; diff = d & 7; break;
        case 2: pData += d >> 2; diff = d & 3; break;
        case 4: pData += d >> 1; diff = d & 1; break;
        case 8: pData += d; break;
        case 16: pData += 2 * d; break;
        case 32: pData += 4 * d; break;
        default: return;
        }
    }
    if (xsize <= 0 || ysize <= 0)
        return;
    LCD_GetpfDrawBitmap()(x0, y0, xsize, ysize, bpp, bytesPerLine, pData, diff, pTrans);
}

static unsigned pixel_index(const uint8_t* row, int bpp, int col)
{
    switch (bpp) {
    case 1:
    case 2:
    case 4: {
        const int bit = col * bpp;
        return (row[bit >> 3] >> (8 - bpp - (bit & 7))) & ((1u << bpp) - 1);
    }
    case 8:
        return row[col];
    default: {
        uint16_t v;
        memcpy(&v, row + 2 * col, 2);
        return v;
    }
    }
}

// One filled block per pixel.  Index 0 is left alone in TRANS mode, and in
// XOR mode at 1 to 4 bpp, as the unmagnified path does.
static void draw_magnified(int x0, int y0, int xsize, int ysize, int xmag, int ymag, int bpp, int bytesPerLine,
                           const uint8_t* pData, const LCD_PixelIndex* pTrans)
{
    if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16)
        return;
    const GUI_Area& c = GUI_Context.ClipRect;
    const int mode = GUI_Context.DrawMode;
    const bool skip0 = (mode & GUI_DRAWMODE_TRANS) || ((mode & GUI_DRAWMODE_XOR) && bpp <= 4);
    const LCD_PixelIndex saved = *LCD_pColorIndex;
    for (int row = 0; row < ysize; ++row) {
        int y = y0 + row * ymag, y1 = y + ymag - 1;
        if (y > c.y1)
            break;
        if (y1 < c.y0)
            continue;
        if (y < c.y0)
            y = c.y0;
        if (y1 > c.y1)
            y1 = c.y1;
        const uint8_t* src = pData + row * bytesPerLine;
        for (int col = 0; col < xsize; ++col) {
            int x = x0 + col * xmag, x1 = x + xmag - 1;
            if (x > c.x1)
                break;
            if (x1 < c.x0)
                continue;
            const unsigned index = pixel_index(src, bpp, col);
            if (skip0 && index == 0)
                continue;
            if (x < c.x0)
                x = c.x0;
            if (x1 > c.x1)
                x1 = c.x1;
            *LCD_pColorIndex = (pTrans && bpp <= 8) ? pTrans[index] : index;
            GUI_Context.pDeviceAPI->pfFillRect(x, y, x1, y1);
        }
    }
    *LCD_pColorIndex = saved;
}

void LCD_DrawBitmap(int x0, int y0, int xsize, int ysize, int xmag, int ymag, int bpp, int bytesPerLine,
                    const uint8_t* pData, const LCD_PixelIndex* pTrans)
{
    if (GUI_pLCD_APIList) {
        GUI_pLCD_APIList->pfDrawBitmap(x0, y0, xsize, ysize, xmag, ymag, bpp, bytesPerLine, pData, pTrans);
        return;
    }
    if (xmag == 1 && ymag == 1)
        draw_clipped(x0, y0, xsize, ysize, bpp, bytesPerLine, pData, pTrans);
    else if (xmag > 0 && ymag > 0)
        draw_magnified(x0, y0, xsize, ysize, xmag, ymag, bpp, bytesPerLine, pData, pTrans);
}
