#include "graphics/GUI.h"

#include <string.h>

// Rectangles: intersection, the clip rectangle, the client area, and the
// word-wise memory fills.

int GUI__IntersectRects(GUI_Area* pDest, const GUI_Area* pA, const GUI_Area* pB)
{
    const GUI_Area a = *pA, b = *pB;  // pDest may be one of them
    pDest->x0 = a.x0 > b.x0 ? a.x0 : b.x0;
    pDest->y0 = a.y0 > b.y0 ? a.y0 : b.y0;
    pDest->x1 = a.x1 < b.x1 ? a.x1 : b.x1;
    pDest->y1 = a.y1 < b.y1 ? a.y1 : b.y1;
    return pDest->x0 <= pDest->x1 && pDest->y0 <= pDest->y1;
}

int GUI_RectsIntersect(const GUI_Area* pA, const GUI_Area* pB)
{
    GUI_Area r;
    return GUI__IntersectRects(&r, pA, pB);
}

int GUI_SetClipRect(const GUI_Area* pRect)
{
    static const GUI_Area everything = {-4096, -4096, 4096, 4096};
    LCD_SetClipRectEx(pRect ? pRect : &everything);
    return 0;
}

void GUI_GetClientRect(GUI_Area* pRect)
{
    if (!pRect)
        return;
    pRect->x0 = 0;
    pRect->y0 = 0;
    pRect->x1 = (int16_t)LCD_GetVXSize();
    pRect->y1 = (int16_t)LCD_GetVYSize();
}

void GUI__memset(void* p, uint8_t fill, int numBytes)
{
    typedef uint32_t __attribute__((may_alias)) word_t;
    uint8_t* b = (uint8_t*)p;
    for (; numBytes > 0 && ((uintptr_t)b & 3); --numBytes)
        *b++ = fill;
    const uint32_t w = fill * 0x01010101u;
    for (; numBytes >= 4; numBytes -= 4, b += 4)
        *(word_t*)b = w;
    for (; numBytes > 0; --numBytes)
        *b++ = fill;
}

// Fills of 16-bit pixels end here: screen clears, rectangles and filled
// shapes through the display driver, and the runs of compressed bitmaps.
void GUI__memset16(void* p, uint16_t fill, int numItems)
{
    typedef uint16_t __attribute__((may_alias)) half_t;
    typedef uint32_t __attribute__((may_alias)) word_t;
    if (numItems <= 0)
        return;
    half_t* h = (half_t*)p;
    if ((uintptr_t)h & 2) {
        *h++ = fill;
        --numItems;
    }
    word_t* w = (word_t*)h;
    const uint32_t v = fill * 0x10001u;
    uint32_t words = (uint32_t)numItems / 2;
    if (words >= 64) {
        // Long fills: a few words by hand, which the library's block copy
        // doubles up to a block of 8 KB and then copies on and on.  It moves
        // memory faster than a word loop can, and reading one block that
        // stays in the data cache costs it next to nothing.
        const uint32_t BLOCK_WORDS = 2048;
        for (int i = 0; i < 16; ++i)
            w[i] = v;
        uint32_t done = 16;
        while (done < words) {
            uint32_t k = done < BLOCK_WORDS ? done : BLOCK_WORDS;
            if (k > words - done)
                k = words - done;
            memcpy((void*)(w + done), (const void*)w, k * 4);
            done += k;
        }
        w += words;
        words = 0;
    }
    for (; words >= 8; words -= 8, w += 8) {
        w[0] = v;
        w[1] = v;
        w[2] = v;
        w[3] = v;
        w[4] = v;
        w[5] = v;
        w[6] = v;
        w[7] = v;
    }
    for (; words > 0; --words)
        *w++ = v;
    if (numItems & 1)
        *(half_t*)w = fill;
}
