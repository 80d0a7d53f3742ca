#include "graphics/GUI.h"

// Rectangles: intersection, the clip rectangle, the client area, and the
// word-wise memory fill.

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
