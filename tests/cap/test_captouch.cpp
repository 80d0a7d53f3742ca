// The capacitive build as a person and a host see it: a finger on the panel
// reaches the FocalTech controller on I2C, the firmware reads it from the
// main loop when the controller's interrupt line was active, and the
// hotspots report as on the resistive panel.  The resistive converter is
// left alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/KM_captouch.h"
#include "app/KM_text.h"
#include "app/KM_touch.h"
#include "support/fw_board.h"
#include "support/host.h"

namespace {

using fwtest::command;
using fwtest::visible;
using sim::kMillisecond;
using sim::Time;

constexpr uint32_t kCspi2Base = 0x1000F000, kCspi2Size = 0x1000;
constexpr uint32_t kI2cBase = 0x10012000, kI2cSize = 0x1000;

void finger(int x, int y)
{
    sim::Board::get().finger = {x, y, true};
}

void lift()
{
    sim::Board::get().finger.down = false;
}

std::string sent_since(size_t from)
{
    std::string s;
    const auto& sent = sim::Board::get().uart1.sent;
    for (size_t i = from; i < sent.size(); ++i)
        s += static_cast<char>(sent[i].byte);
    return s;
}

// Accesses to a register window among those traced.
size_t accesses_in(uint32_t base, uint32_t size)
{
    size_t n = 0;
    for (const sim::Access& a : sim::Board::get().machine.trace)
        if (a.addr >= base && a.addr - base < size)
            ++n;
    return n;
}

struct PressCase {
    const char* name;
    int x, y;              // where the finger rests
    const char* reports;   // what the host hears from press to release
};

class CapHotspots : public ::testing::TestWithParam<PressCase> {};

TEST_P(CapHotspots, FingerPressesTheHotspotUnderItAndReleases)
{
    const PressCase& c = GetParam();
    sim::Board& b = fwtest::boot_to_prompt();
    for (const char* line : {"x 130 100 100 199 199", "x 131 600 300 699 399", "x 132 20 400 59 459", "xset 130 r",
                             "xset 131 r", "xset 132 r"})
        ASSERT_EQ(command(line), ">\r") << line;
    size_t from = b.uart1.sent.size();
    finger(c.x, c.y);
    Time down = b.machine.now();
    b.machine.run_until([&] { return sent_since(from).find('\r') != std::string::npos; }, down + 200 * kMillisecond);
    if (*c.reports)
        EXPECT_LT(b.machine.now() - down, 40 * kMillisecond) << c.name << ": the press was reported late or never";
    b.machine.run_for(200 * kMillisecond);
    lift();
    b.machine.run_for(200 * kMillisecond);
    EXPECT_EQ(visible(sent_since(from)), visible(c.reports))
        << c.name << ": a finger at " << c.x << "," << c.y << " on the capacitive panel";
    EXPECT_EQ(State.pressed, 0) << c.name << ": the lifted finger left the panel pressed";
    EXPECT_EQ(State.x, -1);
    EXPECT_EQ(State.y, -1);
    for (const std::string& r : b.machine.reports())
        ADD_FAILURE() << "the board reported: " << r;
}

INSTANTIATE_TEST_SUITE_P(Panel, CapHotspots,
                         ::testing::Values(PressCase{"top left hotspot", 150, 150, "x130\rr130\r"},
                                           PressCase{"hotspot near the bottom right", 650, 350, "x131\rr131\r"},
                                           PressCase{"small hotspot at the left edge", 30, 430, "x132\rr132\r"},
                                           PressCase{"empty screen", 400, 250, ""}),
                         [](const auto& info) {
                             std::string n;
                             for (const char* p = info.param.name; *p; ++p)
                                 n += isalnum((unsigned char)*p) ? *p : '_';
                             return n;
                         });

TEST(CapTouch, ReadsTheControllerNotTheResistiveConverter)
{
    sim::Board& b = fwtest::boot_to_prompt();
    b.machine.trace.clear();
    b.machine.tracing = true;
    finger(300, 200);
    b.machine.run_for(100 * kMillisecond);
    const bool pressed = State.pressed;
    const int32_t sx = State.x, sy = State.y;
    lift();
    b.machine.run_for(100 * kMillisecond);
    b.machine.tracing = false;
    EXPECT_TRUE(pressed) << "a finger on the capacitive panel for 100 ms published no touch";
    int across = 0, down = 0;
    b.touch.panel.raw_at(300, 200, &down, &across);
    EXPECT_EQ(sx, across) << "x of the touch state is not the controller's across-the-screen axis";
    EXPECT_EQ(sy, down) << "y of the touch state is not the controller's down-the-screen axis";
    EXPECT_EQ(accesses_in(kCspi2Base, kCspi2Size), 0u) << "the capacitive build used the resistive converter's SPI";
    EXPECT_GT(accesses_in(kI2cBase, kI2cSize), 0u) << "the touch was published without reading the controller";
    b.machine.trace.clear();
}

TEST(CapTouch, IdlePanelCausesNoBusTraffic)
{
    sim::Board& b = fwtest::boot_to_prompt();
    b.machine.run_for(100 * kMillisecond);
    b.machine.trace.clear();
    b.machine.tracing = true;
    b.machine.run_for(200 * kMillisecond);
    b.machine.tracing = false;
    EXPECT_EQ(accesses_in(kI2cBase, kI2cSize), 0u) << "the firmware read the controller while its interrupt line was idle";
    b.machine.trace.clear();
}

TEST(CapTouch, HeldFingerKeepsTheStateAndARepeatedLiftReleasesOnce)
{
    sim::Board& b = fwtest::boot_to_prompt();
    finger(500, 100);
    b.machine.run_until([] { return State.pressed != 0; }, b.machine.now() + 100 * kMillisecond);
    ASSERT_TRUE(State.pressed) << "the finger was never published";
    // A test-set point under a still finger: repeated contact events with
    // the same coordinates must not overwrite it.
    fwtest::on_firmware([] { KM_Touch_Set_State(1, 7, 9); });
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(State.x, 7) << "a repeated contact at the same place rewrote the touch state";
    EXPECT_EQ(State.y, 9);
    lift();
    b.machine.run_until([] { return State.pressed == 0; }, b.machine.now() + 100 * kMillisecond);
    ASSERT_EQ(State.pressed, 0) << "the lift was never seen";
    // The controller reports the lift again at its next scan; the release
    // was caught already.
    fwtest::on_firmware([] { KM_Touch_Set_State(1, 11, 13); });
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(State.pressed, 1) << "a repeated lift event released the panel a second time";
    EXPECT_EQ(State.x, 11);
}

TEST(CapTouch, TwoFingersPublishNothingAndTellADebuggingHost)
{
    sim::Board& b = fwtest::boot_to_prompt();
    fwtest::on_firmware([] { debug_touch = 1; });
    b.focaltech.second_finger = true;
    size_t from = b.uart1.sent.size();
    finger(400, 240);
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(State.pressed, 0) << "a two-finger touch published a point";
    EXPECT_NE(sent_since(from).find("Multi-touch not supported!\r"), std::string::npos)
        << "the debugging host was not told: " << visible(sent_since(from));
    b.focaltech.second_finger = false;
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(State.pressed, 1) << "one finger after two published nothing";
}

TEST(CapTouch, InterruptLineIsCountedByTheTick)
{
    sim::Board& b = fwtest::boot_to_prompt();
    uint8_t before = focalTech_INT_counter;
    b.machine.run_for(50 * kMillisecond);
    EXPECT_EQ(focalTech_INT_counter, before) << "the idle line was counted";
    finger(100, 100);
    b.machine.run_for(50 * kMillisecond);
    EXPECT_NE(focalTech_INT_counter, before) << "the active line was never counted";
}

TEST(CapTouch, LocationIsTheFingersPixelThroughTheDefaultCalibration)
{
    sim::Board& b = fwtest::boot_to_prompt();
    struct Point {
        int x, y;
    };
    for (Point p : {Point{20, 20}, Point{779, 459}, Point{400, 240}, Point{123, 321}, Point{700, 60}}) {
        finger(p.x, p.y);
        b.machine.run_for(50 * kMillisecond);
        int lx = -2, ly = -2;
        fwtest::on_firmware([&] { KM_GetLocation(&lx, &ly); });
        // Two integer steps (panel mapping, calibration) each lose a fraction.
        EXPECT_NEAR(lx, p.x, 2) << "a finger at " << p.x << "," << p.y << " was located at " << lx << "," << ly;
        EXPECT_NEAR(ly, p.y, 2) << "a finger at " << p.x << "," << p.y << " was located at " << lx << "," << ly;
        lift();
        b.machine.run_for(50 * kMillisecond);
        fwtest::on_firmware([&] { KM_GetLocation(&lx, &ly); });
        EXPECT_EQ(lx, -1) << "the lifted finger at " << p.x << "," << p.y << " is still located";
        EXPECT_EQ(ly, -1);
    }
}

}  // namespace
