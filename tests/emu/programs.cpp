#include "emu/programs.h"

#include <cstdio>
#include <thread>

namespace emutest {

std::string first_difference(const fwtest::Bmp& got, const fwtest::Bmp& want)
{
    if (!got.valid || !want.valid)
        return "unreadable picture: " + got.problem + want.problem;
    if (got.width != want.width || got.height != want.height)
        return "pictures of " + std::to_string(got.width) + "x" + std::to_string(got.height) + " and " +
               std::to_string(want.width) + "x" + std::to_string(want.height);
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < got.rgb.size(); ++i)
        if (got.rgb[i] != want.rgb[i] && differing++ == 0)
            first = i;
    if (!differing)
        return "";
    char b[160];
    std::snprintf(b, sizeof b, "%zu pixels differ, the first at %zu,%zu: %06X against %06X", differing,
                  first % static_cast<size_t>(got.width), first / static_cast<size_t>(got.width), got.rgb[first],
                  want.rgb[first]);
    return b;
}

std::string until_screens_agree(fwtest::SimulatorProgram& a, fwtest::SimulatorProgram& b)
{
    std::string diff = "no picture";
    for (auto end = fwtest::Clock::now() + std::chrono::seconds(20); fwtest::Clock::now() < end;
         std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
        diff = first_difference(a.screen(), b.screen());
        if (diff.empty())
            return diff;
    }
    return diff;
}

}  // namespace emutest
