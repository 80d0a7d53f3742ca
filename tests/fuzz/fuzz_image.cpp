// fuzz_image: an input is a memory image as a .BIN file holds it, loaded
// into the RAM copy as the card's image file is (the header's size stands
// for the file's length, which the loader requires), relocated, and used
// the way the commands use it: the listings, every entry drawn as bitmap,
// with a key colour, centred, clipped and as a GIF, every font selected and
// written with, every macro listed and run.
//
// The RAM area behind the image is poisoned for AddressSanitizer: a read
// through a stored address that leaves the image is reported, where on the
// board it would draw or run whatever the memory held.
#include <sanitizer/asan_interface.h>

#include <cstring>

#include "app/KM_bitmaps.h"
#include "app/KM_com.h"
#include "app/KM_fonts.h"
#include "app/KM_macros.h"
#include "app/Main.h"
#include "fuzz_board.h"
#include "graphics/GUI.h"
#include "storage/KM_extmem.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::boot_once();
    // Listings of long macros go out at the port's fastest rate.
    fuzz::on_firmware("setting the port's rate", [] { KM_COM_BaudRate(460800); });
    return 0;
}

// Entries, fonts and macros used per input: more only repeat the work.
static constexpr int kEntries = 48;
static constexpr int kMacros = 32;
// A macro that repeats runs until the host sends ESC CR: it gets them
// after this much board time (each pass of its loop takes a microsecond
// of it on the simulated board, so some thousands of passes).
static constexpr sim::Time kRepeatPatience = 10 * sim::kMillisecond;

static void use_image()
{
    char ls[] = "ls", lsmac[] = "lsmac";
    cmdListBitmaps(ls);
    cmdMacroList(lsmac);
    const ExtMemHeader* h = reinterpret_cast<const ExtMemHeader*>(ExtMemBuffer);
    const int count = h->count < kEntries ? h->count : kEntries;
    for (int n = 0; n < count; ++n) {
        cmdDrawBitmap(n, 10, 20);
        cmdDrawBitmap(n, -30, 470);
        cmdDrawBitmapKey(n, 5, 5, 0xF81F);
        cmdDrawBitmapCentred(n, 400, 240);
        cmdDrawBitmapClipped(n, 0, 0, 2, 3, 40, 30);
        cmdDrawBitmapStrip(n, 100, 100, 1, 8, 2);
    }
    for (int i = 0; i < kEntries; ++i) {
        const char* name = KM_ImageFontName(i);
        if (!name)
            break;
        char copy[16] = {};
        std::strncpy(copy, name, sizeof copy - 1);
        if (GUIDEMO_SetFont(copy)) {
            GUI_DispStringAt("Fuzz 0123 \xc4\xe9", 0, 0);
            GUI_GetStringDistX("W");
        }
    }
    GUIDEMO_SetFont("16");
    int ran = 0;
    for (int n = 1; n <= 255 && ran < kMacros; ++n) {
        if (!KM_GetMacro(n))
            continue;
        ++ran;
        char one[16];
        std::snprintf(one, sizeof one, "lsmac %d", n);
        cmdMacroList(one);
        processMacro(n, "1 2 \"three four\"", 0);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < sizeof(ExtMemHeader) || size > ExtMemSize)
        return 0;
    fuzz::on_firmware("a memory image", [&] {
        uint8_t* ram = ExtMemRamBuffer;
        ASAN_UNPOISON_MEMORY_REGION(ram, ExtMemSize);
        std::memcpy(ram, data, size);
        reinterpret_cast<ExtMemHeader*>(ram)->size = static_cast<uint32_t>(size);
        ASAN_POISON_MEMORY_REGION(ram + size, ExtMemSize - size);
        ExtMemBuffer = 0;
        if (KM_Fixup_ExtMem(EXTMEM_RAM_BUFFER, ExtMemSize)) {
            ExtMemBuffer = ram;
            use_image();
        }
        ExtMemBuffer = 0;
        ASAN_UNPOISON_MEMORY_REGION(ram, ExtMemSize);
    }, kRepeatPatience);
    return 0;
}
