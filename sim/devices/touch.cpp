#include "touch.h"

#include <algorithm>

namespace sim {

namespace {
constexpr int kLow = 150, kHigh = 850, kMargin = 20;
// Z1 of a touch in 10-bit counts; Z2 follows from the touch resistance.
constexpr int kZ1 = 100;

int clamp12(int v) { return std::clamp(v, 0, 4095); }

// ---------------------------------------------------------------- panel

// The count at the centre of pixel p, counted from the calibration point
// at pixel kMargin, across a span of `pixels` pixels for kHigh - kLow
// counts, rounded to the nearest count.  The firmware maps a count back
// with a division that truncates towards that point, so that each pixel's
// counts lie on the side of it away from the point: the centre is p + 1/2
// pixel right of it and p - 1/2 left of it.
int centre_counts(int p, int pixels)
{
    const int d = p - kMargin;
    const int away = d < 0 ? -d : d;
    const int counts = ((2 * away + 1) * (kHigh - kLow) + pixels) / (2 * pixels);
    return d < 0 ? -counts : counts;
}
}  // namespace

void ResistivePanel::raw_at(int sx, int sy, int* chip_x, int* chip_y) const
{
    int w = 0, h = 0;
    size_(&w, &h);
    if (w <= 2 * kMargin + 1 || h <= 2 * kMargin + 1) {
        w = 800;
        h = 480;
    }
    *chip_y = kHigh - centre_counts(sx, w - 2 * kMargin - 1);
    *chip_x = kLow + centre_counts(sy, h - 2 * kMargin - 1);
}

PanelReading ResistivePanel::read()
{
    Finger f = where_();
    if (!f.down)
        return {false, 0, 0, 0, 4095};
    int cx, cy;
    raw_at(f.x, f.y, &cx, &cy);
    if (noise) {
        int n = (readings_++ & 1) ? -noise : noise;
        cx += n;
        cy += n;
    }
    cx = std::clamp(cx, 1, 1023);
    cy = std::clamp(cy, 0, 1023);
    int z2 = kZ1 + kZ1 * resistance * 4 / cx;
    return {true, static_cast<uint16_t>(clamp12(cx * 4)), static_cast<uint16_t>(clamp12(cy * 4)),
            static_cast<uint16_t>(kZ1 * 4), static_cast<uint16_t>(clamp12(z2 * 4))};
}

// ---------------------------------------------------------------- TSC2046

void Tsc2046::select()
{
    selected_ = true;
    shift_left_ = 0;
}

void Tsc2046::deselect()
{
    selected_ = false;
    shift_left_ = 0;
}

uint16_t Tsc2046::convert(unsigned channel)
{
    ++conversions_;
    PanelReading r = panel_.read();
    switch (channel) {
    case X_POS: return r.x;
    case Y_POS: return r.y;
    case Z1: return r.z1;
    case Z2: return r.z2;
    case TEMP0:
    case TEMP1: {
        // The firmware's conversion in reverse: 25000 * (t1 - t0) / 4095 is
        // the difference in the chip's 2.5 V scale.
        const int t0 = 983;
        double target = celsius * 10 + 2730;
        int diff = static_cast<int>(target * 1000 / 2573 * 4095 / 25000 + 0.5);
        return static_cast<uint16_t>(channel == TEMP0 ? t0 : clamp12(t0 + diff));
    }
    default:
        rep_.once("TSC2046: conversion of the battery or auxiliary input, which the board leaves open");
        return 0;
    }
}

uint32_t Tsc2046::exchange(uint32_t out, unsigned bits)
{
    if (bits != 8) {
        rep_.once("TSC2046: words of other than 8 bits on the port");
        return 0;
    }
    uint32_t in = 0;
    if (shift_left_) {
        in = (shift_ >> 8) & 0xFF;
        shift_ = (shift_ << 8) & 0xFFFF;
        shift_left_ = shift_left_ > 8 ? shift_left_ - 8 : 0;
    }
    if (selected_ && (out & 0x80)) {
        control_ = static_cast<uint8_t>(out);
        uint16_t v = convert((control_ >> 4) & 7);
        if (control_ & 0x08)
            v &= 0xFF0;  // 8-bit conversion: the upper 8 bits only
        // One busy bit, then the result MSB first.
        shift_ = static_cast<uint32_t>(v) << 3;
        shift_left_ = 16;
    }
    return in;
}

bool Tsc2046::pen_down() const
{
    if (control_ & 0x01)  // PD0: converter powered, pen interrupt off
        return false;
    return panel_.touched();
}

// ---------------------------------------------------------------- SX8652

void Sx8652::reset()
{
    std::fill(std::begin(regs_), std::end(regs_), 0);
    pentrg_ = false;
    step_ = Step::Command;
}

void Sx8652::select()
{
    step_ = Step::Command;
}

void Sx8652::deselect()
{
    step_ = Step::Command;
}

uint32_t Sx8652::exchange(uint32_t out, unsigned bits)
{
    if (bits != 8) {
        rep_.once("SX8652: words of other than 8 bits on the port");
        return 0;
    }
    uint8_t b = static_cast<uint8_t>(out);
    switch (step_) {
    case Step::WriteData:
        step_ = Step::Command;
        if (addr_ == kSoftReset) {
            if (b == 0xDE)
                reset();
            else
                rep_.once("SX8652: soft-reset register written with other than 0xDE");
            return 0;
        }
        regs_[addr_] = b;
        return 0;
    case Step::ReadData:
        step_ = Step::Command;
        return addr_ == kStatus ? (pen_down() ? 0x80 : 0) : regs_[addr_];
    case Step::Channel1:
        step_ = Step::Channel2;
        return word_ >> 8;
    case Step::Channel2:
        step_ = Step::Command;
        return word_ & 0xFF;
    case Step::Command: break;
    }
    if ((b & 0xE0) == 0x00) {
        addr_ = b & 0x1F;
        step_ = Step::WriteData;
    } else if ((b & 0xE0) == 0x40) {
        addr_ = b & 0x1F;
        step_ = Step::ReadData;
    } else if ((b & 0xF8) == 0x20) {
        unsigned ch = b & 7;
        uint16_t v = 0;
        if (ch > 3 || !(regs_[kChanMask] & (0x80 >> ch)))
            rep_.once("SX8652: read of a channel that is not converted");
        else if (pentrg_) {
            PanelReading r = panel_.read();
            const uint16_t vals[4] = {r.x, r.y, r.z1, r.z2};
            v = vals[ch];
        }
        word_ = static_cast<uint16_t>((ch << 12) | (v & 0xFFF));
        step_ = Step::Channel1;
    } else if (b == CMD_PENTRG) {
        pentrg_ = true;
    } else if (b == CMD_MANUAL) {
        pentrg_ = false;
    } else {
        rep_.once("SX8652: command byte " + hex32(b) + " that the board does not use");
    }
    return 0;
}

bool Sx8652::pen_down() const
{
    return pentrg_ && panel_.touched();
}

// ---------------------------------------------------------------- socket

TouchScreen::TouchScreen(Machine& m, Gpio& gpio, std::function<ResistivePanel::Finger()> where,
                         std::function<void(int*, int*)> size)
    : panel(std::move(where), std::move(size)), tsc2046(m, panel), sx8652(m, panel), gpio_(gpio)
{
}

void TouchScreen::use_sx8652(bool on)
{
    use_sx_ = on;
    sync_pen();
}

uint32_t TouchScreen::exchange(uint32_t out, unsigned bits)
{
    uint32_t in = chip()->exchange(out, bits);
    sync_pen();
    return in;
}

void TouchScreen::sync_pen()
{
    bool down = use_sx_ ? sx8652.pen_down() : tsc2046.pen_down();
    int level = down ? 0 : -1;
    if (level != pen_level_) {
        pen_level_ = level;
        gpio_.drive(Gpio::PORT_B, 15, level);
    }
}

uint32_t PenSense::read(uint32_t off, unsigned size)
{
    touch_.sync_pen();
    return gpio_.read(kBase - 0x10015000 + off, size);
}

void PenSense::write(uint32_t off, uint32_t value, unsigned size)
{
    gpio_.write(kBase - 0x10015000 + off, value, size);
}

}  // namespace sim
