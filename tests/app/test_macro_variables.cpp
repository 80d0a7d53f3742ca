// Macro variables, their host commands, variable expansion and inline
// arithmetic of command lines.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "app/KM_com.h"
#include "app/KM_expand.h"
#include "app/KM_macros.h"
#include "app/KM_touch.h"
#include "storage/KM_eeprom.h"
#include "support/host.h"
#include "support/image_builder.h"

namespace {

using fwtest::command;
using fwtest::visible;

struct Case {
    const char* in;
    const char* out;
};

std::string expand(const std::string& src, const char* const* args = nullArgs, int size = 130)
{
    std::string out;
    fwtest::on_firmware([&] {
        char buf[200];
        std::memset(buf, '#', sizeof buf);
        expandVariables(buf, size, src.c_str(), args);
        out = buf;
    });
    return out;
}

std::string math(const std::string& src, int size = 130)
{
    std::string out;
    fwtest::on_firmware([&] {
        char buf[200];
        processMath(buf, size, src.c_str());
        out = buf;
    });
    return out;
}

TEST(Expansion, ReferencesAreReplacedByTheirFormattedValues)
{
    sim::Board& b = fwtest::boot_to_prompt();
    uint32_t baud = 0;
    fwtest::on_firmware([&] {
        setMacro_iMem(0, 42);
        setMacro_iMem(1, 3);
        setMacro_iMem(7, -5);
        setMacroString2("ab", 2);
        setMacro_pt(3, 5, -7);
        pushMacroString("mem", 0);
        baud = baudrate0;
    });
    EXPECT_EQ(visible(command("set e0 17")), ">\\r");
    const Case cases[] = {
        {"t `i0`", "t 42"},
        {"`%05 i0`", "00042"},
        {"`%5 i0`", "   42"},
        {"`%-5 i0`|", "42   |"},
        {"`%+5 i0`", "  +42"},
        {"`%+05 i7`", "-0005"},
        {"`%5d i0`", "   42ld"},
        {"`%5ld i0`", "   42ld"},
        {"`%3.2 e0`", " 17"},
        {"`%3d p3`", "  5d  -7d"},
        {"`%6.1s s2`x", "     asx"},
        {"`%81 i0`|", "|"},
        {"`%0 i0`|", "|"},
        {"`%-6 s2`x", "ab    x"},
        {"`%6.0 s2`x", "x"},
        {"`%6.1 s2`x", "     ax"},
        {"`%05 s2`x", "x"},
        {"`s2` `M`", "ab mem"},
        {"`p3`", "5 -7"},
        {"`%3 p3`", "  5  -7"},
        {"`p3.y`", "-7"},
        {"`p3.x`", "5"},
        {"a`p3.z`b", "ab"},
        {"a`i20`b", "ab"},
        {"a`i-1`b", "ab"},
        {"a`s10`b", "ab"},
        {"a`eG`b", "ab"},
        {"a`q`b", "ab"},
        {"a`3`b", "ab"},
        {"a`Mx`b", "ab"},
        {"`i1trailing`", "3"},
        {"`e0`", "17"},
        {"a``b", "a`b"},
        {"ab`", "ab"},
        {"xyz // comment", "xyz "},
        {"a/*b", "a"},
        {"a/b", "a/b"},
        {"\"x//y\"", "\"x"},
        {"`Xm` `Ym` `Xc` `Yc`", "799 479 400 240"},
        {"`Xo`,`Yo`", "0,0"},
        {"`R5:5`", "5"},
        {"a`R5:4`b", "ab"},
        {"`(`i1`+5)`", "`(3+5)`"},
        {"`(1+2)``i0`", "`(1+2)`42"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(expand(c.in), c.out) << "the line " << c.in << " expanded wrongly";
    int volume = 0, brite = 0;
    fwtest::on_firmware([&] {
        volume = reinterpret_cast<const uint8_t*>(&eepromData)[0x30];
        brite = eepromData.brite;
    });
    EXPECT_EQ(expand("`V` `B`"), std::to_string(volume) + " " + std::to_string(brite)) << "volume and backlight";
    const std::string temp = expand("`T`");
    EXPECT_TRUE(temp == "*****" || (temp.size() == 5 && (temp[0] == '+' || temp[0] == '-') && std::isdigit(temp[1]) &&
                                    std::isdigit(temp[2]) && temp[3] == '.' && std::isdigit(temp[4])))
        << "the board temperature printed as " << temp;
    EXPECT_EQ(expand("`%8 T`|"), "   " + temp + "|");
    char want[16];
    std::snprintf(want, sizeof want, "%u,%u", baud / 1000, baud % 1000);
    EXPECT_EQ(expand("`$BAUD0`"), want) << "the command port rate";
    EXPECT_EQ(expand("`%-20 s2`|"), "ab                  |");
    for (int i = 0; i < 20; ++i) {
        std::string r = expand("`R-3:3`");
        int v = std::atoi(r.c_str());
        EXPECT_TRUE(v >= -3 && v <= 3) << "random number " << r << " outside -3..3";
    }
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

TEST(Expansion, MacroArgumentsAreCopiedAsTheyAre)
{
    fwtest::boot_to_prompt();
    const char* args[10] = {"one", "two words", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "nine"};
    EXPECT_EQ(expand("`0`-`1`-`2`-`9`", args), "one-two words--nine");
    EXPECT_EQ(expand("`%-9 0`|", args), "one|") << "a valid format is checked, not applied";
    EXPECT_EQ(expand("`%6.0 0`|", args), "|") << "an invalid format removes the argument";
    EXPECT_EQ(expand("`10`|", args), "|");
    const std::string longArg(100, 'q');
    const char* big[10] = {longArg.c_str()};
    EXPECT_EQ(expand("`0`", big), std::string(80, 'q')) << "an argument is cut to 80 characters";
}

TEST(Expansion, ReferencesWithFormatsBeyondFlagsWidthAndPrecisionAreRemoved)
{
    // The format text goes into a printf format: each of these would make
    // the controller write or read through a wild pointer.  Such a
    // reference is removed like any invalid one, and the rest of the line
    // runs.
    fwtest::BootOptions o;
    o.flash_image =
        fwtest::build_image({}, {{1, "hostile", {"set i7 1", "set s1 \"<`%1n i0`>\"", "set i7 2"}}});
    fwtest::boot_to_prompt(o);
    EXPECT_EQ(visible(command("set i0 4096")), ">\\r");
    EXPECT_EQ(visible(command("set s2 \"ab\"")), ">\\r");
    auto s1 = [] {
        std::string v;
        fwtest::on_firmware([&] { v = getMacroString2(1); });
        return v;
    };
    const char* const hostile[] = {
        "%1n i0",  "%9$n i0", "%1s i0",  "%1.* i0", "%2$ s2",  "%1hn e0",  "%-1n s2", "%5x i0",
        "%1d s2",  "%1ls p1", "%4.*s s2", "%+1p V", "%1.1n 0", "%2ss s2", "%1%n i0",
    };
    for (const char* ref : hostile) {
        const std::string line = std::string("set s1 \"[`") + ref + "`]\"";
        EXPECT_EQ(visible(command(line)), ">\\r") << "the line " << line;
        EXPECT_EQ(s1(), "[]") << "the reference " << ref << " was not removed alone";
    }
    EXPECT_NE(command("vers `%5x i0`").find("VELM5-PLUS"), std::string::npos)
        << "a command with such a reference did not run";
    ASSERT_EQ(visible(command("set s1 \"\"")), ">\\r");
    EXPECT_EQ(visible(command("m1")), ">\\r") << "a macro line with such a format failed";
    int i7 = 0;
    fwtest::on_firmware([&] { i7 = getMacro_iMem(7); });
    EXPECT_EQ(i7, 2) << "the macro stopped at that line";
    EXPECT_EQ(s1(), "<>");
}

TEST(Expansion, ValuesThatDoNotFitAreLeftOutWhole)
{
    fwtest::boot_to_prompt();
    fwtest::on_firmware([] { setMacroString2("0123456789012345678901234567890123456789", 5); });
    const std::string x120(120, 'x');
    EXPECT_EQ(expand(x120 + "`s5`yz"), x120 + "yz") << "a value without room must be omitted, the text after it kept";
    EXPECT_EQ(expand(x120 + "`s5`yz", nullArgs, 129), x120 + "yz");
    const std::string x140(140, 'x');
    EXPECT_EQ(expand(x140), std::string(129, 'x')) << "the line is cut at its buffer";
    EXPECT_EQ(expand(x140, nullArgs, 129), std::string(128, 'x'));
    EXPECT_EQ(expand("abc", nullArgs, 1), "");
    EXPECT_EQ(expand("", nullArgs, 130), "");
    const std::string x127(127, 'x');
    EXPECT_EQ(math(x127 + "`(100+100)`z"), x127 + "z") << "a result without room must be omitted";
    EXPECT_EQ(math(std::string(140, 'y')), std::string(129, 'y'));
}

TEST(Arithmetic, ExpressionsAreEvaluatedOrLeftAsText)
{
    fwtest::boot_to_prompt();
    const Case cases[] = {
        {"`(3+5)`", "8"},
        {"`( 3+ 5)`", "8"},
        {"`(3 +4)`", "(3 +4)"},
        {"`(10/0)`", "(10/0)"},
        {"`(10%0)`", "(10%0)"},
        {"`(-7%3)`", "-1"},
        {"`(7%-3)`", "1"},
        {"`(-7/2)`", "-3"},
        {"`(6*7)` `(1-2)`", "42 -1"},
        {"`(5)`", "(5)"},
        {"`(5^2)`", "(5^2)"},
        {"`(2147483647+1)`", "-2147483648"},
        {"`(65536*65536)`", "0"},
        {"`(-2147483648/-1)`", "-2147483648"},
        {"`(-2147483648%-1)`", "0"},
        // Numbers past 32 bits are held at the ends of the board's long,
        // whatever the word size of the build.
        {"`(4294967296+1)`", "-2147483648"},
        {"`(2147483648*-1)`", "-2147483647"},
        {"`(-99999999999-1)`", "2147483647"},
        {"`(-2147483649/-1)`", "-2147483648"},
        {"a`(1+2", "a1+2"},
        {"a`(1+2)b", "a1+2)b"},
        {"x `(1+2)` y", "x 3 y"},
        {"`(1+(2)`", "(1+(2)"},
        {"plain text", "plain text"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(math(c.in), c.out) << "the expression " << c.in << " evaluated wrongly";
}

TEST(Variables, HostCommandsSetAndGetThem)
{
    sim::Board& b = fwtest::boot_to_prompt();
    const Case cases[] = {
        {"set i20 1", ":err - arg must be i0 thru i19\r!\r"},
        {"set i-1 1", ":err - arg must be i0 thru i19\r!\r"},
        {"set i5 -12", ">\r"},
        {"get i5", "-12\r>\r"},
        {"set i5 0x1F", ">\r"},
        {"get i5", "31\r>\r"},
        {"set i5 x", ":err - syntax\r!\r"},
        {"set i5 4294967296", ">\r"},
        {"get i5", "2147483647\r>\r"},
        {"set i5 -99999999999", ">\r"},
        {"get i5", "-2147483648\r>\r"},
        {"set i5 0x100000000", ">\r"},
        {"get i5", "-1\r>\r"},
        {"set i5 0x-2", ">\r"},
        {"get i5", "-2\r>\r"},
        {"set e3 0x1000000FF", ":err - value must be 0x00 thru 0xFF\r!\r"},
        {"get i20", ":err - arg must be i0 thru i19\r!\r"},
        {"set e10 1", ":err - arg must be e0 thru eF\r!\r"},
        {"set e3 256", ":err - value must be 0 thru 255\r!\r"},
        {"set e3 -1", ":err - value must be 0 thru 255\r!\r"},
        {"set e3 0x100", ":err - value must be 0x00 thru 0xFF\r!\r"},
        {"set e3 200", ">\r"},
        {"get e3", "200\r>\r"},
        {"set eF 0xA5", ">\r"},
        {"get eF", "165\r>\r"},
        {"get e10", ":err - arg must be e0 thru eF\r!\r"},
        {"set p10 1 2", ":err - arg must be p0 thru p9\r!\r"},
        {"set p2 -3 4", ">\r"},
        {"get p2", "-3 4\r>\r"},
        {"set s10 x", ":err - arg must be s0 thru s9\r!\r"},
        {"set s1", ":err - text argument missing\r!\r"},
        {"set s1 hello world", ">\r"},
        {"get s1", "\"hello world\"\r>\r"},
        {"set s1 \"a\\x41 \"", ">\r"},
        {"get s1", "\"aA \"\r>\r"},
        {"get s10", ":err - arg must be s0 thru s9\r!\r"},
        {"get q", ":err - syntax\r!\r"},
        {"set q", ":err - syntax\r!\r"},
        {"mpush \"abc\"", ">\r"},
        {"mpush \"abc\"", ">\r"},
        {"mpop 1", ">\r"},
        {"set s0 \"`M`\"", ">\r"},
        {"get s0", "\"abcab\"\r>\r"},
        {"mpop 99", ">\r"},
        {"set s0 \"[`M`]\"", ">\r"},
        {"get s0", "\"[]\"\r>\r"},
        {"mpush 4 \"0123456789\" 5", ">\r"},
        {"mpush 4 \"0123456789\" 5", ">\r"},
        {"get s4", "\"01234\"\r>\r"},
        {"mpop 4 2", ">\r"},
        {"get s4", "\"012\"\r>\r"},
        {"mpush 10 \"x\"", "!\r"},
        {"mpush 4294967296 \"x\"", "!\r"},
        {"mpush 4", "!\r"},
        {"mpop 10 1", "!\r"},
        {"set i1 3", ">\r"},
        {"set s6 \"`(`i1`+5)`\"", ">\r"},
        {"get s6", "\"8\"\r>\r"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(visible(command(c.in)), visible(c.out)) << c.in;
    EXPECT_EQ(visible(command("set s3 " + std::string(90, 'z'))), ">\\r");
    EXPECT_EQ(visible(command("get s3")), visible("\"" + std::string(80, 'z') + "\"\r>\r"))
        << "a string variable holds 80 characters";
    std::string m;
    fwtest::on_firmware([&] {
        for (int i = 0; i < 30; ++i)
            pushMacroString("abc", 0);
        m = memoryString;
    });
    EXPECT_EQ(m.size(), 80u) << "M must stop growing at 80 characters";
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

TEST(MacroArguments, HotspotStoreFitsAndRunsOut)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    int stored = 0, last = -1, reuse = 0, moved = 0, kinds = 0;
    fwtest::on_firmware([&] {
        for (int h = 0; h < 100; ++h) {
            char t[16];
            std::snprintf(t, sizeof t, "args %d", h);
            stored += assignMacroArgs(h, 1, t);
        }
        last = assignMacroArgs(100, 1, "one too many");
        const char* before = getMacroArgs(5, 1);
        reuse = assignMacroArgs(5, 1, "a") && getMacroArgs(5, 1) == before && !std::strcmp(before, "a");
        moved = assignMacroArgs(6, 1, "a much longer text than before") && getMacroArgs(6, 1) != nullptr &&
                !std::strcmp(getMacroArgs(6, 1), "a much longer text than before");
        releaseMacroArgs(7, 1);
        kinds = getMacroArgs(7, 1) == nullptr && getMacroArgs(8, 0) == nullptr;
    });
    EXPECT_EQ(stored, 100);
    EXPECT_EQ(last, 0) << "the 101st hotspot must be refused";
    EXPECT_NE(fwtest::until_text(b.uart1, from, ":out of macro arg storage slots; all 100 in use\r")
                  .find(":out of macro arg storage slots; all 100 in use\r"),
              std::string::npos)
        << visible(b.uart1.sent_text(from));
    EXPECT_TRUE(reuse) << "re-binding with a shorter text must reuse the slot";
    EXPECT_TRUE(moved) << "re-binding with a longer text must find other space";
    EXPECT_TRUE(kinds);
    int avail = 0, big = 1;
    fwtest::on_firmware([&] {
        clearMacroArgStore();
        avail = getMacroArgBytesAvailable();
        std::string t(250, 'x');
        for (int h = 0; h < 40 && big; ++h)
            big = assignMacroArgs(h, 0, t.c_str());
    });
    EXPECT_EQ(avail, 8000);
    EXPECT_EQ(big, 0) << "8000 bytes cannot hold 40 texts of 251 bytes";
    const char* full = ":out of macro arg storage space; need 251 bytes, 219 left\r";
    EXPECT_NE(fwtest::until_text(b.uart1, from, full).find(full), std::string::npos)
        << visible(b.uart1.sent_text(from));
}

TEST(MacroArguments, HotspotLabelsAreCheckedAndChosenByEvent)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    int ok[6] = {};
    std::string label[6];
    auto text = [](const char* l) { return std::string(l ? l : "(none)"); };
    fwtest::on_firmware([&] {
        TouchHotSpots[7].type = SPOT_BUTTON;
        TouchHotSpots[7].stateFlags = 0;
        label[0] = text(setQueuedMacroLabel(7, 1));
        ok[0] = checkQueuedMacroLabel(7, ":x7", 1);
        label[1] = text(setQueuedMacroLabel(7, 1));
        label[2] = text(setQueuedMacroLabel(7, 0));
        ok[1] = checkQueuedMacroLabel(7, ":r8", 0);
        ok[2] = checkQueuedMacroLabel(7, ":r7_extra", 0);
        label[3] = text(setQueuedMacroLabel(7, 0));
        TouchHotSpots[9].type = SPOT_TOGGLE;
        TouchHotSpots[9].stateFlags = 0;
        // Bound as the release macro (event 0), started when the toggle
        // runs its release macro (event 1).
        ok[3] = checkQueuedMacroLabel(9, ":s9_0", 0);
        label[4] = text(setQueuedMacroLabel(9, 1));
        TouchHotSpots[11].type = 0;
        ok[4] = checkQueuedMacroLabel(11, ":x11", 1);
        label[5] = text(setQueuedMacroLabel(11, 1));
    });
    EXPECT_EQ(label[0], "(none)") << "no label before one was bound";
    EXPECT_EQ(ok[0], 1);
    EXPECT_EQ(label[1], ":x7");
    EXPECT_EQ(label[2], "(none)") << "a release must not start at the press label";
    EXPECT_EQ(ok[1], 0);
    EXPECT_EQ(ok[2], 1) << "the label must begin with the expected text";
    EXPECT_EQ(label[3], ":r7");
    EXPECT_EQ(ok[3], 1);
    EXPECT_EQ(label[4], ":s9_0");
    EXPECT_EQ(ok[4], 0);
    EXPECT_EQ(label[5], "(none)");
    std::string out = fwtest::until_text(b.uart1, from, ":no macro label support for hotspot type 0\r");
    EXPECT_NE(out.find(":xm label should be :r7\r"), std::string::npos) << visible(out);
    EXPECT_NE(out.find(":no macro label support for hotspot type 0\r"), std::string::npos) << visible(out);
}

}  // namespace
