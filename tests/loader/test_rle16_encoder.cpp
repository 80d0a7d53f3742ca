// The RLE16 encoder's packet choices, byte for byte, and that the controller's
// decoder gives back every pixel.
#include "core/rle16_encoder.h"
#include "format/rle16.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Pixels = std::vector<uint16_t>;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t A = 0x1111, B = 0x2222, C = 0x3333, D = 0x4444, X = 0x5555;

Pixels Same(uint16_t p, int n) { return Pixels(size_t(n), p); }

// n pixels that all differ from each other and from A..X.
Pixels Distinct(int n, uint16_t from = 0x8000)
{
    Pixels p;
    for (int i = 0; i < n; i++)
        p.push_back(uint16_t(from + i));
    return p;
}

template <typename T>
std::vector<T> operator+(std::vector<T> a, const std::vector<T>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes RunPacket(int n, uint16_t p) { return {uint8_t(n), uint8_t(p), uint8_t(p >> 8)}; }

Bytes Literal(const Pixels& pixels)
{
    Bytes b{0x00, uint8_t(pixels.size())};
    for (uint16_t p : pixels)
        b.push_back(uint8_t(p)), b.push_back(uint8_t(p >> 8));
    return b;
}

const Bytes End{0x00};

Bytes Encode(const Pixels& pixels)
{
    const uint32_t raw = uint32_t(pixels.size() * 2);
    Bytes out(raw, 0xEE);
    CRle16Encoder encoder;
    const uint32_t n = encoder.Encode(16, pixels.data(), out.data(), raw);
    out.resize(n);
    return out;
}

Pixels Decode(const Bytes& encoded, size_t count)
{
    RLE16_Stream s;
    RLE16_Begin(&s, encoded.data(), uint32_t(encoded.size()));
    Pixels out;
    uint16_t p;
    while (out.size() < count && RLE16_Next(&s, &p))
        out.push_back(p);
    return out;
}

std::string Hex(const Bytes& b)
{
    std::string s;
    char t[4];
    for (size_t i = 0; i < b.size() && i < 48; i++) {
        std::snprintf(t, sizeof t, "%02X ", b[i]);
        s += t;
    }
    return b.size() > 48 ? s + "..." : s;
}

struct Case {
    const char* what;
    Pixels pixels;
    Bytes expected;  // empty: the bitmap must be stored raw (Encode returns 0)
};

}  // namespace

TEST(Rle16Encoder, ChoosesPacketsByItsRules)
{
    const Pixels tenWide = Distinct(5) + Same(A, 10) + Distinct(5, 0x9000);  // two rows of 10
    const std::vector<Case> cases = {
        {"a run of 3 goes into a literal group", Same(A, 3) + Same(B, 20),
         Literal(Same(A, 3)) + RunPacket(20, B) + End},
        {"a run of 4 between packets is a run packet", Same(A, 4) + Same(B, 20), RunPacket(4, A) + RunPacket(20, B) + End},
        {"the pixel before a run of 4 is a run of one", Pixels{C} + Same(A, 4) + Same(B, 20),
         RunPacket(1, C) + RunPacket(4, A) + RunPacket(20, B) + End},
        {"a run of 4 inside a literal group stays in it", Pixels{C, D} + Same(A, 4) + Same(B, 20),
         Literal(Pixels{C, D} + Same(A, 4)) + RunPacket(20, B) + End},
        {"a run of 5 ends a literal group", Pixels{C, D} + Same(A, 5) + Same(B, 20),
         Literal({C, D}) + RunPacket(5, A) + RunPacket(20, B) + End},
        {"a run of 254 is one packet", Same(A, 254) + Same(B, 4), RunPacket(254, A) + RunPacket(4, B) + End},
        {"a run of 255 is 254 and a run of one", Same(A, 255) + Same(B, 20),
         RunPacket(254, A) + RunPacket(1, A) + RunPacket(20, B) + End},
        {"a literal group holds at most 254 pixels", Distinct(256) + Same(B, 20),
         Literal(Distinct(254)) + Literal(Distinct(2, 0x8000 + 254)) + RunPacket(20, B) + End},
        {"a run crosses the end of a row", tenWide,
         Literal(Distinct(5)) + RunPacket(10, A) + Literal(Distinct(5, 0x9000)) + End},
        {"2000 pixels of one colour", Same(A, 2000),
         RunPacket(254, A) + RunPacket(254, A) + RunPacket(254, A) + RunPacket(254, A) + RunPacket(254, A) + RunPacket(254, A) + RunPacket(254, A) +
             RunPacket(222, A) + End},
        {"an encoding of exactly raw - 1 bytes fits", Pixels{X} + Same(A, 4) + Distinct(10),
         RunPacket(1, X) + RunPacket(4, A) + Literal(Distinct(10)) + End},
        {"an encoding one byte longer does not", Same(A, 4) + Distinct(254) + Distinct(10, 0x9000), {}},
        {"pixels without repeats are not compressed", Distinct(1000), {}},
    };
    for (const Case& c : cases) {
        const Bytes encoded = Encode(c.pixels);
        EXPECT_EQ(encoded, c.expected) << c.what << ":\n  got      " << Hex(encoded) << "\n  expected "
                                       << Hex(c.expected);
        if (!encoded.empty()) {
            EXPECT_LE(encoded.size(), c.pixels.size() * 2 - 1) << c.what << ": longer than the raw pixels";
            EXPECT_EQ(Decode(encoded, c.pixels.size()), c.pixels)
                << c.what << ": the controller's decoder draws other pixels than the bitmap's";
        }
    }
}

TEST(Rle16Encoder, EncodesOnlySixteenBitPixels)
{
    const Pixels pixels = Same(A, 100);
    Bytes out(200);
    CRle16Encoder encoder;
    EXPECT_EQ(encoder.Encode(8, pixels.data(), out.data(), 200), 0u) << "8-bit pixels were encoded as 16-bit";
}
