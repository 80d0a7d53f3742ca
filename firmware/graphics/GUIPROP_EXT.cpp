#include "graphics/GUI.h"

// Extended fonts: each glyph is a 1-bpp box placed relative to the cursor,
// so large glyphs keep only their ink.  In normal and reverse text mode the
// cells of the characters are first cleared to the background and the
// boxes then drawn transparently, so that a box reaching into a
// neighbour's cell does not wipe the neighbour out.  TRANS and XOR text
// leaves what lies around the ink alone.

const GUI_GlyphInfoExt* GUIPROP_EXT__FindChar(const GUI_CodeRange* pRange, uint16_t code)
{
    for (; pRange; pRange = pRange->pNext)
        if (code >= pRange->First && code <= pRange->Last)
            return (const GUI_GlyphInfoExt*)pRange->paGlyph + (code - pRange->First);
    return nullptr;
}

static const GUI_GlyphInfoExt* glyph_of(uint16_t code)
{
    return GUIPROP_EXT__FindChar((const GUI_CodeRange*)GUI_Context.pFont->pData, code);
}

static GUI_ClearLineFunc* pfClearLine = GUIPROP_EXT__ClearLine;

void GUIPROP_EXT__SetfpClearLine(GUI_ClearLineFunc* pf)
{
    pfClearLine = pf ? pf : GUIPROP_EXT__ClearLine;
}

static bool clears_cells(int mode)
{
    return !(mode & (GUI_DRAWMODE_TRANS | GUI_DRAWMODE_XOR));
}

// Draws the box of g at the cursor in the current draw mode and advances.
static void draw_box(const GUI_GlyphInfoExt* g)
{
    const GUI_FontRecord* f = GUI_Context.pFont;
    const int x = GUI_Context.DispPosX, y = GUI_Context.DispPosY;
    if (g->XSize && g->YSize)
        LCD_DrawBitmap(x + g->XPos * f->XMag, y + g->YPos * f->YMag, g->XSize, g->YSize, f->XMag, f->YMag, 1,
                       (g->XSize + 7) / 8, g->pData, LCD_pAColorIndex);
    GUI_Context.DispPosX = (int16_t)(x + g->XDist * f->XMag);
}

// The text mode for the characters of a line or one character: cells
// cleared first where the mode paints them, boxes drawn transparently.
static int begin_text(const char* s, int numChars)
{
    const int mode = GUI_Context.TextMode;
    const int old = LCD_SetDrawMode(mode);
    if (clears_cells(mode)) {
        pfClearLine(s, numChars);
        LCD_SetDrawMode(mode | GUI_DRAWMODE_TRANS);
    }
    return old;
}

void GUIPROP_EXT_DispChar(uint16_t code)
{
    const GUI_GlyphInfoExt* g = glyph_of(code);
    if (!g)
        return;
    char s[3];
    const int n = GUI_UC_Encode(s, code);
    s[n] = 0;
    const int old = begin_text(s, 1);
    draw_box(g);
    LCD_SetDrawMode(old);
}

void GUIPROP_EXT__DispLine(const char* s, int numChars, const GUI_Area*)
{
    const int old = begin_text(s, numChars);
    for (; numChars > 0; --numChars) {
        const uint16_t c = GUI_UC__GetCharCodeInc(&s);
        if (const GUI_GlyphInfoExt* g = glyph_of(c))
            draw_box(g);
        if (GUI_pfDispCharStyle)
            GUI_pfDispCharStyle(c);
    }
    LCD_SetDrawMode(old);
}

// The advances of the characters, without the overhang: the cells.
static int cells_width(const char* s, int numChars)
{
    int w = 0;
    for (; numChars > 0 && *s; --numChars)
        w += GUIPROP_EXT_GetCharDistX(GUI_UC__GetCharCodeInc(&s));
    return w;
}

void GUIPROP_EXT__ClearLine(const char* s, int numChars)
{
    const GUI_FontRecord* f = GUI_Context.pFont;
    const int w = cells_width(s, numChars);
    if (w <= 0)
        return;
    const int x = GUI_Context.DispPosX, y = GUI_Context.DispPosY;
    GUI__ClearTextRect(x, y, x + w - 1, y + f->YDist * f->YMag - 1);
}

// Widths and line lengths are the common ones (the overhang of the last
// glyph comes from GetCharInfo); only drawing a line is the kind's own.
const GUI_FontLineAPIList GUI_ENC_APIList_EXT = {nullptr, nullptr, GUIPROP_EXT__DispLine};

int GUIPROP_EXT_GetCharDistX(uint16_t code)
{
    const GUI_GlyphInfoExt* g = glyph_of(code);
    return g ? g->XDist * GUI_Context.pFont->XMag : 0;
}

void GUIPROP_EXT_GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo)
{
    pInfo->Flags = GUI_FONTINFO_FLAG_PROP;
    pInfo->Baseline = pFont->Baseline;
    pInfo->LHeight = pFont->LHeight;
    pInfo->CHeight = pFont->CHeight;
}

char GUIPROP_EXT_IsInFont(const GUI_FontRecord* pFont, uint16_t code)
{
    if (!pFont)
        pFont = GUI_Context.pFont;
    return GUIPROP_EXT__FindChar((const GUI_CodeRange*)pFont->pData, code) != nullptr;
}

int GUIPROP_EXT_GetCharInfo(uint16_t code, GUI_CharInfo* pInfo)
{
    const GUI_GlyphInfoExt* g = glyph_of(code);
    if (!g)
        return 1;
    pInfo->XSize = g->XSize;
    pInfo->YSize = g->YSize;
    pInfo->XPos = g->XPos;
    pInfo->YPos = g->YPos;
    pInfo->XDist = g->XDist;
    return 0;
}
