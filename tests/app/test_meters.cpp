// Needle meters over a background bitmap of the memory image, as the host
// defines and moves them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/GUI.h"
#include "support/host.h"
#include "support/image_builder.h"

namespace {

using fwtest::command;
using fwtest::fb;
using fwtest::TestBitmap;
using fwtest::visible;

const int BX = 100, BY = 100, BW = 200, BH = 200;  // background placement
const int PX = BX + 100, PY = BY + 100;            // absolute pivot
const uint16_t RED = 0xF800, BLUE = 0x001F, GREEN = 0x07E0;
// Needle: 80 pixels long along +x, 12 wide at the pivot.
const char* kNeedle = "0 -6 80 0 0 6";

TestBitmap background(TestBitmap::Kind kind)
{
    TestBitmap t;
    t.kind = kind;
    t.width = BW;
    t.height = BH;
    t.pixels = fwtest::test_pattern(BW, BH, 7);
    for (uint16_t& p : t.pixels)
        if (p == RED)
            p = 0x1234;  // the needle colour never occurs in the background
    if (kind == TestBitmap::Rle)
        for (int i = 0; i < BW * BH / 2; ++i)
            t.pixels[i] = 0x4321;
    return t;
}

const std::vector<TestBitmap> kImage = {background(TestBitmap::Raw), background(TestBitmap::Rle)};

sim::Board& boot()
{
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(kImage);
    sim::Board& b = fwtest::boot_to_prompt(o);
    fwtest::on_firmware([] { GUI_SetColor(0x0000FF); });
    return b;
}

std::string define(int n, int bitmap, int lo, int hi, int initial, int a, int b, const char* points = kNeedle)
{
    char line[160];
    std::snprintf(line, sizeof line, "md %d %d %d %d 0 %d %d %d %d %d 100 100 %s", n, bitmap, BX, BY, lo, hi,
                  initial, a, b, points);
    return line;
}

// The first pixel along the needle's line at deg (screen: 0 right, 90 up)
// that is not the needle colour, or "".
std::string off_needle(sim::Board& b, double deg)
{
    const double r = deg * M_PI / 180;
    for (int d = 8; d <= 50; ++d) {
        int x = PX + (int)std::lround(d * std::cos(r)), y = PY - (int)std::lround(d * std::sin(r));
        if (fb(b, x, y) != RED) {
            char t[96];
            std::snprintf(t, sizeof t, "pixel %d from the pivot at %.0f degrees (%d,%d) is 0x%04X, not the needle",
                          d, deg, x, y, fb(b, x, y));
            return t;
        }
    }
    return "";
}

// The first background pixel outside the box that is not the bitmap's own.
std::string stale_background(sim::Board& b, int x0, int y0, int x1, int y1)
{
    const TestBitmap& bm = kImage[0];
    for (int y = 0; y < BH; ++y)
        for (int x = 0; x < BW; ++x) {
            int sx = BX + x, sy = BY + y;
            if (sx >= x0 && sx <= x1 && sy >= y0 && sy <= y1)
                continue;
            if (fb(b, sx, sy) != bm.pixels[y * BW + x]) {
                char t[96];
                std::snprintf(t, sizeof t, "background pixel (%d,%d) is 0x%04X, want 0x%04X", x, y, fb(b, sx, sy),
                              bm.pixels[y * BW + x]);
                return t;
            }
        }
    return "";
}

TEST(Meters, NeedleTurnsToTheValuesAngleAndTheBackgroundIsRestored)
{
    sim::Board& b = boot();
    // a 0 and b 180 are stored as 360 and 180: the minimum points right, the
    // scale runs clockwise through "down" to the maximum on the left.
    ASSERT_EQ(visible(command(define(0, 1, 0, 100, 0, 0, 180))), ">\\r");
    EXPECT_EQ(off_needle(b, 0), "") << "needle at the initial value";
    struct Case {
        int value;
        double deg;                 // on the screen
        int bx0, by0, bx1, by1;     // box that may hold the needle
    } cases[] = {
        {50, 270, PX - 7, PY - 1, PX + 7, PY + 81},
        {100, 180, PX - 81, PY - 7, PX + 1, PY + 7},
        {25, 315, PX - 6, PY - 6, PX + 62, PY + 62},
        {0, 0, PX - 1, PY - 7, PX + 81, PY + 7},
    };
    for (const Case& c : cases) {
        std::string line = "mv 0 " + std::to_string(c.value);
        EXPECT_EQ(visible(command(line)), ">\\r") << line;
        EXPECT_EQ(off_needle(b, c.deg), "") << line;
        EXPECT_EQ(stale_background(b, c.bx0, c.by0, c.bx1, c.by1), "") << line << ": the old needle was left behind";
    }
    EXPECT_EQ(visible(command("mv 0 0")), ">\\r") << "the value already shown";
}

TEST(Meters, DocumentedScaleFromUpperLeftToUpperRight)
{
    sim::Board& b = boot();
    // a 225, b 315 become 135 and 45: sweep 90.
    ASSERT_EQ(visible(command(define(1, 1, 0, 100, 0, 225, 315))), ">\\r");
    EXPECT_EQ(off_needle(b, 135), "") << "minimum";
    EXPECT_EQ(visible(command("mv 1 50")), ">\\r");
    EXPECT_EQ(off_needle(b, 90), "") << "middle";
    EXPECT_EQ(visible(command("mv 1 100")), ">\\r");
    EXPECT_EQ(off_needle(b, 45), "") << "maximum";
    // a = b: a full circle, the maximum back where the minimum is.
    ASSERT_EQ(visible(command(define(2, 1, 0, 100, 50, 90, 90))), ">\\r");
    EXPECT_EQ(off_needle(b, 90), "") << "a scale with a = b is not a full circle: mid value should point opposite 270";
}

TEST(Meters, PlacedRelativeToTheDrawingOrigin)
{
    sim::Board& b = boot();
    ASSERT_EQ(visible(command("o 40 30")), ">\\r");
    char line[160];
    std::snprintf(line, sizeof line, "md 6 1 %d %d 0 0 100 100 0 180 100 100 %s", BX - 40, BY - 30, kNeedle);
    ASSERT_EQ(visible(command(line)), ">\\r") << line;
    EXPECT_EQ(off_needle(b, 180), "") << "needle of a meter defined under an origin of (40, 30)";
    EXPECT_EQ(visible(command("mv 6 0")), ">\\r");
    EXPECT_EQ(off_needle(b, 0), "") << "needle moved under an origin of (40, 30)";
    EXPECT_EQ(stale_background(b, PX - 1, PY - 7, PX + 81, PY + 7), "") << "background of a meter under an origin";
}

TEST(Meters, RefusedDefinitionsAndValues)
{
    boot();
    struct Case {
        std::string line, reply;
    } cases[] = {
        {"md 0 1 100 100 0 0 100 0 0 180 100 100 0 -6 80 0 0", ":missing argument(s)!\r"},
        {define(8, 1, 0, 100, 0, 0, 180), ":index 8 > max 7\r!\r"},
        {define(-1, 1, 0, 100, 0, 0, 180), ":index -1 > max 7\r!\r"},
        {define(0, 9, 0, 100, 0, 0, 180), ":bitmap 9 invalid\r!\r"},
        {define(0, 2, 0, 100, 0, 0, 180), ":bitmap must be uncompressed\r!\r"},
        {define(0, 1, 0, 100, 101, 0, 180), ":Initial value out of range!\r"},
        {define(0, 1, 0, 100, -1, 0, 180), ":Initial value out of range!\r"},
        {define(0, 1, 5, 5, 5, 0, 180), "!\r"},
        // The place and the pivot, beyond the coordinates' room.
        {"md 0 1 2147483647 100 0 0 100 0 0 180 100 100 0 -6 80 0 0 6", "!\r"},
        {"md 0 1 100 100 0 0 100 0 0 180 100 2147483647 0 -6 80 0 0 6", "!\r"},
        {"mv 0 10", "!\r"},
        {define(0, 1, 0, 100, 0, 0, 180, "0 -6 80 0 0 6 -5 -5 -5 5 -2 0 -1 1 9 9 9"), ">\r"},
        {"mv 0 101", "!\r"},
        {"mv 0 -1", "!\r"},
        {"mv 8 10", "!\r"},
        {"mv 3 10", "!\r"},
        {"mv 0 10", ">\r"},
        {"mv 0 10", ">\r"},
        {"z", ">\r"},
        {"mv 0 20", "!\r"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(visible(command(c.line)), visible(c.reply)) << c.line;
}

TEST(Meters, BandMeterDrawsItsScaleAndBand)
{
    sim::Board& b = boot();
    // Scale: the left half (90..270), band 0..50: the lower-left quarter.
    EXPECT_EQ(visible(command("mdb 4 1 100 100 0 0 100 0 0 180 0 50 60 5 00F 0F0 100 100 0 -6 80 0 0 6")),
              ">\\r");
    auto near = [&](double deg, uint16_t want) {
        double r = deg * M_PI / 180;
        int x = PX + (int)std::lround(60 * std::cos(r)), y = PY - (int)std::lround(60 * std::sin(r));
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                if (fb(b, x + dx, y + dy) == want)
                    return true;
        return false;
    };
    EXPECT_TRUE(near(225, BLUE)) << "the band is not drawn in its colour at 225 degrees";
    EXPECT_TRUE(near(135, GREEN)) << "the scale is not drawn in the second colour at 135 degrees";
    EXPECT_EQ(off_needle(b, 0), "");
    EXPECT_EQ(visible(command("mvb 4 50")), ">\\r");
    EXPECT_EQ(off_needle(b, 270), "") << "mvb with a value only";
    EXPECT_EQ(visible(command("mvb 4 100 3")), visible(":Incorrect number of parameters>\r"));
    EXPECT_EQ(off_needle(b, 180), "") << "mvb with 3 fields sets the value as mv";
    EXPECT_EQ(visible(command("mvb 4 100 0 100 60 5 00F F00")), ">\\r");
    EXPECT_TRUE(near(135, BLUE)) << "the grown band does not reach 135 degrees";
    // The high end falls from 100 (arc 90) to 20 (arc 234): 90..234 goes
    // back to the scale colour, the rest stays in the band colour.
    EXPECT_EQ(visible(command("mvb 4 100 0 20 60 5 00F F00")), ">\\r");
    EXPECT_TRUE(near(180, GREEN)) << "the shrunk band was not cleared to the scale colour at 180 degrees";
    EXPECT_TRUE(near(255, BLUE)) << "the shrunk band lost its colour at 255 degrees";
    EXPECT_EQ(visible(command("mvb 4 100 0 30 60 0 00F F00")), visible(":pen width out of range!\r"));
    EXPECT_EQ(visible(command("mvb 9 1")), "!\\r") << "a meter number outside the table";
    EXPECT_EQ(visible(command("mdb 5 1 100 100 0 0 100 0 0 180 0 50 60 0 00F 0F0 100 100 0 -6 80 0 0 6")),
              visible(":pen width out of range!\r"));
    EXPECT_EQ(visible(command("mdb 5 1 100 100 0 0 100 0 0 180 0 50 60 5 00F 0F0 100 100 0 -6 80")),
              visible(":missing argument(s)!\r"));
}

}  // namespace
