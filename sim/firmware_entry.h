// Entry points of the firmware that the board calls.  The firmware's own
// main() is renamed firmware_main() in the host build.
#pragma once

#include "board.h"
#include "config/build_config.h"

int firmware_main(void);
extern "C" void BoardReset(void);
extern "C" void irq_handler(void);

namespace sim {

// What differs between the boards of the builds beyond the firmware: the
// backlight inverter of each panel, the touch controller of the capacitive
// panel, and the firmware's interrupt entry.
inline void wire_board_for_build(Board& board)
{
    board.lcdc.set_wiring({PANEL_MAX_BRITE > PANEL_MIN_BRITE, true});
    board.focaltech.present = TOUCH_CAPACITIVE != 0;
    board.machine.set_irq_entry(irq_handler);
}

// From power-on: the reset handler's set-up, then the firmware's main.
inline void run_firmware_from_reset()
{
    BoardReset();
    firmware_main();
}

}  // namespace sim
