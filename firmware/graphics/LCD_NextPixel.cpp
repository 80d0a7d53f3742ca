#include "graphics/GUI.h"
#include "graphics/GUI_ALLOC.h"
#include "graphics/GUI_Bitmap.h"
#include "graphics/LCD.h"

// The image decoders hand their pixels over one at a time; they are drawn
// one row at a time.
static struct {
    int x0, y0, x1, y1;
    int x, y;
    int bpp;
    GUI_ALLOC_Handle hBuffer;
} np;

static int row_bytes(int width, int bpp)
{
    return (width * bpp + 7) / 8;
}

static int _Start(int x0, int y0, int x1, int y1)
{
    int bpp = LCD_GetBitsPerPixel();
    int width = x1 - x0 + 1;
    if (width <= 0 || y1 < y0)
        return 1;
    int bytes = row_bytes(width, bpp);
    if (bytes > GUI_ALLOC_GetMaxSize())
        return 1;
    np.hBuffer = GUI_ALLOC_AllocZero(bytes);
    if (!np.hBuffer)
        return 1;
    np.x0 = x0;
    np.y0 = y0;
    np.x1 = x1;
    np.y1 = y1;
    np.x = x0;
    np.y = y0;
    np.bpp = bpp;
    return 0;
}

static void _SetPixel(LCD_PixelIndex index)
{
    if (!np.hBuffer || np.x > np.x1)
        return;
    uint8_t* buf = (uint8_t*)GUI_ALLOC_h2p(np.hBuffer);
    int i = np.x - np.x0;
    switch (np.bpp) {
    case 16:
        buf[2 * i] = (uint8_t)index;
        buf[2 * i + 1] = (uint8_t)(index >> 8);
        break;
    case 8:
        buf[i] = (uint8_t)index;
        break;
    default: {
        // 1, 2 or 4 bits, leftmost pixel in the high bits.
        int per = 8 / np.bpp;
        int shift = (per - 1 - i % per) * np.bpp;
        uint8_t mask = (uint8_t)(((1 << np.bpp) - 1) << shift);
        buf[i / per] = (uint8_t)((buf[i / per] & ~mask) | ((index << shift) & mask));
        break;
    }
    }
    ++np.x;
}

static void draw_row(void)
{
    if (np.x == np.x0 || np.y > np.y1)
        return;
    const uint8_t* buf = (const uint8_t*)GUI_ALLOC_h2p(np.hBuffer);
    int n = np.x - np.x0;
    LCD_DrawBitmap(np.x0, np.y, n, 1, 1, 1, np.bpp, row_bytes(np.x1 - np.x0 + 1, np.bpp), buf, 0);
}

static void _NextLine(void)
{
    if (!np.hBuffer)
        return;
    draw_row();
    np.x = np.x0;
    ++np.y;
}

static void _End(void)
{
    if (!np.hBuffer)
        return;
    draw_row();
    GUI_ALLOC_Free(np.hBuffer);
    np.hBuffer = 0;
}

static const GUI_NextPixelAPI _NextPixel_API = {_Start, _SetPixel, _NextLine, _End};

const GUI_NextPixelAPI* LCD_GetNextPixelAPI(void)
{
    int bpp = LCD_GetBitsPerPixel();
    if (!LCD_PassingBitmapsAllowed() || (bpp != 8 && bpp != 16))
        return 0;
    return &_NextPixel_API;
}
