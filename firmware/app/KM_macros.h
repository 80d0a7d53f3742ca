// Stored macros from the memory image: execution, the macro queue, the
// macro variables, the hotspot argument store and their host commands.
#pragma once

#include <stdint.h>

#include "format/memimage.h"

// Macro nesting depth: 0 for lines from the host.
extern int macroDepth;
// 1: every macro line is echoed before it runs.
extern uint8_t macroVerbose;

// The argument table of host lines: ten absent arguments.
extern const char* nullArgs[10];

// A compiled-in macro table used instead of the image's (null: the image).
extern const ExtMacroEntry* intMacHead;

// The queue of one macro: 0 empty, 1..511 a macro with new arguments,
// 512 + n macro n with the arguments of the previous request.
extern int32_t macroQueued;
extern char macroQueuedArgs[130];
extern char macroQueuedLabel[33];

// ---- variables
#define MACRO_INTS 20
#define MACRO_POINTS 10
#define MACRO_STRINGS 10
#define MACRO_STRING_MAX 80
struct MacroPoint {
    int32_t x;
    int32_t y;
};
extern int32_t iMem[MACRO_INTS];
extern MacroPoint pt[MACRO_POINTS];
extern char mString[MACRO_STRINGS][MACRO_STRING_MAX + 1];
extern char memoryString[MACRO_STRING_MAX + 1];

void setMacro_iMem(int n, int32_t value);
int32_t getMacro_iMem(int n);
void setMacro_pt(int n, int32_t x, int32_t y);
int32_t getMacro_ptX(int n);
int32_t getMacro_ptY(int n);
char* getMacroString2(int n);
void setMacroString2(const char* text, int n);
void pushMacroString2(const char* text, int n, int max);
void pushMacroString(const char* text, int max);
void popMacroString2(int count, int n);
void popMacroString(int count);

// ---- hotspot argument texts
#define MACRO_ARG_SLOTS 100
#define MACRO_ARG_POOL 8000
struct MacroArgSlot {
    int16_t hotspot;  // -1: none
    uint8_t flags;    // MACRO_ARG_PRESS, MACRO_ARG_IN_USE
    uint8_t capacity;
    char* text;
};
enum { MACRO_ARG_PRESS = 1, MACRO_ARG_IN_USE = 4 };
int assignMacroArgs(int hotspot, int kind, const char* text);
const char* getMacroArgs(int hotspot, int kind);
void releaseMacroArgs(int hotspot, int kind);
void clearMacroArgStore(void);
// The start label of a hotspot's macro for an event (1 press), written into
// macroQueuedLabel; null when none applies.
const char* setQueuedMacroLabel(int hotspot, int event);
// Checks the start label given when a macro is bound to a hotspot and
// records it in the hotspot's state flags; 0 (and a report) when refused.
int checkQueuedMacroLabel(int hotspot, const char* label, int event);
// Records the start label of a macro bound to a hotspot for an event (1
// press, 0 release): checked as checkQueuedMacroLabel does; a null label
// lets the macro run from its start.  1 accepted, 0 refused.
int bindMacroLabel(int hotspot, const char* label, int event);
int getMacroArgBytesAvailable(void);

// ---- execution
void KM_Macros_Init(void);
int processMacro(int n, const char* args, const char* label);
const ExtMacroEntry* KM_GetMacro(int n);
void KM_EnableInternalMacros(const ExtMacroEntry* table);
void KM_DisableInternalMacros(void);
void scheduleMacro(int n, const char* args);
int pendingMacro(void);
void processScheduledMacro(void);

// ---- names
// Turns a macro name (or number text) into its number; 0 when there is none.
int convertStringtoIndexMacro(const char* name);
// The name of macro n, or null.
const char* convertIndextoStringMacro(int n);
// Cuts a name to its word: no blanks, no label, at most 63 characters.
void formatMacroNameString(char* name);

// ---- host commands
int cmdMacroList(char* cmd);       // "lsmac"
int cmdMacroArgs(char* cmd);       // "xa", "xaq": a hotspot macro with arguments
int cmdMacroSet(char* cmd);        // "set"
int cmdMacroGet(char* cmd);        // "get"
int cmdMacroPush(char* cmd);       // "mpush"
int cmdMacroPop(char* cmd);        // "mpop"
int cmdMacroCall(char* cmd);       // "m%d", "m name"; 0 when the line is none
int cmdMacroBinaryCall(const char* cmd);  // 0x82 'M' n
int cmdMacroDebug(int value);      // "*macdebug %d"
int cmdMacroNote(char* cmd);       // "*macnote"
int cmdDemoMacro(char* cmd);       // "*DEMOMAC"
int cmdPowerOnMacro(char* cmd);    // "*PONMAC"
