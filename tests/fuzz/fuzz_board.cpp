#include "fuzz_board.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <unistd.h>

#include <sanitizer/common_interface_defs.h>

#include "app/parse_command.h"
#include "support/host.h"

// The commands that stop or restart the processor for good ("*halt",
// "*RESET") or write any register the host names ("*W": a clock, a UART or
// the interrupt controller written with nonsense stops the board, as it
// would stop the real one, by the host's doing) answer without doing so on
// the boards of the targets that run commands (cmake/fuzz.cmake wraps them).
extern "C" int __wrap__Z7cmdHaltv(void)
{
    return CMD_OK;
}

extern "C" int __wrap__Z8cmdResetv(void)
{
    return CMD_OK;
}

extern "C" int __wrap__Z11cmdRegWritejj(unsigned, unsigned)
{
    return CMD_OK;
}

namespace fuzz {

namespace {
bool booted;

void cleanup()
{
    fwtest::remove_temp_dir();
}
}  // namespace

[[noreturn]] void finding(const std::string& text)
{
    std::fprintf(stderr, "==%d== FINDING: %s\n", static_cast<int>(getpid()), text.c_str());
    std::fflush(stderr);
    std::abort();
}

[[noreturn]] void stuck(const std::string& text)
{
    sim::Machine& m = sim::Machine::instance();
    m.post([text] { finding(text); });
    m.run_for(sim::kMillisecond);
    finding(text + " (and reaches no safe point)");
}

sim::Board& boot_once(const fwtest::BootOptions& options)
{
    if (booted)
        return sim::Board::get();
    booted = true;
    std::atexit(cleanup);
    __sanitizer_set_death_callback(cleanup);
    try {
        return fwtest::boot_to_prompt(options);
    } catch (const std::exception& e) {
        finding(std::string("the board did not start: ") + e.what());
    }
}

void on_firmware(const char* what, const std::function<void()>& fn, sim::Time patience, sim::Time limit)
{
    sim::Machine& m = sim::Machine::instance();
    // What the board sent for the inputs before is of no use any more (and
    // a fuzzer runs millions of them).
    sim::Board& board = sim::Board::get();
    board.uart1.sent.clear();
    board.uart2.sent.clear();
    bool done = false;
    m.post([&] {
        fn();
        done = true;
    });
    if (m.run_until([&] { return done; }, m.now() + patience))
        return;
    // Work that waits for the host (a repeating macro) ends on the escape
    // and abort sequences, as it would for a host.
    fwtest::send(board.uart1, "\x1b\r*abt\r");
    if (!m.run_until([&] { return done; }, m.now() + limit))
        stuck(std::string(what) + " did not end within " + std::to_string((patience + limit) / sim::kSecond) +
                " s of board time, nor on ESC CR and *abt");
}

std::string write_temp(const std::string& name, const uint8_t* data, size_t size)
{
    const std::string path = fwtest::temp_dir() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0)
        finding("cannot write " + path);
    return path;
}

int memory_file_data(void* p, const uint8_t** ppData, unsigned NumBytes, uint32_t Off)
{
    const MemoryFile* f = static_cast<const MemoryFile*>(p);
    if (Off >= f->size)
        return 0;
    *ppData = f->data + Off;
    return static_cast<int>(NumBytes < f->size - Off ? NumBytes : f->size - Off);
}

}  // namespace fuzz
