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
