#include "raster.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <map>

namespace fontgen {

std::vector<uint8_t> Glyph::packed() const
{
    const int bpl = bytes_per_line();
    std::vector<uint8_t> out(static_cast<size_t>(bpl) * ySize, 0);
    for (int y = 0; y < ySize; ++y)
        for (int x = 0; x < xSize; ++x) {
            const int bit = x * bpp;
            out[static_cast<size_t>(y) * bpl + bit / 8] |=
                static_cast<uint8_t>(at(x, y) << (8 - bpp - bit % 8));
        }
    return out;
}

namespace {

// Ink of one rendered glyph, relative to the pen position on the baseline.
struct Ink {
    int left = 0, top = 0;  // column of the first pixel, rows above the baseline
    int width = 0, rows = 0;
    int advance = 0;        // hinted, whole pixels
    bool missing = false;   // the face has no glyph for the character
    std::vector<uint8_t> value;  // 0/1, or 0..15

    int at(int x, int y) const { return value[static_cast<size_t>(y) * width + x]; }
};

// A pixel counts as ink at half intensity or more.
int ink_threshold(Kind k)
{
    return k == Kind::AA4 ? 8 : 1;
}

// How glyphs are turned into pixels.  The faces' own hinting gives the
// best small glyphs but cannot reach every height the table asks for; the
// fitted way scales the unhinted outline piecewise in y so that the
// baseline, the lower-case height and the capital height fall on pixel
// edges at exactly the table's heights, which always meets them.
enum class Strategy { Hinted, AutoLight, Fitted };

const char* strategy_name(Strategy s)
{
    return s == Strategy::Hinted ? "the face's hinting" : s == Strategy::AutoLight ? "light auto-hinting"
                                                                                   : "outlines fitted to the cell";
}

class Face {
public:
    ~Face()
    {
        if (face_)
            FT_Done_Face(face_);
        if (lib_)
            FT_Done_FreeType(lib_);
    }

    bool open(const std::string& path, std::string& error)
    {
        if (FT_Init_FreeType(&lib_) || FT_New_Face(lib_, path.c_str(), 0, &face_)) {
            error = "cannot open the font file " + path;
            return false;
        }
        return true;
    }

    // For the fitted strategy, lHeight and cHeight are the pixel heights the
    // x and the H are to have.
    void set_size(double pixels, Strategy strategy, int lHeight = 0, int cHeight = 0)
    {
        FT_Set_Char_Size(face_, 0, std::lround(pixels * 64), 72, 72);
        strategy_ = strategy;
        if (strategy == Strategy::Fitted) {
            xh_ = outline_top('x');
            cap_ = outline_top('H');
            lh_ = lHeight * 64;
            ch_ = cHeight * 64;
        }
    }

    Ink render(unsigned ucs, Kind kind)
    {
        Ink ink;
        const FT_UInt index = ucs ? FT_Get_Char_Index(face_, ucs) : 0;
        if (index == 0) {
            ink.missing = true;
            return ink;
        }
        const bool mono = kind != Kind::AA4;
        FT_Int32 flags = FT_LOAD_NO_BITMAP;
        switch (strategy_) {
        case Strategy::Hinted: flags |= mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL; break;
        case Strategy::AutoLight: flags |= FT_LOAD_FORCE_AUTOHINT | FT_LOAD_TARGET_LIGHT; break;
        case Strategy::Fitted: flags |= FT_LOAD_NO_HINTING; break;
        }
        if (FT_Load_Glyph(face_, index, flags) || face_->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
            ink.missing = true;
            return ink;
        }
        const FT_GlyphSlot g = face_->glyph;
        if (strategy_ == Strategy::Fitted) {
            FT_Outline& o = g->outline;
            for (int i = 0; i < o.n_points; ++i)
                o.points[i].y = fit_y(o.points[i].y);
        }
        if (FT_Render_Glyph(g, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL)) {
            ink.missing = true;
            return ink;
        }
        const FT_Bitmap& bm = g->bitmap;
        ink.left = g->bitmap_left;
        ink.top = g->bitmap_top;
        ink.width = static_cast<int>(bm.width);
        ink.rows = static_cast<int>(bm.rows);
        ink.advance = static_cast<int>((g->advance.x + 32) >> 6);
        ink.value.assign(static_cast<size_t>(ink.width) * ink.rows, 0);
        for (int y = 0; y < ink.rows; ++y) {
            const uint8_t* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
            for (int x = 0; x < ink.width; ++x) {
                int v;
                if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                    v = (row[x >> 3] >> (7 - (x & 7))) & 1;
                else
                    v = (row[x] * 15 + 127) / 255;
                ink.value[static_cast<size_t>(y) * ink.width + x] = static_cast<uint8_t>(v);
            }
        }
        return ink;
    }

    double design_cap_ratio() const
    {
        // Capital height over the em, from the height of the H outline.
        FT_Load_Char(face_, 'H', FT_LOAD_NO_SCALE);
        return static_cast<double>(face_->glyph->metrics.height) / face_->units_per_EM;
    }

private:
    // Top of the unhinted outline of a character at the current size, 26.6.
    FT_Pos outline_top(unsigned ucs)
    {
        FT_Load_Char(face_, ucs, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
        FT_BBox box;
        FT_Outline_Get_CBox(&face_->glyph->outline, &box);
        return box.yMax;
    }

    // Baseline, x height and capital height onto whole pixels: each band
    // scaled linearly; above the capitals and below the baseline the
    // neighbouring band's scale goes on.
    FT_Pos fit_y(FT_Pos y) const
    {
        if (y <= xh_)
            return y * lh_ / xh_;
        if (y <= cap_)
            return lh_ + (y - xh_) * (ch_ - lh_) / (cap_ - xh_);
        return ch_ + (y - cap_) * ch_ / cap_;
    }

    FT_Library lib_ = nullptr;
    FT_Face face_ = nullptr;
    Strategy strategy_ = Strategy::Hinted;
    FT_Pos xh_ = 64, cap_ = 64, lh_ = 64, ch_ = 64;
};

// Rows above the baseline that hold ink of the glyph, counted from the
// baseline up (a glyph sitting on the baseline and spanning rows
// baseline-h .. baseline-1 gives h), and whether it sits on the baseline.
int ink_height(const Ink& ink, Kind kind, bool& onBaseline)
{
    int top = -1, bottom = -1;
    for (int y = 0; y < ink.rows; ++y)
        for (int x = 0; x < ink.width; ++x)
            if (ink.at(x, y) >= ink_threshold(kind)) {
                if (top < 0)
                    top = y;
                bottom = y;
            }
    if (top < 0) {
        onBaseline = false;
        return 0;
    }
    onBaseline = ink.top - bottom == 1;
    return bottom - top + 1;
}

// The size and strategy that give an H and an x of the table's heights on
// the baseline: the face's hinting where some size reaches them (the size
// nearest the face's nominal one), else light auto-hinting, else fitted
// outlines at the nominal size.
struct Choice {
    double px = 0;
    Strategy strategy = Strategy::Fitted;
};

bool heights_met(Face& face, const FontEntry& entry)
{
    bool capOn = false, xOn = false;
    const int cap = ink_height(face.render('H', entry.kind), entry.kind, capOn);
    const int xh = ink_height(face.render('x', entry.kind), entry.kind, xOn);
    return capOn && xOn && cap == entry.cHeight && xh == entry.lHeight;
}

bool choose_size(Face& face, const FontEntry& entry, Choice& chosen, std::string& error)
{
    const double nominal = entry.cHeight / face.design_cap_ratio();
    const Strategy hinted[] = {Strategy::Hinted, Strategy::AutoLight};
    for (Strategy st : hinted) {
        if (st == Strategy::AutoLight && entry.kind != Kind::AA4)
            continue;
        double best = -1;
        for (double px = nominal * 0.85; px <= nominal * 1.15; px += 1.0 / 32) {
            face.set_size(px, st);
            if (heights_met(face, entry) && (best < 0 || std::abs(px - nominal) < std::abs(best - nominal)))
                best = px;
        }
        if (best > 0) {
            chosen = {best, st};
            return true;
        }
    }
    chosen = {nominal, Strategy::Fitted};
    face.set_size(nominal, Strategy::Fitted, entry.lHeight, entry.cHeight);
    if (!heights_met(face, entry)) {
        error = entry.name + ": no way found to give capitals " + std::to_string(entry.cHeight) +
                " and lower case " + std::to_string(entry.lHeight) + " pixels";
        return false;
    }
    return true;
}

// Columns of ink that fall outside [0, cell) are moved in; what still does
// not fit is cut.  Returns the column of the ink's left edge in the cell.
int fit_into_cell(const Ink& ink, int cell)
{
    int x = ink.left;
    if (x + ink.width > cell)
        x = cell - ink.width;
    return std::max(x, 0);
}

Glyph make_glyph(unsigned code, const Ink& ink, const FontEntry& entry, int monoAdvance, int spaceAdvance)
{
    Glyph g;
    g.code = code;
    g.bpp = entry.kind == Kind::AA4 ? 4 : 1;
    Ink in = ink;
    if (in.missing) {
        // A code the face has no glyph for is a blank of the space's width.
        in = Ink{};
        in.advance = spaceAdvance;
    }

    // Horizontal: monospaced fonts keep their one cell; proportional cells
    // grow to take ink that pokes out left or right of the advance.
    int cellLeft = 0, cellWidth = in.advance, inkX;
    if (entry.monospaced()) {
        cellWidth = monoAdvance;
        inkX = fit_into_cell(in, cellWidth);
    } else {
        if (in.width > 0) {
            cellLeft = std::min(0, in.left);
            cellWidth = std::max(in.advance, in.left + in.width) - cellLeft;
        }
        inkX = in.left - cellLeft;
    }
    g.xDist = cellWidth;
    const int inkY = entry.baseline - in.top;  // cell row of the ink's first row

    if (entry.kind == Kind::Ext) {
        // The box is the ink itself, cut to the cell's rows.
        int y0 = std::max(inkY, 0), y1 = std::min(inkY + in.rows, entry.ySize);
        int x0 = inkX, x1 = std::min(inkX + in.width, cellWidth);
        if (y1 <= y0 || x1 <= x0) {
            y0 = y1 = 0;
            x0 = x1 = 0;
        }
        g.xPos = x0;
        g.yPos = y0;
        g.xSize = x1 - x0;
        g.ySize = y1 - y0;
        g.pixels.assign(static_cast<size_t>(g.xSize) * g.ySize, 0);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                g.pixels[static_cast<size_t>(y - y0) * g.xSize + (x - x0)] =
                    static_cast<uint8_t>(in.at(x - inkX, y - inkY));
        return g;
    }

    // Full cells: every pixel of the cell is in the rows, so drawing a
    // character paints its whole cell.
    g.xSize = cellWidth;
    g.ySize = entry.ySize;
    g.pixels.assign(static_cast<size_t>(g.xSize) * g.ySize, 0);
    for (int y = 0; y < in.rows; ++y)
        for (int x = 0; x < in.width; ++x) {
            const int cx = inkX + x, cy = inkY + y;
            if (cx >= 0 && cx < g.xSize && cy >= 0 && cy < g.ySize)
                g.pixels[static_cast<size_t>(cy) * g.xSize + cx] = static_cast<uint8_t>(in.at(x, y));
        }
    return g;
}

}  // namespace

bool render_font(const FontEntry& entry, const std::string& facePath, RasterFont& out, std::string& error)
{
    Face face;
    if (!face.open(facePath, error))
        return false;
    Choice choice;
    if (!choose_size(face, entry, choice, error))
        return false;
    face.set_size(choice.px, choice.strategy, entry.lHeight, entry.cHeight);
    out.entry = entry;
    out.facePath = facePath;
    out.pixelSize = choice.px;
    out.method = strategy_name(choice.strategy);
    out.glyphs.clear();

    // The one advance of a monospaced font: the one most of its glyphs have.
    std::map<int, int> advances;
    for (unsigned c = 0x21; c < 0x7F; ++c)
        ++advances[face.render(c, entry.kind).advance];
    int monoAdvance = 0, most = 0;
    for (const auto& [adv, n] : advances)
        if (n > most) {
            most = n;
            monoAdvance = adv;
        }
    const Ink space = face.render(' ', entry.kind);
    const int spaceAdvance = entry.monospaced() ? monoAdvance : space.advance;

    for (const CodeRange& r : entry.ranges)
        for (unsigned code = r.first; code <= r.last; ++code)
            out.glyphs.push_back(make_glyph(code, face.render(unicode_of(code), entry.kind), entry, monoAdvance,
                                            spaceAdvance));
    return true;
}

std::string check_font(const RasterFont& font)
{
    const FontEntry& s = font.entry;
    std::string why;
    auto glyph = [&](unsigned code) -> const Glyph* {
        for (const Glyph& g : font.glyphs)
            if (g.code == code)
                return &g;
        return nullptr;
    };
    // Rows of a glyph's cell that hold ink, as the cell sees them.
    auto ink_rows = [&](const Glyph& g, int& top, int& bottom) {
        top = bottom = -1;
        for (int y = 0; y < g.ySize; ++y)
            for (int x = 0; x < g.xSize; ++x)
                if (g.at(x, y) >= ink_threshold(s.kind)) {
                    if (top < 0)
                        top = y + g.yPos;
                    bottom = y + g.yPos;
                }
    };
    const Glyph* first = font.glyphs.empty() ? nullptr : &font.glyphs.front();
    for (const Glyph& g : font.glyphs) {
        if (s.kind == Kind::Prop && g.xSize != g.xDist)
            why += s.name + ": code " + std::to_string(g.code) + " has XSize != XDist\n";
        if (s.kind != Kind::Ext && g.ySize != s.ySize)
            why += s.name + ": code " + std::to_string(g.code) + " is not a full cell\n";
        if (s.kind == Kind::Ext && (g.xPos < 0 || g.yPos < 0 || g.xPos + g.xSize > g.xDist ||
                                    g.yPos + g.ySize > s.ySize))
            why += s.name + ": code " + std::to_string(g.code) + " leaves its cell\n";
        if (s.monospaced() && first && g.xDist != first->xDist)
            why += s.name + ": code " + std::to_string(g.code) + " breaks the monospacing\n";
        if (g.xDist <= 0 || g.xDist > 255)
            why += s.name + ": code " + std::to_string(g.code) + " has no usable advance\n";
    }
    struct Height {
        unsigned code;
        int height;
    };
    for (const Height& h : {Height{'H', s.cHeight}, Height{'x', s.lHeight}}) {
        const Glyph* g = glyph(h.code);
        int top, bottom;
        if (!g)
            continue;
        ink_rows(*g, top, bottom);
        if (bottom != s.baseline - 1 || bottom - top + 1 != h.height)
            why += s.name + ": '" + std::string(1, static_cast<char>(h.code)) + "' spans rows " +
                   std::to_string(top) + ".." + std::to_string(bottom) + ", not " +
                   std::to_string(s.baseline - h.height) + ".." + std::to_string(s.baseline - 1) + "\n";
    }
    return why;
}

}  // namespace fontgen
