#include "app/KM_expand.h"

#include "app/KM_slider.h"

#include <ctype.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/KM_bitmaps.h"
#include "app/KM_com.h"
#include "app/KM_macros.h"
#include "app/KM_touch.h"
#include "app/command.h"
#include "config/build_config.h"
#include "graphics/GUI.h"
#include "storage/KM_eeprom.h"

#define QUOTE '`'
// The longest reference or expression looked at: a whole line.
#define LINE_REF_MAX 130

// One formatted value, and the format it is printed with: the reference's
// flags, width and precision, the class's conversion, and that conversion
// once more as plain letters when the host wrote it.
static char tmpBuf[81];
static char fmtBuf[12];

static const char STRING_CLASS[] = "0123456789MsT$";
static const char NUMBER_CLASS[] = "eipLRXYVBHW";

// Configuration byte of the beeper volume.
#define CONFIG_VOLUME_OFFSET 0x30

int isValidFieldLength(const char* text)
{
    if (!text || *text < '1' || *text > '9')
        return 0;
    int w = atoi(text);
    return w >= 1 && w <= 80;
}

int isValidNumberFormat(const char* fmt)
{
    if (!fmt || fmt[0] != '%')
        return 0;
    const char* p = fmt + 1;
    if (p[0] == '+' && p[1] == '0')
        p += 2;
    else if (*p == '-' || *p == '0' || *p == '+')
        ++p;
    return isValidFieldLength(p);
}

int isValidStringFormat(const char* fmt)
{
    if (!fmt || fmt[0] != '%')
        return 0;
    const char* p = fmt + 1;
    if (*p == '-')
        ++p;
    if (!isValidFieldLength(p))
        return 0;
    int w, prec;
    if (sscanf(p, "%d.%d", &w, &prec) == 2 && prec <= 0)
        return 0;
    return 1;
}

int safeStrAppend(char* dst, const char* text, int room)
{
    int len = (int)strlen(text);
    if (len >= room)
        return 0;
    memcpy(dst, text, (size_t)len + 1);
    return len;
}

int safeStrAppendNum(char* dst, const char* text, int room, int n)
{
    int len = (int)strlen(text);
    if (n < len)
        len = n < 0 ? 0 : n;
    if (len >= room)
        return 0;
    memcpy(dst, text, (size_t)len);
    dst[len] = 0;
    return len;
}

// ---------------------------------------------------------------- values

// The value of the linear slider on hotspot n; 0 when there is none (no
// circular slider can exist, so only the linear table is asked).
static int sliderValueOfHotspot(int n, int32_t* v)
{
    int slot = KM_Slider_Find(n);
    if (slot < 0)
        return 0;
    *v = KM_Slider_GetValue(slot);
    return 1;
}

// Prints into tmpBuf; 0 when the text would not fit it whole.
static int print_value(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static int print_value(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(tmpBuf, sizeof tmpBuf, fmt, ap);
    va_end(ap);
    return n >= 0 && n < (int)sizeof tmpBuf;
}

static int print_number(long v, int isLong)
{
    return isLong ? print_value(fmtBuf, v) : print_value(fmtBuf, (int)v);
}

// A name that must end right at the closing backquote.
static int is(const char* name, const char* word)
{
    return strcmp(name, word) == 0;
}

// What follows the width of a valid format: an optional precision, then
// optionally the one conversion the variable's class takes.  The host's text
// becomes part of a printf format, so nothing else may pass: a stray "n",
// "*" or "$" would make the controller write or read through a wild
// pointer; a reference with such a format is invalid.  Sets *conv when the
// conversion was written.
static int format_tail_ok(const char* tail, const char* classConv, int isLong, int* conv)
{
    const char* p = tail;
    while (isdigit((unsigned char)*p))
        ++p;
    if (*p == '.') {
        ++p;
        while (isdigit((unsigned char)*p))
            ++p;
    }
    *conv = 0;
    if (!*p)
        return 1;
    *conv = 1;
    return !strcmp(p, classConv) || (isLong && !strcmp(p, "ld"));
}

// Formats the value of one reference (the text between the backquotes) into
// tmpBuf; 0 for an invalid reference.
static int format_reference(const char* ref, const char* const* args)
{
    char fmt[6] = "%";
    const char* name = ref;
    if (ref[0] == '%') {
        const char* blank = strchr(ref, ' ');
        if (!blank)
            return 0;
        int len = (int)(blank - ref);
        if (len < 2 || len > 5)
            return 0;
        memcpy(fmt, ref, (size_t)len);
        fmt[len] = 0;
        name = blank + 1;
    }
    const int stringClass = name[0] && strchr(STRING_CLASS, name[0]);
    const int numberClass = name[0] && strchr(NUMBER_CLASS, name[0]);
    if (!stringClass && !numberClass)
        return 0;
    const char* conv = stringClass ? "s" : name[0] == 'i' ? "ld" : "d";
    int written = 0;
    if (fmt[1]) {
        if (!(stringClass ? isValidStringFormat(fmt) : isValidNumberFormat(fmt)))
            return 0;
        // The flags and the width's first digit are checked above.
        const char* tail = fmt + 1 + strspn(fmt + 1, "-+0");
        if (!format_tail_ok(tail, stringClass ? "s" : "d", name[0] == 'i', &written))
            return 0;
        if (written)
            fmt[(tail - fmt) + strcspn(tail, "dls")] = 0;
    }
    snprintf(fmtBuf, sizeof fmtBuf, "%s%s%s", fmt, conv, written ? conv : "");

    int n = 0, m = 0;
    char c = 0;
    if (isdigit((unsigned char)name[0])) {
        sscanf(name, "%d", &n);
        if (n < 0 || n > 9 || !args || !args[n])
            return 0;
        // An argument is copied as it is: its format is checked, not applied.
        snprintf(tmpBuf, sizeof tmpBuf, "%s", args[n]);
        return 1;
    }
    switch (name[0]) {
    case 'M':
        return is(name, "M") && print_value(fmtBuf, memoryString);
    case 's':
        if (sscanf(name, "s%d", &n) != 1 || n < 0 || n >= MACRO_STRINGS)
            return 0;
        return print_value(fmtBuf, mString[n]);
    case 'i':
        if (sscanf(name, "i%d", &n) != 1 || n < 0 || n >= MACRO_INTS)
            return 0;
        return print_number((long)iMem[n], 1);
    case 'e': {
        unsigned h;
        if (sscanf(name, "e%x", &h) != 1 || h > 0xF)
            return 0;
        return print_number(KM_EEPROM_ReadUserByte((int)h), 0);
    }
    case 'p': {
        int got = sscanf(name, "p%d.%c", &n, &c);
        if (got < 1 || n < 0 || n >= MACRO_POINTS)
            return 0;
        if (got == 2) {
            if (c == 'x')
                return print_number(pt[n].x, 0);
            if (c == 'y')
                return print_number(pt[n].y, 0);
            return 0;
        }
        // x, a blank, y, both in the reference's format.
        char pair[24];
        snprintf(pair, sizeof pair, "%s %s", fmtBuf, fmtBuf);
        return print_value(pair, (int)pt[n].x, (int)pt[n].y);
    }
    case 'H':
    case 'W': {
        if (sscanf(name + 1, "%d", &n) != 1)
            return 0;
        const ExtMemDirEntry* e = KM_GetExtBitmap(n);
        if (!e)
            return 0;
        return print_number(name[0] == 'H' ? KM_BitmapHeight(e) : KM_BitmapWidth(e), 0);
    }
    case 'V':
        return is(name, "V") && print_number(((const uint8_t*)&eepromData)[CONFIG_VOLUME_OFFSET], 0);
    case 'B':
        return is(name, "B") && print_number(eepromData.brite, 0);
    case 'T': {
        if (!is(name, "T"))
            return 0;
        double t = readTemp() / 10.0;
        char text[16];
        if (t < -30.0 || t > 99.9)
            strcpy(text, "*****");
        else
            snprintf(text, sizeof text, "%+05.1f", t);
        return print_value(fmtBuf, text);
    }
    case 'L': {
        int32_t v;
        if (sscanf(name, "L%d", &n) != 1 || !sliderValueOfHotspot(n, &v))
            return 0;
        return print_number(v, 0);
    }
    case 'R': {
        if (sscanf(name, "R%d:%d", &n, &m) != 2)
            return 0;
        // An empty or reversed range has no number in it.
        int64_t span = (int64_t)m + 1 - n;
        if (span <= 0)
            return 0;
        return print_number((long)(n + (int64_t)rand() % span), 0);
    }
    case 'X':
    case 'Y': {
        const int axis = name[0] == 'X' ? 0 : 1;
        if (!name[1] || name[2])
            return 0;
        int v;
        switch (name[1]) {
        case 'r': v = axis ? lastHotRY : lastHotRX; break;
        case 'a': v = axis ? lastHotAY : lastHotAX; break;
        case 'm': v = axis ? PANEL_HEIGHT - 1 : PANEL_WIDTH - 1; break;
        case 'c': v = axis ? PANEL_HEIGHT / 2 : PANEL_WIDTH / 2; break;
        case 'o': v = axis ? Origin_Y : Origin_X; break;
        case 's': v = axis ? GUI_GetDispPosY() - Origin_Y : GUI_GetDispPosX() - Origin_X; break;
        default: return 0;
        }
        return print_number(v, 0);
    }
    case '$': {
        if (!is(name, "$BAUD0"))
            return 0;
        char text[24];
        if (baudrate0 < 1000)
            snprintf(text, sizeof text, "%d", (int)baudrate0);
        else
            snprintf(text, sizeof text, "%d,%d", (int)(baudrate0 / 1000), (int)(baudrate0 % 1000));
        return print_value(fmtBuf, text);
    }
    }
    return 0;
}

// Whether the rewriters of a line can write into dst: with no room at all
// a dst of one byte still gets the empty text.
static int has_room(char* dst, int size, const char* src)
{
    if (!dst || !src)
        return 0;
    if (size <= 1) {
        if (size == 1)
            dst[0] = 0;
        return 0;
    }
    return 1;
}

// The len bytes at s as a text in buf; 0 when they do not fit.
static int copy_span(char (&buf)[LINE_REF_MAX], const char* s, int len)
{
    if (len >= LINE_REF_MAX)
        return 0;
    memcpy(buf, s, (size_t)len);
    buf[len] = 0;
    return 1;
}

int expandVariables(char* dst, int size, const char* src, const char* const* args)
{
    if (!has_room(dst, size, src))
        return 0;
    int o = 0;
    for (int i = 0; src[i]; ++i) {
        const char ch = src[i];
        if (ch == '/' && (src[i + 1] == '/' || src[i + 1] == '*'))
            break;
        if (ch != QUOTE || (i > 0 && src[i - 1] == ')')) {
            if (o >= size - 1)
                break;
            dst[o++] = ch;
            continue;
        }
        const char* close = strchr(src + i + 1, QUOTE);
        if (!close)
            continue;  // a lone backquote is dropped
        if (close == src + i + 1) {
            if (o >= size - 1)
                break;
            dst[o++] = QUOTE;
            ++i;
            continue;
        }
        if (src[i + 1] == '(') {
            // An inline expression: kept for processMath, its references
            // expanded as the scan goes on.
            if (o + 2 > size - 1)
                break;
            dst[o++] = QUOTE;
            dst[o++] = '(';
            ++i;
            continue;
        }
        char ref[LINE_REF_MAX];
        if (copy_span(ref, src + i + 1, (int)(close - (src + i + 1))) && format_reference(ref, args))
            o += safeStrAppend(dst + o, tmpBuf, size - o);
        i = (int)(close - src);
    }
    dst[o] = 0;
    return o;
}

// "(a" followed directly by the operator, then "b": the numbers as the
// board's 32-bit long reads them, held at its ends past 32 bits.
static int read_expression(const char* text, int32_t* a, char* op, int32_t* b)
{
    if (text[0] != '(')
        return 0;
    char* end;
    *a = strtol32(text + 1, &end, 10);
    if (end == text + 1 || !*end)
        return 0;
    *op = *end;
    const char* second = end + 1;
    *b = strtol32(second, &end, 10);
    return end != second;
}

// a op b in 32-bit wrap-around arithmetic; 0 when op is no operator or
// the division has no result.
static int evaluate(int32_t a, char op, int32_t b, int32_t* r)
{
    const uint32_t ua = (uint32_t)a, ub = (uint32_t)b;
    switch (op) {
    case '+': *r = (int32_t)(ua + ub); return 1;
    case '-': *r = (int32_t)(ua - ub); return 1;
    case '*': *r = (int32_t)(ua * ub); return 1;
    case '/':
    case '%':
        if (b == 0)
            return 0;
        // The one quotient that does not fit 32 bits wraps, as the rest do;
        // the processor would trap on it.
        if (a == INT32_MIN && b == -1)
            *r = op == '/' ? INT32_MIN : 0;
        else
            *r = op == '/' ? a / b : a % b;
        return 1;
    }
    return 0;
}

int processMath(char* dst, int size, const char* src)
{
    if (!has_room(dst, size, src))
        return 0;
    int o = 0;
    for (int i = 0; src[i];) {
        if (!(src[i] == QUOTE && src[i + 1] == '(')) {
            if (o >= size - 1)
                break;
            dst[o++] = src[i++];
            continue;
        }
        const char* close = strstr(src + i + 1, ")`");
        if (!close) {
            i += 2;
            continue;
        }
        const char* expr = src + i + 1;
        int len = (int)(close + 1 - expr);
        char text[LINE_REF_MAX];
        int32_t a = 0, b = 0;
        char op = 0;
        int32_t r;
        int done = 0;
        if (copy_span(text, expr, len) && read_expression(text, &a, &op, &b) && evaluate(a, op, b, &r)) {
            char num[16];
            snprintf(num, sizeof num, "%ld", (long)r);
            o += safeStrAppend(dst + o, num, size - o);
            done = 1;
        }
        if (!done)
            for (int k = 0; k < len && o < size - 1; ++k)
                dst[o++] = expr[k];
        i = (int)(close + 2 - src);
    }
    dst[o] = 0;
    return o;
}
