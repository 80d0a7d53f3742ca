// Animation scripts: built line by line, replayed on their timers in
// virtual time, positioned, listed, deleted; the text-flash script.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/KM_animation.h"
#include "app/KM_macros.h"
#include "support/host.h"

namespace {

using fwtest::command;
using fwtest::fb;
using fwtest::visible;
using sim::kMillisecond;

std::string s_var(int n)
{
    std::string s;
    fwtest::on_firmware([&] { s = getMacroString2(n); });
    return s;
}

void build_ab()
{
    for (const char* line : {"ani 0 mpush 0 \"A\"", "ani 0 y 500", "ani 0 mpush 0 \"B\"", "ani 0 y 500"})
        EXPECT_EQ(visible(command(line)), ">\\r") << line;
}

TEST(Animation, TwoFramesAlternateEvery500ms)
{
    sim::Board& b = fwtest::boot_to_prompt();
    EXPECT_EQ(visible(command("ani?")), "Free: 2048\\r>\\r");
    build_ab();
    EXPECT_EQ(visible(command("ani?")), "Free: 2012\\r>\\r");
    EXPECT_EQ(visible(command("S 112233 445566")), ">\\r");
    std::string colours = command("S");
    EXPECT_EQ(visible(command("anie 0")), ">\\r");
    const char* want[] = {"A", "AB", "ABA", "ABAB", "ABABA"};
    b.machine.run_for(250 * kMillisecond);
    for (const char* w : want) {
        EXPECT_EQ(s_var(0), w) << "frames shown by " << b.machine.now() / kMillisecond << " ms";
        b.machine.run_for(500 * kMillisecond);
    }
    EXPECT_EQ(command("S"), colours) << "the host's drawing state must survive the script's passes";
    std::string list = command("ani? 0");
    EXPECT_NE(list.find("ani 0 mpush 0 \"A\"\rani 0 y 500\rani 0 mpush 0 \"B\"\rani 0 y 500\r>\r"), std::string::npos)
        << "the listing replays as commands: " << visible(list);
}

TEST(Animation, LongDelaysAreScheduled)
{
    sim::Board& b = fwtest::boot_to_prompt();
    for (const char* line : {"ani 0 mpush 0 \"A\"", "ani 0 y 40000"})
        ASSERT_EQ(visible(command(line)), ">\\r") << line;
    ASSERT_EQ(visible(command("anie 0")), ">\\r");
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(s_var(0), "A");
    b.machine.run_for(39800 * kMillisecond);
    EXPECT_EQ(s_var(0), "A") << "a delay of 40 s ran out early";
    b.machine.run_for(300 * kMillisecond);
    EXPECT_EQ(s_var(0), "AA") << "a delay of 40 s never ran out";
}

TEST(Animation, PositioningShowsOneFrame)
{
    sim::Board& b = fwtest::boot_to_prompt();
    build_ab();
    EXPECT_EQ(visible(command("anie 0")), ">\\r");
    b.machine.run_for(100 * kMillisecond);
    fwtest::on_firmware([] { setMacroString2("", 0); });
    EXPECT_EQ(visible(command("anid 0 1")), ">\\r");
    b.machine.run_for(2000 * kMillisecond);
    EXPECT_EQ(s_var(0), "B") << "frame 1 must be shown once and the script stop";
    std::string list = command("ani? 0");
    EXPECT_EQ(list.rfind("// ani:0 Stopped Size: 36\r", 0), 0u) << visible(list);
    EXPECT_EQ(visible(command("anid 0 0")), ">\\r");
    b.machine.run_for(1000 * kMillisecond);
    EXPECT_EQ(s_var(0), "BA") << "frame 0";
    EXPECT_EQ(visible(command("anid 0")), ">\\r");
    list = command("ani? 0");
    EXPECT_EQ(list.rfind("// ani:0 count: 0 Size: 36\r", 0), 0u) << "one number leaves the script idle: " << visible(list);
    EXPECT_EQ(visible(command("anid 0 7")), ">\\r");
    list = command("ani? 0");
    EXPECT_EQ(list.rfind("// ani:0 count: 0 Size: 36\r", 0), 0u) << "a missing frame leaves it idle: " << visible(list);
    EXPECT_EQ(visible(command("anid 10 0")), "!\\r");
    EXPECT_EQ(visible(command("anid 5 0")), ">\\r") << "a free slot is left alone";
}

TEST(Animation, FreshScriptsPositionedRunAtOnce)
{
    sim::Board& b = fwtest::boot_to_prompt();
    build_ab();
    EXPECT_EQ(visible(command("tfd 0 1")), ">\\r");
    b.machine.run_for(1000 * kMillisecond);
    EXPECT_EQ(s_var(0), "B") << "a script positioned at a frame is due at once, even before it was enabled";
}

TEST(Animation, EditingRulesAndRefusals)
{
    sim::Board& b = fwtest::boot_to_prompt();
    struct Case {
        const char* line;
        const char* reply;
    };
    const Case cases[] = {
        {"ani 0 mpush 0 \"A\"", ">\r"},
        {"anie 0", ":animation must contain a yield\r!\r"},
        {"tfe 0", ">\r"},
        {"anie 12", "!\r"},
        {"anie 4", ">\r"},
        {"anie", "!\r"},
        {"ani 1 mpush 1 \"Z\"", ">\r"},
        {"ani 1 y 100 // a comment", ">\r"},
        {"ani 0 y 100", "!\r"},
        {"ani 10 y 100", "!\r"},
        {"ani x y 100", "!\r"},
        {"ani+ 1 mpush 1 \"Y\"", ">\r"},
        {"ani 2 anix 1", ">\r"},
        {"ani 2 anic", ">\r"},
        {"ani 2 ani 3 mpush 3 \"Q\"", ">\r"},
        {"ani 2 y s", ">\r"},
        {"anid 2 0", ">\r"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(visible(command(c.line)), visible(c.reply)) << c.line;
    b.machine.run_for(50 * kMillisecond);
    std::string list = command("ani? 1");
    EXPECT_EQ(visible(list), visible("// ani:1 Stopped Size: 30\rani 1 mpush 1 \"Z\"\rani 1 y 100\r"
                                     "ani 1 mpush 1 \"Y\"\r>\r"))
        << "a script line must not delete, clear or add to the store";
    EXPECT_EQ(visible(command("ani? 3")), ">\\r");
    EXPECT_EQ(visible(command("ani? 12")), "!\\r");
    EXPECT_EQ(visible(command("anix 0")), ">\\r");
    list = command("ani?x");
    EXPECT_EQ(list.find("ani:0"), std::string::npos) << visible(list);
    EXPECT_NE(list.find("// ani:1 Stopped Size: 30\r"), std::string::npos) << "scripts behind move down: " << visible(list);
    EXPECT_NE(list.find("ani 2 y s\r"), std::string::npos) << visible(list);
    EXPECT_EQ(visible(command("ani 1 mpush 1 \"W\"")), "!\\r") << "script 1 is no longer the last";
    EXPECT_EQ(visible(command("ani 2 mpush 2 \"W\"")), ">\\r");
    EXPECT_EQ(visible(command("z")), ">\\r");
    EXPECT_EQ(visible(command("ani?")), "Free: 2048\\r>\\r") << "the screen clear frees every script";
    EXPECT_EQ(visible(command("ani 4 x\x01y")), ">\\r");
    EXPECT_EQ(visible(command("ani 4 \x02")), ">\\r");
    EXPECT_EQ(visible(command("ani? 4")), visible("// ani:4 Stopped Size: 6\rani 4 x\\x01y\r>\r"))
        << "control characters are listed escaped; a line without printable characters is not listed";
    EXPECT_EQ(visible(command("tfc")), ">\\r");
    EXPECT_EQ(visible(command("ani?")), "Free: 2048\\r>\\r");
}

TEST(Animation, AScriptThatDoesNotFitIsLost)
{
    fwtest::boot_to_prompt();
    EXPECT_EQ(visible(command("ani 0 " + std::string(100, 'a'))), ">\\r");
    std::string line = "ani 1 " + std::string(120, 'b');
    int added = 0;
    std::string reply;
    while ((reply = command(line)) == ">\r")
        ++added;
    EXPECT_EQ(added, (2048 - 101) / 121);
    EXPECT_EQ(visible(reply), visible(":animation won't fit in storage\r!\r"));
    EXPECT_EQ(visible(command("ani?")), "Free: 1947\\r>\\r") << "the script that did not fit must be deleted whole";
}

int inked(sim::Board& b)
{
    int n = 0;
    for (int y = 100; y < 140; ++y)
        for (int x = 100; x < 200; ++x)
            n += fb(b, x, y) != 0xFFFF;
    return n;
}

TEST(Animation, TextFlashShowsAndErasesEachPeriod)
{
    sim::Board& b = fwtest::boot_to_prompt();
    EXPECT_EQ(visible(command("sc 100 100")), ">\\r");
    EXPECT_EQ(visible(command("tf 3 200 \"HI\"")), ">\\r");
    std::string list = command("ani? 3");
    for (const char* line : {"ani 3 S 000000 ffffff\r", "ani 3 o 0 0\r", "ani 3 sc 100 100\r", "ani 3 tm N\r",
                             "ani 3 T \"HI\"\r", "ani 3 y 200\r"})
        EXPECT_NE(list.find(line), std::string::npos) << "the text-flash script lacks " << visible(line) << ": "
                                                      << visible(list);
    EXPECT_EQ(inked(b), 0);
    EXPECT_EQ(visible(command("tfe 3")), ">\\r");
    b.machine.run_for(100 * kMillisecond);
    EXPECT_GT(inked(b), 10) << "the text must be shown in the first period";
    b.machine.run_for(200 * kMillisecond);
    EXPECT_EQ(inked(b), 0) << "the text must be erased in the second period";
    b.machine.run_for(200 * kMillisecond);
    EXPECT_GT(inked(b), 10) << "and shown again";
    EXPECT_EQ(visible(command("tf 3")), "!\\r") << "no text";
    EXPECT_EQ(visible(command("tf 11 100 \"x\"")), "!\\r");
    EXPECT_EQ(visible(command("tf 4 \"" + std::string(120, 'x') + "\"")), "!\\r") << "a line over 120 characters";
}

}  // namespace
