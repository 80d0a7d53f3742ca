// The build configuration of this firmware image, chosen at compile time by
// VELM_BUILD_HEADER (one of the five headers beside this one).
#pragma once

#ifndef VELM_BUILD_HEADER
#error "VELM_BUILD_HEADER names the build configuration header"
#endif
#include VELM_BUILD_HEADER

#define PANEL_PIXELS (PANEL_WIDTH * PANEL_HEIGHT)
