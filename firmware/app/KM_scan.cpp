#include "app/KM_scan.h"

#include <stdarg.h>

static int is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static int digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

// A number's sign and magnitude; the magnitude stops growing past 2^32,
// which is all any result needs.
struct Number {
    uint64_t magnitude;
    int negative;
};

// A number as strtol reads it, from s (no white space skipped), at most
// width characters of it (0: no limit): sign, base prefix, digits.
// Returns 0 when it has no digit; *end is where it stopped.

static int read_number(const char* s, int width, int base, const char** end, Number* n)
{
    const char* p = s;
    const char* limit = width > 0 ? s + width : 0;
    auto room = [&](int k) { return !limit || p + k <= limit; };
    n->magnitude = 0;
    n->negative = 0;
    if (room(1) && (*p == '+' || *p == '-')) {
        n->negative = *p == '-';
        ++p;
    }
    if ((base == 0 || base == 16) && room(2) && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        room(3) && digit_value(p[2]) < 16) {
        p += 2;
        base = 16;
    } else if (base == 0) {
        base = room(1) && *p == '0' ? 8 : 10;
    }
    const char* digits = p;
    while (room(1) && digit_value(*p) < base) {
        if (n->magnitude <= 0xFFFFFFFFull)
            n->magnitude = n->magnitude * (unsigned)base + (unsigned)digit_value(*p);
        ++p;
    }
    *end = p;
    return p > digits;
}

static int32_t as_signed(const Number& n)
{
    if (n.negative)
        return n.magnitude >= 0x80000000ull ? INT32_MIN : -(int32_t)n.magnitude;
    return n.magnitude > 0x7FFFFFFFull ? INT32_MAX : (int32_t)n.magnitude;
}

static uint32_t as_unsigned(const Number& n)
{
    if (n.magnitude > 0xFFFFFFFFull)
        return UINT32_MAX;
    return n.negative ? 0u - (uint32_t)n.magnitude : (uint32_t)n.magnitude;
}

// strtol's part: white space, then the number; no number leaves *end at s.
static int parse(const char* s, char** end, int base, Number* n)
{
    const char* p = s;
    while (is_space(*p))
        ++p;
    const char* stop;
    const int ok = read_number(p, 0, base, &stop, n);
    if (end)
        *end = (char*)(ok ? stop : s);
    return ok;
}

int32_t KM_strtol(const char* s, char** end, int base)
{
    Number n;
    return parse(s, end, base, &n) ? as_signed(n) : 0;
}

uint32_t KM_strtoul(const char* s, char** end, int base)
{
    Number n;
    return parse(s, end, base, &n) ? as_unsigned(n) : 0;
}

int32_t KM_atoi(const char* s)
{
    return KM_strtol(s, 0, 10);
}

int KM_sscanf(const char* text, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    const char* in = text;
    int assigned = 0;
    int failed_input = 0;
    for (const char* f = format; *f; ++f) {
        if (is_space(*f)) {
            while (is_space(*in))
                ++in;
            continue;
        }
        if (*f != '%' || f[1] == '%') {
            if (*f == '%') {
                ++f;
                while (is_space(*in))
                    ++in;
            }
            if (!*in) {
                failed_input = 1;
                break;
            }
            if (*in != *f)
                break;
            ++in;
            continue;
        }
        ++f;
        const int suppress = *f == '*';
        if (suppress)
            ++f;
        int width = 0;
        while (*f >= '0' && *f <= '9')
            width = width * 10 + (*f++ - '0');
        const char conv = *f;
        if (conv == 'n') {
            if (!suppress)
                *va_arg(ap, int*) = (int)(in - text);
            continue;
        }
        if (conv != 'c')
            while (is_space(*in))
                ++in;
        if (!*in) {
            failed_input = 1;
            break;
        }
        if (conv == 's' || conv == 'c') {
            const int n = conv == 'c' && width == 0 ? 1 : width;
            char* out = suppress ? 0 : va_arg(ap, char*);
            int k = 0;
            while (in[k] && (n == 0 || k < n) && (conv == 'c' || !is_space(in[k]))) {
                if (out)
                    out[k] = in[k];
                ++k;
            }
            if (conv == 'c' && k < n) {
                failed_input = 1;
                break;
            }
            if (out && conv == 's')
                out[k] = 0;
            in += k;
        } else {
            int base;
            switch (conv) {
            case 'd':
            case 'u': base = 10; break;
            case 'i': base = 0; break;
            case 'x':
            case 'X': base = 16; break;
            case 'o': base = 8; break;
            default: va_end(ap); return assigned;  // not a conversion the commands use
            }
            Number n;
            const char* end;
            if (!read_number(in, width, base, &end, &n))
                break;
            in = end;
            if (!suppress) {
                if (conv == 'd' || conv == 'i')
                    *va_arg(ap, int*) = as_signed(n);
                else
                    *va_arg(ap, unsigned*) = as_unsigned(n);
            }
        }
        if (!suppress)
            ++assigned;
    }
    va_end(ap);
    return assigned == 0 && failed_input ? -1 : assigned;
}
