// The touch converters on CSPI2, the 1 ms sampler, the touch trace and the
// touch front end's tuning and diagnostic commands.
#include "app/KM_touch.h"

#include <stdio.h>
#include <string.h>

#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/KM_slider.h"
#include "app/KM_timer.h"
#include "app/parse_command.h"
#include "board/bootio.h"
#include "board/hw.h"
#include "board/imx21.h"
#include "board/serialmem.h"
#include "config/build_config.h"
#include "storage/KM_eeprom.h"

TouchState State = {-1, -1, 0};
uint8_t read_x, read_y, read_z1, read_z2;
int32_t velm5_plus_E_platform;

// Sampler statics.
static int32_t touchSeen;
static volatile int32_t _tState;
int32_t calibratingTouch;
#if !TOUCH_CAPACITIVE
static uint8_t touchActive;
static uint32_t samples;
static uint32_t yMax, xMax, xMin, yMin;
static uint32_t yAvg, xAvg;
static uint32_t y, z1, z2, x;
static uint32_t press;
static uint32_t timer;
#endif

uint32_t lastPress, pMin, pMax, stateX, stateY;
uint8_t Ever_touched;

TtraceEntry ttraceData[TTRACE_ENTRIES];
int32_t ttraceIndex;

enum { ST_IDLE = 0, ST_START = 2, ST_SAMPLING = 3, ST_HOLDOFF = 5, ST_DISABLED = 6 };

#define CSPI2(off) (CSPI2_BASE + (off))
// Chip select PD21 (low = selected), pen line PB15 (low = pen down).
#define TOUCH_CS_PIN 21
#define TOUCH_PEN_PIN 15
#define TOUCH_SPI_PINS ((1u << 22) | (1u << 23) | (1u << 24))
#define TSC_FAILED 0xFFFFu
#define TSC_TRIES 30
// Commands of the TSC2046: the conversion with the converter kept powered
// (PD bits 11) and the last one that leaves the pen interrupt on (PD 10).
#define TSC_PD_ON 3u
#define TSC_PD_PEN 2u
#define TSC_TEMP0 0x86u
#define TSC_TEMP1 0xF6u
#define SX_READ_CHANNEL 0x20u
#define TEMP_SENSOR_ADDR 0x3A
#define TEMP_SENSOR_REG 5

// ---------------------------------------------------------------- converters

static void select_converter(int on)
{
    if (on)
        hw_clear32(GPIO_PORT(PORT_D) + GPIO_DR, 1u << TOUCH_CS_PIN);
    else
        hw_set32(GPIO_PORT(PORT_D) + GPIO_DR, 1u << TOUCH_CS_PIN);
}

// Shifts the words of buf out and replaces them with the words clocked in.
static void spi_words(int n, uint32_t* buf)
{
    for (int i = 0; i < n; ++i)
        hw_write32(CSPI2(CSPI_TXDATA), buf[i]);
    hw_set32(CSPI2(CSPI_CONTROLREG), CSPI_CONTROL_XCH);
    while (!(hw_read32(CSPI2(CSPI_INTREG)) & CSPI_INTREG_RR))
        hw_idle(HW_IDLE_FOREVER);
    while (hw_read32(CSPI2(CSPI_CONTROLREG)) & CSPI_CONTROL_XCH)
        hw_idle(HW_IDLE_FOREVER);
    for (int i = 0; i < n; ++i)
        buf[i] = hw_read32(CSPI2(CSPI_RXDATA));
}

static void write_sx8652(int n, uint8_t* buf)
{
    uint32_t w[CSPI_FIFO_WORDS];
    for (int i = 0; i < n; ++i)
        w[i] = buf[i];
    select_converter(1);
    spi_words(n, w);
    select_converter(0);
    for (int i = 0; i < n; ++i)
        buf[i] = (uint8_t)w[i];
}

// One three-byte exchange; the two answer bytes after the first.
static void exchange3(uint8_t b0, uint8_t* b1, uint8_t* b2)
{
    uint32_t w[3] = {b0, 0, 0};
    select_converter(1);
    spi_words(3, w);
    select_converter(0);
    *b1 = (uint8_t)w[1];
    *b2 = (uint8_t)w[2];
}

static uint32_t tsc_value(uint8_t cmd)
{
    uint8_t b1, b2;
    exchange3(cmd, &b1, &b2);
    return ((uint32_t)b1 << 5) + ((uint32_t)b2 >> 3);
}

static void ReadTouchStable_tsc2046(uint8_t cmd, uint32_t* out)
{
    if (cmd != 0x90 && cmd != 0xB8 && cmd != 0xC8 && cmd != 0xD0) {
        *out = TSC_FAILED;
        return;
    }
    uint32_t limit = eepromData.tspan / 2u;
    if (limit <= 2)
        limit = 3;
    // Conversions until two in a row agree: the plates settle after the
    // drivers switch, and a finger that moves never agrees.
    uint32_t previous = TSC_FAILED, value = 0;
    int ok = 0;
    for (int tries = 0;;) {
        value = tsc_value((uint8_t)(cmd | TSC_PD_ON));
        uint32_t d = value > previous ? value - previous : previous - value;
        if (d < limit) {
            ok = 1;
            break;
        }
        previous = value;
        if (++tries >= TSC_TRIES)
            break;
    }
    (void)tsc_value((uint8_t)(cmd | TSC_PD_PEN));
    *out = ok ? (value + 2) >> 2 : TSC_FAILED;
}

static void ReadTouchStable_sx8652(uint8_t ch, uint32_t* out)
{
    if (ch > 3) {
        *out = TSC_FAILED;
        return;
    }
    uint8_t b1, b2;
    exchange3((uint8_t)(SX_READ_CHANNEL | ch), &b1, &b2);
    uint32_t value = (((uint32_t)b1 << 8) + b2) & 0xFFF;
    *out = (value + 2) >> 2;
}

void ReadTouchStable(uint8_t cmd, uint32_t* out)
{
    if (velm5_plus_E_platform)
        ReadTouchStable_sx8652(cmd, out);
    else
        ReadTouchStable_tsc2046(cmd, out);
}

void ReadTouchX2(uint32_t* px)
{
    ReadTouchStable(read_x, px);
}

void ReadTouchY2(uint32_t* py)
{
    ReadTouchStable(read_y, py);
}

int ReadTouch(uint32_t* px, uint32_t* py)
{
    ReadTouchX2(px);
    ReadTouchY2(py);
    return 1;
}

int ReadTouchZ(uint32_t* pz1, uint32_t* pz2)
{
    ReadTouchStable(read_z1, pz1);
    ReadTouchStable(read_z2, pz2);
    return 1;
}

void InitTouch(void)
{
    hw_write32(CSPI2(CSPI_RESETREG), 1);
    while (hw_read32(CSPI2(CSPI_RESETREG)) & 1)
        hw_idle(HW_IDLE_FOREVER);
    velm5_plus_E_platform = is_plus_E() ? 1 : 0;
    const uint32_t pb = GPIO_PORT(PORT_B), pd = GPIO_PORT(PORT_D);
    const uint32_t pen = 1u << TOUCH_PEN_PIN, cs = 1u << TOUCH_CS_PIN;
    hw_set32(pb + GPIO_GIUS, pen);
    hw_clear32(pb + GPIO_DDIR, pen);
    hw_set32(pb + GPIO_PUEN, pen);
    hw_set32(pd + GPIO_DR, cs);
    hw_set32(pd + GPIO_GIUS, cs);
    // Output configuration 3 (the data register) for pin 21: bits 11:10 of
    // OCR2, which covers pins 16-31.
    hw_set32(pd + GPIO_OCR2, 3u << ((TOUCH_CS_PIN - 16) * 2));
    hw_set32(pd + GPIO_DDIR, cs);
    hw_clear32(pd + GPIO_GIUS, TOUCH_SPI_PINS);
    hw_clear32(pd + GPIO_GPR, TOUCH_SPI_PINS);
    hw_write32(CSPI2(CSPI_CONTROLREG), CSPI_CONTROLREG_TOUCH);
    hw_write32(CSPI2(CSPI_PERIODREG), 0);
    hw_set32(CRM_BASE + CRM_PCCR0, CRM_PCCR0_CSPI2);
}

void InitTouch2(void)
{
    if (!velm5_plus_E_platform) {
        read_x = 0xD0;
        read_y = 0x90;
        read_z1 = 0xB8;
        read_z2 = 0xC8;
        return;
    }
    read_x = 0;
    read_y = 1;
    read_z1 = 2;
    read_z2 = 3;
    // Soft reset, the conversion timing, the four channels X, Y, Z1, Z2,
    // the pen-triggered mode, and a read of the status register.
    static const uint8_t setup[][2] = {{0x17, 0xDE}, {0x00, 0xC8}, {0x01, 0x20}, {0x02, 0x02}, {0x04, 0xF0}};
    for (unsigned i = 0; i < sizeof setup / sizeof setup[0]; ++i) {
        uint8_t b[2] = {setup[i][0], setup[i][1]};
        write_sx8652(2, b);
    }
    uint8_t pentrg = 0xB0;
    write_sx8652(1, &pentrg);
    uint8_t status[2] = {0x45, 0x00};
    write_sx8652(2, status);
}

// Main-loop code that talks to the converter itself parks the sampler
// first, so the tick never starts an exchange in the middle of its words;
// the sampler goes on from where it was.
static int32_t park_sampler(void)
{
    int32_t s = _tState;
    _tState = ST_DISABLED;
    return s;
}

static void unpark_sampler(int32_t s)
{
    _tState = s;
}

static int ReadTemp_0_1(int which)
{
    return (int)tsc_value(which ? TSC_TEMP1 : TSC_TEMP0);
}

int readTemp(void)
{
    if (!velm5_plus_E_platform) {
        int32_t s = park_sampler();
        int t0 = ReadTemp_0_1(0);
        int t1 = ReadTemp_0_1(1);
        unpark_sampler(s);
        return ((25000 * (t1 - t0) / 4095) * 2573 / 1000) - 2730;
    }
    uint8_t buf[2] = {TEMP_SENSOR_REG, 0};
    I2Cio(TEMP_SENSOR_ADDR, 1, 2, buf);
    int v = (buf[0] << 8) + buf[1];
    int t = (v & 0xFFE) >> 1;
    if (v & 0x1000)
        return -((((-t) & 0x7FF) * 1250) / 1000);
    return t * 1250 / 1000;
}

// ---------------------------------------------------------------- state

int GetPenState(void)
{
    return (hw_read32(GPIO_PORT(PORT_B) + GPIO_SSR) & (1u << TOUCH_PEN_PIN)) ? 0 : 1;
}

#if !TOUCH_CAPACITIVE
static void state_up(void)
{
    State.x = -1;
    State.y = -1;
    State.pressed = 0;
}
#endif

void enableTouch(int on)
{
    _tState = on ? ST_IDLE : ST_DISABLED;
}

#if !TOUCH_CAPACITIVE  // the capacitive build reads its controller (KM_captouch.cpp)
void KM_Touch_Get_State(int* pressed, int* px, int* py)
{
    if (pressed)
        *pressed = State.pressed;
    if (px)
        *px = State.x;
    if (py)
        *py = State.y;
}
#endif

void KM_Touch_Set_State(uint8_t pressed, int px, int py)
{
    State.x = px;
    State.y = py;
    State.pressed = pressed;
}

void KM_Touch_Info(int* lastPressOut, int* pMinOut, int* pMaxOut, int* state)
{
    if (lastPressOut)
        *lastPressOut = (int)lastPress;
    if (pMinOut)
        *pMinOut = (int)pMin;
    if (pMaxOut)
        *pMaxOut = (int)pMax;
    if (state)
        *state = _tState;
}

uint8_t KM_Touch_ever(void)
{
    return Ever_touched;
}

void KM_Touch_ever_reset(void)
{
    Ever_touched = 0;
}

int KM_GetTouch(int* px, int* py)
{
    int lx, ly;
    KM_GetLocation(&lx, &ly);
    if (lx != -1) {
        touchSeen = 1;
        return 0;
    }
    if (!touchSeen)
        return 0;
    touchSeen = 0;
    if (px)
        *px = lx;
    if (py)
        *py = ly;
    return 1;
}

void convToScreenXY(uint32_t* px, uint32_t* py)
{
    int a = (int)*px, b = (int)*py;
    if (!eepromData.touchSwap) {
        a = (int)*py;
        b = (int)*px;
    }
    *px = (uint32_t)ADC2X(a, b);
    *py = (uint32_t)ADC2Y(a, b);
}

void KM_Touch_Init(void)
{
    KM_Touch_HotSpot_Clear();
    int32_t s = park_sampler();
    InitTouch();
    InitTouch2();
    uint32_t dx, dy;
    ReadTouch(&dx, &dy);
    unpark_sampler(s);
    KM_Touch_Calibrate_from_EEPROM();
    Ever_touched = 0;
}

// ---------------------------------------------------------------- sampler

static uint32_t distance(uint32_t a, uint32_t b)
{
    return a > b ? a - b : b - a;
}

#if !TOUCH_CAPACITIVE  // the capacitive build has no sampler (KM_captouch.cpp)
static uint32_t spread(uint32_t hi, uint32_t lo)
{
    return hi > lo ? hi - lo : 0;
}

static void sample(void)
{
    const EepromRecord& e = eepromData;
    if (!GetPenState()) {
        _tState = ST_IDLE;
        return;
    }
    ReadTouchX2(&x);
    ReadTouchY2(&y);
    ReadTouchZ(&z1, &z2);
    // Z1 of 0 would divide by zero: taken as an unreadable channel.
    if (x == TSC_FAILED || y == TSC_FAILED || z1 == TSC_FAILED || z2 == TSC_FAILED || z1 == 0) {
        _tState = ST_IDLE;
        return;
    }
    // Signed: a firm press on a noisy panel can read Z2 below Z1, which
    // is as firm as a press gets (pressure 0), not a huge one.
    const int64_t p = (int64_t)((y * 130) >> 10) + (((int64_t)x * ((int64_t)((z2 << 8) / z1) - 256)) >> 10);
    press = p < 0 ? 0 : (uint32_t)p;
    if ((e.touchMode & TOUCH_MODE_P) && (press < e.tplo || press > e.tphi)) {
        _tState = ST_IDLE;
        return;
    }
    if (x < xMin)
        xMin = x;
    if (x > xMax)
        xMax = x;
    if (y < yMin)
        yMin = y;
    if (y > yMax)
        yMax = y;
    if (press < pMin)
        pMin = press;
    if (press > pMax)
        pMax = press;
    if (spread(xMax, xMin) > e.tspan || spread(yMax, yMin) > e.tspan) {
        _tState = ST_IDLE;
        return;
    }
    samples += 1;
    xAvg += x;
    yAvg += y;
    if (samples < e.tsamp)
        return;
    xAvg /= samples;
    yAvg /= samples;
    x = xAvg;
    y = yAvg;
    if (!((e.touchMode & TOUCH_MODE_L) && touchActive)) {
        touchActive = 1;
        lastPress = press;
        stateX = xAvg;
        stateY = yAvg;
        if (e.touchSwap && !calibratingTouch) {
            State.x = (int32_t)xAvg;
            State.y = (int32_t)yAvg;
        } else {
            State.x = (int32_t)yAvg;
            State.y = (int32_t)xAvg;
        }
        State.pressed = 1;
    }
    if ((e.touchMode & TOUCH_MODE_W) && touchActive &&
        (distance(xAvg, stateX) > 30 || distance(yAvg, stateY) > 30))
        state_up();
    uint32_t sx, sy;
    ReadTouch(&sx, &sy);
    convToScreenXY(&sx, &sy);
    if (isXYinSlider((int)sx, (int)sy)) {
        _tState = ST_START;
    } else {
        timer = calibratingTouch ? 10 : e.debounce;
        _tState = ST_HOLDOFF;
    }
}

void KM_Update_Touch(void)
{
    switch (_tState) {
    case ST_IDLE:
        if (!GetPenState()) {
            state_up();
            touchActive = 0;
        } else {
            _tState = ST_START;
            Ever_touched = 1;
        }
        break;
    case ST_START:
        pMax = 0;
        pMin = 0xFFFF;
        xMin = yMin = 0xFFFF;
        xMax = yMax = 0;
        xAvg = yAvg = 0;
        samples = 0;
        _tState = ST_SAMPLING;
        sample();
        break;
    case ST_SAMPLING: sample(); break;
    case ST_HOLDOFF:
        if (timer)
            timer -= 1;
        else
            _tState = ST_IDLE;
        break;
    default: break;
    }
}
#endif

// ---------------------------------------------------------------- trace

void ttrace(int a, int b, int c)
{
    if (ttraceIndex >= TTRACE_ENTRIES)
        return;
    ttraceData[ttraceIndex].a = a;
    ttraceData[ttraceIndex].b = b;
    ttraceData[ttraceIndex].c = c;
    ttraceIndex += 1;
}

void ClearTtrace(void)
{
    memset(ttraceData, 0, sizeof ttraceData);
    ttraceIndex = 0;
}

void TouchShowTtrace(void)
{
    for (int i = 0; i < ttraceIndex; ++i) {
        TtraceEntry& t = ttraceData[i];
        if (t.a == 0 && t.b == 0 && t.c == 0)
            continue;
        pout("t %3d %3d %d\r", (int)t.a, (int)t.b, (int)t.c);
        t.a = t.b = t.c = 0;
    }
    ttraceIndex = 0;
}

// ---------------------------------------------------------------- commands

static int reply(const char* fmt, int a, int b = 0)
{
    snprintf(out_buffer, OUT_BUFFER_SIZE, fmt, a, b);
    txString(out_buffer);
    return CMD_OK;
}

static int starts(const char* cmd, const char* kw)
{
    return strncmp(cmd, kw, strlen(kw)) == 0;
}

int cmdTouchTraceClear(void)
{
    ClearTtrace();
    return CMD_OK;
}

int cmdTouchTiming(char* cmd)
{
    EepromRecord& e = eepromData;
    int a, b;
    if (starts(cmd, "*touchParm")) {
        if (KM_sscanf(cmd, "*touchParm %d %d", &a, &b) == 2) {
            if (a > 20 || b > 20) {
                txString(":Values too high\r");
                return CMD_FAIL;
            }
            // Both are kept in bytes: a negative count would become 255.
            if (a < 0 || b < 0)
                return CMD_FAIL;
            e.tsamp = (uint8_t)a;
            e.tspan = (uint8_t)b;
            reply(":Samples = %d, Max span = %d\r", e.tsamp, e.tspan);
            KM_EEPROM_Save();
            return CMD_OK;
        }
        return reply(":Samples = %d, Max span = %d\r", e.tsamp, e.tspan);
    }
    if (starts(cmd, "*debounce")) {
        if (KM_sscanf(cmd, "*debounce %d", &a) == 1) {
            e.debounce = (uint32_t)a;
            KM_EEPROM_Save();
        }
        return reply("Debounce = %dms\r", (int)e.debounce);
    }
    return -1;
}

int cmdGetTouch(void)
{
    uint32_t rx, ry;
    int32_t s = park_sampler();
    ReadTouch(&rx, &ry);
    unpark_sampler(s);
    return reply("X=%d, Y=%d\r", (int)rx, (int)ry);
}

int cmdDebugTouch(char* cmd)
{
    int d;
    if (KM_sscanf(cmd, "*debugTouch %d", &d) == 1)
        return CMD_OK;
    return -1;
}

static int pressure(uint32_t px, uint32_t py, uint32_t pz1, uint32_t pz2)
{
    int ix = (int)px, iy = (int)py, iz1 = (int)pz1, iz2 = (int)pz2;
    if (iz1 == 0)
        return 0;
    return ((iy * 130 / 4) / 256) + ((ix * ((iz2 * 256 / iz1) - 256)) >> 10);
}

// How long "*ttt" waits for the pen before it gives up.
#define TRACE_TEST_WAIT_MS 5000

// "*ttt": direct read-outs into the trace while the sampler rests.
static int touch_trace_test(void)
{
    enableTouch(0);
    gpTimer = TRACE_TEST_WAIT_MS;
    while (!GetPenState()) {
        if (!gpTimer) {
            enableTouch(1);
            return CMD_FAIL;
        }
        hw_idle(HW_IDLE_FOREVER);
    }
    uint32_t rx = 0, ry = 0, rz1 = 0, rz2 = 0;
    ttrace(1, 1, 1);
    for (int i = 0; i < 10; ++i) {
        ReadTouch(&rx, &ry);
        ReadTouchZ(&rz1, &rz2);
        ttrace((int)rx, (int)ry, pressure(rx, ry, rz1, rz2));
    }
    ttrace(2, 2, 2);
    for (int i = 0; i < 10; ++i) {
        ReadTouch(&rx, &ry);
        ttrace((int)rx, (int)ry, pressure(rx, ry, rz1, rz2));
        KM_Delay(1);
    }
    enableTouch(1);
    TouchShowTtrace();
    return CMD_OK;
}

// "*td": the published point every 100 ms while touched, for 5 s after the
// last touch.  The state is asked for as every reader asks (the capacitive
// build reads its controller then), not taken from State.
static int touch_display(void)
{
    reply("TouchSwap = %d\r", eepromData.touchSwap);
    gpTimer = 5000;
    while (gpTimer) {
        int pressed, x, y;
        KM_Touch_Get_State(&pressed, &x, &y);
        if (pressed) {
            snprintf(out_buffer, OUT_BUFFER_SIZE, "X=%3d:Y=%3d:P=%3d:S=%d:t%d\r", x, y, (int)lastPress,
                     (int)_tState, GetPenState());
            txString(out_buffer);
            KM_Delay(100);
            gpTimer = 5000;
        } else {
            hw_idle(HW_IDLE_FOREVER);
        }
    }
    return CMD_OK;
}

// "*tr": raw readings every 2 ms while the pen is down, those that agree
// with the previous one reported.
static int touch_raw(void)
{
    enableTouch(0);
    uint32_t px = 0xFFF, py = 0xFFF;
    gpTimer = 5000;
    while (gpTimer) {
        if (GetPenState()) {
            uint32_t rx, ry, rz1, rz2;
            ReadTouch(&rx, &ry);
            ReadTouchZ(&rz1, &rz2);
            if (distance(rx, px) <= 3 && distance(ry, py) <= 3) {
                int p = rz1 ? ((int)rx * (((int)rz2 * 256 / (int)rz1) - 256)) / 256 : 0;
                snprintf(out_buffer, OUT_BUFFER_SIZE, "%3d,%3d,%5d\r", (int)rx, (int)ry, p);
                txString(out_buffer);
            }
            px = rx;
            py = ry;
            gpTimer = 5000;
        } else {
            px = py = 0xFFF;
        }
        KM_Delay(2);
    }
    enableTouch(1);
    return CMD_OK;
}

// "*td2": the published state for 6 s.
static int touch_display2(void)
{
    gpTimer = 6000;
    uint32_t shown = 0xFFFFFFFFu;
    while (gpTimer) {
        uint32_t t = gpTimer;
        if (t % 100 == 0 && t != shown) {
            shown = t;
            int pressed, x, y;
            KM_Touch_Get_State(&pressed, &x, &y);
            snprintf(out_buffer, OUT_BUFFER_SIZE, "%d %03X:%03X\r", pressed, (unsigned)x, (unsigned)y);
            txString(out_buffer);
            hw_wait();
        } else {
            hw_idle(HW_IDLE_FOREVER);
        }
    }
    return CMD_FAIL;
}

int cmdTouchDiagnostics(char* cmd)
{
    int d;
    if (starts(cmd, "*touchSwap")) {
        if (KM_sscanf(cmd, "*touchSwap %d", &d) == 1) {
            eepromData.touchSwap = d ? 1 : 0;
            KM_EEPROM_Save();
            return CMD_OK;
        }
        return reply("%d\r", eepromData.touchSwap);
    }
    if (strcmp(cmd, "*tt") == 0) {
        TouchShowTtrace();
        return CMD_OK;
    }
    if (strcmp(cmd, "*ttt") == 0)
        return touch_trace_test();
    if (starts(cmd, "*touchadj"))
        return CMD_FAIL;  // no adjustment exists on this front end
    if (strcmp(cmd, "*td") == 0)
        return touch_display();
    if (strcmp(cmd, "*tr") == 0)
        return touch_raw();
    if (strcmp(cmd, "*td2") == 0)
        return touch_display2();
    if (starts(cmd, "*gcp"))
        return cmdGetCalPoint(cmd);
    return -1;
}

// One tuning field: set and save with a value, report without one.
struct TouchField {
    const char* keyword;
    const char* form;
    int wide;  // 16-bit field
    size_t offset;
};

static const TouchField kFields[] = {
    {"*tspan", "*tspan %d", 0, offsetof(EepromRecord, tspan)},
    {"*tplo", "*tplo %d", 1, offsetof(EepromRecord, tplo)},
    {"*tphi", "*tphi %d", 1, offsetof(EepromRecord, tphi)},
    {"*tpDeltaLim", "*tpDeltaLim %d", 0, offsetof(EepromRecord, tpDeltaLim)},
    {"*tsamp", "*tsamp %d", 0, offsetof(EepromRecord, tsamp)},
    {"*tcTimeout", "*tcTimeout %d", 0, offsetof(EepromRecord, tcTimeout)},
};

int cmdTouchSettings(char* cmd)
{
    int d;
    if (starts(cmd, "*autoCal")) {
        if (KM_sscanf(cmd, "*autoCal %d", &d) == 1) {
            eepromData.autoCal = d ? EE_ON : EE_OFF;
            KM_EEPROM_Save();
            return CMD_OK;
        }
        return reply("%d\r", eepromData.autoCal == EE_ON ? 1 : 0);
    }
    for (unsigned i = 0; i < sizeof kFields / sizeof kFields[0]; ++i) {
        const TouchField& f = kFields[i];
        if (!starts(cmd, f.keyword))
            continue;
        uint8_t* p = (uint8_t*)&eepromData + f.offset;
        if (KM_sscanf(cmd, f.form, &d) == 1) {
            if (f.wide) {
                uint16_t v = (uint16_t)d;
                memcpy(p, &v, 2);
            } else {
                *p = (uint8_t)d;
            }
            KM_EEPROM_Save();
            return CMD_OK;
        }
        uint16_t v = 0;
        if (f.wide)
            memcpy(&v, p, 2);
        else
            v = *p;
        return reply("%d\r", v);
    }
    return -1;
}

int cmdTouchMode(char* cmd)
{
    const char* rest = cmd + strlen("*touchMode");
    int save = 1;
    if (*rest == 's') {
        save = 0;
        ++rest;
    }
    int d;
    char letters[9];
    if (KM_sscanf(rest, " %d", &d) == 1) {
        eepromData.touchMode = (uint8_t)d;
    } else if (KM_sscanf(rest, " %8s", letters) == 1) {
        uint8_t m = 0;
        int stop = 0;
        for (const char* c = letters; *c; ++c) {
            if (*c == 'P')
                m |= TOUCH_MODE_P;
            else if (*c == 'L')
                m |= TOUCH_MODE_L;
            else if (*c == 'W')
                m |= TOUCH_MODE_W;
            else if (*c == 'S')
                stop = 1;
        }
        eepromData.touchMode = stop ? 0 : m;
    } else {
        uint8_t m = eepromData.touchMode;
        if (m == 0)
            snprintf(out_buffer, OUT_BUFFER_SIZE, "S--- (0)\r");
        else
            snprintf(out_buffer, OUT_BUFFER_SIZE, "-%c%c%c (%d)\r", (m & TOUCH_MODE_L) ? 'L' : '-',
                     (m & TOUCH_MODE_P) ? 'P' : '-', (m & TOUCH_MODE_W) ? 'W' : '-', m);
        txString(out_buffer);
        return CMD_OK;
    }
    if (save)
        KM_EEPROM_Save();
    return CMD_OK;
}

int cmdTouchResetEver(char* cmd)
{
    if (strcmp(cmd, "*RT") == 0) {
        KM_Touch_Calibrate_Default();
        return CMD_OK;
    }
    if (strcmp(cmd, "*ever") == 0) {
        if (Ever_touched) {
            txString("touched\r");
            Ever_touched = 0;
        }
        return CMD_OK;
    }
    return -1;
}
