// i.MX21 general-purpose timer (GPT1 at 0x10003000, GPT2 at 0x10004000;
// 0x1000 bytes each).
//
// The counter is derived from virtual time: the model keeps the count at
// its last change of rate or mode and the time of that change, and computes
// the count on demand with exact integer arithmetic (PERCLK1 is 16.625 MHz,
// 16625 counts per millisecond).  Exactly one machine event is pending while
// the timer runs: the next compare.
//
// Restart mode runs the counter 0 .. TCMP-1; it wraps to 0 at the moment it
// would reach TCMP, which is the compare event, so TCMP counts make one
// period.  Free-run mode counts to 0xFFFFFFFF and wraps; the compare event
// is the moment the counter reaches TCMP.
//
// Without its module clock (clock_gate) the timer stands still: the counter
// holds, no compare comes, the interrupt line is low, and the bus gets no
// answer (the access is reported).
#pragma once

#include "aitc.h"
#include "clock.h"
#include "machine.h"
#include "regfile.h"

#include <cstdint>
#include <functional>
#include <string>

namespace sim {

class Gpt : public Device {
public:
    static constexpr uint32_t TCTL_TEN = 1u << 0;
    static constexpr uint32_t TCTL_CLKSOURCE = 7u << 1;
    static constexpr uint32_t TCTL_COMPEN = 1u << 4;
    static constexpr uint32_t TCTL_CAPTEN = 1u << 5;
    static constexpr uint32_t TCTL_CAP = 3u << 6;
    static constexpr uint32_t TCTL_FRR = 1u << 8;
    static constexpr uint32_t TCTL_OM = 1u << 9;
    static constexpr uint32_t TCTL_CC = 1u << 10;
    static constexpr uint32_t TCTL_SWR = 1u << 15;
    static constexpr uint32_t TSTAT_COMP = 1u << 0;
    static constexpr uint32_t TSTAT_CAPT = 1u << 1;
    static constexpr uint32_t kPerclk1CountsPerMs = 16625;

    Gpt(Machine& m, Aitc& aitc, int irq, const char* name);
    ~Gpt() override;

    const char* name() const override { return name_.c_str(); }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;

    void reset();
    uint32_t counter() const;  // TCN now
    // Register at off as the timer holds it, without the effects and
    // reports of a bus access; 0 for an offset it does not have.
    uint32_t reg(uint32_t off) const;
    bool clocked() const { return clocked_; }
    bool output() const { return output_; }
    uint64_t compare_events() const { return compare_events_; }

    // Called with the new level each time the timer output changes.
    std::function<void(bool)> on_output;

    ClockGate clock_gate;

private:
    void clock_changed(bool on);
    struct Regs {
        uint32_t tctl, tprer, tcmp, tcr, tstat;
    };

    bool counting() const;
    bool restart_mode() const { return !(r_.tctl & TCTL_FRR); }
    uint64_t divisor_ns() const;  // nanoseconds per 16625 counts
    uint64_t counts_in(Time dt) const;
    Time time_for(uint64_t counts) const;
    uint64_t period() const;  // restart mode: counts per period
    uint32_t wrap(uint64_t position) const;
    void rebase(uint32_t count);
    void schedule_compare();
    void compare_event();
    void set_output(bool level);
    void update_irq();
    void write_tctl(uint32_t value);

    Machine& m_;
    Aitc& aitc_;
    int irq_;
    std::string name_;
    Regs r_{};
    // The counter: it held base_ at t_base_ and counts from there while the
    // timer runs.  Positions are counts since t_base_ plus base_, unwrapped.
    uint32_t base_ = 0;
    Time t_base_ = 0;
    uint64_t next_compare_ = 0;  // position of the next compare event
    Machine::EventId event_{};
    bool event_pending_ = false;
    bool output_ = false;
    uint64_t compare_events_ = 0;
    bool clocked_ = true;  // the gate as the counter last saw it
    AccessReporter log_;
};

}  // namespace sim
