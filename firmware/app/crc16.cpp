#include "app/crc16.h"

uint16_t CalcCRCwithSeed(const uint8_t* bytes, uint32_t len, uint16_t seed)
{
    uint16_t crc = seed;
    for (uint32_t i = 0; i < len; ++i) {
        crc ^= bytes[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? (uint16_t)((crc >> 1) ^ 0xA001) : (uint16_t)(crc >> 1);
    }
    return crc;
}

uint16_t CalcCRC(const uint8_t* bytes, uint32_t len)
{
    return CalcCRCwithSeed(bytes, len, 0xFFFF);
}
