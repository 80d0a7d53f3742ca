// Store-only register files for the bus set-up units (WEIM, AIPI bridges,
// AHB crossbar): on this board they only have to accept the values the
// reset code writes.  Also home of AccessReporter, which every
// register-level model uses to report the accesses it does not decode.
#pragma once

#include "machine.h"

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// Reports, through Machine::report(), the accesses a model does not decode:
// an offset the chip does not have (or that the model leaves out), a write
// to a read-only register, an access narrower than the chip's 32-bit
// registers.  Each kind of mistake at one offset is reported once per model,
// so a firmware loop polling a wrong address does not flood the log.
class AccessReporter {
public:
    AccessReporter(Machine& m, std::string model) : m_(m), model_(std::move(model)) {}

    // True for a 32-bit access; anything narrower is reported and must be
    // dropped by the caller (reads then return 0).
    bool word(uint32_t off, unsigned size, bool write);
    void unknown_read(uint32_t off);
    void unknown_write(uint32_t off, uint32_t value);
    void read_only(uint32_t off, uint32_t value);
    // A register access while the module's clock (gate, e.g. "PCCR0 bit 0")
    // is off: the module does not answer, the access is dropped.
    void clock_off(uint32_t off, bool write, const std::string& gate);
    // Any other remark about the model's use, once per distinct text.
    void once(const std::string& text);
    // A remark made only the first time its kind comes (the text may hold
    // details, such as an address, that differ from time to time).
    void once_per(const std::string& kind, const std::string& text);

private:
    bool first(char kind, uint32_t off);
    void say(const std::string& text);

    Machine& m_;
    std::string model_;
    std::set<std::pair<char, uint32_t>> seen_;
    std::set<std::string> remarks_;
};

std::string hex32(uint32_t v);  // "0x0000ABCD"
std::string offset_text(uint32_t off);  // "+0x01C"

class RegisterFile : public Device {
public:
    struct Reg {
        uint32_t off;
        uint32_t reset;
        uint32_t reserved = 0;  // bits that must be written 0
    };

    RegisterFile(Machine& m, std::string name, std::vector<Reg> regs);

    const char* name() const override { return name_.c_str(); }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;

    void reset();
    // Stored value of the register at off; 0 for an offset it does not have.
    uint32_t reg(uint32_t off) const;

private:
    struct Slot {
        Reg def;
        uint32_t value;
    };
    Slot* find(uint32_t off);
    const Slot* find(uint32_t off) const;

    std::string name_;
    std::vector<Slot> regs_;  // the state record: one slot per register
    AccessReporter log_;
};

// Register sets of the board's bus set-up units, for RegisterFile.
std::vector<RegisterFile::Reg> weim_registers();         // 0xDF001000: CS0U..CS5L, EIM
std::vector<RegisterFile::Reg> aipi_registers();         // 0x10000000, 0x10020000: PSR0, PSR1, PAR
std::vector<RegisterFile::Reg> ahb_crossbar_registers(); // 0x1003F000: priority and control per slave port

}  // namespace sim
