// Types shared by every layer of the graphics library: colours, areas,
// point lists, the display driver's operation table and the drawing context.
#pragma once

#include <stddef.h>
#include <stdint.h>

// 24-bit colour 0x00BBGGRR: red in bits 0..7, green 8..15, blue 16..23.
typedef uint32_t GUI_ColorValue;
// The display's own pixel value (RGB565 on this panel).
typedef uint32_t LCD_PixelIndex;

// The colour caches of the context hold this while no colour value is known.
#define GUI_COLOR_NONE 0x0FFFFFFFu

// Draw-mode bits (DrawMode and TextMode of the context).
enum {
    GUI_DRAWMODE_NORMAL = 0,
    GUI_DRAWMODE_XOR = 1,
    GUI_DRAWMODE_TRANS = 2,
    GUI_DRAWMODE_REV = 4,
};

// Rectangle with inclusive corners; empty when x0 > x1 or y0 > y1.
struct GUI_Area {
    int16_t x0, y0, x1, y1;
};

struct GUI_Point {
    int16_t x, y;
};

struct GUI_FontRecord;
struct GUI_EncodingAPIList;

// Colour table of an indexed bitmap.
struct GUI_PaletteRecord {
    int32_t NumEntries;  // at most 256 are used
    uint8_t HasTrans;    // non-zero: index 0 is transparent
    const GUI_ColorValue* pPalEntries;
};

// Device properties asked through the driver's GetDevProp.
enum {
    LCD_DEVCAP_XSIZE = 1,
    LCD_DEVCAP_YSIZE = 2,
    LCD_DEVCAP_VXSIZE = 3,
    LCD_DEVCAP_VYSIZE = 4,
    LCD_DEVCAP_FIXED_VALUE = 7,
    LCD_DEVCAP_BITSPERPIXEL = 8,
    LCD_DEVCAP_NUMCOLORS = 9,
    LCD_DEVCAP_XMAG = 10,
    LCD_DEVCAP_YMAG = 11,
    LCD_DEVCAP_FIXEDPALETTE = 12,
    LCD_DEVCAP_MIRROR_X = 13,
    LCD_DEVCAP_MIRROR_Y = 14,
    LCD_DEVCAP_SWAP_XY = 15,
    LCD_DEVCAP_SWAP_RB = 16,
    LCD_DEVCAP_PHYSCOLORSINRAM = 17,
    LCD_DEVCAP_REVERSLUT = 18,
};

// Device functions asked through the driver's GetDevFunc.
enum {
    LCD_DEVFUNC_READRECT = 1,
    LCD_DEVFUNC_SETALPHA = 2,
    LCD_DEVFUNC_SETPOS = 3,
    LCD_DEVFUNC_SETSIZE = 4,
    LCD_DEVFUNC_PASSING_BITMAPS = 6,  // a marker: non-zero, not a function
    LCD_DEVFUNC_SETVRAMADDR = 9,
    LCD_DEVFUNC_SETVSIZE = 10,
    LCD_DEVFUNC_SETSIZE_VISIBLE = 11,
};

typedef void (*LCD_DevFunc)(void);
// Device function 1: copies the pixels of (x0, y0)..(x1, y1), row by row.
typedef void (*LCD_ReadRectFunc)(int x0, int y0, int x1, int y1, uint16_t* pDest);
typedef void (*LCD_SetVRAMAddrFunc)(void* p);
typedef void (*LCD_SetSizeFunc)(int xSize, int ySize);

typedef void LCD_DrawBitmapDriverFunc(int x0, int y0, int xsize, int ysize, int bpp, int bytesPerLine,
                                      const uint8_t* pData, int diff, const LCD_PixelIndex* pTrans);
typedef void LCD_DrawBitmapFunc(int x0, int y0, int xsize, int ysize, int xmag, int ymag, int bpp,
                                int bytesPerLine, const uint8_t* pData, const LCD_PixelIndex* pTrans);

// The display driver's 14 operations, in this order.
struct LCD_DeviceAPIList {
    LCD_PixelIndex (*pfColor2Index)(GUI_ColorValue color);
    GUI_ColorValue (*pfIndex2Color)(LCD_PixelIndex index);
    LCD_PixelIndex (*pfGetIndexMask)(void);
    LCD_DrawBitmapDriverFunc* pfDrawBitmap;
    void (*pfDrawHLine)(int x0, int y, int x1);
    void (*pfDrawVLine)(int x, int y0, int y1);
    void (*pfFillRect)(int x0, int y0, int x1, int y1);
    LCD_PixelIndex (*pfGetPixelIndex)(int x, int y);
    void (*pfGetRect)(GUI_Area* pRect);
    void (*pfSetPixelIndex)(int x, int y, LCD_PixelIndex index);
    void (*pfXorPixel)(int x, int y);
    void (*pfSetLUTEntry)(uint8_t pos, GUI_ColorValue color);
    LCD_DevFunc (*pfGetDevFunc)(int index);
    int32_t (*pfGetDevProp)(int index);
};

// The span and pixel writers that filled circles go through.
struct GUI_HLineAPIList {
    void (*pfDrawHLine)(int x0, int y, int x1);
    void (*pfDrawPixel)(int x, int y);
};

// Primitives that replace the driver's when a list is installed with
// LCD_SetAPIList.
struct LCD_PrimitiveAPIList {
    void (*pfDrawPixel)(int x, int y);
    void (*pfDrawHLine)(int x0, int y, int x1);
    void (*pfDrawVLine)(int x, int y0, int y1);
    void (*pfFillRect)(int x0, int y0, int x1, int y1);
    LCD_DrawBitmapDriverFunc* pfDrawBitmap;
};

// Turned text: every glyph bitmap goes through the list's drawer, and the
// converter turns the caller's rectangle into the one lines are laid out in.
struct GUI_RotationAPIList {
    LCD_DrawBitmapFunc* pfDrawBitmap;
    void (*pfRect2TextRect)(GUI_Area* pRect);
};

// The single drawing context.  BkColorIndex and ColorIndex form the colour
// index pair (slot 0 and slot 1) that 1-bpp glyphs and bitmaps take as
// their two-entry index table; reverse mode exchanges the two slots.
struct GUI_ContextRecord {
    union {
        struct {
            LCD_PixelIndex BkColorIndex;  // slot 0
            LCD_PixelIndex ColorIndex;    // slot 1
        };
        LCD_PixelIndex aColorIndex[2];
    };
    GUI_Area ClipRect;
    uint8_t DrawMode;
    uint8_t SelLayer;
    GUI_Area* pClipRect;
    uint8_t PenSize;
    uint8_t PenShape;
    uint8_t LineStyle;
    const GUI_FontRecord* pFont;
    const GUI_EncodingAPIList* pUC;
    int16_t LBorder;
    int16_t DispPosX, DispPosY;
    int16_t DrawPosX, DrawPosY;
    int16_t TextMode;
    int16_t TextAlign;
    GUI_ColorValue Color;
    GUI_ColorValue BkColor;
    const LCD_DeviceAPIList* pDeviceAPI;
    const GUI_HLineAPIList* pHLine;
};
