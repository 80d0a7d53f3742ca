// A simulator program (build/host/bin/<build>, or arm-board with a board
// image) as a child process, spoken to as a user's script speaks to it: its
// command port over TCP, its panel page's endpoints over HTTP.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <sys/types.h>
#include <termios.h>

namespace fwtest {

using Clock = std::chrono::steady_clock;

// A connection to 127.0.0.1:port, or -1.
int connect_to(int port);
// Reads what fd sends until pred holds, EOF, or the time is up.
std::string read_until(int fd, const std::function<bool(const std::string&)>& pred, std::chrono::milliseconds limit);

struct Reply {
    int status = 0;
    std::string type;
    std::string body;
};
// One HTTP request to 127.0.0.1:port.
Reply http(int port, const std::string& method, const std::string& target);

// A flat view of a JSON document: "touch.x" -> "12", "leds.status" -> "true".
std::map<std::string, std::string> flat_json(const std::string& j);

struct Bmp {
    bool valid = false;
    std::string problem;
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;  // 0xRRGGBB, top row first
};
Bmp parse_bmp(const std::string& file);

// In a child process: becomes the program args[0] run with args; returns
// only when that fails.
void exec_program(std::vector<std::string> args);
// The arguments a tree gives a simulator program before its options
// (arm-board: "--image FILE"), written with '|' between them.
std::vector<std::string> split_arguments(const std::string& text);

// Whether what a host got so far ends with a prompt (">", "!" or "#", CR).
bool ends_with_prompt(const std::string& s);

// The command port as a host holds it: one connection, lines sent each
// after the prompt of the one before.
class CommandPort {
public:
    explicit CommandPort(int port);
    ~CommandPort();
    CommandPort(const CommandPort&) = delete;
    CommandPort& operator=(const CommandPort&) = delete;

    bool connected() const { return fd_ >= 0; }
    // Sends line and CR; returns what came back up to the prompt (or all
    // that came before the time was up).
    std::string command(const std::string& line, std::chrono::milliseconds limit = std::chrono::seconds(60));
    // What the board sends until pred holds or the time is up (a report
    // that comes on its own, such as a touch).
    std::string read(const std::function<bool(const std::string&)>& pred, std::chrono::milliseconds limit);

private:
    int fd_;
};

// A simulator program with its command port (UART1) on a pseudo-terminal
// that the test opens as a host opens a serial line; UART2 off, no panel
// page, fresh flash and EEPROM files in a folder of its own.
class PtyProgram {
public:
    // program_and_args: the executable and what it takes before its
    // options (arm-board: --image FILE).
    PtyProgram(std::vector<std::string> program_and_args, const std::string& speed);
    ~PtyProgram();
    PtyProgram(const PtyProgram&) = delete;
    PtyProgram& operator=(const PtyProgram&) = delete;

    // The pseudo-terminal the program named, empty when it named none.
    const std::string& path() const { return path_; }
    // Opens the port raw at rate; the descriptor, or -1.  The port is
    // closed with the object.
    int open_port(speed_t rate);
    int fd() const { return fd_; }

private:
    std::string dir_, path_;
    pid_t pid_ = -1;
    int fd_ = -1;
};

class SimulatorProgram {
public:
    struct Options {
        std::string program;            // the executable
        std::vector<std::string> args;  // given first (arm-board: --image FILE)
        bool http = true;               // serve the panel page (on a port the system picks)
        int http_port = 0;              // that port instead
        int uart_port = 0;              // the command port on that TCP port instead
        std::string speed = "realtime";
        std::string straps = "plain";
        std::string sd;                 // card image, empty: no card
        std::string flash;              // empty: a fresh file in its own folder
    };

    // Starts the program with its command port on a TCP port that the
    // system picks, UART2 off, fresh flash (unless given) and EEPROM files;
    // the ports are read from the lines the program prints.
    explicit SimulatorProgram(const Options& options);
    ~SimulatorProgram();
    SimulatorProgram(const SimulatorProgram&) = delete;
    SimulatorProgram& operator=(const SimulatorProgram&) = delete;

    // Why the program did not start, empty when it did.
    const std::string& problem() const { return problem_; }
    int http_port() const { return http_port_; }
    int uart_port() const { return uart_port_; }
    pid_t pid() const { return pid_; }
    const std::string& folder() const { return dir_; }
    const std::string& printed() const { return stdout_; }
    // What the program said on standard error so far, waiting up to wait
    // for a line when nothing new has come.
    std::string errors(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    bool running();
    // Ends the program (its files stay until the object goes).
    void stop();

    std::map<std::string, std::string> state() { return flat_json(http(http_port_, "GET", "/state").body); }
    // The panel's picture from /screen.bmp.
    Bmp screen();

    // Asks "vers" on the command port until the firmware, done starting,
    // answers with a line that holds version; returns what came back.
    std::string until_answering(const std::string& version = "VELM5-PLUS V");
    // Sends command lines as a host does, each after the prompt of the one
    // before; returns everything that came back.
    std::string send_lines(const std::vector<std::string>& lines);

private:
    void start();

    Options options_;
    int http_port_ = 0, uart_port_ = 0;
    std::string problem_;
    std::string dir_;
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    std::string stdout_, stderr_;
};

}  // namespace fwtest
