// CRC-16/MODBUS of command lines and of the memory image.
#pragma once

#include <stdint.h>

uint16_t CalcCRC(const uint8_t* bytes, uint32_t len);
uint16_t CalcCRCwithSeed(const uint8_t* bytes, uint32_t len, uint16_t seed);
