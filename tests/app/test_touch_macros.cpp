// Touches that start macros at their labels, as a user meets them: a memory
// image with labelled macros in the flash, hotspots and buttons defined and
// bound by the host's commands, a finger on the panel, and what the macros
// left in the string variables and reported read back over the command
// port.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/host.h"
#include "support/image_builder.h"

namespace {

using fwtest::command;
using fwtest::TestMacro;
using fwtest::visible;
using sim::kMillisecond;

const std::vector<TestMacro> kMacros = {
    {1, "sect",
     {"mpush 0 \"A\"", ":x130", "mpush 0 \"P\"", "set s1 \"`Xr` `Yr` `Xa` `Ya`\"", ":r130", "mpush 0 \"R\"",
      "set s2 \"`0`\"", ":default", "mpush 0 \"F\""}},
    // The wanted label wins over a ":default" that stands before it.
    {2, "deflt", {"mpush 0 \"-\"", ":default", "mpush 0 \"D\"", ":x131", "mpush 0 \"X\""}},
    {3, "tog", {":s5_0", "mpush 0 \"0\"", ":s5_1", "mpush 0 \"1\""}},
    {4, "plain", {"mpush 0 \"N\"", ":x130", "mpush 0 \"?\""}},
    // Its preamble goes on until a touch queues a macro.
    {5, "spin", {"set i1 1", ":repeat", ":x1", "mpush 0 \"S\""}},
};

sim::Board& boot_with_macros()
{
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image({}, kMacros);
    return fwtest::boot_to_prompt(o);
}

// A tap: the finger rests on the panel, then lifts; the macros it queued
// run meanwhile.
void tap(int x, int y)
{
    sim::Board& b = sim::Board::get();
    b.finger = {x, y, true};
    b.machine.run_for(150 * kMillisecond);
    b.finger.down = false;
    b.machine.run_for(150 * kMillisecond);
}

// A string variable as "get" answers it, without its quotes and prompt.
std::string s_var(int n)
{
    std::string r = command("get s" + std::to_string(n));
    size_t a = r.find('"'), b = r.rfind('"');
    return a != std::string::npos && b > a ? r.substr(a + 1, b - a - 1) : "(" + visible(r) + ")";
}

void clear_strings()
{
    for (int n = 0; n < 3; ++n)
        ASSERT_EQ(command("set s" + std::to_string(n) + " \"\""), ">\r");
}

TEST(TouchMacros, PressAndReleaseStartAtTheirLabels)
{
    sim::Board& b = boot_with_macros();
    ASSERT_EQ(command("xxy 130 100 100 299 199"), ">\r");
    ASSERT_EQ(command("xm 130 sect:x130 sect:r130"), ">\r");
    clear_strings();
    size_t from = b.uart1.sent.size();
    tap(150, 120);
    EXPECT_EQ(s_var(0), "APAR") << "press and release must run the preamble and then their own sections";
    // The press report gives the point relative to the hotspot; the macro's
    // Xr Yr Xa Ya must agree with it.
    std::string sent;
    for (size_t i = from; i < b.uart1.sent.size(); ++i)
        sent += static_cast<char>(b.uart1.sent[i].byte);
    int dx = -1, dy = -1;
    ASSERT_EQ(std::sscanf(sent.c_str(), "x130 %d %d", &dx, &dy), 2) << visible(sent);
    char want[64];
    std::snprintf(want, sizeof want, "%d %d %d %d", dx, dy, 100 + dx, 100 + dy);
    EXPECT_EQ(s_var(1), want) << "Xr Yr Xa Ya of the last press";

    // "xa" binds a release macro with its label and arguments.
    ASSERT_EQ(command("xa 130 r sect:r130 hello"), ">\r");
    clear_strings();
    tap(150, 120);
    EXPECT_EQ(s_var(0), "APAR");
    EXPECT_EQ(s_var(2), "hello") << "the release macro's arguments";

    // Bound without labels, the macros run their preamble only.
    ASSERT_EQ(command("xm 130 plain plain"), ">\r");
    clear_strings();
    tap(150, 120);
    EXPECT_EQ(s_var(0), "NN") << "a binding without a label kept the label of the binding before";
}

TEST(TouchMacros, DefaultOnlyWhenTheLabelIsMissing)
{
    boot_with_macros();
    ASSERT_EQ(command("x 131 100 100 199 199"), ">\r");
    ASSERT_EQ(command("x 132 300 100 399 199"), ">\r");
    ASSERT_EQ(command("xm 131 deflt:x131"), ">\r");
    ASSERT_EQ(command("xm 132 deflt:x132"), ">\r");
    clear_strings();
    tap(150, 150);
    EXPECT_EQ(s_var(0), "-X") << "the press label exists after :default: its section runs, not :default";
    clear_strings();
    tap(350, 150);
    EXPECT_EQ(s_var(0), "-D") << "a macro without the press label runs its :default section";
}

TEST(TouchMacros, ToggleButtonRunsItsReleaseMacroAtItsState)
{
    sim::Board& b = boot_with_macros();
    ASSERT_EQ(command("bd 5 300 300 1 \"On\" \"Off\""), ">\r");
    ASSERT_EQ(command("xm 5 tog:s5_1 tog:s5_0"), ">\r");
    EXPECT_EQ(visible(command("xm 5 tog:x5")), visible(":xm label should be :s5_1\r!\r"));
    ASSERT_EQ(command("xm 5 tog:s5_1 tog:s5_0"), ">\r");
    clear_strings();
    size_t from = b.uart1.sent.size();
    tap(320, 310);
    tap(320, 310);
    EXPECT_EQ(s_var(0), "10") << "each toggle runs the section of the button's new state";
    std::string sent;
    for (size_t i = from; i < b.uart1.sent.size(); ++i)
        sent += static_cast<char>(b.uart1.sent[i].byte);
    EXPECT_NE(sent.find("s5 1\r"), std::string::npos) << visible(sent);
    EXPECT_NE(sent.find("s5 0\r"), std::string::npos) << visible(sent);
}

TEST(TouchMacros, MacroGivingWayInItsPreambleFindsNoFaultWithItsLabel)
{
    sim::Board& b = boot_with_macros();
    ASSERT_EQ(command("x 130 100 100 299 199"), ">\r");
    ASSERT_EQ(command("xm 130 plain"), ">\r");
    clear_strings();
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "m5 :x1\r");
    b.machine.run_for(50 * kMillisecond);
    b.finger = {150, 120, true};
    std::string reply = fwtest::until_prompt(b.uart1, from);
    b.finger.down = false;
    b.machine.run_for(150 * kMillisecond);
    EXPECT_EQ(visible(reply), visible("x130\r>\r"))
        << "a macro that gave way to a touch before reaching its label reported the label missing";
    EXPECT_EQ(s_var(0), "N") << "the touch's macro did not run after it";
}

}  // namespace
