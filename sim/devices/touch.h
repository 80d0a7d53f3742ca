// The resistive touch panel and its two possible converters on CSPI2 (chip
// select PD21, pen line PB15, low = pen down): the TSC2046 of most boards
// and the SX8652 of plus-E boards.
//
// The panel turns a finger at a screen pixel into plate voltages through a
// fixed mapping that matches the firmware's default calibration: the
// converter's Y channel falls linearly from 850 (of 1023) at screen x = 20
// to 150 at x = width - 21, its X channel rises from 150 at screen y = 20 to
// 850 at y = height - 21 (the panel's axes are crossed against the chip's).
// A finger on a pixel reads the count nearest the pixel's centre (in the
// 10-bit counts to which the firmware rounds the 12-bit results), so that
// the firmware's calibration, which truncates, gives back that pixel.
// Where the panel has more pixels than counts between the calibration
// points (800 across for 700 counts) some pixels have no count of their
// own and read as a neighbour.
// The pressure channels give a touch resistance of about 300 in the
// firmware's units wherever the finger is.  Without a finger Z1 reads 0.
#pragma once

#include "cspi.h"
#include "gpio.h"
#include "machine.h"
#include "regfile.h"

#include <cstdint>
#include <functional>

namespace sim {

// The panel as the converters measure it, in 12-bit counts.
struct PanelReading {
    bool touched;
    uint16_t x, y, z1, z2;
};

class ResistivePanel {
public:
    struct Finger {
        int x, y;
        bool down;
    };
    // where: the finger now; size: the screen's width and height (the LCD
    // controller's programmed size; 800 x 480 before it is set).
    ResistivePanel(std::function<Finger()> where, std::function<void(int*, int*)> size)
        : where_(std::move(where)), size_(std::move(size))
    {
    }
    PanelReading read();
    bool touched() const { return where_().down; }
    // Raw 10-bit channel values at the centre of a screen pixel (the
    // mapping above).
    void raw_at(int sx, int sy, int* chip_x, int* chip_y) const;
    // Adds +noise, -noise, +noise, ... (10-bit counts) to successive
    // position readings: a finger that does not rest still.
    int noise = 0;
    // The touch resistance the pressure channels show, in the firmware's
    // units.  A firm press on a noisy panel can read below 0: Z2 below Z1.
    int resistance = 300;

private:
    std::function<Finger()> where_;
    std::function<void(int*, int*)> size_;
    unsigned readings_ = 0;
};

// TSC2046: every byte with its top bit set is a control byte (S, A2-A0,
// MODE, SER/DFR, PD1-PD0); the conversion it starts comes out in the next
// two bytes after one busy bit, 12 bits (or 8 with MODE set) MSB first.
// PD0 = 1 keeps the converter powered and the pen interrupt off; with PD0 =
// 0 the pen line shows a touch.
class Tsc2046 : public SpiDevice {
public:
    enum Channel { TEMP0 = 0, Y_POS = 1, VBAT = 2, Z1 = 3, Z2 = 4, X_POS = 5, AUX = 6, TEMP1 = 7 };
    Tsc2046(Machine& m, ResistivePanel& panel) : panel_(panel), rep_(m, "TSC2046") {}

    void select() override;
    void deselect() override;
    uint32_t exchange(uint32_t out, unsigned bits) override;
    bool pen_down() const;
    // Die temperature for the two temperature inputs.
    double celsius = 25.0;
    unsigned conversions() const { return conversions_; }

private:
    uint16_t convert(unsigned channel);

    ResistivePanel& panel_;
    AccessReporter rep_;
    uint8_t control_ = 0;   // last control byte (PD bits 00 at power-up)
    uint32_t shift_ = 0;    // result bits still to come, MSB at bit 15
    unsigned shift_left_ = 0;
    bool selected_ = false;
    unsigned conversions_ = 0;
};

// SX8652: a byte 000aaaaa writes register a with the next byte (register
// 0x17 with 0xDE is the soft reset), 010aaaaa reads register a in the next
// byte, 00100ccc reads the last conversion of channel c (0 X, 1 Y, 2 Z1,
// 3 Z2) as two bytes: the channel number in bits 14-12 and 12 data bits.
// 0xB0 starts the pen-triggered mode, in which the chip converts the enabled
// channels (register 4, bits 7-4) while a finger is down and pulls its
// interrupt line (the pen line) low while it is.
class Sx8652 : public SpiDevice {
public:
    static constexpr uint8_t kSoftReset = 0x17, kChanMask = 0x04, kStatus = 0x05;
    static constexpr uint8_t CMD_PENTRG = 0xB0, CMD_MANUAL = 0xC0;
    Sx8652(Machine& m, ResistivePanel& panel) : panel_(panel), rep_(m, "SX8652") { reset(); }

    void select() override;
    void deselect() override;
    uint32_t exchange(uint32_t out, unsigned bits) override;
    void reset();
    bool pen_down() const;
    uint8_t reg(unsigned a) const { return regs_[a & 0x1F]; }
    bool pen_triggered() const { return pentrg_; }

private:
    enum class Step { Command, WriteData, ReadData, Channel1, Channel2 };
    ResistivePanel& panel_;
    AccessReporter rep_;
    uint8_t regs_[32];
    bool pentrg_ = false;
    Step step_ = Step::Command;
    uint8_t addr_ = 0;
    uint16_t word_ = 0;
};

// The converter socket: the board has one of the two chips (the straps
// decide) and its pen line drives PB15.  The line follows the finger at
// the moments it matters: whenever port B's pin levels are sampled (see
// PenSense) and after every converter byte.
class TouchScreen : public SpiDevice {
public:
    TouchScreen(Machine& m, Gpio& gpio, std::function<ResistivePanel::Finger()> where,
                std::function<void(int*, int*)> size);

    void select() override { chip()->select(); }
    void deselect() override { chip()->deselect(); }
    uint32_t exchange(uint32_t out, unsigned bits) override;
    void use_sx8652(bool on);
    bool sx8652_fitted() const { return use_sx_; }
    // Follows the finger now.
    void sync_pen();

    ResistivePanel panel;
    Tsc2046 tsc2046;
    Sx8652 sx8652;

private:
    SpiDevice* chip() { return use_sx_ ? static_cast<SpiDevice*>(&sx8652) : &tsc2046; }
    Gpio& gpio_;
    bool use_sx_ = false;
    int pen_level_ = -1;  // what drives PB15: 0 or released
};

// Port B's sample-status register (GPIO 0x10015124) seen through the pen
// line: a read first brings PB15 up to date with the finger, then the GPIO
// model answers.  Attached ahead of the GPIO window.
class PenSense : public Device {
public:
    static constexpr uint32_t kBase = 0x10015124, kSize = 4;
    PenSense(Gpio& gpio, TouchScreen& touch) : gpio_(gpio), touch_(touch) {}
    const char* name() const override { return "GPIO"; }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;

private:
    Gpio& gpio_;
    TouchScreen& touch_;
};

}  // namespace sim
