// A restart of the simulator program on a board reset: the program executes
// itself again from the start, with the same arguments, so the firmware
// starts from its reset handler with fresh variables and fresh SDRAM while
// the flash, EEPROM and card files keep their contents.  The far ends stay
// where they are: the pseudo-terminals, listening sockets, connected hosts
// and the panel page's socket are handed over to the new program, which
// takes them over instead of opening new ones.
#pragma once

#include <string>
#include <vector>

namespace sim {

struct Handover {
    std::string uart1, uart2;  // FarEnd::handover() of each UART's far end
    int http_fd = -1;          // the panel page's listening socket, -1 none
};

// The handover left by the program before a restart, taken out of the
// environment; false when this program was started afresh.
bool take_handover(Handover* out);

// Executes this program again with argv, keeping exactly the descriptors
// listed open (every other one closes).  Returns only when the exec failed.
void restart_program(char** argv, const Handover& handover, const std::vector<int>& keep);

}  // namespace sim
