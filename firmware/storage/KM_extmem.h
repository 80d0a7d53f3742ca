// The memory image of bitmaps, fonts and macros.
#pragma once

#include <stdint.h>

// Largest memory image.
extern uint32_t ExtMemSize;
