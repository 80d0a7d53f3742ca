// Clipping: every primitive draws inside the clip rectangle and nowhere
// else, and nothing is ever written outside the frame buffer.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <random>
#include <sstream>

#include "screen.h"

namespace {

using screen::H;
using screen::px;
using screen::W;

constexpr uint16_t kSentinel = 0x5A5A;
constexpr uint32_t kGuard = 64 * 1024;

uint8_t* guard_before()
{
    return static_cast<uint8_t*>(hw_ptr(screen::kFrameBuffer - kGuard));
}

uint8_t* guard_after()
{
    return static_cast<uint8_t*>(hw_ptr(screen::kFrameBuffer + static_cast<uint32_t>(W) * H * 2));
}

std::string rect_text(int x0, int y0, int x1, int y1)
{
    std::ostringstream o;
    o << "(" << x0 << "," << y0 << ")-(" << x1 << "," << y1 << ")";
    return o.str();
}

TEST(Clip, EachEdgeKeepsItsLastPixelAndDropsTheNext)
{
    screen::start();
    screen::run([] {
        const GUI_Area clip = {10, 20, 30, 40};
        GUI_SetClipRect(&clip);
        for (int d = -1; d <= 1; ++d) {
            GUI_DrawPixel(10 + d, 25);
            GUI_DrawPixel(30 + d, 25);
            GUI_DrawPixel(15, 20 + d);
            GUI_DrawPixel(15, 40 + d);
        }
        GUI_SetClipRect(nullptr);
    });
    EXPECT_EQ(px(9, 25), screen::kBlack) << "left of clip x0";
    EXPECT_EQ(px(10, 25), screen::kWhite) << "at clip x0";
    EXPECT_EQ(px(30, 25), screen::kWhite) << "at clip x1";
    EXPECT_EQ(px(31, 25), screen::kBlack) << "at clip x1 + 1";
    EXPECT_EQ(px(15, 19), screen::kBlack) << "above clip y0";
    EXPECT_EQ(px(15, 20), screen::kWhite) << "at clip y0";
    EXPECT_EQ(px(15, 40), screen::kWhite) << "at clip y1";
    EXPECT_EQ(px(15, 41), screen::kBlack) << "below clip y1";
}

// Spans and rectangles clipped: exactly the intersection is painted.
TEST(Clip, RandomRectanglesPaintExactlyTheIntersection)
{
    screen::start();
    std::vector<std::string> failures;
    screen::run([&] {
        std::mt19937 rng(21);
        auto coord = [&](int size) { return static_cast<int>(rng() % (size + 80)) - 40; };
        for (int n = 0; n < 400 && failures.size() < 3; ++n) {
            const int cx0 = static_cast<int>(rng() % 200), cy0 = static_cast<int>(rng() % 200);
            const GUI_Area clip = {static_cast<int16_t>(cx0), static_cast<int16_t>(cy0),
                                   static_cast<int16_t>(cx0 + rng() % 200), static_cast<int16_t>(cy0 + rng() % 200)};
            int x0 = coord(420), y0 = coord(420), x1 = coord(420), y1 = coord(420);
            const int kind = n % 3;
            if (kind == 1)
                y1 = y0;  // a horizontal line
            if (kind == 2)
                x1 = x0;  // a vertical line
            for (int y = 0; y < 440; ++y)
                for (int x = 0; x < 440; ++x)
                    screen::set_px(x, y, kSentinel);
            GUI_SetClipRect(&clip);
            if (kind == 1)
                LCD_DrawHLine(x0, y0, x1);
            else if (kind == 2)
                LCD_DrawVLine(x0, y0, y1);
            else
                GUI_FillRect(x0, y0, x1, y1);
            GUI_SetClipRect(nullptr);
            for (int y = 0; y < 440 && failures.size() < 3; ++y)
                for (int x = 0; x < 440; ++x) {
                    const bool in = x >= x0 && x <= x1 && y >= y0 && y <= y1 && x >= clip.x0 && x <= clip.x1 &&
                                    y >= clip.y0 && y <= clip.y1;
                    if (px(x, y) != (in ? screen::kWhite : kSentinel)) {
                        const char* what[] = {"rectangle", "horizontal line", "vertical line"};
                        failures.push_back(std::string(what[kind]) + " " + rect_text(x0, y0, x1, y1) + " in clip " +
                                           rect_text(clip.x0, clip.y0, clip.x1, clip.y1) + ": pixel (" +
                                           std::to_string(x) + "," + std::to_string(y) + ") wrong");
                        break;
                    }
                }
        }
    });
    EXPECT_TRUE(failures.empty()) << failures.front();
}

// Random shapes of every kind, partly or wholly outside a random clip (or
// the screen): nothing outside the clip changes, nothing around the frame
// buffer either.
TEST(Clip, NoShapeEverWritesOutsideTheClip)
{
    screen::start();
    for (uint32_t i = 0; i < kGuard; ++i)
        guard_before()[i] = guard_after()[i] = 0xC5;
    std::vector<std::string> failures;
    screen::run([&] {
        std::mt19937 rng(99);
        auto rnd = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<uint32_t>(hi - lo + 1)); };
        static uint16_t data[64 * 64];
        for (int i = 0; i < 64 * 64; ++i)
            data[i] = static_cast<uint16_t>(rng() | 1);
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data);
        for (int n = 0; n < 250 && failures.empty(); ++n) {
            const bool whole = n % 5 == 0;
            GUI_Area clip;
            clip.x0 = static_cast<int16_t>(rnd(0, W - 1));
            clip.y0 = static_cast<int16_t>(rnd(0, H - 1));
            clip.x1 = static_cast<int16_t>(rnd(clip.x0, W - 1));
            clip.y1 = static_cast<int16_t>(rnd(clip.y0, H - 1));
            screen::fill(kSentinel);
            GUI_SetClipRect(whole ? nullptr : &clip);
            const GUI_Area c = GUI_Context.ClipRect;
            GUI_SetDrawMode(n % 4 == 3 ? GUI_DRAWMODE_XOR : GUI_DRAWMODE_NORMAL);
            std::ostringstream what;
            for (int k = 0; k < 6; ++k) {
                const int x = rnd(-300, W + 300), y = rnd(-300, H + 300);
                const int x1 = rnd(-300, W + 300), y1 = rnd(-300, H + 300);
                const int r = rnd(0, 400), r2 = rnd(0, 400);
                GUI_SetPenSize(static_cast<uint8_t>(rnd(1, 9)));
                GUI_SetLineStyle(static_cast<uint8_t>(rnd(0, 5)));
                GUI_SetPenShape(static_cast<uint8_t>(rnd(0, 1)));
                const int kind = rnd(0, 13);
                what << " kind " << kind << " at (" << x << "," << y << ")";
                switch (kind) {
                case 0: GUI_DrawLine(x, y, x1, y1); break;
                case 1: GUI_DrawRect(x, y, x1, y1); break;
                case 2: GUI_FillRect(x, y, x1, y1); break;
                case 3: GUI_DrawCircle(x, y, r); break;
                case 4: GUI_FillCircle(x, y, r); break;
                case 5: GUI_DrawEllipse(x, y, r, r2); break;
                case 6: GUI_FillEllipse(x, y, r, r2); break;
                case 7: GUI_DrawArc(x, y, r, r, rnd(-400, 400), rnd(-400, 400)); break;
                case 8:
                case 9: {
                    GUI_Point pts[9];
                    const int np = rnd(2, 9);
                    for (int i = 0; i < np; ++i)
                        pts[i] = {static_cast<int16_t>(rnd(-400, 400)), static_cast<int16_t>(rnd(-400, 400))};
                    if (kind == 8)
                        GUI_FillPolygon(pts, np, x, y);
                    else
                        GUI_DrawPolygon(pts, np, x, y);
                    break;
                }
                case 10: GUI_DrawPoint(x, y); break;
                case 11: {
                    const int bpp = std::array<int, 5>{1, 2, 4, 8, 16}[rnd(0, 4)];
                    LCD_DrawBitmap(x / 2, y / 2, rnd(1, 64), rnd(1, 64), 1, 1, bpp, 128, bytes, nullptr);
                    break;
                }
                case 12: {
                    const int bpp = std::array<int, 4>{1, 2, 4, 8}[rnd(0, 3)];
                    LCD_DrawBitmap(x, y, rnd(1, 32), rnd(1, 32), rnd(1, 9), rnd(1, 9), bpp, 64, bytes, nullptr);
                    break;
                }
                default: GUI_ClearRect(x, y, x1, y1); break;
                }
            }
            GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
            GUI_SetClipRect(nullptr);
            for (int yy = 0; yy < H && failures.empty(); ++yy)
                for (int xx = 0; xx < W; ++xx)
                    if ((xx < c.x0 || xx > c.x1 || yy < c.y0 || yy > c.y1) && px(xx, yy) != kSentinel) {
                        failures.push_back("shapes" + what.str() + " wrote (" + std::to_string(xx) + "," +
                                           std::to_string(yy) + ") outside the clip " +
                                           rect_text(c.x0, c.y0, c.x1, c.y1));
                        break;
                    }
        }
        GUI_SetPenSize(1);
        GUI_SetLineStyle(0);
    });
    EXPECT_TRUE(failures.empty()) << failures.front();
    for (uint32_t i = 0; i < kGuard; ++i) {
        ASSERT_EQ(guard_before()[i], 0xC5) << "a shape wrote " << kGuard - i << " bytes before the frame buffer";
        ASSERT_EQ(guard_after()[i], 0xC5) << "a shape wrote " << i << " bytes past the frame buffer";
    }
}

}  // namespace
