// The board's frame buffer is cached write-back, and the LCD controller
// reads SDRAM, not the cache: what a command draws must be cleaned out of
// the data cache before the host hears the command's prompt.  The emulated
// processor has no cache, so arm-board counts the firmware's cleans and the
// test keeps the picture as each clean found it: that is what the panel
// shows on the board.  At each prompt the panel must show what the frame
// buffer holds, so nothing was stored there after the last clean.  The
// board image runs here in this test's own process, its command port
// spoken to byte by byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "arm/arm_board.h"
#include "arm/builds.h"
#include "arm/elf_image.h"
#include "emu/command_script.h"
#include "support/image_builder.h"
#include "support/shell.h"

namespace {

enum class Expect {
    Draws,    // a clean runs before the prompt
    Quiet,    // draws nothing: no clean
    Later,    // the main loop draws on after the prompt (an animation, a GIF player)
    Settled,  // after a Later line: what the main loop drew was cleaned too
};

struct Case {
    const char* line;
    Expect expect;
};

// Every kind of drawing a host can ask for, each onto a screen where it
// changes something.  Bitmaps of the memory image: 1 raw, 2 RLE16, 3
// transparent, 4 a raw knob, 5 an RLE16 knob, 6 an animated GIF, 7 a raw
// dial; macro 1 draws RLE16 bitmaps.
const Case kCases[] = {
    {"r 10 10 60 40 1", Expect::Draws},
    {"l 0 0 100 100", Expect::Draws},
    {"vers", Expect::Quiet},
    {"r 200 200 201 201 1", Expect::Draws},  // a few pixels: a small change, as likely to stay in the cache as any
    // Bitmaps of every kind, whole, placed, clipped and in strips.
    {"z", Expect::Draws},
    {"xi 1 10 10", Expect::Draws},
    {"xi 2 10 100", Expect::Draws},
    {"xi 3 10 200", Expect::Draws},
    {"xit 1 300 10 0000", Expect::Draws},
    {"xim 2 500 100", Expect::Draws},
    {"xic 2 300 200 10 10 100 40", Expect::Draws},
    {"xic 1 300 300 5 5 60 50", Expect::Draws},
    {"xic 3 450 300 5 5 60 50", Expect::Draws},
    {"xio 1 600 300 0 40 10", Expect::Draws},
    {"xi 6 700 400", Expect::Draws},
    {"zs 2", Expect::Draws},
    {"xi 5 400 400", Expect::Draws},
    // Pictures from the card.
    {"z", Expect::Draws},
    {"xif PIC.BMP 100 100", Expect::Draws},
    {"xif SMALL.GIF 400 100", Expect::Draws},
    {"xif PIC.JPG 500 250", Expect::Draws},
    // Text, text windows and scroll boxes.
    {"f 24B", Expect::Quiet},
    {"t \"cached\" 10 400", Expect::Draws},
    {"f 8x16", Expect::Quiet},
    {"twd 0 10 300 300 380", Expect::Draws},
    {"tw 0 \"a line of the window\"", Expect::Draws},
    {"std 1 0 400 380 600 470", Expect::Draws},
    {"sta 1 \"box line\"", Expect::Draws},
    // Pixels, save slots and scrolling.
    {"pw 5 5 F81F", Expect::Draws},
    {"pr 5 5", Expect::Quiet},
    {"ws 100 100 219 199 1", Expect::Quiet},
    {"wr 600 20 1", Expect::Draws},
    {"k 600 20 719 119 7 L", Expect::Draws},
    {"k 100 100 219 199 9 u", Expect::Draws},
    // Objects: buttons, sliders and charts on RLE16 bitmaps, level bars,
    // meters, built-in buttons.
    {"z", Expect::Draws},
    {"bdc 0 20 20 0 2 2 \"B\"", Expect::Draws},
    {"sl 200 2 300 100 5 5 1 0 0 100 0", Expect::Draws},
    {"sv 200 70", Expect::Draws},
    {"cdb 0 20 300 10 0 100 2 1 F00", Expect::Draws},
    {"cv 0 50", Expect::Draws},
    {"cv 0", Expect::Draws},
    {"ld 0 760 300 779 399 0 0 0 00F 100 F00 50 0F0", Expect::Quiet},
    {"lv 0 75", Expect::Draws},
    {"md 0 7 500 300 0 0 100 0 0 180 60 60 0 -6 50 0 0 6", Expect::Draws},
    {"mv 0 30", Expect::Draws},
    {"i 1 600 20", Expect::Draws},
    // Macros.
    {"z", Expect::Draws},
    {"m1", Expect::Draws},
    // Animations and the GIF player draw from the main loop.
    {"z", Expect::Draws},
    {"ani 0 xi 2 300 100", Expect::Quiet},
    {"ani 0 y 100", Expect::Quiet},
    {"ani 0 xi 5 600 300", Expect::Quiet},
    {"ani 0 y 100", Expect::Quiet},
    {"anie 0", Expect::Later},
    {"anid 0", Expect::Settled},
    {"agif 0 6 100 300 2", Expect::Later},
    {"vers", Expect::Settled},
};

std::vector<uint8_t> file_bytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::vector<uint8_t> memory_image(const std::string& dir)
{
    fwtest::TestBitmap raw, rle, trans, knob, rle_knob, gif, dial;
    raw.width = 120;
    raw.height = 80;
    raw.pixels = fwtest::test_pattern(120, 80, 3);
    rle.kind = fwtest::TestBitmap::Rle;
    rle.width = 200;
    rle.height = 60;
    rle.pixels = fwtest::screen_pattern(200, 60);
    trans = raw;
    trans.kind = fwtest::TestBitmap::Trans;
    trans.key = trans.pixels[0];
    knob.width = 20;
    knob.height = 30;
    knob.pixels.assign(20 * 30, 0xF800);
    rle_knob = knob;
    rle_knob.kind = fwtest::TestBitmap::Rle;
    rle_knob.pixels.assign(20 * 30, 0x07FF);
    fwtest::must("convert -size 40x30 -delay 5 xc:red xc:blue -loop 0 " + dir + "/anim.gif");
    gif.kind = fwtest::TestBitmap::Gif;
    gif.bytes = file_bytes(dir + "/anim.gif");
    dial.width = dial.height = 120;
    dial.pixels = fwtest::test_pattern(120, 120, 9);
    const std::vector<fwtest::TestMacro> macros = {{1, "rle", {"xi 2 400 300", "xi 5 650 20"}}};
    return fwtest::build_image({raw, rle, trans, knob, rle_knob, gif, dial}, macros);
}

TEST(DataCache, IsCleanedAfterADrawingCommandBeforeItsPrompt)
{
    sim::arm::ElfImage image;
    std::string error;
    ASSERT_TRUE(image.load(std::string(VELM_ARM_IMAGES) + "/velm5plus-wvga.elf", &error)) << error;
    const sim::BuildWiring* build = sim::arm::find_build(image.build());
    ASSERT_NE(build, nullptr);
    ASSERT_NE(image.symbol(sim::arm::ArmCpu::kCacheCleanRoutine), 0u)
        << "the image has no " << sim::arm::ArmCpu::kCacheCleanRoutine;
    char dir_template[] = "/tmp/velm-cache-XXXXXX";
    const std::string dir = mkdtemp(dir_template);
    emutest::write_flash(dir + "/flash.bin", memory_image(dir));
    emutest::make_script_card(dir);
    fwtest::must("convert -size 160x120 gradient:green-blue " + dir + "/pic.jpg");
    fwtest::put_on_card(dir + "/card.img", dir + "/pic.jpg", "PIC.JPG");
    sim::BoardOptions o;
    o.flash = dir + "/flash.bin";
    o.eeprom = dir + "/eeprom.bin";
    o.sd = dir + "/card.img";
    o.speed = sim::Speed::Max;
    sim::arm::ArmBoard arm(image, *build, o);
    arm.board.machine.quiet = true;
    sim::Uart& port = arm.board.uart1;

    // The panel as the last clean left it, and at the prompt's '>': the
    // cleans counted and whether the panel then showed the frame buffer.
    std::vector<uint32_t> shown;
    arm.cpu.on_cache_clean = [&] { shown = arm.board.lcdc.picture().rgb; };
    uint64_t at_prompt = 0;
    size_t stale_at_prompt = 0;
    port.add_listener([&](uint8_t b) {
        if (b != '>')
            return;
        at_prompt = arm.cpu.cache_cleans();
        const std::vector<uint32_t> now = arm.board.lcdc.picture().rgb;
        stale_at_prompt = 0;
        for (size_t i = 0; i < now.size(); ++i)
            stale_at_prompt += i >= shown.size() || now[i] != shown[i];
    });
    const auto until_prompt = [&](size_t from) {
        arm.run_until(arm.board.machine.now() + 60 * sim::kSecond, [&] {
            const std::string t = port.sent_text(from);
            return t.size() >= 2 && t.back() == '\r' && (t[t.size() - 2] == '>' || t[t.size() - 2] == '!');
        });
        return port.sent_text(from);
    };
    ASSERT_NE(until_prompt(0).find(">\r"), std::string::npos) << "no prompt after start-up";
    EXPECT_GT(arm.cpu.cache_cleans(), 0u) << "the start-up screen was never cleaned out of the cache";
    EXPECT_EQ(stale_at_prompt, 0u) << "the start-up screen was not all cleaned out of the cache";

    for (const Case& c : kCases) {
        const uint64_t before = arm.cpu.cache_cleans();
        const size_t from = port.sent.size();
        port.receive(std::string(c.line) + "\r");
        const std::string reply = until_prompt(from);
        ASSERT_EQ(reply.substr(reply.size() - 2), ">\r") << c.line << " answered " << reply;
        if (c.expect == Expect::Draws)
            EXPECT_GT(at_prompt, before) << "\"" << c.line << "\" drew, and its prompt came before a clean";
        if (c.expect == Expect::Quiet)
            EXPECT_EQ(at_prompt, before) << "\"" << c.line << "\" drew nothing, yet the cache was cleaned";
        if (c.expect == Expect::Later)
            arm.run_until(arm.board.machine.now() + sim::kSecond);
        else
            EXPECT_EQ(stale_at_prompt, 0u) << "at the prompt of \"" << c.line << "\" the panel still lacks "
                                           << stale_at_prompt << " pixels stored after the last clean";
    }
    // An idle board draws nothing and cleans nothing.
    const uint64_t idle = arm.cpu.cache_cleans();
    arm.run_until(arm.board.machine.now() + 2 * sim::kSecond);
    EXPECT_EQ(arm.cpu.cache_cleans(), idle) << "the idle main loop cleans the cache";
    fwtest::run("rm -rf " + dir);
}

}  // namespace
