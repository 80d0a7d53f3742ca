#include "graphics/GUI.h"

// Character encodings: the context's list decodes every string that text
// output draws or measures.

// 8-bit characters: one byte is one character, its code the byte.

static uint16_t none_GetCharCode(const char* s)
{
    return (uint8_t)*s;
}

static int none_GetCharSize(const char*)
{
    return 1;
}

static int none_CalcSizeOfChar(uint16_t)
{
    return 1;
}

static int none_Encode(char* s, uint16_t code)
{
    *s = (char)code;
    return 1;
}

const GUI_EncodingAPIList GUI_UC_None = {
    none_GetCharCode, none_GetCharSize, none_CalcSizeOfChar, none_Encode,
};

void GUI_UC_SetEncodeNone(void)
{
    GUI_Context.pUC = &GUI_UC_None;
}

void GUI_UC_SetEncodeUTF8(void)
{
    GUI_Context.pUC = &GUI_UC_UTF8;
}

// Before GUI_Init the context has no list yet; text is 8-bit then.
static const GUI_EncodingAPIList* encoding(void)
{
    return GUI_Context.pUC ? GUI_Context.pUC : &GUI_UC_None;
}

uint16_t GUI_UC_GetCharCode(const char* s)
{
    return encoding()->pfGetCharCode(s);
}

int GUI_UC_GetCharSize(const char* s)
{
    return encoding()->pfGetCharSize(s);
}

int GUI_UC_Encode(char* s, uint16_t code)
{
    return encoding()->pfEncode(s, code);
}

int GUI_UC__CalcSizeOfChar(uint16_t code)
{
    return encoding()->pfCalcSizeOfChar(code);
}

uint16_t GUI_UC__GetCharCodeInc(const char** ps)
{
    const char* s = *ps;
    const uint16_t code = GUI_UC_GetCharCode(s);
    *ps = s + GUI_UC_GetCharSize(s);
    return code;
}

// Both counts stop at the terminating NUL, whatever the count asked for.
int GUI_UC__NumChars2NumBytes(const char* s, int numChars)
{
    int bytes = 0;
    for (; numChars > 0 && s[bytes]; --numChars)
        bytes += GUI_UC_GetCharSize(s + bytes);
    return bytes;
}

int GUI_UC__NumBytes2NumChars(const char* s, int numBytes)
{
    int chars = 0, at = 0;
    while (at < numBytes && s[at]) {
        at += GUI_UC_GetCharSize(s + at);
        ++chars;
    }
    return chars;
}
