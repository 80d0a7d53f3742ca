#include "front_ends.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "restart.h"

namespace sim {

bool open_front_ends(Board& board, const ProgramOptions& o, const BuildWiring& build, const std::string& program,
                     char** argv, FrontEnds* out, std::string* error)
{
    // After a board reset this program runs again and takes over the far
    // ends of the one before, so hosts and pages keep their connections.
    Handover inherited;
    // What the UARTs send goes to the far ends and the page; the board keeps
    // no record of it.
    board.uart1.keep_sent = board.uart2.keep_sent = false;
    const bool restarted = take_handover(&inherited);
    if (restarted) {
        out->uart1 = adopt_far_end(inherited.uart1, board.uart1, board.machine, error);
        if (out->uart1)
            out->uart2 = adopt_far_end(inherited.uart2, board.uart2, board.machine, error);
    } else {
        out->uart1 = open_far_end(o.uart1, board.uart1, board.machine, error);
        if (out->uart1)
            out->uart2 = open_far_end(o.uart2, board.uart2, board.machine, error);
    }
    if (!out->uart1 || !out->uart2)
        return false;
    // The panel page: what the board shows is published for it.
    if (o.http_port && (!restarted || inherited.http_fd >= 0)) {
        out->panel = std::make_unique<PanelPublisher>(board);
        out->panel->set_picture_source(scan_out_picture(board, build.panel_width, build.panel_height));
        out->web = std::make_unique<web::Server>(*out->panel);
        std::string why;
        const bool serving = restarted ? out->web->adopt(inherited.http_fd, &why)
                                       : out->web->start(o.http_port == kAnyPort ? 0 : o.http_port, &why);
        if (serving) {
            web::Server* server = out->web.get();
            out->panel->set_on_publish([server] { server->notify(); });
            out->panel->start();
        } else if (o.http_named) {
            // The user asked for this page: a program without it is not
            // what was asked for.
            *error = why;
            return false;
        } else {
            std::fprintf(stderr, "%s: %s; going on without the panel page (--http PORT picks another port)\n",
                         program.c_str(), why.c_str());
            out->web.reset();
            out->panel.reset();
        }
    }
    // A board reset (the watchdog) starts this program again from the
    // start, handing the far ends over.
    board.machine.set_board_reset_handler([out, argv, program] {
        Handover h{out->uart1->handover(), out->uart2->handover(), out->web ? out->web->listening_fd() : -1};
        std::vector<int> keep = out->uart1->descriptors();
        for (int fd : out->uart2->descriptors())
            keep.push_back(fd);
        if (out->web)
            keep.push_back(out->web->listening_fd());
        std::fprintf(stderr, "%s: board reset by the watchdog; starting again\n", program.c_str());
        restart_program(argv, h, keep);
        std::_Exit(1);
    });
    if (!restarted) {
        std::printf("uart1 %s\nuart2 %s\n", out->uart1->where().c_str(), out->uart2->where().c_str());
        if (out->web)
            std::printf("http http://127.0.0.1:%d/\n", out->web->port());
        std::fflush(stdout);
    }
    return true;
}

}  // namespace sim
