#include "app/KM_fonts.h"

#include <stdint.h>
#include <string.h>

#include "app/KM_reply.h"
#include "graphics/GUI_SIF.h"
#include "storage/KM_extmem.h"

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

// ---- the SIF fonts of the memory image

// The live image when it is one for this controller and has entries.
static const ExtMemHeader* image_header(void)
{
    const ExtMemHeader* h = ExtMemValidHeader();
    return h && h->count >= 1 ? h : 0;
}

// The font record of directory entry n (type's low four bits 4) when the
// record lies inside the image and its alias is NUL-terminated; else none.
static const ExtFontRecord* font_record(const ExtMemHeader* h, int n)
{
    const ExtMemDirEntry* e = ExtMemEntry(n);
    if (!e || (uint64_t)ExtMemDirEntryOffset((uint32_t)n + 1) > h->size || (e->type & 0x0F) != EXTMEM_FONT)
        return 0;
    const ExtFontRecord* r = (const ExtFontRecord*)ExtMemObject(e->address, sizeof(ExtFontRecord), 4);
    if (!r || !memchr(r->alias, 0, sizeof r->alias))
        return 0;
    return r;
}

// The drawing kind a record's kind byte names, or none.
static const GUI_FontAPIList* kind_list(uint8_t kind)
{
    switch (kind) {
    case EXTFONT_PROP:
    case 0xFF:
        return &GUI_SIF_APIList_Prop;
    case EXTFONT_PROP_EXT:
        return &GUI_SIF_APIList_Prop_Ext;
    case EXTFONT_AA2:
        return &GUI_SIF_APIList_Prop_AA2;
    case EXTFONT_AA4:
        return &GUI_SIF_APIList_Prop_AA4;
    case EXTFONT_FRAMED:
        return &GUI_SIF_APIList_Prop_Frm;
    default:
        return 0;
    }
}

// The SIF data of a record (right after it), checked to lie inside the image and to be
// data of the record's kind that every glyph lookup stays inside; none
// when corrupt.  An unknown kind is left for KM_SetFont to refuse.
static const uint8_t* font_data(const ExtFontRecord* r, int* unknownKind)
{
    *unknownKind = 0;
    const uint8_t* d = ExtMemObject(hw_addr(r + 1), r->length, 1);
    if (!d)
        return 0;
    const GUI_FontAPIList* kind = kind_list(r->kind);
    if (!kind) {
        *unknownKind = 1;
        return d;
    }
    return GUI_SIF_CheckFont(d, r->length, kind) ? d : 0;
}

// The entries of image fonts: a lookup fills the one that is not the
// current font's, so that a font that then cannot be selected leaves the
// current one named as it was.
static FontTableEntry imageFonts[2];

static const FontTableEntry* find_image_font(const char* name)
{
    const ExtMemHeader* h = image_header();
    if (!h)
        return 0;
    for (int n = 0; n < h->count; ++n) {
        const ExtFontRecord* r = font_record(h, n);
        if (!r || strcmp(r->alias, name) != 0)
            continue;
        int unknownKind;
        // The record's first two words must hold the addresses of its alias
        // and its data, as the builder writes them.
        if (!font_data(r, &unknownKind) || r->pAlias != hw_addr(r->alias) || r->pData != hw_addr(r + 1))
            return 0;
        FontTableEntry* e = &imageFonts[current_font == &imageFonts[0] ? 1 : 0];
        e->name = r->alias;
        e->font = r;
        return e;
    }
    return 0;
}

static int set_image_font(const FontTableEntry* entry, GUI_FontRecord* record)
{
    if (!image_header())
        return 0;
    const ExtFontRecord* r = (const ExtFontRecord*)entry->font;
    int unknownKind;
    const uint8_t* d = font_data(r, &unknownKind);
    if (!d || !record)
        return 0;
    const GUI_FontAPIList* kind = kind_list(r->kind);
    if (!kind) {
        txString(":Unsupported SIF font type\r");  // the line ends as every message does
        return 0;
    }
    GUI_SIF_CreateFont(d, record, kind);
    return 1;
}

const char* KM_ImageFontName(int index)
{
    const ExtMemHeader* h = image_header();
    if (!h || index < 0)
        return 0;
    for (int n = 0; n < h->count; ++n) {
        const ExtFontRecord* r = font_record(h, n);
        if (r && index-- == 0)
            return r->alias;
    }
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
