#include "graphics/GUI.h"

// Text at the cursor: characters, lines and strings with alignment.

void (*GUI_pfDispCharStyle)(uint16_t c);

static void disp_char(uint16_t c)
{
    GUI_Context.pFont->pfDispChar(c);
    if (GUI_pfDispCharStyle)
        GUI_pfDispCharStyle(c);
}

void GL_DispChar(uint16_t c)
{
    if (c == '\n') {
        GUI_DispNextLine();
        return;
    }
    if (c == '\r' || !GUI_Context.pFont)
        return;
    disp_char(c);
}

void GUI_DispChar(uint16_t c)
{
    GL_DispChar(c);
}

void GUI_DispCharAt(uint16_t c, int x, int y)
{
    GUI_GotoXY(x, y);
    GL_DispChar(c);
}

void GUI_DispNextLine(void)
{
    GUI_Context.DispPosX = GUI_Context.LBorder;
    GUI_Context.DispPosY = (int16_t)(GUI_Context.DispPosY + GUI_GetFontDistY());
}

void GUI__DispLine(const char* s, int numChars, const GUI_Area* pRect)
{
    const GUI_FontRecord* f = GUI_Context.pFont;
    if (!f)
        return;
    // While text is turned the line's rectangle is one of the text layout,
    // not of the screen; the turned drawers clip every pixel themselves.
    if (GUI_Context.pClipRect && !GUI_pLCD_APIList && !GUI_RectsIntersect(pRect, GUI_Context.pClipRect))
        return;
    if (f->pLineAPI && f->pLineAPI->pfDispLine) {
        f->pLineAPI->pfDispLine(s, numChars, pRect);
        return;
    }
    for (; numChars > 0; --numChars)
        disp_char(GUI_UC__GetCharCodeInc(&s));
}

int GUI__HandleEOLine(const char** ps)
{
    if (**ps == 0)
        return 1;
    if (**ps == '\n')
        ++*ps;
    return 0;
}

// Characters of the line at s: up to an LF or NUL, and here also up to a
// CR, after which the same line starts over from the starting x.
static int line_chars(const char* s)
{
    const int n = GUI__GetLineNumChars(s, 0x7FFF);
    int i = 0;
    for (const char* p = s; i < n && *p != '\r'; ++i)
        p += GUI_UC_GetCharSize(p);
    return i;
}

void GUI_DispString(const char* s)
{
    const GUI_FontRecord* f = GUI_Context.pFont;
    if (!s || !f)
        return;
    const int align = GUI_Context.TextAlign;
    const int yDist = GUI_GetFontDistY();
    int yAdj = 0;
    switch (align & GUI_TA_VERTICAL) {
    case GUI_TA_BOTTOM: yAdj = GUI_GetFontSizeY() - 1; break;
    case GUI_TA_BASELINE:
    case GUI_TA_VCENTER: yAdj = GUI_GetFontSizeY() / 2; break;
    }
    GUI_Context.DispPosY = (int16_t)(GUI_Context.DispPosY - yAdj);
    const int xStart = GUI_Context.DispPosX;
    const int horizontal = align & GUI_TA_HORIZONTAL;
    for (;;) {
        const int n = line_chars(s);
        const int w = GUI__GetLineDistX(s, n);
        const int offset = horizontal == GUI_TA_RIGHT ? w : horizontal == GUI_TA_HCENTER ? w / 2 : 0;
        GUI_Context.DispPosX = (int16_t)(GUI_Context.DispPosX - offset);
        const GUI_Area r = {GUI_Context.DispPosX, GUI_Context.DispPosY, (int16_t)(GUI_Context.DispPosX + w - 1),
                            (int16_t)(GUI_Context.DispPosY + yDist - 1)};
        GUI__DispLine(s, n, &r);
        GUI_Context.DispPosX = (int16_t)(r.x0 + w);
        s += GUI_UC__NumChars2NumBytes(s, n);
        if (*s != '\n' && *s != '\r')
            break;
        const bool aligned = horizontal == GUI_TA_RIGHT || horizontal == GUI_TA_HCENTER;
        GUI_Context.DispPosX = (int16_t)(aligned ? xStart : GUI_Context.LBorder);
        if (*s == '\n')
            GUI_Context.DispPosY = (int16_t)(GUI_Context.DispPosY + yDist);
        ++s;
    }
    GUI_Context.DispPosY = (int16_t)(GUI_Context.DispPosY + yAdj);
    // Alignment holds for one string only.
    GUI_Context.TextAlign = (int16_t)(align & ~GUI_TA_HORIZONTAL);
}

void GUI_DispStringAt(const char* s, int x, int y)
{
    GUI_GotoXY(x, y);
    GUI_DispString(s);
}
