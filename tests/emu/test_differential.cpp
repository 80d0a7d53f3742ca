// The reference build's board image against its host build: one script of
// command lines through every subsystem, sent to both as a host sends it.
// The replies must be the same byte for byte, the screens pixel for pixel,
// and the screenshot each writes to its card the same file.
//
// The screenshot is a test of its own: the card driver paces every 16-bit
// word it writes with a busy-wait loop, so the image spends minutes of the
// host's time on a full screen's file, and the script need not wait for it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "emu/programs.h"
#include "support/image_builder.h"
#include "support/shell.h"

namespace {

using fwtest::CommandPort;
using fwtest::SimulatorProgram;

const char kBuild[] = "velm5plus-wvga";
// A line of the script: CHECK compares the screens there.
const char kCheck[] = "CHECK";

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What each subsystem does for a host, in the order a host might use it.
const std::vector<std::string> kScript = {
    // Drawing: shapes, pen sizes, colours, pixels.
    "z", "S FFFFFF 000000", "p 1", "d n",
    "r 10 10 200 100 1 F00", "r 210 10 400 100 3 0F0", "r 410 10 600 100 2", "l 0 0 799 479", "p 3",
    "l 0 479 799 0", "p 1", "c 400 240 100", "c 600 240 50 1", "e 100 300 80 40", "ef 300 300 60 30",
    "tr 500 400 600 450 550 470 00F", "pf 450 120 0 0 40 0 40 40 0 40", "pgr 30 650 120 0 0 60 0 60 30",
    "a 700 200 50 0 270", "pw 5 5 F81F", "pr 5 5", "d x", "r 100 50 300 70 1", "d n", "*CRC", kCheck,
    // Text in several fonts.
    "z", "f 8x16", "sc 10 10", "t \"Mono 8x16: 0123456789 ABC xyz\"", "f 12",
    "t \"Arial 12, anti-aliased: the quick brown fox\"", "f 24B", "sc 10 60", "t \"Bold 24 jumps\"",
    "f 10s", "sc 10 120", "t \"Small 10s\"", "ta cc", "sc 400 200", "f 16", "t \"centred 16\"", "ta ll",
    // Letters above 127: escaped, as bytes, and in UTF-8.
    "f 12", "t \"caf\\xE9 na\\xEFve \\xA9 25\\xB0C\" 10 300", "t \"r\xE9sum\xE9 \xFC\xDF\xF8\" 10 330",
    "t? \"\xE9t\xE9\"", "utf8 on", "t \"caf\xC3\xA9 \xE2\x82\xAC\" 10 360", "utf8 off", "*CRC", kCheck,
    // Bitmaps from the memory image: raw, RLE16, transparent.
    "z", "lsbmp", "xi 1 20 20", "xi 2 200 20", "xi 3 400 20", "xi 2 700 400", "*CRC", kCheck,
    // A macro with arguments, variables and arithmetic.
    "m1 4 5", "get i1", "get s1", "set i2 `(`i1`*3-7)`", "get i2", "set s2 \"`i2`/`(`i2`/4)`\"", "get s2",
    "m1 -9 -2", "get i1", "set i3 `(-7/2)`", "get i3", "set i4 `(`i1`*-3)`", "get i4", "set s3 \"\xE9t\xE9 \xFF\"",
    "get s3",
    // A strip chart, a level bar, a needle meter.
    "z", "cd 0 500 300 699 399 0 10 0 100 000 1 F00", "cv 0 10", "cv 0 50", "cv 0 90", "cv 0 30",
    "ld 0 760 300 779 399 0 0 0 00F 100 F00 50 0F0", "lv 0 75",
    "cd 1 500 100 699 199 0 10 -50 50 000 1 0F0", "cv 1 -20", "cv 1 40", "cv 1 -50", "cv 1 0",
    "ld 1 730 300 749 399 0 -100 0 00F 100 F00 -50 0F0", "lv 1 -30",
    "md 0 4 20 20 0 0 100 0 0 180 60 60 0 -6 50 0 0 6", "mv 0 30", "mv 0 77", "*CRC", kCheck,
    // A text window and a scroll box.
    "z", "f 12", "twd 0 10 380 300 470", "tw 0 \"first line of the window\"", "tw 0 \"second line\"",
    "twm 0 d", "std 1 0 320 380 480 470", "sta 1 \"box line one\"", "sta 1 \"box line two\"",
    "stp 1 \"before them\"", "*CRC", kCheck,
    // Save slots.
    "xi 1 20 20", "ws 20 20 139 99 1", "z", "wr 650 380 1", "wr 10 10 1", "*CRC", kCheck,
    // Pictures from the card.
    "z", "xif PIC.BMP 100 100", "xif SMALL.GIF 500 100", "*CRC", kCheck,
    // Settings kept in the EEPROM.
    "*config \"Hello\"", "vers", "*config \"\xC9t\xE9 \xFF\"", "vers", "typematic 75 20", "*orient 0", "*config",
};

// Both programs of the reference build with the same fixtures: a memory
// image with bitmaps and a macro in the flash, a card with a BMP file made
// by ImageMagick and a GIF file, each in a copy of its own.
class Differential : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/velm-diff-XXXXXX";
        dir_ = mkdtemp(tmpl);
        fwtest::TestBitmap raw, rle, trans, dial;
        raw.width = 120;
        raw.height = 80;
        raw.pixels = fwtest::test_pattern(120, 80, 11);
        rle.kind = fwtest::TestBitmap::Rle;
        rle.width = 90;
        rle.height = 60;
        for (int i = 0; i < 90 * 60; ++i)
            rle.pixels.push_back(static_cast<uint16_t>(0x1000 + ((i % 90) / 10 + i / 900) * 0x0841));
        trans = raw;
        trans.kind = fwtest::TestBitmap::Trans;
        trans.key = trans.pixels[0];
        dial.width = dial.height = 120;
        dial.pixels.assign(120 * 120, 0x39E7);
        const std::vector<fwtest::TestMacro> macros = {
            {1, "calc", {"set i1 `(`0`*3+`1`)`", "set s1 \"sum `i1` of `0` and `1`\"", "sc 10 440", "t \"`s1`\""}}};
        image_ = fwtest::build_image({raw, rle, trans, dial}, macros);
        fwtest::must("convert -size 200x120 gradient:red-blue -seed 5 -attenuate 0.5 +noise Uniform "
                     "-type TrueColor " + dir_ + "/pic.bmp");
        fwtest::must("convert -size 60x40 gradient:yellow-green " + dir_ + "/small.gif");
        fwtest::must("mkfs.fat -C -F 16 -s 2 -n VELMCARD " + dir_ + "/card.img 16384 >/dev/null");
        fwtest::must("mcopy -o -i " + dir_ + "/card.img " + dir_ + "/pic.bmp ::PIC.BMP");
        fwtest::must("mcopy -o -i " + dir_ + "/card.img " + dir_ + "/small.gif ::SMALL.GIF");
        // Each command port is held from the moment its program is up: what
        // a board sends while no host holds its port is lost.  At full speed
        // the host build is through its start-up before a host could take
        // the port.
        arm_ = std::make_unique<SimulatorProgram>(fixtures(emutest::image_of(kBuild), "arm"));
        arm_port_ = std::make_unique<CommandPort>(arm_->uart_port());
        auto host = emutest::host_build_of(kBuild);
        host.speed = "realtime";
        host_ = std::make_unique<SimulatorProgram>(fixtures(host, "host"));
        host_port_ = std::make_unique<CommandPort>(host_->uart_port());
        ASSERT_EQ(arm_->problem(), "") << "arm-board did not start";
        ASSERT_EQ(host_->problem(), "") << "the host build did not start";
        const std::string arm_start = arm_port_->read(fwtest::ends_with_prompt, std::chrono::seconds(120));
        ASSERT_EQ(arm_start, host_port_->read(fwtest::ends_with_prompt, std::chrono::seconds(120)))
            << "the start-up texts differ";
        ASSERT_NE(arm_start.find(">\r"), std::string::npos) << "the image did not start: " << arm_start;
    }

    void TearDown() override
    {
        arm_port_.reset();
        host_port_.reset();
        arm_.reset();
        host_.reset();
        fwtest::run("rm -rf " + dir_);
    }

    fwtest::SimulatorProgram::Options fixtures(fwtest::SimulatorProgram::Options o, const std::string& who)
    {
        o.flash = dir_ + "/" + who + "-flash.bin";
        o.sd = dir_ + "/" + who + "-card.img";
        std::ofstream f(o.flash, std::ios::binary);
        f << std::string(0x400000, '\xFF');
        f.write(reinterpret_cast<const char*>(image_.data()), static_cast<std::streamsize>(image_.size()));
        fwtest::must("cp " + dir_ + "/card.img " + o.sd);
        return o;
    }

    // Sends the lines to both, each after the prompt of the one before,
    // and compares the replies and, at each CHECK, the screens.
    void run_script(const std::vector<std::string>& script, std::chrono::milliseconds limit)
    {
        int checkpoint = 0;
        for (const std::string& line : script) {
            if (line == kCheck) {
                EXPECT_EQ(emutest::until_screens_agree(*arm_, *host_), "")
                    << "the screens differ at checkpoint " << checkpoint;
                ++checkpoint;
                continue;
            }
            const std::string want = host_port_->command(line, limit);
            EXPECT_EQ(arm_port_->command(line, limit), want) << "the image answers \"" << line << "\" otherwise";
        }
    }

    std::string dir_;
    std::vector<uint8_t> image_;
    std::unique_ptr<SimulatorProgram> arm_, host_;
    std::unique_ptr<CommandPort> arm_port_, host_port_;
};

TEST_F(Differential, OneScriptGivesTheSameRepliesAndScreensOnTheImageAndTheHostBuild)
{
    run_script(kScript, std::chrono::seconds(60));
    EXPECT_EQ(emutest::until_screens_agree(*arm_, *host_), "") << "the screens differ at the end";
    EXPECT_EQ(arm_->errors(), "") << "arm-board reported problems";
}

TEST_F(Differential, ScreenshotsOnTheCardsAreTheSameFile)
{
    run_script({"z", "xi 1 20 20", "xi 2 200 20", "f 24B", "sc 10 200", "t \"screenshot\"", "c 400 300 100 1",
                "xif PIC.BMP 500 300", kCheck, "*getScreenAsBMPFile"},
               std::chrono::minutes(15));
    arm_->stop();
    host_->stop();
    for (const char* who : {"arm", "host"})
        fwtest::must("mcopy -n -i " + dir_ + "/" + who + "-card.img ::VELM0000.BMP " + dir_ + "/" + who + "-shot.bmp");
    const std::string shot = read_file(dir_ + "/host-shot.bmp");
    EXPECT_GT(shot.size(), 800u * 480u * 2u) << "the host build wrote no screenshot";
    EXPECT_TRUE(read_file(dir_ + "/arm-shot.bmp") == shot) << "the screenshots on the cards differ";
    EXPECT_EQ(arm_->errors(), "") << "arm-board reported problems";
}

}  // namespace
