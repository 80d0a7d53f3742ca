// i.MX21 clock and reset module (CRM), window 0x10027000.
//
// Stores the clock set-up the reset code writes and models the one thing the
// firmware waits for: a PLL restart drops the PLL's lock bit, which comes
// back 100 us later.  MPCTL0 and SPCTL0 take effect at the restart.  The
// clock set-up (CSCR) must not change while a PLL relocks: the clocks it
// feeds are not stable yet, so such a write is reported.
//
// The module clock enables PCCR0 and PCCR1 gate the peripherals: a model
// holds a ClockGate for its bits and asks it whether its clock runs.
#pragma once

#include "machine.h"
#include "regfile.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace sim {

class ClockController;

// A module's clock enable: bits of PCCR0 or PCCR1, as the module's model
// sees them.  A gate not connected to a clock controller is always open (a
// model on its own, as in a test of the model).  While the gate is
// connected, the model hears of every change through on_change.
class ClockGate {
public:
    ClockGate() = default;
    ~ClockGate();
    ClockGate(const ClockGate&) = delete;
    ClockGate& operator=(const ClockGate&) = delete;

    // pccr: the register's offset (ClockController::PCCR0 or PCCR1).  The
    // controller must outlive the gate.
    void connect(ClockController& crm, uint32_t pccr, uint32_t bits);
    bool open() const;
    // "PCCR0 bit 0", for reports.
    std::string text() const;
    // Called with the new state whenever the gate opens or closes.
    std::function<void(bool open)> on_change;
    // For a register access of the model: true while the clock runs;
    // otherwise the access is reported (once per offset and direction) and
    // false tells the model to drop it.
    bool admit(AccessReporter& rep, uint32_t off, bool write) const;

private:
    void changed();

    ClockController* crm_ = nullptr;
    uint32_t pccr_ = 0, bits_ = 0;
    bool open_ = true;
    int watch_ = -1;
};

class ClockController : public Device {
public:
    static constexpr uint32_t CSCR = 0x00, PCCR0 = 0x20, PCCR1 = 0x24;
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

    // Calls fn after every write of PCCR0 or PCCR1; returns the id that
    // unwatch takes.
    int watch_gates(std::function<void()> fn);
    void unwatch_gates(int id);

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
    void write_cscr(uint32_t value);
    void write_pccr(uint32_t& pccr, uint32_t value);

    Machine& m_;
    Regs r_{};
    Relock mpll_{&Regs::mpctl1, {}, false};
    Relock spll_{&Regs::spctl1, {}, false};
    AccessReporter log_;
    std::map<int, std::function<void()>> gate_watchers_;
    int next_watch_ = 0;
};

}  // namespace sim
