// The JPEG decoder on files in memory: every kind it draws against djpeg's
// decoding of the same file, progressive files (whole and in bands) against
// their sequential twins, files refused or cut short, restart markers, a
// read callback that serves only a few bytes at a time, a pool too small.
// The files are made by cjpeg from ImageMagick pictures at test time.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "graphics/GUI_ALLOC.h"
#include "graphics/GUI_JPEG.h"
#include "screen.h"
#include "support/jpeg_files.h"
#include "support/shell.h"

namespace {

using fwtest::compare_screen;
using fwtest::describe;
using fwtest::like_djpeg;
using screen::H;
using screen::W;

void clear_white()
{
    screen::run([] {
        GUI_SetClipRect(nullptr);
        GUI_SetBkColor(0xFFFFFF);
        GUI_Clear();
    });
}

// The decoder's result for the file drawn at (x, y) on a white screen; the
// pool must be as empty afterwards as before.
int draw(const std::vector<uint8_t>& jpeg, int x, int y)
{
    clear_white();
    int r = -1;
    int32_t usedBefore = 0, usedAfter = 0;
    screen::run([&] {
        usedBefore = GUI_ALLOC_GetNumUsedBytes();
        r = GUI_JPEG_Draw(jpeg.data(), static_cast<uint32_t>(jpeg.size()), x, y);
        usedAfter = GUI_ALLOC_GetNumUsedBytes();
    });
    EXPECT_EQ(usedAfter, usedBefore) << "the decoder left blocks in the pool";
    return r;
}

// A read callback over a file in memory that serves at most Max bytes a
// request and counts the reads from the file's start.
struct Reader {
    const std::vector<uint8_t>* file;
    unsigned max;
    int passes;
};

int reader_get(void* p, const uint8_t** ppData, unsigned n, uint32_t off)
{
    Reader* r = static_cast<Reader*>(p);
    if (off == 0)
        r->passes++;
    if (off >= r->file->size())
        return 0;
    unsigned k = static_cast<unsigned>(r->file->size() - off);
    k = std::min({k, n, r->max});
    *ppData = r->file->data() + off;
    return static_cast<int>(k);
}

int draw_through(Reader& rd, int x, int y)
{
    clear_white();
    int r = -1;
    screen::run([&] { r = GUI_JPEG_DrawEx(reader_get, &rd, x, y); });
    return r;
}

std::string scans_file(const std::string& name, const std::string& text)
{
    std::string path = fwtest::temp_dir() + "/" + name;
    fwtest::write_bytes(path, std::vector<uint8_t>(text.begin(), text.end()));
    return path;
}

TEST(Jpeg, EveryKindDrawnAsDjpegDecodesIt)
{
    screen::start();
    const std::string seq3 = scans_file("seq3.scans", "0; 1; 2;");
    struct Kind {
        const char* what;
        int w, h;
        std::string options;
    };
    const Kind kinds[] = {
        {"grey", 97, 61, "-grayscale"},
        {"grey with 2x2 factors in its frame header", 97, 61, "-grayscale -sample 2x2"},
        {"4:4:4", 97, 61, "-sample 1x1"},
        {"4:2:2", 97, 61, "-sample 2x1"},
        {"4:4:0", 97, 61, "-sample 1x2"},
        {"4:2:0", 97, 61, "-sample 2x2"},
        {"4:2:0 of 37x23 (partial MCUs)", 37, 23, "-sample 2x2"},
        {"4:2:0 of 1x1", 1, 1, "-sample 2x2"},
        {"extended sequential with 16-bit tables", 97, 61, "-quality 2 -sample 2x2"},
        {"a restart marker after every MCU", 97, 61, "-restart 1B -sample 2x2"},
        {"sequential, one scan per component", 97, 61, "-scans " + seq3 + " -sample 2x2"},
        {"progressive grey", 97, 61, "-progressive -grayscale"},
        {"progressive 4:4:4", 97, 61, "-progressive -sample 1x1"},
        {"progressive 4:2:2", 97, 61, "-progressive -sample 2x1"},
        {"progressive 4:4:0", 97, 61, "-progressive -sample 1x2"},
        {"progressive 4:2:0", 97, 61, "-progressive -sample 2x2"},
        {"progressive with restart markers", 97, 61, "-progressive -restart 2B -sample 2x2"},
    };
    int n = 0;
    for (const Kind& k : kinds) {
        const std::string file = fwtest::make_jpeg("kind" + std::to_string(n++) + ".jpg", k.w, k.h, k.options);
        const std::vector<uint8_t> bytes = fwtest::file_bytes(file);
        ASSERT_EQ(draw(bytes, 10, 20), 0) << k.what << " not drawn";
        fwtest::Agreement a = compare_screen(fwtest::djpeg_565(file), 10, 20, W, H, screen::kWhite);
        EXPECT_TRUE(like_djpeg(a)) << k.what << ": " << describe(a);
    }
    const std::vector<uint8_t> extended = fwtest::file_bytes(fwtest::temp_dir() + "/kind8.jpg");
    EXPECT_GE(fwtest::find_marker(extended, 0xC1), 0) << "cjpeg made no extended sequential (SOF1) file";
    const std::vector<uint8_t> split = fwtest::file_bytes(fwtest::temp_dir() + "/kind10.jpg");
    EXPECT_GE(fwtest::find_marker(split, 0xC0), 0) << "cjpeg made no sequential file of three scans";
}

// Files whose factors in one direction share a divisor, as ffmpeg and
// cjpeg write them, are drawn as the form of the quotients; factors that
// stay outside the forms drawn are refused.
TEST(Jpeg, FactorsWithACommonDivisorAreDrawnAsTheirQuotients)
{
    screen::start();
    struct Kind {
        const char* what;
        bool ffmpeg;
        std::string options;
        int w, h;
        bool drawn;
    };
    const Kind kinds[] = {
        {"ffmpeg's 4:2:2 (luma 2x2, chroma 1x2)", true, "-pix_fmt yuvj422p", 97, 61, true},
        {"ffmpeg's 4:4:4 (every component 1x2)", true, "-pix_fmt yuvj444p", 97, 61, true},
        {"ffmpeg's grey (every component 1x2)", true, "-vf format=gray -pix_fmt yuvj444p", 97, 61, true},
        {"ffmpeg's 4:2:0, the form itself", true, "-pix_fmt yuvj420p", 97, 61, true},
        {"every component 2x1", false, "-sample 2x1,2x1,2x1", 97, 61, true},
        {"every component 1x2", false, "-sample 1x2,1x2,1x2", 97, 61, true},
        {"every component 1x2, progressive", false, "-progressive -sample 1x2,1x2,1x2", 97, 61, true},
        {"every component 3x1", false, "-sample 3x1,3x1,3x1", 97, 61, true},
        {"luma 4x1, chroma 2x1", false, "-sample 4x1,2x1,2x1", 97, 61, true},
        {"luma 2x2, chroma 1x2, partial MCUs", false, "-sample 2x2,1x2,1x2", 37, 23, true},
        {"4:1:1", false, "-sample 4x1,1x1,1x1", 97, 61, false},
        {"chroma components that differ", false, "-sample 2x2,1x1,1x2", 97, 61, false},
    };
    int n = 0;
    for (const Kind& k : kinds) {
        const std::string name = "divisor" + std::to_string(n++) + ".jpg";
        const std::string file = k.ffmpeg ? fwtest::make_jpeg_ffmpeg(name, k.w, k.h, k.options)
                                          : fwtest::make_jpeg(name, k.w, k.h, k.options);
        const std::vector<uint8_t> bytes = fwtest::file_bytes(file);
        if (!k.drawn) {
            EXPECT_EQ(draw(bytes, 10, 20), 1) << k.what << " must be refused";
            EXPECT_TRUE(screen::pixels_not(screen::kWhite).empty()) << k.what << ": drawn although refused";
            continue;
        }
        ASSERT_EQ(draw(bytes, 10, 20), 0) << k.what << " not drawn";
        fwtest::Agreement a = compare_screen(fwtest::djpeg_565(file), 10, 20, W, H, screen::kWhite);
        EXPECT_TRUE(like_djpeg(a)) << k.what << ": " << describe(a);
    }
}

// APPn and COM segments anywhere before a scan are passed over.
TEST(Jpeg, ApplicationAndCommentSegmentsBeforeAScan)
{
    screen::start();
    auto segment = [](uint8_t marker, const std::string& text) {
        std::vector<uint8_t> seg = {0xFF, marker, 0, static_cast<uint8_t>(text.size() + 2)};
        seg.insert(seg.end(), text.begin(), text.end());
        return seg;
    };
    auto insert = [](std::vector<uint8_t> f, long at, const std::vector<uint8_t>& seg) {
        f.insert(f.begin() + at, seg.begin(), seg.end());
        return f;
    };
    for (const char* options : {"-sample 2x2", "-progressive -sample 2x1"}) {
        const std::string file = fwtest::make_jpeg("segments.jpg", 97, 61, options);
        const std::vector<uint8_t> plain = fwtest::file_bytes(file);
        ASSERT_EQ(draw(plain, 0, 0), 0) << options;
        const std::vector<uint16_t> want = screen::snapshot();
        // Before the frame header, before the first scan, and before the last.
        std::vector<uint8_t> f = insert(plain, fwtest::find_marker(plain, 0xC0 + (options[1] == 'p' ? 2 : 0)),
                                        segment(0xE1, "Exif-like data"));
        f = insert(f, fwtest::find_marker(f, 0xDA), segment(0xFE, "a comment"));
        long last = fwtest::find_marker(f, 0xDA);
        for (long at = last; at >= 0; at = fwtest::find_marker(f, 0xDA, at + 2))
            last = at;
        f = insert(f, last, segment(0xEF, "APP15"));
        EXPECT_EQ(draw(f, 0, 0), 0) << options;
        EXPECT_TRUE(screen::snapshot() == want) << options << ": segments before a scan changed the picture";
    }
}

// Progressive files, whole in the pool or drawn in bands, are the picture of
// the sequential file made with the same quality; each band reads the file
// once more.
TEST(Jpeg, ProgressiveFilesAreTheirSequentialTwinWholeOrInBands)
{
    screen::start();
    struct Twin {
        const char* what;
        int w, h;
        const char* options;
        bool banded;
    };
    const Twin twins[] = {
        {"120x80 4:2:0, held whole", 120, 80, "-sample 2x2", false},
        {"panel-size 4:2:0, in bands", W, H, "-sample 2x2", true},
        {"panel-size 4:4:4, in bands", W, H, "-sample 1x1", true},
        {"panel-size 4:4:0 with restart markers, in bands", W, H, "-sample 1x2 -restart 5B", true},
        {"panel-size grey, in bands", W, H, "-grayscale", true},
    };
    int n = 0;
    for (const Twin& t : twins) {
        const std::string name = "twin" + std::to_string(n++);
        const std::vector<uint8_t> seq =
            fwtest::file_bytes(fwtest::make_jpeg(name + "s.jpg", t.w, t.h, std::string("-quality 80 ") + t.options));
        const std::vector<uint8_t> prog = fwtest::file_bytes(
            fwtest::make_jpeg(name + "p.jpg", t.w, t.h, std::string("-quality 80 -progressive ") + t.options));
        ASSERT_EQ(draw(seq, 0, 0), 0) << t.what << ", sequential";
        const std::vector<uint16_t> want = screen::snapshot();
        Reader rd{&prog, 1u << 30, 0};
        ASSERT_EQ(draw_through(rd, 0, 0), 0) << t.what << ", progressive";
        EXPECT_TRUE(screen::snapshot() == want) << t.what << ": the progressive file draws another picture";
        if (t.banded)
            EXPECT_GT(rd.passes, 10) << t.what << ": read " << rd.passes << " times, not once a band";
        else
            EXPECT_LE(rd.passes, 3) << t.what << ": read " << rd.passes << " times";
    }
}

// The card serves at most 2400 bytes a request; the decoder takes any count.
TEST(Jpeg, AReadCallbackServingFewBytesAtATime)
{
    screen::start();
    const std::vector<uint8_t> prog = fwtest::file_bytes(fwtest::make_jpeg("few_p.jpg", 203, 117, "-progressive"));
    const std::vector<uint8_t> base = fwtest::file_bytes(fwtest::make_jpeg("few_b.jpg", 203, 117, "-restart 1B"));
    for (const std::vector<uint8_t>* f : {&prog, &base}) {
        ASSERT_EQ(draw(*f, 5, 5), 0);
        const std::vector<uint16_t> want = screen::snapshot();
        for (unsigned max : {1u, 7u, 2400u}) {
            Reader rd{f, max, 0};
            ASSERT_EQ(draw_through(rd, 5, 5), 0) << (f == &prog ? "progressive" : "baseline") << ", " << max
                                                 << " bytes a request";
            EXPECT_TRUE(screen::snapshot() == want)
                << (f == &prog ? "progressive" : "baseline") << " file read " << max << " bytes at a time";
        }
    }
}

std::vector<uint8_t> with(std::vector<uint8_t> f, long at, std::vector<uint8_t> bytes)
{
    if (at < 0 || at + bytes.size() > f.size())
        throw std::runtime_error("no such place in the file");
    std::copy(bytes.begin(), bytes.end(), f.begin() + at);
    return f;
}

// Three components are YCbCr unless the file says RGB: an Adobe marker with
// transform 0 (as cjpeg -rgb writes), or, with neither a JFIF nor an Adobe
// marker, components named R, G and B.  Each is drawn as djpeg decodes it.
TEST(Jpeg, ThreeComponentFilesInTheColoursTheyAreCodedIn)
{
    screen::start();
    const std::vector<uint8_t> rgb = fwtest::file_bytes(fwtest::make_jpeg("rgb.jpg", 97, 61, "-rgb"));
    const long adobe = fwtest::find_marker(rgb, 0xEE), sof = fwtest::find_marker(rgb, 0xC0),
               sos = fwtest::find_marker(rgb, 0xDA);
    ASSERT_TRUE(adobe > 0 && sof > 0 && sos > 0) << "cjpeg -rgb wrote no Adobe marker";
    ASSERT_TRUE(rgb[adobe + 4] == 'A' && rgb[sof + 10] == 'R' && rgb[sof + 13] == 'G' && rgb[sof + 16] == 'B');
    std::vector<uint8_t> noAdobe = rgb;
    noAdobe.erase(noAdobe.begin() + adobe, noAdobe.begin() + adobe + 2 + (rgb[adobe + 2] << 8 | rgb[adobe + 3]));
    const std::vector<uint8_t> jfif = {0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    std::vector<uint8_t> jfifRGB = noAdobe;
    jfifRGB.insert(jfifRGB.begin() + 2, jfif.begin(), jfif.end());
    struct Kind {
        const char* what;
        std::vector<uint8_t> file;
    };
    const Kind kinds[] = {
        {"RGB (an Adobe marker with transform 0, components R, G, B)", rgb},
        {"RGB, progressive", fwtest::file_bytes(fwtest::make_jpeg("rgb_p.jpg", 97, 61, "-rgb -progressive"))},
        {"RGB with R sampled 2x2", fwtest::file_bytes(fwtest::make_jpeg("rgb_s.jpg", 97, 61, "-rgb -sample 2x2"))},
        {"RGB by its components' names R, G, B alone", noAdobe},
        {"RGB by its Adobe marker, components named 1, 2, 3",
         with(with(with(with(with(with(rgb, sof + 10, {1}), sof + 13, {2}), sof + 16, {3}), sos + 5, {1}), sos + 7,
                        {2}),
              sos + 9, {3})},
        {"YCbCr by an Adobe marker with transform 1, components R, G, B", with(rgb, adobe + 15, {1})},
        {"YCbCr by a JFIF marker, components R, G, B", jfifRGB},
    };
    int n = 0;
    for (const Kind& k : kinds) {
        const std::string file = fwtest::temp_dir() + "/colours" + std::to_string(n++) + ".jpg";
        fwtest::write_bytes(file, k.file);
        ASSERT_EQ(draw(k.file, 10, 20), 0) << k.what << " not drawn";
        fwtest::Agreement a = compare_screen(fwtest::djpeg_565(file), 10, 20, W, H, screen::kWhite);
        EXPECT_TRUE(like_djpeg(a)) << k.what << ": " << describe(a);
    }
}

TEST(Jpeg, FilesOfKindsNotDrawnAndBrokenHeadersAreRefused)
{
    screen::start();
    const std::vector<uint8_t> base = fwtest::file_bytes(fwtest::make_jpeg("r_base.jpg", 64, 48, "-sample 2x2"));
    const std::vector<uint8_t> prog =
        fwtest::file_bytes(fwtest::make_jpeg("r_prog.jpg", 64, 48, "-progressive -sample 2x2"));
    const long sof = fwtest::find_marker(base, 0xC0), sos = fwtest::find_marker(base, 0xDA);
    const long dht = fwtest::find_marker(base, 0xC4), dqt = fwtest::find_marker(base, 0xDB);
    const long app0 = fwtest::find_marker(base, 0xE0);
    ASSERT_TRUE(sof > 0 && sos > 0 && dht > 0 && dqt > 0 && app0 > 0) << "cjpeg's file lacks a segment";
    // The progressive file's second scan is an AC scan of one component.
    const long psos1 = fwtest::find_marker(prog, 0xDA), psos2 = fwtest::find_marker(prog, 0xDA, psos1 + 2);
    ASSERT_GT(psos2, 0);
    // Counts of the first DHT table with three codes moved to length 1: the
    // same symbols, more codes than 1 bit has.
    std::vector<uint8_t> oversubscribed = base;
    {
        uint8_t* counts = &oversubscribed[dht + 5];
        int k = 1;
        while (counts[k] < 3)
            ++k;
        counts[k] -= 3;
        counts[0] += 3;
    }
    const std::string magick = fwtest::temp_dir() + "/r_src.ppm";
    fwtest::must("convert -size 64x48 xc:orange " + magick);
    const std::string arith = fwtest::temp_dir() + "/r_arith.jpg", cmyk = fwtest::temp_dir() + "/r_cmyk.jpg";
    fwtest::must("cjpeg -arithmetic -outfile " + arith + " " + magick);
    fwtest::must("convert " + magick + " -colorspace CMYK " + cmyk);
    struct Refusal {
        const char* what;
        std::vector<uint8_t> file;
    };
    const Refusal refusals[] = {
        {"no SOI", with(base, 0, {0xFF, 0xD9})},
        {"arithmetic coding", fwtest::file_bytes(arith)},
        {"four components (CMYK)", fwtest::file_bytes(cmyk)},
        {"lossless frame", with(base, sof + 1, {0xC3})},
        {"12-bit samples", with(base, sof + 4, {12})},
        {"horizontal factor 0", with(base, sof + 11, {0x02})},
        {"vertical factor 3", with(base, sof + 11, {0x23})},
        {"luma 1x1 with chroma 2x2", with(with(base, sof + 11, {0x11}), sof + 14, {0x22})},
        {"horizontal factor 5", with(base, sof + 11, {0x52})},
        {"every component 2x2: an MCU of 12 blocks in one scan",
         with(with(with(base, sof + 11, {0x22}), sof + 14, {0x22}), sof + 17, {0x22})},
        {"quantisation table 4", with(base, sof + 12, {4})},
        {"a scan of no components", with(base, sos + 2, {0, 6, 0})},
        {"a scan of four components in a frame of three", with(base, sos + 4, {4})},
        {"a component twice in one scan", with(base, sos + 7, {1})},
        {"DC table 4", with(base, sos + 6, {0x40})},
        {"AC table 4", with(base, sos + 6, {0x04})},
        {"an over-subscribed Huffman table", oversubscribed},
        {"a DC category of 12", with(base, dht + 5 + 16, {12})},
        {"a segment length of 1", with(base, app0 + 2, {0, 1})},
        {"a DQT length one short of its table", with(base, dqt + 3, {static_cast<uint8_t>(base[dqt + 3] - 1)})},
        {"a restart segment of length 5", with(base, app0, {0xFF, 0xDD, 0, 5})},
        {"Se of 64", with(prog, psos2 + 7, {1, 64})},
        {"Se before Ss", with(prog, psos2 + 7, {9, 5})},
        {"Al of 14", with(prog, psos2 + 9, {0x0E})},
        {"Ah 3 with Al 1", with(prog, psos2 + 9, {0x31})},
        {"a DC scan with Se 5", with(prog, psos1 + 5 + 3 * 2 + 1, {5})},
    };
    for (const Refusal& r : refusals) {
        EXPECT_EQ(draw(r.file, 10, 10), 1) << r.what;
        EXPECT_TRUE(screen::pixels_not(screen::kWhite).empty()) << r.what << ": drawn although refused";
    }
    GUI_JPEG_INFO info{-1, -1};
    int r = -1;
    screen::run([&] { r = GUI_JPEG_GetInfo(base.data(), static_cast<uint32_t>(base.size()), &info); });
    EXPECT_EQ(r, 0);
    EXPECT_TRUE(info.XSize == 64 && info.YSize == 48) << info.XSize << "x" << info.YSize;
    const std::vector<uint8_t> a = fwtest::file_bytes(arith);
    screen::run([&] { r = GUI_JPEG_GetInfo(a.data(), static_cast<uint32_t>(a.size()), &info); });
    EXPECT_TRUE(r == 0 && info.XSize == 0 && info.YSize == 0) << "an arithmetic-coded frame is not read";
    screen::run([&] { r = GUI_JPEG_GetInfo(refusals[0].file.data(), 100, &info); });
    EXPECT_EQ(r, 1) << "a file without SOI";
}

// A file cut short: what came before the cut is drawn, the rest is not
// drawn from stale memory, and the result is a failure.
TEST(Jpeg, FilesCutShort)
{
    screen::start();
    const std::string baseFile = fwtest::make_jpeg("cut_b.jpg", 160, 128, "-sample 2x2");
    const std::vector<uint8_t> base = fwtest::file_bytes(baseFile);
    const std::vector<uint8_t> prog = fwtest::file_bytes(fwtest::make_jpeg("cut_p.jpg", 160, 128, "-progressive"));
    const fwtest::Picture whole = fwtest::djpeg_565(baseFile);
    struct Cut {
        const char* what;
        std::vector<uint8_t> file;
        bool topDrawn;
    };
    std::vector<uint8_t> half(base.begin(), base.begin() + base.size() / 2);
    std::vector<uint8_t> halfEoi = half;
    halfEoi.push_back(0xFF);
    halfEoi.push_back(0xD9);
    const Cut cuts[] = {
        {"a baseline file cut in half", half, true},
        {"a baseline file whose data ends at EOI half way", halfEoi, true},
        {"a baseline file cut in its header", std::vector<uint8_t>(base.begin(), base.begin() + 100), false},
        {"a progressive file cut in half", std::vector<uint8_t>(prog.begin(), prog.begin() + prog.size() / 2),
         false},
        {"a progressive file without its last byte", std::vector<uint8_t>(prog.begin(), prog.end() - 1), false},
    };
    for (const Cut& c : cuts) {
        EXPECT_EQ(draw(c.file, 0, 0), 1) << c.what;
        int drawnRows = 0;
        while (drawnRows < whole.height && screen::px(0, drawnRows) != screen::kWhite)
            ++drawnRows;
        if (!c.topDrawn) {
            EXPECT_TRUE(screen::pixels_not(screen::kWhite).empty()) << c.what << ": something was drawn";
            continue;
        }
        EXPECT_GT(drawnRows, 0) << c.what << ": nothing drawn above the cut";
        EXPECT_LT(drawnRows, whole.height) << c.what << ": drawn to the bottom";
        EXPECT_EQ(drawnRows % 16, 0) << c.what << ": a part of an MCU row was drawn";
        fwtest::Picture top = whole;
        top.height = drawnRows;
        top.rgb565.resize(static_cast<size_t>(whole.width) * drawnRows);
        fwtest::Agreement a = compare_screen(top, 0, 0, W, H, screen::kWhite);
        EXPECT_TRUE(like_djpeg(a)) << c.what << ": " << describe(a);
    }
    // Only the end-of-image marker missing: every scan is there.
    std::vector<uint8_t> noEoi(base.begin(), base.end() - 2);
    EXPECT_EQ(draw(noEoi, 0, 0), 0) << "a baseline file without EOI";
}

// Restart markers in order are passed; a lost marker costs nothing, as the
// interval's data follows on the byte boundary.
TEST(Jpeg, RestartMarkers)
{
    screen::start();
    for (const char* options : {"-restart 3B -sample 2x2", "-restart 2B -progressive -sample 2x1"}) {
        const std::string file = fwtest::make_jpeg("rst.jpg", 160, 96, options);
        const std::vector<uint8_t> intact = fwtest::file_bytes(file);
        ASSERT_EQ(draw(intact, 0, 0), 0) << options;
        fwtest::Agreement a = compare_screen(fwtest::djpeg_565(file), 0, 0, W, H, screen::kWhite);
        EXPECT_TRUE(like_djpeg(a)) << options << ": " << describe(a);
        const std::vector<uint16_t> want = screen::snapshot();
        // The fourth RST marker of the file taken out.
        std::vector<uint8_t> lost = intact;
        long at = 0;
        for (int k = 0; k < 4; ++k)
            at = fwtest::find_marker(lost, static_cast<uint8_t>(0xD0 + k), at + 1);
        ASSERT_GT(at, 0) << options << ": cjpeg wrote too few restart markers";
        lost.erase(lost.begin() + at, lost.begin() + at + 2);
        EXPECT_EQ(draw(lost, 0, 0), 0) << options << ", a marker lost";
        EXPECT_TRUE(screen::snapshot() == want) << options << ": a lost restart marker changed the picture";
    }
}

// One damaged restart interval costs that interval's rows and no more: the
// rows before and after it are drawn as djpeg decodes the damaged file, and
// the draw succeeds.  Baseline files are decoded row by row as the lines
// need them; the progressive ones across the panel are drawn in bands.
TEST(Jpeg, ADamagedRestartIntervalCostsOnlyItsRows)
{
    screen::start();
    const std::string everyRow = "-restart 1 -sample 2x2", every7 = "-restart 7B -sample 2x2",
                      progressive = "-progressive -restart 1 -sample 2x2";
    // No bytes: the marker and the interval after it taken out.
    const std::vector<uint8_t> zeros(6, 0), stuffed = {0xFF, 0x00}, data = {0x12, 0x34}, cut;
    struct Case {
        const char* what;
        const std::string& options;
        uint8_t marker;  // the first of this marker ...
        bool lastScan;   // ... after the last scan's header, else anywhere
        int at;          // the damage, from the marker
        const std::vector<uint8_t>& bytes;
    };
    const Case cases[] = {
        {"baseline, six bytes before RST3 zeroed", everyRow, 0xD3, false, -6, zeros},
        {"baseline, RST3 overwritten by a data byte 0xFF", everyRow, 0xD3, false, 0, stuffed},
        {"baseline, RST3 overwritten by two data bytes", everyRow, 0xD3, false, 0, data},
        {"baseline with an interval across two MCU rows, six bytes before it ends zeroed", every7, 0xD7, false, -6,
         zeros},
        {"baseline with an interval across two MCU rows, the marker before it overwritten", every7, 0xD6, false, 0,
         stuffed},
        {"baseline, six bytes before EOI zeroed (the last interval)", everyRow, 0xD9, true, -6, zeros},
        {"baseline, RST3 and the interval after it taken out", everyRow, 0xD3, false, 0, cut},
        {"progressive, six bytes before RST3 of the DC scan zeroed", progressive, 0xD3, false, -6, zeros},
        {"progressive, RST3 of the DC scan overwritten", progressive, 0xD3, false, 0, stuffed},
        {"progressive, RST3 of the last scan overwritten", progressive, 0xD3, true, 0, data},
        {"progressive, six bytes before RST5 of the last scan zeroed", progressive, 0xD5, true, -6, zeros},
        {"progressive, six bytes before EOI zeroed (the last interval)", progressive, 0xD9, true, -6, zeros},
        {"progressive, RST3 of the last scan and the interval after it taken out", progressive, 0xD3, true, 0, cut},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "damaged" + std::to_string(n++);
        const std::string intactFile = fwtest::make_jpeg(name + "i.jpg", W, H, c.options);
        std::vector<uint8_t> f = fwtest::file_bytes(intactFile);
        long from = 0;
        if (c.lastScan)
            for (long at = 0; (at = fwtest::find_marker(f, 0xDA, at + 1)) > 0;)
                from = at;
        const long at = fwtest::find_marker(f, c.marker, from);
        ASSERT_GT(at, from + 8) << c.what << ": cjpeg wrote no such marker";
        if (c.bytes.empty())
            f.erase(f.begin() + at, f.begin() + fwtest::find_marker(f, static_cast<uint8_t>(c.marker + 1), at));
        else
            std::copy(c.bytes.begin(), c.bytes.end(), f.begin() + at + c.at);
        const std::string damagedFile = fwtest::temp_dir() + "/" + name + "d.jpg";
        fwtest::write_bytes(damagedFile, f);
        const fwtest::Picture intact = fwtest::djpeg_565(intactFile);
        const fwtest::Picture want = fwtest::djpeg_565(damagedFile);
        // The MCU rows djpeg could not restore are the damaged interval's;
        // what the decoder draws there is its own.
        int first, end;
        fwtest::differing_rows(want, intact, 16, &first, &end);
        ASSERT_TRUE(first < end && end - first <= 32)
            << c.what << ": djpeg's picture differs from the intact one in rows " << first << " to " << end;
        EXPECT_EQ(draw(f, 0, 0), 0) << c.what;
        fwtest::Agreement a = compare_screen(want, 0, 0, W, H, screen::kWhite, first, end);
        EXPECT_TRUE(like_djpeg(a)) << c.what << " (rows " << first << " to " << end << " damaged): " << describe(a);
    }
}

// Pictures partly off the screen or outside the clip rectangle: only what
// lies inside is drawn.
TEST(Jpeg, ClippedPictures)
{
    screen::start();
    const std::string file = fwtest::make_jpeg("clip.jpg", 300, 200, "-progressive -sample 2x2");
    const std::vector<uint8_t> bytes = fwtest::file_bytes(file);
    const fwtest::Picture want = fwtest::djpeg_565(file);
    const int places[][2] = {{-120, -90}, {W - 130, H - 70}, {-299, 50}, {W - 1, H - 1}, {W, 0}, {0, -200}};
    for (const auto& pl : places) {
        ASSERT_EQ(draw(bytes, pl[0], pl[1]), 0) << "at " << pl[0] << "," << pl[1];
        fwtest::Agreement a = compare_screen(want, pl[0], pl[1], W, H, screen::kWhite);
        EXPECT_TRUE(a.max_step <= 1 && a.outside_changed == 0) << "at " << pl[0] << "," << pl[1] << ": "
                                                               << describe(a);
    }
    // A clip rectangle inside the picture.
    clear_white();
    int r = -1;
    screen::run([&] {
        const GUI_Area clip = {50, 40, 149, 99};
        GUI_SetClipRect(&clip);
        r = GUI_JPEG_Draw(bytes.data(), static_cast<uint32_t>(bytes.size()), 20, 10);
        GUI_SetClipRect(nullptr);
    });
    ASSERT_EQ(r, 0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const bool in = x >= 50 && x <= 149 && y >= 40 && y <= 99;
            if (!in && screen::px(x, y) != screen::kWhite) {
                ADD_FAILURE() << "pixel (" << x << "," << y << ") outside the clip rectangle drawn";
                return;
            }
        }
}

// With the pool short of one MCU row of coefficients a progressive file is
// refused; a sequential one needs far less.
TEST(Jpeg, APoolTooSmall)
{
    screen::start();
    const std::vector<uint8_t> prog = fwtest::file_bytes(fwtest::make_jpeg("pool_p.jpg", W, 64, "-progressive"));
    const std::vector<uint8_t> base = fwtest::file_bytes(fwtest::make_jpeg("pool_b.jpg", W, 64, "-sample 2x2"));
    clear_white();
    int rp = -1, rb = -1, rNone = -1;
    int32_t freeBefore = 0, freeAfter = 0;
    screen::run([&] {
        // Room for the decoder's own buffers, not for the coefficients of an
        // MCU row across the panel.
        GUI_ALLOC_Handle h = GUI_ALLOC_AllocNoInit(GUI_ALLOC_GetMaxSize() - 40000);
        freeBefore = GUI_ALLOC_GetNumFreeBytes();
        rp = GUI_JPEG_Draw(prog.data(), static_cast<uint32_t>(prog.size()), 0, 0);
        freeAfter = GUI_ALLOC_GetNumFreeBytes();
        rb = GUI_JPEG_Draw(base.data(), static_cast<uint32_t>(base.size()), 0, 100);
        GUI_ALLOC_Free(h);
        h = GUI_ALLOC_AllocNoInit(GUI_ALLOC_GetMaxSize());
        rNone = GUI_JPEG_Draw(base.data(), static_cast<uint32_t>(base.size()), 0, 200);
        GUI_ALLOC_Free(h);
    });
    EXPECT_EQ(rp, 1) << "a progressive file drawn with no room for its coefficients";
    EXPECT_EQ(freeAfter, freeBefore) << "the refused draw left blocks in the pool";
    EXPECT_EQ(rb, 0) << "a sequential file of the same size needs no coefficient store";
    EXPECT_EQ(rNone, 1) << "drawn with a full pool";
    for (int y = 0; y < H; ++y)
        if ((y < 100 || y >= 164) && screen::px(W / 2, y) != screen::kWhite) {
            ADD_FAILURE() << "line " << y << " drawn by a refused file";
            break;
        }
    // With no more room than a grey picture needs, it is still drawn (pixel
    // by pixel, without a row of pixel indices), as with a free pool.
    const std::vector<uint8_t> grey = fwtest::file_bytes(fwtest::make_jpeg("pool_g.jpg", W, 24, "-grayscale"));
    ASSERT_EQ(draw(grey, 0, 0), 0);
    const std::vector<uint16_t> want = screen::snapshot();
    clear_white();
    int room = 0, r = 1;
    screen::run([&] {
        for (room = 4000; room < 40000 && r; room += 16) {
            GUI_ALLOC_Handle h = GUI_ALLOC_AllocNoInit(GUI_ALLOC_GetMaxSize() - room);
            r = GUI_JPEG_Draw(grey.data(), static_cast<uint32_t>(grey.size()), 0, 0);
            GUI_ALLOC_Free(h);
        }
    });
    ASSERT_EQ(r, 0) << "a grey picture across the panel not drawn with 40000 bytes free";
    EXPECT_TRUE(screen::snapshot() == want) << "the grey picture drawn with " << room << " bytes free differs";
}

}  // namespace
