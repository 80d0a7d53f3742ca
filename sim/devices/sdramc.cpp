#include "sdramc.h"

#include <cstring>

namespace sim {

namespace {
constexpr uint32_t kSde = 1u << 31;  // SDCTL0: the controller on
constexpr uint32_t kA10 = 1u << 10;  // row address line A10: all banks
enum Mode : uint32_t { Normal = 0, Precharge = 1, AutoRefresh = 2, LoadMode = 3 };

uint32_t mode_field(uint32_t sdctl0) { return (sdctl0 >> 28) & 7; }
}  // namespace

SdramController::SdramController(Machine& m, uint32_t sdram_base)
    : m_(m), base_(sdram_base), log_(m, "SDRAMC"), sdram_log_(m, "SDRAM")
{
    reset();
}

void SdramController::reset()
{
    sdctl0_ = sdctl1_ = misc_ = sdrst_ = 0;
    step_ = Step::Precharge;
    refreshes_ = 0;
    mode_ = 0;
}

uint32_t SdramController::reg(uint32_t off) const
{
    switch (off) {
    case SDCTL0: return sdctl0_;
    case SDCTL1: return sdctl1_;
    case MISC: return misc_;
    case SDRST: return sdrst_;
    default: return 0;
    }
}

uint32_t SdramController::read(uint32_t off, unsigned size)
{
    if (!log_.word(off, size, false))
        return 0;
    switch (off) {
    case SDCTL0: case SDCTL1: case MISC: case SDRST:
        return reg(off);
    default:
        log_.unknown_read(off);
        return 0;
    }
}

void SdramController::write(uint32_t off, uint32_t value, unsigned size)
{
    if (!log_.word(off, size, true))
        return;
    switch (off) {
    case SDCTL0: write_sdctl0(value); break;
    case SDCTL1: sdctl1_ = value; break;
    case MISC: misc_ = value; break;
    case SDRST: sdrst_ = value; break;
    default: log_.unknown_write(off, value); break;
    }
}

const char* SdramController::missing() const
{
    switch (step_) {
    case Step::Precharge: return "its banks were never precharged";
    case Step::Refresh: return "it has not had its auto-refresh cycles and mode register";
    case Step::Normal: return "normal mode was not set after its mode register";
    case Step::Ready: break;
    }
    return "";
}

void SdramController::write_sdctl0(uint32_t value)
{
    sdctl0_ = value;
    if (mode_field(value) != Normal || !(value & kSde) || step_ == Step::Ready)
        return;
    if (step_ != Step::Normal) {
        log_.once(std::string("normal mode set before the SDRAM was set up: ") + missing());
        return;
    }
    const uint32_t mode_latency = (mode_ >> 4) & 7, latency = (value >> 8) & 3;
    if (mode_latency != latency)
        log_.once("normal mode with CAS latency " + std::to_string(latency) + " on an SDRAM whose mode says " +
                  std::to_string(mode_latency));
    step_ = Step::Ready;
    if (on_ready)
        on_ready();
}

uint32_t SdramController::row_address(uint32_t off) const
{
    const unsigned columns = 8 + ((sdctl0_ >> 20) & 3);
    const unsigned byte_bits = ((sdctl0_ >> 16) & 3) == 2 ? 2 : 1;  // 32- or 16-bit bus
    const unsigned rows = 11 + ((sdctl0_ >> 24) & 7);
    return (off >> (columns + byte_bits)) & ((1u << rows) - 1);
}

bool SdramController::access(uint32_t off, bool write)
{
    const uint32_t mode = mode_field(sdctl0_);
    if (step_ == Step::Ready && mode == Normal)
        return true;
    const std::string what = std::string(write ? "write" : "read") + " at " + hex32(base_ + off);
    if (!(sdctl0_ & kSde)) {
        sdram_log_.once_per("off", what + " while the SDRAM controller is off (SDCTL0 bit 31 clear): dropped");
        return false;
    }
    const uint32_t row = row_address(off);
    switch (mode) {
    case Precharge:
        if (!(row & kA10))
            sdram_log_.once_per("bank", what + " precharges one bank only (A10 low): the set-up precharges all");
        else if (step_ == Step::Precharge) {
            step_ = Step::Refresh;
            refreshes_ = 0;
        }
        break;
    case AutoRefresh:
        if (step_ == Step::Precharge)
            sdram_log_.once_per("refresh", "auto-refresh before the banks were precharged");
        else if (step_ == Step::Refresh)
            ++refreshes_;
        break;
    case LoadMode:
        if (step_ == Step::Precharge || (step_ == Step::Refresh && refreshes_ < kRefreshesNeeded)) {
            sdram_log_.once_per("mode", "mode register loaded after " +
                                            std::string(step_ == Step::Precharge ? "no precharge" :
                                                        std::to_string(refreshes_) + " auto-refresh cycles") +
                                            ": the SDRAM wants the precharge and " +
                                            std::to_string(kRefreshesNeeded) + " refresh cycles first");
        } else {
            mode_ = row & 0xFFF;
            if (step_ == Step::Refresh)
                step_ = Step::Normal;
        }
        break;
    case Normal:
        sdram_log_.once_per("early", what + " before the SDRAM was set up (" + missing() + "): dropped");
        break;
    default:
        sdram_log_.once_per("mode " + std::to_string(mode),
                            what + " in controller mode " + std::to_string(mode) + ", which is not modelled");
        break;
    }
    return false;
}

uint32_t SdramController::Port::read(uint32_t off, unsigned size)
{
    uint32_t v = 0;
    if (c_.access(off, false))
        if (const uint8_t* p = c_.m_.mem(c_.base_ + off, size))
            std::memcpy(&v, p, size);
    return v;
}

void SdramController::Port::write(uint32_t off, uint32_t value, unsigned size)
{
    if (c_.access(off, true))
        if (uint8_t* p = c_.m_.writable(c_.base_ + off, size))
            std::memcpy(p, &value, size);
}

}  // namespace sim
