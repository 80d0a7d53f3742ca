#include "app/KM_reply.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "app/KM_chart.h"
#include "app/KM_com.h"
#include "app/KM_timer.h"
#include "app/KM_touch.h"
#include "board/bootio.h"
#include "board/hw.h"
#include "board/imx21.h"
#include "storage/KM_extmem.h"

volatile uint8_t stringSent;

// The host's XOFF holds a reply at most this long.
static void wait_host_xoff(void)
{
    for (int i = 0; xoff && i < 20; ++i)
        KM_Delay(5);
    xoff = 0;
}

void txSavedBuf(void)
{
    txBuf[TX_BUF_SIZE - 1] = 0;
    txSendWait(txBuf);
    txBuf[0] = 0;
    stringSent = stringSent + 1;
}

int anythingToTx(void)
{
    return txBuf[0] != 0;
}

// Sends what txBuf holds of text, after the RS-485 prefix when framed and
// the bus is in use; returns the characters of text sent.
static size_t send_piece(const char* text, int framed)
{
    wait_host_xoff();
    size_t at = 0;
    if (rs485Mode()) {
        if (anythingToTx())
            txSavedBuf();
        if (framed) {
            memcpy(txBuf, rs485prefix, 3);
            at = 3;
        }
    }
    size_t n = 0;
    while (text[n] && at + n < TX_BUF_SIZE - 1) {
        txBuf[at + n] = text[n];
        ++n;
    }
    txBuf[at + n] = 0;
    txSendWait(txBuf);
    txBuf[0] = 0;
    stringSent = stringSent + 1;
    return n;
}

void txString(const char* text)
{
    send_piece(text, 1);
}

void txLongString(const char* text)
{
    size_t n = send_piece(text, 1);
    while (text[n])
        n += send_piece(text + n, 0);
}

void txNotify(const char* text)
{
    if (!rs485Mode()) {
        txString(text);
        return;
    }
    // Queued until the host's next command is answered; dropped when the
    // queue is full.
    size_t used = strlen(txBuf), len = strlen(text);
    if (used + len + 3 > TX_BUF_SIZE - 1)
        return;
    memcpy(txBuf + used, rs485prefix, 3);
    memcpy(txBuf + used + 3, text, len + 1);
}

// perr and pout each keep their own buffer: a report formatted while an
// error text is on its way must not overwrite it.
static void send_formatted(void (*send)(const char*), char* buf, size_t size, const char* fmt, va_list ap)
{
    vsnprintf(buf, size, fmt, ap);
    send(buf);
}

void perr(const char* fmt, ...)
{
    static char buf[128];
    va_list ap;
    va_start(ap, fmt);
    send_formatted(txString, buf, sizeof buf, fmt, ap);
    va_end(ap);
}

void pout(const char* fmt, ...)
{
    static char buf[128];
    va_list ap;
    va_start(ap, fmt);
    send_formatted(txNotify, buf, sizeof buf, fmt, ap);
    va_end(ap);
}

void txChar(char c)
{
    // Its own byte, which may be 0: queued reports in txBuf must survive.
    txSendBytesWait(&c, 1);
}

static void polled_send(uint32_t base, const uint8_t* bytes, int n)
{
    int uart2 = base == UART2_BASE;
    if (uart2)
        gpio_write(PORT_E, 4, 1);
    while (!(hw_read32(base + UART_USR2) & UART_USR2_TXDC))
        hw_idle(HW_IDLE_FOREVER);
    for (int i = 0; i < n; ++i) {
        hw_write32(base + UART_UTXD, bytes[i]);
        while (!(hw_read32(base + UART_USR2) & UART_USR2_TXDC))
            hw_idle(HW_IDLE_FOREVER);
    }
    if (uart2)
        gpio_write(PORT_E, 4, 0);
}

void txBinary(const uint8_t* bytes, int n)
{
    if (n < 0 || n > 129) {
        txString(":internal error txBinary()\r");
        return;
    }
    wait_host_xoff();
    polled_send(mainUart(), bytes, n);
    stringSent = stringSent + 1;
}

void aTxBinary(const uint8_t* bytes, int n)
{
    if (n < 0 || n > 129) {
        txString(":internal error aTxBinary()\r");
        return;
    }
    polled_send(auxUart(), bytes, n);
}

// ---------------------------------------------------------------- downloads

// Takes chunk bytes at a time out of the ring in raw mode until count bytes
// have come; gap_ms bounds the time between two chunks.  use() gets each
// chunk and returns 0 to stop with failure.
typedef int (*ChunkUse)(const uint8_t* data, int n, void* ctx);

static int raw_download(int32_t count, int32_t gap_ms, int chunk, int xon_needs_idle, ChunkUse use, void* ctx)
{
    makeUartBinMain();
    txChar('>');
    txChar('\r');
    gpTimer = (uint32_t)gap_ms;
    int ok = 1;
    uint8_t buf[128];
    while (count > 0) {
        int busy = 0;
        // On an RS-485 bus this side never sends XON or XOFF.
        if (!rs485Mode() && rxStopped && rxCount <= 128 && (!xon_needs_idle || !txBusy)) {
            txChar(XON);
            rxStopped = 0;
            busy = 1;
        }
        int want = chunk ? chunk : (count < 128 ? (int)count : 128);
        if (rxCount >= want) {
            rxTake(buf, want);
            gpTimer = (uint32_t)gap_ms;
            count -= want;
            if (!use(buf, want, ctx)) {
                ok = 0;
                break;
            }
            continue;
        }
        if (bufferOverflow || rxError || gpTimer == 0) {
            ok = 0;
            break;
        }
        int pressed, x, y;
        KM_Touch_Get_State(&pressed, &x, &y);
        if (pressed)
            busy |= handle_touch();
        // Until the next byte comes, another pass finds the same.
        if (busy)
            hw_wait();
        else
            hw_idle(HW_IDLE_FOREVER);
    }
    bufferOverflow = 0;
    rxError = 0;
    restoreUartBinMain();
    return ok;
}

static int to_ram(const uint8_t* data, int n, void* ctx)
{
    uint8_t** dst = (uint8_t**)ctx;
    memcpy(*dst, data, (size_t)n);
    *dst += n;
    return 1;
}

int doBlockBinDownload(uint32_t dest, int32_t count, int32_t timeout)
{
    // The whole download must fit into the RAM slot it starts in.  A
    // count of 0 asks for nothing and succeeds at once.
    if (count < 0 || dest < RAM_SLOT_BASE || dest >= RAM_SLOT_BASE + RAM_SLOTS * RAM_SLOT_SIZE)
        return 0;
    uint32_t slot_end = RAM_SLOT_BASE + ((dest - RAM_SLOT_BASE) / RAM_SLOT_SIZE + 1) * RAM_SLOT_SIZE;
    if ((uint32_t)count > slot_end - dest)
        return 0;
    uint8_t* p = (uint8_t*)hw_ptr(dest);
    return raw_download(count, timeout, 0, 1, to_ram, &p);
}

static int to_flash(const uint8_t* data, int n, void* ctx)
{
    uint32_t* addr = (uint32_t*)ctx;
    if (KM_ExtMem_ProgramArea(*addr, data, (uint32_t)n, 0) != 0)
        return 0;
    *addr += (uint32_t)n;
    return 1;
}

int doFlashBinDownload(uint32_t addr, int32_t count, int32_t timeout)
{
    if (count < 0)
        return 0;
    return raw_download(count, timeout, 0, 1, to_flash, &addr);
}

struct ChartCtx {
    int chart;
    int pens;
};

static int to_chart(const uint8_t* data, int n, void* ctx)
{
    ChartCtx* c = (ChartCtx*)ctx;
    int values[8];
    int i = 0;
    for (; i < c->pens && i < 8 && 2 * i + 1 < n; ++i) {
        int v = data[2 * i] | (data[2 * i + 1] << 8);
        values[i] = v == 0xFFFF ? -31999 : v;  // a gap in the trace
    }
    KM_Chart_Show(c->chart, i, values);
    return 1;
}

int doBinChartVals(int chart, int32_t samples, int32_t timeout)
{
    ChartCtx c = {chart, KM_Chart_Get_Pens(chart)};
    if (c.pens <= 0 || c.pens > 16 || samples < 0 || samples > 0x7FFFFFFF / (2 * c.pens))
        return 0;
    if (samples == 0) {
        txChar('>');
        txChar('\r');
        return 1;
    }
    return raw_download(samples * 2 * c.pens, timeout, 2 * c.pens, 0, to_chart, &c);
}
