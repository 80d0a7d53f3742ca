#include "graphics/GUI_Font.h"

// GUI_FontArial10 stands here with its metrics and no glyphs until the
// generated font data arrives: it draws nothing and advances by nothing, so
// text calls made before then are harmless.

static void noglyph_DispChar(uint16_t) {}

static int noglyph_GetCharDistX(uint16_t)
{
    return 0;
}

static void noglyph_GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo)
{
    pInfo->Flags = GUI_FONTINFO_FLAG_PROP;
    pInfo->Baseline = pFont->Baseline;
    pInfo->LHeight = pFont->LHeight;
    pInfo->CHeight = pFont->CHeight;
}

static char noglyph_IsInFont(const GUI_FontRecord*, uint16_t)
{
    return 0;
}

const GUI_FontRecord GUI_FontArial10 = {
    noglyph_DispChar, noglyph_GetCharDistX, noglyph_GetFontInfo, noglyph_IsInFont, nullptr, nullptr,
    16, 16, 1, 1, nullptr, 13, 7, 10,
};
