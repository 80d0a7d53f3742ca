#include "board/serialmem.h"

#include "app/KM_timer.h"
#include "board/bootio.h"
#include "board/hw.h"
#include "board/imx21.h"

// ---------------------------------------------------------------- I2C

#define I2C(off) (I2C_BASE + (off))

// Divider code 0x31 (192): about 350 kHz from the 66.5 MHz IPG clock.
#define I2C_DIVIDER 0x31
// PD17 (SDA) and PD18 (SCL) in their peripheral function.
#define I2C_PINS ((1u << 17) | (1u << 18))

// A byte takes about 26 us on the bus; the waits give up after many times
// that, so a board whose bus is stuck or whose EEPROM is missing still
// starts.
#define I2C_WAIT_PASSES 20000u
// Acknowledge polling: the EEPROM's write cycle takes at most 5 ms, so a
// device that has not answered in 20 ms is not coming back; nor one that
// has not answered 1000 polls (the count holds when the tick stands still).
#define I2C_POLL_MS 20u
#define I2C_POLL_LIMIT 1000

// The controller needs a short pause between bus steps: a count-down of
// 200 passes, a few microseconds.
static void settle(void)
{
    hw_spin(200);
}

static int wait_flag(void)
{
    for (uint32_t n = 0; n < I2C_WAIT_PASSES;) {
        if (hw_read32(I2C(I2C_I2SR)) & I2C_I2SR_IIF)
            return 1;
        n += hw_idle(I2C_WAIT_PASSES - n);
    }
    return 0;
}

static void clear_flag(void)
{
    hw_clear32(I2C(I2C_I2SR), I2C_I2SR_IIF);
}

// After a byte was handed to the controller: its end, then the flag cleared.
static int byte_sent(void)
{
    settle();
    if (!wait_flag())
        return 0;
    settle();
    clear_flag();
    settle();
    return 1;
}

static int wait_bus_idle(void)
{
    for (uint32_t n = 0; n < I2C_WAIT_PASSES;) {
        if (!(hw_read32(I2C(I2C_I2SR)) & I2C_I2SR_IBB))
            return 1;
        n += hw_idle(I2C_WAIT_PASSES - n);
    }
    return 0;
}

// Whether the device took the byte just sent (an address or a data byte):
// I2C_NOT_ACKNOWLEDGED when it did not.
static uint32_t refusal(void)
{
    return hw_read32(I2C(I2C_I2SR)) & I2C_I2SR_RXAK;
}

// Ends a transfer: the status as it stands, its acknowledge bit replaced by
// whether the device refused a byte it was sent (after a read that bit
// shows the controller's own no-acknowledge of the last byte it wanted),
// then the controller off.
static uint32_t finish(uint32_t refused)
{
    uint32_t status = (hw_read32(I2C(I2C_I2SR)) & ~I2C_I2SR_RXAK) | refused;
    hw_write32(I2C(I2C_I2CR), 0);
    settle();
    return status;
}

static uint32_t abandon(void)
{
    return finish(I2C_TIMED_OUT | I2C_NOT_ACKNOWLEDGED);
}

void InitI2C(void)
{
    hw_set32(CRM_BASE + CRM_PCCR0, CRM_PCCR0_I2C);
    hw_write32(I2C(I2C_IFDR), I2C_DIVIDER);
    hw_clear32(I2C(I2C_I2CR), I2C_I2CR_IEN);
    hw_set32(I2C(I2C_I2CR), I2C_I2CR_IEN);
    hw_clear32(GPIO_PORT(PORT_D) + GPIO_GIUS, I2C_PINS);
    hw_clear32(GPIO_PORT(PORT_D) + GPIO_GPR, I2C_PINS);
    clear_flag();
}

uint32_t I2Cio(uint8_t device, int nWrite, int nRead, uint8_t* buffer)
{
    const uint32_t cr = I2C(I2C_I2CR);
    hw_write32(cr, I2C_I2CR_IEN);
    clear_flag();
    hw_set32(cr, I2C_I2CR_TXAK);
    hw_set32(cr, I2C_I2CR_MSTA);  // start
    hw_set32(cr, I2C_I2CR_MTX);
    hw_write32(I2C(I2C_I2DR), device & 0xFEu);
    if (!byte_sent())
        return abandon();
    uint32_t refused = refusal();

    for (int i = 0; i < nWrite; ++i) {
        hw_write32(I2C(I2C_I2DR), buffer[i]);
        if (!byte_sent())
            return abandon();
        refused |= refusal();
    }

    if (nRead <= 0) {
        if (nWrite > 0) {
            hw_clear32(cr, I2C_I2CR_MSTA);  // stop
            if (!wait_bus_idle())
                return abandon();
        }
        return finish(refused);
    }

    hw_set32(cr, I2C_I2CR_RSTA);
    hw_write32(I2C(I2C_I2DR), device | 1u);
    if (!byte_sent())
        return abandon();
    refused |= refusal();
    hw_clear32(cr, I2C_I2CR_MTX);
    // The controller acknowledges every byte but the last; with one byte
    // to read, the no-acknowledge set at the start stays.
    if (nRead > 1)
        hw_clear32(cr, I2C_I2CR_TXAK);
    (void)hw_read32(I2C(I2C_I2DR));  // lets the first byte come in
    for (int i = 0; i < nRead; ++i) {
        if (!wait_flag())
            return abandon();
        clear_flag();
        // The acknowledge for the next byte is decided when this one is
        // read, so the last byte's no-acknowledge is set one byte early;
        // the stop goes out before the last byte is read, so that reading
        // it does not start another.
        if (i == nRead - 2)
            hw_set32(cr, I2C_I2CR_TXAK);
        if (i == nRead - 1)
            hw_clear32(cr, I2C_I2CR_MSTA);
        buffer[i] = (uint8_t)hw_read32(I2C(I2C_I2DR));
    }
    if (!wait_bus_idle())
        return abandon();
    return finish(refused);
}

int I2CPollAck(void)
{
    uint8_t none = 0;
    const uint32_t start = KM_TimerGetMsCount();
    for (int n = 0; n < I2C_POLL_LIMIT; ++n) {
        if (!(I2Cio(EEPROM_DEVICE, 0, 0, &none) & I2C_NOT_ACKNOWLEDGED))
            return 1;
        if (KM_TimerGetMsCount() - start >= I2C_POLL_MS)
            break;
        // Until its write cycle ends the EEPROM refuses every poll alike.
        hw_pause();
    }
    return 0;
}

static uint32_t eeprom_write_once(uint32_t address, uint8_t value)
{
    uint8_t b[3] = {(uint8_t)(address >> 8), (uint8_t)address, value};
    return I2Cio(EEPROM_DEVICE, 3, 0, b);
}

int EEpromWrite(uint32_t address, uint8_t value)
{
    if (eeprom_write_once(address, value) & I2C_NOT_ACKNOWLEDGED) {
        // Perhaps still inside an earlier write cycle: wait for it once.
        if (!I2CPollAck() || (eeprom_write_once(address, value) & I2C_NOT_ACKNOWLEDGED))
            return 0;
    }
    return I2CPollAck();
}

uint8_t EEpromRead(uint32_t address)
{
    uint8_t b[2] = {(uint8_t)(address >> 8), (uint8_t)address};
    I2Cio(EEPROM_DEVICE, 2, 1, b);
    return b[0];
}

// ---------------------------------------------------------------- SPI flash

#define SPI1(off) (CSPI1_BASE + (off))

// 8-bit words, master, SPI clock from PERCLK2.
#define SPI1_CONTROL 0x00C04C67u
// PD28 is the chip select (a GPIO, low = selected); PD29..PD31 carry the
// clock and data.
#define FLASH_CS_PIN 28
#define SPI1_PINS ((1u << 29) | (1u << 30) | (1u << 31))
#define SPI_WAIT_PASSES 10000u

#define FLASH_READ_ID 0x9F
#define FLASH_READ_STATUS 0x05
#define FLASH_WRITE_ENABLE 0x06
#define FLASH_WRITE_DISABLE 0x04
#define FLASH_PAGE_PROGRAM 0x02
#define FLASH_FAST_READ 0x0B
#define FLASH_CHIP_ERASE 0xC7
#define FLASH_SECTOR_ERASE 0xD8
#define FLASH_STATUS_BUSY 0x01
#define FLASH_PAGE 256u

// Status polls allowed (each takes some microseconds): page program takes
// up to 5 ms, a sector erase 3 s, a chip erase a few minutes.
#define FLASH_PROGRAM_POLLS 10000u
#define FLASH_SECTOR_POLLS 3000000u
#define FLASH_CHIP_POLLS 200000000u

static void flash_select(int on)
{
    gpio_write(PORT_D, FLASH_CS_PIN, on ? 0 : 1);
}

// One exchange of up to eight bytes; the bytes clocked in replace buf.
static int spi1_exchange(uint8_t* buf, int n)
{
    for (int i = 0; i < n; ++i)
        hw_write32(SPI1(CSPI_TXDATA), buf[i]);
    hw_set32(SPI1(CSPI_CONTROLREG), CSPI_CONTROL_XCH);
    uint32_t k = 0;
    while (!(hw_read32(SPI1(CSPI_INTREG)) & CSPI_INTREG_RR)) {
        if (k >= SPI_WAIT_PASSES)
            return 0;
        k += hw_idle(SPI_WAIT_PASSES - k);
    }
    while (hw_read32(SPI1(CSPI_CONTROLREG)) & CSPI_CONTROL_XCH) {
        if (k >= SPI_WAIT_PASSES)
            return 0;
        k += hw_idle(SPI_WAIT_PASSES - k);
    }
    for (int i = 0; i < n; ++i)
        buf[i] = (uint8_t)hw_read32(SPI1(CSPI_RXDATA));
    return 1;
}

void InitSerialFlash(void)
{
    hw_write32(SPI1(CSPI_RESETREG), 1);
    for (uint32_t k = 0; (hw_read32(SPI1(CSPI_RESETREG)) & 1) && k < SPI_WAIT_PASSES;)
        k += hw_idle(SPI_WAIT_PASSES - k);
    gpio_make_output(PORT_D, FLASH_CS_PIN, 1);
    hw_clear32(GPIO_PORT(PORT_D) + GPIO_GIUS, SPI1_PINS);
    hw_clear32(GPIO_PORT(PORT_D) + GPIO_GPR, SPI1_PINS);
    hw_write32(SPI1(CSPI_CONTROLREG), SPI1_CONTROL);
    hw_write32(SPI1(CSPI_PERIODREG), 0);
    hw_set32(CRM_BASE + CRM_PCCR0, CRM_PCCR0_CSPI1);
}

// A command of up to eight bytes in one selection.
static int flash_command(uint8_t* buf, int n)
{
    flash_select(1);
    int ok = spi1_exchange(buf, n);
    flash_select(0);
    if (!ok)
        FlushSpi1Fifo();
    return ok;
}

uint32_t ReadSerialFlashID(void)
{
    uint8_t b[4] = {FLASH_READ_ID, 0, 0, 0};
    if (!flash_command(b, 4))
        return 0;
    return ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | b[3];
}

uint8_t SerialFlashStatus(void)
{
    uint8_t b[2] = {FLASH_READ_STATUS, 0};
    if (!flash_command(b, 2))
        return 0xFF;  // reads as busy
    return b[1];
}

void SetWriteEnable(void)
{
    uint8_t c = FLASH_WRITE_ENABLE;
    flash_command(&c, 1);
}

void ClearWriteEnable(void)
{
    uint8_t c = FLASH_WRITE_DISABLE;
    flash_command(&c, 1);
}

static int flash_wait_ready(uint32_t polls)
{
    for (uint32_t n = 0; n < polls; ++n) {
        if (!(SerialFlashStatus() & FLASH_STATUS_BUSY))
            return 1;
        hw_wait();
    }
    return 0;
}

static void put_address(uint8_t* b, uint32_t address)
{
    b[0] = (uint8_t)(address >> 16);
    b[1] = (uint8_t)(address >> 8);
    b[2] = (uint8_t)address;
}

// Sends len bytes (after head bytes of command) within one selection,
// eight words per exchange; what comes back goes to in when it is not null.
static int flash_stream(const uint8_t* head, int headLen, const uint8_t* out, uint8_t* in, uint32_t len)
{
    uint8_t b[CSPI_FIFO_WORDS];
    int ok = 1;
    flash_select(1);
    int n = 0;
    for (int i = 0; i < headLen; ++i)
        b[n++] = head[i];
    uint32_t done = 0, sent = 0;
    while (ok && (n > 0 || sent < len)) {
        int first = n;
        while (n < CSPI_FIFO_WORDS && sent < len)
            b[n++] = out ? out[sent++] : (sent++, 0);
        ok = spi1_exchange(b, n);
        if (ok && in)
            for (int i = first; i < n; ++i)
                in[done++] = b[i];
        n = 0;
    }
    flash_select(0);
    if (!ok)
        FlushSpi1Fifo();
    return ok;
}

int WriteSerialFlash(uint32_t address, const uint8_t* data, uint32_t length)
{
    // A page program wraps inside its page, so each page gets its own.
    while (length > 0) {
        uint32_t room = FLASH_PAGE - (address & (FLASH_PAGE - 1));
        uint32_t n = length < room ? length : room;
        uint8_t head[4] = {FLASH_PAGE_PROGRAM};
        put_address(head + 1, address);
        SetWriteEnable();
        if (!flash_stream(head, 4, data, 0, n) || !flash_wait_ready(FLASH_PROGRAM_POLLS))
            return 0;
        address += n;
        data += n;
        length -= n;
    }
    return 1;
}

int ReadSerialFlash(uint32_t address, uint8_t* data, uint32_t length)
{
    uint8_t head[5] = {FLASH_FAST_READ, 0, 0, 0, 0};  // the last is the dummy byte
    put_address(head + 1, address);
    return flash_stream(head, 5, 0, data, length);
}

int EraseSerialFlash(void)
{
    uint8_t c = FLASH_CHIP_ERASE;
    SetWriteEnable();
    return flash_command(&c, 1) && flash_wait_ready(FLASH_CHIP_POLLS);
}

int SectorEraseSerialFlash(uint32_t address)
{
    uint8_t b[4] = {FLASH_SECTOR_ERASE};
    put_address(b + 1, address);
    SetWriteEnable();
    return flash_command(b, 4) && flash_wait_ready(FLASH_SECTOR_POLLS);
}

void FlushSpi1Fifo(void)
{
    for (int i = 0; i < 2 * CSPI_FIFO_WORDS && (hw_read32(SPI1(CSPI_INTREG)) & CSPI_INTREG_RR); ++i)
        (void)hw_read32(SPI1(CSPI_RXDATA));
}
