// Entry points of the firmware that the board calls.  The firmware's own
// main() is renamed firmware_main() in the host build.
#pragma once

#include "board.h"
#include "build_wiring.h"
#include "config/build_config.h"

int firmware_main(void);
extern "C" void BoardReset(void);
extern "C" void irq_handler(void);

namespace sim {

// The board of the firmware build this program is linked with.
inline const BuildWiring& this_build()
{
    static const BuildWiring wiring = VELM_WIRING_OF(VELM_PASTE(VELM_BUILD_, VELM_BUILD));
    return wiring;
}

// Fits the board out for this build and gives it the firmware's interrupt
// entry.
inline void wire_board_for_build(Board& board)
{
    wire_board(board, this_build());
    board.machine.set_irq_entry(irq_handler);
}

// From power-on: the reset handler's set-up, then the firmware's main.
inline void run_firmware_from_reset()
{
    BoardReset();
    firmware_main();
}

}  // namespace sim
