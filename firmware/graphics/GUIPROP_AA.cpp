#include "graphics/GUI.h"

// Anti-aliased proportional fonts, 4 and 2 bpp: the glyph records of the
// 1-bpp kind, with pixel rows that hold intensities, drawn through the
// anti-aliasing mixers in the text mode.

static const GUI_GlyphInfo* glyph_of(uint16_t code)
{
    return GUIPROP__FindChar((const GUI_CodeRange*)GUI_Context.pFont->pData, code);
}

typedef void DrawCharAA(int x0, int y0, int xsize, int ysize, int bytesPerLine, const uint8_t* pData);

static void disp_char(uint16_t code, DrawCharAA* draw)
{
    const GUI_FontRecord* f = GUI_Context.pFont;
    const GUI_GlyphInfo* g = glyph_of(code);
    if (!g)
        return;
    const int x = GUI_Context.DispPosX, y = GUI_Context.DispPosY;
    const int mode = GUI_Context.TextMode;
    const int old = LCD_SetDrawMode(mode);
    draw(x, y, g->XSize, f->YSize, g->BytesPerLine, g->pData);
    if (f->YDist > f->YSize && !(mode & (GUI_DRAWMODE_TRANS | GUI_DRAWMODE_XOR)))
        GUI__ClearTextRect(x, y + f->YSize, x + g->XSize - 1, y + f->YDist - 1);
    LCD_SetDrawMode(old);
    GUI_Context.DispPosX = (int16_t)(x + g->XDist);
}

static int dist_x(uint16_t code)
{
    const GUI_GlyphInfo* g = glyph_of(code);
    return g ? g->XDist : 0;
}

static void font_info(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo, uint16_t kind)
{
    pInfo->Flags = (uint16_t)(GUI_FONTINFO_FLAG_PROP | kind);
    pInfo->Baseline = pFont->Baseline;
    pInfo->LHeight = pFont->LHeight;
    pInfo->CHeight = pFont->CHeight;
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
    font_info(pFont, pInfo, GUI_FONTINFO_FLAG_AA4);
}

char GUIPROP_AA4_IsInFont(const GUI_FontRecord* pFont, uint16_t code)
{
    return GUIPROP_IsInFont(pFont, code);
}

void GUIPROP_AA2_DispChar(uint16_t code)
{
    disp_char(code, GUI_AA__DrawCharAA2);
}

int GUIPROP_AA2_GetCharDistX(uint16_t code)
{
    return dist_x(code);
}

void GUIPROP_AA2_GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo)
{
    font_info(pFont, pInfo, GUI_FONTINFO_FLAG_AA2);
}

char GUIPROP_AA2_IsInFont(const GUI_FontRecord* pFont, uint16_t code)
{
    return GUIPROP_IsInFont(pFont, code);
}
