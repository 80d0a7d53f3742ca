// Image files on the SD card as the host uses them: BMP files made by
// ImageMagick drawn with "xif" pixel for pixel, JPEG files made by cjpeg
// drawn as djpeg decodes them, refusals with their texts,
// the read window of the card reader, screen dumps read back by a PC, and
// splash.bmp at start-up.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/KM_imagefiles.h"
#include "app/command.h"
#include "board/bootio.h"
#include "graphics/GUI.h"
#include "graphics/GUI_BMP.h"
#include "storage/file_sys.h"
#include "support/host.h"
#include "support/jpeg_files.h"
#include "support/shell.h"

namespace {

using fwtest::command;
using fwtest::fb;
using fwtest::visible;

const int W = 800, H = 480;

using fwtest::must;
using fwtest::Outcome;
using fwtest::run;

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string tmp(const std::string& name) { return fwtest::temp_dir() + "/" + name; }

std::string make_card()
{
    std::string card = tmp("card.img");
    fwtest::make_card(card);
    return card;
}

void put(const std::string& card, const std::string& src, const std::string& dos_name)
{
    fwtest::put_on_card(card, src, dos_name);
}

// The source picture: a noisy gradient, so every row and column differs.
std::string source_picture(int w, int h)
{
    std::string src = tmp("src_" + std::to_string(w) + "x" + std::to_string(h) + ".png");
    must("convert -size " + std::to_string(w) + "x" + std::to_string(h) +
         " gradient:red-blue -seed 3 -attenuate 0.6 +noise Uniform -type TrueColor " + src);
    return src;
}

// Pixels of a picture as ImageMagick reads it, in the panel's RGB565.
std::vector<uint16_t> rgb565_of(const std::string& file)
{
    std::string raw = tmp("pixels.rgb");
    must("convert " + file + " -depth 8 rgb:" + raw);
    std::string px = read_file(raw);
    std::vector<uint16_t> out(px.size() / 3);
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned r = (uint8_t)px[3 * i], g = (uint8_t)px[3 * i + 1], b = (uint8_t)px[3 * i + 2];
        out[i] = (uint16_t)((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
    }
    return out;
}

void clear_screen()
{
    fwtest::on_firmware([] {
        GUI_SetBkColor(0xFFFFFF);
        GUI_Clear();
    });
}

// First pixel that differs from the picture placed at (x, y), or of the
// screen outside it from white; "" when all agree.
std::string mismatch(sim::Board& b, const std::vector<uint16_t>& pic, int w, int h, int x, int y)
{
    for (int sy = 0; sy < H; ++sy)
        for (int sx = 0; sx < W; ++sx) {
            int c = sx - x, r = sy - y;
            bool in = c >= 0 && c < w && r >= 0 && r < h;
            uint16_t want = in ? pic[r * w + c] : 0xFFFF;
            uint16_t got = fb(b, sx, sy);
            if (got != want) {
                char t[160];
                std::snprintf(t, sizeof t, "screen pixel (%d,%d)%s is 0x%04X, want 0x%04X", sx, sy,
                              in ? " inside the picture" : " outside the picture", got, want);
                return t;
            }
        }
    return "";
}

// A 24-bit file turned top-down: negative height, rows top row first.
std::string top_down(const std::string& bmp, int w, int h)
{
    std::string f = read_file(bmp);
    int32_t nh = -h;
    std::memcpy(&f[22], &nh, 4);
    size_t row = ((24 * w + 31) >> 5) * 4;
    std::string out = f.substr(0, 54);
    for (int r = h - 1; r >= 0; --r)
        out += f.substr(54 + r * row, row);
    return out;
}

struct Kind {
    const char* name;     // file name on the card
    const char* options;  // ImageMagick options of the BMP3 file
    int bits, compression;
};

const Kind kKinds[] = {
    {"true24.bmp", "-type TrueColor", 24, 0},
    {"pal8.bmp", "-colors 200 -type Palette -compress None", 8, 0},
    {"rle8.bmp", "-colors 200 -type Palette -compress RLE", 8, 1},
    {"pal4.bmp", "-colors 16 -compress None", 4, 0},
    {"mono1.bmp", "-monochrome", 1, 0},
};

struct Made {
    std::string name;
    std::vector<uint16_t> pixels;
};

// One BMP file of a kind, made from src by ImageMagick's coder and put on
// the card; gives its bytes.
std::string made_bmp(const std::string& src, const std::string& card, const Kind& k, const std::string& coder,
                     std::vector<Made>* made)
{
    std::string file = tmp(k.name);
    must("convert " + src + " " + k.options + " " + coder + ":" + file);
    std::string bytes = read_file(file);
    EXPECT_EQ((int)(uint8_t)bytes[28], k.bits) << "ImageMagick made " << k.name << " of another depth";
    EXPECT_EQ((int)(uint8_t)bytes[30], k.compression) << "ImageMagick made " << k.name << " another compression";
    put(card, file, k.name);
    made->push_back({k.name, rgb565_of(file)});
    return bytes;
}

TEST(ImageFiles, BmpFilesOfEveryKindDrawnPixelForPixel)
{
    const int w = 37, h = 23;
    std::string src = source_picture(w, h);
    std::string card = make_card();
    std::vector<Made> made;
    for (const Kind& k : kKinds)
        made_bmp(src, card, k, "BMP3", &made);
    // Top-down rows, and a name without a dot before "bmp" in mixed case.
    write_file(tmp("down.bmp"), top_down(tmp("true24.bmp"), w, h));
    put(card, tmp("down.bmp"), "down.bmp");
    made.push_back({"down.bmp", made[0].pixels});
    put(card, tmp("true24.bmp"), "PICBmp");
    made.push_back({"PICBmp", made[0].pixels});

    fwtest::BootOptions o;
    o.sd = card;
    sim::Board& b = fwtest::boot_to_prompt(o);
    struct Place {
        int x, y;
        const char* where;
    };
    const Place places[] = {{100, 50, "inside"},
                            {-10, -7, "over the top-left corner"},
                            {W - 20, H - 11, "over the bottom-right corner"},
                            {-13, H - 5, "off the left, at the bottom"}};
    for (const Made& m : made)
        for (const Place& p : places) {
            clear_screen();
            std::string line = "xif " + m.name + " " + std::to_string(p.x) + " " + std::to_string(p.y);
            ASSERT_EQ(visible(command(line, 10 * sim::kSecond)), ">\\r") << line;
            EXPECT_EQ(mismatch(b, m.pixels, w, h, p.x, p.y), "") << m.name << " drawn " << p.where;
        }
    // The drawing origin moves the picture like every drawing command.
    clear_screen();
    fwtest::on_firmware([] {
        Origin_X = 40;
        Origin_Y = 30;
    });
    EXPECT_EQ(visible(command("xif true24.bmp 2 3")), ">\\r");
    EXPECT_EQ(mismatch(b, made[0].pixels, w, h, 42, 33), "") << "xif 2 3 with the drawing origin at 40 30";
    fwtest::on_firmware([] { Origin_X = Origin_Y = 0; });
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

// ImageMagick's default output has the 124-byte info header; GIMP writes
// the 108-byte one, made here from it by dropping the last 16 bytes of the
// header.  The palette follows the header, the rows lie where the header
// says.
std::string with_108_byte_header(const std::string& v5)
{
    std::string f = v5.substr(0, 14 + 108) + v5.substr(14 + 124);
    auto put32 = [&f](int off, uint32_t v) { std::memcpy(&f[off], &v, 4); };
    uint32_t offset;
    std::memcpy(&offset, &v5[10], 4);
    put32(2, (uint32_t)f.size());
    put32(10, offset - 16);
    put32(14, 108);
    return f;
}

TEST(ImageFiles, BmpFilesWithTheLongerInfoHeaders)
{
    const int w = 37, h = 23;
    std::string src = source_picture(w, h);
    std::string card = make_card();
    std::vector<Made> made;
    const Kind kinds[] = {
        {"v5true.bmp", "-type TrueColor", 24, 0},
        {"v5pal8.bmp", "-colors 200 -type Palette -compress None", 8, 0},
        {"v5pal4.bmp", "-colors 16 -type Palette -compress None", 4, 0},
        {"v5rle8.bmp", "-colors 200 -type Palette -compress RLE", 8, 1},
    };
    for (const Kind& k : kinds) {
        const std::string bytes = made_bmp(src, card, k, "BMP", &made);
        ASSERT_EQ((int)(uint8_t)bytes[14], 124) << "ImageMagick made " << k.name << " with another header";
        std::string v4 = std::string("v4") + (k.name + 2);
        write_file(tmp(v4), with_108_byte_header(bytes));
        put(card, tmp(v4), v4);
        made.push_back({v4, made.back().pixels});
    }
    fwtest::BootOptions o;
    o.sd = card;
    sim::Board& b = fwtest::boot_to_prompt(o);
    for (const Made& m : made) {
        clear_screen();
        ASSERT_EQ(visible(command("xif " + m.name + " 100 50", 10 * sim::kSecond)), ">\\r") << m.name;
        EXPECT_EQ(mismatch(b, m.pixels, w, h, 100, 50), "") << m.name;
    }
}

// Rows of the panel's full width are one request each.
TEST(ImageFiles, PicturesAsWideAsThePanel)
{
    std::string card = make_card();
    must("convert " + source_picture(W, 12) + " -type TrueColor BMP3:" + tmp("wide.bmp"));
    put(card, tmp("wide.bmp"), "wide.bmp");
    must("convert " + source_picture(1024, 2) + " -type TrueColor BMP3:" + tmp("wider.bmp"));
    put(card, tmp("wider.bmp"), "wider.bmp");
    fwtest::BootOptions o;
    o.sd = card;
    sim::Board& b = fwtest::boot_to_prompt(o);
    clear_screen();
    ASSERT_EQ(visible(command("xif wide.bmp 0 100", 10 * sim::kSecond)), ">\\r");
    EXPECT_EQ(mismatch(b, rgb565_of(tmp("wide.bmp")), W, 12, 0, 100), "") << "an 800-pixel 24-bit picture";
    clear_screen();
    // Only the visible bytes of a row are asked for: a 1024-pixel picture
    // fits the request where the screen cuts it.
    ASSERT_EQ(visible(command("xif wider.bmp 0 0", 10 * sim::kSecond)), ">\\r");
    EXPECT_EQ(mismatch(b, rgb565_of(tmp("wider.bmp")), 1024, 2, 0, 0), "") << "a 1024-pixel picture cut by the screen";
}

// A hand-made file: header fields as given, pixel bytes after 54 + palette.
std::string bmp_file(int32_t w, int32_t h, int bits, uint32_t compression, uint32_t used, const std::string& rest)
{
    std::string f(54, '\0');
    auto put32 = [&](int off, uint32_t v) { std::memcpy(&f[off], &v, 4); };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, 54 + rest.size());
    put32(10, 54);
    put32(14, 40);
    put32(18, (uint32_t)w);
    put32(22, (uint32_t)h);
    f[26] = 1;
    f[28] = (char)bits;
    put32(30, compression);
    put32(46, used);
    return f + rest;
}

TEST(ImageFiles, RefusalsAndTheirTexts)
{
    std::string card = make_card();
    std::string row24(12 * 2, '\x40');  // width 3: 9 bytes and 3 fill bytes a row
    struct File {
        const char* name;
        std::string bytes;
    };
    std::string bad = bmp_file(3, 2, 24, 0, 0, row24);
    bad[0] = 'X';
    const File files[] = {
        {"bad.bmp", bad},
        {"wide.bmp", bmp_file(1025, 1, 24, 0, 0, std::string(3076, '\0'))},
        {"tall.bmp", bmp_file(1, 1025, 24, 0, 0, std::string(4 * 1025, '\0'))},
        {"colours.bmp", bmp_file(1, 1, 8, 0, 257, std::string(4 * 257 + 4, '\0'))},
        {"packed.bmp", bmp_file(1, 1, 24, 3, 0, std::string(4, '\0'))},
        {"depth.bmp", bmp_file(1, 1, 2, 0, 0, std::string(12, '\0'))},
        {"short.bmp", bmp_file(3, 2, 24, 0, 0, row24.substr(0, 20))},
        {"zero.bmp", bmp_file(0, 2, 24, 0, 0, row24)},
        {"anim.gif", "GIF89a"},
        {"photo.peg", "\xFF\xD8\xFF"},
    };
    for (const File& f : files) {
        write_file(tmp("f.bin"), f.bytes);
        put(card, tmp("f.bin"), f.name);
    }
    fwtest::BootOptions o;
    o.sd = card;
    sim::Board& b = fwtest::boot_to_prompt(o);
    struct Case {
        const char* line;
        const char* reply;
        bool screen_untouched;
    };
    const Case cases[] = {
        {"xif bad.bmp 10 10", "!\\r", true},
        {"xif wide.bmp 10 10", "!\\r", true},
        {"xif tall.bmp 10 10", "!\\r", true},
        {"xif colours.bmp 10 10", "!\\r", true},
        {"xif packed.bmp 10 10", "!\\r", true},
        {"xif depth.bmp 10 10", "!\\r", true},
        {"xif zero.bmp 10 10", "!\\r", true},
        {"xif short.bmp 10 10", "!\\r", false},
        {"xif anim.gif 10 10", "!\\r", true},  // a GIF cut short after its signature
        {"xif photo.peg 10 10", ":file type\"PEG\" not supported.\\r!\\r", true},
        {"xif none.bmp 10 10", ":cannot open SD card file \"none.bmp\".\\r!\\r", true},
        {"xif none.bmp", "!\\r", true},
    };
    std::vector<uint16_t> none;
    for (const Case& c : cases) {
        clear_screen();
        EXPECT_EQ(visible(command(c.line)), c.reply) << c.line;
        if (c.screen_untouched)
            EXPECT_EQ(mismatch(b, none, 0, 0, 0, 0), "") << c.line << " drew on a refused file";
        else  // the bottom row of the cut-short file came before the short read
            EXPECT_EQ(fb(b, 10, 11), 0x4208) << c.line << ": rows read before a short read must stay on the screen";
    }
}

TEST(ImageFiles, WithoutACardTheCommandSaysSo)
{
    fwtest::boot_to_prompt();
    EXPECT_EQ(visible(command("xif pic.bmp 0 0")), ":SD Card not initialized.\\r!\\r");
    EXPECT_EQ(visible(command("*getScreenAsBMPFile")), ":SD Card not initialized\\r!\\r");
}

TEST(ImageFiles, SixteenBitFilesAreFiveFiveFive)
{
    std::string card = make_card();
    // 0x7C00 red, 0x03E0 green, 0x001F blue, bit 15 ignored: 0xFFFF white.
    std::string row = std::string("\x00\x7C\xE0\x03\x1F\x00\xFF\xFF", 8);
    write_file(tmp("p16.bmp"), bmp_file(4, 1, 16, 0, 0, row));
    put(card, tmp("p16.bmp"), "p16.bmp");
    fwtest::BootOptions o;
    o.sd = card;
    sim::Board& b = fwtest::boot_to_prompt(o);
    clear_screen();
    fwtest::on_firmware([] {
        GUI_SetBkColor(0x000000);
        GUI_Clear();
    });
    ASSERT_EQ(visible(command("xif p16.bmp 5 6")), ">\\r");
    const uint16_t want[] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(fb(b, 5 + i, 6), want[i]) << "16-bit pixel " << i << " read as another colour";
}

TEST(ImageFiles, Rle8StreamsEndAndStayInsideThePicture)
{
    std::string card = make_card();
    const std::string pal("\x00\x00\x00\x00\x00\x00\xFF\x00", 8);  // black, red
    struct Stream {
        const char* name;
        std::string data;
        const char* reply;
        const char* rows;  // rows top to bottom: R red, K black, W untouched, per pixel of 4
    };
    const Stream streams[] = {
        {"eob.bmp", std::string("\x04\x01\x00\x00\x02\x01\x00\x01", 8), ">\\r", "KKKK KKKK RRKK RRRR"},
        {"eoleob.bmp", std::string("\x04\x01\x00\x00\x04\x01\x00\x00\x04\x01\x00\x00\x04\x01\x00\x00\x00\x01", 18),
         ">\\r", "RRRR RRRR RRRR RRRR"},
        {"noeob.bmp", std::string("\x04\x01\x00\x00\x04\x01\x00\x00\x04\x01\x00\x00\x04\x01\x00\x00", 16), "!\\r",
         "RRRR RRRR RRRR RRRR"},
        {"pad.bmp", std::string("\x06\x01\x00\x00\x00\x03\x01\x01\x01\x00\x00\x01", 12), ">\\r", "KKKK KKKK RRRK RRRR"},
    };
    for (const Stream& s : streams) {
        write_file(tmp("r.bmp"), bmp_file(4, 4, 8, 1, 2, pal + s.data));
        put(card, tmp("r.bmp"), s.name);
    }
    fwtest::BootOptions o;
    o.sd = card;
    sim::Board& b = fwtest::boot_to_prompt(o);
    for (const Stream& s : streams) {
        clear_screen();
        std::string line = std::string("xif ") + s.name + " 20 30";
        EXPECT_EQ(visible(command(line)), s.reply) << line;
        std::string seen;
        for (int y = 30; y < 34; ++y) {
            for (int x = 20; x < 24; ++x) {
                uint16_t v = fb(b, x, y);
                seen += v == 0xF800 ? 'R' : v == 0x0000 ? 'K' : v == 0xFFFF ? 'W' : '?';
            }
            if (y < 33)
                seen += ' ';
        }
        EXPECT_EQ(seen, s.rows) << line << ": picture rows top to bottom";
        EXPECT_EQ(fb(b, 24, 33), 0xFFFF) << line << " drew past the picture's right edge";
    }
}

// The size questions answer the magnitude of what a header holds, also
// for the most negative height (a top-down picture's sign), which no int
// can hold the magnitude of.
TEST(ImageFiles, SizeQuestionsAnswerEveryHeader)
{
    must("convert -size 7x5 xc:red -type TrueColor BMP3:" + tmp("size.bmp"));
    const std::string base = read_file(tmp("size.bmp"));
    struct Case {
        uint32_t width, height;
        int xsize, ysize;
    };
    const Case cases[] = {{7, 5, 7, 5}, {7, 0xFFFFFFFBu, 7, 5}, {0x80000000u, 0x80000000u, 0x7FFFFFFF, 0x7FFFFFFF},
                          {0x7FFFFFFF, 0x80000001u, 0x7FFFFFFF, 0x7FFFFFFF}};
    for (const Case& c : cases) {
        std::string file = base;
        std::memcpy(&file[18], &c.width, 4);
        std::memcpy(&file[22], &c.height, 4);
        auto serve = [](void* p, const uint8_t** pp, unsigned n, uint32_t off) {
            const std::string* f = static_cast<const std::string*>(p);
            *pp = reinterpret_cast<const uint8_t*>(f->data()) + off;
            return off < f->size() ? static_cast<int>(std::min<size_t>(n, f->size() - off)) : 0;
        };
        EXPECT_EQ(GUI_BMP_GetXSizeEx(serve, &file), c.xsize) << "width field 0x" << std::hex << c.width;
        EXPECT_EQ(GUI_BMP_GetYSizeEx(serve, &file), c.ysize) << "height field 0x" << std::hex << c.height;
    }
}

TEST(ImageFiles, ReadWindowServesEveryRequestWithTheFilesBytes)
{
    std::string card = make_card();
    std::string content(10000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = (char)(i * 7 + (i >> 8));
    write_file(tmp("data.bin"), content);
    put(card, tmp("data.bin"), "data.bin");
    write_file(tmp("small.bin"), content.substr(0, 1005));
    put(card, tmp("small.bin"), "small.bin");
    // A file of whole sectors, and a picture cut short at a sector's end:
    // the bytes past its end are none of the file's.
    write_file(tmp("block.bin"), content.substr(0, 1024));
    put(card, tmp("block.bin"), "block.bin");
    must("convert " + source_picture(37, 23) + " -type TrueColor BMP3:" + tmp("cut.bmp"));
    must("truncate -s 2048 " + tmp("cut.bmp"));
    put(card, tmp("cut.bmp"), "cut.bmp");
    fwtest::BootOptions o;
    o.sd = card;
    sim::Board& b = fwtest::boot_to_prompt(o);
    struct Req {
        uint32_t off, n, want;
    };
    // Forward in small pieces, straddling the window's end, large pieces,
    // back again, and the end of the file.
    const Req reqs[] = {{0, 54, 54},      {54, 1024, 1024},  {1078, 111, 111}, {500, 30, 30},     {1189, 2400, 2400},
                        {3589, 3000, 2400}, {3500, 600, 600}, {5990, 20, 20},   {100, 10, 10},     {50, 10, 10},
                        {9990, 100, 10},  {9000, 2400, 1000}, {10000, 4, 0},   {7000, 512, 512}, {7511, 2, 2}};
    std::string failures;
    fwtest::on_firmware([&] {
        fat::FatFile* f = SD_fopen("data.bin", fat::FF_READ);
        if (!f) {
            failures = "data.bin did not open";
            return;
        }
        for (const Req& r : reqs) {
            const uint8_t* p = 0;
            int got = GetData_Ex_SdImageFile(f, &p, r.n, r.off);
            char t[120];
            if (got != (int)r.want) {
                std::snprintf(t, sizeof t, "request of %u at %u gave %d bytes, want %u; ", r.n, r.off, got, r.want);
                failures += t;
            } else if (got && std::memcmp(p, content.data() + r.off, got) != 0) {
                std::snprintf(t, sizeof t, "request of %u at %u gave other bytes than the file's; ", r.n, r.off);
                failures += t;
            }
        }
        SD_fclose(f);
        f = SD_fopen("small.bin", fat::FF_READ);
        const uint8_t* p = 0;
        if (!f || GetData_Ex_SdImageFile(f, &p, 54, 0) != 54 || GetData_Ex_SdImageFile(f, &p, 10, 1000) != 5)
            failures += "10 bytes at 1000 of a 1005-byte file must give 5; ";
        if (f)
            SD_fclose(f);
        f = SD_fopen("block.bin", fat::FF_READ);
        const Req ends[] = {{0, 54, 54}, {1000, 100, 24}, {1024, 4, 0}, {0, 8, 8}, {1020, 10, 4}, {2000, 10, 0}};
        for (const Req& r : ends) {
            int got = f ? GetData_Ex_SdImageFile(f, &p, r.n, r.off) : -1;
            if (got != (int)r.want) {
                char t[120];
                std::snprintf(t, sizeof t, "request of %u at %u of a 1024-byte file gave %d bytes, want %u; ", r.n,
                              r.off, got, r.want);
                failures += t;
            }
        }
        if (f)
            SD_fclose(f);
    });
    EXPECT_EQ(failures, "");
    clear_screen();
    EXPECT_EQ(visible(command("xif cut.bmp 10 10")), "!\\r") << "a picture cut at a sector's end is short";
    EXPECT_EQ(fb(b, 10, 10), 0xFFFF) << "rows past the end of the file were drawn";
}

TEST(ImageFiles, ScreenDumpReadBackByAPcMatchesThePanel)
{
    const int w = 61, h = 45;
    std::string card = make_card();
    must("convert " + source_picture(w, h) + " -type TrueColor BMP3:" + tmp("pic.bmp"));
    put(card, tmp("pic.bmp"), "pic.bmp");
    fwtest::BootOptions o;
    o.sd = card;
    sim::Board& b = fwtest::boot_to_prompt(o);
    clear_screen();
    ASSERT_EQ(visible(command("xif pic.bmp 300 200")), ">\\r");
    std::string reply = command("*getScreenAsBMPFile", 60 * sim::kSecond);
    EXPECT_EQ(visible(reply), ":writing SD File VELM0000.BMP\\r>\\r");
    std::string second = command("*getScreenAsBMPFile", 60 * sim::kSecond);
    EXPECT_EQ(visible(second), ":writing SD File VELM0001.BMP\\r>\\r") << "a second dump must take the next name";

    std::string dst = tmp("dump.bmp");
    Outcome r = run("mcopy -n -i " + card + " ::VELM0000.BMP " + dst);
    ASSERT_EQ(r.status, 0) << "a PC cannot read the screen dump: " << r.out;
    std::string f = read_file(dst);
    ASSERT_EQ(f.size(), 768054u) << "an 800x480 dump is 54 + 1600 x 480 bytes";
    auto u32 = [&](int off) {
        uint32_t v;
        std::memcpy(&v, &f[off], 4);
        return v;
    };
    EXPECT_EQ(f.substr(0, 2), "BM");
    EXPECT_EQ(u32(2), 768054u) << "file size field";
    EXPECT_EQ(u32(10), 54u) << "pixel data offset";
    EXPECT_EQ(u32(14), 40u) << "info header size";
    EXPECT_EQ(u32(18), (uint32_t)W);
    EXPECT_EQ(u32(22), (uint32_t)H);
    EXPECT_EQ((uint8_t)f[28], 16) << "bits per pixel";
    EXPECT_EQ(u32(30), 0u) << "compression";
    EXPECT_EQ(u32(46), 0u) << "colours used";
    int bad = 0;
    std::string first;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint16_t px = fb(b, x, y);
            unsigned r8 = (px >> 11) << 3 | (px >> 13), g8 = ((px >> 5) & 63) << 2 | ((px >> 9) & 3),
                     b8 = (px & 31) << 3 | ((px >> 2) & 7);
            unsigned want = ((31 * r8 + 127) / 255) << 10 | ((31 * g8 + 127) / 255) << 5 | ((31 * b8 + 127) / 255);
            size_t at = 54 + (size_t)(H - 1 - y) * 1600 + 2 * x;
            unsigned got = (uint8_t)f[at] | (uint8_t)f[at + 1] << 8;
            if (got != want && bad++ == 0)
                first = "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") dumped as " + std::to_string(got) +
                        ", panel shows " + std::to_string(want);
        }
    EXPECT_EQ(bad, 0) << first;
    // The dump is a BMP file the reader itself draws back.
    clear_screen();
    ASSERT_EQ(visible(command("xif VELM0000.BMP 0 0", 30 * sim::kSecond)), ">\\r");
    EXPECT_EQ(fb(b, 300, 200) & 0xF7DE, rgb565_of(tmp("pic.bmp"))[0] & 0xF7DE) << "the dump drawn back";
    Outcome fsck = run("fsck.fat -n " + card);
    EXPECT_EQ(fsck.status, 0) << "fsck.fat finds the card damaged after two dumps:\n" << fsck.out;
}

// A card too full for what the firmware writes of its own (the screen dump,
// the test file of "fopen") keeps no partial file of it: nothing the next
// dump would take for a picture and skip, nothing of the card's space lost.
TEST(ImageFiles, AWriteThatDoesNotFitLeavesNoFileBehind)
{
    const std::string dump_failed = ":writing SD File VELM0000.BMP\r:file VELM0000.BMP not created\r!\r";
    struct Case {
        const char* what;
        uint64_t room;  // bytes left free on the card
        std::vector<std::pair<std::string, std::string>> lines;
    } cases[] = {
        {"a full card", 0, {{"*getScreenAsBMPFile", dump_failed}, {"*getScreenAsBMPFile", dump_failed}, {"fopen", "!\r"}}},
        {"a card with room for a part of the dump", 200 * 1024,
         {{"*getScreenAsBMPFile", dump_failed}, {"*getScreenAsBMPFile", dump_failed}}},
    };
    int n = 0;
    for (const Case& k : cases) {
        std::string card = tmp("full" + std::to_string(n++) + ".img");
        fwtest::make_card(card);
        write_file(tmp("filler.bin"), std::string(fwtest::free_on_card(card) - k.room, 'f'));
        put(card, tmp("filler.bin"), "FILLER.BIN");
        ASSERT_EQ(fwtest::free_on_card(card), k.room) << k.what;
        std::fflush(stdout);
        std::fflush(stderr);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            fwtest::BootOptions o;
            o.sd = card;
            fwtest::boot_to_prompt(o);
            std::string failures;
            for (const auto& [line, reply] : k.lines) {
                const std::string got = command(line, 60 * sim::kSecond);
                if (got != reply)
                    failures += "\"" + line + "\" answered \"" + visible(got) + "\", not \"" + visible(reply) + "\"; ";
            }
            if (!failures.empty())
                std::fprintf(stderr, "%s: %s\n", k.what, failures.c_str());
            _exit(failures.empty() ? 0 : 1);
        }
        int st = 0;
        waitpid(pid, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << k.what << ": see above";
        const std::string listing = run("mdir -b -i " + card + " ::").out;
        EXPECT_EQ(listing, "::/FILLER.BIN\n") << k.what << ": the card holds more than before";
        EXPECT_EQ(fwtest::free_on_card(card), k.room) << k.what << ": space of the card lost";
        Outcome fsck = run("fsck.fat -n " + card);
        EXPECT_EQ(fsck.status, 0) << k.what << ": fsck.fat finds the card damaged:\n" << fsck.out;
    }
}

// The card leaves the slot while a block of the dump goes to it: the host
// hears of the failed block once and then that the file was not made; the
// card's other files are as they were.
TEST(ImageFiles, ACardPulledDuringAScreenDumpEndsItWithOneReport)
{
    std::string card = make_card();
    must("convert " + source_picture(40, 30) + " -type TrueColor BMP3:" + tmp("pic.bmp"));
    put(card, tmp("pic.bmp"), "pic.bmp");
    write_file(tmp("notes.txt"), std::string(3000, 'n'));
    put(card, tmp("notes.txt"), "notes.txt");
    fwtest::BootOptions o;
    o.sd = card;
    sim::Board& b = fwtest::boot_to_prompt(o);
    sim::Machine& m = b.machine;
    const size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "*getScreenAsBMPFile\r");
    ASSERT_NE(fwtest::until_text(b.uart1, from, ":writing SD File VELM0000.BMP\r").find("VELM0000"),
              std::string::npos);
    // Well into the dump, in the middle of a block's data.
    m.run_for(300 * sim::kMillisecond);
    // Some words of a block are in the controller's buffer, not all.
    m.trace.clear();
    m.tracing = true;
    int words = -1;
    const auto writing_block = [&] {
        for (const sim::Access& a : m.trace)
            if (a.write && a.addr == sim::Sdhc::kBase + sim::Sdhc::CMD)
                words = a.value == 24 ? 0 : -1;  // WRITE_BLOCK
            else if (a.write && a.addr == sim::Sdhc::kBase + sim::Sdhc::BUFFER_ACCESS && words >= 0)
                ++words;
        m.trace.clear();
        return words >= 16 && words < 200;
    };
    ASSERT_TRUE(m.run_until(writing_block, m.now() + 10 * sim::kSecond)) << "no block of the dump was written";
    m.tracing = false;
    b.card_present = false;
    const std::string reply = fwtest::until_prompt(b.uart1, from, 120 * sim::kSecond);
    EXPECT_EQ(visible(reply), visible(":writing SD File VELM0000.BMP\r:!SD Card: CRC Write Error\r"
                                      ":!SD Card: Write CRC Error Code\r:file VELM0000.BMP not created\r!\r"));
    EXPECT_EQ(visible(command("vers")).substr(0, 10), "VELM5-PLUS") << "the board does not answer after the dump";
    m.run_for(100 * sim::kMillisecond);
    const std::string back[] = {"pic.bmp", "notes.txt"};
    for (const std::string& name : back) {
        Outcome r = run("mcopy -n -i " + card + " ::" + name + " " + tmp("back.tmp"));
        EXPECT_EQ(r.status, 0) << name << " cannot be read from the card after the dump: " << r.out;
        EXPECT_EQ(read_file(tmp("back.tmp")), read_file(tmp(name))) << name << " changed on the card";
    }
    Outcome fsck = run("fsck.fat -n " + card);
    EXPECT_EQ(fsck.out.find("PIC.BMP"), std::string::npos) << fsck.out;
    EXPECT_EQ(fsck.out.find("NOTES.TXT"), std::string::npos) << fsck.out;
}

TEST(ImageFiles, SplashBmpShownAtStartUp)
{
    const int w = 50, h = 40;
    std::string card = make_card();
    must("convert " + source_picture(w, h) + " -colors 100 -type Palette -compress None BMP3:" + tmp("splash.bmp"));
    put(card, tmp("splash.bmp"), "splash.bmp");
    fwtest::BootOptions o;
    o.sd = card;
    sim::Board& b = fwtest::boot_to_prompt(o);
    std::vector<uint16_t> pic = rgb565_of(tmp("splash.bmp"));
    std::string first;
    for (int y = 0; y < h && first.empty(); ++y)
        for (int x = 0; x < w && first.empty(); ++x)
            if (fb(b, x, y) != pic[y * w + x])
                first = "splash pixel (" + std::to_string(x) + "," + std::to_string(y) + ") not shown at start-up";
    EXPECT_EQ(first, "") << visible(b.uart1.sent_text());
}

// A splash file cut short: the rows it holds are shown, and nothing of
// what the RAM buffer held past its end.
TEST(ImageFiles, CutShortSplashShowsOnlyItsRows)
{
    const int w = 50, h = 40, kept = 10;
    std::string card = make_card();
    must("convert " + source_picture(w, h) + " -type TrueColor BMP3:" + tmp("whole.bmp"));
    std::string whole = read_file(tmp("whole.bmp"));
    const size_t row = ((24 * w + 31) >> 5) * 4;
    write_file(tmp("cut.bmp"), whole.substr(0, 54 + kept * row));
    put(card, tmp("cut.bmp"), "splash.bmp");
    fwtest::BootOptions o;
    o.sd = card;
    sim::Board& b = fwtest::boot_to_prompt(o);
    std::vector<uint16_t> pic = rgb565_of(tmp("whole.bmp"));
    const uint16_t background = fb(b, w + 10, 0);
    std::string first;
    for (int y = 0; y < h && first.empty(); ++y)
        for (int x = 0; x < w && first.empty(); ++x) {
            uint16_t want = y >= h - kept ? pic[y * w + x] : background;
            if (fb(b, x, y) != want)
                first = "splash pixel (" + std::to_string(x) + "," + std::to_string(y) + ") is " +
                        std::to_string(fb(b, x, y)) + ", want " + std::to_string(want);
        }
    EXPECT_EQ(first, "") << "a cut-short splash.bmp";
}


// JPEG files of each kind, also one that is drawn in bands (the panel's
// size, progressive), one too wide for the screen and one coded in RGB, are
// drawn as djpeg decodes them; the name's last three letters decide, in any
// case.
TEST(ImageFiles, JpegFilesDrawnAsDjpegDecodesThem)
{
    std::string card = make_card();
    struct Jpeg {
        const char* name;  // on the card
        int w, h;
        const char* options;
        int x, y;
    };
    const Jpeg jpegs[] = {
        {"photo.jpg", 97, 61, "-sample 2x2", 100, 50},
        {"PROG.JPG", W, H, "-progressive -sample 2x2", 0, 0},
        {"grey.Jpg", 97, 61, "-grayscale", 3, 400},
        {"rst.jpg", 160, 96, "-sample 2x1 -restart 1B", 600, 300},
        {"wide.jpg", 1024, 40, "-progressive", -200, 10},
        {"nodotjpg", 33, 17, "-sample 1x2", 700, 20},
        {"rgb.jpg", 97, 61, "-rgb", 300, 200},
    };
    std::vector<std::string> files;
    for (const Jpeg& j : jpegs) {
        files.push_back(fwtest::make_jpeg(std::string("card_") + std::to_string(files.size()) + ".jpg", j.w, j.h,
                                          j.options));
        put(card, files.back(), j.name);
    }
    fwtest::BootOptions o;
    o.sd = card;
    fwtest::boot_to_prompt(o);
    for (size_t i = 0; i < files.size(); ++i) {
        const Jpeg& j = jpegs[i];
        clear_screen();
        const std::string line = std::string("xif ") + j.name + " " + std::to_string(j.x) + " " + std::to_string(j.y);
        ASSERT_EQ(visible(command(line, 60 * sim::kSecond)), ">\\r") << line;
        fwtest::Agreement a = fwtest::compare_screen(fwtest::djpeg_565(files[i]), j.x, j.y, W, H, 0xFFFF);
        EXPECT_TRUE(a.max_step <= 1 && a.differing * 100 <= a.compared && a.outside_changed == 0)
            << line << ": " << fwtest::describe(a);
    }
}

// A panel-size file with a restart marker after every MCU row, one
// interval damaged on the card (six bytes before RST3 zeroed, RST3
// overwritten by a data byte): "xif" answers ">" and draws every row but
// the damaged interval's as djpeg restores them, baseline and progressive.
TEST(ImageFiles, JpegFileWithADamagedRestartInterval)
{
    std::string card = make_card();
    const std::vector<uint8_t> zeros(6, 0), stuffed = {0xFF, 0x00};
    struct Damaged {
        const char* name;  // on the card
        const char* options;
        int at;  // the damage, from RST3
        const std::vector<uint8_t>& bytes;
    };
    const Damaged files[] = {
        {"base.jpg", "-restart 1 -sample 2x2", -6, zeros},
        {"base2.jpg", "-restart 1 -sample 2x2", 0, stuffed},
        {"prog.jpg", "-progressive -restart 1 -sample 2x2", -6, zeros},
        {"prog2.jpg", "-progressive -restart 1 -sample 2x2", 0, stuffed},
    };
    std::vector<fwtest::Picture> want;
    std::vector<std::pair<int, int>> damagedRows;
    for (const Damaged& d : files) {
        const std::string intact = fwtest::make_jpeg(std::string("dmg_") + d.name, W, H, d.options);
        std::vector<uint8_t> f = fwtest::file_bytes(intact);
        const long rst3 = fwtest::find_marker(f, 0xD3);
        ASSERT_GT(rst3, 8) << d.name << ": cjpeg wrote no RST3";
        std::copy(d.bytes.begin(), d.bytes.end(), f.begin() + rst3 + d.at);
        fwtest::write_bytes(tmp(d.name), f);
        put(card, tmp(d.name), d.name);
        want.push_back(fwtest::djpeg_565(tmp(d.name)));
        int first, end;
        fwtest::differing_rows(want.back(), fwtest::djpeg_565(intact), 16, &first, &end);
        ASSERT_TRUE(first < end && end - first <= 16) << d.name << ": djpeg restores all but rows " << first
                                                      << " to " << end;
        damagedRows.push_back({first, end});
    }
    fwtest::BootOptions o;
    o.sd = card;
    fwtest::boot_to_prompt(o);
    for (size_t i = 0; i < want.size(); ++i) {
        clear_screen();
        const std::string line = std::string("xif ") + files[i].name + " 0 0";
        EXPECT_EQ(visible(command(line, 60 * sim::kSecond)), ">\\r") << line;
        fwtest::Agreement a =
            fwtest::compare_screen(want[i], 0, 0, W, H, 0xFFFF, damagedRows[i].first, damagedRows[i].second);
        EXPECT_TRUE(fwtest::like_djpeg(a)) << line << " (rows " << damagedRows[i].first << " to "
                                           << damagedRows[i].second << " damaged): " << fwtest::describe(a);
    }
}

// JPEG files the decoder does not draw, or cut short: "!" and no text; what
// came before a cut stays, nothing after it is drawn.
TEST(ImageFiles, JpegFilesNotDrawnAnswerAnError)
{
    std::string card = make_card();
    const std::string base = fwtest::make_jpeg("nd_base.jpg", 160, 128, "-sample 2x2");
    const std::string prog = fwtest::make_jpeg("nd_prog.jpg", 160, 128, "-progressive");
    const std::string arith = fwtest::make_jpeg("nd_arith.jpg", 64, 48, "-arithmetic");
    must("convert " + base + " -colorspace CMYK " + tmp("nd_cmyk.jpg"));
    std::vector<uint8_t> b = fwtest::file_bytes(base), p = fwtest::file_bytes(prog);
    std::vector<uint8_t> p12 = b;
    p12[fwtest::find_marker(b, 0xC0) + 4] = 12;
    fwtest::write_bytes(tmp("nd_cut.jpg"), std::vector<uint8_t>(b.begin(), b.begin() + b.size() / 2));
    fwtest::write_bytes(tmp("nd_pcut.jpg"), std::vector<uint8_t>(p.begin(), p.begin() + p.size() / 2));
    fwtest::write_bytes(tmp("nd_p12.jpg"), p12);
    must("convert " + base + " BMP3:" + tmp("nd_bmp.jpg"));
    struct Case {
        const char* name;
        std::string src;
        bool topDrawn;
    };
    const Case cases[] = {
        {"arith.jpg", arith, false},          {"cmyk.jpg", tmp("nd_cmyk.jpg"), false},
        {"p12.jpg", tmp("nd_p12.jpg"), false}, {"bmp.jpg", tmp("nd_bmp.jpg"), false},
        {"pcut.jpg", tmp("nd_pcut.jpg"), false}, {"cut.jpg", tmp("nd_cut.jpg"), true},
    };
    for (const Case& c : cases)
        put(card, c.src, c.name);
    fwtest::BootOptions o;
    o.sd = card;
    sim::Board& bd = fwtest::boot_to_prompt(o);
    std::vector<uint16_t> none;
    for (const Case& c : cases) {
        clear_screen();
        const std::string line = std::string("xif ") + c.name + " 0 0";
        EXPECT_EQ(visible(command(line, 60 * sim::kSecond)), "!\\r") << line;
        if (!c.topDrawn) {
            EXPECT_EQ(mismatch(bd, none, 0, 0, 0, 0), "") << line << " drew on a file it refused";
            continue;
        }
        EXPECT_NE(fb(bd, 0, 0), 0xFFFF) << line << ": the rows before the cut are not drawn";
        EXPECT_EQ(fb(bd, 0, 127), 0xFFFF) << line << ": the bottom row is drawn, after the cut";
    }
    EXPECT_TRUE(bd.machine.reports().empty()) << bd.machine.reports().front();
}

}  // namespace
