#include "farend.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

// Bytes from a host thread into the UART, on the firmware thread.
void deliver(Machine& m, Uart& uart, const uint8_t* data, size_t n, uint32_t rate)
{
    std::vector<uint8_t> bytes(data, data + n);
    m.post([&uart, bytes = std::move(bytes), rate] { uart.receive(bytes.data(), bytes.size(), rate); });
}

void write_all(int fd, const uint8_t* p, size_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return;  // nobody reads, or the buffer is full: the byte is lost as on a line
        p += w;
        n -= static_cast<size_t>(w);
    }
}

// What the UART sends, handed to a far end's descriptor a line at a time:
// the bytes of one reply leave together, so that a host reading with a short
// time-out never sees a line cut in two because this process was held up
// between its bytes (the board sends them back to back).  A burst is handed
// over at its CR or when the transmitter has nothing more queued.
class LineOut {
public:
    void put(const Uart& uart, uint8_t wire_byte, uint8_t sent_byte, int fd)
    {
        pending_.push_back(wire_byte);
        if (sent_byte == '\r' || !uart.tx_queued() || pending_.size() >= kMax) {
            if (fd >= 0)
                write_all(fd, pending_.data(), pending_.size());
            pending_.clear();
        }
    }

private:
    static constexpr size_t kMax = 4096;
    std::vector<uint8_t> pending_;
};

uint32_t speed_of(speed_t s)
{
    switch (s) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    case B921600: return 921600;
    default: return 0;
    }
}

// A pseudo-terminal: any terminal program (or Dravik) opens its slave side
// as a serial port.  The rate the program sets on it is the host's rate.
class PtyFarEnd : public FarEnd {
public:
    PtyFarEnd(Uart& uart, Machine& m, int master, int slave, std::string path)
        : uart_(uart), m_(m), master_(master), slave_(slave), path_(std::move(path))
    {
        uart_.add_listener([this](uint8_t b) { send(b); });
        std::thread([this] { read_loop(); }).detach();
    }
    std::string where() const override { return path_; }
    std::string handover() const override
    {
        return "pty:" + std::to_string(master_) + ":" + std::to_string(slave_) + ":" + path_;
    }
    std::vector<int> descriptors() const override { return {master_, slave_}; }

private:
    uint32_t host_rate() const
    {
        struct termios t {};
        if (tcgetattr(slave_, &t) != 0)
            return 0;
        return speed_of(cfgetospeed(&t));
    }

    void send(uint8_t b)
    {
        uint32_t host = host_rate();
        uint32_t mine = uart_.rate();
        uint8_t wire = b;
        if (host && (host * 100ull > mine * 103ull || host * 103ull < mine * 100ull))
            wire = static_cast<uint8_t>((b * 53u) ^ 0xA5);  // what a receiver at the wrong rate makes of it
        out_.put(uart_, wire, b, master_);
    }

    void read_loop()
    {
        uint8_t buf[512];
        for (;;) {
            struct pollfd p = {master_, POLLIN, 0};
            if (poll(&p, 1, -1) < 0 && errno != EINTR)
                return;
            ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0)
                deliver(m_, uart_, buf, static_cast<size_t>(n), host_rate());
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                usleep(10000);
        }
    }

    Uart& uart_;
    Machine& m_;
    int master_;
    int slave_;  // kept open so the terminal stays up between clients
    std::string path_;
    LineOut out_;
};

class TcpFarEnd : public FarEnd {
public:
    TcpFarEnd(Uart& uart, Machine& m, int listener, int port, int client = -1)
        : uart_(uart), m_(m), listener_(listener), port_(port)
    {
        uart_.add_listener([this](uint8_t b) { out_.put(uart_, b, b, client_); });
        if (client >= 0) {
            client_ = client;
            std::thread([this, client] { read_loop(client); }).detach();
        }
        std::thread([this] { accept_loop(); }).detach();
    }
    std::string where() const override { return "127.0.0.1:" + std::to_string(port_); }
    std::string handover() const override
    {
        return "tcp:" + std::to_string(listener_) + ":" + std::to_string(port_) + ":" + std::to_string(client_.load());
    }
    std::vector<int> descriptors() const override
    {
        int c = client_;
        if (c >= 0)
            return {listener_, c};
        return {listener_};
    }

private:
    void accept_loop()
    {
        for (;;) {
            int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            int old = client_.exchange(fd);
            if (old >= 0)
                close(old);  // one host at a time: the newest wins
            std::thread([this, fd] { read_loop(fd); }).detach();
        }
    }

    void read_loop(int fd)
    {
        uint8_t buf[512];
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                deliver(m_, uart_, buf, static_cast<size_t>(n), 0);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            int expected = fd;
            if (client_.compare_exchange_strong(expected, -1))
                close(fd);
            return;
        }
    }

    Uart& uart_;
    Machine& m_;
    int listener_;
    int port_;
    std::atomic<int> client_{-1};
    LineOut out_;
};

class StdioFarEnd : public FarEnd {
public:
    StdioFarEnd(Uart& uart, Machine& m) : uart_(uart), m_(m)
    {
        uart_.add_listener([this](uint8_t b) { out_.put(uart_, b, b, 1); });
        std::thread([this] {
            uint8_t buf[512];
            for (;;) {
                ssize_t n = ::read(0, buf, sizeof buf);
                if (n > 0)
                    deliver(m_, uart_, buf, static_cast<size_t>(n), 0);
                else if (n == 0 || errno != EINTR)
                    return;
            }
        }).detach();
    }
    std::string where() const override { return "stdio"; }
    std::string handover() const override { return "stdio"; }

private:
    Uart& uart_;
    Machine& m_;
    LineOut out_;
};

class NoFarEnd : public FarEnd {
public:
    std::string where() const override { return "none"; }
    std::string handover() const override { return "none"; }
};

}  // namespace

std::unique_ptr<FarEnd> open_far_end(const std::string& far_end, Uart& uart, Machine& m, std::string* error)
{
    if (far_end == "none")
        return std::make_unique<NoFarEnd>();
    if (far_end == "stdio")
        return std::make_unique<StdioFarEnd>(uart, m);
    if (far_end == "pty") {
        int master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            *error = std::string("cannot make a pseudo-terminal: ") + std::strerror(errno);
            return nullptr;
        }
        std::string path = ptsname(master);
        int slave = open(path.c_str(), O_RDWR | O_NOCTTY);
        if (slave < 0) {
            *error = "cannot open " + path + ": " + std::strerror(errno);
            return nullptr;
        }
        // A serial line passes bytes as they are: no echo, no line editing.
        struct termios t {};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        tcsetattr(slave, TCSANOW, &t);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        return std::make_unique<PtyFarEnd>(uart, m, master, slave, path);
    }
    if (far_end.rfind("tcp:", 0) == 0) {
        const bool any = far_end == "tcp:auto";
        int port = any ? 0 : std::stoi(far_end.substr(4));
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 1) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            *error = "cannot listen on 127.0.0.1:" + (any ? std::string("a port of the system's choice")
                                                          : std::to_string(port)) +
                     ": " + std::strerror(errno);
            if (fd >= 0)
                close(fd);
            return nullptr;
        }
        port = ntohs(a.sin_port);
        return std::make_unique<TcpFarEnd>(uart, m, fd, port);
    }
    *error = "unknown far end '" + far_end + "'";
    return nullptr;
}

std::unique_ptr<FarEnd> adopt_far_end(const std::string& handover, Uart& uart, Machine& m, std::string* error)
{
    if (handover == "none" || handover == "stdio")
        return open_far_end(handover, uart, m, error);
    int a = -1, b = -1, c = -1, n = 0;
    if (std::sscanf(handover.c_str(), "pty:%d:%d:%n", &a, &b, &n) == 2 && n > 0)
        return std::make_unique<PtyFarEnd>(uart, m, a, b, handover.substr(static_cast<size_t>(n)));
    if (std::sscanf(handover.c_str(), "tcp:%d:%d:%d", &a, &b, &c) == 3)
        return std::make_unique<TcpFarEnd>(uart, m, a, b, c);
    *error = "cannot take over the far end '" + handover + "'";
    return nullptr;
}

}  // namespace sim
