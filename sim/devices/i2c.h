// i.MX21 I2C controller (window 0x10012000) and the bus behind it.
//
// Master mode as the firmware drives it: a start when MSTA goes high, the
// address byte, data bytes in transmit or receive mode, a repeated start by
// RSTA, a stop when MSTA goes low (switching the module off makes none:
// the devices are left in the middle of their transfer until the next
// start).  Each byte takes nine clocks at the rate the frequency divider
// gives against the IPG clock (66.5 MHz with the board's clock set-up;
// divider code 0x31 = 192, about 346 kHz), after which ICF and IIF are set
// and RXAK shows the acknowledge bit of the ninth clock.  The bus is connected only while the module clock runs
// (PCCR0 bit 12) and PD17/PD18 are given to the controller.  Slave mode is
// not modelled.
#pragma once

#include "aitc.h"
#include "clock.h"
#include "gpio.h"
#include "machine.h"
#include "regfile.h"

#include <cstdint>
#include <map>

namespace sim {

// A device on the I2C bus, seen from the bus.
class I2cDevice {
public:
    virtual ~I2cDevice() = default;
    // Every device sees every start (also a repeated one) and every stop.
    virtual void bus_start() {}
    virtual void bus_stop() {}
    // The device named by the address byte after a start; true acknowledges.
    virtual bool address(bool read) = 0;
    // A data byte from the master; true acknowledges it.
    virtual bool write(uint8_t byte) = 0;
    // The next byte the master clocks in; master_acks is the master's answer
    // on the ninth clock (false after the last byte it wants).
    virtual uint8_t read(bool master_acks) = 0;
};

class I2c : public Device {
public:
    static constexpr uint32_t kBase = 0x10012000;
    static constexpr uint32_t kSize = 0x1000;
    enum : uint32_t { IADR = 0x00, IFDR = 0x04, I2CR = 0x08, I2SR = 0x0C, I2DR = 0x10 };
    static constexpr uint32_t I2CR_IEN = 0x80, I2CR_IIEN = 0x40, I2CR_MSTA = 0x20, I2CR_MTX = 0x10,
                              I2CR_TXAK = 0x08, I2CR_RSTA = 0x04;
    static constexpr uint32_t I2SR_ICF = 0x80, I2SR_IAAS = 0x40, I2SR_IBB = 0x20, I2SR_IAL = 0x10,
                              I2SR_SRW = 0x04, I2SR_IIF = 0x02, I2SR_RXAK = 0x01;
    static constexpr uint32_t kPccr0Clock = 1u << 12;
    static constexpr uint64_t kModuleClockHz = 66500000;

    I2c(Machine& m, Aitc& aitc, int irq, const ClockController& clock, const Gpio& gpio);
    ~I2c() override;

    const char* name() const override { return "I2C"; }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;
    void reset();

    // Puts a device on the bus at its 8-bit write address (0xA0 for the
    // EEPROM); an address nobody holds is not acknowledged.
    void attach(uint8_t write_address, I2cDevice* dev);

    // Divider of the IPG clock for an IFDR code, and one SCL period.
    static unsigned divider(uint32_t ifdr);
    Time bit_time() const;
    bool bus_busy() const { return r_.i2sr & I2SR_IBB; }

private:
    enum class Phase { Idle, Address, Transmit, Receive };

    void update_irq();
    bool connected() const;
    void start_condition();
    void stop_condition();
    void begin_byte(uint8_t out);
    void byte_done();
    void release_bus();

    Machine& m_;
    Aitc& aitc_;
    int irq_;
    const ClockController& clock_;
    const Gpio& gpio_;
    AccessReporter rep_;
    struct Regs {
        uint32_t iadr, ifdr, i2cr, i2sr, i2dr;
    } r_{};
    Phase phase_ = Phase::Idle;
    I2cDevice* target_ = nullptr;  // the device that acknowledged its address
    bool in_flight_ = false;       // a byte is on the wire
    uint8_t shifting_ = 0;         // the byte going out
    bool stop_after_byte_ = false; // MSTA dropped while a byte was on the wire
    Machine::EventId byte_event_{};
    bool stop_pending_ = false;    // IBB clears when the stop condition ends
    Machine::EventId stop_event_{};
    std::map<uint8_t, I2cDevice*> devices_;
};

}  // namespace sim
