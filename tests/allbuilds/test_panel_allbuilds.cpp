// The panel of each build: the LCD controller as InitLCD programs it, the
// frame timing it gives, what the panel shows, the backlight, the status
// LED and the wait for a scan line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "app/KM_timer.h"
#include "app/command.h"
#include "board/KM_led.h"
#include "board/KM_visibility.h"
#include "board/MAC_panelTiming.h"
#include "board/lcd_driver.h"
#include "graphics/screen.h"

namespace {

using screen::H;
using screen::W;

// What each build's panel needs, worked out by hand from its timing.
struct PanelFacts {
    const char* build;
    uint32_t lhcr, lvcr;
    double frameMs;  // (W + hfp + hpw + hbp) (H + vfp + vpw + vbp) / 26 MHz
    uint32_t msPerFrame;
    uint8_t dutyAt255, dutyAt0, dutyAt128;
};

const PanelFacts kFacts[] = {
    {"velm5plus-wvga", 0xBC002725, 0x0C000D1D, 928.0 * 525 / 26000, 18, 0, 254, 127},
    {"velm5plus-wvga1", 0xBC002725, 0x0C000D1D, 928.0 * 525 / 26000, 18, 255, 13, 135},
    {"velm5plus-wvga-cap", 0xBC002725, 0x0C000D1D, 928.0 * 525 / 26000, 18, 255, 13, 135},
    {"velm5plus-svga", 0x04001F1D, 0x08000814, 866.0 * 630 / 26000, 20, 255, 13, 135},
    {"velm5plus-vga", 0x04001F1D, 0x08000808, 706.0 * 498 / 26000, 13, 255, 13, 135},
};

const PanelFacts& facts()
{
    for (const PanelFacts& f : kFacts)
        if (std::strcmp(f.build, VELM_BUILD_NAME) == 0)
            return f;
    ADD_FAILURE() << "no panel facts for " << VELM_BUILD_NAME;
    return kFacts[0];
}

sim::Board& board()
{
    return sim::Board::get();
}

// The inverter of this build's panel: on panels whose brightness end points
// run upward a low PWM output is bright.
void wire_backlight()
{
    board().lcdc.set_wiring({PANEL_MAX_BRITE > PANEL_MIN_BRITE, true});
}

// Makes sure the panel has gone through its start-up: power, the power-up
// wait, inverter off, signals to the controller, 200 ms.  When the
// firmware's own start-up has not done so, it is done here in its order.
void panel_started()
{
    if (board().lcdc.showing())
        return;
    screen::run([] {
        KM_Panel_Power(1);
        KM_Delay(PANEL_POWERUP_DELAY_MS);
        KM_External_Inverter_Off();
        LCD_sigs_active();
        KM_Delay(200);
    });
}

uint32_t lcdc(uint32_t off)
{
    return board().lcdc.reg(off);
}

TEST(PanelSize, DeviceClipAndClientRectangles)
{
    screen::start();
    GUI_Area dev{}, clip{}, client{};
    screen::run([&] {
        GUI_Context.pDeviceAPI->pfGetRect(&dev);
        GUI_SetClipRect(nullptr);
        clip = GUI_Context.ClipRect;
        GUI_GetClientRect(&client);
    });
    EXPECT_EQ(dev.x1, W - 1);
    EXPECT_EQ(dev.y1, H - 1);
    EXPECT_EQ(clip.x1, W - 1) << "GUI_SetClipRect(NULL) must give the whole " << W << " x " << H << " display";
    EXPECT_EQ(clip.y1, H - 1);
    EXPECT_EQ(client.x1, W) << "the client rectangle reports the width";
    EXPECT_EQ(client.y1, H);
    EXPECT_TRUE(screen::pixels_not(screen::kBlack).empty()) << "GUI_Init must leave the whole " << W << " x " << H
                                                            << " frame buffer black";
    EXPECT_EQ(LCD_WIDTH, W);
    EXPECT_EQ(LCD_HEIGHT, H);
    EXPECT_EQ(LCD_PIXELS, W * H);
    EXPECT_EQ(IMAGE_BPP, 16);
    EXPECT_EQ(vram, 0xC3E00000u);
}

TEST(Controller, RegistersAsInitLcdProgramsThem)
{
    sim::Board& b = screen::start();
    const PanelFacts& f = facts();
    EXPECT_EQ(lcdc(0x00), 0xC3E00000u) << "screen start address";
    EXPECT_EQ(lcdc(0x04), static_cast<uint32_t>(PANEL_LSR)) << "size register";
    EXPECT_EQ(lcdc(0x08), static_cast<uint32_t>(PANEL_LVPWR)) << "virtual page width in words";
    EXPECT_EQ(lcdc(0x18), 0xFAE80081u) << "panel configuration (shift clock bit 21 set by default)";
    EXPECT_EQ(lcdc(0x1C), f.lhcr) << "horizontal timing";
    EXPECT_EQ(lcdc(0x20), f.lvcr) << "vertical timing";
    EXPECT_EQ(lcdc(0x2C), 0x00A00100u) << "PWM contrast control with the PWM in use";
    EXPECT_EQ(lcdc(0x30), 0x0004000Cu) << "DMA control";
    EXPECT_EQ(lcdc(0x34), 0u) << "refresh mode control";
    EXPECT_EQ(b.crossbar.reg(0x300), 0x00543021u) << "crossbar priority of the SDRAM port";
    EXPECT_EQ((b.clock.reg(0x1C) >> 16) & 0x3F, 4u) << "LCD clock divider";
    EXPECT_EQ(b.gpio.level(sim::Gpio::PORT_B, 11), W == 320 ? 0 : 1) << "VQ pin";
    for (const std::string& r : b.machine.reports())
        EXPECT_EQ(r.find("LCDC"), std::string::npos) << "the controller model objected: " << r;
}

TEST(Controller, FrameFlagComesOncePerFrameOfTheProgrammedTiming)
{
    sim::Board& b = screen::start();
    panel_started();  // the flag comes only while the controller's clocks run
    const PanelFacts& f = facts();
    EXPECT_NEAR(b.lcdc.frame_time() / 1e6, f.frameMs, 1e-3) << "frame time in ms";
    EXPECT_EQ(msPerFrame, f.msPerFrame);
    EXPECT_NEAR(msPerLine * vtot, f.frameMs, 1e-3);
    const uint64_t before = b.lcdc.frames();
    b.machine.run_for(2 * sim::kSecond);
    const double expected = 2000.0 / f.frameMs;
    EXPECT_NEAR(static_cast<double>(b.lcdc.frames() - before), expected, 1.0) << "frames in 2 s";
    // The tick sees the flag and restarts its frame clock.
    uint32_t longest = 0;
    for (int i = 0; i < 200; ++i) {
        b.machine.run_for(sim::kMillisecond);
        longest = std::max(longest, static_cast<uint32_t>(frameTimer));
    }
    EXPECT_EQ(longest, f.msPerFrame) << "frameTimer must count up to the frame time and restart";
}

TEST(Controller, TimingFieldsOfFFTakeTheDefaultsAndOthersAreKept)
{
    screen::start();
    uint8_t hfp = 0, vbp = 0;
    screen::run([&] {
        eepromData.hfp = 0xFF;
        eepromData.vbp = 0xFF;
        eepromData.hbp = 50;
        InitLCD(W, H, 16);
        hfp = eepromData.hfp;
        vbp = eepromData.vbp;
    });
    EXPECT_EQ(hfp, PANEL_HFP) << "0xFF must be replaced by the build default and stored";
    EXPECT_EQ(vbp, PANEL_VBP);
    EXPECT_EQ(lcdc(0x1C) & 0xFF, 47u) << "a set back porch of 50 must be used as it is";
    EXPECT_EQ((lcdc(0x1C) >> 8) & 0xFF, static_cast<uint32_t>(PANEL_HFP - 1));
}

TEST(Controller, TimingValuesOutsideTheFieldsStayInTheirFields)
{
    screen::start();
    screen::run([] {
        eepromData.hpw = 0;
        eepromData.hbp = 1;
        eepromData.vpw = 200;
        setLCDtiming();
    });
    EXPECT_EQ(lcdc(0x1C) >> 26, 0u) << "a pulse width of 0 counts as 1";
    EXPECT_EQ(lcdc(0x1C) & 0xFF, 0u) << "a back porch below 3 counts as 3";
    EXPECT_EQ((lcdc(0x1C) >> 8) & 0xFF, static_cast<uint32_t>(PANEL_HFP - 1)) << "the front porch was overwritten";
    EXPECT_EQ(lcdc(0x20) >> 26, 63u) << "a vertical pulse beyond 63 lines is held at 63";
}

TEST(Panel, BlackUntilPoweredAndWhiteAfterTheStartScreen)
{
    sim::Board& b = fwtest::boot();
    wire_backlight();
    b.machine.run_for(sim::kMillisecond);
    EXPECT_FALSE(b.lcdc.panel_powered()) << "the panel must be off at power-on";
    for (uint32_t p : b.lcdc.picture().rgb)
        ASSERT_EQ(p, 0u) << "an unpowered panel shows black";
    b.machine.run_for((PANEL_POWERUP_DELAY_MS + 500) * sim::kMillisecond);
    if (!b.lcdc.showing()) {
        // The firmware's start-up does not run the panel yet: do it here in
        // the order start-up uses, and draw the start screen.
        screen::run([] {
            if (eepromData.magic == 0)
                KM_EEPROM_LoadAndFix();
            GUI_Init();
        });
        panel_started();
        EXPECT_EQ(b.lcdc.backlight(), 0) << "the backlight must stay dark until the first picture stands";
        screen::run([] {
            GUI_SetColor(0x000000);
            GUI_SetBkColor(0xFFFFFF);
            GUI_Clear();
            KM_Delay(16);
            KM_Visibility_Init();
        });
    }
    const sim::Lcdc::Picture p = b.lcdc.picture();
    ASSERT_EQ(p.width, W);
    ASSERT_EQ(p.height, H);
    // White but for the banner's lines of text at the top left.
    for (int y = 0; y < H; y += 7)
        for (int x = 0; x < W; x += 3)
            if (y >= 120 || x >= 400)
                ASSERT_EQ(p.at(x, y), 0xFFFFFFu) << "the start screen is cleared to white; pixel " << x << "," << y;
    EXPECT_EQ(b.lcdc.backlight(), 255) << "KM_Visibility_Init lights the backlight at the stored brightness";
}

TEST(Panel, ShowsTheFrameBufferAndGoesBlackWithoutPowerSignalsOrClocks)
{
    sim::Board& b = screen::start();
    panel_started();
    screen::run([] {
        GUI_SetColor(0x0000FF);
        GUI_DrawPixel(W - 1, H - 1);
        GUI_SetColor(0x00FF00);
        GUI_DrawPixel(3, 2);
    });
    sim::Lcdc::Picture p = b.lcdc.picture();
    EXPECT_EQ(p.at(W - 1, H - 1), 0xFF0000u) << "red pixel at the bottom right";
    EXPECT_EQ(p.at(3, 2), 0x00FF00u) << "green pixel";
    EXPECT_EQ(p.at(0, 0), 0u);

    struct Cut {
        const char* what;
        std::function<void()> off, on;
    };
    const Cut cuts[] = {
        {"panel power off", [] { KM_Panel_Power(0); }, [] { KM_Panel_Power(1); }},
        {"signal buffer disabled", [] { LCD_sigs_buf_ena(0); }, [] { LCD_sigs_buf_ena(1); }},
        {"controller clocks off", [] { setEnableLCDC(0); }, [] { setEnableLCDC(1); }},
        {"signals held low", [] { LCD_sigs_low(); }, [] { LCD_sigs_active(); }},
    };
    for (const Cut& c : cuts) {
        screen::run(c.off);
        p = b.lcdc.picture();
        EXPECT_EQ(p.at(W - 1, H - 1), 0u) << c.what << ": the panel must show black";
        screen::run(c.on);
        EXPECT_EQ(b.lcdc.picture().at(W - 1, H - 1), 0xFF0000u) << c.what << " and back: the picture returns";
    }
}

TEST(Backlight, DutyBytesOfTheBrightness)
{
    sim::Board& b = screen::start();
    wire_backlight();
    panel_started();
    const PanelFacts& f = facts();
    struct Case {
        int brite;
        uint8_t duty;
    };
    const Case cases[] = {{255, f.dutyAt255}, {0, f.dutyAt0}, {128, f.dutyAt128}};
    screen::run([] { KM_External_Inverter_On(); });
    for (const Case& c : cases) {
        screen::run([&] { KM_Brite_Set(c.brite); });
        EXPECT_EQ(b.lcdc.pwm_duty(), c.duty) << "duty byte for brightness " << c.brite;
        EXPECT_EQ(eepromData.brite, c.brite) << "KM_Brite_Set stores the brightness";
    }
    screen::run([] { KM_Brite_Set(255); });
    EXPECT_EQ(b.lcdc.backlight(), 255) << "full brightness must light the panel fully";
    screen::run([] { KM_Brite_Set(0); });
    EXPECT_GT(b.lcdc.backlight(), 0) << "brightness 0 is the dimmest setting, not off";
    EXPECT_LT(b.lcdc.backlight(), 20);
    screen::run([] {
        eepromData.maxBrite = eepromData.minBrite = 100;
    });
    for (int brite : {0, 128, 255}) {
        screen::run([&] { KM_Brite_Set(brite); });
        EXPECT_EQ(b.lcdc.pwm_duty(), 155) << "equal end points give 255 - maxBrite at brightness " << brite;
    }
}

TEST(Backlight, InverterOffDarkensAndVisibilityLightsOnlyOnce)
{
    sim::Board& b = screen::start();
    wire_backlight();
    panel_started();
    // Whether or not start-up has made its first call already, the light is
    // on after this.
    screen::run([] {
        KM_Visibility_Init();
        KM_External_Inverter_On();
    });
    EXPECT_EQ(b.lcdc.backlight(), 255);
    screen::run([] { KM_External_Inverter_Off(); });
    EXPECT_EQ(b.lcdc.backlight(), 0) << "KM_External_Inverter_Off must darken the backlight";
    EXPECT_FALSE(b.lcdc.inverter_enabled());
    screen::run([] { KM_Visibility_Init(); });
    EXPECT_EQ(b.lcdc.backlight(), 0) << "KM_Visibility_Init acts on its first call only";
    screen::run([] { KM_External_Inverter_On(); });
    EXPECT_EQ(b.lcdc.backlight(), 255);
    EXPECT_EQ(b.gpio.level(sim::Gpio::PORT_B, 21), 1) << "the inverter enable is high by default";
    screen::run([] {
        eepromData.invEnaHiTrue = 1;
        KM_External_Inverter_On();
    });
    EXPECT_EQ(b.gpio.level(sim::Gpio::PORT_B, 21), 0) << "invEnaHiTrue turns the enable pin's polarity";
}

TEST(Backlight, PwmClockSource)
{
    screen::start();
    screen::run([] { setLCDpwmClock(); });
    EXPECT_EQ(lcdc(0x2C) & 0x600, 0u) << "with the PWM in use its clock bits are cleared";
    screen::run([] {
        eepromData.pwmIsEnable = 0;
        setLCDpwmClock();
    });
    EXPECT_EQ(lcdc(0x2C) & 0x600, 0x200u) << "without the PWM bit 9 is set";
}

// Times (virtual ms) at which the status LED changed during the next span.
std::vector<double> led_changes(sim::Board& b, sim::Time span)
{
    std::vector<double> t;
    const sim::Time end = b.machine.now() + span;
    bool lit = b.status_led();
    while (b.machine.run_until([&] { return b.status_led() != lit; }, end)) {
        lit = b.status_led();
        t.push_back(static_cast<double>(b.machine.now()) / sim::kMillisecond);
    }
    return t;
}

TEST(StatusLed, FlashesWithTheGivenPeriodAndStopsDark)
{
    sim::Board& b = screen::start();
    screen::run([] { FlashLed(40); });
    const std::vector<double> t = led_changes(b, 500 * sim::kMillisecond);
    ASSERT_GE(t.size(), 10u) << "FlashLed(40) must toggle the LED about every 40 ms";
    for (size_t i = 1; i < t.size(); ++i)
        EXPECT_NEAR(t[i] - t[i - 1], 40.0, 1.0) << "toggle " << i << " of FlashLed(40)";
    screen::run([] { FlashLed(0); });
    EXPECT_FALSE(b.status_led()) << "FlashLed(0) must leave the LED dark";
    EXPECT_TRUE(led_changes(b, 200 * sim::kMillisecond).empty()) << "the LED went on flashing after FlashLed(0)";
}

// wvr returns while the controller is in the quarter frame after the line's
// scan time (blanking lines first, then the rows), to the tick's 1 ms.
TEST(ScanLine, WaitEndsShortlyAfterTheLineIsScanned)
{
    sim::Board& b = screen::start();
    panel_started();
    const double lineMs = (W + PANEL_HFP + PANEL_HPW + PANEL_HBP) / 26000.0;
    const double frameMs = facts().frameMs;
    struct Case {
        int line, as;  // a line beyond the panel waits for the last line
    };
    const Case cases[] = {{0, 0}, {100, 100}, {H / 2, H / 2}, {H - 1, H - 1}, {H + 50, H - 1}, {5000, H - 1}};
    for (const Case& c : cases)
        for (int rep = 0; rep < 5; ++rep) {
            b.machine.run_for((3 + 7 * rep) * sim::kMillisecond);
            sim::Time t0 = 0, t1 = 0;
            screen::run([&] {
                t0 = b.machine.now();
                wvr(c.line);
                t1 = b.machine.now();
            });
            const double scan = (PANEL_VFP + PANEL_VPW + 1 + PANEL_VBP + c.as) * lineMs;
            double phase = static_cast<double>(b.lcdc.frame_phase()) / sim::kMillisecond;
            // Just past the frame flag counts as the end of the last frame.
            if (phase < scan - frameMs / 2)
                phase += frameMs;
            EXPECT_GE(phase, scan - 1.0) << "wvr(" << c.line << ") returned before the line was scanned";
            EXPECT_LE(phase, scan + frameMs / 4 + 3.0) << "wvr(" << c.line << ") returned too late";
            EXPECT_LE(static_cast<double>(t1 - t0) / sim::kMillisecond, 2 * frameMs + 1)
                << "wvr(" << c.line << ") waited longer than its time-out";
        }
}

TEST(ScanLine, WrfCountsFromTheDrawingOrigin)
{
    sim::Board& b = screen::start();
    panel_started();
    const double lineMs = (W + PANEL_HFP + PANEL_HPW + PANEL_HBP) / 26000.0;
    screen::run([&] {
        Origin_Y = 200;
        wrf(0, 10);
        Origin_Y = 0;
    });
    const double scan = (PANEL_VFP + PANEL_VPW + 1 + PANEL_VBP + 210) * lineMs;
    const double phase = static_cast<double>(b.lcdc.frame_phase()) / sim::kMillisecond;
    EXPECT_GE(phase, scan - 1.0) << "wrf(0, 10) with origin y 200 must wait for line 210";
    EXPECT_LE(phase, scan + facts().frameMs / 4 + 3.0);
}

}  // namespace
