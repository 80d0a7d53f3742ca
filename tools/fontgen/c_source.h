// Writes a rendered font as a C++ source file of the firmware: glyph rows,
// glyph records, the code-range chain and the font record of its kind.
#pragma once

#include <string>

#include "raster.h"

namespace fontgen {

std::string c_source(const RasterFont& font);

}  // namespace fontgen
