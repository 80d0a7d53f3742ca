#include "app/KM_syscmds.h"

#include <stdio.h>
#include <string.h>

#include "format/memimage.h"

#include "app/KM_reply.h"
#include "app/Main.h"
#include "app/parse_command.h"

// "Q": an RS-485 host polls for the reports queued for it.
int cmdQueuedReports(void)
{
    if (anythingToTx())
        txSavedBuf();
    return CMD_OK;
}

// "w n": accepted for compatibility; there is nothing to wait for.
int cmdWait(unsigned)
{
    return CMD_OK;
}

int cmdVersion(void)
{
    KM_Copy_Version(out_buffer);
    size_t n = strlen(out_buffer);
    if (n + 1 < OUT_BUFFER_SIZE) {
        out_buffer[n] = '\r';
        out_buffer[n + 1] = 0;
    }
    txString(out_buffer);
    return CMD_OK;
}

void DumpBitMapStructure(const ExtBitmapRecord* r)
{
    char line[128];
    snprintf(line, sizeof line, "    XSize=%u YSize=%u BytesPerLine=%u BitsPerPixel=%u\r", r->XSize, r->YSize,
             r->BytesPerLine, r->BitsPerPixel);
    txString(line);
    snprintf(line, sizeof line, "    pData=0x%08X pPal=0x%08X pMethods=0x%08X\r", (unsigned)r->pData, (unsigned)r->pPal,
             (unsigned)r->pMethods);
    txString(line);
}
