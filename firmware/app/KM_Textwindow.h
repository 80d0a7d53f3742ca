// Text windows: two panels that store up to 200 lines of up to 120
// characters and show a rectangular view into them, moved by lines and
// columns, by position or by percentage.
#pragma once

#include <stdint.h>

#include "app/command.h"

#define TW_WINDOWS 2
#define TW_LINES 200
#define TW_CHARS 120

struct Textwindow {
    int32_t defined;  // 0 free, 1 defined
    int32_t x0, y0, x1, y1;  // text area, absolute, inclusive
    int32_t fHt;
    int32_t fWd;
    int32_t maxDispLines;
    int32_t maxDispChars;
    int32_t anchorLine;  // stored line in the top row, from 0
    int32_t anchorChar;  // first column shown, from 0
    int32_t follow;  // 1: new lines scroll in at the bottom
    int32_t shownRows;
    int32_t displayDirty;
    int32_t numBufLines;
    char lines[TW_LINES][TW_CHARS + 1];
    DrawingState state;
};

extern Textwindow twTextwindow[TW_WINDOWS];
extern DrawingState twTempState;

void TW_InitTextwindow_Resources(void);
int TW_DefineTextwindow(int n, int x0, int y0, int x1, int y1);
int TW_QueryTextwindow(int n, int* lines, int* chars, int* maxLines, int* maxChars);
int TW_QueryPos(int n, int* vertical, int* horizontal);
int TW_ClearTextwindow(int n);
int TW_LoadTextwindow(int n, const char* text);
int TW_DisplayFromLineChar(int n, int line, int column);
int TW_DisplayPercent(int n, int linePercent, int columnPercent);
int TW_RedrawTextwindow(int n);
int TW_MoveDisplay(int n, char direction, int count);
int TW_Dump(int n);

// The host commands "twd" ... "twgp" and "tw": CMD_OK / CMD_FAIL, or -1
// when the line is none of them.
int cmdTextwindow(char* cmd);
