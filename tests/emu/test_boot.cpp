// Each board image starts as its host build does, on every set of board
// straps: the same start-up text and prompt on the command port, the same
// answer to "vers", the same banner on the panel, and neither program's
// device models report anything.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "emu/programs.h"

namespace {

using fwtest::CommandPort;
using fwtest::SimulatorProgram;

// What a host sees from power-on: the start-up text up to the first
// prompt, then the answer to "vers".
std::string start_and_vers(CommandPort& port)
{
    std::string seen = port.read(fwtest::ends_with_prompt, std::chrono::seconds(120));
    return seen + port.command("vers");
}

class Boot : public testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(Boot, StartsAndAnswersAsItsHostBuild)
{
    const auto& [build, straps] = GetParam();
    auto image = emutest::image_of(build), host = emutest::host_build_of(build);
    image.straps = host.straps = straps;
    // Each command port is held from the moment its program is up: what a
    // board sends while no host holds its port is lost.  At full speed the
    // host build is through its start-up before a host could take the port.
    host.speed = "realtime";
    SimulatorProgram native(host);
    CommandPort native_port(native.uart_port());
    SimulatorProgram arm(image);
    CommandPort arm_port(arm.uart_port());
    ASSERT_EQ(arm.problem(), "") << "arm-board did not start";
    ASSERT_EQ(native.problem(), "") << "the host build did not start";
    const std::string want = start_and_vers(native_port);
    ASSERT_NE(want.find("VELM5-PLUS"), std::string::npos) << "the host build does not answer: " << want;
    EXPECT_EQ(start_and_vers(arm_port), want) << "the image starts or answers vers otherwise than its host build";
    EXPECT_EQ(emutest::until_screens_agree(arm, native), "")
        << "the image's banner is not the host build's, pixel for pixel";
    EXPECT_EQ(arm.errors(), "") << "arm-board reported problems";
    EXPECT_EQ(native.errors(), "") << "the host build reported problems";
}

INSTANTIATE_TEST_SUITE_P(AllImages, Boot,
                         testing::Combine(testing::ValuesIn(emutest::build_names()),
                                          testing::Values("plain", "E", "N", "26")),
                         [](const testing::TestParamInfo<Boot::ParamType>& p) {
                             std::string name = std::get<0>(p.param) + "_straps_" + std::get<1>(p.param);
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

}  // namespace
