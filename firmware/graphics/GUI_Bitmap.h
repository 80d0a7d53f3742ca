// Bitmaps: the descriptor record, palettes, the method tables of the packed
// and converted kinds, and the next-pixel interface of the image decoders.
#pragma once

#include "graphics/GUI_Type.h"

typedef void GUI_DrawBitmapMethod(int x0, int y0, int xsize, int ysize, const uint8_t* pPixel,
                                  const GUI_PaletteRecord* pPal, int xMag, int yMag);

struct GUI_BitmapMethodTable {
    GUI_DrawBitmapMethod* pfDraw;
    GUI_ColorValue (*pfIndex2Color)(LCD_PixelIndex index);
    void (*pfSpare)(void);
};

struct GUI_BitmapRecord {
    uint16_t XSize;
    uint16_t YSize;
    uint16_t BytesPerLine;
    uint16_t BitsPerPixel;
    const uint8_t* pData;
    const GUI_PaletteRecord* pPal;
    const GUI_BitmapMethodTable* pMethods;
};

extern const GUI_BitmapMethodTable GUI_BitmapMethods565;    // blue in the high bits
extern const GUI_BitmapMethodTable GUI_BitmapMethodsM565;   // red in the high bits (RGB565)
extern const GUI_BitmapMethodTable GUI_BitmapMethodsRLE8;
extern const GUI_BitmapMethodTable GUI_BitmapMethodsRLE16;
extern const GUI_BitmapMethodTable GUI_BitmapMethodsRLEM16;

void GUI_DrawBitmap(const GUI_BitmapRecord* pBM, int x, int y);
void GL_DrawBitmap(const GUI_BitmapRecord* pBM, int x, int y);
void GUI__DrawBitmap16bpp(int x0, int y0, int xsize, int ysize, const uint8_t* pPixel,
                          const GUI_PaletteRecord* pPal, int xMag, int yMag, int swapRB);

// RLE16 data of a known length (reads stop at its end); and forgetting the
// resume position of banded draws when the data under it changes.
void GUI__DrawBitmapRLE16(int x0, int y0, int xsize, int ysize, const uint8_t* p, uint32_t length, int xMag,
                          int yMag, int swapRB);
void GUI_RLE16_ForgetPosition(void);

// The decoders of the image files emit their pixels row by row through this.
struct GUI_NextPixelAPI {
    int (*pfStart)(int x0, int y0, int x1, int y1);
    void (*pfSetPixel)(LCD_PixelIndex index);
    void (*pfNextLine)(void);
    void (*pfEnd)(void);
};
const GUI_NextPixelAPI* LCD_GetNextPixelAPI(void);
