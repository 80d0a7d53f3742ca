// SIF fonts: font data stored in the memory image ("GUIP" data), used in
// place.  GUI_SIF_CreateFont fills a caller-owned font record whose data
// pointer points into the stored data; every glyph lookup walks the data.
#pragma once

#include "graphics/GUI.h"

// The six function slots of a font record, one list per kind of SIF font.
struct GUI_FontAPIList {
    void (*pfDispChar)(uint16_t code);
    int (*pfGetCharDistX)(uint16_t code);
    void (*pfGetFontInfo)(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo);
    char (*pfIsInFont)(const GUI_FontRecord* pFont, uint16_t code);
    int (*pfGetCharInfo)(uint16_t code, GUI_CharInfo* pInfo);
    const GUI_FontLineAPIList* pLineAPI;
};

extern const GUI_FontAPIList GUI_SIF_APIList_Prop;      // 1 bpp, 12-byte char infos
extern const GUI_FontAPIList GUI_SIF_APIList_Prop_Ext;  // 1-bpp boxes, 16-byte char infos, line list
extern const GUI_FontAPIList GUI_SIF_APIList_Prop_AA2;  // 2 bpp, 12-byte char infos
extern const GUI_FontAPIList GUI_SIF_APIList_Prop_AA4;  // 4 bpp, 12-byte char infos
extern const GUI_FontAPIList GUI_SIF_APIList_Prop_Frm;  // framed 1-bpp boxes, 16-byte char infos

#define GUI_SIF_MAGIC 0x50495547u  // "GUIP"
#define GUI_SIF_HEADER_SIZE 16
#define GUI_SIF_CHARINFO_SIZE 12
#define GUI_SIF_CHARINFO_SIZE_EXT 16

// pFont's data pointer becomes pFontData; with the right magic the record
// is filled from the header and pKind and becomes the current font.
void GUI_SIF_CreateFont(const void* pFontData, GUI_FontRecord* pFont, const GUI_FontAPIList* pKind);
// The data is not owned: nothing to do.
void GUI_SIF_DeleteFont(GUI_FontRecord* pFont);

// 1 when length bytes at pFontData are SIF data of the kind that every
// lookup and drawing of it stays inside: magic, areas, char infos and
// pixel rows all within length.  Stored data is checked with it before use.
int GUI_SIF_CheckFont(const void* pFontData, uint32_t length, const GUI_FontAPIList* pKind);

int GUI_SIF__GetNumCharAreas(const GUI_FontRecord* pFont);
// The char info of code, or NULL when code lies in no area.
const uint8_t* GUI_SIF__GetpCharInfo(const GUI_FontRecord* pFont, uint16_t code, int recordSize);

// 12-byte char infos.
char GUI_SIF__IsInFont(const GUI_FontRecord* pFont, uint16_t code);
int GUI_SIF__GetCharDistX(uint16_t code);
void GUI_SIF__GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo);
// 16-byte char infos.
char GUI_SIF__IsInFont_ExtFrm(const GUI_FontRecord* pFont, uint16_t code);
int GUI_SIF__GetCharDistX_ExtFrm(uint16_t code);
void GUI_SIF__GetFontInfo_ExtFrm(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo);
int GUI_SIF__GetCharInfo_ExtFrm(uint16_t code, GUI_CharInfo* pInfo);
