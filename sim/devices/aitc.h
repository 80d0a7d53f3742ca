// i.MX21 interrupt controller (AITC), window 0x10040000, 0x1000 bytes.
//
// 64 level-sensitive sources.  The vector registers name the highest-numbered
// pending, enabled source of each type; the priority registers are stored
// only (the board's firmware leaves every source at the same priority).
// The normal-interrupt output drives the machine's IRQ line; the fast output
// is not wired (nothing on this board uses FIQ), its status stays readable.
#pragma once

#include "machine.h"
#include "regfile.h"

#include <cstdint>

namespace sim {

class Aitc : public Device {
public:
    explicit Aitc(Machine& m);

    const char* name() const override { return "AITC"; }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;

    void reset();
    // Level of interrupt source n (0..63), as the peripheral drives it.
    void set_source(int n, bool level);

private:
    struct Regs {
        uint32_t intcntl, nimask;
        uint32_t intenableh, intenablel;
        uint32_t inttypeh, inttypel;  // 1 = fast interrupt
        uint32_t nipriority[8];       // in offset order: NIPRIORITY7 first
        uint32_t intsrch, intsrcl;    // raw source levels
        uint32_t intfrch, intfrcl;    // forced sources
    };

    uint64_t pending() const;  // sources asserted or forced, and enabled
    uint64_t normal_pending() const;
    uint64_t fast_pending() const;
    void update_irq();

    Machine& m_;
    Regs r_{};
    AccessReporter log_;
};

}  // namespace sim
