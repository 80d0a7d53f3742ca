// A finger lands on the pixel it touches, in every build: the touch front
// end's readings, mapped through the firmware's default calibration, give
// back that pixel, along every edge of the panel and over a grid inside it,
// and a hotspot reports a tap at its own coordinates.  Where the panel has
// more pixels than the converter has counts between the calibration points
// (800 across for 700 counts), a pixel without a count of its own lands on
// its neighbour.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/KM_timer.h"
#include "app/KM_touch.h"
#include "config/build_config.h"
#include "support/host.h"

namespace {

using fwtest::command;
using fwtest::visible;
using sim::kMillisecond;

struct Pixel {
    int x, y;
};

// Every pixel of the panel's four edges and a grid of pixels inside.
std::vector<Pixel> edges_and_grid()
{
    std::vector<Pixel> p;
    for (int x = 0; x < PANEL_WIDTH; ++x) {
        p.push_back({x, 0});
        p.push_back({x, PANEL_HEIGHT - 1});
    }
    for (int y = 1; y + 1 < PANEL_HEIGHT; ++y) {
        p.push_back({0, y});
        p.push_back({PANEL_WIDTH - 1, y});
    }
    for (int y = 7; y < PANEL_HEIGHT; y += 37)
        for (int x = 11; x < PANEL_WIDTH; x += 41)
            p.push_back({x, y});
    return p;
}

#if TOUCH_CAPACITIVE
// The controller is read from the main loop once its interrupt line was
// active; the tick counts the line.
Pixel firmware_pixel(sim::Board& b, Pixel at)
{
    b.finger = {at.x, at.y, true};
    b.focaltech.scan();
    KM_Delay(2);
    int x = -1, y = -1;
    KM_GetLocation(&x, &y);
    return {x, y};
}
#else
// The converter read as the sampler reads it, mapped as the sliders map it.
Pixel firmware_pixel(sim::Board& b, Pixel at)
{
    b.finger = {at.x, at.y, true};
    uint32_t x = 0, y = 0;
    ReadTouch(&x, &y);
    convToScreenXY(&x, &y);
    return {static_cast<int>(x), static_cast<int>(y)};
}
#endif

void every_pixel_lands_on_itself(sim::Board& b)
{
    // The columns and rows that some count maps to.
    std::set<int> columns, rows;
    for (int n = 0; n < 1024; ++n) {
        columns.insert(ADC2X(n, 500));
        rows.insert(ADC2Y(500, n));
    }
    struct Miss {
        Pixel at, got;
    };
    std::vector<Miss> misses;
    fwtest::on_firmware([&] {
        enableTouch(0);  // the sampler would share the converter's port
        for (Pixel p : edges_and_grid()) {
            const Pixel got = firmware_pixel(b, p);
            const bool x_ok = columns.count(p.x) ? got.x == p.x : got.x == p.x - 1 || got.x == p.x + 1;
            const bool y_ok = rows.count(p.y) ? got.y == p.y : got.y == p.y - 1 || got.y == p.y + 1;
            if (!x_ok || !y_ok)
                misses.push_back({p, got});
        }
        b.finger.down = false;
        enableTouch(1);
    }, 60 * sim::kSecond);
    for (size_t i = 0; i < misses.size() && i < 10; ++i)
        ADD_FAILURE() << "a finger at " << misses[i].at.x << "," << misses[i].at.y << " landed at " << misses[i].got.x
                      << "," << misses[i].got.y;
    EXPECT_TRUE(misses.empty()) << misses.size() << " pixels landed elsewhere";
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

#if TOUCH_CAPACITIVE
TEST(TouchPixels, TheFocalTechControllerPlacesEveryPixel)
{
    every_pixel_lands_on_itself(fwtest::boot_to_prompt());
}
#else
TEST(TouchPixels, TheTsc2046PlacesEveryPixel)
{
    sim::Board& b = fwtest::boot_to_prompt();
    ASSERT_FALSE(b.touch.sx8652_fitted());
    every_pixel_lands_on_itself(b);
}

TEST(TouchPixels, TheSx8652PlacesEveryPixel)
{
    fwtest::BootOptions o;
    o.straps = sim::Straps::E;
    sim::Board& b = fwtest::boot_to_prompt(o);
    ASSERT_TRUE(b.touch.sx8652_fitted());
    every_pixel_lands_on_itself(b);
}
#endif

// A tap inside a hotspot that reports coordinates, on its corners and just
// outside it.
TEST(TouchPixels, AHotspotReportsATapAtItsOwnCoordinates)
{
    sim::Board& b = fwtest::boot_to_prompt();
    ASSERT_EQ(command("xxy 131 300 100 399 199"), ">\r");
    struct Case {
        int x, y;
        const char* report;
    };
    const Case cases[] = {
        {350, 150, "x131 50 50\r"}, {300, 100, "x131 0 0\r"}, {399, 199, "x131 99 99\r"},
        {299, 150, ""},             {350, 99, ""},            {400, 150, ""},
        {350, 200, ""},
    };
    for (const Case& c : cases) {
        const size_t from = b.uart1.sent.size();
        b.finger = {c.x, c.y, true};
        b.machine.run_for(100 * kMillisecond);
        b.finger.down = false;
        b.machine.run_for(200 * kMillisecond);
        std::string got;
        for (size_t i = from; i < b.uart1.sent.size(); ++i)
            got += static_cast<char>(b.uart1.sent[i].byte);
        EXPECT_EQ(visible(got), visible(c.report)) << "a tap at " << c.x << "," << c.y;
    }
}

}  // namespace
