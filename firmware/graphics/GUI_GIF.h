// GIF87a/GIF89a files: drawing one image (frame) and the questions about a
// file (screen size, number of frames, a frame's place, size and delay,
// comments).  Each entry comes for a file in memory and, with the suffix Ex,
// for a file read through a callback.  Results are 0 on success, 1 on failure.
#pragma once

#include <stdint.h>

// Makes NumBytes of the file from offset Off available at *ppData and
// returns how many it could; fewer than wanted is an error to the readers.
typedef int GUI_GetDataCallback(void* p, const uint8_t** ppData, unsigned NumBytes, uint32_t Off);

struct GUI_GifFileInfo {
    int32_t XSize;
    int32_t YSize;
    int32_t NumImages;
};

struct GUI_GifFrameInfo {
    int32_t xPos;
    int32_t yPos;
    int32_t XSize;
    int32_t YSize;
    int32_t Delay;  // 1/100 s
};

int GUI_GIF_Draw(const void* pGIF, uint32_t NumBytes, int x0, int y0);
int GUI_GIF_DrawEx(GUI_GetDataCallback* pfGetData, void* p, int x0, int y0);
int GUI_GIF_DrawSub(const void* pGIF, uint32_t NumBytes, int x0, int y0, int Index);
int GUI_GIF_DrawSubEx(GUI_GetDataCallback* pfGetData, void* p, int x0, int y0, int Index);
int GUI_GIF_GetInfo(const void* pGIF, uint32_t NumBytes, GUI_GifFileInfo* pInfo);
int GUI_GIF_GetInfoEx(GUI_GetDataCallback* pfGetData, void* p, GUI_GifFileInfo* pInfo);
int GUI_GIF_GetImageInfo(const void* pGIF, uint32_t NumBytes, GUI_GifFrameInfo* pInfo, int Index);
int GUI_GIF_GetImageInfoEx(GUI_GetDataCallback* pfGetData, void* p, GUI_GifFrameInfo* pInfo, int Index);
int GUI_GIF_GetComment(const void* pGIF, uint32_t NumBytes, uint8_t* pBuffer, int MaxSize, int Index);
int GUI_GIF_GetCommentEx(GUI_GetDataCallback* pfGetData, void* p, uint8_t* pBuffer, int MaxSize, int Index);
int GUI_GIF_GetXSize(const void* pGIF, uint32_t NumBytes);
int GUI_GIF_GetYSize(const void* pGIF, uint32_t NumBytes);
int GUI_GIF_GetXSizeEx(GUI_GetDataCallback* pfGetData, void* p);
int GUI_GIF_GetYSizeEx(GUI_GetDataCallback* pfGetData, void* p);
