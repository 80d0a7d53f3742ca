// Scroll text boxes: ten panels that keep no text; each line is drawn below
// the last (or above the first) and a full box scrolls its pixels by one
// line height.
#pragma once

#include <stdint.h>

#include "app/command.h"

#define STB_BOXES 10
#define STB_BUFFERS 2
#define STB_BUF_LINES 200
#define STB_BUF_CHARS 81

struct ScrollTB {
    int32_t type;  // -1 free, 0 defined
    int32_t x0, y0, x1, y1;  // text area, absolute, inclusive
    int32_t dispLines;
    int32_t dispChars;
    int32_t fHt;
    int32_t fWd;
    int32_t numLines;
    DrawingState state;
};

struct ScrollTBBuffer {
    int32_t type;
    int32_t curLine;
    int32_t curChar;
    int32_t bufTopLine;
    int32_t numBufLines;
    int32_t spare;
    char lines[STB_BUF_LINES][STB_BUF_CHARS];
};

extern ScrollTB stbCommon[STB_BOXES];
extern ScrollTBBuffer stbBuffer[STB_BUFFERS];
extern DrawingState stbTempState;

void STB_InitScrollTB_Resources(void);
int STB_DefineScrollTB(int n, int type, int x0, int y0, int x1, int y1);
int STB_QueryScrollTB(int n, int* lines, int* chars, int* a, int* b);
int STB_ClearScrollTB(int n);
int STB_AppendScrollTB(int n, const char* text);
int STB_PrependScrollTB(int n, const char* text);
int STB_DisplayFromLineChar(int n, int line, int column);
int STB_ScrollDisplay(int n, int lines);
int STB_QueryPos(int n);
int STB_Dump(int n);

// scroll() on absolute screen coordinates, cut to the panel.
void stbScrollArea(int x0, int y0, int x1, int y1, int n, const char* dir);

// What scroll text boxes and text windows share.

// The cells of a text panel: as many whole cells of the current font as
// fit into the rectangle the host gave, centred in it.
struct StbGrid {
    int x0, y0, x1, y1;  // the host's rectangle, absolute
    int cx0, cy0, cx1, cy1;  // the cells, absolute, inclusive
    int rows, cols;
    int fHt, fWd;
};

enum { STB_GRID_REFUSED = 0, STB_GRID_OK = 1, STB_GRID_PROPORTIONAL = 2 };

// Lays the grid of the current font into (x0,y0)-(x1,y1), relative to the
// drawing origin: the font must be monospaced (its space as wide as its
// 'W'), the rectangle must lie in the coordinates' room once the origin is
// added (COORD_LIMIT), and more than one row and 1 to maxCols columns must
// fit. On
// success the current drawing state goes into *state with pen size 1,
// normal draw mode, left alignment and normal text mode; on refusal
// nothing changes.
int stbLayGrid(int x0, int y0, int x1, int y1, int maxCols, DrawingState* state, StbGrid* g);

// Draws text in row `row` of a grid whose cells span y0.. (fHt high each),
// from x0 to x1.
void stbDrawRow(int x0, int x1, int y0, int fHt, int row, const char* text, int align);

// Moves the area by n pixels towards dir; an area of at most one row or
// column (count) is cleared instead.
void stbShiftArea(int x0, int y0, int x1, int y1, int count, int n, const char* dir);

// Draws in the panel's own state (own), keeping the caller's in *saved;
// stbLeave brings it back.
void stbEnter(DrawingState* saved, const DrawingState* own);
void stbLeave(const DrawingState* saved);

// The quoted text after a panel number, escapes decoded in place; null when
// the quotes are missing. An embedded NUL ends the text.
char* stbQuotedText(char* cmd);

// The host commands "std", "stc", "sta", "stp": CMD_OK / CMD_FAIL, or -1
// when the line is none of them.
int cmdScrollTB(char* cmd);
