// The configuration files on the SD card: config.ini overriding the record
// at start-up, currconf.txt written by "*getConfigAsFile" and read back as a
// PC reads it, rundemo.ini choosing a demonstration macro, and the key
// search they share.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/KM_macros.h"
#include "storage/KM_config.h"
#include "storage/KM_eeprom.h"
#include "support/host.h"
#include "support/shell.h"
#include "support/image_builder.h"

namespace {

using fwtest::visible;

// ---------------------------------------------------------------- fixtures

using fwtest::must;
using fwtest::Outcome;
using fwtest::run;

struct CardFile {
    std::string name;
    std::string content;
};

// A FAT12 card as a user makes one, carrying the given files.
std::string make_card(const std::vector<CardFile>& files)
{
    std::string path = fwtest::temp_dir() + "/card.img";
    std::remove(path.c_str());
    must("mkfs.fat -C -F 12 -s 4 -n VELMCARD " + path + " 2048 >/dev/null");
    for (const CardFile& f : files) {
        std::string src = fwtest::temp_dir() + "/put.tmp";
        std::ofstream(src, std::ios::binary) << f.content;
        must("mcopy -o -i " + path + " " + src + " '::" + f.name + "'");
    }
    return path;
}

std::string pc_reads(const std::string& card, const std::string& name)
{
    std::string dst = fwtest::temp_dir() + "/get.tmp";
    std::remove(dst.c_str());
    Outcome r = run("mcopy -n -i " + card + " ::" + name + " " + dst);
    EXPECT_EQ(r.status, 0) << "a PC cannot read " << name << " from the card: " << r.out;
    std::ifstream in(dst, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Powers on with the card (none when empty) and an optional memory image;
// returns what the command port sent up to the start-up's prompt.
std::string start(const std::string& card, const std::vector<uint8_t>& image = {})
{
    fwtest::BootOptions o;
    o.sd = card;
    o.flash_image = image;
    sim::Board& b = fwtest::boot(o);
    std::string got = fwtest::until_prompt(b.uart1, 0, 10 * sim::kSecond);
    if (got.size() < 2 || got.compare(got.size() - 2, 2, ">\r") != 0)
        ADD_FAILURE() << "no prompt after start-up, got \"" << visible(got) << "\"";
    return got;
}

// The record this build starts with when nothing overrides it.
EepromRecord defaults()
{
    EepromRecord saved = eepromData, d;
    fwtest::on_firmware([&] {
        KM_EEPROM_SetDefaults();
        d = eepromData;
        eepromData = saved;
    });
    return d;
}

uint32_t field(const EepromRecord& r, uint8_t offset, int width)
{
    uint32_t v = 0;
    std::memcpy(&v, reinterpret_cast<const uint8_t*>(&r) + offset, (size_t)width);
    return v;
}

// ---------------------------------------------------------------- config.ini

constexpr int kDefault = -1;

struct Field {
    uint8_t offset;
    int width;
    long value;  // kDefault: the build's default stays
};

struct KeyCase {
    const char* name;
    std::string ini;
    std::vector<Field> fields;
};

std::ostream& operator<<(std::ostream& os, const KeyCase& c)
{
    return os << c.name;
}

#define AT(f) (uint8_t) offsetof(EepromRecord, f), (int)sizeof(EepromRecord::f)

class ConfigIni : public ::testing::TestWithParam<KeyCase> {};

TEST_P(ConfigIni, KeysOverrideTheRecordAtStartUp)
{
    const KeyCase& c = GetParam();
    sim::Board& b = fwtest::boot_to_prompt([&] {
        fwtest::BootOptions o;
        o.sd = make_card({{"config.ini", c.ini}});
        return o;
    }());
    EepromRecord d = defaults();
    for (const Field& f : c.fields) {
        uint32_t want = f.value == kDefault ? field(d, f.offset, f.width) : (uint32_t)f.value;
        EXPECT_EQ(field(eepromData, f.offset, f.width), want)
            << "config.ini \"" << visible(c.ini) << "\" left record byte 0x" << std::hex << (int)f.offset
            << " wrong";
        for (uint32_t copy : {EEPROM_COPY0, EEPROM_COPY1})
            EXPECT_EQ(field(*reinterpret_cast<const EepromRecord*>(b.eeprom.data() + copy), f.offset, f.width), want)
                << "the EEPROM copy at 0x" << std::hex << copy << " does not hold byte 0x" << (int)f.offset
                << " after config.ini \"" << visible(c.ini) << "\"";
    }
}

const std::string kLong31(31, 'x');

INSTANTIATE_TEST_SUITE_P(
    ConfigFiles, ConfigIni,
    ::testing::Values(
        KeyCase{"blank_separated", "tplo 300\r\n", {{AT(tplo), 300}}},
        KeyCase{"equals_sign", "tplo = 300\r\n", {{AT(tplo), 300}}},
        KeyCase{"glued_equals_does_not_parse", "tplo=300\r\n", {{AT(tplo), kDefault}}},
        KeyCase{"comment_line_skipped", "# tplo 100\r\ntplo 300\r\n", {{AT(tplo), 300}}},
        KeyCase{"comment_first_line_only", "#tplo 100\ntphi 900\n", {{AT(tplo), kDefault}, {AT(tphi), 900}}},
        KeyCase{"key_is_a_substring", "xtplo 250\r\n", {{AT(tplo), 250}}},
        KeyCase{"first_occurrence_counts", "tplo 300\r\ntplo 400\r\n", {{AT(tplo), 300}}},
        KeyCase{"cr_only_lines", "tsamp 7\rtplo 301\r", {{AT(tsamp), 7}, {AT(tplo), 301}}},
        KeyCase{"lf_only_lines", "tphi 777\ntplo 55\n", {{AT(tplo), 55}, {AT(tphi), 777}}},
        KeyCase{"no_final_line_end", "tplo 123", {{AT(tplo), 123}}},
        KeyCase{"letters_are_no_number", "tplo abc\r\n", {{AT(tplo), kDefault}}},
        KeyCase{"value_on_next_line_is_not_taken", "tplo\r\n300\r\n", {{AT(tplo), kDefault}}},
        KeyCase{"orient_keeps_two_bits", "orient 6\r\n", {{AT(orient), 2}}},
        KeyCase{"bool_of_nonzero", "invEnaHiTrue 5\r\ntouchSwap 9\r\n", {{AT(invEnaHiTrue), 1}, {AT(touchSwap), 1}}},
        KeyCase{"autoCal_on", "autoCal 1\r\n", {{AT(autoCal), 0xA5}}},
        KeyCase{"autoCal_off", "autoCal = 0\r\n", {{AT(autoCal), 0xFF}}},
        KeyCase{"auxEsc_hex_with_prefix", "auxEsc = 0x1b\r\n", {{AT(auxEsc), 0x1B}}},
        KeyCase{"auxEsc_hex_without_prefix", "auxEsc 7F\r\n", {{AT(auxEsc), 0x7F}}},
        KeyCase{"byte_of_a_negative", "tsamp -5\r\n", {{AT(tsamp), 251}}},
        KeyCase{"byte_keys", "tpDeltaLim 40\r\ntouchMode 2\r\ntcTimeout 9\r\ntypematicDelay 30\r\ntypematicRepeat 8\r\n",
                {{AT(tpDeltaLim), 40}, {AT(touchMode), 2}, {AT(tcTimeout), 9}, {AT(typematicDelay), 30},
                 {AT(typematicRepeat), 8}}},
        KeyCase{"debounce_32_bits", "debounce 123456\r\n", {{AT(debounce), 123456}}},
        KeyCase{"ponmac_on", "PONMAC 7\r\n", {{AT(PONMAC), 7}, {AT(PONMACnoBanner), 0xA5}}},
        KeyCase{"ponmac_zero_switches_off", "PONMAC 0\r\n", {{AT(PONMAC), 0}, {AT(PONMACnoBanner), 0xFF}}},
        KeyCase{"splash_on", "SPL 3\r\n", {{AT(SPL), 0xA5}, {AT(SPLbitmap), 3}}},
        KeyCase{"splash_off_keeps_bitmap", "SPL 0\r\n", {{AT(SPL), 0xFF}, {AT(SPLbitmap), kDefault}}},
        KeyCase{"panel_timing", "hfp 40\r\nhpw 2\r\nhbp 41\r\nvfp 13\r\nvpw 3\r\nvbp 29\r\n",
                {{AT(hfp), 40}, {AT(hpw), 2}, {AT(hbp), 41}, {AT(vfp), 13}, {AT(vpw), 3}, {AT(vbp), 29}}},
        KeyCase{"brightness", "maxBrite 200\r\nminBrite 10\r\nbrite 99\r\npwmIsEnable 4\r\n",
                {{AT(maxBrite), 200}, {AT(minBrite), 10}, {AT(brite), 99}, {AT(pwmIsEnable), 1}}},
        KeyCase{"beeper", "beepFreq 2000\r\nbeepVol 100\r\n", {{AT(beepFrequency), 2000}, {AT(beepVolume), 100}}},
        KeyCase{"baud_57600", "baud0 57600\r\nbaud1 = 9600\r\n", {{AT(baud0), 6}, {AT(baud1), 3}}},
        KeyCase{"baud_without_code_ignored", "baud0 14400\r\n", {{AT(baud0), kDefault}}},
        KeyCase{"main_port_2_ignored", "mainPort 2\r\n", {{AT(mainPort), kDefault}}},
        KeyCase{"shift_clock_and_speaker", "LCDshiftclock 3\r\nexternalSpeaker 3\r\n",
                {{AT(LCDshiftclock), 1}, {AT(externalSpeaker), 1}}},
        KeyCase{"tspan_too_low_becomes_12", "tspan 2\r\n", {{AT(tspan), 12}}},
        KeyCase{"tspan", "tspan 20\r\n", {{AT(tspan), 20}}},
        KeyCase{"order_in_file_does_not_matter", "externalSpeaker 1\r\nautoCal 1\r\n",
                {{AT(externalSpeaker), 1}, {AT(autoCal), 0xA5}}}),
    [](const ::testing::TestParamInfo<KeyCase>& i) { return std::string(i.param.name); });

TEST(ConfigFiles, BaudCodesOfTheCasesAreTheRecordsOwn)
{
    EXPECT_EQ(KM_EEPROM_Rate2eeVal(57600), 6);
    EXPECT_EQ(KM_EEPROM_Rate2eeVal(9600), 3);
    EXPECT_EQ(KM_EEPROM_Rate2eeVal(14400), 0xFF);
}

struct TextCase {
    const char* name;
    std::string ini;
    std::string want;  // the stored text; "=" the default
};

std::ostream& operator<<(std::ostream& os, const TextCase& c)
{
    return os << c.name;
}

class ConfigText : public ::testing::TestWithParam<TextCase> {};

TEST_P(ConfigText, QuotedUserText)
{
    const TextCase& c = GetParam();
    fwtest::BootOptions o;
    o.sd = make_card({{"config.ini", c.ini}});
    fwtest::boot_to_prompt(o);
    EepromRecord d = defaults();
    std::string want = c.want == "=" ? std::string(d.config, strnlen(d.config, sizeof d.config)) : c.want;
    EXPECT_EQ(std::string(eepromData.config, strnlen(eepromData.config, sizeof eepromData.config)), want)
        << "config.ini \"" << visible(c.ini) << "\" stored the wrong user text";
}

INSTANTIATE_TEST_SUITE_P(
    ConfigFiles, ConfigText,
    ::testing::Values(TextCase{"equals", "config = \"hello panel\"\r\n", "hello panel"},
                      TextCase{"no_equals", "config \"abc\"\r\n", "abc"},
                      TextCase{"escape_decoded", "config = \"a\\\"b\"\r\n", "a\"b"},
                      TextCase{"thirty_one_characters", "config = \"" + kLong31 + "\"\r\n", kLong31},
                      TextCase{"thirty_two_is_too_long", "config = \"" + kLong31 + "y\"\r\n", "="},
                      TextCase{"without_quote", "config = abc\r\n", "="},
                      TextCase{"commented", "# config = \"abc\"\r\n", "="}),
    [](const ::testing::TestParamInfo<TextCase>& i) { return std::string(i.param.name); });

TEST(ConfigFiles, VerboseReportsEveryKeyAndEachFault)
{
    std::string out = start(make_card({{"config.ini",
                                        "# settings\r\nverbose 1\r\ntsamp = 9\r\nauxEsc 1b\r\nbaud0 14400\r\n"
                                        "tplo=300\r\ntspan 2\r\nconfig \"hi\"\r\n"}}));
    for (const char* want : {":config.ini verbose mode enabled\r", ":tsamp = 9\r", ":auxEsc = 0x1B\r",
                             ":new rate not valid, not saved\r", ":Syntax error \"tplo=300\"\r", ":tspan = 2\r",
                             ":config = \"hi\"\r", ":tspan too low!! Set to default (12)\r",
                             ":storing new values in EEPROM\r"})
        EXPECT_NE(out.find(want), std::string::npos)
            << "verbose start-up did not report \"" << visible(want) << "\": " << visible(out);
    EXPECT_EQ(eepromData.tsamp, 9) << "keys after a faulty line must still be found";
}

TEST(ConfigFiles, QuietWithoutVerbose)
{
    std::string out = start(make_card({{"config.ini", "tsamp 9\r\nbaud0 14400\r\ntplo=3\r\n"}}));
    for (const char* quiet : {"Syntax", "rate", "verbose", "storing", "tsamp"})
        EXPECT_EQ(out.find(quiet), std::string::npos) << "config.ini without verbose reported: " << visible(out);
    EXPECT_EQ(eepromData.tsamp, 9);
}

TEST(ConfigFiles, ChangedBaudRateWaitsForTheNextStart)
{
    fwtest::BootOptions o;
    o.sd = make_card({{"config.ini", "verbose 1\r\nbaud0 57600\r\n"}});
    sim::Board& b = fwtest::boot(o);
    std::string out = fwtest::until_prompt(b.uart1, 0, 10 * sim::kSecond);
    EXPECT_NE(out.find(":new rate will take effect on next powerup/reset\r"), std::string::npos) << visible(out);
    EXPECT_NEAR(b.uart1.rate(), 115200, 1152) << "the command port changed its rate before the next start";
    EXPECT_EQ(eepromData.baud0, 6);
}

TEST(ConfigFiles, MainPortOneMakesUart2TheCommandPortAtStartUp)
{
    fwtest::BootOptions o;
    o.sd = make_card({{"config.ini", "mainPort 1\r\n"}});
    sim::Board& b = fwtest::boot(o);
    fwtest::until_prompt(b.uart2, 0, 10 * sim::kSecond);
    EXPECT_EQ(eepromData.mainPort, 1) << "mainPort 1 was not stored";
    size_t from = b.uart2.sent_text().size();
    fwtest::send(b.uart2, "*ctype\r");
    EXPECT_EQ(visible(fwtest::until_prompt(b.uart2, from)), visible("1\r>\r"))
        << "UART 2 does not answer commands after config.ini asked for it";
}

TEST(ConfigFiles, NoConfigFileIsSilentAndKeepsTheDefaults)
{
    std::string out = start(make_card({{"other.ini", "tplo 300\r\n"}}));
    for (const char* quiet : {"config.ini", "could not"})
        EXPECT_EQ(out.find(quiet), std::string::npos) << "a card without config.ini gave: " << visible(out);
    EepromRecord d = defaults();
    EXPECT_EQ(eepromData.tplo, d.tplo);
}

TEST(ConfigFiles, MacdebugSwitchesTheMacroEnginesEchoWithoutStoringIt)
{
    std::string out = start(make_card({{"config.ini", "verbose 1\r\nmacdebug 3\r\n"}}));
    EXPECT_EQ(macroVerbose, 1) << "macdebug 3 must switch the macro echo on (value AND 1)";
    EXPECT_NE(out.find(":storing new values in EEPROM\r"), std::string::npos)
        << "macdebug marks the record changed: " << visible(out);
}

// ---------------------------------------------------------------- currconf.txt

std::vector<std::string> crlf_lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t e; (e = text.find("\r\n", at)) != std::string::npos; at = e + 2)
        lines.push_back(text.substr(at, e - at));
    if (at != text.size())
        lines.push_back("<unterminated> " + text.substr(at));
    return lines;
}

TEST(ConfigFiles, DumpOfTheDefaults)
{
    std::string card = make_card({});
    start(card);
    std::string reply = fwtest::command("*getConfigAsFile", 30 * sim::kSecond);
    EXPECT_NE(reply.find(":writing SD File currconf.txt\r"), std::string::npos) << visible(reply);
    EXPECT_EQ(reply.substr(reply.size() - 2), ">\r") << visible(reply);
    std::vector<std::string> lines = crlf_lines(pc_reads(card, "currconf.txt"));
    const std::string hashes(58, '#');
    ASSERT_GE(lines.size(), 3u) << "currconf.txt lacks its header";
    EXPECT_EQ(lines[0], hashes);
    EXPECT_EQ(lines[1], "# active config data generated by *getConfigAsFile command");
    EXPECT_EQ(lines[2], hashes);
    const std::vector<std::string> keys = {
        "autoCal", "orient", "invEnaHiTrue", "touchSwap", "tplo", "tphi", "tsamp", "tspan", "touchMode",
        "tcTimeout", "auxEsc", "beepFreq", "beepVol", "typematicDelay", "typematicRepeat", "debounce", "PONMAC",
        "SPL", "hfp", "hpw", "hbp", "vfp", "vpw", "vbp", "maxBrite", "minBrite", "brite", "pwmIsEnable",
        "mainPort", "LCDshiftclock", "baud0", "baud1", "externalSpeaker", "config"};
    ASSERT_EQ(lines.size(), 3 + keys.size()) << "currconf.txt has the wrong number of lines";
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(lines[3 + i].rfind(keys[i] + " = ", 0), 0u) << "line " << 4 + i << " is \"" << lines[3 + i] << "\"";
    auto has = [&](const std::string& l) {
        for (const std::string& x : lines)
            if (x == l)
                return true;
        return false;
    };
    for (const char* want : {"autoCal = 0", "auxEsc = 0x0d", "SPL = 0", "baud0 = 115200"})
        EXPECT_TRUE(has(want)) << "a dump of the defaults lacks \"" << want << "\"";
    EXPECT_EQ(run("fsck.fat -n " + card).status, 0) << "the card is damaged after the dump";
}

TEST(ConfigFiles, DumpShowsWhatConfigIniSetAndReplacesTheOldDump)
{
    std::string card = make_card({{"config.ini", "tplo 321\r\nPONMAC 9\r\nSPL 4\r\nbaud1 57600\r\nautoCal 1\r\n"
                                                 "auxEsc 1b\r\nconfig = \"my panel\"\r\n"},
                                  {"currconf.txt", "stale\r\n"}});
    start(card);
    std::string reply = fwtest::command("*getConfigAsFile", 30 * sim::kSecond);
    EXPECT_NE(reply.find(":existing config file removed\r"), std::string::npos) << visible(reply);
    std::string dump = pc_reads(card, "currconf.txt");
    for (const char* want : {"\r\ntplo = 321\r\n", "\r\nPONMAC = 9\r\n", "\r\nSPL = 4\r\n", "\r\nbaud1 = 57600\r\n",
                             "\r\nautoCal = 1\r\n", "\r\nauxEsc = 0x1b\r\n", "\r\nconfig = \"my panel\"\r\n"})
        EXPECT_NE(dump.find(want), std::string::npos) << "the dump lacks \"" << visible(want) << "\": " << visible(dump);
    EXPECT_EQ(dump.find("stale"), std::string::npos) << "the old dump was not replaced";
    // The dump read back through the same key search gives the same values.
    int v = 0;
    EXPECT_TRUE(lookfor(dump.c_str(), "tplo", 'd', &v, 0) && v == 321) << "tplo read back as " << v;
    EXPECT_TRUE(lookfor(dump.c_str(), "auxEsc", 'x', &v, 0) && v == 0x1B) << "auxEsc read back as " << v;
    char text[32];
    EXPECT_TRUE(lookforQuotedString(dump.c_str(), "config", text, sizeof text, 0) && std::string(text) == "my panel");
}

TEST(ConfigFiles, DumpWithoutACard)
{
    start("");
    EXPECT_EQ(visible(fwtest::command("*getConfigAsFile")), visible(":SD Card not initialized\r!\r"));
}

TEST(ConfigFiles, DumpOfAnInvalidRecordIsRefused)
{
    std::string card = make_card({});
    start(card);
    fwtest::on_firmware([] { eepromData.valid = 0; });
    EXPECT_EQ(visible(fwtest::command("*getConfigAsFile")), visible(":EEPROM invalid\r!\r"));
    EXPECT_NE(run("mdir -b -i " + card + " ::currconf.txt").status, 0)
        << "currconf.txt was written from an invalid record";
}

// ---------------------------------------------------------------- rundemo.ini

const std::vector<fwtest::TestMacro> kDemo = {{1, "idle", {"set i0 1"}}, {2, "demo", {"pw 15 15 F800", "pw 16 16 F800"}}};

std::string pixel(int x, int y)
{
    return fwtest::command("pr " + std::to_string(x) + " " + std::to_string(y));
}

struct DemoCase {
    const char* name;
    std::string ini;
    bool runs;
};

std::ostream& operator<<(std::ostream& os, const DemoCase& c)
{
    return os << c.name;
}


class RunDemo : public ::testing::TestWithParam<DemoCase> {};

TEST_P(RunDemo, ChoosesTheStartUpMacro)
{
    const DemoCase& c = GetParam();
    start(make_card({{"rundemo.ini", c.ini}}), fwtest::build_image({}, kDemo));
    const std::string red = "F80000\r>\r";
    if (c.runs)
        EXPECT_EQ(visible(pixel(15, 15)), visible(red)) << "rundemo.ini \"" << visible(c.ini) << "\" did not run the demo macro";
    else
        EXPECT_NE(visible(pixel(15, 15)), visible(red)) << "rundemo.ini \"" << visible(c.ini) << "\" ran the demo macro";
    EXPECT_NE(visible(pixel(30, 30)), visible(red)) << "the demo drew where it should not";
}

INSTANTIATE_TEST_SUITE_P(ConfigFiles, RunDemo,
                         ::testing::Values(DemoCase{"number", "demomac 2\r\n", true},
                                           DemoCase{"equals", "# start-up demo\r\ndemomac = 2\r\n", true},
                                           DemoCase{"low_byte", "demomac 258\n", true},
                                           DemoCase{"commented", "#demomac 2\r\n", false},
                                           DemoCase{"zero", "demomac 0\r\n", false},
                                           DemoCase{"empty_file", "", false},
                                           DemoCase{"no_number", "demomac five\r\n", false}),
                         [](const ::testing::TestParamInfo<DemoCase>& i) { return std::string(i.param.name); });

TEST(ConfigFiles, RunDemoVerbose)
{
    std::string out = start(make_card({{"rundemo.ini", "verbose 1\r\ndemomac 2\r\n"}}), fwtest::build_image({}, kDemo));
    EXPECT_NE(out.find(":rundemo.ini verbose mode enabled\r"), std::string::npos) << visible(out);
    EXPECT_NE(out.find(":demomac = 2\r"), std::string::npos) << visible(out);
}

TEST(ConfigFiles, RunDemoTooLargeToLoadIsReportedAndRunsNothing)
{
    std::string big = "demomac 2\r\n# " + std::string(120000, 'x') + "\r\n";
    std::string out = start(make_card({{"rundemo.ini", big}}), fwtest::build_image({}, kDemo));
    EXPECT_NE(out.find(":rundemo.ini could not be loaded\r"), std::string::npos) << visible(out);
    EXPECT_NE(visible(pixel(15, 15)), visible("F80000\r>\r")) << "a rundemo.ini that did not load still ran its macro";
}

// ---------------------------------------------------------------- the key search

struct LookCase {
    const char* text;
    const char* key;
    char format;
    int found;
    int value;
};

TEST(ConfigFiles, KeySearch)
{
    const LookCase cases[] = {
        {"tplo 300", "tplo", 'd', 1, 300},
        {"tplo = -42\r\n", "tplo", 'd', 1, -42},
        {"tplo\t=\t7", "tplo", 'd', 1, 7},
        {"tplo=300", "tplo", 'd', 0, 0},
        {"tplo =", "tplo", 'd', 0, 0},
        {"tplo 99999999999", "tplo", 'd', 0, 0},
        {"tplo 2147483647", "tplo", 'd', 1, 2147483647},
        {"tplo -2147483648", "tplo", 'd', 1, (int)0x80000000u},
        {"# tplo 1\ntplo 2", "tplo", 'd', 1, 2},
        {"a 1\r# tplo 1\rtplo 3", "tplo", 'd', 1, 3},
        {"a 1 # tplo 4", "tplo", 'd', 1, 4},
        {"TPLO 5", "tplo", 'd', 0, 0},
        {"auxEsc 0x1B", "auxEsc", 'x', 1, 0x1B},
        {"auxEsc ff", "auxEsc", 'h', 1, 0xFF},
        {"auxEsc xyz", "auxEsc", 'x', 0, 0},
        {"auxEsc 0x", "auxEsc", 'x', 1, 0},
        {"auxEsc 12", "auxEsc", 'q', 0, 0},
        {"", "tplo", 'd', 0, 0},
        {"tplo 1", "", 'd', 0, 0},
    };
    for (const LookCase& c : cases) {
        int v = 0;
        std::string text = c.text;
        EXPECT_EQ(lookfor(text.c_str(), c.key, c.format, &v, 0), c.found)
            << "lookfor(\"" << visible(c.text) << "\", " << c.key << ", '" << c.format << "')";
        if (c.found)
            EXPECT_EQ(v, c.value) << "lookfor(\"" << visible(c.text) << "\", " << c.key << ") read the wrong value";
        EXPECT_EQ(text, c.text) << "the search changed the settings text";
    }
}

TEST(ConfigFiles, StrToUpper)
{
    char s[] = "baud0 = 57600, ok";
    strToUpper(s);
    EXPECT_STREQ(s, "BAUD0 = 57600, OK");
}

}  // namespace

namespace {

TEST(LoadFileToFlash, CopiesTheCardsImageIntoTheStore)
{
    fwtest::TestBitmap bm;
    bm.width = 16;
    bm.height = 8;
    bm.pixels = fwtest::test_pattern(16, 8, 5);
    std::vector<uint8_t> image = fwtest::build_image({bm});
    std::string card = make_card({{"VELMTEST.BIN", std::string(image.begin(), image.end())}});
    start(card);
    sim::Board& b = sim::Board::get();
    EXPECT_EQ(visible(fwtest::command("*LOADF", 60 * sim::kSecond)).substr(0, 1), ":")
        << "the copy reports its progress";
    EXPECT_EQ(std::memcmp(b.machine.mem(0xC8400000, image.size()), image.data(), image.size()), 0)
        << "the store does not hold the card's image";
    // The screen shows the progress: a title line, then dots and "DONE!".
    b.machine.run_for(50 * sim::kMillisecond);
    const auto picture = b.lcdc.picture();
    auto drawn = [&](int y0, int y1) {
        const uint32_t background = picture.at(790, 470);
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = 0; x < 400; ++x)
                n += picture.at(x, y) != background;
        return n;
    };
    EXPECT_GT(drawn(10, 22), 100) << "no progress title on the screen";
    EXPECT_GT(drawn(23, 80), 20) << "no progress dots or DONE! below the title";
    EXPECT_EQ(drawn(0, 8) + drawn(90, 300), 0) << "the progress display drew outside its lines";
    EXPECT_EQ(visible(fwtest::command("xi 1 0 0")), ">\\r") << "the copied image is live";
}

TEST(LoadFileToFlash, WithoutAnImageFileOnTheCard)
{
    std::string card = make_card({{"OTHER.TXT", "x"}});
    start(card);
    EXPECT_EQ(visible(fwtest::command("*LOADF")), "!\\r");
}

}  // namespace
