#include "app/parse_command.h"

#include <stdio.h>
#include <string.h>

#include "app/KM_bitmaps.h"
#include "app/KM_com.h"
#include "app/KM_draw.h"
#include "app/KM_programming.h"
#include "app/KM_syscmds.h"
#include "app/KM_text.h"
#include "app/Main.h"
#include "app/command.h"

char out_buffer[OUT_BUFFER_SIZE];

static int exact(const char* cmd, const char* kw)
{
    return strcmp(cmd, kw) == 0;
}

static int prefix(const char* cmd, const char* kw)
{
    return strncmp(cmd, kw, strlen(kw)) == 0;
}

int parse_command(char* cmd)
{
    unsigned u, hi, lo;
    int d;
    unsigned long ul;
    long l1, l2;
    // Fields of the drawing commands' forms.
    int dv[8];
    unsigned dx1, dx2;
    char dw1[10], dw2[10];
    int dn;

    // The keyword tests in their fixed order; the first that matches
    // decides.  Families that are not built into this firmware yet do not
    // match, so their lines end as unknown lines do.
    if (cmd[0] == 'p' && cmd[1] == 'r')
        return cmdPixelRead(cmd);
    if (cmd[0] == 'p' && cmd[1] == 'w')
        return cmdPixelWrite(cmd);

    if (rs485Mode() && exact(cmd, "Q"))
        return cmdQueuedReports();

    if (exact(cmd, "ss"))
        return cmdStateSave();
    if (exact(cmd, "sr"))
        return cmdStateRestore();

    if (prefix(cmd, "tu "))
        return cmdTextUnquoted(cmd);
    if (prefix(cmd, "t? \""))
        return cmdTextWidth(cmd);
    if (prefix(cmd, "ts") || prefix(cmd, "t "))
        return cmdText(cmd);
    if (prefix(cmd, "T \""))
        return cmdTextAt(cmd);

    if (prefix(cmd, "pgr"))
        return cmdPolygon(cmd, POLY_OUTLINE, 1);
    if (prefix(cmd, "pg"))
        return cmdPolygon(cmd, POLY_OUTLINE, 0);
    if (prefix(cmd, "pfr"))
        return cmdPolygon(cmd, POLY_FILLED, 1);
    if (prefix(cmd, "pf"))
        return cmdPolygon(cmd, POLY_FILLED, 0);
    if (sscanf(cmd, "ppgr %d", &dv[0]) == 1)
        return cmdPolygonRedraw(dv[0]);
    if (prefix(cmd, "plr"))
        return cmdPolygon(cmd, POLY_LINE, 1);
    if (prefix(cmd, "pl"))
        return cmdPolygon(cmd, POLY_LINE, 0);
    if (sscanf(cmd, "p %u", &u) == 1)
        return cmdPenSize(u);
    if (exact(cmd, "p"))
        return cmdPenQuery();

    if (prefix(cmd, "ta"))
        return cmdTextAlign(cmd);
    if (sscanf(cmd, "sb %d", &d) == 1 || exact(cmd, "su") || sscanf(cmd, "SB %c%c%c", dw1, dw1 + 1, dw1 + 2) == 3 ||
        exact(cmd, "SU"))
        return CMD_OK;  // accepted and ignored
    if (sscanf(cmd, "*debug %d", &d) == 1)
        return cmdDebug(d);

    if (prefix(cmd, "ls")) {
        // Every listing needs a valid image first.
        if (cmdListNeedsImage() != CMD_OK)
            return CMD_FAIL;
        if (!prefix(cmd, "lsmac"))
            return cmdListBitmaps(cmd);
    }

    {
        int n, x, y, a, b, c, e;
        unsigned key;
        if (sscanf(cmd, "xi %d%d%d", &n, &x, &y) == 3)
            return cmdDrawBitmap(n, x, y);
        if (sscanf(cmd, "xit %d%d%d%x", &n, &x, &y, &key) == 4)
            return cmdDrawBitmapKey(n, x, y, key);
        if (sscanf(cmd, "xim %d%d%d", &n, &x, &y) == 3)
            return cmdDrawBitmapCentred(n, x, y);
        if (sscanf(cmd, "xic %d%d%d%d%d%d%d", &n, &x, &y, &a, &b, &c, &e) == 7)
            return cmdDrawBitmapClipped(n, x, y, a, b, c, e);
        if (sscanf(cmd, "xio %d%d%d%d%d%d", &n, &x, &y, &a, &b, &c) == 6)
            return cmdDrawBitmapStrip(n, x, y, a, b, c);
    }

    if (prefix(cmd, "xma"))
        return cmdStoreGeometry();
    if (prefix(cmd, "xmc"))
        return cmdStoreErase(cmd);
    if (sscanf(cmd, "xmp %x %x %d", &hi, &lo, &d) == 3)
        return cmdProgram(hi, lo, d);
    if (exact(cmd, "xmpmax"))
        return cmdMaxProgramLine();

    if (sscanf(cmd, "bdld %d %lx %ld %ld", &d, &ul, &l1, &l2) == 4)
        return cmdBinaryDownload(d, ul, l1, l2);

    if (sscanf(cmd, "dp %d %d", &dv[0], &dv[1]) == 2)
        return cmdPoint(dv[0], dv[1]);
    if (sscanf(cmd, "s %d %d", &dv[0], &dv[1]) == 2)
        return cmdColors(dv[0], dv[1]);
    if (exact(cmd, "S"))
        return cmdColorQuery();
    if (sscanf(cmd, "S %x %x", &dx1, &dx2) == 2)
        return cmdColorsRGB(dx1, dx2);
    if (sscanf(cmd, "S %9s %9s", dw1, dw2) == 2)
        return cmdColorWords(dw1, dw2);

    if (prefix(cmd, "tm"))
        return cmdTextMode(cmd);

    if (sscanf(cmd, "d %9s", dw1) == 1)
        return cmdDrawMode(dw1);
    if (prefix(cmd, "sc"))
        return cmdCursor(cmd);

    if (sscanf(cmd, "o %d %d", &dv[0], &dv[1]) == 2)
        return cmdOrigin(dv[0], dv[1]);
    if (cmd[0] == 'o')
        return cmdOriginQuery(cmd);

    if (prefix(cmd, "zs"))
        return cmdClearWith(cmd);
    if (cmd[0] == 'z')
        return cmdClear();
    if (sscanf(cmd, "l %d%d%d%d", &dv[0], &dv[1], &dv[2], &dv[3]) == 4)
        return cmdLine(dv[0], dv[1], dv[2], dv[3]);
    if ((dn = sscanf(cmd, "r %d%d%d%d%d %9s", &dv[0], &dv[1], &dv[2], &dv[3], &dv[4], dw1)) >= 4)
        return cmdRect(dn, dv[0], dv[1], dv[2], dv[3], dv[4], dw1);
    if ((dn = sscanf(cmd, "tr %d%d %d%d %d%d %9s", &dv[0], &dv[1], &dv[2], &dv[3], &dv[4], &dv[5], dw1)) >= 6)
        return cmdTriangle(dn, dv, dw1);
    if (sscanf(cmd, "a %d%d %d %d%d", &dv[0], &dv[1], &dv[2], &dv[3], &dv[4]) == 5)
        return cmdArc(dv[0], dv[1], dv[2], dv[3], dv[4]);
    if (sscanf(cmd, "ef %d%d%d%d", &dv[0], &dv[1], &dv[2], &dv[3]) == 4)
        return cmdEllipse(dv[0], dv[1], dv[2], dv[3], 1);
    if (sscanf(cmd, "e %d%d%d%d", &dv[0], &dv[1], &dv[2], &dv[3]) == 4)
        return cmdEllipse(dv[0], dv[1], dv[2], dv[3], 0);
    if ((dn = sscanf(cmd, "c %d%d%d%d", &dv[0], &dv[1], &dv[2], &dv[3])) >= 3)
        return cmdCircle(dn, dv[0], dv[1], dv[2]);

    if (exact(cmd, "f"))
        return cmdFontName();
    if (exact(cmd, "f?"))
        return cmdFontList();
    if (sscanf(cmd, "f %9s", dw1) == 1)
        return cmdFontSelect(dw1);

    if (sscanf(cmd, "w %u", &u) == 1)
        return cmdWait(u);
    if (prefix(cmd, "vers"))
        return cmdVersion();

    if (prefix(cmd, "*SPL"))
        return cmdSplash(cmd);

    if (sscanf(cmd, "*FB %d", &dv[0]) == 1)
        return cmdFrameBufferPixel(dv[0]);

    if (exact(cmd, "*CRC"))
        return cmdCrcScreen();
    if (exact(cmd, "*CSUM"))
        return cmdCrcFirmware();
    if (exact(cmd, "*CSUMB"))
        return cmdCrcBoot();
    if (prefix(cmd, "*CEXT"))
        return cmdCrcImage(cmd);

    if (exact(cmd, "*prevCons"))
        return cmdPreviousConsole();

    if (prefix(cmd, "utf8"))
        return cmdUtf8(cmd);

    if (exact(cmd, "*SERR"))
        return CMD_FAIL;
    if (exact(cmd, "*IERR"))
        return CMD_LINE_ERROR;

    if (exact(cmd, "*BMOFF"))
        return cmdBinaryLeadOff();

    if (sscanf(cmd, "ws %d%d%d%d%d", &dv[0], &dv[1], &dv[2], &dv[3], &dv[4]) == 5)
        return saveScreenArea(dv[0], dv[1], dv[2], dv[3], dv[4]);
    if (sscanf(cmd, "wr %d%d%d", &dv[0], &dv[1], &dv[2]) == 3)
        return restoreScreenArea(dv[0], dv[1], dv[2]);
    if (prefix(cmd, "wrr"))
        return cmdCopySlotArea(cmd);

    if (sscanf(cmd, "k %d%d%d%d %d%9s", &dv[0], &dv[1], &dv[2], &dv[3], &dv[4], dw1) == 6)
        return scroll(dv[0], dv[1], dv[2], dv[3], dv[4], dw1);

    if (prefix(cmd, "*comwdt"))
        return cmdCommWatchDog(cmd);

    if (exact(cmd, "*LOADF") || exact(cmd, "*loadf"))
        return cmdLoadFileToFlash();
    if (prefix(cmd, "*LOAD") || prefix(cmd, "*load"))
        return cmdLoadImage();
    if (prefix(cmd, "*flash2ram"))
        return cmdFlashToRam();

    if (prefix(cmd, "*ctype"))
        return cmdControllerType();

    return CMD_FAIL;
}
