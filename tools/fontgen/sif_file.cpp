#include "sif_file.h"

namespace fontgen {

namespace {

void put16(std::vector<uint8_t>& o, unsigned v)
{
    o.push_back(static_cast<uint8_t>(v));
    o.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& o, uint32_t v)
{
    put16(o, v & 0xFFFF);
    put16(o, v >> 16);
}

void set32(std::vector<uint8_t>& o, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        o[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// 2-bpp rows of a 4-bpp glyph: intensities 0, 5, 10, 15 by nearest value.
std::vector<uint8_t> packed_aa2(const Glyph& g, int& bpl)
{
    bpl = (g.xSize * 2 + 7) / 8;
    std::vector<uint8_t> out(static_cast<size_t>(bpl) * g.ySize, 0);
    for (int y = 0; y < g.ySize; ++y)
        for (int x = 0; x < g.xSize; ++x) {
            const int v = (g.at(x, y) + 2) / 5;
            out[static_cast<size_t>(y) * bpl + x / 4] |= static_cast<uint8_t>(v << (6 - 2 * (x % 4)));
        }
    return out;
}

}  // namespace

std::vector<uint8_t> sif_file(const RasterFont& font, bool aa2)
{
    const FontEntry& s = font.entry;
    const bool boxes = s.kind == Kind::Ext;
    const bool two = aa2 && s.kind == Kind::AA4;
    std::vector<uint8_t> o;
    put32(o, 0x50495547u);  // "GUIP"
    put16(o, s.ySize);
    put16(o, s.ySize);  // YDist
    put16(o, s.baseline);
    put16(o, s.lHeight);
    put16(o, s.cHeight);
    put16(o, static_cast<unsigned>(s.ranges.size()));
    for (const CodeRange& r : s.ranges) {
        put16(o, r.first);
        put16(o, r.last);
    }
    // Char infos first, their offsets patched as the rows are appended.
    std::vector<size_t> offsetAt;
    for (const Glyph& g : font.glyphs) {
        const int bpl = two ? (g.xSize * 2 + 7) / 8 : g.bytes_per_line();
        put16(o, g.xSize);
        if (boxes) {
            put16(o, g.ySize);
            put16(o, static_cast<unsigned>(g.xPos) & 0xFFFF);
            put16(o, static_cast<unsigned>(g.yPos) & 0xFFFF);
            put16(o, g.xDist);
            put16(o, bpl);
        } else {
            put16(o, g.xDist);
            put16(o, bpl);
            put16(o, 0);
        }
        offsetAt.push_back(o.size());
        put32(o, 0);
    }
    for (size_t i = 0; i < font.glyphs.size(); ++i) {
        const Glyph& g = font.glyphs[i];
        int bpl;
        const std::vector<uint8_t> rows = two ? packed_aa2(g, bpl) : g.packed();
        set32(o, offsetAt[i], static_cast<uint32_t>(o.size()));
        o.insert(o.end(), rows.begin(), rows.end());
    }
    return o;
}

}  // namespace fontgen
