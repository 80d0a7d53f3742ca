// The reference build's board image against its host build: one script of
// command lines through every subsystem, sent to both as a host sends it.
// The replies must be the same byte for byte, the screens pixel for pixel,
// and the screenshot each writes to its card the same file.
//
// The board tests' table of lines with numbers at the ends of 32 bits
// goes the same way, a family at a time.
//
// The screenshot is a test of its own: a full screen's file takes the board
// about a minute (the card driver paces every 16-bit word it writes), so
// the script need not wait for it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "emu/command_script.h"
#include "emu/programs.h"
#include "support/number_table.h"
#include "support/shell.h"

namespace {

using fwtest::CommandPort;
using fwtest::SimulatorProgram;
using emutest::kCheck;

const char kBuild[] = "velm5plus-wvga";

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Both programs of the reference build with the same fixtures: a memory
// image with bitmaps and a macro in the flash, a card with a BMP file made
// by ImageMagick and a GIF file, each in a copy of its own.
class Differential : public testing::Test {
protected:
    void SetUp() override
    {
        start([](const std::string& dir) {
            emutest::make_script_card(dir);
            return emutest::script_memory_image();
        });
    }

    // Starts both programs, each with the memory image in its flash and a
    // copy of the card (dir/card.img) that make_fixtures makes.
    void start(std::vector<uint8_t> (*make_fixtures)(const std::string& dir))
    {
        char tmpl[] = "/tmp/velm-diff-XXXXXX";
        dir_ = mkdtemp(tmpl);
        image_ = make_fixtures(dir_);
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
        emutest::write_flash(o.flash, image_);
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
    run_script(emutest::kScript, std::chrono::seconds(60));
    EXPECT_EQ(emutest::until_screens_agree(*arm_, *host_), "") << "the screens differ at the end";
    EXPECT_EQ(arm_->errors(), "") << "arm-board reported problems";
}

// The board tests' lines with numbers at the ends of 32 bits and past them
// (support/number_table.h), a family on each pair of programs: all that
// each answers to a form's lines is the same, and so are the screens after
// them.  The forms that vary between builds (time-outs, timings, the C
// library's random numbers) are left to the board tests.
class NumberDifferential : public Differential, public testing::WithParamInterface<fwtest::NumberFamily> {
protected:
    void SetUp() override { start(fwtest::make_number_fixtures); }

    // Everything port answers to the cases' lines, up to the answer to a
    // "vers" after them; each line's reply starts at the offset noted.
    static std::string answers(CommandPort& port, const std::vector<fwtest::NumberCase>& cases,
                               std::vector<std::pair<size_t, std::string>>* starts)
    {
        std::string all;
        for (const fwtest::NumberCase& c : cases)
            for (const std::string& line : c.lines) {
                if (starts)
                    starts->push_back({all.size(), line});
                all += port.command(line, std::chrono::seconds(60));
            }
        // A reply cut short at a prompt inside its text leaves the rest for
        // the next line: all of it is in by the answer to "vers".
        std::string last = port.command("vers");
        if (last.find("VELM5-PLUS") == std::string::npos)
            last += port.read(
                [](const std::string& s) {
                    return s.find("VELM5-PLUS") != std::string::npos && fwtest::ends_with_prompt(s);
                },
                std::chrono::seconds(60));
        return all + last;
    }
};

TEST_P(NumberDifferential, TheImageAndTheHostBuildAnswerAndDrawAlike)
{
    for (const std::string& form : GetParam().forms) {
        const std::vector<fwtest::NumberCase> cases = fwtest::number_cases(GetParam(), form);
        std::vector<std::pair<size_t, std::string>> starts;
        const std::string want = answers(*host_port_, cases, &starts);
        const std::string got = answers(*arm_port_, cases, nullptr);
        if (got != want) {
            size_t at = 0;
            while (at < got.size() && at < want.size() && got[at] == want[at])
                ++at;
            std::string line;
            for (const auto& [offset, l] : starts)
                if (offset <= at)
                    line = l;
            EXPECT_EQ(got.substr(at, 120), want.substr(at, 120))
                << "the image answers otherwise from about \"" << line << "\" on";
        }
        EXPECT_EQ(emutest::until_screens_agree(*arm_, *host_), "")
            << "the screens differ after the lines of \"" << form << "\"";
    }
    EXPECT_EQ(arm_->errors(), "") << "arm-board reported problems";
}

INSTANTIATE_TEST_SUITE_P(Families, NumberDifferential, testing::ValuesIn(fwtest::number_families()),
                         [](const testing::TestParamInfo<fwtest::NumberFamily>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(Differential, ScreenshotsOnTheCardsAreTheSameFile)
{
    run_script(emutest::kScreenshotScript, std::chrono::minutes(15));
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
