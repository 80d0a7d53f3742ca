// Lines, points and the integer trigonometry behind thick lines.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "screen.h"

namespace {

using screen::art;

TEST(Trig, TableValuesAndInterpolation)
{
    struct Case {
        int angle, sin;
    };
    const Case cases[] = {
        {0, 0}, {32, 50}, {64, 100}, {1024, 1024}, {2048, 0}, {3072, -1024}, {-1024, -1024},
        {4096 + 1024, 1024}, {1024 + 32, 1022}, {512, 724}, {2048 + 512, -724},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GUI_sin(c.angle), c.sin) << "GUI_sin(" << c.angle << ")";
    EXPECT_EQ(GUI_cos(0), 1024);
    EXPECT_EQ(GUI_cos(2048), -1024);
    EXPECT_EQ(GUI_cos(1024), 0);
}

TEST(Trig, FollowsTheTrueSineWithinTwoUnits)
{
    for (int a = -4096; a < 8192; ++a) {
        const double exact = 1024.0 * std::sin(a * 2 * M_PI / 4096);
        ASSERT_NEAR(GUI_sin(a), exact, 2.0) << "GUI_sin(" << a << ")";
        ASSERT_EQ(GUI_sin(a), -GUI_sin(-a)) << "sine must be odd at " << a;
    }
}

TEST(Trig, DirectionAngleOfVectors)
{
    struct Case {
        int dx, dy, angle;
    };
    const Case cases[] = {{10, 0, 0}, {0, 10, 1024}, {-10, 0, 2048}, {0, -10, 3072}, {10, 10, 512}, {-7, -7, 2560}};
    for (const Case& c : cases)
        EXPECT_EQ(GUI__atan2(c.dx, c.dy), c.angle) << "direction of (" << c.dx << "," << c.dy << ")";
    std::mt19937 rng(3);
    for (int n = 0; n < 20000; ++n) {
        const int dx = static_cast<int>(rng() % 1601) - 800, dy = static_cast<int>(rng() % 1601) - 800;
        if (!dx && !dy)
            continue;
        double exact = std::atan2(dy, dx) * 4096 / (2 * M_PI);
        if (exact < 0)
            exact += 4096;
        double got = GUI__atan2(dx, dy);
        if (got - exact > 2048)
            got -= 4096;
        ASSERT_NEAR(got, exact, 2.5) << "direction of (" << dx << "," << dy << ")";
    }
}

TEST(ThinLine, StepsWhereTheExactLineCrossesAHalfPixel)
{
    screen::start();
    const std::string want =
        "##.........\n"
        "..###......\n"
        ".....####..\n"
        ".........##\n";
    screen::run([] { GUI_DrawLine(0, 0, 10, 3); });
    EXPECT_EQ(art(0, 0, 10, 3), want) << "line (0,0)-(10,3)";
    screen::run([] {
        GUI_Clear();
        GUI_DrawLine(10, 3, 0, 0);
    });
    EXPECT_EQ(art(0, 0, 10, 3), want) << "the same line drawn from its other end";
    screen::run([] {
        GUI_Clear();
        GUI_DrawLine(0, 0, 3, 10);
    });
    EXPECT_EQ(art(0, 0, 3, 10),
              "#...\n#...\n.#..\n.#..\n.#..\n..#.\n..#.\n..#.\n..#.\n...#\n...#\n")
        << "the steep line (0,0)-(3,10)";
}

// Properties of solid thin lines over many random ends: drawn the same from
// either end, one pixel per step along the major axis, each pixel touching
// the last, both ends drawn.
TEST(ThinLine, RandomLinesAreConnectedAndSymmetric)
{
    screen::start();
    std::vector<std::string> failures;
    screen::run([&] {
        std::mt19937 rng(11);
        for (int n = 0; n < 300 && failures.size() < 5; ++n) {
            const int x0 = static_cast<int>(rng() % 120), y0 = static_cast<int>(rng() % 120);
            const int x1 = static_cast<int>(rng() % 120), y1 = static_cast<int>(rng() % 120);
            std::ostringstream what;
            what << "line (" << x0 << "," << y0 << ")-(" << x1 << "," << y1 << ")";
            GUI_ClearRect(0, 0, 127, 127);
            GUI_DrawLine(x0, y0, x1, y1);
            std::set<std::pair<int, int>> forward;
            for (int y = 0; y < 128; ++y)
                for (int x = 0; x < 128; ++x)
                    if (screen::px(x, y))
                        forward.insert({x, y});
            GUI_ClearRect(0, 0, 127, 127);
            GUI_DrawLine(x1, y1, x0, y0);
            std::set<std::pair<int, int>> backward;
            for (int y = 0; y < 128; ++y)
                for (int x = 0; x < 128; ++x)
                    if (screen::px(x, y))
                        backward.insert({x, y});
            const int len = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
            if (forward != backward)
                failures.push_back(what.str() + " differs when drawn from its other end");
            else if (static_cast<int>(forward.size()) != len + 1)
                failures.push_back(what.str() + " has " + std::to_string(forward.size()) + " pixels, not " +
                                   std::to_string(len + 1));
            else if (!forward.count({x0, y0}) || !forward.count({x1, y1}))
                failures.push_back(what.str() + " misses an end point");
            else {
                const bool xMajor = std::abs(x1 - x0) >= std::abs(y1 - y0);
                std::map<int, int> minorAt;
                for (auto p : forward)
                    minorAt[xMajor ? p.first : p.second] = xMajor ? p.second : p.first;
                int prev = minorAt.begin()->second;
                for (auto [major, minor] : minorAt) {
                    if (std::abs(minor - prev) > 1)
                        failures.push_back(what.str() + " has a gap at " + std::to_string(major));
                    prev = minor;
                }
            }
        }
    });
    EXPECT_TRUE(failures.empty()) << failures.front();
}

TEST(ThinLine, FarOffEndsStillDrawTheVisiblePart)
{
    screen::start();
    screen::run([] { GUI_DrawLine(-40000, -40000, 40000, 40000); });
    for (int d = 0; d < screen::H; d += 37) {
        EXPECT_EQ(screen::px(d, d), screen::kWhite) << "the diagonal from far off must pass (" << d << "," << d << ")";
        EXPECT_EQ(screen::px(d + 1, d), screen::kBlack) << "the far-off diagonal strayed at row " << d;
    }
}

TEST(DashedLine, StyleTwoDrawsTwoOfEveryFourFromTheSecondPixel)
{
    screen::start();
    screen::run([] {
        GUI_SetLineStyle(2);
        GUI_DrawLine(0, 0, 7, 0);
    });
    EXPECT_EQ(art(0, 0, 7, 0), ".##..##.\n") << "style 2 with a fresh count draws x = 1, 2, 5, 6";
}

TEST(DashedLine, PatternRunsOnAcrossTheSegmentsOfAPolyline)
{
    screen::start();
    static const GUI_Point path[3] = {{0, 0}, {5, 0}, {5, 5}};
    screen::run([] {
        GUI_SetLineStyle(2);
        GUI_DrawPolyLine(path, 3, 0, 0);
    });
    // Along the path (the corner counted once) positions 1, 2, 5, 6, 9, 10.
    EXPECT_EQ(art(0, 0, 5, 5),
              ".##..#\n"
              ".....#\n"
              "......\n"
              "......\n"
              ".....#\n"
              ".....#\n");
}

TEST(DashedLine, EveryStyleHasItsPeriod)
{
    screen::start();
    struct Case {
        int style;
        const char* row;  // a fresh line from x = 0 to 47
    };
    const Case cases[] = {
        {1, ".....####............####............####......."},
        {3, "...........####..##............####..##........."},
        {4, "...........####..##..##............####..##..##."},
        {5, "################################################"},
        {0, "################################################"},
    };
    for (const Case& c : cases) {
        screen::run([&] {
            GUI_Clear();
            GUI_SetLineStyle(static_cast<uint8_t>(c.style));
            GUI_DrawLine(0, 0, 47, 0);
        });
        EXPECT_EQ(art(0, 0, 47, 0), std::string(c.row) + "\n") << "line style " << c.style;
    }
}

TEST(ThickLine, PenThreeWithRoundAndFlatEnds)
{
    screen::start();
    screen::run([] {
        GUI_SetPenSize(3);
        GUI_DrawLine(10, 10, 20, 10);
    });
    EXPECT_EQ(art(8, 8, 22, 12),
              "...............\n"
              "..###########..\n"
              ".#############.\n"
              "..###########..\n"
              "...............\n")
        << "pen 3, round ends: a disc of radius 1 at each end";
    screen::run([] {
        GUI_Clear();
        GUI_SetPenShape(1);
        GUI_DrawLine(10, 10, 20, 10);
        GUI_DrawLine(30, 10, 30, 14);
    });
    EXPECT_EQ(art(8, 8, 22, 12),
              "...............\n"
              "..###########..\n"
              "..###########..\n"
              "..###########..\n"
              "...............\n")
        << "pen 3, flat ends";
    EXPECT_EQ(art(28, 9, 32, 15),
              ".....\n.###.\n.###.\n.###.\n.###.\n.###.\n.....\n")
        << "a vertical pen-3 line lies centred on its column";
}

TEST(ThickLine, EqualEndsDrawNothingAndPenTwoIsTwoRows)
{
    screen::start();
    screen::run([] {
        GUI_SetPenSize(4);
        GUI_DrawLine(50, 50, 50, 50);
        GUI_SetPenSize(2);
        GUI_SetPenShape(1);
        GUI_DrawLine(0, 0, 5, 0);
    });
    EXPECT_EQ(screen::px(50, 50), screen::kBlack) << "a thick line of equal ends draws nothing";
    EXPECT_EQ(art(0, 0, 6, 2), "######.\n######.\n.......\n") << "pen 2: the line's row and the one below";
}

TEST(Point, PenOneIsAPixelAndPenFiveADisc)
{
    screen::start();
    screen::run([] {
        GUI_DrawPoint(2, 2);
        GUI_SetPenSize(5);
        GUI_DrawPoint(12, 2);
    });
    EXPECT_EQ(art(0, 0, 4, 4), ".....\n.....\n..#..\n.....\n.....\n");
    EXPECT_EQ(art(10, 0, 14, 4), ".###.\n#####\n#####\n#####\n.###.\n") << "pen 5: a filled disc of radius 2";
}

TEST(PenPosition, LineToAndRelMoveThePen)
{
    screen::start();
    int x = 0, y = 0;
    screen::run([&] {
        GUI_MoveTo(1, 1);
        GUI_DrawLineTo(4, 1);
        GUI_DrawLineRel(0, 3);
        GUI_MoveRel(-3, 0);
        GUI_DrawLineTo(1, 1);
        x = GUI_Context.DrawPosX;
        y = GUI_Context.DrawPosY;
    });
    EXPECT_EQ(art(0, 0, 5, 5), "......\n.####.\n.#..#.\n.#..#.\n.#..#.\n......\n");
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 1);
}

}  // namespace
