// A board image of the arm tree on the simulated board: the board of the
// image's build, the image in its flash, the emulated processor.
#pragma once

#include "arm/arm_cpu.h"
#include "arm/elf_image.h"
#include "board.h"
#include "build_wiring.h"

namespace sim::arm {

class ArmBoard {
public:
    // Where the firmware starts in the NOR flash: its vector table, where
    // the boot loader in the first 128 KB hands over.
    static constexpr uint32_t kFirmwareBase = kFlashBase + 0x20000;

    // Builds the board of the build (one per process) and programs the
    // image into its flash as a programmer does: the firmware's window
    // erased, the image's bytes at their flash addresses.  The processor
    // waits at reset until the first run.  Throws when the image does not
    // fit the window or the board cannot be built.
    ArmBoard(const ElfImage& image, const BuildWiring& build, const BoardOptions& options);

    // Power-on of the processor and its memory: RAM fresh, the processor
    // from its reset state at the image's vector table.  (A board reset by
    // the watchdog goes through Machine::reset_board: arm-board then starts
    // again as a new program, as the host build's program does.)
    void power_on();
    void run_until(Time deadline, const std::function<bool()>& stop = nullptr) { cpu.run_until(deadline, stop); }

    ArmCpu cpu;  // first: the processor decides where the board's memory goes
    Board& board;

private:
    void program_flash(const ElfImage& image);
};

}  // namespace sim::arm
