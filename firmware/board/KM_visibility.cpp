#include "board/KM_visibility.h"

#include "board/bootio.h"
#include "board/hw.h"
#include "board/imx21.h"
#include "board/lcd_driver.h"
#include "storage/KM_eeprom.h"

// The backlight inverter takes the LCD controller's PWM output.  On panels
// whose end points run upward (maxBrite > minBrite) a low duty byte is
// bright and 0xFF is dark; on the others the PWM enable bit switches the
// light off.  PB21 enables the inverter, high unless invEnaHiTrue says the
// board inverts it.

#define PIN_INVERTER 21
#define LPCCR (LCDC_BASE + LCDC_LPCCR)

static int visibilityDone;

static void inverter_pin(int on)
{
    const int high = eepromData.invEnaHiTrue ? !on : on;
    gpio_write(PORT_B, PIN_INVERTER, high);
}

void KM_Brite_Set(int brite)
{
    if (brite < 0)
        brite = 0;
    if (brite > 255)
        brite = 255;
    eepromData.brite = (uint8_t)brite;
    const int maxB = eepromData.maxBrite, minB = eepromData.minBrite;
    int v;
    if (maxB > minB) {
        v = minB + (maxB - minB) * brite / 255;
        if (v > maxB)
            v = maxB;
    } else {
        v = maxB + (minB - maxB) * (255 - brite) / 255;
        if (v > minB)
            v = minB;
    }
    hw_modify32(LPCCR, LCDC_LPCCR_DUTY, (uint32_t)(255 - v));
}

void KM_External_Inverter_On(void)
{
    if (eepromData.pwmIsEnable) {
        hw_set32(LPCCR, LCDC_LPCCR_CC_EN);
        KM_Brite_Set(eepromData.brite);
    }
    inverter_pin(1);
}

void KM_External_Inverter_Off(void)
{
    if (eepromData.pwmIsEnable) {
        if (eepromData.maxBrite > eepromData.minBrite)
            hw_set32(LPCCR, LCDC_LPCCR_DUTY);
        else
            hw_clear32(LPCCR, LCDC_LPCCR_CC_EN);
    }
    inverter_pin(0);
}

void setLCDpwmClock(void)
{
    if (eepromData.pwmIsEnable)
        hw_clear32(LPCCR, LCDC_LPCCR_SCR_MASK);
    else
        hw_set32(LPCCR, LCDC_LPCCR_SCR_PIXCLK);
}

void KM_Visibility_Init(void)
{
    if (visibilityDone)
        return;
    KM_External_Inverter_On();
    KM_Brite_Set(eepromData.brite);
    visibilityDone = 1;
}
