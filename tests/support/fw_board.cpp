#include "support/fw_board.h"

#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

#include "firmware_entry.h"

namespace fwtest {

std::string temp_dir()
{
    static std::string dir;
    if (dir.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/velm-test-XXXXXX";
        if (!mkdtemp(tmpl.data()))
            throw std::runtime_error("cannot make a temporary folder");
        dir = tmpl;
    }
    return dir;
}

sim::Board& boot(const BootOptions& o)
{
    sim::BoardOptions bo;
    bo.flash = temp_dir() + "/flash.bin";
    bo.eeprom = temp_dir() + "/eeprom.bin";
    bo.straps = o.straps;
    bo.speed = sim::Speed::Max;
    sim::Board& board = sim::Board::create(bo);
    board.machine.quiet = true;
    board.machine.tracing = o.trace;
    board.machine.set_irq_entry(irq_handler);
    board.machine.start_firmware([] { sim::run_firmware_from_reset(); });
    return board;
}

void on_firmware(const std::function<void()>& fn, sim::Time limit)
{
    sim::Machine& m = sim::Machine::instance();
    bool done = false;
    m.post([&] {
        fn();
        done = true;
    });
    if (!m.run_until([&] { return done; }, m.now() + limit))
        throw std::runtime_error("the firmware did not finish the work in time");
}

}  // namespace fwtest
