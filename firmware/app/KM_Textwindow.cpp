#include "app/KM_Textwindow.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "app/KM_ScrollTB.h"
#include "app/KM_macros.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/parse_command.h"
#include "graphics/GUI.h"

Textwindow twTextwindow[TW_WINDOWS];
DrawingState twTempState;

void TW_InitTextwindow_Resources(void)
{
    for (int i = 0; i < TW_WINDOWS; ++i) {
        Textwindow* w = &twTextwindow[i];
        memset(w, 0, offsetof(Textwindow, lines));
        w->follow = 1;
    }
}

static Textwindow* definedWindow(int n)
{
    if (n < 0 || n >= TW_WINDOWS || twTextwindow[n].defined != 1)
        return 0;
    return &twTextwindow[n];
}

static void enter(Textwindow* w)
{
    stbEnter(&twTempState, &w->state);
}

static void leave(void)
{
    stbLeave(&twTempState);
}

static const char* fromColumn(const Textwindow* w, int line, int column)
{
    if (line < 0 || line >= TW_LINES || column < 0)
        return "";
    const char* s = w->lines[line];
    const int len = (int)strlen(s);
    return column < len ? s + column : "";
}

static void drawText(const Textwindow* w, int row, int x0, const char* text)
{
    stbDrawRow(x0, w->x1, w->y0, w->fHt, row, text, w->state.textAlign);
}

static void drawRow(const Textwindow* w, int row, int line, int column)
{
    drawText(w, row, w->x0, fromColumn(w, line, column));
}

static void drawChar(const Textwindow* w, int row, int x0, int line, int column)
{
    char c[2] = {*fromColumn(w, line, column), 0};
    drawText(w, row, x0, c);
}

static void clearArea(const Textwindow* w)
{
    GUI_ClearRect(w->x0, w->y0, w->x1, w->y1);
}

// One line height up or down; a view of at most one row is cleared.
static void shiftRows(const Textwindow* w, const char* dir, int rows)
{
    stbShiftArea(w->x0, w->y0, w->x1, w->y1, rows, w->fHt, dir);
}

static void shiftColumns(const Textwindow* w, const char* dir)
{
    stbShiftArea(w->x0, w->y0, w->x1, w->y1, w->maxDispChars, w->fWd, dir);
}

int TW_DefineTextwindow(int n, int x0, int y0, int x1, int y1)
{
    if (n < 0 || n >= TW_WINDOWS)
        return 0;
    Textwindow* w = &twTextwindow[n];
    StbGrid g;
    // At least one column of a stored line must be able to scroll into
    // view, so the view is narrower than a line.
    const int laid = stbLayGrid(x0, y0, x1, y1, TW_CHARS - 1, &w->state, &g);
    if (laid == STB_GRID_PROPORTIONAL)
        txNotify(":must use monospace font\r");
    if (laid != STB_GRID_OK)
        return 0;
    w->x0 = g.cx0;
    w->y0 = g.cy0;
    w->x1 = g.cx1;
    w->y1 = g.cy1;
    w->defined = 1;
    w->fHt = g.fHt;
    w->fWd = g.fWd;
    w->maxDispLines = g.rows;
    w->maxDispChars = g.cols;
    w->anchorLine = w->anchorChar = 0;
    w->follow = 1;
    w->shownRows = 0;
    w->displayDirty = 0;
    w->numBufLines = 0;
    memset(w->lines, 0, sizeof w->lines);
    clearArea(w);
    return 1;
}

int TW_QueryTextwindow(int n, int* lines, int* chars, int* maxLines, int* maxChars)
{
    const Textwindow* w = definedWindow(n);
    if (!w)
        return 0;
    *lines = w->maxDispLines;
    *chars = w->maxDispChars;
    *maxLines = TW_LINES;
    *maxChars = TW_CHARS;
    return 1;
}

int TW_QueryPos(int n, int* vertical, int* horizontal)
{
    const Textwindow* w = definedWindow(n);
    if (!w)
        return 0;
    *vertical = w->numBufLines <= w->maxDispLines ? 0 : 100 * w->anchorLine / (w->numBufLines - w->maxDispLines);
    *horizontal = 100 * w->anchorChar / (TW_CHARS - w->maxDispChars);
    return 1;
}

int TW_ClearTextwindow(int n)
{
    Textwindow* w = definedWindow(n);
    if (!w)
        return 0;
    enter(w);
    clearArea(w);
    leave();
    w->follow = 1;
    w->shownRows = w->displayDirty = w->anchorLine = w->anchorChar = w->numBufLines = 0;
    memset(w->lines, 0, sizeof w->lines);
    return 1;
}

int TW_LoadTextwindow(int n, const char* text)
{
    Textwindow* w = definedWindow(n);
    if (!w || strlen(text) > TW_CHARS || w->numBufLines >= TW_LINES)
        return 0;
    const int line = w->numBufLines;
    memset(w->lines[line], 0, sizeof w->lines[line]);
    memcpy(w->lines[line], text, strlen(text));
    enter(w);
    if (w->follow == 1) {
        if (w->shownRows < w->maxDispLines) {
            drawRow(w, w->shownRows, line, 0);
            w->shownRows += 1;
        } else {
            shiftRows(w, "u", w->shownRows);
            drawRow(w, w->shownRows - 1, line, 0);
            w->anchorLine += 1;
        }
    } else if (line >= w->anchorLine && line <= w->anchorLine + w->maxDispLines - 1 &&
               w->shownRows < w->maxDispLines) {
        drawRow(w, w->shownRows, line, 0);
        w->shownRows += 1;
    }
    leave();
    w->numBufLines += 1;
    return 1;
}

static int lastTopLine(const Textwindow* w)
{
    return w->numBufLines >= w->maxDispLines ? w->numBufLines - w->maxDispLines + 1 : 1;
}

static int lastFirstColumn(const Textwindow* w)
{
    return TW_CHARS - w->maxDispChars;
}

static int minInt(int a, int b)
{
    return a < b ? a : b;
}

int TW_DisplayFromLineChar(int n, int line, int column)
{
    Textwindow* w = definedWindow(n);
    if (!w)
        return 0;
    if (!((line >= 1 && line <= TW_LINES) || line == 999) || !((column >= 1 && column <= TW_CHARS) || column == 999))
        return 0;
    if (line == 999)
        line = w->anchorLine + 1;
    if (column == 999)
        column = w->anchorChar + 1;
    const int A = w->anchorLine, H = w->anchorChar;
    const int A2 = minInt(line, lastTopLine(w)) - 1;
    const int H2 = minInt(column, lastFirstColumn(w)) - 1;
    const int rows = minInt(w->numBufLines, w->maxDispLines);
    int full = 0;
    const int up = A - A2, down = A2 - A;
    if (up > 0)
        full |= up > rows;
    else
        full |= down > w->maxDispLines;
    const int j = H2 > H ? H2 - H : H - H2;
    full |= j > w->maxDispChars;
    w->anchorLine = A2;
    w->anchorChar = H2;
    enter(w);
    if (full || w->displayDirty) {
        clearArea(w);
        for (int i = 0; i < rows; ++i)
            drawRow(w, i, A2 + i, H2);
    } else {
        if (up > 0) {
            for (int step = 0; step < up; ++step) {
                shiftRows(w, "d", w->shownRows);
                drawRow(w, 0, A - 1 - step, H);
            }
        } else if (down > 0) {
            for (int step = 0; step < down; ++step) {
                shiftRows(w, "u", w->shownRows);
                drawRow(w, w->maxDispLines - 1, A2 + w->maxDispLines - down + step, H);
            }
        }
        if (H2 > H) {
            for (int step = 0; step < j; ++step) {
                shiftColumns(w, "l");
                for (int i = 0; i < rows; ++i)
                    drawChar(w, i, w->x0 + w->fWd * (w->maxDispChars - 1), A2 + i, H + w->maxDispChars + step);
            }
        } else if (H2 < H) {
            for (int step = 0; step < j; ++step) {
                shiftColumns(w, "r");
                for (int i = 0; i < rows; ++i)
                    drawChar(w, i, w->x0, A2 + i, H - 1 - step);
            }
        }
    }
    leave();
    w->shownRows = rows;
    w->displayDirty = 0;
    return 1;
}

// (span * p / 100) rounded up, then from 1; never before the first.
static int percentOf(int span, int p)
{
    const long long x = (long long)span * p;
    long long t = x / 100;
    if (x % 100 > 0)
        t += 1;
    t += 1;
    // A line before the first (a window holding fewer lines than it shows)
    // or beyond the store: the positioning refuses it.
    if (t > 1000000)
        t = 1000000;
    return t < 0 ? 0 : (int)t;
}

int TW_DisplayPercent(int n, int linePercent, int columnPercent)
{
    Textwindow* w = definedWindow(n);
    if (!w)
        return 0;
    int line, column;
    if (linePercent == 0)
        line = 1;
    else if (linePercent == 100)
        line = w->numBufLines;  // 0 for an empty window: refused
    else if (linePercent == 999)
        line = w->anchorLine + 1;
    else
        line = percentOf(w->numBufLines - w->maxDispLines, linePercent);
    if (columnPercent == 0)
        column = 1;
    else if (columnPercent == 100)
        column = TW_CHARS;
    else if (columnPercent == 999)
        column = w->anchorChar + 1;
    else
        column = percentOf(TW_CHARS - w->maxDispChars, columnPercent);
    return TW_DisplayFromLineChar(n, line, column);
}

int TW_RedrawTextwindow(int n)
{
    Textwindow* w = definedWindow(n);
    if (!w)
        return 0;
    w->displayDirty = 1;
    return TW_DisplayFromLineChar(n, w->anchorLine + 1, w->anchorChar + 1);
}

int TW_MoveDisplay(int n, char c, int k)
{
    Textwindow* w = definedWindow(n);
    if (!w)
        return 0;
    if ((c == 'u' || c == 'd') && (k < 1 || k > 199))
        return 0;
    if ((c == 'l' || c == 'r') && (k < 1 || k > 119))
        return 0;
    if (!strchr("UDLRudlr", c) || c == 0)
        return 0;
    char edge[8];
    if ((c == 'U' || c == 'u') && w->anchorLine == 0) {
        snprintf(edge, sizeof edge, "u%1d\r", n);
        txString(edge);
        return 0;
    }
    if ((c == 'D' || c == 'd') && w->follow == 1) {
        snprintf(edge, sizeof edge, "d%1d\r", n);
        txString(edge);
        return 0;
    }
    const int lastTop = lastTopLine(w), lastCol = lastFirstColumn(w);
    int line = w->anchorLine + 1, column = w->anchorChar + 1;
    switch (c) {
    case 'U':
        line = 1;
        w->follow = 0;
        break;
    case 'u':
        line = w->anchorLine + 1 - k;
        if (line < 1)
            line = 1;
        else
            w->follow = 0;
        break;
    case 'D':
        line = lastTop;
        w->follow = 1;
        break;
    case 'd':
        line = w->anchorLine + 1 + k;
        if (line >= lastTop) {
            line = lastTop;
            w->follow = 1;
        }
        break;
    case 'L':
        column = 1;
        break;
    case 'l':
        column = w->anchorChar + 1 - k;
        if (column < 1)
            column = 1;
        break;
    case 'R':
        column = lastCol;
        break;
    case 'r':
        column = w->anchorChar + 1 + k;
        if (column > lastCol)
            column = lastCol;
        break;
    }
    if (line - 1 == w->anchorLine && column - 1 == w->anchorChar)
        return 1;
    return TW_DisplayFromLineChar(n, line, column);
}

int TW_Dump(int n)
{
    if (n < 0 || n >= TW_WINDOWS) {
        pout(":Invalid Index %d\r", n);
        return 0;
    }
    const Textwindow* w = &twTextwindow[n];
    if (w->defined != 1) {
        pout(":Textwindow %d NOT DEFINED\r", n);
        return 0;
    }
    pout(":x0 %d y0 %d x1 %d y1 %d fHt %d fWd %d\r", (int)w->x0, (int)w->y0, (int)w->x1, (int)w->y1, (int)w->fHt,
         (int)w->fWd);
    pout(":maxDispLines %d maxDispChars %d anchorLine %d anchorChar %d follow %d shown %d dirty %d lines %d\r",
         (int)w->maxDispLines, (int)w->maxDispChars, (int)w->anchorLine, (int)w->anchorChar, (int)w->follow,
         (int)w->shownRows, (int)w->displayDirty, (int)w->numBufLines);
    for (int i = 0; i < w->numBufLines && i < TW_LINES; ++i)
        pout(":%03d [%s]\r", i, w->lines[i]);
    return 1;
}

static int result(int r)
{
    return r ? CMD_OK : CMD_FAIL;
}

int cmdTextwindow(char* cmd)
{
    int v[6];
    char c;
    char out[48];
    if (strncmp(cmd, "twd", 3) == 0) {
        if (KM_sscanf(cmd, "twd %d %d %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 5)
            return CMD_FAIL;
        return result(TW_DefineTextwindow(v[0], v[1], v[2], v[3], v[4]));
    }
    if (strncmp(cmd, "twq", 3) == 0) {
        int a, b, m1, m2;
        if (KM_sscanf(cmd, "twq %d", &v[0]) != 1 || !TW_QueryTextwindow(v[0], &a, &b, &m1, &m2))
            return CMD_FAIL;
        snprintf(out, sizeof out, "%d %d %d %d\r", a, b, m1, m2);
        txNotify(out);
        return CMD_OK;
    }
    if (strncmp(cmd, "twv", 3) == 0) {
        int vert, horiz;
        if (KM_sscanf(cmd, "%*s %d %d %d", &v[0], &v[1], &v[2]) != 3)
            return CMD_FAIL;
        // Both variables must exist before either is written.
        if (v[1] < 0 || v[1] >= MACRO_INTS || v[2] < 0 || v[2] >= MACRO_INTS)
            return CMD_FAIL;
        if (!TW_QueryPos(v[0], &vert, &horiz))
            return CMD_FAIL;
        setMacro_iMem(v[1], vert);
        setMacro_iMem(v[2], horiz);
        return CMD_OK;
    }
    if (strncmp(cmd, "twm", 3) == 0) {
        int k = 1;
        const int got = KM_sscanf(cmd, "twm %d %c %d", &v[0], &c, &k);
        if (got != 2 && got != 3)
            return CMD_FAIL;
        if (got == 2)
            k = 1;
        return result(TW_MoveDisplay(v[0], c, k));
    }
    if (strncmp(cmd, "twc", 3) == 0)
        return result(KM_sscanf(cmd, "twc %d", &v[0]) == 1 && TW_ClearTextwindow(v[0]));
    if (strncmp(cmd, "twr", 3) == 0)
        return result(KM_sscanf(cmd, "twr %d", &v[0]) == 1 && TW_RedrawTextwindow(v[0]));
    if (strncmp(cmd, "twga", 4) == 0)
        return result(KM_sscanf(cmd, "twga %d %d %d", &v[0], &v[1], &v[2]) == 3 &&
                      TW_DisplayFromLineChar(v[0], v[1], v[2]));
    if (strncmp(cmd, "twgp", 4) == 0)
        return result(KM_sscanf(cmd, "twgp %d %d %d", &v[0], &v[1], &v[2]) == 3 &&
                      TW_DisplayPercent(v[0], v[1], v[2]));
    if (strncmp(cmd, "tw", 2) == 0) {
        if (KM_sscanf(cmd, "tw %d", &v[0]) != 1)
            return CMD_FAIL;
        char* text = stbQuotedText(cmd);
        if (!text)
            return CMD_FAIL;
        return result(TW_LoadTextwindow(v[0], text));
    }
    return -1;
}
