// SIF fonts of the memory image: written by fontgen from the faces of the
// compiled-in fonts, stored in a flash image, selected with "f <alias>",
// listed by "f?", drawn by "t"; corrupt font data is refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/KM_fonts.h"
#include "format/memimage.h"
#include "graphics/GUI_SIF.h"
#include "graphics/screen.h"
#include "support/host.h"
#include "support/image_builder.h"

namespace {

using fwtest::command;
using fwtest::visible;

const std::string OK = ">\r";
const std::string FAIL = "!\r";

// A SIF file of one font of the compiled-in table, written by fontgen.
std::vector<uint8_t> sif_of(const std::string& font, bool aa2 = false)
{
    char dir[] = "/tmp/sif_fonts_XXXXXX";
    if (!mkdtemp(dir))
        ADD_FAILURE() << "no temporary folder";
    const std::string out = std::string(dir) + "/" + font + ".sif";
    const std::string cmd = std::string(VELM_FONTGEN) + " sif --table " + VELM_FONT_TABLE + " --font " + font +
                            " --out " + out + (aa2 ? " --aa2 " : " ") + VELM_FONTGEN_FACE_ARGS;
    EXPECT_EQ(std::system(cmd.c_str()), 0) << "fontgen could not write " << font << ": " << cmd;
    std::ifstream in(out, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(out.c_str());
    rmdir(dir);
    EXPECT_GT(bytes.size(), 16u) << font << ".sif is empty";
    return bytes;
}

fwtest::TestBitmap font_entry(const std::string& alias, uint8_t kind, std::vector<uint8_t> bytes)
{
    fwtest::TestBitmap b;
    b.kind = fwtest::TestBitmap::Font;
    b.alias = alias;
    b.fontKind = kind;
    b.bytes = std::move(bytes);
    return b;
}

void boot_with(const std::vector<fwtest::TestBitmap>& entries)
{
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(entries);
    fwtest::boot_to_prompt(o);
}

const std::string kText = "t \"Hag0 Wy!\xE4\" 10 20";

// The picture of the text lines written in font on a cleared screen.
std::vector<uint16_t> text_in(const std::string& font, const std::vector<std::string>& lines = {kText})
{
    command("z");
    EXPECT_EQ(visible(command("f " + font)), visible(OK)) << "\"f " << font << "\"";
    for (const std::string& l : lines)
        EXPECT_EQ(visible(command(l)), visible(OK)) << "\"" << l << "\" in font " << font;
    return screen::snapshot();
}

// Normal text, then reversed text over it (cells painted) and transparent
// text (ink only).
const std::vector<std::string> kModes = {kText, "t \"Wa|yj\" 10 24 R", "t \"Tq_\" 30 16 T", "t \"x\""};

size_t differing(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b)
{
    size_t n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        n += a[i] != b[i];
    return n;
}

// Each SIF kind drawn from the image against the compiled-in font rendered
// from the same face and size.
struct SameAs {
    const char* table;  // font of tools/fontgen/compiled_fonts.txt
    ExtFontKind kind;
    const char* alias;
    const char* compiled;  // its name in the font table
};
const SameAs kSameAs[] = {
    {"GUI_FontArial8", EXTFONT_PROP, "sans8", "8"},
    {"GUI_FontArial10AA4", EXTFONT_AA4, "sans10aa", "10"},
    {"GUI_FontMono48", EXTFONT_PROP_EXT, "mono48", "48"},
    {"GUI_FontMono48", EXTFONT_FRAMED, "frame48", "48"},
};

TEST(SifFonts, DrawTheSamePixelsAsTheCompiledInFontOfTheSameFace)
{
    std::vector<fwtest::TestBitmap> entries;
    for (const SameAs& c : kSameAs)
        entries.push_back(font_entry(c.alias, c.kind, sif_of(c.table)));
    boot_with(entries);
    for (const SameAs& c : kSameAs) {
        const std::vector<uint16_t> want = text_in(c.compiled, kModes);
        const std::vector<uint16_t> got = text_in(c.alias, kModes);
        EXPECT_EQ(differing(got, want), 0u) << "SIF font " << c.alias << " (kind " << int(c.kind)
                                            << ") draws other pixels than the compiled-in font \"" << c.compiled
                                            << "\"";
        EXPECT_NE(differing(got, std::vector<uint16_t>(got.size(), got[0])), 0u) << c.alias << " drew nothing";
        EXPECT_EQ(visible(command("f")), visible(std::string(c.alias) + "\r" + OK))
            << "\"f\" does not name the selected SIF font";
        const std::string width = command("t? \"Hag0\"");
        command(std::string("f ") + c.compiled);
        EXPECT_EQ(visible(width), visible(command("t? \"Hag0\""))) << "text width in SIF font " << c.alias;
    }
}

TEST(SifFonts, AntiAliasedTwoBitsPerPixelDrawsTheGlyphsOfItsFace)
{
    boot_with({font_entry("aa2", EXTFONT_AA2, sif_of("GUI_FontArial10AA4", true))});
    const std::vector<uint16_t> aa4 = text_in("10");
    const std::vector<uint16_t> aa2 = text_in("aa2");
    // Full-intensity pixels (0 and 15) stay; only mixes may differ.
    size_t changed = 0, total = 0;
    for (size_t i = 0; i < aa4.size(); ++i) {
        total += aa4[i] != aa4[0];
        changed += aa4[i] != aa2[i];
    }
    EXPECT_GT(total, 0u);
    EXPECT_LT(changed, total) << "the 2-bpp SIF font draws nothing like its face";
    const std::string width = command("t? \"Hag0\"");
    command("f 10");
    EXPECT_EQ(visible(width), visible(command("t? \"Hag0\""))) << "text width in the 2-bpp SIF font";
}

TEST(SifFonts, ListedAfterTheTableNames)
{
    boot_with({font_entry("one", EXTFONT_PROP, sif_of("GUI_FontArial8")),
               font_entry("two", EXTFONT_AA4, sif_of("GUI_FontArial10AA4"))});
    const std::string list = command("f?");
    const std::string tail = "60x120\rone\rtwo\r" + OK;
    ASSERT_GE(list.size(), tail.size());
    EXPECT_EQ(visible(list.substr(list.size() - tail.size())), visible(tail))
        << "\"f?\" must list the image's SIF fonts after the table's last name";
    EXPECT_EQ(visible(command("f?")), visible(list)) << "a second listing differs";
}

void put16(std::vector<uint8_t>& d, size_t at, unsigned v)
{
    d[at] = static_cast<uint8_t>(v);
    d[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put32(std::vector<uint8_t>& d, size_t at, uint32_t v)
{
    put16(d, at, v & 0xFFFF);
    put16(d, at + 2, v >> 16);
}

// SIF data made by hand: header, the given areas, char infos of recSize
// bytes of empty glyphs whose advance (XDist) is the code's low byte.
std::vector<uint8_t> hand_sif(unsigned ySize, const std::vector<std::pair<unsigned, unsigned>>& areas, int recSize)
{
    std::vector<uint8_t> d(16 + 4 * areas.size());
    put32(d, 0, SIF_MAGIC);
    put16(d, 4, ySize);
    put16(d, 6, ySize + 2);
    put16(d, 8, 7), put16(d, 10, 5), put16(d, 12, 6);
    put16(d, 14, static_cast<unsigned>(areas.size()));
    for (size_t i = 0; i < areas.size(); ++i)
        put16(d, 16 + 4 * i, areas[i].first), put16(d, 18 + 4 * i, areas[i].second);
    for (const auto& a : areas)
        for (unsigned c = a.first; c <= a.second; ++c) {
            const size_t at = d.size();
            d.resize(at + recSize, 0);
            put16(d, at + (recSize == 16 ? 8 : 2), c & 0xFF);
        }
    return d;
}

struct Lookup {
    std::vector<std::pair<unsigned, unsigned>> areas;
    int recSize;
    unsigned code;
    int record;  // index counted from the first char info; -1: none
};
const Lookup kLookups[] = {
    {{{0x20, 0x7E}}, 12, 0x41, 0x21},
    {{{0x20, 0x7F}, {0xA0, 0xFF}}, 12, 0xA0, 96},
    {{{0x20, 0x7F}, {0xA0, 0xFF}}, 16, 0xFF, 96 + 95},
    {{{0x20, 0x7F}, {0xA0, 0xFF}}, 12, 0x80, -1},
    {{{0x20, 0x7E}}, 12, 0x1F, -1},
};

TEST(SifFontData, CharInfoLookupWalksTheAreasInOrder)
{
    screen::start();
    for (const Lookup& c : kLookups) {
        const std::vector<uint8_t> d = hand_sif(10, c.areas, c.recSize);
        const uint8_t* first = d.data() + 16 + 4 * c.areas.size();
        const uint8_t* got = nullptr;
        int n = 0;
        screen::run([&] {
            GUI_FontRecord f = {};
            f.pData = d.data();
            n = GUI_SIF__GetNumCharAreas(&f);
            got = GUI_SIF__GetpCharInfo(&f, static_cast<uint16_t>(c.code), c.recSize);
        });
        EXPECT_EQ(n, static_cast<int>(c.areas.size()));
        if (c.record < 0)
            EXPECT_EQ(got, nullptr) << "code 0x" << std::hex << c.code << " lies in no area but was found";
        else
            EXPECT_EQ(got, first + c.record * c.recSize)
                << "code 0x" << std::hex << c.code << " found at the wrong record";
    }
}

TEST(SifFontData, CreateFontFillsTheRecordOnlyForGuipData)
{
    screen::start();
    std::vector<uint8_t> d = hand_sif(300, {{0x20, 0x7E}}, 12);
    screen::run([&] {
        GUI_FontRecord f = {};
        const GUI_FontRecord* before = GUI_Context.pFont;
        GUI_SIF_CreateFont(d.data(), &f, &GUI_SIF_APIList_Prop_AA4);
        EXPECT_EQ(GUI_Context.pFont, &f) << "the SIF font did not become the current font";
        EXPECT_EQ(f.YSize, 44) << "header YSize 300 keeps its low byte";
        EXPECT_EQ(f.YDist, 46);
        EXPECT_EQ(f.Baseline, 7);
        EXPECT_EQ(f.LHeight, 5);
        EXPECT_EQ(f.CHeight, 6);
        EXPECT_EQ(f.XMag, 1);
        EXPECT_EQ(f.YMag, 1);
        EXPECT_EQ(f.pfDispChar, GUI_SIF_APIList_Prop_AA4.pfDispChar);
        EXPECT_EQ(f.pfGetCharDistX, GUI_SIF__GetCharDistX);
        EXPECT_EQ(GUI_SIF__GetCharDistX(0x41), 0x41) << "advance of 'A' is not its char info's XDist";
        EXPECT_EQ(GUI_SIF__GetCharDistX(0x7F), 0) << "a code in no area has an advance";
        GUI_SetFont(before);

        std::vector<uint8_t> bad = d;
        bad[3] = 'Q';
        GUI_FontRecord g = {};
        GUI_SIF_CreateFont(bad.data(), &g, &GUI_SIF_APIList_Prop);
        EXPECT_EQ(GUI_Context.pFont, before) << "data without GUIP became the current font";
        EXPECT_EQ(g.pData, bad.data()) << "the data pointer is set also on failure";
        EXPECT_EQ(g.pfDispChar, nullptr) << "data without GUIP filled the record";
        EXPECT_FALSE(GUI_SIF_CheckFont(bad.data(), static_cast<uint32_t>(bad.size()), &GUI_SIF_APIList_Prop));
        EXPECT_TRUE(GUI_SIF_CheckFont(d.data(), static_cast<uint32_t>(d.size()), &GUI_SIF_APIList_Prop))
            << "empty glyphs reach nothing outside the data";
    });
}

struct Corrupt {
    const char* what;
    void (*spoil)(std::vector<uint8_t>& d);
};
// The prop font has two areas, so its first char info is at 16 + 8.
const Corrupt kCorrupt[] = {
    {"wrong magic", [](std::vector<uint8_t>& d) { d[0] = 'X'; }},
    {"too many areas", [](std::vector<uint8_t>& d) { put16(d, 14, 0xFFFF); }},
    {"area with First > Last", [](std::vector<uint8_t>& d) { put16(d, 16, 0x80), put16(d, 18, 0x20); }},
    {"area far beyond the data", [](std::vector<uint8_t>& d) { put16(d, 18, 0xFFFF); }},
    {"glyph rows beyond the data", [](std::vector<uint8_t>& d) { put32(d, 24 + 8, 0x7FFFFFF0); }},
    {"rows narrower than the glyph", [](std::vector<uint8_t>& d) { put16(d, 24 + 8 * 12 + 4, 0); }},
    {"truncated", [](std::vector<uint8_t>& d) { d.resize(20); }},
};

// The board reads a font record by word loads, which fault off a word
// boundary (alignment checking is on): such a font is not there.
TEST(SifFonts, ARecordOffItsWordBoundaryIsNoFont)
{
    // The font, the image's last object, moved two bytes on with its
    // addresses: sound but for its record's alignment.
    std::vector<uint8_t> img = fwtest::build_image({font_entry("one", EXTFONT_PROP, sif_of("GUI_FontArial8"))});
    auto add2 = [&img](size_t at) {
        uint32_t v;
        std::memcpy(&v, img.data() + at, 4);
        v += 2;
        std::memcpy(img.data() + at, &v, 4);
        return v;
    };
    const size_t record = add2(ExtMemDirEntryOffset(1) + 4) - 0xC8400000u;
    img.insert(img.begin() + static_cast<long>(record - 2), 2, 0);
    img.insert(img.end(), 2, 0);
    add2(record), add2(record + 4);  // its alias and data
    add2(4), add2(4);                // the image's size
    fwtest::BootOptions o;
    o.flash_image = img;
    fwtest::boot_to_prompt(o);
    ASSERT_EQ(visible(command("f 10")), visible(OK));
    EXPECT_EQ(visible(command("f one")), visible(FAIL));
    EXPECT_EQ(visible(command("f")), visible("10\r" + OK)) << "the font before stays";
    const std::string list = command("f?");
    EXPECT_EQ(visible(list.substr(list.size() - 9)), visible("60x120\r" + OK)) << "listed: " << visible(list);
}

TEST(SifFonts, CorruptFontDataIsRefusedAndTheFontKept)
{
    std::vector<fwtest::TestBitmap> entries;
    for (size_t i = 0; i < std::size(kCorrupt); ++i) {
        std::vector<uint8_t> d = sif_of("GUI_FontArial8");
        kCorrupt[i].spoil(d);
        entries.push_back(font_entry("bad" + std::to_string(i), EXTFONT_PROP, d));
    }
    entries.push_back(font_entry("good", EXTFONT_PROP, sif_of("GUI_FontArial8")));
    entries.push_back(font_entry("kind5", 5, sif_of("GUI_FontArial8")));
    boot_with(entries);
    ASSERT_EQ(visible(command("f 10")), visible(OK));
    for (size_t i = 0; i < std::size(kCorrupt); ++i) {
        const std::string name = "bad" + std::to_string(i);
        EXPECT_EQ(visible(command("f " + name)), visible(FAIL)) << "a SIF font with " << kCorrupt[i].what
                                                               << " was selected";
        EXPECT_EQ(visible(command("f")), visible("10\r" + OK)) << "after refusing " << kCorrupt[i].what;
        EXPECT_EQ(visible(command(kText)), visible(OK)) << "text after refusing " << kCorrupt[i].what;
    }
    EXPECT_EQ(visible(command("f good")), visible(OK)) << "the sound font next to corrupt ones";
    const std::string kind5 = command("f kind5");
    EXPECT_NE(kind5.find(":Unsupported SIF font type"), std::string::npos)
        << "kind 5 answered " << visible(kind5);
    EXPECT_EQ(visible(command(kText)), visible(OK));
}

// An empty glyph's offset is not checked with the font (nothing is read
// through it), so it may hold anything; drawing the glyph must not add it
// to the data's address either.
struct EmptyGlyph {
    const char* font;
    uint8_t kind;
    size_t recSize, offsetAt;
};
const EmptyGlyph kEmptyGlyphs[] = {
    {"GUI_FontArial8", EXTFONT_PROP, 12, 8},
    {"GUI_FontMono48", EXTFONT_PROP_EXT, 16, 12},
};

TEST(SifFonts, AnEmptyGlyphIsDrawnAsNothingWhateverItsOffset)
{
    std::vector<fwtest::TestBitmap> entries;
    for (const EmptyGlyph& g : kEmptyGlyphs) {
        std::vector<uint8_t> d = sif_of(g.font);
        // Both fonts have two areas, the first from 0x20: 'A' is record 0x21.
        const size_t a = 16 + 8 + 0x21 * g.recSize;
        put16(d, a, 0);
        put32(d, a + g.offsetAt, 0xFFFFFFFF);
        entries.push_back(font_entry(std::string("e") + std::to_string(g.kind), g.kind, d));
    }
    boot_with(entries);
    for (const EmptyGlyph& g : kEmptyGlyphs) {
        const std::string alias = std::string("e") + std::to_string(g.kind);
        ASSERT_EQ(visible(command("f " + alias)), visible(OK)) << g.font << " with an empty 'A'";
        EXPECT_EQ(visible(command("t \"BAB\" 10 10")), visible(OK)) << g.font << " with an empty 'A'";
        EXPECT_EQ(visible(command("t \"BAB\" 10 10 R")), visible(OK)) << g.font << " with an empty 'A'";
    }
}

}  // namespace
