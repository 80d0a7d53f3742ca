#include "storage/KM_extmem.h"

uint32_t ExtMemSize;
