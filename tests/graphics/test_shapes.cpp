// Rectangles, circles, ellipses, arcs, polygons and rotation.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <set>
#include <sstream>

#include "screen.h"

namespace {

using screen::art;
using screen::px;

using PixelSet = std::set<std::pair<int, int>>;

// Lit pixels of the square of half-size r around (cx, cy), relative to it.
PixelSet lit_around(int cx, int cy, int r)
{
    PixelSet s;
    for (int y = cy - r; y <= cy + r; ++y)
        for (int x = cx - r; x <= cx + r; ++x)
            if (px(x, y))
                s.insert({x - cx, y - cy});
    return s;
}

TEST(Rect, OutlineAndFill)
{
    screen::start();
    screen::run([] {
        GUI_DrawRect(2, 2, 6, 5);
        GUI_FillRect(10, 2, 12, 3);
    });
    EXPECT_EQ(art(1, 1, 13, 6),
              ".............\n"
              ".#####...###.\n"
              ".#...#...###.\n"
              ".#...#.......\n"
              ".#####.......\n"
              ".............\n");
}

TEST(Circle, RadiusFiveOutline)
{
    screen::start();
    screen::run([] { GUI_DrawCircle(10, 10, 5); });
    EXPECT_EQ(art(5, 5, 15, 15),
              "...#####...\n"
              ".###...###.\n"
              ".#.......#.\n"
              "##.......##\n"
              "#.........#\n"
              "#.........#\n"
              "#.........#\n"
              "##.......##\n"
              ".#.......#.\n"
              ".###...###.\n"
              "...#####...\n");
}

TEST(Circle, RadiusFiveFilled)
{
    screen::start();
    screen::run([] { GUI_FillCircle(10, 10, 5); });
    EXPECT_EQ(art(5, 5, 15, 15),
              "....###....\n"
              "..#######..\n"
              ".#########.\n"
              ".#########.\n"
              "###########\n"
              "###########\n"
              "###########\n"
              ".#########.\n"
              ".#########.\n"
              "..#######..\n"
              "....###....\n");
}

TEST(Circle, RadiusZeroIsOnePixel)
{
    screen::start();
    screen::run([] {
        GUI_DrawCircle(10, 10, 0);
        GUI_FillCircle(20, 10, 0);
    });
    EXPECT_EQ(art(8, 8, 22, 12), "...............\n"
                                 "...............\n"
                                 "..#.........#..\n"
                                 "...............\n"
                                 "...............\n");
}

// A filled circle is the same when mirrored left to right, top to bottom
// and about its diagonal; its outline stays inside it, give or take the
// outline's step outward.
TEST(Circle, FilledCirclesAreSymmetricForEveryRadius)
{
    screen::start();
    std::vector<std::string> failures;
    screen::run([&] {
        for (int r = 0; r <= 200 && failures.empty(); ++r) {
            const int c = 230;
            GUI_ClearRect(c - r - 2, c - r - 2, c + r + 2, c + r + 2);
            GUI_FillCircle(c, c, r);
            const PixelSet s = lit_around(c, c, r + 1);
            for (auto [x, y] : s) {
                if (!s.count({-x, y}) || !s.count({x, -y}) || !s.count({y, x})) {
                    failures.push_back("filled circle of radius " + std::to_string(r) + " is not symmetric at (" +
                                       std::to_string(x) + "," + std::to_string(y) + ")");
                    break;
                }
                if (std::abs(x) > r || std::abs(y) > r) {
                    failures.push_back("filled circle of radius " + std::to_string(r) + " reaches beyond it");
                    break;
                }
            }
            if (failures.empty() && (!s.count({r, 0}) || !s.count({0, -r})))
                failures.push_back("filled circle of radius " + std::to_string(r) + " does not reach its radius");
        }
    });
    EXPECT_TRUE(failures.empty()) << failures.front();
}

TEST(Ellipse, RadiusZeroIsALine)
{
    screen::start();
    screen::run([] {
        GUI_DrawEllipse(5, 5, 0, 3);
        GUI_FillEllipse(15, 5, 3, 0);
        GUI_DrawEllipse(25, 5, 0, 0);
        GUI_FillEllipse(30, 5, 0, 2);
    });
    EXPECT_EQ(art(0, 1, 32, 9),
              ".................................\n"
              ".....#...........................\n"
              ".....#........................#..\n"
              ".....#........................#..\n"
              ".....#......#######......#....#..\n"
              ".....#........................#..\n"
              ".....#........................#..\n"
              ".....#...........................\n"
              ".................................\n");
}

// rx 4, ry 2: half-widths 4, 3, 1 (dx^2 ry^2 + dy^2 rx^2 <= 64 + 64 / 8).
TEST(Ellipse, SmallOutlineAndFill)
{
    screen::start();
    screen::run([] {
        GUI_DrawEllipse(10, 10, 4, 2);
        GUI_FillEllipse(30, 10, 4, 2);
    });
    EXPECT_EQ(art(6, 8, 14, 12),
              "..#####..\n"
              ".#.....#.\n"
              "#.......#\n"
              ".#.....#.\n"
              "..#####..\n");
    EXPECT_EQ(art(26, 8, 34, 12),
              "...###...\n"
              ".#######.\n"
              "#########\n"
              ".#######.\n"
              "...###...\n");
}

TEST(Ellipse, FilledEllipsesSpanTheirRadiiAndAreSymmetric)
{
    screen::start();
    std::vector<std::string> failures;
    screen::run([&] {
        std::mt19937 rng(5);
        for (int n = 0; n < 150 && failures.empty(); ++n) {
            const int rx = static_cast<int>(rng() % 90), ry = static_cast<int>(rng() % 90), c = 200;
            const std::string what = "filled ellipse " + std::to_string(rx) + " x " + std::to_string(ry);
            GUI_ClearRect(c - 100, c - 100, c + 100, c + 100);
            GUI_FillEllipse(c, c, rx, ry);
            const PixelSet s = lit_around(c, c, 95);
            int widest = 0, tallest = 0;
            for (auto [x, y] : s) {
                widest = std::max(widest, x);
                tallest = std::max(tallest, -y);
                if (!s.count({-x, y}) || !s.count({x, -y}))
                    failures.push_back(what + " is not symmetric at (" + std::to_string(x) + "," + std::to_string(y) + ")");
                else if (x > 0 && !s.count({x - 1, y}))
                    failures.push_back(what + " has a hole at (" + std::to_string(x - 1) + "," + std::to_string(y) + ")");
                if (!failures.empty())
                    break;
            }
            if (failures.empty() && (widest != rx || tallest != ry))
                failures.push_back(what + " spans " + std::to_string(widest) + " x " + std::to_string(tallest));
        }
    });
    EXPECT_TRUE(failures.empty()) << failures.front();
}

TEST(Ellipse, OutlinesAreSymmetricAndReachTheirFourExtremes)
{
    screen::start();
    std::vector<std::string> failures;
    screen::run([&] {
        std::mt19937 rng(9);
        for (int n = 0; n < 150 && failures.empty(); ++n) {
            const int rx = 1 + static_cast<int>(rng() % 80), ry = 1 + static_cast<int>(rng() % 80), c = 200;
            const std::string what = "ellipse " + std::to_string(rx) + " x " + std::to_string(ry);
            GUI_ClearRect(c - 100, c - 100, c + 100, c + 100);
            GUI_DrawEllipse(c, c, rx, ry);
            const PixelSet s = lit_around(c, c, 95);
            for (auto [x, y] : s)
                if (!s.count({-x, y}) || !s.count({x, -y}) || std::abs(x) > rx || std::abs(y) > ry) {
                    failures.push_back(what + ": stray or unmatched pixel (" + std::to_string(x) + "," +
                                       std::to_string(y) + ")");
                    break;
                }
            if (failures.empty() && (!s.count({rx, 0}) || !s.count({0, ry}) || s.count({0, 0})))
                failures.push_back(what + " misses an extreme point or fills its centre");
        }
    });
    EXPECT_TRUE(failures.empty()) << failures.front();
}

// Every pixel of an arc lies in the ring of the pen's width around the
// radius and, seen from the centre, inside the angle range.
TEST(Arc, PixelsLieInTheRingAndTheAngleRange)
{
    screen::start();
    std::vector<std::string> failures;
    screen::run([&] {
        std::mt19937 rng(13);
        for (int n = 0; n < 200 && failures.empty(); ++n) {
            const int r = 3 + static_cast<int>(rng() % 100), pen = 1 + static_cast<int>(rng() % 6);
            const int a0 = static_cast<int>(rng() % 720) - 360, span = 1 + static_cast<int>(rng() % 359);
            const int c = 230;
            std::ostringstream what;
            what << "arc r " << r << " pen " << pen << " from " << a0 << " to " << a0 + span;
            GUI_ClearRect(c - 120, c - 120, c + 120, c + 120);
            GUI_SetPenSize(static_cast<uint8_t>(pen));
            GUI_DrawArc(c, c, r, r, a0, a0 + span);
            const PixelSet s = lit_around(c, c, 115);
            if (s.empty())
                failures.push_back(what.str() + " drew nothing");
            const double half = (pen + 1.5) / 2;
            for (auto [x, y] : s) {
                const double d = std::hypot(x, y);
                double a = std::atan2(-y, x) * 180 / M_PI;  // up is positive
                double rel = std::fmod(a - a0 + 720.0, 360.0);
                const double slack = 60.0 / std::max(d, 1.0);  // about a pixel, in degrees
                const bool inAngle = rel <= span + slack || rel >= 360 - slack;
                if (d < r - half - 1 || d > r + half + 1 || !inAngle) {
                    failures.push_back(what.str() + " drew (" + std::to_string(x) + "," + std::to_string(y) + ")");
                    break;
                }
            }
        }
        GUI_SetPenSize(1);
    });
    EXPECT_TRUE(failures.empty()) << failures.front();
}

TEST(Arc, QuarterArcsStayInTheirQuadrant)
{
    screen::start();
    struct Case {
        int a0, a1;
        int sx, sy;  // sign of x and y (screen y down) allowed
    };
    const Case cases[] = {{0, 90, 1, -1}, {90, 180, -1, -1}, {180, 270, -1, 1}, {270, 360, 1, 1}, {-90, 0, 1, 1}};
    for (const Case& c : cases) {
        screen::run([&] {
            GUI_Clear();
            GUI_DrawArc(100, 100, 20, 20, c.a0, c.a1);
        });
        const PixelSet s = lit_around(100, 100, 30);
        EXPECT_FALSE(s.empty()) << "arc " << c.a0 << ".." << c.a1 << " drew nothing";
        for (auto [x, y] : s)
            EXPECT_TRUE(x * c.sx >= 0 && y * c.sy >= 0)
                << "arc " << c.a0 << ".." << c.a1 << " drew (" << x << "," << y << ") outside its quadrant";
    }
}

TEST(Arc, APenWiderThanTheRadiusFillsToTheCentre)
{
    screen::start();
    screen::run([] {
        GUI_SetPenSize(12);
        GUI_DrawArc(100, 100, 2, 2, 0, 360);
    });
    EXPECT_EQ(px(100, 100), screen::kWhite) << "the ring's inner edge must stop at the centre";
    EXPECT_EQ(px(100, 92), screen::kWhite);
    EXPECT_EQ(px(100, 90), screen::kBlack) << "the ring reaches r + (pen + 1.5) / 2 = 8.75";
}

TEST(Polygon, FillWithHorizontalEdges)
{
    screen::start();
    static const GUI_Point triangle[3] = {{0, 0}, {6, 0}, {0, 6}};
    static const GUI_Point trapezoid[4] = {{2, 0}, {5, 0}, {7, 4}, {0, 4}};
    screen::run([] {
        GUI_FillPolygon(triangle, 3, 10, 10);
        GUI_FillPolygon(trapezoid, 4, 30, 10);
    });
    EXPECT_EQ(art(10, 10, 16, 16),
              "#######\n"
              "######.\n"
              "#####..\n"
              "####...\n"
              "###....\n"
              "##.....\n"
              "#......\n");
    EXPECT_EQ(art(30, 10, 37, 14),
              "..####..\n"
              "..####..\n"
              ".######.\n"
              ".######.\n"
              "########\n");
}

TEST(Polygon, AtMostTwelveCrossingsOnALine)
{
    screen::start();
    // A comb of eight teeth on a base: sixteen crossings on a line through
    // the teeth, met from left to right.
    std::vector<GUI_Point> comb = {{0, 12}};
    for (int k = 0; k < 8; ++k) {
        comb.push_back({static_cast<int16_t>(10 * k), 0});
        comb.push_back({static_cast<int16_t>(10 * k + 4), 0});
        comb.push_back({static_cast<int16_t>(10 * k + 4), 10});
        if (k < 7)
            comb.push_back({static_cast<int16_t>(10 * k + 10), 10});
    }
    comb.push_back({74, 12});
    screen::run([&] { GUI_FillPolygon(comb.data(), static_cast<int>(comb.size()), 0, 0); });
    EXPECT_EQ(px(52, 5), screen::kWhite) << "the sixth tooth is within the first twelve crossings";
    EXPECT_EQ(px(62, 5), screen::kBlack) << "crossings after the twelfth on a line are dropped";
    EXPECT_EQ(px(62, 11), screen::kWhite) << "the base line has only two crossings";
}

TEST(Polygon, FewerThanTwoPointsDrawNothing)
{
    screen::start();
    static const GUI_Point one[1] = {{5, 5}};
    screen::run([] {
        GUI_FillPolygon(one, 1, 0, 0);
        GUI_DrawPolygon(one, 1, 0, 0);
        GUI_DrawPolyLine(one, 1, 0, 0);
        GUI_FillPolygon(one, 0, 0, 0);
    });
    EXPECT_TRUE(screen::pixels_not(screen::kBlack).empty());
}

TEST(Polygon, OutlineClosesOnItsFirstPoint)
{
    screen::start();
    static const GUI_Point square[4] = {{0, 0}, {4, 0}, {4, 3}, {0, 3}};
    screen::run([] { GUI_DrawPolygon(square, 4, 1, 1); });
    EXPECT_EQ(art(0, 0, 6, 5), ".......\n.#####.\n.#...#.\n.#...#.\n.#####.\n.......\n");
}

TEST(Rotate, QuarterAndHalfTurnsAndInPlace)
{
    struct Case {
        float angle;
        GUI_Point in, out;
    };
    const float pi = 3.14159265f;
    const Case cases[] = {
        {pi / 2, {10, 0}, {0, -10}}, {pi / 2, {0, 10}, {10, 0}}, {pi, {10, 0}, {-10, 0}},  {pi, {0, -6}, {0, 6}},
        {0, {-7, 5}, {-7, 5}},       {pi / 4, {10, 0}, {7, -7}},
    };
    for (const Case& c : cases) {
        GUI_Point out;
        GUI_RotatePolygon(&out, &c.in, 1, c.angle);
        EXPECT_EQ(out.x, c.out.x) << "(" << c.in.x << "," << c.in.y << ") turned by " << c.angle;
        EXPECT_EQ(out.y, c.out.y) << "(" << c.in.x << "," << c.in.y << ") turned by " << c.angle;
    }
    std::mt19937 rng(17);
    for (int n = 0; n < 200; ++n) {
        GUI_Point src[8], copy[8], inPlace[8];
        for (GUI_Point& p : src)
            p = {static_cast<int16_t>(rng() % 2001 - 1000), static_cast<int16_t>(rng() % 2001 - 1000)};
        const float angle = static_cast<float>(rng() % 6283) / 1000.0f;
        std::copy(std::begin(src), std::end(src), inPlace);
        GUI_RotatePolygon(copy, src, 8, angle);
        GUI_RotatePolygon(inPlace, inPlace, 8, angle);
        for (int i = 0; i < 8; ++i) {
            ASSERT_EQ(inPlace[i].x, copy[i].x) << "rotating in place changed point " << i;
            ASSERT_EQ(inPlace[i].y, copy[i].y) << "rotating in place changed point " << i;
        }
    }
}

// In XOR mode every shape inverts what lies under it; drawn twice it
// leaves the picture as it was.
TEST(XorMode, EveryShapeDrawnTwiceRestoresThePicture)
{
    screen::start();
    static const GUI_Point poly[5] = {{0, 0}, {40, 10}, {30, 50}, {10, 30}, {-10, 45}};
    static const uint8_t bits[4] = {0xF0, 0x0F, 0xAA, 0x55};
    struct Shape {
        const char* name;
        std::function<void()> draw;
    };
    const Shape shapes[] = {
        {"pixel", [] { GUI_DrawPixel(100, 100); }},
        {"thin line", [] { GUI_DrawLine(20, 30, 300, 170); }},
        {"dashed line", [] { GUI_SetLineStyle(3); GUI_DrawLine(20, 30, 300, 90); GUI_SetLineStyle(0); }},
        {"thick line", [] { GUI_SetPenSize(7); GUI_DrawLine(20, 30, 300, 170); GUI_SetPenSize(1); }},
        {"rectangle", [] { GUI_DrawRect(50, 60, 250, 200); }},
        {"filled rectangle", [] { GUI_FillRect(51, 61, 250, 200); }},
        {"circle", [] { GUI_DrawCircle(150, 150, 77); }},
        {"filled circle", [] { GUI_FillCircle(150, 150, 77); }},
        {"ellipse", [] { GUI_DrawEllipse(150, 150, 90, 40); }},
        {"filled ellipse", [] { GUI_FillEllipse(150, 150, 90, 40); }},
        {"arc", [] { GUI_SetPenSize(4); GUI_DrawArc(150, 150, 60, 60, 30, 300); GUI_SetPenSize(1); }},
        {"polygon", [] { GUI_DrawPolygon(poly, 5, 100, 100); }},
        {"filled polygon", [] { GUI_FillPolygon(poly, 5, 100, 100); }},
        {"bitmap", [] { LCD_DrawBitmap(33, 44, 16, 2, 1, 1, 1, 2, bits, nullptr); }},
        {"magnified bitmap", [] { LCD_DrawBitmap(33, 44, 16, 2, 3, 3, 1, 2, bits, nullptr); }},
    };
    for (int y = 0; y < screen::H; ++y)
        for (int x = 0; x < screen::W; ++x)
            screen::set_px(x, y, static_cast<uint16_t>(x * 37 + y * 101));
    const std::vector<uint16_t> before = screen::snapshot();
    for (const Shape& s : shapes) {
        std::vector<uint16_t> once;
        screen::run([&] {
            GUI_SetDrawMode(GUI_DRAWMODE_XOR);
            s.draw();
        });
        once = screen::snapshot();
        screen::run([&] {
            s.draw();
            GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
        });
        EXPECT_NE(once, before) << "an XOR " << s.name << " changed nothing";
        EXPECT_TRUE(screen::snapshot() == before) << "an XOR " << s.name << " drawn twice did not restore the picture";
    }
}

TEST(XorMode, OutlinesInvertEachPixelOnce)
{
    screen::start();
    screen::run([] {
        GUI_SetDrawMode(GUI_DRAWMODE_XOR);
        GUI_DrawRect(2, 2, 6, 5);
        GUI_DrawCircle(30, 30, 9);
        GUI_DrawEllipse(80, 30, 25, 7);
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    });
    const std::string xorRect = art(1, 1, 7, 6), xorCircle = art(20, 20, 40, 40), xorEllipse = art(50, 20, 110, 40);
    screen::run([] {
        GUI_Clear();
        GUI_DrawRect(2, 2, 6, 5);
        GUI_DrawCircle(30, 30, 9);
        GUI_DrawEllipse(80, 30, 25, 7);
    });
    EXPECT_EQ(xorRect, art(1, 1, 7, 6)) << "an XOR rectangle must not invert its corners twice";
    EXPECT_EQ(xorCircle, art(20, 20, 40, 40)) << "an XOR circle must not invert any point twice";
    EXPECT_EQ(xorEllipse, art(50, 20, 110, 40)) << "an XOR ellipse must not invert any point twice";
}

}  // namespace
