#include "app/crc16.h"

#include "format/crc16.h"

// The table pair and the loop are shared with the PC program, so both sides
// compute the same CRC by construction.
uint16_t CalcCRCwithSeed(const uint8_t* bytes, uint32_t len, uint16_t seed)
{
    return CRC16_Modbus(bytes, len, seed);
}

uint16_t CalcCRC(const uint8_t* bytes, uint32_t len)
{
    return CRC16_Modbus(bytes, len);
}
