// Touch input as a person and a host see it: a finger on the panel (through
// the converter models on CSPI2), the sampler's timing, the hotspot reports
// with auto-repeat, the touch commands, and the calibration.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/KM_macros.h"
#include "app/KM_touch.h"
#include "app/Main.h"
#include "storage/KM_eeprom.h"
#include "support/host.h"
#include "support/image_builder.h"

namespace {

using fwtest::command;
using fwtest::visible;
using sim::kMillisecond;
using sim::kSecond;
using sim::Time;

void finger(int x, int y, bool down = true)
{
    sim::Board::get().finger = {x, y, down};
}

void lift()
{
    sim::Board::get().finger.down = false;
}

struct Line {
    Time time;  // when its first character went out
    std::string text;
};

// The lines UART1 sent after index from, each with its start time.
std::vector<Line> lines_since(size_t from)
{
    std::vector<Line> out;
    const auto& sent = sim::Board::get().uart1.sent;
    std::string cur;
    Time start = 0;
    for (size_t i = from; i < sent.size(); ++i) {
        if (cur.empty())
            start = sent[i].time;
        if (sent[i].byte == '\r') {
            out.push_back({start, cur});
            cur.clear();
        } else {
            cur += static_cast<char>(sent[i].byte);
        }
    }
    return out;
}

std::string joined(const std::vector<Line>& lines)
{
    std::string s;
    for (const Line& l : lines)
        s += l.text + "|";
    return s;
}

TouchState state_now()
{
    TouchState s;
    s.x = State.x;
    s.y = State.y;
    s.pressed = State.pressed;
    return s;
}

// ---------------------------------------------------------------- sampling

TEST(TouchSampling, FirstPointOnTheNinthTickWithRawValuesOfThePanel)
{
    sim::Board& b = fwtest::boot_to_prompt();
    int cx, cy;
    b.touch.panel.raw_at(200, 100, &cx, &cy);
    finger(200, 100);
    Time down = b.machine.now();
    b.machine.run_until([] { return State.pressed != 0; }, down + 100 * kMillisecond);
    Time published = b.machine.now();
    ASSERT_TRUE(State.pressed) << "a finger resting on the panel for 100 ms published no touch point";
    // One Idle tick sees the pen, Start takes the first of eight samples.
    EXPECT_GE(published - down, 7 * kMillisecond) << "the point came before a whole set was measured";
    EXPECT_LE(published - down, 10 * kMillisecond) << "the first point came later than the 9th tick";
    TouchState s = state_now();
    EXPECT_EQ(s.x, cy) << "the x of the touch state is not the converter's Y channel";
    EXPECT_EQ(s.y, cx) << "the y of the touch state is not the converter's X channel";
    lift();
    b.machine.run_for(200 * kMillisecond);
    s = state_now();
    EXPECT_EQ(s.pressed, 0) << "lifting the finger left the panel pressed";
    EXPECT_EQ(s.x, -1);
    EXPECT_EQ(s.y, -1);
    EXPECT_EQ((command("*ever")), "touched\r>\r") << "the pen-down flag was not kept";
    EXPECT_EQ((command("*ever")), ">\r") << "*ever did not clear the pen-down flag";
}

TEST(TouchSampling, JitteringFingerNeverPublishes)
{
    sim::Board& b = fwtest::boot_to_prompt();
    b.touch.panel.noise = 4;
    finger(400, 240);
    b.machine.run_for(300 * kMillisecond);
    EXPECT_EQ(State.pressed, 0) << "a finger jittering by 8 raw counts published a point";
    b.touch.panel.noise = 0;
    b.machine.run_for(300 * kMillisecond);
    EXPECT_EQ(State.pressed, 1) << "a steady finger after the jitter published nothing";
}

TEST(TouchSampling, AFirmPressWithZ2BelowZ1IsInsideThePressureWindow)
{
    sim::Board& b = fwtest::boot_to_prompt();
    ASSERT_EQ(command("*touchMode P"), ">\r");
    ASSERT_EQ(command("*tplo 0"), ">\r");
    b.touch.panel.resistance = -10;  // Z2 reads a little below Z1
    finger(400, 240);
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(State.pressed, 1) << "the pressure of a press with Z2 below Z1 wrapped out of the window";
    lift();
    b.machine.run_for(200 * kMillisecond);
    b.touch.panel.resistance = 3000;  // a touch too light for the window
    finger(400, 240);
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(State.pressed, 0) << "a press above the window's top was published";
}

TEST(TouchSampling, Sx8652OnPlusEBoards)
{
    fwtest::BootOptions o;
    o.straps = sim::Straps::E;
    sim::Board& b = fwtest::boot_to_prompt(o);
    EXPECT_TRUE(b.touch.sx8652.pen_triggered()) << "the firmware did not start the SX8652's pen-triggered mode";
    EXPECT_EQ(b.touch.sx8652.reg(sim::Sx8652::kChanMask), 0xF0) << "channels X, Y, Z1, Z2 not enabled";
    int cx, cy;
    b.touch.panel.raw_at(600, 300, &cx, &cy);
    finger(600, 300);
    b.machine.run_for(50 * kMillisecond);
    TouchState s = state_now();
    EXPECT_EQ(s.pressed, 1) << "a finger on a plus-E board's panel published nothing";
    EXPECT_EQ(s.x, cy);
    EXPECT_EQ(s.y, cx);
    EXPECT_EQ(b.touch.tsc2046.conversions(), 0u) << "the TSC2046 was driven on a board that carries the SX8652";
}


TEST(TouchSampling, LockAndReleaseOnMoveOptions)
{
    sim::Board& b = fwtest::boot_to_prompt();
    ASSERT_EQ(command("*touchMode LW"), ">\r");
    finger(300, 200);
    b.machine.run_for(50 * kMillisecond);
    TouchState first = state_now();
    ASSERT_EQ(first.pressed, 1) << "no point with options L and W";
    finger(310, 205);  // a few pixels: fewer than 30 raw counts
    b.machine.run_for(300 * kMillisecond);
    TouchState s = state_now();
    EXPECT_EQ(s.x, first.x) << "option L published a later point";
    EXPECT_EQ(s.pressed, 1);
    finger(360, 260);  // more than 30 raw counts away from the locked point
    b.machine.run_for(300 * kMillisecond);
    EXPECT_EQ(State.pressed, 0) << "option W did not release a touch that moved away";
    finger(300, 200);
    b.machine.run_for(300 * kMillisecond);
    EXPECT_EQ(State.pressed, 0) << "option L published again before the pen lifted";
    lift();
    b.machine.run_for(200 * kMillisecond);
    finger(300, 200);
    b.machine.run_for(50 * kMillisecond);
    EXPECT_EQ(State.pressed, 1) << "no point after the pen lifted and came down again";
}

TEST(TouchSampling, TraceTestAndBoardTemperature)
{
    sim::Board& b = fwtest::boot_to_prompt();
    b.touch.tsc2046.celsius = 28.0;
    int tenths = 0;
    fwtest::on_firmware([&] { tenths = readTemp(); });
    // One count of the difference is about 1.6 degrees.
    EXPECT_NEAR(tenths, 280, 8) << "the TSC2046's temperature inputs read wrong";
    int cx, cy;
    b.touch.panel.raw_at(250, 250, &cx, &cy);
    finger(250, 250);
    std::string out = command("*ttt");
    char expect[32];
    std::snprintf(expect, sizeof expect, "t %3d %3d ", cx, cy);
    EXPECT_EQ(out.substr(0, 12), "t   1   1 1\r") << "the trace does not start with its marker: " << visible(out);
    EXPECT_NE(out.find(expect), std::string::npos) << "no trace line of the finger's raw point: " << visible(out);
    EXPECT_NE(out.find("t   2   2 2\r"), std::string::npos) << visible(out);
    EXPECT_EQ(out.substr(out.size() - 2), ">\r");
    EXPECT_EQ(command("*tt"), ">\r") << "the trace was not emptied by showing it";
    lift();
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(visible(command("*ttt", 10 * kSecond)), "!\\r") << "*ttt without a finger must give up";
    finger(250, 250);
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(State.pressed, 1) << "the sampler stayed off after *ttt gave up";
}

TEST(TouchSampling, TemperatureOfPlusEBoardsFromTheSensor)
{
    fwtest::BootOptions o;
    o.straps = sim::Straps::E;
    sim::Board& b = fwtest::boot_to_prompt(o);
    b.temp_sensor.set_celsius(-12.5);
    int tenths = 0;
    fwtest::on_firmware([&] { tenths = readTemp(); });
    EXPECT_NEAR(tenths, -125, 2) << "a plus-E board's temperature sensor reads wrong";
}

// ---------------------------------------------------------------- hotspots

TEST(Hotspots, PressDragAndReleaseReportInOrder)
{
    sim::Board& b = fwtest::boot_to_prompt();
    for (const char* line : {"xs 130 100 100 199 199", "xset 130 r", "xs 131 300 100 399 199", "xset 131 +r",
                             "xs 132 100 100 399 199"})
        ASSERT_EQ((command(line)), ">\r") << line;
    size_t from = b.uart1.sent.size();
    finger(150, 150);
    Time down = b.machine.now();
    b.machine.run_for(100 * kMillisecond);
    finger(250, 150);  // between the two, where only 132 lies
    b.machine.run_for(300 * kMillisecond);
    finger(350, 150);
    Time entered = b.machine.now();
    b.machine.run_for(300 * kMillisecond);
    finger(600, 400);  // empty screen: 131 stays pressed
    b.machine.run_for(300 * kMillisecond);
    lift();
    Time lifted = b.machine.now();
    b.machine.run_for(200 * kMillisecond);
    std::vector<Line> l = lines_since(from);
    // 132 reports no release: its release report is off.
    ASSERT_EQ(joined(l), "x130|r130|x132|x131|r131|")
        << "pressing 130, sliding over 132 to 131, off the hotspots and lifting";
    EXPECT_LT(l[0].time - down, 15 * kMillisecond) << "the press report came late";
    EXPECT_GE(l[3].time, entered);
    EXPECT_LT(l[3].time - entered, 125 * kMillisecond) << "entering 131 was reported late";
    EXPECT_GE(l[4].time, lifted) << "131 was released before the finger lifted";
    // The panel counts as free once the sampler's hold-off (debounce 100 ms)
    // has run out with the pen up.
    EXPECT_LT(l[4].time - lifted, 105 * kMillisecond) << "the lift was reported late";
}

TEST(Hotspots, ReportsWithCoordinatesAndSwitchedOffPresses)
{
    sim::Board& b = fwtest::boot_to_prompt();
    ASSERT_EQ((command("o 10 20")), ">\r");
    ASSERT_EQ((command("xxy 140 100 100 199 199")), ">\r");
    ASSERT_EQ((command("xs 141 300 100 399 199")), ">\r");
    ASSERT_EQ((command("xset 141 -p")), ">\r");
    size_t from = b.uart1.sent.size();
    finger(160, 170);
    b.machine.run_for(100 * kMillisecond);
    lift();
    b.machine.run_for(100 * kMillisecond);
    finger(350, 150);
    b.machine.run_for(100 * kMillisecond);
    lift();
    b.machine.run_for(100 * kMillisecond);
    std::string got = joined(lines_since(from));
    // The hotspot lies at 110..209, 120..219: the finger is at about 50, 50 in it.
    int dx = -1, dy = -1, n = -1;
    ASSERT_EQ(std::sscanf(got.c_str(), "x%d %d %d|", &n, &dx, &dy), 3) << visible(got);
    EXPECT_EQ(n, 140);
    EXPECT_NEAR(dx, 50, 2) << "press coordinates are not relative to the hotspot corner";
    EXPECT_NEAR(dy, 50, 2);
    EXPECT_EQ(got.find("141"), std::string::npos) << "a hotspot with press reports off reported: " << visible(got);
}

TEST(Hotspots, AutoRepeatDelayThenRepeats)
{
    sim::Board& b = fwtest::boot_to_prompt();
    ASSERT_EQ((command("typematic 75 20")), "Delay 750ms, Repeat 200ms\r>\r");
    ASSERT_EQ((command("xst 150 0 0 99 99")), ">\r");
    ASSERT_EQ((command("xset 150 r")), ">\r");
    size_t from = b.uart1.sent.size();
    finger(50, 50);
    b.machine.run_for(1300 * kMillisecond);
    lift();
    b.machine.run_for(100 * kMillisecond);
    std::vector<Line> l = lines_since(from);
    ASSERT_EQ(joined(l), "x150|r150|x150|r150|x150|r150|x150|r150|")
        << "holding an auto-repeat hotspot 1.3 s with delay 750 ms and repeat 200 ms";
    const Time press = l[0].time;
    struct Case {
        size_t line;
        Time after;
    };
    for (Case c : {Case{1, 750 * kMillisecond}, Case{3, 950 * kMillisecond}, Case{5, 1150 * kMillisecond}}) {
        Time at = l[c.line].time - press;
        EXPECT_NEAR(static_cast<double>(at), static_cast<double>(c.after), 3.0 * kMillisecond)
            << "repeat release " << c.line << " came at " << at / kMillisecond << " ms after the press";
        EXPECT_LT(l[c.line + 1].time - l[c.line].time, 3 * kMillisecond)
            << "the re-press did not follow its release at once";
    }
}

TEST(Hotspots, DefinedUnderARestingFingerPressesOnlyAfterLeaving)
{
    sim::Board& b = fwtest::boot_to_prompt();
    finger(50, 50);
    b.machine.run_for(50 * kMillisecond);
    ASSERT_EQ((command("xs 160 0 0 99 99")), ">\r");
    size_t from = b.uart1.sent.size();
    b.machine.run_for(300 * kMillisecond);
    EXPECT_EQ(joined(lines_since(from)), "") << "a hotspot defined under the finger reported a press";
    lift();
    b.machine.run_for(100 * kMillisecond);
    finger(60, 60);
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(joined(lines_since(from)), "x160|") << "touching again after lifting gave no press";
}

TEST(Hotspots, SimulatedTouches)
{
    sim::Board& b = fwtest::boot_to_prompt();
    ASSERT_EQ((command("xs 170 0 0 99 99")), ">\r");
    ASSERT_EQ((command("xset 170 r")), ">\r");
    size_t from = b.uart1.sent.size();
    EXPECT_EQ((command("*tsmm 10 10")), "x170\r>\r") << "a simulated tap";
    b.machine.run_for(10 * kMillisecond);
    EXPECT_EQ(joined(lines_since(from)), "x170|>|r170|");
    EXPECT_EQ((command("*tsmr")), "!\r") << "lifting with nothing held";
    EXPECT_EQ(command("*tsmp 20 20"), ">\r");
    b.machine.run_for(10 * kMillisecond);  // the main loop presses 170
    EXPECT_EQ(command("*tsmm 20 20"), "!\r") << "a tap while a simulated touch is held";
    EXPECT_EQ(command("*tsmr"), ">\r");
    b.machine.run_for(10 * kMillisecond);
    EXPECT_EQ((command("*tsmq")), "!\r");
    // After the first simulated touch the panel is not consulted.
    from = b.uart1.sent.size();
    finger(50, 50);
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(joined(lines_since(from)), "") << "the real panel was read after a simulated touch";
}


// Hotspots, simulated touches, built-in buttons and charts are placed in
// 16-bit coordinates, origin added: a place beyond +-16383 is refused with
// "!" (a chart, which must lie on the screen, says so), with no overflow on
// the way, and a refused hotspot keeps the one it would have replaced.
TEST(Hotspots, PlacesBeyondTheCoordinatesRoomAreRefused)
{
    sim::Board& b = fwtest::boot_to_prompt();
    ASSERT_EQ(command("o 100 100"), ">\r");
    ASSERT_EQ(command("xs 170 0 0 99 99"), ">\r");
    const char* refused[] = {
        "xs 170 2147483647 0 2147483647 99",
        "xxy 170 0 -2147483648 99 99",
        "xs 171 16284 0 16300 99",
        "*tsmm 2147483647 10",
        "*tsmp 10 2147483647",
        "i 1 2147483647 10",
    };
    for (const char* line : refused)
        EXPECT_EQ(visible(command(line)), visible("!\r")) << line;
    for (const char* line : {"cd 0 2147483647 100 199 199 0 10 0 100 000 1 F00",
                             "cd 0 100 100 199 2147483647 0 10 0 100 000 1 F00"})
        EXPECT_EQ(visible(command(line)), visible(":area outside the screen\r!\r")) << line;
    // 170 still stands where it was: a tap at its corner, (100, 100) on the
    // panel.
    size_t from = b.uart1.sent.size();
    EXPECT_EQ(command("*tsmm 0 0"), "x170\r>\r");
    b.machine.run_for(10 * kMillisecond);
    EXPECT_EQ(joined(lines_since(from)), "x170|>|");
    EXPECT_EQ(command("xs 171 16183 0 16283 99"), ">\r") << "the room's edge";
    ASSERT_EQ(command("o 0 0"), ">\r");
}

TEST(Hotspots, SlidingBetweenRepeatingHotspotsWaitsTheDelayInEach)
{
    sim::Board& b = fwtest::boot_to_prompt();
    ASSERT_EQ(command("typematic 50 20"), "Delay 500ms, Repeat 200ms\r>\r");
    ASSERT_EQ(command("xst 150 0 0 99 99"), ">\r");
    ASSERT_EQ(command("xst 151 100 0 199 99"), ">\r");
    size_t from = b.uart1.sent.size();
    finger(50, 50);
    b.machine.run_for(300 * kMillisecond);
    finger(150, 50);
    Time entered = b.machine.now();
    b.machine.run_for(400 * kMillisecond);
    std::vector<Line> l = lines_since(from);
    ASSERT_EQ(joined(l), "x150|x151|") << "151 repeated before its delay after sliding in from 150";
    EXPECT_LT(l[1].time - entered, 125 * kMillisecond);
}


TEST(Hotspots, BinaryReports)
{
    sim::Board& b = fwtest::boot_to_prompt();
    ASSERT_EQ(command("xxy 180 100 100 199 199"), ">\r");
    ASSERT_EQ(command("xs 181 300 100 399 199"), ">\r");
    ASSERT_EQ(command("xset 181 r"), ">\r");
    fwtest::on_firmware([] { binaryResponses = 1; });
    size_t from = b.uart1.sent.size();
    finger(110, 120);
    b.machine.run_for(100 * kMillisecond);
    finger(350, 150);
    b.machine.run_for(100 * kMillisecond);
    lift();
    b.machine.run_for(200 * kMillisecond);
    std::string got = b.uart1.sent_text(from);
    ASSERT_EQ(got.size(), 10u) << "binary reports: " << visible(got);
    EXPECT_EQ(got.substr(0, 2), std::string("Y\xB4")) << "press with coordinates";
    int dx = static_cast<uint8_t>(got[2]) | static_cast<uint8_t>(got[3]) << 8;
    int dy = static_cast<uint8_t>(got[4]) | static_cast<uint8_t>(got[5]) << 8;
    EXPECT_NEAR(dx, 10, 2) << "x offset, low byte first";
    EXPECT_NEAR(dy, 20, 2) << "y offset, low byte first";
    EXPECT_EQ(got.substr(6), std::string("X\xB5R\xB5")) << "press and release of 181";
}

TEST(Hotspots, PressAndReleaseMacros)
{
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image({}, {{1, "pressed", {"set i1 7"}}, {2, "released", {"set i2 9"}}});
    sim::Board& b = fwtest::boot_to_prompt(o);
    ASSERT_EQ(command("xs 190 0 0 99 99"), ">\r");
    ASSERT_EQ(command("xmq 190 pressed released"), ">\r");
    ASSERT_EQ(command("xm 190 nosuch"), ":Macro name not found\r!\r") << "a macro that does not exist was bound";
    size_t from = b.uart1.sent.size();
    finger(50, 50);
    b.machine.run_for(100 * kMillisecond);
    int i1 = 0, i2 = 0;
    fwtest::on_firmware([&] { i1 = getMacro_iMem(1); i2 = getMacro_iMem(2); });
    EXPECT_EQ(i1, 7) << "the press macro did not run";
    EXPECT_EQ(i2, 0) << "the release macro ran on the press";
    lift();
    b.machine.run_for(200 * kMillisecond);
    fwtest::on_firmware([&] { i2 = getMacro_iMem(2); });
    EXPECT_EQ(i2, 9) << "the release macro did not run";
    EXPECT_EQ(b.uart1.sent_text(from).find("x190"), std::string::npos) << "xmq left the reports on";
}


TEST(Hotspots, XorHotspotIsInvertedWhilePressed)
{
    sim::Board& b = fwtest::boot_to_prompt();
    ASSERT_EQ(command("x 200 300 300 349 349"), ">\r");
    uint32_t before = b.lcdc.picture().at(320, 320);
    finger(310, 310);
    b.machine.run_for(100 * kMillisecond);
    uint32_t pressed = b.lcdc.picture().at(320, 320);
    EXPECT_EQ(pressed, before ^ 0xFFFFFFu) << "the pressed rectangle is not shown inverted";
    EXPECT_EQ(b.lcdc.picture().at(360, 320), before) << "the inversion spilled outside the rectangle";
    lift();
    b.machine.run_for(200 * kMillisecond);
    EXPECT_EQ(b.lcdc.picture().at(320, 320), before) << "the released rectangle stayed inverted";
}


int brightness(uint32_t rgb)
{
    return static_cast<int>((rgb >> 16) & 0xFF) + static_cast<int>((rgb >> 8) & 0xFF) + static_cast<int>(rgb & 0xFF);
}

TEST(Buttons, MomentaryAndToggleButtons)
{
    sim::Board& b = fwtest::boot_to_prompt();
    ASSERT_EQ(command("bd 5 100 100 0 \"OK\""), ">\r");
    ASSERT_EQ(command("bd 6 300 100 1 \"On\" \"Off\""), ">\r");
    uint32_t up = b.lcdc.picture().at(100, 100);
    size_t from = b.uart1.sent.size();
    finger(120, 110);
    b.machine.run_for(100 * kMillisecond);
    EXPECT_LT(brightness(b.lcdc.picture().at(100, 100)), brightness(up))
        << "a pressed button's top edge is not drawn sunken";
    lift();
    b.machine.run_for(200 * kMillisecond);
    EXPECT_EQ(b.lcdc.picture().at(100, 100), up) << "a released button is not drawn raised again";
    for (int i = 0; i < 2; ++i) {
        finger(320, 110);
        b.machine.run_for(100 * kMillisecond);
        lift();
        b.machine.run_for(200 * kMillisecond);
    }
    EXPECT_EQ(joined(lines_since(from)), "x5|r5|s6 1|s6 0|") << "momentary press and release, two toggles";
    EXPECT_EQ(command("ssb 6"), "0\r>\r");
    EXPECT_EQ(command("ssb 6 1"), ">\r");
    EXPECT_EQ(command("ssb 6"), "1\r>\r");
    EXPECT_EQ(command("ssb 5"), ":index outside valid range\r!\r") << "a momentary button has no state";
    EXPECT_EQ(command("bc 6"), ">\r");
    EXPECT_EQ(command("bc 6"), ":index outside valid range\r!\r") << "a removed button was removed again";
    EXPECT_EQ(command("xset 5 x"), "!\r") << "press coordinates were switched on for a button";
    // Disabling all and enabling all: the button works again, free slots stay free.
    EXPECT_EQ(command("xd all"), ">\r");
    from = b.uart1.sent.size();
    finger(120, 110);
    b.machine.run_for(100 * kMillisecond);
    lift();
    b.machine.run_for(200 * kMillisecond);
    EXPECT_EQ(joined(lines_since(from)), "") << "a disabled button reported";
    EXPECT_EQ(command("xe all"), ">\r");
    EXPECT_EQ(command("xset 6 p"), "!\r") << "enabling all filled a free slot";
    from = b.uart1.sent.size();
    finger(120, 110);
    b.machine.run_for(100 * kMillisecond);
    lift();
    b.machine.run_for(200 * kMillisecond);
    EXPECT_EQ(joined(lines_since(from)), "x5|r5|") << "a re-enabled button stayed silent";
}

TEST(Buttons, DefinitionErrors)
{
    fwtest::boot_to_prompt();
    struct Case {
        const char* line;
        const char* reply;
    };
    const Case cases[] = {
        {"bd 128 0 0 0 \"x\"", ":index outside valid range\r!\r"},
        {"bd 5 0 0 3 \"x\"", ": invalid <type>\r!\r"},
        {"bd 5 0 0 0", ": missing text argument(s)\r!\r"},
        {"bdc 5 0 0 0 1", ": missing argument(s)\r!\r"},
        {"i 3 0 0", ": invalid <type>\r!\r"},
        {"i 1 10 10", ">\r"},
        {"i 2 100 10", ">\r"},
    };
    sim::Board& b = sim::Board::get();
    for (const Case& c : cases) {
        // ": invalid <type>" itself ends in ">" and CR: the whole answer is
        // collected, not only up to the first prompt-like ending.
        size_t from = b.uart1.sent.size();
        command(c.line);
        b.machine.run_for(20 * kMillisecond);
        EXPECT_EQ(b.uart1.sent_text(from), c.reply) << "the host sent \"" << c.line << "\"";
    }
}

// ---------------------------------------------------------------- commands

TEST(TouchCommands, RepliesAndSettings)
{
    fwtest::boot_to_prompt();
    struct Case {
        const char* line;
        const char* reply;
    };
    const Case cases[] = {
        {"*touchParm", ":Samples = 8, Max span = 12\r>\r"},
        {"*touchParm 21 5", ":Values too high\r!\r"},
        {"*touchParm -1 5", "!\r"},
        {"*touchParm 5 -3", "!\r"},
        {"*touchParm", ":Samples = 8, Max span = 12\r>\r"},
        {"*touchParm 6 10", ":Samples = 6, Max span = 10\r>\r"},
        {"*tsamp", "6\r>\r"},
        {"*tspan", "10\r>\r"},
        {"*debounce", "Debounce = 100ms\r>\r"},
        {"*debounce 50", "Debounce = 50ms\r>\r"},
        {"*tplo 300", ">\r"},
        {"*tplo", "300\r>\r"},
        {"*tphi", "700\r>\r"},
        {"*tpDeltaLim", "10\r>\r"},
        {"*tcTimeout", "10\r>\r"},
        {"*touchMode", "S--- (0)\r>\r"},
        {"*touchMode PW", ">\r"},
        {"*touchMode", "--PW (6)\r>\r"},
        {"*touchMode SP", ">\r"},
        {"*touchMode", "S--- (0)\r>\r"},
        {"*touchMode 1", ">\r"},
        {"*touchMode", "-L-- (1)\r>\r"},
        {"*touchSwap", "0\r>\r"},
        {"*touchSwap 7", ">\r"},
        {"*touchSwap", "1\r>\r"},
        {"*autoCal", "0\r>\r"},
        {"*autoCal 1", ">\r"},
        {"*autoCal", "1\r>\r"},
        {"*debugTouch 1", ">\r"},
        {"typematic", "Delay 750ms, Repeat 200ms\r>\r"},
        {"typematics 10 5", "Delay 100ms, Repeat 50ms\r>\r"},
        {"touch", "touch on\r>\r"},
        {"touch off", ">\r"},
        {"touch", "touch off\r>\r"},
        {"touch on", ">\r"},
        {"xc 5", ":touch index must be 128 to 255\r!\r"},
        {"xc 130", ">\r"},
        {"x 5 0 0 10 10", "!\r"},
        {"xset 130 p", "!\r"},
        {"xs 130 0 0 10 10", ">\r"},
        {"xset 130 p", ">\r"},
        {"xset 130 -q", "!\r"},
        {"xset 130 *p", "!\r"},
        {"xd 130", ">\r"},
        {"xd 300", "!\r"},
        {"xe all", ">\r"},
        {"xm 130 nosuchmacro", ":No macros loaded\r!\r"},
        {"xm 12 0", "!\r"},
        {"xc all", ">\r"},
        {"tclr", ">\r"},
        {"*tt", ">\r"},
        {"*RT", ">\r"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(command(c.line), c.reply) << "the host sent \"" << c.line << "\"";
    // Saved settings are in the record the EEPROM holds.
    fwtest::on_firmware([] { KM_EEPROM_LoadAndFix(); });
    EXPECT_EQ(eepromData.tsamp, 6) << "*touchParm was not saved";
    EXPECT_EQ(eepromData.tplo, 300) << "*tplo was not saved";
    EXPECT_EQ(eepromData.touchMode, 1) << "*touchMode was not saved";
    EXPECT_EQ(eepromData.typematicDelay, 75) << "typematics saved its values";
}

TEST(TouchCommands, UnsavedTouchModeAndRawReadOut)
{
    sim::Board& b = fwtest::boot_to_prompt();
    EXPECT_EQ((command("*touchModes 4")), ">\r");
    EXPECT_EQ((command("*touchMode")), "---W (4)\r>\r");
    fwtest::on_firmware([] { KM_EEPROM_LoadAndFix(); });
    EXPECT_EQ(eepromData.touchMode, 0) << "the s-suffixed *touchMode saved its value";
    int cx, cy;
    b.touch.panel.raw_at(123, 321, &cx, &cy);
    finger(123, 321);
    b.machine.run_for(5 * kMillisecond);
    EXPECT_EQ((command("*getTouch")), "X=" + std::to_string(cx) + ", Y=" + std::to_string(cy) + "\r>\r")
        << "the raw read-out does not show the converter's channels";
}

// ---------------------------------------------------------------- calibration

TEST(TouchCalibration, DefaultsMapRawToScreen)
{
    fwtest::boot_to_prompt();
    struct Case {
        int px, py, x, y;
    };
    const Case cases[] = {
        {850, 150, 20, 20}, {150, 150, 779, 20}, {150, 850, 779, 459}, {850, 850, 20, 459}, {500, 500, 399, 239},
    };
    for (const Case& c : cases) {
        int x = 0, y = 0;
        fwtest::on_firmware([&] {
            x = ADC2X(c.px, c.py);
            y = ADC2Y(c.px, c.py);
        });
        EXPECT_NEAR(x, c.x, 1) << "raw " << c.px << "," << c.py << " maps to screen x " << x;
        EXPECT_NEAR(y, c.y, 1) << "raw " << c.px << "," << c.py << " maps to screen y " << y;
    }
    // Two equal corner readings: a zero divisor still gives a finite point.
    int x = 0, y = 0;
    fwtest::on_firmware([&] {
        const int16_t lx[5] = {399, 20, 779, 779, 20}, ly[5] = {239, 20, 20, 459, 459};
        const int16_t px[5] = {500, 850, 850, 150, 850}, py[5] = {500, 150, 150, 850, 850};
        KM_Touch_Calibrate(lx, ly, px, py);
        x = ADC2X(500, 500);
        y = ADC2Y(500, 500);
        KM_Touch_Calibrate_Default();
    });
    EXPECT_GT(x, -100000) << "a zero divisor gave " << x;
    EXPECT_LT(y, 100000) << "a zero divisor gave " << y;
}

// The targets of the calibration screens: centre, then the corners
// clockwise from the top left.
const int kTargets[5][2] = {{399, 239}, {20, 20}, {779, 20}, {779, 459}, {20, 459}};

void tap(sim::Board& b, int x, int y, Time hold = 400 * kMillisecond)
{
    finger(x, y);
    b.machine.run_for(hold);
    lift();
    b.machine.run_for(400 * kMillisecond);
}

TEST(TouchCalibration, InteractiveCalibrationWithAScriptedFinger)
{
    sim::Board& b = fwtest::boot_to_prompt();
    // A panel whose plates are 8 pixels off to the right and 6 down: the
    // finger at a target reads as the default mapping's point beside it.
    const int ox = 8, oy = 6;
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "tc\r");
    b.machine.run_for(200 * kMillisecond);
    for (auto& t : kTargets)
        tap(b, t[0] + ox, t[1] + oy);
    for (int n = 1; n <= 4; ++n)
        tap(b, kTargets[n][0] + ox, kTargets[n][1] + oy, 200 * kMillisecond);
    std::string out = fwtest::until_prompt(b.uart1, from, 5 * kSecond);
    EXPECT_EQ(out, ">\r") << "the calibration did not end with its prompt";
    fwtest::on_firmware([] { KM_EEPROM_LoadAndFix(); });
    int rx, ry;
    b.touch.panel.raw_at(kTargets[1][0] + ox, kTargets[1][1] + oy, &rx, &ry);
    EXPECT_EQ(eepromData.calX[1], 20) << "the top-left target was not stored";
    EXPECT_NEAR(static_cast<int16_t>(eepromData.calRawX[1]), ry, 1) << "the top-left raw point was not stored";
    EXPECT_EQ(eepromData.touchSwap, 0) << "crossed axes were taken for straight ones";
    // The new calibration puts the finger where it is meant to be.
    ASSERT_EQ((command("xs 200 380 220 420 260")), ">\r");
    size_t spot = b.uart1.sent.size();
    finger(400 + ox, 240 + oy);
    b.machine.run_for(100 * kMillisecond);
    lift();
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(joined(lines_since(spot)), "x200|") << "the calibrated point missed the hotspot at the centre";
}

TEST(TouchCalibration, AbandonedCalibrationKeepsTheSettings)
{
    sim::Board& b = fwtest::boot_to_prompt();
    for (const char* line : {"*tcTimeout 1", "*touchMode P", "*touchSwap 1"})
        ASSERT_EQ(command(line), ">\r") << line;
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "tc\r");
    std::string out = fwtest::until_prompt(b.uart1, from, 5 * kSecond);
    EXPECT_EQ(out, ">\r") << "a calibration nobody touched did not end after its time-out";
    EXPECT_EQ(command("*touchMode"), "--P- (2)\r>\r") << "an abandoned calibration lost the touch mode";
    EXPECT_EQ(command("*touchSwap"), "1\r>\r") << "an abandoned calibration changed the axis order";
    EXPECT_EQ(calibratingTouch, 0);
}

TEST(TouchCalibration, FingerOnThePanelAtTheStartMustLift)
{
    sim::Board& b = fwtest::boot_to_prompt();
    finger(300, 300);
    b.machine.run_for(100 * kMillisecond);
    size_t from = b.uart1.sent.size();
    Time start = b.machine.now();
    fwtest::send(b.uart1, "tc\r");
    std::string out = fwtest::until_prompt(b.uart1, from, 10 * kSecond);
    EXPECT_EQ(out, ">\r") << "a calibration that cannot start did not end";
    EXPECT_GT(b.machine.now() - start, 7 * kSecond) << "the removal wait and error screen were skipped";
    EXPECT_EQ(calibratingTouch, 0);
    // The default calibration is still in force.
    int x = 0;
    fwtest::on_firmware([&] { x = ADC2X(500, 500); });
    EXPECT_NEAR(x, 399, 1);
}

}  // namespace
