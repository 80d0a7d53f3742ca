// Prints how fast bitmaps of the memory image are drawn: a full-screen raw
// bitmap against a memcpy of the same bytes, and its RLE16 form against the
// raw draw.
#include <chrono>
#include <functional>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "app/KM_bitmaps.h"
#include "support/host.h"
#include "support/image_builder.h"
#include "support/emulation.h"

namespace {

double seconds_per(const std::function<void()>& fn, int reps)
{
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < reps; ++i)
        fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / reps;
}

}  // namespace

int main()
{
    fwtest::print_emulation_note();
    const int W = 800, H = 480;
    fwtest::TestBitmap raw;
    raw.width = W;
    raw.height = H;
    raw.pixels = fwtest::test_pattern(W, H, 7);
    // A picture with areas of one colour, as screens mostly are.
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if ((x / 40 + y / 40) % 3)
                raw.pixels[y * W + x] = static_cast<uint16_t>(0x2000 + (x / 40) * 64 + y / 40);
    fwtest::TestBitmap rle = raw;
    rle.kind = fwtest::TestBitmap::Rle;
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image({raw, rle});
    fwtest::boot_to_prompt(o);

    double tRaw = 0, tRle = 0, tCopy = 0;
    fwtest::on_firmware([&] {
        const ExtMemDirEntry* a = KM_GetExtBitmap(1);
        const ExtMemDirEntry* b = KM_GetExtBitmap(2);
        tRaw = seconds_per([&] { KM_DrawBitmap(a, 0, 0); }, 50);
        tRle = seconds_per([&] { KM_DrawBitmap(b, 0, 0); }, 20);
        std::vector<uint8_t> src(W * H * 2, 1), dst(W * H * 2);
        tCopy = seconds_per([&] { std::memcpy(dst.data(), src.data(), src.size()); asm volatile("" ::: "memory"); }, 200);
    });
    std::printf("800x480 raw bitmap: %.3f ms, memcpy of its bytes %.3f ms: %.2f of memcpy (goal: 0.5)\n", tRaw * 1e3,
                tCopy * 1e3, tCopy / tRaw);
    std::printf("same bitmap in RLE16: %.3f ms, %.1f times the raw draw (goal: at most 8)\n", tRle * 1e3, tRle / tRaw);
    std::fflush(stdout);
    fwtest::remove_temp_dir();
    _exit(0);
}
