#include "app/parse_command.h"

#include <stdio.h>
#include <string.h>

#include "app/KM_com.h"
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
    unsigned u;

    // The keyword tests in their fixed order; the first that matches
    // decides.  Families that are not built into this firmware yet do not
    // match, so their lines end as unknown lines do.
    if (rs485Mode() && exact(cmd, "Q"))
        return cmdQueuedReports();

    if (sscanf(cmd, "w %u", &u) == 1)
        return cmdWait(u);
    if (prefix(cmd, "vers"))
        return cmdVersion();

    if (exact(cmd, "*SERR"))
        return CMD_FAIL;
    if (exact(cmd, "*IERR"))
        return CMD_LINE_ERROR;

    if (prefix(cmd, "*comwdt"))
        return cmdCommWatchDog(cmd);

    return CMD_FAIL;
}
