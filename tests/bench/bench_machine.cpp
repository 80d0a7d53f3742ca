// Prints how fast the simulated board runs: virtual seconds per host second
// with the reference firmware idle and only its 1 ms tick running, at full
// speed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "board.h"
#include "support/fw_board.h"

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    sim::Board& b = fwtest::boot();
    b.machine.run_for(100 * sim::kMillisecond);  // start-up

    auto t0 = std::chrono::steady_clock::now();
    sim::Time v0 = b.machine.now();
    b.machine.run_for(static_cast<sim::Time>(seconds * sim::kSecond));
    double host = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    double virt = static_cast<double>(b.machine.now() - v0) / sim::kSecond;
    std::printf("idle firmware, tick only, --speed max: %.1f virtual s in %.3f host s = %.0f virtual s per host s (goal: 500)\n",
                virt, host, virt / host);

    // The same idle board held to the wall clock.
    auto cpu_s = [] {
        struct rusage u {};
        getrusage(RUSAGE_SELF, &u);
        return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    b.machine.speed = sim::Speed::Realtime;
    double c0 = cpu_s();
    t0 = std::chrono::steady_clock::now();
    b.machine.run_for(3 * sim::kSecond);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("idle firmware, --speed realtime: %.1f%% of one core over %.1f s (goal: under 5%%)\n",
                100.0 * (cpu_s() - c0) / wall, wall);
    std::fflush(stdout);
    fwtest::remove_temp_dir();
    _exit(0);
}
