#include "graphics/GUI_Bitmap.h"

#include "graphics/GUI.h"
#include "graphics/LCD.h"

// Whether 16-bit pixels of this layout are the display's own pixel values.
static int native_layout(int swapRB)
{
    return LCD_GetFixedPalette() == 565 && (LCD_GetSwapRBEx(0) != 0) == (swapRB != 0);
}

static LCD_PixelIndex convert(uint16_t v, int swapRB)
{
    GUI_ColorValue c = swapRB ? LCD_Index2Color_M565(v) : LCD_Index2Color_565(v);
    return LCD_Color2Index(c);
}

void GUI__DrawBitmap16bpp(int x0, int y0, int xsize, int ysize, const uint8_t* pPixel, const GUI_PaletteRecord*,
                          int xMag, int yMag, int swapRB)
{
    if (!pPixel || xsize <= 0 || ysize <= 0)
        return;
    const int bytesPerLine = 2 * xsize;
    if (native_layout(swapRB)) {
        LCD_DrawBitmap(x0, y0, xsize, ysize, xMag, yMag, 16, bytesPerLine, pPixel, 0);
        return;
    }
    // Other layouts are converted a piece of a row at a time.
    enum { CHUNK = 256 };
    uint16_t row[CHUNK];
    for (int y = 0; y < ysize; ++y) {
        const uint8_t* src = pPixel + y * bytesPerLine;
        for (int x = 0; x < xsize; x += CHUNK) {
            int n = xsize - x < CHUNK ? xsize - x : CHUNK;
            for (int i = 0; i < n; ++i) {
                uint16_t v = (uint16_t)(src[2 * (x + i)] | (src[2 * (x + i) + 1] << 8));
                row[i] = (uint16_t)convert(v, swapRB);
            }
            LCD_DrawBitmap(x0 + x * xMag, y0 + y * yMag, n, 1, xMag, yMag, 16, 2 * n, (const uint8_t*)row, 0);
        }
    }
}

static void _DrawBitmap(int x0, int y0, int xsize, int ysize, const uint8_t* pPixel, const GUI_PaletteRecord* pPal,
                        int xMag, int yMag)
{
    GUI__DrawBitmap16bpp(x0, y0, xsize, ysize, pPixel, pPal, xMag, yMag, 0);
}

static void _DrawBitmapSwapRB(int x0, int y0, int xsize, int ysize, const uint8_t* pPixel,
                              const GUI_PaletteRecord* pPal, int xMag, int yMag)
{
    GUI__DrawBitmap16bpp(x0, y0, xsize, ysize, pPixel, pPal, xMag, yMag, 1);
}

static GUI_ColorValue index2color_565(LCD_PixelIndex i) { return LCD_Index2Color_565(i); }
static GUI_ColorValue index2color_M565(LCD_PixelIndex i) { return LCD_Index2Color_M565(i); }

const GUI_BitmapMethodTable GUI_BitmapMethods565 = {_DrawBitmap, index2color_565, 0};
const GUI_BitmapMethodTable GUI_BitmapMethodsM565 = {_DrawBitmapSwapRB, index2color_M565, 0};
