#include "graphics/GUI.h"

// Proportional 1-bpp fonts: each glyph is a 1-bpp bitmap as high as the
// font, drawn in the text mode with the colour-index pair, so that in
// normal mode the whole cell takes the two colours and in TRANS mode only
// the set bits are drawn.

const GUI_GlyphInfo* GUIPROP__FindChar(const GUI_CodeRange* pRange, uint16_t code)
{
    return (const GUI_GlyphInfo*)GUI__FindGlyph(pRange, code, sizeof(GUI_GlyphInfo));
}

static const GUI_GlyphInfo* glyph_of(uint16_t code)
{
    return GUIPROP__FindChar(GUI__CodeRanges(nullptr), code);
}

void GUIPROP__DispCell(int xsize, int xdist, int bytesPerLine, const uint8_t* pData, GUI_DrawCharAAFunc* drawAA)
{
    const GUI_FontRecord* f = GUI_Context.pFont;
    // Anti-aliased glyphs are drawn unmagnified.
    const int xmag = drawAA ? 1 : f->XMag, ymag = drawAA ? 1 : f->YMag;
    const int x = GUI_Context.DispPosX, y = GUI_Context.DispPosY;
    const int mode = GUI_Context.TextMode;
    const int old = LCD_SetDrawMode(mode);
    if (xsize > 0) {
        if (drawAA)
            drawAA(x, y, xsize, f->YSize, bytesPerLine, pData);
        else
            LCD_DrawBitmap(x, y, xsize, f->YSize, xmag, ymag, 1, bytesPerLine, pData, LCD_pAColorIndex);
        if (f->YDist > f->YSize && !(mode & GUI_DRAWMODE_TRANS))
            GUI__ClearTextRect(x, y + f->YSize * ymag, x + xsize * xmag - 1, y + f->YDist * ymag - 1);
    }
    LCD_SetDrawMode(old);
    GUI_Context.DispPosX = (int16_t)(x + xdist * xmag);
}

void GUIPROP_DispChar(uint16_t code)
{
    if (const GUI_GlyphInfo* g = glyph_of(code))
        GUIPROP__DispCell(g->XSize, g->XDist, g->BytesPerLine, g->pData, nullptr);
}

int GUIPROP_GetCharDistX(uint16_t code)
{
    const GUI_GlyphInfo* g = glyph_of(code);
    return g ? g->XDist * GUI_Context.pFont->XMag : 0;
}

void GUIPROP_GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo)
{
    GUI__FillFontInfo(pFont, pInfo, GUI_FONTINFO_FLAG_PROP);
}

char GUIPROP_IsInFont(const GUI_FontRecord* pFont, uint16_t code)
{
    return GUIPROP__FindChar(GUI__CodeRanges(pFont), code) != nullptr;
}
