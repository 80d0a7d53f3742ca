// i.MX21 pulse-width modulator (0x10006000, 0x1000 bytes): on this board its
// output (PE5) sets the beeper's volume.
//
// Modelled: the control register with its enable and self-clearing software
// reset, the sample register (the duty: the output is high for SAMPLE of
// every PERIOD counts) and the period register.  The output is a level the
// board reads, not a waveform in time: the counter, the sample FIFO's
// depth and the interrupt are not modelled (the firmware neither reads the
// counter nor enables the interrupt), so the model has no interrupt line.
// Without its module clock (clock_gate) the output is low and the bus gets
// no answer (the access is reported).
#pragma once

#include "clock.h"
#include "machine.h"
#include "regfile.h"

#include <cstdint>

namespace sim {

class Pwm : public Device {
public:
    static constexpr uint32_t kBase = 0x10006000;
    static constexpr uint32_t kSize = 0x1000;
    static constexpr uint32_t PWMC = 0x00, PWMS = 0x04, PWMP = 0x08;
    static constexpr uint32_t PWMC_EN = 1u << 4;
    static constexpr uint32_t PWMC_SWR = 1u << 16;

    explicit Pwm(Machine& m);

    const char* name() const override { return "PWM"; }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;

    void reset();
    bool enabled() const { return r_.pwmc & PWMC_EN; }
    uint32_t sample() const { return r_.pwms; }
    uint32_t period() const { return r_.pwmp; }
    // Fraction of the time the output is high: 0 while disabled, without
    // its clock or with a period of 0; a sample beyond the period holds the
    // output high.
    double duty() const;

    ClockGate clock_gate;

private:
    struct Regs {
        uint32_t pwmc, pwms, pwmp;
    };

    Regs r_{};
    AccessReporter log_;
};

}  // namespace sim
