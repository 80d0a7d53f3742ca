#include "regfile.h"

#include <cstdio>

namespace sim {

std::string hex32(uint32_t v)
{
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", static_cast<unsigned>(v));
    return b;
}

std::string offset_text(uint32_t off)
{
    char b[16];
    std::snprintf(b, sizeof b, "+0x%03X", static_cast<unsigned>(off));
    return b;
}

// ---------------------------------------------------------------- reporter

bool AccessReporter::first(char kind, uint32_t off)
{
    return seen_.insert({kind, off}).second;
}

void AccessReporter::say(const std::string& text)
{
    m_.report(model_ + ": " + text);
}

bool AccessReporter::word(uint32_t off, unsigned size, bool write)
{
    if (size == 4)
        return true;
    if (first(write ? 'W' : 'R', off))
        say(std::to_string(size * 8) + "-bit " + (write ? "write" : "read") + " at " + offset_text(off) +
            ": the registers are 32-bit, access dropped");
    return false;
}

void AccessReporter::unknown_read(uint32_t off)
{
    if (first('r', off))
        say("read32 at unknown offset " + offset_text(off));
}

void AccessReporter::unknown_write(uint32_t off, uint32_t value)
{
    if (first('w', off))
        say("write32 of " + hex32(value) + " at unknown offset " + offset_text(off));
}

void AccessReporter::read_only(uint32_t off, uint32_t value)
{
    if (first('o', off))
        say("write32 of " + hex32(value) + " to read-only register at " + offset_text(off) + " ignored");
}

void AccessReporter::clock_off(uint32_t off, bool write, const std::string& gate)
{
    if (first(write ? 'C' : 'c', off))
        say(std::string(write ? "write" : "read") + " at " + offset_text(off) + " while the module clock (" + gate +
            ") is off: access dropped");
}

void AccessReporter::once(const std::string& text)
{
    once_per(text, text);
}

void AccessReporter::once_per(const std::string& kind, const std::string& text)
{
    if (remarks_.insert(kind).second)
        say(text);
}

// ---------------------------------------------------------------- register file

RegisterFile::RegisterFile(Machine& m, std::string name, std::vector<Reg> regs)
    : name_(std::move(name)), log_(m, name_)
{
    for (const Reg& r : regs)
        regs_.push_back({r, r.reset});
}

void RegisterFile::reset()
{
    for (Slot& s : regs_)
        s.value = s.def.reset;
}

RegisterFile::Slot* RegisterFile::find(uint32_t off)
{
    for (Slot& s : regs_)
        if (s.def.off == off)
            return &s;
    return nullptr;
}

const RegisterFile::Slot* RegisterFile::find(uint32_t off) const
{
    return const_cast<RegisterFile*>(this)->find(off);
}

uint32_t RegisterFile::reg(uint32_t off) const
{
    const Slot* s = find(off);
    return s ? s->value : 0;
}

uint32_t RegisterFile::read(uint32_t off, unsigned size)
{
    if (!log_.word(off, size, false))
        return 0;
    if (const Slot* s = find(off))
        return s->value;
    log_.unknown_read(off);
    return 0;
}

void RegisterFile::write(uint32_t off, uint32_t value, unsigned size)
{
    if (!log_.word(off, size, true))
        return;
    if (Slot* s = find(off)) {
        if (value & s->def.reserved)
            log_.once("write32 of " + hex32(value) + " at " + offset_text(off) + " sets reserved bits " +
                      hex32(value & s->def.reserved));
        s->value = value;
    } else {
        log_.unknown_write(off, value);
    }
}

// ---------------------------------------------------------------- register sets

std::vector<RegisterFile::Reg> weim_registers()
{
    std::vector<RegisterFile::Reg> r;
    for (uint32_t off = 0x00; off <= 0x2C; off += 4)  // CS0U, CS0L, ... CS5U, CS5L
        r.push_back({off, 0});
    r.push_back({0x30, 0});  // EIM
    return r;
}

std::vector<RegisterFile::Reg> aipi_registers()
{
    return {{0x00, 0}, {0x04, 0}, {0x08, 0}};  // PSR0, PSR1, PAR
}

std::vector<RegisterFile::Reg> ahb_crossbar_registers()
{
    std::vector<RegisterFile::Reg> r;
    for (uint32_t port = 0; port < 5; ++port) {
        r.push_back({port * 0x100, 0});         // priority of the slave port
        r.push_back({port * 0x100 + 0x10, 0});  // its control
    }
    return r;
}

}  // namespace sim
