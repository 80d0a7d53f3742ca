// Compressed (RLE16) bitmaps drawn by the graphics library: both pixel
// layouts, transparency, clipping, and data that ends before the bitmap does.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/rle16_encoder.h"
#include "format/rle16.h"
#include "graphics/GUI_Bitmap.h"
#include "screen.h"

namespace {

using screen::px;

constexpr int kWidth = 29, kHeight = 11;
constexpr uint16_t kUntouched = 0x5A5A;

// Pieces of 40 pixels that run on over row ends: a run of one colour,
// noise with black in it, a run of black, noise.
std::vector<uint16_t> source()
{
    std::vector<uint16_t> p(kWidth * kHeight);
    uint32_t v = 12345;
    for (int i = 0; i < kWidth * kHeight; ++i) {
        v = v * 1103515245u + 12345u;
        const int piece = i / 40;
        switch (piece % 4) {
        case 0: p[i] = static_cast<uint16_t>(0x1111 * (piece / 4 + 1) + 0x0841); break;
        case 2: p[i] = 0x0000; break;
        default: p[i] = i % 3 ? static_cast<uint16_t>(v >> 16 | 1) : 0x0000; break;
        }
    }
    return p;
}

std::vector<uint8_t> encode(const std::vector<uint16_t>& pixels)
{
    std::vector<uint8_t> out(pixels.size() * 2);
    CRle16Encoder encoder;
    out.resize(encoder.Encode(16, pixels.data(), out.data(), static_cast<uint32_t>(out.size())));
    return out;
}

// Where a data cut ends up, past the first few pixels: inside the pixels of
// a literal group (on an odd byte), or inside the pixel of a run packet.
uint32_t cut_inside(const std::vector<uint8_t>& data, bool literal)
{
    uint32_t at = 0, pixels = 0;
    while (at + 2 < data.size()) {
        const bool isLiteral = data[at] == RLE16_LITERAL;
        const uint32_t n = isLiteral ? data[at + 1] : data[at];
        if (pixels > 10 && isLiteral == literal && n > 4)
            return literal ? at + 2 + 2 * 3 + 1 : at + 2;
        at += isLiteral ? 2 + 2 * n : 3;
        pixels += n;
    }
    return 0;
}

// What the stream holds, pixel by pixel, as the format defines it.
size_t decodable(const std::vector<uint8_t>& data, uint32_t length)
{
    RLE16_Stream s;
    RLE16_Begin(&s, data.data(), length);
    size_t n = 0;
    uint16_t p;
    while (n < kWidth * kHeight && RLE16_Next(&s, &p))
        ++n;
    return n;
}

// The blue-high layout of the RLE16 kind and the display's red-high one
// hold the same colour with the red and blue fields exchanged.
uint16_t swap_red_blue(uint16_t v)
{
    return static_cast<uint16_t>((v & 0x1F) << 11 | (v & 0x07E0) | v >> 11);
}

TEST(CompressedBitmaps, LayoutsTransparencyClippingAndShortData)
{
    const std::vector<uint16_t> pixels = source();
    const std::vector<uint8_t> data = encode(pixels);
    ASSERT_FALSE(data.empty());
    enum Cut { Whole, InLiteral, InRun };
    struct Case {
        const char* what;
        bool blueHigh;  // the RLE16 kind; else RLEM16, the display's own layout
        bool trans;     // a palette that makes index 0 transparent
        GUI_Area clip;
        int x, y;
        Cut cut;
    };
    const Case cases[] = {
        {"RLEM16, whole", false, false, {0, 0, 799, 479}, 40, 30, Whole},
        {"RLE16, converted", true, false, {0, 0, 799, 479}, 41, 30, Whole},
        {"RLEM16 cut at both sides and below", false, false, {47, 0, 60, 36}, 40, 30, Whole},
        {"RLEM16 transparent", false, true, {0, 0, 799, 479}, 40, 30, Whole},
        {"RLE16 transparent, cut at both sides", true, true, {45, 33, 63, 38}, 41, 30, Whole},
        {"RLEM16 transparent, off the left edge", false, true, {0, 0, 799, 479}, -7, 30, Whole},
        {"data ending inside a literal group", false, false, {0, 0, 799, 479}, 40, 30, InLiteral},
        {"data ending inside a run packet", false, false, {0, 0, 799, 479}, 40, 30, InRun},
    };
    screen::start();
    for (const Case& c : cases) {
        const uint32_t length = c.cut == Whole ? static_cast<uint32_t>(data.size()) : cut_inside(data, c.cut == InLiteral);
        ASSERT_GT(length, 0u) << c.what;
        const std::vector<uint8_t> kept(data.begin(), data.begin() + length);  // nothing readable past the cut
        const size_t shown = decodable(kept, length);
        screen::fill(kUntouched);
        screen::run([&] {
            static const GUI_ColorValue colors[1] = {0};
            const GUI_PaletteRecord transparent = {1, 1, colors};
            const GUI_BitmapRecord bm = {kWidth, kHeight, 2 * kWidth, 16, kept.data(), c.trans ? &transparent : nullptr,
                                         c.blueHigh ? &GUI_BitmapMethodsRLE16 : &GUI_BitmapMethodsRLEM16};
            GUI_SetClipRect(&c.clip);
            if (c.cut == Whole)
                GUI_DrawBitmap(&bm, c.x, c.y);
            else
                GUI__DrawBitmapRLE16(c.x, c.y, kWidth, kHeight, kept.data(), length, 1, 1, 1);
            GUI_SetClipRect(nullptr);
        });
        std::string wrong;
        for (int y = 0; y < 80 && wrong.empty(); ++y)
            for (int x = 0; x < 120 && wrong.empty(); ++x) {
                const int col = x - c.x, row = y - c.y, i = row * kWidth + col;
                const bool inside = col >= 0 && col < kWidth && row >= 0 && row < kHeight && x >= c.clip.x0 &&
                                    x <= c.clip.x1 && y >= c.clip.y0 && y <= c.clip.y1;
                uint16_t want = kUntouched;
                if (inside && static_cast<size_t>(i) < shown) {
                    const uint16_t v = c.blueHigh ? swap_red_blue(pixels[i]) : pixels[i];
                    if (!(c.trans && v == 0))
                        want = v;
                }
                if (px(x, y) != want) {
                    char t[96];
                    std::snprintf(t, sizeof t, "pixel (%d,%d) of the bitmap: 0x%04X, want 0x%04X", col, row, px(x, y),
                                  want);
                    wrong = t;
                }
            }
        EXPECT_EQ(wrong, "") << c.what;
        int mode = -1;
        screen::run([&] { mode = GUI_GetDrawMode(); });
        EXPECT_EQ(mode, GUI_DRAWMODE_NORMAL) << c.what << ": the caller's draw mode must come back";
    }
}

}  // namespace
