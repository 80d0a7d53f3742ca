#include "app/KM_macros.h"

// The memory image holds no macros yet: no macro exists, none runs.

const char* nullArgs[10];
int macroDepth;

void KM_Macros_Init(void)
{
    for (int i = 0; i < 10; ++i)
        nullArgs[i] = 0;
}

int processMacro(int, const char*, const char*)
{
    return 0;
}

const void* KM_GetMacro(int)
{
    return 0;
}

int pendingMacro(void)
{
    return 0;
}

void processScheduledMacro(void) {}

int convertStringtoIndexMacro(const char*)
{
    return 0;
}

void formatMacroNameString(char*) {}
