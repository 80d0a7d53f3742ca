// What stands at the far end of a UART: a pseudo-terminal, a TCP socket on
// 127.0.0.1, the program's standard input and output, or nothing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "devices/uart.h"
#include "machine.h"

namespace sim {

class FarEnd {
public:
    virtual ~FarEnd() = default;
    // Where a user finds it: a device path, an address, "stdio", "none".
    virtual std::string where() const = 0;
    // What a restarted program needs to take this far end over as it is
    // (adopt_far_end), and the descriptors that must stay open for it.
    virtual std::string handover() const = 0;
    virtual std::vector<int> descriptors() const { return {}; }
};

// far_end is pty, tcp:PORT, stdio or none.  On failure returns null with a
// message in error.
std::unique_ptr<FarEnd> open_far_end(const std::string& far_end, Uart& uart, Machine& m, std::string* error);
// Takes over a far end that the program before a restart handed over: the
// same pseudo-terminal, the same listening socket and connected host.
std::unique_ptr<FarEnd> adopt_far_end(const std::string& handover, Uart& uart, Machine& m, std::string* error);

}  // namespace sim
