// The simulated board of a firmware fuzz target: booted once per fuzzer
// process and then driven in turns, as the tests drive it.  What a target
// finds beyond the sanitizers' own reports (a hang, a lost prompt) ends the
// process through finding(), so that libFuzzer keeps the input that did it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "support/fw_board.h"

namespace fuzz {

// Boots the reference build on a fresh board and runs it to its first
// prompt.  Once per process; a board that does not come up is a finding.
sim::Board& boot_once(const fwtest::BootOptions& options = {});

// Runs fn on the firmware thread.  Work still running after patience of
// board time gets the host's escape and abort sequences (which end a
// repeating macro); work that then does not end within limit is a finding
// named by what.
void on_firmware(const char* what, const std::function<void()>& fn, sim::Time patience = 60 * sim::kSecond,
                 sim::Time limit = 60 * sim::kSecond);

// Reports a fault the sanitizers cannot see and ends the process as a
// crash, so that libFuzzer writes the input out.
[[noreturn]] void finding(const std::string& text);
// The same for a board that is stuck: reported from the firmware thread at
// its next safe point, so that the stack trace shows where it waits.
[[noreturn]] void stuck(const std::string& text);

// A file of this process's temporary folder holding the given bytes.
std::string write_temp(const std::string& name, const uint8_t* data, size_t size);

// The image-file readers' callback over bytes in memory: serves what lies
// inside them and no more, as the card window and the splash reader do.
struct MemoryFile {
    const uint8_t* data;
    size_t size;
};
int memory_file_data(void* p, const uint8_t** ppData, unsigned NumBytes, uint32_t Off);

}  // namespace fuzz
