// Build configuration velm5plus-wvga-cap.
#pragma once

#define VELM_BUILD_NAME "velm5plus-wvga-cap"
#define PANEL_WIDTH 800
#define PANEL_HEIGHT 480
// Panel word of the version text.
#define PANEL_WORD "WVGA-FTPCAP"

// Panel timing defaults (pixel clocks and lines).
#define PANEL_HFP 40
#define PANEL_HPW 48
#define PANEL_HBP 40
#define PANEL_VFP 13
#define PANEL_VPW 3
#define PANEL_VBP 29
// LCD controller size register and line width in words.
#define PANEL_LSR 0x032001E0
#define PANEL_LVPWR 400

// Wait after switching panel power on, before the signals go live.
#define PANEL_POWERUP_DELAY_MS 10

// Backlight PWM end points of this panel's inverter.
#define PANEL_MAX_BRITE 0
#define PANEL_MIN_BRITE 242

// Touch front end: 0 resistive converter, 1 FocalTech capacitive controller.
#define TOUCH_CAPACITIVE 1

// This panel wants LCD signal PA30 high while the others are held low.
#define PANEL_SIGS_LOW_PA30_HIGH 0
