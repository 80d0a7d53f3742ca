// i.MX21 SDRAM controller (window 0xDF000000) and the SDRAM on its chip
// select CSD0 (0xC0000000).
//
// The SDRAM works only after its set-up: with the controller's mode field
// (SDCTL0 bits 30-28) at precharge, an access with row address line A10 high
// precharges all banks; at auto-refresh, each access is one refresh cycle;
// at load mode register, the row address of the access is the mode (burst
// length, CAS latency).  The board's SDRAM wants the precharge, then eight
// refresh cycles, then its mode; normal mode (0) with all three done makes
// it work, with the CAS latency of the controller (SDCTL0 bits 9-8) the
// same as the mode's.  The row address is the address above the column and
// byte bits that the controller's column count and bus width give.
//
// Accesses to the SDRAM reach this model through `port`, a bus window over
// the SDRAM: on the host build only those the firmware makes through the
// register-access layer (the set-up's own reads: its memory is plain memory
// there); on arm-board every access until the SDRAM works, after which the
// SDRAM is the emulator's memory (on_ready tells it when).  Before the
// set-up is complete an access is reported and dropped (reads give 0); so
// is a step out of order.
#pragma once

#include "machine.h"
#include "regfile.h"

#include <cstdint>
#include <functional>

namespace sim {

class SdramController : public Device {
public:
    static constexpr uint32_t kBase = 0xDF000000, kSize = 0x1000;
    static constexpr uint32_t SDCTL0 = 0x00, SDCTL1 = 0x04, MISC = 0x14, SDRST = 0x18;
    static constexpr unsigned kRefreshesNeeded = 8;

    // The SDRAM at sdram_base: its bytes are the machine's region there.
    SdramController(Machine& m, uint32_t sdram_base);

    const char* name() const override { return "SDRAMC"; }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;
    void reset();
    uint32_t reg(uint32_t off) const;

    // The SDRAM has been set up and answers as memory.
    bool ready() const { return step_ == Step::Ready; }
    // Called once when the SDRAM starts to work.
    std::function<void()> on_ready;

    // The SDRAM as a bus window (attach it at sdram_base, sdram_size).
    class Port : public Device {
    public:
        explicit Port(SdramController& c) : c_(c) {}
        const char* name() const override { return "SDRAM"; }
        uint32_t read(uint32_t off, unsigned size) override;
        void write(uint32_t off, uint32_t value, unsigned size) override;

    private:
        SdramController& c_;
    } port{*this};

private:
    // What the SDRAM waits for: the precharge of all banks, its refresh
    // cycles and mode, normal mode; then it works.
    enum class Step { Precharge, Refresh, Normal, Ready };
    // One access to the SDRAM at offset off: the command the mode field
    // makes of it; true when it reaches the memory.
    bool access(uint32_t off, bool write);
    void write_sdctl0(uint32_t value);
    uint32_t row_address(uint32_t off) const;
    const char* missing() const;

    Machine& m_;
    uint32_t base_;
    uint32_t sdctl0_ = 0, sdctl1_ = 0, misc_ = 0, sdrst_ = 0;
    Step step_ = Step::Precharge;
    unsigned refreshes_ = 0;
    uint32_t mode_ = 0;
    AccessReporter log_;
    AccessReporter sdram_log_;
};

}  // namespace sim
