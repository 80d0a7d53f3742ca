// The firmware's builds, one entry each: another panel is one more entry.
// An entry is named VELM_BUILD_ and the build's name with '_' for '-';
// build_config.h takes this build's values from it, and CMake takes the
// list of builds from the names in the entries.
//
// The values of an entry, in order:
//   name          the build's name
//   width height  panel size in pixels
//   word          panel word of the version text
//   label         the panel's label ("*panel")
//   hfp hpw hbp   horizontal timing defaults (pixel clocks)
//   vfp vpw vbp   vertical timing defaults (lines)
//   lsr lvpwr     LCD controller size register and line width in words
//   powerupMs     wait after switching panel power on, before the signals go live
//   maxBrite minBrite  backlight PWM end points of the panel's inverter
//   capacitive    touch front end: 0 resistive converter, 1 FocalTech capacitive controller
//   pa30High      1: the panel wants LCD signal PA30 high while the others are held low
#pragma once

// clang-format off
//                                     name                  width height word           label          hfp hpw hbp vfp vpw vbp lsr         lvpwr powerupMs maxBrite minBrite capacitive pa30High
#define VELM_BUILD_velm5plus_wvga     ("velm5plus-wvga",     800,  480,   "WVGA",        "WVGA_TYPE2",  40, 48, 40, 13, 3,  29, 0x032001E0, 400, 1000,     255,       1,      0,         1)
#define VELM_BUILD_velm5plus_wvga1    ("velm5plus-wvga1",    800,  480,   "WVGA",        "WVGA_TYPE1",  40, 48, 40, 13, 3,  29, 0x032001E0, 400,   70,       0,     242,      0,         0)
#define VELM_BUILD_velm5plus_svga     ("velm5plus-svga",     800,  600,   "SVGA",        "SVGA",        32,  2, 32,  8, 2,  20, 0x03200258, 400,   10,       0,     242,      0,         0)
#define VELM_BUILD_velm5plus_vga      ("velm5plus-vga",      640,  480,   "VGA",         "VGA",         32,  2, 32,  8, 2,   8, 0x028001E0, 320,   10,       0,     242,      0,         0)
#define VELM_BUILD_velm5plus_wvga_cap ("velm5plus-wvga-cap", 800,  480,   "WVGA-FTPCAP", "WVGA_FTPCAP", 40, 48, 40, 13, 3,  29, 0x032001E0, 400,   10,       0,     242,      1,         0)
// clang-format on

// Reading an entry: VELM_APPLY(VELM_VALUE_width, VELM_BUILD_velm5plus_vga)
// is 640.
#define VELM_PASTE_(a, b) a##b
#define VELM_PASTE(a, b) VELM_PASTE_(a, b)
#define VELM_APPLY(m, entry) m entry
// Where each value stands in an entry.
#define VELM_VALUE_name(name, ...) name
#define VELM_VALUE_width(name, width, ...) width
#define VELM_VALUE_height(name, width, height, ...) height
#define VELM_VALUE_word(name, width, height, word, ...) word
#define VELM_VALUE_label(name, width, height, word, label, ...) label
#define VELM_VALUE_hfp(name, width, height, word, label, hfp, ...) hfp
#define VELM_VALUE_hpw(name, width, height, word, label, hfp, hpw, ...) hpw
#define VELM_VALUE_hbp(name, width, height, word, label, hfp, hpw, hbp, ...) hbp
#define VELM_VALUE_vfp(name, width, height, word, label, hfp, hpw, hbp, vfp, ...) vfp
#define VELM_VALUE_vpw(name, width, height, word, label, hfp, hpw, hbp, vfp, vpw, ...) vpw
#define VELM_VALUE_vbp(name, width, height, word, label, hfp, hpw, hbp, vfp, vpw, vbp, ...) vbp
#define VELM_VALUE_lsr(name, width, height, word, label, hfp, hpw, hbp, vfp, vpw, vbp, lsr, ...) lsr
#define VELM_VALUE_lvpwr(name, width, height, word, label, hfp, hpw, hbp, vfp, vpw, vbp, lsr, lvpwr, ...) lvpwr
#define VELM_VALUE_powerupMs(name, width, height, word, label, hfp, hpw, hbp, vfp, vpw, vbp, lsr, lvpwr, \
                             powerupMs, ...)                                                             \
    powerupMs
#define VELM_VALUE_maxBrite(name, width, height, word, label, hfp, hpw, hbp, vfp, vpw, vbp, lsr, lvpwr, \
                            powerupMs, maxBrite, ...)                                                   \
    maxBrite
#define VELM_VALUE_minBrite(name, width, height, word, label, hfp, hpw, hbp, vfp, vpw, vbp, lsr, lvpwr, \
                            powerupMs, maxBrite, minBrite, ...)                                         \
    minBrite
#define VELM_VALUE_capacitive(name, width, height, word, label, hfp, hpw, hbp, vfp, vpw, vbp, lsr, lvpwr, \
                              powerupMs, maxBrite, minBrite, capacitive, ...)                             \
    capacitive
#define VELM_VALUE_pa30High(name, width, height, word, label, hfp, hpw, hbp, vfp, vpw, vbp, lsr, lvpwr, \
                            powerupMs, maxBrite, minBrite, capacitive, pa30High)                        \
    pa30High
