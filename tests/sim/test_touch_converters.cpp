// The touch panel and its converters seen from the SPI wires: the panel
// mapping, the TSC2046's control bytes, result framing and pen line, and the
// SX8652's registers, channel reads and pen-triggered mode.
#include "devices/touch.h"
#include "machine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct Rig {
    sim::ResistivePanel::Finger finger{0, 0, false};
    sim::ResistivePanel panel{[this] { return finger; }, [](int* w, int* h) { *w = 800, *h = 480; }};
    sim::Tsc2046 tsc{sim::Machine::instance(), panel};
    sim::Sx8652 sx{sim::Machine::instance(), panel};
};

// One chip-select period: the bytes clocked in for the bytes sent.
std::vector<uint32_t> transfer(sim::SpiDevice& d, std::vector<uint32_t> out)
{
    d.select();
    for (uint32_t& b : out)
        b = d.exchange(b, 8);
    d.deselect();
    return out;
}

// The pixels of the default calibration's points read the counts nearest
// their centres: half a pixel inwards from a point is about half a count
// (0.46 across, 0.80 down an 800 x 480 panel).
TEST(TouchPanel, MappingMatchesTheDefaultCalibration)
{
    Rig r;
    struct Case {
        int sx, sy, chip_x, chip_y;
    };
    for (Case c : {Case{20, 20, 151, 850}, Case{779, 20, 151, 150}, Case{779, 459, 851, 150},
                   Case{20, 459, 851, 850}, Case{19, 19, 148, 851}}) {
        int cx, cy;
        r.panel.raw_at(c.sx, c.sy, &cx, &cy);
        EXPECT_EQ(cx, c.chip_x) << "X channel at screen " << c.sx << "," << c.sy;
        EXPECT_EQ(cy, c.chip_y) << "Y channel at screen " << c.sx << "," << c.sy;
    }
}

TEST(Tsc2046, ConversionsComeOutAfterTheirControlByte)
{
    Rig r;
    r.finger = {200, 300, true};
    int cx, cy;
    r.panel.raw_at(200, 300, &cx, &cy);
    sim::PanelReading pr = r.panel.read();
    struct Case {
        uint8_t control;
        uint32_t value;
        const char* what;
    };
    const Case cases[] = {
        {0xD3, static_cast<uint32_t>(cx * 4), "X position, 12 bits"},
        {0x93, static_cast<uint32_t>(cy * 4), "Y position, 12 bits"},
        {0xBB, pr.z1 & 0xFF0u, "Z1, 8-bit mode"},
        {0xCB, pr.z2 & 0xFF0u, "Z2, 8-bit mode"},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> in = transfer(r.tsc, {c.control, 0, 0});
        EXPECT_EQ(in[0], 0u) << c.what << ": the control byte itself clocks in zeros";
        EXPECT_EQ(in[1] >> 7, 0u) << c.what << ": the busy bit comes first";
        EXPECT_EQ((in[1] << 5) + (in[2] >> 3), c.value) << c.what;
    }
    EXPECT_GT(pr.z2, pr.z1) << "a touch reads Z2 above Z1";
}

TEST(Tsc2046, PenLineFollowsTheFingerOnlyWithThePenInterruptOn)
{
    Rig r;
    EXPECT_FALSE(r.tsc.pen_down()) << "no finger, yet the pen line is low";
    r.finger = {100, 100, true};
    EXPECT_TRUE(r.tsc.pen_down()) << "after power-up (PD 00) the pen interrupt is on";
    transfer(r.tsc, {0xD3, 0, 0});
    EXPECT_FALSE(r.tsc.pen_down()) << "with PD0 set the pen interrupt must be off";
    transfer(r.tsc, {0xD2, 0, 0});
    EXPECT_TRUE(r.tsc.pen_down()) << "PD 10 switches the pen interrupt back on";
    r.finger.down = false;
    EXPECT_FALSE(r.tsc.pen_down());
}

TEST(Tsc2046, TemperatureInputsGiveTheBoardTemperature)
{
    Rig r;
    r.tsc.celsius = 31.5;
    auto value = [&](uint8_t c) {
        std::vector<uint32_t> in = transfer(r.tsc, {c, 0, 0});
        return static_cast<int>((in[1] << 5) + (in[2] >> 3));
    };
    int t0 = value(0x86), t1 = value(0xF6);
    int tenths = ((25000 * (t1 - t0) / 4095) * 2573 / 1000) - 2730;
    // One count of the difference is about 1.6 degrees.
    EXPECT_NEAR(tenths, 315, 8) << "TEMP0 " << t0 << ", TEMP1 " << t1;
}

TEST(Sx8652, RegistersChannelsAndPenTrigger)
{
    Rig r;
    transfer(r.sx, {0x04, 0xF0});
    EXPECT_EQ(r.sx.reg(sim::Sx8652::kChanMask), 0xF0) << "a register write";
    EXPECT_EQ(transfer(r.sx, {0x44, 0})[1], 0xF0u) << "a register read";
    r.finger = {500, 200, true};
    EXPECT_FALSE(r.sx.pen_down()) << "the pen line works only in pen-triggered mode";
    transfer(r.sx, {sim::Sx8652::CMD_PENTRG});
    EXPECT_TRUE(r.sx.pen_down());
    int cx, cy;
    r.panel.raw_at(500, 200, &cx, &cy);
    for (uint32_t ch : {0u, 1u}) {
        std::vector<uint32_t> in = transfer(r.sx, {0x20 | ch, 0, 0});
        uint32_t word = (in[1] << 8) | in[2];
        EXPECT_EQ(word >> 12, ch) << "the channel number heads its data";
        EXPECT_EQ(word & 0xFFF, static_cast<uint32_t>((ch == 0 ? cx : cy) * 4)) << "channel " << ch;
    }
    transfer(r.sx, {0x17, 0xDE});
    EXPECT_EQ(r.sx.reg(sim::Sx8652::kChanMask), 0) << "the soft reset left a register set";
    EXPECT_FALSE(r.sx.pen_triggered()) << "the soft reset left the pen-triggered mode on";
}

}  // namespace
