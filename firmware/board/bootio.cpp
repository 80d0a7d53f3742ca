#include "board/bootio.h"

#include "app/KM_reply.h"
#include "app/KM_timer.h"
#include "graphics/GUI.h"
#include "board/hw.h"
#include "board/imx21.h"
#include "storage/file_sys.h"

uint32_t ledState;
uint32_t sdLedState;

// The two OCR bits of a pin select what drives an output; 3 is the data register.
static uint32_t ocr_reg(int pin) { return pin < 16 ? GPIO_OCR1 : GPIO_OCR2; }
static uint32_t ocr_bits(int pin) { return 3u << (2 * (pin & 15)); }

void gpio_write(int port, int pin, int level)
{
    uint32_t dr = GPIO_PORT(port) + GPIO_DR;
    if (level)
        hw_set32(dr, 1u << pin);
    else
        hw_clear32(dr, 1u << pin);
}

int gpio_read(int port, int pin)
{
    return (hw_read32(GPIO_PORT(port) + GPIO_SSR) >> pin) & 1;
}

void gpio_make_output(int port, int pin, int level)
{
    uint32_t base = GPIO_PORT(port);
    // The level goes into the data register first, so the pin never shows
    // the old one once it drives.
    gpio_write(port, pin, level);
    hw_set32(base + GPIO_GIUS, 1u << pin);
    hw_set32(base + ocr_reg(pin), ocr_bits(pin));
    hw_set32(base + GPIO_DDIR, 1u << pin);
}

void gpio_make_input(int port, int pin, int pullup)
{
    uint32_t base = GPIO_PORT(port);
    hw_set32(base + GPIO_GIUS, 1u << pin);
    hw_clear32(base + GPIO_DDIR, 1u << pin);
    if (pullup)
        hw_set32(base + GPIO_PUEN, 1u << pin);
    else
        hw_clear32(base + GPIO_PUEN, 1u << pin);
}

void InitGPIO(void)
{
    gpio_make_output(PORT_C, 16, 1);  // SD LED dark
    gpio_make_input(PORT_B, 13, 1);   // SD card detect
    gpio_make_output(PORT_B, 20, 1);  // status LED dark
    gpio_make_output(PORT_B, 17, 1);  // orientation bit 0
    gpio_make_output(PORT_B, 18, 0);  // orientation bit 1
    gpio_make_output(PORT_B, 12, 1);  // panel power off
    gpio_make_output(PORT_B, 16, 1);  // LCD signal buffer disabled
    gpio_make_output(PORT_B, 21, 1);  // backlight inverter enable
    gpio_make_output(PORT_B, 11, 0);  // VQ
}

void Led(int on)
{
    gpio_write(PORT_B, 20, on ? 0 : 1);
    ledState = on;
}

void LedToggle(void)
{
    ledState ^= 1;
    Led(ledState);
    SD_led(ledState);
}

void SD_led(int on)
{
    gpio_write(PORT_C, 16, on ? 0 : 1);
    sdLedState = on;
}

void SD_ledToggle(void)
{
    SD_led(!sdLedState);
}

void setVQpin(int v)
{
    gpio_write(PORT_B, 11, v & 1);
}

int getVQpin(void)
{
    return (hw_read32(GPIO_PORT(PORT_B) + GPIO_DR) >> 11) & 1;
}

void setOrient(int o)
{
    gpio_write(PORT_B, 17, o & 1);
    gpio_write(PORT_B, 18, (o >> 1) & 1);
}

// Board straps: PB5 low marks a 26 MHz reference, PB8 low an E board.
int has_26Mhz(void)
{
    return gpio_read(PORT_B, 5) == 0;
}

int is_plus_E(void)
{
    return gpio_read(PORT_B, 8) == 0 && gpio_read(PORT_B, 5) == 1;
}

int is_plus_N(void)
{
    return has_26Mhz() && gpio_read(PORT_B, 8) == 1;
}

void Delay_uSec(uint32_t n)
{
    KM_Delay_uSec(n);
}

void Delay(uint32_t ms)
{
    KM_Delay(ms);
}

fat::FatFile* SD_fopen(const char* name, int mode)
{
    fat::FatFile* f = fat::fopen(name, mode);
    if (f)
        SD_led(1);
    return f;
}

int16_t SD_fclose(fat::FatFile* f)
{
    SD_led(0);
    return fat::fclose(f);
}

// ---------------------------------------------------------------- restart

void BoardRestart(void)
{
    hw_write16(WDOG_BASE + WDOG_WCR, (uint16_t)(WDOG_WCR_SRS | WDOG_WCR_WDE | (0u << WDOG_WCR_WT_SHIFT)));
    for (;;)
        hw_idle(HW_IDLE_FOREVER);
}

void setDriveStrength(int high)
{
    hw_write32(SYSCTRL_DSCR1, high ? SYSCTRL_DSCR1_HIGH : SYSCTRL_DSCR1_NORMAL);
}

// ---------------------------------------------------------------- graphics diagnostics

// The graphics library's diagnostics go to the command port: on the board
// nobody reads the runtime's standard error.
static void gui_diagnostic(const char* prefix, const char* text)
{
    txString(prefix);
    if (text) {
        if (*text == '\n')
            ++text;
        txString(text);
    }
    txString("\r");
}

void GUI_X_Warn(const char* s)
{
    gui_diagnostic(":GUI_WARN:", s);
}

void GUI_X_ErrorOut(const char* s)
{
    gui_diagnostic(":GUI_ERR:", s);
}

void GUI_X_Log(const char* s)
{
    gui_diagnostic(":GUI:", s);
}
