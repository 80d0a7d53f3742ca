// A card image may hold up to 4 GiB: its offsets need 64 bits in a 32-bit
// build too.
#define _FILE_OFFSET_BITS 64

#include "sdhc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace sim {

namespace {

// Card status bits (R1).
constexpr uint32_t CS_OUT_OF_RANGE = 1u << 31, CS_ADDRESS_ERROR = 1u << 30, CS_BLOCK_LEN_ERROR = 1u << 29,
                   CS_ILLEGAL_COMMAND = 1u << 22, CS_READY_FOR_DATA = 1u << 8, CS_APP_CMD = 1u << 5;
constexpr uint32_t kOcrVoltages = 0x00FF8000, kOcrPowerUpDone = 0x80000000;
constexpr uint32_t kBlock = 512, kChunk = 64;
// The most a version-1 CSD states (4096 units of 2^(7 + 2 + 11) bytes),
// and the most the card's 32-bit byte addresses reach.
constexpr uint64_t kMaxCapacity = 4096ull << 20;
constexpr uint32_t kCardRca = 0xB368;
constexpr uint64_t kPerclk2 = 33250000;  // Hz
constexpr Time kReadAccess = 100 * kMicrosecond;

uint8_t crc7(const uint8_t* p, unsigned n)
{
    uint8_t crc = 0;
    for (unsigned i = 0; i < n; ++i)
        for (int b = 7; b >= 0; --b) {
            bool bit = ((p[i] >> b) & 1) ^ ((crc >> 6) & 1);
            crc = (uint8_t)((crc << 1) & 0x7F);
            if (bit)
                crc ^= 0x09;
        }
    return crc;
}

// Sets bits hi..lo of a 128-bit register held high byte first.
void put(uint8_t* reg, int hi, int lo, uint32_t v)
{
    for (int bit = lo; bit <= hi; ++bit, v >>= 1) {
        int byte = 15 - bit / 8;
        uint8_t mask = (uint8_t)(1u << (bit % 8));
        reg[byte] = (uint8_t)((v & 1) ? reg[byte] | mask : reg[byte] & ~mask);
    }
}

void seal(uint8_t* reg)
{
    reg[15] = (uint8_t)((crc7(reg, 15) << 1) | 1);
}

uint64_t short_response(unsigned index, uint32_t payload, bool with_crc)
{
    uint8_t b[5] = {(uint8_t)(index & 0x3F), (uint8_t)(payload >> 24), (uint8_t)(payload >> 16),
                    (uint8_t)(payload >> 8), (uint8_t)payload};
    uint8_t crc = with_crc ? crc7(b, 5) : 0x7F;
    uint64_t bits = 0;
    for (uint8_t x : b)
        bits = bits << 8 | x;
    return bits << 8 | (uint64_t)((crc << 1) | 1);
}

}  // namespace

// ================================================================ the card

SdCard::SdCard(Machine& m) : m_(m) {}

SdCard::~SdCard()
{
    if (programming_)
        m_.cancel(program_event_);
    if (fd_ >= 0)
        ::close(fd_);
}

bool SdCard::open(const std::string& path, std::string* why)
{
    int fd = ::open(path.c_str(), O_RDWR);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        if (why)
            *why = "cannot open the SD card image " + path + " for reading and writing";
        return false;
    }
    if (st.st_size < (off_t)kBlock || (uint64_t)st.st_size > kMaxCapacity) {
        ::close(fd);
        if (why)
            *why = "the SD card image " + path + " holds " + std::to_string((uint64_t)st.st_size) +
                   " bytes; the card takes an image of " + std::to_string(kBlock) + " to " +
                   std::to_string(kMaxCapacity) + " bytes (a standard-capacity SD card of at most 4 GiB)";
        return false;
    }
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
    size_ = (uint64_t)st.st_size;
    make_csd();  // rounds size_ up to what the CSD can state
    make_cid();
    return true;
}

void SdCard::power(bool on)
{
    if (programming_) {
        // Power lost while programming: the block is lost.
        m_.cancel(program_event_);
        programming_ = false;
    }
    powered_ = on;
    state_ = Idle;
    app_ = wide_ = ready_ = up_started_ = false;
    rca_ = 0;
    errors_ = 0;
    read_pending_ = false;
}

void SdCard::make_cid()
{
    std::memset(cid_, 0, sizeof cid_);
    put(cid_, 127, 120, 0x4B);    // manufacturer
    put(cid_, 119, 104, 0x4B53);  // OEM "KS"
    const char* pnm = "VCARD";
    for (int i = 0; i < 5; ++i)
        put(cid_, 103 - 8 * i, 96 - 8 * i, (uint8_t)pnm[i]);
    put(cid_, 63, 56, 0x10);        // revision 1.0
    put(cid_, 55, 24, 0x00C0FFEE);  // serial number
    put(cid_, 19, 12, 26);          // 2026
    put(cid_, 11, 8, 12);           // December
    seal(cid_);
}

// Version-1 CSD: capacity = (C_SIZE + 1) x 2^(C_SIZE_MULT + 2) x 2^READ_BL_LEN.
// The card states the smallest capacity that holds the whole image: a
// size it cannot state exactly (mkfs.fat spreads a volume over any size of
// file) is rounded up, never cut, so every block of the volume is there.
// Reads past the file's end give zeros, writes there lengthen the file.
void SdCard::make_csd()
{
    uint32_t bl_len = 9, mult = 0, csize = 0;
    for (bl_len = 9; bl_len <= 11 && csize == 0; ++bl_len)
        for (mult = 0; mult <= 7; ++mult) {
            uint64_t unit = (uint64_t)1 << (mult + 2 + bl_len);
            if ((size_ + unit - 1) / unit <= 4096) {
                csize = (uint32_t)((size_ + unit - 1) / unit);
                break;
            }
        }
    --bl_len;  // open() takes no image larger than the largest unit x 4096
    size_ = (uint64_t)csize << (mult + 2 + bl_len);
    std::memset(csd_, 0, sizeof csd_);
    put(csd_, 127, 126, 0);      // structure version 1
    put(csd_, 119, 112, 0x0E);   // TAAC 1 ms
    put(csd_, 111, 104, 0);      // NSAC
    put(csd_, 103, 96, 0x32);    // 25 MHz
    put(csd_, 95, 84, 0x5B5);    // command classes
    put(csd_, 83, 80, bl_len);
    put(csd_, 79, 79, 1);        // partial reads
    put(csd_, 73, 62, csize - 1);
    put(csd_, 61, 59, 7);
    put(csd_, 58, 56, 6);
    put(csd_, 55, 53, 7);
    put(csd_, 52, 50, 6);
    put(csd_, 49, 47, mult);
    put(csd_, 46, 46, 1);        // erase by 512 bytes
    put(csd_, 45, 39, 0x7F);     // erase sector
    put(csd_, 28, 26, 2);        // R2W factor
    put(csd_, 25, 22, bl_len);
    seal(csd_);
}

uint32_t SdCard::status(uint32_t extra) const
{
    uint32_t s = errors_ | extra | ((uint32_t)state_ << 9);
    if (state_ != Prg && state_ != Rcv)
        s |= CS_READY_FOR_DATA;
    if (app_)
        s |= CS_APP_CMD;
    return s;
}

SdCard::Response SdCard::r1(uint32_t extra) const
{
    Response r;
    r.kind = Short;
    r.bits = status(extra);  // index filled in by command()
    return r;
}

SdCard::Response SdCard::command(unsigned index, uint32_t arg)
{
    Response none;
    if (!powered_ || fd_ < 0)
        return none;
    bool app = app_;
    app_ = false;
    bool addressed = (arg >> 16) == rca_;
    Response r;
    auto short_r1 = [&](uint32_t extra) {
        r = r1(extra);
        r.bits = short_response(index, (uint32_t)r.bits, true);
        errors_ = 0;
    };
    auto illegal = [&]() {
        errors_ |= CS_ILLEGAL_COMMAND;
        return none;
    };

    if (app) {
        switch (index) {
        case 41:  // SD_SEND_OP_COND
            if (state_ != Idle)
                return illegal();
            if (arg & kOcrVoltages) {
                if (!up_started_) {
                    up_started_ = true;
                    up_at_ = m_.now() + power_up_time;
                }
                if (m_.now() >= up_at_)
                    ready_ = true;
            }
            r.kind = Short;
            r.bits = short_response(0x3F, kOcrVoltages | (ready_ ? kOcrPowerUpDone : 0), false);
            if (ready_)
                state_ = Ready;
            return r;
        case 6:  // SET_BUS_WIDTH
            if (state_ != Tran)
                return illegal();
            app_ = true;
            short_r1(0);
            app_ = false;
            wide_ = (arg & 3) == 2;
            return r;
        default:
            break;  // the other numbers mean their plain command
        }
    }

    switch (index) {
    case 0:  // GO_IDLE_STATE
        power(true);
        return none;
    case 8:  // SEND_IF_COND: a version-2 card that accepts 2.7-3.6 V
        if (state_ != Idle)
            return illegal();
        r.kind = Short;
        r.bits = short_response(8, arg & 0xFFF, true);
        return r;
    case 55:  // APP_CMD
        if (state_ >= Stby && !addressed)
            return none;
        app_ = true;
        short_r1(0);
        return r;
    case 2:  // ALL_SEND_CID
        if (state_ != Ready)
            return illegal();
        state_ = Ident;
        r.kind = Long;
        std::memcpy(r.reg, cid_, 16);
        return r;
    case 3: {  // SEND_RELATIVE_ADDR
        if (state_ != Ident && state_ != Stby)
            return illegal();
        uint32_t s = status();
        state_ = Stby;
        rca_ = kCardRca;
        uint32_t bits = (s & 0x1FFF) | ((s >> 22 & 3) << 14) | ((s >> 19 & 1) << 13);
        r.kind = Short;
        r.bits = short_response(3, rca_ << 16 | bits, true);
        errors_ = 0;
        return r;
    }
    case 9:  // SEND_CSD
        if (state_ != Stby)
            return illegal();
        if (!addressed)
            return none;
        r.kind = Long;
        std::memcpy(r.reg, csd_, 16);
        return r;
    case 7:  // SELECT/DESELECT_CARD
        if (state_ < Stby)
            return illegal();
        if (!addressed) {
            if (state_ == Tran)
                state_ = Stby;
            return none;
        }
        short_r1(0);
        if (state_ == Stby)
            state_ = Tran;
        return r;
    case 13:  // SEND_STATUS
        if (state_ < Stby)
            return illegal();
        if (!addressed)
            return none;
        short_r1(0);
        return r;
    case 16:  // SET_BLOCKLEN
        if (state_ != Tran)
            return illegal();
        short_r1(arg != kBlock ? CS_BLOCK_LEN_ERROR : 0);
        return r;
    case 12:  // STOP_TRANSMISSION
        if (state_ != Data && state_ != Rcv)
            return illegal();
        short_r1(0);
        state_ = Tran;
        read_pending_ = false;
        return r;
    case 17:    // READ_SINGLE_BLOCK
    case 24: {  // WRITE_BLOCK
        if (state_ != Tran)
            return illegal();
        uint32_t err = 0;
        if (arg % kBlock)
            err |= CS_ADDRESS_ERROR;
        if ((uint64_t)arg + kBlock > size_)
            err |= CS_OUT_OF_RANGE;
        short_r1(err);
        if (!err) {
            address_ = arg;
            if (index == 17) {
                state_ = Data;
                read_pending_ = true;
            } else {
                state_ = Rcv;
            }
        }
        return r;
    }
    default:
        return illegal();
    }
}

bool SdCard::take_read_block(uint8_t* out)
{
    if (!read_pending_ || !powered_)
        return false;
    read_pending_ = false;
    state_ = Tran;
    std::memset(out, 0, kBlock);  // past the file's end
    return ::pread(fd_, out, kBlock, address_) >= 0;
}

void SdCard::write_block(const uint8_t* data)
{
    if (state_ != Rcv)
        return;
    std::memcpy(program_, data, kBlock);
    state_ = Prg;
    programming_ = true;
    program_event_ = m_.schedule_in(write_busy, [this] { finish_program(); });
}

void SdCard::finish_program()
{
    programming_ = false;
    if (::pwrite(fd_, program_, kBlock, address_) != (ssize_t)kBlock)
        m_.report("SD card: cannot write the card image at " + hex32(address_));
    if (state_ == Prg)
        state_ = Tran;
}

// ================================================================ the controller

Sdhc::Sdhc(Machine& m, Aitc& aitc, Gpio& gpio) : card(m), m_(m), aitc_(aitc), gpio_(gpio), log_(m, "SDHC1")
{
    reset();
}

Sdhc::~Sdhc()
{
    cancel_events();
    if (switch_)
        m_.cancel(poll_event_);
}

void Sdhc::reset()
{
    cancel_events();
    r_ = Regs{};
    r_.status = inserted_ ? uint32_t{ST_CARD_PRESENT} : 0u;
    armed_ = false;
    r_.clk_rate = 0x3F;
    r_.res_to = 0x40;
    r_.read_to = 0xFFFF;
    r_.blk_len = 0;
    r_.nob = 0;
    res_count_ = res_pos_ = 0;
    block_pos_ = chunk_left_ = 0;
    xfer_ = Xfer::None;
    update_irq();
}

void Sdhc::cancel_events()
{
    if (event_pending_)
        m_.cancel(event_);
    event_pending_ = false;
}

void Sdhc::schedule(Time delay, void (Sdhc::*fn)())
{
    cancel_events();
    event_pending_ = true;
    event_ = m_.schedule_in(delay, [this, fn] {
        event_pending_ = false;
        (this->*fn)();
    });
}

void Sdhc::update_irq()
{
    uint32_t s = r_.status;
    bool line = ((r_.int_cntr & IC_READ_OP_DONE) && (s & ST_READ_OP_DONE)) ||
                ((r_.int_cntr & IC_WRITE_OP_DONE) && (s & ST_WRITE_OP_DONE)) ||
                ((r_.int_cntr & IC_END_CMD_RES) && (s & ST_END_CMD_RESP)) ||
                ((r_.int_cntr & IC_BUF_READY) && (s & (ST_BUF_READ_RDY | ST_BUF_WRITE_RDY)));
    aitc_.set_source(kIrq, line);
}

Time Sdhc::bit_time() const
{
    uint32_t pre = (r_.clk_rate >> 4) & 0xFFF, div = r_.clk_rate & 0xF;
    uint64_t d = (pre ? 2 * (uint64_t)pre : 1) * (div + 1);
    return (Time)(d * 1000000000ull / kPerclk2);
}

bool Sdhc::supply_on() const
{
    return gpio_.level(Gpio::PORT_F, 1) == 0 && gpio_.level(Gpio::PORT_F, 3) == 0;
}

bool Sdhc::card_reachable() const
{
    return inserted_ && card.powered();
}

bool Sdhc::width_matches() const
{
    bool wide = (r_.cmd_dat_cont & CDC_BUS_WIDTH) == (2u << 8);
    return wide == card.data_bus_4bit();
}

void Sdhc::set_inserted(bool in)
{
    if (in && !card.has_image()) {
        log_.once("the card switch is on, but there is no card image (--sd FILE) to insert");
        in = false;
    }
    if (in == inserted_)
        return;
    inserted_ = in;
    gpio_.drive(Gpio::PORT_B, 13, in ? 0 : -1);
    card.power(in && supply_on());
    if (!in && xfer_ != Xfer::None) {
        // The card left in the middle of a block.
        Xfer x = xfer_;
        xfer_ = Xfer::None;
        cancel_events();
        r_.status &= ~(ST_BUF_READ_RDY | ST_BUF_WRITE_RDY);
        r_.status |= x == Xfer::Read ? ST_TIME_OUT_READ : (ST_WRITE_CRC_ERR | (2u << 9));
    }
    if (in)
        r_.status |= ST_CARD_PRESENT;
    else
        r_.status &= ~ST_CARD_PRESENT;
    update_irq();
}

void Sdhc::pin_changed(int port, int pin, int)
{
    if (port != Gpio::PORT_F || (pin != 1 && pin != 3))
        return;
    bool on = inserted_ && supply_on();
    if (on != card.powered())
        card.power(on);
}

void Sdhc::watch_switch(const bool* sw)
{
    switch_ = sw;
    poll_switch();
}

// The card switch is looked at every millisecond (the firmware debounces
// the card-detect line over 51 ms).
void Sdhc::poll_switch()
{
    if (!switch_)
        return;
    set_inserted(*switch_);
    poll_event_ = m_.schedule_in(kMillisecond, [this] { poll_switch(); });
}

// ---------------------------------------------------------------- commands

void Sdhc::start_command()
{
    r_.status &= ~(ST_TIME_OUT_READ | ST_TIME_OUT_RESP | ST_WRITE_CRC_ERR | ST_READ_CRC_ERR | ST_RESP_CRC_ERR |
                   ST_BUF_WRITE_RDY | ST_BUF_READ_RDY | ST_WR_CRC_CODE | ST_WRITE_OP_DONE | ST_READ_OP_DONE |
                   ST_END_CMD_RESP);
    res_count_ = res_pos_ = 0;
    xfer_ = Xfer::None;
    unsigned bits = 48 + 8;
    if (r_.cmd_dat_cont & CDC_INIT)
        bits += 80;
    unsigned format = r_.cmd_dat_cont & CDC_FORMAT;
    if (format)
        bits += format == 2 ? 136 : 48;
    update_irq();
    schedule(bits * bit_time(), &Sdhc::finish_command);
}

void Sdhc::finish_command()
{
    unsigned format = r_.cmd_dat_cont & CDC_FORMAT;
    SdCard::Response resp;
    if (card_reachable())
        resp = card.command(r_.cmd & 0x3F, r_.argh << 16 | r_.argl);
    if (format == 0) {
        r_.status |= ST_END_CMD_RESP;
    } else if (resp.kind == SdCard::None) {
        r_.status |= ST_TIME_OUT_RESP | ST_END_CMD_RESP;
    } else {
        if ((resp.kind == SdCard::Long) != (format == 2)) {
            log_.once("CMD" + std::to_string(r_.cmd & 0x3F) + " answered with a response of another length than CMD_DAT_CONT expects");
            r_.status |= ST_RESP_CRC_ERR;
        }
        if (resp.kind == SdCard::Long) {
            for (int i = 0; i < 8; ++i)
                res_[i] = (uint16_t)(resp.reg[2 * i] << 8 | resp.reg[2 * i + 1]);
            res_count_ = 8;
        } else {
            res_[0] = (uint16_t)(resp.bits >> 32);
            res_[1] = (uint16_t)(resp.bits >> 16);
            res_[2] = (uint16_t)resp.bits;
            res_count_ = 3;
        }
        r_.status |= ST_END_CMD_RESP;
    }
    if ((r_.cmd_dat_cont & CDC_DATA) && !(r_.status & ST_TIME_OUT_RESP)) {
        block_pos_ = 0;
        if (r_.blk_len != kBlock || r_.nob != 1)
            log_.once("a data command with BLK_LEN " + std::to_string(r_.blk_len) + " and NOB " +
                      std::to_string(r_.nob) + " (the model moves single 512-byte blocks)");
        if (r_.cmd_dat_cont & CDC_WRITE) {
            xfer_ = Xfer::Write;
            chunk_left_ = kChunk;
            r_.status |= ST_BUF_WRITE_RDY;
        } else if (card.take_read_block(block_)) {
            xfer_ = Xfer::Read;
            if (!width_matches())
                r_.status |= ST_READ_CRC_ERR;
            schedule(kReadAccess + kChunk * 8 / (width_matches() && card.data_bus_4bit() ? 4 : 1) * bit_time(),
                     &Sdhc::read_chunk_ready);
        } else {
            xfer_ = Xfer::Read;
            schedule((Time)(r_.read_to ? r_.read_to : 1) * bit_time(), &Sdhc::read_timeout);
        }
    }
    update_irq();
}

static Time chunk_time_for(bool wide, Time bit)
{
    return kChunk * 8 / (wide ? 4 : 1) * bit;
}

void Sdhc::read_chunk_ready()
{
    chunk_left_ = kChunk;
    r_.status |= ST_BUF_READ_RDY;
    update_irq();
}

void Sdhc::read_timeout()
{
    xfer_ = Xfer::None;
    r_.status |= ST_TIME_OUT_READ;
    update_irq();
}

void Sdhc::write_chunk_sent()
{
    if (block_pos_ < kBlock) {
        chunk_left_ = kChunk;
        r_.status |= ST_BUF_WRITE_RDY;
    } else {
        xfer_ = Xfer::None;
        if (card_reachable() && card.wants_write_block() && width_matches()) {
            card.write_block(block_);  // CRC status: positive (code 00)
        } else if (card_reachable() && card.wants_write_block()) {
            r_.status |= ST_WRITE_CRC_ERR | (1u << 9);
        } else {
            r_.status |= ST_WRITE_CRC_ERR | (2u << 9);  // no CRC status from the card
        }
        r_.status |= ST_WRITE_OP_DONE | ST_BUF_WRITE_RDY;
    }
    update_irq();
}

// ---------------------------------------------------------------- bus

uint32_t Sdhc::read(uint32_t off, unsigned size)
{
    if (!clock_gate.open()) {
        if (off != STATUS)
            clock_gate.admit(log_, off, false);
        return 0;
    }
    if (size == 1) {
        log_.once("byte read at " + offset_text(off));
        return 0;
    }
    switch (off) {
    case STR_STP_CLK: return r_.str_stp_clk;
    case STATUS: return r_.status;
    case CLK_RATE: return r_.clk_rate;
    case CMD_DAT_CONT: return r_.cmd_dat_cont;
    case RES_TO: return r_.res_to;
    case READ_TO: return r_.read_to;
    case BLK_LEN: return r_.blk_len;
    case NOB: return r_.nob;
    case REV_NO: return 0x0400;
    case INT_CNTR: return r_.int_cntr;
    case CMD: return r_.cmd;
    case ARGH: return r_.argh;
    case ARGL: return r_.argl;
    case RES_FIFO:
        if (res_pos_ >= res_count_) {
            log_.once("response FIFO read while empty");
            return 0;
        }
        return res_[res_pos_++];
    case BUFFER_ACCESS: {
        if (xfer_ != Xfer::Read || chunk_left_ == 0) {
            log_.once("data FIFO read while no data is ready (STATUS bit 7 clear)");
            return 0;
        }
        uint16_t v = (uint16_t)(block_[block_pos_] | block_[block_pos_ + 1] << 8);
        block_pos_ += 2;
        chunk_left_ -= 2;
        if (chunk_left_ == 0) {
            r_.status &= ~ST_BUF_READ_RDY;
            bool wide = width_matches() && card.data_bus_4bit();
            if (block_pos_ < kBlock) {
                schedule(chunk_time_for(wide, bit_time()), &Sdhc::read_chunk_ready);
            } else {
                xfer_ = Xfer::None;
                r_.status |= ST_READ_OP_DONE;
            }
            update_irq();
        }
        return v;
    }
    default:
        log_.unknown_read(off);
        return 0;
    }
}

void Sdhc::write(uint32_t off, uint32_t value, unsigned size)
{
    if (!clock_gate.open()) {
        if (!(off == STR_STP_CLK && (value & 0xFFFF) == SSC_STOP))
            clock_gate.admit(log_, off, true);
        return;
    }
    if (size == 1) {
        log_.once("byte write at " + offset_text(off));
        return;
    }
    value &= 0xFFFF;
    switch (off) {
    case STR_STP_CLK:
        r_.str_stp_clk = value & (SSC_STOP | SSC_START | SSC_RESET);
        if (value & SSC_RESET) {
            reset();
            return;
        }
        if (value & SSC_STOP)
            r_.status &= ~ST_CLK_RUN;
        if (value & SSC_START) {
            r_.status |= ST_CLK_RUN;
            if (armed_) {
                armed_ = false;
                start_command();
            }
        }
        update_irq();
        return;
    case STATUS:
        // Write 1 to clear the error and done flags.
        r_.status &= ~(value & (ST_TIME_OUT_READ | ST_TIME_OUT_RESP | ST_WRITE_CRC_ERR | ST_READ_CRC_ERR |
                                ST_RESP_CRC_ERR | ST_WRITE_OP_DONE | ST_READ_OP_DONE | ST_END_CMD_RESP));
        update_irq();
        return;
    case CLK_RATE: r_.clk_rate = value; return;
    case CMD_DAT_CONT:
        r_.cmd_dat_cont = value;
        armed_ = true;  // the command goes out when the clock starts
        return;
    case RES_TO: r_.res_to = value & 0xFF; return;
    case READ_TO: r_.read_to = value; return;
    case BLK_LEN: r_.blk_len = value & 0xFFF; return;
    case NOB: r_.nob = value; return;
    case INT_CNTR:
        r_.int_cntr = value;
        update_irq();
        return;
    case CMD: r_.cmd = value & 0x3F; return;
    case ARGH: r_.argh = value; return;
    case ARGL: r_.argl = value; return;
    case BUFFER_ACCESS:
        if (xfer_ != Xfer::Write || chunk_left_ == 0) {
            log_.once("data FIFO written while it has no room (STATUS bit 6 clear)");
            return;
        }
        block_[block_pos_] = (uint8_t)value;
        block_[block_pos_ + 1] = (uint8_t)(value >> 8);
        block_pos_ += 2;
        chunk_left_ -= 2;
        if (chunk_left_ == 0) {
            r_.status &= ~ST_BUF_WRITE_RDY;
            schedule(chunk_time_for(card.data_bus_4bit() && width_matches(), bit_time()), &Sdhc::write_chunk_sent);
            update_irq();
        }
        return;
    case REV_NO:
    case RES_FIFO:
        log_.read_only(off, value);
        return;
    default:
        log_.unknown_write(off, value);
        return;
    }
}

}  // namespace sim
