// The simulator program's endpoints as a script or a test uses them: the
// real program in real time as a child process, spoken to over HTTP.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kWidth = 800, kHeight = 480;
const char* const kVersion = "VELM5-PLUS V1.5.8 WVGA";

// A port on 127.0.0.1 that is free just now, below the range the system
// hands out to outgoing connections, so that no client of a test running
// beside this one takes it before the simulator listens on it.
int free_port()
{
    static unsigned seed = static_cast<unsigned>(getpid()) * 2654435761u;
    for (;;) {
        seed = seed * 1103515245u + 12345u;
        int port = 20000 + static_cast<int>((seed >> 8) % 12000);
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(fd);
        if (ok)
            return port;
    }
}

int connect_to(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Reads what fd sends until pred holds, EOF, or the time is up.
std::string read_until(int fd, const std::function<bool(const std::string&)>& pred, std::chrono::milliseconds limit)
{
    std::string got;
    auto end = Clock::now() + limit;
    while (!pred(got)) {
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
        if (left <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, left) <= 0)
            break;
        char buf[65536];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

struct Reply {
    int status = 0;
    std::string type;
    std::string body;
};

Reply http(int port, const std::string& method, const std::string& target)
{
    Reply r;
    int fd = connect_to(port);
    if (fd < 0)
        return r;
    std::string req = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                      (method == "POST" ? "Content-Length: 0\r\n" : "") + "\r\n";
    if (write(fd, req.data(), req.size()) != static_cast<ssize_t>(req.size())) {
        close(fd);
        return r;
    }
    std::string raw = read_until(fd, [](const std::string&) { return false; }, 10s);
    close(fd);
    size_t head = raw.find("\r\n\r\n");
    if (raw.rfind("HTTP/1.1 ", 0) != 0 || head == std::string::npos)
        return r;
    r.status = std::atoi(raw.c_str() + 9);
    r.body = raw.substr(head + 4);
    std::string headers = raw.substr(0, head);
    size_t ct = headers.find("Content-Type: ");
    if (ct != std::string::npos)
        r.type = headers.substr(ct + 14, headers.find("\r\n", ct) - ct - 14);
    return r;
}

// A flat view of a JSON document: "touch.x" -> "12", "leds.status" -> "true".
std::map<std::string, std::string> flat_json(const std::string& j)
{
    std::map<std::string, std::string> out;
    std::vector<std::string> path;
    std::string key;
    for (size_t i = 0; i < j.size(); ++i) {
        char c = j[i];
        if (c == '"') {
            size_t e = j.find('"', i + 1);
            key = j.substr(i + 1, e - i - 1);
            i = e + 1;  // at ':'
            if (j[i + 1] == '{') {
                path.push_back(key);
                ++i;
                continue;
            }
            size_t v = i + 1, ve = j.find_first_of(",}", v);
            std::string name;
            for (auto& p : path)
                name += p + ".";
            out[name + key] = j.substr(v, ve - v);
            i = ve - 1;
        } else if (c == '}' && !path.empty()) {
            path.pop_back();
        }
    }
    return out;
}

// The reference build on the simulated board, in real time, with its
// command port on a TCP socket and fresh flash and EEPROM files.
class Simulator {
public:
    // http_port 0: a free one.  A port that another test took meanwhile is
    // not this program's fault: then it starts again on other ports.
    explicit Simulator(int http_port = 0)
    {
        char dir[] = "/tmp/velm-web-XXXXXX";
        dir_ = mkdtemp(dir);
        for (int attempt = 0; attempt < 5; ++attempt) {
            http_port_ = http_port ? http_port : free_port();
            uart_port_ = free_port();
            start();
            bool listening = stdout_.find("uart1 127.0.0.1:") != std::string::npos &&
                             (http_port || stdout_.find("http ") != std::string::npos);
            if (listening) {
                problem_.clear();
                return;
            }
            problem_ = "the simulator printed \"" + stdout_ + "\" and on standard error \"" + errors() + "\"";
            stop();
        }
    }
    // Why the program did not start, empty when it did.
    const std::string& problem() const { return problem_; }
    ~Simulator()
    {
        stop();
        std::system(("rm -rf " + dir_).c_str());
    }

    int http_port() const { return http_port_; }
    int uart_port() const { return uart_port_; }
    pid_t pid() const { return pid_; }
    const std::string& printed() const { return stdout_; }
    std::string errors()
    {
        return read_until(err_, [](const std::string& s) { return s.find('\n') != std::string::npos; }, 2s);
    }
    bool running() { return waitpid(pid_, nullptr, WNOHANG) == 0; }

    std::map<std::string, std::string> state() { return flat_json(http(http_port_, "GET", "/state").body); }

    // Asks "vers" on the command port until the firmware, done starting,
    // answers; returns what came back.
    std::string until_answering()
    {
        int fd = -1;
        for (int i = 0; i < 50 && fd < 0; ++i) {
            fd = connect_to(uart_port_);
            if (fd < 0)
                std::this_thread::sleep_for(100ms);
        }
        if (fd < 0)
            return "(the command port does not accept a host)";
        // Start-up takes its virtual seconds in real time, and longer where
        // the board runs under user-mode emulation.
        std::string got;
        for (auto end = Clock::now() + 60s; Clock::now() < end && got.find(kVersion) == std::string::npos;) {
            if (write(fd, "vers\r", 5) != 5)
                break;
            got += read_until(fd, [](const std::string& s) { return s.find(kVersion) != std::string::npos; }, 1s);
        }
        close(fd);
        return got;
    }

    // Sends command lines on the command port as a host does, each after
    // the prompt of the one before; returns everything that came back.
    std::string send_lines(const std::vector<std::string>& lines)
    {
        int fd = connect_to(uart_port_);
        if (fd < 0)
            return "(the command port does not accept a host)";
        std::string got;
        for (const std::string& l : lines) {
            std::string line = l + "\r";
            if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
                break;
            size_t from = got.size();
            got += read_until(
                fd, [](const std::string& s) { return s.size() >= 2 && s.back() == '\r' && s.find_first_of(">!#", s.size() - 2) == s.size() - 2; },
                30s);
            if (got.size() == from)
                break;
        }
        close(fd);
        return got;
    }

private:
    void start()
    {
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0)
            std::abort();
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            close(out[0]);
            close(err[0]);
            std::string http = std::to_string(http_port_), uart = "tcp:" + std::to_string(uart_port_);
            std::string flash = dir_ + "/flash.bin", eeprom = dir_ + "/eeprom.bin";
            execl(VELM_SIMULATOR, VELM_SIMULATOR, "--http", http.c_str(), "--uart1", uart.c_str(), "--uart2", "none",
                  "--speed", "realtime", "--flash", flash.c_str(), "--eeprom", eeprom.c_str(), (char*)nullptr);
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
        fcntl(err_, F_SETFL, O_NONBLOCK);
        // The lines come out together once everything is ready.
        stdout_ = read_until(
            out_, [](const std::string& s) { return s.find("uart2 ") != std::string::npos && s.back() == '\n'; }, 10s);
    }
    void stop()
    {
        if (pid_ > 0) {
            int status = 0;
            kill(pid_, SIGTERM);
            waitpid(pid_, &status, 0);
            if (!problem_.empty() && WIFEXITED(status))
                problem_ += ", exit status " + std::to_string(WEXITSTATUS(status));
            pid_ = -1;
        }
        close(out_);
        close(err_);
        out_ = err_ = -1;
    }

    int http_port_ = 0, uart_port_ = 0;
    std::string problem_;
    std::string dir_;
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    std::string stdout_;
};

struct Bmp {
    bool valid = false;
    std::string problem;
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;  // top row first
};

Bmp parse_bmp(const std::string& f)
{
    Bmp b;
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, f.data() + at, 4);
        return v;
    };
    if (f.size() < 54 || f.compare(0, 2, "BM") != 0) {
        b.problem = "no BMP file header";
        return b;
    }
    int32_t h;
    std::memcpy(&h, f.data() + 22, 4);
    b.width = static_cast<int>(u32(18));
    b.height = h < 0 ? -h : h;
    uint16_t bpp;
    std::memcpy(&bpp, f.data() + 28, 2);
    uint32_t row = (b.width * 3 + 3) & ~3u, off = u32(10);
    if (u32(14) < 40 || bpp != 24 || u32(30) != 0)
        b.problem = "not an uncompressed 24-bit BMP (bpp " + std::to_string(bpp) + ")";
    else if (u32(2) != f.size() || off + row * b.height > f.size())
        b.problem = "BMP sizes disagree with the file's length";
    if (!b.problem.empty())
        return b;
    for (int y = 0; y < b.height; ++y) {
        const uint8_t* r = reinterpret_cast<const uint8_t*>(f.data()) + off + row * (h < 0 ? y : b.height - 1 - y);
        for (int x = 0; x < b.width; ++x)
            b.rgb.push_back(static_cast<uint32_t>(r[3 * x + 2]) << 16 | r[3 * x + 1] << 8 | r[3 * x]);
    }
    b.valid = true;
    return b;
}

// The first pixel where two pictures differ, for a readable failure.
std::string first_difference(const std::vector<uint32_t>& got, const std::vector<uint32_t>& want)
{
    if (got.size() != want.size())
        return std::to_string(got.size()) + " pixels instead of " + std::to_string(want.size());
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i]) {
            char b[96];
            std::snprintf(b, sizeof b, "pixel %zu,%zu is %06X, the panel shows %06X", i % kWidth, i / kWidth,
                          got[i], want[i]);
            return b;
        }
    return "";
}

TEST(Simulator, PrintsItsPortsAndThePageAddress)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    std::string want = "uart1 127.0.0.1:" + std::to_string(s.uart_port()) + "\nuart2 none\nhttp http://127.0.0.1:" +
                       std::to_string(s.http_port()) + "/\n";
    EXPECT_EQ(s.printed(), want) << "the program did not say where its command port and panel page are";
}

// A picture drawn on the panel as a host draws it: filled rectangles in
// the given colours (x1 y1 x2 y2 RRGGBB, corners inclusive), over black.
struct Fill {
    int x1, y1, x2, y2;
    uint32_t rgb;
};

std::vector<std::string> fill_lines(const std::vector<Fill>& fills)
{
    std::vector<std::string> lines = {"r 0 0 799 479 1 000000"};
    for (const Fill& f : fills) {
        char b[64];
        std::snprintf(b, sizeof b, "r %d %d %d %d 1 %06X", f.x1, f.y1, f.x2, f.y2, f.rgb);
        lines.push_back(b);
    }
    return lines;
}

std::vector<uint32_t> picture_of(const std::vector<Fill>& fills)
{
    std::vector<uint32_t> v(kWidth * kHeight, 0);
    for (const Fill& f : fills)
        for (int y = f.y1; y <= f.y2; ++y)
            for (int x = f.x1; x <= f.x2; ++x)
                v[y * kWidth + x] = f.rgb;
    return v;
}

// Asks for /screen.bmp until it shows want (the panel lit) or black (the
// panel without power), or the time is up; returns the last difference.
std::string until_screen_shows(Simulator& s, const std::vector<uint32_t>& want)
{
    std::string diff = "no picture";
    for (auto end = Clock::now() + 30s; Clock::now() < end; std::this_thread::sleep_for(100ms)) {
        bool powered = s.state()["panel_power"] == "true";
        Reply r = http(s.http_port(), "GET", "/screen.bmp");
        if (r.status != 200 || r.type != "image/bmp")
            return "GET /screen.bmp answered " + std::to_string(r.status) + " " + r.type;
        Bmp b = parse_bmp(r.body);
        if (!b.valid)
            return "/screen.bmp: " + b.problem;
        if (b.width != kWidth || b.height != kHeight)
            return "/screen.bmp is " + std::to_string(b.width) + "x" + std::to_string(b.height);
        diff = first_difference(b.rgb, powered ? want : std::vector<uint32_t>(want.size(), 0));
        if (diff.empty())
            return diff;
    }
    return diff;
}

TEST(Endpoints, ScreenBmpIsThePanelPicture)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    ASSERT_NE(s.until_answering().find(kVersion), std::string::npos) << "the firmware does not answer vers";

    // Quadrants and a small mark near a corner: a picture upside down,
    // mirrored or shifted by a pixel differs from it.
    const std::vector<std::vector<Fill>> pictures = {
        {{0, 0, 399, 239, 0xFF0000}, {400, 0, 799, 239, 0x00FF00}, {0, 240, 399, 479, 0x0000FF},
         {400, 240, 799, 479, 0xFFFFFF}, {1, 2, 3, 4, 0x00FFFF}},
        {{0, 0, 799, 0, 0xFFFF00}, {0, 479, 799, 479, 0xFF00FF}, {100, 100, 699, 379, 0x00FFFF}},
    };
    for (size_t i = 0; i < pictures.size(); ++i) {
        std::string replies = s.send_lines(fill_lines(pictures[i]));
        ASSERT_EQ(replies.find('!'), std::string::npos) << "drawing picture " << i << " was refused: " << replies;
        EXPECT_EQ(until_screen_shows(s, picture_of(pictures[i])), "")
            << "/screen.bmp is not the picture the panel shows (picture " << i << ")";
    }
}

TEST(Endpoints, StateDescribesTheBoard)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    auto wall0 = Clock::now();
    Reply r = http(s.http_port(), "GET", "/state");
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.type, "application/json");
    auto st = flat_json(r.body);
    const char* booleans[] = {"panel_power", "leds.status", "leds.sd", "tone.on", "card_present", "touch.down"};
    for (const char* f : booleans)
        EXPECT_TRUE(st[f] == "true" || st[f] == "false") << "/state field " << f << " is not a boolean: " << r.body;
    const char* numbers[] = {"backlight", "tone.hz", "touch.x", "touch.y", "time_ns", "width", "height"};
    for (const char* f : numbers)
        EXPECT_FALSE(st[f].empty() || st[f].find_first_not_of("0123456789.") != std::string::npos)
            << "/state field " << f << " is not a number: " << r.body;
    EXPECT_EQ(st["width"], "800");
    EXPECT_EQ(st["height"], "480");
    EXPECT_EQ(st["card_present"], "false") << "a card in the slot without --sd";
    EXPECT_EQ(st["touch.down"], "false") << "a finger on the panel at power-on";
    // In real time the board's clock runs, but never ahead of the wall
    // clock (a slow or busy host may hold it back).
    std::this_thread::sleep_for(300ms);
    double t0 = std::atof(st["time_ns"].c_str()), t1 = std::atof(s.state()["time_ns"].c_str());
    double wall = std::chrono::duration<double, std::nano>(Clock::now() - wall0).count();
    EXPECT_GT(t1 - t0, 0) << "virtual time in /state stood still in real time";
    EXPECT_LT(t1 - t0, wall + 10e6) << "virtual time in /state ran ahead of the wall clock in real time";
}

TEST(Endpoints, TouchPutsTheFingerOnThePanel)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    struct Case {
        int x, y, down;
    };
    // A press, a drag and a release.
    const std::vector<Case> cases = {{100, 200, 1}, {150, 210, 1}, {799, 479, 1}, {0, 0, 1}, {0, 0, 0}};
    for (const Case& c : cases) {
        std::string q = "x=" + std::to_string(c.x) + "&y=" + std::to_string(c.y) + "&down=" + std::to_string(c.down);
        Reply r = http(s.http_port(), "POST", "/touch?" + q);
        ASSERT_EQ(r.status, 200) << "POST /touch?" << q << ": " << r.body;
        auto st = s.state();
        EXPECT_EQ(st["touch.x"] + "," + st["touch.y"] + "," + st["touch.down"],
                  std::to_string(c.x) + "," + std::to_string(c.y) + "," + (c.down ? "true" : "false"))
            << "/state does not show the finger of POST /touch?" << q;
        EXPECT_EQ(flat_json(r.body)["touch.x"], std::to_string(c.x)) << "POST /touch answered an older state";
    }
}

TEST(Endpoints, CardSwitchesTheSlot)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    for (int present : {1, 0, 1}) {
        Reply r = http(s.http_port(), "POST", "/card?present=" + std::to_string(present));
        ASSERT_EQ(r.status, 200) << r.body;
        EXPECT_EQ(s.state()["card_present"], present ? "true" : "false")
            << "/state does not show the card of POST /card?present=" << present;
    }
}

TEST(Endpoints, RefuseWhatTheyCannotDo)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    struct Case {
        const char* method;
        const char* target;
        int status;
    };
    const std::vector<Case> cases = {
        {"POST", "/touch?x=1&y=2", 400},          {"POST", "/touch?x=800&y=0&down=1", 400},
        {"POST", "/touch?x=-1&y=0&down=1", 400},  {"POST", "/touch?x=1&y=2&down=2", 400},
        {"GET", "/touch?x=1&y=2&down=1", 405},    {"POST", "/card?present=yes", 400},
        {"POST", "/card", 400},                   {"POST", "/state", 405},
        {"GET", "/no-such-thing", 404},
    };
    for (const Case& c : cases)
        EXPECT_EQ(http(s.http_port(), c.method, c.target).status, c.status) << c.method << " " << c.target;
    EXPECT_EQ(s.state()["touch.down"], "false") << "a refused /touch moved the finger";
}

TEST(Endpoints, ServeThePanelPage)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    Reply r = http(s.http_port(), "GET", "/");
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.type, "text/html; charset=utf-8");
    for (const char* part : {"<canvas id=\"screen\"", "/ws", "id=\"console1\"", "id=\"card\""})
        EXPECT_NE(r.body.find(part), std::string::npos) << "the panel page lacks " << part;
}

TEST(Simulator, GoesOnWithoutThePageWhenItsPortIsBusy)
{
    Simulator first;
    ASSERT_EQ(first.problem(), "") << "the simulator did not start";
    Simulator second(first.http_port());  // the same panel-page port
    EXPECT_NE(second.errors().find("cannot serve the panel page on 127.0.0.1:" + std::to_string(first.http_port())),
              std::string::npos)
        << "a busy panel-page port was not reported";
    EXPECT_EQ(second.printed().find("http "), std::string::npos) << "an address was printed for a page not served";
    ASSERT_TRUE(second.running()) << "the program stopped because its panel-page port was busy";
    std::string got = second.until_answering();
    EXPECT_NE(got.find(kVersion), std::string::npos) << "the firmware does not answer vers: " << got;
}

}  // namespace
