#include "clock.h"

namespace sim {

ClockController::ClockController(Machine& m) : m_(m), log_(m, "CRM")
{
    reset();
}

ClockController::~ClockController()
{
    for (Relock* pll : {&mpll_, &spll_})
        if (pll->pending)
            m_.cancel(pll->event);
}

void ClockController::reset()
{
    for (Relock* pll : {&mpll_, &spll_}) {
        if (pll->pending)
            m_.cancel(pll->event);
        pll->pending = false;
    }
    r_ = Regs{};
    r_.cscr = 0x17000607;
    r_.mpctl0 = 0x007B1C73;
    r_.mpctl1 = PLL_LOCKED;
    r_.spctl0 = 0x807F2065;
    r_.spctl1 = PLL_LOCKED;
    r_.osc26mctl = 0x00003F00;
}

// The PLL loses lock at once and locks again after the relock time; a
// restart while relocking starts the wait over.
void ClockController::restart(Relock& pll)
{
    if (pll.pending)
        m_.cancel(pll.event);
    r_.*pll.ctl1 &= ~PLL_LOCKED;
    pll.pending = true;
    pll.event = m_.schedule_in(kRelockTime, [this, &pll] {
        pll.pending = false;
        r_.*pll.ctl1 |= PLL_LOCKED;
    });
}

// The lock bit belongs to the PLL, the other bits to the writer.
void ClockController::write_ctl1(uint32_t& ctl1, uint32_t value)
{
    ctl1 = (ctl1 & PLL_LOCKED) | (value & ~PLL_LOCKED);
}

uint32_t ClockController::reg(uint32_t off) const
{
    switch (off) {
    case 0x00: return r_.cscr;
    case 0x04: return r_.mpctl0;
    case 0x08: return r_.mpctl1;
    case 0x0C: return r_.spctl0;
    case 0x10: return r_.spctl1;
    case 0x14: return r_.osc26mctl;
    case 0x18: return r_.pcdr0;
    case 0x1C: return r_.pcdr1;
    case 0x20: return r_.pccr0;
    case 0x24: return r_.pccr1;
    case 0x28: return r_.ccsr;
    case 0x34: return r_.wkgdctl;
    default: return 0;
    }
}

uint32_t ClockController::read(uint32_t off, unsigned size)
{
    if (!log_.word(off, size, false))
        return 0;
    switch (off) {
    case 0x00: case 0x04: case 0x08: case 0x0C: case 0x10: case 0x14:
    case 0x18: case 0x1C: case 0x20: case 0x24: case 0x28: case 0x34:
        return reg(off);
    default:
        log_.unknown_read(off);
        return 0;
    }
}

void ClockController::write(uint32_t off, uint32_t value, unsigned size)
{
    if (!log_.word(off, size, true))
        return;
    switch (off) {
    case 0x00:  // CSCR: the restart bits act and clear themselves
        r_.cscr = value & ~(CSCR_MPLL_RESTART | CSCR_SPLL_RESTART);
        if (value & CSCR_MPLL_RESTART)
            restart(mpll_);
        if (value & CSCR_SPLL_RESTART)
            restart(spll_);
        break;
    case 0x04: r_.mpctl0 = value; break;
    case 0x08: write_ctl1(r_.mpctl1, value); break;
    case 0x0C: r_.spctl0 = value; break;
    case 0x10: write_ctl1(r_.spctl1, value); break;
    case 0x14: r_.osc26mctl = value; break;
    case 0x18: r_.pcdr0 = value; break;
    case 0x1C: r_.pcdr1 = value; break;
    case 0x20: r_.pccr0 = value; break;
    case 0x24: r_.pccr1 = value; break;
    case 0x28: r_.ccsr = value; break;
    case 0x34: r_.wkgdctl = value; break;
    default:
        log_.unknown_write(off, value);
        break;
    }
}

}  // namespace sim
