// Prints how fast bitmaps of the memory image are drawn: a full-screen raw
// bitmap against a memcpy of the same bytes, and its RLE16 form against the
// raw draw.  Each figure is the best of several rounds, the three kinds
// taking turns, so that a busy host disturbs them as little as it can.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "app/KM_bitmaps.h"
#include "support/host.h"
#include "support/image_builder.h"

namespace {

using Clock = std::chrono::steady_clock;

// Seconds per call of fn, over reps calls.
template <class F>
double seconds_per(int reps, F&& fn)
{
    const auto t0 = Clock::now();
    for (int i = 0; i < reps; ++i)
        fn();
    return std::chrono::duration<double>(Clock::now() - t0).count() / reps;
}

}  // namespace

int main()
{
    const int W = 800, H = 480;
    fwtest::TestBitmap raw;
    raw.width = W;
    raw.height = H;
    raw.pixels = fwtest::screen_pattern(W, H);
    fwtest::TestBitmap rle = raw;
    rle.kind = fwtest::TestBitmap::Rle;
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image({raw, rle});
    fwtest::boot_to_prompt(o);

    double tRaw = 1e30, tRle = 1e30, tCopy = 1e30;
    fwtest::on_firmware([&] {
        const ExtMemDirEntry* a = KM_GetExtBitmap(1);
        const ExtMemDirEntry* b = KM_GetExtBitmap(2);
        std::vector<uint8_t> src(W * H * 2, 1), dst(W * H * 2);
        for (int round = 0; round < 15; ++round) {
            tRaw = std::min(tRaw, seconds_per(20, [&] { KM_DrawBitmap(a, 0, 0); }));
            tRle = std::min(tRle, seconds_per(10, [&] { KM_DrawBitmap(b, 0, 0); }));
            tCopy = std::min(tCopy, seconds_per(20, [&] {
                std::memcpy(dst.data(), src.data(), src.size());
                asm volatile("" ::: "memory");
            }));
        }
    });
    std::printf("800x480 raw bitmap: %.3f ms, memcpy of its bytes %.3f ms: %.2f of memcpy (goal: at least 0.8)\n", tRaw * 1e3,
                tCopy * 1e3, tCopy / tRaw);
    std::printf("same bitmap in RLE16: %.3f ms, %.1f times the raw draw (goal: at most 4)\n", tRle * 1e3, tRle / tRaw);
    std::fflush(stdout);
    fwtest::remove_temp_dir();
    _exit(0);
}
