// The simulator program: one firmware build on the simulated board.
#include <cstdio>
#include <exception>
#include <string>

#include "board.h"
#include "config/build_config.h"
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
    try {
        sim::Board& board = sim::Board::create(opts.board);
        board.machine.set_irq_entry(irq_handler);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", build.c_str(), e.what());
        return 1;
    }
    std::fflush(stdout);
    sim::run_firmware_from_reset();
    return 0;
}
