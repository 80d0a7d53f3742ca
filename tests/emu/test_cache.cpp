// The board's frame buffer is cached write-back, and the LCD controller
// reads SDRAM, not the cache: what a command draws must be cleaned out of
// the data cache before the host hears the command's prompt.  The emulated
// processor has no cache, so arm-board counts the firmware's cleans; the
// board image runs here in this test's own process, its command port spoken
// to byte by byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "arm/arm_board.h"
#include "arm/builds.h"
#include "arm/elf_image.h"
#include "support/shell.h"

namespace {

struct Case {
    const char* line;
    bool draws;
};

const Case kCases[] = {
    {"r 10 10 60 40 1", true},
    {"l 0 0 100 100", true},
    {"vers", false},
    {"r 200 200 201 201 1", true},  // a few pixels: a small change, as likely to stay in the cache as any
};

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
    sim::BoardOptions o;
    o.flash = dir + "/flash.bin";
    o.eeprom = dir + "/eeprom.bin";
    o.speed = sim::Speed::Max;
    sim::arm::ArmBoard arm(image, *build, o);
    arm.board.machine.quiet = true;
    sim::Uart& port = arm.board.uart1;

    // The cleans counted when the prompt's '>' reached the host.
    uint64_t at_prompt = 0;
    port.add_listener([&](uint8_t b) {
        if (b == '>')
            at_prompt = arm.cpu.cache_cleans();
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

    for (const Case& c : kCases) {
        const uint64_t before = arm.cpu.cache_cleans();
        const size_t from = port.sent.size();
        port.receive(std::string(c.line) + "\r");
        const std::string reply = until_prompt(from);
        ASSERT_EQ(reply.substr(reply.size() - 2), ">\r") << c.line;
        if (c.draws)
            EXPECT_GT(at_prompt, before) << "\"" << c.line << "\" drew, and its prompt came before a clean";
        else
            EXPECT_EQ(at_prompt, before) << "\"" << c.line << "\" drew nothing, yet the cache was cleaned";
    }
    // An idle board draws nothing and cleans nothing.
    const uint64_t idle = arm.cpu.cache_cleans();
    arm.run_until(arm.board.machine.now() + 2 * sim::kSecond);
    EXPECT_EQ(arm.cpu.cache_cleans(), idle) << "the idle main loop cleans the cache";
    fwtest::run("rm -rf " + dir);
}

}  // namespace
