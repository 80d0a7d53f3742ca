// The serial NOR flash on CSPI1 (chip select PD28): 64 Mbit (8 MiB) with
// the JEDEC command set: read identification (0x9F: manufacturer 0x20,
// type 0x20, capacity code 0x17 = 2^23 bytes), read status (0x05: bit 0
// write in progress, bit 1 write enable latch), write enable (0x06) and
// disable (0x04), read (0x03), fast read (0x0B, one dummy byte), page
// program (0x02, 256-byte pages, data past the page end wraps to its
// start, bits only go from 1 to 0), sector erase (0xD8, 64 KiB) and chip
// erase (0xC7 or 0x60).  Program and erase commands run when the chip
// select goes high after a complete command, only with the write enable
// latch set, and take their time; meanwhile only the status can be read.
// The contents are not kept across power cycles (nothing on the board
// stores data in this chip).
#pragma once

#include "cspi.h"
#include "machine.h"
#include "regfile.h"

#include <cstdint>
#include <vector>

namespace sim {

class SpiFlash : public SpiDevice {
public:
    static constexpr uint32_t kJedecId = 0x202017;
    static constexpr uint32_t kSize = 8u << 20;
    static constexpr uint32_t kSector = 64u << 10;
    static constexpr uint32_t kPage = 256;
    static constexpr uint8_t SR_WIP = 0x01, SR_WEL = 0x02;

    explicit SpiFlash(Machine& m);
    ~SpiFlash() override;

    void select() override;
    void deselect() override;
    uint32_t exchange(uint32_t out, unsigned bits) override;

    uint8_t* data() { return mem_.data(); }
    uint8_t status() const { return status_; }
    bool busy() const { return status_ & SR_WIP; }

    Time page_program_time = 1400 * kMicrosecond;
    Time sector_erase_time = 600 * kMillisecond;
    Time chip_erase_time = 20 * kSecond;

private:
    enum class Op { None, Program, SectorErase, ChipErase };
    uint8_t byte(uint8_t in);
    void begin(Op op, Time t);

    Machine& m_;
    AccessReporter rep_;
    std::vector<uint8_t> mem_;
    uint8_t status_ = 0;
    bool selected_ = false;
    uint8_t command_ = 0;
    uint32_t count_ = 0;  // bytes since the chip was selected
    uint32_t address_ = 0;
    // A page program being loaded: the page and its bytes.
    uint32_t page_base_ = 0;
    std::vector<int> page_;  // -1: not loaded
    bool page_loaded_ = false;
    Machine::EventId busy_event_{};
};

}  // namespace sim
