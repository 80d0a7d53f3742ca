// i.MX21 UART (UART1 at 0x1000A000, interrupt 20; UART2 at 0x1000B000,
// interrupt 19; 0x1000 bytes each).
//
// 32-entry receive and transmit FIFOs.  The line runs at the rate that
// UBIR/UBMR and the reference divider give against the 16.625 MHz
// peripheral clock: a transmitted byte leaves one character time after the
// previous one, and bytes from the far end enter the receive FIFO one
// character time apart, at the far end's own rate.  A far end whose rate is
// more than a few per cent off the UART's delivers framing errors, as on a
// real line.
//
// Without its module clock (clock_gate) the UART stands still: it does not
// answer the bus (the access is reported), sends nothing, loses what
// arrives on the line and raises no interrupt.
#pragma once

#include "aitc.h"
#include "clock.h"
#include "machine.h"
#include "regfile.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace sim {

class Uart : public Device {
public:
    static constexpr uint32_t URXD = 0x00, UTXD = 0x40, UCR1 = 0x80, UCR2 = 0x84, UCR3 = 0x88,
                              UCR4 = 0x8C, UFCR = 0x90, USR1 = 0x94, USR2 = 0x98, UESC = 0x9C,
                              UTIM = 0xA0, UBIR = 0xA4, UBMR = 0xA8, UBRC = 0xAC, ONEMS = 0xB0,
                              UTS = 0xB4;
    static constexpr uint32_t URXD_CHARRDY = 1u << 15, URXD_ERR = 1u << 14, URXD_OVRRUN = 1u << 13,
                              URXD_FRMERR = 1u << 12;
    static constexpr uint32_t UCR1_UARTEN = 1u << 0, UCR1_TXMPTYEN = 1u << 6,
                              UCR1_RRDYEN = 1u << 9, UCR1_TRDYEN = 1u << 13;
    static constexpr uint32_t UCR2_SRST = 1u << 0, UCR2_RXEN = 1u << 1, UCR2_TXEN = 1u << 2,
                              UCR2_WS = 1u << 5, UCR2_STPB = 1u << 6, UCR2_PREN = 1u << 8;
    static constexpr uint32_t UCR4_DREN = 1u << 0, UCR4_TCEN = 1u << 3;
    static constexpr uint32_t USR1_FRAMERR = 1u << 10, USR1_RRDY = 1u << 9, USR1_TRDY = 1u << 13;
    static constexpr uint32_t USR2_RDR = 1u << 0, USR2_ORE = 1u << 1, USR2_TXDC = 1u << 3,
                              USR2_TXFE = 1u << 14;
    static constexpr size_t kFifo = 32;

    Uart(Machine& m, Aitc& aitc, int irq, const char* name);
    ~Uart() override;

    const char* name() const override { return name_.c_str(); }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;
    void reset();

    // ---- the far end
    // Bytes sent by the far end at its rate (0: at the UART's own rate).
    // They arrive one character time apart, after those still on the line.
    void receive(const uint8_t* data, size_t n, uint32_t far_rate = 0);
    void receive(const std::string& s, uint32_t far_rate = 0)
    {
        receive(reinterpret_cast<const uint8_t*>(s.data()), s.size(), far_rate);
    }
    size_t receive_pending() const { return line_in_.size(); }
    // Called for every byte as its stop bit ends: the far end and any
    // listeners beside it (the panel page's console, a test).
    void add_listener(std::function<void(uint8_t)> fn) { listeners_.push_back(std::move(fn)); }
    // Whether more bytes wait in the transmit FIFO behind the one just sent.
    bool tx_queued() const { return !tx_fifo_.empty(); }

    struct Sent {
        Time time;
        uint8_t byte;
    };
    // Everything transmitted since power-on (or the last clear), with times,
    // while keep_sent holds: tests read it; a simulator program, which may
    // run for days, keeps nothing.
    std::vector<Sent> sent;
    bool keep_sent = true;
    std::string sent_text(size_t from = 0) const;

    // The line's rate in bit/s as programmed, and one character's time.
    uint32_t rate() const;
    Time char_time(uint32_t rate) const;
    bool enabled() const;

    ClockGate clock_gate;

private:
    void clock_changed(bool on);
    void update_irq();
    void start_tx();
    void tx_done();
    void rx_arrive();
    void schedule_rx();

    Machine& m_;
    Aitc& aitc_;
    int irq_;
    std::string name_;
    AccessReporter rep_;
    struct Regs {
        uint32_t ucr1, ucr2, ucr3, ucr4, ufcr, usr1, usr2, uesc, utim, ubir, ubmr, onems, uts;
    } r_{};
    std::deque<uint16_t> rx_fifo_;   // data with error bits
    std::deque<uint8_t> tx_fifo_;
    bool shifting_ = false;
    Machine::EventId tx_event_{};
    struct InByte {
        uint8_t byte;
        uint32_t rate;
    };
    std::deque<InByte> line_in_;
    std::vector<std::function<void(uint8_t)>> listeners_;
    bool rx_scheduled_ = false;
    Machine::EventId rx_event_{};
};

}  // namespace sim
