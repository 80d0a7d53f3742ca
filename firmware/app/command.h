// Drawing origin, the drawing-state stack and the helpers that command
// handlers share.
#pragma once

#include <stdint.h>

// Added by drawing, text, touch and object commands to the coordinates the
// host sends.
extern int32_t Origin_X;
extern int32_t Origin_Y;

struct FontTableEntry;

// One saved drawing state.
struct DrawingState {
    uint32_t bkColor;
    uint32_t color;
    uint8_t penSize;
    uint8_t lineStyle;
    uint8_t drawMode;
    int32_t textAlign;
    int32_t originX;
    int32_t originY;
    int32_t cursorX;
    int32_t cursorY;
    const char* textModeName;
    int32_t textMode;
    const FontTableEntry* font;
};

// One record per macro nesting depth; record 0 for lines from the host.
#define GDI_STATES 5
extern DrawingState GDIState[GDI_STATES];

void SaveState(DrawingState* s);
void RestoreState(const DrawingState* s);

char* skipLeadingWhitespace(char* s);
int killTrailingComment(char* s);
