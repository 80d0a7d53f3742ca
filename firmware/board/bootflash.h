// Driver of the 16-bit parallel NOR flash on chip select 0 (AMD command set).
#pragma once

#include <stdint.h>

int FlashWriteBlock(uint32_t dst, const void* src, uint32_t nbytes);
int FlashEraseSector(uint32_t sectorAddress);
int FlashIsErased(uint32_t address, uint32_t length);
