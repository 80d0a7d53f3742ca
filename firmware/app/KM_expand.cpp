#include "app/KM_expand.h"

#include <string.h>

// Variables and arithmetic are not evaluated yet: lines pass unchanged.
static int copy_line(char* dst, int size, const char* src)
{
    if (!dst || !src)
        return 0;
    if (size <= 1) {
        if (size == 1)
            dst[0] = 0;
        return 0;
    }
    strncpy(dst, src, (size_t)size - 1);
    dst[size - 1] = 0;
    return (int)strlen(dst);
}

int expandVariables(char* dst, int size, const char* src, const char* const*)
{
    return copy_line(dst, size, src);
}

int processMath(char* dst, int size, const char* src)
{
    return copy_line(dst, size, src);
}
