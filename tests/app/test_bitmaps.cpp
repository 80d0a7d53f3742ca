// Bitmaps of the memory image as the host draws them by number.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "format/memimage.h"
#include "graphics/GUI.h"
#include "support/host.h"
#include "support/image_builder.h"

namespace {

using fwtest::clear_screen;
using fwtest::command;
using fwtest::fb;
using fwtest::TestBitmap;
using fwtest::untouched_outside;
using fwtest::visible;

const int W = 800, H = 480;

TestBitmap bitmap(TestBitmap::Kind kind, int w, int h, uint32_t seed, uint16_t key = 0)
{
    TestBitmap b;
    b.kind = kind;
    b.width = w;
    b.height = h;
    b.pixels = fwtest::test_pattern(w, h, seed);
    if (kind == TestBitmap::Rle) {
        // Runs and literals both: blocks of one colour beside noise.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w / 2; ++x)
                b.pixels[y * w + x] = static_cast<uint16_t>(0x1234 + (y / 3));
    }
    if (kind == TestBitmap::Trans) {
        b.key = key;
        for (int i = 0; i < w * h; i += 3)
            b.pixels[i] = key;
    }
    return b;
}

// Every pixel of the bitmap placed at (x, y) that lies on the screen must be
// its source pixel (or, for the key, what was there before: white).
std::string mismatch(sim::Board& b, const TestBitmap& bm, int x, int y)
{
    for (int r = 0; r < bm.height; ++r)
        for (int c = 0; c < bm.width; ++c) {
            int sx = x + c, sy = y + r;
            if (sx < 0 || sy < 0 || sx >= W || sy >= H)
                continue;
            uint16_t want = bm.pixels[r * bm.width + c];
            if (bm.kind == TestBitmap::Trans && want == bm.key)
                want = 0xFFFF;
            if (fb(b, sx, sy) != want) {
                char t[96];
                std::snprintf(t, sizeof t, "pixel (%d,%d) of the bitmap at (%d,%d): 0x%04X, want 0x%04X", c, r, x, y,
                              fb(b, sx, sy), want);
                return t;
            }
        }
    return "";
}

const std::vector<TestBitmap> kBitmaps = {
    bitmap(TestBitmap::Raw, 37, 23, 1),
    bitmap(TestBitmap::Rle, 61, 19, 2),
    bitmap(TestBitmap::Trans, 29, 31, 3, 0xF81F),
};

TEST(Bitmaps, FoundAtStartUpAndDrawnPixelForPixel)
{
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(kBitmaps);
    sim::Board& b = fwtest::boot_to_prompt(o);
    EXPECT_NE(b.uart1.sent_text().find(":loading 4KB bitmap/macro file from flash2\r"), std::string::npos)
        << visible(b.uart1.sent_text());
    struct Place {
        int x, y;
        const char* where;
    };
    const Place places[] = {
        {100, 50, "inside"}, {-10, -7, "over the top-left corner"}, {W - 20, H - 11, "over the bottom-right corner"},
        {W + 5, 10, "wholly off the right"}, {-100, H - 5, "off the left, at the bottom"}};
    for (size_t n = 1; n <= kBitmaps.size(); ++n)
        for (const Place& p : places) {
            clear_screen();
            char line[48];
            std::snprintf(line, sizeof line, "xi %zu %d %d", n, p.x, p.y);
            EXPECT_EQ(visible(command(line)), ">\\r") << line;
            EXPECT_EQ(mismatch(b, kBitmaps[n - 1], p.x, p.y), "") << "bitmap " << n << " " << p.where;
            EXPECT_TRUE(untouched_outside(b, p.x, p.y, p.x + kBitmaps[n - 1].width - 1, p.y + kBitmaps[n - 1].height - 1))
                << "bitmap " << n << " " << p.where << " drew outside itself";
        }
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

TEST(Bitmaps, LookupsRefuseWhatIsNoBitmap)
{
    std::vector<TestBitmap> bms = kBitmaps;
    TestBitmap gif;
    gif.kind = TestBitmap::Gif;
    gif.bytes = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'};
    bms.push_back(gif);
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(bms);
    fwtest::boot_to_prompt(o);
    for (const char* line : {"xi 0 0 0", "xi 5 0 0", "xi -1 0 0", "xi 4 0 0", "xit 2 0 0 0", "xim 9 10 10", "xi 1 2"})
        EXPECT_EQ(visible(command(line)), "!\\r") << line;
    EXPECT_EQ(visible(command("xim 1 10 10")), visible(":argument error\r!\r")) << "centre too close to the edge";
    EXPECT_EQ(visible(command("xio 2 0 0 0 5 0")), visible(":bitmap must be uncompressed\r!\r"));
    EXPECT_EQ(visible(command("xio 3 0 0 0 5 0")), visible(":transparency not supported\r:invalid bitmap\r!\r"));
    EXPECT_EQ(visible(command("xio 7 0 0 0 5 0")), visible(":invalid bitmap\r!\r"));
    EXPECT_EQ(visible(command("*SPL 260")), "!\\r") << "splash numbers are one byte";
    EXPECT_EQ(visible(command("*SPL 1")), ">\\r");
    EXPECT_EQ(visible(command("*SPL")), visible("1\r>\r"));
    EXPECT_EQ(visible(command("*SPL 0")), ">\\r");
    EXPECT_EQ(visible(command("*SPL")), visible("0\r>\r"));
}

TEST(Bitmaps, ClippedAndStripDraws)
{
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(kBitmaps);
    sim::Board& b = fwtest::boot_to_prompt(o);
    const TestBitmap& raw = kBitmaps[0];
    // The part under (x+5, y+3)..(x+10, y+8).
    ASSERT_EQ(command("xic 1 100 100 5 3 10 8"), ">\r");
    for (int y = 90; y < 140; ++y)
        for (int x = 90; x < 150; ++x) {
            bool in = x >= 105 && x <= 110 && y >= 103 && y <= 108;
            uint16_t want = in ? raw.pixels[(y - 100) * raw.width + (x - 100)] : 0xFFFF;
            ASSERT_EQ(fb(b, x, y), want) << "xic pixel (" << x << "," << y << ")";
        }
    EXPECT_EQ(visible(command("xic 1 100 100 10 3 5 8")), "!\\r") << "reversed corners";
    // A rectangle beyond the bitmap and the screen is cut to both.
    clear_screen();
    EXPECT_EQ(visible(command("xic 1 780 100 5 3 100 8")), ">\\r");
    for (int y = 100; y <= 110; ++y)
        for (int x = 780; x < W; ++x) {
            bool in = x >= 785 && y >= 103 && y <= 108;
            uint16_t want = in ? raw.pixels[(y - 100) * raw.width + (x - 780)] : 0xFFFF;
            ASSERT_EQ(fb(b, x, y), want) << "cut xic pixel (" << x << "," << y << ")";
        }
    EXPECT_TRUE(untouched_outside(b, 785, 103, W - 1, 108));
    const TestBitmap& trans = kBitmaps[2];
    clear_screen();
    EXPECT_EQ(visible(command("xic 3 100 100 20 20 40 40")), ">\\r") << "a transparent bitmap cut at its corner";
    for (int y = 120; y <= 130; ++y)
        for (int x = 120; x <= 128; ++x) {
            const uint16_t p = trans.pixels[(y - 100) * trans.width + (x - 100)];
            ASSERT_EQ(fb(b, x, y), p == trans.key ? 0xFFFF : p) << "cut transparent pixel (" << x << "," << y << ")";
        }
    EXPECT_TRUE(untouched_outside(b, 120, 120, 128, 130));
    // Rows 2..5 of the bitmap as a strip.
    clear_screen();
    ASSERT_EQ(command("xio 1 200 50 0 4 2"), ">\r");
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < raw.width; ++c) {
            uint16_t want = (r < 4) ? raw.pixels[(r + 2) * raw.width + c] : 0xFFFF;
            ASSERT_EQ(fb(b, 200 + c, 50 + r), want) << "xio strip pixel (" << c << "," << r << ")";
        }
    EXPECT_EQ(visible(command("xio 1 200 50 0 40 2")), "!\\r") << "a strip longer than the bitmap is cut";
    EXPECT_EQ(visible(command("xio 1 200 50 1 4 -2")), "!\\r") << "negative offset";
    // A compressed bitmap clipped through the context: the clip comes back.
    clear_screen();
    ASSERT_EQ(command("xic 2 300 300 0 0 5 5"), ">\r");
    ASSERT_EQ(command("xi 2 400 300"), ">\r");
    EXPECT_EQ(mismatch(b, kBitmaps[1], 400, 300), "") << "the clip rectangle was not restored";
}

// A compressed bitmap whose packets run on over row ends: runs of 50
// pixels and one of 300 (two packets), literal groups of 50, 37 pixels to a
// row.
TestBitmap runs_over_rows()
{
    TestBitmap b = bitmap(TestBitmap::Rle, 37, 23, 5);
    for (int i = 0; i < b.width * b.height; ++i) {
        const int piece = i < 100 ? i / 50 : i < 400 ? 2 : (i - 100) / 50;
        if (piece % 3 != 1)
            b.pixels[i] = static_cast<uint16_t>(0x0841 * (piece + 1));
    }
    return b;
}

// "xic" on a compressed bitmap draws it through the clip rectangle: each
// row's runs and literal groups are cut at both sides, rows end in the
// middle of a packet at every edge, and bands drawn one after another go on
// from where the band before stopped.
// A bitmap is placed in 16-bit coordinates, origin added: a place (or a
// clipping corner) beyond +-16383 is refused with "!" and draws nothing,
// with no overflow on the way; the edge of the room is taken.
TEST(Bitmaps, PlacesBeyondTheCoordinatesRoomAreRefused)
{
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(kBitmaps);
    sim::Board& b = fwtest::boot_to_prompt(o);
    struct Case {
        const char* origin;
        const char* line;
        const char* reply;
    };
    const Case cases[] = {
        {"o 100 100", "xi 1 2147483647 0", "!\r"},
        {"o 0 100", "xi 2 0 2147483600", "!\r"},
        {"o 0 0", "xi 1 16384 0", "!\r"},
        {"o -100 0", "xi 1 -16300 0", "!\r"},
        {"o 100 100", "xit 3 2147483647 0 F81F", "!\r"},
        {"o 100 100", "xim 1 2147483647 10", "!\r"},
        {"o 0 0", "xim 1 -2147483648 10", ":argument error\r!\r"},
        {"o 100 100", "xic 1 2147483647 0 0 0 5 5", "!\r"},
        {"o 0 0", "xic 1 100 100 0 0 2147483647 5", "!\r"},
        {"o 0 0", "xic 1 100 100 -2147483648 0 5 5", "!\r"},
        {"o 100 100", "xio 1 2147483647 0 0 5 0", "!\r"},
        {"o 100 100", "xif PIC.BMP 2147483647 0", "!\r"},
        {"o 0 0", "xi 1 16383 -16384", ">\r"},
        {"o 16000 0", "xic 1 378 0 0 0 5 5", ">\r"},
    };
    for (const Case& c : cases) {
        fwtest::clear_screen();
        ASSERT_EQ(command(c.origin), ">\r") << c.origin;
        EXPECT_EQ(visible(command(c.line)), visible(c.reply)) << "\"" << c.line << "\" after \"" << c.origin << "\"";
        EXPECT_TRUE(untouched_outside(b, 0, 0, -1, -1)) << "\"" << c.line << "\" drew";
    }
    ASSERT_EQ(command("o 0 0"), ">\r");
}

TEST(Bitmaps, CompressedBitmapsCutToTheirRectangles)
{
    const TestBitmap rle = runs_over_rows();
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image({rle});
    sim::Board& b = fwtest::boot_to_prompt(o);
    struct Rect {
        int x0, y0, x1, y1;  // relative to the bitmap, as "xic" takes them
    };
    struct Case {
        const char* what;
        int x, y;
        bool xorMode;
        std::vector<Rect> rects;
    };
    const Case cases[] = {
        {"a column band", 100, 50, false, {{5, 0, 20, 22}}},
        {"one column", 100, 50, false, {{17, 0, 17, 22}}},
        {"a block inside", 100, 50, false, {{10, 3, 30, 9}}},
        {"in XOR mode, drawn as in the normal one", 100, 50, true, {{5, 2, 31, 20}}},
        {"off the right edge", W - 20, 50, false, {{10, 1, 36, 21}}},
        {"off the left and top edges", -10, -5, false, {{3, 2, 30, 20}}},
        {"bands going down", 100, 50, false, {{0, 0, 36, 4}, {2, 5, 30, 11}, {0, 12, 36, 22}}},
        {"bands going down, then one above", 100, 50, false, {{4, 3, 33, 8}, {4, 9, 33, 15}, {0, 0, 36, 5}}},
    };
    for (const Case& c : cases) {
        clear_screen();
        if (c.xorMode)
            ASSERT_EQ(command("d x"), ">\r");
        for (const Rect& r : c.rects) {
            char line[64];
            std::snprintf(line, sizeof line, "xic 1 %d %d %d %d %d %d", c.x, c.y, r.x0, r.y0, r.x1, r.y1);
            ASSERT_EQ(command(line), ">\r") << line;
        }
        if (c.xorMode)
            ASSERT_EQ(command("d n"), ">\r");
        std::string wrong;
        for (int y = 0; y < H && wrong.empty(); ++y)
            for (int x = 0; x < W && wrong.empty(); ++x) {
                const int col = x - c.x, row = y - c.y;
                bool in = false;
                for (const Rect& r : c.rects)
                    in = in || (col >= r.x0 && col <= r.x1 && row >= r.y0 && row <= r.y1);
                in = in && col < rle.width && row < rle.height;
                const uint16_t want = in ? rle.pixels[row * rle.width + col] : 0xFFFF;
                if (fb(b, x, y) != want) {
                    char t[96];
                    std::snprintf(t, sizeof t, "screen pixel (%d,%d): 0x%04X, want 0x%04X", x, y, fb(b, x, y), want);
                    wrong = t;
                }
            }
        EXPECT_EQ(wrong, "") << c.what;
    }
}

TEST(Bitmaps, ImagesOfOffsetsAndTheRamCopy)
{
    // Built for base 0: every stored address is an offset.
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(kBitmaps, 0);
    sim::Board& b = fwtest::boot_to_prompt(o);
    EXPECT_EQ(command("xi 1 10 10"), "!\r") << "an image of offsets is not used from flash as it stands";
    ASSERT_EQ(visible(command("*flash2ram")), ">\\r") << "its RAM copy is relocated";
    clear_screen();
    for (size_t n = 1; n <= kBitmaps.size(); ++n) {
        clear_screen();
        char line[32];
        std::snprintf(line, sizeof line, "xi %zu 50 60", n);
        ASSERT_EQ(command(line), ">\r");
        EXPECT_EQ(mismatch(b, kBitmaps[n - 1], 50, 60), "") << "bitmap " << n << " from the RAM copy";
        ASSERT_EQ(command(line), ">\r") << "a second lookup";
        EXPECT_EQ(mismatch(b, kBitmaps[n - 1], 50, 60), "");
    }
}

TEST(Bitmaps, StartUpRefusesBadImages)
{
    std::vector<uint8_t> img = fwtest::build_image(kBitmaps);
    img[0] = 0xEB;  // the older controller's word
    fwtest::BootOptions o;
    o.flash_image = img;
    sim::Board& b = fwtest::boot_to_prompt(o);
    EXPECT_NE(b.uart1.sent_text().find(":No .BIN file in flash or on SD card\r"), std::string::npos)
        << visible(b.uart1.sent_text());
    EXPECT_EQ(visible(command("xi 1 0 0")), "!\\r");
    EXPECT_EQ(visible(command("lsbmp")), visible(":External Memory not valid\r!\r"));
}

TEST(Bitmaps, RecordsOutsideTheImageAreRefused)
{
    std::vector<uint8_t> img = fwtest::build_image(kBitmaps);
    // Entry 2's record address points far past the image.
    uint32_t bad = 0xC8400000u + 0x100000u;
    std::memcpy(img.data() + ExtMemDirEntryOffset(2) + 4, &bad, 4);
    fwtest::BootOptions o;
    o.flash_image = img;
    sim::Board& b = fwtest::boot_to_prompt(o);
    clear_screen();
    EXPECT_EQ(visible(command("xi 2 0 0")), ">\\r") << "the lookup finds the entry";
    EXPECT_TRUE(untouched_outside(b, 0, 0, -1, -1)) << "a record outside the image must draw nothing";
    EXPECT_EQ(visible(command("*flash2ram")), visible(":Internal error - fixup\r!\r"))
        << "relocation must refuse an address outside the image";
    EXPECT_EQ(visible(command("xi 1 0 0")), ">\\r") << "the flash image stays live";
}

// Stored addresses that lead out of the image: every read through them must
// stay inside it.
TEST(Bitmaps, ReadsThroughStoredAddressesStayInsideTheImage)
{
    std::vector<TestBitmap> bms = kBitmaps;
    bms.push_back(bitmap(TestBitmap::Trans, 16, 16, 4, 0xF81F));
    std::vector<uint8_t> img = fwtest::build_image(bms);
    auto word = [&img](size_t at, uint32_t v) { std::memcpy(img.data() + at, &v, 4); };
    auto record = [&img](int n) {
        uint32_t a;
        std::memcpy(&a, img.data() + ExtMemDirEntryOffset(n) + 4, 4);
        return a - 0xC8400000u;
    };
    const uint32_t nowhere = 0xF0000000u;  // no memory there at all
    word(record(1) + 8, nowhere);           // entry 1's pixels
    word(ExtMemDirEntryOffset(3) + 4, nowhere);  // entry 3's record
    // Entry 4's pixels begin inside the image and run past its end.
    word(record(4) + 8, 0xC8400000u + (uint32_t)img.size() - 64);
    fwtest::BootOptions o;
    o.flash_image = img;
    sim::Board& b = fwtest::boot_to_prompt(o);
    clear_screen();
    for (const char* line : {"xi 1 0 0", "xic 1 0 0 0 0 5 5", "xio 1 0 0 0 4 0", "xi 4 0 0", "xit 4 0 0 1234",
                             "xic 4 0 0 0 0 5 5"})
        EXPECT_EQ(visible(command(line)), ">\\r") << line;
    EXPECT_EQ(visible(command("xic 3 0 0 0 0 5 5")), "!\\r") << "a record outside the image is no bitmap";
    EXPECT_EQ(visible(command("xit 3 0 0 1234")), ">\\r");
    EXPECT_TRUE(untouched_outside(b, 0, 0, -1, -1)) << "pixels from outside the image were drawn";
    const std::string all = command("lsbmp");
    EXPECT_NE(all.find("  03: type 5 @ f0000000 size"), std::string::npos) << visible(all);
    EXPECT_NE(all.find("    Uncompressed Transparent Bitmap: 0x0 (0x0)\r"), std::string::npos) << visible(all);
    EXPECT_NE(all.find("Total Used"), std::string::npos) << visible(all);
    EXPECT_NE(command("vers").find("VELM5-PLUS"), std::string::npos);
}

// The board reads a record by word loads, which fault off a word boundary
// (alignment checking is on): an entry whose record lies there is no bitmap,
// whatever the host asks of it, and the listing does not read it.
TEST(Bitmaps, RecordsOffTheirWordBoundaryAreNoBitmaps)
{
    std::vector<uint8_t> img = fwtest::build_image(kBitmaps);
    for (int n = 1; n <= 3; ++n) {
        uint32_t a;
        std::memcpy(&a, img.data() + ExtMemDirEntryOffset(n) + 4, 4);
        a += 2;
        std::memcpy(img.data() + ExtMemDirEntryOffset(n) + 4, &a, 4);
    }
    fwtest::BootOptions o;
    o.flash_image = img;
    sim::Board& b = fwtest::boot_to_prompt(o);
    clear_screen();
    for (const char* line : {"xi 1 0 0", "xi 2 0 0", "xi 3 0 0", "xim 1 100 100", "xic 1 0 0 0 0 5 5",
                             "xic 2 0 0 0 0 5 5", "xit 3 0 0 F81F", "*SPL 1"})
        EXPECT_EQ(visible(command(line)), "!\\r") << line << ": as for a missing bitmap";
    EXPECT_EQ(visible(command("xio 1 0 0 0 4 0")), visible(":invalid bitmap\r!\r"));
    EXPECT_TRUE(untouched_outside(b, 0, 0, -1, -1)) << "a record off its word boundary was drawn";
    const std::string all = command("lsbmp");
    for (const char* part : {"    Uncompressed Bitmap: 0x0\r", "    Compressed Bitmap: 0x0\r",
                             "    Uncompressed Transparent Bitmap: 0x0 (0x0)\r", "Total Used"})
        EXPECT_NE(all.find(part), std::string::npos) << "missing \"" << visible(part) << "\" in " << visible(all);
    EXPECT_EQ(all.find("XSize="), std::string::npos) << "such a record is not dumped: " << visible(all);
}

TEST(Bitmaps, Listing)
{
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(kBitmaps);
    fwtest::boot_to_prompt(o);
    std::string all = command("lsbmp");
    EXPECT_EQ(all.substr(0, 11), "Records: 4\r") << visible(all);
    for (const char* part : {"  00: type 3 @ c8400038 size 0\r    Macro Definitions\r",
                             "  01: type 1 @ c8400038 size 1722\r    Uncompressed Bitmap: 37x23\r",
                             "    XSize=37 YSize=23 BytesPerLine=74 BitsPerPixel=16\r",
                             "    Compressed Bitmap: 61x19\r",
                             "    Uncompressed Transparent Bitmap: 29x31 (0xF81F)\r",
                             "\rTotal Used 4KB (FLASH)\r>\r"})
        EXPECT_NE(all.find(part), std::string::npos) << "missing \"" << visible(part) << "\" in " << visible(all);
    EXPECT_EQ(visible(command("lsbmp 0")), visible("  00: type 3 @ c8400038 size 0\r    Macro Definitions\r>\r"));
    EXPECT_EQ(visible(command("lsbmp 4")), visible(":index outside valid range\r!\r"));
    std::string plain = command("ls");
    EXPECT_EQ(plain.find("XSize="), std::string::npos) << "only lsbmp dumps the records";
}

}  // namespace

namespace {

TEST(Bitmaps, CompressedDataIsReadOnlyAsFarAsItsEntryGoes)
{
    std::vector<uint8_t> img = fwtest::build_image(kBitmaps);
    // Entry 2 (RLE16) keeps only 3 bytes of its data: one run packet.
    uint32_t size = 20 + 3;
    std::memcpy(img.data() + ExtMemDirEntryOffset(2) + 8, &size, 4);
    fwtest::BootOptions o;
    o.flash_image = img;
    sim::Board& b = fwtest::boot_to_prompt(o);
    clear_screen();
    ASSERT_EQ(command("xi 2 10 10"), ">\r");
    const TestBitmap& rle = kBitmaps[1];
    // The first packet is drawn, nothing after it.
    int drawn = 0;
    for (int y = 10; y < 10 + rle.height; ++y)
        for (int x = 10; x < 10 + rle.width; ++x)
            drawn += fb(b, x, y) != 0xFFFF;
    EXPECT_GT(drawn, 0);
    EXPECT_LE(drawn, 255) << "pixels past the entry's data were drawn";
    EXPECT_EQ(fb(b, 10, 10), rle.pixels[0]);
}

}  // namespace
