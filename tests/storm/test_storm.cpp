// The command port under a storm: the simulator program in real time, a
// host on its pseudo-terminal at 460800 bit/s sending hundreds of
// thousands of random bytes and random command lines as fast as the line
// takes them (pausing at the board's XOFF, as a host with software flow
// control does, and going on when no XON comes).  Afterwards the board
// must answer "vers", take a burst of lines without losing one, and still
// keep its flow control.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/simulator_program.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char kVersion[] = "VELM5-PLUS V1.5.8 WVGA ";
constexpr size_t kStormBytes = 200000;
constexpr unsigned kRate = 460800;

std::string visible(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        char b[8];
        if (c == '\r')
            out += "\\r";
        else if (c < 0x20 || c >= 0x7F) {
            std::snprintf(b, sizeof b, "\\x%02X", c);
            out += b;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

size_t occurrences(const std::string& s, const std::string& text)
{
    size_t n = 0;
    for (size_t at = s.find(text); at != std::string::npos; at = s.find(text, at + 1))
        ++n;
    return n;
}

// The simulator program with its command port on a pseudo-terminal that
// this host opens as a serial line.
class Board {
public:
    Board() : program_({VELM_SIMULATOR}, "realtime") { fd_ = program_.open_port(B115200); }
    bool open_ok() const { return fd_ >= 0; }

    void set_rate(speed_t speed) { program_.open_port(speed); }

    void write_all(const std::string& s)
    {
        size_t at = 0;
        while (at < s.size()) {
            ssize_t n = write(fd_, s.data() + at, s.size() - at);
            if (n > 0)
                at += static_cast<size_t>(n);
        }
    }

    // What has come back so far (waiting at most wait for the first byte).
    std::string take(std::chrono::milliseconds wait = 0ms)
    {
        std::string got;
        pollfd p{fd_, POLLIN, 0};
        int timeout = static_cast<int>(wait.count());
        while (poll(&p, 1, timeout) > 0) {
            char buf[4096];
            ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, static_cast<size_t>(n));
            timeout = 0;
        }
        return got;
    }

    // Reads until what came back contains text (count times), or until
    // limit has passed without it (a board that has stopped, not a slow one).
    std::string until(const std::string& text, std::chrono::seconds limit = 60s, size_t count = 1)
    {
        auto deadline = Clock::now() + limit;
        while (occurrences(received_, text) < count && Clock::now() < deadline)
            received_ += take(100ms);
        std::string all = received_;
        received_.clear();
        return all;
    }

    // One command line and its reply up to the prompt.
    std::string command(const std::string& line)
    {
        write_all(line + "\r");
        return until(">\r");
    }

private:
    fwtest::PtyProgram program_;
    int fd_ = -1;
    std::string received_;
};

// Command lines a host sends, with random numbers and texts; some are
// wrong on purpose (unknown keywords, bad CRC prefixes, missing arguments).
std::string random_line(std::mt19937& rng)
{
    auto n = [&](int lo, int hi) { return std::to_string(std::uniform_int_distribution<int>(lo, hi)(rng)); };
    auto text = [&] {
        std::string t;
        for (int i = std::uniform_int_distribution<int>(0, 30)(rng); i > 0; --i)
            t += static_cast<char>(std::uniform_int_distribution<int>(0x20, 0x7E)(rng));
        return t;
    };
    switch (std::uniform_int_distribution<int>(0, 11)(rng)) {
    case 0: return "l " + n(-50, 850) + " " + n(-50, 530) + " " + n(-50, 850) + " " + n(-50, 530);
    case 1: return "r " + n(0, 800) + " " + n(0, 480) + " " + n(0, 800) + " " + n(0, 480) + " " + n(0, 1);
    case 2: return "c " + n(0, 800) + " " + n(0, 480) + " " + n(1, 200);
    case 3: return "t \"" + text() + "\" " + n(0, 800) + " " + n(0, 480);
    case 4: return "s " + n(0, 255) + " " + n(0, 255);
    case 5: return "S " + n(0, 0xFFFFFF) + " " + n(0, 0xFFFFFF);
    case 6: return "~" + n(1000, 9999) + "vers";
    case 7: return "p " + n(1, 8);
    case 8: return text();
    case 9: return "vers";
    case 10: return "z";
    default: return "pw " + n(0, 799) + " " + n(0, 479) + " " + n(0, 0xFFFF);
    }
}

std::string random_bytes(std::mt19937& rng)
{
    std::string b;
    for (int i = std::uniform_int_distribution<int>(1, 600)(rng); i > 0; --i)
        b += static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
    return b;
}

}  // namespace

TEST(CommandPortStorm, BoardStillAnswersAndKeepsItsRingsAndFlowControl)
{
    Board board;
    ASSERT_TRUE(board.open_ok()) << "the simulator program did not offer its command port";
    ASSERT_NE(board.until(">\r").find(">\r"), std::string::npos) << "no prompt after start-up";
    ASSERT_NE(board.command("baudp 460800").find(">\r"), std::string::npos);
    board.set_rate(B460800);
    ASSERT_NE(board.command("vers").find(kVersion), std::string::npos) << "no answer at 460800 bit/s";

    // The storm, paced to the line's rate: 10 bits a byte.
    std::mt19937 rng(18);
    size_t sent = 0, xoffs = 0;
    const auto start = Clock::now();
    bool stopped = false;
    auto stopped_since = Clock::now();
    while (sent < kStormBytes) {
        for (char c : board.take()) {
            if (c == 0x13 && !stopped) {
                stopped = true;
                stopped_since = Clock::now();
                ++xoffs;
            } else if (c == 0x11) {
                stopped = false;
            }
        }
        // A held line that no CR ends is never drained: a host that gets
        // no XON goes on after a while.
        if (stopped && Clock::now() - stopped_since < 50ms) {
            std::this_thread::sleep_for(1ms);
            continue;
        }
        stopped = false;
        std::string chunk = std::uniform_int_distribution<int>(0, 3)(rng) == 0 ? random_bytes(rng)
                                                                               : random_line(rng) + "\r";
        const auto due = start + std::chrono::microseconds(sent * 10 * 1000000 / kRate);
        std::this_thread::sleep_until(due);
        board.write_all(chunk);
        sent += chunk.size();
    }
    std::printf("storm: %zu bytes, %zu XOFF pauses\n", sent, xoffs);

    // The host lets the board talk again, ends whatever the storm left open
    // (a line, or a binary command that still waits for up to two bytes)
    // and asks for the rate until the answer comes: on a slow host the
    // simulated board falls behind the wall clock, the storm waits on the
    // line, and a question that arrives while the ring is still full of
    // the storm is lost with it.
    std::string caught_up;
    for (int i = 0; i < 20 && caught_up.find("460800\r>\r") == std::string::npos; ++i) {
        board.write_all("\x11\r\r\rbaud\r");
        caught_up = board.until("460800\r>\r", 30s);
    }
    ASSERT_NE(caught_up.find("460800\r>\r"), std::string::npos)
        << "after the storm \"baud\" was not answered: \"" << visible(caught_up.substr(caught_up.size() > 300 ? caught_up.size() - 300 : 0)) << "\"";
    const std::string vers = board.command("vers");
    EXPECT_NE(vers.find(kVersion), std::string::npos) << "after the storm \"vers\" got \"" << visible(vers) << "\"";

    // The rings: a burst of lines, every one answered.
    std::string burst;
    for (int i = 0; i < 40; ++i)
        burst += "vers\r";
    board.write_all(burst);
    const std::string replies = board.until(">\r", 60s, 40);
    EXPECT_EQ(occurrences(replies, kVersion), 40u) << "a burst of 40 \"vers\" lines after the storm got \"" << visible(replies) << "\"";

    // Flow control: 400 bytes without a line end make the board send XOFF;
    // the over-long line is refused, and the next line brings XON and its
    // answer.
    board.write_all(std::string(400, 'x'));
    const std::string xoff = board.until("\x13");
    EXPECT_NE(xoff.find('\x13'), std::string::npos) << "no XOFF after 400 bytes without CR: \"" << visible(xoff) << "\"";
    const std::string refused = board.command("");
    EXPECT_NE(refused.find("!\r"), std::string::npos) << "the over-long line got \"" << visible(refused) << "\"";
    const std::string resumed = board.command("vers");
    EXPECT_NE(resumed.find('\x11'), std::string::npos) << "no XON once the ring had room: \"" << visible(resumed) << "\"";
    EXPECT_NE(resumed.find(kVersion), std::string::npos) << "\"vers\" after the XOFF got \"" << visible(resumed) << "\"";
}
