// Bitmaps and GIFs of the memory image: lookups by number and drawing.
#pragma once

#include <stdint.h>

#include "format/memimage.h"

ExtMemDirEntry* KM_GetExtBitmap(int n);
int KM_DrawBitmap(const ExtMemDirEntry* entry, int x, int y);
