// The configuration EEPROM on the I2C bus (write address 0xA0): a 64-kbit
// serial EEPROM, 8 KiB with 16-bit byte addresses (high byte first; the
// three top bits are not decoded, so addresses wrap every 8 KiB).
//
// A write addresses the device, sends the two address bytes and up to a
// 32-byte page of data; the stop starts the internal write cycle, during
// which the device acknowledges nothing (acknowledge polling finds its end).
// A start (also a repeated one) before that stop drops the bytes loaded so
// far, as does the next start after a master that let go of the bus without
// a stop; the model reports such a write that never happened.
// Data beyond the end of a page wraps to the page's start.  A read returns
// bytes from the address counter on, wrapping at the end of the memory; a
// random read is a write of the address followed by a repeated start.
//
// The contents live in the board's EEPROM file (file offset = EEPROM
// address), mapped for the model's lifetime, so the file may be unlinked
// once the board is up.
#pragma once

#include "i2c.h"
#include "machine.h"
#include "regfile.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace sim {

class Eeprom : public I2cDevice {
public:
    static constexpr uint8_t kAddress = 0xA0;
    static constexpr uint32_t kSize = 0x2000;
    static constexpr uint32_t kPage = 32;
    static constexpr Time kWriteCycle = 5 * kMillisecond;

    // A missing or short file is created or grown with blank (0xFF) bytes;
    // an empty path keeps the contents in memory only.
    Eeprom(Machine& m, const std::string& path);
    ~Eeprom() override;
    Eeprom(const Eeprom&) = delete;
    Eeprom& operator=(const Eeprom&) = delete;

    void bus_start() override;
    void bus_stop() override;
    bool address(bool read) override;
    bool write(uint8_t byte) override;
    uint8_t read(bool master_acks) override;

    // The array as the chip holds it (a test may look or set up contents
    // before power-on).
    uint8_t* data() { return mem_; }
    const uint8_t* data() const { return mem_; }
    bool busy() const { return busy_; }
    // Internal write cycles so far (one per page write).
    uint64_t write_cycles() const { return cycles_; }
    Time write_cycle = kWriteCycle;
    // A board without the chip: nothing acknowledges the address.
    bool present = true;
    // A worn-out cell: it still acknowledges writes but keeps its value.
    void wear_out(uint32_t address) { worn_.insert(address & (kSize - 1)); }

private:
    enum class State { Idle, AddressHigh, AddressLow, Data, Read };
    void finish_cycle();

    Machine& m_;
    AccessReporter rep_;
    uint8_t* mem_ = nullptr;
    bool mapped_ = false;
    std::vector<uint8_t> own_;
    State state_ = State::Idle;
    uint16_t counter_ = 0;  // the address counter
    uint8_t high_ = 0;
    // The page buffer of a write in progress.
    uint32_t page_base_ = 0;
    uint32_t page_offset_ = 0;
    uint8_t page_[kPage]{};
    uint32_t loaded_ = 0;  // bit i: page_[i] holds a byte to program
    bool busy_ = false;
    Machine::EventId cycle_event_{};
    uint64_t cycles_ = 0;
    std::set<uint32_t> worn_;
};

}  // namespace sim
