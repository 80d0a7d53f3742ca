#include "app/KM_debug.h"

#include <stdio.h>

#include "app/KM_reply.h"

static int32_t ringBuffer[TRACE_RING][3];
// Pair count for tr, then the ring's write and read index.
static int trPt[3];
static int16_t t[2][2];

void addToRing(int32_t a, int32_t b, int32_t c)
{
    int w = trPt[1];
    ringBuffer[w][0] = a;
    ringBuffer[w][1] = b;
    ringBuffer[w][2] = c;
    w = (w + 1) % TRACE_RING;
    trPt[1] = w;
    // The ring keeps one place free: meeting the oldest entry drops it.
    if (w == trPt[2])
        trPt[2] = (trPt[2] + 1) % TRACE_RING;
}

void flushRing(void)
{
    char line[64];
    snprintf(line, sizeof line, "Ring (%d->%d):", trPt[2], trPt[1]);
    txString(line);
    int n = 0;
    for (int i = trPt[2]; i != trPt[1]; i = (i + 1) % TRACE_RING) {
        snprintf(line, sizeof line, "%d:x=%5d;y=%5d  ", (int)ringBuffer[i][0], (int)ringBuffer[i][1],
                 (int)ringBuffer[i][2]);
        txString(line);
        if (++n % 4 == 0)
            txString("\r  ");
    }
    txString("\r");
    trPt[1] = trPt[2] = 0;
}

void tr(int16_t x, int16_t y)
{
    if (trPt[0] < 2) {
        t[trPt[0]][0] = x;
        t[trPt[0]][1] = y;
        ++trPt[0];
    }
}

void trInit(void)
{
    trPt[0] = 0;
}
