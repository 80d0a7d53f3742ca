// Compresses the RGB565 pixels of one bitmap into RLE16 (format/rle16.h),
// the encoding the controller draws directly (image entry type 2).  The
// packet choices below decide the exact bytes Dravik produces.
#pragma once

#include <cstdint>

class CRle16Encoder {
public:
    virtual ~CRle16Encoder();

    // pixels: rawLength / 2 pixels, rows top-down; output: rawLength bytes.
    // Returns the encoded length including the final 0x00, or 0 when the
    // encoding would not stay below rawLength - 1 bytes (or the pixels are
    // not 16-bit): the caller then stores the pixels raw.
    uint32_t Encode(int bitsPerPixel, const uint16_t* pixels, uint8_t* output, uint32_t rawLength);

private:
    // Length of the run of equal pixels that starts index pixels after the
    // current one, when it is at least threshold (counted up to the longest
    // run packet, which is all any caller uses); else 0, also past the end.
    uint32_t RunLengthAt(uint32_t threshold, uint32_t index) const;
    bool IsPastEnd(uint32_t index) const;
    uint16_t PeekPixel(uint32_t index) const;
    // The current pixel, advancing n pixels.
    uint16_t TakePixels(uint32_t n);
    // The current pixel, advancing one; 0 at the end.
    uint16_t NextPixel();
    // True when n more output bytes leave the output below its capacity.
    bool HasRoom(uint32_t n) const;
    void Put8(uint8_t v);
    void Put16(uint16_t v);

    const uint16_t* m_pixels = nullptr;
    uint32_t m_count = 0;     // pixels in the input
    uint32_t m_position = 0;  // current pixel
    uint8_t* m_output = nullptr;
    uint32_t m_written = 0;
    uint32_t m_capacity = 0;  // raw length - 1
};
