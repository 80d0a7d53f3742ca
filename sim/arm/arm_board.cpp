#include "arm/arm_board.h"

#include <cstring>
#include <stdexcept>

namespace sim::arm {

ArmBoard::ArmBoard(const ElfImage& image, const BuildWiring& build, const BoardOptions& options)
    : cpu(Machine::instance()), board(Board::create(options))
{
    wire_board(board, build);
    // Until the program that runs the board says what a board reset does
    // (arm-board starts again), the board stays held in reset.
    board.machine.set_board_reset_handler([this] { cpu.hold_in_reset(); });
    cpu.map_board(board);
    cpu.set_image(&image);
    program_flash(image);
    power_on();
}

void ArmBoard::program_flash(const ElfImage& image)
{
    const uint32_t window_end = kFlashBase + NorFlash::kImageOffset;
    uint8_t* flash = board.machine.writable(kFlashBase, kFlashSize);
    std::memset(flash + (kFirmwareBase - kFlashBase), 0xFF, window_end - kFirmwareBase);
    for (const ElfImage::Segment& s : image.segments()) {
        if (s.address < kFirmwareBase || s.bytes.size() > window_end - s.address)
            throw std::runtime_error("the image does not fit the firmware's window of the flash (0xC8020000 to "
                                     "0xC8400000)");
        std::memcpy(flash + (s.address - kFlashBase), s.bytes.data(), s.bytes.size());
    }
}

void ArmBoard::power_on()
{
    for (const Machine::Region& r : board.machine.regions())
        if (!r.read_only)
            std::memset(r.wview, 0, r.size);
    board.sdramc.reset();  // the SDRAM needs its set-up again
    cpu.reset(kFirmwareBase);
}

}  // namespace sim::arm
