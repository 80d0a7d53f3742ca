// Renders the glyphs of a font entry with FreeType into cells of the entry's
// metrics: the pixel size is chosen so that hinted capitals and lower-case
// letters have the entry's heights on its baseline.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "font_table.h"

namespace fontgen {

struct Glyph {
    unsigned code = 0;
    int xSize = 0, ySize = 0;  // pixel rows: full cell (prop, aa4) or box (ext)
    int xPos = 0, yPos = 0;    // box offset from the cursor (ext; 0 for full cells)
    int xDist = 0;             // advance
    int bpp = 1;
    std::vector<uint8_t> pixels;  // one value per pixel, rows top first: 0/1, or 0..15

    int at(int x, int y) const { return pixels[static_cast<size_t>(y) * xSize + x]; }
    int bytes_per_line() const { return (xSize * bpp + 7) / 8; }
    // Rows packed as the firmware keeps them: most significant bits leftmost.
    std::vector<uint8_t> packed() const;
};

struct RasterFont {
    FontEntry entry;
    std::string facePath;
    double pixelSize = 0;  // pixels per em actually used
    std::string method;    // how the outlines were turned into pixels
    std::vector<Glyph> glyphs;  // every code of every range, in chain order
};

// Renders entry from the TrueType file facePath.  False with a reason in
// error when the face cannot be read or no size meets the entry's heights.
bool render_font(const FontEntry& entry, const std::string& facePath, RasterFont& out, std::string& error);

// The rules the generated fonts keep; the reasons they break, one per line
// (empty when all hold).
std::string check_font(const RasterFont& font);

}  // namespace fontgen
