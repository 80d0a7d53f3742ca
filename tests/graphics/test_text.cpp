// Text on the panel: glyphs pixel for pixel, strings with alignment and
// line breaks, widths and the cursor, rectangles, wrapping, turned text,
// the encodings and the anti-aliasing mixers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "glyphs.h"
#include "screen.h"

namespace {

using screen::Box;
using screen::px;

constexpr uint16_t kRed = screen::kRed;

uint16_t rgb565(GUI_ColorValue c)
{
    return static_cast<uint16_t>(LCD_Color2Index_M565(c));
}

// Expected pixel of a glyph value drawn white on black (normal mode) or
// white over red (TRANS).
uint16_t expected(const glyphs::Glyph& g, int v, bool trans)
{
    const GUI_ColorValue bg = trans ? 0x0000FF : 0x000000;
    if (g.bpp == 1)
        return v ? screen::kWhite : rgb565(bg);
    return rgb565(LCD_AA_MixColors(0xFFFFFF, bg, static_cast<uint8_t>(v)));
}

// The library as start-up leaves it (white on black), the screen filled
// with fill and the font selected.  The board boots once per process.
void fresh(const GUI_FontRecord* font = &GUI_FontArial10, uint16_t fill = screen::kBlack)
{
    static bool booted;
    if (!booted)
        screen::start();
    booted = true;
    screen::run([font] {
        GUI_Init();
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
        GUI_SetTextMode(GUI_DRAWMODE_NORMAL);
        GUI_SetTextAlign(GUI_TA_LEFT);
        GUI_SetLBorder(0);
        GUI_SetFont(font);
    });
    screen::fill(fill);
}

void start_on_red(const GUI_FontRecord* font)
{
    fresh(font, kRed);
}

// Pixels of the rectangle that are still red.
int red_in(int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            n += px(x, y) == kRed;
    return n;
}

// Bounding box of the pixels that are neither red nor black.
Box ink_box()
{
    return screen::ink_box([](uint16_t v) { return v != kRed && v != screen::kBlack; });
}

TEST(Glyphs, OneBppAndAntiAliasedCellsArePaintedPixelForPixel)
{
    struct Case {
        const GUI_FontRecord* font;
        uint16_t code;
        int mode;
    };
    const std::vector<Case> cases = {
        {&GUI_FontArial10, 'A', GUI_DRAWMODE_NORMAL}, {&GUI_FontArial10B, 'g', GUI_DRAWMODE_NORMAL},
        {&GUI_FontArial10, 'A', GUI_DRAWMODE_TRANS},  {&GUI_FontArial16AA4, 'e', GUI_DRAWMODE_NORMAL},
        {&GUI_FontMono24AA4, 'Q', GUI_DRAWMODE_NORMAL}, {&GUI_FontArial16AA4, 'e', GUI_DRAWMODE_TRANS},
    };
    for (const Case& c : cases) {
        start_on_red(c.font);
        const glyphs::Glyph g = glyphs::find(*c.font, c.code);
        screen::run([&] {
            GUI_SetTextMode(static_cast<int16_t>(c.mode));
            GUI_DispCharAt(c.code, 40, 30);
            EXPECT_EQ(GUI_GetDispPosX(), 40 + g.xDist) << "the cursor must move by the advance";
        });
        const bool trans = c.mode == GUI_DRAWMODE_TRANS;
        int wrong = 0;
        for (int y = 0; y < g.ySize; ++y)
            for (int x = 0; x < g.xSize; ++x) {
                const int v = g.at(x, y);
                const uint16_t want = trans && v == 0 ? kRed : expected(g, v, trans);
                if (px(40 + x, 30 + y) != want && ++wrong < 4)
                    ADD_FAILURE() << "code " << c.code << " mode " << c.mode << ": pixel " << x << "," << y
                                  << " of the glyph is " << std::hex << px(40 + x, 30 + y) << ", not " << want;
            }
        EXPECT_EQ(wrong, 0) << "glyph " << c.code << " in mode " << c.mode << " is not what the generator made";
        EXPECT_EQ(red_in(0, 0, screen::W - 1, screen::H - 1) - red_in(40, 30, 40 + g.xSize - 1, 30 + g.ySize - 1),
                  screen::W * screen::H - g.xSize * g.ySize)
            << "drawing a glyph touched pixels outside its cell";
    }
}

TEST(Glyphs, MixingFollowsTheIntensity)
{
    EXPECT_EQ(LCD_AA_MixColors(0xFFFFFF, 0x000000, 8), 0x888888u) << "255 x 8 / 15 = 136 per channel";
    EXPECT_EQ(LCD_AA_MixColors(0x123456, 0xABCDEF, 15), 0x123456u);
    EXPECT_EQ(LCD_AA_MixColors(0x123456, 0xABCDEF, 0), 0xABCDEFu);
    EXPECT_EQ(LCD_AA_MixColors(0x0000FF, 0xFF0000, 5), 0xAA0055u) << "red 255 x 5 / 15, blue 255 x 10 / 15";
}

TEST(Glyphs, AntiAliasedPixelWritersByDrawMode)
{
    fresh();
    screen::fill(kRed);
    screen::run([] {
        GUI_SetColor(0xFFFFFF);
        GUI_SetBkColor(0x000000);
        LCD_SetPixelAA_NoTrans(1, 1, 0);
        LCD_SetPixelAA_NoTrans(2, 1, 15);
        LCD_SetPixelAA_NoTrans(3, 1, 8);
        LCD_SetPixelAA(1, 2, 0);
        LCD_SetPixelAA(2, 2, 15);
        LCD_SetPixelAA(3, 2, 5);
        LCD_SetPixelAA_Xor(1, 3, 0);
        LCD_SetPixelAA_Xor(2, 3, 15);
        GUI_Area clip = {10, 10, 20, 20};
        GUI_SetClipRect(&clip);
        LCD_SetPixelAA_NoTrans(5, 5, 15);
        LCD_SetPixelAA(5, 6, 15);
        LCD_SetPixelAA_Xor(5, 7, 15);
        GUI_SetClipRect(nullptr);
    });
    EXPECT_EQ(px(1, 1), screen::kBlack) << "normal mode paints intensity 0 in the background";
    EXPECT_EQ(px(2, 1), screen::kWhite);
    EXPECT_EQ(px(3, 1), rgb565(0x888888));
    EXPECT_EQ(px(1, 2), kRed) << "TRANS leaves intensity 0 alone";
    EXPECT_EQ(px(2, 2), screen::kWhite);
    EXPECT_EQ(px(3, 2), rgb565(LCD_AA_MixColors(0xFFFFFF, 0x0000FF, 5))) << "TRANS mixes with the screen";
    EXPECT_EQ(px(1, 3), kRed);
    EXPECT_EQ(px(2, 3), static_cast<uint16_t>(kRed ^ 0xFFFF)) << "full XOR inverts as 1-bpp XOR text does";
    EXPECT_EQ(red_in(5, 5, 5, 7), 3) << "the writers must clip";
}

TEST(Glyphs, TwoBppIntensitiesAreFiveApart)
{
    fresh();
    static const uint8_t row[] = {0x1B};  // 0, 1, 2, 3
    screen::run([] { GUI_AA__DrawCharAA2NoTrans(10, 10, 4, 1, 1, row); });
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(px(10 + i, 10), rgb565(LCD_AA_MixColors(0xFFFFFF, 0, static_cast<uint8_t>(5 * i))))
            << "2-bpp value " << i << " must mix with intensity " << 5 * i;
}

// ------------------------------------------------------------ strings

TEST(Strings, WidthAlignmentAndCursorByFont)
{
    struct Case {
        const GUI_FontRecord* font;
        std::string text;
        int align;
        int x, y;
    };
    const std::vector<Case> cases = {
        {&GUI_FontArial10, "Hello", GUI_TA_LEFT, 10, 20},
        {&GUI_FontArial10, "Hello", GUI_TA_RIGHT, 300, 20},
        {&GUI_FontArial10B, "Hello", GUI_TA_HCENTER, 300, 20},
        {&GUI_FontArial16AA4, "Wave", GUI_TA_LEFT | GUI_TA_BOTTOM, 10, 200},
        {&GUI_FontArial24AA4, "Wave", GUI_TA_RIGHT | GUI_TA_VCENTER, 400, 200},
        {&GUI_FontMono12AA4, "a b", GUI_TA_LEFT, 10, 20},
        {&GUI_FontMonospac821_BT_24pt, "Mono", GUI_TA_HCENTER | GUI_TA_BOTTOM, 400, 300},
        {&GUI_FontMono48, "Hg", GUI_TA_LEFT, 30, 100},
        {&GUI_FontMono64, "Wy", GUI_TA_RIGHT, 700, 200},
    };
    for (const Case& c : cases) {
        start_on_red(c.font);
        const int w = glyphs::width(*c.font, c.text);
        int measured = 0, cx = 0, cy = 0, alignAfter = 0;
        screen::run([&] {
            measured = GUI_GetStringDistX(c.text.c_str());
            GUI_SetTextAlign(static_cast<int16_t>(c.align));
            GUI_DispStringAt(c.text.c_str(), c.x, c.y);
            cx = GUI_GetDispPosX();
            cy = GUI_GetDispPosY();
            alignAfter = GUI_GetTextAlign();
        });
        const int h = c.font->YSize;
        const int left = c.x - ((c.align & 3) == GUI_TA_RIGHT ? w : (c.align & 3) == GUI_TA_HCENTER ? w / 2 : 0);
        const int top = c.y - ((c.align & 12) == GUI_TA_BOTTOM ? h - 1 : (c.align & 12) ? h / 2 : 0);
        const std::string what = "\"" + c.text + "\" align " + std::to_string(c.align);
        EXPECT_EQ(measured, w) << what << ": the width is not the sum of the advances";
        EXPECT_EQ(cx, left + w) << what << ": the cursor must stand after the text";
        EXPECT_EQ(cy, c.y) << what << ": the vertical alignment must not move the cursor for good";
        EXPECT_EQ(alignAfter & 3, 0) << what << ": the horizontal alignment holds for one string only";
        EXPECT_EQ(red_in(left, top, left + w - 1, top + h - 1), 0) << what << ": normal text paints its whole cells";
        const Box b = ink_box();
        ASSERT_FALSE(b.empty()) << what << " drew nothing";
        EXPECT_TRUE(b.x0 >= left && b.x1 < left + w && b.y0 >= top && b.y1 < top + h)
            << what << ": ink at " << b.x0 << "," << b.y0 << ".." << b.x1 << "," << b.y1 << " outside the cells "
            << left << "," << top << "+" << w << "x" << h;
        EXPECT_EQ(red_in(0, 0, screen::W - 1, screen::H - 1), screen::W * screen::H - w * h)
            << what << ": pixels outside the cells changed";
    }
}

TEST(Strings, LineFeedReturnsToTheLeftBorder)
{
    fresh();
    int cx = 0, cy = 0;
    screen::run([&] {
        GUI_SetFont(&GUI_FontArial10);
        GUI_SetLBorder(10);
        GUI_DispStringAt("XY\nZ", 50, 50);
        cx = GUI_GetDispPosX();
        cy = GUI_GetDispPosY();
    });
    EXPECT_EQ(cx, 10 + glyphs::width(GUI_FontArial10, "Z")) << "Z must start at the left border";
    EXPECT_EQ(cy, 50 + 16) << "Z must stand one line distance lower";
}

TEST(Strings, CarriageReturnRestartsAnAlignedLineFromItsStart)
{
    fresh();
    screen::run([] {
        GUI_SetFont(&GUI_FontArial10);
        GUI_SetTextAlign(GUI_TA_RIGHT);
        GUI_DispStringAt("XY\rZ", 200, 50);
    });
    const std::vector<uint16_t> once = screen::snapshot();
    fresh();
    screen::run([] {
        GUI_SetFont(&GUI_FontArial10);
        GUI_SetTextAlign(GUI_TA_RIGHT);
        GUI_DispStringAt("XY", 200, 50);
        GUI_SetTextAlign(GUI_TA_RIGHT);
        GUI_DispStringAt("Z", 200, 50);
    });
    EXPECT_TRUE(once == screen::snapshot()) << "after a CR, Z must be right-aligned again at the starting x, same row";
}

TEST(Strings, CodesOutsideTheFontDrawNothingAndDoNotAdvance)
{
    fresh();
    int cx = 0;
    screen::run([&] {
        GUI_SetFont(&GUI_Font16_ASCII);
        GUI_DispStringAt("\xE9", 100, 100);
        cx = GUI_GetDispPosX();
    });
    EXPECT_EQ(cx, 100);
    EXPECT_TRUE(screen::pixels_not(screen::kBlack).empty()) << "GUI_Font16_ASCII drew something for 0xE9";
}

// A font whose cells are exactly its glyphs' height: XOR text inverts
// under its ink only, so drawn twice it leaves the picture as it was.
TEST(Strings, XorTextDrawnTwiceLeavesThePictureAsItWas)
{
    fresh();
    screen::run([] {
        GUI_SetColor(0x00FF00);
        GUI_FillRect(0, 0, 99, 40);
    });
    const std::vector<uint16_t> before = screen::snapshot();
    screen::run([] {
        GUI_SetColor(0xFFFFFF);
        GUI_SetTextMode(GUI_DRAWMODE_XOR);
        GUI_DispStringAt("Hi", 5, 5);
    });
    EXPECT_FALSE(before == screen::snapshot()) << "XOR text drew nothing";
    screen::run([] { GUI_DispStringAt("Hi", 5, 5); });
    EXPECT_TRUE(before == screen::snapshot()) << "XOR text twice must give the picture back";
}

// Only transparent text leaves the rest of its cell alone: in normal and
// XOR mode the rows a font's line distance adds below its glyphs, and the
// cells of an extended font around its glyph boxes, take the background.
TEST(Strings, OnlyTransparentTextLeavesTheRestOfItsCellAlone)
{
    static GUI_FontRecord spaced;  // Arial 10 with 4 rows between lines
    spaced = GUI_FontArial10;
    spaced.YDist = static_cast<uint8_t>(GUI_FontArial10.YSize + 4);
    struct Case {
        const GUI_FontRecord* font;
        int mode;
        bool painted;
        int x, y;  // a pixel of the cell of "H" at (10, 10) that is not ink
        const char* what;
    };
    const int below = 10 + GUI_FontArial10.YSize + 1;
    const std::vector<Case> cases = {
        {&spaced, GUI_DRAWMODE_NORMAL, true, 10, below, "normal text, the line gap"},
        {&spaced, GUI_DRAWMODE_XOR, true, 10, below, "XOR text, the line gap"},
        {&spaced, GUI_DRAWMODE_TRANS, false, 10, below, "transparent text, the line gap"},
        {&GUI_FontMono48, GUI_DRAWMODE_NORMAL, true, 12, 11, "normal text, an extended font's cell"},
        {&GUI_FontMono48, GUI_DRAWMODE_XOR, true, 12, 11, "XOR text, an extended font's cell"},
        {&GUI_FontMono48, GUI_DRAWMODE_TRANS, false, 12, 11, "transparent text, an extended font's cell"},
    };
    for (const Case& c : cases) {
        fresh(c.font, screen::kGreen);
        screen::run([&] {
            GUI_SetBkColor(0xFF0000);  // blue
            GUI_SetTextMode(c.mode);
            GUI_DispStringAt("H", 10, 10);
        });
        EXPECT_NE(screen::pixels_not(screen::kGreen).size(), 0u) << c.what << ": nothing drawn";
        EXPECT_EQ(px(c.x, c.y), c.painted ? screen::kBlue : screen::kGreen)
            << c.what << (c.painted ? " must take the background" : " must be left alone");
    }
}

TEST(Strings, ReverseTextSwapsCellAndInk)
{
    fresh();
    const glyphs::Glyph g = glyphs::find(GUI_FontArial10, 'H');
    screen::run([] {
        GUI_SetFont(&GUI_FontArial10);
        GUI_SetTextMode(GUI_DRAWMODE_REV);
        GUI_DispStringAt("H", 10, 10);
    });
    for (int y = 0; y < g.ySize; ++y)
        for (int x = 0; x < g.xSize; ++x)
            ASSERT_EQ(px(10 + x, 10 + y), g.at(x, y) ? screen::kBlack : screen::kWhite)
                << "reverse text: pixel " << x << "," << y;
}

// ------------------------------------------------------------ rectangles

TEST(Rectangles, VerticalCentreOfTwoLines)
{
    // Two lines of 16 in a 48-pixel rectangle start 8 rows down.
    fresh();
    screen::run([] {
        GUI_SetFont(&GUI_FontArial10);
        const GUI_Area r = {10, 100, 200, 147};
        GUI_DispStringInRect("H\nH", &r, GUI_TA_VCENTER);
    });
    int top, bottom;
    glyphs::ink_rows(glyphs::find(GUI_FontArial10, 'H'), top, bottom);
    const Box b = ink_box();
    EXPECT_EQ(b.y0, 108 + top) << "the first line must start at r.y0 + 8";
    EXPECT_EQ(b.y1, 108 + 16 + bottom) << "the second line must follow one line distance lower";
}

TEST(Rectangles, HorizontalPlacesAndTheClip)
{
    const std::string text = "Hi";
    const int w = glyphs::width(GUI_FontArial10, text);
    struct Case {
        int align;
        int left;  // where the cells start in the rectangle 100..(100 + 2w + 2)
    };
    const int x0 = 100, x1 = 100 + 2 * w + 1;  // the spare width w + 2 is even
    // Centred: x0 + (x1 - x0 - w) / 2, which leaves the right side the
    // larger margin.
    for (const Case& c : {Case{GUI_TA_LEFT, x0}, Case{GUI_TA_RIGHT, x1 + 1 - w},
                          Case{GUI_TA_HCENTER, x0 + (w + 1) / 2}}) {
        start_on_red(&GUI_FontArial10);
        screen::run([&] {
            const GUI_Area r = {static_cast<int16_t>(x0), 50, static_cast<int16_t>(x1), 60};
            GUI_DispStringInRect(text.c_str(), &r, c.align);
        });
        EXPECT_EQ(red_in(c.left, 50, c.left + w - 1, 60), 0) << "align " << c.align << ": cells not where they belong";
        EXPECT_EQ(red_in(0, 0, screen::W - 1, screen::H - 1), screen::W * screen::H - w * 11)
            << "align " << c.align << ": text in a rectangle must be clipped to it";
    }
}

// ------------------------------------------------------------ wrapping

TEST(Wrapping, WhereLinesBreak)
{
    fresh();
    const int d = glyphs::find(GUI_FontMono10AA4, 'a').xDist;
    struct Case {
        const char* text;
        int chars;  // width in characters
        int mode;
        int disp, next;
        const char* why;
    };
    const std::vector<Case> cases = {
        {"aaa bbb ccc", 7, GUI_WRAPMODE_WORD, 7, 8, "two words fit"},
        {"aaa bbb", 3, GUI_WRAPMODE_WORD, 3, 4, "the blank at the break is skipped"},
        {"aaa bbb", 4, GUI_WRAPMODE_WORD, 3, 4, "a blank exactly at the edge is not drawn"},
        {"aaa  bbb", 4, GUI_WRAPMODE_WORD, 3, 5, "all blanks at the break are skipped"},
        {"aaa \nbbb", 3, GUI_WRAPMODE_WORD, 3, 5, "the LF right behind a break is the same break"},
        {"aaaaaaaaaa", 3, GUI_WRAPMODE_WORD, 3, 3, "a word wider than the rectangle is cut"},
        {"aaaaaaaaaa", 0, GUI_WRAPMODE_WORD, 1, 1, "a line takes at least one character"},
        {"aa\nbb", 10, GUI_WRAPMODE_WORD, 2, 3, "an LF ends a line"},
        {"aaa bbb", 5, GUI_WRAPMODE_CHAR, 5, 5, "character mode cuts anywhere"},
        {"aaa bbb", 0, GUI_WRAPMODE_CHAR, 1, 1, "a line takes at least one character"},
        {"", 5, GUI_WRAPMODE_WORD, 0, 0, "nothing left"},
    };
    screen::run([&] {
        GUI_SetFont(&GUI_FontMono10AA4);
        for (const Case& c : cases) {
            EXPECT_EQ(GUI__WrapGetNumCharsDisp(c.text, c.chars * d, c.mode), c.disp) << c.why << ": " << c.text;
            EXPECT_EQ(GUI__WrapGetNumCharsToNextLine(c.text, c.chars * d, c.mode), c.next) << c.why << ": " << c.text;
        }
    });
}

TEST(Wrapping, WordsGoOntoLinesInsideTheRectangle)
{
    start_on_red(&GUI_FontMono10AA4);
    const int d = glyphs::find(GUI_FontMono10AA4, 'a').xDist, h = GUI_FontMono10AA4.YDist;
    screen::run([&] {
        const GUI_Area r = {20, 20, static_cast<int16_t>(20 + 7 * d - 1), 200};
        GUI_DispStringInRectWrap("aaa bbb ccc", &r, GUI_TA_LEFT, GUI_WRAPMODE_WORD);
    });
    EXPECT_EQ(red_in(20, 20, 20 + 7 * d - 1, 20 + h - 1), 0) << "the first line must hold \"aaa bbb\"";
    EXPECT_EQ(red_in(20, 20 + h, 20 + 3 * d - 1, 20 + 2 * h - 1), 0) << "the second line must hold \"ccc\"";
    EXPECT_EQ(red_in(0, 0, screen::W - 1, screen::H - 1), screen::W * screen::H - 10 * d * h)
        << "nothing but the two lines may be drawn";
}

TEST(Wrapping, AWordWiderThanTheRectangleStillEnds)
{
    start_on_red(&GUI_FontArial10);
    fwtest::on_firmware(
        [] {
            const GUI_Area r = {20, 20, 20, 400};
            GUI_DispStringInRectWrap("abcdefghij", &r, GUI_TA_LEFT, GUI_WRAPMODE_WORD);
        },
        2 * sim::kSecond);
    EXPECT_LT(red_in(20, 20, 20, 20 + 10 * 16 - 1), 10 * 16) << "one character per line, clipped, is drawn";
}

// ------------------------------------------------------------ turned text

// The text drawn unturned in a w x h rectangle, as values by (u, v).
std::vector<uint16_t> unturned(const GUI_FontRecord* font, const char* text, int w, int h)
{
    start_on_red(font);
    screen::run([&] {
        const GUI_Area r = {100, 100, static_cast<int16_t>(100 + w - 1), static_cast<int16_t>(100 + h - 1)};
        GUI_DispStringInRect(text, &r, GUI_TA_LEFT);
    });
    std::vector<uint16_t> v;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            v.push_back(px(100 + x, 100 + y));
    return v;
}

TEST(TurnedText, EachTurnPutsEveryPixelInItsPlace)
{
    const int w = 40, h = 26;
    struct Turn {
        const char* name;
        const GUI_RotationAPIList* list;
        bool quarter;  // width and height exchanged
    };
    const std::vector<Turn> turns = {
        {"180", &LCD_APIList180, false},
        {"CCW", &LCD_APIListCCW, true},
        {"CW", &LCD_APIListCW, true},
    };
    for (const GUI_FontRecord* font : {&GUI_FontArial10, &GUI_FontArial16AA4, &GUI_FontMono48}) {
        const int fw = font == &GUI_FontMono48 ? 2 * w : w, fh = font == &GUI_FontMono48 ? 90 : h;
        const std::vector<uint16_t> plain = unturned(font, "Fj", fw, fh);
        for (const Turn& t : turns) {
            start_on_red(font);
            const int sw = t.quarter ? fh : fw, sh = t.quarter ? fw : fh;
            screen::run([&] {
                const GUI_Area r = {300, 50, static_cast<int16_t>(300 + sw - 1), static_cast<int16_t>(50 + sh - 1)};
                GUI_DispStringInRectEx("Fj", &r, GUI_TA_LEFT, 0x7FFF, t.list);
            });
            int wrong = 0;
            for (int v = 0; v < fh; ++v)
                for (int u = 0; u < fw; ++u) {
                    // Where text pixel (u, v) must land.
                    int x, y;
                    if (t.list == &LCD_APIList180) {
                        x = 300 + fw - 1 - u;
                        y = 50 + fh - 1 - v;
                    } else if (t.list == &LCD_APIListCCW) {
                        x = 300 + v;
                        y = 50 + fw - 1 - u;
                    } else {
                        x = 300 + fh - 1 - v;
                        y = 50 + u;
                    }
                    wrong += px(x, y) != plain[static_cast<size_t>(v) * fw + u];
                }
            EXPECT_EQ(wrong, 0) << t.name << " turn of a font of height " << static_cast<int>(font->YSize)
                                << ": pixels off their turned place";
            EXPECT_EQ(red_in(0, 0, screen::W - 1, screen::H - 1) - red_in(300, 50, 300 + sw - 1, 50 + sh - 1),
                      screen::W * screen::H - sw * sh)
                << t.name << ": turned text must stay inside its rectangle";
            bool cleared = false;
            screen::run([&] { cleared = GUI_pLCD_APIList == nullptr; });
            EXPECT_TRUE(cleared) << t.name << ": the rotation list must be cleared afterwards";
        }
    }
}

// ------------------------------------------------------------ encodings

TEST(Encodings, Utf8DecodingOfGoodAndBadSequences)
{
    struct Case {
        std::string bytes;
        std::vector<uint16_t> codes;
        const char* why;
    };
    const std::vector<Case> cases = {
        {"A", {0x41}, "ASCII"},
        {"\xC3\xA9", {0xE9}, "two bytes"},
        {"\xE2\x82\xAC", {0x20AC}, "three bytes"},
        {"\x80", {1}, "a lone continuation byte"},
        {"\x80" "A", {1, 0x41}, "a lone continuation byte advances one byte"},
        {"\xC3", {1}, "a lead byte before the end must not take the NUL"},
        {"\xC3" "A", {0xC1}, "a lead byte takes its follower whatever its top bits"},
        {"\xC3\xC3\xA9", {0xC3, 1}, "a lead byte as the follower of another"},
        {"\xE2\x82", {1, 1}, "a three-byte lead with one continuation before the end"},
        {"\xE2\x82" "A", {0x2081}, "a three-byte lead takes two followers whatever their top bits"},
        {"\xE2" "AB", {0x2042}, "a three-byte lead before two ASCII bytes"},
        {"\xF0\x9F\x98\x80", {1, 1, 1, 1}, "four-byte sequences are not decoded"},
        {"\xC3\xA9\xC3", {0xE9, 1}, "a good character, then a cut one"},
    };
    GUI_UC_SetEncodeUTF8();
    for (const Case& c : cases) {
        // The text is followed by more bytes after its NUL, which a decoder
        // that steps over the NUL would count.
        std::string buf = c.bytes + std::string(1, '\0') + "ZZZZ";
        std::vector<uint16_t> got;
        for (const char* p = buf.c_str(); *p;)
            got.push_back(GUI_UC__GetCharCodeInc(&p));
        EXPECT_EQ(got, c.codes) << c.why;
        EXPECT_EQ(GUI__GetNumChars(buf.c_str()), static_cast<int>(c.codes.size())) << c.why;
        EXPECT_EQ(GUI_UC__NumChars2NumBytes(buf.c_str(), 100), static_cast<int>(c.bytes.size())) << c.why;
    }
    for (uint16_t code : {uint16_t(0x41), uint16_t(0xE9), uint16_t(0x20AC)}) {
        char b[4] = {};
        const int n = GUI_UC_Encode(b, code);
        EXPECT_EQ(n, GUI_UC__CalcSizeOfChar(code));
        EXPECT_EQ(GUI_UC_GetCharCode(b), code) << "encoding " << code << " does not decode back";
    }
    GUI_UC_SetEncodeNone();
    EXPECT_EQ(GUI_UC_GetCharCode("\xC3\xA9"), 0xC3) << "8-bit text takes every byte as a character";
    EXPECT_EQ(GUI__GetNumChars("\xC3\xA9"), 2);
}

TEST(Encodings, Utf8TextDrawsLikeItsLatin1Codes)
{
    fresh();
    screen::run([] {
        GUI_SetFont(&GUI_FontArial16AA4);
        GUI_DispStringAt("caf\xE9 \xFC", 10, 10);
    });
    const std::vector<uint16_t> latin1 = screen::snapshot();
    fresh();
    screen::run([] {
        GUI_SetFont(&GUI_FontArial16AA4);
        GUI_UC_SetEncodeUTF8();
        GUI_DispStringAt("caf\xC3\xA9 \xC3\xBC", 10, 10);
        GUI_UC_SetEncodeNone();
    });
    EXPECT_TRUE(latin1 == screen::snapshot()) << "UTF-8 text must draw the same glyphs as its 8-bit codes";
}

}  // namespace
