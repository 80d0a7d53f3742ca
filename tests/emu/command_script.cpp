#include "emu/command_script.h"

#include <fstream>

#include "support/image_builder.h"
#include "support/shell.h"

namespace emutest {

const char kCheck[] = "CHECK";

const std::vector<std::string> kScript = {
    // Drawing: shapes, pen sizes, colours, pixels.
    "z", "S FFFFFF 000000", "p 1", "d n",
    "r 10 10 200 100 1 F00", "r 210 10 400 100 3 0F0", "r 410 10 600 100 2", "l 0 0 799 479", "p 3",
    "l 0 479 799 0", "p 1", "c 400 240 100", "c 600 240 50 1", "e 100 300 80 40", "ef 300 300 60 30",
    "tr 500 400 600 450 550 470 00F", "pf 450 120 0 0 40 0 40 40 0 40", "pgr 30 650 120 0 0 60 0 60 30",
    "a 700 200 50 0 270", "pw 5 5 F81F", "pr 5 5", "d x", "r 100 50 300 70 1", "d n", "*CRC", kCheck,
    // Text in several fonts.
    "z", "f 8x16", "sc 10 10", "t \"Mono 8x16: 0123456789 ABC xyz\"", "f 12",
    "t \"Arial 12, anti-aliased: the quick brown fox\"", "f 24B", "sc 10 60", "t \"Bold 24 jumps\"",
    "f 10s", "sc 10 120", "t \"Small 10s\"", "ta cc", "sc 400 200", "f 16", "t \"centred 16\"", "ta ll",
    // Letters above 127: escaped, as bytes, and in UTF-8.
    "f 12", "t \"caf\\xE9 na\\xEFve \\xA9 25\\xB0C\" 10 300", "t \"r\xE9sum\xE9 \xFC\xDF\xF8\" 10 330",
    "t? \"\xE9t\xE9\"", "utf8 on", "t \"caf\xC3\xA9 \xE2\x82\xAC\" 10 360", "utf8 off", "*CRC", kCheck,
    // Bitmaps from the memory image: raw, RLE16, transparent.
    "z", "lsbmp", "xi 1 20 20", "xi 2 200 20", "xi 3 400 20", "xi 2 700 400", "*CRC", kCheck,
    // A macro with arguments, variables and arithmetic.
    "m1 4 5", "get i1", "get s1", "set i2 `(`i1`*3-7)`", "get i2", "set s2 \"`i2`/`(`i2`/4)`\"", "get s2",
    "m1 -9 -2", "get i1", "set i3 `(-7/2)`", "get i3", "set i4 `(`i1`*-3)`", "get i4", "set s3 \"\xE9t\xE9 \xFF\"",
    "get s3",
    // A strip chart, a level bar, a needle meter.
    "z", "cd 0 500 300 699 399 0 10 0 100 000 1 F00", "cv 0 10", "cv 0 50", "cv 0 90", "cv 0 30",
    "ld 0 760 300 779 399 0 0 0 00F 100 F00 50 0F0", "lv 0 75",
    "cd 1 500 100 699 199 0 10 -50 50 000 1 0F0", "cv 1 -20", "cv 1 40", "cv 1 -50", "cv 1 0",
    "ld 1 730 300 749 399 0 -100 0 00F 100 F00 -50 0F0", "lv 1 -30",
    "md 0 4 20 20 0 0 100 0 0 180 60 60 0 -6 50 0 0 6", "mv 0 30", "mv 0 77", "*CRC", kCheck,
    // A text window and a scroll box.
    "z", "f 12", "twd 0 10 380 300 470", "tw 0 \"first line of the window\"", "tw 0 \"second line\"",
    "twm 0 d", "std 1 0 320 380 480 470", "sta 1 \"box line one\"", "sta 1 \"box line two\"",
    "stp 1 \"before them\"", "*CRC", kCheck,
    // Save slots.
    "xi 1 20 20", "ws 20 20 139 99 1", "z", "wr 650 380 1", "wr 10 10 1", "*CRC", kCheck,
    // Pictures from the card.
    "z", "xif PIC.BMP 100 100", "xif SMALL.GIF 500 100", "*CRC", kCheck,
    // Numbers at the ends of 32 bits and past them: angles, ranges and
    // values worked wide, arithmetic wrapping in 32 bits, numbers held at
    // the ends of the board's long.
    "z", "pfr -2147483648 200 120 0 0 60 0 60 40 0 40", "pfr 2147483647 350 120 0 0 60 0 60 40 0 40",
    "ppgr -2147483647", "a 600 120 50 -2147483648 2147483647", "l 0 0 4294967296 10",
    "md 0 4 20 250 0 -2147483648 2147483647 0 0 180 60 60 0 -6 50 0 0 6", "mv 0 2147483647",
    "mdb 1 4 200 250 0 -2147483648 2147483647 0 0 180 -1000000000 1000000000 50 3 F00 0F0 60 60 0 -6 50 0 0 6",
    "mvb 1 2147483647 -1500000000 1500000000 40 3 0F0 FFF", "md 2 4 20 20 0 0 100 0 -2147483648 180 60 60 0 -6 50 0 0 6",
    "cd 2 400 250 599 349 0 10 -2147483648 2147483647 000 1 F00", "cv 2 2147483647", "cv 2 -2147483648",
    "cv 2 0", "sl 128 1 620 300 2 0 1 0 0 2147483647 -2147483648", "sv 128 2147483647", "sv 128 -2147483648",
    "xio 1 10 10 0 5 2147483647", "bv +2147483647", "bv", "set i0 `(4294967296+1)`", "get i0",
    "set i1 `(-2147483648/-1)`", "get i1", "set i2 `(-2147483648%-1)`", "get i2", "set i3 99999999999",
    "get i3", "set i4 0x100000000", "get i4", "m1 2147483648 -1", "get i1", "m4294967297", "*CRC", kCheck,
    // Settings kept in the EEPROM.
    "*config \"Hello\"", "vers", "*config \"\xC9t\xE9 \xFF\"", "vers", "typematic 75 20", "*orient 0", "*config",
};

const std::vector<std::string> kScreenshotScript = {
    "z", "xi 1 20 20", "xi 2 200 20", "f 24B", "sc 10 200", "t \"screenshot\"", "c 400 300 100 1",
    "xif PIC.BMP 500 300", kCheck, "*getScreenAsBMPFile"};

std::vector<uint8_t> script_memory_image()
{
    fwtest::TestBitmap raw, rle, trans, dial;
    raw.width = 120;
    raw.height = 80;
    raw.pixels = fwtest::test_pattern(120, 80, 11);
    rle.kind = fwtest::TestBitmap::Rle;
    rle.width = 90;
    rle.height = 60;
    for (int i = 0; i < 90 * 60; ++i)
        rle.pixels.push_back(static_cast<uint16_t>(0x1000 + ((i % 90) / 10 + i / 900) * 0x0841));
    trans = raw;
    trans.kind = fwtest::TestBitmap::Trans;
    trans.key = trans.pixels[0];
    dial.width = dial.height = 120;
    dial.pixels.assign(120 * 120, 0x39E7);
    const std::vector<fwtest::TestMacro> macros = {
        {1, "calc", {"set i1 `(`0`*3+`1`)`", "set s1 \"sum `i1` of `0` and `1`\"", "sc 10 440", "t \"`s1`\""}}};
    return fwtest::build_image({raw, rle, trans, dial}, macros);
}

void write_flash(const std::string& path, const std::vector<uint8_t>& memory_image)
{
    std::ofstream f(path, std::ios::binary);
    f << std::string(0x400000, '\xFF');
    f.write(reinterpret_cast<const char*>(memory_image.data()), static_cast<std::streamsize>(memory_image.size()));
}

void make_script_card(const std::string& dir)
{
    fwtest::must("convert -size 200x120 gradient:red-blue -seed 5 -attenuate 0.5 +noise Uniform "
                 "-type TrueColor " + dir + "/pic.bmp");
    fwtest::must("convert -size 60x40 gradient:yellow-green " + dir + "/small.gif");
    fwtest::must("mkfs.fat -C -F 16 -s 2 -n VELMCARD " + dir + "/card.img 16384 >/dev/null");
    fwtest::must("mcopy -o -i " + dir + "/card.img " + dir + "/pic.bmp ::PIC.BMP");
    fwtest::must("mcopy -o -i " + dir + "/card.img " + dir + "/small.gif ::SMALL.GIF");
}

}  // namespace emutest
