// i.MX21 clock and reset module (CRM), window 0x10027000.
//
// Stores the clock set-up the reset code writes and models the one thing the
// firmware waits for: a PLL restart drops the PLL's lock bit, which comes
// back 100 us later.  Other models ask it whether their module clock is on.
#pragma once

#include "machine.h"
#include "regfile.h"

#include <cstdint>

namespace sim {

class ClockController : public Device {
public:
    static constexpr uint32_t CSCR_MPLL_RESTART = 1u << 21;
    static constexpr uint32_t CSCR_SPLL_RESTART = 1u << 22;
    static constexpr uint32_t PLL_LOCKED = 1u << 15;  // in MPCTL1 and SPCTL1
    static constexpr Time kRelockTime = 100 * kMicrosecond;

    explicit ClockController(Machine& m);
    ~ClockController() override;

    const char* name() const override { return "CRM"; }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;

    void reset();
    // Current value of the register at off; 0 for an offset it does not have.
    uint32_t reg(uint32_t off) const;
    uint32_t pccr0() const { return r_.pccr0; }
    uint32_t pccr1() const { return r_.pccr1; }
    bool mpll_locked() const { return r_.mpctl1 & PLL_LOCKED; }
    bool spll_locked() const { return r_.spctl1 & PLL_LOCKED; }

private:
    struct Regs {
        uint32_t cscr, mpctl0, mpctl1, spctl0, spctl1, osc26mctl;
        uint32_t pcdr0, pcdr1, pccr0, pccr1, ccsr, wkgdctl;
    };
    // A PLL restarting: its lock bit and the event that sets it again.
    struct Relock {
        uint32_t Regs::*ctl1;
        Machine::EventId event;
        bool pending;
    };

    void restart(Relock& pll);
    void write_ctl1(uint32_t& ctl1, uint32_t value);

    Machine& m_;
    Regs r_{};
    Relock mpll_{&Regs::mpctl1, {}, false};
    Relock spll_{&Regs::spctl1, {}, false};
    AccessReporter log_;
};

}  // namespace sim
