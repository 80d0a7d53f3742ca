#include "support/fw_board.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <stdexcept>
#include <unistd.h>

#include "config/build_config.h"
#include "firmware_entry.h"
#include "graphics/GUI.h"

namespace fwtest {

static std::string dir;

std::string temp_dir()
{
    if (dir.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/velm-test-XXXXXX";
        if (!mkdtemp(tmpl.data()))
            throw std::runtime_error("cannot make a temporary folder");
        dir = tmpl;
    }
    return dir;
}

void remove_temp_dir()
{
    if (dir.empty())
        return;
    nftw(dir.c_str(), [](const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }, 16,
         FTW_DEPTH | FTW_PHYS);
    dir.clear();
}

sim::Board& power_on(const BootOptions& o)
{
    sim::BoardOptions bo;
    bo.flash = temp_dir() + "/flash.bin";
    bo.eeprom = temp_dir() + "/eeprom.bin";
    bo.straps = o.straps;
    bo.sd = o.sd;
    bo.speed = sim::Speed::Max;
    if (!o.flash_image.empty()) {
        // An erased flash with the image at its place; the board grows the
        // file to its full size.
        std::vector<uint8_t> low(0x400000, 0xFF);
        FILE* f = std::fopen(bo.flash.c_str(), "wb");
        if (!f || std::fwrite(low.data(), 1, low.size(), f) != low.size() ||
            std::fwrite(o.flash_image.data(), 1, o.flash_image.size(), f) != o.flash_image.size())
            throw std::runtime_error("cannot write the test's flash file");
        std::fclose(f);
    }
    sim::Board& board = sim::Board::create(bo);
    if (!o.keep_files) {
        // The mappings stay; the disk space goes with the process.
        ::unlink(bo.flash.c_str());
        ::unlink(bo.eeprom.c_str());
    }
    board.machine.quiet = true;
    board.machine.tracing = o.trace;
    sim::wire_board_for_build(board);
    return board;
}

sim::Board& boot(const BootOptions& o)
{
    sim::Board& board = power_on(o);
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

static const uint32_t kFrameBuffer = 0xC3E00000;

uint16_t fb(sim::Board& b, int x, int y)
{
    uint16_t v;
    std::memcpy(&v, b.machine.mem(kFrameBuffer + 2 * (y * PANEL_WIDTH + x), 2), 2);
    return v;
}

bool untouched_outside(sim::Board& b, int x0, int y0, int x1, int y1)
{
    for (int y = 0; y < PANEL_HEIGHT; ++y)
        for (int x = 0; x < PANEL_WIDTH; ++x)
            if ((x < x0 || x > x1 || y < y0 || y > y1) && fb(b, x, y) != 0xFFFF)
                return false;
    return true;
}

void clear_screen()
{
    on_firmware([] { GUI_Clear(); });
}

}  // namespace fwtest
