#include "app/KM_com.h"

#include <string.h>

#include "app/KM_reply.h"
#include "app/KM_timer.h"
#include "board/bootio.h"
#include "board/hw.h"
#include "board/imx21.h"
#include "board/interrupt.h"
#include "storage/KM_eeprom.h"

uint8_t rxBuf[RX_RING_SIZE];
volatile int rxHead, rxTail, rxCount, rxGotLine;
volatile uint8_t binaryMode, startCmd = 1, binaryEnable = 1;
volatile uint8_t xoff, rxStopped, bufferOverflow, rxError, txBusy;
volatile uint8_t use_binRx_0, use_binRx_1;
uint8_t aRxBuf[AUX_RING_SIZE];
volatile int aRxHead, aRxTail, aRxCount;
volatile uint8_t aTxBusy;
const char* volatile aTxPtr;
char txBuf[TX_BUF_SIZE];
const char* volatile txPtr;
// Where the send running on each port ends: a send is a count of bytes, so
// that a text may carry the byte 0.
static const char* volatile txEnd;
static const char* volatile aTxEnd;
int mainIsUart0 = 1;
int prevMain;
volatile int auxEscCnt;
uint32_t baudrate0, baudrate1;
char rs485prefix[3];
volatile int debugGotLine;

#define CR 0x0D
#define LF 0x0A
#define BS 0x08
#define ESC 0x1B

// With this byte more than this many held the host is asked to pause; at or
// below the lower mark it may go on.
#define RX_XOFF_LEVEL 384
#define RX_XON_LEVEL 128

uint32_t mainUart(void) { return mainIsUart0 ? UART1_BASE : UART2_BASE; }
uint32_t auxUart(void) { return mainIsUart0 ? UART2_BASE : UART1_BASE; }

int rs485Mode(void)
{
    return eepromData.rs485Mode == 'Z';
}

uint32_t mainBaud(void)
{
    return mainIsUart0 ? baudrate0 : baudrate1;
}

// ---------------------------------------------------------------- the ring

// When the last byte came in, so that an unfinished binary command is only
// given up once its bytes have stopped coming.
static volatile uint32_t rxLastByteMs;
#define BINARY_STALL_MS 50

static void ring_put(uint8_t c)
{
    rxLastByteMs = msCounter32;
    rxBuf[rxHead] = c;
    rxHead = (rxHead + 1) % RX_RING_SIZE;
    rxCount = rxCount + 1;
}

// The i-th byte held, counted from the next one to read.
static uint8_t ring_peek(int i)
{
    return rxBuf[(rxTail + i) % RX_RING_SIZE];
}

// The i-th byte received last (0 = the newest).
static uint8_t ring_last(int i)
{
    return rxBuf[(rxHead - 1 - i + 2 * RX_RING_SIZE) % RX_RING_SIZE];
}

// Takes the next byte out of a ring that the receive interrupt fills; the
// count is shared with it, so it changes with interrupts masked.
static uint8_t take_from(const uint8_t* ring, int size, volatile int* tail, volatile int* count)
{
    uint8_t c = ring[*tail];
    *tail = (*tail + 1) % size;
    __ARMLIB_disableIRQ();
    *count = *count - 1;
    __ARMLIB_enableIRQ();
    return c;
}

static uint8_t ring_take(void)
{
    return take_from(rxBuf, RX_RING_SIZE, &rxTail, &rxCount);
}

static void uncount_line(void)
{
    __ARMLIB_disableIRQ();
    if (rxGotLine > 0)
        rxGotLine = rxGotLine - 1;
    __ARMLIB_enableIRQ();
}

void rxTake(uint8_t* dst, int n)
{
    for (int i = 0; i < n; ++i)
        dst[i] = ring_take();
}

static void mask_uarts(void)
{
    interrupt_disable(IRQ_UART1);
    interrupt_disable(IRQ_UART2);
}

static void unmask_uarts(void)
{
    interrupt_enable(IRQ_UART1, 0);
    interrupt_enable(IRQ_UART2, 0);
}

void rxReset(void)
{
    mask_uarts();
    rxHead = rxTail = 0;
    rxCount = 0;
    rxGotLine = 0;
    binaryMode = 0;
    // Whatever comes next starts a new command.
    startCmd = 1;
    unmask_uarts();
}

// ---------------------------------------------------------------- transmit

// The RS-485 driver enable on PE4.
static void driver_enable(int on)
{
    gpio_write(PORT_E, 4, on);
}

// One transmit-interrupt step of a send on the UART at base, of the bytes
// from *ptr to *end.  On UART2 the send ends only when the last byte has
// left the line (transmit complete), so that the RS-485 driver is released
// after it.
static void tx_step(uint32_t base, const char* volatile* ptr, const char* volatile* end, volatile uint8_t* busy)
{
    int uart2 = base == UART2_BASE;
    uint32_t ucr1 = hw_read32(base + UART_UCR1);
    if (!*busy) {
        // A transmit-complete interrupt with no send running is ignored.
        if (uart2 && (hw_read32(base + UART_UCR4) & UART_UCR4_TCEN))
            hw_clear32(base + UART_UCR4, UART_UCR4_TCEN);
        if (ucr1 & UART_UCR1_TRDYEN)
            hw_clear32(base + UART_UCR1, UART_UCR1_TRDYEN);
        return;
    }
    if ((ucr1 & UART_UCR1_TRDYEN) && (hw_read32(base + UART_USR1) & UART_USR1_TRDY)) {
        if (*ptr != *end) {
            hw_write32(base + UART_UTXD, (uint8_t)**ptr);
            *ptr = *ptr + 1;
        } else {
            hw_clear32(base + UART_UCR1, UART_UCR1_TRDYEN);
            if (!uart2)
                *busy = 0;
        }
        return;
    }
    if (uart2 && !(ucr1 & UART_UCR1_TRDYEN) && (hw_read32(base + UART_UCR4) & UART_UCR4_TCEN) &&
        (hw_read32(base + UART_USR2) & UART_USR2_TXDC)) {
        hw_clear32(base + UART_UCR4, UART_UCR4_TCEN);
        driver_enable(0);
        *busy = 0;
    }
}

// Starts an interrupt-driven send of n bytes; the caller waits for busy to
// clear.
static void tx_start(uint32_t base, const char* bytes, int n, const char* volatile* ptr, const char* volatile* end,
                     volatile uint8_t* busy)
{
    while (!(hw_read32(base + UART_USR2) & UART_USR2_TXDC))
        hw_idle(HW_IDLE_FOREVER);
    __ARMLIB_disableIRQ();
    if (!*busy) {
        *busy = 1;
        *ptr = bytes;
        *end = bytes + n;
        if (base == UART2_BASE)
            hw_set32(base + UART_UCR4, UART_UCR4_TCEN);
        hw_set32(base + UART_UCR1, UART_UCR1_TRDYEN);
    }
    __ARMLIB_enableIRQ();
}

void txSendBytesWait(const char* bytes, int n)
{
    if (!mainIsUart0)
        driver_enable(1);
    tx_start(mainUart(), bytes, n, &txPtr, &txEnd, &txBusy);
    while (txBusy)
        hw_idle(HW_IDLE_FOREVER);
}

void txSendWait(const char* text)
{
    txSendBytesWait(text, (int)strlen(text));
}

// ---------------------------------------------------------------- receive

static void rx_text(uint8_t c)
{
    if (!mainIsUart0) {
        if (c == CR)
            debugGotLine = debugGotLine + 1;
        if (rxCount > 1 && rxGotLine == 0 && (ring_last(0) == CR || ring_last(1) == CR)) {
            c = 0;
            goto store;
        }
    }
    if (c == XOFF) {
        xoff = 1;
        return;
    }
    if (c == XON) {
        xoff = 0;
        return;
    }
    if (rxCount >= RX_XOFF_LEVEL && !rxStopped && !txBusy) {
        hw_write32(mainUart() + UART_UTXD, XOFF);
        rxStopped = 1;
    }
store:
    if (rxCount >= RX_RING_SIZE) {
        bufferOverflow = 1;
        return;
    }
    if (c > 0x80 && binaryMode == 0 && binaryEnable && startCmd) {
        binaryMode = c - 0x80;
        ring_put(c);
    } else if (binaryMode) {
        ring_put(c);
        binaryMode = binaryMode - 1;
        if (binaryMode == 0) {
            rxGotLine = rxGotLine + 1;
            startCmd = 1;
        }
    } else {
        ring_put(c);
        if (c == CR) {
            rxGotLine = rxGotLine + 1;
            startCmd = 1;
        } else {
            startCmd = 0;
        }
    }
}

static void rx_raw(uint8_t c)
{
    if (rxCount >= RX_XOFF_LEVEL && !rxStopped && !txBusy) {
        hw_write32(mainUart() + UART_UTXD, XOFF);
        rxStopped = 1;
    }
    if (rxCount >= RX_RING_SIZE) {
        bufferOverflow = 1;
        return;
    }
    ring_put(c);
}

static void main_isr(void)
{
    uint32_t base = mainUart();
    int raw = mainIsUart0 ? use_binRx_0 : use_binRx_1;
    uint32_t sr1 = hw_read32(base + UART_USR1);
    while (hw_read32(base + UART_USR1) & UART_USR1_RRDY) {
        uint32_t d = hw_read32(base + UART_URXD);
        if (d & UART_URXD_ERR) {
            rxError = 1;
            continue;
        }
        if (raw)
            rx_raw((uint8_t)d);
        else
            rx_text((uint8_t)d);
    }
    hw_write32(base + UART_USR1, sr1 & ~UART_USR1_RRDY);
    tx_step(base, &txPtr, &txEnd, &txBusy);
}

static void aux_isr(void)
{
    uint32_t base = auxUart();
    uint32_t sr1 = hw_read32(base + UART_USR1);
    while (hw_read32(base + UART_USR1) & UART_USR1_RRDY) {
        uint32_t d = hw_read32(base + UART_URXD);
        if (d & UART_URXD_ERR)
            continue;
        uint8_t c = (uint8_t)d;
        if (c == eepromData.auxEsc)
            auxEscCnt = auxEscCnt + 1;
        else
            auxEscCnt = 0;
        if (aRxCount < AUX_RING_SIZE) {
            aRxBuf[aRxHead] = c;
            aRxHead = (aRxHead + 1) % AUX_RING_SIZE;
            aRxCount = aRxCount + 1;
        }
    }
    hw_write32(base + UART_USR1, sr1 & ~UART_USR1_RRDY);
    tx_step(base, &aTxPtr, &aTxEnd, &aTxBusy);
}

// ---------------------------------------------------------------- set-up

static void program_uart(uint32_t base, uint32_t ucr4)
{
    hw_write32(base + UART_UCR1, 0x0200);
    hw_set32(base + UART_UCR1, UART_UCR1_UARTEN);
    hw_write32(base + UART_UCR2, 0x6027);
    hw_write32(base + UART_UCR3, 0x0004);
    hw_write32(base + UART_UCR4, ucr4);
    hw_write32(base + UART_UFCR, 0x0A81);
    hw_write32(base + UART_UBMR, 9999);
}

// UBIR and UBMR for a rate against the 16.625 MHz reference; a rate the
// configuration cannot store runs at 115200.  UBMR 9999 is what the host
// programs expect; at the lowest rates it leaves UBIR so small that the rate
// is several per cent off (1200 would run at 1143, beyond what a receiver
// takes), so those rates get the finest divider instead.
static uint32_t set_rate(uint32_t base, uint32_t rate)
{
    uint32_t ubir = 1108, ubmr = 9999;
    if (KM_EEPROM_Rate2eeVal(rate) != 0xFF) {
        ubir = (uint32_t)(((uint64_t)rate * 8u * 0x276E982Fu) >> 39) - 1;
        uint64_t actual = 16625000ull * (ubir + 1) / (16ull * (ubmr + 1));
        if (actual * 100 < (uint64_t)rate * 99) {
            ubmr = 0xFFFF;
            ubir = (uint32_t)(((uint64_t)rate * 16u * 65536u + 16625000u / 2) / 16625000u) - 1;
        }
    } else {
        rate = 115200;
    }
    hw_write32(base + UART_UBIR, ubir);
    hw_write32(base + UART_UBMR, ubmr);
    return rate;
}

uint32_t KM_COM_BaudRate(uint32_t rate)
{
    baudrate0 = set_rate(UART1_BASE, rate);
    return baudrate0;
}

uint32_t KM_AUX_BaudRate(uint32_t rate)
{
    baudrate1 = set_rate(UART2_BASE, rate);
    return baudrate1;
}

uint32_t KM_COM_getBaud(int port)
{
    return port == 0 ? baudrate0 : baudrate1;
}

int KM_COM_Mode(char parity, int bits, int stop)
{
    if ((bits != 7 && bits != 8) || (stop != 1 && stop != 2))
        return 0;
    int mode = bits == 7 ? 4 : 5;
    if (stop == 2)
        mode += 0x10;
    switch (parity) {
    case 'n': case 'N': break;
    case 'e': case 'E': mode += 0x40 + 0x20; break;
    case 'o': case 'O': mode += 0x40; break;
    default: return 0;
    }
    return mode;
}

void KM_COM_Init0(void)
{
    rxHead = rxTail = rxCount = rxGotLine = 0;
    binaryMode = 0;
    startCmd = 1;
    xoff = bufferOverflow = rxError = txBusy = 0;
    txBuf[0] = 0;
    hw_set32(CRM_BASE + CRM_PCCR0, CRM_PCCR0_UART1);
    hw_clear32(GPIO_PORT(PORT_E) + GPIO_GIUS, (1u << 12) | (1u << 13));
    hw_clear32(GPIO_PORT(PORT_E) + GPIO_GPR, (1u << 12) | (1u << 13));
    program_uart(UART1_BASE, 0x8000);
    KM_COM_BaudRate(KM_EEPROMvalid() ? KM_EEPROM_eeVal2Rate(eepromData.baud0) : 115200);
    makeUart0Main();
}

void KM_COM_Init1(void)
{
    aRxHead = aRxTail = aRxCount = 0;
    aTxBusy = 0;
    auxEscCnt = 0;
    hw_set32(CRM_BASE + CRM_PCCR0, CRM_PCCR0_UART2);
    hw_clear32(GPIO_PORT(PORT_E) + GPIO_GIUS, (1u << 6) | (1u << 7));
    hw_clear32(GPIO_PORT(PORT_E) + GPIO_GPR, (1u << 6) | (1u << 7));
    gpio_make_output(PORT_E, 4, 0);  // RS-485 driver off
    program_uart(UART2_BASE, 0x8008);
    KM_AUX_BaudRate(KM_EEPROMvalid() ? KM_EEPROM_eeVal2Rate(eepromData.baud1) : 115200);
    interrupt_set_isr(mainIsUart0 ? IRQ_UART2 : IRQ_UART1, aux_isr);
}

static void make_main(int uart0)
{
    prevMain = mainIsUart0 ? 0 : 1;
    mainIsUart0 = uart0;
    mask_uarts();
    interrupt_set_isr(uart0 ? IRQ_UART1 : IRQ_UART2, main_isr);
    interrupt_set_isr(uart0 ? IRQ_UART2 : IRQ_UART1, aux_isr);
    unmask_uarts();
}

void makeUart0Main(void)
{
    make_main(1);
}

void makeUart1Main(void)
{
    make_main(0);
}

void Init_485mode(void)
{
    if (!rs485Mode()) {
        rxStopped = 0;
        return;
    }
    rxStopped = 1;  // held: no XON/XOFF on the bus
    rs485prefix[0] = (char)eepromData.rs485Start;
    rs485prefix[1] = 'F';
    rs485prefix[2] = 'F';
    makeUart1Main();
}

// ---------------------------------------------------------------- RS-485

uint8_t oneCapHexToBin(char c)
{
    if (c >= '0' && c <= '9')
        return (uint8_t)(c - '0');
    if (c >= 'A' && c <= 'F')
        return (uint8_t)(c - 'A' + 10);
    return 0xFF;
}

// Takes a byte of a frame that is not for this unit; the CR that ends the
// frame takes its line count with it, so the count never stands for a line
// that is gone and a frame that follows is not taken for it half-received.
static uint8_t rs485_drop(void)
{
    uint8_t c = ring_take();
    if (c == CR)
        uncount_line();
    return c;
}

// Drops what is left of a frame that is not for this unit: up to and
// including its CR, or up to the start of the next frame.  Any other byte,
// a NUL too, is part of the frame.
static void rs485_flush(void)
{
    // A line counted with no byte left behind it is dropped too.
    if (rxCount == 0) {
        uncount_line();
        return;
    }
    uint8_t sof = eepromData.rs485Start;
    while (rxCount > 0) {
        if (ring_peek(0) == sof)
            return;
        if (rs485_drop() == CR)
            return;
    }
}

// The reply to a group poll: start-of-frame and address as hex, after the
// RS-485 prefix.
#define GROUP_POLL_REPLY_CHARS 14

static void group_poll_reply(void)
{
    uint8_t adr = eepromData.rs485Address;
    // Each unit of a group answers in its own slot: long enough for the
    // reply at the command port's rate, and never shorter than the
    // 115200-based millisecond slot hosts already expect.
    uint32_t rate = mainBaud() ? mainBaud() : 115200;
    uint32_t slot = (GROUP_POLL_REPLY_CHARS * 10u * 1000u + rate - 1) / rate + 1;
    if (slot < 115200u / rate)
        slot = 115200u / rate;
    KM_Delay(slot * (adr & 0x0F));
    char reply[24];
    static const char hexd[] = "0123456789ABCDEF";
    uint8_t sof = eepromData.rs485Start;
    reply[0] = 'S';
    reply[1] = 'O';
    reply[2] = 'F';
    reply[3] = hexd[sof >> 4];
    reply[4] = hexd[sof & 15];
    reply[5] = 'A';
    reply[6] = 'D';
    reply[7] = 'R';
    reply[8] = hexd[adr >> 4];
    reply[9] = hexd[adr & 15];
    reply[10] = '\r';
    reply[11] = 0;
    txString(reply);
}

static int rs485_frame(void)
{
    uint8_t sof = eepromData.rs485Start;
    uint8_t adr = eepromData.rs485Address;
    while (rxCount > 0) {
        if (rs485_drop() == sof)
            break;
    }
    if (rxCount <= 2) {
        rs485_flush();
        return 0;
    }
    if (ring_peek(0) == '?') {
        ring_take();
        uint8_t g = oneCapHexToBin((char)rs485_drop());
        if (g == (adr >> 4))
            group_poll_reply();
        rs485_flush();
        return 0;
    }
    if (oneCapHexToBin((char)ring_peek(0)) != (adr >> 4) || oneCapHexToBin((char)ring_peek(1)) != (adr & 15)) {
        rs485_flush();
        return 0;
    }
    ring_take();
    ring_take();
    return 1;
}

// ---------------------------------------------------------------- lines

int isLineAvail(void)
{
    if (auxEscCnt == 3) {
        auxEscCnt = 0;
        if (mainIsUart0) {
            makeUart1Main();
        } else {
            eepromData.rs485Mode = 0xFF;
            makeUart0Main();
        }
    }
    if (rxError) {
        rxError = 0;
        xoff = 0;
        rxReset();
        return 4;
    }
    if (bufferOverflow) {
        bufferOverflow = 0;
        xoff = 0;
        rxReset();
        return 2;
    }
    if (rxGotLine == 0) {
        if (binaryMode > 2 && msCounter32 - rxLastByteMs >= BINARY_STALL_MS) {
            rxReset();
            return 3;
        }
        return 0;
    }
    if (!rs485Mode()) {
        if (rxStopped && rxCount <= RX_XON_LEVEL && !txBusy) {
            txChar(XON);
            rxStopped = 0;
        }
        return 1;
    }
    return rs485_frame();
}

// On the bus a binary command comes inside a frame, after the address, so
// the receive side took its bytes as text: every CR among them counted a
// line, and the frame's own CR ends it.  That CR is taken with the command;
// left in the ring it would make UART2 store the next frame's address as
// NULs, and that frame and the one after it would be lost.
static void drop_frame_end(const uint8_t* data, int n)
{
    int lines = 0;
    for (int i = 0; i < n; ++i)
        if (data[i] == CR)
            ++lines;
    while (rxCount > 0) {
        if (ring_take() == CR) {
            ++lines;
            break;
        }
    }
    while (lines-- > 0)
        uncount_line();
}

static void deliver(char* buf, int max, const char* word)
{
    rxReset();
    strncpy(buf, word, (size_t)max - 1);
    buf[max - 1] = 0;
}

void rxString(char* buf, int max)
{
    if (!buf || max <= 0)
        return;
    if (debugGotLine)
        debugGotLine = debugGotLine - 1;
    buf[0] = 0;
    if (max < 2)
        return;
    if (rxCount == 0) {
        deliver(buf, max, "*IERR");
        return;
    }
    uint8_t c = ring_take();
    if (c > 0x80 && binaryEnable) {
        int n = c - 0x80;
        if (n >= max || rxCount < n) {
            deliver(buf, max, "*SERR");
            return;
        }
        buf[0] = (char)c;
        rxTake((uint8_t*)buf + 1, n);
        if (n + 1 < max)
            buf[n + 1] = 0;
        buf[max - 1] = 0;
        if (rs485Mode())
            drop_frame_end((const uint8_t*)buf + 1, n);
        else
            uncount_line();
        return;
    }
    if (c == LF) {
        if (rxCount == 0)
            return;
        c = ring_take();
    }
    int n = 0;
    for (;;) {
        if (c == BS) {
            if (n > 0)
                --n;
        } else {
            buf[n++] = (char)c;
            if (c == CR) {
                buf[n] = 0;
                uncount_line();
                return;
            }
        }
        if (n >= max - 1 || rxCount == 0) {
            deliver(buf, max, "*SERR");
            return;
        }
        c = ring_take();
    }
}

int checkEscape(void)
{
    for (int i = 0; i + 1 < rxCount; ++i)
        if (ring_peek(i) == ESC && ring_peek(i + 1) == CR)
            return 1;
    return 0;
}

int checkAbortCmd(void)
{
    if (rxGotLine < 1 || rxCount <= 4)
        return 0;
    static const char abt[] = "*abt\r";
    for (int i = 0; i < 5; ++i)
        if (ring_last(4 - i) != (uint8_t)abt[i])
            return 0;
    return 1;
}

void fakeNullCommand(void)
{
    __ARMLIB_disableIRQ();
    if (rxCount < RX_RING_SIZE) {
        ring_put(CR);
        rxGotLine = rxGotLine + 1;
        startCmd = 1;
    }
    __ARMLIB_enableIRQ();
}

int peekChar(void)
{
    return rxCount ? ring_peek(0) : -1;
}

int waitChar(void)
{
    while (rxCount == 0 && !checkEscape())
        hw_idle(HW_IDLE_FOREVER);
    return ring_take();
}

int getChar(void)
{
    return waitChar();
}

int numRxChars(void)
{
    return rxCount;
}

int rxStatus(void)
{
    return rxStopped;
}

void makeUartBinMain(void)
{
    mask_uarts();
    if (mainIsUart0)
        use_binRx_0 = 1;
    else
        use_binRx_1 = 1;
    unmask_uarts();
    rxReset();
}

void restoreUartBinMain(void)
{
    mask_uarts();
    use_binRx_0 = 0;
    use_binRx_1 = 0;
    unmask_uarts();
    rxReset();
}

// ---------------------------------------------------------------- aux port

int anyAuxRx(void)
{
    return aRxCount;
}

static uint8_t aux_take(void)
{
    return take_from(aRxBuf, AUX_RING_SIZE, &aRxTail, &aRxCount);
}

int getAuxRx(char* buf, int max)
{
    if (!buf || max <= 0)
        return 0;
    int n = 0;
    while (n < max - 1 && aRxCount > 0)
        buf[n++] = (char)aux_take();
    buf[n] = 0;
    return n;
}

int getAinBin(uint8_t* buf, int n)
{
    if (!buf || n < 0)
        return 0;
    int want = n <= 128 ? (n < aRxCount ? n : aRxCount) : aRxCount;
    for (int i = 0; i < want; ++i)
        buf[i] = aux_take();
    return want;
}

void aFlushRx(void)
{
    __ARMLIB_disableIRQ();
    aRxHead = aRxTail = aRxCount = 0;
    __ARMLIB_enableIRQ();
}

static void aux_send(const char* bytes, int n)
{
    uint32_t base = auxUart();
    if (base == UART2_BASE)
        driver_enable(1);
    tx_start(base, bytes, n, &aTxPtr, &aTxEnd, &aTxBusy);
    while (aTxBusy)
        hw_idle(HW_IDLE_FOREVER);
}

void aTxString(const char* text)
{
    aux_send(text, (int)strlen(text));
}

int aGetChar(void)
{
    while (aRxCount == 0)
        hw_idle(HW_IDLE_FOREVER);
    return aux_take();
}

void aPutChar(char c)
{
    aux_send(&c, 1);
}

// ---------------------------------------------------------------- waits

static void tx_wait(uint32_t base)
{
    while (!(hw_read32(base + UART_USR2) & UART_USR2_TXDC))
        hw_idle(HW_IDLE_FOREVER);
}

void txWait(void) { tx_wait(mainUart()); }
void txWait0(void) { tx_wait(UART1_BASE); }
void txWait1(void) { tx_wait(UART2_BASE); }

void putChar(char c)
{
    txChar(c);
}

extern "C" int __putchar(int c)
{
    while (!(hw_read32(UART1_BASE + UART_USR1) & UART_USR1_TRDY))
        hw_idle(HW_IDLE_FOREVER);
    hw_write32(UART1_BASE + UART_UTXD, (uint8_t)c);
    return c;
}

void Uart2RTS(int on)
{
    driver_enable(on ? 1 : 0);
}

void Uart2SetRTS(void) { driver_enable(1); }
void Uart2ClrRTS(void) { driver_enable(0); }
void trace(void) {}
