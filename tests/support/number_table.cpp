#include "support/number_table.h"

#include <cstdio>
#include <iterator>
#include <ostream>

#include "support/image_builder.h"
#include "support/shell.h"

namespace fwtest {

namespace {

const char* const kDecimal[] = {"-99999999999", "-2147483649", "-2147483648", "-2147483647", "-1",         "0",
                                "2147483646",   "2147483647",  "2147483648",  "4294967295",  "4294967296", "99999999999"};
const char* const kHex[] = {"0", "7FFFFFFF", "80000000", "FFFFFFFF", "100000000", "FFFFFFFFFFFF"};

const char* const kOrigins[] = {"o 100 100", "o -100 -100"};

const std::vector<NumberFamily> kFamilies = {
    {"Meters", true,
     {"md 0 7 20 20 0 0 100 50 0 180 60 60 0 -6 50 0 0 6",
      "mdb 1 7 200 20 0 0 100 50 0 180 20 80 50 3 F00 0F0 60 60 0 -6 50 0 0 6"},
     {"md {2} {7} {20} {20} {0} {0} {100} {50} {0} {180} {60} {60} {0} {-6} {50} {0} {0} {6}",
      "mdb {3} {7} {200} {20} {0} {0} {100} {50} {0} {180} {20} {80} {50} {3} F00 0F0 {60} {60} {0} {-6} {50} {0} "
      "{0} {6}",
      "mv {0} {30}", "mvb {1} {30}", "mvb {1} {30} {20} {80} {50} {3} F00 0F0", "mvb {1} {30} {20} {80} {50} {3}"}},
    {"Pixels", true,
     {},
     {"pr {10} {10}", "prx {10} {10}", "pw {10} {10}", "pw {10} {10} {x:F800}", "pwx {10} {10} {x:FF0000}",
      "*FB {100}", "dp {10} {10}", "p {3}"}},
    {"Shapes", true,
     {"p 2"},
     {"l {10} {10} {100} {100}", "r {10} {10} {100} {100}", "r {10} {10} {100} {100} {1} F00",
      "r {10} {10} {100} {100} {3} 0F0", "tr {10} {10} {100} {10} {50} {60}", "tr {10} {10} {100} {10} {50} {60} 0F0",
      "c {100} {100} {20}", "c {100} {100} {20} {1}", "e {100} {100} {20} {10}", "ef {100} {100} {20} {10}",
      "a {100} {100} {30} {0} {270}", "s {1} {0}", "S {x:FFFFFF} {x:0}", "sc {10} {10}", "o {10} {10}", "zs {0}"}},
    {"Polygons", true,
     {"pf 10 10 0 0 40 0 40 40"},
     {"pg {10} {10} {0} {0} {40} {0} {40} {40}", "pf {10} {10} {0} {0} {40} {0} {40} {40}",
      "pl {10} {10} {0} {0} {40} {0} {40} {40}", "pgr {30} {10} {10} {0} {0} {40} {0} {40} {40}",
      "pfr {30} {10} {10} {0} {0} {40} {0} {40} {40}", "plr {30} {10} {10} {0} {0} {40} {0} {40} {40}",
      "ppgr {30}"}},
    {"SaveSlotsAndScrolling", true,
     {"ws 0 0 99 99 1"},
     {"ws {0} {0} {99} {99} {0}", "wr {10} {10} {1}", "wrr {1} {0} {0} {9} {9} {2}",
      "k {10} {10} {100} {100} {5} l", "k {10} {10} {100} {100} {5} r", "k {10} {10} {100} {100} {5} u",
      "k {10} {10} {100} {100} {5} d", "k {10} {10} {100} {100} {5} L", "k {10} {10} {100} {100} {5} R"}},
    {"Text", true,
     {"f 8x16"},
     {"t \"AB\" {10} {10}", "t \"AB\" {10} {10} T", "t \"AB\" {10} {10} {200} {100}",
      "t \"AB\" {10} {10} {200} {100} W", "T \"AB\" {10} {10}", "sc {10} {10}\nt \"AB\"", "sb {1}", "*debug {0}"}},
    {"ScrollBoxesAndTextWindows", true,
     {"f 8x16", "std 1 0 0 320 380 470", "sta 1 \"line\"", "twd 0 10 10 300 200", "tw 0 \"line one\"",
      "tw 0 \"line two\""},
     {"std {2} {0} {0} {320} {380} {470}", "std {1}", "stc {1}", "sta {1} \"more\"", "stp {1} \"more\"",
      "twd {1} {10} {10} {300} {200}", "twq {0}", "twv {0} {1} {2}", "twm {0} u {1}", "twm {0} d {1}",
      "twm {0} l {1}", "twm {0} r {1}", "twc {0}", "twr {0}", "twga {0} {1} {1}", "twgp {0} {50} {50}",
      "tw {0} \"more\""}},
    {"Animations", false,
     {"anic"},
     {"tfd {0} {1}", "anid {0} {1}", "tfd {0}", "anix {0}", "tfx {0}", "tfe {0}", "anie {0}",
      "ani {0} l 0 0 10 10", "ani+ {0} l 0 0 10 10", "sc 10 10\ntf {0} {500} \"hi\"", "tf? {0}", "ani? {0}"},
     {"ani 0 l {0} {0} {10} {10}\nani 0 y {5}\nanie 0\nw 0",
      "ani 0 dp 1 1\nani 0 y {5}\nani 0 dp 2 2\nani 0 y {5}\nanie 0\ntfd 0 {1}\nw 0"}},
    {"AnimatedGif", true,
     {"agifd"},
     {"agif {0} {4} {10} {10} {1}\nw 0", "xi {4} {10} {10}"}},
    {"Bitmaps", true,
     {},
     {"xi {1} {10} {10}", "xi {2} {10} {10}", "xi {3} {10} {10}", "xit {3} {10} {10} {x:F81F}",
      "xim {1} {10} {10}", "xic {1} {10} {10} {0} {0} {5} {5}", "xic {2} {10} {10} {0} {0} {5} {5}",
      "xic {3} {10} {10} {0} {0} {5} {5}", "xio {1} {10} {10} {0} {5} {2}", "xio {1} {10} {10} {1} {5} {2}",
      "xif PIC.BMP {10} {10}", "xif PIC.GIF {10} {10}", "xif PIC.JPG {10} {10}", "lsbmp {1}", "ls {1}",
      "*SPL {1}", "zs {1}"}},
    {"Charts", true,
     {"cd 0 100 100 199 199 0 10 0 100 000 1 F00 2 0F0", "cdb 1 100 300 10 0 100 5 1 F00",
      "ld 0 400 100 419 199 0 0 0 00F 100 F00 50 0F0"},
     {"cd {2} {100} {100} {199} {199} {0} {10} {0} {100} 000 {1} F00",
      "cd {2} {100} {100} {199} {199} {3} {10} {0} {100} 000 {1} F00",
      "cdb {1} {100} {300} {10} {0} {100} {5} {1} F00", "cv {0} {50}", "cv {0} {50} {60}", "cv {1} {50}",
      "cv 0 50\ncv {0} {50} {60}", "cc {0}", "cr {0}", "cdbb {1} {5}", "cdbc {0} 00F", "cdp {0} {1} {2} 0F0",
      "cddm {1} on", "cdrm {1} off", "ld {1} {400} {100} {419} {199} {0} {0} {0} 00F {100} F00",
      "ld {1} {400} {100} {499} {119} {1} {1} {0} 00F {100} F00 {50} 0F0", "lv {0} {75}"},
     {"bcv {0} {0}"}},
    {"Sliders", true,
     {"sl 128 5 100 200 6 0 1 0 0 100 0", "sl 129 8 400 150 9 0 0 1 0 100 0"},
     {"sl {130} {5} {100} {300} {6} {0} {1} {0} {0} {100} {0}",
      "sl {130} {8} {500} {150} {9} {0} {0} {1} {0} {100} {0}", "sv {128} {50}", "sv {129} {50}",
      "sl 130 5 100 300 6 0 1 0 0 {2147483647} {-2147483648}\nsv 130 {50}\n*tsmm {150} {310}",
      "*tsmm {150} {210}", "*tsmm {410} {150}",
      "slc {131} {100} {100} {50} {0} {0} {0} {0} {0} {0} {0} {0} {0} {0} {0}", "svc {131} {5}"}},
    {"HotspotsAndButtons", true,
     {"x 10 0 0 50 50", "bd 20 100 100 0 \"A\"", "bd 21 200 100 1 \"B\""},
     {"x {11} {0} {0} {50} {50}", "xs {11} {0} {0} {50} {50}", "xsnb {11} {0} {0} {50} {50}",
      "xt {11} {0} {0} {50} {50}", "xst {11} {0} {0} {50} {50}", "xxy {11} {0} {0} {50} {50}",
      "xxynb {11} {0} {0} {50} {50}", "xset {10} p", "xset {10} +x", "xd {10}", "xd {10} {12}", "xe {10}",
      "xe {10} {12}", "xes {10} {12}", "xc {11}", "*tsmm {10} {10}", "*tsmp {10} {10}\n*tsmt\n*tsmr",
      "i {1} {10} {10}", "ssb {21} {1}", "ssb {21}", "bd {22} {100} {100} {0} \"A\"",
      "bdc {23} {100} {100} {0} {1} {1} \"A\"", "bc {20}", "xm {10} calc", "xa {10} p calc {4} {5}",
      "xa {10} r calc {4} {5}", "xa 10 p draw {4} {5}\n*tsmm 10 10", "xm 10 draw\n*tsmm {10} {10}"}},
    {"Touch", false,
     {"*tcTimeout 1"},
     {"typematic {50} {20}", "typematics {50} {20}", "*touchParm {1} {2}", "*debounce {5}", "*debugTouch {0}",
      "*touchSwap {0}", "*autoCal {0}", "*tspan {100}", "*tplo {100}", "*tphi {100}",
      "*tpDeltaLim {100}", "*tsamp {4}", "*tcTimeout {10}", "*touchMode {0}"},
     // A calibration point waits for a touch until the calibration's time-out.
     {"*gcp {100} {100}"}},
    {"Macros", false,
     {},
     {"lsmac {1}", "m{1} {4} {5}", "m{2} {4} {5}", "m calc {4} {5}", "m draw {4} {5}", "m calc:x1 {4} {5}",
      "set i{0} {5}", "set i0 0x{x:10}", "set e{x:0} {5}", "set e0 0x{x:5}", "set p{0} {1} {2}", "get i{0}",
      "get e{x:0}", "get p{0}", "get s{0}", "set s{0} \"ab\"", "mpush {0} \"ab\" {5}", "mpush \"ab\" {5}",
      "mpop {0} {1}", "mpop {1}", "*macdebug {0}", "*macnote {0}", "*DEMOMAC {1}", "*PONMAC {1} {1}",
      "*PONMAC 0"}},
    {"Arithmetic", false,
     {},
     {"set i0 `({7}+{3})`", "set i0 `({7}-{3})`", "set i0 `({7}*{3})`", "set i0 `({7}/{3})`",
      "set i0 `({7}%{3})`", "set i0 `({7}+-{3})`", "set i0 {5}\nset i1 `(`i0`*{3})`\nset i2 `(`i0`/-1)`",
      "set i0 {5}\nt \"`%+05 i0``%-8 i0`\" 10 10", "set p0 {1} {2}\nt \"`p0``%3 p0.x``p0.y`\" 10 10",
      "t \"`W{1}``H{1}``L{128}`\" 10 10", "t \"`i{0}``s{0}``e{x:0}``p{0}`\" 10 10"},
     {"t \"`R{0}:{10}`\" 10 10"}},
    {"Beeper", false,
     {"rb 0 0 0"},
     {"beep {10}", "al {1} {10}", "al 0 0", "bv {50}", "bvs {50}", "bv +{5}", "bv -{5}", "bf {1000}",
      "bfs {1000}", "bMaX {100}", "bb {5}", "rb {10} {10} {1}", "rb {10} {10}"}},
    {"System", false,
     {},
     {"baud1 {9600}", "baudp1 {9600}", "bauds1 {9600}", "auxIO {0}", "*auxEsc {x:1B}", "w {5}", "*binr {0}",
      "*CEXT {x:0} {x:10}", "wvr {100}", "wrf {0} {100}", "o 0 -100\nwrf {0} {100}", "*R16 {x:10003000}",
      "*R {x:10003000} {1}", "*W {x:0} 0", "*orient {0}", "*vq {0}", "*maxBrite {255}", "*minBrite {0}",
      "*invEnaHiTrue {1}", "*pwmIsEnable {1}", "*hpw {50}", "*hfp {50}", "*hbp {50}", "*vpw {5}", "*vfp {5}",
      "*vbp {5}", "xbb {100}", "*comwdt {1} {10} {20}\n*comwdt off", "*sdled {0}",
      "*sdload SUB {1}", "*eer {x:10}", "*eerc {x:10}", "*eew {x:1F00} {x:5}", "*eed {x:0}", "*eec {3}",
      "i2c read {x:10}", "i2c write {x:1F00} {x:5}", "i2cr {x:A0} {x:0} {4}", "i2cw {x:A0} {x:0} {x:0}", "*ccsr {x:0}",
      "*memTest {0} {1}", "*memTest {x:C0400000} {x:100} 1", "*dumpmb {x:C0000000} {x:10}",
      "*dumpml {x:C0000000} {x:10}"},
     {"*speedtest 2 <p {1}>"}},
    {"Programming", false,
     {},
     {"xmc {x:FEEC} {5}", "xmc {x:FEEB} {5}", "xmp {x:0} {x:0} {0}\nAB\n Q", "xmp {x:FFFF} {x:FFFF} 0\nAB\n Q"},
     {"bdld {0} {x:0} {4} 100\nABC", "bdld {4} {x:0} {4} 100\nABC", "bdld 0 0 4 {100}\nABC"}},
};

// The lines of one form with its fields at the given values; at = -1 puts
// every field at the value (decimal fields take dec, hexadecimal ones hex).
std::vector<std::string> lines_of(const std::string& form, int at, const std::string& dec, const std::string& hex)
{
    std::string out;
    int field = 0;
    for (size_t i = 0; i < form.size();) {
        if (form[i] != '{') {
            out += form[i++];
            continue;
        }
        const size_t close = form.find('}', i);
        std::string ordinary = form.substr(i + 1, close - i - 1);
        const bool isHex = ordinary.rfind("x:", 0) == 0;
        if (isHex)
            ordinary = ordinary.substr(2);
        out += at == -1 || at == field ? (isHex ? hex : dec) : ordinary;
        ++field;
        i = close + 1;
    }
    std::vector<std::string> lines;
    for (size_t start = 0;;) {
        const size_t end = out.find('\n', start);
        lines.push_back(out.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return lines;
        start = end + 1;
    }
}

// The fields of a form, true for the hexadecimal ones.
std::vector<bool> fields_of(const std::string& form)
{
    std::vector<bool> hex;
    for (size_t i = form.find('{'); i != std::string::npos; i = form.find('{', i + 1))
        hex.push_back(form.compare(i + 1, 2, "x:") == 0);
    return hex;
}

// Every case of a form: each field at each of its extreme values, then all
// together (the hexadecimal fields going round their shorter list).
std::vector<std::vector<std::string>> cases_of(const std::string& form)
{
    std::vector<std::vector<std::string>> cases;
    const std::vector<bool> hex = fields_of(form);
    const int fields = static_cast<int>(hex.size());
    for (int at = fields == 1 ? 0 : -1; at < fields; ++at) {
        const size_t n = at >= 0 && hex[at] ? std::size(kHex) : std::size(kDecimal);
        for (size_t v = 0; v < n; ++v)
            cases.push_back(lines_of(form, at, kDecimal[v % std::size(kDecimal)], kHex[v % std::size(kHex)]));
    }
    return cases;
}

}  // namespace

const std::vector<NumberFamily>& number_families()
{
    return kFamilies;
}

void PrintTo(const NumberFamily& family, std::ostream* os)
{
    *os << family.name;
}

std::vector<NumberCase> number_cases(const NumberFamily& family, const std::string& form)
{
    std::vector<std::vector<std::string>> setups;
    if (!family.placed)
        setups.push_back(family.setup);
    else
        for (const char* origin : kOrigins) {
            std::vector<std::string> setup = {"z", origin};
            setup.insert(setup.end(), family.setup.begin(), family.setup.end());
            setups.push_back(setup);
        }
    std::vector<NumberCase> cases;
    for (const std::vector<std::string>& setup : setups)
        for (const std::vector<std::string>& lines : cases_of(form)) {
            NumberCase c{setup, setup.size()};
            c.lines.insert(c.lines.end(), lines.begin(), lines.end());
            cases.push_back(c);
        }
    return cases;
}

std::vector<uint8_t> make_number_fixtures(const std::string& dir)
{
    must("cd " + dir + " && convert -size 40x30 gradient:red-blue BMP3:pic.bmp"
         " && convert -size 24x16 pattern:checkerboard pic.gif"
         " && convert -delay 5 -size 8x8 xc:red xc:green xc:blue anim.gif"
         " && convert -size 20x12 gradient:green-red pic.ppm && cjpeg pic.ppm >pic.jpg"
         " && mkfs.fat -C card.img 2048 >/dev/null"
         " && mmd -i card.img ::SUB && mcopy -i card.img pic.bmp pic.gif pic.jpg ::");
    TestBitmap raw{TestBitmap::Raw, 20, 10, test_pattern(20, 10, 1)};
    TestBitmap rle{TestBitmap::Rle, 16, 16, std::vector<uint16_t>(16 * 16, 0x07E0)};
    TestBitmap trans{TestBitmap::Trans, 8, 8, test_pattern(8, 8, 3), 0xF81F};
    TestBitmap gif{TestBitmap::Gif};
    if (std::FILE* f = std::fopen((dir + "/anim.gif").c_str(), "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;)
            gif.bytes.push_back(static_cast<uint8_t>(c));
        std::fclose(f);
    }
    TestBitmap track{TestBitmap::Raw, 200, 30, std::vector<uint16_t>(200 * 30, 0x39E7)};
    TestBitmap knob{TestBitmap::Raw, 10, 20, std::vector<uint16_t>(10 * 20, 0xF800)};
    TestBitmap dial{TestBitmap::Raw, 120, 120, std::vector<uint16_t>(120 * 120, 0x001F)};
    TestBitmap column{TestBitmap::Raw, 30, 200, std::vector<uint16_t>(30 * 200, 0x39E7)};
    TestBitmap flatKnob{TestBitmap::Raw, 20, 10, std::vector<uint16_t>(20 * 10, 0x07E0)};
    const std::vector<TestMacro> macros = {
        {1, "calc",
         {"set i1 `(`0`+`1`)`", "set i2 `(`0`-`1`)`", "set i3 `(`0`*`1`)`", "set i4 `(`0`/`1`)`",
          "set i5 `(`0`%`1`)`", "set i6 `(`0`*-1)`", "get i6", ":x1", "get i5"}},
        {2, "draw", {"l `0` `1` 10 10", "c `0` `1` 5", "xi 1 `0` `1`", "t \"x\" `0` `1`", "o `0` `1`", "o 0 0"}},
    };
    return build_image({raw, rle, trans, gif, track, knob, dial, column, flatKnob}, macros);
}

}  // namespace fwtest
