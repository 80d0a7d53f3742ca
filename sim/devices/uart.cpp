#include "uart.h"

#include <cstdlib>

namespace sim {

namespace {
constexpr uint64_t kPerclk1Hz = 16625000;

// Reference divider by UFCR[9:7].
unsigned rfdiv(uint32_t ufcr)
{
    static const unsigned div[8] = {6, 5, 4, 3, 2, 1, 7, 1};
    return div[(ufcr >> 7) & 7];
}
}  // namespace

Uart::Uart(Machine& m, Aitc& aitc, int irq, const char* name)
    : m_(m), aitc_(aitc), irq_(irq), name_(name), rep_(m, name)
{
    clock_gate.on_change = [this](bool on) { clock_changed(on); };
    reset();
}

// The character on its way out stops and goes again, whole, when the
// clock is back.
void Uart::clock_changed(bool on)
{
    if (!on && shifting_) {
        m_.cancel(tx_event_);
        shifting_ = false;
    }
    if (on)
        start_tx();
    update_irq();
}

Uart::~Uart()
{
    if (shifting_)
        m_.cancel(tx_event_);
    if (rx_scheduled_)
        m_.cancel(rx_event_);
}

void Uart::reset()
{
    // Reset values of the i.MX21 UART.
    r_ = {};
    r_.ucr2 = UCR2_SRST;
    r_.ucr3 = 0x0700;
    r_.ucr4 = 0x8000;
    r_.ufcr = 0x0801;
    r_.usr1 = 0;
    r_.uesc = 0x2B;
    r_.onems = 0;
    r_.uts = 0x60;
    rx_fifo_.clear();
    tx_fifo_.clear();
    update_irq();
}

bool Uart::enabled() const
{
    return (r_.ucr1 & UCR1_UARTEN) && (r_.ucr2 & UCR2_SRST);
}

uint32_t Uart::rate() const
{
    uint64_t ref = kPerclk1Hz / rfdiv(r_.ufcr);
    return static_cast<uint32_t>(ref * (r_.ubir + 1ull) / (16ull * (r_.ubmr + 1ull)));
}

Time Uart::char_time(uint32_t bits_per_s) const
{
    if (bits_per_s == 0)
        bits_per_s = 1;
    unsigned bits = 1 + ((r_.ucr2 & UCR2_WS) ? 8 : 7) + ((r_.ucr2 & UCR2_PREN) ? 1 : 0) +
                    ((r_.ucr2 & UCR2_STPB) ? 2 : 1);
    return static_cast<Time>(bits) * kSecond / bits_per_s;
}

std::string Uart::sent_text(size_t from) const
{
    std::string s;
    for (size_t i = from; i < sent.size(); ++i)
        s += static_cast<char>(sent[i].byte);
    return s;
}

void Uart::update_irq()
{
    unsigned rxtl = r_.ufcr & 0x3F;
    unsigned txtl = (r_.ufcr >> 10) & 0x3F;
    bool rrdy = !rx_fifo_.empty() && rx_fifo_.size() >= (rxtl ? rxtl : 1);
    bool trdy = tx_fifo_.size() < txtl;
    bool txfe = tx_fifo_.empty();
    bool txdc = txfe && !shifting_;
    r_.usr1 = (r_.usr1 & ~(USR1_RRDY | USR1_TRDY)) | (rrdy ? USR1_RRDY : 0) | (trdy ? USR1_TRDY : 0);
    r_.usr2 = (r_.usr2 & ~(USR2_RDR | USR2_TXDC | USR2_TXFE)) | (rx_fifo_.empty() ? 0 : USR2_RDR) |
              (txdc ? USR2_TXDC : 0) | (txfe ? USR2_TXFE : 0);
    bool line = false;
    if (clock_gate.open() && (r_.ucr1 & UCR1_UARTEN)) {
        line = (rrdy && (r_.ucr1 & UCR1_RRDYEN)) || (trdy && (r_.ucr1 & UCR1_TRDYEN)) ||
               (txfe && (r_.ucr1 & UCR1_TXMPTYEN)) || (txdc && (r_.ucr4 & UCR4_TCEN)) ||
               (!rx_fifo_.empty() && (r_.ucr4 & UCR4_DREN));
    }
    aitc_.set_source(irq_, line);
}

// ---------------------------------------------------------------- transmit

void Uart::start_tx()
{
    if (shifting_ || tx_fifo_.empty() || !clock_gate.open())
        return;
    shifting_ = true;
    tx_event_ = m_.schedule_in(char_time(rate()), [this] { tx_done(); });
}

void Uart::tx_done()
{
    shifting_ = false;
    uint8_t b = tx_fifo_.front();
    tx_fifo_.pop_front();
    if (keep_sent)
        sent.push_back({m_.now(), b});
    for (auto& fn : listeners_)
        fn(b);
    start_tx();
    update_irq();
}

// ---------------------------------------------------------------- receive

void Uart::receive(const uint8_t* data, size_t n, uint32_t far_rate)
{
    for (size_t i = 0; i < n; ++i)
        line_in_.push_back({data[i], far_rate});
    schedule_rx();
}

void Uart::schedule_rx()
{
    if (rx_scheduled_ || line_in_.empty())
        return;
    rx_scheduled_ = true;
    uint32_t r = line_in_.front().rate ? line_in_.front().rate : rate();
    rx_event_ = m_.schedule_in(char_time(r), [this] { rx_arrive(); });
}

void Uart::rx_arrive()
{
    rx_scheduled_ = false;
    InByte in = line_in_.front();
    line_in_.pop_front();
    if (clock_gate.open() && enabled() && (r_.ucr2 & UCR2_RXEN)) {
        uint16_t v = in.byte;
        uint32_t mine = rate();
        if (in.rate && (in.rate * 100ull > mine * 103ull || in.rate * 103ull < mine * 100ull)) {
            // The receiver samples a byte sent at another rate: garbage
            // with a framing error.
            v = static_cast<uint16_t>(((in.byte * 37u) ^ (in.rate >> 4)) & 0xFF) | URXD_ERR | URXD_FRMERR;
            r_.usr1 |= USR1_FRAMERR;
        }
        if (rx_fifo_.size() < kFifo)
            rx_fifo_.push_back(static_cast<uint16_t>(v | URXD_CHARRDY));
        else {
            r_.usr2 |= USR2_ORE;
            rx_fifo_.back() |= URXD_ERR | URXD_OVRRUN;
        }
    }
    schedule_rx();
    update_irq();
}

// ---------------------------------------------------------------- registers

uint32_t Uart::read(uint32_t off, unsigned size)
{
    if (!clock_gate.admit(rep_, off, false) || !rep_.word(off, size, false))
        return 0;
    switch (off) {
    case URXD: {
        if (rx_fifo_.empty())
            return 0;
        uint32_t v = rx_fifo_.front();
        rx_fifo_.pop_front();
        update_irq();
        return v;
    }
    case UTXD: return 0;
    case UCR1: return r_.ucr1;
    case UCR2: return r_.ucr2;
    case UCR3: return r_.ucr3;
    case UCR4: return r_.ucr4;
    case UFCR: return r_.ufcr;
    case USR1: return r_.usr1;
    case USR2: return r_.usr2;
    case UESC: return r_.uesc;
    case UTIM: return r_.utim;
    case UBIR: return r_.ubir;
    case UBMR: return r_.ubmr;
    case UBRC: return 4;
    case ONEMS: return r_.onems;
    case UTS:
        return r_.uts | (tx_fifo_.size() >= kFifo ? 0x10 : 0) | (tx_fifo_.empty() ? 0x40 : 0) |
               (rx_fifo_.empty() ? 0x20 : 0);
    default:
        rep_.unknown_read(off);
        return 0;
    }
}

void Uart::write(uint32_t off, uint32_t v, unsigned size)
{
    if (!clock_gate.admit(rep_, off, true) || !rep_.word(off, size, true))
        return;
    switch (off) {
    case URXD:
        rep_.read_only(off, v);
        break;
    case UTXD:
        if (!enabled() || !(r_.ucr2 & UCR2_TXEN)) {
            rep_.once(name_ + ": byte written while the transmitter is off");
            break;
        }
        if (tx_fifo_.size() >= kFifo) {
            rep_.once(name_ + ": byte written into a full transmit FIFO (lost)");
            break;
        }
        tx_fifo_.push_back(static_cast<uint8_t>(v));
        start_tx();
        break;
    case UCR1: r_.ucr1 = v & 0xFFFF; break;
    case UCR2:
        r_.ucr2 = v & 0xFFFF;
        if (!(v & UCR2_SRST)) {
            // Software reset: FIFOs and status go; the bit reads back set
            // once the reset is over.
            rx_fifo_.clear();
            tx_fifo_.clear();
            r_.usr1 = 0;
            r_.usr2 = 0;
            r_.ucr2 |= UCR2_SRST;
        }
        break;
    case UCR3: r_.ucr3 = v & 0xFFFF; break;
    case UCR4: r_.ucr4 = v & 0xFFFF; break;
    case UFCR: r_.ufcr = v & 0xFFFF; break;
    case USR1:
        // Write 1 to clear the event flags; the FIFO levels are not flags.
        r_.usr1 &= ~(v & 0x9DF0u & ~(USR1_RRDY | USR1_TRDY));
        break;
    case USR2:
        r_.usr2 &= ~(v & 0xB996u);
        break;
    case UESC: r_.uesc = v & 0xFF; break;
    case UTIM: r_.utim = v & 0xFFF; break;
    case UBIR: r_.ubir = v & 0xFFFF; break;
    case UBMR: r_.ubmr = v & 0xFFFF; break;
    case ONEMS: r_.onems = v & 0xFFFF; break;
    case UTS: r_.uts = v & 0x3000; break;
    default:
        rep_.unknown_write(off, v);
        return;
    }
    update_irq();
}

}  // namespace sim
