// Command line of the simulator programs: build/host/bin/<build>, which runs
// its own firmware build, and arm-board, which runs a board image of the
// arm tree (--image, and --build when the image does not say).
#pragma once

#include <string>

#include "board.h"

namespace sim {

// Which of the two programs reads the command line.
struct ProgramKind {
    std::string name;         // as the usage text names it
    bool takes_image = false; // arm-board: --image FILE, --build NAME
};

// A listening port that the system picks (tcp:auto, --http auto).
constexpr int kAnyPort = -1;

struct ProgramOptions {
    BoardOptions board;
    std::string uart1 = "pty";
    std::string uart2 = "pty";
    int http_port = 8077;  // 0: no panel page; kAnyPort: one the system picks
    bool http_named = false;  // --http was given: a port that is taken ends the program
    std::string image;  // arm-board: the board image (.elf)
    std::string build;  // arm-board: the build, when the image does not name it
    bool help = false;
};

// Parses argv; on a bad option returns false with a message in error.  The
// flash and EEPROM files stay empty unless given (default_files fills them).
bool parse_options(int argc, char** argv, const ProgramKind& kind, ProgramOptions* out, std::string* error);
// The flash and EEPROM files that were not given: the build's files in the
// user's state folder.
void default_files(const std::string& build, ProgramOptions* o);
std::string usage(const ProgramKind& kind);
// The program's start: parses argv; false when the program is to end at
// once with *exit_code (after the usage text for --help, or a message and
// the usage text on standard error for a bad option).
bool read_command_line(int argc, char** argv, const ProgramKind& kind, ProgramOptions* out, int* exit_code);
// Default folder for a build's flash and EEPROM files.
std::string state_folder(const std::string& build);

}  // namespace sim
