#include "support/jpeg_files.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "board/hw.h"
#include "support/fw_board.h"
#include "support/shell.h"

namespace fwtest {

namespace {

const uint32_t kFrameBuffer = 0xC3E00000;  // board address

uint16_t rgb565(unsigned r, unsigned g, unsigned b)
{
    return static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

// The next header field of a PNM file.
int pnm_field(const std::vector<uint8_t>& d, size_t& i)
{
    while (i < d.size() && (std::isspace(d[i]) || d[i] == '#')) {
        if (d[i] == '#')
            while (i < d.size() && d[i] != '\n')
                ++i;
        else
            ++i;
    }
    int v = 0;
    while (i < d.size() && std::isdigit(d[i]))
        v = v * 10 + (d[i++] - '0');
    return v;
}

}  // namespace

std::vector<uint8_t> file_bytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

namespace {

// The ImageMagick picture both encoders start from; its path.
std::string plasma(int width, int height, int seed)
{
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string src = temp_dir() + "/plasma_" + size + "_" + std::to_string(seed) + ".ppm";
    if (!std::ifstream(src).good())
        must("convert -size " + size + " -seed " + std::to_string(seed) + " plasma:fractal -blur 0x1 -depth 8 " + src);
    return src;
}

}  // namespace

std::string make_jpeg(const std::string& name, int width, int height, const std::string& cjpeg_options, int seed)
{
    const std::string src = plasma(width, height, seed);
    const std::string out = temp_dir() + "/" + name;
    must("cjpeg " + cjpeg_options + " -outfile " + out + " " + src);
    return out;
}

std::string make_jpeg_ffmpeg(const std::string& name, int width, int height, const std::string& ffmpeg_options,
                             int seed)
{
    const std::string src = plasma(width, height, seed);
    const std::string out = temp_dir() + "/" + name;
    must("ffmpeg -nostdin -loglevel error -y -i " + src + " " + ffmpeg_options + " -frames:v 1 " + out);
    return out;
}

Picture djpeg_565(const std::string& jpeg)
{
    const std::string pnm = jpeg + ".pnm";
    // A damaged file is decoded with warnings, which djpeg's status 2 tells.
    const Outcome r = run("djpeg -dct int -nosmooth -pnm -outfile " + pnm + " " + jpeg);
    if (r.status != 0 && r.status != 2)
        throw std::runtime_error("djpeg failed on " + jpeg + "\n" + r.out);
    const std::vector<uint8_t> d = file_bytes(pnm);
    if (d.size() < 2 || d[0] != 'P' || (d[1] != '5' && d[1] != '6'))
        throw std::runtime_error("djpeg made no PNM file of " + jpeg);
    const bool grey = d[1] == '5';
    size_t i = 2;
    Picture p;
    p.width = pnm_field(d, i);
    p.height = pnm_field(d, i);
    pnm_field(d, i);
    ++i;
    const size_t n = static_cast<size_t>(p.width) * p.height, per = grey ? 1 : 3;
    if (d.size() < i + n * per)
        throw std::runtime_error("djpeg's picture of " + jpeg + " is short");
    p.rgb565.resize(n);
    for (size_t k = 0; k < n; ++k) {
        const uint8_t* q = &d[i + k * per];
        p.rgb565[k] = grey ? rgb565(q[0], q[0], q[0]) : rgb565(q[0], q[1], q[2]);
    }
    return p;
}

long find_marker(const std::vector<uint8_t>& jpeg, uint8_t m, long from)
{
    for (size_t i = static_cast<size_t>(from); i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == m)
            return static_cast<long>(i);
    return -1;
}

Agreement compare_screen(const Picture& want, int x, int y, int w, int h, uint16_t background, int skip_first,
                         int skip_end)
{
    const volatile uint16_t* fb = static_cast<const volatile uint16_t*>(hw_ptr(kFrameBuffer));
    Agreement a;
    for (int sy = 0; sy < h; ++sy)
        for (int sx = 0; sx < w; ++sx) {
            const uint16_t got = fb[sy * w + sx];
            const int c = sx - x, r = sy - y;
            char m[160];
            if (c < 0 || c >= want.width || r < 0 || r >= want.height) {
                if (got != background && a.outside_changed++ == 0 && a.first.empty()) {
                    std::snprintf(m, sizeof m, "screen pixel (%d,%d) outside the picture is %04X", sx, sy, got);
                    a.first = m;
                }
                continue;
            }
            if (r >= skip_first && r < skip_end)
                continue;
            const uint16_t v = want.rgb565[static_cast<size_t>(r) * want.width + c];
            ++a.compared;
            if (got == v)
                continue;
            const int step = std::max({std::abs((got >> 11) - (v >> 11)), std::abs(((got >> 5) & 63) - ((v >> 5) & 63)),
                                       std::abs((got & 31) - (v & 31))});
            if (a.differing++ == 0 && a.first.empty()) {
                std::snprintf(m, sizeof m, "picture pixel (%d,%d) is %04X on the screen, djpeg gives %04X", c, r, got,
                              v);
                a.first = m;
            }
            if (step > a.max_step)
                a.max_step = step;
        }
    return a;
}

void differing_rows(const Picture& a, const Picture& b, int band, int* first, int* end)
{
    *first = a.height;
    *end = 0;
    const auto row = [](const Picture& p, int y) { return p.rgb565.begin() + static_cast<long>(y) * p.width; };
    for (int y = 0; y < a.height; ++y)
        if (!std::equal(row(a, y), row(a, y + 1), row(b, y))) {
            *first = std::min(*first, y / band * band);
            *end = std::max(*end, std::min(a.height, (y / band + 1) * band));
        }
    if (*end == 0)
        *first = 0;
}

bool like_djpeg(const Agreement& a)
{
    return a.compared > 0 && a.max_step <= 1 && a.differing * 100 <= a.compared && a.outside_changed == 0;
}

std::string describe(const Agreement& a)
{
    return std::to_string(a.differing) + " of " + std::to_string(a.compared) + " pixels differ, by up to " +
           std::to_string(a.max_step) + " steps; " + std::to_string(a.outside_changed) +
           " pixels outside changed; " + a.first;
}

}  // namespace fwtest
