// The card's folder commands on a card made by mkfs.fat and mtools (and
// checked by them afterwards), the keyword pairs whose order in the chain
// decides which command a line is, the firmware identification, the pads'
// drive strength, the graphics library's diagnostics and a restart through
// the watchdog on an in-process board.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
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

// A card taken out and put back faster than the debounce sees has lost its
// state: the first read after that fails (and the card is mounted again at
// the next main-loop pass).  A command whose folder could not be read
// answers "!", never as if the folder were empty or held no image file.
TEST(CardCommands, AFolderThatCouldNotBeReadIsAFailure)
{
    const std::string card = make_card();
    sim::Board& b = boot_with_card(card);
    const Case cases[] = {
        {"*ls", ":!SD Card: Time-Out Response Error\r!\r"},
        // Not the memory image in flash as if the folder held no image file.
        {"*LOAD", ":!SD Card: Time-Out Response Error\r:!SD Card: Time-Out Response Error\r"
                  ":!SD Card: Time-Out Response Error\r:loading 1KB bitmap/macro file from flash2\r!\r"},
    };
    for (const Case& c : cases) {
        // The folder's sector is not the one the file system holds.
        ASSERT_EQ(visible(command("*cd \\")), ">\\r");
        ASSERT_EQ(visible(command("*cd PICS")), ">\\r");
        b.card_present = false;
        b.machine.run_for(20 * sim::kMillisecond);
        b.card_present = true;
        b.machine.run_for(2 * sim::kMillisecond);  // the slot's switch shows the card again
        EXPECT_EQ(visible(command(c.line, 5 * sim::kSecond)), visible(c.reply))
            << "\"" << c.line << "\" right after the card was swapped";
        b.machine.run_for(20 * sim::kMillisecond);
        // Mounted again, at its root.
        EXPECT_EQ(visible(command("*ls")), visible("HELLO.TXT\rPICS/\r>\r"))
            << "the swapped card does not list again after \"" << c.line << "\"";
    }
}

std::string read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The clusters of a file or folder on a card, in the order of its chain, as
// mshowfat shows them ("<2> <33>", "<40-47>").
std::vector<uint32_t> clusters_of(const std::string& card, const std::string& dos_name)
{
    const std::string out = run("mshowfat -i " + card + " ::" + dos_name).out;
    std::vector<uint32_t> c;
    const std::regex run_re("<([0-9]+)(-([0-9]+))?>");
    for (std::sregex_iterator it(out.begin(), out.end(), run_re), end; it != end; ++it) {
        const uint32_t first = std::stoul((*it)[1]), last = (*it)[3].matched ? std::stoul((*it)[3]) : first;
        for (uint32_t k = first; k <= last; ++k)
            c.push_back(k);
    }
    return c;
}

// Points the FAT entry of cluster from at cluster to, in every FAT of a
// FAT16 volume: a damage no tool makes.
void link_cluster(const std::string& card, uint32_t from, uint32_t to)
{
    std::fstream f(card, std::ios::in | std::ios::out | std::ios::binary);
    uint8_t bpb[512];
    f.read((char*)bpb, sizeof bpb);
    const uint32_t reserved = bpb[0x0E] | bpb[0x0F] << 8, fats = bpb[0x10], fat_sectors = bpb[0x16] | bpb[0x17] << 8;
    const char entry[2] = {(char)to, (char)(to >> 8)};
    for (uint32_t k = 0; k < fats; ++k) {
        f.seekp((std::streamoff)(reserved + k * fat_sectors) * 512 + 2 * from);
        f.write(entry, 2);
    }
    ASSERT_TRUE(f.good());
}

// A damaged card: a folder whose cluster chain comes back into itself with
// no end mark, and a picture whose chain goes round inside its length.  No
// command follows such a chain for ever (the board would answer nothing,
// not even ESC, until the card left the slot): each refuses with "!", the
// next line is answered, and nothing is written to the damaged card.
TEST(CardCommands, ALoopingClusterChainIsRefusedNotFollowedForEver)
{
    const std::string card = tmp("loop.img");
    must("mkfs.fat -C -F 16 -s 1 -n VELMCARD " + card + " 16384 >/dev/null");
    // "." and ".." and 30 files fill two 512-byte clusters to the last entry.
    must("mmd -i " + card + " ::SUB");
    std::string files;
    for (int i = 10; i < 40; ++i) {
        const std::string f = tmp("F" + std::to_string(i) + ".TXT");
        must("printf x > " + f);
        files += " " + f;
    }
    must("mcopy -i " + card + files + " ::SUB/");
    must("convert -size 40x30 gradient:red-blue -type TrueColor BMP3:" + tmp("loop.bmp"));
    must("mcopy -i " + card + " " + tmp("loop.bmp") + " ::LOOP.BMP");
    const std::vector<uint32_t> sub = clusters_of(card, "SUB"), pic = clusters_of(card, "LOOP.BMP");
    ASSERT_EQ(sub.size(), 2u);
    ASSERT_GE(pic.size(), 6u);
    link_cluster(card, sub[1], sub[0]);  // the folder's second cluster leads back to its first
    link_cluster(card, pic[3], pic[1]);  // the picture's fourth cluster back to its second
    ASSERT_NE(run("fsck.fat -n " + card).status, 0) << "fsck.fat finds the damaged fixture sound";
    const std::string before = read_bytes(card);
    boot_with_card(card);
    run_cases({
        {"xif LOOP.BMP 0 0", ":cannot open SD card file \"LOOP.BMP\".\r!\r"},
        {"*cd SUB", ">\r"},
        {"*ls", "!\r"},
        {"xif NOPE.BMP 0 0", ":cannot open SD card file \"NOPE.BMP\".\r!\r"},
        {"*getScreenAsBMPFile", ":file VELM0000.BMP not created\r!\r"},
        {"fopen", "!\r"},
        {"*cd NOPE", ":SD Card, chdir(\"NOPE\") FAILED\r!\r"},
        {"*cd ..", ">\r"},
        {"*ls", "SUB/\rLOOP.BMP\r>\r"},
    });
    EXPECT_TRUE(read_bytes(card) == before) << "the damaged card was written to";
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
