#include "graphics/GUI.h"

// UTF-8 for codes up to 16 bits.  A lead byte takes the 1 or 2 bytes after
// it whatever their top bits are (a malformed continuation still gives its
// low six bits), except that the terminating NUL is never taken: a lead
// byte whose character the NUL cuts short is one character of code 1, so
// decoding never reads past the end of the text.

// Bytes of the character at s: 1, 2 or 3.
static int char_size(const char* s)
{
    const uint8_t b0 = (uint8_t)s[0];
    if ((b0 & 0xE0) == 0xC0)
        return s[1] ? 2 : 1;
    if ((b0 & 0xF0) == 0xE0)
        return s[1] && s[2] ? 3 : 1;
    return 1;
}

static uint16_t utf8_GetCharCode(const char* s)
{
    const uint8_t b0 = (uint8_t)s[0];
    if (b0 < 0x80)
        return b0;
    switch (char_size(s)) {
    case 2:
        return (uint16_t)((b0 & 0x1F) << 6 | ((uint8_t)s[1] & 0x3F));
    case 3:
        return (uint16_t)(b0 << 12 | ((uint8_t)s[1] & 0x3F) << 6 | ((uint8_t)s[2] & 0x3F));
    default:
        // A continuation byte alone, a 4-byte lead, or a lead byte cut
        // short by the end of the text.
        return 1;
    }
}

static int utf8_GetCharSize(const char* s)
{
    return char_size(s);
}

static int utf8_CalcSizeOfChar(uint16_t code)
{
    return code < 0x80 ? 1 : code < 0x800 ? 2 : 3;
}

static int utf8_Encode(char* s, uint16_t code)
{
    if (code < 0x80) {
        s[0] = (char)code;
        return 1;
    }
    if (code < 0x800) {
        s[0] = (char)(0xC0 | code >> 6);
        s[1] = (char)(0x80 | (code & 0x3F));
        return 2;
    }
    s[0] = (char)(0xE0 | code >> 12);
    s[1] = (char)(0x80 | ((code >> 6) & 0x3F));
    s[2] = (char)(0x80 | (code & 0x3F));
    return 3;
}

const GUI_EncodingAPIList GUI_UC_UTF8 = {
    utf8_GetCharCode, utf8_GetCharSize, utf8_CalcSizeOfChar, utf8_Encode,
};
