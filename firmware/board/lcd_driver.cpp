#include "board/lcd_driver.h"

#include "board/bootio.h"
#include "board/hw.h"
#include "board/imx21.h"
#include "config/build_config.h"

// PA5..PA31 as GPIO outputs driven low: the panel must not see signals
// before it has power.
void LCD_sigs_low(void)
{
    const uint32_t a = GPIO_PORT(PORT_A);
    const uint32_t pins = 0xFFFFFFE0;
    hw_clear32(a + GPIO_DR, pins);
    hw_set32(a + GPIO_GIUS, pins);
    hw_set32(a + GPIO_OCR1, 0xFFFFFC00);
    hw_write32(a + GPIO_OCR2, 0xFFFFFFFF);
    hw_set32(a + GPIO_DDIR, pins);
    if (PANEL_SIGS_LOW_PA30_HIGH)
        gpio_write(PORT_A, 30, 1);
}

void LCD_sigs_buf_ena(int on)
{
    gpio_write(PORT_B, 16, on ? 0 : 1);
}
