// The simulator program: one firmware build on the simulated board.
#include <cstdio>
#include <exception>
#include <string>

#include "board.h"
#include "config/build_config.h"
#include "farend.h"
#include "firmware_entry.h"
#include "options.h"

int main(int argc, char** argv)
{
    const std::string build = VELM_BUILD_NAME;
    sim::ProgramOptions opts;
    std::string error;
    if (!sim::parse_options(argc, argv, build, &opts, &error)) {
        std::fprintf(stderr, "%s: %s\n\n%s", build.c_str(), error.c_str(), sim::usage(build).c_str());
        return 2;
    }
    if (opts.help) {
        std::fputs(sim::usage(build).c_str(), stdout);
        return 0;
    }
    std::unique_ptr<sim::FarEnd> far1, far2;
    try {
        sim::Board& board = sim::Board::create(opts.board);
        sim::wire_board_for_build(board);
        far1 = sim::open_far_end(opts.uart1, board.uart1, board.machine, &error);
        if (far1)
            far2 = sim::open_far_end(opts.uart2, board.uart2, board.machine, &error);
        if (!far1 || !far2) {
            std::fprintf(stderr, "%s: %s\n", build.c_str(), error.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", build.c_str(), e.what());
        return 1;
    }
    std::printf("uart1 %s\nuart2 %s\n", far1->where().c_str(), far2->where().c_str());
    std::fflush(stdout);
    sim::run_firmware_from_reset();
    return 0;
}
