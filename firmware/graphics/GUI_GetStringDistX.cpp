#include "graphics/GUI.h"

// Measuring text in the current font.

static const GUI_FontRecord* font(void)
{
    return GUI_Context.pFont;
}

int GUI_GetCharDistX(uint16_t c)
{
    return font() ? font()->pfGetCharDistX(c) : 0;
}

int GUI_GetFontDistY(void)
{
    return font() ? font()->YDist * font()->YMag : 0;
}

int GUI_GetFontSizeY(void)
{
    return font() ? font()->YSize * font()->YMag : 0;
}

int GUI__GetNumChars(const char* s)
{
    int n = 0;
    if (!s)
        return 0;
    while (*s) {
        s += GUI_UC_GetCharSize(s);
        ++n;
    }
    return n;
}

int GUI__GetLineNumChars(const char* s, int maxChars)
{
    if (!s)
        return 0;
    if (font() && font()->pLineAPI && font()->pLineAPI->pfGetLineLen)
        return font()->pLineAPI->pfGetLineLen(s, maxChars);
    int n = 0;
    for (; n < maxChars && *s && *s != '\n'; ++n)
        s += GUI_UC_GetCharSize(s);
    return n;
}

// Only glyphs with a box of their own (GetCharInfo) can reach past their
// advance; the overhang counts so that right-aligned text keeps the whole
// last glyph inside its rectangle.
int GUI__GetOverlap(uint16_t c)
{
    GUI_CharInfo info;
    if (!font() || !font()->pfGetCharInfo || font()->pfGetCharInfo(c, &info) != 0)
        return 0;
    const int right = info.XPos + info.XSize;
    return right > info.XDist ? right - info.XDist : 0;
}

int GUI__GetLineDistX(const char* s, int numChars)
{
    if (!s || !font())
        return 0;
    if (font()->pLineAPI && font()->pLineAPI->pfGetLineDistX)
        return font()->pLineAPI->pfGetLineDistX(s, numChars);
    int w = 0;
    uint16_t last = 0;
    for (; numChars > 0 && *s; --numChars) {
        last = GUI_UC__GetCharCodeInc(&s);
        w += font()->pfGetCharDistX(last);
    }
    return w + GUI__GetOverlap(last);
}

int GUI_GetStringDistX(const char* s)
{
    return GUI__GetLineDistX(s, GUI__GetNumChars(s));
}
