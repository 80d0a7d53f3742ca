// The FocalTech capacitive touch controller of the capacitive panel, on the
// I2C bus at write address 0x70 (7-bit 0x38), with its interrupt output on
// PB6 (active low).  Only the boards of the capacitive panel carry it.
//
// The controller scans the panel every kScanPeriod.  A scan that finds a
// finger publishes a report: register 2 the number of touch points, then
// per point six registers from 3 (point 1) and 9 (point 2): the high byte
// of one axis with the event flag in bits 7-6 (00 put down, 01 lift, 10
// contact, 11 no event), its low byte, the high byte of the other axis with
// the touch id in bits 7-4, its low byte, and two bytes of weight and area.
// The scan after the finger lifts, and the one after that, publish a lift.
// Each report holds the interrupt line low until the master reads a
// register; a scan with nothing to tell leaves the registers as they are.
//
// Coordinates: the controller's first axis (register 3) runs down the
// screen, its second (register 5) across it, both in the counts of the
// resistive panel's fixed mapping (touch.h), so that the firmware's
// default calibration places them on the finger's pixel.
#pragma once

#include "gpio.h"
#include "i2c.h"
#include "machine.h"
#include "regfile.h"
#include "touch.h"

#include <cstdint>
#include <functional>

namespace sim {

class FocalTech : public I2cDevice {
public:
    static constexpr uint8_t kAddress = 0x70;
    static constexpr int kIntPort = Gpio::PORT_B, kIntPin = 6;
    static constexpr Time kScanPeriod = 10 * kMillisecond;
    static constexpr uint8_t kTouchCount = 2, kPoint1 = 3, kPoint2 = 9, kRegisters = 15;
    enum : uint8_t { EV_DOWN = 0x00, EV_LIFT = 0x40, EV_CONTACT = 0x80, EV_NONE = 0xC0 };

    // where: the finger now; mapping: the panel mapping of the resistive
    // panel (its raw_at gives both axes of a screen pixel).
    FocalTech(Machine& m, Gpio& gpio, std::function<ResistivePanel::Finger()> where, const ResistivePanel& mapping);
    ~FocalTech() override;

    void bus_start() override;
    bool address(bool read) override;
    bool write(uint8_t byte) override;
    uint8_t read(bool master_acks) override;

    // Fitted only on the boards of the capacitive panel; otherwise nothing
    // answers the address and the interrupt line is left alone.
    bool present = false;
    // A second finger on the panel, beside the first (tests of the
    // multi-touch case; the panel page has one finger).
    bool second_finger = false;
    // The interrupt output as the controller drives it (true = active).
    bool int_active() const { return int_active_; }
    // Register contents as the master would read them.
    uint8_t reg(uint8_t r) const { return r < kRegisters ? regs_[r] : 0xFF; }
    // Scans the panel now (the scan event calls it).
    void scan();

private:
    void publish_point(uint8_t at, uint8_t event, uint8_t id, int sx, int sy);
    void set_int(bool active);
    void schedule_scan();

    Machine& m_;
    Gpio& gpio_;
    std::function<ResistivePanel::Finger()> where_;
    const ResistivePanel& mapping_;
    AccessReporter rep_;
    uint8_t regs_[kRegisters];
    uint8_t pointer_ = 0;
    bool pointer_next_ = false;
    bool was_down_ = false;
    int lifts_left_ = 0;
    bool int_active_ = false;
    Machine::EventId scan_event_{};
};

}  // namespace sim
