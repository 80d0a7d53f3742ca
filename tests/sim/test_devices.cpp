// Register-level tests of the interrupt controller, clock controller, GPIO
// ports, general-purpose timers and store-only register files, driven
// through the machine's bus as the firmware drives them.

#include "devices/aitc.h"
#include "devices/clock.h"
#include "devices/gpio.h"
#include "devices/gpt.h"
#include "devices/lcdc.h"
#include "devices/regfile.h"
#include "devices/sdramc.h"
#include "devices/uart.h"
#include "machine.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using sim::Gpio;
using sim::Gpt;
using sim::kMicrosecond;
using sim::kMillisecond;
using sim::Time;

namespace {

// Register offsets, as the firmware names them.
enum : uint32_t {
    INTENNUM = 0x08, INTDISNUM = 0x0C, INTENABLEH = 0x10, INTENABLEL = 0x14,
    INTTYPEH = 0x18, INTTYPEL = 0x1C, NIVECSR = 0x40, FIVECSR = 0x44,
    INTSRCH = 0x48, INTSRCL = 0x4C, INTFRCH = 0x50, INTFRCL = 0x54,
    NIPNDH = 0x58, NIPNDL = 0x5C, FIPNDH = 0x60, FIPNDL = 0x64,

    CSCR = 0x00, MPCTL0 = 0x04, MPCTL1 = 0x08, SPCTL0 = 0x0C, SPCTL1 = 0x10,
    OSC26MCTL = 0x14, PCDR0 = 0x18, PCDR1 = 0x1C, PCCR0 = 0x20, PCCR1 = 0x24,
    CCSR = 0x28, WKGDCTL = 0x34,

    DDIR = 0x00, OCR1 = 0x04, OCR2 = 0x08, DR = 0x1C, GIUS = 0x20, SSR = 0x24,
    GPR = 0x38, SWR = 0x3C, PUEN = 0x40, PMASK = 0x600,

    TCTL = 0x00, TPRER = 0x04, TCMP = 0x08, TCR = 0x0C, TCN = 0x10, TSTAT = 0x14,
};

constexpr int kTickIrq = 25;
constexpr uint32_t kTickCompare = 0x40F1;  // 16625 counts = 1 ms

// The machine is one per process and has no detach: every fixture gets its
// own, never reused, bus windows.
uint32_t fresh_window()
{
    static uint32_t next = 0x40000000;
    uint32_t base = next;
    next += 0x1000;
    return base;
}

class DeviceTest : public ::testing::Test {
protected:
    sim::Machine& m = sim::Machine::instance();
    sim::Aitc aitc{m};
    sim::ClockController crm{m};
    sim::Gpio gpio{m};
    sim::Gpt gpt1{m, aitc, 26, "GPT1"};
    sim::Gpt gpt2{m, aitc, kTickIrq, "GPT2"};
    sim::RegisterFile weim{m, "WEIM", sim::weim_registers()};
    sim::RegisterFile xbar{m, "AHB crossbar", sim::ahb_crossbar_registers()};

    uint32_t aitc_at = 0, crm_at = 0, gpio_at = 0, gpt1_at = 0, gpt2_at = 0, weim_at = 0, xbar_at = 0;

    void SetUp() override
    {
        m.quiet = true;
        m.clear_reports();
        for (auto [dev, at, size] : {std::tuple{(sim::Device*)&aitc, &aitc_at, 0x1000u},
                                     {&crm, &crm_at, 0x1000u},
                                     {&gpio, &gpio_at, 0x700u},
                                     {&gpt1, &gpt1_at, 0x1000u},
                                     {&gpt2, &gpt2_at, 0x1000u},
                                     {&weim, &weim_at, 0x1000u},
                                     {&xbar, &xbar_at, 0x1000u}}) {
            *at = fresh_window();
            m.attach(*at, size, dev);
        }
    }

    uint32_t rd(uint32_t addr) { return m.read(addr, 4); }
    void wr(uint32_t addr, uint32_t v) { m.write(addr, v, 4); }
    void advance_to(Time t)
    {
        ASSERT_GE(t, m.now()) << "test asked to go back in time";
        m.advance(t - m.now());
    }

    uint32_t port_reg(int port, uint32_t off) { return rd(gpio_at + 0x100u * port + off); }
    void set_port_reg(int port, uint32_t off, uint32_t v) { wr(gpio_at + 0x100u * port + off, v); }

    // GPT2 programmed as the firmware's tick start-up does it; returns the
    // time at which the timer was enabled.
    Time start_tick(uint32_t prescaler = 0)
    {
        wr(gpt2_at + TCTL, 0x0001);
        wr(gpt2_at + TCTL, 0x8001);
        wr(gpt2_at + TCTL, rd(gpt2_at + TCTL) & ~1u);
        wr(gpt2_at + TPRER, prescaler);
        wr(gpt2_at + TCMP, kTickCompare);
        wr(aitc_at + INTENNUM, kTickIrq);
        Time t0 = m.now();
        wr(gpt2_at + TCTL, 0x13);
        return t0;
    }

    uint32_t window_of(const std::string& model) const
    {
        const std::pair<const char*, uint32_t> windows[] = {
            {"AITC", aitc_at}, {"CRM", crm_at}, {"GPIO", gpio_at}, {"GPT1", gpt1_at},
            {"GPT2", gpt2_at}, {"WEIM", weim_at}, {"AHB crossbar", xbar_at}};
        for (auto [name, at] : windows)
            if (model == name)
                return at;
        ADD_FAILURE() << "no model " << model << " on the test bus";
        return 0;
    }

    bool reported(const std::string& a, const std::string& b) const
    {
        for (const std::string& r : m.reports())
            if (r.find(a) != std::string::npos && r.find(b) != std::string::npos)
                return true;
        return false;
    }
};

// ---------------------------------------------------------------- AITC

struct AitcCase {
    const char* what;
    uint64_t sources, forced, enabled, fast;
    int normal;  // expected NIVECSR source, -1 none
    int fiq;     // expected FIVECSR source, -1 none
};

TEST_F(DeviceTest, AitcVectorNamesHighestPendingEnabledSource)
{
    auto bit = [](int n) { return uint64_t(1) << n; };
    const AitcCase cases[] = {
        {"nothing asserted", 0, 0, ~0ull, 0, -1, -1},
        {"the tick alone", bit(25), 0, bit(25), 0, 25, -1},
        {"both UARTs and the tick", bit(19) | bit(20) | bit(25), 0, ~0ull, 0, 25, -1},
        {"tick asserted but disabled", bit(19) | bit(20) | bit(25), 0, bit(19) | bit(20), 0, 20, -1},
        {"asserted, nothing enabled", bit(19) | bit(25), 0, 0, 0, -1, -1},
        {"UART1 fast-typed", bit(19) | bit(20), 0, ~0ull, bit(20), 19, 20},
        {"only a fast source", bit(25), 0, bit(25), bit(25), -1, 25},
        {"upper-word sources", bit(32) | bit(63) | bit(5), 0, ~0ull, 0, 63, -1},
        {"a forced source", 0, bit(40), bit(40), 0, 40, -1},
        {"a forced source, disabled", 0, bit(40), bit(25), 0, -1, -1},
    };
    for (const AitcCase& c : cases) {
        SCOPED_TRACE(c.what);
        aitc.reset();
        wr(aitc_at + INTENABLEH, uint32_t(c.enabled >> 32));
        wr(aitc_at + INTENABLEL, uint32_t(c.enabled));
        wr(aitc_at + INTTYPEH, uint32_t(c.fast >> 32));
        wr(aitc_at + INTTYPEL, uint32_t(c.fast));
        wr(aitc_at + INTFRCH, uint32_t(c.forced >> 32));
        wr(aitc_at + INTFRCL, uint32_t(c.forced));
        for (int n = 0; n < 64; ++n)
            if (c.sources & bit(n))
                aitc.set_source(n, true);

        uint64_t pending = (c.sources | c.forced) & c.enabled;
        uint64_t normal = pending & ~c.fast, fiq = pending & c.fast;
        EXPECT_EQ(rd(aitc_at + NIVECSR), c.normal < 0 ? 0xFFFF0000u : uint32_t(c.normal) << 16)
            << "irq_handler would dispatch the wrong interrupt number";
        EXPECT_EQ(rd(aitc_at + FIVECSR), c.fiq < 0 ? 0xFFFFFFFFu : uint32_t(c.fiq));
        EXPECT_EQ(m.irq_line(), c.normal >= 0) << "IRQ line does not follow the pending normal sources";
        EXPECT_EQ(rd(aitc_at + NIPNDH), uint32_t(normal >> 32));
        EXPECT_EQ(rd(aitc_at + NIPNDL), uint32_t(normal));
        EXPECT_EQ(rd(aitc_at + FIPNDH), uint32_t(fiq >> 32));
        EXPECT_EQ(rd(aitc_at + FIPNDL), uint32_t(fiq));
        EXPECT_EQ(rd(aitc_at + INTSRCH), uint32_t(c.sources >> 32)) << "raw source levels include forces";
        EXPECT_EQ(rd(aitc_at + INTSRCL), uint32_t(c.sources));
    }
}

TEST_F(DeviceTest, AitcEnableByNumberAndLineFollowsSource)
{
    wr(aitc_at + INTENNUM, 20);
    wr(aitc_at + INTENNUM, 45);
    EXPECT_EQ(rd(aitc_at + INTENABLEL), 1u << 20) << "INTENNUM 20 did not enable source 20";
    EXPECT_EQ(rd(aitc_at + INTENABLEH), 1u << 13) << "INTENNUM 45 did not enable source 45";

    aitc.set_source(20, true);
    EXPECT_TRUE(m.irq_line()) << "an enabled UART1 interrupt does not raise IRQ";
    wr(aitc_at + INTDISNUM, 20);
    EXPECT_EQ(rd(aitc_at + INTENABLEL), 0u) << "INTDISNUM 20 left source 20 enabled";
    EXPECT_FALSE(m.irq_line()) << "IRQ stays up after its only source was disabled";
    wr(aitc_at + INTENNUM, 20);
    EXPECT_TRUE(m.irq_line());
    aitc.set_source(20, false);
    EXPECT_FALSE(m.irq_line()) << "IRQ stays up after the source dropped its level";
    EXPECT_EQ(rd(aitc_at + NIVECSR), 0xFFFF0000u);
}

// ---------------------------------------------------------------- GPT

TEST_F(DeviceTest, TickComparesEveryMillisecondAndRaisesInterrupt25)
{
    Time t0 = start_tick();
    for (uint64_t k = 1; k <= 5; ++k) {
        SCOPED_TRACE("millisecond " + std::to_string(k));
        advance_to(t0 + k * kMillisecond - 1);
        EXPECT_EQ(gpt2.compare_events(), k - 1) << "compare event came before the millisecond was over";
        EXPECT_FALSE(m.irq_line());
        EXPECT_EQ(gpt2.counter(), 16624u) << "counter one ns before the compare";
        advance_to(t0 + k * kMillisecond);
        EXPECT_EQ(gpt2.compare_events(), k) << "no compare event at the millisecond";
        EXPECT_EQ(rd(gpt2_at + TSTAT) & 1, 1u) << "TSTAT.COMP not set at the compare";
        EXPECT_TRUE(m.irq_line()) << "the tick does not raise IRQ";
        EXPECT_EQ(rd(aitc_at + NIVECSR), uint32_t(kTickIrq) << 16) << "the vector does not name the tick";
        EXPECT_LT(rd(gpt2_at + TCN), 10u) << "counter did not wrap to a small value after the compare";
        wr(gpt2_at + TSTAT, 1);
        EXPECT_EQ(rd(gpt2_at + TSTAT), 0u) << "writing 1 did not clear TSTAT.COMP";
        EXPECT_FALSE(m.irq_line()) << "the tick interrupt stays up after TSTAT was cleared";
    }
}

TEST_F(DeviceTest, TickCounterRunsExactlyAndNeverReachesCompareValue)
{
    Time t0 = start_tick();
    // An odd step so that the samples fall everywhere in the period.
    for (Time t = t0 + 997; t < t0 + 3 * kMillisecond; t += 997) {
        advance_to(t);
        uint32_t expected = uint32_t((t - t0) * 16625 / kMillisecond % 16625);
        uint32_t got = gpt2.counter();
        ASSERT_EQ(got, expected) << "counter at " << (t - t0) << " ns after enabling";
        ASSERT_LT(got, 16625u) << "counter reached the compare value in restart mode";
    }
    uint32_t a = rd(gpt2_at + TCN), b = rd(gpt2_at + TCN);
    uint32_t step = (b + 16625 - a) % 16625;
    EXPECT_LE(step, 2u) << "two back-to-back reads of TCN should differ by a count or two";
}

TEST_F(DeviceTest, TickSoftwareResetRestoresResetValues)
{
    start_tick(5);
    advance_to(m.now() + 7 * kMillisecond);
    ASSERT_TRUE(m.irq_line()) << "set-up: the tick should be pending";
    wr(gpt2_at + TCTL, 0x8000);

    const std::pair<uint32_t, uint32_t> resets[] = {
        {TCTL, 0}, {TPRER, 0}, {TCMP, 0xFFFFFFFF}, {TCR, 0}, {TCN, 0}, {TSTAT, 0}};
    for (auto [off, value] : resets)
        EXPECT_EQ(rd(gpt2_at + off), value) << "register +0x" << std::hex << off << " after software reset";
    EXPECT_FALSE(m.irq_line()) << "software reset left the tick interrupt up";
    uint64_t events = gpt2.compare_events();
    advance_to(m.now() + 10 * kMillisecond);
    EXPECT_EQ(gpt2.compare_events(), events) << "the timer kept running after software reset";
    EXPECT_EQ(gpt2.counter(), 0u);
}

TEST_F(DeviceTest, PrescalerAndClockSourceSetTheCountRate)
{
    struct Rate {
        uint32_t prescaler, source;
        uint32_t counts_per_ms;
    };
    const Rate rates[] = {
        {0, 1, 16625}, {1, 1, 8312}, {2047, 1, 8}, {0, 2, 1039}, {3, 2, 259}, {0, 0, 0}};
    for (const Rate& r : rates) {
        SCOPED_TRACE("prescaler " + std::to_string(r.prescaler) + ", clock source " + std::to_string(r.source));
        wr(gpt1_at + TCTL, 0);
        wr(gpt1_at + TPRER, r.prescaler);
        Time t0 = m.now();
        wr(gpt1_at + TCTL, 0x001 | r.source << 1);
        advance_to(t0 + kMillisecond);
        EXPECT_EQ(gpt1.counter(), r.counts_per_ms) << "counts in the first millisecond";
    }
}

TEST_F(DeviceTest, TickPrescalerSlowsTheCount)
{
    Time t0 = start_tick(1);  // half rate: 2 ms per period
    advance_to(t0 + kMillisecond);
    EXPECT_EQ(gpt2.counter(), 16625u / 2) << "prescaler 1 should halve the count rate";
    advance_to(t0 + 2 * kMillisecond - 1);
    EXPECT_EQ(gpt2.compare_events(), 0u) << "compare came early with prescaler 1";
    advance_to(t0 + 2 * kMillisecond);
    EXPECT_EQ(gpt2.compare_events(), 1u) << "no compare after 2 ms with prescaler 1";

    // A new prescaler counts from the moment it is written.
    Time t1 = m.now();
    uint32_t c1 = gpt2.counter();
    wr(gpt2_at + TPRER, 3);
    advance_to(t1 + kMillisecond);
    EXPECT_EQ(gpt2.counter(), c1 + 16625 / 4) << "prescaler 3 written while running";
}

TEST_F(DeviceTest, TimerDisableClearsCounterAndEnableStartsFromZero)
{
    Time t0 = start_tick();
    advance_to(t0 + kMillisecond / 2);
    wr(gpt2_at + TCTL, 0x12);
    EXPECT_EQ(rd(gpt2_at + TCN), 0u) << "disabling the timer did not clear its counter";
    advance_to(m.now() + 3 * kMillisecond);
    EXPECT_EQ(gpt2.compare_events(), 0u) << "a disabled timer produced compare events";

    Time t1 = m.now();
    wr(gpt2_at + TCTL, 0x13);
    advance_to(t1 + kMillisecond - 1);
    EXPECT_EQ(gpt2.compare_events(), 0u);
    advance_to(t1 + kMillisecond);
    EXPECT_EQ(gpt2.compare_events(), 1u) << "after re-enabling, the first period is not a full 1 ms";
}

TEST_F(DeviceTest, ToneTimerTogglesItsOutputAtEachCompare)
{
    std::vector<std::pair<Time, bool>> edges;
    gpt1.on_output = [&](bool level) { edges.push_back({m.now(), level}); };
    const uint32_t half = 16625 / 2;  // half a period of a 1 kHz tone
    wr(gpt1_at + TCTL, 0);
    wr(gpt1_at + TCMP, half);
    wr(gpt1_at + TCTL, 0x202);
    Time t0 = m.now();
    wr(gpt1_at + TCTL, 0x203);
    advance_to(t0 + 4 * kMillisecond);

    ASSERT_EQ(edges.size(), 8u) << "a 1 kHz tone should make 8 edges in 4 ms";
    for (size_t i = 0; i < edges.size(); ++i) {
        // The first moment the counter has made (i + 1) half periods.
        Time due = t0 + ((i + 1) * half * kMillisecond + 16624) / 16625;
        EXPECT_EQ(edges[i].first, due) << "tone edge " << i << " late or early";
        EXPECT_EQ(edges[i].second, i % 2 == 0) << "edge " << i << " has the wrong level";
    }
    EXPECT_EQ(gpt1.output(), false);
    EXPECT_FALSE(m.irq_line()) << "a tone without COMPEN raised an interrupt";
}

TEST_F(DeviceTest, FreeRunCounterPassesTheCompareValue)
{
    wr(gpt1_at + TCMP, 1000);
    Time t0 = m.now();
    wr(gpt1_at + TCTL, 0x103);  // enabled, PERCLK1, free-run
    advance_to(t0 + kMillisecond);
    EXPECT_EQ(gpt1.counter(), 16625u) << "free-run counter should not wrap at TCMP";
    EXPECT_EQ(gpt1.compare_events(), 1u) << "free-run counter passing TCMP should set COMP once";
    EXPECT_EQ(rd(gpt1_at + TSTAT), 1u);
}

// ---------------------------------------------------------------- GPIO

struct PinCase {
    const char* what;
    int pin;
    bool gius, ddir;
    unsigned ocr;
    bool dr, puen;
    int drive;  // external driver, -1 none
    int level;
    bool output;
};

TEST_F(DeviceTest, GpioPinLevelFollowsOwnershipDriveAndPullUp)
{
    const PinCase cases[] = {
        {"reset state: input with pull-up", 13, false, false, 0, false, true, -1, 1, false},
        {"undriven, pull-up off", 13, false, false, 0, false, false, -1, 0, false},
        {"GPIO output, DR 1", 20, true, true, 3, true, false, -1, 1, true},
        {"GPIO output, DR 0 beats pull-up", 20, true, true, 3, false, true, -1, 0, true},
        {"GPIO output, DR 0 beats an external 1", 20, true, true, 3, false, true, 1, 0, true},
        {"output with OCR 0 does not drive DR", 20, true, true, 0, false, true, -1, 1, false},
        {"output with OCR 2 does not drive DR", 20, true, true, 2, true, false, -1, 0, false},
        {"peripheral pin with DR set up", 20, false, true, 3, false, true, -1, 1, false},
        {"GPIO input pulled low by a card", 13, true, false, 0, false, true, 0, 0, false},
        {"GPIO input driven high, no pull-up", 13, true, false, 0, false, false, 1, 1, false},
        {"upper-half pin, GPIO output DR 0", 21, true, true, 3, false, true, -1, 0, true},
        {"upper-half pin, OCR bits of its neighbour", 22, true, true, 0, false, true, -1, 1, false},
    };
    for (const PinCase& c : cases) {
        SCOPED_TRACE(c.what);
        gpio.reset();
        for (int pin = 0; pin < 32; ++pin)
            gpio.drive(Gpio::PORT_B, pin, -1);
        uint32_t bit = 1u << c.pin;
        unsigned shift = 2 * (c.pin % 16);
        // Pin 22's case puts OCR 3 on pin 21 only.
        uint32_t ocr = c.pin == 22 ? 3u << 10 : uint32_t(c.ocr) << shift;
        set_port_reg(Gpio::PORT_B, c.pin < 16 ? OCR1 : OCR2, ocr);
        set_port_reg(Gpio::PORT_B, DR, c.dr ? bit : 0);
        set_port_reg(Gpio::PORT_B, DDIR, c.ddir ? bit : 0);
        set_port_reg(Gpio::PORT_B, PUEN, c.puen ? bit : 0);
        set_port_reg(Gpio::PORT_B, GIUS, c.gius ? bit : 0);
        if (c.drive >= 0)
            gpio.drive(Gpio::PORT_B, c.pin, c.drive);

        EXPECT_EQ(gpio.level(Gpio::PORT_B, c.pin), c.level) << "pin PB" << c.pin << " seen from outside";
        EXPECT_EQ((port_reg(Gpio::PORT_B, SSR) >> c.pin) & 1, uint32_t(c.level))
            << "firmware reads PB" << c.pin << " wrongly through SSR";
        EXPECT_EQ(gpio.is_gpio_output(Gpio::PORT_B, c.pin), c.output);
        EXPECT_EQ(gpio.is_gpio(Gpio::PORT_B, c.pin), c.gius);
    }
}

TEST_F(DeviceTest, GpioReportsEachChangedPinOnce)
{
    std::vector<std::pair<int, int>> changes;  // (port * 32 + pin, level)
    gpio.on_change = [&](int port, int pin, int level) { changes.push_back({port * 32 + pin, level}); };
    const int D = Gpio::PORT_D;
    const uint32_t pins = 1u << 21 | 1u << 28;
    auto take = [&] { auto c = changes; changes.clear(); return c; };
    using Changes = std::vector<std::pair<int, int>>;

    // Made outputs driving 1 over a pull-up: nothing changes outside.
    set_port_reg(D, DR, pins);
    set_port_reg(D, OCR2, 3u << 10 | 3u << 24);
    set_port_reg(D, DDIR, pins);
    set_port_reg(D, GIUS, pins);
    EXPECT_EQ(take(), Changes{}) << "pins reported as changed while they stayed high";

    set_port_reg(D, DR, 0);
    EXPECT_EQ(take(), (Changes{{D * 32 + 21, 0}, {D * 32 + 28, 0}})) << "clearing DR of two outputs";
    set_port_reg(D, DR, 0);
    EXPECT_EQ(take(), Changes{}) << "rewriting the same DR reported changes";
    set_port_reg(D, DR, 1u << 21);
    EXPECT_EQ(take(), (Changes{{D * 32 + 21, 1}}));

    set_port_reg(D, PUEN, 0);
    EXPECT_EQ(take().size(), 30u) << "pull-ups off should drop the 30 undriven pins";

    gpio.drive(D, 3, 1);
    EXPECT_EQ(take(), (Changes{{D * 32 + 3, 1}})) << "an external driver raising PD3";
    gpio.drive(D, 3, 1);
    EXPECT_EQ(take(), Changes{}) << "driving the same level again reported a change";
    EXPECT_EQ(port_reg(D, SSR), 1u << 21 | 1u << 3) << "SSR does not show the outputs and the driven pin";
    gpio.drive(D, 21, 0);
    EXPECT_EQ(take(), Changes{}) << "an external driver overrode a GPIO output";
    gpio.drive(D, 3, -1);
    EXPECT_EQ(take(), (Changes{{D * 32 + 3, 0}})) << "released pin without pull-up should read 0";
}

TEST_F(DeviceTest, GpioSoftwareResetRestoresOnePort)
{
    EXPECT_EQ(rd(gpio_at + PMASK), 0x3Fu) << "PMASK reset value";
    for (int port : {Gpio::PORT_A, Gpio::PORT_C}) {
        set_port_reg(port, GIUS, 0xFFFFFFE0);
        set_port_reg(port, OCR1, 0xFFFFFC00);
        set_port_reg(port, PUEN, 0);
        set_port_reg(port, GPR, 0x10);
    }
    set_port_reg(Gpio::PORT_C, SWR, 1);
    const std::pair<uint32_t, uint32_t> resets[] = {{GIUS, 0}, {OCR1, 0}, {GPR, 0}, {PUEN, 0xFFFFFFFF}, {SWR, 0}};
    for (auto [off, value] : resets) {
        EXPECT_EQ(port_reg(Gpio::PORT_C, off), value) << "port C +0x" << std::hex << off << " after SWR";
        EXPECT_EQ(gpio.reg(Gpio::PORT_C, off), value);
    }
    EXPECT_EQ(port_reg(Gpio::PORT_A, GIUS), 0xFFFFFFE0u) << "port C's software reset touched port A";
}

// ---------------------------------------------------------------- clock controller

TEST_F(DeviceTest, ClockControllerResetValues)
{
    const std::pair<uint32_t, uint32_t> resets[] = {
        {CSCR, 0x17000607}, {MPCTL0, 0x007B1C73}, {MPCTL1, 0x00008000}, {SPCTL0, 0x807F2065},
        {SPCTL1, 0x00008000}, {OSC26MCTL, 0x00003F00}, {PCDR0, 0}, {PCDR1, 0},
        {PCCR0, 0}, {PCCR1, 0}, {CCSR, 0}, {WKGDCTL, 0}};
    for (auto [off, value] : resets) {
        EXPECT_EQ(rd(crm_at + off), value) << "clock register +0x" << std::hex << off << " at power-on";
        EXPECT_EQ(crm.reg(off), value);
    }
    wr(crm_at + PCCR0, 0x803);
    EXPECT_EQ(crm.pccr0(), 0x803u) << "module clock enables are not stored";
}

TEST_F(DeviceTest, PllRestartDropsLockFor100Microseconds)
{
    struct Pll {
        const char* what;
        uint32_t restart_bit, ctl1, other_ctl1;
    };
    const Pll plls[] = {{"MPLL", 1u << 21, MPCTL1, SPCTL1}, {"SPLL", 1u << 22, SPCTL1, MPCTL1}};
    for (const Pll& p : plls) {
        SCOPED_TRACE(p.what);
        Time t0 = m.now();
        wr(crm_at + CSCR, 0x17000607 | p.restart_bit);
        EXPECT_EQ(rd(crm_at + CSCR), 0x17000607u) << "the restart bit did not clear itself";
        EXPECT_EQ(rd(crm_at + p.ctl1) & 0x8000, 0u) << "the PLL still shows lock right after a restart";
        EXPECT_EQ(rd(crm_at + p.other_ctl1) & 0x8000, 0x8000u) << "restarting one PLL unlocked the other";
        advance_to(t0 + 100 * kMicrosecond - 1);
        EXPECT_EQ(crm.reg(p.ctl1) & 0x8000, 0u) << "the PLL locked before 100 us";
        advance_to(t0 + 100 * kMicrosecond);
        EXPECT_EQ(crm.reg(p.ctl1) & 0x8000, 0x8000u) << "the PLL did not lock again after 100 us";
    }

    // The lock bit is the PLL's: writes do not move it, the other bits store.
    wr(crm_at + MPCTL1, 0x1234);
    EXPECT_EQ(rd(crm_at + MPCTL1), 0x9234u) << "writing MPCTL1 cleared the lock bit";
    Time t0 = m.now();
    wr(crm_at + CSCR, 0x17200607);
    wr(crm_at + MPCTL1, 0xFFFF);
    EXPECT_EQ(rd(crm_at + MPCTL1), 0x7FFFu) << "writing MPCTL1 set the lock bit of an unlocked PLL";
    advance_to(t0 + 50 * kMicrosecond);
    Time t1 = m.now();
    wr(crm_at + CSCR, 0x17200607);  // restarting again starts the wait over
    advance_to(t0 + 100 * kMicrosecond);
    EXPECT_FALSE(crm.mpll_locked()) << "a second restart did not restart the lock time";
    advance_to(t1 + 100 * kMicrosecond);
    EXPECT_TRUE(crm.mpll_locked());
}

// Switching the clocks over to the PLLs (any change of CSCR but a restart)
// must wait until both have locked again after their restart.
TEST_F(DeviceTest, ClockSetUpWaitsForThePllsToLock)
{
    struct Step {
        uint32_t cscr;
        Time wait_after;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        const char* report;  // nullptr: none
    };
    const uint32_t restart_both = 0x17630617, set_up = 0x17030617, switched = 0x17030613;
    const std::vector<Case> cases = {
        {"restart, wait for lock, switch over", {{restart_both, 100 * kMicrosecond}, {switched, 0}}, nullptr},
        {"switched over right after the restart", {{restart_both, 0}, {switched, 0}},
         "the MPLL and the SPLL have not locked"},
        {"switched over before the SPLL locked",
         {{0x17230617, 100 * kMicrosecond}, {0x17430617, 99 * kMicrosecond}, {switched, 0}},
         "the SPLL has not locked"},
        {"restarted again while relocking", {{restart_both, 40 * kMicrosecond}, {restart_both, 0}}, nullptr},
        {"the 32 kHz set-up's single restart", {{0x17200607, 0}}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        crm.reset();
        wr(crm_at + CSCR, set_up);
        m.clear_reports();
        for (const Step& st : c.steps) {
            wr(crm_at + CSCR, st.cscr);
            advance_to(m.now() + st.wait_after);
        }
        if (c.report)
            EXPECT_TRUE(reported("CRM:", c.report)) << "no report of the early switch-over";
        else
            EXPECT_TRUE(m.reports().empty()) << m.reports().front();
    }
}

// ---------------------------------------------------------------- module clocks

TEST_F(DeviceTest, TimerStandsStillWithoutItsClock)
{
    gpt2.clock_gate.connect(crm, PCCR1, 1u << 26);
    wr(crm_at + PCCR1, 1u << 26);
    Time t0 = start_tick();
    advance_to(t0 + 1500 * kMicrosecond);
    ASSERT_EQ(gpt2.compare_events(), 1u);
    wr(gpt2_at + TSTAT, 1);
    const uint32_t held = gpt2.counter();

    m.clear_reports();
    wr(crm_at + PCCR1, 0);
    advance_to(m.now() + 5 * kMillisecond);
    EXPECT_EQ(gpt2.counter(), held) << "the counter ran without its clock";
    EXPECT_EQ(gpt2.compare_events(), 1u) << "a compare came without the clock";
    EXPECT_EQ(rd(gpt2_at + TCN), 0u) << "the timer answered the bus without its clock";
    wr(gpt2_at + TCMP, 1);
    EXPECT_TRUE(reported("GPT2:", "read at +0x010 while the module clock (PCCR1 bit 26) is off"));
    EXPECT_TRUE(reported("GPT2:", "write at +0x008 while the module clock (PCCR1 bit 26) is off"));

    // With the clock back the count goes on from where it stood.
    wr(crm_at + PCCR1, 1u << 26);
    Time back = m.now();
    EXPECT_EQ(rd(gpt2_at + TCMP), kTickCompare) << "a write without the clock reached the timer";
    advance_to(back + (kMillisecond - 500 * kMicrosecond) - 1000);
    EXPECT_EQ(gpt2.compare_events(), 1u);
    advance_to(back + kMillisecond - 500 * kMicrosecond + 1000);
    EXPECT_EQ(gpt2.compare_events(), 2u) << "the period did not go on from the held count";
}

TEST_F(DeviceTest, UartStandsStillWithoutItsClock)
{
    sim::Uart uart{m, aitc, 20, "UART1"};
    const uint32_t at = fresh_window();
    m.attach(at, 0x1000, &uart);
    uart.clock_gate.connect(crm, PCCR0, 1u << 0);
    wr(crm_at + PCCR0, 1u << 0);
    wr(at + sim::Uart::UFCR, 0x0A81);
    wr(at + sim::Uart::UBIR, 1108);
    wr(at + sim::Uart::UBMR, 9999);
    wr(at + sim::Uart::UCR2, 0x6027);
    wr(at + sim::Uart::UCR1, sim::Uart::UCR1_UARTEN);
    const Time c = uart.char_time(uart.rate());

    wr(at + sim::Uart::UTXD, 'A');
    advance_to(m.now() + c / 2);
    m.clear_reports();
    wr(crm_at + PCCR0, 0);
    uart.receive("B");
    advance_to(m.now() + 10 * c);
    EXPECT_EQ(uart.sent_text(), "") << "a byte went out without the clock";
    EXPECT_EQ(rd(at + sim::Uart::USR2), 0u) << "the UART answered the bus without its clock";
    wr(at + sim::Uart::UTXD, 'X');
    EXPECT_TRUE(reported("UART1:", "read at +0x098 while the module clock (PCCR0 bit 0) is off"));
    EXPECT_TRUE(reported("UART1:", "write at +0x040 while the module clock (PCCR0 bit 0) is off"));

    // The held byte goes out whole once the clock is back; what came on the
    // line meanwhile is lost; what comes now is received.
    Time back = m.now();  // the moment the write reaches the clock controller
    wr(crm_at + PCCR0, 1u << 0);
    advance_to(back + c);
    EXPECT_EQ(uart.sent_text(), "A");
    EXPECT_EQ(uart.sent.back().time, back + c) << "the held byte did not start over with the clock";
    EXPECT_EQ(rd(at + sim::Uart::USR2) & sim::Uart::USR2_RDR, 0u) << "a byte received without the clock";
    uart.receive("C");
    advance_to(m.now() + c);
    EXPECT_EQ(rd(at + sim::Uart::URXD) & 0xFF, uint32_t('C'));
}

// ---------------------------------------------------------------- LCD controller

class LcdcTest : public DeviceTest {
protected:
    static constexpr uint32_t kSignals = 0xFFFFFFE0, kClocks = (1u << 26) | (1u << 18);

    void power(bool on)
    {
        set_port_reg(Gpio::PORT_B, OCR1, port_reg(Gpio::PORT_B, OCR1) | 3u << 24);
        set_port_reg(Gpio::PORT_B, DR, on ? 0 : 1u << 12);
        set_port_reg(Gpio::PORT_B, DDIR, 1u << 12);
        set_port_reg(Gpio::PORT_B, GIUS, 1u << 12);
    }
    void signals_low() { set_port_reg(Gpio::PORT_A, GIUS, port_reg(Gpio::PORT_A, GIUS) | kSignals); }
    void signals_to_controller()
    {
        set_port_reg(Gpio::PORT_A, GPR, port_reg(Gpio::PORT_A, GPR) & ~kSignals);
        set_port_reg(Gpio::PORT_A, GIUS, port_reg(Gpio::PORT_A, GIUS) & ~kSignals);
    }
    void clocks(bool on) { wr(crm_at + PCCR0, on ? kClocks : 0); }
};

TEST_F(LcdcTest, ReportsSignalsDrivenIntoAnUnpoweredPanel)
{
    struct Case {
        const char* what;
        std::function<void(uint32_t lcdc_at)> steps;
        const char* report;  // nullptr: none
    };
    auto started = [this] {
        signals_low();
        power(true);
        signals_to_controller();
        clocks(true);
    };
    const std::vector<Case> cases = {
        {"power, then the signals, then the clocks; timing changed while running",
         [&](uint32_t at) {
             started();
             wr(at + sim::Lcdc::LHCR, 0xBC002725);
             wr(at + sim::Lcdc::LVCR, 0x0C000D1D);
         },
         nullptr},
        {"signals handed over before the power",
         [&](uint32_t) {
             signals_low();
             signals_to_controller();
         },
         "handed to the controller while the panel has no power"},
        {"clocks started on signals the controller holds from reset, no power",
         [&](uint32_t) { clocks(true); }, "clocks switched on while the controller holds"},
        {"power switched off under running signals",
         [&](uint32_t) {
             started();
             power(false);
         },
         "panel power switched off (PB12 high) while the controller drives"},
        {"signals taken back before the power goes",
         [&](uint32_t) {
             started();
             signals_low();
             power(false);
         },
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gpio.reset();
        crm.reset();
        m.clear_reports();
        sim::Lcdc lcdc{m, crm, gpio};
        const uint32_t at = fresh_window();
        m.attach(at, sim::Lcdc::kSize, &lcdc);
        gpio.on_change = [&](int port, int pin, int) {
            if (port == Gpio::PORT_B && pin == 12)
                lcdc.panel_pins_changed();
        };
        gpio.on_use_change = [&](int port) {
            if (port == Gpio::PORT_A)
                lcdc.panel_pins_changed();
        };
        c.steps(at);
        if (c.report)
            EXPECT_TRUE(reported("LCDC:", c.report)) << "not reported";
        else
            EXPECT_TRUE(m.reports().empty()) << m.reports().front();
        gpio.on_change = nullptr;
        gpio.on_use_change = nullptr;
    }
}

TEST_F(LcdcTest, RaisesFramesOnlyWhileItsClocksRun)
{
    sim::Lcdc lcdc{m, crm, gpio};
    const uint32_t at = fresh_window();
    m.attach(at, sim::Lcdc::kSize, &lcdc);
    const Time frame = lcdc.frame_time();
    advance_to(m.now() + 3 * frame);
    EXPECT_EQ(lcdc.frames(), 0u) << "frames without the clocks";
    EXPECT_EQ(rd(at + sim::Lcdc::LISR), 0u) << "a frame flag without the clocks";

    const Time t0 = m.now();
    clocks(true);
    advance_to(t0 + frame - 1);
    EXPECT_EQ(lcdc.frames(), 0u) << "the first frame ended before a frame's time";
    advance_to(t0 + frame);
    EXPECT_EQ(lcdc.frames(), 1u) << "no frame one frame's time after the clocks started";
    EXPECT_EQ(rd(at + sim::Lcdc::LISR) & sim::Lcdc::LISR_EOF, sim::Lcdc::LISR_EOF);

    clocks(false);
    advance_to(m.now() + 3 * frame);
    EXPECT_EQ(lcdc.frames(), 1u) << "frames after the clocks stopped";
    EXPECT_EQ(rd(at + sim::Lcdc::LISR), 0u) << "a frame flag after the clocks stopped";
}

// ---------------------------------------------------------------- SDRAM

// The SDRAM's set-up as the controller's commands and the accesses that
// carry them out; the SDRAM's window stands in for 0xC0000000.
TEST_F(DeviceTest, SdramWorksOnlyAfterItsSetUpInOrder)
{
    struct Step {
        uint32_t sdctl0;
        uint32_t at;      // offset of the accesses
        unsigned reads;
    };
    const Step precharge{0x92120300, 0x200000, 1}, refresh{0xA2120300, 0, 8}, mode{0xB2120300, 0x119800, 1},
        normal{0x8212F339, 0, 0};
    struct Case {
        const char* what;
        std::vector<Step> steps;
        bool ready;
        const char* report;  // nullptr: none
    };
    const std::vector<Case> cases = {
        {"the reset code's set-up", {precharge, refresh, mode, normal}, true, nullptr},
        {"seven refresh cycles", {precharge, {0xA2120300, 0, 7}, mode, normal}, false,
         "mode register loaded after 7 auto-refresh cycles"},
        {"precharge of one bank", {{0x92120300, 0, 1}, refresh, mode, normal}, false,
         "precharges one bank only (A10 low)"},
        {"normal mode first", {normal}, false, "normal mode set before the SDRAM was set up"},
        {"a read before the set-up", {{0x8212F339, 0x100, 1}}, false, "read at "},
        {"CAS latency 2 on a mode of 3", {precharge, refresh, mode, {0x8212F239, 0, 0}}, true,
         "normal mode with CAS latency 2 on an SDRAM whose mode says 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const uint32_t ctl_at = fresh_window(), sdram_at = fresh_window();
        sim::SdramController sdramc{m, sdram_at};
        m.attach(ctl_at, sim::SdramController::kSize, &sdramc);
        m.attach(sdram_at, 0x400000, &sdramc.port);
        for (uint32_t i = 0; i < 0x3FF; ++i)
            fresh_window();  // the SDRAM window's 4 MB
        m.clear_reports();
        for (const Step& st : c.steps) {
            wr(ctl_at + sim::SdramController::SDCTL0, st.sdctl0);
            for (unsigned i = 0; i < st.reads; ++i)
                rd(sdram_at + st.at);
        }
        EXPECT_EQ(sdramc.ready(), c.ready);
        if (c.report)
            EXPECT_TRUE(reported("SDRAM", c.report)) << "not reported";
        else
            EXPECT_TRUE(m.reports().empty()) << m.reports().front();
    }
}

// ---------------------------------------------------------------- register files, reports

TEST_F(DeviceTest, RegisterFilesStoreTheirWrites)
{
    wr(weim_at + 0x00, 0x00008E44);
    wr(weim_at + 0x04, 0x00000D01);
    wr(weim_at + 0x30, 0x5);
    wr(xbar_at + 0x410, 0x3);
    EXPECT_EQ(rd(weim_at + 0x00), 0x00008E44u) << "WEIM CS0U did not keep its value";
    EXPECT_EQ(rd(weim_at + 0x04), 0x00000D01u) << "WEIM CS0L did not keep its value";
    EXPECT_EQ(weim.reg(0x30), 0x5u);
    EXPECT_EQ(rd(xbar_at + 0x410), 0x3u);
    EXPECT_TRUE(m.reports().empty()) << "known registers were reported: " << m.reports().front();
    weim.reset();
    EXPECT_EQ(weim.reg(0x00), 0u);
}

struct BadAccess {
    const char* model;
    uint32_t off;
    bool write;
    unsigned size;
    const char* expect;  // text the report must contain besides the model
};

TEST_F(DeviceTest, UnknownOffsetsAreReportedWithModelName)
{
    const BadAccess cases[] = {
        {"AITC", 0x068, false, 4, "+0x068"},
        {"AITC", 0x040, true, 4, "read-only register at +0x040"},
        {"CRM", 0x02C, false, 4, "+0x02C"},
        {"CRM", 0x820, true, 4, "+0x820"},
        {"GPIO", 0x144, false, 4, "+0x144"},
        {"GPIO", 0x604, true, 4, "+0x604"},
        {"GPIO", 0x11C, true, 2, "16-bit write at +0x11C"},
        {"GPT2", 0x018, true, 4, "+0x018"},
        {"GPT2", 0x010, true, 4, "read-only register at +0x010"},
        {"WEIM", 0x034, false, 4, "+0x034"},
        {"WEIM", 0x001, false, 1, "8-bit read at +0x001"},
    };
    for (const BadAccess& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " " + c.expect);
        m.clear_reports();
        uint32_t addr = window_of(c.model) + c.off;
        if (c.write)
            m.write(addr, 0xA5A5A5A5u & (c.size == 4 ? ~0u : (1u << (8 * c.size)) - 1), c.size);
        else
            EXPECT_EQ(m.read(addr, c.size), 0u) << "an undecoded read returned data";
        EXPECT_TRUE(reported(std::string(c.model) + ":", c.expect))
            << "no report naming the model and " << c.expect
            << (m.reports().empty() ? std::string(" (no reports)") : ", got: " + m.reports().front());
        size_t n = m.reports().size();
        if (c.write)
            m.write(addr, 0, c.size);
        else
            m.read(addr, c.size);
        EXPECT_EQ(m.reports().size(), n) << "the same bad access was reported twice";
    }
    // The dropped writes changed nothing.
    EXPECT_EQ(port_reg(Gpio::PORT_B, DR), 0u) << "a 16-bit write to PB's DR was not dropped";
    EXPECT_EQ(rd(gpt2_at + TCN), 0u);
}

TEST_F(DeviceTest, UnmodelledClockSourceIsReportedOnce)
{
    wr(gpt1_at + TCTL, 0x09);  // enabled, clock source 4 (32 kHz)
    wr(gpt1_at + TCTL, 0x09);
    int n = 0;
    for (const std::string& r : m.reports())
        n += r.find("GPT1:") != std::string::npos && r.find("clock source 4") != std::string::npos;
    EXPECT_EQ(n, 1) << "the 32 kHz clock source should be reported once";
    Time t0 = m.now();
    advance_to(t0 + kMillisecond);
    EXPECT_EQ(gpt1.counter(), 16625u) << "an unmodelled clock source should count at PERCLK1";
}

}  // namespace
