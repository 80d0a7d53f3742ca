// Boots the firmware build of a test program on a fresh simulated board and
// drives it in turns with the test thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "board.h"

namespace fwtest {

struct BootOptions {
    sim::Straps straps = sim::Straps::Plain;
    bool trace = false;  // record every bus access from power-on
    // Keep the flash and EEPROM files on disk (for tests that look at them
    // or start again from them); otherwise they go as soon as they are
    // mapped.
    bool keep_files = false;
    // Bytes found in the flash's memory-image area at power-on.
    std::vector<uint8_t> flash_image;
    // SD card image in the slot from power-on (empty: the slot is empty).
    std::string sd;
};

// Powers the board on with empty flash and EEPROM files in a fresh folder.
// The firmware waits for the first run_until / run_for.  Once per process.
sim::Board& boot(const BootOptions& options = {});
// The same board without the firmware started: for code that calls the
// firmware's functions on this thread and needs only the board's memory
// and devices.
sim::Board& power_on(const BootOptions& options = {});

// Runs fn on the firmware thread at its next safe point (as the firmware's
// own code would run) and lets the board run until fn has returned.
void on_firmware(const std::function<void()>& fn, sim::Time limit = 10 * sim::kSecond);

// The frame buffer as the panel shows it: the pixel at (x, y) of the
// build's screen; whether everything outside x0..x1, y0..y1 is still the
// white of a cleared screen; clearing the screen to white (the background
// after start-up) on the firmware thread.
uint16_t fb(sim::Board& b, int x, int y);
bool untouched_outside(sim::Board& b, int x0, int y0, int x1, int y1);
void clear_screen();

// A fresh temporary folder for this test process, removed by remove_temp_dir
// (which the test programs' main calls at the end).
std::string temp_dir();
void remove_temp_dir();

}  // namespace fwtest
