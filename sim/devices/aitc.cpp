#include "aitc.h"

namespace sim {

namespace {

uint64_t join(uint32_t hi, uint32_t lo)
{
    return static_cast<uint64_t>(hi) << 32 | lo;
}

uint32_t hi(uint64_t v) { return static_cast<uint32_t>(v >> 32); }
uint32_t lo(uint64_t v) { return static_cast<uint32_t>(v); }

// Number of the highest set bit, or -1.
int highest(uint64_t v)
{
    int n = -1;
    while (v) {
        v >>= 1;
        ++n;
    }
    return n;
}

void set_bit(uint32_t& hiword, uint32_t& loword, unsigned n, bool on)
{
    uint32_t& w = n >= 32 ? hiword : loword;
    uint32_t bit = 1u << (n % 32);
    w = on ? (w | bit) : (w & ~bit);
}

}  // namespace

Aitc::Aitc(Machine& m) : m_(m), log_(m, "AITC")
{
    reset();
}

void Aitc::reset()
{
    r_ = Regs{};
    update_irq();
}

uint64_t Aitc::pending() const
{
    return (join(r_.intsrch, r_.intsrcl) | join(r_.intfrch, r_.intfrcl)) & join(r_.intenableh, r_.intenablel);
}

uint64_t Aitc::normal_pending() const
{
    return pending() & ~join(r_.inttypeh, r_.inttypel);
}

uint64_t Aitc::fast_pending() const
{
    return pending() & join(r_.inttypeh, r_.inttypel);
}

// The only place that moves the IRQ line.
void Aitc::update_irq()
{
    m_.set_irq_line(normal_pending() != 0);
}

void Aitc::set_source(int n, bool level)
{
    if (n < 0 || n > 63) {
        log_.once("interrupt source " + std::to_string(n) + " does not exist");
        return;
    }
    set_bit(r_.intsrch, r_.intsrcl, static_cast<unsigned>(n), level);
    update_irq();
}

uint32_t Aitc::read(uint32_t off, unsigned size)
{
    if (!log_.word(off, size, false))
        return 0;
    switch (off) {
    case 0x00: return r_.intcntl;
    case 0x04: return r_.nimask;
    case 0x08: return 0;  // INTENNUM, write-only
    case 0x0C: return 0;  // INTDISNUM, write-only
    case 0x10: return r_.intenableh;
    case 0x14: return r_.intenablel;
    case 0x18: return r_.inttypeh;
    case 0x1C: return r_.inttypel;
    case 0x20: case 0x24: case 0x28: case 0x2C:
    case 0x30: case 0x34: case 0x38: case 0x3C:
        return r_.nipriority[(off - 0x20) / 4];
    case 0x40: {  // NIVECSR: source number in the upper half, 0xFFFF when none
        int n = highest(normal_pending());
        return n < 0 ? 0xFFFF0000u : static_cast<uint32_t>(n) << 16;
    }
    case 0x44: {  // FIVECSR
        int n = highest(fast_pending());
        return n < 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(n);
    }
    case 0x48: return r_.intsrch;
    case 0x4C: return r_.intsrcl;
    case 0x50: return r_.intfrch;
    case 0x54: return r_.intfrcl;
    case 0x58: return hi(normal_pending());  // NIPNDH
    case 0x5C: return lo(normal_pending());  // NIPNDL
    case 0x60: return hi(fast_pending());    // FIPNDH
    case 0x64: return lo(fast_pending());    // FIPNDL
    default:
        log_.unknown_read(off);
        return 0;
    }
}

void Aitc::write(uint32_t off, uint32_t value, unsigned size)
{
    if (!log_.word(off, size, true))
        return;
    switch (off) {
    case 0x00: r_.intcntl = value; break;
    case 0x04: r_.nimask = value; break;
    case 0x08: set_bit(r_.intenableh, r_.intenablel, value & 63, true); break;   // INTENNUM
    case 0x0C: set_bit(r_.intenableh, r_.intenablel, value & 63, false); break;  // INTDISNUM
    case 0x10: r_.intenableh = value; break;
    case 0x14: r_.intenablel = value; break;
    case 0x18: r_.inttypeh = value; break;
    case 0x1C: r_.inttypel = value; break;
    case 0x20: case 0x24: case 0x28: case 0x2C:
    case 0x30: case 0x34: case 0x38: case 0x3C:
        r_.nipriority[(off - 0x20) / 4] = value;
        return;
    case 0x40: case 0x44:  // vector registers
    case 0x48: case 0x4C:  // raw source levels
    case 0x58: case 0x5C: case 0x60: case 0x64:  // pending registers
        log_.read_only(off, value);
        return;
    case 0x50: r_.intfrch = value; break;
    case 0x54: r_.intfrcl = value; break;
    default:
        log_.unknown_write(off, value);
        return;
    }
    update_irq();
}

}  // namespace sim
