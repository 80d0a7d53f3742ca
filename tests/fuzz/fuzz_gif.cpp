// fuzz_gif: an input is a GIF file, through both entry points: as a GIF
// entry of the memory image (bytes in memory with their count, as the "xi"
// commands and the animated-GIF player read it: information, every frame's
// place, comments, each frame drawn) and as a card file (read through the
// image-file callback, as "xif" reads it).
#include "fuzz_board.h"
#include "graphics/GUI_GIF.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::boot_once();
    return 0;
}

// More frames than this are not drawn one by one: each draw walks the file
// from its start.
static constexpr int kFramesDrawn = 8;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::MemoryFile file{data, size};
    const uint32_t n = static_cast<uint32_t>(size);
    fuzz::on_firmware("a GIF file", [&] {
        GUI_GifFileInfo info{};
        uint8_t comment[64];
        if (GUI_GIF_GetInfo(data, n, &info) == 0) {
            for (int k = 0; k < info.NumImages && k < kFramesDrawn; ++k) {
                GUI_GifFrameInfo frame{};
                GUI_GIF_GetImageInfo(data, n, &frame, k);
                GUI_GIF_DrawSub(data, n, 3, 5, k);
            }
            GUI_GIF_GetComment(data, n, comment, sizeof comment, 0);
        }
        GUI_GIF_GetXSize(data, n);
        GUI_GIF_GetYSize(data, n);
        GUI_GIF_Draw(data, n, -5, 470);

        GUI_GifFileInfo infoEx{};
        GUI_GIF_GetInfoEx(fuzz::memory_file_data, &file, &infoEx);
        GUI_GIF_DrawEx(fuzz::memory_file_data, &file, 0, 0);
        GUI_GifFrameInfo frame{};
        GUI_GIF_GetImageInfoEx(fuzz::memory_file_data, &file, &frame, 1);
        GUI_GIF_DrawSubEx(fuzz::memory_file_data, &file, 790, -2, 1);
        GUI_GIF_GetCommentEx(fuzz::memory_file_data, &file, comment, sizeof comment, 1);
    });
    return 0;
}
