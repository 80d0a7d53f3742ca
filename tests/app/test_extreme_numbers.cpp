// Every command family with the extreme numbers a host can send
// (support/number_table.h): each line must be answered with a prompt, and
// the board must still answer "vers" afterwards; under the sanitizers a
// signed overflow on the way stops the test program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/host.h"
#include "support/number_table.h"

namespace {

using fwtest::visible;

bool ends_with_prompt(const std::string& reply)
{
    for (const char* p : {">\r", "!\r", "#\r"})
        if (reply.size() >= 2 && reply.compare(reply.size() - 2, 2, p) == 0)
            return true;
    return false;
}

fwtest::BootOptions board_setup()
{
    fwtest::BootOptions o;
    const std::string dir = fwtest::temp_dir();
    o.flash_image = fwtest::make_number_fixtures(dir);
    o.sd = dir + "/card.img";
    return o;
}

class ExtremeNumbers : public testing::TestWithParam<fwtest::NumberFamily> {};

TEST_P(ExtremeNumbers, EveryLineIsAnsweredAndTheBoardGoesOn)
{
    const fwtest::NumberFamily& family = GetParam();
    sim::Board& b = fwtest::boot_to_prompt(board_setup());
    std::vector<std::string> forms = family.forms;
    forms.insert(forms.end(), family.varying.begin(), family.varying.end());
    for (const std::string& form : forms) {
        for (const fwtest::NumberCase& c : fwtest::number_cases(family, form)) {
            for (size_t i = 0; i < c.lines.size(); ++i) {
                const std::string reply = fwtest::command(c.lines[i], 30 * sim::kSecond);
                if (i < c.setup)
                    ASSERT_TRUE(ends_with_prompt(reply)) << "no prompt for the set-up line \"" << c.lines[i] << "\"";
                else
                    EXPECT_TRUE(ends_with_prompt(reply))
                        << "\"" << c.lines[i] << "\" got no prompt: " << visible(reply);
            }
        }
        // Whatever a line left running has had its time; then the board
        // answers as before.
        b.machine.run_for(200 * sim::kMillisecond);
        const size_t from = b.uart1.sent.size();
        fwtest::send(b.uart1, "vers\r");
        const std::string got = fwtest::until_text(b.uart1, from, "VELM5-PLUS", 10 * sim::kSecond);
        ASSERT_NE(got.find("VELM5-PLUS"), std::string::npos)
            << "the board no longer answers \"vers\" after the lines of \"" << form << "\": " << visible(got);
        fwtest::until_prompt(b.uart1, from);
    }
}

// Where a value near 2^31 wrapped round on the way, the board answered as
// if the host had sent another value (or went on drawing for hours); now
// the reply is the one the value itself gets, and nothing is drawn.
TEST(ExtremeNumbers, FarOffValuesGetTheirOwnReplies)
{
    sim::Board& b = fwtest::boot_to_prompt(board_setup());
    struct Case {
        const char* origin;
        const char* line;
        const char* reply;
    };
    const Case cases[] = {
        // Placed past the coordinates' room once the origin is added.
        {"o 100 100", "agif 0 4 2147483647 10 1", "!\r"},
        // Objects that must lie on the screen say that they do not.
        {"o 0 0", "sl 130 5 2147483647 300 6 0 1 0 0 100 0", "bad background bitmap size or location\r!\r"},
        {"o 100 100", "ld 1 2147483600 100 419 199 0 0 0 00F 100 F00", ":area outside the screen\r!\r"},
        // A knob's offset is no fit however large.
        {"o 0 0", "sl 130 5 100 300 6 2147483647 1 0 0 100 0", "bad slider size or offset\r!\r"},
        // A strip that ends past 2^31 does not fit the bitmap.
        {"o 0 0", "xio 1 10 10 0 5 2147483647", "!\r"},
        {"o 0 0", "xio 1 10 10 1 5 2147483647", "!\r"},
        // A meter's angle whose 360 - a is no 32-bit number, and a band
        // beyond the coordinates' room.
        {"o 0 0", "md 2 7 20 20 0 0 100 50 -2147483648 180 60 60 0 -6 50 0 0 6", "!\r"},
        {"o 0 0", "mdb 3 7 200 20 0 0 100 50 0 180 20 80 1000000 3 F00 0F0 60 60 0 -6 50 0 0 6", "!\r"},
    };
    for (const Case& c : cases) {
        fwtest::clear_screen();
        ASSERT_EQ(fwtest::command(c.origin), ">\r") << c.origin;
        EXPECT_EQ(visible(fwtest::command(c.line)), visible(c.reply))
            << "\"" << c.line << "\" after \"" << c.origin << "\"";
        // A pass of the main loop for what runs in the background.
        ASSERT_EQ(fwtest::command("w 0"), ">\r");
        EXPECT_TRUE(fwtest::untouched_outside(b, 0, 0, -1, -1)) << "\"" << c.line << "\" drew";
    }
}

INSTANTIATE_TEST_SUITE_P(Families, ExtremeNumbers, testing::ValuesIn(fwtest::number_families()),
                         [](const testing::TestParamInfo<fwtest::NumberFamily>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
