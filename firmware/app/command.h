// Drawing origin, the drawing-state stack and the helpers that command
// handlers share: text-mode names, colour parsers and the colour map, and
// the string routines for comments, blanks, tokens and escaped text.
#pragma once

#include <stdint.h>

// Added by drawing, text, touch and object commands to the coordinates the
// host sends.
extern int32_t Origin_X;
extern int32_t Origin_Y;

// One saved drawing state.
struct DrawingState {
    uint32_t bkColor;  // 0x00BBGGRR
    uint32_t color;    // 0x00BBGGRR
    uint8_t penSize;
    uint8_t lineStyle;
    uint8_t drawMode;
    int32_t textAlign;
    int32_t originX;
    int32_t originY;
    int32_t cursorX;  // absolute screen position
    int32_t cursorY;
    const char* textModeName;  // one of the constant names "N", "X", "T", "TR", "R"
    int32_t textMode;
    const char* fontName;  // as the font table names it; none when no font was selected
};

// One record per macro nesting depth; record 0 for lines from the host,
// filled at the end of start-up.
#define GDI_STATES 5
extern DrawingState GDIState[GDI_STATES];
// The host's drawing state while animation scripts run.
extern DrawingState AniGDI;

void SaveState(DrawingState* s);
void RestoreState(const DrawingState* s);

// "ss" and "sr": the record of the current macro depth.
int cmdStateSave(void);
int cmdStateRestore(void);

// Text modes by name: "N" 0, "X" 1, "T" 2, "R" 4, "TR" 6.
extern uint8_t lastTextMode;
extern const char* curTextMode;
// Compares the leading characters of name; 1 and the mode set, or 0 and
// nothing changed.
int setTextMode(const char* name);
int getTextMode(void);

// The graphics core keeps coordinates in 16 bits and walks lines and
// shapes pixel by pixel; far-off values would wrap round or keep the
// controller busy for minutes, so the host gets this much room off the
// screen and no more, for drawing and for text alike.
#define COORD_LIMIT 16383
int coordInRange(long long v);
// Adds the origin to pairs x, y pairs in place; 0 when one lands out of
// range (the values are then partly placed).
int placeAtOrigin(int* xy, int pairs);
// The same for one point given as x and y.
int pointAtOrigin(int* x, int* y);
// Adds the origin to x, y pairs in place for objects that must lie on the
// screen and say so when they do not: a value beyond the room is held just
// past its edge, off every screen, so that the object's own check refuses
// it with its own reply and nothing wraps round on the way.
void placeHeldAtOrigin(int* xy, int pairs);

// The origin, the text position and the left text border together.
void setOrigin(int x, int y);
// The text position and the left border at (x, y) relative to the origin.
void setCursor(int x, int y);

// Colours by number for "s" (0x00BBGGRR).
#define COLOR_MAP_SIZE 20
extern const uint32_t color_map[COLOR_MAP_SIZE];
// Non-zero: rotated polygons and needle meters turn by 360 - a.
extern uint8_t angleSense;

// One hexadecimal digit (0 for anything else); toHex converts in place.
int atoh(char c);
void toHex(char* p);
// Two characters as one byte, without checking that they are digits.
uint8_t shtoU8(const char* p);
// "RGB" or "RRGGBB" after blanks: 0xRRGGBB, or -1 for any other length.
int32_t atoRGB(const char* text);
// atoRGB in the library's order 0x00BBGGRR; a refused text gives white.
uint32_t atoBGR(const char* text);
// 1 and the colour (0x00BBGGRR) when text, after blanks, is exactly 3 or 6
// hexadecimal digits; 0 otherwise.  Commands that must refuse a colour they
// cannot read ask this instead of atoBGR.
int readColorWord(const char* text, uint32_t* color);

// 1 when (x0, y0)..(x1, y1) lies on the screen with x0 <= x1 and y0 <= y1;
// otherwise the host is told and 0 is returned.
int areaIsOnScreen(int x0, int y0, int x1, int y1);
// Corners given in either order become top-left and bottom-right.
void orderCorners(int* x0, int* y0, int* x1, int* y1);

char* skipLeadingWhitespace(char* s);
int killTrailingComment(char* s);
// Splits s at the first delimiter after any leading ones; rest points past
// the run of delimiters (at the end when there is none).  Null or empty s:
// null, rest null.
char* strtokr(char* s, char delimiter, char** rest);
// Decodes, in place from s onwards, the text between the first delimiter
// and the next unescaped one (or the end); rest points past the closing
// delimiter (or at the end), length gets the bytes written.  No delimiter:
// null, rest null.  Escapes: \n \r \0 \xHH, a backslash before anything
// else gives that character.
char* escstrl(char* s, char delimiter, char** rest, int* length);
char* escstr(char* s, char delimiter, char** rest);
