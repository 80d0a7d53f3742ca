// fuzz_bmp: an input is a BMP file, read through the image-file callback as
// the card's files and the splash picture are: its size asked, then drawn
// at the top-left corner and partly off the screen.
#include "fuzz_board.h"
#include "graphics/GUI_BMP.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::boot_once();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::MemoryFile file{data, size};
    fuzz::on_firmware("a BMP file", [&] {
        GUI_BMP_GetXSizeEx(fuzz::memory_file_data, &file);
        GUI_BMP_GetYSizeEx(fuzz::memory_file_data, &file);
        GUI_BMP_DrawEx(fuzz::memory_file_data, &file, 0, 0);
        GUI_BMP_DrawEx(fuzz::memory_file_data, &file, -7, 470);
    });
    return 0;
}
