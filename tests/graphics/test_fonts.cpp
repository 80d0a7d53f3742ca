// The compiled-in fonts as generated: record fields, code ranges, glyph
// shapes, monospacing and the heights of capitals and lower case.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "glyphs.h"

namespace {

using glyphs::Kind;

using Ranges = std::vector<std::pair<int, int>>;

const Ranges kLatin = {{0x20, 0x7F}, {0xA0, 0xFF}};
const Ranges kLatinDash = {{0x20, 0x7F}, {0x96, 0x96}, {0xA0, 0xFF}};
const Ranges kLatinNoDel = {{0x20, 0x7E}, {0xA0, 0xFF}};

struct FontRow {
    const char* name;
    const GUI_FontRecord& font;
    Kind kind;
    int ySize, baseline, lHeight, cHeight;
    Ranges ranges;
    bool mono;
};

const std::vector<FontRow> kFonts = {
    {"GUI_FontArial8", GUI_FontArial8, Kind::Prop, 14, 11, 6, 8, kLatin, false},
    {"GUI_FontArial8B", GUI_FontArial8B, Kind::Prop, 14, 11, 6, 8, kLatin, false},
    {"GUI_FontArial10", GUI_FontArial10, Kind::Prop, 16, 13, 7, 10, kLatin, false},
    {"GUI_FontArial10B", GUI_FontArial10B, Kind::Prop, 16, 13, 7, 10, kLatin, false},
    {"GUI_Font16_1", GUI_Font16_1, Kind::Prop, 16, 13, 7, 10, {{0xA0, 0xFF}, {0x20, 0x7E}}, false},
    {"GUI_Font16B_1", GUI_Font16B_1, Kind::Prop, 16, 13, 7, 10, kLatinNoDel, false},
    {"GUI_Font16_ASCII", GUI_Font16_ASCII, Kind::Prop, 16, 13, 7, 10, {{0x20, 0x7E}}, false},
    {"GUI_Font16B_ASCII", GUI_Font16B_ASCII, Kind::Prop, 16, 13, 7, 10, {{0x20, 0x7E}}, false},
    {"GUI_FontMonospac821_BT_12pt", GUI_FontMonospac821_BT_12pt, Kind::Prop, 20, 16, 9, 12, kLatin, true},
    {"GUI_FontMonospac821_BT_24pt", GUI_FontMonospac821_BT_24pt, Kind::Prop, 41, 33, 18, 24, kLatin, true},
    {"GUI_FontArial10AA4", GUI_FontArial10AA4, Kind::AA4, 16, 13, 7, 10, kLatin, false},
    {"GUI_FontArial10BAA4", GUI_FontArial10BAA4, Kind::AA4, 16, 13, 7, 10, kLatin, false},
    {"GUI_FontArial12AA4", GUI_FontArial12AA4, Kind::AA4, 18, 15, 9, 12, kLatin, false},
    {"GUI_FontArial12BAA4", GUI_FontArial12BAA4, Kind::AA4, 19, 15, 9, 12, kLatin, false},
    {"GUI_FontArial14AA4", GUI_FontArial14AA4, Kind::AA4, 22, 18, 10, 14, kLatin, false},
    {"GUI_FontArial14BAA4", GUI_FontArial14BAA4, Kind::AA4, 22, 18, 11, 14, kLatin, false},
    {"GUI_FontArial16AA4", GUI_FontArial16AA4, Kind::AA4, 25, 20, 12, 16, kLatin, false},
    {"GUI_FontArial16BAA4", GUI_FontArial16BAA4, Kind::AA4, 26, 21, 12, 16, kLatin, false},
    {"GUI_FontArial20AA4", GUI_FontArial20AA4, Kind::AA4, 32, 26, 15, 20, kLatin, false},
    {"GUI_FontArial20BAA4", GUI_FontArial20BAA4, Kind::AA4, 32, 25, 15, 20, kLatin, false},
    {"GUI_FontArial24AA4", GUI_FontArial24AA4, Kind::AA4, 38, 31, 18, 24, kLatin, false},
    {"GUI_FontArial24BAA4", GUI_FontArial24BAA4, Kind::AA4, 38, 31, 18, 24, kLatin, false},
    {"GUI_FontArial32AA4", GUI_FontArial32AA4, Kind::AA4, 50, 40, 24, 32, kLatin, false},
    {"GUI_FontArial32BAA4", GUI_FontArial32BAA4, Kind::AA4, 51, 40, 24, 32, kLatin, false},
    {"GUI_FontMono8AA4", GUI_FontMono8AA4, Kind::AA4, 14, 11, 6, 8, kLatin, true},
    {"GUI_FontMono8BAA4", GUI_FontMono8BAA4, Kind::AA4, 14, 11, 6, 8, kLatin, true},
    {"GUI_FontMono10AA4", GUI_FontMono10AA4, Kind::AA4, 17, 14, 8, 10, kLatin, true},
    {"GUI_FontMono10BAA4", GUI_FontMono10BAA4, Kind::AA4, 17, 14, 8, 10, kLatin, true},
    {"GUI_FontMono12AA4", GUI_FontMono12AA4, Kind::AA4, 20, 16, 9, 12, kLatin, true},
    {"GUI_FontMono12BAA4", GUI_FontMono12BAA4, Kind::AA4, 20, 16, 9, 12, kLatin, true},
    {"GUI_FontMono14AA4", GUI_FontMono14AA4, Kind::AA4, 24, 19, 11, 14, kLatin, true},
    {"GUI_FontMono14BAA4", GUI_FontMono14BAA4, Kind::AA4, 24, 19, 11, 14, kLatin, true},
    {"GUI_FontMono16AA4", GUI_FontMono16AA4, Kind::AA4, 28, 22, 12, 16, kLatin, true},
    {"GUI_FontMono16BAA4", GUI_FontMono16BAA4, Kind::AA4, 28, 22, 12, 16, kLatin, true},
    {"GUI_FontMono20AA4", GUI_FontMono20AA4, Kind::AA4, 35, 28, 16, 20, kLatin, true},
    {"GUI_FontMono20BAA4", GUI_FontMono20BAA4, Kind::AA4, 35, 28, 16, 20, kLatin, true},
    {"GUI_FontMono24AA4", GUI_FontMono24AA4, Kind::AA4, 42, 34, 19, 24, kLatinDash, true},
    {"GUI_FontMono24BAA4", GUI_FontMono24BAA4, Kind::AA4, 42, 34, 19, 24, kLatin, true},
    {"GUI_FontMono32AA4", GUI_FontMono32AA4, Kind::AA4, 54, 43, 24, 31, kLatinDash, true},
    {"GUI_FontMono32BAA4", GUI_FontMono32BAA4, Kind::AA4, 54, 43, 24, 31, kLatin, true},
    {"GUI_FontMono48", GUI_FontMono48, Kind::Ext, 83, 67, 38, 48, kLatinNoDel, true},
    {"GUI_FontMono64", GUI_FontMono64, Kind::Ext, 110, 88, 51, 64, kLatinNoDel, true},
};

TEST(Fonts, RecordsCarryTheMetricsAndRangesOfTheTable)
{
    for (const FontRow& r : kFonts) {
        const GUI_FontRecord& f = r.font;
        EXPECT_EQ(f.YSize, r.ySize) << r.name << " has the wrong height";
        EXPECT_EQ(f.YDist, r.ySize) << r.name << " must have YDist = YSize";
        EXPECT_EQ(f.XMag, 1) << r.name;
        EXPECT_EQ(f.YMag, 1) << r.name;
        EXPECT_EQ(f.Baseline, r.baseline) << r.name << " has the wrong baseline";
        EXPECT_EQ(f.LHeight, r.lHeight) << r.name << " has the wrong lower-case height";
        EXPECT_EQ(f.CHeight, r.cHeight) << r.name << " has the wrong capital height";
        EXPECT_EQ(glyphs::kind_of(f), r.kind) << r.name << " is drawn by the wrong kind";
        EXPECT_EQ(f.pLineAPI != nullptr, r.kind == Kind::Ext) << r.name << ": only extended fonts have line functions";
        EXPECT_EQ(f.pfGetCharInfo != nullptr, r.kind == Kind::Ext) << r.name;
        Ranges chain;
        for (auto c = static_cast<const GUI_CodeRange*>(f.pData); c; c = c->pNext)
            chain.push_back({c->First, c->Last});
        EXPECT_EQ(chain, r.ranges) << r.name << " has the wrong code ranges or chain order";
    }
}

TEST(Fonts, GlyphsFillTheirCellsAndStayInside)
{
    for (const FontRow& r : kFonts)
        for (const auto& [first, last] : r.ranges)
            for (int c = first; c <= last; ++c) {
                const glyphs::Glyph g = glyphs::find(r.font, static_cast<uint16_t>(c));
                ASSERT_TRUE(g.found) << r.name << " misses code " << c;
                ASSERT_GT(g.xDist, 0) << r.name << " code " << c << " does not advance";
                if (r.kind == Kind::Ext) {
                    EXPECT_TRUE(g.xPos >= 0 && g.xPos + g.xSize <= g.xDist && g.yPos >= 0 &&
                                g.yPos + g.ySize <= r.ySize)
                        << r.name << " code " << c << ": the glyph box leaves its cell";
                    continue;
                }
                EXPECT_EQ(g.xSize, g.xDist) << r.name << " code " << c
                                            << ": a glyph narrower than its advance leaves stale pixels between "
                                               "characters of normal-mode text";
                EXPECT_EQ(g.bytesPerLine, (g.xSize * g.bpp + 7) / 8) << r.name << " code " << c;
            }
}

TEST(Fonts, MonospacedFontsHaveOneAdvanceForEveryCodeBlankIncluded)
{
    for (const FontRow& r : kFonts) {
        std::set<int> advances;
        for (const auto& [first, last] : r.ranges)
            for (int c = first; c <= last; ++c)
                advances.insert(glyphs::find(r.font, static_cast<uint16_t>(c)).xDist);
        if (r.mono)
            EXPECT_EQ(advances.size(), 1u) << r.name << " is not monospaced: columns of text would not line up";
        else
            EXPECT_GT(advances.size(), 3u) << r.name << " should be proportional";
    }
}

TEST(Fonts, CapitalsAndLowerCaseStandOnTheBaselineAtTheirHeights)
{
    struct Letter {
        char c;
        int FontRow::*height;
    };
    for (const FontRow& r : kFonts)
        for (const Letter& l : {Letter{'H', &FontRow::cHeight}, Letter{'x', &FontRow::lHeight}}) {
            int top, bottom;
            glyphs::ink_rows(glyphs::find(r.font, static_cast<uint16_t>(l.c)), top, bottom);
            EXPECT_EQ(bottom, r.baseline - 1) << r.name << ": '" << l.c << "' does not stand on the baseline";
            EXPECT_EQ(bottom - top + 1, r.*l.height) << r.name << ": '" << l.c << "' is " << bottom - top + 1
                                                     << " pixels high";
        }
}

TEST(Fonts, UpperCodesAreLatin1)
{
    // An accented letter is its base letter with ink above it; the blank
    // and the no-break space are empty; the en dash of the two regular
    // monospaced fonts is a bar.
    for (const FontRow& r : kFonts) {
        if (r.ranges.back().second < 0xFF && r.ranges.front().second < 0xFF)
            continue;  // ASCII only
        int eTop, eBottom, accTop, accBottom;
        glyphs::ink_rows(glyphs::find(r.font, 'e'), eTop, eBottom);
        glyphs::ink_rows(glyphs::find(r.font, 0xE9), accTop, accBottom);
        EXPECT_LT(accTop, eTop) << r.name << ": 0xE9 has no accent above the e";
        EXPECT_EQ(accBottom, eBottom) << r.name << ": 0xE9 is no e";
        for (uint16_t blank : {uint16_t(0x20), uint16_t(0xA0)}) {
            int t, b;
            glyphs::ink_rows(glyphs::find(r.font, blank), t, b);
            EXPECT_EQ(t, -1) << r.name << ": code " << blank << " should be blank";
        }
    }
    for (const GUI_FontRecord* f : {&GUI_FontMono24AA4, &GUI_FontMono32AA4}) {
        int t, b;
        glyphs::ink_rows(glyphs::find(*f, 0x96), t, b);
        EXPECT_GE(t, 0) << "the en dash 0x96 draws nothing";
        EXPECT_LE(b - t, 3) << "the en dash 0x96 is no bar";
    }
    EXPECT_FALSE(glyphs::find(GUI_FontMono24BAA4, 0x96).found) << "only the regular weight has 0x96";
}

}  // namespace
