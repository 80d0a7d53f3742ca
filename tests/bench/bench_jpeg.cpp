// Prints how fast the JPEG decoder draws an 800x480 4:2:0 picture held in
// memory, baseline and progressive (the latter in bands, as the pool
// cannot hold its coefficients), beside libjpeg-turbo's djpeg in its plain
// C path (JSIMD_FORCENONE=1) on the same files, and what one band costs.
// Times are CPU times, the best of several runs.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "graphics/GUI.h"
#include "graphics/GUI_ALLOC.h"
#include "graphics/GUI_JPEG.h"
#include "support/host.h"
#include "support/shell.h"

namespace {

std::vector<uint8_t> read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

double thread_cpu_s()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// Best CPU time of fn on the firmware thread over reps runs.
double best_on_firmware(const std::function<void()>& fn, int reps)
{
    double best = 1e9;
    for (int i = 0; i < reps; ++i)
        fwtest::on_firmware([&] {
            double t0 = thread_cpu_s();
            fn();
            double t = thread_cpu_s() - t0;
            if (t < best)
                best = t;
        });
    return best;
}

// Best CPU time (user + system) of one djpeg run on the file.
double best_djpeg(const std::string& file, int reps)
{
    double best = 1e9;
    for (int i = 0; i < reps; ++i) {
        pid_t pid = fork();
        if (pid == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            setenv("JSIMD_FORCENONE", "1", 1);
            execlp("djpeg", "djpeg", "-dct", "int", "-nosmooth", "-outfile", "/dev/null", file.c_str(), (char*)0);
            _exit(127);
        }
        int status = 0;
        rusage u{};
        if (pid < 0 || wait4(pid, &status, 0, &u) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return -1;
        double t = u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
        if (t < best)
            best = t;
    }
    return best;
}

struct Counting {
    const std::vector<uint8_t>* file;
    int passes;  // requests at offset 0: reads of the file from its start
};

int counting_get(void* p, const uint8_t** ppData, unsigned n, uint32_t off)
{
    Counting* c = static_cast<Counting*>(p);
    if (off == 0)
        c->passes++;
    if (off >= c->file->size())
        return 0;
    uint32_t k = static_cast<uint32_t>(c->file->size()) - off;
    *ppData = c->file->data() + off;
    return static_cast<int>(k < n ? k : n);
}

}  // namespace

int main()
{
    const std::string dir = fwtest::temp_dir();
    const std::string src = dir + "/src.ppm", base = dir + "/base.jpg", prog = dir + "/prog.jpg",
                      tiny = dir + "/tiny.jpg", small = dir + "/small.jpg";
    fwtest::must("convert -size 800x480 -seed 5 plasma:fractal -blur 0x1 -depth 8 " + src);
    fwtest::must("cjpeg -quality 85 -sample 2x2 " + src + " > " + base);
    fwtest::must("cjpeg -quality 85 -sample 2x2 -progressive " + src + " > " + prog);
    fwtest::must("convert " + src + " -resize 160x120! ppm:- | cjpeg -quality 85 -sample 2x2 -progressive > " + small);
    fwtest::must("convert -size 8x8 xc:gray ppm:- | cjpeg > " + tiny);
    const std::vector<uint8_t> baseBytes = read_file(base), progBytes = read_file(prog), smallBytes = read_file(small);

    fwtest::boot_to_prompt();
    // Rounds of a few runs of each, in turn, so that a busy spell of the
    // machine weighs on all of them alike.
    const int rounds = 10, reps = 5;
    int rBase = -1, rProg = -1, rWhole = -1, rBands = -1;
    double tBase = 1e9, tProg = 1e9, tWhole = 1e9, tBands = 1e9, dTiny = 1e9, dBase = 1e9, dProg = 1e9;
    Counting cw{&smallBytes, 0}, cb{&smallBytes, 0};
    auto keep = [](double& best, double t) { best = t < best ? t : best; };
    for (int i = 0; i < rounds; ++i) {
        keep(tBase, best_on_firmware(
                        [&] { rBase = GUI_JPEG_Draw(baseBytes.data(), (uint32_t)baseBytes.size(), 0, 0); }, reps));
        keep(dBase, best_djpeg(base, reps));
        keep(tProg, best_on_firmware(
                        [&] { rProg = GUI_JPEG_Draw(progBytes.data(), (uint32_t)progBytes.size(), 0, 0); }, reps));
        keep(dProg, best_djpeg(prog, reps));
        keep(dTiny, best_djpeg(tiny, reps));
        // A band: a 160x120 progressive picture drawn whole, then in bands of
        // one MCU row (16 lines) with the rest of the pool taken.
        keep(tWhole, best_on_firmware([&] { rWhole = GUI_JPEG_DrawEx(counting_get, &cw, 0, 0); }, reps));
        keep(tBands, best_on_firmware(
                         [&] {
                             // Room for the decoder's buffers and one MCU row of coefficients.
                             GUI_ALLOC_Handle h = GUI_ALLOC_AllocNoInit(GUI_ALLOC_GetMaxSize() - 25000);
                             rBands = GUI_JPEG_DrawEx(counting_get, &cb, 0, 0);
                             GUI_ALLOC_Free(h);
                         },
                         reps));
    }
    const int wholePasses = cw.passes / (rounds * reps), bandPasses = cb.passes / (rounds * reps);
    Counting c{&progBytes, 0};
    fwtest::on_firmware([&] { GUI_JPEG_DrawEx(counting_get, &c, 0, 0); });
    if (rBase || rProg || rWhole || rBands || dTiny < 0 || dBase < 0 || dProg < 0) {
        std::printf("a decode failed (decoder %d %d %d %d, djpeg %.3f %.3f %.3f)\n", rBase, rProg, rWhole, rBands,
                    dTiny, dBase, dProg);
        std::fflush(stdout);
        fwtest::remove_temp_dir();
        _exit(1);
    }
    // djpeg's own start-up and exit, measured on an 8x8 file, is not decoding.
    const double nBase = dBase - dTiny, nProg = dProg - dTiny;
    std::printf("800x480 4:2:0, %zu-byte baseline and %zu-byte progressive file, from memory (CPU time, best of %d)\n",
                baseBytes.size(), progBytes.size(), rounds * reps);
    std::printf("djpeg start-up and exit (8x8 file): %.3f ms, taken off its times below\n", dTiny * 1e3);
    std::printf("baseline:    decoder %.3f ms, djpeg %.3f ms: %.2f times djpeg (goal: at most 1.5)\n", tBase * 1e3,
                nBase * 1e3, tBase / nBase);
    std::printf("progressive: decoder %.3f ms in bands (file read %d times), djpeg %.3f ms: %.2f times djpeg "
                "(goal: at most 6)\n",
                tProg * 1e3, c.passes, nProg * 1e3, tProg / nProg);
    const int extraReads = bandPasses - wholePasses;
    std::printf("a band: 160x120 progressive drawn whole %.3f ms (file read %d times), in bands of 16 lines %.3f ms "
                "(read %d times): %.1f us for each further read\n",
                tWhole * 1e3, wholePasses, tBands * 1e3, bandPasses,
                extraReads > 0 ? (tBands - tWhole) / extraReads * 1e6 : 0.0);
    std::fflush(stdout);
    fwtest::remove_temp_dir();
    _exit(0);
}
