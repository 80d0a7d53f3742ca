#include "graphics/GUI.h"

// Extended fonts: each glyph is a 1-bpp box placed relative to the cursor,
// so large glyphs keep only their ink.  Unless the text mode is TRANS the
// cells of the characters are first cleared to the background and the
// boxes then drawn transparently, so that a box reaching into a
// neighbour's cell does not wipe the neighbour out (XOR text thus inverts
// the cleared cell under its ink).  TRANS text leaves what lies around the
// ink alone.  The SIF fonts of the extended and framed kinds draw through
// the same functions.

const GUI_GlyphInfoExt* GUIPROP_EXT__FindChar(const GUI_CodeRange* pRange, uint16_t code)
{
    return (const GUI_GlyphInfoExt*)GUI__FindGlyph(pRange, code, sizeof(GUI_GlyphInfoExt));
}

static const GUI_GlyphInfoExt* glyph_of(uint16_t code)
{
    return GUIPROP_EXT__FindChar(GUI__CodeRanges(nullptr), code);
}

static int box_of(uint16_t code, GUI_GlyphBox* pBox)
{
    const GUI_GlyphInfoExt* g = glyph_of(code);
    if (!g)
        return 0;
    pBox->XSize = g->XSize;
    pBox->YSize = g->YSize;
    pBox->XPos = g->XPos;
    pBox->YPos = g->YPos;
    pBox->XDist = g->XDist;
    pBox->BytesPerLine = (g->XSize + 7) / 8;
    pBox->pData = g->pData;
    return 1;
}

static GUI_ClearLineFunc* pfClearLine = GUIPROP_EXT__ClearLine;

void GUIPROP_EXT__SetfpClearLine(GUI_ClearLineFunc* pf)
{
    pfClearLine = pf ? pf : GUIPROP_EXT__ClearLine;
}

static void clear_line(const char* s, int numChars)
{
    pfClearLine(s, numChars);
}

// Draws the box at the cursor in the current draw mode and advances.
static void draw_box(const GUI_GlyphBox* b)
{
    const GUI_FontRecord* f = GUI_Context.pFont;
    const int x = GUI_Context.DispPosX, y = GUI_Context.DispPosY;
    if (b->XSize && b->YSize)
        LCD_DrawBitmap(x + b->XPos * f->XMag, y + b->YPos * f->YMag, b->XSize, b->YSize, f->XMag, f->YMag, 1,
                       b->BytesPerLine, b->pData, LCD_pAColorIndex);
    GUI_Context.DispPosX = (int16_t)(x + b->XDist * f->XMag);
}

// The text mode for the characters of a line or one character: cells
// cleared first where the mode paints them, boxes drawn transparently.
static int begin_text(const char* s, int numChars, GUI_ClearLineFunc* clearLine)
{
    const int mode = GUI_Context.TextMode;
    const int old = LCD_SetDrawMode(mode);
    if (!(mode & GUI_DRAWMODE_TRANS)) {
        clearLine(s, numChars);
        LCD_SetDrawMode(mode | GUI_DRAWMODE_TRANS);
    }
    return old;
}

void GUIPROP_EXT__DispBoxChar(uint16_t code, GUI_GetGlyphBoxFunc* getBox, GUI_ClearLineFunc* clearLine)
{
    GUI_GlyphBox b;
    if (!getBox(code, &b))
        return;
    char s[4];
    const int n = GUI_UC_Encode(s, code);
    s[n] = 0;
    const int old = begin_text(s, 1, clearLine);
    draw_box(&b);
    LCD_SetDrawMode(old);
}

void GUIPROP_EXT__DispBoxLine(const char* s, int numChars, GUI_GetGlyphBoxFunc* getBox,
                              GUI_ClearLineFunc* clearLine)
{
    const int old = begin_text(s, numChars, clearLine);
    for (; numChars > 0; --numChars) {
        const uint16_t c = GUI_UC__GetCharCodeInc(&s);
        GUI_GlyphBox b;
        if (getBox(c, &b))
            draw_box(&b);
        if (GUI_pfDispCharStyle)
            GUI_pfDispCharStyle(c);
    }
    LCD_SetDrawMode(old);
}

void GUIPROP_EXT__ClearCells(const char* s, int numChars, int (*pfGetCharDistX)(uint16_t code))
{
    const GUI_FontRecord* f = GUI_Context.pFont;
    int w = 0;
    for (; numChars > 0 && *s; --numChars)
        w += pfGetCharDistX(GUI_UC__GetCharCodeInc(&s));
    if (w <= 0)
        return;
    const int x = GUI_Context.DispPosX, y = GUI_Context.DispPosY;
    GUI__ClearTextRect(x, y, x + w - 1, y + f->YDist * f->YMag - 1);
}

int GUIPROP_EXT__GetBoxDistX(uint16_t code, GUI_GetGlyphBoxFunc* getBox)
{
    GUI_GlyphBox b;
    return getBox(code, &b) ? b.XDist * GUI_Context.pFont->XMag : 0;
}

int GUIPROP_EXT__GetBoxInfo(uint16_t code, GUI_CharInfo* pInfo, GUI_GetGlyphBoxFunc* getBox)
{
    GUI_GlyphBox b;
    if (!getBox(code, &b))
        return 1;
    pInfo->XSize = (uint8_t)b.XSize;
    pInfo->YSize = (uint8_t)b.YSize;
    pInfo->XPos = (int8_t)b.XPos;
    pInfo->YPos = (int8_t)b.YPos;
    pInfo->XDist = (uint8_t)b.XDist;
    return 0;
}

void GUIPROP_EXT_DispChar(uint16_t code)
{
    GUIPROP_EXT__DispBoxChar(code, box_of, clear_line);
}

void GUIPROP_EXT__DispLine(const char* s, int numChars, const GUI_Area*)
{
    GUIPROP_EXT__DispBoxLine(s, numChars, box_of, clear_line);
}

void GUIPROP_EXT__ClearLine(const char* s, int numChars)
{
    GUIPROP_EXT__ClearCells(s, numChars, GUIPROP_EXT_GetCharDistX);
}

// Widths and line lengths are the common ones (the overhang of the last
// glyph comes from GetCharInfo); only drawing a line is the kind's own.
const GUI_FontLineAPIList GUI_ENC_APIList_EXT = {nullptr, nullptr, GUIPROP_EXT__DispLine};

int GUIPROP_EXT_GetCharDistX(uint16_t code)
{
    return GUIPROP_EXT__GetBoxDistX(code, box_of);
}

void GUIPROP_EXT_GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo)
{
    GUI__FillFontInfo(pFont, pInfo, GUI_FONTINFO_FLAG_PROP);
}

char GUIPROP_EXT_IsInFont(const GUI_FontRecord* pFont, uint16_t code)
{
    return GUIPROP_EXT__FindChar(GUI__CodeRanges(pFont), code) != nullptr;
}

int GUIPROP_EXT_GetCharInfo(uint16_t code, GUI_CharInfo* pInfo)
{
    return GUIPROP_EXT__GetBoxInfo(code, pInfo, box_of);
}
