// Drawing commands as a host sends them: a table of cases, each run from a
// black screen with a white pen of size 1, normal draw mode and the origin
// at 0, 0, checked on the frame buffer the panel shows.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "graphics/screen.h"
#include "support/host.h"

namespace drawing {

constexpr uint16_t W = screen::kWhite, K = screen::kBlack, R = screen::kRed, G = screen::kGreen,
                   B = screen::kBlue;

struct Px {
    int x, y;
    uint16_t value;
};

struct Case {
    const char* what;
    std::vector<std::string> setup;  // lines sent first, after the reset
    std::string line;
    std::string reply;
    std::vector<Px> pixels;    // must hold these values afterwards
    bool unchanged = false;    // the line must leave every pixel as it was
    std::string query = "";    // sent afterwards ...
    std::string answer = "";   // ... and answered so
};

inline const std::vector<std::string> kReset = {"s 1 0", "p 1", "d n", "z"};

inline std::string hex4(unsigned v)
{
    char b[8];
    std::snprintf(b, sizeof b, "0x%04X", v);
    return b;
}

inline void send_all(const std::vector<std::string>& lines, const char* what)
{
    for (const std::string& l : lines) {
        std::string got = fwtest::command(l);
        EXPECT_EQ(fwtest::visible(got.substr(got.size() < 2 ? 0 : got.size() - 2)), ">\\r")
            << what << ": setting up with \"" << l << "\" got " << fwtest::visible(got);
    }
}

inline void run(const std::vector<Case>& cases)
{
    using fwtest::visible;
    for (const Case& c : cases) {
        send_all(kReset, c.what);
        send_all(c.setup, c.what);
        const std::vector<uint16_t> before = screen::snapshot();
        EXPECT_EQ(visible(fwtest::command(c.line)), visible(c.reply))
            << c.what << ": \"" << c.line << "\" got the wrong answer";
        for (const Px& p : c.pixels)
            EXPECT_EQ(hex4(screen::px(p.x, p.y)), hex4(p.value))
                << c.what << ": after \"" << c.line << "\" pixel (" << p.x << ", " << p.y << ") is wrong";
        if (c.unchanged)
            EXPECT_TRUE(before == screen::snapshot()) << c.what << ": \"" << c.line << "\" changed the screen";
        if (!c.query.empty())
            EXPECT_EQ(visible(fwtest::command(c.query)), visible(c.answer))
                << c.what << ": \"" << c.query << "\" after \"" << c.line << "\"";
    }
}

}  // namespace drawing
