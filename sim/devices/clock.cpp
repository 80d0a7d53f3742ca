#include "clock.h"

namespace sim {

// ---------------------------------------------------------------- gate

ClockGate::~ClockGate()
{
    if (crm_)
        crm_->unwatch_gates(watch_);
}

void ClockGate::connect(ClockController& crm, uint32_t pccr, uint32_t bits)
{
    if (crm_)
        crm_->unwatch_gates(watch_);
    crm_ = &crm;
    pccr_ = pccr;
    bits_ = bits;
    watch_ = crm.watch_gates([this] { changed(); });
    changed();
}

bool ClockGate::open() const
{
    return open_;
}

void ClockGate::changed()
{
    const bool now = !crm_ || (crm_->reg(pccr_) & bits_) == bits_;
    if (now == open_)
        return;
    open_ = now;
    if (on_change)
        on_change(open_);
}

std::string ClockGate::text() const
{
    std::string t = pccr_ == ClockController::PCCR1 ? "PCCR1" : "PCCR0";
    std::string list;
    int n = 0;
    for (int bit = 0; bit < 32; ++bit)
        if (bits_ & (1u << bit)) {
            list += (n++ ? " and " : "") + std::to_string(bit);
        }
    return t + (n > 1 ? " bits " : " bit ") + list;
}

bool ClockGate::admit(AccessReporter& rep, uint32_t off, bool write) const
{
    if (open_)
        return true;
    rep.clock_off(off, write, text());
    return false;
}

// ---------------------------------------------------------------- controller

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
    for (auto& w : gate_watchers_)
        w.second();
}

int ClockController::watch_gates(std::function<void()> fn)
{
    gate_watchers_[next_watch_] = std::move(fn);
    return next_watch_++;
}

void ClockController::unwatch_gates(int id)
{
    gate_watchers_.erase(id);
}

void ClockController::write_pccr(uint32_t& pccr, uint32_t value)
{
    pccr = value;
    // A watcher may be a model that reacts by changing its own state only,
    // never the set of watchers.
    for (auto& w : gate_watchers_)
        w.second();
}

// A PLL that relocks feeds unstable clocks: the set-up waits for both lock
// bits before it changes the clock set-up again.  Restarting (again) is
// what may be done meanwhile.
void ClockController::write_cscr(uint32_t value)
{
    const uint32_t restarts = CSCR_MPLL_RESTART | CSCR_SPLL_RESTART;
    const uint32_t kept = value & ~restarts;
    if (kept != r_.cscr && (mpll_.pending || spll_.pending)) {
        std::string which = mpll_.pending && spll_.pending ? "the MPLL and the SPLL have" :
                            mpll_.pending                  ? "the MPLL has" : "the SPLL has";
        log_.once("CSCR changed from " + hex32(r_.cscr) + " to " + hex32(kept) + " while " + which +
                  " not locked after a restart (lock bit 15 of MPCTL1 / SPCTL1 still clear)");
    }
    r_.cscr = kept;
    if (value & CSCR_MPLL_RESTART)
        restart(mpll_);
    if (value & CSCR_SPLL_RESTART)
        restart(spll_);
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
        write_cscr(value);
        break;
    case 0x04: r_.mpctl0 = value; break;
    case 0x08: write_ctl1(r_.mpctl1, value); break;
    case 0x0C: r_.spctl0 = value; break;
    case 0x10: write_ctl1(r_.spctl1, value); break;
    case 0x14: r_.osc26mctl = value; break;
    case 0x18: r_.pcdr0 = value; break;
    case 0x1C: r_.pcdr1 = value; break;
    case 0x20: write_pccr(r_.pccr0, value); break;
    case 0x24: write_pccr(r_.pccr1, value); break;
    case 0x28: r_.ccsr = value; break;
    case 0x34: r_.wkgdctl = value; break;
    default:
        log_.unknown_write(off, value);
        break;
    }
}

}  // namespace sim
