// RLE16: the run-length encoding of 16-bit pixels that the controller draws
// straight from the memory image (entry type 2).
//
// A stream of packets over the whole bitmap in row order, top row first; a
// packet runs on from the end of one row into the next:
//   run      N (1..255), pixel            the pixel N times
//   literal  0x00, n (0..255), n pixels   each pixel once (n = 0: empty)
// Pixels are little-endian.  There is no header (the bitmap record gives the
// size) and decoding stops when the bitmap is complete, so the one 0x00 byte
// that Dravik appends is never read.
//
// Header-only, no allocation: the firmware's decoder and Dravik's encoder
// share these rules.
#pragma once

#include <stdint.h>

constexpr uint8_t RLE16_LITERAL = 0x00;     // first byte of a literal packet
constexpr uint8_t RLE16_END = 0x00;         // the byte the encoder appends
constexpr uint32_t RLE16_DECODE_MAX = 255;  // largest count a decoder accepts

// The encoder's choices, which decide the exact bytes Dravik produces.
constexpr uint32_t RLE16_RUN_MAX = 254;      // pixels in one run packet
constexpr uint32_t RLE16_LITERAL_MAX = 254;  // pixels in one literal packet
// Between packets a run of 4 equal pixels starts a run packet; inside an open
// literal packet only a run of 5 or more ends it.
constexpr uint32_t RLE16_RUN_MIN_BETWEEN = 4;
constexpr uint32_t RLE16_RUN_MIN_IN_LITERAL = 5;

// Decoding position in one stream.  Copyable, so a drawer can keep where it
// got to and resume there.  Never reads outside [p, end).
struct RLE16_Stream {
    const uint8_t* p;
    const uint8_t* end;
    uint16_t pixel;   // the pixel of the current run
    uint8_t left;     // pixels left in the current packet
    uint8_t literal;  // 1: the current packet is a literal one
};

inline void RLE16_Begin(RLE16_Stream* s, const void* data, uint32_t length)
{
    s->p = static_cast<const uint8_t*>(data);
    s->end = s->p + length;
    s->pixel = 0;
    s->left = 0;
    s->literal = 0;
}

// Opens the next packet that has pixels: 1, or 0 when the data ends first.
// A run's pixel is read with its header; a literal's pixels stay at p.
inline int RLE16_NextPacket(RLE16_Stream* s)
{
    while (s->left == 0) {
        if (s->end - s->p < 2)
            return 0;
        const uint8_t n = s->p[0];
        if (n == RLE16_LITERAL) {
            s->left = s->p[1];
            s->literal = 1;
            s->p += 2;
        } else {
            if (s->end - s->p < 3)
                return 0;
            s->pixel = static_cast<uint16_t>(s->p[1] | (s->p[2] << 8));
            s->left = n;
            s->literal = 0;
            s->p += 3;
        }
    }
    return 1;
}

// The next pixel: 1 and *pixel, or 0 when the data ends (also inside a
// packet cut short).
inline int RLE16_Next(RLE16_Stream* s, uint16_t* pixel)
{
    if (!RLE16_NextPacket(s))
        return 0;
    if (s->literal) {
        if (s->end - s->p < 2)
            return 0;
        s->pixel = static_cast<uint16_t>(s->p[0] | (s->p[1] << 8));
        s->p += 2;
    }
    s->left--;
    *pixel = s->pixel;
    return 1;
}
