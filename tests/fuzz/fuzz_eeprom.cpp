// fuzz_eeprom: an input is the EEPROM's contents from address 0 (the rest
// of the chip blank), as a board finds them at power-up: the record is
// loaded from whichever copy is sound and the other repaired, defaults and
// older layouts are dealt with, and what start-up takes from the record is
// used: the version text, the touch calibration, the beeper, the panel
// timing and brightness, the user bytes.
#include <algorithm>
#include <cstring>

#include "app/KM_beep.h"
#include "app/KM_touch.h"
#include "app/Main.h"
#include "board/KM_visibility.h"
#include "board/MAC_panelTiming.h"
#include "fuzz_board.h"
#include "storage/KM_eeprom.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::boot_once();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sim::Board& board = sim::Board::get();
    fuzz::on_firmware("an EEPROM", [&] {
        uint8_t* chip = board.eeprom.data();
        const size_t n = std::min<size_t>(size, sim::Eeprom::kSize);
        std::memcpy(chip, data, n);
        std::memset(chip + n, 0xFF, sim::Eeprom::kSize - n);
        std::memset(&eepromData, 0, sizeof eepromData);
        KM_EEPROM_LoadAndFix();
        KM_EEPROM_Init();
        char version[160];
        KM_Copy_Version(version);
        KM_Touch_Calibrate_from_EEPROM();
        KM_BeepInit();
        setLCDtiming();
        KM_Visibility_Init();
        for (int i = 0; i < EEPROM_USER_BYTES; ++i)
            KM_EEPROM_ReadUserByte(i);
    });
    return 0;
}
