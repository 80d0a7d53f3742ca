// The module clock enables as the board's chips take them: a module whose
// clock the firmware has switched off (here with "*W" on the clock
// controller's PCCR0 or PCCR1, as a firmware that leaves its enable out)
// stops working, and its model says so when the firmware uses it.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

#include "support/host.h"
#include "support/shell.h"

namespace {

using fwtest::visible;

constexpr uint32_t kPccr0 = 0x10027020, kPccr1 = 0x10027024;

enum class Reply { Comes, Never, Either };

struct GateCase {
    const char* name;
    uint32_t reg;      // PCCR0 or PCCR1
    uint32_t clear;    // the enables switched off
    bool card;         // a card in the slot, mounted at start-up
    const char* line;  // what the host sends then
    const char* model; // the report that must come: model and gate
    const char* gate;
    Reply reply;
    bool tick_stops;   // the 1 ms tick (GPT2) stands still
};

const GateCase kCases[] = {
    {"every_PCCR0_clock", kPccr0, 0xFFFFFFFF, false, "vers", "UART1:", "PCCR0 bit 0", Reply::Never, false},
    {"UART2", kPccr0, 1u << 1, false, "aout \"x\"", "UART2:", "PCCR0 bit 1", Reply::Either, false},
    {"SDHC1", kPccr0, 1u << 9, true, "*getConfigAsFile", "SDHC1:", "PCCR0 bit 9", Reply::Either, false},
    {"every_PCCR1_clock", kPccr1, 0xFFFFFFFF, false, "beepw 50", "GPT1:", "PCCR1 bit 25", Reply::Never, true},
    {"GPT2", kPccr1, 1u << 26, false, "", "GPT2:", "PCCR1 bit 26", Reply::Never, true},
    {"PWM", kPccr1, 1u << 28, false, "bv 100", "PWM:", "PCCR1 bit 28", Reply::Either, false},
    {"WDOG", kPccr1, 1u << 24, false, "*RESET", "WDOG:", "PCCR1 bit 24", Reply::Either, false},
};

std::string hex(uint32_t v)
{
    char b[16];
    std::snprintf(b, sizeof b, "%08X", static_cast<unsigned>(v));
    return b;
}

bool reported(sim::Board& b, const std::string& model, const std::string& gate)
{
    for (const std::string& r : b.machine.reports())
        if (r.rfind(model, 0) == 0 && r.find(gate) != std::string::npos)
            return true;
    return false;
}

void PrintTo(const GateCase& c, std::ostream* os)
{
    *os << c.name;
}

class ClockGates : public testing::TestWithParam<GateCase> {};

TEST_P(ClockGates, ModuleWithoutItsClockStopsAndIsReported)
{
    const GateCase& c = GetParam();
    fwtest::BootOptions o;
    if (c.card) {
        o.sd = fwtest::temp_dir() + "/card.img";
        fwtest::make_card(o.sd);
    }
    sim::Board& b = fwtest::boot_to_prompt(o);
    ASSERT_TRUE(b.machine.reports().empty()) << "a report before the test began: " << b.machine.reports().front();
    const uint32_t now = c.reg == kPccr0 ? b.clock.pccr0() : b.clock.pccr1();
    ASSERT_NE(now & c.clear, 0u) << "the firmware's start-up left this clock off";

    fwtest::send(b.uart1, "*W " + hex(c.reg) + " " + hex(now & ~c.clear) + "\r");
    b.machine.run_for(100 * sim::kMillisecond);
    const uint64_t ticks = b.gpt2.compare_events();
    const size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, std::string(c.line) + "\r");
    b.machine.run_for(2 * sim::kSecond);
    const std::string reply = b.uart1.sent_text(from);

    EXPECT_TRUE(reported(b, c.model, c.gate)) << "no report from " << c.model << " about its clock (" << c.gate
                                              << ") after \"" << c.line << "\"";
    if (c.reply == Reply::Never)
        EXPECT_EQ(visible(reply), "") << "\"" << c.line << "\" was answered with the clock off";
    EXPECT_EQ(b.gpt2.compare_events() == ticks, c.tick_stops)
        << "the 1 ms tick " << (c.tick_stops ? "went on" : "stopped");
    EXPECT_EQ(b.machine.board_resets(), 0u) << "the board was reset";
}

INSTANTIATE_TEST_SUITE_P(Modules, ClockGates, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<GateCase>& p) { return std::string(p.param.name); });

}  // namespace
