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
