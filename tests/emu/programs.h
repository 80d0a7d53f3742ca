// The two ways the emu tests run a firmware build on the simulated board:
// its board image under ARM926 emulation (arm-board --image
// build/arm/bin/<build>.elf) and its host build (build/host/bin/<build>),
// both as a user starts them, at full speed.
#pragma once

#include <string>
#include <vector>

#include "arm/builds.h"
#include "support/simulator_program.h"

namespace emutest {

// Test images assembled with the ARM toolchain set the SDRAM up as the
// board's reset code does before they use it.
// The SDRAM controller's commands, each followed by the access that makes
// the SDRAM carry it out.
inline const char* const kPrecharge = "    ldr r0, =0xDF000000\n ldr r1, =0x92120300\n str r1, [r0]\n"
                               "    ldr r2, =0xC0200000\n ldr r3, [r2]\n";
inline const char* const kRefresh = "    ldr r0, =0xDF000000\n ldr r1, =0xA2120300\n str r1, [r0]\n"
                             "    ldr r2, =0xC0000000\n mov r3, #8\n"
                             "1:  ldr r5, [r2]\n subs r3, r3, #1\n bne 1b\n";
inline const char* const kLoadMode = "    ldr r0, =0xDF000000\n ldr r1, =0xB2120300\n str r1, [r0]\n"
                              "    ldr r2, =0xC0119800\n ldr r3, [r2]\n";
inline const char* const kNormal = "    ldr r0, =0xDF000000\n ldr r1, =0x8212F339\n str r1, [r0]\n";

// The four in the order the board's reset code gives them.
inline const std::string kSdramSetUp = std::string(kPrecharge) + kRefresh + kLoadMode + kNormal;

inline fwtest::SimulatorProgram::Options image_of(const std::string& build)
{
    fwtest::SimulatorProgram::Options o;
    o.program = VELM_ARM_BOARD;
    o.args = {"--image", std::string(VELM_ARM_IMAGES) + "/" + build + ".elf"};
    o.speed = "max";
    return o;
}

inline fwtest::SimulatorProgram::Options host_build_of(const std::string& build)
{
    fwtest::SimulatorProgram::Options o;
    o.program = std::string(VELM_HOST_PROGRAMS) + "/" + build;
    o.speed = "max";
    return o;
}

inline std::vector<std::string> build_names()
{
    std::vector<std::string> names;
    for (const sim::BuildWiring* b : sim::arm::builds())
        names.push_back(b->name);
    return names;
}

// The first pixel where two pictures differ, "" when they are the same.
std::string first_difference(const fwtest::Bmp& got, const fwtest::Bmp& want);

// Fetches both programs' /screen.bmp until they show the same picture (the
// panel page publishes the picture a little after the board draws it) or
// the time is up; returns the last difference, "" when they agree.
std::string until_screens_agree(fwtest::SimulatorProgram& a, fwtest::SimulatorProgram& b);

}  // namespace emutest
