#include <string.h>

#include "format/rle16.h"
#include "graphics/GUI.h"
#include "graphics/GUI_Bitmap.h"
#include "graphics/LCD.h"
#include "graphics/LCDLin32.h"  // the frame buffer's rows, written straight

// Where the last decode of a bitmap stopped, so that drawing the same
// bitmap again further down (in bands) need not start from its first row.
static struct {
    const uint8_t* pStart;
    uint32_t length;
    RLE16_Stream s;
    int row;
    int col;
} resume;

static void put(int x, int y, int xMag, int yMag, LCD_PixelIndex index)
{
    if (xMag == 1 && yMag == 1) {
        const GUI_Area& c = GUI_Context.ClipRect;
        if (x < c.x0 || x > c.x1 || y < c.y0 || y > c.y1)
            return;
        LCD_SetPixelIndex(x, y, index);
        return;
    }
    LCD_PixelIndex old = LCD_GetColorIndex();
    LCD_SetColorIndex(index);
    LCD_FillRect(x, y, x + xMag - 1, y + yMag - 1);
    LCD_SetColorIndex(old);
}

// The most bytes xsize x ysize pixels can take: all in literal packets.
// Callers that know the data's real length pass it instead.
static uint32_t worst_case_length(int xsize, int ysize)
{
    uint32_t pixels = (uint32_t)xsize * (uint32_t)ysize;
    return 2 * pixels + 2 * (pixels / RLE16_LITERAL_MAX + 1) + 3;
}

static LCD_PixelIndex convert(uint16_t v, int swapRB)
{
    return LCD_Color2Index(swapRB ? LCD_Index2Color_M565(v) : LCD_Index2Color_565(v));
}

typedef uint16_t __attribute__((may_alias)) half_t;
typedef uint32_t __attribute__((may_alias)) word_t;

static uint16_t le16(const uint8_t* p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

// n little-endian 16-bit pixels from s (at any byte address) to d.  memcpy
// moves whole words only where both ends start on a word (the board's does
// bytes otherwise); elsewhere the words of d are put together from halves
// or bytes of s, which the host's compiler turns into plain word loads.
static void copy_pixels(uint16_t* d, const uint8_t* s, int n)
{
    if (n > 0 && ((uintptr_t)d & 2)) {
        *(half_t*)d++ = le16(s);
        s += 2;
        --n;
    }
    if (((uintptr_t)s & 3) == 0) {
        memcpy((void*)d, s, (size_t)n * 2);
        return;
    }
    word_t* w = (word_t*)d;
    if (((uintptr_t)s & 1) == 0) {
        for (const half_t* h = (const half_t*)s; n >= 2; n -= 2, h += 2, s += 4)
            *w++ = h[0] | (uint32_t)h[1] << 16;
    } else {
        for (; n >= 2; n -= 2, s += 4)
            *w++ = s[0] | s[1] << 8 | s[2] << 16 | (uint32_t)s[3] << 24;
    }
    if (n)
        *(half_t*)w = le16(s);
}

// How the pixels of one draw are written.
struct Writing {
    int native;  // the data holds the display's own indices
    int swapRB;  // the data's layout, when it needs converting
    int trans;   // index 0 is left out
};

// Takes the next n pixels of the stream: written from d on, or passed over
// when d is NULL.  Returns how many there were: fewer only where the data
// ends.  Whole packets go at once: a run is one fill, a literal one copy.
static int take(RLE16_Stream* s, uint16_t* d, int n, const Writing& w)
{
    int got = 0;
    while (got < n) {
        if (s->left == 0 && !RLE16_NextPacket(s))
            break;
        int k = s->left;
        if (k > n - got)
            k = n - got;
        if (s->literal) {
            const int have = (int)((s->end - s->p) / 2);
            if (k > have)
                k = have;  // a packet cut short ends with the data
            if (k == 0)
                break;
            if (d && w.native && !w.trans) {
                copy_pixels(d + got, s->p, k);
            } else if (d) {
                for (int i = 0; i < k; ++i) {
                    const uint16_t v = le16(s->p + 2 * i);
                    const LCD_PixelIndex index = w.native ? v : convert(v, w.swapRB);
                    if (!(w.trans && index == 0))
                        *(half_t*)(d + got + i) = (uint16_t)index;
                }
            }
            s->p += 2 * k;
        } else if (d) {
            const LCD_PixelIndex index = w.native ? s->pixel : convert(s->pixel, w.swapRB);
            if (!(w.trans && index == 0))
                GUI__memset16(d + got, (uint16_t)index, k);
        }
        s->left = (uint8_t)(s->left - k);
        got += k;
    }
    return got;
}

// Without magnification: the columns inside the clip rectangle are decoded
// straight into the frame buffer's rows, and the rest is passed over packet
// by packet.  Every draw mode writes the pixels as they are (XOR too, as in
// the driver's 16-bit bitmap rows), TRANS leaving index 0 out.
static void decode_rows(RLE16_Stream* s, int x0, int y0, int xsize, int ysize, int firstRow, int lastRow,
                        const Writing& w, int* pRow, int* pCol)
{
    const GUI_Area& c = GUI_Context.ClipRect;
    const int lo = c.x0 > x0 ? c.x0 - x0 : 0;
    const int hi = c.x1 - x0 < xsize - 1 ? c.x1 - x0 : xsize - 1;
    if (lo > hi)
        return;  // no column is visible
    int row = *pRow, col = *pCol;
    for (; row < ysize && row <= lastRow; ++row, col = 0) {
        if (row >= firstRow) {
            if (col < lo) {
                if (take(s, 0, lo - col, w) < lo - col)
                    break;
                col = lo;
            }
            const int n = hi + 1 - col;
            if (n > 0) {
                const int got = take(s, LCD_L0_PixelAddress(x0 + col, y0 + row), n, w);
                col += got;
                if (got < n)
                    break;  // the data ended
            }
        }
        col += take(s, 0, xsize - col, w);
        if (col < xsize)
            break;
    }
    *pRow = row;
    *pCol = col;
}

void GUI_RLE16_ForgetPosition(void)
{
    resume.pStart = 0;
}

void GUI__DrawBitmapRLE16(int x0, int y0, int xsize, int ysize, const uint8_t* p, uint32_t length, int xMag,
                          int yMag, int swapRB)
{
    if (!p || xsize <= 0 || ysize <= 0 || xMag <= 0 || yMag <= 0)
        return;
    const int native = LCD_GetFixedPalette() == 565 && (LCD_GetSwapRBEx(0) != 0) == (swapRB != 0);
    const int trans = (GUI_Context.DrawMode & GUI_DRAWMODE_TRANS) != 0;
    // Rows above the clip rectangle are decoded without drawing; a decode
    // that stopped above the first visible row picks up where it was.
    int firstRow = (GUI_Context.ClipRect.y0 - y0) / yMag;
    if (firstRow < 0)
        firstRow = 0;
    const int lastRow = (GUI_Context.ClipRect.y1 - y0) / yMag;
    RLE16_Stream s;
    int row = 0, col = 0;
    if (resume.pStart == p && resume.length == length && resume.row > 0 && resume.row <= firstRow) {
        s = resume.s;
        row = resume.row;
        col = resume.col;
    } else {
        RLE16_Begin(&s, p, length);
    }
    uint16_t v;
    if (xMag == 1 && yMag == 1) {
        const Writing w = {native, swapRB, trans};
        decode_rows(&s, x0, y0, xsize, ysize, firstRow, lastRow, w, &row, &col);
    } else {
        while (row < ysize && row <= lastRow && RLE16_Next(&s, &v)) {
            if (row >= firstRow) {
                LCD_PixelIndex index = native ? v : convert(v, swapRB);
                if (!(trans && index == 0))
                    put(x0 + col * xMag, y0 + row * yMag, xMag, yMag, index);
            }
            if (++col == xsize) {
                col = 0;
                ++row;
            }
        }
    }
    if (row < ysize) {
        // Nothing more is visible: keep the place for a band further down.
        resume.pStart = p;
        resume.length = length;
        resume.s = s;
        resume.row = row;
        resume.col = col;
    } else {
        resume.pStart = 0;
    }
}

static void _DrawBitmap_RLE16(int x0, int y0, int xsize, int ysize, const uint8_t* p, const GUI_PaletteRecord*,
                              int xMag, int yMag)
{
    GUI__DrawBitmapRLE16(x0, y0, xsize, ysize, p, worst_case_length(xsize, ysize), xMag, yMag, 0);
}

static void _DrawBitmap_RLEM16(int x0, int y0, int xsize, int ysize, const uint8_t* p, const GUI_PaletteRecord*,
                               int xMag, int yMag)
{
    GUI__DrawBitmapRLE16(x0, y0, xsize, ysize, p, worst_case_length(xsize, ysize), xMag, yMag, 1);
}

// 8-bit indices: a run byte and an index, or 0x00, a count and indices.
static void _DrawBitmap_RLE8(int x0, int y0, int xsize, int ysize, const uint8_t* p, const GUI_PaletteRecord* pPal,
                             int xMag, int yMag)
{
    if (!p || xsize <= 0 || ysize <= 0 || xMag <= 0 || yMag <= 0)
        return;
    const LCD_PixelIndex* table = LCD_GetpPalConvTable(pPal);
    const int trans = (GUI_Context.DrawMode & GUI_DRAWMODE_TRANS) != 0;
    int row = 0, col = 0;
    while (row < ysize) {
        int literal = p[0] == 0;
        int n = literal ? p[1] : p[0];
        p += literal ? 2 : 1;
        for (int i = 0; i < n && row < ysize; ++i) {
            uint8_t v = literal ? p[i] : p[0];
            LCD_PixelIndex index = table ? table[v] : v;
            if (!(trans && v == 0))
                put(x0 + col * xMag, y0 + row * yMag, xMag, yMag, index);
            if (++col == xsize) {
                col = 0;
                ++row;
            }
        }
        p += literal ? n : 1;
    }
}

const GUI_BitmapMethodTable GUI_BitmapMethodsRLE8 = {_DrawBitmap_RLE8, 0, 0};
const GUI_BitmapMethodTable GUI_BitmapMethodsRLE16 = {_DrawBitmap_RLE16, 0, 0};
const GUI_BitmapMethodTable GUI_BitmapMethodsRLEM16 = {_DrawBitmap_RLEM16, 0, 0};
