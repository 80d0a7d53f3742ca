// A host on the simulated board's serial ports, as the firmware's tests use
// it: send bytes at the line's pace, run until a reply, read what came back
// with its times.
#pragma once

#include <string>

#include "support/fw_board.h"

namespace fwtest {

// Boots the reference build and runs it until its first prompt on UART1.
sim::Board& boot_to_prompt(const BootOptions& options = {});

// Sends bytes from the far end of a UART (rate 0: the UART's own rate).
void send(sim::Uart& uart, const std::string& bytes, uint32_t rate = 0);

// Runs until what the UART sent after byte index from ends with one of the
// prompt tokens (">\r", "!\r", "#\r", "^\r", "?\r"), or until limit of
// board time has passed; returns what was sent after from.
std::string until_prompt(sim::Uart& uart, size_t from, sim::Time limit = sim::kSecond);

// Runs until what the UART sent after from contains text.
std::string until_text(sim::Uart& uart, size_t from, const std::string& text, sim::Time limit = sim::kSecond);

// Sends one command line (CR added) on the UART and returns the reply up to
// and including the prompt.
std::string command(sim::Uart& uart, const std::string& line, sim::Time limit = sim::kSecond);
std::string command(const std::string& line, sim::Time limit = sim::kSecond);

// What the device models reported so far, one report a line.
std::string reports(const sim::Board& b);

// Makes control bytes readable in failure messages.
std::string visible(const std::string& s);

}  // namespace fwtest
