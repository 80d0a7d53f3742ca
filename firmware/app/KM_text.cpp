#include "app/KM_text.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "app/KM_com.h"
#include "app/KM_fonts.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/Main.h"
#include "app/command.h"
#include "app/parse_command.h"
#include "graphics/GUI.h"

int debug_touch;

static const char kSyntax[] = ":err - syntax\r";
static const char kNoQuote[] = ":missing single space and/or double quote\r";
static const char kBadArgument[] = ":invalid argument\r";

// The quoted text of a text command, decoded in place; the tail after the
// closing quote goes to *rest.  NULL (and the host told) without a quote.
static char* quoted_text(char* cmd, char** rest)
{
    *rest = 0;
    char* text = escstr(cmd, '"', rest);
    if (!text)
        txString(kNoQuote);
    return text;
}

// A text-mode word of a command: the named mode, or normal for a word that
// names none.
static void apply_mode_word(const char* word)
{
    if (!setTextMode(word))
        setTextMode("N");
}

// Text at the current position.
static void text_here(const char* text)
{
    KM_DispStringAt(text, GUI_GetDispPosX(), GUI_GetDispPosY());
}

// Text at a position the origin was added to (placeAtOrigin); the left
// border goes there too, so that a line feed in the text returns to x.
static void text_at(const char* text, const int* at)
{
    GUIDEMO_SetTextBorder(at[0]);
    KM_DispStringAt(text, at[0], at[1]);
}

// The layout options of the rectangle form.
enum Layout { LAYOUT_NONE, LAYOUT_WRAP_WORD, LAYOUT_WRAP_CHAR, LAYOUT_CCW, LAYOUT_CW, LAYOUT_180 };

static Layout layout_of(const char* word)
{
    static const struct {
        const char* word;
        Layout layout;
    } options[] = {
        {"WW", LAYOUT_WRAP_WORD}, {"WC", LAYOUT_WRAP_CHAR}, {"CCW", LAYOUT_CCW}, {"CW", LAYOUT_CW}, {"I", LAYOUT_180},
    };
    for (const auto& o : options)
        if (strcmp(word, o.word) == 0)
            return o.layout;
    return LAYOUT_NONE;
}

// The rectangle's corners have the origin added (placeAtOrigin).
static void text_in_rect(const char* text, const int* v, const char* word)
{
    const GUI_Area r = {(int16_t)v[0], (int16_t)v[1], (int16_t)v[2], (int16_t)v[3]};
    const int align = GUI_GetTextAlign();
    const Layout layout = word ? layout_of(word) : LAYOUT_NONE;
    const bool modeWord = word && layout == LAYOUT_NONE;
    if (modeWord)
        apply_mode_word(word);
    const GUI_EncodingAPIList* saved;
    const char* s = beginHostText(text, &saved);
    switch (layout) {
    case LAYOUT_WRAP_WORD: GUI_DispStringInRectWrap(s, &r, align, GUI_WRAPMODE_WORD); break;
    case LAYOUT_WRAP_CHAR: GUI_DispStringInRectWrap(s, &r, align, GUI_WRAPMODE_CHAR); break;
    case LAYOUT_CCW: GUI_DispStringInRectEx(s, &r, align, 0x7FFF, &LCD_APIListCCW); break;
    case LAYOUT_CW: GUI_DispStringInRectEx(s, &r, align, 0x7FFF, &LCD_APIListCW); break;
    case LAYOUT_180: GUI_DispStringInRectEx(s, &r, align, 0x7FFF, &LCD_APIList180); break;
    case LAYOUT_NONE: GUI_DispStringInRect(s, &r, align); break;
    }
    endHostText(saved);
    if (modeWord)
        GUI_SetTextMode(GUI_DRAWMODE_NORMAL);
}

// The tails of the text command, tried in order; rectangles only where
// allowed.  A position or corner beyond the coordinates' room is refused
// alone, as the drawing commands refuse it.
static int text_forms(const char* text, char* rest, bool rectangles)
{
    int v[4];
    char word[10];
    const int n = KM_sscanf(rest, "%d %d %d %d %9s", &v[0], &v[1], &v[2], &v[3], word);
    if (n == 3)
        return CMD_FAIL;  // three numbers are neither a position nor a rectangle
    if (n >= 4 && !rectangles) {
        txString(kSyntax);
        return CMD_FAIL;
    }
    if (n == 5 || n == 4) {
        if (!placeAtOrigin(v, 2))
            return CMD_FAIL;
        text_in_rect(text, v, n == 5 ? word : 0);
        return CMD_OK;
    }
    if (KM_sscanf(rest, "%d %d %9s", &v[0], &v[1], word) == 3) {
        if (!placeAtOrigin(v, 1))
            return CMD_FAIL;
        apply_mode_word(word);
        text_at(text, v);
        GUI_SetTextMode(GUI_DRAWMODE_NORMAL);
        return CMD_OK;
    }
    if (n == 2) {
        if (!placeAtOrigin(v, 1))
            return CMD_FAIL;
        setTextMode("N");
        text_at(text, v);
        return CMD_OK;
    }
    if (n == 0 && KM_sscanf(rest, "%9s", word) == 1) {
        apply_mode_word(word);
        text_here(text);
        GUI_SetTextMode(GUI_DRAWMODE_NORMAL);
        return CMD_OK;
    }
    if (n <= 0 && *skipLeadingWhitespace(rest) == 0) {
        GUI_SetTextMode((int16_t)getTextMode());
        text_here(text);
        return CMD_OK;
    }
    txString(kSyntax);
    return CMD_FAIL;
}

int cmdText(char* cmd)
{
    char* rest;
    char* text = quoted_text(cmd + 2, &rest);
    return text ? text_forms(text, rest, true) : CMD_FAIL;
}

int cmdTextAt(char* cmd)
{
    char* rest;
    char* text = quoted_text(cmd + 2, &rest);
    return text ? text_forms(text, rest, false) : CMD_FAIL;
}

// Written straight through the graphics library, as it stands: the
// horizontal alignment holds for this one text and is left cleared after
// it, so a second "tu" follows the first left-aligned.
int cmdTextUnquoted(const char* cmd)
{
    GUI_DispString(cmd + 3);
    return CMD_OK;
}

int cmdTextWidth(char* cmd)
{
    char* rest;
    char* text = quoted_text(cmd + 3, &rest);
    if (!text)
        return CMD_FAIL;
    snprintf(out_buffer, sizeof out_buffer, "%d\r", KM_GetStringDistX(text));
    txString(out_buffer);
    return CMD_OK;
}

// ---------------------------------------------------------------- alignment

// Horizontal L(eft), R(ight), C(entre); vertical T(op), B(ottom), C(entre).
static int horizontal_of(char c)
{
    switch (toupper((unsigned char)c)) {
    case 'L': return GUI_TA_LEFT;
    case 'R': return GUI_TA_RIGHT;
    case 'C': return GUI_TA_HCENTER;
    default: return -1;
    }
}

static int vertical_of(char c)
{
    switch (toupper((unsigned char)c)) {
    case 'T': return GUI_TA_TOP;
    case 'B': return GUI_TA_BOTTOM;
    case 'C': return GUI_TA_VCENTER;
    default: return -1;
    }
}

// -1 until the host sets one: then "ta" reports the graphics core's own.
static int16_t hostTextAlign = -1;

void setHostTextAlign(int16_t align)
{
    hostTextAlign = align;
    GUI_SetTextAlign(align);
}

int cmdTextAlign(const char* cmd)
{
    char h, v;
    if (strcmp(cmd, "ta") == 0) {
        const int align = hostTextAlign >= 0 ? hostTextAlign : GUI_GetTextAlign();
        static const char horizontal[] = "LRCL";
        // The baseline setting of the library is not one the host sets;
        // it draws as centred does.
        static const char vertical[] = "TBCC";
        snprintf(out_buffer, sizeof out_buffer, "%c%c\r", horizontal[align & GUI_TA_HORIZONTAL],
                 vertical[(align & GUI_TA_VERTICAL) >> 2]);
        txNotify(out_buffer);
        return CMD_OK;
    }
    if (KM_sscanf(cmd, "ta %c%c", &h, &v) != 2) {
        txString(kSyntax);
        return CMD_FAIL;
    }
    const int hb = horizontal_of(h), vb = vertical_of(v);
    if (hb < 0 || vb < 0)
        return CMD_FAIL;
    setHostTextAlign((int16_t)(hb | vb));
    return CMD_OK;
}

int cmdTextMode(const char* cmd)
{
    char word[10];
    if (KM_sscanf(cmd, "tm %9s", word) != 1) {
        txString(kSyntax);
        return CMD_FAIL;
    }
    if (!setTextMode(word)) {
        txString(kBadArgument);
        return CMD_FAIL;
    }
    return CMD_OK;
}

// ---------------------------------------------------------------- fonts

static void reply_line(const char* text)
{
    snprintf(out_buffer, sizeof out_buffer, "%s\r", text);
    txString(out_buffer);
}

int cmdFontName(void)
{
    const char* name = KM_GetCurrentFontName();
    reply_line(name ? name : "");
    return CMD_OK;
}

int cmdFontList(void)
{
    while (const char* name = KM_FontName())
        reply_line(name);
    for (int i = 0; const char* name = KM_ImageFontName(i); ++i)
        reply_line(name);
    return CMD_OK;
}

int cmdFontSelect(const char* name)
{
    return GUIDEMO_SetFont(name) ? CMD_OK : CMD_FAIL;
}

// ---------------------------------------------------------------- switches

int cmdUtf8(const char* cmd)
{
    if (strstr(cmd + 4, "off"))
        GUI_UC_SetEncodeNone();
    else if (strstr(cmd + 4, "on"))
        GUI_UC_SetEncodeUTF8();
    else {
        txString(kSyntax);
        return CMD_FAIL;
    }
    return CMD_OK;
}

// Bytes above 0x80 then arrive as text instead of starting binary
// commands.
int cmdBinaryLeadOff(void)
{
    binaryEnable = 0;
    return CMD_OK;
}

int cmdDebug(int level)
{
    debug_touch = level;
    if (level == 2) {
        txString(":touch pressure display on\r");
        GUIDEMO_SetFont("m10");
    }
    return CMD_OK;
}
