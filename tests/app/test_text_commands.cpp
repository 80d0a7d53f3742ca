// The text commands through the command port: their replies and errors,
// and what they write on the panel; the font table by name; the start-up
// banner.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/KM_com.h"
#include "app/KM_fonts.h"
#include "app/KM_text.h"
#include "graphics/glyphs.h"
#include "graphics/screen.h"
#include "support/host.h"
#include "support/replies.h"

namespace {

using fwtest::command;
using fwtest::expect_replies;
using fwtest::visible;
using screen::Box;
using screen::px;

const std::string OK = ">\r";
const std::string FAIL = "!\r";
const std::string kSyntax = ":err - syntax\r!\r";
const std::string kBadArgument = ":invalid argument\r!\r";
const std::string kNoQuote = ":missing single space and/or double quote\r!\r";

// Every name of the font table, in table order.
const std::vector<std::string> kFontNames = {
    "M24",  "M12",  "8s",    "8Bs",    "8",    "8B",   "10s",  "10Bs",  "10",    "10B",  "12",   "12B",  "14",
    "14B",  "16",   "16B",   "20",     "20B",  "24",   "24B",  "32",    "32B",   "48",   "64",   "m8",   "m8B",
    "m10",  "m10B", "m12",   "m12B",   "m14",  "m14B", "m16",  "m16B",  "m20",   "m20B", "m24",  "m24B", "m32",
    "m32B", "m48",  "m64",   "dummy",  "10S",  "13",   "13B",  "x16",   "x16B",  "18BC", "24",   "24B",  "24BC",
    "32",   "32B",  "4x6",   "6x8",    "6x9",  "8x8",  "8x9",  "8x10",  "8x12",  "8x13", "8x15B", "8x16", "8x16L",
    "12x24", "14x24", "16x32", "16x32i", "24x48", "32x64", "40x80", "60x120",
};

std::vector<uint16_t> picture_after(const std::vector<std::string>& lines)
{
    command("z");
    for (const std::string& l : lines)
        EXPECT_EQ(visible(command(l)), visible(OK)) << "\"" << l << "\"";
    return screen::snapshot();
}

// Bounding box of everything that is not white (the background after
// start-up).
Box ink_box()
{
    return screen::ink_box([](uint16_t v) { return v != screen::kWhite; });
}

bool inside(const Box& b, int x0, int y0, int x1, int y1)
{
    return !b.empty() && b.x0 >= x0 && b.y0 >= y0 && b.x1 <= x1 && b.y1 <= y1;
}

TEST(TextCommands, RepliesAndErrors)
{
    fwtest::boot_to_prompt();
    const int wH = glyphs::width(GUI_FontArial12AA4, "Hi");
    expect_replies({
        {"f", "12\r" + OK},  // the banner's font
        {"t? \"\"", "0\r" + OK},
        {"t? \"Hi\"", std::to_string(wH) + "\r" + OK},
        {"t? \"\\x48i\"", std::to_string(wH) + "\r" + OK},
        {"t", FAIL},
        {"t nothing quoted", kNoQuote},
        {"t \"A\" 1 2 3", FAIL},
        {"t \"A\" 1", kSyntax},
        {"T \"A\" 1 2 3 4", kSyntax},
        {"T \"A\" 1 2 3", FAIL},
        {"T \"A\" 10 20", OK},
        {"T \"A\" 10 20 X", OK},
        {"T \"A\" T", OK},
        {"T \"A\"", OK},
        {"ts \"A\" 10 20", OK},
        {"ts \"A\" 10 20 100 100 WW", OK},
        {"ta", "LT\r" + OK},
        {"ta RB", OK},
        {"ta", "RB\r" + OK},
        {"ta cc", OK},
        {"ta", "CC\r" + OK},
        {"ta LT", OK},
        {"ta Q", kSyntax},
        {"ta QQ", FAIL},
        {"tm X", OK},
        {"tm TR", OK},
        {"tm Z", kBadArgument},
        {"tm", kSyntax},
        {"tm N", OK},
        {"f 24B", OK},
        {"f", "24B\r" + OK},
        {"f nosuch", FAIL},
        {"f", "24B\r" + OK},
        {"f 60x120", OK},
        {"f", "60x120\r" + OK},
        {"utf8 on", OK},
        {"utf8 off", OK},
        {"utf8", kSyntax},
        {"sb 3", OK},
        {"su", OK},
        {"SB abc", OK},
        {"SU", OK},
        {"*debug 1", OK},
        {"*debug 2", ":touch pressure display on\r" + OK},
        {"f", "m10\r" + OK},
        {"*debug", FAIL},
    });
    int debug = -1;
    fwtest::on_firmware([&] { debug = debug_touch; });
    EXPECT_EQ(debug, 2) << "*debug must store the touch diagnostics level";
}

TEST(TextCommands, FontListNamesTheWholeTable)
{
    fwtest::boot_to_prompt();
    std::string want;
    for (const std::string& n : kFontNames)
        want += n + "\r";
    EXPECT_EQ(visible(command("f?")), visible(want + OK));
    EXPECT_EQ(visible(command("f?")), visible(want + OK)) << "a second listing must start again at the first name";
}

TEST(TextCommands, FontNamesSelectTheirFonts)
{
    fwtest::boot_to_prompt();
    struct Case {
        const char* name;
        const GUI_FontRecord* font;
    };
    const std::vector<Case> cases = {
        {"M24", &GUI_FontMonospac821_BT_24pt}, {"8s", &GUI_FontArial8},  {"10Bs", &GUI_FontArial10B},
        {"16", &GUI_FontArial16AA4},           {"24B", &GUI_FontArial24BAA4}, {"32B", &GUI_FontArial32BAA4},
        {"48", &GUI_FontMono48},               {"m32B", &GUI_FontMono32BAA4}, {"13", &GUI_FontArial10},
        {"x16", &GUI_Font16_1},                {"18BC", &GUI_FontArial24AA4}, {"8x15B", &GUI_FontMono14AA4},
        {"60x120", &GUI_FontMono64},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(visible(command(std::string("f ") + c.name)), visible(OK)) << c.name;
        const GUI_FontRecord* f = nullptr;
        fwtest::on_firmware([&] { f = GUI_Context.pFont; });
        EXPECT_EQ(f, c.font) << "\"f " << c.name << "\" selected the wrong font";
    }
    // Every name draws text.
    for (const std::string& n : kFontNames) {
        command("z");
        ASSERT_EQ(visible(command("f " + n)), visible(OK)) << n;
        ASSERT_EQ(visible(command("t \"Ag\" 10 10")), visible(OK)) << n;
        EXPECT_FALSE(ink_box().empty()) << "font \"" << n << "\" wrote nothing";
    }
}

TEST(TextCommands, PositionsModesAndTheCursor)
{
    fwtest::boot_to_prompt();
    command("f 10s");
    const int h = GUI_FontArial10.YSize;
    const int wAB = glyphs::width(GUI_FontArial10, "AB");

    // Two texts without a tail follow one another.
    const auto twice = picture_after({"t \"\" 10 100", "t \"AB\"", "t \"AB\""});
    const auto once = picture_after({"t \"ABAB\" 10 100"});
    EXPECT_TRUE(twice == once) << "a text without a position must continue where the last one ended";

    // A line feed in the text returns to the text's x.
    command("z");
    command("t \"A\\nA\" 40 100");
    const Box two = ink_box();
    EXPECT_TRUE(inside(two, 40, 100, 40 + wAB - 1, 100 + 2 * h - 1) && two.y1 >= 100 + h)
        << "the second line must start below the first at the same x";

    // The origin is added; the text stays in its cells.
    command("z");
    command("o 100 50");
    command("t \"AB\" 5 6");
    EXPECT_TRUE(inside(ink_box(), 105, 56, 105 + wAB - 1, 56 + h - 1)) << "text must be written at origin + (x, y)";
    command("o 0 0");

    // A mode for one text only: the library's text mode is normal after it.
    command("z");
    EXPECT_EQ(visible(command("t \"AB\" 10 10 R")), visible(OK));
    int mode = -1;
    fwtest::on_firmware([&] { mode = GUI_GetTextMode(); });
    EXPECT_EQ(mode, 0) << "the text mode must return to normal after a text with a mode";
    EXPECT_EQ(px(10, 10), screen::kBlack) << "reverse text paints its cell in the foreground colour";

    // The mode kept by "tm" applies to text without a tail.
    command("z");
    fwtest::on_firmware([] { LCD_SetPixelIndex(10, 100, 0x0000); });  // a black pixel under the text
    command("t \"\" 10 100");
    command("tm T");
    command("t \"   \"");
    EXPECT_EQ(px(10, 100), screen::kBlack) << "transparent text must not paint its cells";

    // Right-aligned text leaves the cursor at its left end.
    command("tm N");
    command("z");
    command("ta RT");
    command("t \"AB\" 300 10");
    int cx = 0;
    fwtest::on_firmware([&] { cx = GUI_GetDispPosX(); });
    EXPECT_EQ(cx, 300 - wAB) << "after right-aligned text the cursor goes to its left end";
    EXPECT_TRUE(inside(ink_box(), 300 - wAB, 10, 299, 10 + h - 1)) << "right-aligned text must end at x";
    command("t \"AB\" 300 40");
    EXPECT_TRUE(inside(ink_box(), 300 - wAB, 10, 299, 40 + h - 1)) << "the alignment must hold for the next text too";
}

TEST(TextCommands, RectanglesWrappingAndTurns)
{
    fwtest::boot_to_prompt();
    command("f 10s");
    const int h = GUI_FontArial10.YDist;
    struct Case {
        std::string line;
        int x0, y0, x1, y1;
        int minHeight;  // rows the ink must at least span
        const char* why;
    };
    const std::vector<Case> cases = {
        {"t \"Hello\" 20 20 200 60", 20, 20, 200, 60, 8, "text in a rectangle"},
        {"t \"Hello world again\" 20 20 80 200 WW", 20, 20, 80, 200, 2 * h + 8, "word wrap makes lines"},
        {"t \"Helloworldagain\" 20 20 50 200 WC", 20, 20, 50, 200, 2 * h + 8, "character wrap makes lines"},
        {"t \"Hello\" 20 20 39 200 CCW", 20, 20, 39, 200, 20, "a quarter turn counter-clockwise"},
        {"t \"Hello\" 20 20 39 200 CW", 20, 20, 39, 200, 20, "a quarter turn clockwise"},
        {"t \"Hello\" 20 20 200 60 I", 20, 20, 200, 60, 8, "upside down"},
        {"t \"Hello\" 20 20 200 60 X", 20, 20, 200, 60, 8, "with a text mode"},
        {"t \"Hello\" 20 20 200 60 nonsense", 20, 20, 200, 60, 8, "an unknown word is normal mode"},
    };
    for (const Case& c : cases) {
        command("z");
        ASSERT_EQ(visible(command(c.line)), visible(OK)) << c.why;
        const Box b = ink_box();
        EXPECT_TRUE(inside(b, c.x0, c.y0, c.x1, c.y1)) << c.why << ": ink outside the rectangle";
        EXPECT_GE(b.y1 - b.y0 + 1, c.minHeight) << c.why << ": the text is not laid out as asked";
    }
    // Upside down is the plain text turned.
    command("z");
    command("t \"Hello\" 20 20 200 60");
    const auto plain = screen::snapshot();
    command("z");
    command("t \"Hello\" 20 20 200 60 I");
    int wrong = 0;
    for (int y = 20; y <= 60; ++y)
        for (int x = 20; x <= 200; ++x)
            wrong += px(x, y) != plain[static_cast<size_t>(20 + 60 - y) * screen::W + (20 + 200 - x)];
    EXPECT_EQ(wrong, 0) << "\"I\" must turn the text by half a turn in its rectangle";
}

TEST(TextCommands, PlacesBeyondTheCoordinatesRoomAreRefused)
{
    // Text is placed in 16-bit coordinates, origin added: a place beyond
    // +-16383 is refused with "!" alone and draws nothing, wherever text is
    // placed; the edges of the room are taken.
    fwtest::boot_to_prompt();
    const std::string kNotAButton = ":index outside valid range\r!\r";
    // A box at the edge of the room has the grid of its twin on the screen.
    ASSERT_EQ(visible(command("f 8x16")), visible(OK));
    ASSERT_EQ(visible(command("std 3 0 0 0 383 100")), visible(OK));
    const std::string twin = command("std 3");
    struct Case {
        const char* setup;  // after the screen clear, origin 0 0, alignment LT and a monospaced font
        const char* line;
        const std::string reply;
        const char* check;  // a query afterwards, and its reply
        const std::string checkReply;
    };
    const Case cases[] = {
        {"", "t \"A\" 66000 10", FAIL, "", ""},
        {"", "t \"A\" 16384 10", FAIL, "", ""},
        {"", "t \"A\" 10 -16385", FAIL, "", ""},
        {"", "t \"A\" 66000 10 X", FAIL, "", ""},
        {"", "T \"A\" 66000 10", FAIL, "", ""},
        {"", "ts \"A\" 66000 10", FAIL, "", ""},
        {"", "t \"A\" 10 10 70000 60", FAIL, "", ""},
        {"", "t \"A\" 65546 10 65600 60 WW", FAIL, "", ""},
        {"o 0 217", "t \"AB\" 480 65535 799 2147483647 Q", FAIL, "", ""},
        {"ta RT", "t \"A\" -2147483648 10", FAIL, "", ""},
        {"o 16000 0", "t \"A\" 384 10", FAIL, "", ""},
        {"", "twd 0 65536 0 65635 100", FAIL, "twq 0", FAIL},
        {"", "twd 1 -2147483648 0 2147483647 100", FAIL, "twq 1", FAIL},
        {"", "std 0 0 65536 0 65635 100", FAIL, "std 0", FAIL},
        {"", "std 1 0 0 -2147483648 100 2147483647", FAIL, "std 1", FAIL},
        {"", "bd 5 66000 10 0 \"L\"", FAIL, "bc 5", kNotAButton},
        {"", "bd 6 16350 10 0 \"L\"", FAIL, "bc 6", kNotAButton},
        {"o 0 16000", "bd 7 10 400 1 \"L\"", FAIL, "bc 7", kNotAButton},
        {"", "t \"A\" 16383 -16384", OK, "", ""},
        {"o 16000 0", "t \"A\" 383 10 CW", OK, "", ""},
        {"o -16384 0", "t \"A\" 0 10 20 60", OK, "", ""},
        {"", "std 2 0 16000 0 16383 100", OK, "std 2", twin},
        {"", "bd 8 16300 10 0 \"L\"", OK, "bc 8", OK},
    };
    const auto blank = picture_after({});
    for (const Case& c : cases) {
        for (const char* l : {"z", "o 0 0", "ta LT", "f 8x16"})
            ASSERT_EQ(visible(command(l)), visible(OK)) << l;
        if (*c.setup)
            ASSERT_EQ(visible(command(c.setup)), visible(OK)) << c.setup;
        EXPECT_EQ(visible(command(c.line)), visible(c.reply)) << "\"" << c.line << "\" after \"" << c.setup << "\"";
        if (c.reply == FAIL)
            EXPECT_TRUE(screen::snapshot() == blank) << "\"" << c.line << "\" was refused but drew";
        if (*c.check)
            EXPECT_EQ(visible(command(c.check)), visible(c.checkReply)) << "after \"" << c.line << "\"";
    }
}

// A centred line starts (x1 - x0 - width) / 2 along its rectangle, in
// every layout: plain, wrapped and turned.  Each centred text must draw
// what the same text draws left-aligned from that place.
TEST(TextCommands, CentredLinesStartWhereTheHostPlacesThem)
{
    fwtest::boot_to_prompt();
    const std::string reply = command("t? \"AB\"");
    const int w = std::stoi(reply);
    ASSERT_GT(w, 0) << visible(reply);
    struct Case {
        const char* what;
        // The text's line for a rectangle of x1 - x0 = span, centred, and
        // left-aligned from offset x.
        std::string (*centred)(int span);
        std::string (*left)(int span, int x);
    };
    using std::to_string;
    const Case cases[] = {
        {"in a rectangle", [](int s) { return "t \"AB\" 0 100 " + to_string(s) + " 115"; },
         [](int s, int x) { return "t \"AB\" " + to_string(x) + " 100 " + to_string(s) + " 115"; }},
        {"wrapped by words", [](int s) { return "t \"AB\" 0 100 " + to_string(s) + " 115 WW"; },
         [](int s, int x) { return "t \"AB\" " + to_string(x) + " 100 " + to_string(s) + " 115 WW"; }},
        {"wrapped by characters", [](int s) { return "t \"AB\" 0 100 " + to_string(s) + " 115 WC"; },
         [](int s, int x) { return "t \"AB\" " + to_string(x) + " 100 " + to_string(s) + " 115 WC"; }},
        {"upside down", [](int s) { return "t \"AB\" 0 100 " + to_string(s) + " 115 I"; },
         [](int s, int x) { return "t \"AB\" 0 100 " + to_string(s - x) + " 115 I"; }},
        {"turned clockwise", [](int s) { return "t \"AB\" 20 0 45 " + to_string(s) + " CW"; },
         [](int s, int x) { return "t \"AB\" 20 " + to_string(x) + " 45 " + to_string(s) + " CW"; }},
        {"turned counter-clockwise", [](int s) { return "t \"AB\" 20 0 45 " + to_string(s) + " CCW"; },
         [](int s, int x) { return "t \"AB\" 20 0 45 " + to_string(s - x) + " CCW"; }},
    };
    for (const Case& c : cases)
        for (int span : {100, 101}) {  // one of the two spare widths is even, the other odd
            const int x = (span - w) / 2;
            const auto centred = picture_after({"ta CT", c.centred(span)});
            EXPECT_TRUE(centred == picture_after({"ta LT", c.left(span, x)}))
                << "text centred " << c.what << " (" << c.centred(span) << ") does not start " << x
                << " pixels along";
        }
    command("ta LT");
}

TEST(TextCommands, EncodingsAndUnquotedText)
{
    fwtest::boot_to_prompt();
    command("f 16");
    const auto latin1 = picture_after({"t \"caf\\xE9\" 10 10"});
    EXPECT_TRUE(latin1 == picture_after({"utf8 on", "t \"caf\\xC3\\xA9\" 10 10", "utf8 off"}))
        << "UTF-8 text must draw the Latin-1 letters";
    EXPECT_TRUE(latin1 == picture_after({"t \"\\x1B"
                                         "caf\\xC3\\xA9\" 10 10"}))
        << "a text starting with ESC must be UTF-8 for that text";
    EXPECT_TRUE(latin1 != picture_after({"t \"caf\\xC3\\xA9\" 10 10"})) << "8-bit text must take each byte as a letter";
    EXPECT_TRUE(picture_after({"t \"\\xC1\" 10 10"}) == picture_after({"utf8 on", "t \"\\xC3A\" 10 10", "utf8 off"}))
        << "a UTF-8 lead byte must take the byte after it, whatever its top bits: C3 41 is C1";
    EXPECT_TRUE(picture_after({"t \"hello world\" 10 10"}) == picture_after({"t \"\" 10 10", "tu hello world"}))
        << "tu must write the rest of the line as it stands";
    EXPECT_EQ(visible(command("t? \"\\x1B\\xC3\\xA9\"")), visible(command("t? \"\\xE9\"")))
        << "the width of a text marked UTF-8 is that of its letters";
}

// "tu" writes as the graphics library writes a string: the alignment holds
// for that text, then its horizontal part is left; text in a rectangle
// leaves the alignment as it was.
TEST(TextCommands, UnquotedTextTakesTheHorizontalAlignmentOnce)
{
    fwtest::boot_to_prompt();
    const int wAB = std::stoi(command("t? \"AB\""));
    const auto two = picture_after({"ta CT", "sc 200 100", "tu AB", "tu CD"});
    EXPECT_EQ(visible(command("ta")), visible("CT\r" + OK)) << "\"ta\" must answer the alignment last set";
    EXPECT_TRUE(two == picture_after({"ta LT", "sc " + std::to_string(200 - wAB / 2) + " 100", "tu ABCD"}))
        << "after \"ta CT\" the first \"tu\" must be centred on the cursor and the second follow it left-aligned";
    EXPECT_TRUE(two == picture_after({"ta CT", "sc 200 100", "tu AB", "t \"CD\""}))
        << "after \"tu\" a text at the cursor must follow it left-aligned";
    command("ta CT");
    command("t \"AB\" 0 100 100 115");
    EXPECT_EQ(visible(command("ta")), visible("CT\r" + OK)) << "text in a rectangle must keep the alignment";
    command("ta LT");
}

TEST(TextCommands, BinaryLeadBytesCanBeSwitchedOff)
{
    fwtest::boot_to_prompt();
    EXPECT_EQ(visible(command("*BMOFF")), visible(OK));
    int enabled = -1;
    fwtest::on_firmware([&] { enabled = binaryEnable; });
    EXPECT_EQ(enabled, 0) << "*BMOFF must switch binary commands off";
}

TEST(TextCommands, BannerStandsOnThePanelAfterStartUp)
{
    fwtest::boot_to_prompt();
    const auto booted = screen::snapshot();
    // The first banner line as the banner draws it: font "12", black on
    // white, two blanks before the version text, 10 rows down.
    fwtest::on_firmware([] {
        GUI_SetColor(0x000000);
        GUI_SetBkColor(0xFFFFFF);
        GUI_Clear();
        GUI_SetFont(&GUI_FontArial12AA4);
        GUI_SetTextMode(0);
        GUI_DispStringAt("  VELM5-PLUS V1.5.8 WVGA ", 0, 10);
    });
    const auto first = screen::snapshot();
    int dark = 0, wrong = 0;
    for (int y = 10; y < 10 + GUI_FontArial12AA4.YSize; ++y)
        for (int x = 0; x < screen::W; ++x) {
            const size_t i = static_cast<size_t>(y) * screen::W + x;
            dark += booted[i] != screen::kWhite;
            wrong += booted[i] != first[i];
        }
    EXPECT_GT(dark, 100) << "the version line of the banner is missing";
    EXPECT_EQ(wrong, 0) << "the banner's first line is not \"  VELM5-PLUS V1.5.8 WVGA \" in font 12";
    const int lines = 6;  // version, two maker lines, baud rate, one empty line (and the first row)
    for (int y = 10 + lines * GUI_FontArial12AA4.YDist; y < screen::H; ++y)
        for (int x = 0; x < screen::W; ++x)
            ASSERT_EQ(booted[static_cast<size_t>(y) * screen::W + x], screen::kWhite)
                << "the start-up screen must be white below the banner; pixel " << x << "," << y;
    int baudRow = 0;
    for (int x = 0; x < screen::W; ++x)
        baudRow += booted[static_cast<size_t>(10 + 3 * GUI_FontArial12AA4.YDist + 8) * screen::W + x] != screen::kWhite;
    EXPECT_GT(baudRow, 5) << "the baud rate line is missing";
}

}  // namespace
