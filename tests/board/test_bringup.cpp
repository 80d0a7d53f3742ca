// Power-on of the reference build: what the reset handler and the hardware
// start-up write, in which order, and what they leave running.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <vector>

#include "app/KM_timer.h"
#include "board/bootio.h"
#include "support/fw_board.h"

namespace {

using sim::Access;

// One expected bus access: a write of value (or a read, value ignored).
struct Step {
    uint32_t addr;
    std::optional<uint32_t> value;
    bool write = true;
};

Step W(uint32_t a, uint32_t v) { return {a, v, true}; }
Step R(uint32_t a) { return {a, std::nullopt, false}; }

std::string describe(const Step& s)
{
    std::ostringstream o;
    o << (s.write ? "write " : "read ") << std::hex << "0x" << s.addr;
    if (s.value)
        o << " := 0x" << *s.value;
    return o.str();
}

// The steps must appear in the trace in this order (other accesses may lie
// between them).  Returns the first step that is missing, or "".
std::string missing_in_order(const std::vector<Access>& trace, const std::vector<Step>& steps)
{
    size_t i = 0;
    for (const Step& s : steps) {
        while (i < trace.size() && !(trace[i].addr == s.addr && trace[i].write == s.write &&
                                     (!s.value || trace[i].value == *s.value)))
            ++i;
        if (i == trace.size())
            return describe(s);
        ++i;
    }
    return "";
}

bool wrote(const std::vector<Access>& trace, uint32_t addr, uint32_t value)
{
    for (const Access& a : trace)
        if (a.write && a.addr == addr && a.value == value)
            return true;
    return false;
}

const uint32_t CRM = 0x10027000, AITC = 0x10040000, GPT2 = 0x10004000, PA = 0x10015000;

sim::Board& boot_traced(sim::Straps straps)
{
    sim::Board& b = fwtest::boot({straps, true});
    b.machine.run_for(10 * sim::kMillisecond);
    return b;
}

TEST(BringUp, WritesTheBoardSetUpInOrder)
{
    sim::Board& b = boot_traced(sim::Straps::Plain);
    std::vector<Step> steps = {
        W(AITC + 0x10, 0), W(AITC + 0x14, 0),
        W(0x10000000, 0x00040304), W(0x10000004, 0xFFFBFCFB),
        W(0x10020000, 0x3FFC0000), W(0x10020004, 0xFFFFFFFF),
        W(0xDF001000, 0x00008E44), W(0xDF001004, 0x00000D01),
        W(CRM + 0x04, 0x007B1C73), W(CRM + 0x00, 0x17200607),
        W(CRM + 0x28, 8),
        W(0xDF000000, 0x92120300), R(0xC0200000),
        W(0xDF000000, 0xA2120300), R(0xC0000000), R(0xC0000000), R(0xC0000000), R(0xC0000000),
        R(0xC0000000), R(0xC0000000), R(0xC0000000), R(0xC0000000),
        W(0xDF000000, 0xB2120300), R(0xC0119800),
        W(0xDF000000, 0x8212F339),
        W(PA + 0x1C, 0), W(PA + 0x20, 0xFFFFFFE0), W(PA + 0x04, 0xFFFFFC00),
        W(PA + 0x08, 0xFFFFFFFF), W(PA + 0x00, 0xFFFFFFE0),
        // main: interrupt controller with every source off
        W(AITC + 0x10, 0), W(AITC + 0x14, 0),
        // InitEverything
        W(CRM + 0x1C, 0x0307070F),
        W(GPT2 + 0x04, 0), W(GPT2 + 0x08, 0x40F1), W(GPT2 + 0x00, 0x13),
    };
    std::string missing = missing_in_order(b.machine.trace, steps);
    EXPECT_EQ(missing, "") << "bring-up did not make this access where expected";
    EXPECT_TRUE(b.machine.reports().empty()) << "bring-up touched an address no model claims: "
                                             << b.machine.reports().front();
}

TEST(BringUp, LeavesPinsAsTheBoardNeedsThem)
{
    // The pins as they stand when the hardware start-up ends (the tick is
    // its last step); the firmware's own start-up changes some of them
    // later (panel power, backlight, LCD signals).
    struct Change {
        sim::Time t;
        int port, pin, level;
    };
    std::vector<Change> changes;
    sim::Board& b = fwtest::boot({sim::Straps::Plain, true});
    b.gpio.on_change = [&](int port, int pin, int level) { changes.push_back({b.machine.now(), port, pin, level}); };
    b.machine.run_for(10 * sim::kMillisecond);
    sim::Time end_of_bringup = 0;
    for (const Access& a : b.machine.trace)
        if (a.write && a.addr == GPT2 && a.value == 0x13)
            end_of_bringup = a.time;
    ASSERT_NE(end_of_bringup, 0u) << "the tick was never started";
    // A pin's level at the end of bring-up: its last change until then, or
    // the opposite of its first change after it, or its level now.
    auto level_then = [&](int port, int pin, int now_level) {
        int level = -1;
        for (const Change& c : changes) {
            if (c.port != port || c.pin != pin)
                continue;
            if (c.t <= end_of_bringup)
                level = c.level;
            else
                return level >= 0 ? level : !c.level;
        }
        return level >= 0 ? level : now_level;
    };
    using G = sim::Gpio;
    struct Pin { int port, pin, level; const char* what; };
    const Pin pins[] = {
        {G::PORT_B, 20, 1, "status LED dark"}, {G::PORT_C, 16, 1, "SD LED dark"},
        {G::PORT_B, 12, 1, "panel power off"}, {G::PORT_B, 16, 0, "LCD signal buffer enabled"},
        {G::PORT_B, 21, 1, "inverter enable"}, {G::PORT_B, 11, 0, "VQ"},
        {G::PORT_B, 17, 0, "orientation 0, bit 0"}, {G::PORT_B, 18, 0, "orientation 0, bit 1"},
        {G::PORT_B, 19, 1, "PB19 high"}, {G::PORT_E, 5, 0, "PE5 low"},
        {G::PORT_F, 1, 0, "SD supply on"}, {G::PORT_F, 3, 0, "SD supply on"},
        {G::PORT_A, 5, 0, "LCD signal low"}, {G::PORT_A, 30, 1, "PA30 high on this panel"},
    };
    for (const Pin& p : pins)
        EXPECT_EQ(level_then(p.port, p.pin, b.gpio.level(p.port, p.pin)), p.level) << p.what;
    EXPECT_FALSE(b.gpio.is_gpio_output(G::PORT_B, 13)) << "card detect must stay an input";
    EXPECT_EQ(b.gpio.level(G::PORT_B, 13), 1) << "empty slot reads high through the pull-up";
}

TEST(BringUp, TickRunsEveryMillisecond)
{
    sim::Board& b = boot_traced(sim::Straps::Plain);
    uint32_t before = KM_TimerGetMsCount();
    uint64_t events = b.gpt2.compare_events();
    b.machine.run_for(250 * sim::kMillisecond);
    EXPECT_EQ(KM_TimerGetMsCount() - before, 250u) << "msCounter32 must count one per ms of board time";
    EXPECT_EQ(b.gpt2.compare_events() - events, 250u);
    // The LCD controller's frames (which the tick times) come only once its
    // clocks run, after the panel's power-up delay.
    EXPECT_EQ(b.lcdc.frames() > 0, b.lcdc.clocks_on());
}

struct StrapCase {
    sim::Straps straps;
    const char* name;
    int mhz26, plus_e, plus_n;
};

void PrintTo(const StrapCase& c, std::ostream* os) { *os << "straps " << c.name; }

class Straps : public testing::TestWithParam<StrapCase> {};

TEST_P(Straps, ChooseTheClockSetUpAndTheBoardKind)
{
    const StrapCase& c = GetParam();
    sim::Board& b = boot_traced(c.straps);
    const auto& t = b.machine.trace;
    // Only a board with both straps high has the 32 kHz reference.
    if (c.straps != sim::Straps::Plain) {
        std::vector<Step> steps = {W(CRM + 0x04, 0x80331C23), W(CRM + 0x0C, 0x800C1407),
                                   R(CRM + 0x08), R(CRM + 0x10), W(CRM + 0x00, 0x17030613),
                                   W(CRM + 0x28, 8)};
        EXPECT_EQ(missing_in_order(t, steps), "") << c.name << ": 26 MHz clock set-up incomplete";
        EXPECT_FALSE(wrote(t, CRM + 0x04, 0x007B1C73)) << c.name << ": used the 32 kHz set-up";
    } else {
        EXPECT_TRUE(wrote(t, CRM + 0x04, 0x007B1C73)) << c.name << ": 32 kHz set-up missing";
        EXPECT_FALSE(wrote(t, CRM + 0x04, 0x80331C23)) << c.name << ": used the 26 MHz set-up";
    }
    EXPECT_TRUE(b.clock.reg(0x08) & 0x8000) << "MPLL must be locked after bring-up";
    EXPECT_EQ(has_26Mhz(), c.mhz26) << c.name;
    EXPECT_EQ(is_plus_E(), c.plus_e) << c.name;
    EXPECT_EQ(is_plus_N(), c.plus_n) << c.name;
}

INSTANTIATE_TEST_SUITE_P(All, Straps,
                         testing::Values(StrapCase{sim::Straps::Plain, "plain", 0, 0, 0},
                                         StrapCase{sim::Straps::E, "E", 0, 1, 0},
                                         StrapCase{sim::Straps::N, "N", 1, 0, 1},
                                         StrapCase{sim::Straps::Mhz26, "26", 1, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name == std::string("26") ? "Mhz26" : info.param.name); });

TEST(BoardIo, LedAloneAndToggleBoth)
{
    sim::Board& b = boot_traced(sim::Straps::Plain);
    fwtest::on_firmware([] { Led(1); });
    EXPECT_TRUE(b.status_led());
    EXPECT_FALSE(b.sd_led()) << "Led must leave the SD LED alone";
    fwtest::on_firmware([] { LedToggle(); });
    EXPECT_FALSE(b.status_led());
    EXPECT_FALSE(b.sd_led());
    fwtest::on_firmware([] { LedToggle(); });
    EXPECT_TRUE(b.status_led()) << "LedToggle lights both LEDs together";
    EXPECT_TRUE(b.sd_led()) << "LedToggle lights both LEDs together";
}

TEST(BoardIo, OrientationAndVqPins)
{
    sim::Board& b = boot_traced(sim::Straps::Plain);
    using G = sim::Gpio;
    for (int o = 0; o < 8; ++o) {
        fwtest::on_firmware([o] { setOrient(o); });
        EXPECT_EQ(b.gpio.level(G::PORT_B, 17), o & 1) << "orientation " << o;
        EXPECT_EQ(b.gpio.level(G::PORT_B, 18), (o >> 1) & 1) << "orientation " << o;
    }
    int vq = -1;
    fwtest::on_firmware([&] { setVQpin(3); vq = getVQpin(); });
    EXPECT_EQ(vq, 1);
    EXPECT_EQ(b.gpio.level(G::PORT_B, 11), 1);
}

TEST(Delays, WaitAtLeastWhatTheyAreAskedAndLittleMore)
{
    boot_traced(sim::Straps::Plain);
    struct Case { uint32_t us; };
    for (uint32_t us : {1u, 100u, 511u, 512u, 513u, 1000u, 2500u}) {
        sim::Time t0 = 0, t1 = 0;
        fwtest::on_firmware([&] {
            t0 = sim::Machine::instance().now();
            KM_Delay_uSec(us);
            t1 = sim::Machine::instance().now();
        });
        sim::Time waited = t1 - t0;
        EXPECT_GE(waited, us * sim::kMicrosecond) << "KM_Delay_uSec(" << us << ") returned early";
        EXPECT_LE(waited, us * sim::kMicrosecond + 10 * sim::kMicrosecond) << "KM_Delay_uSec(" << us << ") overslept";
    }
    sim::Time t0 = 0, t1 = 0;
    fwtest::on_firmware([&] {
        t0 = sim::Machine::instance().now();
        Delay(0);
        t1 = sim::Machine::instance().now();
    });
    EXPECT_LT(t1 - t0, 5 * sim::kMicrosecond) << "Delay(0) must return at once";
    fwtest::on_firmware([&] {
        t0 = sim::Machine::instance().now();
        Delay(5);
        t1 = sim::Machine::instance().now();
    });
    EXPECT_GE(t1 - t0, 5 * sim::kMillisecond);
    EXPECT_LE(t1 - t0, 5 * sim::kMillisecond + 50 * sim::kMicrosecond);
}

}  // namespace
