// Each build starts on its board without a word from the device models: a
// report means the start-up does something the chips would refuse (a
// module used before its clock is on, the LCD signals handed over before
// the panel has power, a register the chip does not have).
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "support/host.h"
#include "support/shell.h"

namespace {

struct StartCase {
    const char* name;
    sim::Straps straps;
    bool card;
};

void PrintTo(const StartCase& c, std::ostream* os)
{
    *os << c.name;
}

class QuietStart : public testing::TestWithParam<StartCase> {};

TEST_P(QuietStart, ModelsReportNothing)
{
    fwtest::BootOptions o;
    o.straps = GetParam().straps;
    if (GetParam().card) {
        o.sd = fwtest::temp_dir() + "/card.img";
        fwtest::make_card(o.sd);
    }
    sim::Board& b = fwtest::boot_to_prompt(o);
    ASSERT_NE(fwtest::command("vers").find("VELM5-PLUS"), std::string::npos) << "the board does not answer vers";
    const std::string all = fwtest::reports(b);
    EXPECT_EQ(all, "") << "the models reported problems while the board started";
}

// Every strap set (the 32 kHz and the 26 MHz clock set-up, both touch
// converters), with and without a card in the slot.
INSTANTIATE_TEST_SUITE_P(Boards, QuietStart,
                         testing::Values(StartCase{"plain_empty_slot", sim::Straps::Plain, false},
                                         StartCase{"E_with_card", sim::Straps::E, true},
                                         StartCase{"N_empty_slot", sim::Straps::N, false},
                                         StartCase{"26_with_card", sim::Straps::Mhz26, true}),
                         [](const testing::TestParamInfo<StartCase>& p) { return std::string(p.param.name); });

}  // namespace
