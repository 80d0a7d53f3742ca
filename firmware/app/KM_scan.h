// Numbers and fields of the host's command lines.  The board's C library
// reads numbers into 32-bit longs: a number beyond them stands for the
// nearest one they hold.  These read exactly so, whatever the word size of
// the program, so that every command answers the same on the board and on
// the simulated board.
#pragma once

#include <stdint.h>

// strtol and strtoul with 32-bit results: out-of-range values saturate
// (INT32_MIN, INT32_MAX; UINT32_MAX), a '-' before an unsigned number
// negates it modulo 2^32.  base 0 takes a "0x" or "0" prefix as C does.
int32_t KM_strtol(const char* s, char** end, int base);
uint32_t KM_strtoul(const char* s, char** end, int base);
// KM_strtol in base 10.
int32_t KM_atoi(const char* s);

// sscanf for the conversions the commands use: %d %i (int), %u %x %X %o
// (unsigned), %s and %c (with widths), %n, %% and '*' suppression; numbers
// are read by KM_strtol and KM_strtoul.  Returns the fields assigned, or
// -1 when the text ends before the first conversion.
int KM_sscanf(const char* text, const char* format, ...) __attribute__((format(scanf, 2, 3)));
