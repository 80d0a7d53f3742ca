#include <string.h>

#include "format/rle16.h"
#include "graphics/GUI.h"
#include "graphics/GUI_Bitmap.h"
#include "graphics/LCD.h"

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

// The common case (no transparency, no magnification): packets are decoded
// a row piece at a time into a buffer, which the driver's 16-bit row path
// draws (and clips).
static void decode_rows(RLE16_Stream* s, int x0, int y0, int xsize, int ysize, int firstRow, int lastRow, int native,
                        int swapRB, int* pRow, int* pCol)
{
    enum { CHUNK = 512 };
    uint16_t buf[CHUNK];
    int row = *pRow, col = *pCol;
    int ended = 0;
    while (!ended && row < ysize && row <= lastRow) {
        int n = 0, start = col;
        while (col < xsize && n < CHUNK) {
            if (s->left == 0) {
                // The next packet (and its first pixel).
                uint16_t v;
                if (!RLE16_Next(s, &v)) {
                    ended = 1;
                    break;
                }
                buf[n++] = (uint16_t)(native ? v : convert(v, swapRB));
                ++col;
                continue;
            }
            int k = s->left;
            if (k > xsize - col)
                k = xsize - col;
            if (k > CHUNK - n)
                k = CHUNK - n;
            if (s->literal) {
                if (s->end - s->p < 2 * k) {
                    ended = 1;
                    break;
                }
                if (native) {
                    memcpy(buf + n, s->p, (size_t)k * 2);  // little-endian pixels, as stored
                } else {
                    for (int i = 0; i < k; ++i)
                        buf[n + i] = (uint16_t)convert((uint16_t)(s->p[2 * i] | (s->p[2 * i + 1] << 8)), swapRB);
                }
                s->p += 2 * k;
            } else {
                uint16_t v = (uint16_t)(native ? s->pixel : convert(s->pixel, swapRB));
                for (int i = 0; i < k; ++i)
                    buf[n + i] = v;
            }
            s->left = (uint8_t)(s->left - k);
            n += k;
            col += k;
        }
        if (n && row >= firstRow)
            LCD_DrawBitmap(x0 + start, y0 + row, n, 1, 1, 1, 16, 2 * n, (const uint8_t*)buf, 0);
        if (col == xsize) {
            col = 0;
            ++row;
        }
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
    if (!trans && xMag == 1 && yMag == 1) {
        decode_rows(&s, x0, y0, xsize, ysize, firstRow, lastRow, native, swapRB, &row, &col);
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
