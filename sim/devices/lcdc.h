// i.MX21 LCD controller: its registers and the frame timing that its
// interrupt status register reports.
#pragma once

#include "machine.h"

namespace sim {

class Lcdc : public Device {
public:
    static constexpr uint32_t kBase = 0x10021000;
    static constexpr uint32_t kSize = 0x1000;

    explicit Lcdc(Machine& m);
    const char* name() const override { return "LCDC"; }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;
    void reset();

    // Length of one frame with the timing as programmed (the reference
    // panel's default timing until then).
    Time frame_time() const;
    uint64_t frames() const { return frames_; }
    uint32_t reg(uint32_t off) const;

private:
    void frame_event();

    Machine& m_;
    struct {
        uint32_t lssar, lsr, lvpwr, lcpr, lcwhbr, lccmr, lpcr, lhcr, lvcr, lpor, lscr, lpccr, ldcr,
            lrmcr, licr, lier, lisr;
    } r_{};
    uint64_t frames_ = 0;
};

}  // namespace sim
