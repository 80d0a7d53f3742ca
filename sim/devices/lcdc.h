// i.MX21 LCD controller, window 0x10021000: its registers, the frame timing
// that its interrupt status register reports, the PWM contrast output that
// drives the backlight, and the picture it scans out of SDRAM.
//
// The panel shows a picture only while it has power (PB12 low), its signal
// buffer is enabled (PB16 low), the LCD signals PA5..PA31 are handed to the
// controller and the controller's clocks run (PCCR0 bits 26 and 18).  The
// frame-status flag is raised once per frame while the clocks run, with the
// period the programmed timing gives at the 26 MHz pixel clock; the first
// frame starts when they start.  The registers answer with the clocks off
// too: the controller is programmed before its clocks start.
//
// A panel must not see its signals before it has power: handing PA5..PA31
// to the controller, or starting the controller's clocks while it holds
// them, while PB12 is high is reported, and so is switching the panel's
// power off while the controller drives them.
#pragma once

#include <cstdint>
#include <vector>

#include "clock.h"
#include "gpio.h"
#include "machine.h"
#include "regfile.h"

namespace sim {

class Lcdc : public Device {
public:
    static constexpr uint32_t kBase = 0x10021000;
    static constexpr uint32_t kSize = 0x1000;

    // Register offsets.
    enum : uint32_t {
        LSSAR = 0x00, LSR = 0x04, LVPWR = 0x08, LCPR = 0x0C, LCWHBR = 0x10, LCCMR = 0x14, LPCR = 0x18,
        LHCR = 0x1C, LVCR = 0x20, LPOR = 0x24, LSCR = 0x28, LPCCR = 0x2C, LDCR = 0x30, LRMCR = 0x34,
        LICR = 0x38, LIER = 0x3C, LISR = 0x40,
    };
    static constexpr uint32_t LISR_BOF = 1u << 0;
    static constexpr uint32_t LISR_EOF = 1u << 1;
    static constexpr uint32_t LPCCR_CC_EN = 1u << 8;
    static constexpr uint64_t kPixelClockHz = 26000000;

    Lcdc(Machine& m, ClockController& clock, const Gpio& gpio);
    ~Lcdc() override;
    const char* name() const override { return "LCDC"; }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;
    void reset();

    // Length of one frame with the timing as programmed (the reference
    // panel's default timing until the size and both timing registers are).
    Time frame_time() const;
    uint64_t frames() const { return frames_; }
    // Time since the frame-status flag was last raised: the blanking lines
    // (vertical pulse, back and front porch, one line) come first, then the
    // screen's rows top to bottom.
    Time frame_phase() const { return m_.now() - last_frame_; }
    // Register at off as the controller holds it (reading LISR here does
    // not clear it); 0 for an offset it does not have.
    uint32_t reg(uint32_t off) const;

    // ---- the panel as someone looking at it sees it
    struct Picture {
        int width = 0, height = 0;
        std::vector<uint32_t> rgb;  // 0x00RRGGBB, rows top first
        uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
    };
    // The programmed screen size (0 x 0 before the size register is set):
    // the frame buffer at the programmed start address, RGB565 widened to
    // 8 bits per channel, or all black while the panel shows nothing.
    Picture picture() const;
    bool panel_powered() const;   // PB12 low
    bool signals_on() const;      // PB16 low and PA5..PA31 given to the controller
    bool clocks_on() const;       // both LCD clocks enabled
    bool showing() const { return panel_powered() && signals_on() && clocks_on(); }
    // The board calls this when port A's pin functions (GIUS, GPR) or the
    // panel power pin PB12 changed.
    void panel_pins_changed();

    // Backlight.  The PWM output is high for duty/255 of the time while the
    // contrast control is enabled and the clocks run, else low.  Which level
    // lights the inverter depends on the panel's inverter: on the reference
    // panel (velm5plus-wvga) a low output is bright.
    uint8_t pwm_duty() const { return static_cast<uint8_t>(r_.lpccr & 0xFF); }
    bool pwm_enabled() const { return (r_.lpccr & LPCCR_CC_EN) != 0; }
    bool inverter_enabled() const;  // PB21 at its active level
    // Light from 0 (dark) to 255 (full).
    int backlight() const;
    struct Wiring {
        bool pwm_low_is_bright = true;     // the inverter's PWM input polarity
        bool inverter_enable_high = true;  // PB21 level that enables it
    };
    void set_wiring(const Wiring& w) { wiring_ = w; }
    const Wiring& wiring() const { return wiring_; }

private:
    void frame_event();
    void clocks_changed(bool on);
    uint32_t handed_signals() const;  // the PA5..PA31 pins the controller has

    Machine& m_;
    ClockGate clocks_;
    const Gpio& gpio_;
    struct {
        uint32_t lssar, lsr, lvpwr, lcpr, lcwhbr, lccmr, lpcr, lhcr, lvcr, lpor, lscr, lpccr, ldcr,
            lrmcr, licr, lier, lisr;
    } r_{};
    uint64_t frames_ = 0;
    Time last_frame_ = 0;
    Machine::EventId next_frame_{};
    bool frame_pending_ = false;
    // What panel_pins_changed saw last.
    uint32_t handed_ = 0;
    bool powered_ = false, driving_ = false;
    Wiring wiring_;
    mutable AccessReporter log_;
};

}  // namespace sim
