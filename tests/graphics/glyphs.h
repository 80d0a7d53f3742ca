// Reading the glyphs of a font record as the generator left them, so that a
// test can say what drawing them must put on the screen.
#pragma once

#include <cstdint>
#include <string>

#include "graphics/GUI.h"

namespace glyphs {

enum class Kind { Prop, AA4, Ext };

inline Kind kind_of(const GUI_FontRecord& f)
{
    if (f.pfDispChar == GUIPROP_EXT_DispChar)
        return Kind::Ext;
    if (f.pfDispChar == GUIPROP_AA4_DispChar)
        return Kind::AA4;
    return Kind::Prop;
}

// One glyph: its pixel rows placed relative to the cursor.
struct Glyph {
    bool found = false;
    int xSize = 0, ySize = 0, xPos = 0, yPos = 0, xDist = 0, bpp = 1, bytesPerLine = 0;
    const uint8_t* rows = nullptr;

    // Value of the pixel at (x, y) of the rows: 0/1, or an intensity 0..15.
    int at(int x, int y) const
    {
        const uint8_t* r = rows + y * bytesPerLine;
        return bpp == 1 ? (r[x / 8] >> (7 - x % 8)) & 1 : (r[x / 2] >> (x % 2 ? 0 : 4)) & 15;
    }
    // A pixel counts as ink at half intensity or more.
    bool ink(int x, int y) const { return at(x, y) >= (bpp == 1 ? 1 : 8); }
};

inline Glyph find(const GUI_FontRecord& f, uint16_t code)
{
    Glyph g;
    for (auto r = static_cast<const GUI_CodeRange*>(f.pData); r; r = r->pNext) {
        if (code < r->First || code > r->Last)
            continue;
        g.found = true;
        if (kind_of(f) == Kind::Ext) {
            const GUI_GlyphInfoExt& e = static_cast<const GUI_GlyphInfoExt*>(r->paGlyph)[code - r->First];
            g.xSize = e.XSize;
            g.ySize = e.YSize;
            g.xPos = e.XPos;
            g.yPos = e.YPos;
            g.xDist = e.XDist;
            g.bytesPerLine = (e.XSize + 7) / 8;
            g.rows = e.pData;
        } else {
            const GUI_GlyphInfo& p = static_cast<const GUI_GlyphInfo*>(r->paGlyph)[code - r->First];
            g.xSize = p.XSize;
            g.ySize = f.YSize;
            g.xDist = p.XDist;
            g.bytesPerLine = p.BytesPerLine;
            g.rows = p.pData;
            g.bpp = kind_of(f) == Kind::AA4 ? 4 : 1;
        }
        return g;
    }
    return g;
}

// Advance of an 8-bit string, from the glyph records.
inline int width(const GUI_FontRecord& f, const std::string& s)
{
    int w = 0;
    for (unsigned char c : s)
        w += find(f, c).xDist;
    return w;
}

// Rows of the cell (from its top) that hold ink of the glyph: first and
// last, -1 when it has none.
inline void ink_rows(const Glyph& g, int& top, int& bottom)
{
    top = bottom = -1;
    for (int y = 0; y < g.ySize; ++y)
        for (int x = 0; x < g.xSize; ++x)
            if (g.ink(x, y)) {
                if (top < 0)
                    top = y + g.yPos;
                bottom = y + g.yPos;
            }
}

}  // namespace glyphs
