#include "lcdc.h"

namespace sim {

namespace {
constexpr uint32_t kPccr0Clocks = (1u << 26) | (1u << 18);  // HCLK_LCDC, PERCLK3
constexpr uint32_t kSignalPins = 0xFFFFFFE0;                // PA5..PA31
constexpr uint32_t kGpioGius = 0x20, kGpioGpr = 0x38;
constexpr int kPinPanelPower = 12, kPinSignalBuffer = 16, kPinInverter = 21;
constexpr uint32_t kBpix16 = 5;  // LPCR bits 25..27

// Screen size as the size register holds it.
int screen_width(uint32_t lsr) { return static_cast<int>((lsr >> 20) & 0x3F) * 16; }
int screen_height(uint32_t lsr) { return static_cast<int>(lsr & 0x3FF); }

uint32_t widen565(uint16_t p)
{
    uint32_t r = (p >> 11) & 0x1F, g = (p >> 5) & 0x3F, b = p & 0x1F;
    return (r * 255 / 31) << 16 | (g * 255 / 63) << 8 | (b * 255 / 31);
}
}  // namespace

Lcdc::Lcdc(Machine& m, ClockController& clock, const Gpio& gpio) : m_(m), gpio_(gpio), log_(m, "LCDC")
{
    reset();
    // The pins and clocks as they stand now are no change to report.
    handed_ = handed_signals();
    powered_ = panel_powered();
    driving_ = handed_ != 0;
    clocks_.on_change = [this](bool on) { clocks_changed(on); };
    clocks_.connect(clock, ClockController::PCCR0, kPccr0Clocks);
    if (clocks_.open() && !frame_pending_)
        clocks_changed(true);
}

// The frames start with the clocks and stop with them.
void Lcdc::clocks_changed(bool on)
{
    if (frame_pending_)
        m_.cancel(next_frame_);
    frame_pending_ = on;
    if (on) {
        last_frame_ = m_.now();
        next_frame_ = m_.schedule_in(frame_time(), [this] { frame_event(); });
    }
    panel_pins_changed();
}

Lcdc::~Lcdc()
{
    if (frame_pending_)
        m_.cancel(next_frame_);
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
        w = static_cast<uint64_t>(screen_width(r_.lsr));
        h = static_cast<uint64_t>(screen_height(r_.lsr));
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
    last_frame_ = m_.now();
    r_.lisr |= LISR_EOF | LISR_BOF;
    next_frame_ = m_.schedule_in(frame_time(), [this] { frame_event(); });
}

uint32_t Lcdc::reg(uint32_t off) const
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
    case LISR: return r_.lisr;
    default: return 0;
    }
}

uint32_t Lcdc::read(uint32_t off, unsigned size)
{
    if (!log_.word(off, size, false))
        return 0;
    switch (off) {
    case LISR: {
        // Reading the status register clears the flags it showed.
        uint32_t v = r_.lisr;
        r_.lisr = 0;
        return v;
    }
    case LSSAR: case LSR: case LVPWR: case LCPR: case LCWHBR: case LCCMR: case LPCR: case LHCR:
    case LVCR: case LPOR: case LSCR: case LPCCR: case LDCR: case LRMCR: case LICR: case LIER:
        return reg(off);
    default:
        log_.unknown_read(off);
        return 0;
    }
}

void Lcdc::write(uint32_t off, uint32_t v, unsigned size)
{
    if (!log_.word(off, size, true))
        return;
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
    case LISR: log_.read_only(off, v); break;
    default: log_.unknown_write(off, v);
    }
}

// ---------------------------------------------------------------- panel

bool Lcdc::panel_powered() const
{
    return gpio_.level(Gpio::PORT_B, kPinPanelPower) == 0;
}

uint32_t Lcdc::handed_signals() const
{
    const uint32_t gpio_use = gpio_.reg(Gpio::PORT_A, kGpioGius) | gpio_.reg(Gpio::PORT_A, kGpioGpr);
    return ~gpio_use & kSignalPins;
}

bool Lcdc::signals_on() const
{
    return gpio_.level(Gpio::PORT_B, kPinSignalBuffer) == 0 && handed_signals() == kSignalPins;
}

bool Lcdc::clocks_on() const
{
    return clocks_.open();
}

// Only changes count: at power-on the pins are the controller's, its clocks
// off and the panel without power, which harms nothing.
void Lcdc::panel_pins_changed()
{
    const uint32_t handed = handed_signals();
    const bool powered = panel_powered();
    const bool driving = handed && clocks_on();
    if (!powered && (handed & ~handed_))
        log_.once("LCD signals (port A pins " + hex32(handed & ~handed_) +
                  ") handed to the controller while the panel has no power (PB12 high)");
    else if (!powered && driving && !driving_)
        log_.once("clocks switched on while the controller holds the LCD signals and the panel has no power "
                  "(PB12 high)");
    else if (!powered && powered_ && driving)
        log_.once("panel power switched off (PB12 high) while the controller drives the LCD signals");
    handed_ = handed;
    powered_ = powered;
    driving_ = driving;
}

Lcdc::Picture Lcdc::picture() const
{
    Picture p;
    p.width = screen_width(r_.lsr);
    p.height = screen_height(r_.lsr);
    p.rgb.assign(static_cast<size_t>(p.width) * p.height, 0);
    if (!showing() || p.rgb.empty())
        return p;
    if (((r_.lpcr >> 25) & 7) != kBpix16) {
        log_.once("scan-out of a pixel size other than 16 bpp is not modelled: panel black");
        return p;
    }
    const uint32_t stride = r_.lvpwr * 4;
    if (stride < static_cast<uint32_t>(p.width) * 2) {
        log_.once("virtual page width " + std::to_string(r_.lvpwr) + " words is narrower than the screen");
        return p;
    }
    const uint32_t bytes = stride * static_cast<uint32_t>(p.height - 1) + static_cast<uint32_t>(p.width) * 2;
    const uint8_t* fb = m_.mem(r_.lssar, bytes);
    if (!fb) {
        log_.once("screen start address " + hex32(r_.lssar) + " is not in SDRAM: panel black");
        return p;
    }
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* row = fb + static_cast<size_t>(y) * stride;
        for (int x = 0; x < p.width; ++x)
            p.rgb[static_cast<size_t>(y) * p.width + x] = widen565(static_cast<uint16_t>(row[2 * x] | row[2 * x + 1] << 8));
    }
    return p;
}

bool Lcdc::inverter_enabled() const
{
    return gpio_.level(Gpio::PORT_B, kPinInverter) == (wiring_.inverter_enable_high ? 1 : 0);
}

int Lcdc::backlight() const
{
    if (!inverter_enabled())
        return 0;
    // Output high for duty/255 of the time; held low without PWM or clocks.
    const int high = pwm_enabled() && clocks_on() ? pwm_duty() : 0;
    return wiring_.pwm_low_is_bright ? 255 - high : high;
}

}  // namespace sim
