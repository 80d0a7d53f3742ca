#include "app/command.h"

#include <ctype.h>
#include <string.h>

int32_t Origin_X;
int32_t Origin_Y;
DrawingState GDIState[GDI_STATES];

// The drawing state is saved once its commands are there.
void SaveState(DrawingState*) {}
void RestoreState(const DrawingState*) {}

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
