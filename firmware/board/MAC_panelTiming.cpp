#include "board/MAC_panelTiming.h"

#include "board/hw.h"
#include "board/imx21.h"
#include "board/lcd_driver.h"
#include "storage/KM_eeprom.h"

uint32_t htot;
uint32_t vtot;
float msPerLine;
uint32_t msPerFrame;

#define PIXEL_CLOCK_HZ 26000000.0f

// The controller counts the horizontal pulse width from 1, the front porch
// from 1 and the back porch from 3, in fields of 6, 8 and 8 bits; values
// the fields cannot hold are raised or lowered to the nearest they can, so
// a stray setting never spills into a neighbouring field.
static uint32_t clamp(uint32_t v, uint32_t lo, uint32_t hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

void setLCDtiming(void)
{
    const EepromRecord& e = eepromData;
    const uint32_t hpw = clamp(e.hpw, 1, 64), hfp = clamp(e.hfp, 1, 256), hbp = clamp(e.hbp, 3, 258);
    const uint32_t vpw = clamp(e.vpw, 0, 63), vfp = e.vfp, vbp = e.vbp;
    hw_write32(LCDC_BASE + LCDC_LHCR, (hpw - 1) << 26 | (hfp - 1) << 8 | (hbp - 3));
    hw_write32(LCDC_BASE + LCDC_LVCR, vpw << 26 | vfp << 8 | vbp);
    htot = (uint32_t)LCD_WIDTH + hfp + hbp + hpw;
    vtot = (uint32_t)LCD_HEIGHT + vfp + vbp + vpw;
    msPerLine = (float)htot * 1000.0f / PIXEL_CLOCK_HZ;
    msPerFrame = (uint32_t)(msPerLine * (float)vtot);
}
