#include "i2c.h"

namespace sim {

namespace {
// PD17 (SDA) and PD18 (SCL).
constexpr int kSdaPin = 17, kSclPin = 18;
}  // namespace

I2c::I2c(Machine& m, Aitc& aitc, int irq, const ClockController& clock, const Gpio& gpio)
    : m_(m), aitc_(aitc), irq_(irq), clock_(clock), gpio_(gpio), rep_(m, "I2C")
{
    reset();
}

I2c::~I2c()
{
    if (in_flight_)
        m_.cancel(byte_event_);
    if (stop_pending_)
        m_.cancel(stop_event_);
}

void I2c::reset()
{
    if (in_flight_)
        m_.cancel(byte_event_);
    if (stop_pending_)
        m_.cancel(stop_event_);
    in_flight_ = stop_pending_ = stop_after_byte_ = false;
    r_ = {};
    r_.i2sr = I2SR_ICF | I2SR_RXAK;
    phase_ = Phase::Idle;
    target_ = nullptr;
    update_irq();
}

void I2c::attach(uint8_t write_address, I2cDevice* dev)
{
    devices_[static_cast<uint8_t>(write_address & 0xFE)] = dev;
}

unsigned I2c::divider(uint32_t ifdr)
{
    static const unsigned table[64] = {
        30,  32,  36,  42,  48,  52,  60,  72,   80,   88,   104,  128,  144,  160,  192,  240,
        288, 320, 384, 480, 576, 640, 768, 960,  1152, 1280, 1536, 1920, 2304, 2560, 3072, 3840,
        22,  24,  26,  28,  32,  36,  40,  44,   48,   56,   64,   72,   80,   96,   112,  128,
        160, 192, 224, 256, 320, 384, 448, 512,  640,  768,  896,  1024, 1280, 1536, 1792, 2048};
    return table[ifdr & 0x3F];
}

Time I2c::bit_time() const
{
    return static_cast<Time>(divider(r_.ifdr)) * kSecond / kModuleClockHz;
}

void I2c::update_irq()
{
    aitc_.set_source(irq_, (r_.i2cr & I2CR_IEN) && (r_.i2cr & I2CR_IIEN) && (r_.i2sr & I2SR_IIF));
}

bool I2c::connected() const
{
    return !gpio_.is_gpio(Gpio::PORT_D, kSdaPin) && !gpio_.is_gpio(Gpio::PORT_D, kSclPin);
}

// ---------------------------------------------------------------- bus events

void I2c::start_condition()
{
    if (stop_pending_) {
        m_.cancel(stop_event_);
        stop_pending_ = false;
    }
    r_.i2sr |= I2SR_IBB;
    phase_ = Phase::Address;
    target_ = nullptr;
    for (auto& [addr, dev] : devices_)
        dev->bus_start();
}

void I2c::stop_condition()
{
    stop_after_byte_ = false;
    release_bus();
    // The bus stays busy until the stop condition has been on the wire.
    stop_pending_ = true;
    stop_event_ = m_.schedule_in(bit_time(), [this] {
        stop_pending_ = false;
        r_.i2sr &= ~I2SR_IBB;
    });
}

void I2c::release_bus()
{
    if (phase_ != Phase::Idle)
        for (auto& [addr, dev] : devices_)
            dev->bus_stop();
    phase_ = Phase::Idle;
    target_ = nullptr;
}

void I2c::begin_byte(uint8_t out)
{
    shifting_ = out;
    in_flight_ = true;
    r_.i2sr &= ~I2SR_ICF;
    byte_event_ = m_.schedule_in(9 * bit_time(), [this] { byte_done(); });
}

void I2c::byte_done()
{
    in_flight_ = false;
    bool ack = false;
    switch (phase_) {
    case Phase::Address: {
        bool rd = shifting_ & 1;
        auto it = devices_.find(static_cast<uint8_t>(shifting_ & 0xFE));
        I2cDevice* dev = connected() && it != devices_.end() ? it->second : nullptr;
        ack = dev && dev->address(rd);
        target_ = ack ? dev : nullptr;
        phase_ = rd ? Phase::Receive : Phase::Transmit;
        break;
    }
    case Phase::Transmit:
        ack = target_ && target_->write(shifting_);
        break;
    case Phase::Receive:
        // The master answers on the ninth clock; with nobody driving SDA the
        // byte reads as ones.
        ack = !(r_.i2cr & I2CR_TXAK);
        r_.i2dr = target_ ? target_->read(ack) : 0xFF;
        break;
    case Phase::Idle:
        break;
    }
    r_.i2sr = (r_.i2sr & ~I2SR_RXAK) | I2SR_ICF | I2SR_IIF | (ack ? 0 : I2SR_RXAK);
    if (stop_after_byte_)
        stop_condition();
    update_irq();
}

// ---------------------------------------------------------------- registers

uint32_t I2c::read(uint32_t off, unsigned size)
{
    if (!rep_.word(off, size, false))
        return 0;
    switch (off) {
    case IADR: return r_.iadr;
    case IFDR: return r_.ifdr;
    case I2CR: return r_.i2cr;  // RSTA reads as 0
    case I2SR: return r_.i2sr;
    case I2DR: {
        uint32_t v = r_.i2dr;
        // In master receive mode a read of the data register lets the next
        // byte come in.
        bool master = (r_.i2cr & I2CR_IEN) && (r_.i2cr & I2CR_MSTA);
        if (master && !(r_.i2cr & I2CR_MTX)) {
            if (phase_ != Phase::Receive)
                rep_.once("I2C: data register read in receive mode after a write address");
            else if (!in_flight_)
                begin_byte(0xFF);
        }
        return v;
    }
    default:
        rep_.unknown_read(off);
        return 0;
    }
}

void I2c::write(uint32_t off, uint32_t v, unsigned size)
{
    if (!rep_.word(off, size, true))
        return;
    switch (off) {
    case IADR: r_.iadr = v & 0xFE; break;
    case IFDR: r_.ifdr = v & 0x3F; break;
    case I2CR: {
        uint32_t old = r_.i2cr;
        bool rsta = v & I2CR_RSTA;
        r_.i2cr = v & 0xF8;
        if (!(v & I2CR_IEN)) {
            // Module off: the controller lets go of the bus and its state
            // returns to reset.  Only MSTA falling in an enabled module makes
            // a stop: switched off in the middle of a transfer, the
            // controller releases SCL and SDA between bytes (SCL low, SDA
            // already let go after the acknowledge) and both simply rise.
            // The devices see no stop and stay where the transfer left them
            // until the next start.
            if (old & I2CR_IEN) {
                if (in_flight_) {
                    m_.cancel(byte_event_);
                    rep_.once("module switched off while a byte was on the wire");
                }
                in_flight_ = stop_after_byte_ = false;
                phase_ = Phase::Idle;
                target_ = nullptr;
                if (stop_pending_)
                    m_.cancel(stop_event_);
                stop_pending_ = false;
                r_.i2sr = I2SR_ICF | I2SR_RXAK;
            }
            break;
        }
        if (!(clock_.pccr0() & kPccr0Clock)) {
            rep_.once("I2C: controller programmed while its clock (PCCR0 bit 12) is off");
            break;
        }
        bool was_master = (old & I2CR_IEN) && (old & I2CR_MSTA);
        bool master = v & I2CR_MSTA;
        if (master && !was_master) {
            start_condition();
        } else if (!master && was_master) {
            if (in_flight_)
                stop_after_byte_ = true;
            else
                stop_condition();
        } else if (master && rsta) {
            if (in_flight_)
                rep_.once("I2C: repeated start while a byte is on the wire");
            else
                start_condition();
        }
        if (rsta && !master)
            rep_.once("I2C: repeated start requested outside master mode");
        break;
    }
    case I2SR:
        // IIF and IAL are cleared by writing 0; the other bits are status.
        r_.i2sr &= ~(~v & (I2SR_IIF | I2SR_IAL));
        break;
    case I2DR: {
        r_.i2dr = v & 0xFF;
        if (!(r_.i2cr & I2CR_IEN))
            break;
        if (!(r_.i2cr & I2CR_MSTA)) {
            rep_.once("I2C: data written outside master mode (slave mode is not modelled)");
            break;
        }
        if (!(r_.i2cr & I2CR_MTX)) {
            rep_.once("I2C: data register written in receive mode");
            break;
        }
        if (in_flight_) {
            rep_.once("I2C: data register written while a byte is on the wire (byte lost)");
            break;
        }
        if (!(clock_.pccr0() & kPccr0Clock)) {
            rep_.once("I2C: byte written while the module clock (PCCR0 bit 12) is off");
            break;
        }
        if (phase_ == Phase::Idle) {
            rep_.once("I2C: byte written after a stop, without a new start");
            break;
        }
        begin_byte(static_cast<uint8_t>(v));
        break;
    }
    default:
        rep_.unknown_write(off, v);
        return;
    }
    update_irq();
}

}  // namespace sim
