// The font table: font names the host uses, mapped to the compiled-in fonts
// and to the SIF fonts of the memory image; and the text output of the
// host's commands, which may mark a text as UTF-8.
#pragma once

#include "graphics/GUI.h"

// A name and its font.  For a SIF font of the memory image the name is the
// record's alias and the font the record itself.
struct FontTableEntry {
    const char* name;
    const void* font;
};

// The entry last selected.
extern const FontTableEntry* current_font;

// The first entry of that name, or none.  The entry of an image font stays
// good until the second lookup after it that finds another image font: an
// entry kept for longer is kept by its name.
const FontTableEntry* KM_FindFont(const char* name);
// Selects the entry's font (a SIF font is built into record); 1 or 0.
int KM_SetFont(const FontTableEntry* entry, GUI_FontRecord* record);
// The table's names one per call, in table order; none after the last,
// and the next call starts again at the first.
const char* KM_FontName(void);
// Names of the memory image's SIF fonts by position; none past the last.
const char* KM_ImageFontName(int index);
const FontTableEntry* KM_GetFontPtr(void);
const char* KM_GetCurrentFontName(void);

// A host text that starts with this character is UTF-8 for that text.
#define KM_TEXT_UTF8_MARK '\x1B'

// The text to draw of a host text, with its encoding selected; the
// previous encoding goes to *saved for endHostText.
const char* beginHostText(const char* text, const GUI_EncodingAPIList** saved);
void endHostText(const GUI_EncodingAPIList* saved);
// Width of a host text in the current font.
int KM_GetStringDistX(const char* text);
// Draws at (x, y); the alignment stays as it was.  Right-aligned text
// leaves the cursor at its left end.
void KM_DispStringAt(const char* text, int x, int y);
// Draws centred both ways in the rectangle.
void KM_DispStringCenter(const char* text, int x0, int y0, int x1, int y1);
