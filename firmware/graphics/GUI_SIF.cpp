#include "graphics/GUI_SIF.h"

// SIF fonts drawn from the stored data itself.  All values are
// little-endian and read byte by byte (the data need not be aligned).

static uint16_t read16(const uint8_t* p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

static uint32_t read32(const uint8_t* p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static const uint8_t* data_of(const GUI_FontRecord* pFont)
{
    return (const uint8_t*)pFont->pData;
}

int GUI_SIF__GetNumCharAreas(const GUI_FontRecord* pFont)
{
    return read16(data_of(pFont) + 14);
}

const uint8_t* GUI_SIF__GetpCharInfo(const GUI_FontRecord* pFont, uint16_t code, int recordSize)
{
    const uint8_t* d = data_of(pFont);
    const int n = read16(d + 14);
    const uint8_t* area = d + GUI_SIF_HEADER_SIZE;
    const uint8_t* rec = area + 4 * n;
    for (int i = 0; i < n; ++i, area += 4) {
        const uint16_t first = read16(area), last = read16(area + 2);
        if (code >= first && code <= last)
            return rec + (code - first) * recordSize;
        rec += (last - first + 1) * recordSize;
    }
    return 0;
}

// ---- char infos of 12 bytes: XSize, XDist, BytesPerLine, -, offset

struct CharInfo12 {
    uint16_t XSize, XDist, BytesPerLine;
    const uint8_t* pData;
};

static int char_info12(uint16_t code, CharInfo12* ci)
{
    const GUI_FontRecord* f = GUI_Context.pFont;
    const uint8_t* r = GUI_SIF__GetpCharInfo(f, code, GUI_SIF_CHARINFO_SIZE);
    if (!r)
        return 0;
    ci->XSize = read16(r);
    ci->XDist = read16(r + 2);
    ci->BytesPerLine = read16(r + 4);
    ci->pData = data_of(f) + read32(r + 8);
    return 1;
}

static bool paints_cells(int mode)
{
    return !(mode & (GUI_DRAWMODE_TRANS | GUI_DRAWMODE_XOR));
}

// Clears the rows between the glyph height and the line distance.
static void clear_below(int x, int y, int xsize)
{
    const GUI_FontRecord* f = GUI_Context.pFont;
    if (f->YDist > f->YSize && xsize > 0 && paints_cells(GUI_Context.TextMode))
        GUI__ClearTextRect(x, y + f->YSize * f->YMag, x + xsize * f->XMag - 1, y + f->YDist * f->YMag - 1);
}

static void disp_char_prop(uint16_t code)
{
    CharInfo12 ci;
    if (!char_info12(code, &ci))
        return;
    const GUI_FontRecord* f = GUI_Context.pFont;
    const int x = GUI_Context.DispPosX, y = GUI_Context.DispPosY;
    const int old = LCD_SetDrawMode(GUI_Context.TextMode);
    if (ci.XSize)
        LCD_DrawBitmap(x, y, ci.XSize, f->YSize, f->XMag, f->YMag, 1, ci.BytesPerLine, ci.pData, LCD_pAColorIndex);
    clear_below(x, y, ci.XSize);
    LCD_SetDrawMode(old);
    GUI_Context.DispPosX = (int16_t)(x + ci.XDist * f->XMag);
}

typedef void DrawCharAA(int x0, int y0, int xsize, int ysize, int bytesPerLine, const uint8_t* pData);

static void disp_char_aa(uint16_t code, DrawCharAA* draw)
{
    CharInfo12 ci;
    if (!char_info12(code, &ci))
        return;
    const GUI_FontRecord* f = GUI_Context.pFont;
    const int x = GUI_Context.DispPosX, y = GUI_Context.DispPosY;
    const int old = LCD_SetDrawMode(GUI_Context.TextMode);
    if (ci.XSize)
        draw(x, y, ci.XSize, f->YSize, ci.BytesPerLine, ci.pData);
    clear_below(x, y, ci.XSize);
    LCD_SetDrawMode(old);
    GUI_Context.DispPosX = (int16_t)(x + ci.XDist);
}

static void disp_char_aa2(uint16_t code)
{
    disp_char_aa(code, GUI_AA__DrawCharAA2);
}

static void disp_char_aa4(uint16_t code)
{
    disp_char_aa(code, GUI_AA__DrawCharAA4);
}

char GUI_SIF__IsInFont(const GUI_FontRecord* pFont, uint16_t code)
{
    if (!pFont)
        pFont = GUI_Context.pFont;
    return GUI_SIF__GetpCharInfo(pFont, code, GUI_SIF_CHARINFO_SIZE) != 0;
}

int GUI_SIF__GetCharDistX(uint16_t code)
{
    CharInfo12 ci;
    if (!char_info12(code, &ci))
        return 0;
    const GUI_FontRecord* f = GUI_Context.pFont;
    return f->pfDispChar == disp_char_prop ? ci.XDist * f->XMag : ci.XDist;
}

static void font_info(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo, uint16_t flags)
{
    pInfo->Flags = flags;
    pInfo->Baseline = pFont->Baseline;
    pInfo->LHeight = pFont->LHeight;
    pInfo->CHeight = pFont->CHeight;
}

void GUI_SIF__GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo)
{
    uint16_t flags = GUI_FONTINFO_FLAG_PROP;
    if (pFont->pfDispChar == disp_char_aa2)
        flags |= GUI_FONTINFO_FLAG_AA2;
    else if (pFont->pfDispChar == disp_char_aa4)
        flags |= GUI_FONTINFO_FLAG_AA4;
    font_info(pFont, pInfo, flags);
}

// ---- char infos of 16 bytes: XSize, YSize, XPos, YPos, XDist, BytesPerLine, offset

struct CharInfo16 {
    uint16_t XSize, YSize;
    int16_t XPos, YPos;
    uint16_t XDist, BytesPerLine;
    const uint8_t* pData;
};

static int char_info16(uint16_t code, CharInfo16* ci)
{
    const GUI_FontRecord* f = GUI_Context.pFont;
    const uint8_t* r = GUI_SIF__GetpCharInfo(f, code, GUI_SIF_CHARINFO_SIZE_EXT);
    if (!r)
        return 0;
    ci->XSize = read16(r);
    ci->YSize = read16(r + 2);
    ci->XPos = (int16_t)read16(r + 4);
    ci->YPos = (int16_t)read16(r + 6);
    ci->XDist = read16(r + 8);
    ci->BytesPerLine = read16(r + 10);
    ci->pData = data_of(f) + read32(r + 12);
    return 1;
}

char GUI_SIF__IsInFont_ExtFrm(const GUI_FontRecord* pFont, uint16_t code)
{
    if (!pFont)
        pFont = GUI_Context.pFont;
    return GUI_SIF__GetpCharInfo(pFont, code, GUI_SIF_CHARINFO_SIZE_EXT) != 0;
}

int GUI_SIF__GetCharDistX_ExtFrm(uint16_t code)
{
    CharInfo16 ci;
    return char_info16(code, &ci) ? ci.XDist * GUI_Context.pFont->XMag : 0;
}

int GUI_SIF__GetCharInfo_ExtFrm(uint16_t code, GUI_CharInfo* pInfo)
{
    CharInfo16 ci;
    if (!char_info16(code, &ci))
        return 1;
    pInfo->XSize = (uint8_t)ci.XSize;
    pInfo->YSize = (uint8_t)ci.YSize;
    pInfo->XPos = (int8_t)ci.XPos;
    pInfo->YPos = (int8_t)ci.YPos;
    pInfo->XDist = (uint8_t)ci.XDist;
    return 0;
}

static void disp_char_ext(uint16_t code);

void GUI_SIF__GetFontInfo_ExtFrm(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo)
{
    uint16_t flags = GUI_FONTINFO_FLAG_PROP;
    if (pFont->pfDispChar != disp_char_ext)
        flags |= GUI_FONTINFO_FLAG_PROPFRM;
    font_info(pFont, pInfo, flags);
}

// Draws the glyph box at the cursor + (XPos, YPos) in the current draw
// mode and advances the cursor.
static void draw_box(const CharInfo16* ci)
{
    const GUI_FontRecord* f = GUI_Context.pFont;
    const int x = GUI_Context.DispPosX, y = GUI_Context.DispPosY;
    if (ci->XSize && ci->YSize)
        LCD_DrawBitmap(x + ci->XPos * f->XMag, y + ci->YPos * f->YMag, ci->XSize, ci->YSize, f->XMag, f->YMag, 1,
                       ci->BytesPerLine, ci->pData, LCD_pAColorIndex);
    GUI_Context.DispPosX = (int16_t)(x + ci->XDist * f->XMag);
}

// The cells of numChars characters of s from the cursor on, cleared to the
// background.
static void clear_line(const char* s, int numChars)
{
    const GUI_FontRecord* f = GUI_Context.pFont;
    int w = 0;
    for (; numChars > 0 && *s; --numChars)
        w += GUI_SIF__GetCharDistX_ExtFrm(GUI_UC__GetCharCodeInc(&s));
    if (w <= 0)
        return;
    const int x = GUI_Context.DispPosX, y = GUI_Context.DispPosY;
    GUI__ClearTextRect(x, y, x + w - 1, y + f->YDist * f->YMag - 1);
}

// Cells are cleared first where the text mode paints them; the boxes are
// then drawn transparently, so that a box reaching into a neighbour's cell
// does not wipe the neighbour out.
static int begin_text(const char* s, int numChars)
{
    const int mode = GUI_Context.TextMode;
    const int old = LCD_SetDrawMode(mode);
    if (paints_cells(mode)) {
        clear_line(s, numChars);
        LCD_SetDrawMode(mode | GUI_DRAWMODE_TRANS);
    }
    return old;
}

static void disp_one_box(uint16_t code)
{
    CharInfo16 ci;
    if (!char_info16(code, &ci))
        return;
    char s[4];
    const int n = GUI_UC_Encode(s, code);
    s[n] = 0;
    const int old = begin_text(s, 1);
    draw_box(&ci);
    LCD_SetDrawMode(old);
}

static void disp_char_ext(uint16_t code)
{
    disp_one_box(code);
}

// The framed kind: the same box in its cell, drawn one character at a time.
static void disp_char_frm(uint16_t code)
{
    disp_one_box(code);
}

static void disp_line_ext(const char* s, int numChars, const GUI_Area*)
{
    const int old = begin_text(s, numChars);
    for (; numChars > 0; --numChars) {
        const uint16_t c = GUI_UC__GetCharCodeInc(&s);
        CharInfo16 ci;
        if (char_info16(c, &ci))
            draw_box(&ci);
        if (GUI_pfDispCharStyle)
            GUI_pfDispCharStyle(c);
    }
    LCD_SetDrawMode(old);
}

static const GUI_FontLineAPIList lineAPI_ext = {0, 0, disp_line_ext};

// ---- the kinds

const GUI_FontAPIList GUI_SIF_APIList_Prop = {disp_char_prop, GUI_SIF__GetCharDistX, GUI_SIF__GetFontInfo,
                                              GUI_SIF__IsInFont, 0, 0};
const GUI_FontAPIList GUI_SIF_APIList_Prop_Ext = {disp_char_ext,
                                                  GUI_SIF__GetCharDistX_ExtFrm,
                                                  GUI_SIF__GetFontInfo_ExtFrm,
                                                  GUI_SIF__IsInFont_ExtFrm,
                                                  GUI_SIF__GetCharInfo_ExtFrm,
                                                  &lineAPI_ext};
const GUI_FontAPIList GUI_SIF_APIList_Prop_AA2 = {disp_char_aa2, GUI_SIF__GetCharDistX, GUI_SIF__GetFontInfo,
                                                  GUI_SIF__IsInFont, 0, 0};
const GUI_FontAPIList GUI_SIF_APIList_Prop_AA4 = {disp_char_aa4, GUI_SIF__GetCharDistX, GUI_SIF__GetFontInfo,
                                                  GUI_SIF__IsInFont, 0, 0};
const GUI_FontAPIList GUI_SIF_APIList_Prop_Frm = {disp_char_frm, GUI_SIF__GetCharDistX_ExtFrm,
                                                  GUI_SIF__GetFontInfo_ExtFrm, GUI_SIF__IsInFont_ExtFrm, 0, 0};

void GUI_SIF_CreateFont(const void* pFontData, GUI_FontRecord* pFont, const GUI_FontAPIList* pKind)
{
    const uint8_t* d = (const uint8_t*)pFontData;
    pFont->pData = pFontData;
    if (!d || read32(d) != GUI_SIF_MAGIC)
        return;
    pFont->YSize = (uint8_t)read16(d + 4);
    pFont->YDist = (uint8_t)read16(d + 6);
    pFont->Baseline = (uint8_t)read16(d + 8);
    pFont->LHeight = (uint8_t)read16(d + 10);
    pFont->CHeight = (uint8_t)read16(d + 12);
    pFont->XMag = 1;
    pFont->YMag = 1;
    pFont->pfDispChar = pKind->pfDispChar;
    pFont->pfGetCharDistX = pKind->pfGetCharDistX;
    pFont->pfGetFontInfo = pKind->pfGetFontInfo;
    pFont->pfIsInFont = pKind->pfIsInFont;
    pFont->pfGetCharInfo = pKind->pfGetCharInfo;
    pFont->pLineAPI = pKind->pLineAPI;
    GUI_SetFont(pFont);
}

void GUI_SIF_DeleteFont(GUI_FontRecord*) {}

// ---- checking stored data

static int fits(uint32_t offset, uint64_t bytes, uint32_t length)
{
    return (uint64_t)offset + bytes <= length;
}

int GUI_SIF_CheckFont(const void* pFontData, uint32_t length, const GUI_FontAPIList* pKind)
{
    const uint8_t* d = (const uint8_t*)pFontData;
    if (!d || !pKind || length < GUI_SIF_HEADER_SIZE || read32(d) != GUI_SIF_MAGIC)
        return 0;
    const int boxes = pKind->pfGetCharDistX == GUI_SIF__GetCharDistX_ExtFrm;
    const int bpp = pKind == &GUI_SIF_APIList_Prop_AA2 ? 2 : pKind == &GUI_SIF_APIList_Prop_AA4 ? 4 : 1;
    const uint32_t recSize = boxes ? GUI_SIF_CHARINFO_SIZE_EXT : GUI_SIF_CHARINFO_SIZE;
    const uint32_t fontRows = (uint8_t)read16(d + 4);  // as the font record holds it
    const uint32_t n = read16(d + 14);
    if (!fits(GUI_SIF_HEADER_SIZE, 4ull * n, length))
        return 0;
    uint32_t rec = GUI_SIF_HEADER_SIZE + 4 * n;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* area = d + GUI_SIF_HEADER_SIZE + 4 * i;
        const uint32_t first = read16(area), last = read16(area + 2);
        if (first > last || !fits(rec, (uint64_t)(last - first + 1) * recSize, length))
            return 0;
        for (uint32_t c = first; c <= last; ++c, rec += recSize) {
            const uint8_t* r = d + rec;
            const uint32_t xsize = read16(r);
            const uint32_t rows = boxes ? read16(r + 2) : fontRows;
            const uint32_t bpl = read16(r + (boxes ? 10 : 4));
            const uint32_t off = read32(r + (boxes ? 12 : 8));
            if (!xsize || !rows)
                continue;
            if (bpl < (xsize * bpp + 7) / 8 || !fits(off, (uint64_t)bpl * rows, length))
                return 0;
        }
    }
    return 1;
}
