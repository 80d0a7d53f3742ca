#include "app/KM_diagnostics.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "app/KM_com.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/parse_command.h"
#include "board/bootio.h"
#include "board/hw.h"
#include "board/imx21.h"
#include "board/serialmem.h"
#include "storage/KM_eeprom.h"

// The EEPROM holds 8 KiB; beyond that the chip wraps, so an address past
// its end would silently read or overwrite the configuration copies.
#define EEPROM_SIZE 0x2000u

static int refuse(const char* text)
{
    txString(text);
    return CMD_FAIL;
}

// ---------------------------------------------------------------- EEPROM

int cmdEepromRead(const char* cmd)
{
    unsigned a;
    const char* args = cmd + 4;
    if (*args == 'c')
        ++args;
    if (KM_sscanf(args, "%x", &a) != 1)
        return CMD_FAIL;
    if (a >= EEPROM_SIZE)
        return CMD_FAIL;
    pout("%02X = %02X\r", a, EEpromRead(a));
    return CMD_OK;
}

int cmdEepromWrite(const char* cmd)
{
    unsigned a, v;
    if (KM_sscanf(cmd + 4, "%x %x", &a, &v) != 2)
        return CMD_FAIL;
    if (a >= EEPROM_SIZE || v > 0xFF)
        return CMD_FAIL;
    if (!EEpromWrite(a, (uint8_t)v))
        return CMD_FAIL;
    pout("%02X = %02X\r", a, EEpromRead(a));
    return CMD_OK;
}

// 256 bytes from the given address (0 when none), 16 a line.
int cmdEepromDump(const char* cmd)
{
    unsigned start = 0;
    if (KM_sscanf(cmd + 4, "%x", &start) != 1)
        start = 0;
    if (start >= EEPROM_SIZE)
        return CMD_FAIL;
    start &= ~0xFu;
    uint32_t end = start + 0x100 > EEPROM_SIZE ? EEPROM_SIZE : start + 0x100;
    for (uint32_t a = start; a < end; a += 16) {
        char line[96];
        uint8_t b[16];
        int n = snprintf(line, sizeof line, "%02X:", (unsigned)a);
        for (int i = 0; i < 16; ++i) {
            b[i] = EEpromRead(a + (uint32_t)i);
            n += snprintf(line + n, sizeof line - (size_t)n, " %02X", b[i]);
        }
        line[n++] = ' ';
        for (int i = 0; i < 16; ++i)
            line[n++] = isprint(b[i]) ? (char)b[i] : '.';
        line[n++] = '\r';
        line[n] = 0;
        txString(line);
    }
    return CMD_OK;
}

int cmdEepromClear(const char* cmd)
{
    int area;
    if (KM_sscanf(cmd, "%*s%d", &area) != 1)
        return CMD_FAIL;
    return KM_EEPROM_Clear(area) ? CMD_OK : CMD_FAIL;
}

int cmdEepromSave(void)
{
    return KM_EEPROM_Save() ? CMD_OK : CMD_FAIL;
}

int cmdEepromLoad(void)
{
    KM_EEPROM_Load(EEPROM_COPY0);
    return CMD_OK;
}

// Both copies and the user bytes: the next power-on starts from the
// defaults.
int cmdFactoryReset(void)
{
    int ok = KM_EEPROM_Clear(0);
    ok &= KM_EEPROM_Clear(1);
    ok &= KM_EEPROM_Clear(2);
    return ok ? CMD_OK : CMD_FAIL;
}

int cmdI2cEeprom(const char* cmd)
{
    unsigned a, v;
    if (KM_sscanf(cmd, "i2c read %x", &a) == 1) {
        if (a >= EEPROM_SIZE)
            return CMD_FAIL;
        pout("%02X = %02X\r", a, EEpromRead(a));
        return CMD_OK;
    }
    if (KM_sscanf(cmd, "i2c write %x %x", &a, &v) == 2) {
        if (a >= EEPROM_SIZE || v > 0xFF)
            return CMD_FAIL;
        if (!EEpromWrite(a, (uint8_t)v))
            return CMD_FAIL;
        pout("%04x = %02X\r", a, EEpromRead(a));
        return CMD_OK;
    }
    return -1;
}

// ---------------------------------------------------------------- I2C

#define I2C_BUFFER 16

int cmdI2cRead(const char* cmd)
{
    unsigned dev, reg;
    int len;
    if (KM_sscanf(cmd, "i2cr %x %x %d", &dev, &reg, &len) != 3)
        return CMD_FAIL;
    if (len > I2C_BUFFER) {
        perr(":length too long - max %d\r", I2C_BUFFER);
        return CMD_FAIL;
    }
    if (dev > 0xFF || reg > 0xFF || len < 1)
        return CMD_FAIL;
    uint8_t buf[I2C_BUFFER];
    buf[0] = (uint8_t)reg;
    const uint32_t status = I2Cio((uint8_t)(dev & 0xFE), 1, len, buf);
    if (status & (I2C_TIMED_OUT | I2C_NOT_ACKNOWLEDGED))
        return CMD_FAIL;
    int n = 0;
    for (int i = 0; i < len; ++i)
        n += snprintf(out_buffer + n, sizeof out_buffer - (size_t)n, "%s%02X", i ? " " : "", buf[i]);
    snprintf(out_buffer + n, sizeof out_buffer - (size_t)n, "\r");
    txString(out_buffer);
    return CMD_OK;
}

int cmdI2cWrite(const char* cmd)
{
    unsigned dev, reg, v;
    if (KM_sscanf(cmd, "i2cw %x %x %x", &dev, &reg, &v) != 3)
        return CMD_FAIL;
    if (dev > 0xFF || reg > 0xFF || v > 0xFF)
        return CMD_FAIL;
    uint8_t buf[2] = {(uint8_t)reg, (uint8_t)v};
    const uint32_t status = I2Cio((uint8_t)(dev & 0xFE), 2, 0, buf);
    if (status & (I2C_TIMED_OUT | I2C_NOT_ACKNOWLEDGED))
        return CMD_FAIL;
    return CMD_OK;
}

// ---------------------------------------------------------------- registers

// The register blocks of the modules this board uses.  Anything else in
// the peripheral space is a reserved slot or a module without clocks, where
// an access hangs or aborts the bus.
struct Window {
    uint32_t base, size;
};
static const Window registerWindows[] = {
    {AIPI1_BASE, 0x1000}, {GPT1_BASE, 0x1000}, {GPT2_BASE, 0x1000},  {UART1_BASE, 0x1000},
    {UART2_BASE, 0x1000}, {CSPI1_BASE, 0x1000}, {I2C_BASE, 0x1000},  {GPIO_BASE, 0x700},
    {AIPI2_BASE, 0x1000}, {LCDC_BASE, 0x1000}, {CRM_BASE, 0x1000},   {AITC_BASE, 0x1000},
};

static int register_ok(uint32_t a, uint32_t size)
{
    if (a & (size - 1))
        return 0;
    for (const Window& w : registerWindows)
        if (a >= w.base && a - w.base <= w.size - size)
            return 1;
    return 0;
}

int cmdReg16(const char* cmd)
{
    unsigned a;
    if (KM_sscanf(cmd, "*R16 %x", &a) != 1)
        return -1;
    if (!register_ok(a, 2))
        return CMD_FAIL;
    // Several modules (the LCD controller among them) take only 32-bit
    // accesses; the half-word is cut from the aligned word around it.
    const uint32_t word = hw_read32(a & ~3u);
    pout("0x%08X = %04X\r", a, (unsigned)((word >> ((a & 2u) * 8)) & 0xFFFFu));
    return CMD_OK;
}

// "*R a [n]": n (at most 16) 32-bit registers from a.
int cmdRegRead(const char* cmd)
{
    unsigned a, n = 1;
    // The address follows a blank: "*RESET" or "*RE" must not read
    // register 0xE.
    const int got = cmd[2] == ' ' ? KM_sscanf(cmd, "*R %x %x", &a, &n) : 0;
    if (got < 1)
        return CMD_FAIL;
    if (n < 1 || n > 16)
        return CMD_FAIL;
    for (unsigned i = 0; i < n; ++i)
        if (!register_ok(a + 4 * i, 4))
            return CMD_FAIL;
    for (unsigned i = 0; i < n; ++i)
        pout("0x%08X = %08X\r", a + 4 * i, (unsigned)hw_read32(a + 4 * i));
    return CMD_OK;
}

int cmdRegWrite(unsigned a, unsigned v)
{
    if (!register_ok(a, 4))
        return CMD_FAIL;
    hw_write32(a, v);
    pout("Reg 0x%08X <- %08X\r", a, v);
    return CMD_OK;
}

int cmdRxReset(void)
{
    rxReset();
    return CMD_OK;
}

#define CRM_CCSR_CLKO_SEL 0x1Fu

int cmdClockOut(const char* cmd)
{
    unsigned sel;
    if (KM_sscanf(cmd, "*ccsr %x", &sel) == 1) {
        if (sel > CRM_CCSR_CLKO_SEL)
            return CMD_FAIL;
        hw_modify32(CRM_BASE + CRM_CCSR, CRM_CCSR_CLKO_SEL, sel);
    }
    pout("clko_sel: 0x%02X\r", (unsigned)(hw_read32(CRM_BASE + CRM_CCSR) & CRM_CCSR_CLKO_SEL));
    return CMD_OK;
}

int cmdPortB(void)
{
    pout("PTB: 0x%08X\r", (unsigned)hw_read32(GPIO_PORT(PORT_B) + GPIO_SSR));
    return CMD_OK;
}

// ---------------------------------------------------------------- memory

// Memory a dump may read: SDRAM and the NOR flash.
#define SDRAM_SIZE 0x4000000u
#define FLASH_SIZE 0x2000000u
static int readable(uint32_t a, uint32_t n)
{
    if (a >= SDRAM_BASE && a - SDRAM_BASE < SDRAM_SIZE && n <= SDRAM_SIZE - (a - SDRAM_BASE))
        return 1;
    if (a >= FLASH_BASE && a - FLASH_BASE < FLASH_SIZE && n <= FLASH_SIZE - (a - FLASH_BASE))
        return 1;
    return 0;
}

// The RAM test works on the SDRAM above the firmware's own code, data and
// stacks and below the frame buffer and the MMU's tables; each word gets
// its content back after its patterns, so the memory image and the save
// slots survive.
#define MEMTEST_BASE (SDRAM_BASE + 0x400000u)
#define MEMTEST_END SDRAM_FRAMEBUFFER
#define DUMP_MAX 0x1000u

static int test_word(volatile uint32_t* p)
{
    static const uint32_t patterns[] = {0x00000000u, 0xFFFFFFFFu, 0xAAAAAAAAu, 0x55555555u};
    const uint32_t keep = *p;
    int ok = 1;
    for (uint32_t pat : patterns) {
        *p = pat;
        if (*p != pat)
            ok = 0;
    }
    *p = hw_addr((const void*)p);
    if (*p != hw_addr((const void*)p))
        ok = 0;
    *p = keep;
    return ok;
}

int cmdMemTest(const char* cmd)
{
    unsigned start, length;
    int passes = 1, mbStart, mbCount;
    if (KM_sscanf(cmd, "*memTest %x %x %d", &start, &length, &passes) == 3) {
    } else if (KM_sscanf(cmd, "*memTest %d %d", &mbStart, &mbCount) == 2) {
        if (mbStart < 0 || mbCount < 1 || mbStart > 60 || mbCount > 60)
            return refuse("Start address or length out of bounds\r");
        start = MEMTEST_BASE + (uint32_t)mbStart * 0x100000u;
        length = (uint32_t)mbCount * 0x100000u;
    } else {
        txString("usage: *memTest start length passes (hex, hex, decimal; SDRAM C0400000..C3DFFFFF)\r");
        return refuse("       *memTest firstMiB countMiB (from C0400000)\r");
    }
    if (start < MEMTEST_BASE || start >= MEMTEST_END || length == 0 || length > MEMTEST_END - start ||
        (start & 3) || passes < 1)
        return refuse("Start address or length out of bounds\r");
    uint32_t errors = 0, first = 0;
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t a = start; a < start + (length & ~3u); a += 4) {
            if (!test_word((volatile uint32_t*)hw_ptr(a))) {
                if (!errors)
                    first = a;
                ++errors;
            }
            if ((a & 0xFFFF) == 0) {
                hw_wait();
                if (checkAbortCmd())
                    return refuse(":aborted\r");
            }
        }
    }
    if (errors) {
        perr(":memTest %u errors, first at 0x%08X\r", (unsigned)errors, (unsigned)first);
        return CMD_FAIL;
    }
    pout(":memTest 0x%08X..0x%08X passed %d\r", start, start + length - 1, passes);
    return CMD_OK;
}

int cmdDump(const char* cmd, int words)
{
    unsigned a;
    unsigned n;
    if (KM_sscanf(cmd + 7, "%x %x", &a, &n) != 2)
        return CMD_FAIL;
    const uint32_t unit = words ? 4 : 1;
    if (n == 0 || n > DUMP_MAX / unit || (a & (unit - 1)) || !readable(a, n * unit))
        return CMD_FAIL;
    const unsigned perLine = words ? 4 : 16;
    for (unsigned i = 0; i < n; i += perLine) {
        char line[100];
        const uint32_t at = a + i * unit;
        int len = words ? snprintf(line, sizeof line, "0x%08X: ", (unsigned)at)
                        : snprintf(line, sizeof line, "0x%02X: ", (unsigned)(at & 0xFF));
        for (unsigned j = i; j < n && j < i + perLine; ++j) {
            const char* sep = (j - i == perLine / 2) ? "- " : "";
            if (words)
                len += snprintf(line + len, sizeof line - (size_t)len, "%s%08X ", sep,
                                (unsigned)*(const volatile uint32_t*)hw_ptr(a + 4 * j));
            else
                len += snprintf(line + len, sizeof line - (size_t)len, "%s%02X ", sep,
                                *(const volatile uint8_t*)hw_ptr(a + j));
        }
        snprintf(line + len, sizeof line - (size_t)len, "\r");
        txString(line);
    }
    return CMD_OK;
}

int cmdHalt(void)
{
    txWait();
    __ARMLIB_disableIRQ();
    for (;;)
        hw_idle(HW_IDLE_FOREVER);
}

int cmdSdLed(int on)
{
    if (on != 0 && on != 1)
        return CMD_FAIL;
    SD_led(on);
    return CMD_OK;
}
