// The firmware builds' boards, from their entries in the table of builds: the
// board an image runs on is that of its build.
#pragma once

#include <string>
#include <vector>

#include "build_wiring.h"

namespace sim::arm {

// Every build, in the order the arm tree lists them.
const std::vector<const BuildWiring*>& builds();
// The build of that name, or null.
const BuildWiring* find_build(const std::string& name);

}  // namespace sim::arm
