// Bitmaps and GIFs of the memory image: lookups by number, drawing by kind,
// direct copies into the frame buffer, and the bitmap commands.
#pragma once

#include <stdint.h>

#include "format/memimage.h"

ExtMemDirEntry* KM_GetExtBitmap(int n);
const uint8_t* KM_GetExtGIF(int n, uint32_t* size);
int KM_BitmapWidth(const ExtMemDirEntry* entry);
int KM_BitmapHeight(const ExtMemDirEntry* entry);
// The transparent colour of a type 5 bitmap (the low 16 bits of its palette
// word); 0 for no record.
uint16_t KM_BitmapKey(const ExtMemDirEntry* entry);
int KM_DrawBitmap(const ExtMemDirEntry* entry, int x, int y);
int KM_DrawBitmapW(const ExtMemDirEntry* entry, int x, int y);
void KM_DrawCompressedBitmap(const ExtBitmapRecord* record, int x, int y, uint32_t dataLength);
void KM_DrawBitmapTr(const ExtMemDirEntry* entry, int x, int y, uint16_t key);
int KM_DrawBitmapClipAbs(const ExtMemDirEntry* entry, int x, int y, int x0, int y0, int x1, int y1);
int KM_DrawBitmapTrClipAbs(const ExtMemDirEntry* entry, int x, int y, int x0, int y0, int x1, int y1, uint16_t key);
int KM_DrawBitmapCutOff(const ExtMemDirEntry* entry, int x, int y, int sx0, int sy0, int sx1, int sy1);
int screenCompressedBitmap(const ExtMemDirEntry* entry);
uint32_t KM_Index2Color256(uint8_t i);
void KM_Reset_LUT(uint16_t* palette);

// Host commands.
int cmdDrawBitmap(int n, int x, int y);
int cmdDrawBitmapKey(int n, int x, int y, unsigned key);
int cmdDrawBitmapCentred(int n, int x, int y);
int cmdDrawBitmapClipped(int n, int x, int y, int x0, int y0, int x1, int y1);
int cmdDrawBitmapStrip(int n, int x, int y, int dir, int len, int off);
int cmdListBitmaps(char* cmd);
int cmdSplash(char* cmd);
