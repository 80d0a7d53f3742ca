// A small trace ring for debugging, flushed to the host on request.
#pragma once

#include <stdint.h>

#define TRACE_RING 40

void addToRing(int32_t a, int32_t b, int32_t c);
void flushRing(void);
void tr(int16_t x, int16_t y);
void trInit(void);
