// JPEG/JFIF files: baseline, extended sequential and progressive Huffman
// frames of 8-bit samples, grey or YCbCr sampled 4:4:4, 4:2:2, 4:4:0 or
// 4:2:0, drawn at a screen position.  The file is read piece by piece
// through a read callback (or from memory) and all working memory comes
// from the graphics pool.  Results are 0 on success, 1 on failure.
#pragma once

#include <stdint.h>

#include "graphics/GUI_BMP.h"  // GUI_GetDataCallback

struct GUI_JPEG_INFO {
    int32_t XSize;
    int32_t YSize;
};

// Draws the image with its top-left pixel at (x0, y0).  What was drawn
// before a failure stays on the screen.
int GUI_JPEG_Draw(const void* pFileData, uint32_t NumBytes, int x0, int y0);
int GUI_JPEG_DrawEx(GUI_GetDataCallback* pfGetData, void* p, int x0, int y0);

// Reads up to the frame header and gives the image's size (pInfo may be
// null).  A frame of a kind not drawn gives 0 with the sizes 0.
int GUI_JPEG_GetInfo(const void* pFileData, uint32_t NumBytes, GUI_JPEG_INFO* pInfo);
int GUI_JPEG_GetInfoEx(GUI_GetDataCallback* pfGetData, void* p, GUI_JPEG_INFO* pInfo);
