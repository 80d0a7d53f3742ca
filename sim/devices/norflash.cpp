#include "norflash.h"

#include <cstring>

namespace sim {

namespace {
// Command addresses as byte offsets of the 16-bit chip.
constexpr uint32_t kCmd1 = 0xAAA;
constexpr uint32_t kCmd2 = 0x554;
}  // namespace

NorFlash::NorFlash(Machine& m) : m_(m), rep_(m, "NOR flash") {}

uint16_t NorFlash::array(uint32_t off) const
{
    uint16_t v = 0xFFFF;
    if (const uint8_t* p = m_.mem(kBase + (off & ~1u), 2))
        std::memcpy(&v, p, 2);
    return v;
}

void NorFlash::bad(uint32_t off, uint32_t v)
{
    char b[160];
    if (bypass_) {
        // In unlock bypass mode the chip takes only its own short commands
        // (program, erase, and the exit 0x90 0x00); anything else, the
        // unlock cycles and the reset 0xF0 among them, it ignores.
        std::snprintf(b, sizeof b,
                      "NOR flash: command 0x%04X at +0x%07X ignored in unlock bypass mode (it ends only with "
                      "0x90 then 0x00)",
                      v, off);
        m_.report(b);
        state_ = State::Bypass;
        return;
    }
    std::snprintf(b, sizeof b, "NOR flash: unexpected command 0x%04X at +0x%07X; back to reading", v, off);
    m_.report(b);
    state_ = State::Read;
}

// Below the memory image lies the firmware itself: nothing the running
// firmware does should change it.
void NorFlash::below_image(const char* what, uint32_t off)
{
    if (off >= kImageOffset)
        return;
    char b[96];
    std::snprintf(b, sizeof b, "NOR flash: %s at +0x%07X, in the firmware's own flash", what, off);
    rep_.once(b);
}

void NorFlash::program(uint32_t off, uint16_t v)
{
    below_image("program", off & ~0xFFFu);
    uint8_t* p = m_.writable(kBase + (off & ~1u), 2);
    if (!p)
        return;
    uint16_t old;
    std::memcpy(&old, p, 2);
    // Programming only clears bits; a 1 over a 0 never verifies and the chip
    // runs out of time (DQ5).
    uint16_t now = old & v;
    std::memcpy(p, &now, 2);
    target_ = v;
    busy_off_ = off & ~1u;
    busy_ = true;
    erasing_ = false;
    ++programmed_;
    if (now != v) {
        state_ = State::Failed;
        return;
    }
    m_.schedule_in(kWordProgram, [this] { finish(); });
}

void NorFlash::erase(uint32_t first, uint32_t len)
{
    below_image("erase", first);
    if (failing_sector_ >= 0 && first <= (uint32_t)failing_sector_ * kSector &&
        (uint32_t)failing_sector_ * kSector < first + len) {
        busy_ = true;
        erasing_ = false;
        erase_failed_ = true;  // DQ7 stays 0, DQ5 set
        state_ = State::Failed;
        return;
    }
    uint8_t* p = m_.writable(kBase + first, len);
    if (p)
        std::memset(p, 0xFF, len);
    busy_ = true;
    erasing_ = true;
    busy_off_ = first;
    erased_ += len / kSector;
    m_.schedule_in(kSectorErase * (len / kSector), [this] { finish(); });
}

// The last cycle of an erase: 0x30 at a sector, or 0x10 for the whole chip
// (where chip_ok says the address is right for it).
void NorFlash::erase_command(uint32_t off, uint16_t v, bool chip_ok)
{
    const uint8_t cmd = static_cast<uint8_t>(v);
    if (cmd == 0x30)
        erase(off & ~(kSector - 1), kSector);
    else if (cmd == 0x10 && chip_ok)
        erase(0, kSize);
    else
        bad(off, v);
}

void NorFlash::finish()
{
    busy_ = false;
    erasing_ = false;
    state_ = bypass_ ? State::Bypass : State::Read;
}

uint16_t NorFlash::status(uint32_t)
{
    toggle_ = !toggle_;
    uint16_t s = toggle_ ? 0x40 : 0;
    if (erasing_)
        return s | 0x08;  // DQ7 0 until done, DQ3 erase started
    if (erase_failed_)
        return s | 0x20 | 0x08;  // an erase that ran out of time
    s |= (~target_) & 0x80;
    if (state_ == State::Failed)
        s |= 0x20;
    return s;
}

uint32_t NorFlash::read(uint32_t off, unsigned size)
{
    uint32_t v;
    if (busy_) {
        v = status(off);
    } else if (state_ == State::Autoselect) {
        switch ((off >> 1) & 0xFF) {
        case 0x00: v = 0x0001; break;  // manufacturer
        case 0x01: v = 0x227E; break;  // device
        case 0x0E: v = 0x2222; break;
        case 0x0F: v = 0x2201; break;
        default: v = 0; break;
        }
    } else {
        v = array(off);
        if (size == 4)
            v |= static_cast<uint32_t>(array(off + 2)) << 16;
    }
    if (size == 1)
        v = (off & 1) ? (v >> 8) & 0xFF : v & 0xFF;
    return v;
}

void NorFlash::write(uint32_t off, uint32_t value, unsigned size)
{
    if (size != 2) {
        rep_.once("NOR flash: commands are 16-bit writes");
        return;
    }
    uint16_t v = static_cast<uint16_t>(value);
    uint8_t cmd = static_cast<uint8_t>(v);
    if (state_ == State::Failed) {
        // After an exceeded time the chip waits for a reset and ignores
        // everything else.
        if (cmd == 0xF0) {
            busy_ = false;
            bypass_ = false;
            erase_failed_ = false;
            state_ = State::Read;
        }
        return;
    }
    if (busy_) {
        // The chip ignores commands while it works (erase suspend is not used).
        rep_.once("NOR flash: command while busy");
        return;
    }
    if (cmd == 0xF0 && !bypass_ && state_ != State::Program) {
        // Reset: back to reading the array.
        busy_ = false;
        erasing_ = false;
        bypass_ = false;
        state_ = State::Read;
        return;
    }
    switch (state_) {
    case State::Read:
    case State::Autoselect:
        if (off == kCmd1 && cmd == 0xAA)
            state_ = State::Unlock1;
        else if (cmd == 0x98)
            rep_.once("NOR flash: CFI query is not modelled");
        else
            bad(off, v);
        break;
    case State::Unlock1:
        if (off == kCmd2 && cmd == 0x55)
            state_ = State::Unlock2;
        else
            bad(off, v);
        break;
    case State::Unlock2:
        if (off != kCmd1) {
            bad(off, v);
        } else if (cmd == 0xA0) {
            state_ = State::Program;
        } else if (cmd == 0x80) {
            state_ = State::EraseSetup;
        } else if (cmd == 0x20) {
            bypass_ = true;
            state_ = State::Bypass;
        } else if (cmd == 0x90) {
            state_ = State::Autoselect;
        } else {
            bad(off, v);
        }
        break;
    case State::EraseSetup:
        if (off == kCmd1 && cmd == 0xAA)
            state_ = State::EraseUnlock1;
        else
            bad(off, v);
        break;
    case State::EraseUnlock1:
        if (off == kCmd2 && cmd == 0x55)
            state_ = State::EraseUnlock2;
        else
            bad(off, v);
        break;
    case State::EraseUnlock2:
        erase_command(off, v, off == kCmd1);
        break;
    case State::Program:
    case State::BypassProgram:
        program(off, v);
        break;
    case State::Bypass:
        if (cmd == 0xA0)
            state_ = State::BypassProgram;
        else if (cmd == 0x90)
            state_ = State::BypassReset;
        else if (cmd == 0x80)
            state_ = State::BypassErase;
        else
            bad(off, v);
        break;
    case State::BypassErase:
        // The erase of unlock bypass mode has no unlock cycles, and its chip
        // erase may be written anywhere.
        erase_command(off, v, true);
        break;
    case State::BypassReset:
        if (cmd == 0x00) {
            bypass_ = false;
            state_ = State::Read;
        } else {
            bad(off, v);
        }
        break;
    case State::Failed:
        break;
    }
}

}  // namespace sim
