// The drawing context: what GUI_Init leaves, the setters, the clip
// rectangle, rectangles, device information and the context copy.
#include <gtest/gtest.h>

#include "screen.h"

namespace {

using screen::H;
using screen::W;

TEST(GuiInit, LeavesABlackScreenAndAWhitePen)
{
    screen::start();
    screen::fill(0x5A5A);
    GUI_ContextRecord c{};
    int result = -1;
    screen::run([&] {
        GUI_GotoXY(17, 3);
        GUI_SetPenSize(7);
        result = GUI_Init();
        GUI_SaveContext_M(&c);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(screen::pixels_not(screen::kBlack).empty()) << "GUI_Init must clear the whole screen to black";
    EXPECT_EQ(c.ColorIndex, 0xFFFFu) << "foreground white";
    EXPECT_EQ(c.BkColorIndex, 0x0000u) << "background black";
    EXPECT_EQ(c.Color, 0xFFFFFFu);
    EXPECT_EQ(c.BkColor, 0x000000u);
    EXPECT_EQ(c.DrawMode, GUI_DRAWMODE_NORMAL) << "GUI_Init must leave reverse mode it entered for the clear";
    EXPECT_EQ(c.PenSize, 1);
    EXPECT_EQ(c.pFont, &GUI_FontArial10);
    EXPECT_EQ(c.pUC, &GUI_UC_None);
    EXPECT_EQ(c.pClipRect, &GUI_Context.ClipRect);
    EXPECT_EQ(c.ClipRect.x0, 0);
    EXPECT_EQ(c.ClipRect.y0, 0);
    EXPECT_EQ(c.ClipRect.x1, W - 1);
    EXPECT_EQ(c.ClipRect.y1, H - 1);
    EXPECT_EQ(c.DispPosX, 0);
    EXPECT_EQ(c.DispPosY, 0);
    EXPECT_EQ(GUI_DecChar, '.');
}

TEST(Settings, SettersReturnThePreviousValue)
{
    screen::start();
    int mode = -1, pen = -1, shape = -1, style = -1, border = -1, align = -1, text = -1;
    const GUI_FontRecord* font = nullptr;
    const GUI_FontRecord* nullKept = nullptr;
    screen::run([&] {
        GUI_SetDrawMode(GUI_DRAWMODE_XOR);
        mode = GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
        GUI_SetPenSize(4);
        pen = GUI_SetPenSize(1);
        GUI_SetPenShape(2);
        shape = GUI_SetPenShape(0);
        GUI_SetLineStyle(3);
        style = GUI_SetLineStyle(0);
        GUI_SetLBorder(12);
        border = GUI_SetLBorder(0);
        GUI_SetTextAlign(6);
        align = GUI_SetTextAlign(0);
        GUI_SetTextMode(GUI_DRAWMODE_TRANS);
        text = GUI_SetTextMode(0);
        font = GUI_SetFont(nullptr);
        nullKept = GUI_Context.pFont;
    });
    EXPECT_EQ(mode, GUI_DRAWMODE_XOR);
    EXPECT_EQ(pen, 4);
    EXPECT_EQ(shape, 2);
    EXPECT_EQ(style, 3);
    EXPECT_EQ(border, 12);
    EXPECT_EQ(align, 6);
    EXPECT_EQ(text, GUI_DRAWMODE_TRANS);
    EXPECT_EQ(font, &GUI_FontArial10) << "GUI_SetFont(NULL) must report the current font";
    EXPECT_EQ(nullKept, &GUI_FontArial10) << "GUI_SetFont(NULL) must keep the current font";
}

TEST(Settings, CursorAndOrigin)
{
    screen::start();
    int x = 0, y = 0, r = -1;
    screen::run([&] {
        r = GUI_GotoXY(123, 45);
        x = GUI_GetDispPosX();
        y = GUI_GetDispPosY();
        GUI_SetOrg(3, 4);
    });
    EXPECT_EQ(r, 0);
    EXPECT_EQ(x, 123);
    EXPECT_EQ(y, 45);
    EXPECT_EQ(GUI_OrgX, 3);
    EXPECT_EQ(GUI_OrgY, 4);
    EXPECT_TRUE(screen::pixels_not(screen::kBlack).empty()) << "the origin is stored only: nothing moves";
}

std::string area(const GUI_Area& a)
{
    return "(" + std::to_string(a.x0) + "," + std::to_string(a.y0) + ")-(" + std::to_string(a.x1) + "," +
           std::to_string(a.y1) + ")";
}

TEST(Clip, IsAlwaysInsideTheDevice)
{
    screen::start();
    struct Case {
        GUI_Area in;
        GUI_Area expected;
    };
    const Case cases[] = {
        {{10, 20, 30, 40}, {10, 20, 30, 40}},
        {{-50, -50, 5, 5}, {0, 0, 5, 5}},
        {{W - 5, H - 5, W + 50, H + 50}, {W - 5, H - 5, W - 1, H - 1}},
        {{-4096, -4096, 4096, 4096}, {0, 0, W - 1, H - 1}},
    };
    for (const Case& c : cases) {
        GUI_Area got{};
        screen::run([&] {
            GUI_SetClipRect(&c.in);
            got = GUI_Context.ClipRect;
        });
        EXPECT_EQ(area(got), area(c.expected)) << "clip " << area(c.in);
    }
    GUI_Area whole{};
    screen::run([&] {
        GUI_SetClipRect(nullptr);
        whole = GUI_Context.ClipRect;
    });
    EXPECT_EQ(area(whole), area({0, 0, W - 1, H - 1})) << "GUI_SetClipRect(NULL) must restore the whole display";
}

TEST(Clip, ClientRectReportsSizesNotLastPixels)
{
    screen::start();
    GUI_Area r{-1, -1, -1, -1};
    screen::run([&] {
        GUI_GetClientRect(&r);
        GUI_GetClientRect(nullptr);
    });
    EXPECT_EQ(area(r), area({0, 0, W, H}));
}

TEST(Rects, IntersectionAndOverlap)
{
    struct Case {
        GUI_Area a, b, dest;
        int overlap;
    };
    const Case cases[] = {
        {{0, 0, 10, 10}, {5, 5, 20, 20}, {5, 5, 10, 10}, 1},
        {{0, 0, 10, 10}, {10, 10, 20, 20}, {10, 10, 10, 10}, 1},
        {{0, 0, 10, 10}, {11, 0, 20, 10}, {11, 0, 10, 10}, 0},
        {{0, 0, 10, 10}, {0, 11, 10, 20}, {0, 11, 10, 10}, 0},
        {{-5, -5, 5, 5}, {-10, -1, 10, 1}, {-5, -1, 5, 1}, 1},
    };
    for (const Case& c : cases) {
        GUI_Area d{};
        EXPECT_EQ(GUI__IntersectRects(&d, &c.a, &c.b), c.overlap) << area(c.a) << " and " << area(c.b);
        EXPECT_EQ(area(d), area(c.dest)) << "the intersection is written even when empty";
        EXPECT_EQ(GUI_RectsIntersect(&c.a, &c.b), c.overlap) << area(c.a) << " and " << area(c.b);
    }
    GUI_Area a{1, 2, 8, 9}, b{4, 0, 20, 5};
    GUI__IntersectRects(&a, &a, &b);
    EXPECT_EQ(area(a), area({4, 2, 8, 5})) << "the destination may be one of the inputs";
}

TEST(Memset, FillsExactlyTheBytesAskedAtAnyAlignment)
{
    for (int start = 0; start < 4; ++start)
        for (int n : {0, 1, 3, 4, 5, 8, 13, 64}) {
            uint8_t buf[96];
            std::fill(std::begin(buf), std::end(buf), 0x11);
            GUI__memset(buf + start, 0xC3, n);
            for (int i = 0; i < 96; ++i) {
                const bool inside = i >= start && i < start + n;
                ASSERT_EQ(buf[i], inside ? 0xC3 : 0x11) << "GUI__memset(buf + " << start << ", 0xC3, " << n
                                                         << ") left byte " << i << " wrong";
            }
        }
}

TEST(Device, PropertiesOfTheFrameBuffer)
{
    screen::start();
    struct Prop {
        int n;
        int32_t value;
    };
    const Prop props[] = {
        {1, W}, {2, H}, {3, W}, {4, H}, {5, -1}, {6, -1}, {7, 3200}, {8, 16}, {9, 65536}, {10, 1},
        {11, 1}, {12, 565}, {13, 0}, {14, 0}, {15, 0}, {16, 1}, {17, 0}, {18, 0}, {0, -1}, {19, -1},
    };
    for (const Prop& p : props)
        EXPECT_EQ(GUI_Context.pDeviceAPI->pfGetDevProp(p.n), p.value) << "device property " << p.n;
    EXPECT_EQ(LCD_GetXSize(), W);
    EXPECT_EQ(LCD_GetYSize(), H);
    EXPECT_EQ(LCD_GetVXSizeEx(0), W);
    EXPECT_EQ(LCD_GetXSizeEx(1), 0) << "layers other than 0 have no size";
    EXPECT_EQ(LCD_GetBitsPerPixel(), 16);
    EXPECT_EQ(LCD_GetNumColors(), 65536u);
    EXPECT_EQ(LCD_GetSwapRBEx(0), 1);
    EXPECT_EQ(LCD_GetXSizeMax(), W);
    EXPECT_EQ(LCD_GetNumLayers(), 1);
    EXPECT_EQ(GUI_Context.pDeviceAPI->pfGetDevFunc(6), reinterpret_cast<LCD_DevFunc>(1));
    EXPECT_EQ(GUI_Context.pDeviceAPI->pfGetDevFunc(2), nullptr);
    EXPECT_EQ(GUI_Context.pDeviceAPI->pfGetDevFunc(12), nullptr);
    EXPECT_EQ(LCD_PassingBitmapsAllowed(), 1);
}

TEST(Device, LayerCallsOtherThanSelectingLayer0AnswerOne)
{
    screen::start();
    int alpha = 0, size = 0, pos = 0, other = 0, prev = -1;
    screen::run([&] {
        alpha = GUI_SetLayerAlphaEx(0, 128);
        size = GUI_SetLayerSizeEx(0, 10, 10);
        pos = GUI_SetLayerPosEx(0, 1, 1);
        other = GUI_SetLayerAlphaEx(3, 1);
        prev = GUI_SelectLayer(2);
    });
    EXPECT_EQ(alpha, 1);
    EXPECT_EQ(size, 1);
    EXPECT_EQ(pos, 1);
    EXPECT_EQ(other, 1);
    EXPECT_EQ(prev, 0);
    EXPECT_EQ(GUI_Context.SelLayer, 0) << "a layer other than 0 must not be selected";
}

TEST(Device, PixelReadsOutsideTheDeviceGiveZero)
{
    screen::start();
    LCD_PixelIndex inside = 0, left = 1, below = 1;
    GUI_ColorValue color = 0;
    screen::run([] { GUI_FillRect(0, 0, W - 1, H - 1); });
    screen::run([&] {
        inside = LCD_GetPixelIndex(W - 1, H - 1);
        left = LCD_GetPixelIndex(-1, 0);
        below = LCD_GetPixelIndex(0, H);
        color = LCD_GetPixelColor(5, 5);
    });
    EXPECT_EQ(inside, 0xFFFFu);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(below, 0u);
    EXPECT_EQ(color, 0xFFFFFFu);
}

TEST(Clear, PaintsTheBackgroundAndHomesTheCursor)
{
    screen::start();
    int x = -1, y = -1;
    screen::run([&] {
        GUI_SetBkColor(0xFFFFFF);
        GUI_SetColor(0x000000);
        GUI_GotoXY(50, 60);
        GUI_Clear();
        x = GUI_GetDispPosX();
        y = GUI_GetDispPosY();
    });
    EXPECT_TRUE(screen::pixels_not(screen::kWhite).empty()) << "GUI_Clear must paint every pixel in the background";
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

TEST(Context, RestoreBringsBackTheWholeRecord)
{
    screen::start();
    GUI_ContextRecord after{};
    screen::run([&] {
        GUI_ContextRecord saved;
        GUI_SaveContext_M(&saved);
        GUI_SetColor(0x00FF00);
        GUI_SetPenSize(9);
        GUI_SetDrawMode(GUI_DRAWMODE_XOR);
        const GUI_Area small = {1, 1, 2, 2};
        GUI_SetClipRect(&small);
        GUI_RestoreContext(&saved);
        after = GUI_Context;
    });
    EXPECT_EQ(after.ColorIndex, 0xFFFFu);
    EXPECT_EQ(after.PenSize, 1);
    EXPECT_EQ(after.DrawMode, 0);
    EXPECT_EQ(after.ClipRect.x1, W - 1);
}

}  // namespace
