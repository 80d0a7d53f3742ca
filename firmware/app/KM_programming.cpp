#include "app/KM_programming.h"

#include <stdio.h>
#include <string.h>

#include "app/KM_com.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/KM_timer.h"
#include "app/crc16.h"
#include "app/parse_command.h"
#include "board/bootio.h"
#include "config/build_config.h"
#include "storage/KM_extmem.h"
#include "storage/file_sys.h"
#include "storage/sdcard.h"

#define STORE EXTMEM_FLASH2_BASE
#define STORE_SIZE EXTMEM_FLASH2_SIZE
#define STORE_SECTOR EXTMEM_FLASH2_SECTOR_SIZE
#define STORE_SECTORS 222
// The key alone erases the first 8 MB, where the loader puts an image.
#define CHIP_ERASE_SECTORS 64
#define FRAMEBUFFER 0xC3E00000u
#define FIRMWARE_AREA 0xC8020000u
#define FIRMWARE_SIZE 0x3E0000u
#define BOOT_BLOCK 0xC8000000u
#define BOOT_SIZE 0x20000u

static uint16_t image_word(const uint8_t* img)
{
    return (uint16_t)(img[0] | (img[1] << 8));
}

int cmdListNeedsImage(void)
{
    if (!ExtMemBuffer || image_word(ExtMemBuffer) != EXTMEM_VALID_PLUS) {
        txString(":External Memory not valid\r");
        return CMD_FAIL;
    }
    return CMD_OK;
}

int cmdStoreGeometry(void)
{
    if (SDisInitialized())
        pout("%ld %ld %ld\r", (long)ExtMemSize, (long)STORE_SECTOR, (long)ExtMemSize);
    else
        pout("%ld %ld %ld %lX\r", (long)STORE_SIZE, (long)STORE_SECTOR, (long)STORE_SIZE, (unsigned long)STORE);
    return CMD_OK;
}

int cmdStoreErase(char* cmd)
{
    unsigned key = 0;
    int sector = 0;
    int got = KM_sscanf(cmd, "xmc %x %d", &key, &sector);
    if (got < 1 || (key != EXTMEM_VALID_PLUS && key != EXTMEM_VALID_VELM5)) {
        txString(":invalid argument\r");
        return CMD_FAIL;
    }
    if (got >= 2) {
        if (key == EXTMEM_VALID_VELM5 && sector > STORE_SECTORS - 1) {
            perr(":sector arg %d >= max %d\r", sector, STORE_SECTORS);
            return CMD_FAIL;
        }
        perr(":Erasing sector %d...", sector);
        if (KM_ExtMem_Erase_Sector(sector) != 0) {
            perr("\r:Erase sector %d failed\r", sector);
            return CMD_FAIL;
        }
        txString(" done\r");
        return CMD_OK;
    }
    txString(":Erasing chip...");
    for (int s = 0; s < CHIP_ERASE_SECTORS; ++s) {
        if (KM_ExtMem_Erase_Sector(s) != 0) {
            txString(":Erase failed\r");
            return CMD_FAIL;
        }
    }
    txString(" done\r");
    return CMD_OK;
}

int cmdMaxProgramLine(void)
{
    pout("128\r");
    return CMD_OK;
}

// Escapes of programming lines: a blank and the next character.
static int unescape(char c, uint8_t* out)
{
    switch (c) {
    case '0': *out = 0x00; return 1;
    case ' ': *out = 0x20; return 1;
    case 'B': *out = 0x08; return 1;
    case 'N': *out = 0x0A; return 1;
    case 'R': *out = 0x0D; return 1;
    case 'X': *out = 0x11; return 1;
    case 'Y': *out = 0x13; return 1;
    case '[': *out = 0x1B; return 1;
    case 'Q':
    case 'q': return -1;  // end of programming
    default: *out = (uint8_t)c; return 1;
    }
}

// 128 data bytes escaped to two characters each, and the CR.
#define PROGRAM_LINE (2 * 128 + 1 + 1)
#define PROGRAM_DATA 128

enum { LINE_DATA, LINE_END, LINE_STOP };

// Decodes one programming line; LINE_STOP ends programming mode after a
// message, with the bytes of the line unwritten; LINE_END is the " Q" line.
static int decode_line(const char* line, uint32_t address, int verbose, uint8_t* data, unsigned* n)
{
    *n = 0;
    for (const char* p = line; *p; ++p) {
        uint8_t b = (uint8_t)*p;
        if (*p == ' ') {
            if (!p[1])
                break;  // a blank at the end escapes nothing
            int r = unescape(*++p, &b);
            if (r < 0)
                return LINE_END;
        }
        if (*n >= PROGRAM_DATA) {
            txString("\rInput buffer overflowed!\r");
            return LINE_STOP;
        }
        if (address + *n >= STORE_SIZE) {
            txString("\rCannot write past end of external memory!\r");
            return LINE_STOP;
        }
        data[(*n)++] = b;
        if (verbose)
            perr("byte %u: %02X\r", *n - 1, b);
    }
    return LINE_DATA;
}

int cmdProgram(unsigned hi, unsigned lo, int verbose)
{
    static char line[PROGRAM_LINE + 1];
    static uint8_t data[PROGRAM_DATA];
    uint32_t address = (uint32_t)hi * 65536u + lo;
    uint8_t wasBinary = binaryEnable;
    binaryEnable = 0;
    int result = CMD_OK;
    for (;;) {
        txString("p>\r");
        while (isLineAvail() != 1)
            KM_Delay(1);
        rxString(line, PROGRAM_LINE);
        if (!strcmp(line, "*SERR") || !strcmp(line, "*IERR")) {
            // An over-long or broken line is not data.
            txString("\rInput buffer overflowed!\r");
            break;
        }
        size_t len = strlen(line);
        if (len && line[len - 1] == '\r')
            line[--len] = 0;
        if (verbose) {
            txString("\rSaw: '");
            txString(line);
            txString("'\r");
        }
        unsigned n = 0;
        int kind = decode_line(line, address, verbose, data, &n);
        if (kind == LINE_STOP)
            break;
        if (kind == LINE_END) {
            if (Flash2Init() != 0) {
                txString(":invalid data in Flash\r");
                result = CMD_FAIL;
            }
            break;
        }
        if (n == 0)
            continue;
        if (verbose)
            perr("Programming %u byte%s @ 0x%08X...\r", n, n == 1 ? "" : "s", (unsigned)address);
        // The flash takes whole words: the store refuses an odd count, and
        // the line ends programming mode as a failed write, unwritten.
        if (n & 1)
            txString("\r!Internal error - odd flash write");
        // The older model's validity word is stored as this controller's.
        if (n == 2 && address == 0 && data[0] == 0xEB && data[1] == 0xFE)
            data[0] = 0xEC;
        if (KM_ExtMem_ProgramArea(address, data, n, (uint8_t)verbose) != 0) {
            // Answered "!": the host must not take the image as stored.
            txString("\r!Write to external memory failed!");
            perr(" (%u byte%s @ 0x%04X%04X)\r", n, n == 1 ? "" : "s", (unsigned)(address >> 16),
                 (unsigned)(address & 0xFFFF));
            result = CMD_FAIL;
            break;
        }
        address += n;
    }
    binaryEnable = wasBinary;
    return result;
}

int cmdBinaryDownload(int dest, uint32_t offset, int32_t count, int32_t timeout)
{
    if (dest >= 0 && dest < RAM_SLOTS) {
        if (offset >= RAM_SLOT_SIZE)
            return CMD_FAIL;
        return doBlockBinDownload(RAM_SLOT_BASE + (uint32_t)dest * RAM_SLOT_SIZE + offset, count, timeout);
    }
    if (dest == RAM_SLOTS)
        return doFlashBinDownload(offset, count, timeout);
    return CMD_FAIL;
}

static int reply_crc(const void* start, uint32_t len)
{
    char b[16];
    snprintf(b, sizeof b, "0x%04X\r", CalcCRC((const uint8_t*)start, len));
    txString(b);
    return CMD_OK;
}

int cmdCrcScreen(void)
{
    return reply_crc(hw_ptr(FRAMEBUFFER), PANEL_PIXELS * 2);
}

int cmdCrcFirmware(void)
{
    return reply_crc(hw_ptr(FIRMWARE_AREA), FIRMWARE_SIZE);
}

int cmdCrcBoot(void)
{
    return reply_crc(hw_ptr(BOOT_BLOCK), BOOT_SIZE);
}

int cmdCrcImage(char* cmd)
{
    const uint8_t* store = (const uint8_t*)hw_ptr(STORE);
    unsigned a = 0, b = 0;
    int got = KM_sscanf(cmd, "%*s %x %x", &a, &b);
    if (got == 1) {
        txString(":missing argument\r");
        return CMD_FAIL;
    }
    if (got == 2) {
        // Only bytes of the store are read.
        if (a > b || b >= STORE_SIZE)
            return CMD_FAIL;
        char r[16];
        snprintf(r, sizeof r, "0x%04X\r", CalcCRC(store + a, (uint32_t)(b - a + 1)));
        txString(r);
        return CMD_OK;
    }
    uint16_t word = image_word(store);
    if (word != EXTMEM_VALID_PLUS) {
        perr(":Flash2 memory invalid (saw %04X, expected %04X)\r", word, EXTMEM_VALID_PLUS);
        return CMD_FAIL;
    }
    uint32_t size = ((const ExtMemHeader*)store)->size;
    if (size == 0 || size == 0xFFFFFFFFu || size > STORE_SIZE) {
        perr(":External memory invalid size 0x%08X\r", (unsigned)size);
        return CMD_FAIL;
    }
    return reply_crc(store, size);
}

// The first velm*.bin of the card's current directory, programmed into the
// store.
int cmdLoadFileToFlash(void)
{
    char name[13];
    if (!SDisInitialized() || findVelmBin(name) != 1)
        return CMD_FAIL;
    fat::FatFile* f = SD_fopen(name, fat::FF_READ);
    if (!f)
        return CMD_FAIL;
    int result = CMD_FAIL;
    if (SDvalidateBin(f)) {
        if (f->length > STORE_SIZE) {
            perr(":Failed to copy .BIN file (%d bytes) from SD Card to Data Flash (max %d bytes)\r", (int)f->length,
                 (int)STORE_SIZE);
        } else if (CopyBinFileToFlash2(f, name) != 0) {
            txString(":Failed to copy .BIN file from SD Card to Flash\r");
        } else {
            ExtMemBuffer = (uint8_t*)hw_ptr(STORE);
            result = CMD_OK;
        }
    }
    SD_fclose(f);
    return result;
}

int cmdLoadImage(void)
{
    return KM_Load_ExtMem() ? CMD_OK : CMD_FAIL;
}

int cmdFlashToRam(void)
{
    return KM_LoadFlash2ToRam() ? CMD_OK : CMD_FAIL;
}

int cmdPreviousConsole(void)
{
    if (prevMain == 0)
        makeUart0Main();
    else
        makeUart1Main();
    Init_485mode();
    return CMD_REPLIED;
}

int cmdControllerType(void)
{
    txString("1\r");
    return CMD_OK;
}
