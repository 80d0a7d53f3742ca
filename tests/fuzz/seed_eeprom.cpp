// Writes the EEPROM of a board after its first start-up (the defaults in
// both copies) to the file named by the argument: a seed of fuzz_eeprom.
#include <cstdio>
#include <unistd.h>

#include "fuzz_board.h"
#include "support/host.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    sim::Board& board = fuzz::boot_once();
    // Settings that start-up reads, changed and saved as a host does.
    fwtest::command("*PONMAC 0");
    fwtest::command("*config \"seed\"");
    const uint8_t* chip = board.eeprom.data();
    fuzz::write_temp("eeprom.bin", chip, 0x1100);
    FILE* f = std::fopen(argv[1], "wb");
    const int ok = f && std::fwrite(chip, 1, 0x1100, f) == 0x1100 && std::fclose(f) == 0;
    std::fflush(stdout);
    _exit(ok ? 0 : 1);
}
