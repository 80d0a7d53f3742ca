#include "graphics/LCDLin32.h"

#include <string.h>

#include "board/hw.h"
#include "board/imx21.h"
#include "board/lcd_driver.h"
#include "config/build_config.h"
#include "graphics/GUI.h"

// The frame buffer is plain SDRAM that the LCD controller reads by DMA.
// Pixel (x, y) is the 16-bit half of word y * rowWords + x / 2 (even x in
// the low half), written as whole words wherever two neighbours change
// together (fills through GUI__memset16, rows of bitmaps by memcpy).  The
// buffer is reached through both 16- and 32-bit pointers, so they may alias.
typedef uint16_t __attribute__((may_alias)) fb16_t;

// The sizes are this build's panel from the start, so that a context set up
// before LCD_L0_Init already clips right.
static uint32_t VRAM = SDRAM_FRAMEBUFFER;  // board address
static int vxSizePhys = PANEL_WIDTH, vxSize = PANEL_WIDTH, vySize = PANEL_HEIGHT;
static int xSize = PANEL_WIDTH, ySize = PANEL_HEIGHT;

LCD_LutInfoRecord LCD_L0_LutInfo = {nullptr, 0};

static uint32_t row_bytes(void)
{
    return (uint32_t)((vxSizePhys * 16 + 31) / 32) * 4;
}

// The frame buffer is cached write-back on the board: what is stored there
// reaches the LCD controller only when the data cache is cleaned, and it is
// cleaned only when the buffer is marked changed.  So a pixel's address for
// writing is handed out only together with the mark, here and in
// LCD_L0_PixelAddress, and no writer can miss it; readers take the address
// from pixel_read, which marks nothing.
static const fb16_t* pixel_read(int x, int y)
{
    return (const fb16_t*)hw_ptr(VRAM + row_bytes() * (uint32_t)y) + x;
}

static fb16_t* pixel_at(int x, int y)
{
    LCD_FrameBufferChanged();
    return (fb16_t*)hw_ptr(VRAM + row_bytes() * (uint32_t)y) + x;
}

static bool xor_mode(void)
{
    return (GUI_Context.DrawMode & GUI_DRAWMODE_XOR) != 0;
}

// ---------------------------------------------------------------- pixels

void LCD_L0_SetPixelIndex(int x, int y, LCD_PixelIndex index)
{
    *pixel_at(x, y) = (uint16_t)index;
}

uint16_t* LCD_L0_PixelAddress(int x, int y)
{
    return (uint16_t*)pixel_at(x, y);
}

const uint16_t* LCD_L0_ConstPixelAddress(int x, int y)
{
    return (const uint16_t*)pixel_read(x, y);
}

LCD_PixelIndex LCD_L0_GetPixelIndex(int x, int y)
{
    return *pixel_read(x, y);
}

void LCD_L0_XorPixel(int x, int y)
{
    fb16_t* p = pixel_at(x, y);
    *p = (uint16_t)(*p ^ 0xFFFF);
}

// ---------------------------------------------------------------- lines

static void xor_hline(int x0, int y, int x1)
{
    fb16_t* p = pixel_at(x0, y);
    for (int n = x1 - x0 + 1; n > 0; --n, ++p)
        *p = (uint16_t)(*p ^ 0xFFFF);
}

static void fill_hline(int x0, int y, int x1, uint32_t index)
{
    GUI__memset16((void*)pixel_at(x0, y), (uint16_t)index, x1 - x0 + 1);
}

void LCD_L0_DrawHLine(int x0, int y, int x1)
{
    if (x0 > x1)
        return;
    if (xor_mode())
        xor_hline(x0, y, x1);
    else
        fill_hline(x0, y, x1, *LCD_pColorIndex);
}

void LCD_L0_DrawVLine(int x, int y0, int y1)
{
    if (y0 > y1)
        return;
    fb16_t* p = pixel_at(x, y0);
    const uint32_t step = row_bytes() / 2;
    int n = y1 - y0 + 1;
    if (xor_mode()) {
        for (; n > 0; --n, p += step)
            *p = (uint16_t)(*p ^ 0xFFFF);
    } else {
        const uint16_t index = (uint16_t)*LCD_pColorIndex;
        for (; n > 0; --n, p += step)
            *p = index;
    }
}

// One line per row, top to bottom.  Rows that span the whole buffer width
// follow one another without a gap, so they are written as one run.
void LCD_L0_FillRect(int x0, int y0, int x1, int y1)
{
    if (y0 > y1 || x0 > x1)
        return;
    const bool wholeRows = x0 == 0 && x1 == vxSizePhys - 1 && row_bytes() == (uint32_t)vxSizePhys * 2;
    if (wholeRows && !xor_mode()) {
        GUI__memset16((void*)pixel_at(0, y0), (uint16_t)*LCD_pColorIndex, (y1 - y0 + 1) * vxSizePhys);
        return;
    }
    for (int y = y0; y <= y1; ++y)
        LCD_L0_DrawHLine(x0, y, x1);
}

// ---------------------------------------------------------------- bitmaps

// Index of pixel i of a row of 1, 2 or 4 bpp data starting diff pixels into
// its first byte, most significant bits first.
static unsigned packed_index(const uint8_t* row, int bpp, int i)
{
    const int bit = i * bpp;
    const int shift = 8 - bpp - (bit & 7);
    return (row[bit >> 3] >> shift) & ((1u << bpp) - 1);
}

static LCD_PixelIndex translate(const LCD_PixelIndex* pTrans, unsigned i)
{
    // Without a usable colour table the raw index is drawn.
    return pTrans ? pTrans[i] : i;
}

static void packed_row(int x0, int y, int xsize, int bpp, const uint8_t* row, int diff,
                       const LCD_PixelIndex* pTrans)
{
    const int mode = GUI_Context.DrawMode;
    fb16_t* p = pixel_at(x0, y);
    for (int i = 0; i < xsize; ++i, ++p) {
        const unsigned index = packed_index(row, bpp, diff + i);
        if (mode & GUI_DRAWMODE_XOR) {
            if (index)
                *p = (uint16_t)(*p ^ 0xFFFF);
        } else if (mode & GUI_DRAWMODE_TRANS) {
            if (index)
                *p = (uint16_t)translate(pTrans, index);
        } else {
            *p = (uint16_t)translate(pTrans, index);
        }
    }
}

static void row_8bpp(int x0, int y, int xsize, const uint8_t* row, const LCD_PixelIndex* pTrans)
{
    const bool trans = GUI_Context.DrawMode & GUI_DRAWMODE_TRANS;
    fb16_t* p = pixel_at(x0, y);
    for (int i = 0; i < xsize; ++i, ++p) {
        const unsigned index = row[i];
        if (!trans || index)
            *p = (uint16_t)translate(pTrans, index);
    }
}

static uint32_t load16(const uint8_t* p)
{
    uint16_t v;
    memcpy(&v, p, 2);  // bitmap rows need not be word aligned
    return v;
}

static void row_16bpp(int x0, int y, int xsize, const uint8_t* src)
{
    if (GUI_Context.DrawMode & GUI_DRAWMODE_TRANS) {
        fb16_t* p = pixel_at(x0, y);
        for (int i = 0; i < xsize; ++i, ++p, src += 2) {
            const uint32_t v = load16(src);
            if (v)
                *p = (uint16_t)v;
        }
        return;
    }
    // The pixels are the panel's own values, little-endian like the frame
    // buffer: the row is a plain copy.
    memcpy(pixel_at(x0, y), src, (size_t)xsize * 2);
}

void LCD_L0_DrawBitmap(int x0, int y0, int xsize, int ysize, int bpp, int bytesPerLine, const uint8_t* pData,
                       int diff, const LCD_PixelIndex* pTrans)
{
    for (int row = 0; row < ysize; ++row) {
        const uint8_t* src = pData + row * bytesPerLine;
        const int y = y0 + row;
        switch (bpp) {
        case 1:
        case 2:
        case 4:
            packed_row(x0, y, xsize, bpp, src, diff, pTrans);
            break;
        case 8:
            row_8bpp(x0, y, xsize, src, pTrans);
            break;
        case 16:
            row_16bpp(x0, y, xsize, src);
            break;
        default:
            return;  // no other pixel size is drawn
        }
    }
}

// ---------------------------------------------------------------- colours

LCD_PixelIndex LCD_L0_Color2Index(GUI_ColorValue color)
{
    return LCD_Color2Index_M565(color);
}

GUI_ColorValue LCD_L0_Index2Color(LCD_PixelIndex index)
{
    return LCD_Index2Color_M565(index);
}

LCD_PixelIndex LCD_L0_GetIndexMask(void)
{
    return LCD_GetIndexMask_M565();
}

LCD_PixelIndex (*LCD_L0_GetpfColor2Index(void))(GUI_ColorValue)
{
    return LCD_Color2Index_M565;
}

GUI_ColorValue (*LCD_L0_GetpfIndex2Color(void))(LCD_PixelIndex)
{
    return LCD_Index2Color_M565;
}

// The panel takes RGB565 directly: there is no look-up table to load.
void LCD_L0_SetLUTEntry(uint8_t, GUI_ColorValue) {}
void LCD_L0_SetOrg(int, int) {}
void LCD_L0_On(void) {}
void LCD_L0_Off(void) {}

// ---------------------------------------------------------------- device

void LCD_L0_GetRect(GUI_Area* pRect)
{
    pRect->x0 = 0;
    pRect->y0 = 0;
    pRect->x1 = (int16_t)(xSize - 1);
    pRect->y1 = (int16_t)(ySize - 1);
}

static void read_rect(int x0, int y0, int x1, int y1, uint16_t* pDest)
{
    const size_t n = (size_t)(x1 - x0 + 1);
    for (int y = y0; y <= y1; ++y, pDest += n)
        memcpy(pDest, (const void*)pixel_read(x0, y), n * 2);
}

static void set_vram_addr(void* p)
{
    VRAM = hw_addr(p);
}

static void set_vsize(int xs, int ys)
{
    vxSize = vxSizePhys = xs;
    vySize = ys;
}

static void set_size(int xs, int ys)
{
    xSize = xs;
    ySize = ys;
}

LCD_DevFunc LCD_L0_GetDevFunc(int index)
{
    switch (index) {
    case LCD_DEVFUNC_READRECT: return (LCD_DevFunc)read_rect;
    case LCD_DEVFUNC_PASSING_BITMAPS: return (LCD_DevFunc)1;  // a marker, never called
    case LCD_DEVFUNC_SETVRAMADDR: return (LCD_DevFunc)set_vram_addr;
    case LCD_DEVFUNC_SETVSIZE: return (LCD_DevFunc)set_vsize;
    case LCD_DEVFUNC_SETSIZE_VISIBLE: return (LCD_DevFunc)set_size;
    default: return nullptr;
    }
}

int32_t LCD_L0_GetDevProp(int index)
{
    switch (index) {
    case LCD_DEVCAP_XSIZE: return xSize;
    case LCD_DEVCAP_YSIZE: return ySize;
    case LCD_DEVCAP_VXSIZE: return vxSize;
    case LCD_DEVCAP_VYSIZE: return vySize;
    case LCD_DEVCAP_FIXED_VALUE: return 3200;
    case LCD_DEVCAP_BITSPERPIXEL: return 16;
    case LCD_DEVCAP_NUMCOLORS: return 65536;
    case LCD_DEVCAP_XMAG:
    case LCD_DEVCAP_YMAG: return 1;
    case LCD_DEVCAP_FIXEDPALETTE: return 565;
    case LCD_DEVCAP_SWAP_RB: return 1;
    case LCD_DEVCAP_MIRROR_X:
    case LCD_DEVCAP_MIRROR_Y:
    case LCD_DEVCAP_SWAP_XY:
    case LCD_DEVCAP_PHYSCOLORSINRAM:
    case LCD_DEVCAP_REVERSLUT: return 0;
    default: return -1;
    }
}

int LCD_L0_Init(void)
{
    set_vram_addr(hw_ptr(SDRAM_FRAMEBUFFER));
    set_vsize(PANEL_WIDTH, PANEL_HEIGHT);
    set_size(PANEL_WIDTH, PANEL_HEIGHT);
    InitLCD(PANEL_WIDTH, PANEL_HEIGHT, 16);
    return 0;
}

const LCD_DeviceAPIList LCD_L0_APIList = {
    LCD_L0_Color2Index, LCD_L0_Index2Color, LCD_L0_GetIndexMask, LCD_L0_DrawBitmap,
    LCD_L0_DrawHLine,   LCD_L0_DrawVLine,   LCD_L0_FillRect,     LCD_L0_GetPixelIndex,
    LCD_L0_GetRect,     LCD_L0_SetPixelIndex, LCD_L0_XorPixel,   LCD_L0_SetLUTEntry,
    LCD_L0_GetDevFunc,  LCD_L0_GetDevProp,
};
