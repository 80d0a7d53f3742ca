// Linear sliders as the host and a finger see them: the knob drawn on its
// background at the slider's value, moved by "sv" and by dragging, the value
// reports, and the refusals of "sl", "sv", "slc" and "svc".
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/KM_macros.h"
#include "support/host.h"
#include "support/image_builder.h"

namespace {

using fwtest::command;
using fwtest::fb;
using fwtest::TestBitmap;
using fwtest::visible;
using sim::kMillisecond;

const uint16_t kKnob = 0x001F;

TestBitmap raw(int w, int h, uint32_t seed)
{
    TestBitmap b;
    b.width = w;
    b.height = h;
    b.pixels = fwtest::test_pattern(w, h, seed);
    return b;
}

TestBitmap solid(int w, int h, uint16_t colour)
{
    TestBitmap b;
    b.width = w;
    b.height = h;
    b.pixels.assign(w * h, colour);
    return b;
}

TestBitmap transparent(int w, int h, uint16_t colour, uint16_t key)
{
    TestBitmap b = solid(w, h, colour);
    b.kind = TestBitmap::Trans;
    b.key = key;
    return b;
}

// 1: horizontal background, 2: knob 20 x 30, 3: vertical background,
// 4: horizontal background stored with a transparent colour (none of its
// pixels has it).
const uint16_t kGreen = 0x07E0;
const std::vector<TestBitmap> kBitmaps = {raw(200, 40, 7), solid(20, 30, kKnob), raw(40, 200, 9),
                                          transparent(200, 40, kGreen, 0x0000)};

struct Slider {
    int bitmap, x, y, offset, orientation;
};
const Slider kHorizontal = {1, 100, 100, 5, 1};
const Slider kVertical = {3, 300, 50, 4, 0};

// Every pixel of the background at its place must be the background's own
// pixel, except the knob's 20 x 30 rectangle at (kx, ky), which must be the
// knob's colour.
std::string mismatch(sim::Board& b, const Slider& s, int kx, int ky)
{
    const TestBitmap& bg = kBitmaps[s.bitmap - 1];
    for (int r = 0; r < bg.height; ++r)
        for (int c = 0; c < bg.width; ++c) {
            int x = s.x + c, y = s.y + r;
            bool knob = x >= kx && x < kx + 20 && y >= ky && y < ky + 30;
            uint16_t want = knob ? kKnob : bg.pixels[r * bg.width + c];
            if (fb(b, x, y) != want) {
                char t[128];
                std::snprintf(t, sizeof t, "screen (%d,%d) is 0x%04X, want 0x%04X (%s) with the knob at (%d,%d)", x, y,
                              fb(b, x, y), want, knob ? "knob" : "background", kx, ky);
                return t;
            }
        }
    return "";
}

std::string define(int hotspot, const Slider& s, int reversed, int max = 100, int min = 0)
{
    char line[96];
    std::snprintf(line, sizeof line, "sl %d %d %d %d 2 %d %d %d 0 %d %d", hotspot, s.bitmap, s.x, s.y, s.offset,
                  s.orientation, reversed, max, min);
    return command(line);
}

sim::Board& boot()
{
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(kBitmaps);
    return fwtest::boot_to_prompt(o);
}

TEST(Sliders, KnobDrawnAtTheMinEndAndMovedBySetValue)
{
    struct Case {
        const char* name;
        const Slider* slider;
        int reversed;
        int value;       // -1: just defined
        int kx, ky;      // the knob's top-left corner
    };
    // Horizontal travel of the knob centre 110..289 (span 179), vertical
    // 65..234 (span 169); the knob's corner is the centre less 9 or 14.
    const Case cases[] = {
        {"horizontal, new", &kHorizontal, 0, -1, 101, 105},
        {"horizontal, at 50", &kHorizontal, 0, 50, 191, 105},
        {"horizontal, at max", &kHorizontal, 0, 100, 280, 105},
        {"horizontal reversed, new", &kHorizontal, 1, -1, 280, 105},
        {"horizontal reversed, at 50", &kHorizontal, 1, 50, 190, 105},
        {"horizontal reversed, at max", &kHorizontal, 1, 100, 101, 105},
        {"vertical, new", &kVertical, 0, -1, 304, 51},
        {"vertical, at 50", &kVertical, 0, 50, 304, 136},
        {"vertical reversed, new", &kVertical, 1, -1, 304, 220},
        {"vertical reversed, at 50", &kVertical, 1, 50, 304, 135},
    };
    sim::Board& b = boot();
    for (const Case& c : cases) {
        ASSERT_EQ(visible(define(200, *c.slider, c.reversed)), ">\\r") << c.name;
        if (c.value >= 0) {
            // Through another value first, so the knob leaves a trail to repaint.
            ASSERT_EQ(visible(command("sv 200 30")), ">\\r") << c.name;
            ASSERT_EQ(visible(command("sv 200 " + std::to_string(c.value))), ">\\r") << c.name;
        }
        EXPECT_EQ(mismatch(b, *c.slider, c.kx, c.ky), "") << c.name;
    }
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

TEST(Sliders, RefusalsLeaveTheKnobAndTheTableAlone)
{
    sim::Board& b = boot();
    ASSERT_EQ(visible(define(140, kHorizontal, 0)), ">\\r");
    ASSERT_EQ(visible(command("sv 140 50")), ">\\r");
    struct Case {
        const char* line;
        const char* reply;
    };
    const Case cases[] = {
        {"sv 140 101", "!\r"},
        {"sv 140 -1", "!\r"},
        {"sv 141 50", "!\r"},
        {"sl 127 1 100 100 2 5 1 0 0 100 0", "!\r"},
        {"sl 256 1 100 100 2 5 1 0 0 100 0", "!\r"},
        {"sl 141 1 100 100 2 -1 1 0 0 100 0", "offset must be >= 0\r!\r"},
        {"sl 141 9 100 100 2 5 1 0 0 100 0", "bad background bitmap\r!\r"},
        {"sl 141 1 601 100 2 5 1 0 0 100 0", "bad background bitmap size or location\r!\r"},
        {"sl 141 1 100 441 2 5 1 0 0 100 0", "bad background bitmap size or location\r!\r"},
        {"sl 141 1 -1 100 2 5 1 0 0 100 0", "bad background bitmap size or location\r!\r"},
        {"sl 141 1 100 100 9 5 1 0 0 100 0", "bad slider bitmap\r!\r"},
        {"sl 141 1 100 100 2 11 1 0 0 100 0", "bad slider size or offset\r!\r"},
        {"sl 141 3 100 100 2 21 0 0 0 100 0", "bad slider size or offset\r!\r"},
        {"sl 141 2 100 100 2 0 1 0 0 100 0", "bad slider size or offset\r!\r"},
        {"slc 150 1 100 100 2 0 0 0 0 100 0 10 20 30 40", "!\r"},
        {"svc 150 10", "!\r"},
        {"svc 140 10", "!\r"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(visible(command(c.line)), visible(c.reply)) << c.line;
    EXPECT_EQ(mismatch(b, kHorizontal, 191, 105), "") << "a refused line moved the knob or drew";
    ASSERT_EQ(visible(command("sv 140 100")), ">\\r") << "the slider was lost by a refused line";
}

TEST(Sliders, EightSlotsAndRedefinitionReusesItsSlot)
{
    boot();
    for (int n = 128; n < 136; ++n)
        ASSERT_EQ(visible(define(n, kHorizontal, 0)), ">\\r") << "slider " << n;
    EXPECT_EQ(visible(define(136, kHorizontal, 0)), visible("max sliders\r!\r")) << "a ninth slider";
    EXPECT_EQ(visible(define(131, kHorizontal, 0, 50)), ">\\r") << "redefining slider 131";
    EXPECT_EQ(visible(command("sv 131 60")), "!\\r") << "the redefined slider kept its old max";
    EXPECT_EQ(visible(command("xc 133")), ">\\r");
    EXPECT_EQ(visible(command("sv 133 10")), "!\\r") << "freeing the hotspot left its slider";
    EXPECT_EQ(visible(define(136, kHorizontal, 0)), ">\\r") << "the freed slot was not reused";
}

// ---------------------------------------------------------------- touch

std::string sent_since(sim::Board& b, size_t from)
{
    std::string s;
    const auto& sent = b.uart1.sent;
    for (size_t i = from; i < sent.size(); ++i)
        s += sent[i].byte == '\r' ? '|' : static_cast<char>(sent[i].byte);
    return s;
}

int last_value(const std::string& reports)
{
    size_t at = reports.rfind("l140:");
    return at == std::string::npos ? -1000 : std::atoi(reports.c_str() + at + 5);
}

TEST(Sliders, AFingerDragsTheKnobAndItsValuesAreReported)
{
    sim::Board& b = boot();
    ASSERT_EQ(visible(define(140, kHorizontal, 0)), ">\\r");
    auto hold = [&](int x, int y) {
        size_t from = b.uart1.sent.size();
        b.finger = {x, y, true};
        b.machine.run_for(300 * kMillisecond);
        return sent_since(b, from);
    };
    // Beyond the right end of the travel (x1 = 289) but inside the hotspot.
    std::string r = hold(296, 120);
    EXPECT_EQ(r, "l140:100|") << "a touch beyond the right end of the travel";
    EXPECT_EQ(mismatch(b, kHorizontal, 280, 105), "") << "knob after the touch at the right end";
    // The centre of the travel, x 200, is value 50; the panel mapping may
    // move the point a pixel.
    r = hold(200, 120);
    int v = last_value(r);
    EXPECT_NEAR(v, 50, 2) << "dragged to the middle: " << r;
    EXPECT_EQ(r.find('|'), r.size() - 1) << "a finger held still reported more than once: " << r;
    // Its knob centre corresponds to the value (within the pixel that
    // shares a value with its neighbour).
    int centre = 110 + (179 * v + 50) / 100;
    EXPECT_TRUE(fb(b, centre - 8, 110) == kKnob && fb(b, centre + 9, 110) == kKnob &&
                fb(b, centre - 11, 110) != kKnob && fb(b, centre + 12, 110) != kKnob)
        << "the knob is not centred on the reported value " << v;
    r = hold(101, 120);
    EXPECT_EQ(r, "l140:0|") << "a touch beyond the left end of the travel";
    EXPECT_EQ(mismatch(b, kHorizontal, 101, 105), "") << "knob after the touch at the left end";
    size_t from = b.uart1.sent.size();
    b.finger.down = false;
    b.machine.run_for(300 * kMillisecond);
    EXPECT_EQ(sent_since(b, from), "") << "lifting the finger off a slider reported";
    EXPECT_EQ(visible(command("sv 140 25")), ">\\r");
    from = b.uart1.sent.size();
    b.finger = {101, 120, true};
    b.machine.run_for(300 * kMillisecond);
    EXPECT_EQ(sent_since(b, from), "l140:0|") << "a touch after \"sv\" moved the knob back";
}

TEST(Sliders, AFreedLowerSlotLeavesTheSlidersAboveItDraggable)
{
    sim::Board& b = boot();
    const Slider lower = {1, 100, 200, 5, 1};
    ASSERT_EQ(visible(define(140, kHorizontal, 0)), ">\\r");
    ASSERT_EQ(visible(define(141, lower, 0)), ">\\r");
    ASSERT_EQ(visible(command("xc 140")), ">\\r") << "frees the first slider's slot";
    size_t from = b.uart1.sent.size();
    b.finger = {296, 220, true};
    b.machine.run_for(300 * kMillisecond);
    EXPECT_EQ(sent_since(b, from), "l141:100|");
    from = b.uart1.sent.size();
    b.finger = {101, 220, true};
    b.machine.run_for(300 * kMillisecond);
    EXPECT_EQ(sent_since(b, from), "l141:0|") << "the knob of the second slider did not follow the finger";
    EXPECT_EQ(mismatch(b, lower, 101, 205), "");
}

TEST(Sliders, BinaryReportCarriesTheValueLowByteFirst)
{
    sim::Board& b = boot();
    ASSERT_EQ(visible(define(140, kHorizontal, 0, 1000)), ">\\r");
    command("*binr 1");
    size_t from = b.uart1.sent.size();
    b.finger = {296, 120, true};
    b.machine.run_for(300 * kMillisecond);
    std::string r;
    for (size_t i = from; i < b.uart1.sent.size(); ++i)
        r += static_cast<char>(b.uart1.sent[i].byte);
    EXPECT_EQ(visible(r), visible(std::string("L\x8c\xe8\x03", 4)))
        << "binary report of slider 140 at its max 1000";
}

TEST(Sliders, ANewValueStartsThePressMacro)
{
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(kBitmaps, {{1, "moved", {"set i1 7"}}});
    sim::Board& b = fwtest::boot_to_prompt(o);
    ASSERT_EQ(visible(define(140, kHorizontal, 0)), ">\\r");
    ASSERT_EQ(visible(command("xm 140 moved")), ">\\r");
    b.finger = {101, 120, true};  // the knob's own place: no new value
    b.machine.run_for(200 * kMillisecond);
    int i1 = -1;
    fwtest::on_firmware([&] { i1 = getMacro_iMem(1); });
    EXPECT_EQ(i1, 0) << "the press macro ran although the value stayed 0";
    b.finger = {296, 120, true};
    b.machine.run_for(200 * kMillisecond);
    fwtest::on_firmware([&] { i1 = getMacro_iMem(1); });
    EXPECT_EQ(i1, 7) << "moving the knob did not start the press macro";
}

TEST(Sliders, WideRangesPlaceTheKnobWithoutOverflow)
{
    sim::Board& b = boot();
    // 10 x span x value does not fit 32 bits here.
    ASSERT_EQ(visible(define(140, kHorizontal, 0, 2000000000, 0)), ">\\r");
    ASSERT_EQ(visible(command("sv 140 1000000000")), ">\\r");
    EXPECT_EQ(mismatch(b, kHorizontal, 191, 105), "") << "half of a range of 2e9";
    ASSERT_EQ(visible(define(141, kVertical, 0, 2000000000, -2000000000)), ">\\r");
    ASSERT_EQ(visible(command("sv 141 0")), ">\\r");
    EXPECT_EQ(mismatch(b, kVertical, 304, 136), "") << "the middle of -2e9 ... 2e9";
}

TEST(Sliders, AMovingKnobRepaintsOnlyItsOwnRectangleOfATransparentBackground)
{
    sim::Board& b = boot();
    const Slider overTransparent = {4, 100, 100, 5, 1};
    ASSERT_EQ(visible(define(200, overTransparent, 0)), ">\\r");
    // A mark drawn on the background below the knob's track.
    ASSERT_EQ(visible(command("r 250 136 260 139 1 FF0000")), ">\\r");
    ASSERT_EQ(visible(command("sv 200 30")), ">\\r");
    ASSERT_EQ(visible(command("sv 200 80")), ">\\r");
    EXPECT_EQ(fb(b, 255, 137), 0xF800) << "moving the knob wiped what was drawn on the slider's background";
    EXPECT_EQ(fb(b, 160, 120), kGreen) << "the knob's old place was not repainted with the background";
}

}  // namespace
