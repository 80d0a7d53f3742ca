#include "graphics/GUI.h"

// Text laid out in a rectangle: lines placed by the alignment, optionally
// cut to the rectangle by the clip, optionally turned.

int GUI__RectLinesTop(const GUI_Area* pRect, int align, int numLines)
{
    const int height = numLines * GUI_GetFontDistY();
    switch (align & GUI_TA_VERTICAL) {
    case GUI_TA_BOTTOM:
    case GUI_TA_BASELINE: return pRect->y1 + 1 - height;
    case GUI_TA_VCENTER: return pRect->y0 + (pRect->y1 + 1 - pRect->y0 - height) / 2;
    default: return pRect->y0;
    }
}

// A centred line starts (x1 - x0 - width) / 2 right of x0, truncated: of
// the spare width the left side gets (spare - 1) / 2, so the right side
// always gets more (by 1 for an odd spare, 2 for an even one).  Host
// programs place text against this rule.
int GUI__RectLineLeft(const GUI_Area* pRect, int align, int lineWidth)
{
    switch (align & GUI_TA_HORIZONTAL) {
    case GUI_TA_RIGHT: return pRect->x1 + 1 - lineWidth;
    case GUI_TA_HCENTER: return pRect->x0 + (pRect->x1 - pRect->x0 - lineWidth) / 2;
    default: return pRect->x0;
    }
}

void GUI__DispRectLine(const char* s, int numChars, const GUI_Area* pRect, int align, int y)
{
    const int w = GUI__GetLineDistX(s, numChars);
    const int x = GUI__RectLineLeft(pRect, align, w);
    GUI_GotoXY(x, y);
    const GUI_Area line = {(int16_t)x, (int16_t)y, (int16_t)(x + w - 1), (int16_t)(y + GUI_GetFontDistY() - 1)};
    GUI__DispLine(s, numChars, &line);
}

void GUI__DispStringInRect(const char* s, const GUI_Area* pRect, int align, int maxChars)
{
    if (!s || !GUI_Context.pFont)
        return;
    GUI_Area r;
    if (pRect)
        r = *pRect;
    else
        GUI_GetClientRect(&r);

    // Lines up to maxChars characters; an LF ends a line and is not one of
    // the characters.
    int numLines = 0;
    const char* p = s;
    for (int left = maxChars; left > 0;) {
        const int n = GUI__GetLineNumChars(p, left);
        ++numLines;
        left -= n;
        p += GUI_UC__NumChars2NumBytes(p, n);
        if (GUI__HandleEOLine(&p))
            break;
    }

    int y = GUI__RectLinesTop(&r, align, numLines);
    p = s;
    for (int left = maxChars; left > 0; y += GUI_GetFontDistY()) {
        const int n = GUI__GetLineNumChars(p, left);
        GUI__DispRectLine(p, n, &r, align, y);
        left -= n;
        p += GUI_UC__NumChars2NumBytes(p, n);
        if (GUI__HandleEOLine(&p))
            break;
    }
}

// Narrows the clip to r (NULL: leaves it); false when nothing of r is
// visible.  The old clip goes to *pOld for the caller to give back.
bool GUI__NarrowClip(const GUI_Area* pRect, GUI_Area* pOld)
{
    *pOld = GUI_Context.ClipRect;
    if (!pRect)
        return true;
    GUI_Area c;
    if (!GUI__IntersectRects(&c, pRect, pOld))
        return false;
    GUI_Context.ClipRect = c;
    return true;
}

void GUI_DispStringInRectMax(const char* s, const GUI_Area* pRect, int align, int maxChars)
{
    GUI_Area old;
    if (GUI__NarrowClip(pRect, &old))
        GUI__DispStringInRect(s, pRect, align, maxChars);
    GUI_Context.ClipRect = old;
}

void GUI_DispStringInRect(const char* s, const GUI_Area* pRect, int align)
{
    GUI_DispStringInRectMax(s, pRect, align, 0x7FFF);
}

void GUI_DispStringInRectEx(const char* s, const GUI_Area* pRect, int align, int maxChars,
                            const GUI_RotationAPIList* pList)
{
    if (!pList || !pRect) {
        GUI_DispStringInRectMax(s, pRect, align, maxChars);
        return;
    }
    // Lines are laid out in the unturned text rectangle; every glyph then
    // goes through the list's drawer, which turns it about the screen
    // rectangle and clips it there.
    GUI_Area text = *pRect;
    pList->pfRect2TextRect(&text);
    GUI_Area old;
    if (GUI__NarrowClip(pRect, &old)) {
        GUI_RectDispString = *pRect;
        GUI_pLCD_APIList = pList;
        GUI__DispStringInRect(s, &text, align, maxChars);
        GUI_pLCD_APIList = nullptr;
    }
    GUI_Context.ClipRect = old;
}
