// The panel's power and its signals as the LCD controller's model checks
// them: a firmware that hands the LCD signals to the controller before the
// panel has power, or takes the power away under running signals, is
// reported; the firmware's own "v of" / "v on" is not.  Without its clocks
// the controller raises no frame flag.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/KM_timer.h"
#include "support/host.h"

namespace {

using fwtest::visible;

constexpr uint32_t kPortAGius = 0x10015020, kPortBDr = 0x1001511C, kPccr0 = 0x10027020;
constexpr uint32_t kLcdClocks = (1u << 26) | (1u << 18);

std::string write_line(uint32_t addr, uint32_t v)
{
    char b[40];
    std::snprintf(b, sizeof b, "*W %08X %08X", static_cast<unsigned>(addr), static_cast<unsigned>(v));
    return b;
}

struct SignalCase {
    const char* name;
    // The host's lines, made from the board as it stands after start-up.
    std::function<std::vector<std::string>(sim::Board&)> lines;
    const char* report;  // nullptr: none may come
};

void PrintTo(const SignalCase& c, std::ostream* os)
{
    *os << c.name;
}

const SignalCase kCases[] = {
    {"panel_off_and_on_in_order", [](sim::Board&) { return std::vector<std::string>{"v of", "v on"}; }, nullptr},
    {"signals_handed_to_an_unpowered_panel",
     [](sim::Board&) { return std::vector<std::string>{"v of", write_line(kPortAGius, 0)}; },
     "handed to the controller while the panel has no power"},
    {"power_taken_from_running_signals",
     [](sim::Board& b) {
         return std::vector<std::string>{write_line(kPortBDr, b.gpio.reg(sim::Gpio::PORT_B, 0x1C) | 1u << 12)};
     },
     "panel power switched off (PB12 high) while the controller drives the LCD signals"},
};

class PanelSignals : public testing::TestWithParam<SignalCase> {};

TEST_P(PanelSignals, ReachThePanelOnlyWhileItHasPower)
{
    const SignalCase& c = GetParam();
    sim::Board& b = fwtest::boot_to_prompt();
    b.machine.run_for(300 * sim::kMillisecond);  // the panel's start-up is over
    ASSERT_TRUE(b.lcdc.showing()) << "the panel does not show a picture after start-up";
    for (const std::string& line : c.lines(b)) {
        const std::string reply = fwtest::command(line, 5 * sim::kSecond);
        EXPECT_TRUE(reply.size() >= 2 && reply.compare(reply.size() - 2, 2, ">\r") == 0)
            << "\"" << line << "\" answered \"" << visible(reply) << "\"";
    }
    const std::string all = fwtest::reports(b);
    if (c.report)
        EXPECT_TRUE(all.rfind("LCDC: ", 0) == 0 && all.find(c.report) != std::string::npos)
            << "not reported; the reports were: " << all;
    else
        EXPECT_EQ(all, "");
}

INSTANTIATE_TEST_SUITE_P(Orders, PanelSignals, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<SignalCase>& p) { return std::string(p.param.name); });

TEST(PanelClocks, NoFrameFlagWhileTheControllerHasNoClocks)
{
    sim::Board& b = fwtest::boot_to_prompt();
    b.machine.run_for(300 * sim::kMillisecond);
    ASSERT_LT(KM_TimerGetFrameTime(), 100u) << "no frame flags while the controller runs";
    fwtest::command(write_line(kPccr0, b.clock.pccr0() & ~kLcdClocks));
    const uint64_t frames = b.lcdc.frames();
    b.machine.run_for(500 * sim::kMillisecond);
    EXPECT_EQ(b.lcdc.frames(), frames) << "frames without the clocks";
    EXPECT_GE(KM_TimerGetFrameTime(), 500u) << "the tick saw a frame flag without the controller's clocks";
    fwtest::command(write_line(kPccr0, b.clock.pccr0() | kLcdClocks));
    b.machine.run_for(100 * sim::kMillisecond);
    EXPECT_LT(KM_TimerGetFrameTime(), 100u) << "no frame flags once the clocks are back";
}

}  // namespace
