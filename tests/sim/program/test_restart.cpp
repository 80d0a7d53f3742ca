// "*RESET" through the simulator program's pseudo-terminal (the host
// build's, or arm-board's with the reference image), as a host on the
// command port meets it: the controller starts again as after
// power-on on the same port, keeps what its EEPROM holds, and has lost its
// screen and its RAM.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "support/simulator_program.h"

namespace {

using Clock = std::chrono::steady_clock;

class Simulator {
public:
    Simulator() : program_(program_and_args(), "max") {}
    const std::string& path() const { return program_.path(); }

    // Opens the command port as a host opens a serial line.
    bool open_port()
    {
        port_ = program_.open_port(B115200);
        return port_ >= 0;
    }
    // What the port sends until it ends with end (or 4 minutes pass: a
    // limit for hangs only).
    std::string read_port(const std::string& end) { return read_until(port_, end, std::chrono::seconds(240)); }
    bool send(const std::string& line)
    {
        std::string l = line + "\r";
        return write(port_, l.data(), l.size()) == static_cast<ssize_t>(l.size());
    }
    std::string command(const std::string& line) { return send(line) ? read_port("\r") : "(not sent)"; }
    std::string prompt_after(const std::string& line)
    {
        std::string r = command(line);
        while (r != ">\r" && r != "!\r" && r.size() < 4096) {
            std::string more = read_port("\r");
            if (more.empty())
                break;
            r += more;
            if (r.size() >= 2 && (r.compare(r.size() - 2, 2, ">\r") == 0 || r.compare(r.size() - 2, 2, "!\r") == 0))
                break;
        }
        return r;
    }

private:
    static std::string read_until(int fd, const std::string& end, Clock::duration limit)
    {
        std::string got;
        const auto stop = Clock::now() + limit;
        while (Clock::now() < stop) {
            struct pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            char c;
            if (read(fd, &c, 1) != 1)
                break;
            got += c;
            if (got.size() >= end.size() && got.compare(got.size() - end.size(), end.size(), end) == 0)
                break;
        }
        return got;
    }

    // The program and what it takes before its options (arm-board: the
    // image).
    static std::vector<std::string> program_and_args()
    {
        std::vector<std::string> args = {VELM_SIMULATOR};
        for (const std::string& a : fwtest::split_arguments(VELM_SIMULATOR_ARGS))
            args.push_back(a);
        return args;
    }

    fwtest::PtyProgram program_;
    int port_ = -1;
};

TEST(Restart, ResetStartsAgainOnTheSamePortKeepingTheEeprom)
{
    Simulator sim;
    ASSERT_FALSE(sim.path().empty()) << "the simulator program named no command port";
    ASSERT_TRUE(sim.open_port()) << sim.path();
    std::string banner = sim.read_port(">\r");
    ASSERT_TRUE(banner.size() >= 2 && banner.compare(banner.size() - 2, 2, ">\r") == 0) << "no start-up prompt";
    EXPECT_EQ(sim.prompt_after("xbb 77"), ">\r");
    EXPECT_EQ(sim.prompt_after("pw 5 6 F800"), ">\r");
    EXPECT_EQ(sim.prompt_after("ws 0 0 9 9 1"), ">\r");
    EXPECT_EQ(sim.prompt_after("pr 5 6"), "F80000\r>\r");

    ASSERT_TRUE(sim.send("*RESET"));
    std::string second = sim.read_port(">\r");
    EXPECT_EQ(second, banner) << "after *RESET the port did not show the start-up banner again";
    EXPECT_EQ(sim.prompt_after("xbb"), "77\r>\r") << "the brightness saved in the EEPROM was lost";
    EXPECT_NE(sim.prompt_after("pr 5 6"), "F80000\r>\r") << "the screen survived the restart";
    EXPECT_EQ(sim.prompt_after("vers").rfind("VELM5-PLUS", 0), 0u) << "the controller does not answer after *RESET";
    // An empty slot draws nothing: the red pixel saved before must not come
    // back.
    EXPECT_EQ(sim.prompt_after("wr 0 0 1"), ">\r");
    EXPECT_NE(sim.prompt_after("pr 5 6"), "F80000\r>\r") << "the save slot in RAM survived the restart";
}

}  // namespace
