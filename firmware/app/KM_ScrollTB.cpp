#include "app/KM_ScrollTB.h"

#include <stdio.h>
#include <string.h>

#include "app/KM_draw.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/parse_command.h"
#include "config/build_config.h"
#include "graphics/GUI.h"

ScrollTB stbCommon[STB_BOXES];
ScrollTBBuffer stbBuffer[STB_BUFFERS];
DrawingState stbTempState;

void STB_InitScrollTB_Resources(void)
{
    for (int i = 0; i < STB_BOXES; ++i) {
        ScrollTB* b = &stbCommon[i];
        b->type = -1;
        b->dispLines = b->dispChars = b->fHt = b->fWd = b->numLines = 0;
    }
    for (int i = 0; i < STB_BUFFERS; ++i) {
        ScrollTBBuffer* b = &stbBuffer[i];
        b->type = -1;
        b->curLine = b->curChar = b->bufTopLine = b->numBufLines = b->spare = 0;
        memset(b->lines, 0, sizeof b->lines);
    }
}

static ScrollTB* definedBox(int n)
{
    if (n < 0 || n >= STB_BOXES || stbCommon[n].type != 0)
        return 0;
    return &stbCommon[n];
}

void stbScrollArea(int x0, int y0, int x1, int y1, int n, const char* dir)
{
    // Only the part on the panel has pixels to move.
    if (x0 < 0)
        x0 = 0;
    if (y0 < 0)
        y0 = 0;
    if (x1 > PANEL_WIDTH - 1)
        x1 = PANEL_WIDTH - 1;
    if (y1 > PANEL_HEIGHT - 1)
        y1 = PANEL_HEIGHT - 1;
    if (x0 > x1 || y0 > y1)
        return;
    scroll(x0 - Origin_X, y0 - Origin_Y, x1 - Origin_X, y1 - Origin_Y, n, dir);
}

int stbLayGrid(int x0, int y0, int x1, int y1, int maxCols, DrawingState* state, StbGrid* g)
{
    const int wd = GUI_GetCharDistX('W');
    if (GUI_GetCharDistX(' ') != wd || wd <= 0)
        return STB_GRID_PROPORTIONAL;
    if (!(y0 < y1 && x0 < x1))
        return STB_GRID_REFUSED;
    // Rows are drawn in 16-bit rectangles: the panel must lie in the
    // coordinates' room, and its size is then no overflow either.
    int at[4] = {x0, y0, x1, y1};
    if (!placeAtOrigin(at, 2))
        return STB_GRID_REFUSED;
    const int ht = GUI_GetFontDistY();
    if (ht <= 0)
        return STB_GRID_REFUSED;
    const int rows = (y1 - y0 + 1) / ht;
    const int cols = (x1 - x0 + 1) / wd;
    if (rows <= 1 || cols <= 0 || cols > maxCols)
        return STB_GRID_REFUSED;
    SaveState(state);
    g->x0 = at[0];
    g->y0 = at[1];
    g->x1 = at[2];
    g->y1 = at[3];
    const int mx = (g->x1 - g->x0 + 1 - cols * wd) / 2;
    const int my = (g->y1 - g->y0 + 1 - rows * ht) / 2;
    g->cx0 = g->x0 + mx;
    g->cy0 = g->y0 + my;
    g->cx1 = g->x1 - mx;
    g->cy1 = g->y1 - my;
    g->rows = rows;
    g->cols = cols;
    g->fHt = ht;
    g->fWd = wd;
    state->penSize = 1;
    state->drawMode = 0;
    state->textAlign = 0;
    state->textModeName = "N";
    state->textMode = 0;
    return STB_GRID_OK;
}

void stbDrawRow(int x0, int x1, int y0, int fHt, int row, const char* text, int align)
{
    GUI_Area r;
    r.x0 = (int16_t)x0;
    r.x1 = (int16_t)x1;
    r.y0 = (int16_t)(y0 + row * fHt);
    r.y1 = (int16_t)(y0 + row * fHt + fHt - 1);
    GUI_DispStringInRect(text, &r, align);
}

void stbShiftArea(int x0, int y0, int x1, int y1, int count, int n, const char* dir)
{
    if (count <= 1)
        GUI_ClearRect(x0, y0, x1, y1);
    else
        stbScrollArea(x0, y0, x1, y1, n, dir);
}

void stbEnter(DrawingState* saved, const DrawingState* own)
{
    SaveState(saved);
    RestoreState(own);
}

void stbLeave(const DrawingState* saved)
{
    RestoreState(saved);
}

char* stbQuotedText(char* cmd)
{
    char* rest;
    int len;
    char* q = strchr(cmd, '"');
    if (!q)
        return 0;
    char* s = escstrl(q, '"', &rest, &len);
    if (!s)
        return 0;
    s[len] = 0;
    return s;
}

static void drawRow(const ScrollTB* b, int row, const char* text)
{
    stbDrawRow(b->x0, b->x1, b->y0, b->fHt, row, text, b->state.textAlign);
}

// The text area moved by one line height; a box of one row is cleared.
// scroll() adds the current origin, so it is taken off here.
static void shiftArea(const ScrollTB* b, const char* dir)
{
    stbShiftArea(b->x0, b->y0, b->x1, b->y1, b->dispLines, b->fHt, dir);
}

static void enter(ScrollTB* b)
{
    stbEnter(&stbTempState, &b->state);
}

static void leave(void)
{
    stbLeave(&stbTempState);
}

int STB_DefineScrollTB(int n, int type, int x0, int y0, int x1, int y1)
{
    if (n < 0 || n >= STB_BOXES || type != 0)
        return 0;
    ScrollTB* b = &stbCommon[n];
    StbGrid g;
    // A row must fit in what one command line can carry.
    if (stbLayGrid(x0, y0, x1, y1, STB_BUF_CHARS - 1, &b->state, &g) != STB_GRID_OK)
        return 0;
    b->x0 = g.cx0;
    b->y0 = g.cy0;
    b->x1 = g.cx1;
    b->y1 = g.cy1;
    b->type = 0;
    b->dispLines = g.rows;
    b->dispChars = g.cols;
    b->fHt = g.fHt;
    b->fWd = g.fWd;
    b->numLines = 0;
    GUI_ClearRect(g.x0, g.y0, g.x1, g.y1);
    return 1;
}

int STB_QueryScrollTB(int n, int* lines, int* chars, int* a, int* b)
{
    const ScrollTB* box = definedBox(n);
    if (!box)
        return 0;
    *lines = box->dispLines;
    *chars = box->dispChars;
    *a = 0;
    *b = 0;
    return 1;
}

int STB_ClearScrollTB(int n)
{
    ScrollTB* b = definedBox(n);
    if (!b)
        return 0;
    enter(b);
    GUI_ClearRect(b->x0, b->y0, b->x1, b->y1);
    leave();
    b->numLines = 0;
    return 1;
}

static int fits(const ScrollTB* b, const char* text)
{
    return b && (int)strlen(text) <= b->dispChars;
}

int STB_AppendScrollTB(int n, const char* text)
{
    ScrollTB* b = definedBox(n);
    if (!fits(b, text))
        return 0;
    enter(b);
    if (b->numLines >= b->dispLines) {
        shiftArea(b, "u");
        b->numLines -= 1;
    }
    drawRow(b, b->numLines, text);
    b->numLines += 1;
    leave();
    return 1;
}

int STB_PrependScrollTB(int n, const char* text)
{
    ScrollTB* b = definedBox(n);
    if (!fits(b, text))
        return 0;
    enter(b);
    if (b->numLines > 0) {
        shiftArea(b, "d");
        if (b->numLines >= b->dispLines)
            b->numLines -= 1;
    }
    drawRow(b, 0, text);
    b->numLines += 1;
    leave();
    return 1;
}

int STB_DisplayFromLineChar(int n, int line, int column)
{
    return 0;
}

int STB_ScrollDisplay(int n, int lines)
{
    return 0;
}

int STB_QueryPos(int n)
{
    if (n < 0 || n >= STB_BUFFERS)
        return 0;
    const ScrollTBBuffer* buf = &stbBuffer[n];
    const int dl = stbCommon[n].dispLines;
    if (buf->numBufLines > dl && dl != buf->numBufLines)
        return 100 + 100 * buf->curLine / (dl - buf->numBufLines);
    return 0;
}

int STB_Dump(int n)
{
    if (n < 0 || n >= STB_BOXES) {
        pout(":Invalid Index %d\r", n);
        return 0;
    }
    const ScrollTB* b = &stbCommon[n];
    if (b->type != 0) {
        pout(":Scrolling Textbox %d NOT DEFINED\r", n);
        return 0;
    }
    pout(":type %d x0 %d y0 %d x1 %d y1 %d\r", (int)b->type, (int)b->x0, (int)b->y0, (int)b->x1, (int)b->y1);
    pout(":dispLines %d dispChars %d fHt %d fWd %d numLines %d\r", (int)b->dispLines, (int)b->dispChars,
         (int)b->fHt, (int)b->fWd, (int)b->numLines);
    if (n < STB_BUFFERS) {
        const ScrollTBBuffer* buf = &stbBuffer[n];
        pout(":curLine %d curChar %d bufTopLine %d numBufLines %d pos %d\r", (int)buf->curLine,
             (int)buf->curChar, (int)buf->bufTopLine, (int)buf->numBufLines, STB_QueryPos(n));
        for (int i = 0; i < buf->numBufLines && i < STB_BUF_LINES; ++i)
            pout(":%03d [%.*s]\r", i, STB_BUF_CHARS - 1, buf->lines[i]);
    }
    return 1;
}

int cmdScrollTB(char* cmd)
{
    int v[6];
    if (strncmp(cmd, "std", 3) == 0) {
        int k = KM_sscanf(cmd, "std %d %d %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
        if (k == 6)
            return STB_DefineScrollTB(v[0], v[1], v[2], v[3], v[4], v[5]) ? CMD_OK : CMD_FAIL;
        if (k == 1) {
            int lines, chars, a, b;
            if (!STB_QueryScrollTB(v[0], &lines, &chars, &a, &b))
                return CMD_FAIL;
            char out[48];
            snprintf(out, sizeof out, "%d %d %d %d\r", lines, chars, a, b);
            txNotify(out);
            return CMD_OK;
        }
        return CMD_FAIL;
    }
    if (strncmp(cmd, "stc", 3) == 0) {
        if (KM_sscanf(cmd, "stc %d", &v[0]) != 1)
            return CMD_FAIL;
        return STB_ClearScrollTB(v[0]) ? CMD_OK : CMD_FAIL;
    }
    const int append = strncmp(cmd, "sta", 3) == 0;
    if (append || strncmp(cmd, "stp", 3) == 0) {
        if (KM_sscanf(cmd + 3, " %d", &v[0]) != 1)
            return CMD_FAIL;
        char* text = stbQuotedText(cmd);
        if (!text)
            return CMD_FAIL;
        const int r = append ? STB_AppendScrollTB(v[0], text) : STB_PrependScrollTB(v[0], text);
        return r ? CMD_OK : CMD_FAIL;
    }
    return -1;
}
