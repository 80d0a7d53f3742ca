#include "gpio.h"

namespace sim {

namespace {

constexpr uint32_t kPmask = 0x600;

// Pins whose two output-configuration bits are 3 (data register), from the
// OCR word of 16 pins, as a 16-bit mask.
uint32_t ocr_dr_pins(uint32_t ocr)
{
    uint32_t mask = 0;
    for (int pin = 0; pin < 16; ++pin)
        if (((ocr >> (2 * pin)) & 3) == 3)
            mask |= 1u << pin;
    return mask;
}

}  // namespace

Gpio::Gpio(Machine& m) : log_(m, "GPIO")
{
    reset();
}

void Gpio::reset_port(Port& p)
{
    p = Port{};
    p.puen = 0xFFFFFFFF;
}

void Gpio::reset()
{
    for (Port& p : port_)
        reset_port(p);
    pmask_ = 0x3F;
}

bool Gpio::valid(int port, int pin)
{
    return port >= 0 && port < kPorts && pin >= 0 && pin < 32;
}

uint32_t Gpio::dr_outputs(int port) const
{
    const Port& p = port_[port];
    uint32_t ocr3 = ocr_dr_pins(p.ocr1) | ocr_dr_pins(p.ocr2) << 16;
    return p.gius & p.ddir & ocr3;
}

uint32_t Gpio::levels(int port) const
{
    const Port& p = port_[port];
    const Drivers& d = ext_[port];
    uint32_t out = dr_outputs(port);
    return (out & p.dr) | (~out & d.driven & d.high) | (~out & ~d.driven & p.puen);
}

void Gpio::notify(int port, uint32_t before)
{
    uint32_t after = levels(port);
    uint32_t changed = before ^ after;
    for (int pin = 0; pin < 32 && changed; ++pin)
        if (changed & (1u << pin)) {
            changed &= ~(1u << pin);
            if (on_change)
                on_change(port, pin, (after >> pin) & 1);
        }
}

int Gpio::level(int port, int pin) const
{
    return valid(port, pin) ? static_cast<int>((levels(port) >> pin) & 1) : 0;
}

bool Gpio::is_gpio_output(int port, int pin) const
{
    return valid(port, pin) && ((dr_outputs(port) >> pin) & 1);
}

bool Gpio::is_gpio(int port, int pin) const
{
    return valid(port, pin) && ((port_[port].gius >> pin) & 1);
}

void Gpio::drive(int port, int pin, int level)
{
    if (!valid(port, pin)) {
        log_.once("drive of port " + std::to_string(port) + " pin " + std::to_string(pin) +
                  ", which does not exist");
        return;
    }
    uint32_t before = levels(port);
    Drivers& d = ext_[port];
    uint32_t bit = 1u << pin;
    if (level < 0) {
        d.driven &= ~bit;
        d.high &= ~bit;
    } else {
        d.driven |= bit;
        d.high = level ? (d.high | bit) : (d.high & ~bit);
    }
    notify(port, before);
}

uint32_t Gpio::reg(int port, uint32_t off) const
{
    if (port < 0 || port >= kPorts)
        return 0;
    const Port& p = port_[port];
    switch (off) {
    case 0x00: return p.ddir;
    case 0x04: return p.ocr1;
    case 0x08: return p.ocr2;
    case 0x0C: return p.iconfa1;
    case 0x10: return p.iconfa2;
    case 0x14: return p.iconfb1;
    case 0x18: return p.iconfb2;
    case 0x1C: return p.dr;
    case 0x20: return p.gius;
    case 0x24: return levels(port);  // SSR
    case 0x28: return p.icr1;
    case 0x2C: return p.icr2;
    case 0x30: return p.imr;
    case 0x34: return p.isr;
    case 0x38: return p.gpr;
    case 0x3C: return 0;  // SWR: the reset bit clears itself
    case 0x40: return p.puen;
    default: return 0;
    }
}

uint32_t Gpio::read(uint32_t off, unsigned size)
{
    if (!log_.word(off, size, false))
        return 0;
    if (off == kPmask)
        return pmask_;
    uint32_t reg_off = off & 0xFF;
    if (off >= kPmask || reg_off > 0x40 || (reg_off & 3)) {
        log_.unknown_read(off);
        return 0;
    }
    return reg(static_cast<int>(off >> 8), reg_off);
}

void Gpio::write(uint32_t off, uint32_t value, unsigned size)
{
    if (!log_.word(off, size, true))
        return;
    if (off == kPmask) {
        pmask_ = value;
        return;
    }
    uint32_t reg_off = off & 0xFF;
    if (off >= kPmask || reg_off > 0x40 || (reg_off & 3)) {
        log_.unknown_write(off, value);
        return;
    }
    int port = static_cast<int>(off >> 8);
    uint32_t before = levels(port);
    const uint32_t gius = port_[port].gius, gpr = port_[port].gpr;
    write_port(port, reg_off, value);
    notify(port, before);
    if ((port_[port].gius != gius || port_[port].gpr != gpr) && on_use_change)
        on_use_change(port);
}

void Gpio::write_port(int port, uint32_t off, uint32_t value)
{
    Port& p = port_[port];
    switch (off) {
    case 0x00: p.ddir = value; break;
    case 0x04: p.ocr1 = value; break;
    case 0x08: p.ocr2 = value; break;
    case 0x0C: p.iconfa1 = value; break;
    case 0x10: p.iconfa2 = value; break;
    case 0x14: p.iconfb1 = value; break;
    case 0x18: p.iconfb2 = value; break;
    case 0x1C: p.dr = value; break;
    case 0x20: p.gius = value; break;
    case 0x24: log_.read_only(static_cast<uint32_t>(port) * 0x100 + off, value); break;  // SSR
    case 0x28: p.icr1 = value; break;
    case 0x2C: p.icr2 = value; break;
    case 0x30: p.imr = value; break;
    case 0x34: p.isr &= ~value; break;  // write 1 to clear
    case 0x38: p.gpr = value; break;
    case 0x3C:
        if (value & 1)
            reset_port(p);
        break;
    case 0x40: p.puen = value; break;
    }
}

}  // namespace sim
