// Faults that the board's processor takes are reported with its registers
// and the address, never passed over: small images, assembled at test time
// with the ARM toolchain, that set the SDRAM up as the reset code does, put
// "b ." on every exception vector, load a recognisable value into r4 and
// then do one wrong thing.  Images that set the SDRAM up wrongly and then
// use it are reported by the SDRAM's model.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "arm/arm_board.h"
#include "arm/builds.h"
#include "arm/elf_image.h"
#include "devices/regfile.h"
#include "emu/programs.h"
#include "support/shell.h"

namespace {

using fwtest::SimulatorProgram;

struct Case {
    const char* what;
    const char* code;    // the wrong thing, in assembly
    const char* report;  // what the report must say
};

const std::vector<Case> kCases = {
    {"undefined instruction", ".word 0xE7F000F0", "undefined instruction 0xE7F000F0"},
    {"load where no memory is", "ldr r0, =0x30000000\n ldr r1, [r0]", "load32 at 0x30000000, an address nobody claims"},
    {"store where no device answers", "ldr r0, =0x10001000\n str r4, [r0]",
     "store32 of 0x1234ABCD at 0x10001000, where no device answers"},
    {"jump where no memory is", "ldr r0, =0x40000000\n bx r0", "instruction fetch at 0x40000000"},
};

// The image: from the flash window's start, as a board image begins.
std::string assemble(const std::string& dir, const std::string& sdram_set_up, const std::string& code)
{
    const std::string src = dir + "/fault.S", elf = dir + "/fault.elf";
    std::ofstream(src) << "    .arm\n"
                          "    .global _start\n"
                          "_start:\n"
                       << sdram_set_up
                       << "    ldr r0, =0xC0000000\n"   // the vectors at 0 with the MMU off
                          "    ldr r1, =0xEAFFFFFE\n"   // b .
                          "    mov r2, #8\n"
                          "1:  str r1, [r0], #4\n"
                          "    subs r2, r2, #1\n"
                          "    bne 1b\n"
                          "    ldr r4, =0x1234ABCD\n"
                       << "    " << code << "\n"
                       << "2:  b 2b\n"
                          "    .ltorg\n";
    fwtest::must(std::string(VELM_ARM_GCC) + " -nostdlib -Wl,-Ttext=0xC8020000 -Wl,--build-id=none -o " + elf +
                 " " + src);
    return elf;
}

// What arm-board said up to the first fault report (which ends with the
// processor's status registers).
std::string run_until_fault(const std::string& elf, const char* what)
{
    SimulatorProgram::Options o = emutest::image_of("velm5plus-wvga");
    o.args = {"--image", elf, "--build", "velm5plus-wvga"};
    o.http = false;
    SimulatorProgram arm(o);
    EXPECT_EQ(arm.problem(), "") << what << ": arm-board did not start";
    std::string report;
    for (auto end = fwtest::Clock::now() + std::chrono::seconds(30);
         fwtest::Clock::now() < end && report.find("cpsr") == std::string::npos;)
        report = arm.errors(std::chrono::milliseconds(200));
    EXPECT_TRUE(arm.running()) << what << ": the board went away instead of taking the exception";
    return report;
}

const std::string kSetUp = emutest::kSdramSetUp;

TEST(Faults, AreReportedWithTheRegistersAndTheAddress)
{
    char tmpl[] = "/tmp/velm-fault-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    for (const Case& c : kCases) {
        const std::string report = run_until_fault(assemble(dir, kSetUp, c.code), c.what);
        EXPECT_NE(report.find(c.report), std::string::npos) << c.what << " was not reported as such: " << report;
        EXPECT_NE(report.find("r4  1234ABCD"), std::string::npos) << c.what << ": no registers in " << report;
        EXPECT_EQ(report.find("SDRAM"), std::string::npos) << c.what << ": the SDRAM set-up was refused: " << report;
    }
    fwtest::run("rm -rf " + dir);
}

// After its set-up the SDRAM holds what is stored (the image reads r4 back
// into r5 and stops on an undefined instruction to show its registers);
// a set-up with a step left out or out of order, and any access before the
// set-up is complete, is reported.
TEST(Faults, SdramAnswersOnlyAfterItsSetUp)
{
    struct SetUpCase {
        const char* what;
        std::string set_up;
        const char* report;  // nullptr: the SDRAM works
    };
    const std::vector<SetUpCase> cases = {
        {"the set-up in order", kSetUp, nullptr},
        {"no set-up", "", "SDRAM: write at 0xC0000000 while the SDRAM controller is off"},
        {"no auto-refresh", std::string(emutest::kPrecharge) + emutest::kLoadMode + emutest::kNormal,
         "SDRAM: mode register loaded after 0 auto-refresh cycles"},
        {"no precharge", std::string(emutest::kRefresh) + emutest::kLoadMode + emutest::kNormal,
         "SDRAM: auto-refresh before the banks were precharged"},
        {"normal mode before the mode register", std::string(emutest::kPrecharge) + emutest::kRefresh + emutest::kNormal + emutest::kLoadMode,
         "SDRAMC: normal mode set before the SDRAM was set up"},
    };
    char tmpl[] = "/tmp/velm-sdram-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string code = "ldr r0, =0xC0001000\n str r4, [r0]\n ldr r5, [r0]\n .word 0xE7F000F0";
    for (const SetUpCase& c : cases) {
        const std::string report = run_until_fault(assemble(dir, c.set_up, code), c.what);
        if (c.report) {
            EXPECT_NE(report.find(c.report), std::string::npos) << c.what << " was not reported: " << report;
            EXPECT_EQ(report.find("r5  1234ABCD"), std::string::npos) << c.what << ": the SDRAM worked";
        } else {
            EXPECT_EQ(report.find("SDRAM"), std::string::npos) << c.what << " was refused: " << report;
            EXPECT_NE(report.find("r5  1234ABCD"), std::string::npos) << c.what << ": the SDRAM did not keep r4: "
                                                                      << report;
        }
    }
    fwtest::run("rm -rf " + dir);
}

// Each store the processor makes reaches the bus once, also one whose
// device stops the emulation: the store that completes the SDRAM set-up
// (the SDRAM answers as memory from then on) and a store where no device
// answers (the processor takes a data abort).  The bus trace of an image
// that makes both, on a board in this process, shows each of them once.
TEST(Faults, AStoreThatStopsTheEmulationIsMadeOnce)
{
    char tmpl[] = "/tmp/velm-once-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    sim::arm::ElfImage image;
    std::string error;
    ASSERT_TRUE(image.load(assemble(dir, kSetUp, "ldr r0, =0x10001000\n str r4, [r0]"), &error)) << error;
    sim::BoardOptions o;
    o.flash = dir + "/flash.bin";
    o.eeprom = dir + "/eeprom.bin";
    o.speed = sim::Speed::Max;
    sim::arm::ArmBoard arm(image, *sim::arm::find_build("velm5plus-wvga"), o);
    sim::Machine& m = arm.board.machine;
    m.quiet = true;
    m.tracing = true;
    arm.run_until(10 * sim::kMillisecond);
    struct Store {
        const char* what;
        uint32_t addr, value;
    };
    const Store stores[] = {
        {"precharge", 0xDF000000, 0x92120300},
        {"auto-refresh", 0xDF000000, 0xA2120300},
        {"load mode register", 0xDF000000, 0xB2120300},
        {"normal mode, which completes the set-up", 0xDF000000, 0x8212F339},
        {"the store where no device answers", 0x10001000, 0x1234ABCD},
    };
    for (const Store& s : stores) {
        int made = 0;
        for (const sim::Access& a : m.trace)
            made += a.write && a.addr == s.addr && a.value == s.value;
        EXPECT_EQ(made, 1) << s.what << ": the store of " << sim::hex32(s.value) << " at " << sim::hex32(s.addr)
                           << " reached the bus " << made << " times";
    }
    fwtest::run("rm -rf " + dir);
}

}  // namespace
