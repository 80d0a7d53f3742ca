// The build configuration of this firmware image: the values of its entry
// in builds.h, chosen at compile time by VELM_BUILD (the build's name with
// '_' for '-', set by CMake).
#pragma once

#include "builds.h"

#ifndef VELM_BUILD
#error "VELM_BUILD names the build whose entry of builds.h this image takes"
#endif

// Value f of this build's entry.
#define VELM_VALUE(f) VELM_APPLY(VELM_VALUE_##f, VELM_PASTE(VELM_BUILD_, VELM_BUILD))

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
