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

void finger(bool down)
{
    sim::Board::get().finger = {300, 200, down};
}

TEST(TouchDisplay, EndsFiveSecondsAfterTheFingerLifts)
{
    sim::Board& b = fwtest::boot_to_prompt();
    finger(true);
    b.machine.run_for(100 * kMillisecond);
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "*td\r");
    b.machine.run_for(500 * kMillisecond);
    finger(false);
    const Time lifted = b.machine.now();
    std::string out = fwtest::until_prompt(b.uart1, from, 10 * kSecond);
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
    sim::Board& b = fwtest::boot_to_prompt();
    finger(true);
    b.machine.run_for(100 * kMillisecond);
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "*td2\r");
    b.machine.run_for(1 * kSecond);
    finger(false);
    const Time lifted = b.machine.now();
    std::string out = fwtest::until_prompt(b.uart1, from, 10 * kSecond);
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
