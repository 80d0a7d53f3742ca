// i.MX21 watchdog (WDOG at 0x10002000): three 16-bit registers.
//
//   WCR  +0x00  control: WDE (bit 2) starts the watchdog and cannot be
//               cleared again; SRS (bit 4) written 0 asserts a software
//               reset; WT (bits 15-8) sets the time-out, (WT + 1) x 0.5 s.
//   WSR  +0x02  service: 0x5555 then 0xAAAA restarts the time-out.
//   WRSR +0x04  read-only: why the board last reset (SFTW bit 0, TOUT
//               bit 1, PWR bit 4).
//
// A time-out or a software reset resets the board through the machine's
// one board-reset entry point (Machine::reset_board).
//
// Its registers answer only while its module clock (clock_gate) runs; the
// count itself runs from the 32 kHz reference, which no enable gates, so a
// time-out comes whatever the gate.
#pragma once

#include "clock.h"
#include "machine.h"
#include "regfile.h"

#include <cstdint>

namespace sim {

class Watchdog : public Device {
public:
    static constexpr uint32_t kBase = 0x10002000;
    static constexpr uint32_t kSize = 0x1000;
    static constexpr uint32_t WCR = 0x00, WSR = 0x02, WRSR = 0x04;
    static constexpr uint16_t WCR_WDE = 1u << 2;
    static constexpr uint16_t WCR_SRS = 1u << 4;
    static constexpr uint16_t WCR_RESET = 0x0030;  // SRS and WDA set
    static constexpr uint16_t WRSR_SFTW = 1u << 0, WRSR_TOUT = 1u << 1, WRSR_PWR = 1u << 4;

    explicit Watchdog(Machine& m);
    ~Watchdog() override;

    const char* name() const override { return "WDOG"; }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;

    void reset();
    bool running() const { return (wcr_ & WCR_WDE) != 0; }
    Time timeout() const;  // the time-out WT sets

    ClockGate clock_gate;

private:
    void restart_timeout();
    void bite(uint16_t cause);

    Machine& m_;
    AccessReporter log_;
    uint16_t wcr_ = WCR_RESET;
    uint16_t wrsr_ = WRSR_PWR;
    bool serviced_first_ = false;  // 0x5555 seen, 0xAAAA due
    Machine::EventId timeout_{};
    bool timeout_pending_ = false;
};

}  // namespace sim
