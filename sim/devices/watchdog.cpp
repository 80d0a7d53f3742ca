#include "watchdog.h"

namespace sim {

Watchdog::Watchdog(Machine& m) : m_(m), log_(m, "WDOG") {}

Watchdog::~Watchdog()
{
    if (timeout_pending_)
        m_.cancel(timeout_);
}

void Watchdog::reset()
{
    if (timeout_pending_)
        m_.cancel(timeout_);
    timeout_pending_ = false;
    wcr_ = WCR_RESET;
    wrsr_ = WRSR_PWR;
    serviced_first_ = false;
}

Time Watchdog::timeout() const
{
    return static_cast<Time>((wcr_ >> 8) + 1) * (kSecond / 2);
}

void Watchdog::restart_timeout()
{
    if (timeout_pending_)
        m_.cancel(timeout_);
    timeout_ = m_.schedule_in(timeout(), [this] {
        timeout_pending_ = false;
        bite(WRSR_TOUT);
    });
    timeout_pending_ = true;
}

void Watchdog::bite(uint16_t cause)
{
    wrsr_ = cause;
    m_.reset_board();
}

uint32_t Watchdog::read(uint32_t off, unsigned size)
{
    if (!clock_gate.admit(log_, off, false))
        return 0;
    if (size != 2) {
        log_.once("read" + std::to_string(size * 8) + " at " + offset_text(off) + ": the registers are 16 bits wide");
        return 0;
    }
    switch (off) {
    case WCR: return wcr_;
    case WSR: return 0;
    case WRSR: return wrsr_;
    default: log_.unknown_read(off); return 0;
    }
}

void Watchdog::write(uint32_t off, uint32_t value, unsigned size)
{
    if (!clock_gate.admit(log_, off, true))
        return;
    if (size != 2) {
        log_.once("write" + std::to_string(size * 8) + " at " + offset_text(off) + ": the registers are 16 bits wide");
        return;
    }
    const uint16_t v = static_cast<uint16_t>(value);
    switch (off) {
    case WCR: {
        const bool was_running = running();
        if (was_running && !(v & WCR_WDE))
            log_.once("WDE cleared while the watchdog runs: it cannot be stopped");
        wcr_ = static_cast<uint16_t>(v | (was_running ? WCR_WDE : 0));
        if (!(v & WCR_SRS)) {
            bite(WRSR_SFTW);
            return;
        }
        if (!was_running && running())
            restart_timeout();
        break;
    }
    case WSR:
        if (v == 0x5555) {
            serviced_first_ = true;
        } else if (v == 0xAAAA && serviced_first_) {
            serviced_first_ = false;
            if (running())
                restart_timeout();
        } else {
            serviced_first_ = false;
            log_.once("service word " + hex32(v) + " out of its 0x5555, 0xAAAA sequence");
        }
        break;
    case WRSR:
        log_.read_only(off, v);
        break;
    default:
        log_.unknown_write(off, v);
    }
}

}  // namespace sim
