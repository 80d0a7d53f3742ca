// The board each firmware build runs on: what differs between the boards of
// the five builds beyond the firmware itself.
#pragma once

#include "board.h"

namespace sim {

struct BuildWiring {
    const char* name;          // the build, e.g. "velm5plus-wvga"
    int panel_width, panel_height;
    bool pwm_low_is_bright;    // the backlight inverter's PWM polarity
    bool capacitive_touch;     // the FocalTech controller is fitted
};

// The wiring of the build whose configuration header (config/build_config.h)
// is included where this is used.
#define VELM_BUILD_WIRING \
    { VELM_BUILD_NAME, PANEL_WIDTH, PANEL_HEIGHT, PANEL_MAX_BRITE > PANEL_MIN_BRITE, TOUCH_CAPACITIVE != 0 }

// Fits the board out for the build: the backlight inverter of its panel, the
// capacitive touch controller of the capacitive panel.
void wire_board(Board& board, const BuildWiring& build);

}  // namespace sim
