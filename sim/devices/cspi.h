// i.MX21 configurable SPI port (CSPI1 at 0x1000E000, CSPI2 at 0x1000F000)
// in master mode, with its devices behind GPIO chip selects.
//
// Words written to TXDATA wait in an 8-word FIFO; setting XCH in
// CONTROLREG shifts them out one after another, each BITCOUNT + 1 bits at
// PERCLK2 (33.25 MHz with the board's clock set-up) divided by the
// DATARATE field, and every word clocked in goes to the 8-word receive
// FIFO; XCH clears when the last word is done.  INTREG bit 0 reads as
// receive ready.  The port's interrupt output is not wired: the firmware
// polls.  A device takes part in a word while its chip select pin is low;
// with none selected the input reads as ones.
#pragma once

#include "clock.h"
#include "gpio.h"
#include "machine.h"
#include "regfile.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace sim {

// A device on an SPI port, seen from the wires.
class SpiDevice {
public:
    virtual ~SpiDevice() = default;
    virtual void select() = 0;
    virtual void deselect() = 0;
    // One word shifted both ways while the device is selected.
    virtual uint32_t exchange(uint32_t out, unsigned bits) = 0;
};

class Cspi : public Device {
public:
    enum : uint32_t {
        RXDATA = 0x00, TXDATA = 0x04, CONTROLREG = 0x08, INTREG = 0x0C, TESTREG = 0x10,
        PERIODREG = 0x14, DMAREG = 0x18, RESETREG = 0x1C,
    };
    static constexpr uint32_t CONTROL_XCH = 1u << 9, CONTROL_SPIEN = 1u << 10, CONTROL_MODE = 1u << 11;
    static constexpr uint32_t INTREG_RR = 1u << 0;
    static constexpr size_t kFifo = 8;
    static constexpr uint64_t kPerclk2Hz = 33250000;

    // clock_bit: the port's enable in PCCR0; the three data pins (clock,
    // input, output) are port pins first_data_pin.. +2.
    Cspi(Machine& m, const ClockController& clock, const Gpio& gpio, const char* name, uint32_t clock_bit,
         int data_port, int first_data_pin);
    ~Cspi() override;

    const char* name() const override { return name_.c_str(); }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;
    void reset();

    // A device whose chip select is the GPIO pin (low = selected).
    void connect(SpiDevice* dev, int cs_port, int cs_pin);
    // The board tells the port when a pin changes level.
    void pin_changed(int port, int pin, int level);

    Time word_time() const;
    bool exchanging() const { return r_.control & CONTROL_XCH; }

private:
    struct Slave {
        SpiDevice* dev;
        int port, pin;
    };
    void next_word();
    void word_done();
    bool data_pins_connected() const;

    Machine& m_;
    const ClockController& clock_;
    const Gpio& gpio_;
    std::string name_;
    uint32_t clock_bit_;
    int data_port_, first_data_pin_;
    AccessReporter rep_;
    struct Regs {
        uint32_t control, intreg, test, period, dma;
    } r_{};
    std::deque<uint32_t> tx_, rx_;
    bool in_flight_ = false;
    Machine::EventId word_event_{};
    std::vector<Slave> slaves_;
};

}  // namespace sim
