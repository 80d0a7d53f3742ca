// The four screen save slots ("ws", "wr", "wrr") and area scrolling ("k")
// through the command port, checked on the frame buffer.
#include <gtest/gtest.h>

#include "app/drawing_cases.h"

namespace {

using namespace drawing;

const std::string OK = ">\r";
const std::string kOffScreen = ":area outside the screen\r!\r";
const std::string FAIL = "!\r";
const std::string kFromItself = ":cannot restore window from itself\r!\r";

// A red 10 x 10 square at (10, 10) with a blue top-left and a green
// bottom-right pixel, saved into slot 1; then the screen is cleared.
const std::vector<std::string> kScene = {"r 10 10 19 19 1 F00", "pw 10 10 001F", "pw 19 19 07E0"};

std::vector<std::string> saved(std::vector<std::string> more)
{
    std::vector<std::string> lines = kScene;
    lines.push_back("ws 10 10 19 19 1");
    lines.push_back("z");
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

std::vector<std::string> scene_then(std::vector<std::string> more)
{
    std::vector<std::string> lines = kScene;
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

TEST(SaveSlots, SaveAndRestore)
{
    fwtest::boot_to_prompt();
    run({
        {"a slot never saved draws nothing", {}, "wr 0 0 2", OK, {}, true},
        {"round trip", saved({}), "wr 100 100 1", OK,
         {{100, 100, B}, {105, 105, R}, {109, 109, G}, {110, 110, K}, {99, 99, K}}},
        {"restore adds the origin", saved({"o 50 50"}), "wr 0 0 1", OK, {{50, 50, B}, {59, 59, G}, {0, 0, K}}},
        {"save takes screen coordinates", scene_then({"o 100 100", "ws 10 10 19 19 1", "z"}), "wr 0 0 1", OK,
         {{0, 0, B}, {9, 9, G}}},
        {"restore clipped at the bottom right", saved({}), "wr 795 475 1", OK,
         {{795, 475, B}, {799, 479, R}, {794, 474, K}, {0, 476, K}, {4, 476, K}, {0, 479, K}}},
        {"restore clipped at the top left", saved({}), "wr -5 -5 1", OK, {{0, 0, R}, {4, 4, G}, {5, 5, K}}},
        {"restore wholly off the screen", saved({}), "wr 900 900 1", OK, {}, true},
        {"restore from slot 4", {}, "wr 0 0 4", FAIL, {}, true},
        {"save into slot 4", kScene, "ws 10 10 19 19 4", FAIL, {}, true},
        {"save into slot -1", kScene, "ws 10 10 19 19 -1", FAIL, {}, true},
        {"reversed corners", kScene, "ws 19 19 10 10 1", kOffScreen, {}, true},
        {"area past the bottom right", kScene, "ws 790 470 809 489 1", kOffScreen, {}, true},
        {"area left of the screen", kScene, "ws -1 0 5 5 1", kOffScreen, {}, true},
        {"whole screen into a small slot", kScene, "ws 0 0 799 479 1", FAIL, {}, true},
        {"whole screen into slot 0", scene_then({"ws 0 0 799 479 0", "z"}), "wr 0 0 0", OK,
         {{10, 10, B}, {15, 15, R}, {19, 19, G}, {0, 0, K}, {799, 479, K}}},
        {"a large save into slot 0 empties slot 1", scene_then({"ws 10 10 19 19 1", "ws 0 0 799 479 0"}),
         "wr 0 0 1", OK, {}, true},
        {"a small save into slot 0 keeps slot 1", saved({"ws 0 0 9 9 0"}), "wr 100 100 1", OK, {{100, 100, B}}},
    });
}

TEST(SaveSlots, PartOfASlotIntoAnother)
{
    fwtest::boot_to_prompt();
    run({
        {"top-left part", saved({"wrr 1 0 0 4 4 3"}), "wr 200 200 3", OK,
         {{200, 200, B}, {204, 204, R}, {205, 205, K}, {199, 199, K}}},
        {"bottom-right part", saved({"wrr 1 5 5 9 9 3"}), "wr 200 200 3", OK,
         {{200, 200, R}, {204, 204, G}, {205, 205, K}}},
        {"copy onto itself", saved({}), "wrr 1 0 0 4 4 1", kFromItself},
        {"copy into memory the source still needs", scene_then({"ws 0 0 799 479 0"}), "wrr 0 0 0 9 9 1",
         kFromItself, {}, false, "wr 0 0 0", OK},
        {"part outside the saved area", saved({}), "wrr 1 0 0 10 10 3", FAIL},
        {"reversed part", saved({}), "wrr 1 4 4 0 0 3", FAIL},
        {"no such destination", saved({}), "wrr 1 0 0 4 4 9", FAIL},
        {"five values", saved({}), "wrr 1 0 0 4 4", ":incorrect number of parameters\r!\r"},
        {"no values", {}, "wrr", ":incorrect number of parameters\r!\r"},
    });
}

// A blue 10 x 5 area at (100, 100) with a white left column, and a green
// background colour for what scrolling uncovers.
const std::vector<std::string> kColumn = {"r 100 100 109 104 1 00F", "l 100 100 100 104", "s 1 3"};
// The same with a white top row.
const std::vector<std::string> kRow = {"r 100 100 109 104 1 00F", "l 100 100 109 100", "s 1 3"};
const std::string kArea = "k 100 100 109 104 ";

TEST(Scrolling, EachDirection)
{
    fwtest::boot_to_prompt();
    std::vector<std::string> withOrigin = kColumn;
    withOrigin.push_back("o 100 100");
    run({
        {"shift left", kColumn, kArea + "3 l", OK,
         {{100, 102, B}, {106, 102, B}, {107, 102, G}, {109, 102, G}, {99, 102, K}, {110, 102, K}}},
        {"shift right", kColumn, kArea + "3 r", OK,
         {{100, 102, G}, {102, 102, G}, {103, 102, W}, {104, 102, B}, {109, 102, B}, {110, 102, K}}},
        {"shift up", kRow, kArea + "2 u", OK,
         {{105, 100, B}, {105, 102, B}, {105, 103, G}, {105, 104, G}, {105, 99, K}, {105, 105, K}}},
        {"shift down", kRow, kArea + "2 d", OK,
         {{105, 100, G}, {105, 101, G}, {105, 102, W}, {105, 104, B}, {105, 99, K}, {105, 105, K}}},
        {"shift by more than the area", kColumn, kArea + "20 l", OK, {{100, 102, G}, {109, 102, G}, {110, 102, K}}},
        {"turn left", kColumn, kArea + "1 L", OK, {{109, 102, W}, {100, 102, B}, {108, 102, B}, {110, 102, K}}},
        {"turn right", kColumn, kArea + "1 R", OK, {{101, 102, W}, {100, 102, B}, {99, 102, K}}},
        {"turn by more than the width", kColumn, kArea + "12 L", OK, {{108, 102, W}, {100, 102, B}}},
        {"turn by nothing", kColumn, kArea + "0 R", OK, {}, true},
        {"area relative to the origin", withOrigin, "k 0 0 9 4 3 l", OK, {{100, 102, B}, {107, 102, G}}},
        {"unknown direction", kColumn, kArea + "3 q", FAIL, {}, true},
        {"direction of two letters", kColumn, kArea + "3 ll", FAIL, {}, true},
        {"negative count", kColumn, kArea + "-1 l", FAIL, {}, true},
        {"area past the screen", kColumn, "k 790 0 809 10 1 l", kOffScreen, {}, true},
        {"reversed area", kColumn, "k 109 104 100 100 1 l", kOffScreen, {}, true},
    });
}

}  // namespace
