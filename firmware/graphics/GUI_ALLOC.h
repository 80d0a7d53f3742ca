// The graphics library's memory pool: blocks held by 16-bit handles, so the
// pool can slide them together when no free block is large enough.
#pragma once

#include <stdint.h>

typedef int16_t GUI_ALLOC_Handle;

#define GUI_ALLOC_POOL_SIZE 100000
#define GUI_ALLOC_NUM_BLOCKS 3127

GUI_ALLOC_Handle GUI_ALLOC_AllocNoInit(int32_t size);
GUI_ALLOC_Handle GUI_ALLOC_AllocZero(int32_t size);
void GUI_ALLOC_Free(GUI_ALLOC_Handle h);
void GUI_ALLOC_FreePtr(GUI_ALLOC_Handle* ph);
void GUI_ALLOC_FreePtrArray(GUI_ALLOC_Handle* pa, int count);
void* GUI_ALLOC_h2p(GUI_ALLOC_Handle h);
void* GUI_ALLOC_LockH(GUI_ALLOC_Handle h);
void* GUI_ALLOC_UnlockH(GUI_ALLOC_Handle h);
void GUI_ALLOC_Lock(void);
void GUI_ALLOC_Unlock(void);
int32_t GUI_ALLOC_GetSize(GUI_ALLOC_Handle h);
int32_t GUI_ALLOC_GetNumFreeBytes(void);
int32_t GUI_ALLOC_GetNumUsedBytes(void);
int GUI_ALLOC_GetNumFreeBlocks(void);
int GUI_ALLOC_GetNumUsedBlocks(void);
int32_t GUI_ALLOC_GetMaxSize(void);
int32_t GUI_ALLOC_RequestSize(void);
void* GUI_ALLOC_GetFixedBlock(int32_t size);
void GUI_ALLOC_AssignMemory(void* p, uint32_t size);
void GUI_ALLOC_SetAvBlockSize(uint32_t size);
