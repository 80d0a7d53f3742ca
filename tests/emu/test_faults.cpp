// Faults that the board's processor takes are reported with its registers
// and the address, never passed over: small images, assembled at test time
// with the ARM toolchain, that put "b ." on every exception vector, load a
// recognisable value into r4 and then do one wrong thing.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

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
std::string assemble(const std::string& dir, const Case& c)
{
    const std::string src = dir + "/fault.S", elf = dir + "/fault.elf";
    std::ofstream(src) << "    .arm\n"
                          "    .global _start\n"
                          "_start:\n"
                          "    ldr r0, =0xC0000000\n"   // the vectors at 0 with the MMU off
                          "    ldr r1, =0xEAFFFFFE\n"   // b .
                          "    mov r2, #8\n"
                          "1:  str r1, [r0], #4\n"
                          "    subs r2, r2, #1\n"
                          "    bne 1b\n"
                          "    ldr r4, =0x1234ABCD\n"
                       << "    " << c.code << "\n"
                       << "2:  b 2b\n"
                          "    .ltorg\n";
    fwtest::must(std::string(VELM_ARM_GCC) + " -nostdlib -Wl,-Ttext=0xC8020000 -Wl,--build-id=none -o " + elf +
                 " " + src);
    return elf;
}

TEST(Faults, AreReportedWithTheRegistersAndTheAddress)
{
    char tmpl[] = "/tmp/velm-fault-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    for (const Case& c : kCases) {
        SimulatorProgram::Options o = emutest::image_of("velm5plus-wvga");
        o.args = {"--image", assemble(dir, c), "--build", "velm5plus-wvga"};
        o.http = false;
        SimulatorProgram arm(o);
        ASSERT_EQ(arm.problem(), "") << c.what << ": arm-board did not start";
        std::string report;
        for (auto end = fwtest::Clock::now() + std::chrono::seconds(30);
             fwtest::Clock::now() < end && report.find("cpsr") == std::string::npos;)
            report = arm.errors(std::chrono::milliseconds(200));
        EXPECT_NE(report.find(c.report), std::string::npos) << c.what << " was not reported as such: " << report;
        EXPECT_NE(report.find("r4  1234ABCD"), std::string::npos) << c.what << ": no registers in " << report;
        EXPECT_TRUE(arm.running()) << c.what << ": the board went away instead of taking the exception";
    }
    fwtest::run("rm -rf " + dir);
}

}  // namespace
