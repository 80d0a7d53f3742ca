#include "pwm.h"

namespace sim {

namespace {
// Control bits that the chip stores: clock selection, repeat, prescaler,
// enable, interrupt enable, clock source, byte and halfword swap.
constexpr uint32_t kPwmcStored = 0x0006FF5Fu & ~Pwm::PWMC_SWR;
constexpr uint32_t kSampleBits = 0xFFFF;
constexpr uint32_t kPeriodBits = 0xFFFF;
}  // namespace

Pwm::Pwm(Machine& m) : log_(m, "PWM")
{
    reset();
}

void Pwm::reset()
{
    r_ = Regs{};
}

double Pwm::duty() const
{
    if (!enabled() || !clock_gate.open() || r_.pwmp == 0)
        return 0;
    return r_.pwms >= r_.pwmp ? 1.0 : double(r_.pwms) / r_.pwmp;
}

uint32_t Pwm::read(uint32_t off, unsigned size)
{
    if (!clock_gate.admit(log_, off, false) || !log_.word(off, size, false))
        return 0;
    switch (off) {
    case PWMC: return r_.pwmc;  // the reset bit has cleared itself already
    case PWMS: return r_.pwms;
    case PWMP: return r_.pwmp;
    default:
        log_.unknown_read(off);
        return 0;
    }
}

void Pwm::write(uint32_t off, uint32_t value, unsigned size)
{
    if (!clock_gate.admit(log_, off, true) || !log_.word(off, size, true))
        return;
    switch (off) {
    case PWMC:
        // The software reset returns every register to its reset value and
        // clears itself; the rest of the written value is lost with it.
        if (value & PWMC_SWR)
            reset();
        else
            r_.pwmc = value & kPwmcStored;
        break;
    case PWMS:
        r_.pwms = value & kSampleBits;
        break;
    case PWMP:
        r_.pwmp = value & kPeriodBits;
        break;
    default:
        log_.unknown_write(off, value);
        break;
    }
}

}  // namespace sim
