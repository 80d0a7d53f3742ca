#include "board/bootflash.h"

#include "board/hw.h"
#include "board/imx21.h"

#define FLASH_CMD1 (FLASH_BASE + 0xAAA)
#define FLASH_CMD2 (FLASH_BASE + 0x554)
#define DQ7 0x80
#define DQ5 0x20

static void unlock(void)
{
    hw_write16(FLASH_CMD1, 0xAA);
    hw_write16(FLASH_CMD2, 0x55);
}

// Data polling: DQ7 shows the complement of the data until the word is in;
// DQ5 set while DQ7 still differs means the chip gave up.  (The chip's
// toggle bit, which flips at every read, does not matter here.)
static int wait_programmed(uint32_t addr, uint8_t want)
{
    for (;;) {
        uint8_t s = hw_read8(addr);
        if (!((s ^ want) & DQ7))
            return 1;
        if (s & DQ5) {
            s = hw_read8(addr);
            return !((s ^ want) & DQ7);
        }
        hw_idle(HW_IDLE_FOREVER);
    }
}

int FlashWriteBlock(uint32_t dst, const void* src, uint32_t nbytes)
{
    const uint8_t* s = (const uint8_t*)src;
    int ok = 1;
    hw_write16(FLASH_BASE, 0xF0);
    unlock();
    hw_write16(FLASH_CMD1, 0x20);  // unlock bypass
    for (uint32_t i = 0; i + 1 < nbytes; i += 2) {
        uint16_t v = (uint16_t)(s[i] | (s[i + 1] << 8));
        hw_write16(FLASH_BASE, 0xA0);
        hw_write16(dst + i, v);
        if (!wait_programmed(dst + i, s[i])) {
            ok = 0;
            break;
        }
    }
    hw_write16(FLASH_BASE, 0x90);
    hw_write16(FLASH_BASE, 0x00);
    hw_write16(FLASH_BASE, 0xF0);
    return ok;
}

int FlashEraseSector(uint32_t sectorAddress)
{
    int ok = 1;
    hw_write16(FLASH_BASE, 0xF0);
    unlock();
    hw_write16(FLASH_CMD1, 0x80);
    unlock();
    hw_write16(sectorAddress, 0x30);
    for (;;) {
        uint8_t s = hw_read8(sectorAddress);
        if (s & DQ7)
            break;
        if (s & DQ5) {
            ok = (hw_read8(sectorAddress) & DQ7) != 0;
            break;
        }
        hw_idle(HW_IDLE_FOREVER);
    }
    hw_write16(FLASH_BASE, 0xF0);
    return ok;
}

// Callers always erase before they program.
int FlashIsErased(uint32_t, uint32_t)
{
    return 0;
}
