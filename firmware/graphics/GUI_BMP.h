// Windows bitmap files: drawn from memory or through a read callback, and a
// screen rectangle written out as a BMP file one byte at a time.
#pragma once

#include <stdint.h>

// Read callback of the image-file readers: makes NumBytes bytes at file
// offset Off available, sets *ppData to them and returns how many bytes it
// made available (fewer than asked is an error to every reader).
typedef int GUI_GetDataCallback(void* p, const uint8_t** ppData, unsigned NumBytes, uint32_t Off);

// Output callback of the writer: one byte of the file in file order.
typedef void GUI_CallbackSendByte(uint8_t Data, void* p);

// A file held in memory, for the readers that are given its length (GIF,
// JPEG): GUI__GetDataMemFile serves the bytes from the offset on, as many as
// asked and the file holds, none at or past its end.
struct GUI_MemFile {
    const uint8_t* pData;
    uint32_t NumBytes;
};
int GUI__GetDataMemFile(void* p, const uint8_t** ppData, unsigned NumBytes, uint32_t Off);

uint16_t GUI__Read16(const uint8_t** ppData);
uint32_t GUI__Read32(const uint8_t** ppData);

// 0 when drawn, 1 when refused or cut short.
int GUI_BMP_Draw(const void* pFileData, int x0, int y0);
int GUI_BMP_DrawEx(GUI_GetDataCallback* pfGetData, void* p, int x0, int y0);

// Width, or the absolute height; 1 when the header cannot be had.
int GUI_BMP_GetXSize(const void* pFileData);
int GUI_BMP_GetYSize(const void* pFileData);
int GUI_BMP_GetXSizeEx(GUI_GetDataCallback* pfGetData, void* p);
int GUI_BMP_GetYSizeEx(GUI_GetDataCallback* pfGetData, void* p);

void GUI_BMP_SerializeEx(GUI_CallbackSendByte* pfSendByte, int x0, int y0, int xSize, int ySize, void* p);
void GUI_BMP_Serialize(GUI_CallbackSendByte* pfSendByte, void* p);
