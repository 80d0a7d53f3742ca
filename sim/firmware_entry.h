// Entry points of the firmware that the board calls.  The firmware's own
// main() is renamed firmware_main() in the host build.
#pragma once

int firmware_main(void);
extern "C" void BoardReset(void);
extern "C" void irq_handler(void);

namespace sim {

// From power-on: the reset handler's set-up, then the firmware's main.
inline void run_firmware_from_reset()
{
    BoardReset();
    firmware_main();
}

}  // namespace sim
