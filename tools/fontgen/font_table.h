// What one generated font is to be: its name, kind, face, cell metrics and
// code ranges, as a line of a font table gives them.
#pragma once

#include <string>
#include <vector>

namespace fontgen {

enum class Kind {
    Prop,  // 1 bpp, full cells, XSize = XDist
    AA4,   // 4 bpp intensities, full cells
    Ext,   // 1-bpp boxes placed relative to the cursor
};

struct CodeRange {
    unsigned first, last;  // inclusive
};

struct FontEntry {
    std::string name;
    Kind kind = Kind::Prop;
    std::string face;  // key of the face (sans, sans-bold, mono, mono-bold)
    int ySize = 0, baseline = 0, lHeight = 0, cHeight = 0;
    std::vector<CodeRange> ranges;  // chain order

    // Mono faces make monospaced fonts: one advance for every code.
    bool monospaced() const { return face.rfind("mono", 0) == 0; }
};

// Reads a font table: one font per line, '#' comments, blank lines ignored.
// On a malformed line returns false with the reason in error.
bool read_font_table(const std::string& path, std::vector<FontEntry>& fonts, std::string& error);

// The character a code of the firmware's 8-bit text stands for: Latin-1,
// with 0x80-0x9F read as Windows-1252.  0 when the code has none.
unsigned unicode_of(unsigned code);

}  // namespace fontgen
