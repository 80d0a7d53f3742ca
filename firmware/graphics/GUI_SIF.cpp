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

// A glyph's pixel rows.  Only a glyph that has pixels has its offset
// checked (GUI_SIF_CheckFont passes an empty one whatever it holds), so an
// empty glyph's offset is never added to the data's address.
static const uint8_t* glyph_rows(const GUI_FontRecord* pFont, uint32_t offset, int hasPixels)
{
    return hasPixels ? data_of(pFont) + offset : data_of(pFont);
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
    const uint8_t* r = GUI_SIF__GetpCharInfo(GUI_Context.pFont, code, GUI_SIF_CHARINFO_SIZE);
    if (!r)
        return 0;
    ci->XSize = read16(r);
    ci->XDist = read16(r + 2);
    ci->BytesPerLine = read16(r + 4);
    ci->pData = glyph_rows(GUI_Context.pFont, read32(r + 8), ci->XSize && GUI_Context.pFont->YSize);
    return 1;
}

static void disp_char_prop(uint16_t code)
{
    CharInfo12 ci;
    if (char_info12(code, &ci))
        GUIPROP__DispCell(ci.XSize, ci.XDist, ci.BytesPerLine, ci.pData, nullptr);
}

static void disp_char_aa(uint16_t code, GUI_DrawCharAAFunc* draw)
{
    CharInfo12 ci;
    if (char_info12(code, &ci))
        GUIPROP__DispCell(ci.XSize, ci.XDist, ci.BytesPerLine, ci.pData, draw);
}

static void disp_char_aa2(uint16_t code)
{
    disp_char_aa(code, GUI_AA__DrawCharAA2);
}

static void disp_char_aa4(uint16_t code)
{
    disp_char_aa(code, GUI_AA__DrawCharAA4);
}

// Whether pFont (NULL: the current font) has a char info for code.
static char has_char_info(const GUI_FontRecord* pFont, uint16_t code, int recordSize)
{
    return GUI_SIF__GetpCharInfo(pFont ? pFont : GUI_Context.pFont, code, recordSize) != 0;
}

char GUI_SIF__IsInFont(const GUI_FontRecord* pFont, uint16_t code)
{
    return has_char_info(pFont, code, GUI_SIF_CHARINFO_SIZE);
}

int GUI_SIF__GetCharDistX(uint16_t code)
{
    CharInfo12 ci;
    if (!char_info12(code, &ci))
        return 0;
    const GUI_FontRecord* f = GUI_Context.pFont;
    return f->pfDispChar == disp_char_prop ? ci.XDist * f->XMag : ci.XDist;
}

void GUI_SIF__GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo)
{
    uint16_t flags = GUI_FONTINFO_FLAG_PROP;
    if (pFont->pfDispChar == disp_char_aa2)
        flags |= GUI_FONTINFO_FLAG_AA2;
    else if (pFont->pfDispChar == disp_char_aa4)
        flags |= GUI_FONTINFO_FLAG_AA4;
    GUI__FillFontInfo(pFont, pInfo, flags);
}

// ---- char infos of 16 bytes: XSize, YSize, XPos, YPos, XDist, BytesPerLine, offset

static int char_info16(uint16_t code, GUI_GlyphBox* ci)
{
    const uint8_t* r = GUI_SIF__GetpCharInfo(GUI_Context.pFont, code, GUI_SIF_CHARINFO_SIZE_EXT);
    if (!r)
        return 0;
    ci->XSize = read16(r);
    ci->YSize = read16(r + 2);
    ci->XPos = (int16_t)read16(r + 4);
    ci->YPos = (int16_t)read16(r + 6);
    ci->XDist = read16(r + 8);
    ci->BytesPerLine = read16(r + 10);
    ci->pData = glyph_rows(GUI_Context.pFont, read32(r + 12), ci->XSize && ci->YSize);
    return 1;
}

char GUI_SIF__IsInFont_ExtFrm(const GUI_FontRecord* pFont, uint16_t code)
{
    return has_char_info(pFont, code, GUI_SIF_CHARINFO_SIZE_EXT);
}

int GUI_SIF__GetCharDistX_ExtFrm(uint16_t code)
{
    return GUIPROP_EXT__GetBoxDistX(code, char_info16);
}

int GUI_SIF__GetCharInfo_ExtFrm(uint16_t code, GUI_CharInfo* pInfo)
{
    return GUIPROP_EXT__GetBoxInfo(code, pInfo, char_info16);
}

static void disp_char_ext(uint16_t code);

void GUI_SIF__GetFontInfo_ExtFrm(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo)
{
    uint16_t flags = GUI_FONTINFO_FLAG_PROP;
    if (pFont->pfDispChar != disp_char_ext)
        flags |= GUI_FONTINFO_FLAG_PROPFRM;
    GUI__FillFontInfo(pFont, pInfo, flags);
}

// The cells of numChars characters of s from the cursor on, cleared to the
// background.
static void clear_line(const char* s, int numChars)
{
    GUIPROP_EXT__ClearCells(s, numChars, GUI_SIF__GetCharDistX_ExtFrm);
}

static void disp_char_ext(uint16_t code)
{
    GUIPROP_EXT__DispBoxChar(code, char_info16, clear_line);
}

// The framed kind: the same box in its cell, drawn one character at a time.
static void disp_char_frm(uint16_t code)
{
    GUIPROP_EXT__DispBoxChar(code, char_info16, clear_line);
}

static void disp_line_ext(const char* s, int numChars, const GUI_Area*)
{
    GUIPROP_EXT__DispBoxLine(s, numChars, char_info16, clear_line);
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
