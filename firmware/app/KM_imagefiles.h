// Image files on the SD card: BMP, GIF and JPEG files drawn at a screen
// position through a small window of whole sectors of the open file, and
// the screen written to the card as a BMP file.
#pragma once

#include <stdint.h>

// 1 when the image was drawn, 0 otherwise (the reason reported).
int KM_Draw_SdImageFile(const char* name, int x, int y);

// Read callback of the image readers over an open card file (p is its
// handle): makes NumBytes bytes at Off available in the read window.
int GetData_Ex_SdImageFile(void* p, const uint8_t** ppData, unsigned NumBytes, uint32_t Off);

// "xif" with a file name and a position (relative to the drawing origin).
int cmdDrawSdImageFile(const char* cmd);

// "*getScreenAsBMPFile": the screen as VELMnnnn.BMP, the first such name
// not yet on the card.
int cmdGetScreenAsBMPFile(void);
