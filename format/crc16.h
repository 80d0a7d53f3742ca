// CRC-16/MODBUS: reflected polynomial 0xA001 (0x8005), initial value 0xFFFF,
// no final XOR.  Check values: "123456789" 0x4B37, "abc" 0x5749, nothing
// 0xFFFF.  Used on CRC-prefixed command lines, by the image CRC query and by
// Dravik, which compares its own value with the controller's.
//
// Table-driven with the standard pair: CRCHi[i] and CRCLo[i] are the low and
// high bytes of the reflected table entry for i (the names are those of the
// MODBUS reference code, where they index the message's byte order).  The
// tables are computed at compile time, so they cannot carry a typing error.
//
// Header-only, no allocation.
#pragma once

#include <stdint.h>

constexpr uint16_t CRC16_POLY = 0xA001;  // 0x8005 reflected
constexpr uint16_t CRC16_INIT = 0xFFFF;

struct CRC16_TablePair {
    uint8_t hi[256];
    uint8_t lo[256];
};

constexpr CRC16_TablePair CRC16_MakeTables()
{
    CRC16_TablePair t{};
    for (unsigned i = 0; i < 256; i++) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; bit++)
            crc = (crc & 1) ? (crc >> 1) ^ CRC16_POLY : crc >> 1;
        t.hi[i] = static_cast<uint8_t>(crc & 0xFF);
        t.lo[i] = static_cast<uint8_t>(crc >> 8);
    }
    return t;
}

inline constexpr CRC16_TablePair CRC16_Tables = CRC16_MakeTables();
inline constexpr const uint8_t (&CRCHi)[256] = CRC16_Tables.hi;
inline constexpr const uint8_t (&CRCLo)[256] = CRC16_Tables.lo;

// Continues a CRC over n more bytes (B is a byte type: char or uint8_t); the
// first call takes CRC16_INIT.  Usable in constant expressions.
template <typename B>
constexpr uint16_t CRC16_Update(uint16_t crc, const B* bytes, uint32_t n)
{
    uint8_t lo = static_cast<uint8_t>(crc & 0xFF);
    uint8_t hi = static_cast<uint8_t>(crc >> 8);
    for (uint32_t i = 0; i < n; i++) {
        const uint8_t index = static_cast<uint8_t>(lo ^ static_cast<uint8_t>(bytes[i]));
        lo = static_cast<uint8_t>(hi ^ CRCHi[index]);
        hi = CRCLo[index];
    }
    return static_cast<uint16_t>((hi << 8) | lo);
}

// CRC-16/MODBUS of a block; seed continues an earlier result.
inline uint16_t CRC16_Modbus(const void* data, uint32_t n, uint16_t seed = CRC16_INIT)
{
    return CRC16_Update(seed, static_cast<const uint8_t*>(data), n);
}
