// The touch display commands of every build's touch front end, as a host
// sees them with a finger on the panel: "*td" shows the touch while it
// lasts and ends 5 s after the finger lifts, "*td2" shows the state as it
// is, pressed or not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/host.h"

namespace {

using fwtest::command;
using fwtest::visible;
using sim::kMillisecond;
using sim::kSecond;
using sim::Time;

struct Line {
    Time end;  // when its CR went out
    std::string text;
};

std::vector<Line> lines_since(size_t from)
{
    std::vector<Line> out;
    std::string cur;
    const auto& sent = sim::Board::get().uart1.sent;
    for (size_t i = from; i < sent.size(); ++i) {
        if (sent[i].byte == '\r') {
            out.push_back({sent[i].time, cur});
            cur.clear();
        } else {
            cur += static_cast<char>(sent[i].byte);
        }
    }
    return out;
}

struct Run {
    size_t from;  // the command's first byte out
    Time lifted;
    std::string out;
};

// A finger rests on the panel, the line goes out, the finger lifts after
// hold, and the board runs until the prompt (10 s at most).
Run with_finger(const char* line, Time hold)
{
    sim::Board& b = sim::Board::get();
    b.finger = {300, 200, true};
    b.machine.run_for(100 * kMillisecond);
    Run r{b.uart1.sent.size(), 0, ""};
    fwtest::send(b.uart1, std::string(line) + "\r");
    b.machine.run_for(hold);
    b.finger.down = false;
    r.lifted = b.machine.now();
    r.out = fwtest::until_prompt(b.uart1, r.from, 10 * kSecond);
    return r;
}

TEST(TouchDisplay, EndsFiveSecondsAfterTheFingerLifts)
{
    sim::Board& b = fwtest::boot_to_prompt();
    const auto [from, lifted, out] = with_finger("*td", 500 * kMillisecond);
    ASSERT_GE(out.size(), 2u) << "*td answered nothing";
    ASSERT_EQ(out.substr(out.size() - 2), ">\r") << "*td did not end after the lift: ..."
                                                  << visible(out.substr(out.size() > 200 ? out.size() - 200 : 0));
    EXPECT_GE(b.machine.now() - lifted, 5 * kSecond) << "*td ended before 5 s without a touch";
    EXPECT_LT(b.machine.now() - lifted, 5 * kSecond + 400 * kMillisecond) << "*td went on long after the lift";
    std::vector<Line> l = lines_since(from);
    ASSERT_GE(l.size(), 3u) << visible(out);
    EXPECT_EQ(l[0].text.substr(0, 12), "TouchSwap = ") << visible(out);
    int shown = 0;
    for (size_t i = 1; i + 1 < l.size(); ++i) {
        EXPECT_EQ(l[i].text.substr(0, 2), "X=") << visible(l[i].text);
        EXPECT_LT(l[i].end, lifted + 300 * kMillisecond) << "a lifted finger was still shown: " << visible(l[i].text);
        ++shown;
    }
    EXPECT_GE(shown, 3) << "the finger was not shown every 100 ms while it lay on the panel: " << visible(out);
    EXPECT_NE(command("vers").find("VELM5-PLUS"), std::string::npos) << "the command port is not free after *td";
}

TEST(TouchDisplay, SecondFormShowsTheStateAsItIs)
{
    fwtest::boot_to_prompt();
    const auto [from, lifted, out] = with_finger("*td2", 1 * kSecond);
    ASSERT_GE(out.size(), 2u) << "*td2 answered nothing";
    ASSERT_EQ(out.substr(out.size() - 2), "!\r") << "*td2 did not end after its 6 s";
    int down = 0, up = 0;
    for (const Line& l : lines_since(from)) {
        if (l.text == "!")
            continue;
        if (l.end < lifted) {
            EXPECT_EQ(l.text.substr(0, 2), "1 ") << "the finger on the panel was not shown: " << visible(l.text);
            ++down;
        } else if (l.end > lifted + 300 * kMillisecond) {
            EXPECT_EQ(l.text, "0 FFFFFFFF:FFFFFFFF") << "the lifted finger was still shown";
            ++up;
        }
    }
    EXPECT_GE(down, 5) << visible(out);
    EXPECT_GE(up, 20) << visible(out);
}

}  // namespace
