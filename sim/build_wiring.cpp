#include "build_wiring.h"

namespace sim {

void wire_board(Board& board, const BuildWiring& build)
{
    board.lcdc.set_wiring({build.pwm_low_is_bright, true});
    board.focaltech.present = build.capacitive_touch;
}

}  // namespace sim
