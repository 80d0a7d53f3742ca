#include "cspi.h"

namespace sim {

Cspi::Cspi(Machine& m, const ClockController& clock, const Gpio& gpio, const char* name, uint32_t clock_bit,
           int data_port, int first_data_pin)
    : m_(m), clock_(clock), gpio_(gpio), name_(name), clock_bit_(clock_bit), data_port_(data_port),
      first_data_pin_(first_data_pin), rep_(m, name)
{
    reset();
}

Cspi::~Cspi()
{
    if (in_flight_)
        m_.cancel(word_event_);
}

void Cspi::reset()
{
    if (in_flight_)
        m_.cancel(word_event_);
    in_flight_ = false;
    r_ = {};
    tx_.clear();
    rx_.clear();
}

void Cspi::connect(SpiDevice* dev, int cs_port, int cs_pin)
{
    slaves_.push_back({dev, cs_port, cs_pin});
}

void Cspi::pin_changed(int port, int pin, int level)
{
    for (Slave& s : slaves_)
        if (s.port == port && s.pin == pin) {
            if (level)
                s.dev->deselect();
            else
                s.dev->select();
        }
}

Time Cspi::word_time() const
{
    static const unsigned div[32] = {4,    6,    8,    12,   16,   24,   32,   48,   64,   96,   128,
                                     192,  256,  384,  512,  512,  512,  512,  512,  512,  512,  512,
                                     512,  512,  512,  512,  512,  512,  512,  512,  512,  512};
    unsigned bits = (r_.control & 0x1F) + 1;
    unsigned d = div[(r_.control >> 14) & 0x1F];
    return static_cast<Time>(bits) * d * kSecond / kPerclk2Hz;
}

bool Cspi::data_pins_connected() const
{
    for (int i = 0; i < 3; ++i)
        if (gpio_.is_gpio(data_port_, first_data_pin_ + i))
            return false;
    return true;
}

void Cspi::next_word()
{
    if (tx_.empty()) {
        r_.control &= ~CONTROL_XCH;
        return;
    }
    in_flight_ = true;
    word_event_ = m_.schedule_in(word_time(), [this] { word_done(); });
}

void Cspi::word_done()
{
    in_flight_ = false;
    unsigned bits = (r_.control & 0x1F) + 1;
    uint32_t mask = bits >= 32 ? ~0u : (1u << bits) - 1;
    uint32_t out = tx_.front();
    tx_.pop_front();
    uint32_t in = mask;
    if (data_pins_connected())
        for (Slave& s : slaves_)
            if (gpio_.level(s.port, s.pin) == 0)
                in &= s.dev->exchange(out & mask, bits);
    if (rx_.size() < kFifo)
        rx_.push_back(in & mask);
    else
        rep_.once(name_ + ": receive FIFO overrun, word lost");
    next_word();
}

uint32_t Cspi::read(uint32_t off, unsigned size)
{
    if (!rep_.word(off, size, false))
        return 0;
    switch (off) {
    case RXDATA: {
        if (rx_.empty()) {
            rep_.once(name_ + ": read of the empty receive FIFO");
            return 0;
        }
        uint32_t v = rx_.front();
        rx_.pop_front();
        return v;
    }
    case TXDATA: return 0;
    case CONTROLREG: return r_.control;
    case INTREG: return (r_.intreg & ~INTREG_RR) | (rx_.empty() ? 0 : INTREG_RR);
    case TESTREG: return r_.test;
    case PERIODREG: return r_.period;
    case DMAREG: return r_.dma;
    case RESETREG: return 0;  // the reset is over at once
    default:
        rep_.unknown_read(off);
        return 0;
    }
}

void Cspi::write(uint32_t off, uint32_t v, unsigned size)
{
    if (!rep_.word(off, size, true))
        return;
    switch (off) {
    case RXDATA:
        rep_.read_only(off, v);
        break;
    case TXDATA:
        if (tx_.size() >= kFifo) {
            rep_.once(name_ + ": word written into the full transmit FIFO (lost)");
            break;
        }
        tx_.push_back(v);
        break;
    case CONTROLREG: {
        bool start = (v & CONTROL_XCH) && !(r_.control & CONTROL_XCH);
        r_.control = (v & ~CONTROL_XCH) | (r_.control & CONTROL_XCH);
        if (!start)
            break;
        if (!(r_.control & CONTROL_SPIEN) || !(r_.control & CONTROL_MODE)) {
            rep_.once(name_ + ": exchange started while the port is off or not master");
            break;
        }
        r_.control |= CONTROL_XCH;
        if (!(clock_.pccr0() & clock_bit_)) {
            // Without its clock the port never shifts: XCH stays set.
            rep_.once(name_ + ": exchange started while the port's clock is off");
            break;
        }
        if (!in_flight_)
            next_word();
        break;
    }
    case INTREG:
        r_.intreg = v & ~INTREG_RR;
        if (v & ~INTREG_RR)
            rep_.once(name_ + ": interrupt enables written; the port's interrupt is not wired");
        break;
    case TESTREG: r_.test = v; break;
    case PERIODREG: r_.period = v & 0xFFFF; break;
    case DMAREG: r_.dma = v; break;
    case RESETREG:
        if (v & 1)
            reset();
        break;
    default:
        rep_.unknown_write(off, v);
        return;
    }
}

}  // namespace sim
