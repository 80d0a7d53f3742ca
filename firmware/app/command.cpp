#include "app/command.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "app/KM_fonts.h"
#include "app/KM_macros.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/KM_text.h"
#include "app/Main.h"
#include "app/parse_command.h"
#include "board/lcd_driver.h"
#include "graphics/GUI.h"

int32_t Origin_X;
int32_t Origin_Y;
DrawingState GDIState[GDI_STATES];
DrawingState AniGDI;
uint8_t lastTextMode;
const char* curTextMode = "N";
uint8_t angleSense = 1;

const uint32_t color_map[COLOR_MAP_SIZE] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0xFFFF00,  // black, white, blue, green, cyan
    0x0000FF, 0xFF00FF, 0x2A2AA5, 0x404040, 0x808080,  // red, magenta, brown, dark grey, grey
    0xD3D3D3, 0xFF8080, 0x80FF80, 0xFFFF80, 0x8080FF,  // light grey, light blue, light green, light cyan, light red
    0xFF80FF, 0x00FFFF, 0x0000FF, 0x00FF00, 0xFF0000,  // light magenta, yellow, red, green, blue
};

// ---------------------------------------------------------------- drawing state

void SaveState(DrawingState* s)
{
    s->bkColor = GUI_GetBkColor();
    s->color = GUI_GetColor();
    s->penSize = GUI_GetPenSize();
    s->lineStyle = GUI_GetLineStyle();
    s->drawMode = (uint8_t)GUI_GetDrawMode();
    s->textAlign = GUI_GetTextAlign();
    s->originX = Origin_X;
    s->originY = Origin_Y;
    s->cursorX = GUI_GetDispPosX();
    s->cursorY = GUI_GetDispPosY();
    s->textModeName = curTextMode;
    s->textMode = GUI_GetTextMode();
    s->fontName = current_font ? current_font->name : 0;
}

void RestoreState(const DrawingState* s)
{
    GUI_SetBkColor(s->bkColor);
    GUI_SetColor(s->color);
    GUI_SetPenSize(s->penSize);
    GUI_SetLineStyle(s->lineStyle);
    GUI_SetDrawMode(s->drawMode);
    setHostTextAlign((int16_t)s->textAlign);
    Origin_X = s->originX;
    Origin_Y = s->originY;
    GUI_GotoX(s->cursorX);
    GUI_GotoY(s->cursorY);
    // The font goes back into the command font, which is selected by name.
    if (s->fontName)
        GUIDEMO_SetFont(s->fontName);
    GUI_SetTextMode((int16_t)s->textMode);
    if (s->textModeName)
        curTextMode = s->textModeName;
}

// The record of the current macro depth, or 0.
static DrawingState* depthRecord(void)
{
    if (macroDepth < 0 || macroDepth >= GDI_STATES)
        return 0;
    return &GDIState[macroDepth];
}

int cmdStateSave(void)
{
    DrawingState* s = depthRecord();
    if (!s)
        return CMD_FAIL;
    SaveState(s);
    return CMD_OK;
}

int cmdStateRestore(void)
{
    DrawingState* s = depthRecord();
    if (!s)
        return CMD_FAIL;
    // Every saved record names its text mode; a zeroed one was never saved
    // and would leave black on black with no font.
    if (!s->textModeName)
        return CMD_FAIL;
    RestoreState(s);
    return CMD_OK;
}

// ---------------------------------------------------------------- text modes

struct TextModeName {
    const char* name;
    uint8_t mode;
};

// Tried in this order: "TR" must be seen before "T".
static const TextModeName textModes[] = {
    {"N", GUI_DRAWMODE_NORMAL},
    {"R", GUI_DRAWMODE_REV},
    {"TR", GUI_DRAWMODE_TRANS | GUI_DRAWMODE_REV},
    {"T", GUI_DRAWMODE_TRANS},
    {"X", GUI_DRAWMODE_XOR},
};

int setTextMode(const char* name)
{
    if (!name)
        return 0;
    for (const TextModeName& m : textModes) {
        if (strncmp(name, m.name, strlen(m.name)) == 0) {
            lastTextMode = m.mode;
            GUI_SetTextMode(m.mode);
            curTextMode = m.name;
            return 1;
        }
    }
    return 0;
}

int getTextMode(void)
{
    return lastTextMode;
}

// ---------------------------------------------------------------- origin and cursor

int coordInRange(long long v)
{
    return v >= -COORD_LIMIT - 1 && v <= COORD_LIMIT;
}

static int heldPastRoom(long long v)
{
    return v < -COORD_LIMIT - 1 ? -COORD_LIMIT - 2 : v > COORD_LIMIT ? COORD_LIMIT + 1 : (int)v;
}

void placeHeldAtOrigin(int* xy, int pairs)
{
    for (int i = 0; i < 2 * pairs; i += 2) {
        xy[i] = heldPastRoom((long long)xy[i] + Origin_X);
        xy[i + 1] = heldPastRoom((long long)xy[i + 1] + Origin_Y);
    }
}

int placeAtOrigin(int* xy, int pairs)
{
    for (int i = 0; i < 2 * pairs; i += 2) {
        const long long x = (long long)xy[i] + Origin_X, y = (long long)xy[i + 1] + Origin_Y;
        if (!coordInRange(x) || !coordInRange(y))
            return 0;
        xy[i] = (int)x;
        xy[i + 1] = (int)y;
    }
    return 1;
}

int pointAtOrigin(int* x, int* y)
{
    int xy[2] = {*x, *y};
    if (!placeAtOrigin(xy, 1))
        return 0;
    *x = xy[0];
    *y = xy[1];
    return 1;
}

void setOrigin(int x, int y)
{
    Origin_X = x;
    Origin_Y = y;
    GUI_GotoXY(x, y);
    GUIDEMO_SetTextBorder(x);
}

void setCursor(int x, int y)
{
    GUI_GotoXY(x + Origin_X, y + Origin_Y);
    GUIDEMO_SetTextBorder(x + Origin_X);
}

int areaIsOnScreen(int x0, int y0, int x1, int y1)
{
    if (x0 >= 0 && y0 >= 0 && x0 <= x1 && y0 <= y1 && x1 < LCD_WIDTH && y1 < LCD_HEIGHT)
        return 1;
    txString(":area outside the screen\r");
    return 0;
}

void orderCorners(int* x0, int* y0, int* x1, int* y1)
{
    if (*x0 > *x1) {
        const int t = *x0;
        *x0 = *x1;
        *x1 = t;
    }
    if (*y0 > *y1) {
        const int t = *y0;
        *y0 = *y1;
        *y1 = t;
    }
}

// ---------------------------------------------------------------- colours and digits

int atoh(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

void toHex(char* p)
{
    *p = (char)atoh(*p);
}

uint8_t shtoU8(const char* p)
{
    int v[2];
    for (int i = 0; i < 2; ++i) {
        unsigned char c = (unsigned char)p[i];
        v[i] = c > 0x40 ? (c | 0x20) - 0x57 : c - 0x30;
    }
    return (uint8_t)(v[0] * 16 + v[1]);
}

int32_t atoRGB(const char* text)
{
    while (*text && isspace((unsigned char)*text))
        ++text;
    size_t len = strlen(text);
    if (len == 3)
        return atoh(text[0]) * 0x110000 + atoh(text[1]) * 0x1100 + atoh(text[2]) * 0x11;
    if (len != 6)
        return -1;
    // Six characters are one number as "%x" reads it: a sign and a "0x"
    // may stand before the digits, and a character that is no digit ends
    // it ("0x00FF" is blue, "12G456" is 0x12).
    unsigned v = 0;
    KM_sscanf(text, "%x", &v);
    return (int32_t)v;
}

static uint32_t swapRedBlue(uint32_t rgb)
{
    return (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
}

uint32_t atoBGR(const char* text)
{
    return swapRedBlue((uint32_t)atoRGB(text));
}

int readColorWord(const char* text, uint32_t* color)
{
    if (!text)
        return 0;
    while (*text && isspace((unsigned char)*text))
        ++text;
    size_t len = strlen(text);
    if (len != 3 && len != 6)
        return 0;
    for (size_t i = 0; i < len; ++i)
        if (!isxdigit((unsigned char)text[i]))
            return 0;
    *color = atoBGR(text);
    return 1;
}

// ---------------------------------------------------------------- strings

char* skipLeadingWhitespace(char* s)
{
    if (!s)
        return s;
    while (*s && isspace((unsigned char)*s))
        ++s;
    return s;
}

int killTrailingComment(char* s)
{
    int quoted = s[0] == '"';
    for (char* p = s; *p; ++p) {
        if (*p == '"' && p != s && p[-1] != '\\')
            quoted = !quoted;
        else if (!quoted && p[0] == '/' && p[1] == '/') {
            // The comment takes the blanks and slashes just before it along.
            while (p > s && (isspace((unsigned char)p[-1]) || p[-1] == '/'))
                --p;
            *p = 0;
            break;
        }
    }
    return s[0] != 0;
}

char* strtokr(char* s, char delimiter, char** rest)
{
    if (!s || !*s) {
        *rest = 0;
        return 0;
    }
    char* p = s;
    while (*p == delimiter)
        ++p;
    while (*p && *p != delimiter)
        ++p;
    if (*p) {
        *p++ = 0;
        while (*p == delimiter)
            ++p;
    }
    *rest = p;
    return s;
}

char* escstrl(char* s, char delimiter, char** rest, int* length)
{
    *rest = 0;
    if (length)
        *length = 0;
    if (!s || !*s)
        return 0;
    char* r = strchr(s, delimiter);
    if (!r)
        return 0;
    ++r;
    // The decoded text is never longer than what it is read from, so it is
    // written over the line from its start.
    char* w = s;
    while (*r && *r != delimiter) {
        if (*r != '\\') {
            *w++ = *r++;
            continue;
        }
        const char e = r[1];
        if (!e) {
            // A backslash that ends the line escapes nothing.
            ++r;
            break;
        }
        r += 2;
        switch (e) {
        case 'n': *w++ = '\n'; break;
        case 'r': *w++ = '\r'; break;
        case '0': *w++ = 0; break;
        case 'x':
        case 'X':
            // Only two hexadecimal digits make a byte; otherwise the letter
            // stands for itself and what follows is read as text.
            if (isxdigit((unsigned char)r[0]) && isxdigit((unsigned char)r[1])) {
                *w++ = (char)shtoU8(r);
                r += 2;
            } else {
                *w++ = e;
            }
            break;
        default: *w++ = e; break;
        }
    }
    if (*r == delimiter)
        ++r;
    if (length)
        *length = (int)(w - s);
    *w = 0;
    *rest = r;
    return s;
}

char* escstr(char* s, char delimiter, char** rest)
{
    return escstrl(s, delimiter, rest, 0);
}
