// Stored macros of the memory image: calls by number and name, arguments,
// labels, nesting, the queue, the listing, the configuration commands and
// the host-silence watchdog running labelled sections.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/KM_macros.h"
#include "app/KM_reply.h"
#include "format/memimage.h"
#include "app/KM_touch.h"
#include "app/Main.h"
#include "board/hw.h"
#include "graphics/GUI.h"
#include "storage/KM_eeprom.h"
#include "support/host.h"
#include "support/image_builder.h"

namespace {

using fwtest::command;
using fwtest::TestMacro;
using fwtest::visible;
using sim::kMillisecond;
using sim::kSecond;

const std::vector<TestMacro> kMacros = {
    {1, "sections", {"mpush 0 \"A\"", ":x1", "mpush 0 \"B\"", ":r1   // release", "mpush 0 \"D\""}},
    {2, "args", {"set s1 \"`0`|`1`|`2`\""}},
    {3, "deep", {"set i0 `(`i0`+1)`", "  m3"}},
    {4, "", {"set i2 `(`i2`+1)`", "w 20", ":repeat"}},
    {5, "wdt", {":st_down", "set i3 1", "dp 5 5", ":st_up", "set i3 2", ":default", "set i3 9"}},
    {6, "outer", {"m7 :go `0` `1`", "set i4 `(`i4`+1)`"}},
    {7, "inner", {"vers", ":go", "set s2 \"`0`+`1`\""}},
    {8, "empty", {":only", "set i5 1"}},
    {9, "failing", {"set i6 1", "no such command", "set i6 2"}},
    {10, "defaulted", {"mpush 0 \"P\"", ":x1", "mpush 0 \"X\"", ":r1", "mpush 0 \"R\"", ":default", "mpush 0 \"F\""}},
};

sim::Board& boot_with_macros()
{
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image({}, kMacros);
    return fwtest::boot_to_prompt(o);
}

std::string s_var(int n)
{
    std::string s;
    fwtest::on_firmware([&] { s = getMacroString2(n); });
    return s;
}

int i_var(int n)
{
    int v = 0;
    fwtest::on_firmware([&] { v = getMacro_iMem(n); });
    return v;
}

void clear_s0()
{
    fwtest::on_firmware([] { setMacroString2("", 0); });
}

TEST(Macros, LabelsChooseTheSectionThatRuns)
{
    boot_with_macros();
    struct Case {
        const char* line;
        const char* ran;
        const char* reply;
    };
    const Case cases[] = {
        {"m1 :r1", "AD", ">\r"},
        {"m1 :x1", "AB", ">\r"},
        {"m1", "A", ">\r"},
        {"m1 :zz", "A", ":label \":zz\" not found\r!\r"},
        {"m sections :r1", "AD", ">\r"},
        {"m   sections", "A", ">\r"},
        {"m0 sections :x1", "AB", ">\r"},
        {"m10 :r1", "PR", ">\r"},
        {"m10 :x1", "PX", ">\r"},
        {"m10 :st_down", "PF", ">\r"},
        {"m1 :5x", "", ":label cannot begin with a digit\r!\r"},
        {"m200", "", ":macro index 200 not valid\r!\r"},
        {"m11", "", ":macro index 11 not valid\r!\r"},
        {"m nosuch", "", ":Macro name not found\r!\r"},
        {"m b@d", "", ":Macro name has improper form\r!\r"},
        // After white space comes a name, even one that looks like a number.
        {"m -1", "", ":Macro name has improper form\r!\r"},
        {"m\t-1", "", ":Macro name has improper form\r!\r"},
        {"m 1 :r1", "AD", ">\r"},
        {"m 11", "", ":Macro index not found\r!\r"},
        {"m-1", "", ":macro index -1 not valid\r!\r"},
        // A number past 32 bits is held at the end of the board's long; it
        // never wraps round to a macro that exists.
        {"m4294967297 :r1", "", ":macro index 2147483647 not valid\r!\r"},
    };
    for (const Case& c : cases) {
        clear_s0();
        EXPECT_EQ(visible(command(c.line)), visible(c.reply)) << c.line;
        EXPECT_EQ(s_var(0), c.ran) << c.line << " ran the wrong lines";
    }
}

TEST(Macros, ArgumentsReachTheLinesAndNestedCalls)
{
    boot_with_macros();
    EXPECT_EQ(visible(command("m2 \"two words\" third")), ">\\r");
    EXPECT_EQ(s_var(1), "two words|third|") << "a quoted pair is one argument";
    EXPECT_EQ(visible(command("m2 \t a\t\"b \\\" c\" d e f")), ">\\r");
    EXPECT_EQ(s_var(1), "a|b \" c|d") << "tabs separate; an escaped quote does not close";
    EXPECT_EQ(visible(command("m2 \"open")), ">\\r");
    EXPECT_EQ(s_var(1), "open||") << "an unclosed quote runs to the end";
    EXPECT_EQ(visible(command("m2 a b c d e f g h i j k l")), ">\\r");
    EXPECT_EQ(s_var(1), "a|b|c");
    std::string reply = command("m6 hi there");
    EXPECT_NE(reply.find("VELM5-PLUS"), std::string::npos) << "the inner macro's preamble must run: " << visible(reply);
    EXPECT_EQ(reply.substr(reply.size() - 2), ">\r") << visible(reply);
    EXPECT_EQ(s_var(2), "hi+there") << "the nested call gets its label and the outer macro's arguments";
    EXPECT_EQ(i_var(4), 1) << "the outer macro goes on after the nested call";
}

TEST(Macros, NestingStopsAtFourLevels)
{
    sim::Board& b = boot_with_macros();
    EXPECT_EQ(visible(command("m3")), "!\\r") << "the fifth call fails and its caller with it";
    EXPECT_EQ(i_var(0), 4) << "four levels must have run";
    int depth = -1;
    fwtest::on_firmware([&] { depth = macroDepth; });
    EXPECT_EQ(depth, 0) << "the depth must come back to 0";
    EXPECT_EQ(b.uart1.sent_text().find("maximum macro depth"), std::string::npos) << "quiet unless verbose";
    EXPECT_EQ(visible(command("*macdebug 1")), "on\\r>\\r");
    size_t from = b.uart1.sent.size();
    command("m3");
    std::string out = b.uart1.sent_text(from);
    EXPECT_NE(out.find(":maximum macro depth of 4 exceeded\r"), std::string::npos) << visible(out);
    EXPECT_NE(out.find("3 (deep): set i0 5\r"), std::string::npos) << "the echo of the first level: " << visible(out);
    EXPECT_NE(out.find("   3 (deep): set i0 8\r"), std::string::npos) << "level 4 is indented: " << visible(out);
    EXPECT_EQ(visible(command("*macdebug 0")), ">\\r");
}

TEST(Macros, MacrosThatRunNothingOrFail)
{
    boot_with_macros();
    EXPECT_EQ(visible(command("m8")), visible(":no macro commands processed\r!\r"));
    EXPECT_EQ(i_var(5), 0);
    EXPECT_EQ(visible(command("m8 :only")), ">\\r");
    EXPECT_EQ(i_var(5), 1);
    EXPECT_EQ(visible(command("m9")), "!\\r") << "a failing line fails the macro";
    EXPECT_EQ(i_var(6), 1) << "the lines after a failing one must not run";
}

TEST(Macros, RepeatLoopsUntilEscape)
{
    sim::Board& b = boot_with_macros();
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "m4\r");
    b.machine.run_for(500 * kMillisecond);
    int early = i_var(2);
    EXPECT_GT(early, 5) << "the loop must go round while no escape comes";
    fwtest::send(b.uart1, "\x1b\r");
    std::string out = fwtest::until_text(b.uart1, from, ":aborting on Escape\r", kSecond);
    EXPECT_NE(out.find(":aborting on Escape\r"), std::string::npos) << visible(out);
    b.machine.run_for(200 * kMillisecond);
    int stopped = i_var(2);
    b.machine.run_for(300 * kMillisecond);
    EXPECT_EQ(i_var(2), stopped) << "the loop must have stopped";
}

TEST(Macros, RepeatStopsOnAbortCommand)
{
    sim::Board& b = boot_with_macros();
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "m4\r");
    b.machine.run_for(200 * kMillisecond);
    fwtest::send(b.uart1, "*abt\r");
    std::string out = fwtest::until_text(b.uart1, from, "!\r>\r", kSecond);
    EXPECT_NE(out.find(":aborting on *abt\r"), std::string::npos) << visible(out);
    EXPECT_EQ(out.substr(out.size() - 4), "!\r>\r")
        << "the macro stops and fails, and the abort line is answered once: " << visible(out);
}

TEST(Macros, BinaryCallRunsAMacroWithoutArguments)
{
    sim::Board& b = boot_with_macros();
    fwtest::on_firmware([] { setMacroString2("unchanged", 1); });
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, std::string("\x82M\x02", 3));
    std::string got = fwtest::until_prompt(b.uart1, from);
    EXPECT_EQ(visible(got), ">\\r");
    EXPECT_EQ(s_var(1), "||") << "the binary call must run macro 2";
}

TEST(Macros, RepeatStopsForAQueuedMacro)
{
    sim::Board& b = boot_with_macros();
    fwtest::send(b.uart1, "m4\r");
    b.machine.run_for(200 * kMillisecond);
    fwtest::on_firmware([] { scheduleMacro(2, "q1 q2"); });
    b.machine.run_for(200 * kMillisecond);
    EXPECT_EQ(s_var(1), "q1|q2|") << "the queued macro must run once the loop stopped";
    int n = i_var(2);
    b.machine.run_for(200 * kMillisecond);
    EXPECT_EQ(i_var(2), n) << "the loop must have stopped for the queued macro";
}

TEST(Macros, TheQueueRunsFromTheMainLoopWithNotes)
{
    sim::Board& b = boot_with_macros();
    const char* notes[][2] = {{"*macnote", "off\r>\r"}, {"*macnote 3", "both\r>\r"}, {"*macnote", "both\r>\r"},
                              {"*macnote 7", "both\r>\r"}, {"*macnote 1", "start\r>\r"},
                              {"*macnote 2", "end\r>\r"}, {"*macnote 3", "both\r>\r"}};
    for (auto& n : notes)
        EXPECT_EQ(visible(command(n[0])), visible(n[1])) << n[0];
    size_t from = b.uart1.sent.size();
    int pending = 0;
    fwtest::on_firmware([&] {
        scheduleMacro(2, "x y");
        pending = pendingMacro();
    });
    EXPECT_EQ(pending, 2);
    b.machine.run_for(50 * kMillisecond);
    EXPECT_EQ(visible(b.uart1.sent_text(from)), "m2\\re2\\r");
    EXPECT_EQ(s_var(1), "x|y|");
    fwtest::on_firmware([&] {
        setMacroString2("", 1);
        scheduleMacro(512 + 2, "ignored");
        pending = pendingMacro();
    });
    EXPECT_EQ(pending, 2);
    b.machine.run_for(50 * kMillisecond);
    EXPECT_EQ(s_var(1), "x|y|") << "512 + n keeps the arguments of the previous request";
    fwtest::on_firmware([&] {
        scheduleMacro(0, "z");
        pending = pendingMacro();
    });
    EXPECT_EQ(pending, 0) << "macro 0 is no request";
    fwtest::on_firmware([&] {
        scheduleMacro(2, nullptr);
        setMacroString2("", 1);
    });
    b.machine.run_for(50 * kMillisecond);
    EXPECT_EQ(s_var(1), "||");
}

TEST(Macros, ListingShowsNamesAndLines)
{
    boot_with_macros();
    EXPECT_EQ(visible(command("lsmac 2")),
              visible("Macro Definition\r  #2: args\r    'set s1 \"`0`|`1`|`2`\"'\r>\r"));
    EXPECT_EQ(visible(command("lsmac 4")),
              visible("Macro Definition\r  #4:\r    'set i2 `(`i2`+1)`'\r    'w 20'\r    ':repeat'\r>\r"));
    EXPECT_EQ(visible(command("lsmac 11")), visible(":index outside valid range\r!\r"));
    EXPECT_EQ(visible(command("lsmac 0")), visible(":index outside valid range\r!\r"));
    std::string all = command("lsmac");
    EXPECT_EQ(all.rfind("Macro Definitions\r  #1: sections\r    'mpush 0 \"A\"'\r", 0), 0u) << visible(all);
    EXPECT_NE(all.find("  #10: defaulted\r"), std::string::npos) << visible(all);
    EXPECT_EQ(all.substr(all.size() - 2), ">\r");
}

TEST(Macros, ListingNeedsAnImage)
{
    fwtest::boot_to_prompt();
    EXPECT_EQ(visible(command("lsmac")), visible(":External Memory not valid\r!\r"));
    EXPECT_EQ(visible(command("m1")), visible(":macro index 1 not valid\r!\r"));
    EXPECT_EQ(visible(command("m name")), visible(":No macros loaded\r!\r"));
}

// A macro table off its word boundary cannot be read on the board (alignment
// checking is on): the image then has no macros.
TEST(Macros, ATableOffItsWordBoundaryIsNoTable)
{
    // The image with everything from the table on moved two bytes on, and
    // its addresses with it: sound but for the table's alignment.
    std::vector<uint8_t> img = fwtest::build_image({}, kMacros);
    auto word = [&img](size_t at) -> uint32_t {
        uint32_t v;
        std::memcpy(&v, img.data() + at, 4);
        return v;
    };
    auto add2 = [&img, &word](size_t at) {
        const uint32_t v = word(at) + 2;
        std::memcpy(img.data() + at, &v, 4);
    };
    const size_t table = word(ExtMemDirEntryOffset(0) + 4) - 0xC8400000u;
    const uint32_t count = word(ExtMemDirEntryOffset(0) + 8);
    for (uint32_t m = 0; m < count; ++m)
        add2(table + 8 * m);
    img.insert(img.begin() + static_cast<long>(table), 2, 0);
    img.insert(img.end(), 2, 0);
    add2(ExtMemDirEntryOffset(0) + 4);
    add2(4), add2(4);  // the image's size
    fwtest::BootOptions o;
    o.flash_image = img;
    fwtest::boot_to_prompt(o);
    EXPECT_EQ(visible(command("m1")), visible(":macro index 1 not valid\r!\r"));
    EXPECT_EQ(visible(command("m sections")), visible(":No macros loaded\r!\r"));
    EXPECT_EQ(command("lsmac").find("sections"), std::string::npos) << "the listing read the table";
    EXPECT_EQ(visible(command("lsmac 2")), visible(":index outside valid range\r!\r"));
}

TEST(Macros, PowerOnAndDemoMacroSettings)
{
    boot_with_macros();
    struct Case {
        const char* line;
        const char* reply;
    };
    const Case cases[] = {
        {"*PONMAC 2 1", "2\r>\r"},   {"*PONMAC", "2\r>\r"},   {"*PONMAC 99", ":Macro index not found\r!\r"},
        {"*PONMAC nosuch", ":Macro name not found\r!\r"}, {"*PONMAC args", ">\r"},
        {"*DEMOMAC wdt", ">\r"},     {"*DEMOMAC", "5\r>\r"},  {"*DEMOMAC 99", ":Macro index not found\r!\r"},
        {"*DEMOMAC 3", ">\r"},       {"*DEMOMAC", "3\r>\r"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(visible(command(c.line)), visible(c.reply)) << c.line;
    uint8_t pon = 0, banner = 0;
    fwtest::on_firmware([&] {
        pon = eepromData.PONMAC;
        banner = eepromData.PONMACnoBanner;
    });
    EXPECT_EQ(pon, 2);
    EXPECT_EQ(banner, 0xA5) << "a second argument 1 makes the macro replace the banner";
    EXPECT_EQ(visible(command("*PONMAC 0")), ">\\r");
    fwtest::on_firmware([&] {
        pon = eepromData.PONMAC;
        banner = eepromData.PONMACnoBanner;
    });
    EXPECT_EQ(pon, 0xFF) << "0 clears the power-on macro";
    EXPECT_EQ(banner, 0xFF);
    EXPECT_EQ(visible(command("*PONMAC 255 1")), "255\\r>\\r");
}

TEST(Macros, WatchdogRunsSectionsOfARealMacro)
{
    sim::Board& b = boot_with_macros();
    struct Case {
        const char* line;
        const char* reply;
    };
    const Case refused[] = {
        {"*comwdt 5 10 5", "bad or missing timeout arg(s)\r!\r"},
        {"*comwdt 5", "bad or missing timeout arg(s)\r!\r"},
        {"*comwdt 99 10", "bad macro index number\r!\r"},
        {"*comwdt nosuch 10", ":Macro name not found\rbad macro name\r!\r"},
    };
    for (const Case& c : refused)
        EXPECT_EQ(visible(command(c.line)), visible(c.reply)) << c.line;
    EXPECT_EQ(visible(command("*comwdt wdt 2")), ">\\r");
    fwtest::on_firmware([] { GUI_SetColor(0x000000); });
    b.machine.run_for(1500 * kMillisecond);
    EXPECT_EQ(i_var(3), 0) << "nothing before the short silence";
    b.machine.run_for(1000 * kMillisecond);
    EXPECT_EQ(i_var(3), 1) << ":st_down must have run after 2 s of silence";
    EXPECT_EQ(fwtest::fb(b, 5, 5), 0x0000) << "the :st_down section draws its point";
    EXPECT_EQ(visible(command("get i3")), "2\\r>\\r") << ":st_up runs before the line that ends the silence";
    EXPECT_EQ(visible(command("*comwdt 5 1 3")), ">\\r");
    b.machine.run_for(3500 * kMillisecond);
    EXPECT_EQ(i_var(3), 9) << "a macro without :lt_down falls back to :default";
    EXPECT_EQ(visible(command("*comwdt off")), ">\\r");
    fwtest::on_firmware([] { setMacro_iMem(3, 0); });
    b.machine.run_for(4 * kSecond);
    EXPECT_EQ(i_var(3), 0) << "a disarmed watchdog runs nothing";
}

TEST(Macros, HotspotMacroWithArgumentsAndLabel)
{
    boot_with_macros();
    fwtest::on_firmware([] {
        TouchHotSpots[1].type = SPOT_BUTTON;
        TouchHotSpots[1].eventFlags = 0;
        TouchHotSpots[2].type = SPOT_FREE;
    });
    struct Case {
        const char* line;
        const char* reply;
    };
    const Case cases[] = {
        {"xa", "8000\r>\r"},
        {"xa 1 p args hello world", ">\r"},
        {"xa", "7988\r>\r"},
        {"xaq 1 r sections:r1 x", ">\r"},
        {"xa 1 r sections:x1 x", ":xm label should be :r1\r!\r"},
        {"xa 2 p args y", ":index outside valid range\r!\r"},
        {"xa 256 p args y", ":index outside valid range\r!\r"},
        {"xa 1 q args y", ":invalid argument\r!\r"},
        {"xa 1 p nosuch y", ":Macro name not found\r!\r"},
        {"xa 1 p", ":missing argument\r!\r"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(visible(command(c.line)), visible(c.reply)) << c.line;
    int press = 0, release = 0, flags = 0;
    std::string pressArgs, releaseArgs;
    fwtest::on_firmware([&] {
        const HotSpot& h = TouchHotSpots[1];
        press = h.pressMacro;
        release = h.releaseMacro;
        flags = h.eventFlags;
        pressArgs = getMacroArgs(1, 1) ? getMacroArgs(1, 1) : "(none)";
        releaseArgs = getMacroArgs(1, 0) ? getMacroArgs(1, 0) : "(none)";
    });
    EXPECT_EQ(press, 2);
    EXPECT_EQ(release, 1);
    EXPECT_EQ(flags & SPOT_EV_REPORT, 0) << "xaq switches the reports off";
    EXPECT_EQ(pressArgs, "hello world");
    EXPECT_EQ(releaseArgs, "x");
}

TEST(Macros, CompiledInTableReplacesTheImage)
{
    boot_with_macros();
    // The table holds board addresses: its texts lie in a RAM download slot.
    static const char lines[] = "mpush 0 \"I\"\0mpush 0 \"J\"";
    std::memcpy(hw_ptr(RAM_SLOT_BASE), lines, sizeof lines);
    static const ExtMacroEntry table[2] = {
        {RAM_SLOT_BASE, 1, 1, 0xFF},
        {RAM_SLOT_BASE, 2, 2, 0xFF},
    };
    fwtest::on_firmware([] { KM_EnableInternalMacros(table); });
    clear_s0();
    EXPECT_EQ(visible(command("m2")), ">\\r");
    EXPECT_EQ(s_var(0), "IJ") << "macro 2 of the compiled-in table";
    EXPECT_EQ(visible(command("m sections")), visible(":Macro call-by-name not supported\r!\r"));
    fwtest::on_firmware([] { KM_DisableInternalMacros(); });
    clear_s0();
    EXPECT_EQ(visible(command("m1 :r1")), ">\\r");
    EXPECT_EQ(s_var(0), "AD") << "the image's macros are back";
}

}  // namespace
