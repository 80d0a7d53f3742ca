// The simulator program: one firmware build on the simulated board.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <exception>
#include <string>

#include "board.h"
#include "config/build_config.h"
#include "farend.h"
#include "firmware_entry.h"
#include "options.h"
#include "panel_state.h"
#include "restart.h"
#include "web/server.h"

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
    // After a board reset this program runs again and takes over the far
    // ends of the one before, so hosts and pages keep their connections.
    sim::Handover inherited;
    const bool restarted = sim::take_handover(&inherited);
    // A host or a page that goes away must not end the board: writes to its
    // socket fail instead.
    std::signal(SIGPIPE, SIG_IGN);
    std::unique_ptr<sim::FarEnd> far1, far2;
    std::unique_ptr<sim::PanelPublisher> panel;
    std::unique_ptr<sim::web::Server> web;
    try {
        sim::Board& board = sim::Board::create(opts.board);
        sim::wire_board_for_build(board);
        if (restarted) {
            far1 = sim::adopt_far_end(inherited.uart1, board.uart1, board.machine, &error);
            if (far1)
                far2 = sim::adopt_far_end(inherited.uart2, board.uart2, board.machine, &error);
        } else {
            far1 = sim::open_far_end(opts.uart1, board.uart1, board.machine, &error);
            if (far1)
                far2 = sim::open_far_end(opts.uart2, board.uart2, board.machine, &error);
        }
        if (!far1 || !far2) {
            std::fprintf(stderr, "%s: %s\n", build.c_str(), error.c_str());
            return 1;
        }
        // The panel page: what the board shows is published for it.
        if (opts.http_port && (!restarted || inherited.http_fd >= 0)) {
            panel = std::make_unique<sim::PanelPublisher>(board);
            panel->set_picture_source(sim::scan_out_picture(board, PANEL_WIDTH, PANEL_HEIGHT));
            web = std::make_unique<sim::web::Server>(*panel);
            bool serving = restarted ? web->adopt(inherited.http_fd, &error) : web->start(opts.http_port, &error);
            if (serving) {
                sim::web::Server* server = web.get();
                panel->set_on_publish([server] { server->notify(); });
                panel->start();
            } else {
                std::fprintf(stderr, "%s: %s; going on without the panel page (--http PORT picks another port)\n",
                             build.c_str(), error.c_str());
                web.reset();
                panel.reset();
            }
        }
        // A board reset (the watchdog) starts this program again from the
        // start, handing the far ends over.
        board.machine.set_board_reset_handler([&, argv] {
            sim::Handover h{far1->handover(), far2->handover(), web ? web->listening_fd() : -1};
            std::vector<int> keep = far1->descriptors();
            for (int fd : far2->descriptors())
                keep.push_back(fd);
            if (web)
                keep.push_back(web->listening_fd());
            std::fprintf(stderr, "%s: board reset by the watchdog; starting again\n", build.c_str());
            sim::restart_program(argv, h, keep);
            std::_Exit(1);
        });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", build.c_str(), e.what());
        return 1;
    }
    if (!restarted) {
        std::printf("uart1 %s\nuart2 %s\n", far1->where().c_str(), far2->where().c_str());
        if (web)
            std::printf("http http://127.0.0.1:%d/\n", web->port());
        std::fflush(stdout);
    }
    sim::run_firmware_from_reset();
    return 0;
}
