#include "graphics/GUI.h"

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
