// The SD card slot: the i.MX21 SD host controller SDHC1 (window 0x10013000)
// and a standard-capacity SD card over a disk-image file.
//
// The controller sends one command at a time when its bus clock is started
// (STR_STP_CLK bit 1) and collects the card's response into the 16-bit
// response FIFO (three words for a 48-bit response: bits 47-32, 31-16,
// 15-0; eight words for a 136-bit one: register bits 127-0, high word
// first).  Data moves one 512-byte block per command through the 16-bit
// BUFFER_ACCESS FIFO, 64 bytes at a time: STATUS bit 7 says a chunk is
// ready to be read, bit 6 that the FIFO is empty and may take the next
// chunk to write.  Times follow the bus clock (CLK_RATE: PERCLK2 of
// 33.25 MHz divided by the prescaler and divider) and the bus width
// (CMD_DAT_CONT bits 8-9).
//
// The card answers CMD0, 2, 3, 7, 8, 9, 12, 13, 16, 17, 24, 55 and ACMD6,
// 41 in the states of the SD protocol; it is addressed by byte, its
// CID and CSD (version 1) follow from the image size (rounded up to a
// capacity the CSD can state; up to 4 GiB), and after each
// written block it is busy programming (CMD13 shows state 7 without
// ready-for-data) for write_busy of virtual time.  Reads and writes go
// straight to the image file.  The card needs its supply (PF1 and PF3
// driven low) and loses its state when the supply goes; it is in the slot
// while the board's card switch says so and a card image exists; the card
// detect line PB13 is pulled low by a card in the slot.
//
// Without its module clock (clock_gate, PCCR0 bit 9) the controller does
// not answer: writes are lost and registers read 0.  Such an access is
// reported, but for the two the slot set-up makes before it switches the
// clock on: stopping the bus clock (which is not running) and reading
// STATUS to see it stopped and error-free.
#pragma once

#include "aitc.h"
#include "clock.h"
#include "gpio.h"
#include "machine.h"
#include "regfile.h"

#include <cstdint>
#include <string>

namespace sim {

// The card: its registers and protocol state, behind a block of bytes.
class SdCard {
public:
    explicit SdCard(Machine& m);
    ~SdCard();
    SdCard(const SdCard&) = delete;
    SdCard& operator=(const SdCard&) = delete;

    // Opens the image file (read and write); false, with the reason in why,
    // when it cannot be opened or its size is none an SD card can have.
    bool open(const std::string& path, std::string* why = nullptr);
    bool has_image() const { return fd_ >= 0; }
    uint64_t capacity() const { return size_; }

    // Supply switched on or off: either way the card starts from idle.
    void power(bool on);
    bool powered() const { return powered_; }

    enum Kind { None, Short, Long };
    struct Response {
        Kind kind = None;
        uint64_t bits = 0;      // 48-bit response
        uint8_t reg[16] = {};   // 136-bit response: register bits 127-0
    };
    // The card's answer to a command (app: the previous command was CMD55).
    Response command(unsigned index, uint32_t arg);

    // A read command started a block: its bytes, false when none comes.
    bool take_read_block(uint8_t* out);
    bool wants_write_block() const { return state_ == Rcv; }
    // The written block arrived; the card programs it and is busy.
    void write_block(const uint8_t* data);
    bool data_bus_4bit() const { return wide_; }

    uint32_t rca() const { return rca_; }
    Time power_up_time = 5 * kMillisecond;
    Time write_busy = 1 * kMillisecond;

private:
    enum State { Idle, Ready, Ident, Stby, Tran, Data, Rcv, Prg, Dis };
    uint32_t status(uint32_t extra = 0) const;
    Response r1(uint32_t extra = 0) const;
    void make_cid();
    void make_csd();
    void finish_program();

    Machine& m_;
    int fd_ = -1;
    uint64_t size_ = 0;
    bool powered_ = false;
    State state_ = Idle;
    bool app_ = false;
    bool wide_ = false;
    bool ready_ = false;      // ACMD41 power-up done
    bool up_started_ = false;
    Time up_at_ = 0;
    uint32_t rca_ = 0;
    uint32_t errors_ = 0;     // status error bits reported with the next response
    uint32_t address_ = 0;    // byte address of the pending data block
    bool read_pending_ = false;
    uint8_t cid_[16] = {}, csd_[16] = {};
    uint8_t program_[512] = {};
    Machine::EventId program_event_{};
    bool programming_ = false;
};

class Sdhc : public Device {
public:
    static constexpr uint32_t kBase = 0x10013000;
    static constexpr uint32_t kSize = 0x1000;
    static constexpr int kIrq = 11;

    // Registers (offsets).
    enum : uint32_t {
        STR_STP_CLK = 0x00, STATUS = 0x04, CLK_RATE = 0x08, CMD_DAT_CONT = 0x0C, RES_TO = 0x10,
        READ_TO = 0x14, BLK_LEN = 0x18, NOB = 0x1C, REV_NO = 0x20, INT_CNTR = 0x24, CMD = 0x28,
        ARGH = 0x2C, ARGL = 0x30, RES_FIFO = 0x34, BUFFER_ACCESS = 0x38,
    };
    // STATUS bits.
    enum : uint32_t {
        ST_TIME_OUT_READ = 1u << 0, ST_TIME_OUT_RESP = 1u << 1, ST_WRITE_CRC_ERR = 1u << 2,
        ST_READ_CRC_ERR = 1u << 3, ST_RESP_CRC_ERR = 1u << 5, ST_BUF_WRITE_RDY = 1u << 6,
        ST_BUF_READ_RDY = 1u << 7, ST_CLK_RUN = 1u << 8, ST_WR_CRC_CODE = 3u << 9,
        ST_WRITE_OP_DONE = 1u << 11, ST_READ_OP_DONE = 1u << 12, ST_END_CMD_RESP = 1u << 13,
        ST_CARD_PRESENT = 1u << 15,
    };
    // STR_STP_CLK bits.
    enum : uint32_t { SSC_STOP = 1u << 0, SSC_START = 1u << 1, SSC_RESET = 1u << 3 };
    // CMD_DAT_CONT fields.
    enum : uint32_t {
        CDC_FORMAT = 7u << 0, CDC_DATA = 1u << 3, CDC_WRITE = 1u << 4, CDC_BUSY = 1u << 6,
        CDC_INIT = 1u << 7, CDC_BUS_WIDTH = 3u << 8,
    };
    // INT_CNTR enables.
    enum : uint32_t { IC_READ_OP_DONE = 1u << 0, IC_WRITE_OP_DONE = 1u << 1, IC_END_CMD_RES = 1u << 2,
                      IC_BUF_READY = 1u << 3 };

    Sdhc(Machine& m, Aitc& aitc, Gpio& gpio);
    ~Sdhc() override;
    Sdhc(const Sdhc&) = delete;
    Sdhc& operator=(const Sdhc&) = delete;

    const char* name() const override { return "SDHC1"; }
    uint32_t read(uint32_t off, unsigned size) override;
    void write(uint32_t off, uint32_t value, unsigned size) override;
    void reset();

    SdCard card;
    // The card in the slot or not (from the card switch); drives PB13.
    void set_inserted(bool in);
    // Follows a card switch (the board's card_present), looked at every 1 ms.
    void watch_switch(const bool* sw);
    bool inserted() const { return inserted_; }
    // A GPIO pin changed its outside level (the supply pins PF1, PF3).
    void pin_changed(int port, int pin, int level);

    // Bus clock period for the current CLK_RATE.
    Time bit_time() const;

    ClockGate clock_gate;

private:
    struct Regs {
        uint32_t str_stp_clk, status, clk_rate, cmd_dat_cont, res_to, read_to, blk_len, nob;
        uint32_t int_cntr, cmd, argh, argl;
    };
    void update_irq();
    void start_command();
    void finish_command();
    void read_chunk_ready();
    void write_chunk_sent();
    void read_timeout();
    void cancel_events();
    bool card_reachable() const;
    bool supply_on() const;
    bool width_matches() const;
    void schedule(Time delay, void (Sdhc::*fn)());

    Machine& m_;
    Aitc& aitc_;
    Gpio& gpio_;
    AccessReporter log_;
    Regs r_{};
    void poll_switch();
    bool inserted_ = false;
    bool armed_ = false;  // a command waits for the clock to start
    const bool* switch_ = nullptr;
    Machine::EventId poll_event_{};
    // Response FIFO.
    uint16_t res_[8] = {};
    unsigned res_count_ = 0, res_pos_ = 0;
    // Data FIFO and the block being moved.
    uint8_t block_[512] = {};
    unsigned block_pos_ = 0;   // bytes handed over so far
    unsigned chunk_left_ = 0;  // bytes left in the FIFO (read) or room (write)
    enum class Xfer { None, Read, Write } xfer_ = Xfer::None;
    Machine::EventId event_{};
    bool event_pending_ = false;
};

}  // namespace sim
