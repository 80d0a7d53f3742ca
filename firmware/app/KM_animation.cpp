#include "app/KM_animation.h"

#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <stdint.h>
#include <string.h>

#include "app/KM_fonts.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/KM_timer.h"
#include "app/command.h"
#include "app/parse_command.h"
#include "graphics/GUI.h"

#define RUNNING 3
#define LEAST_NONE INT32_MAX  // no script waits: any delay is scheduled
// Byte that marks a frame inside a line.
#define FRAME_MARK 0x80
// A script line as the dispatcher takes it.
#define SCRIPT_LINE 130

int32_t ExecState;
AnimationSlot dta[ANIMATION_SLOTS];
char anibuf[ANIMATION_POOL];
char* anibuf_ptr = anibuf;
int32_t last_minT;

static int running(void)
{
    return ExecState == RUNNING;
}

static int free_bytes(void)
{
    return ANIMATION_POOL - (int)(anibuf_ptr - anibuf);
}

void init_animation(void)
{
    if (running())
        return;
    memset(dta, 0, sizeof dta);
    animateTimer = -1;
    anibuf_ptr = anibuf;
}

int DeleteAnimation(int id)
{
    if (id < 0 || id >= ANIMATION_SLOTS || !dta[id].first)
        return 0;
    AnimationSlot& s = dta[id];
    char* behind = s.last + 1;
    const int size = (int)(behind - s.first);
    memmove(s.first, behind, (size_t)(anibuf_ptr - behind));
    for (AnimationSlot& o : dta)
        if (o.first && o.first > s.first) {
            o.first -= size;
            o.last -= size;
            o.cur -= size;
        }
    anibuf_ptr -= size;
    memset(&s, 0, sizeof s);
    return 1;
}

int DoAnimationAdd(const char* line)
{
    if (running())
        return 0;
    // "ani+ " reads its id after the '+', as "ani " does after the blank.
    const int at = line[3] == '+' ? 4 : 3;
    int id;
    if (KM_sscanf(line + at, "%d", &id) != 1 || id < 0 || id >= ANIMATION_SLOTS)
        return 0;
    AnimationSlot& s = dta[id];
    if (s.first && s.last + 1 != anibuf_ptr)
        return 0;
    const char* p = line + at + 1;
    while (*p && !isdigit((unsigned char)*p))
        ++p;
    if (*p)
        ++p;
    while (*p == ' ' || *p == '\t')
        ++p;
    char text[SCRIPT_LINE];
    int n = 0;
    while (p[n] && p[n] != '\r' && p[n] != '\n' && n < SCRIPT_LINE - 1) {
        text[n] = p[n];
        ++n;
    }
    text[n] = 0;
    killTrailingComment(text);
    n = (int)strlen(text);
    if (n + 1 > free_bytes()) {
        txString(":animation won't fit in storage\r");
        DeleteAnimation(id);
        return 0;
    }
    memcpy(anibuf_ptr, text, (size_t)n + 1);
    if (!s.first) {
        s.first = anibuf_ptr;
        s.cur = anibuf_ptr;
        s.state = -1;
    }
    s.last = anibuf_ptr + n;
    anibuf_ptr += n + 1;
    return 1;
}

static char* next_line(const AnimationSlot& s, char* p)
{
    p += strlen(p) + 1;
    return p > s.last ? s.first : p;
}

static int is_marker(const char* line)
{
    return line[0] == 'y' || strchr(line, FRAME_MARK) != 0;
}

// Leaves the script so that its next run shows frame n and stops at its
// yield; a frame it does not have leaves it idle.
static void position(int id, int n, int haveFrame, int32_t state)
{
    AnimationSlot& s = dta[id];
    if (!s.first)
        return;
    char* afterPrevious = s.first;
    int m = 0;
    for (char* p = s.first; haveFrame && p <= s.last; p += strlen(p) + 1) {
        if (!is_marker(p))
            continue;
        if (m == n) {
            s.cur = afterPrevious > s.last ? s.first : afterPrevious;
            s.state = state;
            // A script due at once runs on the next pass.
            if (animateTimer < 0)
                animateTimer = 0;
            return;
        }
        ++m;
        afterPrevious = p + strlen(p) + 1;
    }
    s.state = 0;
}

// One run of a due script: lines from cur up to its next yield.
static void run_script(AnimationSlot& s)
{
    const int32_t startState = s.state;
    char* const start = s.cur;
    // A run never takes more steps than the script has bytes.
    int steps = (int)(s.last - s.first) + 2;
    while (steps-- > 0) {
        char* line = s.cur;
        char buf[SCRIPT_LINE];
        int n = 0;
        while (line[n] && line[n] != '\n' && n < SCRIPT_LINE - 1) {
            buf[n] = line[n];
            ++n;
        }
        buf[n] = 0;
        if (buf[0] == 'y') {
            if (startState < -1 || buf[2] == 's')
                s.state = -1;
            else
                s.state = KM_atoi(buf + 2);
            s.cur = line + strlen(line);
            return;
        }
        if (buf[0])
            parse_command(buf);
        s.cur = next_line(s, line);
        if (s.cur == start) {
            if (startState >= -1) {
                s.state = -2;
            } else {
                const int yieldInside = start[0] && strchr(start + 1, 'y');
                if (startState == -2)
                    s.state = -1;
                else if (startState == -3)
                    s.state = yieldInside ? -2 : -1;
                else
                    s.state = yieldInside ? -1 : -2;
            }
            return;
        }
    }
    s.state = -1;
}

int handle_animation(void)
{
    if (animateTimer != 0)
        return 0;
    const int32_t saved = ExecState;
    ExecState = RUNNING;
    SaveState(&AniGDI);
    int32_t least = LEAST_NONE;
    int ran = 0;
    for (AnimationSlot& s : dta) {
        if (!s.first || s.state == 0 || s.state == -1)
            continue;
        int due = s.state < -1;
        if (s.state > 0) {
            s.state -= last_minT;
            if (s.state <= 0) {
                s.state = 0;
                due = 1;
            }
        }
        if (due) {
            run_script(s);
            ran = 1;
        }
    }
    for (const AnimationSlot& s : dta)
        if (s.first && s.state > 0 && s.state < least)
            least = s.state;
    ExecState = saved;
    RestoreState(&AniGDI);
    if (least < LEAST_NONE) {
        last_minT = least;
        animateTimer = least;
    }
    return ran;
}

// ---------------------------------------------------------------- commands

static int has_yield_after_first(const AnimationSlot& s)
{
    for (char* p = s.first + strlen(s.first) + 1; p <= s.last; p += strlen(p) + 1)
        if (p[0] == 'y')
            return 1;
    return 0;
}

static int enable(int id, int needYield)
{
    if (id < 0 || id >= ANIMATION_SLOTS)
        return CMD_FAIL;
    AnimationSlot& s = dta[id];
    if (!s.first)
        return CMD_OK;
    if (needYield && !has_yield_after_first(s)) {
        txString(":animation must contain a yield\r");
        return CMD_FAIL;
    }
    s.state = 1;
    if (animateTimer <= 0)
        animateTimer = 1;
    return CMD_OK;
}

static void send_script_line(int id, const char* line)
{
    int printable = 0;
    for (const char* p = line; *p; ++p)
        if ((uint8_t)*p >= 0x20)
            printable = 1;
    if (!printable)
        return;
    // One text however long its escapes make it: "ani", the slot, the line
    // with each control byte as four characters, CR.
    char text[8 + 4 * SCRIPT_LINE + 2];
    int n = snprintf(text, sizeof text, "ani %d ", id);
    for (const char* p = line; *p && n < (int)sizeof text - 6; ++p) {
        if ((uint8_t)*p < 0x20)
            n += snprintf(text + n, sizeof text - n, "\\x%02x", (uint8_t)*p);
        else
            text[n++] = *p;
    }
    text[n++] = '\r';
    text[n] = 0;
    txLongString(text);
}

static void list_slot(int id)
{
    const AnimationSlot& s = dta[id];
    if (!s.first)
        return;
    const int size = (int)(s.last + 1 - s.first);
    if (s.state == -2)
        snprintf(out_buffer, OUT_BUFFER_SIZE, "// ani:%d Stopping Size: %d\r", id, size);
    else if (s.state == -1)
        snprintf(out_buffer, OUT_BUFFER_SIZE, "// ani:%d Stopped Size: %d\r", id, size);
    else
        snprintf(out_buffer, OUT_BUFFER_SIZE, "// ani:%d count: %d Size: %d\r", id, (int)s.state, size);
    txString(out_buffer);
    for (char* p = s.first; p <= s.last; p += strlen(p) + 1)
        send_script_line(id, p);
}

static int list(const char* cmd)
{
    if (strlen(cmd) <= 4) {
        snprintf(out_buffer, OUT_BUFFER_SIZE, "Free: %d\r", free_bytes());
        txString(out_buffer);
        return CMD_OK;
    }
    int id;
    if (KM_sscanf(cmd + 4, "%d", &id) == 1) {
        if (id < 0 || id >= ANIMATION_SLOTS)
            return CMD_FAIL;
        list_slot(id);
        return CMD_OK;
    }
    for (int i = 0; i < ANIMATION_SLOTS; ++i)
        list_slot(i);
    return CMD_OK;
}

static int add_line(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static int add_line(const char* fmt, ...)
{
    char line[SCRIPT_LINE + 16];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    return n > 0 && n < SCRIPT_LINE && DoAnimationAdd(line);
}

static uint32_t rgb_of(uint32_t bgr)
{
    return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

// "tf id period": a script that shows a text and erases it, each for one
// period.
static int text_flash(const char* cmd, int id, int got, int period)
{
    if (running() || strlen(cmd) > 120 || id < 0 || id >= ANIMATION_SLOTS)
        return CMD_FAIL;
    const char* open = strchr(cmd, '"');
    if (!open)
        return CMD_FAIL;
    const char* close = open + 1;
    while (*close && !(*close == '"' && close[-1] != '\\'))
        ++close;
    if (!*close)
        return CMD_FAIL;
    char text[SCRIPT_LINE];
    const int len = (int)(close + 1 - open);
    memcpy(text, open, (size_t)len);
    text[len] = 0;
    if (got < 2)
        period = 500;
    DeleteAnimation(id);
    static const char horizontal[] = "LRCX";
    static const char vertical[] = "TBCC";
    const int align = GUI_GetTextAlign();
    const uint32_t fg = rgb_of(GUI_GetColor()), bg = rgb_of(GUI_GetBkColor());
    const int cx = GUI_GetDispPosX() - Origin_X, cy = GUI_GetDispPosY() - Origin_Y;
    const char* font = current_font ? current_font->name : "16";
    int ok = add_line("ani %d f %s", id, font) && add_line("ani %d S %06x %06x", id, (unsigned)fg, (unsigned)bg) &&
             add_line("ani %d ta %c%c", id, horizontal[align & 3], vertical[(align >> 2) & 3]) &&
             add_line("ani %d o %d %d", id, (int)Origin_X, (int)Origin_Y) &&
             add_line("ani %d sc %d %d", id, cx, cy) && add_line("ani %d tm N", id) &&
             add_line("ani %d T %s", id, text) && add_line("ani %d y %d", id, period) &&
             // The second half draws the text in the background colour.
             add_line("ani %d S %06x %06x", id, (unsigned)bg, (unsigned)bg) &&
             add_line("ani %d sc %d %d", id, cx, cy) && add_line("ani %d T %s", id, text) &&
             add_line("ani %d y %d", id, period);
    return ok ? CMD_OK : CMD_FAIL;
}

static int prefix(const char* cmd, const char* kw)
{
    return strncmp(cmd, kw, strlen(kw)) == 0;
}

int cmdAnimation(char* cmd)
{
    int id, n;
    if (prefix(cmd, "anic") || prefix(cmd, "tfc")) {
        init_animation();
        return CMD_OK;
    }
    int got = KM_sscanf(cmd, "tfd %d %d", &id, &n);
    if (got == 2) {
        if (id < 0 || id >= ANIMATION_SLOTS)
            return CMD_FAIL;
        position(id, n, 1, n == 0 ? -3 : -4);
        return CMD_OK;
    }
    got = KM_sscanf(cmd, "anid %d %d", &id, &n);
    if (got >= 1) {
        if (id < 0 || id >= ANIMATION_SLOTS)
            return CMD_FAIL;
        position(id, got == 2 ? n : 0, got == 2, -2);
        return CMD_OK;
    }
    if (prefix(cmd, "tfd ")) {
        if (KM_sscanf(cmd, "tfd %d", &id) != 1 || id < 0 || id >= ANIMATION_SLOTS)
            return CMD_FAIL;
        position(id, 0, 0, 0);
        return CMD_OK;
    }
    if ((KM_sscanf(cmd, "anix %d", &id) == 1 || KM_sscanf(cmd, "tfx %d", &id) == 1) && !running()) {
        DeleteAnimation(id);
        return CMD_OK;
    }
    if (prefix(cmd, "anis") || prefix(cmd, "tfs")) {
        for (AnimationSlot& s : dta)
            s.cur = s.first;
        if (animateTimer <= 0)
            animateTimer = 0;
        return CMD_OK;
    }
    if (KM_sscanf(cmd, "tfe %d", &id) == 1)
        return enable(id, 0);
    if (KM_sscanf(cmd, "anie %d", &id) == 1)
        return enable(id, 1);
    if (prefix(cmd, "anie"))
        return CMD_FAIL;
    if (prefix(cmd, "ani ") || prefix(cmd, "ani+ "))
        return DoAnimationAdd(cmd) ? CMD_OK : CMD_FAIL;
    got = KM_sscanf(cmd, "tf %d%d", &id, &n);
    if (got >= 1)
        return text_flash(cmd, id, got, n);
    if (prefix(cmd, "tf?") || prefix(cmd, "ani?"))
        return list(cmd);
    return -1;
}
