// i.MX21 GPIO ports A..F, window 0x10015000, 0x700 bytes (0x100 per port,
// PMASK at +0x600).
//
// Models what decides a pin's level: a pin drives its data-register bit when
// it is in GPIO use, an output and has output configuration 3 (data
// register); otherwise an external driver (a strap, a card-detect switch, a
// peripheral output wired up by the board) decides, and an undriven pin
// reads its pull-up.  GPIO interrupts are not used on this board: their
// registers are stored only.
#pragma once

#include "machine.h"
#include "regfile.h"

#include <cstdint>
#include <functional>

namespace sim {

class Gpio : public Device {
public:
    enum { PORT_A, PORT_B, PORT_C, PORT_D, PORT_E, PORT_F, kPorts };

    explicit Gpio(Machine& m);

    const char* name() const override { return "GPIO"; }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;

    void reset();

    // Level of the pin as seen from outside the chip (0 or 1).
    int level(int port, int pin) const;
    // An external driver sets the pin to 0 or 1; -1 releases it.
    void drive(int port, int pin, int level);
    bool is_gpio_output(int port, int pin) const;
    bool is_gpio(int port, int pin) const;
    // Register at off (0x00..0x40) of a port; SSR gives the pin levels.
    uint32_t reg(int port, uint32_t off) const;
    uint32_t pmask() const { return pmask_; }

    // Called once per pin whose outside level changed, after a register
    // write or a drive().
    std::function<void(int port, int pin, int level)> on_change;
    // Called after a register write that changed which of a port's pins are
    // GPIO and which peripheral function the others have (GIUS, GPR).
    std::function<void(int port)> on_use_change;

private:
    struct Port {
        uint32_t ddir, ocr1, ocr2;
        uint32_t iconfa1, iconfa2, iconfb1, iconfb2;
        uint32_t dr, gius;
        uint32_t icr1, icr2, imr, isr;
        uint32_t gpr, puen;
    };
    // The far side of each port's pins.
    struct Drivers {
        uint32_t driven;  // pins an external driver holds
        uint32_t high;    // and their levels
    };

    static bool valid(int port, int pin);
    void reset_port(Port& p);
    uint32_t dr_outputs(int port) const;  // pins driven from the data register
    uint32_t levels(int port) const;
    void notify(int port, uint32_t before);
    uint32_t read_port(int port, uint32_t off);
    void write_port(int port, uint32_t off, uint32_t value);

    Port port_[kPorts]{};
    uint32_t pmask_ = 0;
    Drivers ext_[kPorts]{};
    AccessReporter log_;
};

}  // namespace sim
