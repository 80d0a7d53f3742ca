// Writes a rendered font as SIF font data ("GUIP"), the font files that the
// PC program copies into the controller's memory image.
#pragma once

#include <cstdint>
#include <vector>

#include "raster.h"

namespace fontgen {

// Prop and AA4 fonts get 12-byte char infos (AA4 also as 2 bpp when aa2
// is set), Ext fonts 16-byte ones.  Pixel rows follow the char infos.
std::vector<uint8_t> sif_file(const RasterFont& font, bool aa2);

}  // namespace fontgen
