// Drawing origin, the drawing-state stack and the helpers that command
// handlers share.
#pragma once

#include <stdint.h>

// Added by drawing, text, touch and object commands to the coordinates the
// host sends.
extern int32_t Origin_X;
extern int32_t Origin_Y;

char* skipLeadingWhitespace(char* s);
int killTrailingComment(char* s);
