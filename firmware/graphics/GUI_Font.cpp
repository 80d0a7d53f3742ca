#include "graphics/GUI.h"

// Questions about a font, asked through its record's functions.  The
// compiled-in fonts themselves are generated at build time (tools/fontgen).

void GUI_GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo)
{
    if (pFont && pInfo)
        pFont->pfGetFontInfo(pFont, pInfo);
}

char GUI_IsInFont(const GUI_FontRecord* pFont, uint16_t c)
{
    if (!pFont)
        pFont = GUI_Context.pFont;
    return pFont ? pFont->pfIsInFont(pFont, c) : 0;
}

void GUI__FillFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo, uint16_t flags)
{
    pInfo->Flags = flags;
    pInfo->Baseline = pFont->Baseline;
    pInfo->LHeight = pFont->LHeight;
    pInfo->CHeight = pFont->CHeight;
}

const GUI_CodeRange* GUI__CodeRanges(const GUI_FontRecord* pFont)
{
    return (const GUI_CodeRange*)(pFont ? pFont : GUI_Context.pFont)->pData;
}

const void* GUI__FindGlyph(const GUI_CodeRange* pRange, uint16_t code, unsigned glyphSize)
{
    for (; pRange; pRange = pRange->pNext)
        if (code >= pRange->First && code <= pRange->Last)
            return (const uint8_t*)pRange->paGlyph + (code - pRange->First) * glyphSize;
    return nullptr;
}
