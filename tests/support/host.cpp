#include "support/host.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <stdexcept>

namespace fwtest {

namespace {
bool ends_with_prompt(const std::string& s)
{
    static const char* const tokens[] = {">\r", "!\r", "#\r", "^\r", "?\r"};
    for (const char* t : tokens) {
        std::string tok(t);
        if (s.size() >= tok.size() && s.compare(s.size() - tok.size(), tok.size(), tok) == 0)
            return true;
    }
    return false;
}
}  // namespace

std::string visible(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 0x20 || c >= 0x7F) {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02X", c);
            out += b;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

std::string reports(const sim::Board& b)
{
    std::string all;
    for (const std::string& r : b.machine.reports())
        all += r + "\n";
    return all;
}

sim::Board& boot_to_prompt(const BootOptions& options)
{
    sim::Board& b = boot(options);
    std::string got = until_prompt(b.uart1, 0, 10 * sim::kSecond);
    if (got.size() < 2 || got.compare(got.size() - 2, 2, ">\r") != 0)
        throw std::runtime_error("no prompt after start-up, got \"" + visible(got) + "\"");
    return b;
}

void send(sim::Uart& uart, const std::string& bytes, uint32_t rate)
{
    sim::Machine::instance().post([&uart, bytes, rate] { uart.receive(bytes, rate); });
}

// Runs the board until what uart sent from byte from on satisfies done,
// which is asked again only when the board has sent more (the question is
// asked at every safe point, and the text can be long).
static std::string until_sent(sim::Uart& uart, size_t from, sim::Time limit,
                              const std::function<bool(const std::string&)>& done)
{
    sim::Machine& m = sim::Machine::instance();
    size_t asked = SIZE_MAX;
    m.run_until(
        [&] {
            if (uart.sent.size() == asked)
                return false;
            asked = uart.sent.size();
            return done(uart.sent_text(from));
        },
        m.now() + limit);
    return uart.sent_text(from);
}

std::string until_prompt(sim::Uart& uart, size_t from, sim::Time limit)
{
    return until_sent(uart, from, limit, [](const std::string& s) { return ends_with_prompt(s); });
}

std::string until_text(sim::Uart& uart, size_t from, const std::string& text, sim::Time limit)
{
    return until_sent(uart, from, limit, [&](const std::string& s) { return s.find(text) != std::string::npos; });
}

std::string command(sim::Uart& uart, const std::string& line, sim::Time limit)
{
    size_t from = uart.sent.size();
    send(uart, line + "\r");
    return until_prompt(uart, from, limit);
}

std::string command(const std::string& line, sim::Time limit)
{
    return command(sim::Board::get().uart1, line, limit);
}

}  // namespace fwtest
