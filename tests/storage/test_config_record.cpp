// The configuration record in the EEPROM as the firmware keeps it: the two
// copies and their checksums at start-up, defaults, repair, migration of
// older layouts, saving, clearing, baud codes and user bytes.  Each case
// powers a board on with the EEPROM contents it needs.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/KM_com.h"
#include "board/serialmem.h"
#include "config/build_config.h"
#include "storage/KM_eeprom.h"
#include "support/host.h"

extern uint32_t serialFlashSize;
extern uint32_t serialFlashSectorSize;

namespace {

using fwtest::visible;

constexpr uint32_t kCopy0 = 0x000, kCopy1 = 0x100, kRecord = 176;
constexpr int W = PANEL_WIDTH, H = PANEL_HEIGHT;

// ---------------------------------------------------------------- records

// The defaults of the record as the board's documentation lists them,
// written out here rather than taken from the firmware.
EepromRecord documented_defaults()
{
    EepromRecord e;
    std::memset(&e, 0xFF, sizeof e);
    e.magic = 0x1255;
    e.tcTimeout = 10;
    e.oldCalLeftX = 15;
    e.oldCalRightX = W - 16;
    e.oldCalRawLeftX = 150;
    e.oldCalRawRightX = 850;
    e.oldCalLowerY = H - 16;
    e.oldCalUpperY = 15;
    e.oldCalRawLowerY = 850;
    e.oldCalRawUpperY = 150;
    e.tplo = 250;
    e.tphi = 700;
    e.tpDeltaLim = 10;
    e.tsamp = 8;
    e.tspan = 12;
    e.touchSwap = 0;
    e.touchValue2C = 2600;
    e.touchValue30 = 200;
    e.brite = 255;
    e.typematicDelay = 75;
    e.debounce = 100;
    e.typematicRepeat = 20;
    e.PONMAC = 0;
    e.auxEsc = 0x0D;
    e.mainPort = 0;
    e.invEnaHiTrue = 0;
    e.maxBrite = PANEL_MAX_BRITE;
    e.minBrite = PANEL_MIN_BRITE;
    e.pwmIsEnable = 1;
    e.orient = 0;
    std::memset(e.config, 0, sizeof e.config);
    e.touchMode = 0;
    e.LCDshiftclock = 1;
    e.baud0 = 7;
    e.baud1 = 7;
    e.externalSpeaker = 0;
    e.calMarker = 0xAA;
    const uint16_t x[5] = {W / 2 - 1, 20, W - 21, W - 21, 20}, rx[5] = {500, 850, 150, 150, 850};
    const uint16_t y[5] = {H / 2 - 1, 20, 20, H - 21, H - 21}, ry[5] = {500, 150, 150, 850, 850};
    std::memcpy(e.calX, x, sizeof x);
    std::memcpy(e.calRawX, rx, sizeof rx);
    std::memcpy(e.calY, y, sizeof y);
    std::memcpy(e.calRawY, ry, sizeof ry);
    e.valid = 1;
    return e;
}

// What start-up itself fills into the RAM record after loading it: a demo
// macro number of 0xFF reads as 1, a panel timing field of 0xFF takes the
// build's default.
EepromRecord after_startup(EepromRecord e)
{
    if (e.demoMacro == 0xFF)
        e.demoMacro = 1;
    uint8_t* timing[6] = {&e.hfp, &e.hpw, &e.hbp, &e.vfp, &e.vpw, &e.vbp};
    const uint8_t build[6] = {PANEL_HFP, PANEL_HPW, PANEL_HBP, PANEL_VFP, PANEL_VPW, PANEL_VBP};
    for (int i = 0; i < 6; ++i)
        if (*timing[i] == 0xFF)
            *timing[i] = build[i];
    return e;
}

// A record of the current layout whose settings differ from the defaults
// (and which start-up leaves as it is).
EepromRecord custom(uint8_t brite)
{
    EepromRecord e = after_startup(documented_defaults());
    e.brite = brite;
    e.tplo = 321;
    e.debounce = 55;
    std::strcpy(e.config, "line 4");
    return e;
}

// Bytes 0x46-0x51 are neither summed nor saved.
constexpr uint32_t kUnsummed = 0x46, kUnsummedEnd = 0x52;

bool summed(uint32_t off)
{
    return off < kUnsummed || off >= kUnsummedEnd;
}

// The checksum as the record's documentation defines it, the 8-bit sum of
// bytes 0x00-0x45 and 0x52-0xAF, worked out as the sum of the whole record
// less the bytes that are not summed.
uint8_t checksum(const uint8_t* r)
{
    const unsigned all = std::accumulate(r, r + kRecord, 0u);
    const unsigned unsummed = std::accumulate(r + kUnsummed, r + kUnsummedEnd, 0u);
    return static_cast<uint8_t>(all - unsummed);
}

const uint8_t* bytes(const EepromRecord& r)
{
    return reinterpret_cast<const uint8_t*>(&r);
}

// ---------------------------------------------------------------- EEPROM

// A blank EEPROM image with copies put in place.
struct Image {
    std::vector<uint8_t> b = std::vector<uint8_t>(sim::Eeprom::kSize, 0xFF);

    // A copy with its checksum, plus damage added to the checksum byte.
    Image& copy(uint32_t base, const EepromRecord& r, uint8_t damage = 0)
    {
        std::memcpy(&b[base], &r, kRecord);
        b[base + 0xFF] = static_cast<uint8_t>(checksum(bytes(r)) + damage);
        return *this;
    }
};

// Powers the board on with the EEPROM holding image (set before the
// firmware's first instruction) and runs until the start-up's prompt.
sim::Board& boot_with(const Image& image, sim::Straps straps = sim::Straps::Plain)
{
    fwtest::BootOptions o;
    o.straps = straps;
    sim::Board& b = fwtest::boot(o);
    std::memcpy(b.eeprom.data(), image.b.data(), image.b.size());
    std::string got = fwtest::until_prompt(b.uart1, 0, 10 * sim::kSecond);
    if (got.size() < 2 || got.compare(got.size() - 2, 2, ">\r") != 0)
        ADD_FAILURE() << "no prompt after start-up, got \"" << visible(got) << "\"";
    return b;
}

// Differences between a stored copy and a record, over the bytes that are
// saved, as "offset: stored/expected" lines.
std::string differences(const uint8_t* stored, const uint8_t* want)
{
    std::string out;
    char line[40];
    for (uint32_t off = 0; off < kRecord; ++off)
        if (summed(off) && stored[off] != want[off]) {
            std::snprintf(line, sizeof line, " 0x%02X: %02X/%02X", off, stored[off], want[off]);
            out += line;
        }
    return out;
}

void expect_copy(sim::Board& b, uint32_t base, const EepromRecord& want, const char* what)
{
    const uint8_t* ee = b.eeprom.data() + base;
    EXPECT_EQ(differences(ee, bytes(want)), "")
        << what << ": copy at 0x" << std::hex << base << " differs (offset: stored/expected)";
    EXPECT_EQ(ee[0xFF], checksum(bytes(want))) << what << ": checksum of the copy at 0x" << std::hex << base;
}

// The RAM record once start-up has finished with it.
void expect_ram(const EepromRecord& loaded, const char* what)
{
    const EepromRecord want = after_startup(loaded);
    EXPECT_EQ(differences(bytes(eepromData), bytes(want)), "")
        << what << ": the record in RAM differs (offset: RAM/expected)";
}

// ---------------------------------------------------------------- start-up

TEST(ConfigRecord, FreshEepromGetsTheDefaultsInBothCopies)
{
    sim::Board& b = boot_with(Image());
    const EepromRecord d = documented_defaults();
    expect_copy(b, kCopy0, d, "fresh EEPROM");
    expect_copy(b, kCopy1, d, "fresh EEPROM");
    expect_ram(d, "fresh EEPROM");
    EXPECT_TRUE(KM_EEPROMvalid());
    for (uint32_t off = kUnsummed; off < kUnsummedEnd; ++off) {
        EXPECT_EQ(bytes(eepromData)[off], 0xFF) << "unsummed byte 0x" << std::hex << off << " in RAM";
        EXPECT_EQ(b.eeprom.data()[off], 0xFF) << "unsummed byte 0x" << std::hex << off << " was written";
    }
    for (uint32_t a : {0xB0u, 0xFEu, 0x1B0u, 0x1FEu, 0x1000u, 0x100Fu})
        EXPECT_EQ(b.eeprom.data()[a], 0xFF) << "EEPROM byte 0x" << std::hex << a << " is not the firmware's to write";
    EXPECT_NEAR(b.uart1.rate(), 115200, 1152);
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

struct RepairCase {
    const char* name;
    Image image;
    uint8_t ram_brite;             // the record that start-up keeps
    uint8_t copy0_brite, copy1_brite;  // what each copy holds afterwards
};

void PrintTo(const RepairCase& c, std::ostream* os)
{
    *os << c.name;
}

class Repair : public testing::TestWithParam<RepairCase> {};

TEST_P(Repair, StartUpKeepsTheSoundCopyAndRepairsTheOther)
{
    const RepairCase& c = GetParam();
    sim::Board& b = boot_with(c.image);
    expect_ram(custom(c.ram_brite), c.name);
    expect_copy(b, kCopy0, custom(c.copy0_brite), c.name);
    expect_copy(b, kCopy1, custom(c.copy1_brite), c.name);
    EXPECT_EQ(eepromData.magic, 0x1255);
}

EepromRecord with_byte(EepromRecord r, uint32_t off, uint8_t v)
{
    reinterpret_cast<uint8_t*>(&r)[off] = v;
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    ConfigRecord, Repair,
    testing::Values(
        RepairCase{"copy 0 damaged", Image().copy(kCopy0, custom(10), 1).copy(kCopy1, custom(10)), 10, 10, 10},
        RepairCase{"copy 1 damaged", Image().copy(kCopy0, custom(20)).copy(kCopy1, custom(20), 7), 20, 20, 20},
        RepairCase{"copy 1 blank", Image().copy(kCopy0, custom(30)), 30, 30, 30},
        RepairCase{"copy 0 blank", Image().copy(kCopy1, custom(40)), 40, 40, 40},
        // Both load; copy 0 is taken, copy 1 keeps its content until a save.
        RepairCase{"both sound, different", Image().copy(kCopy0, custom(50)).copy(kCopy1, custom(60)), 50, 50, 60},
        // Neither checksum holds, but the magic is known: the record that
        // copy 0 holds is sealed again into both copies.
        RepairCase{"both checksums wrong", Image().copy(kCopy0, custom(70), 3).copy(kCopy1, custom(80), 5), 70, 70,
                   70}),
    [](const testing::TestParamInfo<RepairCase>& i) {
        std::string n = i.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

TEST(ConfigRecord, ValidRecordsCostNoWriteAtStartUp)
{
    sim::Board& b = boot_with(Image().copy(kCopy0, custom(90)).copy(kCopy1, custom(90)));
    EXPECT_EQ(b.eeprom.write_cycles(), 0u) << "start-up rewrote an EEPROM whose copies were both sound";
    expect_ram(custom(90), "two sound copies");
}

// ---------------------------------------------------------------- migration

EepromRecord two_point_layout(uint16_t magic)
{
    EepromRecord r = documented_defaults();  // two-point words 15, W-16, 150, 850, H-16, 15, 850, 150
    r.magic = magic;
    r.calMarker = 0xFF;  // neither the marker nor the five-point table yet
    std::memset(r.calX, 0xFF, 0xAC - 0x84);
    r.valid = 0xFF;
    r.externalSpeaker = 1;
    return r;
}

// What a two-point record migrates to: the centre at the midpoints, the
// corners at the old targets.
EepromRecord migrated_two_point(uint8_t externalSpeaker)
{
    EepromRecord r = documented_defaults();
    const uint16_t x[5] = {(15 + W - 16) / 2, 15, W - 16, W - 16, 15}, rx[5] = {500, 150, 850, 850, 150};
    const uint16_t y[5] = {(15 + H - 16) / 2, 15, 15, H - 16, H - 16}, ry[5] = {500, 150, 150, 850, 850};
    std::memcpy(r.calX, x, sizeof x);
    std::memcpy(r.calRawX, rx, sizeof rx);
    std::memcpy(r.calY, y, sizeof y);
    std::memcpy(r.calRawY, ry, sizeof ry);
    r.externalSpeaker = externalSpeaker;
    r.autoCal = 0;  // older layouts kept it as 0/1: 0xFF is out of range
    return r;
}

// A two-point record whose x targets are damaged: words far beyond any
// panel, whose sum does not fit 32 bits.
EepromRecord two_point_layout_damaged()
{
    EepromRecord r = two_point_layout(0x1256);
    r.oldCalLeftX = r.oldCalRightX = 0x46464646;
    return r;
}

// Each target keeps its word's low half, the centre too.
EepromRecord migrated_two_point_damaged()
{
    EepromRecord r = migrated_two_point(1);
    r.oldCalLeftX = r.oldCalRightX = 0x46464646;
    for (uint16_t& x : r.calX)
        x = 0x4646;
    return r;
}

// Layout 0x1259: twenty 32-bit calibration words from 0x84; the record
// holds eleven of them.
EepromRecord wide_layout()
{
    EepromRecord r = documented_defaults();
    r.magic = 0x1259;
    r.calMarker = 0xFF;
    uint8_t* b = reinterpret_cast<uint8_t*>(&r);
    for (uint32_t i = 0; i < 11; ++i) {
        uint32_t w = 0x00010000u * (i + 1) + 100 + i;  // the high half goes on narrowing
        std::memcpy(b + 0x84 + 4 * i, &w, 4);
    }
    return r;
}

EepromRecord migrated_wide()
{
    EepromRecord r = documented_defaults();
    uint16_t slots[20];
    std::memcpy(slots, r.calX, sizeof slots);  // defaults for the nine words the record lacks
    for (uint16_t i = 0; i < 11; ++i)
        slots[i] = static_cast<uint16_t>(100 + i);
    std::memcpy(r.calX, slots, sizeof slots);
    // The last stored word covered 0xAC-0xAF: the valid flag is set again,
    // the three bytes after it keep what the word left there.
    const EepromRecord old = wide_layout();
    std::memcpy(r.padAD, old.padAD, sizeof r.padAD);
    r.autoCal = 0;
    return r;
}

EepromRecord late_layout()
{
    EepromRecord r = custom(33);
    r.magic = 0x125A;
    r.baud0 = 9;  // outside the older layouts' 3-8
    r.baud1 = 2;
    r.LCDshiftclock = 5;
    r.autoCal = 0xA5;
    r.mainPort = 3;
    r.valid = 0;
    r.calMarker = 0;
    return r;
}

EepromRecord late_layout_checked()
{
    EepromRecord r = custom(33);
    r.autoCal = 0;
    return r;
}

EepromRecord current_with(uint8_t baud0, uint8_t mainPort, uint8_t valid)
{
    EepromRecord r = custom(44);
    r.baud0 = baud0;
    r.mainPort = mainPort;
    r.valid = valid;
    return r;
}

EepromRecord unknown_layout()
{
    EepromRecord r = custom(55);
    r.magic = 0x1261;
    return r;
}

struct MigrationCase {
    const char* name;
    EepromRecord stored;
    EepromRecord expected;
};

void PrintTo(const MigrationCase& c, std::ostream* os)
{
    *os << c.name;
}

class Migration : public testing::TestWithParam<MigrationCase> {};

TEST_P(Migration, OlderLayoutsBecomeTheCurrentOneInBothCopies)
{
    const MigrationCase& c = GetParam();
    sim::Board& b = boot_with(Image().copy(kCopy0, c.stored).copy(kCopy1, c.stored));
    expect_ram(c.expected, c.name);
    expect_copy(b, kCopy0, c.expected, c.name);
    expect_copy(b, kCopy1, c.expected, c.name);
}

INSTANTIATE_TEST_SUITE_P(
    ConfigRecord, Migration,
    testing::Values(
        MigrationCase{"layout_1256_two_point_defaults", two_point_layout(0x1256), migrated_two_point(1)},
        MigrationCase{"layout_1258", two_point_layout(0x1258), migrated_two_point(1)},
        MigrationCase{"layout_1255_without_marker_loses_external_speaker", two_point_layout(0x1255),
                      migrated_two_point(0)},
        MigrationCase{"layout_1256_with_damaged_targets", two_point_layout_damaged(), migrated_two_point_damaged()},
        MigrationCase{"layout_1259_narrows_wide_calibration", wide_layout(), migrated_wide()},
        MigrationCase{"layout_125A_keeps_calibration_fixes_ranges", late_layout(), late_layout_checked()},
        MigrationCase{"current_layout_checks_only_port_and_flags", current_with(9, 2, 0), current_with(9, 0, 1)},
        MigrationCase{"unknown_magic_gives_defaults", unknown_layout(), documented_defaults()}),
    [](const testing::TestParamInfo<MigrationCase>& i) { return std::string(i.param.name); });

TEST(ConfigRecord, MigratedTwoPointCalibrationMatchesTheWorkedExample)
{
    boot_with(Image().copy(kCopy0, two_point_layout(0x1256)).copy(kCopy1, two_point_layout(0x1256)));
    if (W != 800 || H != 480)
        GTEST_SKIP() << "the worked example is the 800 x 480 panel's";
    const uint16_t x[5] = {399, 15, 784, 784, 15}, y[5] = {239, 15, 15, 464, 464};
    const uint16_t rx[5] = {500, 150, 850, 850, 150}, ry[5] = {500, 150, 150, 850, 850};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(eepromData.calX[i], x[i]) << "point " << i << " logical x";
        EXPECT_EQ(eepromData.calY[i], y[i]) << "point " << i << " logical y";
        EXPECT_EQ(eepromData.calRawX[i], rx[i]) << "point " << i << " raw x";
        EXPECT_EQ(eepromData.calRawY[i], ry[i]) << "point " << i << " raw y";
    }
}

// ---------------------------------------------------------------- baud codes

struct BaudCase {
    uint8_t code;
    uint32_t rate;
};

void PrintTo(const BaudCase& c, std::ostream* os)
{
    *os << "code " << int(c.code) << ", " << c.rate << " bit/s";
}

class StoredBaud : public testing::TestWithParam<BaudCase> {};

TEST_P(StoredBaud, CommandPortStartsAtTheStoredRate)
{
    const BaudCase& c = GetParam();
    EepromRecord r = custom(1);
    r.baud0 = c.code;
    sim::Board& b = boot_with(Image().copy(kCopy0, r).copy(kCopy1, r));
    uint32_t actual = b.uart1.rate();
    EXPECT_NEAR(actual, c.rate, c.rate / 100.0) << "UART1 with baud code " << int(c.code);
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "vers\r", c.rate);
    std::string got = fwtest::until_prompt(b.uart1, from, 2 * sim::kSecond);
    EXPECT_NE(got.find("VELM5-PLUS"), std::string::npos)
        << "a host at " << c.rate << " bit/s got no version from a board set to code " << int(c.code) << ": "
        << visible(got);
    if (c.rate != 115200) {
        from = b.uart1.sent.size();
        fwtest::send(b.uart1, "vers\r", 115200);
        got = fwtest::until_prompt(b.uart1, from, 2 * sim::kSecond);
        EXPECT_EQ(got.find("VELM5-PLUS"), std::string::npos)
            << "the board answered a host at 115200 bit/s although it was set to " << c.rate;
    }
}

INSTANTIATE_TEST_SUITE_P(ConfigRecord, StoredBaud,
                         testing::Values(BaudCase{1, 1200}, BaudCase{2, 4800}, BaudCase{3, 9600}, BaudCase{6, 57600},
                                         BaudCase{9, 460800}, BaudCase{0, 115200}, BaudCase{0x42, 115200}),
                         [](const testing::TestParamInfo<BaudCase>& i) {
                             return "code" + std::to_string(i.param.code) + "_" + std::to_string(i.param.rate);
                         });

TEST(ConfigRecord, BaudCodesConvertBothWays)
{
    const struct {
        uint8_t code;
        uint32_t rate;
    } table[] = {{1, 1200}, {2, 4800}, {3, 9600}, {4, 19200}, {5, 38400}, {6, 57600}, {7, 115200}, {8, 230400},
                 {9, 460800}};
    for (auto t : table) {
        EXPECT_EQ(KM_EEPROM_eeVal2Rate(t.code), t.rate) << "code " << int(t.code);
        EXPECT_EQ(KM_EEPROM_Rate2eeVal(t.rate), t.code) << "rate " << t.rate;
    }
    for (uint8_t code : {0, 10, 0xFF})
        EXPECT_EQ(KM_EEPROM_eeVal2Rate(code), 115200u) << "unknown code " << int(code);
    for (uint32_t rate : {0u, 14400u, 115201u, 921600u})
        EXPECT_EQ(KM_EEPROM_Rate2eeVal(rate), 0xFF) << "rate " << rate << " has no code";
}

TEST(ConfigRecord, SavedBaudRatesGoToBothCopies)
{
    sim::Board& b = boot_with(Image());
    const struct {
        int port;
        long rate;
        int result;
        uint32_t off;
        uint8_t code;
        const char* message;
    } cases[] = {
        {0, 9600, 1, 0x80, 3, ""},
        {1, 460800, 1, 0x81, 9, ""},
        {0, 14400, 0, 0x80, 3, ":baud rate 14400 not supported, not saved\r"},
        {2, 9600, 0, 0x81, 9, ""},
        {-1, 1200, 0, 0x80, 3, ""},
    };
    for (const auto& c : cases) {
        size_t from = b.uart1.sent.size();
        int r = -1;
        fwtest::on_firmware([&] { r = KM_save_baudrate_eeprom(c.port, c.rate); });
        b.machine.run_for(20 * sim::kMillisecond);
        std::string what = "KM_save_baudrate_eeprom(" + std::to_string(c.port) + ", " + std::to_string(c.rate) + ")";
        EXPECT_EQ(r, c.result) << what;
        EXPECT_EQ(b.eeprom.data()[kCopy0 + c.off], c.code) << what << ": copy 0";
        EXPECT_EQ(b.eeprom.data()[kCopy1 + c.off], c.code) << what << ": copy 1";
        EXPECT_EQ(visible(b.uart1.sent_text(from)), visible(c.message)) << what;
    }
    EXPECT_EQ(b.eeprom.data()[kCopy0 + 0xFF], checksum(b.eeprom.data() + kCopy0));
    EXPECT_EQ(b.eeprom.data()[kCopy1 + 0xFF], checksum(b.eeprom.data() + kCopy1));
}

// ---------------------------------------------------------------- saving

TEST(ConfigRecord, SaveWritesOnlyTheChangedBytesAndTheirChecksums)
{
    sim::Board& b = boot_with(Image().copy(kCopy0, custom(5)).copy(kCopy1, custom(5)));
    const uint64_t before = b.eeprom.write_cycles();
    int ok = 0;
    fwtest::on_firmware([&] {
        eepromData.brite = 6;
        eepromData.unsummed[3] = 0x12;  // never stored
        ok = KM_EEPROM_Save();
    });
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(b.eeprom.write_cycles() - before, 4u) << "one changed byte and the checksum in each copy";
    EepromRecord want = custom(6);
    expect_copy(b, kCopy0, want, "after the save");
    expect_copy(b, kCopy1, want, "after the save");
    EXPECT_EQ(b.eeprom.data()[0x49], 0xFF) << "an unsummed byte was written";
    fwtest::on_firmware([&] { ok = KM_EEPROM_Save(); });
    EXPECT_EQ(b.eeprom.write_cycles() - before, 4u) << "a save with nothing changed wrote the EEPROM";
}

TEST(ConfigRecord, LoadOfADamagedCopyLeavesTheRecordAlone)
{
    sim::Board& b = boot_with(Image().copy(kCopy0, custom(8)).copy(kCopy1, custom(8)));
    b.eeprom.data()[kCopy0 + 0x32] = 99;  // brite changes behind the checksum
    int ok = -1;
    fwtest::on_firmware([&] { ok = KM_EEPROM_Load(kCopy0); });
    EXPECT_EQ(ok, 0) << "a copy whose checksum fails was reported as loaded";
    expect_ram(custom(8), "after loading a damaged copy");
    fwtest::on_firmware([&] { ok = KM_EEPROM_Load(kCopy1); });
    EXPECT_EQ(ok, 1);
}

// Worked examples: copy 0 holds the magic 0x1255 (0x55 + 0x12 = 0x67), fill
// in every other summed byte but the last, unsummed in bytes 0x46-0x51 and
// last in byte 0xAF; its checksum is worked out by hand.
TEST(ConfigRecord, LoadAcceptsTheChecksumOfTheSummedBytesOnly)
{
    struct Example {
        const char* what;
        uint8_t fill, unsummed, last;
        uint8_t sum;
    };
    const Example examples[] = {
        {"zeros", 0x00, 0x00, 0x00, 0x67},
        {"zeros beside unsummed 0xFF", 0x00, 0xFF, 0x00, 0x67},
        {"the last byte counts", 0x00, 0x80, 0x01, 0x68},
        {"0xFF bytes: 162 x 0xFF + 0x67", 0xFF, 0x00, 0xFF, 0xC5},
        {"0xFF bytes, last 0x01", 0xFF, 0xFF, 0x01, 0xC7},
    };
    sim::Board& b = boot_with(Image());
    uint8_t* copy = b.eeprom.data() + kCopy0;
    for (const Example& x : examples) {
        std::memset(copy, x.fill, kRecord);
        copy[0] = 0x55;
        copy[1] = 0x12;
        std::memset(copy + kUnsummed, x.unsummed, kUnsummedEnd - kUnsummed);
        copy[0xAF] = x.last;
        EXPECT_EQ(checksum(copy), x.sum) << x.what << ": the test's own checksum";
        for (int damage : {0, 1}) {
            copy[0xFF] = static_cast<uint8_t>(x.sum + damage);
            int ok = -1;
            fwtest::on_firmware([&] { ok = KM_EEPROM_Load(kCopy0); });
            EXPECT_EQ(ok, damage ? 0 : 1) << x.what << (damage ? ": a checksum one off was accepted"
                                                                 : ": the right checksum was refused");
        }
    }
}

TEST(ConfigRecord, AWornCellMakesTheSaveFail)
{
    sim::Board& b = boot_with(Image().copy(kCopy0, custom(5)).copy(kCopy1, custom(5)));
    b.eeprom.wear_out(kCopy0 + 0x32);
    int ok = -1;
    fwtest::on_firmware([&] {
        eepromData.brite = 7;
        ok = KM_EEPROM_Save();
    });
    EXPECT_EQ(ok, 0) << "a save whose byte did not stick was reported as done";
    EXPECT_EQ(b.eeprom.data()[kCopy0 + 0xFF], checksum(bytes(custom(5))))
        << "copy 0's checksum was sealed over a byte that did not stick";
    expect_copy(b, kCopy1, custom(7), "the other copy still saved");
}

TEST(ConfigRecord, ABoardWithoutEepromStillStartsWithTheDefaults)
{
    fwtest::BootOptions o;
    sim::Board& b = fwtest::boot(o);
    b.eeprom.present = false;
    std::string got = fwtest::until_prompt(b.uart1, 0, 10 * sim::kSecond);
    ASSERT_EQ(visible(got.substr(got.size() < 2 ? 0 : got.size() - 2)), ">\\r")
        << "start-up hung without an EEPROM: " << visible(got);
    EXPECT_LT(b.machine.now(), 3 * sim::kSecond) << "start-up without an EEPROM took too long";
    expect_ram(documented_defaults(), "no EEPROM");
    int ok = -1;
    const sim::Time t0 = b.machine.now();
    fwtest::on_firmware([&] { ok = KM_EEPROM_Save(); });
    EXPECT_EQ(ok, 0) << "saving into a missing EEPROM was reported as done";
    // Each copy is read whole (every byte a transfer nobody answers, about
    // 0.3 ms with its pauses) before its first byte fails to go in; waiting
    // for the write cycle of a chip that is not there would take seconds.
    EXPECT_LT(b.machine.now() - t0, 200 * sim::kMillisecond) << "a save into a missing EEPROM took long to give up";
}

// ---------------------------------------------------------------- restart

TEST(ConfigRecord, TheRecordSurvivesARestart)
{
    // The first power-up runs in a child process on the same EEPROM file.
    const std::string dir = fwtest::temp_dir();
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        fwtest::BootOptions o;
        o.keep_files = true;
        sim::Board& b = fwtest::boot_to_prompt(o);
        int ok = 0;
        fwtest::on_firmware([&] {
            eepromData.brite = 77;
            std::strcpy(eepromData.config, "kept");
            ok = KM_EEPROM_Save() && KM_save_baudrate_eeprom(0, 19200);
        });
        b.machine.run_for(20 * sim::kMillisecond);
        _exit(ok ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the first power-up did not save its settings";

    fwtest::BootOptions o;
    o.keep_files = true;
    sim::Board& b = fwtest::boot(o);
    std::string got = fwtest::until_prompt(b.uart1, 0, 10 * sim::kSecond);
    EXPECT_EQ(eepromData.brite, 77) << "brightness lost over the restart";
    EXPECT_STREQ(eepromData.config, "kept");
    EXPECT_EQ(eepromData.baud0, 4);
    EXPECT_NEAR(b.uart1.rate(), 19200, 192) << "the saved rate was not used at the restart";
    EXPECT_EQ(b.eeprom.write_cycles(), 0u) << "the second start-up rewrote the EEPROM";
}

// ---------------------------------------------------------------- power cuts

// A save that loses power after any byte it wrote: the next start-up holds
// the record from before the save, the one the save was writing, or the
// defaults, never a record made of parts of them.

struct PowerCutCase {
    const char* name;
    Image before;                    // the EEPROM at power-on
    std::vector<std::string> setup;  // commands before the save (not cut)
    std::string save;                // the command that saves; empty: start-up's own save
    std::vector<std::pair<const char*, EepromRecord>> next;  // what the next start-up may hold
};

void PrintTo(const PowerCutCase& c, std::ostream* os)
{
    *os << c.name;
}

// The EEPROM as a power cut leaves it: cuts[k] once the save had written k
// bytes, the last one once it was done.
using Cuts = std::vector<std::vector<uint8_t>>;

bool sent_prompt(const sim::Uart& uart, size_t from)
{
    const std::string s = uart.sent_text(from);
    return s.size() >= 2 && s.compare(s.size() - 2, 2, ">\r") == 0;
}

// The boards of one case start one after the other on the same files: the
// flash file, made once, is the same erased flash for every one of them.
fwtest::BootOptions kept_files()
{
    fwtest::BootOptions o;
    o.keep_files = true;
    return o;
}

// Runs the save on a board of its own (a child process), which takes a
// copy of the EEPROM each time a write cycle begins: then every byte
// before it is programmed and this one not yet.  The copies go to path.
void cut_during_save(const PowerCutCase& c, const std::string& path)
{
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sim::Board& b = fwtest::boot(kept_files());
        std::memcpy(b.eeprom.data(), c.before.b.data(), c.before.b.size());
        size_t from = 0;
        if (!c.save.empty()) {
            fwtest::until_prompt(b.uart1, 0, 10 * sim::kSecond);
            for (const std::string& line : c.setup)
                fwtest::command(b.uart1, line, 10 * sim::kSecond);
            from = b.uart1.sent.size();
            fwtest::send(b.uart1, c.save + "\r");
        }
        const uint64_t base = b.eeprom.write_cycles();
        const sim::Time deadline = b.machine.now() + 20 * sim::kSecond;
        Cuts cuts;
        size_t asked = SIZE_MAX;
        bool done = false;
        while (!done) {
            const uint64_t k = cuts.size();
            b.machine.run_until(
                [&] {
                    if (b.eeprom.write_cycles() > base + k)
                        return true;
                    if (b.uart1.sent.size() == asked)
                        return false;
                    asked = b.uart1.sent.size();
                    return done = sent_prompt(b.uart1, from);
                },
                deadline);
            if (!done && (b.eeprom.write_cycles() != base + k + 1 || !b.eeprom.busy())) {
                std::fprintf(stderr, "%s: the save went past byte %u unseen, or never ended: \"%s\"\n", c.name,
                             unsigned(k + 1), visible(b.uart1.sent_text(from)).c_str());
                _exit(1);
            }
            cuts.emplace_back(b.eeprom.data(), b.eeprom.data() + sim::Eeprom::kSize);
        }
        FILE* f = std::fopen(path.c_str(), "wb");
        for (const auto& image : cuts)
            std::fwrite(image.data(), 1, image.size(), f);
        _exit(f && std::fclose(f) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.name << ": the save did not run (see above)";
}

Cuts read_cuts(const std::string& path)
{
    Cuts cuts;
    FILE* f = std::fopen(path.c_str(), "rb");
    std::vector<uint8_t> image(sim::Eeprom::kSize);
    while (f && std::fread(image.data(), 1, image.size(), f) == image.size())
        cuts.push_back(image);
    if (f)
        std::fclose(f);
    return cuts;
}

// What a host sees of a record, for failure messages.
std::string host_view(const EepromRecord& r)
{
    std::string config;
    for (char ch : r.config)
        config += ch;
    char line[120];
    std::snprintf(line, sizeof line, "orient %u, brite %u, debounce 0x%X, config \"", r.orient, r.brite,
                  unsigned(r.debounce));
    return line + visible(config) + "\"";
}

// Starts a board (a child process) on the EEPROM image and tells which of
// the records in next start-up left in RAM: its index, or -1 with what RAM
// holds instead in what.
int next_start(const std::vector<uint8_t>& image, const PowerCutCase& c, std::string* what)
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("no pipe");
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("no fork");
    if (child == 0) {
        close(fds[0]);
        sim::Board& b = fwtest::boot(kept_files());
        std::memcpy(b.eeprom.data(), image.data(), image.size());
        std::string got = fwtest::until_prompt(b.uart1, 0, 10 * sim::kSecond);
        for (size_t i = 0; i < c.next.size(); ++i)
            if (differences(bytes(eepromData), bytes(after_startup(c.next[i].second))).empty())
                _exit(int(i));
        std::string diff = differences(bytes(eepromData), bytes(after_startup(c.next[0].second)));
        const size_t shown = 8 * std::strlen(" 0x00: 00/00");
        if (diff.size() > shown)
            diff = diff.substr(0, shown) + " ...";
        std::string say = host_view(eepromData) + "; differs from " + c.next[0].first + " (offset: RAM/expected)" + diff;
        if (!sent_prompt(b.uart1, 0))
            say = "no prompt after start-up: \"" + visible(got) + "\"";
        const ssize_t written = write(fds[1], say.data(), say.size());
        (void)written;
        _exit(100);
    }
    close(fds[1]);
    char buf[4096];
    ssize_t n;
    what->clear();
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        what->append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 100) {
        if (what->empty())
            *what = "the board stopped";
        return -1;
    }
    return WEXITSTATUS(status);
}

// The EEPROM address that byte k of a save wrote.
uint32_t written_by(const Cuts& cuts, size_t k)
{
    for (uint32_t a = 0; a < sim::Eeprom::kSize; ++a)
        if (cuts[k][a] != cuts[k - 1][a])
            return a;
    return ~0u;
}

class PowerCut : public testing::TestWithParam<PowerCutCase> {};

TEST_P(PowerCut, NextStartUpHoldsAWholeRecordWhereverTheSaveWasCut)
{
    const PowerCutCase& c = GetParam();
    const std::string path = fwtest::temp_dir() + "/cuts.bin";
    cut_during_save(c, path);
    const Cuts cuts = read_cuts(path);
    ASSERT_GE(cuts.size(), 3u) << c.name << ": the save wrote hardly anything";
    std::string wrong;
    size_t failed = 0;
    for (size_t k = 0; k < cuts.size(); ++k) {
        std::string what;
        if (next_start(cuts[k], c, &what) >= 0)
            continue;
        if (++failed > 6)
            continue;
        char at[80];
        if (k == 0)
            std::snprintf(at, sizeof at, "\ncut before the first byte: ");
        else
            std::snprintf(at, sizeof at, "\ncut after byte %zu of %zu (EEPROM 0x%03X): ", k, cuts.size() - 1,
                          written_by(cuts, k));
        wrong += at + what;
    }
    std::string allowed;
    for (const auto& r : c.next)
        allowed += std::string(allowed.empty() ? "" : " or ") + r.first;
    EXPECT_EQ(failed, 0u) << c.name << ": after " << failed << " of " << cuts.size()
                          << " cut points the next start-up held a record other than " << allowed
                          << " (the first ones):" << wrong;
}

EepromRecord with_config(EepromRecord r, const char* text)
{
    std::memset(r.config, 0, sizeof r.config);
    std::strncpy(r.config, text, sizeof r.config - 1);
    return r;
}

const char kNewText[] = "cut anywhere: 0123456789 ABCDEF";
const std::string kSaveText = std::string("*config \"") + kNewText + "\"";

INSTANTIATE_TEST_SUITE_P(
    ConfigRecord, PowerCut,
    testing::Values(
        // Start-up writes the defaults into both copies.
        PowerCutCase{"blank EEPROM", Image(), {}, "", {{"the defaults", documented_defaults()}}},
        PowerCutCase{"both copies cleared",
                     Image().copy(kCopy0, custom(70)).copy(kCopy1, custom(70)),
                     {"*eec 1", "*eec 2"},
                     kSaveText,
                     {{"the new text", with_config(custom(70), kNewText)}, {"the defaults", documented_defaults()}}},
        PowerCutCase{"both copies sound",
                     Image().copy(kCopy0, custom(71)).copy(kCopy1, custom(71)),
                     {},
                     kSaveText,
                     {{"the old text", custom(71)}, {"the new text", with_config(custom(71), kNewText)}}},
        // The first two bytes the save changes cancel in the 8-bit sum: cut
        // after them, copy 0 passes its old checksum.
        PowerCutCase{"changes that cancel in the checksum",
                     Image().copy(kCopy0, custom(74)).copy(kCopy1, custom(74)),
                     {},
                     "*config \"lnie 5\"",
                     {{"the old text", custom(74)}, {"the new text", with_config(custom(74), "lnie 5")}}},
        PowerCutCase{"copy 1 cleared",
                     Image().copy(kCopy0, custom(72)).copy(kCopy1, custom(72)),
                     {"*eec 2"},
                     kSaveText,
                     {{"the old text", custom(72)}, {"the new text", with_config(custom(72), kNewText)}}},
        PowerCutCase{"copy 0 cleared",
                     Image().copy(kCopy0, custom(73)).copy(kCopy1, custom(73)),
                     {"*eec 1"},
                     kSaveText,
                     {{"the old text", custom(73)}, {"the new text", with_config(custom(73), kNewText)}}},
        // Start-up brings an older layout up to date in both copies.
        PowerCutCase{"older layout upgraded",
                     Image().copy(kCopy0, two_point_layout(0x1256)).copy(kCopy1, two_point_layout(0x1256)),
                     {},
                     "",
                     {{"the upgraded record", migrated_two_point(1)}}}),
    [](const testing::TestParamInfo<PowerCutCase>& i) {
        std::string n = i.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

// ---------------------------------------------------------------- clearing

TEST(ConfigRecord, ClearBlanksItsAreaOnly)
{
    sim::Board& b = boot_with(Image().copy(kCopy0, custom(12)).copy(kCopy1, custom(12)));
    const struct {
        int area;
        int result;
        uint32_t first, count;  // blanked
    } cases[] = {
        {0, 1, 0x1000, 0xFF},  // the user bytes, 0x10FF excluded
        {1, 1, 0x000, 0x100},
        {2, 1, 0x100, 0x100},
        {3, 1, 0, 0},  // no such area: nothing cleared, as a success
        {-1, 1, 0, 0},
    };
    for (const auto& c : cases) {
        // A pattern over everything the cases touch, then the clear.
        uint8_t* ee = b.eeprom.data();
        for (uint32_t a = 0; a < 0x200; ++a)
            ee[a] = static_cast<uint8_t>(a * 7 + 1);
        for (uint32_t a = 0x1000; a < 0x1100; ++a)
            ee[a] = static_cast<uint8_t>(a * 3);
        std::vector<uint8_t> before(ee, ee + sim::Eeprom::kSize);
        int r = -1;
        fwtest::on_firmware([&] { r = KM_EEPROM_Clear(c.area); }, 20 * sim::kSecond);
        EXPECT_EQ(r, c.result) << "KM_EEPROM_Clear(" << c.area << ")";
        std::string wrong;
        for (uint32_t a = 0; a < sim::Eeprom::kSize; ++a) {
            bool blanked = a >= c.first && a < c.first + c.count;
            uint8_t want = blanked ? 0xFF : before[a];
            if (ee[a] != want && wrong.size() < 200)
                wrong += " 0x" + std::to_string(a);
        }
        EXPECT_EQ(wrong, "") << "KM_EEPROM_Clear(" << c.area << ") left these EEPROM bytes wrong (decimal)";
        expect_ram(custom(12), "after a clear");
    }
}

TEST(ConfigRecord, UserBytesSitAt0x1000)
{
    sim::Board& b = boot_with(Image());
    int ok0 = -1, ok15 = -1, ok16 = -1, rd = -2, bad = -2;
    fwtest::on_firmware([&] {
        ok0 = KM_EEPROM_WriteUserByte(0, 0x5A);
        ok15 = KM_EEPROM_WriteUserByte(15, 0xC3);
        ok16 = KM_EEPROM_WriteUserByte(16, 0x11);
        rd = KM_EEPROM_ReadUserByte(15);
        bad = KM_EEPROM_ReadUserByte(-1);
    });
    EXPECT_EQ(ok0, 1);
    EXPECT_EQ(ok15, 1);
    EXPECT_EQ(ok16, 0) << "user byte 16 does not exist";
    EXPECT_EQ(rd, 0xC3);
    EXPECT_EQ(bad, -1);
    EXPECT_EQ(b.eeprom.data()[0x1000], 0x5A);
    EXPECT_EQ(b.eeprom.data()[0x100F], 0xC3);
    EXPECT_EQ(b.eeprom.data()[0x1010], 0xFF) << "user byte 16 was written after all";
}

// ---------------------------------------------------------------- buses

TEST(SerialMemories, StartUpReadsTheSpiFlashIdentification)
{
    sim::Board& b = boot_with(Image());
    EXPECT_EQ(serialFlashSize, 0x800000u) << "capacity code 0x17 gives 8 MiB";
    EXPECT_EQ(serialFlashSectorSize, 0x20000u);
    uint32_t id = 0;
    fwtest::on_firmware([&] { id = ReadSerialFlashID(); });
    EXPECT_EQ(id, sim::SpiFlash::kJedecId);
    EXPECT_EQ(b.gpio.level(sim::Gpio::PORT_D, 28), 1) << "the SPI flash was left selected";
}

TEST(SerialMemories, SpiFlashProgramsAcrossPagesAndErasesSectors)
{
    sim::Board& b = boot_with(Image());
    b.spi_flash.sector_erase_time = 20 * sim::kMillisecond;
    b.spi_flash.chip_erase_time = 50 * sim::kMillisecond;
    std::vector<uint8_t> data(600);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 13 + 5);
    const uint32_t at = 0x10F0;  // starts 16 bytes before a page end
    std::vector<uint8_t> back(data.size(), 0);
    int wrote = 0, read = 0, erased = 0;
    fwtest::on_firmware([&] {
        wrote = WriteSerialFlash(at, data.data(), static_cast<uint32_t>(data.size()));
        read = ReadSerialFlash(at, back.data(), static_cast<uint32_t>(back.size()));
    });
    EXPECT_EQ(wrote, 1);
    EXPECT_EQ(read, 1);
    EXPECT_EQ(back, data) << "data read back differs from what was programmed across page boundaries";
    EXPECT_EQ(std::memcmp(b.spi_flash.data() + at, data.data(), data.size()), 0);
    fwtest::on_firmware([&] { erased = SectorEraseSerialFlash(at); });
    EXPECT_EQ(erased, 1);
    EXPECT_EQ(b.spi_flash.data()[at], 0xFF) << "the sector was not erased";
    fwtest::on_firmware([&] {
        WriteSerialFlash(0x20000, data.data(), 4);
        erased = EraseSerialFlash();
    });
    EXPECT_EQ(erased, 1);
    EXPECT_EQ(b.spi_flash.data()[0x20000], 0xFF) << "the chip erase left data";
    EXPECT_FALSE(b.spi_flash.busy());
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

TEST(SerialMemories, I2cReportsAMissingDeviceAndReadsTheTemperature)
{
    sim::Board& b = boot_with(Image(), sim::Straps::E);
    b.temp_sensor.set_celsius(-10.0);
    uint32_t none = 0, temp = 0;
    uint8_t buf[2] = {5, 0};
    fwtest::on_firmware([&] {
        uint8_t reg = 2;
        none = I2Cio(0x70, 1, 0, &reg);  // the capacitive controller is not fitted
        temp = I2Cio(0x3A, 1, 2, buf);
    });
    EXPECT_TRUE(none & I2C_NOT_ACKNOWLEDGED) << "an absent device at 0x70 was reported as acknowledging";
    EXPECT_FALSE(none & I2C_TIMED_OUT);
    EXPECT_FALSE(temp & I2C_TIMED_OUT);
    EXPECT_FALSE(temp & I2C_NOT_ACKNOWLEDGED) << "the no-acknowledge that ends a read was taken as the sensor's refusal";
    EXPECT_EQ((buf[0] << 8) | buf[1], 0x1F60) << "register 5 of the sensor at -10 degrees";
    EXPECT_FALSE(b.i2c.bus_busy()) << "a transfer left the bus busy";
}

}  // namespace
