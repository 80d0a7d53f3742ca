#include "fake_controller.h"

#include "format/crc16.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

// ------------------------------------------------------------ FakeController

FakeController::FakeController(Script script) : m_script(std::move(script))
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        if (master >= 0)
            close(master);
        return;
    }
    m_slavePath = ptsname(master);
    m_slave = open(m_slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (m_slave < 0) {
        close(master);
        return;
    }
    // A serial line passes bytes as they are, whoever opens it.
    termios t{};
    tcgetattr(m_slave, &t);
    cfmakeraw(&t);
    tcsetattr(m_slave, TCSANOW, &t);
    m_master = master;
    m_thread = std::thread([this] { Run(); });
}

FakeController::~FakeController()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    if (m_thread.joinable())
        m_thread.join();
    if (m_slave >= 0)
        close(m_slave);
    if (m_master >= 0)
        close(m_master);
}

std::vector<std::string> FakeController::Lines() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

void FakeController::Send(const std::string& bytes) { WriteAll(bytes); }

void FakeController::WriteAll(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

void FakeController::Run()
{
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop)
                return;
        }
        pollfd p{m_master, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN))
            continue;
        char buffer[4096];
        const ssize_t n = read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        for (ssize_t i = 0; i < n; i++) {
            if (buffer[i] != '\r') {
                m_partial += buffer[i];
                continue;
            }
            const std::string line = m_partial;
            m_partial.clear();
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_lines.push_back(line);
            }
            WriteAll(m_script(line));
        }
    }
}

// ------------------------------------------------------------ ScriptedController

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string Trimmed(const std::string& line)
{
    size_t a = 0, b = line.size();
    while (a < b && std::isspace(static_cast<unsigned char>(line[a])))
        a++;
    while (b > a && std::isspace(static_cast<unsigned char>(line[b - 1])))
        b--;
    return line.substr(a, b - a);
}

}  // namespace

ScriptedController::ScriptedController(uint32_t capacity, uint32_t block) : m_capacity(capacity), m_block(block) {}

FakeController::Script ScriptedController::Script()
{
    return [this](const std::string& line) { return Answer(line); };
}

std::vector<uint8_t> ScriptedController::Store() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_store;
}

std::vector<int> ScriptedController::ErasedBlocks() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_erased;
}

std::vector<std::string> ScriptedController::DataLines() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dataLines;
}

std::vector<uint32_t> ScriptedController::TransferStarts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_starts;
}

int ScriptedController::Loads() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_loads;
}

bool ScriptedController::InTransfer() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inTransfer;
}

std::vector<uint8_t> ScriptedController::Unescape(const std::string& line)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < line.size(); i++) {
        uint8_t b = uint8_t(line[i]);
        if (line[i] == ' ') {
            if (i + 1 == line.size())
                break;  // a blank at the end escapes nothing
            switch (line[++i]) {
            case '0': b = 0x00; break;
            case ' ': b = 0x20; break;
            case 'B': b = 0x08; break;
            case 'N': b = 0x0A; break;
            case 'R': b = 0x0D; break;
            case 'X': b = 0x11; break;
            case 'Y': b = 0x13; break;
            case '[': b = 0x1B; break;
            default: b = uint8_t(line[i]); break;
            }
        }
        bytes.push_back(b);
    }
    return bytes;
}

std::string ScriptedController::Answer(const std::string& line)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inTransfer ? DataLine(line) : Command(line);
}

std::string ScriptedController::Command(const std::string& raw)
{
    if (hook) {
        const std::string a = hook(raw);
        if (!a.empty())
            return a;
    }
    if (auto a = answers.find(raw); a != answers.end())
        return a->second;
    const std::string line = Trimmed(raw);
    unsigned key = 0, hi = 0, lo = 0;
    int block = 0, verbose = 0;
    if (line.empty())
        return ">\r";
    if (line == "vers")
        return versText + "\r>\r";
    if (line == "*ctype")
        return typeText + "\r>\r";
    if (line == "xmpmax")
        return "128\r>\r";
    if (line.rfind("xma", 0) == 0)
        return Format("%u %u %u %X\r>\r", m_capacity, m_block, m_capacity, 0xC8400000u);
    if (std::sscanf(line.c_str(), "xmc %x %d", &key, &block) == 2) {
        if (key != 0xFEEC && key != 0xFEEB)
            return ":invalid argument\r!\r";
        if (eraseAnswer) {
            const std::string a = eraseAnswer(block);
            if (!a.empty())
                return a;
        }
        if (block < 0 || uint64_t(block) * m_block >= m_capacity)
            return Format(":Erasing sector %d...\r:Erase sector %d failed\r!\r", block, block);
        m_erased.push_back(block);
        const size_t from = size_t(block) * m_block;
        if (m_store.size() > from)
            std::fill(m_store.begin() + long(from), m_store.begin() + long(std::min<size_t>(m_store.size(), from + m_block)),
                      0xFF);
        return Format(":Erasing sector %d... done\r>\r", block);
    }
    if (std::sscanf(line.c_str(), "xmp %x %x %d", &hi, &lo, &verbose) == 3) {
        m_inTransfer = true;
        m_transferLine = 0;
        m_address = hi * 65536u + lo;
        m_starts.push_back(m_address);
        return "p>\r";
    }
    if (line == "*CEXT") {
        const uint16_t word = m_store.size() >= 2 ? uint16_t(m_store[0] | m_store[1] << 8) : 0xFFFF;
        if (word != 0xFEEC)
            return Format(":Flash2 memory invalid (saw %04X, expected %04X)\r!\r", word, 0xFEEC);
        const uint32_t size = m_store.size() >= 8 ? uint32_t(m_store[4] | m_store[5] << 8 | m_store[6] << 16 |
                                                             uint32_t(m_store[7]) << 24)
                                                  : 0;
        if (size == 0 || size > m_store.size())
            return Format(":External memory invalid size 0x%08X\r!\r", size);
        return Format("0x%04X\r>\r", CRC16_Modbus(m_store.data(), size));
    }
    if (line == "*LOAD") {
        m_loads++;
        const bool valid = m_store.size() >= 2 && uint16_t(m_store[0] | m_store[1] << 8) == validityWord;
        return valid ? ">\r" : ":No .BIN file in flash or on SD card\r!\r";
    }
    if (line == "*prevCons")
        return "";
    return "!\r";
}

std::string ScriptedController::EndTransfer()
{
    m_inTransfer = false;
    const bool valid = m_store.size() >= 2 && uint16_t(m_store[0] | m_store[1] << 8) == validityWord;
    return valid ? ">\r" : ":invalid data in Flash\r!\r";
}

std::string ScriptedController::DataLine(const std::string& line)
{
    m_dataLines.push_back(line);
    const int number = m_transferLine++;
    if (dataAnswer) {
        const std::string a = dataAnswer(m_starts.empty() ? 0 : m_starts.back(), number, line);
        if (!a.empty()) {
            if (a.find("p>") == std::string::npos)
                m_inTransfer = false;
            return a;
        }
    }
    for (size_t i = 0; i + 1 < line.size(); i++) {
        if (line[i] == ' ' && (line[i + 1] == 'Q' || line[i + 1] == 'q'))
            return EndTransfer();
        if (line[i] == ' ')
            i++;
    }
    std::vector<uint8_t> bytes = Unescape(line);
    if (bytes.empty())
        return "p>\r";
    if (bytes.size() > 128) {
        m_inTransfer = false;
        return "\rInput buffer overflowed!\r!\r";
    }
    if (bytes.size() & 1) {
        m_inTransfer = false;
        return "\r!Internal error - odd flash write\r!\r";
    }
    if (uint64_t(m_address) + bytes.size() > m_capacity) {
        m_inTransfer = false;
        return "\rCannot write past end of external memory!\r!\r";
    }
    if (validityWord == 0xFEEC && bytes.size() == 2 && m_address == 0 && bytes[0] == 0xEB && bytes[1] == 0xFE)
        bytes[0] = 0xEC;
    if (m_store.size() < m_address + bytes.size())
        m_store.resize(m_address + bytes.size(), 0xFF);
    std::copy(bytes.begin(), bytes.end(), m_store.begin() + long(m_address));
    m_address += uint32_t(bytes.size());
    return "p>\r";
}
