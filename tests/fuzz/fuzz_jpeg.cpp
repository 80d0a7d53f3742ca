// fuzz_jpeg: an input is a JPEG file, read from memory (its size asked,
// then drawn) and through the image-file callback as "xif" reads a card
// file, at the top-left corner and partly off the screen.
#include "fuzz_board.h"
#include "graphics/GUI_JPEG.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::boot_once();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::MemoryFile file{data, size};
    const uint32_t n = static_cast<uint32_t>(size);
    fuzz::on_firmware("a JPEG file", [&] {
        GUI_JPEG_INFO info{};
        GUI_JPEG_GetInfo(data, n, &info);
        GUI_JPEG_Draw(data, n, 0, 0);
        GUI_JPEG_GetInfoEx(fuzz::memory_file_data, &file, &info);
        GUI_JPEG_DrawEx(fuzz::memory_file_data, &file, -9, 470);
    });
    return 0;
}
