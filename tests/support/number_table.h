// Command lines with the numbers a host can send at the ends of 32 bits,
// their neighbours and numbers past 32 bits, in every numeric field of
// every command family; and the memory image and card they expect.  The
// board tests send them to the host build (under the sanitizers too), the
// emu tests to the board image and the host build alike.
//
// The lines are generated from a table of command forms: each number the
// table varies is written in braces with the value it has in ordinary use,
// "{10}" (decimal) or "{x:F00}" (hexadecimal).  Each varied field takes
// every extreme value in turn with the others at their ordinary values,
// then all fields take the same extreme value together.  A form may be
// several lines, separated by "\n", sent one after the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace fwtest {

struct NumberFamily {
    const char* name;
    // Families that place things on the screen run their cases twice, from
    // a cleared screen with the origin moved each way off 0, 0, so that it
    // is added on the way.
    bool placed;
    // Sent before each case: the state its lines need.
    std::vector<std::string> setup;
    std::vector<std::string> forms;
    // Forms whose replies or pictures are not the same on every build of
    // the firmware: they depend on how fast the board runs (time-outs,
    // background work, timings it reports), or on the C library's random
    // numbers.
    std::vector<std::string> varying;
};

const std::vector<NumberFamily>& number_families();
// A family is named by its name in test names and messages.
void PrintTo(const NumberFamily& family, std::ostream* os);

// One case: its lines in the order they are sent; the first setup of them
// put the state in place.
struct NumberCase {
    std::vector<std::string> lines;
    size_t setup;
};

// Every case of one form of a family.
std::vector<NumberCase> number_cases(const NumberFamily& family, const std::string& form);

// Makes dir/card.img, the card the lines expect (pictures made by
// ImageMagick and cjpeg on a volume made by mkfs.fat), and returns the
// memory image: plain, RLE16 and transparent bitmaps, a GIF, slider
// backgrounds and knobs, a meter dial, and macros that use their arguments
// in arithmetic and as coordinates.
std::vector<uint8_t> make_number_fixtures(const std::string& dir);

}  // namespace fwtest
