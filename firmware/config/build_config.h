// The build configuration of this firmware image: the values of its entry
// in builds.h, chosen at compile time by VELM_BUILD (the build's name with
// '_' for '-', set by CMake).
#pragma once

#include "builds.h"

#ifndef VELM_BUILD
#error "VELM_BUILD names the build whose entry of builds.h this image takes"
#endif

#define VELM_PASTE_(a, b) a##b
#define VELM_PASTE(a, b) VELM_PASTE_(a, b)
#define VELM_APPLY(m, entry) m entry
// Value f of this build's entry.
#define VELM_VALUE(f) VELM_APPLY(VELM_VALUE_##f, VELM_PASTE(VELM_BUILD_, VELM_BUILD))

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

// The build's values under the names the firmware uses (see builds.h).
#define VELM_BUILD_NAME VELM_VALUE(name)
#define PANEL_WIDTH VELM_VALUE(width)
#define PANEL_HEIGHT VELM_VALUE(height)
#define PANEL_WORD VELM_VALUE(word)
#define PANEL_LABEL VELM_VALUE(label)
#define PANEL_HFP VELM_VALUE(hfp)
#define PANEL_HPW VELM_VALUE(hpw)
#define PANEL_HBP VELM_VALUE(hbp)
#define PANEL_VFP VELM_VALUE(vfp)
#define PANEL_VPW VELM_VALUE(vpw)
#define PANEL_VBP VELM_VALUE(vbp)
#define PANEL_LSR VELM_VALUE(lsr)
#define PANEL_LVPWR VELM_VALUE(lvpwr)
#define PANEL_POWERUP_DELAY_MS VELM_VALUE(powerupMs)
#define PANEL_MAX_BRITE VELM_VALUE(maxBrite)
#define PANEL_MIN_BRITE VELM_VALUE(minBrite)
#define TOUCH_CAPACITIVE VELM_VALUE(capacitive)
#define PANEL_SIGS_LOW_PA30_HIGH VELM_VALUE(pa30High)

#define PANEL_PIXELS (PANEL_WIDTH * PANEL_HEIGHT)
