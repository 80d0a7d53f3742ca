// Build configuration velm5plus-vga.
#pragma once

#define VELM_BUILD_NAME "velm5plus-vga"
#define PANEL_WIDTH 640
#define PANEL_HEIGHT 480
// Panel word of the version text.
#define PANEL_WORD "VGA"

// Panel timing defaults (pixel clocks and lines).
#define PANEL_HFP 32
#define PANEL_HPW 2
#define PANEL_HBP 32
#define PANEL_VFP 8
#define PANEL_VPW 2
#define PANEL_VBP 8
// LCD controller size register and line width in words.
#define PANEL_LSR 0x028001E0
#define PANEL_LVPWR 320

// Wait after switching panel power on, before the signals go live.
#define PANEL_POWERUP_DELAY_MS 10

// Backlight PWM end points of this panel's inverter.
#define PANEL_MAX_BRITE 0
#define PANEL_MIN_BRITE 242

// Touch front end: 0 resistive converter, 1 FocalTech capacitive controller.
#define TOUCH_CAPACITIVE 0

// This panel wants LCD signal PA30 high while the others are held low.
#define PANEL_SIGS_LOW_PA30_HIGH 0
