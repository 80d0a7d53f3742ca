// The simulator program: one firmware build on the simulated board.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "board.h"
#include "firmware_entry.h"
#include "front_ends.h"
#include "options.h"

int main(int argc, char** argv)
{
    const sim::ProgramKind kind{sim::this_build().name, false};
    sim::ProgramOptions opts;
    int exit_code = 0;
    if (!sim::read_command_line(argc, argv, kind, &opts, &exit_code))
        return exit_code;
    std::string error;
    sim::default_files(kind.name, &opts);
    // A host or a page that goes away must not end the board: writes to its
    // socket fail instead.
    std::signal(SIGPIPE, SIG_IGN);
    sim::FrontEnds front;
    try {
        sim::Board& board = sim::Board::create(opts.board);
        sim::wire_board_for_build(board);
        if (!sim::open_front_ends(board, opts, sim::this_build(), kind.name, argv, &front, &error)) {
            std::fprintf(stderr, "%s: %s\n", kind.name.c_str(), error.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", kind.name.c_str(), e.what());
        return 1;
    }
    sim::run_firmware_from_reset();
    return 0;
}
