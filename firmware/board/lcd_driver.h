// LCD controller set-up, panel power, the panel's signal lines and buffer,
// and the wait for a scan line.
#pragma once

#include <stdint.h>

// LCD controller registers (offsets from LCDC_BASE).
#define LCDC_LSSAR 0x00  // screen start address
#define LCDC_LSR 0x04    // size: width / 16 in bits 20..25, height in 0..9
#define LCDC_LVPWR 0x08  // virtual page width in words
#define LCDC_LPCR 0x18   // panel configuration
#define LCDC_LHCR 0x1C   // horizontal timing
#define LCDC_LVCR 0x20   // vertical timing
#define LCDC_LPCCR 0x2C  // PWM contrast control
#define LCDC_LDCR 0x30   // DMA control
#define LCDC_LRMCR 0x34  // refresh mode control
#define LCDC_LISR 0x40   // interrupt status; bit 1 once per frame

// PWM contrast control: duty byte in bits 0..7, enable, clock source.
#define LCDC_LPCCR_DUTY 0xFFu
#define LCDC_LPCCR_CC_EN (1u << 8)
#define LCDC_LPCCR_SCR_MASK (3u << 9)
#define LCDC_LPCCR_SCR_PIXCLK (1u << 9)

// The frame buffer and the panel.  Pixels are written only through the
// display driver (LCD_L0_PixelAddress for direct access), which marks the
// frame buffer changed as it writes.
extern uint32_t vram;
extern int LCD_WIDTH;
extern int LCD_HEIGHT;
extern int LCD_PIXELS;
extern int IMAGE_BPP;

// The frame buffer is cached write-back: what the processor draws may sit
// in the data cache, out of the LCD controller's sight, until the cache is
// cleaned.  The display driver marks it changed whenever it writes it or
// hands out a pixel's address for writing; when drawing is done (a command, a macro line, a main-loop pass, before a wait) the
// caller flushes it, which cleans the data cache only when something was
// drawn since the last flush.
extern uint8_t fbChanged;
static inline void LCD_FrameBufferChanged(void) { fbChanged = 1; }
void LCD_FlushFrameBuffer(void);
// Cleans the data cache (out of line, under its own name: the one place the
// firmware does it after start-up).
extern "C" void LCD_CleanDataCache(void);

// Starts the controller for the panel (called by the display driver).
void InitLCD(int width, int height, int bpp);
void InitLCD_VGA(void);
// Switches the controller's clocks; off stops the scan.
void setEnableLCDC(int on);

// Signal lines PA5..PA31: held low as GPIO outputs, or handed to the
// controller; the signal buffer (PB16) and panel power (PB12), both active
// low.
void LCD_sigs_low(void);
void LCD_sigs_active(void);
void LCD_sigs_buf_ena(int on);
void KM_Panel_Power(int on);

// Waits until the panel is about to scan the given line (wrf: a line
// relative to the drawing origin), so that drawing can avoid tearing.
void wvr(int line);
void wrf(int x, int line);
