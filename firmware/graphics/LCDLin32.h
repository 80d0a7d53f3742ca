// Display driver of the linear 16-bit frame buffer: turns the clipped
// primitives of the LCD layer into writes to the frame buffer that the LCD
// controller scans out.  It never clips: callers keep every coordinate
// inside the display.
#pragma once

#include "graphics/GUI_Type.h"

extern const LCD_DeviceAPIList LCD_L0_APIList;

// Colour table record of the display; its count is 0 (no look-up table).
struct LCD_LutInfoRecord {
    GUI_ColorValue* pEntries;
    uint16_t NumEntries;
};
extern LCD_LutInfoRecord LCD_L0_LutInfo;

int LCD_L0_Init(void);
void LCD_L0_On(void);
void LCD_L0_Off(void);
void LCD_L0_SetOrg(int x, int y);
void LCD_L0_GetRect(GUI_Area* pRect);

void LCD_L0_SetPixelIndex(int x, int y, LCD_PixelIndex index);
LCD_PixelIndex LCD_L0_GetPixelIndex(int x, int y);
void LCD_L0_XorPixel(int x, int y);
void LCD_L0_DrawHLine(int x0, int y, int x1);
void LCD_L0_DrawVLine(int x, int y0, int y1);
void LCD_L0_FillRect(int x0, int y0, int x1, int y1);
LCD_DrawBitmapDriverFunc LCD_L0_DrawBitmap;
// The frame buffer is linear: the pixels of a row follow one another as
// 16-bit values from this address of pixel (x, y) on.  For code that clips
// and writes whole pieces of rows itself (the compressed-bitmap decoder,
// the commands that copy, scroll or set pixels directly).  Taking the
// address marks the frame buffer changed, so that what is written through
// it is cleaned out of the data cache at the next flush; take it again
// after anything that may flush (a wait).
uint16_t* LCD_L0_PixelAddress(int x, int y);
// The same address for reading only: it marks nothing.
const uint16_t* LCD_L0_ConstPixelAddress(int x, int y);

LCD_PixelIndex LCD_L0_Color2Index(GUI_ColorValue color);
GUI_ColorValue LCD_L0_Index2Color(LCD_PixelIndex index);
LCD_PixelIndex LCD_L0_GetIndexMask(void);
LCD_PixelIndex (*LCD_L0_GetpfColor2Index(void))(GUI_ColorValue);
GUI_ColorValue (*LCD_L0_GetpfIndex2Color(void))(LCD_PixelIndex);
void LCD_L0_SetLUTEntry(uint8_t pos, GUI_ColorValue color);

LCD_DevFunc LCD_L0_GetDevFunc(int index);
int32_t LCD_L0_GetDevProp(int index);
