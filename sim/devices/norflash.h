// The parallel NOR flash on chip select 0 (0xC8000000, 32 MiB, 16 bits
// wide, 256 uniform sectors of 128 KB) with the AMD command set.
//
// The array lives in the board's file-backed flash region: the firmware
// reads it through plain pointers; every bus access to the window comes
// here, so commands, status polling and programming behave like the chip:
// a program can only clear bits, an erase sets a whole sector to 0xFF, and
// while the chip is busy a read returns status (DQ7 data polling, DQ6
// toggle, DQ5 exceeded time) instead of data.
//
// Unlock bypass mode (0xAA, 0x55, 0x20) takes only its short commands: 0xA0
// and the word to program, 0x80 and 0x30 at a sector (or 0x10 for the chip),
// and 0x90 then 0x00 to leave it.  Anything else, the reset 0xF0 included,
// the chip ignores and stays in bypass; the model reports it.  After an
// operation that ran out of time only the reset is heard, and it ends
// bypass mode too.
#pragma once

#include "machine.h"
#include "regfile.h"

#include <cstdint>
#include <string>

namespace sim {

class NorFlash : public Device {
public:
    static constexpr uint32_t kBase = 0xC8000000;
    static constexpr uint32_t kSize = 32u << 20;
    static constexpr uint32_t kSector = 0x20000;
    static constexpr uint32_t kImageOffset = 0x400000;  // the memory image starts here
    static constexpr Time kWordProgram = 9 * kMicrosecond;
    static constexpr Time kSectorErase = 40 * kMillisecond;

    explicit NorFlash(Machine& m);
    const char* name() const override { return "NOR flash"; }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;

    bool busy() const { return busy_; }
    // The chip reads its array: no command under way, not busy.
    bool reads_array() const { return state_ == State::Read && !busy_; }
    // Unlock bypass mode is on (it ends with 0x90, 0x00, or a reset after a
    // failed operation).
    bool in_unlock_bypass() const { return bypass_; }
    // A worn-out sector: erasing it runs out of time (DQ5), as a failing
    // chip does.
    void set_failing_sector(int sector) { failing_sector_ = sector; }
    uint64_t words_programmed() const { return programmed_; }
    uint64_t sectors_erased() const { return erased_; }

private:
    enum class State { Read, Unlock1, Unlock2, EraseSetup, EraseUnlock1, EraseUnlock2, Program, Bypass,
                       BypassProgram, BypassErase, BypassReset, Autoselect, Failed };
    uint16_t array(uint32_t off) const;
    void program(uint32_t off, uint16_t v);
    void erase(uint32_t first, uint32_t len);
    void erase_command(uint32_t off, uint16_t v, bool chip_ok);
    void finish();
    uint16_t status(uint32_t off);
    void bad(uint32_t off, uint32_t v);
    void below_image(const char* what, uint32_t off);

    Machine& m_;
    AccessReporter rep_;
    State state_ = State::Read;
    bool bypass_ = false;     // unlock bypass mode is on
    bool busy_ = false;
    bool erasing_ = false;
    uint16_t target_ = 0;     // the data being programmed (DQ7 polling)
    uint32_t busy_off_ = 0;
    bool toggle_ = false;
    uint64_t programmed_ = 0, erased_ = 0;
    int failing_sector_ = -1;
    bool erase_failed_ = false;
};

}  // namespace sim
