// A finger put on the panel through the panel page's endpoint reaches the
// image's firmware: the touch controller of its board (the resistive
// converter, or the capacitive controller of velm5plus-wvga-cap) turns it
// into a position through the default calibration, and a hotspot there
// reports its press, where it was pressed, and its release.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "emu/programs.h"

namespace {

using fwtest::CommandPort;
using fwtest::SimulatorProgram;

class Touch : public testing::TestWithParam<std::string> {};

TEST_P(Touch, TheEndpointsFingerPressesAndReleasesAHotspot)
{
    SimulatorProgram arm(emutest::image_of(GetParam()));
    ASSERT_EQ(arm.problem(), "") << "arm-board did not start";
    CommandPort port(arm.uart_port());
    ASSERT_NE(port.read(fwtest::ends_with_prompt, std::chrono::seconds(120)).find(">\r"), std::string::npos)
        << "the image did not start";
    // Hotspot 140 from 100,100 to 199,199 reports its press with where it
    // was pressed, and its release.
    for (const char* line : {"xxy 140 100 100 199 199", "xset 140 r"})
        ASSERT_EQ(port.command(line), ">\r") << line;

    auto touch = [&](int x, int y, bool down) {
        const std::string q = "/touch?x=" + std::to_string(x) + "&y=" + std::to_string(y) + "&down=" + (down ? "1" : "0");
        return fwtest::http(arm.http_port(), "POST", q).status;
    };
    auto line_ends = [](const std::string& s) { return !s.empty() && s.back() == '\r'; };
    ASSERT_EQ(touch(160, 170, true), 200);
    const std::string press = port.read(line_ends, std::chrono::seconds(30));
    int n = -1, dx = -1, dy = -1;
    ASSERT_EQ(std::sscanf(press.c_str(), "x%d %d %d", &n, &dx, &dy), 3)
        << "no press report with coordinates for the finger at 160,170: \"" << press << "\"";
    EXPECT_EQ(n, 140);
    EXPECT_NEAR(dx, 60, 2) << "the default calibration does not map the panel's pixel to the screen's";
    EXPECT_NEAR(dy, 70, 2) << "the default calibration does not map the panel's pixel to the screen's";
    ASSERT_EQ(touch(160, 170, false), 200);
    EXPECT_EQ(port.read(line_ends, std::chrono::seconds(30)), "r140\r") << "no release report";
    EXPECT_EQ(arm.errors(), "") << "arm-board reported problems";
}

INSTANTIATE_TEST_SUITE_P(ResistiveAndCapacitive, Touch, testing::Values("velm5plus-wvga", "velm5plus-wvga-cap"),
                         [](const testing::TestParamInfo<std::string>& p) {
                             std::string name = p.param;
                             for (char& c : name)
                                 if (c == '-')
                                     c = '_';
                             return name;
                         });

}  // namespace
