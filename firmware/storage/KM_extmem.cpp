#include "storage/KM_extmem.h"

uint32_t ExtMemSize;

// The image store is not read yet: no image is live, no demo runs, and
// programming is refused.
int KM_Load_ExtMem(void)
{
    return 0;
}

int KM_Check_Demo(void)
{
    return 0;
}

int KM_ExtMem_ProgramArea(uint32_t, const uint8_t*, uint32_t)
{
    return 1;
}
