#include "app/parse_command.h"

#include <stdio.h>
#include <string.h>

#include "app/KM_bitmaps.h"
#include "app/KM_com.h"
#include "app/KM_programming.h"
#include "app/KM_syscmds.h"
#include "app/Main.h"

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

    // The keyword tests in their fixed order; the first that matches
    // decides.  Families that are not built into this firmware yet do not
    // match, so their lines end as unknown lines do.
    if (rs485Mode() && exact(cmd, "Q"))
        return cmdQueuedReports();

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

    if (sscanf(cmd, "w %u", &u) == 1)
        return cmdWait(u);
    if (prefix(cmd, "vers"))
        return cmdVersion();

    if (prefix(cmd, "*SPL"))
        return cmdSplash(cmd);

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

    if (exact(cmd, "*SERR"))
        return CMD_FAIL;
    if (exact(cmd, "*IERR"))
        return CMD_LINE_ERROR;

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
