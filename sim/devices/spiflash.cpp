#include "spiflash.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace sim {

namespace {
std::string hex8(uint8_t v)
{
    char b[8];
    std::snprintf(b, sizeof b, "0x%02X", v);
    return b;
}
}  // namespace

SpiFlash::SpiFlash(Machine& m) : m_(m), rep_(m, "SPI flash"), mem_(kSize, 0xFF), page_(kPage, -1) {}

SpiFlash::~SpiFlash()
{
    if (busy())
        m_.cancel(busy_event_);
}

void SpiFlash::select()
{
    selected_ = true;
    count_ = 0;
    command_ = 0;
    page_loaded_ = false;
}

void SpiFlash::begin(Op op, Time t)
{
    status_ |= SR_WIP;
    uint32_t at = address_;
    busy_event_ = m_.schedule_in(t, [this, op, at] {
        switch (op) {
        case Op::Program:
            for (uint32_t i = 0; i < kPage; ++i)
                if (page_[i] >= 0)
                    mem_[page_base_ + i] &= static_cast<uint8_t>(page_[i]);
            break;
        case Op::SectorErase:
            std::fill_n(mem_.begin() + (at & ~(kSector - 1)), kSector, 0xFF);
            break;
        case Op::ChipErase:
            std::fill(mem_.begin(), mem_.end(), 0xFF);
            break;
        case Op::None:
            break;
        }
        status_ &= ~(SR_WIP | SR_WEL);
    });
}

void SpiFlash::deselect()
{
    if (!selected_)
        return;
    selected_ = false;
    if (busy() || count_ == 0)
        return;
    switch (command_) {
    case 0x06:
        status_ |= SR_WEL;
        break;
    case 0x04:
        status_ &= ~SR_WEL;
        break;
    case 0x02:
        if (!(status_ & SR_WEL))
            rep_.once("SPI flash: page program without write enable (ignored)");
        else if (page_loaded_)
            begin(Op::Program, page_program_time);
        break;
    case 0xD8:
        if (count_ != 4)
            rep_.once("SPI flash: sector erase with " + std::to_string(count_) + " bytes (ignored)");
        else if (!(status_ & SR_WEL))
            rep_.once("SPI flash: sector erase without write enable (ignored)");
        else
            begin(Op::SectorErase, sector_erase_time);
        break;
    case 0xC7:
    case 0x60:
        if (count_ != 1)
            rep_.once("SPI flash: chip erase with extra bytes (ignored)");
        else if (!(status_ & SR_WEL))
            rep_.once("SPI flash: chip erase without write enable (ignored)");
        else
            begin(Op::ChipErase, chip_erase_time);
        break;
    default:
        break;
    }
}

uint32_t SpiFlash::exchange(uint32_t out, unsigned bits)
{
    if (bits != 8) {
        rep_.once("SPI flash: " + std::to_string(bits) + "-bit words; the chip works in bytes");
        return ~0u;
    }
    if (!selected_)
        return 0xFF;
    uint8_t in = byte(static_cast<uint8_t>(out));
    ++count_;
    return in;
}

uint8_t SpiFlash::byte(uint8_t in)
{
    if (count_ == 0) {
        command_ = in;
        if (busy() && in != 0x05)
            rep_.once("SPI flash: command " + hex8(in) + " while busy (ignored)");
        switch (in) {
        case 0x9F: case 0x05: case 0x06: case 0x04: case 0x03: case 0x0B: case 0x02: case 0xD8: case 0xC7:
        case 0x60:
            break;
        default:
            rep_.once("SPI flash: unknown command " + hex8(in));
        }
        return 0xFF;
    }
    if (busy() && command_ != 0x05)
        return 0xFF;
    uint32_t n = count_;  // index of this byte after the command
    switch (command_) {
    case 0x9F:
        return n <= 3 ? static_cast<uint8_t>(kJedecId >> (8 * (3 - n))) : 0x00;
    case 0x05:
        return status_;
    case 0x03:
    case 0x0B:
    case 0x02:
    case 0xD8: {
        if (n <= 3) {
            address_ = ((address_ << 8) | in) & 0xFFFFFF;
            if (n == 3) {
                address_ &= kSize - 1;
                if (command_ == 0x02) {
                    page_base_ = address_ & ~(kPage - 1);
                    std::fill(page_.begin(), page_.end(), -1);
                }
            }
            return 0xFF;
        }
        if (command_ == 0x0B && n == 4)
            return 0xFF;  // the dummy byte
        if (command_ == 0x02) {
            uint32_t i = address_ & (kPage - 1);
            page_[i] = in;  // a wrapped byte replaces the one latched before
            page_loaded_ = true;
            address_ = page_base_ + ((i + 1) & (kPage - 1));
            return 0xFF;
        }
        if (command_ == 0xD8)
            return 0xFF;
        uint8_t v = mem_[address_];
        address_ = (address_ + 1) & (kSize - 1);
        return v;
    }
    default:
        return 0xFF;
    }
}

}  // namespace sim
