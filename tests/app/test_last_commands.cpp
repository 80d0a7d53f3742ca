// The card's folder commands on a card made by mkfs.fat and mtools (and
// checked by them afterwards), the keyword pairs whose order in the chain
// decides which command a line is, the firmware identification, the pads'
// drive strength, the graphics library's diagnostics and a restart through
// the watchdog on an in-process board.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/GUI.h"
#include "storage/KM_eeprom.h"
#include "support/host.h"
#include "support/image_builder.h"
#include "support/shell.h"

namespace {

using fwtest::command;
using fwtest::must;
using fwtest::Outcome;
using fwtest::run;
using fwtest::TestMacro;
using fwtest::visible;

struct Case {
    const char* line;
    const char* reply;  // up to and including the prompt
};

void run_cases(const std::vector<Case>& cases)
{
    for (const Case& c : cases)
        EXPECT_EQ(visible(command(c.line, 5 * sim::kSecond)), visible(c.reply)) << "\"" << c.line << "\"";
}

std::string tmp(const std::string& name) { return fwtest::temp_dir() + "/" + name; }

// A FAT16 card with a file in its root and a folder holding another folder.
std::string make_card()
{
    std::string card = tmp("card.img");
    must("mkfs.fat -C -F 16 -s 2 -n VELMCARD " + card + " 16384 >/dev/null");
    must("printf 'hello' > " + tmp("hello.txt"));
    must("mcopy -i " + card + " " + tmp("hello.txt") + " ::HELLO.TXT");
    must("mmd -i " + card + " ::PICS ::PICS/OLD");
    must("mcopy -i " + card + " " + tmp("hello.txt") + " ::PICS/README");
    return card;
}

sim::Board& boot_with_card(const std::string& card)
{
    fwtest::BootOptions o;
    o.sd = card;
    o.flash_image = fwtest::build_image({}, std::vector<TestMacro>{{1, "marker", {"set i7 77"}}});
    return fwtest::boot_to_prompt(o);
}

TEST(CardCommands, ListChangeFolderLoadAndTestFile)
{
    const std::string card = make_card();
    sim::Board& b = boot_with_card(card);
    run_cases({
        {"*ls", "HELLO.TXT\rPICS/\r>\r"},
        {"*cd PICS", ">\r"},
        {"*ls", "OLD/\rREADME\r>\r"},
        {"*cd NOPE", ":SD Card, chdir(\"NOPE\") FAILED\r!\r"},
        {"*cd ..", ">\r"},
        {"*sdload PICS 300", ":invalid macro index number\r!\r"},
        {"*sdload NOPE 1", ":SD Card, chdir(\"NOPE\") FAILED\r!\r"},
        {"get i7", "0\r>\r"},
        {"*sdload PICS 1", ">\r"},
        {"get i7", "77\r>\r"},
        {"*ls", "OLD/\rREADME\r>\r"},
        {"*cd \\", ">\r"},
        {"fopen", ">\r"},
    });
    // The card as a PC sees it afterwards.
    Outcome dir = run("mdir -b -i " + card + " ::");
    EXPECT_NE(dir.out.find("MYTEST.INI"), std::string::npos) << "fopen wrote no mytest.ini:\n" << dir.out;
    Outcome text = run("mtype -i " + card + " ::MYTEST.INI");
    EXPECT_EQ(text.status, 0);
    EXPECT_FALSE(text.out.empty()) << "mytest.ini is empty";
    Outcome fsck = run("fsck.fat -n " + card);
    EXPECT_EQ(fsck.status, 0) << "fsck.fat finds the card damaged after fopen:\n" << fsck.out;
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

TEST(CardCommands, WithoutACardNothingIsTouched)
{
    fwtest::boot_to_prompt();
    run_cases({
        {"*ls", "!\r"},
        {"*cd PICS", ":SD Card not ready\r!\r"},
        {"*sdload PICS", ":SD Card not ready\r!\r"},
        {"fopen", "!\r"},
    });
}

// Where one keyword begins another, the chain must reach the longer one;
// each line below would answer differently if the shorter keyword took it.
TEST(KeywordOrder, LongerKeywordsBeforeTheirPrefixes)
{
    const std::string card = make_card();
    boot_with_card(card);
    run_cases({
        {"fopen", ">\r"},                                      // not the font "open" ("f %9s")
        {"agifd 0", ">\r"},                                    // not "agif" with too few numbers
        {"xmpmax", "128\r>\r"},                                // not "xmp" or "xm"
        {"xma", "29097984 131072 29097984\r>\r"},            // not "xm"
        {"*eer 0", "00 = 55\r>\r"},                           // not "*eel" ("*ee")
        {"*R16 10027820", "0x10027820 = FFCB\r>\r"},          // not "*R"
        {"mpush \"x\"", ">\r"},                               // not the macro named "mpush"
        {"*sdload PICS", ">\r"},                               // not "*sdled"
        {"*ls", "OLD/\rREADME\r>\r"},                          // not "ls" (the image listings)
    });
    EXPECT_EQ(command("f?").rfind("M24\r", 0), 0u) << "\"f?\" is not the font list";
    EXPECT_EQ(command("lsmac").rfind("Macro Definitions\r", 0), 0u) << "\"lsmac\" is not the macro listing";
    Outcome dir = run("mdir -b -i " + card + " ::");
    EXPECT_NE(dir.out.find("MYTEST.INI"), std::string::npos) << "fopen wrote no mytest.ini:\n" << dir.out;
}

TEST(SystemCommands, FirmwareIdentificationFromTheRecord)
{
    sim::Board& b = fwtest::boot_to_prompt();
    EXPECT_EQ(visible(command("*firmware")), visible("\"????????\"\r>\r")) << "an erased identification";
    fwtest::on_firmware([] { std::memcpy(eepromData.firmwareId, "VLM\x01" "1.58", 8); });
    EXPECT_EQ(visible(command("*firmware")), visible("\"VLM?1.58\"\r>\r"));
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

TEST(SystemCommands, DriveStrengthOfThePads)
{
    sim::Board& b = fwtest::boot_to_prompt();
    EXPECT_EQ(command("*ds_high"), ">\r");
    EXPECT_EQ(b.sysctrl.reg(0x24), 0x55555555u) << "*ds_high did not set every pad group to high drive";
    EXPECT_EQ(command("*ds_norm"), ">\r");
    EXPECT_EQ(b.sysctrl.reg(0x24), 0u) << "*ds_norm did not set every pad group back to normal";
    EXPECT_EQ(command("*ds_high x"), "!\r") << "*ds_high takes no argument";
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

TEST(SystemCommands, GraphicsDiagnosticsGoToTheCommandPort)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    fwtest::on_firmware([] {
        GUI_X_Warn("\nlow memory");
        GUI_X_ErrorOut("bad font");
        GUI_X_Log("\n\ntwo");
    });
    b.machine.run_for(5 * sim::kMillisecond);
    std::string sent;
    for (size_t i = from; i < b.uart1.sent.size(); ++i)
        sent += static_cast<char>(b.uart1.sent[i].byte);
    EXPECT_EQ(visible(sent), visible(":GUI_WARN:low memory\r:GUI_ERR:bad font\r:GUI:\ntwo\r"));
}

TEST(SystemCommands, ResetRestartsThroughTheWatchdog)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "*RESET\r");
    b.machine.run_for(2 * sim::kSecond);
    EXPECT_EQ(b.machine.board_resets(), 1u) << "*RESET did not reset the board";
    EXPECT_TRUE(b.machine.firmware_returned()) << "the firmware ran on through a board reset";
    EXPECT_TRUE(b.watchdog.running()) << "the reset did not come from the watchdog";
    std::string sent;
    for (size_t i = from; i < b.uart1.sent.size(); ++i)
        sent += static_cast<char>(b.uart1.sent[i].byte);
    EXPECT_EQ(visible(sent), "") << "*RESET is taken by another keyword (\"*R\")";
}

}  // namespace
