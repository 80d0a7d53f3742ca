#include "gpt.h"

namespace sim {

namespace {

constexpr uint64_t kWrap = uint64_t(1) << 32;

}  // namespace

Gpt::Gpt(Machine& m, Aitc& aitc, int irq, const char* name)
    : m_(m), aitc_(aitc), irq_(irq), name_(name), log_(m, name)
{
    clock_gate.on_change = [this](bool on) { clock_changed(on); };
    reset();
}

// The count goes on from where the clock left it.
void Gpt::clock_changed(bool on)
{
    const uint32_t count = counter();
    clocked_ = on;
    rebase(count);
    update_irq();
}

Gpt::~Gpt()
{
    if (event_pending_)
        m_.cancel(event_);
}

void Gpt::reset()
{
    r_ = Regs{};
    r_.tcmp = 0xFFFFFFFF;
    base_ = 0;
    t_base_ = m_.now();
    schedule_compare();  // cancels: the timer is off
    set_output(false);
    update_irq();
}

// ---------------------------------------------------------------- counting

bool Gpt::counting() const
{
    return clocked_ && (r_.tctl & TCTL_TEN) && (r_.tctl & TCTL_CLKSOURCE);
}

// Counting runs at 16625 counts per millisecond of PERCLK1, divided by the
// prescaler and, for clock source 2, by 16: 16625 counts take this many ns.
uint64_t Gpt::divisor_ns() const
{
    uint64_t d = uint64_t(1000000) * (r_.tprer + 1);
    if (((r_.tctl & TCTL_CLKSOURCE) >> 1) == 2)
        d *= 16;
    return d;
}

// floor(dt * 16625 / D), split so that no product leaves 64 bits.
uint64_t Gpt::counts_in(Time dt) const
{
    uint64_t d = divisor_ns();
    return dt / d * kPerclk1CountsPerMs + dt % d * kPerclk1CountsPerMs / d;
}

// The shortest time in which the counter advances by counts:
// ceil(counts * D / 16625), split likewise.
Time Gpt::time_for(uint64_t counts) const
{
    uint64_t d = divisor_ns();
    uint64_t rest = counts % kPerclk1CountsPerMs * d;
    return counts / kPerclk1CountsPerMs * d + (rest + kPerclk1CountsPerMs - 1) / kPerclk1CountsPerMs;
}

// A compare value of 0 in restart mode is reached only when the counter
// comes round to 0 again: a full 2^32 counts.
uint64_t Gpt::period() const
{
    return r_.tcmp ? r_.tcmp : kWrap;
}

uint32_t Gpt::wrap(uint64_t position) const
{
    return static_cast<uint32_t>(restart_mode() ? position % period() : position % kWrap);
}

uint32_t Gpt::counter() const
{
    if (!counting())
        return base_;
    return wrap(base_ + counts_in(m_.now() - t_base_));
}

// The counter goes on from count under the current settings, from now.  In
// restart mode a count at or beyond a new, smaller compare value starts the
// period over at 0.
void Gpt::rebase(uint32_t count)
{
    base_ = restart_mode() && count >= period() ? 0 : count;
    t_base_ = m_.now();
    schedule_compare();
}

void Gpt::schedule_compare()
{
    if (event_pending_)
        m_.cancel(event_);
    event_pending_ = false;
    if (!counting())
        return;
    if (restart_mode())
        next_compare_ = period();
    else
        next_compare_ = r_.tcmp > base_ ? r_.tcmp : r_.tcmp + kWrap;
    event_ = m_.schedule(t_base_ + time_for(next_compare_ - base_), [this] { compare_event(); });
    event_pending_ = true;
}

void Gpt::compare_event()
{
    ++compare_events_;
    r_.tstat |= TSTAT_COMP;
    if (r_.tctl & TCTL_OM)
        set_output(!output_);
    next_compare_ += restart_mode() ? period() : kWrap;
    event_ = m_.schedule(t_base_ + time_for(next_compare_ - base_), [this] { compare_event(); });
    update_irq();
}

void Gpt::set_output(bool level)
{
    if (level == output_)
        return;
    output_ = level;
    if (on_output)
        on_output(level);
}

// The only place that moves the interrupt source.
void Gpt::update_irq()
{
    aitc_.set_source(irq_, clocked_ && (r_.tstat & TSTAT_COMP) && (r_.tctl & TCTL_COMPEN));
}

// ---------------------------------------------------------------- registers

void Gpt::write_tctl(uint32_t value)
{
    if (value & TCTL_SWR) {
        reset();
        return;
    }
    uint32_t count = counter();
    bool was_on = r_.tctl & TCTL_TEN;
    r_.tctl = value & 0x7FF;
    unsigned source = (r_.tctl & TCTL_CLKSOURCE) >> 1;
    if (source > 2)
        log_.once("clock source " + std::to_string(source) + " is not modelled; counting at PERCLK1");
    // Disabling clears the counter; enabling starts it from 0.
    rebase((r_.tctl & TCTL_TEN) && was_on ? count : 0);
    update_irq();
}

uint32_t Gpt::reg(uint32_t off) const
{
    switch (off) {
    case 0x00: return r_.tctl;
    case 0x04: return r_.tprer;
    case 0x08: return r_.tcmp;
    case 0x0C: return r_.tcr;
    case 0x10: return counter();
    case 0x14: return r_.tstat;
    default: return 0;
    }
}

uint32_t Gpt::read(uint32_t off, unsigned size)
{
    if (!clock_gate.admit(log_, off, false) || !log_.word(off, size, false))
        return 0;
    switch (off) {
    case 0x00: case 0x04: case 0x08: case 0x0C: case 0x10: case 0x14:
        return reg(off);
    default:
        log_.unknown_read(off);
        return 0;
    }
}

void Gpt::write(uint32_t off, uint32_t value, unsigned size)
{
    if (!clock_gate.admit(log_, off, true) || !log_.word(off, size, true))
        return;
    switch (off) {
    case 0x00:
        write_tctl(value);
        break;
    case 0x04: {  // the new rate counts from now
        uint32_t count = counter();
        r_.tprer = value & 0x7FF;
        rebase(count);
        break;
    }
    case 0x08: {
        uint32_t count = counter();
        r_.tcmp = value;
        rebase(count);
        break;
    }
    case 0x0C: case 0x10:
        log_.read_only(off, value);
        break;
    case 0x14:  // write 1 to clear
        r_.tstat &= ~(value & (TSTAT_COMP | TSTAT_CAPT));
        update_irq();
        break;
    default:
        log_.unknown_write(off, value);
        break;
    }
}

}  // namespace sim
