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

// The host commands "std", "stc", "sta", "stp": CMD_OK / CMD_FAIL, or -1
// when the line is none of them.
int cmdScrollTB(char* cmd);
