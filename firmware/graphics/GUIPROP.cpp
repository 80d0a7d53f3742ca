#include "graphics/GUI.h"

// Proportional 1-bpp fonts: each glyph is a 1-bpp bitmap as high as the
// font, drawn in the text mode with the colour-index pair, so that in
// normal mode the whole cell takes the two colours and in TRANS mode only
// the set bits are drawn.

const GUI_GlyphInfo* GUIPROP__FindChar(const GUI_CodeRange* pRange, uint16_t code)
{
    for (; pRange; pRange = pRange->pNext)
        if (code >= pRange->First && code <= pRange->Last)
            return (const GUI_GlyphInfo*)pRange->paGlyph + (code - pRange->First);
    return nullptr;
}

static const GUI_GlyphInfo* glyph_of(uint16_t code)
{
    return GUIPROP__FindChar((const GUI_CodeRange*)GUI_Context.pFont->pData, code);
}

void GUIPROP_DispChar(uint16_t code)
{
    const GUI_FontRecord* f = GUI_Context.pFont;
    const GUI_GlyphInfo* g = glyph_of(code);
    if (!g)
        return;
    const int x = GUI_Context.DispPosX, y = GUI_Context.DispPosY;
    const int mode = GUI_Context.TextMode;
    const int old = LCD_SetDrawMode(mode);
    LCD_DrawBitmap(x, y, g->XSize, f->YSize, f->XMag, f->YMag, 1, g->BytesPerLine, g->pData, LCD_pAColorIndex);
    if (f->YDist > f->YSize && !(mode & (GUI_DRAWMODE_TRANS | GUI_DRAWMODE_XOR)))
        GUI__ClearTextRect(x, y + f->YSize * f->YMag, x + g->XSize * f->XMag - 1, y + f->YDist * f->YMag - 1);
    LCD_SetDrawMode(old);
    GUI_Context.DispPosX = (int16_t)(x + g->XDist * f->XMag);
}

int GUIPROP_GetCharDistX(uint16_t code)
{
    const GUI_GlyphInfo* g = glyph_of(code);
    return g ? g->XDist * GUI_Context.pFont->XMag : 0;
}

void GUIPROP_GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo)
{
    pInfo->Flags = GUI_FONTINFO_FLAG_PROP;
    pInfo->Baseline = pFont->Baseline;
    pInfo->LHeight = pFont->LHeight;
    pInfo->CHeight = pFont->CHeight;
}

char GUIPROP_IsInFont(const GUI_FontRecord* pFont, uint16_t code)
{
    if (!pFont)
        pFont = GUI_Context.pFont;
    return GUIPROP__FindChar((const GUI_CodeRange*)pFont->pData, code) != nullptr;
}
