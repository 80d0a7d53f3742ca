// The font table: font names the host uses, mapped to the compiled-in fonts
// and to the SIF fonts of the memory image.
#pragma once

#include "graphics/GUI.h"

// A name and its font; an image's font record starts with the same pair
// (alias address, SIF data address).
struct FontTableEntry {
    const char* name;
    const void* font;
};

extern const FontTableEntry* current_font;

const FontTableEntry* KM_FindFont(const char* name);
int KM_SetFont(const FontTableEntry* entry, GUI_FontRecord* record);
const char* KM_FontName(void);
const FontTableEntry* KM_GetFontPtr(void);
const char* KM_GetCurrentFontName(void);
