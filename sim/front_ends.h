// What stands around the simulated board in a simulator program: the far
// ends of both UARTs and the panel page with its endpoints.  The host
// build's program and arm-board open them the same way, print the same
// lines about them, and keep them across a board reset.
#pragma once

#include <memory>
#include <string>

#include "board.h"
#include "build_wiring.h"
#include "farend.h"
#include "options.h"
#include "panel_state.h"
#include "web/server.h"

namespace sim {

struct FrontEnds {
    std::unique_ptr<FarEnd> uart1, uart2;
    std::unique_ptr<PanelPublisher> panel;
    std::unique_ptr<web::Server> web;
};

// Opens the far ends and (unless --http 0) the panel page, then prints where
// they are, one per line ("uart1 ...", "uart2 ...", "http ...").  In a
// program that a board reset started again, takes over those of the
// program before instead, and prints nothing.  A panel page that cannot
// listen is only warned about (program names the program in the warning);
// a far end that cannot open is an error.
//
// From then on a board reset (the watchdog's) executes the program again
// with argv, handing over the far ends: it starts from power-on with fresh
// memory and models and the same files, and hosts and pages keep their
// connections.  out must live as long as the board runs.
bool open_front_ends(Board& board, const ProgramOptions& options, const BuildWiring& build,
                     const std::string& program, char** argv, FrontEnds* out, std::string* error);

}  // namespace sim
