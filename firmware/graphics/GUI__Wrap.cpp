#include "graphics/GUI.h"

// Line breaking for text wrapped into a width.  An LF always ends a line.
// Word mode ends a line before the blanks after the last word that fits
// and skips those blanks (and an LF right behind them, which the break has
// already served); a word wider than the width is cut where it no longer
// fits.  Character mode ends a line after the last character that fits.
// Either way a line takes at least one character, so wrapping always gets
// to the end of the text.

struct WrapBreak {
    int numDisp;  // characters drawn on the line
    int numNext;  // characters from the line's start to the next line's
};

static bool at_line_end(uint16_t c)
{
    return c == 0 || c == '\n';
}

static int skip_blanks(const char* s, int i)
{
    const char* p = s + GUI_UC__NumChars2NumBytes(s, i);
    while (*p == ' ') {
        ++p;
        ++i;
    }
    if (*p == '\n')
        ++i;
    return i;
}

static WrapBreak find_break(const char* s, int xSize, int mode)
{
    int w = 0, i = 0;
    int wordEnd = -1;    // characters before the last run of blanks
    int wordStart = -1;  // characters before the word after that run
    bool prevBlank = false;
    const char* p = s;
    uint16_t c;
    for (;; ++i) {
        c = GUI_UC_GetCharCode(p);
        if (at_line_end(c))
            return {i, i + (c == '\n')};
        const int cw = GUI_GetCharDistX(c);
        if (mode != GUI_WRAPMODE_NONE && w + cw > xSize)
            break;
        if (c == ' ' && !prevBlank)
            wordEnd = i;
        if (c != ' ' && prevBlank)
            wordStart = i;
        prevBlank = c == ' ';
        w += cw;
        p += GUI_UC_GetCharSize(p);
    }
    if (mode == GUI_WRAPMODE_WORD) {
        if (c == ' ') {
            const int disp = prevBlank ? wordEnd : i;
            return {disp, skip_blanks(s, i)};
        }
        if (prevBlank)
            wordStart = i;  // the word that does not fit starts right here
        if (wordStart > 0)
            return {wordEnd, wordStart};
    }
    const int disp = i > 0 ? i : 1;
    return {disp, disp};
}

int GUI__WrapGetNumCharsDisp(const char* s, int xSize, int wrapMode)
{
    return s ? find_break(s, xSize, wrapMode).numDisp : 0;
}

int GUI__WrapGetNumCharsToNextLine(const char* s, int xSize, int wrapMode)
{
    return s ? find_break(s, xSize, wrapMode).numNext : 0;
}

int GUI__WrapGetNumBytesToNextLine(const char* s, int xSize, int wrapMode)
{
    return s ? GUI_UC__NumChars2NumBytes(s, GUI__WrapGetNumCharsToNextLine(s, xSize, wrapMode)) : 0;
}
