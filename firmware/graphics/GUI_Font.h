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

// Per-font replacements of the text line functions (extended fonts only).
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

// The font of the context after GUI_Init.
extern const GUI_FontRecord GUI_FontArial10;
