#include "board/demo_main.h"

#include "app/KM_timer.h"
#include "app/KM_touch.h"
#include "app/Main.h"
#include "board/bootio.h"
#include "board/hw.h"
#include "board/imx21.h"
#include "board/interrupt.h"
#include "board/lcd_driver.h"
#include "board/serialmem.h"
#include "storage/KM_extmem.h"
#include "storage/file_sys.h"
#include "storage/sdcard.h"

// Sizes of the SPI flash by its JEDEC capacity code.  Only the SPI-flash
// image path uses them, and the firmware keeps its image in the NOR flash.
uint32_t serialFlashSize;
uint32_t serialFlashSectorSize;
uint32_t serialFlashSectors;

void InitEverything(void)
{
    hw_write32(CRM_BASE + CRM_PCDR1, 0x0307070F);  // peripheral clock dividers
    hw_set32(CRM_BASE + CRM_PCCR0, 0x803);
    hw_set32(CRM_BASE + CRM_PCCR1, 0x17000000);  // module clock enables

    InitGPIO();
    LCD_sigs_low();
    setOrient(0);
    LCD_sigs_buf_ena(1);

    InitTouch();
    InitTouch2();

    InitSerialFlash();
    ExtMemSize = 0x1BC0000;
    switch (ReadSerialFlashID() & 0xFF) {
    case 0x17:
        serialFlashSize = 0x800000;
        serialFlashSectorSize = 0x20000;
        break;
    case 0x18:
        serialFlashSize = 0xB00000;
        serialFlashSectorSize = 0x40000;
        break;
    default:
        serialFlashSize = 0x400000;
        serialFlashSectorSize = 0x10000;
        break;
    }
    serialFlashSectors = 64;

    InitI2C();
    KM_TimerInit();
    SDCardSlotInit();
    if (initialize_media())
        SDhotplugInitialized();
    else
        SDhotplugFailedToInit();
}

int main(void)
{
    gpio_make_output(PORT_B, 19, 1);
    if (!SDisSlotInitialized()) {
        SDioLow();
        SDcardPower(1);
    }
    gpio_make_output(PORT_E, 5, 0);
    interrupt_init();
    InitEverything();
    KM_main();
    return 0;
}
