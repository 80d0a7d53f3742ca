// Stored macros from the memory image: execution, the macro queue and the
// macro variables.
#pragma once

#include <stdint.h>

// Macro nesting depth: 0 for lines from the host.
extern int macroDepth;

// The argument table of host lines: ten absent arguments.
extern const char* nullArgs[10];

void KM_Macros_Init(void);
int processMacro(int n, const char* args, const char* label);
const void* KM_GetMacro(int n);
int pendingMacro(void);
void processScheduledMacro(void);
// Turns a macro name into its number; 0 when there is none.
int convertStringtoIndexMacro(const char* name);
void formatMacroNameString(char* name);
