#include "app/KM_fonts.h"

#include <string.h>

// The font table.  A lookup takes the first pair whose name matches, so the
// later duplicates ("24", "24B", "32", "32B") are never found; they stay
// in the table because "f?" lists every name it holds.

static const FontTableEntry fontTable[] = {
    {"M24", &GUI_FontMonospac821_BT_24pt},
    {"M12", &GUI_FontMonospac821_BT_12pt},
    {"8s", &GUI_FontArial8},
    {"8Bs", &GUI_FontArial8B},
    {"8", &GUI_FontArial8},
    {"8B", &GUI_FontArial8B},
    {"10s", &GUI_FontArial10},
    {"10Bs", &GUI_FontArial10B},
    {"10", &GUI_FontArial10AA4},
    {"10B", &GUI_FontArial10BAA4},
    {"12", &GUI_FontArial12AA4},
    {"12B", &GUI_FontArial12BAA4},
    {"14", &GUI_FontArial14AA4},
    {"14B", &GUI_FontArial14BAA4},
    {"16", &GUI_FontArial16AA4},
    {"16B", &GUI_FontArial16BAA4},
    {"20", &GUI_FontArial20AA4},
    {"20B", &GUI_FontArial20BAA4},
    {"24", &GUI_FontArial24AA4},
    {"24B", &GUI_FontArial24BAA4},
    {"32", &GUI_FontArial32AA4},
    {"32B", &GUI_FontArial32BAA4},
    {"48", &GUI_FontMono48},
    {"64", &GUI_FontMono64},
    {"m8", &GUI_FontMono8AA4},
    {"m8B", &GUI_FontMono8BAA4},
    {"m10", &GUI_FontMono10AA4},
    {"m10B", &GUI_FontMono10BAA4},
    {"m12", &GUI_FontMono12AA4},
    {"m12B", &GUI_FontMono12BAA4},
    {"m14", &GUI_FontMono14AA4},
    {"m14B", &GUI_FontMono14BAA4},
    {"m16", &GUI_FontMono16AA4},
    {"m16B", &GUI_FontMono16BAA4},
    {"m20", &GUI_FontMono20AA4},
    {"m20B", &GUI_FontMono20BAA4},
    {"m24", &GUI_FontMono24AA4},
    {"m24B", &GUI_FontMono24BAA4},
    {"m32", &GUI_FontMono32AA4},
    {"m32B", &GUI_FontMono32BAA4},
    {"m48", &GUI_FontMono48},
    {"m64", &GUI_FontMono64},
    {"dummy", &GUI_FontArial8},
    {"10S", &GUI_FontArial8},
    {"13", &GUI_FontArial10},
    {"13B", &GUI_FontArial10B},
    {"x16", &GUI_Font16_1},
    {"x16B", &GUI_Font16B_1},
    {"18BC", &GUI_FontArial24AA4},
    {"24", &GUI_FontArial24AA4},
    {"24B", &GUI_FontArial24AA4},
    {"24BC", &GUI_FontArial24AA4},
    {"32", &GUI_FontArial32AA4},
    {"32B", &GUI_FontArial32AA4},
    {"4x6", &GUI_FontMono8AA4},
    {"6x8", &GUI_FontMono8AA4},
    {"6x9", &GUI_FontMono8AA4},
    {"8x8", &GUI_FontMono8AA4},
    {"8x9", &GUI_FontMono8AA4},
    {"8x10", &GUI_FontMono10AA4},
    {"8x12", &GUI_FontMono12AA4},
    {"8x13", &GUI_FontMono12AA4},
    {"8x15B", &GUI_FontMono14AA4},
    {"8x16", &GUI_FontMono16AA4},
    {"8x16L", &GUI_FontMono16AA4},
    {"12x24", &GUI_FontMono24AA4},
    {"14x24", &GUI_FontMono24AA4},
    {"16x32", &GUI_FontMono32AA4},
    {"16x32i", &GUI_FontMono32AA4},
    {"24x48", &GUI_FontMono48},
    {"32x64", &GUI_FontMono64},
    {"40x80", &GUI_FontMono64},
    {"60x120", &GUI_FontMono64},
    {0, 0},
};

const FontTableEntry* current_font;

// Is entry one of the table's own pairs (a compiled-in font)?
static int is_compiled_in(const FontTableEntry* entry)
{
    return entry >= fontTable && entry < fontTable + sizeof fontTable / sizeof fontTable[0] - 1;
}

// The SIF fonts of the memory image join the lookup with the image's font
// records; until then no image font is found or selected.
static const FontTableEntry* find_image_font(const char*)
{
    return 0;
}

static int set_image_font(const FontTableEntry*, GUI_FontRecord*)
{
    return 0;
}

const char* KM_ImageFontName(int)
{
    return 0;
}

const FontTableEntry* KM_FindFont(const char* name)
{
    if (!name)
        return 0;
    for (const FontTableEntry* e = fontTable; e->name; ++e)
        if (strcmp(e->name, name) == 0)
            return e;
    return find_image_font(name);
}

int KM_SetFont(const FontTableEntry* entry, GUI_FontRecord* record)
{
    if (!entry || !entry->font)
        return 0;
    if (!is_compiled_in(entry))
        return set_image_font(entry, record);
    GUI_SetFont((const GUI_FontRecord*)entry->font);
    return 1;
}

const char* KM_FontName(void)
{
    static int next;
    const char* name = fontTable[next].name;
    next = name ? next + 1 : 0;
    return name;
}

const FontTableEntry* KM_GetFontPtr(void)
{
    return current_font;
}

const char* KM_GetCurrentFontName(void)
{
    return current_font ? current_font->name : 0;
}

// A text whose first character is ESC is UTF-8 for this one call, whatever
// encoding is selected; anything else is drawn in the selected encoding.
const char* beginHostText(const char* text, const GUI_EncodingAPIList** saved)
{
    *saved = GUI_Context.pUC;
    if (text && text[0] == KM_TEXT_UTF8_MARK) {
        GUI_UC_SetEncodeUTF8();
        return text + 1;
    }
    return text;
}

void endHostText(const GUI_EncodingAPIList* saved)
{
    GUI_Context.pUC = saved;
}

int KM_GetStringDistX(const char* text)
{
    const GUI_EncodingAPIList* saved;
    const int w = GUI_GetStringDistX(beginHostText(text, &saved));
    endHostText(saved);
    return w;
}

void KM_DispStringAt(const char* text, int x, int y)
{
    const GUI_EncodingAPIList* saved;
    const char* s = beginHostText(text, &saved);
    // The host's alignment holds for every text it writes, not only for the
    // next one as in the graphics library.
    const int16_t align = GUI_GetTextAlign();
    const int w = GUI_GetStringDistX(s);
    GUI_DispStringAt(s, x, y);
    GUI_SetTextAlign(align);
    endHostText(saved);
    if ((align & GUI_TA_HORIZONTAL) == GUI_TA_RIGHT)
        GUI_GotoXY(x - w, y);
}

void KM_DispStringCenter(const char* text, int x0, int y0, int x1, int y1)
{
    const GUI_EncodingAPIList* saved;
    const char* s = beginHostText(text, &saved);
    const GUI_Area r = {(int16_t)x0, (int16_t)y0, (int16_t)x1, (int16_t)y1};
    GUI_DispStringInRect(s, &r, GUI_TA_HCENTER | GUI_TA_VCENTER);
    endHostText(saved);
}
