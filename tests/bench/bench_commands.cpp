// Prints the command port's throughput: 2000 "vers" lines sent back to back
// at 460800 bit/s by a host that honours XON/XOFF, against what the wire
// allows for the replies.
#include <cstdio>
#include <string>
#include <unistd.h>

#include "app/KM_com.h"
#include "support/host.h"

int main()
{
    const int lines = 2000;
    const uint32_t rate = 460800;
    sim::Board& b = fwtest::boot_to_prompt();
    fwtest::on_firmware([] { KM_COM_BaudRate(rate); });

    bool paused = false;
    b.uart1.add_listener([&](uint8_t c) {
        if (c == 0x13)
            paused = true;
        else if (c == 0x11)
            paused = false;
    });
    size_t from = b.uart1.sent.size();
    const std::string line = "vers\r";
    const std::string reply = "VELM5-PLUS V1.5.8 WVGA \r>\r";
    sim::Time t0 = b.machine.now();
    int queued = 0;
    // The host keeps the line busy: the next line follows as soon as the
    // last one is on the wire, unless the controller said XOFF.
    while (queued < lines) {
        b.machine.run_until([&] { return !paused && b.uart1.receive_pending() == 0; }, b.machine.now() + sim::kSecond);
        b.uart1.receive(line);
        ++queued;
    }
    // Every reply ends with the one '>' of its prompt.
    int prompts = 0;
    size_t seen = from;
    b.machine.run_until(
        [&] {
            for (; seen < b.uart1.sent.size(); ++seen)
                prompts += b.uart1.sent[seen].byte == '>';
            return prompts >= lines;
        },
        b.machine.now() + 60 * sim::kSecond);
    b.machine.run_for(sim::kMillisecond);  // the prompt's CR
    sim::Time took = b.uart1.sent.back().time - t0;
    std::string out;
    int flow = 0;
    for (char c : b.uart1.sent_text(from)) {
        if (c == 0x11 || c == 0x13)
            ++flow;  // XON/XOFF between the replies
        else
            out += c;
    }
    size_t good = 0;
    for (size_t p = 0; (p = out.find(reply, p)) != std::string::npos; p += reply.size())
        ++good;
    double per_s = lines / (static_cast<double>(took) / sim::kSecond);
    double wire = rate / (10.0 * reply.size());
    std::printf("%zu of %d \"vers\" lines answered at %u bit/s (%d XON/XOFF): %.0f lines per virtual second, "
                "%.2f of what the wire allows for the replies (%.0f/s; goal: 0.9)\n",
                good, lines, rate, flow, per_s, per_s / wire, wire);
    std::fflush(stdout);
    fwtest::remove_temp_dir();
    _exit(good == static_cast<size_t>(lines) ? 0 : 1);
}
