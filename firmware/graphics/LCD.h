// The LCD layer of the graphics library: colour slots, draw mode, the
// primitives clipped against the context's clip rectangle, the one bitmap
// entry, colour conversion and device information.  Everything the shape
// code draws passes through here on its way to the display driver.
#pragma once

#include "graphics/GUI_Type.h"

// The colour slots by role: LCD_pColorIndex points at slot 1,
// LCD_pBkColorIndex and LCD_pAColorIndex at slot 0 (the pair).
extern LCD_PixelIndex* LCD_pColorIndex;
extern LCD_PixelIndex* LCD_pBkColorIndex;
extern LCD_PixelIndex* LCD_pAColorIndex;

// The operation tables of the one display, and the optional override list.
extern const LCD_DeviceAPIList* const LCD_aAPI[1];
extern const GUI_HLineAPIList LCD_HLineAPI;

int LCD_Init(void);
void LCD_SelectLCD(void);
void LCD_SetAPIList(const LCD_PrimitiveAPIList* pAPI);

// Colours and indices.
void LCD_SetColor(GUI_ColorValue color);
void LCD_SetBkColor(GUI_ColorValue color);
void LCD_SetColorIndex(LCD_PixelIndex index);
void LCD_SetBkColorIndex(LCD_PixelIndex index);
LCD_PixelIndex LCD_GetColorIndex(void);
LCD_PixelIndex LCD_GetBkColorIndex(void);
void LCD_UpdateColorIndices(void);
LCD_PixelIndex LCD_Color2Index(GUI_ColorValue color);
GUI_ColorValue LCD_Index2Color(LCD_PixelIndex index);
typedef LCD_PixelIndex LCD_Color2IndexFunc(GUI_ColorValue color);
typedef GUI_ColorValue LCD_Index2ColorFunc(LCD_PixelIndex index);
LCD_Color2IndexFunc* LCD_GetpfColor2IndexEx(int layer);
LCD_Index2ColorFunc* LCD_GetpfIndex2ColorEx(int layer);

// Draw mode: returns the previous one; a change of the REV bit exchanges
// the two colour slots.
int LCD_SetDrawMode(int mode);

// Clip rectangle.
void LCD_SetClipRectEx(const GUI_Area* pRect);
void LCD_SetClipRectMax(void);

// Clipped primitives (inclusive coordinates).
void LCD_DrawPixel(int x, int y);
void LCD_SetPixelIndex(int x, int y, LCD_PixelIndex index);
void LCD_DrawHLine(int x0, int y, int x1);
void LCD_DrawVLine(int x, int y0, int y1);
void LCD_FillRect(int x0, int y0, int x1, int y1);
LCD_DrawBitmapFunc LCD_DrawBitmap;
LCD_PixelIndex LCD_GetPixelIndex(int x, int y);
GUI_ColorValue LCD_GetPixelColor(int x, int y);
LCD_DrawBitmapDriverFunc* LCD_GetpfDrawBitmap(void);
int LCD_PassingBitmapsAllowed(void);

// Colour conversion of the display's pixel formats.
LCD_PixelIndex LCD_Color2Index_M565(GUI_ColorValue color);
// The same from the three channels, inline for code that converts whole rows.
constexpr LCD_PixelIndex LCD__RGB2Index_M565(uint32_t r, uint32_t g, uint32_t b)
{
    return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
}
GUI_ColorValue LCD_Index2Color_M565(LCD_PixelIndex index);  // red 15..11, green 10..5, blue 4..0
GUI_ColorValue LCD_Index2Color_565(LCD_PixelIndex index);   // blue 15..11, green 10..5, red 4..0
GUI_ColorValue LCD_Index2Color_M555(LCD_PixelIndex index);  // red 14..10, green 9..5, blue 4..0
LCD_PixelIndex LCD_GetIndexMask_M565(void);

// Palettes of indexed bitmaps and the colour look-up table.
extern LCD_PixelIndex LCD__aConvTable[256];
const LCD_PixelIndex* LCD_GetpPalConvTable(const GUI_PaletteRecord* pPalette);
const LCD_PixelIndex* LCD_GetpPalConvTableUncached(const GUI_PaletteRecord* pPalette);
void LCD_InitLUT(void);
void LCD_SetLUTEntryEx(uint8_t pos, GUI_ColorValue color, int layer);
void LCD__SetPhysColor(uint8_t pos, GUI_ColorValue color);

// Device information; layers other than 0 yield 0.
int LCD_GetXSize(void);
int LCD_GetYSize(void);
int LCD_GetVXSize(void);
int LCD_GetVYSize(void);
int LCD_GetBitsPerPixel(void);
uint32_t LCD_GetNumColors(void);
int LCD_GetXMag(void);
int LCD_GetYMag(void);
int LCD_GetFixedPalette(void);
int LCD_GetXSizeEx(int layer);
int LCD_GetYSizeEx(int layer);
int LCD_GetVXSizeEx(int layer);
int LCD_GetVYSizeEx(int layer);
int LCD_GetBitsPerPixelEx(int layer);
uint32_t LCD_GetNumColorsEx(int layer);
int LCD_GetXMagEx(int layer);
int LCD_GetYMagEx(int layer);
int LCD_GetFixedPaletteEx(int layer);
int LCD_GetMirrorXEx(int layer);
int LCD_GetMirrorYEx(int layer);
int LCD_GetSwapXYEx(int layer);
int LCD_GetSwapRBEx(int layer);
int LCD_GetReversLUTEx(int layer);
int LCD_GetPhysColorsInRAMEx(int layer);
int LCD_GetBitsPerPixel_L0Ex(int layer);
int LCD_GetXSizeMax(void);
int LCD_GetYSizeMax(void);
int LCD_GetVXSizeMax(void);
int LCD_GetVYSizeMax(void);
int LCD_GetBitsPerPixelMax(void);
int LCD_GetNumLayers(void);
int LCD_GetDeltaModeEx(int layer);
