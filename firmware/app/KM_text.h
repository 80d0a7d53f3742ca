// The text commands: text at positions, in rectangles, wrapped and turned;
// unquoted text; text width; alignment; text mode; fonts; the character
// encoding; and a few switches of the same family.
#pragma once

#include <stdint.h>

// Touch diagnostics level set by "*debug" (2: pressure display), read by
// the touch handling.
extern int debug_touch;

// "t ", "ts": the whole line; every form of the text command.
int cmdText(char* cmd);
// "T ": the position and mode forms only.
int cmdTextAt(char* cmd);
// "tu ": the rest of the line as it stands.
int cmdTextUnquoted(const char* cmd);
// "t? ": the width of the quoted text.
int cmdTextWidth(char* cmd);
// "ta": two alignment characters, or the query.
int cmdTextAlign(const char* cmd);
// Sets the text alignment as the host sets it ("ta XY", a restored drawing
// state): the alignment "ta" reports from then on.  Unquoted text ("tu")
// clears the graphics core's horizontal alignment after it draws; "ta" goes
// on reporting what the host set.
void setHostTextAlign(int16_t align);
// "tm": a text-mode name.
int cmdTextMode(const char* cmd);
// "f", "f?", "f name".
int cmdFontName(void);
int cmdFontList(void);
int cmdFontSelect(const char* name);
// "utf8 on|off".
int cmdUtf8(const char* cmd);
// "*BMOFF".
int cmdBinaryLeadOff(void);
// "*debug n".
int cmdDebug(int level);
