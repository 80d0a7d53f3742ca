// Font records: what text output calls to measure and draw characters, and
// the data the compiled-in kinds keep their glyphs in.
#pragma once

#include "graphics/GUI_Type.h"

// Glyph of a 1- or 4-bpp proportional font.
struct GUI_GlyphInfo {
    uint8_t XSize;         // width in pixels
    uint8_t XDist;         // advance
    uint8_t BytesPerLine;
    const uint8_t* pData;  // rows top first; 1 bpp: MSB leftmost, 4 bpp: high nibble leftmost
};

// Glyph of an extended font: a box placed relative to the cursor.
struct GUI_GlyphInfoExt {
    uint8_t XSize, YSize;
    int8_t XPos, YPos;
    uint8_t XDist;
    const uint8_t* pData;  // 1-bpp rows
};

// Inclusive code range with one glyph per code; ranges are searched in
// chain order.
struct GUI_CodeRange {
    uint16_t First;
    uint16_t Last;
    const void* paGlyph;  // GUI_GlyphInfo[] or GUI_GlyphInfoExt[]
    const GUI_CodeRange* pNext;
};

// What GetFontInfo reports.
struct GUI_FontInfo {
    uint16_t Flags;  // kind flags below
    uint8_t Baseline;
    uint8_t LHeight;
    uint8_t CHeight;
};
enum {
    GUI_FONTINFO_FLAG_PROP = 1 << 0,
    GUI_FONTINFO_FLAG_MONO = 1 << 1,
    GUI_FONTINFO_FLAG_AA2 = 1 << 2,
    GUI_FONTINFO_FLAG_AA4 = 1 << 3,
    GUI_FONTINFO_FLAG_PROPFRM = 1 << 4,
};

// Box of an extended glyph (GetCharInfo).
struct GUI_CharInfo {
    uint8_t XSize, YSize;
    int8_t XPos, YPos;
    uint8_t XDist;
};

// Per-font replacements of the text line functions (extended fonts only);
// a NULL entry keeps the common function.
struct GUI_FontLineAPIList {
    int (*pfGetLineDistX)(const char* s, int numChars);
    int (*pfGetLineLen)(const char* s, int maxLen);
    void (*pfDispLine)(const char* s, int numChars, const GUI_Area* pRect);
};

struct GUI_FontRecord {
    void (*pfDispChar)(uint16_t code);
    int (*pfGetCharDistX)(uint16_t code);
    void (*pfGetFontInfo)(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo);
    char (*pfIsInFont)(const GUI_FontRecord* pFont, uint16_t code);
    int (*pfGetCharInfo)(uint16_t code, GUI_CharInfo* pInfo);
    const GUI_FontLineAPIList* pLineAPI;
    uint8_t YSize;
    uint8_t YDist;
    uint8_t XMag;
    uint8_t YMag;
    const void* pData;  // first GUI_CodeRange, or SIF font data
    uint8_t Baseline;
    uint8_t LHeight;
    uint8_t CHeight;
};

// Character decoding of text strings.
struct GUI_EncodingAPIList {
    uint16_t (*pfGetCharCode)(const char* s);
    int (*pfGetCharSize)(const char* s);
    int (*pfCalcSizeOfChar)(uint16_t code);
    int (*pfEncode)(char* s, uint16_t code);
};

// ---- the kinds of font: the functions their records hold

// Fills pInfo with the kind flags and the font's heights.
void GUI__FillFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo, uint16_t flags);
// The glyph record of code in a chain of ranges whose glyph records are
// glyphSize bytes each, or NULL.
const void* GUI__FindGlyph(const GUI_CodeRange* pRange, uint16_t code, unsigned glyphSize);
// The first code range of a compiled-in font; NULL: of the current font.
const GUI_CodeRange* GUI__CodeRanges(const GUI_FontRecord* pFont);

// Draws an anti-aliased glyph of intensities at (x0, y0) in the draw mode.
typedef void GUI_DrawCharAAFunc(int x0, int y0, int xsize, int ysize, int bytesPerLine, const uint8_t* pData);

// Proportional, 1 bpp: every glyph fills its cell (XSize = XDist).
void GUIPROP_DispChar(uint16_t code);
int GUIPROP_GetCharDistX(uint16_t code);
void GUIPROP_GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo);
char GUIPROP_IsInFont(const GUI_FontRecord* pFont, uint16_t code);
// The glyph of code in a chain of GUI_GlyphInfo ranges, or NULL.
const GUI_GlyphInfo* GUIPROP__FindChar(const GUI_CodeRange* pRange, uint16_t code);
// The character of the proportional and anti-aliased kinds, compiled-in
// and SIF: a glyph that fills its cell (xsize wide, the font's YSize high)
// drawn at the text cursor in the text mode, 1 bpp through the colour-index
// pair and magnified when drawAA is NULL, else through drawAA unmagnified;
// where the text mode paints cells, the rows down to the line distance are
// cleared. The cursor advances by xdist (magnified for 1 bpp).
void GUIPROP__DispCell(int xsize, int xdist, int bytesPerLine, const uint8_t* pData, GUI_DrawCharAAFunc* drawAA);

// Anti-aliased, 4 bpp (intensities 0..15).
void GUIPROP_AA4_DispChar(uint16_t code);
int GUIPROP_AA4_GetCharDistX(uint16_t code);
void GUIPROP_AA4_GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo);
char GUIPROP_AA4_IsInFont(const GUI_FontRecord* pFont, uint16_t code);

// Anti-aliased, 2 bpp (0..3 for intensities 0, 5, 10, 15); no compiled-in
// font has this kind.
void GUIPROP_AA2_DispChar(uint16_t code);
int GUIPROP_AA2_GetCharDistX(uint16_t code);
void GUIPROP_AA2_GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo);
char GUIPROP_AA2_IsInFont(const GUI_FontRecord* pFont, uint16_t code);

// Extended: 1-bpp boxes placed relative to the cursor, with line functions
// that clear the cells of a whole line.
void GUIPROP_EXT_DispChar(uint16_t code);
int GUIPROP_EXT_GetCharDistX(uint16_t code);
void GUIPROP_EXT_GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo);
char GUIPROP_EXT_IsInFont(const GUI_FontRecord* pFont, uint16_t code);
int GUIPROP_EXT_GetCharInfo(uint16_t code, GUI_CharInfo* pInfo);
const GUI_GlyphInfoExt* GUIPROP_EXT__FindChar(const GUI_CodeRange* pRange, uint16_t code);
extern const GUI_FontLineAPIList GUI_ENC_APIList_EXT;
// Clears the cells of numChars characters of s from the text cursor on.
typedef void GUI_ClearLineFunc(const char* s, int numChars);

// What the extended kinds (compiled-in and SIF) share: a glyph box placed
// relative to the cursor, 1-bpp rows.
struct GUI_GlyphBox {
    int XSize, YSize;
    int XPos, YPos;
    int XDist;
    int BytesPerLine;
    const uint8_t* pData;
};
// Fills *pBox with the box of code in the current font; 0 when it has none.
typedef int GUI_GetGlyphBoxFunc(uint16_t code, GUI_GlyphBox* pBox);
// One character, or numChars characters of s: the cells are cleared with
// clearLine first where the text mode paints them, then the boxes drawn
// transparently, so that a box reaching into a neighbour's cell does not
// wipe the neighbour out.
void GUIPROP_EXT__DispBoxChar(uint16_t code, GUI_GetGlyphBoxFunc* getBox, GUI_ClearLineFunc* clearLine);
void GUIPROP_EXT__DispBoxLine(const char* s, int numChars, GUI_GetGlyphBoxFunc* getBox,
                              GUI_ClearLineFunc* clearLine);
// Clears the cells (the advances, without the overhang) of numChars
// characters of s from the cursor on.
void GUIPROP_EXT__ClearCells(const char* s, int numChars, int (*pfGetCharDistX)(uint16_t code));
// The advance of code (magnified), 0 when the font lacks it.
int GUIPROP_EXT__GetBoxDistX(uint16_t code, GUI_GetGlyphBoxFunc* getBox);
// The box of code: 0, or 1 when the font lacks it.
int GUIPROP_EXT__GetBoxInfo(uint16_t code, GUI_CharInfo* pInfo, GUI_GetGlyphBoxFunc* getBox);
void GUIPROP_EXT__SetfpClearLine(GUI_ClearLineFunc* pf);
GUI_ClearLineFunc GUIPROP_EXT__ClearLine;
void GUIPROP_EXT__DispLine(const char* s, int numChars, const GUI_Area* pRect);

// ---- the compiled-in fonts (generated by tools/fontgen at build time)
extern const GUI_FontRecord GUI_FontArial8, GUI_FontArial8B;
extern const GUI_FontRecord GUI_FontArial10, GUI_FontArial10B;  // GUI_FontArial10: the font after GUI_Init
extern const GUI_FontRecord GUI_Font16_1, GUI_Font16B_1;
extern const GUI_FontRecord GUI_Font16_ASCII, GUI_Font16B_ASCII;
extern const GUI_FontRecord GUI_FontMonospac821_BT_12pt, GUI_FontMonospac821_BT_24pt;
extern const GUI_FontRecord GUI_FontArial10AA4, GUI_FontArial10BAA4;
extern const GUI_FontRecord GUI_FontArial12AA4, GUI_FontArial12BAA4;
extern const GUI_FontRecord GUI_FontArial14AA4, GUI_FontArial14BAA4;
extern const GUI_FontRecord GUI_FontArial16AA4, GUI_FontArial16BAA4;
extern const GUI_FontRecord GUI_FontArial20AA4, GUI_FontArial20BAA4;
extern const GUI_FontRecord GUI_FontArial24AA4, GUI_FontArial24BAA4;
extern const GUI_FontRecord GUI_FontArial32AA4, GUI_FontArial32BAA4;
extern const GUI_FontRecord GUI_FontMono8AA4, GUI_FontMono8BAA4;
extern const GUI_FontRecord GUI_FontMono10AA4, GUI_FontMono10BAA4;
extern const GUI_FontRecord GUI_FontMono12AA4, GUI_FontMono12BAA4;
extern const GUI_FontRecord GUI_FontMono14AA4, GUI_FontMono14BAA4;
extern const GUI_FontRecord GUI_FontMono16AA4, GUI_FontMono16BAA4;
extern const GUI_FontRecord GUI_FontMono20AA4, GUI_FontMono20BAA4;
extern const GUI_FontRecord GUI_FontMono24AA4, GUI_FontMono24BAA4;
extern const GUI_FontRecord GUI_FontMono32AA4, GUI_FontMono32BAA4;
extern const GUI_FontRecord GUI_FontMono48, GUI_FontMono64;
