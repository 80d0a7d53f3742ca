#include "lcdc.h"

#include <cstdio>

namespace sim {

namespace {
enum : uint32_t {
    LSSAR = 0x00, LSR = 0x04, LVPWR = 0x08, LCPR = 0x0C, LCWHBR = 0x10, LCCMR = 0x14, LPCR = 0x18,
    LHCR = 0x1C, LVCR = 0x20, LPOR = 0x24, LSCR = 0x28, LPCCR = 0x2C, LDCR = 0x30, LRMCR = 0x34,
    LICR = 0x38, LIER = 0x3C, LISR = 0x40,
};
constexpr uint32_t LISR_BOF = 1u << 0;
constexpr uint32_t LISR_EOF = 1u << 1;
constexpr uint64_t kPixelClockHz = 26000000;
}  // namespace

Lcdc::Lcdc(Machine& m) : m_(m)
{
    reset();
    m_.schedule_in(frame_time(), [this] { frame_event(); });
}

void Lcdc::reset()
{
    r_ = {};
}

Time Lcdc::frame_time() const
{
    // Reference panel: 800 x 480, horizontal 40/48/40, vertical 13/3/29.
    uint64_t w = 800, h = 480, hfp = 40, hpw = 48, hbp = 40, vfp = 13, vpw = 3, vbp = 29;
    if (r_.lsr && r_.lhcr && r_.lvcr) {
        w = ((r_.lsr >> 20) & 0x3F) * 16;
        h = r_.lsr & 0x3FF;
        hpw = ((r_.lhcr >> 26) & 0x3F) + 1;
        hfp = ((r_.lhcr >> 8) & 0xFF) + 1;
        hbp = (r_.lhcr & 0xFF) + 3;
        vpw = (r_.lvcr >> 26) & 0x3F;
        vfp = (r_.lvcr >> 8) & 0xFF;
        vbp = r_.lvcr & 0xFF;
    }
    uint64_t clocks = (w + hfp + hpw + hbp) * (h + vfp + vpw + vbp);
    return clocks * kSecond / kPixelClockHz;
}

void Lcdc::frame_event()
{
    ++frames_;
    r_.lisr |= LISR_EOF | LISR_BOF;
    m_.schedule_in(frame_time(), [this] { frame_event(); });
}

uint32_t Lcdc::reg(uint32_t off) const
{
    switch (off) {
    case LSSAR: return r_.lssar;
    case LSR: return r_.lsr;
    case LVPWR: return r_.lvpwr;
    case LPCR: return r_.lpcr;
    case LHCR: return r_.lhcr;
    case LVCR: return r_.lvcr;
    case LPCCR: return r_.lpccr;
    case LDCR: return r_.ldcr;
    case LRMCR: return r_.lrmcr;
    case LISR: return r_.lisr;
    default: return 0;
    }
}

uint32_t Lcdc::read(uint32_t off, unsigned)
{
    switch (off) {
    case LSSAR: return r_.lssar;
    case LSR: return r_.lsr;
    case LVPWR: return r_.lvpwr;
    case LCPR: return r_.lcpr;
    case LCWHBR: return r_.lcwhbr;
    case LCCMR: return r_.lccmr;
    case LPCR: return r_.lpcr;
    case LHCR: return r_.lhcr;
    case LVCR: return r_.lvcr;
    case LPOR: return r_.lpor;
    case LSCR: return r_.lscr;
    case LPCCR: return r_.lpccr;
    case LDCR: return r_.ldcr;
    case LRMCR: return r_.lrmcr;
    case LICR: return r_.licr;
    case LIER: return r_.lier;
    case LISR: {
        // Reading the status register clears the flags it showed.
        uint32_t v = r_.lisr;
        r_.lisr = 0;
        return v;
    }
    default: {
        char b[64];
        std::snprintf(b, sizeof b, "LCDC: read of unknown offset 0x%03X", off);
        m_.report(b);
        return 0;
    }
    }
}

void Lcdc::write(uint32_t off, uint32_t v, unsigned)
{
    switch (off) {
    case LSSAR: r_.lssar = v; break;
    case LSR: r_.lsr = v; break;
    case LVPWR: r_.lvpwr = v; break;
    case LCPR: r_.lcpr = v; break;
    case LCWHBR: r_.lcwhbr = v; break;
    case LCCMR: r_.lccmr = v; break;
    case LPCR: r_.lpcr = v; break;
    case LHCR: r_.lhcr = v; break;
    case LVCR: r_.lvcr = v; break;
    case LPOR: r_.lpor = v; break;
    case LSCR: r_.lscr = v; break;
    case LPCCR: r_.lpccr = v; break;
    case LDCR: r_.ldcr = v; break;
    case LRMCR: r_.lrmcr = v; break;
    case LICR: r_.licr = v; break;
    case LIER: r_.lier = v; break;
    case LISR: break;  // read-only
    default: {
        char b[80];
        std::snprintf(b, sizeof b, "LCDC: write of 0x%08X to unknown offset 0x%03X", v, off);
        m_.report(b);
    }
    }
}

}  // namespace sim
