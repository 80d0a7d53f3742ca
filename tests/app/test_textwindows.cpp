// Scroll text boxes ("std", "stc", "sta", "stp") and text windows ("twd",
// "twq", "twv", "twm", "twc", "twr", "twga", "twgp", "tw") through the
// command port: their replies, where their text lands and how they scroll.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/GUI.h"
#include "graphics/screen.h"
#include "support/host.h"
#include "support/replies.h"

namespace {

using fwtest::command;
using fwtest::expect_replies;
using fwtest::visible;
using screen::px;

const std::string OK = ">\r";
const std::string FAIL = "!\r";

struct Grid {
    int wd, ht;
};

// Selects a monospaced font and reads its cell.
Grid mono_font()
{
    EXPECT_EQ(visible(command("f 8x16")), visible(OK));
    Grid g{0, 0};
    screen::run([&] {
        g.wd = GUI_GetCharDistX('W');
        g.ht = GUI_GetFontDistY();
    });
    EXPECT_GT(g.wd, 0);
    EXPECT_GT(g.ht, 0);
    return g;
}

int ink_count(int x0, int y0, int x1, int y1, uint16_t bk)
{
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            n += px(x, y) != bk;
    return n;
}

int ink_outside(int x0, int y0, int x1, int y1, uint16_t bk)
{
    int n = 0;
    for (int y = 0; y < screen::H; ++y)
        for (int x = 0; x < screen::W; ++x)
            if (x < x0 || x > x1 || y < y0 || y > y1)
                n += px(x, y) != bk;
    return n;
}

// Number of pixels that differ between the w x h areas at a and at b.
int area_diff(int ax, int ay, int bx, int by, int w, int h)
{
    int n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            n += px(ax + x, ay + y) != px(bx + x, by + y);
    return n;
}

std::string box_def(int n, int x0, int y0, int cols, int rows, const Grid& g)
{
    return "std " + std::to_string(n) + " 0 " + std::to_string(x0) + " " + std::to_string(y0) + " " +
           std::to_string(x0 + cols * g.wd - 1) + " " + std::to_string(y0 + rows * g.ht - 1);
}

std::string win_def(int n, int x0, int y0, int cols, int rows, const Grid& g)
{
    return "twd " + std::to_string(n) + " " + std::to_string(x0) + " " + std::to_string(y0) + " " +
           std::to_string(x0 + cols * g.wd - 1) + " " + std::to_string(y0 + rows * g.ht - 1);
}

std::string line_text(int i)
{
    return "Line" + std::to_string(i) + "abcdefghijklmnopqrstuvwxyz";
}

TEST(ScrollTextBoxes, DefinitionAndQueryReplies)
{
    fwtest::boot_to_prompt();
    command("z");
    const Grid g = mono_font();
    expect_replies({
        {box_def(0, 10, 10, 12, 3, g), OK},
        {"std 0", "3 12 0 0\r" + OK},
        {box_def(9, 10, 100, 5, 2, g), OK},
        {"std 9", "2 5 0 0\r" + OK},
        {"std 1", FAIL},  // never defined
        {"std 10", FAIL},
        {box_def(10, 10, 10, 5, 2, g), FAIL},
        {"std 2 1 10 10 100 100", FAIL},  // type must be 0
        {box_def(2, 10, 200, 5, 1, g), FAIL},  // one row is too few
        {"std 2 0 100 10 10 100", FAIL},  // x0 after x1
        {"std 0 1 2", FAIL},
        {"stc 1", FAIL},
        {"sta 1 \"x\"", FAIL},
        {"sta 0 no quotes", FAIL},
        {"stp 0 no quotes", FAIL},
        {"sta 9 \"12345\"", OK},
        {"sta 9 \"123456\"", FAIL},  // wider than the box
        {"stc 9", OK},
        {"z", OK},
        {"std 0", FAIL},  // the screen clear frees every box
    });
    ASSERT_EQ(visible(command("f 12")), visible(OK));
    EXPECT_EQ(visible(command("std 3 0 10 10 200 200")), visible(FAIL))
        << "a proportional font must be refused silently";
}

TEST(ScrollTextBoxes, TextStaysInsideTheBoxAndScrollsWhenFull)
{
    fwtest::boot_to_prompt();
    command("z");
    const Grid g = mono_font();
    const uint16_t bk = px(0, 0);
    const int ax = 40, ay = 40, bx = 300, by = 40, cols = 6, rows = 3;
    ASSERT_EQ(visible(command(box_def(0, ax, ay, cols, rows, g))), visible(OK));
    const int ax1 = ax + cols * g.wd - 1, ay1 = ay + rows * g.ht - 1;

    ASSERT_EQ(visible(command("sta 0 \"WWW\"")), visible(OK));
    EXPECT_GT(ink_count(ax, ay, ax1, ay + g.ht - 1, bk), 0) << "appended text did not appear in the first row";
    EXPECT_EQ(ink_outside(ax, ay, ax1, ay1, bk), 0) << "appended text was drawn outside the box";

    ASSERT_EQ(visible(command("stc 0")), visible(OK));
    EXPECT_EQ(ink_count(ax, ay, ax1, ay1, bk), 0) << "\"stc\" left ink in the box";

    ASSERT_EQ(visible(command(box_def(1, 8, 8, 2, 2, g))), visible(OK));
    ASSERT_EQ(visible(command("sta 1 \"abc\"")), visible(FAIL));
    EXPECT_EQ(ink_count(0, 0, screen::W - 1, screen::H - 1, bk), 0) << "a refused append drew something";

    // After five appends a three-row box shows lines 3-5, like a box that
    // was given only those three.
    for (int i = 1; i <= 5; ++i)
        ASSERT_EQ(visible(command("sta 0 \"L" + std::to_string(i) + "\"")), visible(OK));
    ASSERT_EQ(visible(command(box_def(2, bx, by, cols, rows, g))), visible(OK));
    for (int i = 3; i <= 5; ++i)
        ASSERT_EQ(visible(command("sta 2 \"L" + std::to_string(i) + "\"")), visible(OK));
    EXPECT_EQ(area_diff(ax, ay, bx, by, cols * g.wd, rows * g.ht), 0)
        << "after 5 appends the 3-row box does not show lines 3, 4, 5";

    // A prepend then shows the new line in row 0 and lines 3, 4 below.
    ASSERT_EQ(visible(command("stp 0 \"P\"")), visible(OK));
    ASSERT_EQ(visible(command("stc 2")), visible(OK));
    for (const char* t : {"P", "L3", "L4"})
        ASSERT_EQ(visible(command(std::string("sta 2 \"") + t + "\"")), visible(OK));
    EXPECT_EQ(area_diff(ax, ay, bx, by, cols * g.wd, rows * g.ht), 0)
        << "a prepend to the full box does not show P, L3, L4";
    EXPECT_EQ(ink_outside(0, 0, bx + cols * g.wd - 1, ay1, bk), 0);
}

TEST(ScrollTextBoxes, OriginIsAddedAndTheGridIsCentred)
{
    fwtest::boot_to_prompt();
    command("z");
    const Grid g = mono_font();
    const uint16_t bk = px(0, 0);
    ASSERT_EQ(visible(command("o 100 60")), visible(OK));
    // Two whole rows and four columns, with 3 spare pixels each way: the
    // grid sits 1 pixel in from the given corner.
    ASSERT_EQ(visible(command("std 4 0 0 0 " + std::to_string(4 * g.wd + 2) + " " + std::to_string(2 * g.ht + 2))),
              visible(OK));
    ASSERT_EQ(visible(command("o 0 0")), visible(OK));
    ASSERT_EQ(visible(command("std 4")), visible("2 4 0 0\r" + OK));
    ASSERT_EQ(visible(command("sta 4 \"WWWW\"")), visible(OK));
    ASSERT_EQ(visible(command("sta 4 \"WWWW\"")), visible(OK));
    const int x0 = 101, y0 = 61, x1 = 100 + 4 * g.wd, y1 = 60 + 2 * g.ht;
    EXPECT_GT(ink_count(x0, y1 - g.ht + 1, x1, y1, bk), 0) << "the second row of the box got no text";
    EXPECT_EQ(ink_outside(x0, y0, x1, y1, bk), 0) << "box text left its centred text area";
    EXPECT_EQ(visible(command(box_def(5, 0, 300, 80, 2, g))), visible(OK));
    EXPECT_EQ(visible(command(box_def(5, 0, 300, 81, 2, g))), visible(FAIL))
        << "a row wider than 80 characters cannot be filled by one command";
}

TEST(TextWindows, Replies)
{
    fwtest::boot_to_prompt();
    command("z");
    ASSERT_EQ(visible(command("f 12")), visible(OK));
    EXPECT_EQ(visible(command("twd 0 10 10 200 200")), visible(":must use monospace font\r" + FAIL));
    const Grid g = mono_font();
    expect_replies({
        {"twq 0", FAIL},
        {win_def(0, 10, 10, 20, 4, g), OK},
        {"twq 0", "4 20 200 120\r" + OK},
        {"twq 1", FAIL},
        {"twq 2", FAIL},
        {"twd 0 1 2 3", FAIL},
        {"twd 0 10 10 100 100 7", FAIL},  // exactly five numbers
        {win_def(1, 10, 300, 120, 4, g), FAIL},  // as wide as a whole line
        {win_def(1, 10, 300, 5, 1, g), FAIL},
        {"tw 0 no quotes", FAIL},
        {"tw 1 \"x\"", FAIL},
        {"tw 0 \"" + std::string(121, 'x') + "\"", FAIL},
        {"tw 0 \"" + std::string(120, 'x') + "\"", OK},
        {"twm 0 u 1", "u0\r" + FAIL},  // the top line is shown
        {"twm 0 U", "u0\r" + FAIL},
        {"twm 0 D", "d0\r" + FAIL},  // already following the end
        {"twm 0 L", OK},  // column 1 is shown: nothing to do
        {"twm 0 u 0", FAIL},
        {"twm 0 l 120", FAIL},
        {"twm 0 x", FAIL},
        {"twm 0", FAIL},
        {"twga 0 0 1", FAIL},
        {"twga 0 1 121", FAIL},
        {"twga 0 201 1", FAIL},
        {"twga 0 999 999", OK},
        {"twgp 0 50 50", FAIL},  // 1 line in 4 rows: 50 % of -3 lines gives line 0
        {"twgp 0 -2147483647 0", FAIL},  // huge product, no overflow: past the store
        {"twgp 0 2147483647 0", FAIL},  // a huge product the other way: before line 1
        {"twgp 0 0 50", OK},
        {"twv 0 0 1", OK},
        {"twv 0 0 20", FAIL},  // no such variable
        {"twv 1 0 1", FAIL},
        {"twc 0", OK},
        {"twc 1", FAIL},
        {"twr 0", OK},
    });
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(visible(command("tw 0 \"" + std::to_string(i) + "\"")), visible(OK)) << "line " << i;
    EXPECT_EQ(visible(command("tw 0 \"201st\"")), visible(FAIL)) << "a full window must refuse a 201st line";
    EXPECT_EQ(visible(command("twc 0")), visible(OK));
    EXPECT_EQ(visible(command("tw 0 \"again\"")), visible(OK)) << "\"twc\" did not make room";
}

// While a window holds fewer lines than it shows, a percentage other than
// 0 and 100 counts back from the end to a line before the first, and 100
// of an empty window is line 0: the positioning refuses them.
TEST(TextWindows, PercentagesOfAWindowNotYetFull)
{
    fwtest::boot_to_prompt();
    command("z");
    const Grid g = mono_font();
    struct Case {
        int stored;  // lines in the 5-row window
        const char* line;
        const std::string& reply;
    };
    const std::vector<Case> cases = {
        {0, "twgp 1 100 0", FAIL}, {0, "twgp 1 50 0", FAIL},  {0, "twgp 1 0 0", OK},
        {2, "twgp 1 50 0", FAIL},  {2, "twgp 1 100 0", OK},   {2, "twgp 1 0 100", OK},
        {4, "twgp 1 50 0", OK},    {0, "twgp 1 0 -1", FAIL},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(visible(command(win_def(1, 10, 300, 10, 5, g))), visible(OK));
        for (int i = 0; i < c.stored; ++i)
            ASSERT_EQ(visible(command("tw 1 \"" + line_text(i) + "\"")), visible(OK));
        EXPECT_EQ(visible(command(c.line)), visible(c.reply)) << "\"" << c.line << "\" with " << c.stored << " lines";
    }
}

class TextWindowView : public ::testing::Test {
protected:
    void SetUp() override
    {
        fwtest::boot_to_prompt();
        command("z");
        g = mono_font();
        bk = px(0, 0);
        ASSERT_EQ(visible(command(win_def(0, ax, ay, cols, rows, g))), visible(OK));
        for (int i = 1; i <= 10; ++i)
            ASSERT_EQ(visible(command("tw 0 \"" + line_text(i) + "\"")), visible(OK));
    }

    // Window 1 at b, cleared and given the lines first..last from column
    // col (1-based).
    void reference(int first, int last, int col)
    {
        ASSERT_EQ(visible(command(win_def(1, bx, by, cols, rows, g))), visible(OK));
        for (int i = first; i <= last; ++i)
            ASSERT_EQ(visible(command("tw 1 \"" + line_text(i).substr(col - 1) + "\"")), visible(OK));
    }

    int diff() { return area_diff(ax, ay, bx, by, cols * g.wd, rows * g.ht); }

    Grid g{};
    uint16_t bk = 0;
    static constexpr int ax = 20, ay = 20, bx = 20, by = 200, cols = 10, rows = 4;
};

TEST_F(TextWindowView, FollowsTheEndAndStaysInside)
{
    EXPECT_GT(ink_count(ax, ay, ax + cols * g.wd - 1, ay + rows * g.ht - 1, bk), 0);
    EXPECT_EQ(ink_outside(ax, ay, ax + cols * g.wd - 1, ay + rows * g.ht - 1, bk), 0)
        << "window text was drawn outside its area";
    reference(7, 10, 1);
    EXPECT_EQ(diff(), 0) << "a window of 4 rows given 10 lines does not show lines 7-10";
}

struct ViewCase {
    std::vector<std::string> lines;
    int first, col;
    const char* what;
};

TEST_F(TextWindowView, PositioningShowsTheRightLinesAndColumns)
{
    const std::vector<ViewCase> cases = {
        {{"twgp 0 100 0"}, 7, 1, "percent 100, 0 shows lines 7-10"},
        {{"twgp 0 50 0"}, 4, 1, "percent 50 shows from line 4"},
        {{"twgp 0 0 0"}, 1, 1, "percent 0 shows from line 1"},
        {{"twga 0 2 1"}, 2, 1, "twga 2 1"},
        {{"twm 0 U", "twm 0 d 2"}, 3, 1, "down 2 by scrolling"},
        {{"twga 0 7 1", "twm 0 u 3"}, 4, 1, "up 3 by scrolling"},
        {{"twga 0 1 1", "twga 0 999 5"}, 1, 5, "999 keeps the top line, column 5"},
        {{"twga 0 1 1", "twm 0 r 1", "twm 0 r 2"}, 1, 4, "right 1 then 2 by scrolling"},
        {{"twga 0 1 9", "twm 0 l 3"}, 1, 6, "left 3 by scrolling"},
        {{"twga 0 3 3", "twm 0 U"}, 1, 3, "U to the top keeps the column"},
        {{"twga 0 3 3", "twm 0 L"}, 3, 1, "L to column 1"},
        {{"twga 0 1 1", "twm 0 D"}, 7, 1, "D to the end"},
        {{"twga 0 1 200"}, 7, 1, "column 200 is refused and the view stays"},
        {{"twga 0 200 1"}, 7, 1, "line 200 is clamped to the last top line"},
        {{"twga 0 1 5", "twr 0"}, 1, 5, "redraw"},
    };
    for (const ViewCase& c : cases) {
        for (const std::string& l : c.lines)
            command(l);
        reference(c.first, std::min(10, c.first + rows - 1), c.col);
        EXPECT_EQ(diff(), 0) << "after " << c.lines.back() << ": " << c.what << " - window 0 differs from line "
                             << c.first << " column " << c.col;
    }
}

TEST_F(TextWindowView, NewLinesScrollInOnlyWhileFollowing)
{
    ASSERT_EQ(visible(command("twm 0 U")), visible(OK));
    ASSERT_EQ(visible(command("tw 0 \"" + line_text(11) + "\"")), visible(OK));
    reference(1, 4, 1);
    EXPECT_EQ(diff(), 0) << "a line stored while the view stays at the top changed the view";
    ASSERT_EQ(visible(command("twm 0 D")), visible(OK));
    ASSERT_EQ(visible(command("tw 0 \"" + line_text(12) + "\"")), visible(OK));
    reference(9, 12, 1);
    EXPECT_EQ(diff(), 0) << "after \"twm D\" a new line did not scroll in at the bottom";
    EXPECT_EQ(visible(command("twm 0 d 1")), visible("d0\r" + FAIL));
}

TEST_F(TextWindowView, PositionPercentagesIntoVariables)
{
    // 10 lines, 4 rows, 10 columns: the top line ranges over 0..6 and the
    // first-column index over 0..109, the
    // percentage dividing by 120 - 10.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"twga 0 1 1", "0 0"},
        {"twga 0 4 1", "50 0"},
        {"twga 0 7 56", "100 50"},
        // The last first column is 110, first-column index 109 of 110.
        {"twga 0 3 111", "33 99"},
        {"twga 0 3 120", "33 99"},
    };
    for (const auto& [line, want] : cases) {
        ASSERT_EQ(visible(command(line)), visible(OK)) << line;
        ASSERT_EQ(visible(command("twvpos 0 3 4")), visible(OK)) << "any word beginning with twv";
        const std::string v = command("get i3"), h = command("get i4");
        EXPECT_EQ(visible(v.substr(0, v.find('\r')) + " " + h.substr(0, h.find('\r'))), want) << "after " << line;
    }
}

TEST_F(TextWindowView, KeepsItsOwnDrawingState)
{
    ASSERT_EQ(visible(command("twga 0 1 1")), visible(OK));
    reference(1, 4, 1);
    ASSERT_EQ(visible(command("s 2 3")), visible(OK));
    const std::string hostColours = command("S");
    ASSERT_EQ(visible(command("twr 0")), visible(OK));
    EXPECT_EQ(diff(), 0) << "the redrawn window took the host's new colours";
    EXPECT_EQ(visible(command("S")), visible(hostColours)) << "drawing the window changed the host's colours";
    reference(1, 4, 1);
    EXPECT_NE(diff(), 0) << "a window defined with other colours draws the same pixels";
}

}  // namespace
