// The drawing commands through the command port, checked on the panel's
// frame buffer: pixels and pen, shapes, polygons, colours, modes, origin,
// cursor and clearing, with their bad arguments.
#include <gtest/gtest.h>

#include "app/Main.h"
#include "app/command.h"
#include "app/drawing_cases.h"
#include "graphics/GUI.h"

namespace {

using namespace drawing;
using fwtest::command;
using fwtest::visible;

const std::string OK = ">\r";
const std::string FAIL = "!\r";
const std::string kOffScreen = ":area outside the screen\r!\r";
const std::string kSyntax = ":err - syntax\r!\r";
const std::string kDefaultColors = "FFFFFF (FFFF) 000000 (0000)\r>\r";

TEST(DrawCommands, PixelsAndPen)
{
    fwtest::boot_to_prompt();
    run({
        {"pen pixel", {}, "pw 5 6", OK, {{5, 6, W}, {6, 6, K}}},
        {"pen pixel off the panel is clipped", {}, "pw 900 10", OK, {}, true},
        {"raw value", {}, "pw 5 6 F800", OK, {{5, 6, R}}},
        {"raw value with the origin", {"o 100 50"}, "pw 5 6 07E0", OK, {{105, 56, G}, {5, 6, K}}},
        {"RRGGBB value", {}, "pwx 5 6 00FF00", OK, {{5, 6, G}}},
        {"RRGGBB value takes the top bits of each channel", {}, "pwx 5 6 123456", OK, {{5, 6, 0x11AA}}},
        {"raw value off the panel", {}, "pw 800 0 FFFF", kOffScreen, {}, true},
        {"raw value left of the panel", {}, "pw -1 0 FFFF", kOffScreen, {}, true},
        {"raw value pushed off by the origin", {"o 790 0"}, "pwx 10 0 FFFFFF", kOffScreen, {}, true},
        {"raw value wider than a pixel keeps its low 16 bits", {}, "pw 5 6 1F800", OK, {{5, 6, R}}},
        {"pixel without a position", {}, "pw 5", kSyntax, {}, true},
        {"unknown pixel keyword", {}, "pwz 5 6 FFFF", kSyntax, {}, true},
        {"read back as RGB", {"pw 5 6 F800"}, "pr 5 6", "F80000\r" + OK},
        {"read back white", {"pw 5 6"}, "pr 5 6", "F8FCF8\r" + OK},
        {"read back raw", {"pw 5 6 1234"}, "prx 5 6", "1234\r" + OK},
        {"read with the origin", {"o 10 10", "pw 0 0 001F"}, "pr 0 0", "0000F8\r" + OK},
        {"read off the panel", {}, "pr 0 480", kOffScreen},
        {"read without a position", {}, "pr", kSyntax},
        {"frame-buffer word", {"pw 3 1 ABCD"}, "*FB 803", "ABCD\r" + OK},
        {"frame-buffer word past the end", {}, "*FB 384000", FAIL},
        {"pen size", {"p 3"}, "p", "3\r" + OK},
        {"pen size too large for the pen", {}, "p 256", FAIL, {}, false, "p", "1\r" + OK},
        {"point of a thick pen is a disc", {"p 5"}, "dp 50 50", OK,
         {{50, 50, W}, {52, 50, W}, {50, 48, W}, {53, 50, K}, {52, 52, K}}},
        {"point of a thin pen", {}, "dp 50 50", OK, {{50, 50, W}, {51, 50, K}}},
    });
}

TEST(DrawCommands, LinesRectanglesAndTriangles)
{
    fwtest::boot_to_prompt();
    run({
        {"line", {}, "l 10 10 20 10", OK, {{10, 10, W}, {15, 10, W}, {20, 10, W}, {21, 10, K}, {9, 10, K}}},
        {"line with the origin", {"o 100 50"}, "l 0 0 10 0", OK, {{100, 50, W}, {110, 50, W}, {0, 0, K}}},
        {"line to a point no panel has", {}, "l 0 0 2000000000 5", FAIL, {}, true},
        {"line with the origin pushed out of range", {"o 16000 0"}, "l 1000 0 0 0", FAIL, {}, true},
        {"rectangle outline", {}, "r 10 10 20 20", OK,
         {{10, 10, W}, {20, 20, W}, {15, 10, W}, {10, 15, W}, {15, 15, K}}},
        {"rectangle style 0", {}, "r 10 10 20 20 0", OK, {{20, 15, W}, {15, 15, K}}},
        {"filled rectangle", {}, "r 10 10 20 20 1", OK, {{15, 15, W}, {20, 20, W}, {21, 21, K}}},
        {"dotted rectangle", {}, "r 10 10 20 20 2", OK,
         {{10, 10, W}, {11, 10, K}, {12, 10, W}, {10, 11, K}, {10, 12, W}, {15, 15, K}}},
        {"style 3 fills", {}, "r 10 10 20 20 3", OK, {{15, 15, W}}},
        {"reversed corners still fill", {}, "r 20 20 10 10 1", OK, {{15, 15, W}}},
        {"unknown style", {}, "r 10 10 20 20 7", FAIL, {}, true},
        {"fill in a colour word", {}, "r 10 10 20 20 1 F00", OK, {{15, 15, R}}, false, "S", kDefaultColors},
        {"style 3 in a six-digit colour word", {}, "r 10 10 20 20 3 0000FF", OK, {{15, 15, B}}},
        {"colour word ignored by an outline", {}, "r 10 10 20 20 0 F00", OK, {{10, 10, W}, {15, 15, K}}},
        // Colour words are read as the fills have always read them: a digit
        // that is none counts as 0, a word of the wrong length is white.
        {"unreadable colour word", {"r 10 10 20 20 1"}, "r 10 10 20 20 1 XYZ", OK, {{15, 15, K}}, false, "S",
         kDefaultColors},
        {"colour word of the wrong length", {"s 2 0"}, "r 10 10 20 20 1 ZZZZ", OK, {{15, 15, W}}, false, "S",
         "FF0000 (001F) 000000 (0000)\r>\r"},
        {"style 3 ignores a word of the wrong length", {"s 2 0"}, "r 10 10 20 20 3 F0", OK, {{15, 15, B}}},
        {"style 3 reads a word of three letters", {"r 10 10 20 20 1"}, "r 10 10 20 20 3 XYZ", OK, {{15, 15, K}}},
        {"outline ignores any word", {}, "r 10 10 20 20 0 ZZZZ", OK, {{10, 10, W}, {15, 15, K}}},
        {"triangle outline", {}, "tr 10 10 30 10 20 30", OK,
         {{10, 10, W}, {30, 10, W}, {20, 30, W}, {20, 10, W}, {20, 15, K}}},
        {"filled triangle", {}, "tr 10 10 30 10 20 30 0F0", OK, {{20, 15, G}, {20, 10, G}}, false, "S",
         kDefaultColors},
        {"triangle in an unreadable colour", {"tr 10 10 30 10 20 30 FFF"}, "tr 10 10 30 10 20 30 GGG", OK,
         {{20, 15, K}}},
        {"triangle in a word of the wrong length", {}, "tr 10 10 30 10 20 30 0F", OK, {{20, 15, W}}},
        {"triangle in six characters read as a hex number", {}, "tr 10 10 30 10 20 30 0x00FF", OK, {{20, 15, B}}},
        {"fill in six characters read as a hex number", {}, "r 30 10 40 20 1 0x00FF", OK, {{35, 15, B}}},
        {"style 3 takes any word of six characters", {"s 2 0"}, "r 10 10 20 20 3 -00001", OK, {{15, 15, W}}},
    });
}

TEST(DrawCommands, CirclesEllipsesAndArcs)
{
    fwtest::boot_to_prompt();
    run({
        {"circle", {}, "c 100 100 10", OK, {{110, 100, W}, {90, 100, W}, {100, 90, W}, {100, 110, W}, {100, 100, K}}},
        {"filled circle", {}, "c 100 100 10 1", OK, {{100, 100, W}, {109, 100, W}, {111, 100, K}}},
        {"filled circle, any fourth number", {}, "c 100 100 10 0", OK, {{100, 100, W}}},
        {"circle with the origin", {"o 50 50"}, "c 50 50 10", OK, {{110, 100, W}, {60, 50, K}}},
        {"negative radius", {}, "c 100 100 -1", FAIL, {}, true},
        {"radius no panel needs", {}, "c 100 100 2000000000", FAIL, {}, true},
        {"ellipse", {}, "e 100 100 20 10", OK, {{120, 100, W}, {80, 100, W}, {100, 110, W}, {100, 90, W}, {100, 100, K}}},
        {"filled ellipse", {}, "ef 100 100 20 10", OK, {{100, 100, W}, {119, 100, W}, {100, 109, W}, {100, 112, K}}},
        {"ellipse radius over 180", {}, "e 100 100 181 10", ":Radius values over 180\r!\r", {}, true},
        {"filled ellipse radius over 180", {}, "ef 100 100 10 181", "Radius values over 180\r!\r", {}, true},
        {"negative ellipse radius", {}, "e 100 100 -5 10", FAIL, {}, true},
        {"quarter arc from the right up", {}, "a 100 100 20 0 90", OK,
         {{120, 100, W}, {100, 80, W}, {80, 100, K}, {100, 120, K}, {100, 100, K}}},
        {"half arc from the left down", {}, "a 100 100 20 180 360", OK, {{80, 100, W}, {100, 120, W}, {100, 80, K}}},
        {"negative arc radius", {}, "a 100 100 -20 0 90", FAIL, {}, true},
    });
}

TEST(DrawCommands, ThinOutlineOfTheScreenObjects)
{
    fwtest::boot_to_prompt();
    for (const std::string& l : {"s 1 0", "z", "p 5"})
        ASSERT_EQ(visible(command(l)), visible(OK)) << l;
    int drawn = -1, unknown = -1;
    fwtest::on_firmware([&] {
        drawn = GUIDEMO_DrawRect(3, 10, 10, 20, 20);
        unknown = GUIDEMO_DrawRect(4, 30, 30, 40, 40);
    });
    EXPECT_EQ(drawn, 1);
    EXPECT_EQ(unknown, 0) << "style 4 does not exist";
    EXPECT_EQ(screen::px(15, 10), W) << "the thin outline is missing";
    EXPECT_EQ(screen::px(15, 12), K) << "style 3 drew with the thick pen";
    EXPECT_EQ(screen::px(35, 30), K) << "an unknown style drew";
    EXPECT_EQ(visible(command("p")), visible("5\r>\r")) << "style 3 must give the pen back";
}

// The right triangle (0,0) (20,0) (20,20) placed at (50, 50).
const std::string kShape = " 50 50 0 0 20 0 20 20";

TEST(DrawCommands, Polygons)
{
    fwtest::boot_to_prompt();
    // Twenty numbers after the position: ten vertices.
    std::string ten = "pg 100 100";
    for (int i = 0; i < 10; ++i)
        ten += " " + std::to_string(i * 10) + " " + std::to_string(i % 2 ? 10 : 0);
    run({
        {"outline", {}, "pg" + kShape, OK, {{60, 50, W}, {70, 60, W}, {60, 60, W}, {65, 55, K}}},
        {"filled", {}, "pf" + kShape, OK, {{65, 55, W}, {69, 51, W}, {55, 60, K}}},
        {"open line", {}, "pl" + kShape, OK, {{60, 50, W}, {70, 60, W}, {60, 60, K}}},
        {"with the origin", {"o 100 100"}, "pg" + kShape, OK, {{160, 150, W}, {60, 50, K}}},
        {"ten vertices", {}, ten, OK, {{100, 100, W}, {110, 110, W}, {190, 110, W}}},
        {"eleven vertices are too many", {}, ten + " 5 5", FAIL, {}, true},
        {"odd count", {}, "pg 50 50 0 0 20 0 20", FAIL, {}, true},
        {"odd count of five", {}, "pg 1 2 3 4 5", FAIL, {}, true},
        {"only two points", {}, "pg 50 50 0 0", FAIL, {}, true},
        {"vertex out of range", {}, "pf 50 50 0 0 20 0 20 99999", FAIL, {}, true},
        {"another word than pg", {}, "pgx 50 50 0 0 20 0 20 20", FAIL, {}, true},
        // The rotation turns (20,0) to (0,-20): the left edge goes up.
        {"turned outline keeps the angle", {}, "pgr 90" + kShape, OK, {{50, 40, W}, {50, 31, W}, {60, 50, K}}},
        // With the angle sense set, 90 becomes 270: the shape turns down.
        {"turned fill uses 360 - a", {}, "pfr 90" + kShape, OK, {{50, 60, W}, {45, 65, W}, {50, 40, K}}},
        {"turned open line uses 360 - a", {}, "plr 90" + kShape, OK,
         {{50, 60, W}, {40, 70, W}, {40, 60, K}, {40, 59, K}, {50, 40, K}}},
        {"turned without enough numbers", {}, "pgr 90 50 50 0 0", FAIL, {}, true},
        {"redraw after a fill is filled", {"pf" + kShape, "z"}, "ppgr 0", OK, {{65, 55, W}}},
        {"redraw after an outline is an outline", {"pg" + kShape, "z"}, "ppgr 0", OK, {{60, 50, W}, {65, 55, K}}},
        {"redraw after an open line keeps the mode", {"pf" + kShape, "pl" + kShape, "z"}, "ppgr 0", OK,
         {{65, 55, W}}},
        {"redraw after a turned open line is filled", {"pg" + kShape, "plr 0" + kShape, "z"}, "ppgr 0", OK,
         {{65, 55, W}}},
        {"redraw turns the stored shape, not the last drawing", {"pfr 180" + kShape, "z"}, "ppgr 90", OK,
         {{50, 60, W}, {50, 40, K}}},
        {"redraw at the current origin", {"pf" + kShape, "z", "o 100 0"}, "ppgr 0", OK, {{165, 55, W}, {65, 55, K}}},
    });
}

TEST(DrawCommands, RedrawWithoutAPolygonDrawsNothing)
{
    fwtest::boot_to_prompt();
    const std::vector<uint16_t> before = screen::snapshot();
    EXPECT_EQ(visible(command("ppgr 0")), visible(OK));
    EXPECT_TRUE(before == screen::snapshot());
}

TEST(DrawCommands, ColoursAndDrawMode)
{
    fwtest::boot_to_prompt();
    run({
        {"colour map numbers", {}, "s 2 3", OK, {}, false, "S", "FF0000 (001F) 00FF00 (07E0)\r>\r"},
        {"drawing in a map colour", {"s 5 0"}, "pw 1 1", OK, {{1, 1, R}}},
        // A number outside the map is told without a line end and takes
        // entry 0, black.
        {"foreground outside the map", {}, "s 20 3", "Invalid Foreground Color>\r", {}, true, "S",
         "000000 (0000) 00FF00 (07E0)\r>\r"},
        {"background outside the map", {}, "s 5 -1", "Invalid Background Color>\r", {}, true, "S",
         "0000FF (F800) 000000 (0000)\r>\r"},
        {"both outside the map", {"s 2 3"}, "s -1 25", "Invalid Foreground ColorInvalid Background Color>\r", {}, true,
         "S", "000000 (0000) 000000 (0000)\r>\r"},
        {"RRGGBB numbers", {}, "S 0000FF 000000", OK, {}, false, "S", "FF0000 (001F) 000000 (0000)\r>\r"},
        {"RRGGBB red", {"S FF0000 00FF00"}, "pw 1 1", OK, {{1, 1, R}}, false, "S", "0000FF (F800) 00FF00 (07E0)\r>\r"},
        {"number beyond RRGGBB keeps its six digits", {}, "S 10000FF 0", OK, {}, false, "S",
         "FF0000 (001F) 000000 (0000)\r>\r"},
        {"colour words", {}, "S 0F0 ZZZZ", OK, {}, false, "S", "00FF00 (07E0) FFFFFF (FFFF)\r>\r"},
        {"XOR mode", {"d x", "pw 5 5"}, "pw 5 5", OK, {{5, 5, K}}},
        {"XOR mode given joined", {"dx", "pw 5 5"}, "pw 5 5", OK, {{5, 5, K}}},
        {"normal mode again", {"d x", "d n", "pw 5 5"}, "pw 5 5", OK, {{5, 5, W}}},
        {"unknown draw mode", {}, "d q", FAIL},
    });
}

struct TextPosition {
    int x, y, border;
};

TextPosition text_position()
{
    TextPosition t{};
    fwtest::on_firmware([&t] {
        t.x = GUI_GetDispPosX();
        t.y = GUI_GetDispPosY();
        t.border = GUI_Context.LBorder;
    });
    return t;
}

TEST(DrawCommands, OriginCursorAndClearing)
{
    fwtest::boot_to_prompt();
    EXPECT_EQ(visible(command("o")), visible("0 0\r>\r")) << "the origin at start";
    run({
        {"origin", {}, "o 100 50", OK, {}, false, "o", "100 50\r>\r"},
        {"origin with one number replies it", {"o 100 50"}, "o 5", "100 50\r>\r", {}, false, "o", "100 50\r>\r"},
        {"origin with words replies it", {}, "o x y", "0 0\r>\r"},
        {"any word beginning with o replies it", {"o 7 8"}, "oops", "7 8\r>\r"},
        {"origin out of range", {}, "o 20000 0", FAIL, {}, false, "o", "0 0\r>\r"},
        {"cursor without both numbers", {}, "sc 10", kSyntax},
        {"clear keeps the picture", {"o 10 10", "pw 5 5"}, "zs 0", OK, {{15, 15, W}}, false, "o", "0 0\r>\r"},
        {"clear with a bitmap the image lacks", {"pw 5 5"}, "zs 7", OK, {{5, 5, W}}},
        {"clear without a number", {}, "zs", kSyntax},
        {"clear to the background", {"o 10 10", "pw 5 5", "s 1 3"}, "z", OK, {{15, 15, G}, {0, 0, G}}, false, "o",
         "0 0\r>\r"},
        {"any word beginning with z clears", {"pw 5 5"}, "zap", OK, {{5, 5, K}}},
    });

    EXPECT_EQ(visible(command("o 100 50")), visible(OK));
    TextPosition t = text_position();
    EXPECT_EQ(t.x, 100);
    EXPECT_EQ(t.y, 50);
    EXPECT_EQ(t.border, 100) << "the origin must move the left text border";
    EXPECT_EQ(visible(command("sc 10 20")), visible(OK));
    t = text_position();
    EXPECT_EQ(t.x, 110) << "cursor x is relative to the origin";
    EXPECT_EQ(t.y, 70) << "cursor y is relative to the origin";
    EXPECT_EQ(t.border, 110) << "the cursor must move the left text border";
    EXPECT_EQ(visible(command("o")), visible("100 50\r>\r")) << "the cursor moved the origin";
    EXPECT_EQ(visible(command("z")), visible(OK));
    t = text_position();
    EXPECT_EQ(t.x + t.y + t.border, 0) << "the clear must send the text cursor and border home";
}

}  // namespace
