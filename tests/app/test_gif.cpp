// GIF entries of the memory image: "xi" plays every frame once, "agif" plays
// them in the background with their delays, and the decoder's answers about
// a file.  The GIFs are made by ImageMagick and gifsicle; ImageMagick also
// decodes every frame for the comparison.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/GUI.h"
#include "graphics/GUI_ALLOC.h"
#include "graphics/GUI_GIF.h"
#include "support/host.h"
#include "support/image_builder.h"
#include "support/shell.h"

namespace {

using fwtest::clear_screen;
using fwtest::command;
using fwtest::fb;
using fwtest::TestBitmap;
using fwtest::untouched_outside;
using fwtest::visible;

std::string run(const std::string& cmd, int* status = nullptr)
{
    FILE* p = popen((cmd + " 2>/dev/null").c_str(), "r");
    std::string out;
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int st = pclose(p);
    if (status)
        *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

std::vector<uint8_t> read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// A GIF made by ImageMagick with its frames as ImageMagick decodes them
// (coalesced to the logical screen, RGBA).
struct Gif {
    std::string what;
    std::vector<uint8_t> bytes;
    int width = 0, height = 0;
    std::vector<int> delays;                   // 1/100 s per frame
    std::vector<std::vector<uint8_t>> frames;  // RGBA of each frame
};

// The GIF file at path with its frames as ImageMagick decodes them.
Gif read_gif(const std::string& what, const std::string& path)
{
    Gif g;
    g.what = what;
    g.bytes = read_file(path);
    std::string info = run("identify -format '%W %H %T\\n' " + path);
    int w, h, d;
    const char* s = info.c_str();
    int used;
    while (std::sscanf(s, "%d %d %d\n%n", &w, &h, &d, &used) == 3) {
        g.width = w;
        g.height = h;
        g.delays.push_back(d);
        s += used;
    }
    std::string rgba = run("convert " + path + " -coalesce -depth 8 rgba:-");
    size_t frame = (size_t)g.width * g.height * 4;
    for (size_t i = 0; frame && i + frame <= rgba.size(); i += frame)
        g.frames.emplace_back(rgba.begin() + i, rgba.begin() + i + frame);
    EXPECT_EQ(g.frames.size(), g.delays.size()) << "ImageMagick's decoding of " << what;
    return g;
}

Gif make_gif(const std::string& what, const std::string& name, const std::string& args)
{
    std::string path = fwtest::temp_dir() + "/" + name;
    int st = -1;
    run("convert " + args + " " + path, &st);
    EXPECT_EQ(st, 0) << "ImageMagick could not make " << what;
    return read_gif(what, path);
}

uint16_t rgb565(const uint8_t* p)
{
    return (uint16_t)(((p[0] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[2] >> 3));
}

// The first pixel of the screen at (x, y) that differs from frame k of g
// (transparent pixels of the frame show the white of a cleared screen).
std::string mismatch(sim::Board& b, const Gif& g, size_t k, int x, int y)
{
    for (int r = 0; r < g.height; ++r)
        for (int c = 0; c < g.width; ++c) {
            const uint8_t* p = &g.frames[k][4 * (r * g.width + c)];
            uint16_t want = p[3] < 128 ? 0xFFFF : rgb565(p);
            if (fb(b, x + c, y + r) != want) {
                char m[160];
                std::snprintf(m, sizeof m, "%s, frame %zu: pixel (%d,%d) is %04X, ImageMagick decodes %04X",
                              g.what.c_str(), k, c, r, fb(b, x + c, y + r), want);
                return m;
            }
        }
    return "";
}

std::vector<Gif> made_gifs()
{
    return {
        make_gif("a three-frame animation", "anim.gif",
                 "-delay 7 -size 24x16 xc:red -delay 13 rose: -resize 24x16! -delay 5 -size 24x16 gradient:blue-yellow "
                 "-loop 0"),
        make_gif("a frame with a transparent colour over another", "trans.gif",
                 "-delay 4 -size 20x20 xc:blue \\( -size 20x20 xc:none -fill red -draw 'rectangle 5,5 14,14' \\) -loop 0"),
        make_gif("an interlaced picture", "inter.gif", "rose: -interlace GIF"),
        make_gif("a palette of 2 colours", "two.gif", "-size 17x9 pattern:checkerboard -colors 2"),
        make_gif("a palette of 256 colours", "many.gif", "rose: -resize 90x60! -colors 256"),
    };
}

std::vector<TestBitmap> entries(const std::vector<Gif>& gifs)
{
    std::vector<TestBitmap> v;
    for (const Gif& g : gifs) {
        TestBitmap t;
        t.kind = TestBitmap::Gif;
        t.bytes = g.bytes;
        v.push_back(t);
    }
    return v;
}

TEST(Gif, XiShowsTheLastFrameAsImageMagickDecodesIt)
{
    const std::vector<Gif> gifs = made_gifs();
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(entries(gifs));
    sim::Board& b = fwtest::boot_to_prompt(o);
    for (size_t n = 1; n <= gifs.size(); ++n) {
        const Gif& g = gifs[n - 1];
        ASSERT_FALSE(g.frames.empty()) << g.what;
        clear_screen();
        char line[48];
        std::snprintf(line, sizeof line, "xi %zu 100 50", n);
        EXPECT_EQ(visible(command(line)), ">\\r") << line << " on " << g.what;
        EXPECT_EQ(mismatch(b, g, g.frames.size() - 1, 100, 50), "") << "after " << line;
        EXPECT_TRUE(untouched_outside(b, 100, 50, 100 + g.width - 1, 50 + g.height - 1))
            << g.what << " drew outside its screen";
    }
    const std::string list = command("lsbmp");
    for (const Gif& g : gifs) {
        char want[64];
        std::snprintf(want, sizeof want, "GIF: %dx%d, %zu frames\r", g.width, g.height, g.frames.size());
        EXPECT_NE(list.find(want), std::string::npos) << "lsbmp does not list \"" << want << "\" for " << g.what
                                                      << ": " << visible(list);
    }
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

TEST(Gif, XiShowsEachFrameForItsDelayBeforeItAnswers)
{
    const std::vector<Gif> gifs = made_gifs();
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(entries(gifs));
    sim::Board& b = fwtest::boot_to_prompt(o);
    const Gif& g = gifs[0];
    clear_screen();
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "xi 1 100 50\r");
    sim::Time start = b.machine.now();
    // The line takes about a millisecond on the wire; each frame is then
    // sampled in the middle of its time on the screen.
    sim::Time shown = sim::kMillisecond;
    sim::Time total = 0;
    for (int d : g.delays)
        total += d * 10 * sim::kMillisecond;
    for (size_t k = 0; k < g.frames.size(); ++k) {
        sim::Time d = g.delays[k] * 10 * sim::kMillisecond;
        b.machine.run_for(start + shown + d / 2 - b.machine.now());
        EXPECT_EQ(mismatch(b, g, k, 100, 50), "") << "xi on " << g.what << " at "
                                                  << (b.machine.now() - start) / sim::kMillisecond << " ms";
        shown += d;
    }
    std::string reply = fwtest::until_prompt(b.uart1, from);
    EXPECT_EQ(visible(reply), ">\\r");
    EXPECT_GE(b.uart1.sent.back().time - start, total) << "xi answered before the frames' delays had passed";
}

TEST(Gif, XiOfAGifWithHoursOfDelaysEndsOnTheHostsAbort)
{
    // Two frames of 655.35 s each: without a way out the command port
    // would be deaf for 22 minutes.
    const Gif slow = make_gif("two frames of the longest delay", "slow.gif",
                              "-delay 65535 -size 24x16 xc:red -size 24x16 xc:blue -loop 0");
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(entries({slow}));
    sim::Board& b = fwtest::boot_to_prompt(o);
    for (const char* abort : {"*abt\r", "\x1b\r"}) {
        clear_screen();
        size_t from = b.uart1.sent.size();
        fwtest::send(b.uart1, "xi 1 100 50\r");
        b.machine.run_for(2 * sim::kSecond);
        EXPECT_EQ(mismatch(b, slow, 0, 100, 50), "") << "the first frame is not shown";
        const sim::Time asked = b.machine.now();
        fwtest::send(b.uart1, abort);
        const std::string reply = fwtest::until_prompt(b.uart1, from);
        EXPECT_EQ(reply.substr(0, 2), ">\r") << visible(abort) << ": " << visible(reply);
        EXPECT_LT(b.uart1.sent.back().time - asked, sim::kSecond) << "xi went on after " << visible(abort);
        EXPECT_EQ(mismatch(b, slow, 0, 100, 50), "") << "the frame after the abort was drawn";
        fwtest::until_prompt(b.uart1, b.uart1.sent.size());  // what the abort line itself answers, if anything
        EXPECT_NE(command("vers").find("VELM5-PLUS"), std::string::npos);
    }
}

TEST(Gif, PlayerShowsEachFrameForItsDelay)
{
    const std::vector<Gif> gifs = made_gifs();
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(entries(gifs));
    sim::Board& b = fwtest::boot_to_prompt(o);
    for (size_t n : {1, 2}) {
        const Gif& g = gifs[n - 1];
        clear_screen();
        char line[48];
        std::snprintf(line, sizeof line, "agif 0 %zu 300 200 1", n);
        ASSERT_EQ(visible(command(line)), ">\\r") << line;
        EXPECT_EQ(visible(command(line)), visible(":agif already running\r!\r")) << "a second agif while playing";
        sim::Time start = b.machine.now();
        // Sample each frame in the middle of its time on the screen.
        sim::Time shown = 0;
        for (size_t k = 0; k < g.frames.size(); ++k) {
            sim::Time d = g.delays[k] * 10 * sim::kMillisecond;
            sim::Time at = start + shown + d / 2;
            if (b.machine.now() < at)
                b.machine.run_for(at - b.machine.now());
            EXPECT_EQ(mismatch(b, g, k, 300, 200), "") << "playing " << g.what << " at "
                                                       << (b.machine.now() - start) / sim::kMillisecond << " ms";
            shown += d;
        }
        b.machine.run_for(100 * sim::kMillisecond);
        EXPECT_EQ(mismatch(b, g, g.frames.size() - 1, 300, 200), "") << "the last frame stays after one play";
        EXPECT_EQ(visible(command(line)), ">\\r") << "after one play the player stopped and starts again";
        EXPECT_EQ(visible(command("agifd 0")), ">\\r");
        EXPECT_EQ(visible(command(line)), ">\\r") << "agifd stops the player";
        EXPECT_EQ(visible(command("agifd 0")), ">\\r");
    }
    // Repeat count 0 plays until stopped; a screen clear stops it.
    ASSERT_EQ(visible(command("agif 0 1 300 200 0")), ">\\r");
    b.machine.run_for(1000 * sim::kMillisecond);
    EXPECT_EQ(visible(command("agif 0 1 300 200 0")), visible(":agif already running\r!\r")) << "after 4 plays";
    EXPECT_EQ(visible(command("z")), ">\\r");
    b.machine.run_for(300 * sim::kMillisecond);
    EXPECT_TRUE(untouched_outside(b, 0, 0, -1, -1)) << "a frame was drawn after the screen clear";
    EXPECT_EQ(visible(command("agif 0 1 300 200 0")), ">\\r") << "the screen clear did not stop the player";
    EXPECT_EQ(visible(command("agifd 0")), ">\\r");
    for (const char* line : {"agif 0 1 0 0", "agif 0 9 0 0 1", "agif 0 0 0 0 1"})
        EXPECT_EQ(visible(command(line)), "!\\r") << line << " started the player";
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

TEST(Gif, PlayerShowsFramesWithoutADelayOneAfterAnother)
{
    // Nothing but the main loop's passes separates frames of delay 0: the
    // player must not wait for the tick between them.
    const Gif g = make_gif("eight frames without a delay", "nodelay.gif",
                           "-delay 0 -size 16x8 xc:red xc:orange xc:yellow xc:lime xc:cyan xc:blue xc:magenta "
                           "xc:black -loop 0");
    ASSERT_EQ(g.frames.size(), 8u);
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(entries({g}));
    sim::Board& b = fwtest::boot_to_prompt(o);
    ASSERT_EQ(visible(command("agif 0 1 300 200 1")), ">\\r");
    const sim::Time prompt = b.uart1.sent.back().time;
    ASSERT_TRUE(b.machine.run_until([&] { return mismatch(b, g, 7, 300, 200).empty(); },
                                    b.machine.now() + 100 * sim::kMillisecond))
        << "the last frame was never shown";
    EXPECT_LT(b.machine.now() - prompt, 50 * sim::kMicrosecond) << "the frames waited for something between them";
}

// How the frames of a GIF file are coloured, as gifsicle reads the file: per
// frame "G" (the global table) or "L" (a local one), "T" added when its
// graphic control extension names a transparent index.
std::string colouring(const std::string& path)
{
    std::istringstream info(run("gifsicle --info '" + path + "'"));
    std::string line, frames;
    while (std::getline(info, line)) {
        if (line.find("+ image #") != std::string::npos) {
            frames += frames.empty() ? "G" : " G";
            if (line.find(" transparent ") != std::string::npos)
                frames += "T";
        } else if (line.find("local color table") != std::string::npos && !frames.empty()) {
            frames[frames.rfind('G')] = 'L';
        }
    }
    return frames;
}

// How many pixels of the screen at (x, y) differ from frame k of g, and the
// first of them; "" when none does.
std::string wrong_pixels(sim::Board& b, const Gif& g, size_t k, int x, int y)
{
    int wrong = 0;
    char first[128] = "";
    for (int r = 0; r < g.height; ++r)
        for (int c = 0; c < g.width; ++c) {
            const uint8_t* p = &g.frames[k][4 * (r * g.width + c)];
            const uint16_t want = p[3] < 128 ? 0xFFFF : rgb565(p);
            if (fb(b, x + c, y + r) != want && wrong++ == 0)
                std::snprintf(first, sizeof first, "the first at (%d,%d) is %04X where ImageMagick composes %04X", c,
                              r, fb(b, x + c, y + r), want);
        }
    if (!wrong)
        return "";
    return "frame " + std::to_string(k) + ": " + std::to_string(wrong) + " of " +
           std::to_string(g.width * g.height) + " pixels wrong, " + first;
}

// Looks at every frame of g in the middle of its time on the screen, the
// first shown from `from` on; what differs, frame by frame.
std::string frames_shown(sim::Board& b, const Gif& g, sim::Time from, int x, int y)
{
    std::string wrong;
    sim::Time shown = from;
    for (size_t k = 0; k < g.frames.size(); ++k) {
        const sim::Time d = g.delays[k] * 10 * sim::kMillisecond;
        if (b.machine.now() < shown + d / 2)
            b.machine.run_for(shown + d / 2 - b.machine.now());
        const std::string w = wrong_pixels(b, g, k, x, y);
        if (!w.empty())
            wrong += (wrong.empty() ? "" : "; ") + w;
        shown += d;
    }
    return wrong;
}

TEST(Gif, EachFrameHasItsOwnColourTableAndTransparency)
{
    // Frames that ImageMagick and gifsicle make; every frame covers the
    // screen, and the first has no transparency, so the screen shows what
    // ImageMagick composes whatever it held before.
    const std::string red_black = "-size 20x20 xc:red -fill black -draw 'rectangle 2,2 9,9'";
    struct Case {
        const char* what;
        std::string make;       // shell commands that write FILE.gif
        const char* colouring;  // of its frames, as gifsicle reads them
    };
    const std::vector<Case> cases = {
        {"a frame of the global table after one of a local table",
         "convert -delay 10 \\( " + red_black + " \\) \\( -size 20x20 xc:blue -fill yellow -draw 'rectangle 4,4 12,12' "
         "\\) \\( -size 20x20 xc:red -fill black -draw 'rectangle 8,8 15,15' \\) -loop 0 FILE.gif",
         "G L G"},
        {"a transparent index on one frame only",
         "convert " + red_black + " FILE-0.gif && convert -size 20x20 xc:red -fill black -draw 'rectangle 5,5 14,14' "
         "-fill blue -draw 'rectangle 0,0 3,19' FILE-1.gif && convert -size 20x20 xc:blue -fill black -draw "
         "'rectangle 8,8 17,17' -fill red -draw 'rectangle 0,0 19,2' FILE-2.gif && "
         "gifsicle -l -d 10 FILE-0.gif -t '#000000' FILE-1.gif --no-transparent FILE-2.gif -o FILE.gif",
         "G GT G"},
        {"a local table and a transparent index on one frame, the global table after it",
         "convert -delay 10 \\( " + red_black + " \\) \\( -size 20x20 xc:none -fill blue -draw 'rectangle 2,2 9,9' \\) "
         "\\( -size 20x20 xc:red -fill black -draw 'rectangle 8,8 15,15' \\) -loop 0 FILE.gif",
         "G LT G"},
        {"an animation that gifsicle -O2 optimised, of more colours than one table holds",
         "convert -delay 10 rose: \\( rose: -modulate 100,100,150 \\) \\( rose: -fill blue -draw 'rectangle 10,10 30,30' "
         "\\) \\( rose: -modulate 100,100,50 \\) rose: -loop 0 FILE-0.gif && gifsicle -w -O2 FILE-0.gif -o FILE.gif",
         "G LT LT L GT"},
    };
    std::vector<Gif> gifs;
    const std::string card = fwtest::temp_dir() + "/card.img";
    fwtest::make_card(card);
    for (size_t n = 0; n < cases.size(); ++n) {
        const std::string base = fwtest::temp_dir() + "/own" + std::to_string(n + 1), file = base + ".gif";
        std::string make = cases[n].make;
        for (size_t at; (at = make.find("FILE")) != std::string::npos;)
            make.replace(at, 4, base);
        int st = -1;
        run(make, &st);
        ASSERT_EQ(st, 0) << "could not make " << cases[n].what << ": " << make;
        ASSERT_EQ(colouring(file), cases[n].colouring) << "the tools did not make " << cases[n].what;
        gifs.push_back(read_gif(cases[n].what, file));
        ASSERT_FALSE(gifs.back().frames.empty()) << cases[n].what;
        fwtest::put_on_card(card, file, "own" + std::to_string(n + 1) + ".gif");
    }
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(entries(gifs));
    o.sd = card;
    sim::Board& b = fwtest::boot_to_prompt(o);
    for (size_t n = 1; n <= gifs.size(); ++n) {
        const Gif& g = gifs[n - 1];
        const std::string num = std::to_string(n);
        // The player: each frame in the main loop's passes after the prompt.
        clear_screen();
        ASSERT_EQ(visible(command("agif 0 " + num + " 300 200 1")), ">\\r");
        EXPECT_EQ(frames_shown(b, g, b.machine.now(), 300, 200), "") << "agif of " << g.what;
        command("agifd 0");
        // "xi": the frames one after the other before the prompt; the line
        // takes about a millisecond on the wire.
        clear_screen();
        const size_t sent = b.uart1.sent.size();
        fwtest::send(b.uart1, "xi " + num + " 100 50\r");
        EXPECT_EQ(frames_shown(b, g, b.machine.now() + sim::kMillisecond, 100, 50), "") << "xi of " << g.what;
        EXPECT_EQ(visible(fwtest::until_prompt(b.uart1, sent)), ">\\r") << "xi of " << g.what;
        // "xif": the first frame of the file on the card.
        clear_screen();
        ASSERT_EQ(visible(command("xif own" + num + ".gif 10 10", 10 * sim::kSecond)), ">\\r") << g.what;
        EXPECT_EQ(wrong_pixels(b, g, 0, 10, 10), "") << "xif of " << g.what;
    }
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

// Hand-made files: 4 x 2 screen, two colours (black, white).
std::vector<uint8_t> tiny_gif(const std::vector<uint8_t>& data, int minCodeSize = 2)
{
    std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 2, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255,
                              0x2C, 0, 0, 0, 0, 4, 0, 2, 0, 0, (uint8_t)minCodeSize, (uint8_t)data.size()};
    for (uint8_t v : data)
        g.push_back(v);
    g.push_back(0);
    g.push_back(0x3B);
    return g;
}

TEST(Gif, CorruptFilesDrawNothingHarmful)
{
    const Gif good = make_gif("a three-frame animation", "anim.gif",
                              "-delay 7 -size 24x16 xc:red -delay 13 rose: -resize 24x16! -delay 5 -size 24x16 "
                              "gradient:blue-yellow -loop 0");
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases = {
        {"a file cut in the middle of its first image", std::vector<uint8_t>(good.bytes.begin(), good.bytes.begin() + good.bytes.size() / 4)},
        {"a file cut in its last image", std::vector<uint8_t>(good.bytes.begin(), good.bytes.end() - 40)},
        // Codes of 3 bits: clear, 0, then 7 where only 6 can come next.
        {"an LZW code beyond the table", tiny_gif({0xC4, 0x0B})},
        // Clear, then 6 at once: no previous code to extend.
        {"an LZW code before any table entry", tiny_gif({0x34, 0x00})},
        {"an LZW minimum code size of 12", tiny_gif({0xFF, 0xFF}, 12)},
        {"an LZW minimum code size of 0", tiny_gif({0xFF, 0xFF}, 0)},
        {"an image running out of data before its end code", tiny_gif({0x04})},
    };
    std::vector<TestBitmap> bms;
    for (const Case& c : cases) {
        TestBitmap t;
        t.kind = TestBitmap::Gif;
        t.bytes = c.bytes;
        bms.push_back(t);
    }
    TestBitmap t;
    t.kind = TestBitmap::Gif;
    t.bytes = good.bytes;
    bms.push_back(t);
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image(bms);
    sim::Board& b = fwtest::boot_to_prompt(o);
    for (size_t n = 1; n <= cases.size(); ++n) {
        clear_screen();
        char line[48];
        std::snprintf(line, sizeof line, "xi %zu 10 10", n);
        EXPECT_EQ(visible(command(line)), "!\\r") << line << ": " << cases[n - 1].what << " was drawn as sound";
        EXPECT_TRUE(untouched_outside(b, 10, 10, 10 + 23, 10 + 15)) << cases[n - 1].what << " drew outside its screen";
        std::snprintf(line, sizeof line, "agif 0 %zu 0 0 0", n);
        std::string r = command(line);
        command("agifd 0");
    }
    clear_screen();
    char line[48];
    std::snprintf(line, sizeof line, "xi %zu 10 10", cases.size() + 1);
    EXPECT_EQ(visible(command(line)), ">\\r") << "a sound GIF after the corrupt ones";
    EXPECT_EQ(mismatch(b, good, 2, 10, 10), "") << "after the corrupt files";
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

TEST(Gif, DecoderAnswersAboutAFile)
{
    const Gif anim = make_gif("a three-frame animation", "anim.gif",
                              "-delay 7 -size 24x16 xc:red -delay 13 \\( -size 10x6 xc:green -repage 24x16+5+3 \\) "
                              "-delay 5 -size 24x16 xc:blue -loop 0");
    sim::Board& b = fwtest::boot_to_prompt();
    auto screen = [](int w, int h) {
        std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a', (uint8_t)w, (uint8_t)(w >> 8), (uint8_t)h,
                                  (uint8_t)(h >> 8), 0, 0, 0, 0x3B};
        return g;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int result, xs, ys, frames;
    };
    std::vector<uint8_t> bad = screen(5, 5);
    bad[4] = '8';
    const std::vector<Case> cases = {
        {"a screen of 2000 x 2000", screen(2000, 2000), 0, 2000, 2000, 0},
        {"a screen of 2001 x 10", screen(2001, 10), 1, 0, 0, 0},
        {"a version 88a", bad, 1, 0, 0, 0},
        {"ImageMagick's three frames", anim.bytes, 0, 24, 16, 3},
        {"a file without its trailer", std::vector<uint8_t>(anim.bytes.begin(), anim.bytes.end() - 1), 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        int r = -1;
        GUI_GifFileInfo info = {0, 0, 0};
        fwtest::on_firmware([&] { r = GUI_GIF_GetInfo(c.bytes.data(), (uint32_t)c.bytes.size(), &info); });
        EXPECT_EQ(r, c.result) << "GUI_GIF_GetInfo on " << c.what;
        if (r == 0 && c.result == 0) {
            EXPECT_EQ(info.XSize, c.xs) << c.what;
            EXPECT_EQ(info.YSize, c.ys) << c.what;
            EXPECT_EQ(info.NumImages, c.frames) << c.what;
        }
    }
    GUI_GifFrameInfo fi = {-1, -1, -1, -1, -1};
    int r = -1;
    fwtest::on_firmware([&] { r = GUI_GIF_GetImageInfo(anim.bytes.data(), (uint32_t)anim.bytes.size(), &fi, 1); });
    EXPECT_EQ(r, 0);
    EXPECT_EQ(fi.xPos, 5) << "Left of frame 1";
    EXPECT_EQ(fi.yPos, 3) << "Top of frame 1";
    EXPECT_EQ(fi.XSize, 10);
    EXPECT_EQ(fi.YSize, 6);
    EXPECT_EQ(fi.Delay, 13) << "the delay of the extension before frame 1";
    // An image beyond the last draws nothing and is no failure.
    int32_t freeBefore = 0, freeAfter = 0;
    fwtest::on_firmware([&] {
        GUI_Clear();
        freeBefore = GUI_ALLOC_GetNumFreeBytes();
        r = GUI_GIF_DrawSub(anim.bytes.data(), (uint32_t)anim.bytes.size(), 0, 0, 5);
        freeAfter = GUI_ALLOC_GetNumFreeBytes();
    });
    EXPECT_EQ(r, 0) << "drawing image 5 of 3";
    EXPECT_TRUE(untouched_outside(b, 0, 0, -1, -1)) << "drawing image 5 of 3 drew something";
    EXPECT_EQ(freeBefore, freeAfter) << "the decoder kept pool memory";
    // Comments and the plain size queries.
    const Gif noted = make_gif("a picture with a comment", "noted.gif", "-size 9x7 xc:red -set comment 'seven by nine'");
    uint8_t text[32] = {0}, cut[6] = {0};
    int rText = -1, rCut = -1, rNone = -1, xs = -1, ys = -1;
    fwtest::on_firmware([&] {
        rText = GUI_GIF_GetComment(noted.bytes.data(), (uint32_t)noted.bytes.size(), text, sizeof text - 1, 0);
        rCut = GUI_GIF_GetComment(noted.bytes.data(), (uint32_t)noted.bytes.size(), cut, 5, 0);
        rNone = GUI_GIF_GetComment(noted.bytes.data(), (uint32_t)noted.bytes.size(), text + 20, 5, 1);
        xs = GUI_GIF_GetXSize(noted.bytes.data(), (uint32_t)noted.bytes.size());
        ys = GUI_GIF_GetYSize(noted.bytes.data(), (uint32_t)noted.bytes.size());
    });
    EXPECT_EQ(rText, 0) << "GUI_GIF_GetComment found no comment";
    EXPECT_STREQ((const char*)text, "seven by nine");
    EXPECT_EQ(rCut, 0);
    EXPECT_STREQ((const char*)cut, "seven") << "a comment is cut to the buffer's size";
    EXPECT_EQ(rNone, 1) << "a second comment that the file does not have";
    EXPECT_EQ(xs, 9);
    EXPECT_EQ(ys, 7);
    // With the pool taken up the decoder refuses instead of drawing.
    int rInfo = -1, rDraw = -1;
    fwtest::on_firmware([&] {
        GUI_ALLOC_Handle h = GUI_ALLOC_AllocNoInit(GUI_ALLOC_GetMaxSize() - 1000);
        GUI_GifFileInfo info;
        rInfo = GUI_GIF_GetInfo(anim.bytes.data(), (uint32_t)anim.bytes.size(), &info);
        rDraw = GUI_GIF_DrawSub(anim.bytes.data(), (uint32_t)anim.bytes.size(), 0, 0, 0);
        GUI_ALLOC_Free(h);
    });
    EXPECT_EQ(rInfo, 1) << "GUI_GIF_GetInfo without room for its context";
    EXPECT_EQ(rDraw, 1) << "GUI_GIF_DrawSub without room for its context";
    EXPECT_TRUE(untouched_outside(b, 0, 0, -1, -1)) << "drawn without a context";
}

// LZW data of minimum code size 2 that a decoder must follow code by code:
// a clear code before every pair of pixels keeps the codes 3 bits wide.
std::vector<uint8_t> lzw2(const std::vector<int>& pixels)
{
    std::vector<int> codes;
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (i % 2 == 0)
            codes.push_back(4);
        codes.push_back(pixels[i]);
    }
    codes.push_back(5);
    std::vector<uint8_t> out((codes.size() * 3 + 7) / 8, 0);
    for (size_t i = 0; i < codes.size(); ++i)
        for (int k = 0; k < 3; ++k)
            if (codes[i] >> k & 1)
                out[(i * 3 + k) / 8] |= (uint8_t)(1 << ((i * 3 + k) % 8));
    return out;
}

// Screen 4 x 2, colours black, red, green, blue; image 0 all red with a
// graphic control extension gce0, image 1 at (1, 0), 2 x 2: green, blue in
// both rows, after the extension gce1.
std::vector<uint8_t> two_images(const std::vector<uint8_t>& gce0, const std::vector<uint8_t>& gce1)
{
    std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 2, 0, 0x81, 0, 0,
                              0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    auto image = [&](const std::vector<uint8_t>& gce, int left, int w, const std::vector<int>& px) {
        g.insert(g.end(), gce.begin(), gce.end());
        std::vector<uint8_t> d = {0x2C, (uint8_t)left, 0, 0, 0, (uint8_t)w, 0, 2, 0, 0, 2};
        g.insert(g.end(), d.begin(), d.end());
        std::vector<uint8_t> data = lzw2(px);
        g.push_back((uint8_t)data.size());
        g.insert(g.end(), data.begin(), data.end());
        g.push_back(0);
    };
    image(gce0, 0, 4, {1, 1, 1, 1, 1, 1, 1, 1});
    image(gce1, 1, 2, {2, 3, 2, 3});
    g.push_back(0x3B);
    return g;
}

std::vector<uint8_t> gce(int flags, int trans)
{
    return {0x21, 0xF9, 4, (uint8_t)flags, 0, 0, (uint8_t)trans, 0};
}

TEST(Gif, DisposalAndTransparencyOfALaterImage)
{
    const uint16_t R = 0xF800, G = 0x07E0, B = 0x001F, Wh = 0xFFFF;
    struct Case {
        const char* what;
        std::vector<uint8_t> gce0, gce1;
        uint16_t row[4];  // both rows after drawing image 0, then image 1
    };
    const std::vector<Case> cases = {
        {"no transparency", {}, gce(0, 0), {R, G, B, R}},
        {"blue transparent, disposal 1", {}, gce(1 << 2 | 1, 3), {R, G, R, R}},
        {"blue transparent, disposal 2: background for the uncovered and the transparent", {}, gce(2 << 2 | 1, 3),
         {Wh, G, Wh, Wh}},
        // An extension speaks for the one image after it.
        {"blue transparent for image 0 only, image 1's extension names none", gce(1, 3), gce(0, 0), {R, G, B, R}},
        {"blue transparent for image 0 only, image 1 has no extension", gce(1, 3), {}, {R, G, B, R}},
    };
    sim::Board& b = fwtest::boot_to_prompt();
    for (const Case& c : cases) {
        std::vector<uint8_t> f = two_images(c.gce0, c.gce1);
        int r0 = -1, r1 = -1;
        fwtest::on_firmware([&] {
            GUI_Clear();
            r0 = GUI_GIF_DrawSub(f.data(), (uint32_t)f.size(), 10, 20, 0);
            r1 = GUI_GIF_DrawSub(f.data(), (uint32_t)f.size(), 10, 20, 1);
        });
        EXPECT_EQ(r0, 0) << c.what << ": image 0";
        EXPECT_EQ(r1, 0) << c.what << ": image 1";
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(fb(b, 10 + x, 20 + y), c.row[x]) << c.what << ": pixel (" << x << "," << y << ")";
        EXPECT_TRUE(untouched_outside(b, 10, 20, 13, 21)) << c.what << ": drawn outside the screen";
    }
}

TEST(Gif, AnEndCodeInsideARowKeepsThePixelsBeforeIt)
{
    // 32 pixels made by ImageMagick, told to be 9 wide: three whole rows,
    // then 5 pixels of the fourth before the end code.
    Gif g = make_gif("an 8 x 4 picture", "rows.gif", "-size 8x4 gradient:red-blue -colors 16");
    ASSERT_EQ(g.frames.size(), 1u);
    std::vector<uint8_t> bytes = g.bytes;
    size_t at = 13 + ((bytes[10] & 0x80) ? 3u << ((bytes[10] & 7) + 1) : 0);
    while (at < bytes.size() && bytes[at] == 0x21) {  // extensions before the image
        at += 2;
        while (bytes[at])
            at += bytes[at] + 1;
        ++at;
    }
    ASSERT_EQ(bytes[at], 0x2C) << "no image descriptor where one was looked for";
    bytes[6] = bytes[at + 5] = 9;
    TestBitmap t;
    t.kind = TestBitmap::Gif;
    t.bytes = bytes;
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image({t});
    sim::Board& b = fwtest::boot_to_prompt(o);
    clear_screen();
    EXPECT_EQ(visible(command("xi 1 10 10")), ">\\r");
    for (int k = 0; k < 36; ++k) {
        const uint16_t want = k < 32 ? rgb565(&g.frames[0][4 * k]) : 0xFFFF;
        EXPECT_EQ(fb(b, 10 + k % 9, 10 + k / 9), want) << "pixel " << k << " of the stream, row " << k / 9;
    }
    EXPECT_TRUE(untouched_outside(b, 10, 10, 18, 13));
}

TEST(Gif, InterlacedRowsComeInPassOrder)
{
    // A 1 x 10 interlaced image whose pixel k is the k-th row drawn: colour 1
    // (red) where a row lands on its own place, else 0 (black).  Rows in file
    // order are 0, 8, 4, 2, 6, 1, 3, 5, 7, 9; each stored pixel says which
    // row it is, so the screen shows red where order and place agree.
    const int order[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 10, 0, 0x81, 0, 0,
                              0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0x2C, 0, 0, 0, 0, 1, 0, 10, 0, 0x40, 2};
    // Row r (by place) gets colour 1 + (r % 3) through the order.
    std::vector<int> px(10);
    for (int k = 0; k < 10; ++k)
        px[k] = 1 + order[k] % 3;
    std::vector<uint8_t> data = lzw2(px);
    g.push_back((uint8_t)data.size());
    g.insert(g.end(), data.begin(), data.end());
    g.push_back(0);
    g.push_back(0x3B);
    sim::Board& b = fwtest::boot_to_prompt();
    int r = -1;
    fwtest::on_firmware([&] {
        GUI_Clear();
        r = GUI_GIF_Draw(g.data(), (uint32_t)g.size(), 5, 5);
    });
    EXPECT_EQ(r, 0);
    const uint16_t colour[3] = {0xF800, 0x07E0, 0x001F};
    for (int y = 0; y < 10; ++y)
        EXPECT_EQ(fb(b, 5, 5 + y), colour[y % 3]) << "interlaced row " << y << " drawn out of its place";
}

}  // namespace
