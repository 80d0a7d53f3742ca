#include "storage/sdcard.h"

#include "board/bootio.h"
#include "board/hw.h"
#include "board/imx21.h"

volatile uint32_t SDhotplug;

int SDisSlotInitialized(void)
{
    return (hw_read32(CRM_BASE + CRM_PCCR0) & CRM_PCCR0_SDHC1) != 0;
}

// The SD bus lines PE18..PE23 held low while the card has no supply.
void SDioLow(void)
{
    for (int pin = 18; pin <= 23; ++pin)
        gpio_make_output(PORT_E, pin, 0);
}

// The card supply is switched by PF1 and PF3, low = on.
void SDcardPower(int on)
{
    gpio_make_output(PORT_F, 1, on ? 0 : 1);
    gpio_make_output(PORT_F, 3, on ? 0 : 1);
}

// The SD host controller is not driven yet.
void SDCardSlotInit(void) {}

void SDhotplugInitialized(void)
{
    SDhotplug = SD_MOUNTED;
}

void SDhotplugFailedToInit(void)
{
    SDhotplug = SD_MOUNT_FAILED;
}

int SDisInitialized(void)
{
    return SDhotplug == SD_MOUNTED;
}

// Card-detect debouncing comes with the card driver.
void SDhotplugUpdate(void) {}

// Mounting and power-down on hot-plug come with the card driver.
void SDcheckHotplug(void) {}
