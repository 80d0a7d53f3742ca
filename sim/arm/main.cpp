// arm-board: a board image of the arm tree on the simulated board, under
// ARM926 emulation, with the simulator program's options and lines.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "arm/arm_board.h"
#include "arm/builds.h"
#include "arm/elf_image.h"
#include "front_ends.h"
#include "options.h"

namespace {

std::string build_names()
{
    std::string names;
    for (const sim::BuildWiring* b : sim::arm::builds())
        names += (names.empty() ? "" : ", ") + std::string(b->name);
    return names;
}

}  // namespace

int main(int argc, char** argv)
{
    const sim::ProgramKind kind{"arm-board", true};
    sim::ProgramOptions opts;
    int exit_code = 0;
    if (!sim::read_command_line(argc, argv, kind, &opts, &exit_code))
        return exit_code;
    std::string error;
    sim::arm::ElfImage image;
    if (!image.load(opts.image, &error)) {
        std::fprintf(stderr, "%s: %s\n", kind.name.c_str(), error.c_str());
        return 1;
    }
    const std::string name = opts.build.empty() ? image.build() : opts.build;
    const sim::BuildWiring* build = sim::arm::find_build(name);
    if (!build) {
        std::fprintf(stderr, "%s: %s; --build names one of: %s\n", kind.name.c_str(),
                     name.empty() ? ("the image " + opts.image + " does not name its build").c_str()
                                  : ("no build is called " + name).c_str(),
                     build_names().c_str());
        return 2;
    }
    sim::default_files(build->name, &opts);
    // A host or a page that goes away must not end the board: writes to its
    // socket fail instead.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        sim::arm::ArmBoard arm(image, *build, opts.board);
        sim::FrontEnds front;
        if (!sim::open_front_ends(arm.board, opts, *build, kind.name, argv, &front, &error)) {
            std::fprintf(stderr, "%s: %s\n", kind.name.c_str(), error.c_str());
            return 1;
        }
        arm.run_until(UINT64_MAX);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", kind.name.c_str(), e.what());
        return 1;
    }
    return 0;
}
