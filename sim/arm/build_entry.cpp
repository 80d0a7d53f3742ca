// The wiring of one build, compiled once per build with its configuration
// header (VELM_BUILD_HEADER) under the name VELM_BUILD_SYMBOL.
#include "build_wiring.h"
#include "config/build_config.h"

extern const sim::BuildWiring VELM_BUILD_SYMBOL;
const sim::BuildWiring VELM_BUILD_SYMBOL = VELM_BUILD_WIRING;
