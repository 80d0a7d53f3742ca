#include "graphics/GUI.h"

// Anti-aliased proportional fonts, 4 and 2 bpp: the glyph records of the
// 1-bpp kind, with pixel rows that hold intensities, drawn through the
// anti-aliasing mixers in the text mode.

static const GUI_GlyphInfo* glyph_of(uint16_t code)
{
    return GUIPROP__FindChar(GUI__CodeRanges(nullptr), code);
}

static void disp_char(uint16_t code, GUI_DrawCharAAFunc* draw)
{
    if (const GUI_GlyphInfo* g = glyph_of(code))
        GUIPROP__DispCell(g->XSize, g->XDist, g->BytesPerLine, g->pData, draw);
}

static int dist_x(uint16_t code)
{
    const GUI_GlyphInfo* g = glyph_of(code);
    return g ? g->XDist : 0;
}

void GUIPROP_AA4_DispChar(uint16_t code)
{
    disp_char(code, GUI_AA__DrawCharAA4);
}

int GUIPROP_AA4_GetCharDistX(uint16_t code)
{
    return dist_x(code);
}

void GUIPROP_AA4_GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo)
{
    GUI__FillFontInfo(pFont, pInfo, GUI_FONTINFO_FLAG_PROP | GUI_FONTINFO_FLAG_AA4);
}

char GUIPROP_AA4_IsInFont(const GUI_FontRecord* pFont, uint16_t code)
{
    return GUIPROP_IsInFont(pFont, code);
}

// The 2-bpp kind: the same operations with the 2-bpp drawer. Its
// measurements are the 4-bpp kind's.

void GUIPROP_AA2_DispChar(uint16_t code)
{
    disp_char(code, GUI_AA__DrawCharAA2);
}

int GUIPROP_AA2_GetCharDistX(uint16_t code)
{
    return GUIPROP_AA4_GetCharDistX(code);
}

void GUIPROP_AA2_GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo)
{
    GUI__FillFontInfo(pFont, pInfo, GUI_FONTINFO_FLAG_PROP | GUI_FONTINFO_FLAG_AA2);
}

char GUIPROP_AA2_IsInFont(const GUI_FontRecord* pFont, uint16_t code)
{
    return GUIPROP_AA4_IsInFont(pFont, code);
}
