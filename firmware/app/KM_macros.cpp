#include "app/KM_macros.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/KM_com.h"
#include "app/KM_expand.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/KM_touch.h"
#include "app/Main.h"
#include "app/command.h"
#include "board/hw.h"
#include "board/lcd_driver.h"
#include "app/parse_command.h"
#include "storage/KM_eeprom.h"
#include "storage/KM_extmem.h"

#define MAX_MACRO_DEPTH 4
#define MACRO_ARGS 10
#define LABEL_MAX 32
// A macro line as the dispatcher takes it.
#define MACRO_LINE 129

const char* nullArgs[10];
int macroDepth;
uint8_t macroVerbose;
const ExtMacroEntry* intMacHead;

int32_t macroQueued;
char macroQueuedArgs[130];
char macroQueuedLabel[33];
// The label of the line being examined.
static char local_label[LABEL_MAX + 1];

int32_t iMem[MACRO_INTS];
MacroPoint pt[MACRO_POINTS];
char mString[MACRO_STRINGS][MACRO_STRING_MAX + 1];
char memoryString[MACRO_STRING_MAX + 1];

static MacroArgSlot argStore[MACRO_ARG_SLOTS];
static char argStoreData[MACRO_ARG_POOL];
static char* argStoreLast = argStoreData;

static const char* const NO_ARGS = "";

void KM_Macros_Init(void)
{
    memoryString[0] = 0;
    for (int i = 0; i < MACRO_STRINGS; ++i)
        mString[i][0] = 0;
    for (int i = 0; i < 10; ++i)
        nullArgs[i] = 0;
    clearMacroArgStore();
}

// ---------------------------------------------------------------- variables

void setMacro_iMem(int n, int32_t value) { iMem[n] = value; }
int32_t getMacro_iMem(int n) { return iMem[n]; }
void setMacro_pt(int n, int32_t x, int32_t y)
{
    pt[n].x = x;
    pt[n].y = y;
}
int32_t getMacro_ptX(int n) { return pt[n].x; }
int32_t getMacro_ptY(int n) { return pt[n].y; }

char* getMacroString2(int n)
{
    return n >= 0 && n < MACRO_STRINGS ? mString[n] : 0;
}

static void copy_string(char* dst, const char* text)
{
    strncpy(dst, text ? text : "", MACRO_STRING_MAX);
    dst[MACRO_STRING_MAX] = 0;
}

void setMacroString2(const char* text, int n)
{
    if (n >= 0 && n < MACRO_STRINGS)
        copy_string(mString[n], text);
}

static void push_onto(char* s, const char* text, int max)
{
    if (!text)
        return;
    if (max <= 0 || max > MACRO_STRING_MAX)
        max = MACRO_STRING_MAX;
    int len = (int)strlen(s);
    if (len >= max)
        return;
    strncat(s, text, (size_t)(max - len));
}

static void pop_from(char* s, int count)
{
    int len = (int)strlen(s);
    if (count < 0 || count > len)
        count = len;
    s[len - count] = 0;
}

void pushMacroString2(const char* text, int n, int max)
{
    if (n >= 0 && n < MACRO_STRINGS)
        push_onto(mString[n], text, max);
}

void pushMacroString(const char* text, int max) { push_onto(memoryString, text, max); }

void popMacroString2(int count, int n)
{
    if (n >= 0 && n < MACRO_STRINGS)
        pop_from(mString[n], count);
}

void popMacroString(int count) { pop_from(memoryString, count); }

// ---------------------------------------------------------------- argument store

static int slot_matches(const MacroArgSlot& s, int hotspot, int kind)
{
    return s.hotspot == hotspot && ((s.flags & MACRO_ARG_PRESS) != 0) == (kind != 0);
}

static int fill_slot(MacroArgSlot& s, int hotspot, int kind, const char* text)
{
    s.hotspot = (int16_t)hotspot;
    s.flags = (uint8_t)((kind ? MACRO_ARG_PRESS : 0) | MACRO_ARG_IN_USE);
    strcpy(s.text, text);
    return 1;
}

int assignMacroArgs(int hotspot, int kind, const char* text)
{
    if (!text)
        return 0;
    hotspot &= 0xFF;
    const int need = (int)strlen(text) + 1;
    for (MacroArgSlot& s : argStore)
        if (slot_matches(s, hotspot, kind)) {
            if (s.text && need <= s.capacity)
                return fill_slot(s, hotspot, kind, text);
            s.hotspot = -1;
            s.flags &= (uint8_t)~MACRO_ARG_IN_USE;
            break;
        }
    MacroArgSlot* best = 0;
    MacroArgSlot* firstFree = 0;
    for (MacroArgSlot& s : argStore) {
        if (s.hotspot != -1 || (s.flags & MACRO_ARG_IN_USE))
            continue;
        if (!firstFree)
            firstFree = &s;
        if (s.text && s.capacity >= need && (!best || s.capacity < best->capacity))
            best = &s;
    }
    if (best)
        return fill_slot(*best, hotspot, kind, text);
    if (!firstFree) {
        pout(":out of macro arg storage slots; all %d in use\r", MACRO_ARG_SLOTS);
        return 0;
    }
    const int left = (int)(argStoreData + MACRO_ARG_POOL - argStoreLast);
    // The capacity is one byte: a longer text cannot be kept in a slot.
    if (need > left || need > 255) {
        pout(":out of macro arg storage space; need %d bytes, %d left\r", need, left);
        return 0;
    }
    firstFree->text = argStoreLast;
    firstFree->capacity = (uint8_t)need;
    argStoreLast += need;
    return fill_slot(*firstFree, hotspot, kind, text);
}

const char* getMacroArgs(int hotspot, int kind)
{
    hotspot &= 0xFF;
    for (const MacroArgSlot& s : argStore)
        if ((s.flags & MACRO_ARG_IN_USE) && slot_matches(s, hotspot, kind))
            return s.text;
    return 0;
}

void releaseMacroArgs(int hotspot, int kind)
{
    hotspot &= 0xFF;
    for (MacroArgSlot& s : argStore)
        if ((s.flags & MACRO_ARG_IN_USE) && slot_matches(s, hotspot, kind)) {
            s.hotspot = -1;
            s.flags &= (uint8_t)~MACRO_ARG_IN_USE;
            return;
        }
}

void clearMacroArgStore(void)
{
    for (MacroArgSlot& s : argStore) {
        s.hotspot = -1;
        s.flags = 0;
        s.capacity = 0;
        s.text = 0;
    }
    argStoreLast = argStoreData;
    memset(argStoreData, 0, sizeof argStoreData);
}

// ---------------------------------------------------------------- hotspot labels

const char* setQueuedMacroLabel(int hotspot, int event)
{
    hotspot &= 0xFF;
    macroQueuedLabel[0] = 0;
    const HotSpot& h = TouchHotSpots[hotspot];
    if (h.type >= SPOT_XOR && h.type <= SPOT_BUTTON) {
        // The press macro takes the press label, the release macro the
        // release label: a press never starts at the release section.
        if (event == 1 && (h.stateFlags & SPOT_ST_PRESS_LABEL))
            snprintf(macroQueuedLabel, sizeof macroQueuedLabel, ":x%d", hotspot);
        else if (event != 1 && (h.stateFlags & SPOT_ST_RELEASE_LABEL))
            snprintf(macroQueuedLabel, sizeof macroQueuedLabel, ":r%d", hotspot);
    } else if (h.type == SPOT_TOGGLE) {
        // A toggle runs its release macro (event 1) or, without one, its
        // press macro (event 0); the section is that of the new state.
        if ((event == 0 && (h.stateFlags & SPOT_ST_PRESS_LABEL)) ||
            (event == 1 && (h.stateFlags & SPOT_ST_RELEASE_LABEL)))
            snprintf(macroQueuedLabel, sizeof macroQueuedLabel, ":s%d_%d", hotspot, buttonState(hotspot));
    }
    return macroQueuedLabel[0] ? macroQueuedLabel : 0;
}

int checkQueuedMacroLabel(int hotspot, const char* label, int event)
{
    hotspot &= 0xFF;
    HotSpot& h = TouchHotSpots[hotspot];
    char expected[LABEL_MAX + 1];
    uint8_t bit;
    if (h.type >= SPOT_XOR && h.type <= SPOT_BUTTON) {
        snprintf(expected, sizeof expected, event == 1 ? ":x%d" : ":r%d", hotspot);
        bit = event == 1 ? SPOT_ST_PRESS_LABEL : SPOT_ST_RELEASE_LABEL;
    } else if (h.type == SPOT_TOGGLE) {
        snprintf(expected, sizeof expected, ":s%d_%d", hotspot, event);
        bit = event == 1 ? SPOT_ST_PRESS_LABEL : SPOT_ST_RELEASE_LABEL;
    } else {
        pout(":no macro label support for hotspot type %d\r", (int)h.type);
        return 0;
    }
    if (!label || strncmp(label, expected, strlen(expected)) != 0) {
        pout(":xm label should be %s\r", expected);
        return 0;
    }
    h.stateFlags |= bit;
    return 1;
}

int bindMacroLabel(int hotspot, const char* label, int event)
{
    if (label)
        return checkQueuedMacroLabel(hotspot, label, event);
    // Bound without a label: the macro runs from its start.
    TouchHotSpots[hotspot & 0xFF].stateFlags &= (uint8_t)~(event == 1 ? SPOT_ST_PRESS_LABEL : SPOT_ST_RELEASE_LABEL);
    return 1;
}

int getMacroArgBytesAvailable(void)
{
    return (int)(argStoreData + MACRO_ARG_POOL - argStoreLast);
}

// ---------------------------------------------------------------- the macro table

// The image's macro table entry (directory entry 0), when it has one.
static const ExtMemDirEntry* macro_dir(void)
{
    const ExtMemHeader* h = ExtMemValidHeader();
    if (!h || h->count < 1 || h->size < ExtMemDirEntryOffset(1))
        return 0;
    const ExtMemDirEntry* d = ExtMemEntry(0);
    if (d->type != EXTMEM_MACROS || d->size == 0)
        return 0;
    return d;
}

// The end of the live image: nothing of a macro is read beyond it.
static const char* image_end(void)
{
    const ExtMemHeader* h = ExtMemValidHeader();
    return h ? (const char*)ExtMemBuffer + h->size : 0;
}

static const ExtMacroEntry* macro_table(uint32_t* count)
{
    const ExtMemDirEntry* d = macro_dir();
    if (!d)
        return 0;
    const ExtMacroEntry* table =
        (const ExtMacroEntry*)ExtMemObject(d->address, (uint64_t)d->size * sizeof(ExtMacroEntry), 4);
    if (!table)
        return 0;
    *count = d->size;
    return table;
}

static int image_writable(void)
{
    return ExtMemBuffer == ExtMemRamBuffer;
}

const ExtMacroEntry* KM_GetMacro(int n)
{
    if (intMacHead)
        return n >= 1 ? &intMacHead[n - 1] : 0;
    if (n < 1 || n > (int)EXTMACRO_MAX)
        return 0;
    uint32_t count;
    const ExtMacroEntry* table = macro_table(&count);
    if (!table || (uint32_t)n > count)
        return 0;
    // Entry n - 1 holds macro n unless the builder skipped a name; then the
    // table is searched for the number.
    const ExtMacroEntry* e = &table[n - 1];
    if (e->number != n) {
        e = 0;
        for (uint32_t i = 0; i < count && !e; ++i)
            if (table[i].number == n)
                e = &table[i];
        if (!e)
            return 0;
    }
    uint32_t text = ExtMemResolve(e->address);
    if (text < ExtMemBase() || text >= hw_addr(image_end()))
        return 0;
    if (image_writable() && e->address != text)
        ((ExtMacroEntry*)e)->address = text;
    return e;
}

void KM_EnableInternalMacros(const ExtMacroEntry* table) { intMacHead = table; }
void KM_DisableInternalMacros(void) { intMacHead = 0; }

static const char* first_line(const ExtMacroEntry* e)
{
    return (const char*)hw_ptr(intMacHead ? e->address : ExtMemResolve(e->address));
}

// Copies the line at p (bounded by the image's end) into buf; returns the
// next line.
static const char* read_line(const char* p, char* buf, int size)
{
    const char* end = intMacHead ? 0 : image_end();
    int n = 0;
    while ((!end || p < end) && *p) {
        if (n < size - 1)
            buf[n++] = *p;
        ++p;
    }
    buf[n] = 0;
    return (!end || p < end) ? p + 1 : p;
}

// ---------------------------------------------------------------- names

// Length of the text at p, which must end before end.
static size_t bounded_len(const char* p, const char* end)
{
    size_t n = 0;
    while (p + n < end && p[n])
        ++n;
    return n;
}

// The name block behind the image's macro table.
static const char* name_block(uint32_t* length, int report)
{
    uint32_t count;
    const ExtMacroEntry* table = intMacHead ? 0 : macro_table(&count);
    if (!table) {
        if (report)
            txNotify(intMacHead ? ":Macro call-by-name not supported\r" : ":No macros loaded\r");
        return 0;
    }
    const ExtMacroNameTable* t = (const ExtMacroNameTable*)(table + count);
    const char* names = (const char*)(t + 1);
    if ((const char*)names > image_end() || t->magic != EXTMACRO_NAMES_MAGIC || t->version != EXTMACRO_NAMES_VERSION ||
        names + t->length > image_end()) {
        if (report)
            txNotify(":Macro meta table not loaded\r");
        return 0;
    }
    *length = t->length;
    return names;
}

const char* convertIndextoStringMacro(int n)
{
    uint32_t length;
    const char* p = name_block(&length, 0);
    if (!p || n < 1)
        return 0;
    const char* end = p + length;
    for (int k = 0; p < end; ++k) {
        size_t len = bounded_len(p, end);
        if (k == n)
            return len && p + len < end ? p : 0;
        p += len + 1;
    }
    return 0;
}

void formatMacroNameString(char* name)
{
    if (!name)
        return;
    int i = 0;
    while (name[i] && !isspace((unsigned char)name[i]) && name[i] != ':' && i < 63)
        ++i;
    name[i] = 0;
}

static int is_number_text(const char* s)
{
    if (!*s)
        return 0;
    for (; *s; ++s)
        if (!isdigit((unsigned char)*s))
            return 0;
    return 1;
}

int convertStringtoIndexMacro(const char* name)
{
    if (!name || !*name) {
        txNotify(":Macro name has improper form\r");
        return 0;
    }
    if (is_number_text(name)) {
        int n = KM_atoi(name);
        if (n >= 1 && n <= (int)EXTMACRO_MAX && !KM_GetMacro(n)) {
            txNotify(":Macro index not found\r");
            return 0;
        }
        return n;
    }
    if (!(isalpha((unsigned char)name[0]) || name[0] == '_')) {
        txNotify(":Macro name has improper form\r");
        return 0;
    }
    for (const char* p = name; *p; ++p)
        if (!(isalnum((unsigned char)*p) || *p == '_')) {
            txNotify(":Macro name has improper form\r");
            return 0;
        }
    uint32_t length;
    const char* p = name_block(&length, 1);
    if (!p)
        return 0;
    const char* end = p + length;
    for (int k = 0; p < end; ++k) {
        size_t len = bounded_len(p, end);
        if (k > 0 && len && p + len < end && strcmp(p, name) == 0) {
            if (!KM_GetMacro(k)) {
                txNotify(":Macro external memory record not found\r");
                return 0;
            }
            return k;
        }
        p += len + 1;
    }
    txNotify(":Macro name not found\r");
    return 0;
}

// ---------------------------------------------------------------- execution

// Splits text in place into at most ten arguments.
static void split_args(char* text, const char* argv[MACRO_ARGS])
{
    for (int i = 0; i < MACRO_ARGS; ++i)
        argv[i] = 0;
    for (char* p = text; *p; ++p)
        if (*p == '\t')
            *p = ' ';
    char* p = text;
    for (int n = 0; n < MACRO_ARGS; ++n) {
        while (*p == ' ')
            ++p;
        if (!*p)
            break;
        if (*p == '"') {
            char* q = ++p;
            while (*q && !(*q == '"' && q[-1] != '\\'))
                ++q;
            argv[n] = p;
            if (!*q)
                break;
            *q = 0;
            p = q + 1;
        } else {
            argv[n] = p;
            while (*p && *p != ' ')
                ++p;
            if (!*p)
                break;
            *p++ = 0;
        }
    }
}

static int is_repeat(const char* line)
{
    return !strncmp(line, ":repeat", 7) && (!line[7] || isspace((unsigned char)line[7]) || line[7] == '/');
}

// The label of a label line: 32 characters at most, no comment, no
// trailing blanks.
static void take_label(char* dst, const char* line)
{
    strncpy(dst, line, LABEL_MAX);
    dst[LABEL_MAX] = 0;
    char* c = strstr(dst, "//");
    if (c)
        *c = 0;
    int n = (int)strlen(dst);
    while (n > 0 && isspace((unsigned char)dst[n - 1]))
        dst[--n] = 0;
}

static const char* skip_blanks(const char* line)
{
    while (*line && isspace((unsigned char)*line) && *line != '\r')
        ++line;
    return line;
}

static int is_label_line(const char* line)
{
    return line[0] == ':' && !is_repeat(line);
}

static int same_label(const char* a, const char* b)
{
    return strncmp(a, b, LABEL_MAX) == 0;
}

// Whether macro e has a label line with the given label, anywhere.
static int has_label(const ExtMacroEntry* e, const char* label)
{
    const char* p = first_line(e);
    for (unsigned k = 0; k < e->lineCount; ++k) {
        char buf[MACRO_LINE + 1];
        p = read_line(p, buf, sizeof buf);
        const char* line = skip_blanks(buf);
        if (!is_label_line(line))
            continue;
        char found[LABEL_MAX + 1];
        take_label(found, line);
        if (same_label(found, label))
            return 1;
    }
    return 0;
}

static void echo_line(int n, const char* cmd)
{
    for (int i = 1; i < macroDepth; ++i)
        txString(" ");
    char head[48];
    const char* name = convertIndextoStringMacro(n);
    if (name)
        snprintf(head, sizeof head, "%d (%.32s): ", n, name);
    else
        snprintf(head, sizeof head, "%d: ", n);
    txString(head);
    txString(cmd);
    txString("\r");
}

// Runs one command line of macro n; the dispatcher's result, or -1 when
// nothing was left to run.
static int run_line(int n, const char* line, const char* const* argv)
{
    char exp[MACRO_LINE];
    char cmd[MACRO_LINE];
    expandVariables(exp, sizeof exp, line, argv);
    if (!killTrailingComment(exp))
        return -1;
    processMath(cmd, sizeof cmd, exp);
    if (macroVerbose)
        echo_line(n, cmd);
    int r = parse_command(cmd);
    LCD_FlushFrameBuffer();
    if (r != CMD_FAIL)
        handle_touch();
    return r;
}

int processMacro(int n, const char* args, const char* label)
{
    char wanted[LABEL_MAX + 1];
    strncpy(wanted, label ? label : "", LABEL_MAX);
    wanted[LABEL_MAX] = 0;
    if (wanted[0] == ':' && isdigit((unsigned char)wanted[1])) {
        txNotify(":label cannot begin with a digit\r");
        return 0;
    }
    const ExtMacroEntry* e = KM_GetMacro(n);
    if (!e) {
        pout(":macro index %d not valid\r", n);
        return 0;
    }
    if (macroDepth >= MAX_MACRO_DEPTH) {
        if (macroVerbose == 1)
            pout(":maximum macro depth of %d exceeded\r", MAX_MACRO_DEPTH);
        return 0;
    }
    ++macroDepth;
    char argText[130];
    strncpy(argText, args ? args : NO_ARGS, sizeof argText - 1);
    argText[sizeof argText - 1] = 0;
    const char* argv[MACRO_ARGS];
    split_args(argText, argv);
    if (macroQueued) {
        txNotify(":no macro commands processed\r");
        --macroDepth;
        return 0;
    }

    // The wanted section, or ":default" when the macro has no such label.
    const char* section = wanted[0] && !has_label(e, wanted) ? ":default" : wanted;
    int result = 0;
    int ran = 0;
    int found = 0;
    // Ended before its last line: by the host, a failing command or a
    // queued macro.  A label is only missing when all the lines were seen.
    int stopped = 0;
restart:
    {
        int positioned = 0, inSection = 0;
        ran = 0;
        const char* p = first_line(e);
        for (unsigned k = 0; k < e->lineCount && !stopped; ++k) {
            char buf[MACRO_LINE + 1];
            p = read_line(p, buf, sizeof buf);
            if (checkAbortCmd()) {
                txNotify(":aborting on *abt\r");
                result = 0;
                stopped = 1;
                break;
            }
            const char* line = skip_blanks(buf);
            if (!*line || *line == '\r')
                continue;
            const int isLabel = is_label_line(line);
            if (isLabel)
                take_label(local_label, line);
            else
                local_label[0] = 0;
            if (isLabel) {
                if (!wanted[0])
                    break;  // the preamble alone
                if (!inSection) {
                    positioned = 1;
                    if (same_label(local_label, section)) {
                        inSection = 1;
                        found = 1;
                        ran = 0;
                    }
                } else {
                    if (!ran)
                        pout(":label \"%s\" has no commands\r", wanted);
                    break;
                }
                continue;
            }
            if (positioned && !inSection)
                continue;
            if (is_repeat(line)) {
                // The loop polls the receive ring for the host's escape.
                hw_wait();
                if (!rs485Mode() && checkEscape()) {
                    txNotify(":aborting on Escape\r");
                    result = 0;
                    stopped = 1;
                    break;
                }
                if (macroQueued) {
                    stopped = 1;
                    break;
                }
                goto restart;
            }
            int r = run_line(n, line, argv);
            if (r >= 0) {
                result = r;
                if (r == CMD_FAIL) {
                    stopped = 1;
                    break;
                }
                ++ran;
            }
            if (macroQueued) {
                stopped = 1;
                break;
            }
        }
    }
    if (!stopped && wanted[0] == ':' && !found) {
        pout(":label \"%s\" not found\r", wanted);
        result = 0;
    }
    --macroDepth;
    if (!ran)
        txNotify(":no macro commands processed\r");
    return result;
}

// ---------------------------------------------------------------- the queue

void scheduleMacro(int n, const char* args)
{
    if (n == 0)
        return;
    macroQueued = n;
    if (n < 512) {
        strncpy(macroQueuedArgs, args ? args : "", sizeof macroQueuedArgs - 1);
        macroQueuedArgs[sizeof macroQueuedArgs - 1] = 0;
    }
}

int pendingMacro(void)
{
    return macroQueued >= 512 ? macroQueued - 512 : macroQueued;
}

void processScheduledMacro(void)
{
    int n = pendingMacro();
    macroQueued = 0;
    if (!n)
        return;
    char args[sizeof macroQueuedArgs];
    char label[sizeof macroQueuedLabel];
    memcpy(args, macroQueuedArgs, sizeof args);
    memcpy(label, macroQueuedLabel, sizeof label);
    // The label belongs to this request only.
    macroQueuedLabel[0] = 0;
    processMacro(n, args, label[0] ? label : 0);
}

// ---------------------------------------------------------------- host commands

static void list_macro(const ExtMacroEntry* e)
{
    const char* name = convertIndextoStringMacro(e->number);
    if (name)
        snprintf(out_buffer, OUT_BUFFER_SIZE, "  #%d: %.100s\r", e->number, name);
    else
        snprintf(out_buffer, OUT_BUFFER_SIZE, "  #%d:\r", e->number);
    txString(out_buffer);
    const char* p = first_line(e);
    for (unsigned k = 0; k < e->lineCount; ++k) {
        char buf[MACRO_LINE + 1];
        p = read_line(p, buf, sizeof buf);
        char line[sizeof buf + 8];
        snprintf(line, sizeof line, "    '%s'\r", buf);
        txLongString(line);
    }
}

int cmdMacroList(char* cmd)
{
    uint32_t count = 0;
    const ExtMacroEntry* table = macro_table(&count);
    int n;
    if (KM_sscanf(cmd, "lsmac %d", &n) == 1) {
        const ExtMacroEntry* e = n >= 1 && (uint32_t)n <= count ? KM_GetMacro(n) : 0;
        if (!e) {
            txString(":index outside valid range\r");
            return CMD_FAIL;
        }
        txString("Macro Definition\r");
        list_macro(e);
        return CMD_OK;
    }
    txString("Macro Definitions\r");
    for (uint32_t i = 0; table && i < count; ++i) {
        const ExtMacroEntry* e = KM_GetMacro(table[i].number);
        if (e == &table[i])
            list_macro(e);
    }
    return CMD_OK;
}

// "xa n kind macro[:label] arguments": hotspot n starts the macro with the
// argument text on a press (kind p or 1) or a release (kind r or 0); "xa"
// switches the hotspot's reports on, "xaq" off.  "xa" alone reports the
// bytes left in the argument store.
int cmdMacroArgs(char* cmd)
{
    const int quiet = cmd[2] == 'q';
    if (quiet)
        cmd[2] = ' ';
    char* p = skipLeadingWhitespace(cmd + 2);
    if (!*p) {
        snprintf(out_buffer, OUT_BUFFER_SIZE, "%d\r", getMacroArgBytesAvailable());
        txString(out_buffer);
        return CMD_OK;
    }
    int n, pos = 0;
    char kindWord[8], macroWord[64];
    if (KM_sscanf(p, "%d %7s %63s %n", &n, kindWord, macroWord, &pos) < 3) {
        txString(":missing argument\r");
        return CMD_FAIL;
    }
    if (n < 0 || n >= HOTSPOTS || TouchHotSpots[n].type == SPOT_FREE) {
        txString(":index outside valid range\r");
        return CMD_FAIL;
    }
    int kind;
    if (!strcmp(kindWord, "p") || !strcmp(kindWord, "1"))
        kind = 1;
    else if (!strcmp(kindWord, "r") || !strcmp(kindWord, "0"))
        kind = 0;
    else {
        txString(":invalid argument\r");
        return CMD_FAIL;
    }
    char* label = strchr(macroWord, ':');
    char name[64];
    snprintf(name, sizeof name, "%s", macroWord);
    formatMacroNameString(name);
    const int m = convertStringtoIndexMacro(name);
    if (m < 1 || m > (int)EXTMACRO_MAX || !KM_GetMacro(m))
        return CMD_FAIL;
    if (!bindMacroLabel(n, label, kind))
        return CMD_FAIL;
    const char* args = pos ? p + pos : "";
    if (!assignMacroArgs(n, kind, args))
        return CMD_FAIL;
    HotSpot& h = TouchHotSpots[n];
    if (kind)
        h.pressMacro = (uint8_t)m;
    else
        h.releaseMacro = (uint8_t)m;
    if (quiet)
        h.eventFlags &= (uint8_t)~SPOT_EV_REPORT;
    else
        h.eventFlags |= SPOT_EV_REPORT;
    return CMD_OK;
}

static int syntax_error(void)
{
    txNotify(":err - syntax\r");
    return CMD_FAIL;
}

// A value written in decimal or, after "0x", in hexadecimal, read as the
// board's 32-bit long reads it.
static int read_value(const char* text, int32_t* value, int* hex)
{
    while (isspace((unsigned char)*text))
        ++text;
    char* end;
    *hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (*hex)
        *value = (int32_t)KM_strtoul(text + 2, &end, 16);
    else
        *value = KM_strtol(text, &end, 10);
    return end != text + (*hex ? 2 : 0);
}

int cmdMacroSet(char* cmd)
{
    int n, pos = 0;
    unsigned h;
    int32_t v;
    int hex;
    int x, y;
    if (KM_sscanf(cmd, "%*s i%d %n", &n, &pos) == 1 && pos) {
        if (n < 0 || n >= MACRO_INTS) {
            pout(":err - arg must be i0 thru i%d\r", MACRO_INTS - 1);
            return CMD_FAIL;
        }
        if (!read_value(cmd + pos, &v, &hex))
            return syntax_error();
        setMacro_iMem(n, v);
        return CMD_OK;
    }
    pos = 0;
    if (KM_sscanf(cmd, "%*s e%x %n", &h, &pos) == 1 && pos) {
        if (h > 0xF) {
            txNotify(":err - arg must be e0 thru eF\r");
            return CMD_FAIL;
        }
        if (!read_value(cmd + pos, &v, &hex))
            return syntax_error();
        if (v < 0 || v > 255) {
            txNotify(hex ? ":err - value must be 0x00 thru 0xFF\r" : ":err - value must be 0 thru 255\r");
            return CMD_FAIL;
        }
        return KM_EEPROM_WriteUserByte((int)h, (uint8_t)v) ? CMD_OK : CMD_FAIL;
    }
    if (KM_sscanf(cmd, "set p%d %d %d", &n, &x, &y) == 3) {
        if (n < 0 || n >= MACRO_POINTS) {
            txNotify(":err - arg must be p0 thru p9\r");
            return CMD_FAIL;
        }
        setMacro_pt(n, x, y);
        return CMD_OK;
    }
    pos = 0;
    if (KM_sscanf(cmd, "set s%d%n", &n, &pos) == 1) {
        if (n < 0 || n >= MACRO_STRINGS) {
            txNotify(":err - arg must be s0 thru s9\r");
            return CMD_FAIL;
        }
        char* text = skipLeadingWhitespace(cmd + pos);
        if (!*text) {
            txNotify(":err - text argument missing\r");
            return CMD_FAIL;
        }
        if (*text == '"') {
            char* rest;
            text = escstr(text, '"', &rest);
            if (!text)
                return syntax_error();
        }
        setMacroString2(text, n);
        return CMD_OK;
    }
    return syntax_error();
}

int cmdMacroGet(char* cmd)
{
    int n;
    unsigned h;
    if (KM_sscanf(cmd, "%*s i%d", &n) == 1) {
        if (n < 0 || n >= MACRO_INTS) {
            pout(":err - arg must be i0 thru i%d\r", MACRO_INTS - 1);
            return CMD_FAIL;
        }
        pout("%ld\r", (long)iMem[n]);
        return CMD_OK;
    }
    if (KM_sscanf(cmd, "%*s e%x", &h) == 1) {
        if (h > 0xF) {
            txNotify(":err - arg must be e0 thru eF\r");
            return CMD_FAIL;
        }
        pout("%d\r", KM_EEPROM_ReadUserByte((int)h));
        return CMD_OK;
    }
    if (KM_sscanf(cmd, "%*s p%d", &n) == 1) {
        if (n < 0 || n >= MACRO_POINTS) {
            txNotify(":err - arg must be p0 thru p9\r");
            return CMD_FAIL;
        }
        pout("%ld %ld\r", (long)pt[n].x, (long)pt[n].y);
        return CMD_OK;
    }
    if (KM_sscanf(cmd, "%*s s%d", &n) == 1) {
        if (n < 0 || n >= MACRO_STRINGS) {
            txNotify(":err - arg must be s0 thru s9\r");
            return CMD_FAIL;
        }
        // In quotes, so that leading and trailing blanks show.
        pout("\"%s\"\r", mString[n]);
        return CMD_OK;
    }
    return syntax_error();
}

int cmdMacroPush(char* cmd)
{
    char* p = skipLeadingWhitespace(cmd + 5);
    int n = -1;
    if (isdigit((unsigned char)*p) || *p == '-') {
        n = KM_strtol(p, &p, 10);
        if (n < 0 || n >= MACRO_STRINGS)
            return CMD_FAIL;
        p = skipLeadingWhitespace(p);
    }
    if (*p != '"')
        return CMD_FAIL;
    char* rest;
    char* text = escstr(p, '"', &rest);
    if (!text)
        return CMD_FAIL;
    int max = 0;
    if (rest)
        KM_sscanf(rest, "%d", &max);
    if (n >= 0)
        pushMacroString2(text, n, max);
    else
        pushMacroString(text, max);
    return CMD_OK;
}

int cmdMacroPop(char* cmd)
{
    int n, count;
    int got = KM_sscanf(cmd, "mpop %d %d", &n, &count);
    if (got == 2) {
        if (n < 0 || n >= MACRO_STRINGS)
            return CMD_FAIL;
        popMacroString2(count, n);
        return CMD_OK;
    }
    if (got == 1) {
        popMacroString(n);
        return CMD_OK;
    }
    return syntax_error();
}

// After the macro: an optional start label, then the argument text.
static int call_with_rest(int n, char* rest)
{
    rest = skipLeadingWhitespace(rest);
    char label[LABEL_MAX + 1];
    label[0] = 0;
    if (rest[0] == ':' && rest[1] && !isspace((unsigned char)rest[1])) {
        int i = 0;
        while (rest[i] && !isspace((unsigned char)rest[i]) && i < LABEL_MAX) {
            label[i] = rest[i];
            ++i;
        }
        label[i] = 0;
        while (rest[i] && !isspace((unsigned char)rest[i]))
            ++i;
        rest = skipLeadingWhitespace(rest + i);
    }
    return processMacro(n, rest, label[0] ? label : 0);
}

int cmdMacroCall(char* cmd)
{
    if (cmd[0] != 'm')
        return -1;
    // A number only directly after the "m": after white space comes a
    // name, whatever it looks like ("m -1" is a name of improper form).
    char* end = cmd + 1;
    const int32_t n = isspace((unsigned char)cmd[1]) ? 0 : KM_strtol(cmd + 1, &end, 10);
    if (end != cmd + 1 && n != 0)
        return call_with_rest(n, end);
    int byName = isspace((unsigned char)cmd[1]) || (end != cmd + 1 && n == 0);
    if (!byName)
        return -1;
    char* p = skipLeadingWhitespace(end != cmd + 1 ? end : cmd + 1);
    char name[64];
    int i = 0;
    while (p[i] && !isspace((unsigned char)p[i]) && p[i] != ':' && i < 63) {
        name[i] = p[i];
        ++i;
    }
    name[i] = 0;
    while (p[i] && !isspace((unsigned char)p[i]) && p[i] != ':')
        ++i;
    formatMacroNameString(name);
    int m = convertStringtoIndexMacro(name);
    if (m <= 0)
        return CMD_FAIL;
    return call_with_rest(m, p + i);
}

int cmdMacroBinaryCall(const char* cmd)
{
    return processMacro((uint8_t)cmd[2], "", 0);
}

int cmdMacroDebug(int value)
{
    macroVerbose = (uint8_t)value;
    if (value)
        txString("on\r");
    return CMD_OK;
}

int cmdMacroNote(char* cmd)
{
    static const char* const names[4] = {"off\r", "start\r", "end\r", "both\r"};
    int n;
    // A number outside 0..3 is not stored; the setting is replied either way.
    if (KM_sscanf(cmd, "*macnote %d", &n) == 1 && n >= 0 && n <= 3)
        macroNotify = (uint8_t)n;
    txString(names[macroNotify & 3]);
    return CMD_OK;
}

// A macro given by name or number on a configuration command; 0 when
// there is none.
static int macro_argument(char* word)
{
    formatMacroNameString(word);
    return convertStringtoIndexMacro(word);
}

int cmdDemoMacro(char* cmd)
{
    char word[64];
    if (KM_sscanf(cmd, "*DEMOMAC %63s", word) != 1) {
        snprintf(out_buffer, OUT_BUFFER_SIZE, "%d\r", eepromData.demoMacro);
        txString(out_buffer);
        return CMD_OK;
    }
    int n = macro_argument(word);
    if (n < 1 || n > (int)EXTMACRO_MAX || !KM_GetMacro(n))
        return CMD_FAIL;
    eepromData.demoMacro = (uint8_t)n;
    KM_EEPROM_Save();
    return CMD_OK;
}

int cmdPowerOnMacro(char* cmd)
{
    char word[64];
    int second = 0;
    int got = KM_sscanf(cmd, "*PONMAC %63s %d", word, &second);
    if (got < 1) {
        snprintf(out_buffer, OUT_BUFFER_SIZE, "%d\r", eepromData.PONMAC);
        txString(out_buffer);
        return CMD_OK;
    }
    // 0 and 255 are no macro: they clear the power-on macro.
    const int clear = !strcmp(word, "0") || !strcmp(word, "255");
    int n = clear ? 0 : macro_argument(word);
    if (!clear && n == 0)
        return CMD_FAIL;
    if (clear) {
        eepromData.PONMAC = 0xFF;
        eepromData.PONMACnoBanner = 0xFF;
    } else {
        if (n < 0 || n > (int)EXTMACRO_MAX || !KM_GetMacro(n))
            return CMD_FAIL;
        eepromData.PONMAC = (uint8_t)n;
        if (got == 2 && second == 1)
            eepromData.PONMACnoBanner = EE_ON;
    }
    if (got == 2) {
        snprintf(out_buffer, OUT_BUFFER_SIZE, "%d\r", eepromData.PONMAC);
        txString(out_buffer);
    }
    KM_EEPROM_Save();
    return CMD_OK;
}
