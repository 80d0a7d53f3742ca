#include "board/lcd_driver.h"

#include "app/KM_timer.h"
#include "app/command.h"
#include "board/MAC_panelTiming.h"
#include "board/bootio.h"
#include "board/hw.h"
#include "board/imx21.h"
#include "config/build_config.h"
#include "storage/KM_eeprom.h"

uint32_t vram;
uint8_t fbChanged;
int LCD_WIDTH;
int LCD_HEIGHT;
int LCD_PIXELS;
int IMAGE_BPP;

// The controller's two clocks: its bus clock and the pixel clock source.
#define CRM_PCCR0_HCLK_LCDC (1u << 26)
#define CRM_PCCR0_PERCLK3 (1u << 18)
#define LCDC_CLOCKS (CRM_PCCR0_HCLK_LCDC | CRM_PCCR0_PERCLK3)
// PERDIV3 in PCDR1: the LCD clock divider.
#define CRM_PCDR1_PERDIV3_SHIFT 16
#define CRM_PCDR1_PERDIV3_MASK (0x3Fu << CRM_PCDR1_PERDIV3_SHIFT)
// The AHB crossbar's priority register of slave port 3 (SDRAM): the LCD
// controller's DMA must win over the processor, or the picture tears.
#define AHB_MAX_BASE 0x1003F000u
#define AHB_MAX_MPR3 0x300
#define AHB_MAX_MPR3_LCD_FIRST 0x00543021u

// Panel configuration: TFT, colour, 16 bpp, the panel's signal polarities,
// pixel clock divider 1; bit 21 picks the shift-clock edge.
#define LCDC_LPCR_PANEL 0xFAE80081u
#define LCDC_LPCR_CLKPOL (1u << 21)
#define LCDC_LPCCR_RESET_PWM 0x00A00100u
#define LCDC_LPCCR_RESET_NOPWM 0x00A00300u
#define LCDC_LDCR_BURST 0x0004000Cu

// PA5..PA31 carry the panel's signals.
#define LCD_SIGNAL_PINS 0xFFFFFFE0u
#define PIN_PANEL_POWER 12
#define PIN_SIGNAL_BUFFER 16

static_assert(((PANEL_WIDTH / 16) << 20 | PANEL_HEIGHT) == PANEL_LSR, "size register of this panel");
static_assert(PANEL_WIDTH / 2 == PANEL_LVPWR, "line width of this panel");

// PA5..PA31 as GPIO outputs driven low: the panel must not see signals
// before it has power.
void LCD_sigs_low(void)
{
    const uint32_t a = GPIO_PORT(PORT_A);
    hw_clear32(a + GPIO_DR, LCD_SIGNAL_PINS);
    hw_set32(a + GPIO_GIUS, LCD_SIGNAL_PINS);
    hw_set32(a + GPIO_OCR1, 0xFFFFFC00);
    hw_write32(a + GPIO_OCR2, 0xFFFFFFFF);
    hw_set32(a + GPIO_DDIR, LCD_SIGNAL_PINS);
    if (PANEL_SIGS_LOW_PA30_HIGH)
        gpio_write(PORT_A, 30, 1);
}

void LCD_sigs_active(void)
{
    const uint32_t a = GPIO_PORT(PORT_A);
    hw_clear32(a + GPIO_GPR, LCD_SIGNAL_PINS);
    hw_clear32(a + GPIO_GIUS, LCD_SIGNAL_PINS);
    hw_set32(CRM_BASE + CRM_PCCR0, LCDC_CLOCKS);
    setOrient(eepromData.orient);
}

void LCD_sigs_buf_ena(int on)
{
    gpio_write(PORT_B, PIN_SIGNAL_BUFFER, on ? 0 : 1);
}

void KM_Panel_Power(int on)
{
    gpio_write(PORT_B, PIN_PANEL_POWER, on ? 0 : 1);
}

void setEnableLCDC(int on)
{
    if (on)
        hw_set32(CRM_BASE + CRM_PCCR0, LCDC_CLOCKS);
    else
        hw_clear32(CRM_BASE + CRM_PCCR0, LCDC_CLOCKS);
}

// A timing field that holds 0xFF (never set) takes this build's default,
// and the record keeps it.
static void timing_defaults(void)
{
    struct Field {
        uint8_t* field;
        uint8_t value;
    };
    EepromRecord& e = eepromData;
    const Field fields[6] = {
        {&e.hfp, PANEL_HFP}, {&e.hpw, PANEL_HPW}, {&e.hbp, PANEL_HBP},
        {&e.vfp, PANEL_VFP}, {&e.vpw, PANEL_VPW}, {&e.vbp, PANEL_VBP},
    };
    for (const Field& f : fields)
        if (*f.field == 0xFF)
            *f.field = f.value;
}

void InitLCD_VGA(void)
{
    hw_modify32(CRM_BASE + CRM_PCDR1, CRM_PCDR1_PERDIV3_MASK, 4u << CRM_PCDR1_PERDIV3_SHIFT);
    IMAGE_BPP = 16;
    LCD_WIDTH = PANEL_WIDTH;
    LCD_HEIGHT = PANEL_HEIGHT;
    LCD_PIXELS = PANEL_PIXELS;
    timing_defaults();
    hw_write32(AHB_MAX_BASE + AHB_MAX_MPR3, AHB_MAX_MPR3_LCD_FIRST);
    // The controller is programmed with its clocks stopped; LCD_sigs_active
    // starts them once the panel has power.
    hw_clear32(CRM_BASE + CRM_PCCR0, LCDC_CLOCKS);

    const uint32_t c = LCDC_BASE;
    vram = SDRAM_FRAMEBUFFER;
    hw_write32(c + LCDC_LSSAR, vram);
    hw_write32(c + LCDC_LSR, (uint32_t)(LCD_WIDTH / 16) << 20 | (uint32_t)LCD_HEIGHT);
    hw_write32(c + LCDC_LVPWR, (uint32_t)LCD_WIDTH / 2);
    uint32_t lpcr = LCDC_LPCR_PANEL;
    if (eepromData.LCDshiftclock == 0)
        lpcr &= ~LCDC_LPCR_CLKPOL;
    hw_write32(c + LCDC_LPCR, lpcr);
    setLCDtiming();
    hw_write32(c + LCDC_LPCCR, eepromData.pwmIsEnable ? LCDC_LPCCR_RESET_PWM : LCDC_LPCCR_RESET_NOPWM);
    hw_write32(c + LCDC_LDCR, LCDC_LDCR_BURST);
    hw_write32(c + LCDC_LRMCR, 0);
}

void InitLCD(int width, int height, int bpp)
{
    (void)height;
    (void)bpp;
    setVQpin(width == 320 ? 0 : 1);
    InitLCD_VGA();
}

// The 1 ms tick counts the milliseconds since the controller last flagged a
// frame (frameTimer).  The wait ends in the quarter frame after the target
// line's time, or when the frame time lies so far before a target near the
// frame's end that the line was, in effect, just scanned at the end of the
// last frame.  A time-out of two frames covers a controller that has
// stopped.
void wvr(int line)
{
    if (line >= LCD_HEIGHT)
        line = LCD_HEIGHT - 1;
    if (line < 0)
        line = 0;
    const EepromRecord& e = eepromData;
    uint32_t target = (uint32_t)((float)(e.vfp + e.vpw + 1 + e.vbp + line) * msPerLine + 0.0005f) + 1;
    if (target > msPerFrame)
        target = msPerFrame;
    const uint32_t quarter = msPerFrame / 4, threeQuarters = msPerFrame * 3 / 4;
    wvrTimer = 2 * msPerFrame;
    while (wvrTimer) {
        const uint32_t t = KM_TimerGetFrameTime();
        if (t >= target && t <= target + quarter)
            return;
        if (t < target && target - t > threeQuarters)
            return;
        hw_idle(HW_IDLE_FOREVER);
    }
}

void wrf(int x, int line)
{
    (void)x;
    // Wide: wvr holds any row to the screen's, so a row far off it only
    // needs to stay off it.
    const int64_t row = (int64_t)line + Origin_Y;
    wvr(row < 0 ? -1 : row > LCD_HEIGHT ? LCD_HEIGHT : (int)row);
}

// ---------------------------------------------------------------- frame buffer

extern "C" __attribute__((noinline)) void LCD_CleanDataCache(void)
{
    hw_dcache_clean();
}

void LCD_FlushFrameBuffer(void)
{
    if (!fbChanged)
        return;
    fbChanged = 0;
    LCD_CleanDataCache();
}
