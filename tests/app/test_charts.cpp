// Strip charts ("cd", "cv", "cdp", "cdrm", "cr", "cc") and level bars ("ld",
// "lv") through the command port, checked on the frame buffer.
#include <gtest/gtest.h>

#include "app/drawing_cases.h"
#include "support/image_builder.h"

namespace {

using namespace drawing;

const std::string OK = ">\r";
const std::string FAIL = "!\r";
const std::string kOffScreen = ":area outside the screen\r!\r";
const std::string kFull = ":chart FULL and retrace is OFF\r>\r";

// A scrolling chart over (100, 100)..(199, 199), 10 pixels a sample, values
// 0..100 on a span of 99 pixels, black background, one red pen.
const std::string kChart = "cd 0 100 100 199 199 0 10 0 100 000 1 F00";

std::vector<std::string> chart_then(std::vector<std::string> more)
{
    std::vector<std::string> lines = {kChart};
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

TEST(StripCharts, TraceFollowsTheSamples)
{
    fwtest::boot_to_prompt();
    run({
        {"set-up clears to the background colour", {}, "cd 0 100 100 199 199 0 10 0 100 00F 1 F00", OK,
         {{100, 100, B}, {199, 199, B}, {99, 99, K}, {200, 200, K}}},
        {"first sample is a flat stub at its pixel (50 of 0..100 on 99 is pixel 50)", {kChart}, "cv 0 50", OK,
         {{100, 149, R}, {105, 149, R}, {110, 149, R}, {105, 148, K}, {105, 150, K}, {111, 149, K}}},
        {"second sample joins the first", chart_then({"cv 0 0"}), "cv 0 100", OK,
         {{100, 199, R}, {110, 199, R}, {120, 100, R}, {115, 150, R}}},
        {"values outside the range are held at the axis ends", chart_then({"cv 0 500"}), "cv 0 -1", OK,
         {{100, 100, R}, {110, 100, R}}},
        {"below min plots at the bottom", chart_then({}), "cv 0 -50", OK, {}, true},
        {"a gap breaks the line", chart_then({"cv 0 0", "cv 0 -"}), "cv 0 100", OK,
         {{120, 100, R}, {130, 100, R}, {115, 150, K}, {125, 150, K}}},
        {"a line without values breaks every pen and advances", chart_then({"cv 0 0", "cv 0"}), "cv 0 100", OK,
         {{120, 100, R}, {130, 100, R}, {115, 150, K}, {105, 199, R}}},
        {"cdp with pen 1 recolours the first pen", chart_then({"cdp 0 1 1 0F0"}), "cv 0 50", OK,
         {{105, 149, G}}},
        {"a wide range does not overflow the scale", {"cd 0 100 100 199 199 0 10 0 2000000000 000 1 F00"},
         "cv 0 2000000000", OK, {{100, 100, R}, {110, 100, R}, {105, 199, K}}},
        {"cdbc changes the background a clear paints", chart_then({"cdbc 0 00F"}), "cc 0", OK, {{150, 150, B}}},
        {"cddm needs a sweep chart", {kChart}, "cddm 0 on", FAIL},
        {"cc clears the trace and restarts at the left", chart_then({"cv 0 50", "cv 0 50"}), "cc 0", OK,
         {{105, 149, K}, {115, 149, K}}},
    });
}

TEST(StripCharts, ScrollingAndSweeping)
{
    fwtest::boot_to_prompt();
    // 30 pixels wide: the third sample no longer fits and the chart scrolls.
    const std::string narrow = "cd 0 100 100 129 129 0 10 0 100 000 1 F00";
    run({
        {"third sample scrolls the old trace left", {narrow, "cv 0 0", "cv 0 100"}, "cv 0 100", OK,
         {{100, 129, R}, {105, 129, K}, {115, 100, R}, {120, 100, R}}},
    });
    const std::string sweep = "cd 1 100 100 129 129 1 10 0 100 000 1 F00";
    run({
        {"a sweep chart without retrace reports FULL", {sweep, "cdrm 1 off", "cv 1 0", "cv 1 0"}, "cv 1 50",
         kFull, {}, true},
        {"cr leaves FULL and plots again at the left", {sweep, "cdrm 1 off", "cv 1 0", "cv 1 0", "cr 1"},
         "cv 1 100", OK, {{100, 100, R}, {110, 100, R}}},
        {"with retrace the sweep starts again at the left, clearing ahead", {sweep, "cv 1 0", "cv 1 0"},
         "cv 1 100", OK, {{100, 129, R}, {110, 100, R}, {115, 129, K}, {120, 129, K}}},
        {"retrace mode needs a sweep chart", {kChart}, "cdrm 0 off", FAIL},
        {"retrace mode needs on or off", {sweep}, "cdrm 1 maybe", FAIL},
    });
}

TEST(StripCharts, RefusedDefinitions)
{
    fwtest::boot_to_prompt();
    run({
        {"chart number 10", {}, "cd 10 100 100 199 199 0 10 0 100 000 1 F00", FAIL, {}, true},
        {"type 4", {}, "cd 0 100 100 199 199 4 10 0 100 000 1 F00", FAIL, {}, true},
        {"rectangle off the screen", {}, "cd 0 100 100 900 199 0 10 0 100 000 1 F00", kOffScreen, {}, true},
        {"unreadable background colour", {}, "cd 0 100 100 199 199 0 10 0 100 GG0 1 F00", FAIL, {}, true},
        {"missing arguments", {}, "cd 0 100 100", FAIL, {}, true},
        {"pen of width 0", {}, "cd 0 100 100 199 199 0 10 0 100 000 0 F00", FAIL},
        {"samples for an undefined chart", {}, "cv 3 10", FAIL, {}, true},
        {"nine pens' samples are cut to eight", {kChart}, "cv 0 1 2 3 4 5 6 7 8 9", OK},
        {"bitmap chart from a missing bitmap", {}, "cdb 0 100 100 10 0 100 77 1 F00", ":Bitmap not present\r!\r",
         {}, true},
        {"clearing an undefined chart", {}, "cc 5", FAIL, {}, true},
        {"screen clear forgets the charts", {kChart, "z"}, "cv 0 50", FAIL, {}, true},
    });
}

// A bar over (10, 10)..(19, 109) growing upward, values 0..100 on 99 pixels,
// blue background; red up to 100, green up to 50.
const std::string kBar = "ld 0 10 10 19 109 0 0 0 00F 100 F00 50 0F0";

TEST(LevelBars, FillShowsTheValue)
{
    fwtest::boot_to_prompt();
    run({
        {"75 fills green to 50, red to 74, background above", {kBar}, "lv 0 75", OK,
         {{15, 109, G}, {19, 59, G}, {15, 58, R}, {10, 35, R}, {15, 34, B}, {15, 10, B}, {20, 50, K}, {9, 50, K}}},
        {"below min shows only the background", {kBar}, "lv 0 -5", OK, {{15, 109, B}, {15, 59, B}, {15, 10, B}}},
        {"at max every band shows", {kBar}, "lv 0 100", OK, {{15, 109, G}, {15, 58, R}, {15, 10, R}}},
        {"above max is held at the top", {kBar}, "lv 0 1000", OK, {{15, 10, R}}},
        {"reversed vertical bar grows downward", {"ld 1 10 10 19 109 0 1 0 00F 100 F00"}, "lv 1 50", OK,
         {{15, 10, R}, {15, 60, R}, {15, 61, B}, {15, 109, B}}},
        {"horizontal bar grows rightward", {"ld 2 100 10 199 19 1 0 0 00F 100 F00"}, "lv 2 50", OK,
         {{100, 15, R}, {150, 15, R}, {151, 15, B}, {199, 15, B}}},
        {"reversed horizontal bar grows leftward", {"ld 3 100 10 199 19 1 1 0 00F 100 F00"}, "lv 3 50", OK,
         {{199, 15, R}, {149, 15, R}, {148, 15, B}, {100, 15, B}}},
    });
}

TEST(LevelBars, RefusedDefinitions)
{
    fwtest::boot_to_prompt();
    run({
        {"an undefined bar", {}, "lv 4 10", FAIL, {}, true},
        {"bar number 32", {}, "ld 32 10 10 19 109 0 0 0 00F 100 F00", FAIL, {}, true},
        {"orientation 2", {}, "ld 0 10 10 19 109 2 0 0 00F 100 F00", FAIL, {}, true},
        {"a fourth band", {}, "ld 0 10 10 19 109 0 0 0 00F 100 F00 50 0F0 20 00F 10 FFF", FAIL},
        {"a later band above the first", {}, "ld 0 10 10 19 109 0 0 0 00F 50 F00 60 0F0", FAIL},
        {"a band below min", {}, "ld 0 10 10 19 109 0 0 10 00F 5 F00", FAIL},
        {"a bar without bands", {"ld 0 10 10 19 109 0 0 0 00F"}, "lv 0 10", FAIL, {}, true},
        {"rectangle off the screen", {}, "ld 0 10 10 19 900 0 0 0 00F 100 F00", kOffScreen, {}, true},
        {"screen clear frees the bars", {kBar, "z"}, "lv 0 50", FAIL, {}, true},
    });
}

}  // namespace

namespace {

TEST(StripCharts, BinarySamples)
{
    sim::Board& b = fwtest::boot_to_prompt();
    drawing::send_all(drawing::kReset, "binary samples");
    drawing::send_all({"cd 0 100 100 199 199 0 10 0 100 000 1 F00 1 0F0"}, "binary samples");
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "bcv 0 2\r");
    fwtest::until_text(b.uart1, from, ">\r");
    // Two samples of two pens, little-endian 16-bit words: red 50 then 100,
    // green 0 then a gap (0xFFFF).
    const std::string data = {50, 0, 0, 0, 100, 0, '\xFF', '\xFF'};
    fwtest::send(b.uart1, data);
    std::string got = fwtest::until_text(b.uart1, from, ">\r>\r");
    EXPECT_EQ(fwtest::visible(got), fwtest::visible(">\r>\r")) << "bcv did not take its samples";
    const struct {
        int x, y;
        uint16_t value;
        const char* what;
    } px[] = {
        {105, 149, drawing::R, "red pen's first sample at pixel 50"},
        {120, 100, drawing::R, "red pen's second sample at pixel 99"},
        {105, 199, drawing::G, "green pen's first sample at the bottom"},
        {115, 199, drawing::K, "green pen's gap drew a line"},
    };
    for (const auto& p : px)
        EXPECT_EQ(drawing::hex4(screen::px(p.x, p.y)), drawing::hex4(p.value))
            << "after bcv: " << p.what << " at (" << p.x << ", " << p.y << ")";
}

}  // namespace

namespace {

// Boots with bitmap 1 all blue, w x h, of the given kind (a transparent one
// with a colour key it does not use); gives the line of a bitmap chart over
// it at (100, 100).
std::string blue_background(fwtest::TestBitmap::Kind kind, int w, int h)
{
    fwtest::TestBitmap bm;
    bm.kind = kind;
    bm.width = w;
    bm.height = h;
    bm.key = 0xF81F;
    bm.pixels.assign(w * h, drawing::B);
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image({bm});
    fwtest::boot_to_prompt(o);
    return "cdb 0 100 100 10 0 100 1 1 F00";
}

TEST(StripCharts, OverABackgroundBitmap)
{
    const std::string chart = blue_background(fwtest::TestBitmap::Raw, 30, 30);
    using drawing::B;
    using drawing::K;
    using drawing::R;
    drawing::run({
        {"set-up draws the bitmap", {}, chart, OK, {{100, 100, B}, {129, 129, B}, {130, 130, K}, {99, 99, K}}},
        {"a sample plots over the bitmap", {chart}, "cv 0 50", OK, {{105, 114, R}, {110, 114, R}, {105, 113, B}}},
        // The second band cleared ahead would pass the right edge, so it
        // wraps to the left and repaints the first sample.
        {"clearing ahead wraps to the left", {chart, "cv 0 50"}, "cv 0 50", OK,
         {{115, 114, R}, {120, 114, R}, {105, 114, B}}},
        {"the sweep restarts and repaints the bitmap ahead", {chart, "cv 0 50", "cv 0 50"}, "cv 0 100", OK,
         {{110, 100, R}, {115, 114, B}, {125, 114, B}}},
        {"a bitmap chart keeps its bitmap for a background", {chart}, "cdbc 0 F00", FAIL},
        {"cdbb needs an existing bitmap", {chart}, "cdbb 0 9", FAIL},
        {"cdbb takes an existing one", {chart}, "cdbb 0 1", OK},
    });
}

TEST(StripCharts, OverATransparentBitmap)
{
    const std::string chart = blue_background(fwtest::TestBitmap::Trans, 60, 30);
    using drawing::B;
    using drawing::K;
    using drawing::R;
    drawing::run({
        {"set-up draws the bitmap", {}, chart, OK, {{100, 100, B}, {159, 129, B}, {160, 130, K}}},
        {"a sample keeps the one before it", {chart, "cv 0 50"}, "cv 0 50", OK,
         {{105, 114, R}, {115, 114, R}, {125, 114, B}}},
        {"clearing ahead repaints only its bands", {chart, "cv 0 50", "cv 0 50", "cv 0 50"}, "cv 0 50", OK,
         {{105, 114, R}, {125, 114, R}, {135, 114, R}, {145, 114, B}}},
    });
}

}  // namespace
