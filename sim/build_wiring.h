// The board each firmware build runs on: what differs between the boards of
// the five builds beyond the firmware itself.
#pragma once

#include "board.h"
#include "config/builds.h"

namespace sim {

struct BuildWiring {
    const char* name;          // the build, e.g. "velm5plus-wvga"
    int panel_width, panel_height;
    bool pwm_low_is_bright;    // the backlight inverter's PWM polarity
    bool capacitive_touch;     // the FocalTech controller is fitted
};

// The wiring of a build from its entry in the table of builds
// (config/builds.h), e.g. VELM_WIRING_OF(VELM_BUILD_velm5plus_vga).
#define VELM_WIRING_OF(entry)                                                                         \
    {                                                                                                 \
        VELM_APPLY(VELM_VALUE_name, entry), VELM_APPLY(VELM_VALUE_width, entry),                      \
            VELM_APPLY(VELM_VALUE_height, entry),                                                     \
            VELM_APPLY(VELM_VALUE_maxBrite, entry) > VELM_APPLY(VELM_VALUE_minBrite, entry),          \
            VELM_APPLY(VELM_VALUE_capacitive, entry) != 0                                             \
    }

// Fits the board out for the build: the backlight inverter of its panel, the
// capacitive touch controller of the capacitive panel.
void wire_board(Board& board, const BuildWiring& build);

}  // namespace sim
