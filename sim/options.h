// Command line of the simulator program.
#pragma once

#include <string>

#include "board.h"

namespace sim {

struct ProgramOptions {
    BoardOptions board;
    std::string uart1 = "pty";
    std::string uart2 = "pty";
    int http_port = 8077;
    bool help = false;
};

// Parses argv; on a bad option returns false with a message in error.
bool parse_options(int argc, char** argv, const std::string& build, ProgramOptions* out, std::string* error);
std::string usage(const std::string& build);
// Default folder for a build's flash and EEPROM files.
std::string state_folder(const std::string& build);

}  // namespace sim
