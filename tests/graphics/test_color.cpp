// Colour values and RGB565 pixel indices: the conversions, the colour
// cache and the two colour slots under reverse mode.
#include <gtest/gtest.h>

#include <cstdio>

#include "graphics/LCDLin32.h"
#include "screen.h"

namespace {

std::string hex(uint32_t v)
{
    char b[16];
    std::snprintf(b, sizeof b, "0x%06X", v);
    return b;
}

struct ConvCase {
    GUI_ColorValue color;
    LCD_PixelIndex index;
};

TEST(ColorConversion, ColourValueToPixelIndexKeepsTheTopBitsOfEachChannel)
{
    const ConvCase cases[] = {
        {0xFFFFFF, 0xFFFF}, {0x000000, 0x0000}, {0x0000FF, 0xF800}, {0xFF0000, 0x001F},
        {0x00FF00, 0x07E0}, {0x070307, 0x0000}, {0x080408, 0x0821}, {0x123456, 0x51A2},
    };
    for (const ConvCase& c : cases)
        EXPECT_EQ(LCD_Color2Index_M565(c.color), c.index) << "colour " << hex(c.color);
}

TEST(ColorConversion, PixelIndexToColourValueScalesEachFieldTruncating)
{
    const ConvCase cases[] = {
        {0x0000FF, 0xF800}, {0x00FF00, 0x07E0}, {0xFF0000, 0x001F}, {0x838183, 0x8410},
        {0xFFFFFF, 0xFFFF}, {0x000000, 0x0000}, {0x000083, 0x8000},
    };
    for (const ConvCase& c : cases)
        EXPECT_EQ(LCD_Index2Color_M565(c.index), c.color) << "index " << hex(c.index);
}

TEST(ColorConversion, SisterLayoutsPlaceTheFieldsTheirOwnWay)
{
    EXPECT_EQ(LCD_Index2Color_565(0xF800), 0xFF0000u) << "565: blue in the high bits";
    EXPECT_EQ(LCD_Index2Color_565(0x001F), 0x0000FFu) << "565: red in the low bits";
    EXPECT_EQ(LCD_Index2Color_565(0x07E0), 0x00FF00u);
    EXPECT_EQ(LCD_Index2Color_M555(0x7C00), 0x0000FFu) << "M555: red in bits 14..10";
    EXPECT_EQ(LCD_Index2Color_M555(0x03E0), 0x00FF00u) << "M555: green has five bits";
    EXPECT_EQ(LCD_Index2Color_M555(0x801F), 0xFF0000u) << "M555: bit 15 is ignored";
    EXPECT_EQ(LCD_Index2Color_M555(0x4210), 0x838383u) << "each field 16: 16 x 255 / 31 = 131";
    EXPECT_EQ(LCD_GetIndexMask_M565(), 0xFFFFu);
}

TEST(ColorConversion, EveryPixelIndexSurvivesTheRoundTrip)
{
    for (uint32_t i = 0; i < 0x10000; ++i)
        ASSERT_EQ(LCD_Color2Index_M565(LCD_Index2Color_M565(i)), i) << "index " << hex(i)
                                                                      << " came back changed";
}

// A copy of the driver's table that counts colour conversions.
int conversions;
LCD_PixelIndex counting_color2index(GUI_ColorValue c)
{
    ++conversions;
    return LCD_L0_Color2Index(c);
}

TEST(ColorCache, TheSameColourTwiceConvertsOnce)
{
    screen::start();
    int counted = 0, afterIndex = 0;
    screen::run([&] {
        static LCD_DeviceAPIList counting = LCD_L0_APIList;
        counting.pfColor2Index = counting_color2index;
        const LCD_DeviceAPIList* saved = GUI_Context.pDeviceAPI;
        GUI_Context.pDeviceAPI = &counting;
        conversions = 0;
        GUI_SetColor(0x123456);
        GUI_SetColor(0x123456);
        GUI_SetBkColor(0x654321);
        GUI_SetBkColor(0x654321);
        counted = conversions;
        GUI_SetColorIndex(0x1234);
        GUI_SetColor(0x123456);
        afterIndex = conversions - counted;
        GUI_Context.pDeviceAPI = saved;
    });
    EXPECT_EQ(counted, 2) << "setting a colour that is already set must not convert it again";
    EXPECT_EQ(afterIndex, 1) << "GUI_SetColorIndex must forget the cached colour value";
}

TEST(ColorSlots, ReverseModeExchangesTheRolesOfTheTwoSlots)
{
    screen::start();
    GUI_ColorValue bkInRev = 0, fgInRev = 0, bkAfter = 0, fgAfter = 0;
    LCD_PixelIndex slot0 = 0, slot1 = 0;
    screen::run([&] {
        GUI_SetColor(0x0000FF);  // red foreground
        GUI_SetBkColor(0x00FF00);
        GUI_SetDrawMode(GUI_DRAWMODE_REV);
        GUI_SetBkColor(0xFF0000);  // blue, stored while reversed
        slot0 = GUI_Context.BkColorIndex;
        slot1 = GUI_Context.ColorIndex;
        bkInRev = GUI_GetBkColor();
        fgInRev = GUI_GetColor();
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
        bkAfter = GUI_GetBkColor();
        fgAfter = GUI_GetColor();
    });
    EXPECT_EQ(slot1, 0x001Fu) << "under REV the background lives in slot 1";
    EXPECT_EQ(slot0, 0xF800u) << "under REV the foreground lives in slot 0";
    EXPECT_EQ(bkInRev, 0x0000FFu) << "GUI_GetBkColor reads slot 0, which holds the foreground under REV";
    EXPECT_EQ(fgInRev, 0xFF0000u);
    EXPECT_EQ(bkAfter, 0xFF0000u) << "leaving REV must make the colour set under it the background";
    EXPECT_EQ(fgAfter, 0x0000FFu);
}

TEST(ColorSlots, FillsUseTheForegroundAndClearsTheBackground)
{
    screen::start();
    screen::run([] {
        GUI_SetColor(0x0000FF);
        GUI_SetBkColor(0xFF0000);
        GUI_FillRect(0, 0, 9, 0);
        GUI_ClearRect(10, 0, 19, 0);
    });
    EXPECT_EQ(screen::px(5, 0), screen::kRed) << "a fill must paint the foreground";
    EXPECT_EQ(screen::px(15, 0), screen::kBlue) << "a clear must paint the background";
    EXPECT_EQ(screen::px(20, 0), screen::kBlack) << "the clear went past its rectangle";
    int mode = -1;
    screen::run([&] { mode = GUI_GetDrawMode(); });
    EXPECT_EQ(mode, GUI_DRAWMODE_NORMAL) << "GUI_ClearRect must restore the draw mode";
}

TEST(Palette, ConvertsIntoTheSharedTableOrRefuses)
{
    screen::start();
    const GUI_ColorValue colors[3] = {0x000000, 0x0000FF, 0xFFFFFF};
    const GUI_PaletteRecord three = {3, 0, colors};
    const GUI_PaletteRecord tooMany = {257, 0, colors};
    const GUI_PaletteRecord noColors = {3, 0, nullptr};
    const LCD_PixelIndex* t = nullptr;
    const LCD_PixelIndex *big = nullptr, *none = nullptr, *null = nullptr;
    screen::run([&] {
        t = LCD_GetpPalConvTable(&three);
        big = LCD_GetpPalConvTable(&tooMany);
        none = LCD_GetpPalConvTable(&noColors);
        null = LCD_GetpPalConvTable(nullptr);
    });
    ASSERT_EQ(t, LCD__aConvTable);
    EXPECT_EQ(t[0], 0x0000u);
    EXPECT_EQ(t[1], 0xF800u);
    EXPECT_EQ(t[2], 0xFFFFu);
    EXPECT_EQ(big, nullptr) << "a palette of more than 256 colours has no table";
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(null, nullptr);
}

}  // namespace
