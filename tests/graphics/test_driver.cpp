// The frame-buffer driver: word layout of pixels and lines, and bitmaps of
// every pixel size through the LCD layer's one bitmap entry.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "screen.h"

namespace {

using screen::px;

uint32_t word(int index)
{
    return static_cast<volatile uint32_t*>(hw_ptr(screen::kFrameBuffer))[index];
}

TEST(FrameBuffer, PixelsAreLittleEndianHalvesOfWords)
{
    screen::start();
    screen::run([] {
        LCD_SetPixelIndex(0, 0, 0x1111);
        LCD_SetPixelIndex(1, 0, 0x2222);
        LCD_SetPixelIndex(0, 1, 0x3333);
    });
    EXPECT_EQ(word(0), 0x22221111u) << "even x in bits 0..15, odd x in bits 16..31";
    EXPECT_EQ(word(screen::W / 2), 0x00003333u) << "rows follow one another at the panel width";
}

TEST(HLine, OddStartAndEvenEndTouchOnlyTheirHalves)
{
    screen::start();
    screen::fill(0x1234);
    screen::run([] { LCD_DrawHLine(1, 0, 2); });
    EXPECT_EQ(word(0), 0xFFFF1234u) << "x = 1 is the upper half of word 0; the lower half must be kept";
    EXPECT_EQ(word(1), 0x1234FFFFu) << "x = 2 is the lower half of word 1; the upper half must be kept";
    screen::run([] { LCD_DrawHLine(6, 1, 6); });
    EXPECT_EQ(word(screen::W / 2 + 3), 0x1234FFFFu) << "one pixel at an even x changes only the lower half";
    EXPECT_EQ(word(screen::W / 2 + 2), 0x12341234u);
}

// Draws many random spans on a patterned row and checks that exactly the
// span changed: to the foreground, or inverted in XOR mode.
TEST(HLine, RandomSpansChangeExactlyTheirPixels)
{
    screen::start();
    std::vector<std::string> failures;
    screen::run([&] {
        std::mt19937 rng(7);
        for (int n = 0; n < 3000; ++n) {
            const int x0 = static_cast<int>(rng() % screen::W), x1 = x0 + static_cast<int>(rng() % (screen::W - x0));
            const bool xorMode = n % 3 == 0;
            const int y = n % screen::H;
            for (int x = 0; x < screen::W; ++x)
                screen::set_px(x, y, static_cast<uint16_t>(0x0101 * (x & 0xFF)));
            GUI_SetDrawMode(xorMode ? GUI_DRAWMODE_XOR : GUI_DRAWMODE_NORMAL);
            LCD_DrawHLine(x0, y, x1);
            for (int x = 0; x < screen::W; ++x) {
                const uint16_t before = static_cast<uint16_t>(0x0101 * (x & 0xFF));
                const uint16_t want = x < x0 || x > x1 ? before : xorMode ? before ^ 0xFFFF : 0xFFFF;
                if (px(x, y) != want) {
                    std::ostringstream o;
                    o << (xorMode ? "XOR " : "") << "line " << x0 << ".." << x1 << " left pixel " << x << " at "
                      << std::hex << px(x, y) << ", expected " << want;
                    failures.push_back(o.str());
                    break;
                }
            }
        }
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    });
    EXPECT_TRUE(failures.empty()) << failures.size() << " spans wrong, first: " << failures.front();
}

// Rectangles of whole rows are one long fill: of a few words, of more than
// the block that long fills are copied from, of whole blocks, of the screen.
TEST(FillRect, WholeRowsPaintTheirRowsAndNoMore)
{
    screen::start();
    struct Rows {
        int y0, y1;
    };
    const Rows cases[] = {{5, 5}, {3, 8}, {10, 30}, {200, 327}, {0, screen::H - 1}};
    for (const Rows& c : cases) {
        screen::fill(0x5A5A);
        screen::run([&] {
            GUI_SetColorIndex(0x1234);
            GUI_FillRect(0, c.y0, screen::W - 1, c.y1);
        });
        std::string wrong;
        for (int y = 0; y < screen::H && wrong.empty(); ++y)
            for (int x = 0; x < screen::W && wrong.empty(); ++x)
                if (px(x, y) != (y >= c.y0 && y <= c.y1 ? 0x1234 : 0x5A5A))
                    wrong = "pixel (" + std::to_string(x) + "," + std::to_string(y) + ")";
        EXPECT_EQ(wrong, "") << "rows " << c.y0 << ".." << c.y1 << " filled";
    }
}

TEST(VLine, OneHalfWordPerRow)
{
    screen::start();
    screen::run([] { LCD_DrawVLine(3, 2, 5); });
    EXPECT_EQ(screen::art(2, 1, 4, 6),
              "...\n"
              ".#.\n"
              ".#.\n"
              ".#.\n"
              ".#.\n"
              "...\n");
}

TEST(ReadRect, CopiesTheRectangleRowByRow)
{
    screen::start();
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            screen::set_px(x, y, static_cast<uint16_t>(y * 16 + x));
    uint16_t out[6] = {};
    screen::run([&] {
        auto rd = reinterpret_cast<LCD_ReadRectFunc>(GUI_Context.pDeviceAPI->pfGetDevFunc(LCD_DEVFUNC_READRECT));
        rd(1, 1, 3, 2, out);
    });
    const uint16_t want[6] = {17, 18, 19, 33, 34, 35};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(out[i], want[i]) << "value " << i << " of the rectangle (1,1)-(3,2)";
}

// ---------------------------------------------------------------- bitmaps

const LCD_PixelIndex kBlueRed[2] = {screen::kBlue, screen::kRed};

TEST(Bitmap1bpp, NormalTransAndXorModes)
{
    screen::start();
    static const uint8_t bits[2] = {0xA5, 0x80};  // 1010 0101 1
    screen::fill(screen::kGreen);
    screen::run([] {
        LCD_DrawBitmap(0, 0, 9, 1, 1, 1, 1, 2, bits, kBlueRed);
        GUI_SetDrawMode(GUI_DRAWMODE_TRANS);
        LCD_DrawBitmap(0, 1, 9, 1, 1, 1, 1, 2, bits, kBlueRed);
        GUI_SetDrawMode(GUI_DRAWMODE_XOR);
        LCD_DrawBitmap(0, 2, 9, 1, 1, 1, 1, 2, bits, kBlueRed);
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    });
    EXPECT_EQ(screen::art(0, 0, 9, 0, screen::kRed), "#.#..#.##.\n") << "1-bits take pTrans[1]";
    EXPECT_EQ(screen::art(0, 0, 9, 0, screen::kBlue), ".#.##.#...\n")
        << "0-bits take pTrans[0] in normal mode";
    EXPECT_EQ(screen::art(0, 1, 9, 1, screen::kGreen), ".#.##.#..#\n")
        << "TRANS mode must leave 0-bits alone";
    EXPECT_EQ(screen::art(0, 2, 9, 2, static_cast<uint16_t>(screen::kGreen ^ 0xFFFF)), "#.#..#.##.\n")
        << "XOR mode inverts under 1-bits only";
}

TEST(Bitmap1bpp, StartingLeftOfTheClipDrawsFromTheBitOffset)
{
    screen::start();
    static const uint8_t bits[2] = {0xB3, 0x8F};  // 1011 0011 1000 1111
    screen::run([] {
        const GUI_Area clip = {10, 0, 30, 10};
        GUI_SetClipRect(&clip);
        LCD_DrawBitmap(7, 0, 16, 1, 1, 1, 1, 2, bits, kBlueRed);
        GUI_SetClipRect(nullptr);
    });
    // Bits 3..15 land on x = 10..22; x = 7..9 are outside the clip.
    EXPECT_EQ(screen::art(7, 0, 23, 0, screen::kRed), "...#..###...####.\n");
    EXPECT_EQ(screen::art(7, 0, 9, 0, screen::kBlack), "###\n") << "pixels left of the clip were drawn";
}

TEST(Bitmap, ClippedAtEveryEdge)
{
    screen::start();
    // 4 x 4 of 8-bit raw indices 1..16, clipped to its inner 2 x 2.
    static const uint8_t data[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    screen::run([] {
        const GUI_Area clip = {21, 31, 22, 32};
        GUI_SetClipRect(&clip);
        LCD_DrawBitmap(20, 30, 4, 4, 1, 1, 8, 4, data, nullptr);
        GUI_SetClipRect(nullptr);
    });
    EXPECT_EQ(px(21, 31), 6);
    EXPECT_EQ(px(22, 31), 7);
    EXPECT_EQ(px(21, 32), 10);
    EXPECT_EQ(px(22, 32), 11);
    for (int y = 29; y <= 34; ++y)
        for (int x = 19; x <= 24; ++x)
            if (x < 21 || x > 22 || y < 31 || y > 32)
                EXPECT_EQ(px(x, y), 0) << "pixel (" << x << "," << y << ") is outside the clip";
}

TEST(Bitmap8bpp, RawIndicesWithoutATableAndTransparentZero)
{
    screen::start();
    static const uint8_t data[4] = {0x00, 0x7F, 0xFF, 0x12};
    static const LCD_PixelIndex table[256] = {0x1111, 0x2222};
    screen::fill(0x5555);
    screen::run([] {
        LCD_DrawBitmap(0, 0, 4, 1, 1, 1, 8, 4, data, nullptr);
        GUI_SetDrawMode(GUI_DRAWMODE_TRANS);
        LCD_DrawBitmap(0, 1, 2, 1, 1, 1, 8, 4, data, table);
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    });
    EXPECT_EQ(px(0, 0), 0x00);
    EXPECT_EQ(px(1, 0), 0x7F) << "without a table the byte is the index";
    EXPECT_EQ(px(2, 0), 0xFF);
    EXPECT_EQ(px(3, 0), 0x12);
    EXPECT_EQ(px(0, 1), 0x5555) << "TRANS mode skips index 0";
    EXPECT_EQ(px(1, 1), 0x0000) << "index 0x7F through the table";
}

TEST(Bitmap16bpp, RowsOfEveryWidthAtEveryParity)
{
    screen::start();
    std::vector<std::string> failures;
    screen::run([&] {
        uint16_t data[64];
        for (int i = 0; i < 64; ++i)
            data[i] = static_cast<uint16_t>(0x1000 + i * 7);
        for (int x0 = 0; x0 < 4; ++x0)
            for (int w = 1; w <= 40; ++w) {
                const int y = x0 * 41 + w;
                for (int x = 0; x < 50; ++x)
                    screen::set_px(x, y, 0xBEEF);
                LCD_DrawBitmap(x0, y, w, 1, 1, 1, 16, 128, reinterpret_cast<const uint8_t*>(data), nullptr);
                for (int x = 0; x < 50; ++x) {
                    const uint16_t want = x >= x0 && x < x0 + w ? data[x - x0] : 0xBEEF;
                    if (px(x, y) != want) {
                        failures.push_back("width " + std::to_string(w) + " at x " + std::to_string(x0) +
                                           ": pixel " + std::to_string(x) + " wrong");
                        break;
                    }
                }
            }
    });
    EXPECT_TRUE(failures.empty()) << failures.size() << " rows wrong, first: " << failures.front();
}

TEST(Bitmap16bpp, TransModeSkipsBlackPixels)
{
    screen::start();
    static const uint16_t data[3] = {0x0000, 0x1234, 0x0000};
    screen::fill(0x7777);
    screen::run([] {
        GUI_SetDrawMode(GUI_DRAWMODE_TRANS);
        LCD_DrawBitmap(1, 0, 3, 1, 1, 1, 16, 6, reinterpret_cast<const uint8_t*>(data), nullptr);
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    });
    EXPECT_EQ(px(1, 0), 0x7777) << "a black (0x0000) pixel must not be drawn in TRANS mode";
    EXPECT_EQ(px(2, 0), 0x1234);
    EXPECT_EQ(px(3, 0), 0x7777);
}

TEST(BitmapPacked, TwoAndFourBitsWithoutAPaletteDrawRawIndices)
{
    screen::start();
    static const uint8_t four[1] = {0x3C};        // 3, 12
    static const uint8_t two[1] = {0x1B};         // 0, 1, 2, 3
    static const LCD_PixelIndex table[4] = {0x100, 0x200, 0x300, 0x400};
    screen::run([] {
        LCD_DrawBitmap(0, 0, 2, 1, 1, 1, 4, 1, four, nullptr);
        LCD_DrawBitmap(0, 1, 4, 1, 1, 1, 2, 1, two, nullptr);
        LCD_DrawBitmap(0, 2, 4, 1, 1, 1, 2, 1, two, table);
    });
    EXPECT_EQ(px(0, 0), 3) << "a 4-bpp bitmap without a palette must draw its raw indices";
    EXPECT_EQ(px(1, 0), 12);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(px(i, 1), i) << "2-bpp pixel " << i << " without a palette";
        EXPECT_EQ(px(i, 2), table[i]) << "2-bpp pixel " << i << " through the palette";
    }
}

TEST(BitmapMagnified, EachPixelBecomesAClippedBlock)
{
    screen::start();
    static const uint8_t bits[2] = {0xA0, 0x40};  // 1 0 1 / 0 1 0
    screen::run([] {
        const GUI_Area clip = {0, 0, 7, 2};
        GUI_SetClipRect(&clip);
        LCD_DrawBitmap(0, 0, 3, 2, 3, 2, 1, 1, bits, kBlueRed);
        GUI_SetClipRect(nullptr);
    });
    EXPECT_EQ(screen::art(0, 0, 9, 4, screen::kRed),
              "###...##..\n"
              "###...##..\n"
              "...###....\n"
              "..........\n"
              "..........\n");
    EXPECT_EQ(screen::art(0, 0, 9, 4, screen::kBlue),
              "...###....\n"
              "...###....\n"
              "###...##..\n"
              "..........\n"
              "..........\n");
    EXPECT_EQ(GUI_Context.ColorIndex, 0xFFFFu) << "the foreground slot must be restored after a magnified bitmap";
}

TEST(Bitmap, UnknownPixelSizesDrawNothing)
{
    screen::start();
    static const uint8_t data[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    screen::run([] {
        LCD_DrawBitmap(0, 0, 2, 1, 1, 1, 3, 8, data, nullptr);
        LCD_DrawBitmap(0, 0, 2, 1, 1, 1, 24, 8, data, nullptr);
        LCD_DrawBitmap(0, 0, 2, 1, 2, 2, 32, 8, data, nullptr);
    });
    EXPECT_TRUE(screen::pixels_not(screen::kBlack).empty());
}

}  // namespace
