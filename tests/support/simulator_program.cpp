#include "support/simulator_program.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fwtest {

using namespace std::chrono_literals;

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

void exec_program(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
}

std::vector<std::string> split_arguments(const std::string& text)
{
    std::vector<std::string> args;
    for (size_t at = 0; at < text.size();) {
        const size_t bar = text.find('|', at);
        args.push_back(text.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
        at = bar == std::string::npos ? text.size() : bar + 1;
    }
    return args;
}

bool ends_with_prompt(const std::string& s)
{
    return s.size() >= 2 && s.back() == '\r' && std::strchr(">!#", s[s.size() - 2]) != nullptr;
}

// ------------------------------------------------------------ command port

CommandPort::CommandPort(int port) : fd_(-1)
{
    // The program may still be opening its far ends.
    for (int i = 0; i < 100 && fd_ < 0; ++i) {
        fd_ = connect_to(port);
        if (fd_ < 0)
            std::this_thread::sleep_for(100ms);
    }
}

CommandPort::~CommandPort()
{
    if (fd_ >= 0)
        close(fd_);
}

std::string CommandPort::command(const std::string& line, std::chrono::milliseconds limit)
{
    const std::string bytes = line + "\r";
    if (fd_ < 0 || write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        return "(the command port does not accept a host)";
    return read_until(fd_, ends_with_prompt, limit);
}

std::string CommandPort::read(const std::function<bool(const std::string&)>& pred, std::chrono::milliseconds limit)
{
    return fd_ < 0 ? "" : read_until(fd_, pred, limit);
}

// ------------------------------------------------------------ the program

SimulatorProgram::SimulatorProgram(const Options& options) : options_(options)
{
    char dir[] = "/tmp/velm-program-XXXXXX";
    dir_ = mkdtemp(dir);
    start();
    // "uart1 127.0.0.1:PORT" and "http http://127.0.0.1:PORT/".
    auto printed_port = [this](const std::string& prefix) {
        size_t at = stdout_.find(prefix);
        return at == std::string::npos ? 0 : std::atoi(stdout_.c_str() + at + prefix.size());
    };
    uart_port_ = printed_port("uart1 127.0.0.1:");
    http_port_ = options_.http ? printed_port("http http://127.0.0.1:") : 0;
    if (uart_port_ <= 0 || (options_.http && http_port_ <= 0)) {
        problem_ = options_.program + " printed \"" + stdout_ + "\" and on standard error \"" + errors(2s) + "\"";
        stop();
    }
}

SimulatorProgram::~SimulatorProgram()
{
    stop();
    std::system(("rm -rf " + dir_).c_str());
}

std::string SimulatorProgram::errors(std::chrono::milliseconds wait)
{
    if (err_ >= 0)
        stderr_ += read_until(
            err_, [](const std::string& s) { return !s.empty() && s.back() == '\n'; },
            std::max(wait, std::chrono::milliseconds(1)));
    return stderr_;
}

bool SimulatorProgram::running()
{
    return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0;
}

Bmp SimulatorProgram::screen()
{
    Reply r = http(http_port_, "GET", "/screen.bmp");
    if (r.status != 200 || r.type != "image/bmp") {
        Bmp b;
        b.problem = "GET /screen.bmp answered " + std::to_string(r.status) + " " + r.type;
        return b;
    }
    return parse_bmp(r.body);
}

std::string SimulatorProgram::until_answering(const std::string& version)
{
    CommandPort port(uart_port_);
    if (!port.connected())
        return "(the command port does not accept a host)";
    // Start-up takes its virtual seconds, in real time or longer where the
    // board runs under emulation.
    std::string got;
    for (auto end = Clock::now() + 120s; Clock::now() < end && got.find(version) == std::string::npos;)
        got += port.command("vers", 1s);
    return got;
}

std::string SimulatorProgram::send_lines(const std::vector<std::string>& lines)
{
    CommandPort port(uart_port_);
    if (!port.connected())
        return "(the command port does not accept a host)";
    std::string got;
    for (const std::string& l : lines) {
        std::string reply = port.command(l, 30s);
        got += reply;
        if (reply.empty())
            break;
    }
    return got;
}

void SimulatorProgram::start()
{
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        std::abort();
    std::vector<std::string> args = {options_.program};
    args.insert(args.end(), options_.args.begin(), options_.args.end());
    const std::vector<std::string> common = {
        "--http", !options_.http ? "0" : options_.http_port ? std::to_string(options_.http_port) : "auto",
        "--uart1", options_.uart_port ? "tcp:" + std::to_string(options_.uart_port) : "tcp:auto", "--uart2", "none",
        "--speed", options_.speed, "--straps", options_.straps,
        "--flash", options_.flash.empty() ? dir_ + "/flash.bin" : options_.flash,
        "--eeprom", dir_ + "/eeprom.bin"};
    args.insert(args.end(), common.begin(), common.end());
    if (!options_.sd.empty()) {
        args.push_back("--sd");
        args.push_back(options_.sd);
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        exec_program(args);
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
    fcntl(err_, F_SETFL, O_NONBLOCK);
    // The lines come out together once everything is ready.
    const bool http = options_.http;
    stdout_ = read_until(
        out_,
        [http](const std::string& s) {
            return s.find(http ? "http " : "uart2 ") != std::string::npos && s.back() == '\n';
        },
        30s);
}

void SimulatorProgram::stop()
{
    if (pid_ > 0) {
        int status = 0;
        kill(pid_, SIGTERM);
        waitpid(pid_, &status, 0);
        if (!problem_.empty() && WIFEXITED(status))
            problem_ += ", exit status " + std::to_string(WEXITSTATUS(status));
        pid_ = -1;
    }
    if (out_ >= 0)
        close(out_);
    if (err_ >= 0) {
        stderr_ += read_until(err_, [](const std::string&) { return false; }, 10ms);
        close(err_);
    }
    out_ = err_ = -1;
}

}  // namespace fwtest

namespace fwtest {

PtyProgram::PtyProgram(std::vector<std::string> args, const std::string& speed)
{
    char tmpl[] = "/tmp/velm-pty-XXXXXX";
    if (!mkdtemp(tmpl))
        return;
    dir_ = tmpl;
    int out[2];
    if (pipe(out) != 0)
        return;
    for (const std::string& a : std::vector<std::string>{"--http", "0", "--uart1", "pty", "--uart2", "none", "--speed",
                                                         speed, "--flash", dir_ + "/flash.bin", "--eeprom",
                                                         dir_ + "/eeprom.bin"})
        args.push_back(a);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], 1);
        close(out[0]);
        exec_program(args);
        _exit(127);
    }
    close(out[1]);
    // The program's first line names the port: "uart1 PATH".
    std::string line =
        read_until(out[0], [](const std::string& s) { return s.find('\n') != std::string::npos; }, std::chrono::minutes(4));
    close(out[0]);
    line = line.substr(0, line.find('\n') + 1);
    if (line.rfind("uart1 ", 0) == 0 && line.back() == '\n')
        path_ = line.substr(6, line.size() - 7);
}

PtyProgram::~PtyProgram()
{
    if (fd_ >= 0)
        close(fd_);
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (!dir_.empty())
        std::system(("rm -rf " + dir_).c_str());
}

int PtyProgram::open_port(speed_t rate)
{
    if (fd_ < 0 && !path_.empty())
        fd_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
    if (fd_ < 0)
        return -1;
    struct termios t {};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, rate);
    cfsetospeed(&t, rate);
    return tcsetattr(fd_, TCSANOW, &t) == 0 ? fd_ : -1;
}

}  // namespace fwtest
