// Prints how fast a board image runs under ARM926 emulation at full speed:
// virtual seconds per host second and millions of ARM instructions per host
// second (idle, and while it draws), the host time from power-on to the
// first prompt, and the ARM instructions per pixel of a few drawing
// commands: a full-screen fill, 1000 lines, an 800x480 bitmap from the
// memory image raw and in RLE16 and "xif" of an 800x480 BMP file from the
// card.  Then, for each line of the differential test's command script and
// of its screenshot to the card, the host's processor time and the virtual
// time it took, how many virtual seconds ran per host second (the board
// itself runs one per second) and the share of its instructions that
// counting loops stepped over.
//
//   bench_arm_board [IMAGE.elf]     (default: the arm tree's velm5plus-wvga)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "arm/arm_board.h"
#include "arm/builds.h"
#include "arm/elf_image.h"
#include "emu/command_script.h"
#include "support/image_builder.h"
#include "support/shell.h"

namespace {

using Clock = std::chrono::steady_clock;
using sim::kSecond;

double seconds_since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Processor time this program has used, in seconds.
double cpu_seconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The host at UART1: one command line at a time, each after the prompt of
// the one before.
struct Host {
    sim::arm::ArmBoard& arm;
    double host_seconds = 0;
    double processor_seconds = 0;
    uint64_t instructions = 0;
    sim::Time virtual_time = 0;
    sim::Time limit = 60 * kSecond;
    // Some lines of a script are refused ("!") on purpose.
    bool any_prompt = false;

    bool prompted(size_t from) const
    {
        const std::string t = arm.board.uart1.sent_text(from);
        return t.size() >= 2 && t.back() == '\r' && std::strchr(">!#", t[t.size() - 2]);
    }

    // Runs until the first prompt after power-on.
    void until_prompt()
    {
        arm.run_until(arm.board.machine.now() + 60 * kSecond, [&] { return prompted(0); });
    }

    // Sends the line and runs until its prompt; returns the instructions it
    // took (the reply goes to *reply).
    uint64_t command(const std::string& line, std::string* reply = nullptr)
    {
        const size_t from = arm.board.uart1.sent.size();
        const uint64_t i0 = arm.cpu.instructions();
        const sim::Time v0 = arm.board.machine.now();
        const auto t0 = Clock::now();
        const double c0 = cpu_seconds();
        arm.board.uart1.receive(line + "\r");
        arm.run_until(v0 + limit, [&] { return prompted(from); });
        host_seconds += seconds_since(t0);
        processor_seconds += cpu_seconds() - c0;
        virtual_time += arm.board.machine.now() - v0;
        const uint64_t n = arm.cpu.instructions() - i0;
        instructions += n;
        const std::string got = arm.board.uart1.sent_text(from);
        if (reply)
            *reply = got;
        if (!prompted(from) || (!any_prompt && got[got.size() - 2] != '>'))
            std::fprintf(stderr, "bench: \"%s\" answered \"%s\"\n", line.c_str(), got.c_str());
        return n;
    }
};

// A board at full speed on dir's flash (with the memory image), EEPROM and
// card files.
sim::BoardOptions board_files(const std::string& dir, const std::vector<uint8_t>& memory_image)
{
    sim::BoardOptions o;
    o.flash = dir + "/flash.bin";
    o.eeprom = dir + "/eeprom.bin";
    o.sd = dir + "/card.img";
    o.speed = sim::Speed::Max;
    emutest::write_flash(o.flash, memory_image);
    return o;
}

// Runs the script's lines one after another and prints each one's figures,
// and the script's overall figures under the name given.
void time_script(Host& host, const std::vector<std::string>& script, const char* name)
{
    Host total{host.arm};
    const uint64_t stepped0 = host.arm.cpu.stepped_instructions();
    size_t lines = 0, slow = 0;
    double slowest = 1e9;
    for (const std::string& line : script) {
        if (line == emutest::kCheck)
            continue;
        Host one{host.arm};
        one.limit = 15 * 60 * kSecond;
        one.any_prompt = true;
        const uint64_t s0 = host.arm.cpu.stepped_instructions();
        one.command(line);
        const double v = static_cast<double>(one.virtual_time) / kSecond, rate = v / one.processor_seconds;
        const uint64_t stepped = host.arm.cpu.stepped_instructions() - s0;
        std::printf("  %8.4f host s  %10.6f virtual s  %7.2f virtual s per host s  %5.1f%% stepped  %s\n",
                    one.processor_seconds, v, rate, 100.0 * stepped / (one.instructions + (one.instructions == 0)),
                    line.c_str());
        std::fflush(stdout);
        total.processor_seconds += one.processor_seconds;
        total.host_seconds += one.host_seconds;
        total.virtual_time += one.virtual_time;
        total.instructions += one.instructions;
        ++lines;
        slow += rate < 1;
        slowest = std::min(slowest, rate);
    }
    const double v = static_cast<double>(total.virtual_time) / kSecond;
    std::printf("%s: %.2f host s (%.2f on the wall), %.2f virtual s, %.2f virtual s per host s, %.1f%% of the "
                "instructions stepped over; %zu of %zu lines below 1 virtual s per host s, the slowest %.2f\n",
                name, total.processor_seconds, total.host_seconds, v, v / total.processor_seconds,
                100.0 * static_cast<double>(host.arm.cpu.stepped_instructions() - stepped0) /
                    static_cast<double>(total.instructions),
                slow, lines, slowest);
}

// The differential test's script and its screenshot, on a board of their
// own with the script's memory image and card.
void time_scripts(const sim::arm::ElfImage& image, const sim::BuildWiring& build, const std::string& dir)
{
    const std::string sub = dir + "/script";
    fwtest::must("mkdir -p " + sub);
    const std::vector<uint8_t> memory_image = emutest::script_memory_image();
    emutest::make_script_card(sub);
    sim::arm::ArmBoard& arm = *new sim::arm::ArmBoard(image, build, board_files(sub, memory_image));
    arm.board.machine.quiet = true;
    Host host{arm};
    host.until_prompt();
    std::printf("the differential script, line by line (host s: processor time):\n");
    time_script(host, emutest::kScript, "the differential script");
    std::printf("its screenshot to the card, line by line:\n");
    time_script(host, emutest::kScreenshotScript, "the screenshot script");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string image_path = argc > 1 ? argv[1] : std::string(VELM_ARM_IMAGES) + "/velm5plus-wvga.elf";
    sim::arm::ElfImage image;
    std::string error;
    if (!image.load(image_path, &error)) {
        std::fprintf(stderr, "bench_arm_board: %s\n", error.c_str());
        return 1;
    }
    const sim::BuildWiring* build = sim::arm::find_build(image.build());
    if (!build) {
        std::fprintf(stderr, "bench_arm_board: %s names no known build\n", image_path.c_str());
        return 1;
    }
    const int W = build->panel_width, H = build->panel_height;
    char dir_template[] = "/tmp/velm-bench-XXXXXX";
    const std::string dir = mkdtemp(dir_template);

    // The flash: a memory image with one W x H bitmap, raw and in RLE16 (the
    // host tree's bench_bitmaps draws the same two).  The card: a W x H BMP
    // file made by ImageMagick on a FAT16 card made by mkfs.fat.
    fwtest::TestBitmap bitmap;
    bitmap.width = W;
    bitmap.height = H;
    bitmap.pixels = fwtest::screen_pattern(W, H);
    fwtest::TestBitmap rle = bitmap;
    rle.kind = fwtest::TestBitmap::Rle;
    const sim::BoardOptions o = board_files(dir, fwtest::build_image({bitmap, rle}));
    const std::string size = std::to_string(W) + "x" + std::to_string(H);
    fwtest::must("convert -size " + size + " gradient:red-blue -seed 3 -attenuate 0.6 +noise Uniform -type TrueColor " +
                 dir + "/pic.bmp");
    fwtest::must("mkfs.fat -C -F 16 -s 2 -n VELMCARD " + o.sd + " 16384 >/dev/null");
    fwtest::must("mcopy -o -i " + o.sd + " " + dir + "/pic.bmp ::PIC.BMP");

    // Power-on to the first prompt: once with the EEPROM blank (the first
    // start-up writes its settings), in a process of its own since a
    // process has one board, and once more with the EEPROM so set up.
    const auto boot = [&](const char* eeprom) {
        sim::arm::ArmBoard* arm = new sim::arm::ArmBoard(image, *build, o);
        arm->board.machine.quiet = true;
        const auto t0 = Clock::now();
        const double c0 = cpu_seconds();
        Host{*arm}.until_prompt();
        std::printf("%s: first prompt after %.2f host s, %.2f s of processor time (%.3f virtual s, %s EEPROM) "
                    "(goal: within 5 s)\n",
                    build->name, seconds_since(t0), cpu_seconds() - c0,
                    static_cast<double>(arm->board.machine.now()) / kSecond, eeprom);
        std::fflush(stdout);
        return arm;
    };
    const pid_t first = fork();
    if (first == 0) {
        boot("blank");
        _exit(0);
    }
    waitpid(first, nullptr, 0);
    const pid_t scripts = fork();
    if (scripts == 0) {
        time_scripts(image, *build, dir);
        _exit(0);
    }
    waitpid(scripts, nullptr, 0);
    sim::arm::ArmBoard& arm = *boot("set-up");
    Host host{arm};

    // Idle: only the tick runs.
    const double idle_virtual = 20;
    uint64_t i0 = arm.cpu.instructions();
    sim::Time v0 = arm.board.machine.now();
    auto t0 = Clock::now();
    arm.run_until(v0 + static_cast<sim::Time>(idle_virtual * kSecond));
    double host_s = seconds_since(t0);
    std::printf("idle, --speed max: %.1f virtual s per host s, %.1f million ARM instructions per host s\n",
                static_cast<double>(arm.board.machine.now() - v0) / kSecond / host_s,
                static_cast<double>(arm.cpu.instructions() - i0) / host_s / 1e6);

    // Drawing.  Each figure leaves out what the command line itself costs
    // (its bytes, the parser, the prompt): that of the same command drawing
    // one pixel.
    std::printf("ARM instructions per pixel drawn (the command's own cost less that of a one-pixel command):\n");
    const double pixels = static_cast<double>(W) * H;
    const uint64_t one_pixel_line = host.command("l 5 5 5 5");
    const uint64_t one_pixel_rect = host.command("r 5 5 5 5 1");
    const std::string full = " 0 0 " + std::to_string(W - 1) + " " + std::to_string(H - 1);
    uint64_t n = host.command("r" + full + " 1");
    std::printf("  full-screen fill \"r%s 1\": %.2f\n", full.c_str(), (n - one_pixel_rect) / pixels);

    std::mt19937 rng(1);
    double line_pixels = 0, line_instructions = 0;
    for (int i = 0; i < 1000; ++i) {
        const int x0 = static_cast<int>(rng() % W), y0 = static_cast<int>(rng() % H);
        const int x1 = static_cast<int>(rng() % W), y1 = static_cast<int>(rng() % H);
        n = host.command("l " + std::to_string(x0) + " " + std::to_string(y0) + " " + std::to_string(x1) + " " +
                         std::to_string(y1));
        line_instructions += static_cast<double>(n - one_pixel_line);
        line_pixels += std::max(std::abs(x1 - x0), std::abs(y1 - y0)) + 1;
    }
    std::printf("  1000 random lines \"l x0 y0 x1 y1\": %.2f\n", line_instructions / line_pixels);

    const double raw = (host.command("xi 1 0 0") - one_pixel_line) / pixels;
    std::printf("  %dx%d bitmap \"xi 1 0 0\": %.2f\n", W, H, raw);
    const double rle16 = (host.command("xi 2 0 0") - one_pixel_line) / pixels;
    std::printf("  the same bitmap in RLE16 \"xi 2 0 0\": %.2f, %.1f times the raw draw\n", rle16, rle16 / raw);
    n = host.command("xif PIC.BMP 0 0");
    std::printf("  %dx%d BMP file from the card \"xif PIC.BMP 0 0\": %.2f\n", W, H, (n - one_pixel_line) / pixels);

    std::printf("drawing, --speed max: %.2f virtual s per host s, %.1f million ARM instructions per host s\n",
                static_cast<double>(host.virtual_time) / kSecond / host.host_seconds,
                static_cast<double>(host.instructions) / host.host_seconds / 1e6);
    std::printf("time per instruction: %llu/%llu cycles at %.0f MHz\n",
                static_cast<unsigned long long>(sim::arm::ArmCpu::kCyclesNum),
                static_cast<unsigned long long>(sim::arm::ArmCpu::kCyclesDen), sim::arm::ArmCpu::kClockHz / 1e6);
    std::fflush(stdout);
    fwtest::run("rm -rf " + dir);
    _exit(0);
}
