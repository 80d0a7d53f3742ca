// Memory images composed by tests with the same writers and RLE16 encoder
// that the PC program uses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fwtest {

struct TestBitmap {
    enum Kind { Raw, Rle, Trans, Gif, Font } kind = Raw;
    int width = 0, height = 0;
    std::vector<uint16_t> pixels;  // RGB565, rows top first
    uint16_t key = 0;              // Trans: the transparent colour
    std::vector<uint8_t> bytes;    // Gif/Font: the stored bytes
    // Font with an alias: bytes are a .sif file, stored after the font
    // record the PC program writes (alias, kind byte, length); without an
    // alias the bytes are stored as they are.
    std::string alias;
    uint8_t fontKind = 0;
};

// One macro of the image's macro table.
struct TestMacro {
    int number = 0;                  // 1..255
    std::string name;                // empty: the macro has no name
    std::vector<std::string> lines;  // stored as written
};

// Lays out an image for base (0xC8400000 for Flash2, 0 for offsets): entry 0
// an empty macro table, then the bitmaps in order.
std::vector<uint8_t> build_image(const std::vector<TestBitmap>& bitmaps, uint32_t base = 0xC8400000u);
// The same with a macro block after the directory: the table in the given
// order, the name block (names by number, number 0 empty) and the texts.
std::vector<uint8_t> build_image(const std::vector<TestBitmap>& bitmaps, const std::vector<TestMacro>& macros,
                                 uint32_t base = 0xC8400000u);

// Pixels that make a bitmap's every row and column recognisable.
std::vector<uint16_t> test_pattern(int width, int height, uint32_t seed);
// A picture as screens mostly are: 40x40 blocks of one colour each, every
// third block noise (the benchmarks' RLE16 picture).
std::vector<uint16_t> screen_pattern(int width, int height);

}  // namespace fwtest
