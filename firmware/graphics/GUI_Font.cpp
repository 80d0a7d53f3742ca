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
