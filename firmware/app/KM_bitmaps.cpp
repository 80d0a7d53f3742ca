#include "app/KM_bitmaps.h"

// Bitmaps of the memory image are not drawn yet.
ExtMemDirEntry* KM_GetExtBitmap(int)
{
    return 0;
}

int KM_DrawBitmap(const ExtMemDirEntry*, int, int)
{
    return 0;
}
