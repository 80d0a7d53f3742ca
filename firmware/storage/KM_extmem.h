// The memory image of bitmaps, fonts and macros.
#pragma once

#include <stdint.h>

// Largest memory image.
extern uint32_t ExtMemSize;

int KM_Load_ExtMem(void);
int KM_Check_Demo(void);
// Programs len bytes at an offset of the image store; 0 on success.
int KM_ExtMem_ProgramArea(uint32_t offset, const uint8_t* data, uint32_t len);
