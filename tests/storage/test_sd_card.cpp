// The SD card slot as the firmware uses it: cards made by mkfs.fat and
// mtools (FAT12 and FAT16, with and without a partition table), mounted at
// start-up and on hot-plug, files read and written through the firmware's
// file system, and the card checked afterwards by fsck.fat and mtools as a
// PC would see it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/bootio.h"
#include "storage/KM_extmem.h"
#include "storage/file_sys.h"
#include "storage/sdcard.h"
#include "support/host.h"
#include "support/shell.h"
#include "support/image_builder.h"

namespace {

// ---------------------------------------------------------------- fixtures

using fwtest::must;
using fwtest::Outcome;
using fwtest::run;

enum class Layout { Fat12, Fat16, Fat12Partitioned, Fat16Partitioned };

const char* layout_name(Layout l)
{
    switch (l) {
    case Layout::Fat12: return "FAT12 volume";
    case Layout::Fat16: return "FAT16 volume";
    case Layout::Fat12Partitioned: return "partitioned FAT12 card";
    default: return "partitioned FAT16 card";
    }
}

struct Card {
    std::string path;
    std::string mt;      // the mtools image argument (with the partition offset)
    uint32_t part = 0;   // first sector of the volume
    char type = 0;       // '2' or '6'
};

constexpr uint32_t kPartStart = 63;

// A card image made as a user makes one: mkfs.fat (sfdisk for the table).
Card make_card(Layout l, const std::string& name = "card.img")
{
    Card c;
    c.path = fwtest::temp_dir() + "/" + name;
    bool fat12 = l == Layout::Fat12 || l == Layout::Fat12Partitioned;
    bool parted = l == Layout::Fat12Partitioned || l == Layout::Fat16Partitioned;
    c.type = fat12 ? '2' : '6';
    uint32_t vol_kib = fat12 ? 2048 : 16384;
    std::remove(c.path.c_str());
    if (!parted) {
        must("mkfs.fat -C -F " + std::string(fat12 ? "12" : "16") + " -s " + (fat12 ? "4" : "2") + " -n VELMCARD " +
             c.path + " " + std::to_string(vol_kib) + " >/dev/null");
        c.mt = c.path;
    } else {
        uint32_t sectors = vol_kib * 2;
        must("truncate -s " + std::to_string((uint64_t)(kPartStart + sectors) * 512) + " " + c.path);
        must("echo 'start=" + std::to_string(kPartStart) + ", size=" + std::to_string(sectors) + ", type=" +
             (fat12 ? "1" : "6") + "' | sfdisk -q " + c.path);
        must("mkfs.fat -F " + std::string(fat12 ? "12" : "16") + " -s " + (fat12 ? "4" : "2") + " -n VELMCARD --offset " +
             std::to_string(kPartStart) + " " + c.path + " " + std::to_string(vol_kib) + " >/dev/null");
        c.part = kPartStart;
        c.mt = c.path + "@@" + std::to_string(kPartStart * 512);
    }
    return c;
}

void put_file(const Card& c, const std::string& dos_name, const std::string& content)
{
    std::string src = fwtest::temp_dir() + "/put.tmp";
    std::ofstream(src, std::ios::binary) << content;
    must("mcopy -o -i " + c.mt + " " + src + " '::" + dos_name + "'");
}

void make_dir(const Card& c, const std::string& dos_name)
{
    must("mmd -i " + c.mt + " ::" + dos_name);
}

// The file as a PC reads it; fails the test when mtools cannot find it.
std::string pc_reads(const Card& c, const std::string& dos_name)
{
    std::string dst = fwtest::temp_dir() + "/get.tmp";
    std::remove(dst.c_str());
    Outcome r = run("mcopy -n -i " + c.mt + " ::" + dos_name + " " + dst);
    EXPECT_EQ(r.status, 0) << "a PC cannot read " << dos_name << " from the card: " << r.out;
    std::ifstream in(dst, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string pc_lists(const Card& c, const std::string& dir = "")
{
    return run("mdir -b -i " + c.mt + " ::" + dir).out;
}

// fsck.fat -n over the volume (cut out of a partitioned card first).
Outcome pc_checks(const Card& c)
{
    std::string vol = c.path;
    if (c.part) {
        vol = fwtest::temp_dir() + "/volume.tmp";
        must("dd if=" + c.path + " of=" + vol + " bs=512 skip=" + std::to_string(c.part) + " status=none");
    }
    return run("fsck.fat -n " + vol);
}

std::string pattern(size_t n, unsigned seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = (char)('A' + (i * 7 + seed + i / 97) % 26);
    return s;
}

sim::Board& boot_with_card(const Card& c)
{
    fwtest::BootOptions o;
    o.sd = c.path;
    return fwtest::boot_to_prompt(o);
}

// Reads a whole file through the firmware (fopen, fgetc_ via fread,
// fclose); "<open failed N>" when fopen refuses.
std::string firmware_reads(const std::string& path)
{
    std::string got;
    fwtest::on_firmware([&] {
        fat::FatFile* f = fat::fopen(path.c_str(), fat::FF_READ);
        if (!f) {
            got = "<open failed " + std::to_string(fat::_FF_error) + ">";
            return;
        }
        char buf[100];
        int16_t n;
        while ((n = fat::fread(buf, 1, sizeof buf, f)) > 0)
            got.append(buf, (size_t)n);
        fat::fclose(f);
    }, 60 * sim::kSecond);
    return got;
}

// Writes a file through the firmware (fcreate, fwrite, fclose): 1 done.
int firmware_writes(const std::string& path, const std::string& content)
{
    int ok = 0;
    fwtest::on_firmware([&] {
        fat::FatFile* f = fat::fcreate(path.c_str(), fat::ATTR_ARCHIVE);
        if (!f)
            return;
        int good = 1;
        for (size_t i = 0; i < content.size(); i += 1000) {
            size_t n = std::min<size_t>(1000, content.size() - i);
            if (fat::fwrite(content.data() + i, 1, (int16_t)n, f) != (int16_t)n)
                good = 0;
        }
        ok = fat::fclose(f) == 0 && good;
    }, 120 * sim::kSecond);
    return ok;
}

// ---------------------------------------------------------------- mount

class EachLayout : public ::testing::TestWithParam<Layout> {};

INSTANTIATE_TEST_SUITE_P(Cards, EachLayout,
                         ::testing::Values(Layout::Fat12, Layout::Fat16, Layout::Fat12Partitioned,
                                           Layout::Fat16Partitioned),
                         [](const auto& info) {
                             std::string n = layout_name(info.param);
                             for (char& ch : n)
                                 if (!isalnum((unsigned char)ch))
                                     ch = '_';
                             return n;
                         });

TEST_P(EachLayout, MountsAtStartUpAndReadsFilesMadeByMcopy)
{
    Card c = make_card(GetParam());
    const std::string small = "Hello from the PC\r\n", big = pattern(9000, 3);
    put_file(c, "HELLO.TXT", small);
    put_file(c, "BIG.BIN", big);
    make_dir(c, "IMAGES");
    put_file(c, "IMAGES/LOGO.BMP", pattern(1500, 9));
    boot_with_card(c);

    EXPECT_EQ(SDhotplug, (uint32_t)SD_MOUNTED) << "a " << layout_name(GetParam()) << " in the slot at power-on is not mounted";
    EXPECT_EQ((char)fat::BPB_FATType, c.type) << "file system type of a " << layout_name(GetParam());
    EXPECT_EQ(fat::_FF_PartitionAddr, c.part) << "volume start of a " << layout_name(GetParam());
    EXPECT_STREQ(fat::BS_VolLab, "VELMCARD   ");
    EXPECT_EQ(firmware_reads("HELLO.TXT"), small) << "a small file made by mcopy reads differently";
    EXPECT_EQ(firmware_reads("hello.txt"), small) << "the lower-case name finds the same file";
    EXPECT_EQ(firmware_reads("BIG.BIN"), big) << "a file over several clusters reads differently";
    EXPECT_EQ(firmware_reads("\\IMAGES\\LOGO.BMP"), pattern(1500, 9)) << "a file in a subdirectory";
    EXPECT_EQ(firmware_reads("/images/logo.bmp"), pattern(1500, 9)) << "forward slashes and lower case";
    EXPECT_STREQ(fat::_FF_FullPath, "\\") << "a path through a directory changed the current directory";
}

TEST_P(EachLayout, WritesFilesThatAPcReadsAndFsckFindsClean)
{
    Card c = make_card(GetParam());
    put_file(c, "OLD.TXT", pattern(3000, 1));
    put_file(c, "KEEP.TXT", "keep me");
    boot_with_card(c);
    ASSERT_EQ(SDhotplug, (uint32_t)SD_MOUNTED);

    const std::string fresh = pattern(5000, 5);
    EXPECT_EQ(firmware_writes("NEW.TXT", fresh), 1) << "writing a new file failed";
    EXPECT_EQ(firmware_writes("OLD.TXT", "short now"), 1) << "rewriting an existing file failed";
    int appended = 0, lines = 0, made = 0, removed = 0;
    fwtest::on_firmware([&] {
        fat::FatFile* f = fat::fopen("KEEP.TXT", fat::FF_APPEND);
        appended = f && fat::fputs(" and more", f) == 0 && fat::fclose(f) == 0;
        made = fat::mkdir("LOGS") == 0;
        f = fat::fcreate("LOGS\\RUN.LOG", fat::ATTR_ARCHIVE);
        lines = f != nullptr;
        for (int i = 0; f && i < 200; ++i)
            lines &= fat::fprintf(f, "line %03d\r\n", i) > 0;
        lines &= f && fat::fclose(f) == 0;
        removed = fat::remove("NEW.TXT") == 0;
    }, 120 * sim::kSecond);
    EXPECT_TRUE(appended) << "append with mode 3 failed";
    EXPECT_TRUE(made) << "mkdir failed";
    EXPECT_TRUE(lines) << "writing a log file in a new directory failed";
    EXPECT_TRUE(removed) << "remove failed";
    EXPECT_EQ(firmware_writes("NEW.TXT", fresh), 1) << "writing a file again after removing it failed";

    EXPECT_EQ(pc_reads(c, "NEW.TXT"), fresh) << "a PC reads another file than the firmware wrote";
    EXPECT_EQ(pc_reads(c, "OLD.TXT"), "short now") << "a rewritten file keeps old bytes";
    EXPECT_EQ(pc_reads(c, "KEEP.TXT"), "keep me and more\r\n") << "append lost or doubled bytes";
    std::string log;
    for (int i = 0; i < 200; ++i) {
        char l[16];
        std::snprintf(l, sizeof l, "line %03d\r\n", i);
        log += l;
    }
    EXPECT_EQ(pc_reads(c, "LOGS/RUN.LOG"), log) << "the log in the new directory";
    Outcome fsck = pc_checks(c);
    EXPECT_EQ(fsck.status, 0) << "fsck.fat finds the " << layout_name(GetParam()) << " damaged after the firmware wrote it:\n"
                              << fsck.out;
    const auto& reports = sim::Machine::instance().reports();
    EXPECT_TRUE(reports.empty()) << "the SD controller model saw a wrong access: " << reports.front();
}

TEST(SdCard, AnEmptySlotIsNotMountedAndSettlesEmpty)
{
    sim::Board& b = fwtest::boot_to_prompt();
    b.machine.run_for(100 * sim::kMillisecond);
    EXPECT_FALSE(b.card_present);
    EXPECT_EQ(SDhotplug, (uint32_t)SD_EMPTY) << "an empty slot does not settle in the empty state";
    EXPECT_EQ(SDisInitialized(), 0);
    int r = 1;
    fwtest::on_firmware([&] { r = initialize_media(); });
    EXPECT_EQ(r, 0) << "a mount without a card succeeded";
    EXPECT_EQ(fat::fopen("ANY.TXT", fat::FF_READ), nullptr) << "a file opened without a card";
}

TEST(SdCard, HotPlugNeedsMoreThanFiftyMillisecondsEachWay)
{
    Card c = make_card(Layout::Fat16);
    put_file(c, "A.TXT", "card one");
    sim::Board& b = boot_with_card(c);
    ASSERT_EQ(SDhotplug, (uint32_t)SD_MOUNTED);

    struct Step {
        bool present;
        int ms;
        uint32_t state;
        const char* why;
    } steps[] = {
        {false, 40, SD_MOUNTED, "a card out of the slot for 40 ms counts as removed"},
        {true, 20, SD_MOUNTED, "the card back in: still mounted"},
        {false, 60, SD_EMPTY, "a card pulled for 60 ms is not powered down"},
        {true, 40, SD_EMPTY, "a card in for 40 ms is seen"},
        {false, 20, SD_EMPTY, "the slot empty again"},
        {true, 80, SD_MOUNTED, "a card in for 80 ms is not mounted"},
    };
    for (const Step& s : steps) {
        b.card_present = s.present;
        b.machine.run_for(s.ms * sim::kMillisecond);
        EXPECT_EQ(SDhotplug, s.state) << s.why;
    }
    EXPECT_EQ(firmware_reads("A.TXT"), "card one") << "the re-inserted card does not read";
    // Removed: the card's supply goes off and file access is refused.
    b.card_present = false;
    b.machine.run_for(60 * sim::kMillisecond);
    EXPECT_EQ(SDisInitialized(), 0);
    EXPECT_EQ(b.gpio.level(sim::Gpio::PORT_F, 1), 1) << "the supply stays on without a card";
    EXPECT_EQ(b.gpio.level(sim::Gpio::PORT_F, 3), 1) << "the supply stays on without a card";
    EXPECT_FALSE(b.sdhc.card.powered());
}

// A card taken out and put back within the debounce time is no longer
// identified: the driver must fail fast rather than wait for it, and the
// card is mounted again at the next main-loop pass.
TEST(SdCard, ACardSwappedWithinTheDebounceFailsFastAndIsMountedAgain)
{
    Card c = make_card(Layout::Fat16);
    put_file(c, "KEEP.TXT", "keep");
    sim::Board& b = boot_with_card(c);
    b.card_present = false;
    b.machine.run_for(10 * sim::kMillisecond);
    b.card_present = true;
    b.machine.run_for(10 * sim::kMillisecond);
    ASSERT_EQ(SDhotplug, (uint32_t)SD_MOUNTED);
    sim::Time t0 = b.machine.now();
    EXPECT_EQ(firmware_reads("KEEP.TXT").substr(0, 13), "<open failed ") << "a card that lost its state was read";
    EXPECT_LT(b.machine.now() - t0, 50 * sim::kMillisecond) << "the driver held the main loop for a silent card";
    b.machine.run_for(20 * sim::kMillisecond);
    EXPECT_EQ(SDhotplug, (uint32_t)SD_MOUNTED) << "the swapped card was not mounted again";
    EXPECT_EQ(firmware_reads("KEEP.TXT"), "keep") << "the swapped card does not read after its new mount";
}

TEST(SdCard, ACardThatFailsToMountStaysFailedUntilRemoved)
{
    // An unformatted card: identification works, the mount does not.
    std::string path = fwtest::temp_dir() + "/blank.img";
    must("truncate -s 4M " + path);
    fwtest::BootOptions o;
    o.sd = path;
    sim::Board& b = fwtest::boot_to_prompt(o);
    b.machine.run_for(200 * sim::kMillisecond);
    EXPECT_EQ(SDhotplug, (uint32_t)SD_MOUNT_FAILED) << "a blank card is not left in the failed state";
    EXPECT_NE(RCA, 0u) << "the blank card was not identified";
    b.card_present = false;
    b.machine.run_for(60 * sim::kMillisecond);
    EXPECT_EQ(SDhotplug, (uint32_t)SD_EMPTY) << "removing a failed card does not empty the slot";
}

// ---------------------------------------------------------------- driver

TEST(SdCard, CardFilesLightTheSdLedWhileOpen)
{
    Card c = make_card(Layout::Fat16);
    put_file(c, "A.TXT", "x");
    sim::Board& b = boot_with_card(c);
    bool lit_open = false, lit_missing = true;
    fat::FatFile* f = nullptr;
    fwtest::on_firmware([&] { f = SD_fopen("A.TXT", fat::FF_READ); });
    lit_open = b.sd_led();
    fwtest::on_firmware([&] { SD_fclose(f); });
    EXPECT_TRUE(lit_open) << "the SD LED is dark while a card file is open";
    EXPECT_FALSE(b.sd_led()) << "the SD LED stays lit after the file was closed";
    fwtest::on_firmware([&] { f = SD_fopen("MISSING.TXT", fat::FF_READ); });
    lit_missing = b.sd_led();
    EXPECT_EQ(f, nullptr);
    EXPECT_FALSE(lit_missing) << "a failed open lit the SD LED";
}

TEST(SdCard, ACardPulledBeforeTheDebounceFailsWritesWithoutHanging)
{
    Card c = make_card(Layout::Fat16);
    put_file(c, "KEEP.TXT", "keep");
    sim::Board& b = boot_with_card(c);
    ASSERT_EQ(SDhotplug, (uint32_t)SD_MOUNTED);
    b.card_present = false;
    b.machine.run_for(3 * sim::kMillisecond);
    ASSERT_EQ(SDhotplug, (uint32_t)SD_MOUNTED) << "the test wants the card gone before the debounce ends";
    sim::Time t0 = b.machine.now();
    EXPECT_EQ(firmware_writes("NEW.TXT", pattern(2000, 1)), 0) << "a write to a pulled card reported success";
    EXPECT_LT(b.machine.now() - t0, 100 * sim::kMillisecond) << "the driver waited long for a card that left";
    b.machine.run_for(60 * sim::kMillisecond);
    EXPECT_EQ(SDhotplug, (uint32_t)SD_EMPTY) << "the pulled card was not powered down";
    b.card_present = true;
    b.machine.run_for(200 * sim::kMillisecond);
    EXPECT_EQ(SDhotplug, (uint32_t)SD_MOUNTED) << "the card put back is not mounted again";
    EXPECT_EQ(firmware_reads("KEEP.TXT"), "keep");
    EXPECT_EQ(pc_checks(c).status, 0) << pc_checks(c).out;
}

TEST(SdCard, ACardThatNeverFinishesProgrammingFailsTheWriteWithoutHanging)
{
    Card c = make_card(Layout::Fat16);
    sim::Board& b = boot_with_card(c);
    b.sdhc.card.write_busy = 3600 * sim::kSecond;
    std::vector<uint8_t> block(512, 0x5A);
    int ok = -1;
    const sim::Time t0 = b.machine.now();
    fwtest::on_firmware([&] { ok = SDCardWriteBlock(100 * 512, block.data()); }, 60 * sim::kSecond);
    EXPECT_EQ(ok, 0) << "a block the card never finished was reported written";
    EXPECT_LT(b.machine.now() - t0, 2 * sim::kSecond) << "the driver waited long for a card stuck programming";
}

TEST(SdCard, ReadsTheBlockThatHoldsAByteAddress)
{
    Card c = make_card(Layout::Fat16);
    boot_with_card(c);
    std::vector<uint8_t> want(512);
    std::ifstream in(c.path, std::ios::binary);
    in.seekg(512);
    in.read((char*)want.data(), 512);
    std::vector<uint8_t> got(512, 0xAA);
    int ok = 0;
    fwtest::on_firmware([&] { ok = SDCardReadBlock(1000, got.data()); });
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(got, want) << "a read at byte address 1000 does not return the block at 512";
    char cid[128];
    SDCardGetCIDString(cid);
    EXPECT_STREQ(cid, "MID=75\rOID=4B53h\rPNM=VCARD\rPSN=12648430\rMDT=26/12\r") << "card identification text";
    EXPECT_EQ((uint64_t)(CSD.c_size + 1) << (CSD.c_size_mult + 2 + CSD.read_bl_len), 16384ull * 1024)
        << "the CSD does not state the card's size";
}

// A card image of a size no card states exactly, with the volume mkfs.fat
// spreads over the whole file: the card serves every block of the file, so
// a screen dump that ends in the volume's last clusters reaches the card,
// reads back on a PC and through the firmware, and the file keeps its size.
// A screen dump onto a card with just the room it needs at the volume's
// end: it takes that room, a PC reads it whole and finds the volume clean.
void dump_fills_the_card(const Card& c)
{
    EXPECT_EQ(fwtest::visible(fwtest::command("*getScreenAsBMPFile", 60 * sim::kSecond)),
              fwtest::visible(":writing SD File VELM0000.BMP\r>\r"));
    EXPECT_EQ(fwtest::free_on_card(c.mt), 0u) << "the dump did not take the volume's last clusters";
    const std::string dump = pc_reads(c, "VELM0000.BMP");
    EXPECT_EQ(dump.size(), 768054u);
    EXPECT_EQ(dump.substr(0, 2), "BM");
    Outcome fsck = pc_checks(c);
    EXPECT_EQ(fsck.status, 0) << fsck.out;
}

TEST(SdCard, AnImageOfASizeNoCardStatesIsServedWhole)
{
    const uint64_t size = 100000000;  // the CSD can state 99,975,168 or 100,007,936
    Card c;
    c.path = c.mt = fwtest::temp_dir() + "/odd.img";
    must("truncate -s " + std::to_string(size) + " " + c.path);
    must("mkfs.fat -F 16 -s 4 -n VELMCARD " + c.path + " >/dev/null");
    // Free are only the volume's last 376 clusters of 2 KiB, what a dump of
    // 768,054 bytes takes.
    const std::string filler = fwtest::temp_dir() + "/filler.bin";
    std::ofstream(filler, std::ios::binary) << std::string(fwtest::free_on_card(c.mt) - 376 * 2048, 'f');
    must("mcopy -i " + c.mt + " " + filler + " ::FILLER.BIN");
    sim::Board& b = boot_with_card(c);
    EXPECT_GE(b.sdhc.card.capacity(), size) << "the card states less than its image holds";
    dump_fills_the_card(c);
    EXPECT_EQ(fwtest::visible(fwtest::command("xif VELM0000.BMP 0 0", 30 * sim::kSecond)), ">\\r")
        << "the firmware cannot read back the end of the dump";
    struct stat st;
    ASSERT_EQ(stat(c.path.c_str(), &st), 0);
    EXPECT_EQ((uint64_t)st.st_size, size) << "the card image changed its size";
}

// The largest standard-capacity card, full but for its last clusters: a
// picture there is drawn and a dump takes what is left.
TEST(SdCard, ATwoGiBCardWorksToItsEnd)
{
    Card c;
    c.path = c.mt = fwtest::temp_dir() + "/large.img";
    must("truncate -s 2G " + c.path);
    must("mkfs.fat -F 16 -n VELMCARD " + c.path + " >/dev/null");
    const std::string pic = fwtest::temp_dir() + "/pic.bmp";
    must("convert -size 64x48 xc:'#FF0000' BMP3:" + pic);
    // The volume's 64 KiB clusters: the picture takes 1, the dump 12.
    const std::string filler = fwtest::temp_dir() + "/filler.bin";
    must("truncate -s " + std::to_string(fwtest::free_on_card(c.mt) - 13 * 65536) + " " + filler);
    must("mcopy -i " + c.mt + " " + filler + " ::FILLER.BIN");
    std::remove(filler.c_str());
    must("mcopy -i " + c.mt + " " + pic + " ::PIC.BMP");
    sim::Board& b = boot_with_card(c);
    EXPECT_EQ(fwtest::visible(fwtest::command("xif PIC.BMP 0 0", 30 * sim::kSecond)), ">\\r");
    EXPECT_EQ(fwtest::fb(b, 10, 10), 0xF800) << "the picture in the card's last clusters was not drawn";
    dump_fills_the_card(c);
    std::remove(c.path.c_str());
}

TEST(SdCard, AWriteToTheBootSectorIsRefused)
{
    Card c = make_card(Layout::Fat16);
    boot_with_card(c);
    std::vector<uint8_t> zeros(512, 0);
    int r = 0;
    fwtest::on_firmware([&] { r = fat::_FF_write(0, zeros.data()); });
    EXPECT_EQ(r, -1) << "the boot sector was written";
    EXPECT_EQ(pc_checks(c).status, 0) << "the volume is damaged";
}

// ---------------------------------------------------------------- errors

TEST(FileSystem, ReportsItsErrorCodes)
{
    Card c = make_card(Layout::Fat16);
    put_file(c, "DATA.TXT", "abc");
    put_file(c, "EMPTY.TXT", "");
    put_file(c, "LOCKED.TXT", "locked");
    must("mattrib -i " + c.mt + " +r ::LOCKED.TXT");
    make_dir(c, "SUB");
    boot_with_card(c);
    ASSERT_EQ(SDhotplug, (uint32_t)SD_MOUNTED);

    struct Case {
        const char* what;
        std::function<int()> op;  // the operation's result
        int result;
        int error;
    };
    using namespace fat;
    std::vector<Case> cases = {
        {"opening an empty file for reading", [] { return fopen("EMPTY.TXT", FF_READ) ? 1 : 0; }, 0, FF_ERR_OPEN},
        {"opening a read-only file for writing", [] { return fopen("LOCKED.TXT", FF_WRITE) ? 1 : 0; }, 0, FF_ERR_OPEN},
        {"creating a file with '*' in its name", [] { return fcreate("A*B.TXT", ATTR_ARCHIVE) ? 1 : 0; }, 0, FF_ERR_NAME},
        {"creating a file in a missing directory", [] { return fcreate("NODIR\\X.TXT", ATTR_ARCHIVE) ? 1 : 0; }, 0,
         FF_ERR_PATH},
        {"creating over a read-only file", [] { return fcreate("LOCKED.TXT", ATTR_ARCHIVE) ? 1 : 0; }, 0,
         FF_ERR_READ_ONLY},
        {"removing a missing file", [] { return fat::remove("NOPE.TXT"); }, -1, FF_ERR_NOT_FOUND},
        {"removing through a missing directory", [] { return fat::remove("NODIR\\NOPE.TXT"); }, -1, FF_ERR_PATH},
        {"seeking without a handle", [] { return (int)fseek(nullptr, 0, 2); }, -1, FF_ERR_NO_HANDLE},
        {"renaming onto a taken name", [] { return fat::rename("DATA.TXT", "LOCKED.TXT"); }, -1, FF_ERR_NAME_TAKEN},
        {"a second open while one file is open",
         [] {
             FatFile* a = fopen("DATA.TXT", FF_READ);
             FatFile* b = fopen("LOCKED.TXT", FF_READ);
             int still = a && fgetc_(a) == 'a';
             fclose(a);
             return b ? 2 : still;
         },
         1, FF_ERR_IN_USE},
        {"seeking past the end of a 3-byte file",
         [] {
             FatFile* f = fopen("DATA.TXT", FF_READ);
             int r = fseek(f, 5, 1);
             fclose(f);
             return r;
         },
         -1, FF_ERR_SEEK},
        {"writing to a file opened for reading",
         [] {
             FatFile* f = fopen("DATA.TXT", FF_READ);
             int r = fputc_('x', f);
             fclose(f);
             return r;
         },
         -1, FF_ERR_READ_ONLY},
    };
    for (const Case& k : cases) {
        int result = 99;
        fwtest::on_firmware([&] {
            _FF_error = -1;
            result = k.op();
        });
        EXPECT_EQ(result, k.result) << k.what << ": wrong result";
        EXPECT_EQ(_FF_error, k.error) << k.what << ": wrong code in _FF_error";
    }
    int mode = 0, len = 0, end = 0;
    fwtest::on_firmware([&] {
        FatFile* f = fopen("EMPTY.TXT", FF_APPEND);
        mode = f ? f->mode : 0;
        fputs("xy", f);
        len = f ? (int)f->length : 0;
        fclose(f);
        f = fopen("DATA.TXT", FF_READ);
        end = fseek(f, 0, 1) == 0 && fgetc_(f) == -1 && f->EOF_ERR == 9;
        fclose(f);
    });
    EXPECT_EQ(mode, FF_WRITE) << "an empty file opened for append is not in write mode";
    EXPECT_EQ(len, 4) << "fputs of two characters must add four bytes";
    EXPECT_TRUE(end) << "fseek(h, 0, 1) does not go to the end";
    EXPECT_EQ(pc_reads(c, "EMPTY.TXT"), "xy\r\n");
    EXPECT_EQ(pc_checks(c).status, 0) << pc_checks(c).out;
}

TEST(FileSystem, ConvertsNamesToTheDirectoryForm)
{
    struct Case {
        const char* name;
        int result;
        const char* form;
    } cases[] = {
        {"readme", 0, "README     "},
        {"x.y.z", 0, "X       YZ "},
        {"splash.bmp", 0, "SPLASH  BMP"},
        {"a b!.t", 0, "A B!    T  "},
        {"bad*.txt", -1, nullptr},
        {"semi;.txt", -1, nullptr},
    };
    for (const Case& k : cases) {
        char out[12];
        fat::_FF_error = 0;
        int r = fat::file_name_conversion(k.name, out);
        EXPECT_EQ(r, k.result) << "converting \"" << k.name << "\"";
        if (k.form)
            EXPECT_STREQ(out, k.form) << "directory form of \"" << k.name << "\"";
        else
            EXPECT_EQ(fat::_FF_error, fat::FF_ERR_NAME) << "a bad name \"" << k.name << "\" sets no code 4";
    }
    char text[13];
    const uint8_t entry[32] = {'R', 'E', 'A', 'D', 'M', 'E', ' ', ' ', ' ', ' ', ' '};
    fat::NameFromDirEntry(text, entry);
    EXPECT_STREQ(text, "README.") << "a name without extension keeps its dot";
}

TEST(FileSystem, ListsChangesAndRemovesLikeAPc)
{
    Card c = make_card(Layout::Fat12);
    put_file(c, "Long File Name.txt", "long");  // a long name as Windows writes it
    put_file(c, "SHORT.TXT", "short");
    make_dir(c, "DOCS");
    put_file(c, "DOCS/INNER.TXT", "inner");
    boot_with_card(c);
    ASSERT_EQ(SDhotplug, (uint32_t)SD_MOUNTED);

    std::vector<std::string> names;
    std::string path_in, path_out;
    int removed = 0, renamed = 0;
    fwtest::on_firmware([&] {
        uint8_t e[32];
        for (int16_t r = fat::read_directory_entry(e, 0); r == 1; r = fat::read_directory_entry(e, 1)) {
            char t[13];
            fat::NameFromDirEntry(t, e);
            names.push_back(t);
        }
        fat::chdir("docs");
        path_in = fat::_FF_FullPath;
        fat::chdir("..");
        path_out = fat::_FF_FullPath;
        removed = fat::remove("LONGFI~1.TXT") == 0;
        renamed = fat::rename("SHORT.TXT", "RENAMED.TXT") == 0;
    });
    std::string all;
    for (auto& n : names)
        all += n + " ";
    EXPECT_NE(all.find("SHORT.TXT"), std::string::npos) << "listing: " << all;
    EXPECT_NE(all.find("DOCS."), std::string::npos) << "listing: " << all;
    EXPECT_NE(all.find("LONGFI~1.TXT"), std::string::npos) << "listing: " << all;
    EXPECT_EQ(path_in, "\\DOCS\\");
    EXPECT_EQ(path_out, "\\");
    EXPECT_TRUE(removed) << "removing a file with a long name failed";
    EXPECT_TRUE(renamed) << "rename failed";
    std::string listing = pc_lists(c);
    EXPECT_EQ(listing.find("Long File Name"), std::string::npos) << "the removed file is still listed:\n" << listing;
    EXPECT_NE(listing.find("RENAMED.TXT"), std::string::npos) << listing;
    EXPECT_EQ(pc_reads(c, "RENAMED.TXT"), "short");
    Outcome fsck = pc_checks(c);
    EXPECT_EQ(fsck.status, 0) << "fsck.fat after remove and rename:\n" << fsck.out;
}

}  // namespace

// ---------------------------------------------------------------- image file on the card


namespace {

struct CardImageCase {
    const char* what;
    bool flash2_ini;
    uint16_t validity;      // 0: no velm*.bin on the card
    uint32_t live;          // ExtMemBuffer after start-up (0: none)
    const char* message;    // expected in the start-up output
};

TEST(CardImage, StartUpLoadsTheCardFileIntoRamOrFlash2)
{
    const CardImageCase cases[] = {
        {"a velm*.bin on the card", false, 0xFEEC, 0xC0400000u, ":loading 1KB bitmap/macro file from SD card\r"},
        {"a velm*.bin with flash2.ini", true, 0xFEEC, 0xC8400000u, ":Programming Flash2\r"},
        {"a file made for the VELM5", false, 0xFEEB, 0,
         ":SD card .BIN file created for VELM5; select VELM5 PLUS in Dravik\r"},
        {"flash2.ini alone", true, 0, 0, ":No bin file in Flash or SD card (1)\r"},
    };
    int n = 0;
    for (const CardImageCase& k : cases) {
        Card c = make_card(Layout::Fat16, "image" + std::to_string(n++) + ".img");
        {
            if (k.validity) {
                fwtest::TestBitmap bm;
                bm.width = 8;
                bm.height = 4;
                bm.pixels = fwtest::test_pattern(8, 4, 7);
                std::vector<uint8_t> img = fwtest::build_image({bm});
                img[0] = (uint8_t)k.validity;
                img[1] = (uint8_t)(k.validity >> 8);
                put_file(c, "velmtest.bin", std::string(img.begin(), img.end()));
            }
            if (k.flash2_ini)
                put_file(c, "FLASH2.INI", "copy");
        }
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            fwtest::BootOptions o;
            o.sd = c.path;
            sim::Board& b = fwtest::boot(o);
            std::string out = fwtest::until_prompt(b.uart1, 0, 30 * sim::kSecond);
            bool ok = out.find(k.message) != std::string::npos && ExtMemBase() == k.live;
            if (!ok)
                std::fprintf(stderr, "%s: live image at 0x%08X, start-up said \"%s\"\n", k.what,
                             (unsigned)ExtMemBase(), fwtest::visible(out).c_str());
            _exit(ok ? 0 : 1);
        }
        int st = 0;
        waitpid(pid, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << k.what << ": the start-up load went wrong (see above)";
    }
}

// A board stopped while it copies the card file into Flash2 (power lost at
// some point of the erase or of the programming) starts next time, on the
// same flash, without taking what the copy left for an image.  A copy left
// to finish is taken.
struct InterruptedCopy {
    const char* what;
    bool by_command;  // "*LOADF" rather than flash2.ini at start-up
    int stop;         // -1 after the first sector's erase; n > 0: n words left unprogrammed; 0 never
};

TEST(CardImage, AnInterruptedCopyToFlash2IsRefusedAtTheNextStartUp)
{
    const InterruptedCopy cases[] = {
        {"flash2.ini, stopped after the first erase", false, -1},
        {"flash2.ini, stopped half way through programming", false, 25000},
        {"flash2.ini, stopped before the last word", false, 1},
        {"*LOADF, stopped half way through programming", true, 25000},
        {"*LOADF, stopped before the last word", true, 1},
        {"flash2.ini, copy finished", false, 0},
    };
    fwtest::TestBitmap bm;
    bm.width = 250;
    bm.height = 200;
    bm.pixels = fwtest::test_pattern(250, 200, 5);
    const std::vector<uint8_t> img = fwtest::build_image({bm});
    const uint64_t words = img.size() / 2;
    const std::string loaded = ":loading " + std::to_string(img.size() / 1024) + "KB bitmap/macro file from flash2\r";
    const std::string flash = fwtest::temp_dir() + "/flash.bin";
    int n = 0;
    for (const InterruptedCopy& k : cases) {
        Card c = make_card(Layout::Fat16, "copy" + std::to_string(n++) + ".img");
        put_file(c, "velmcopy.bin", std::string(img.begin(), img.end()));
        if (!k.by_command)
            put_file(c, "FLASH2.INI", "copy");
        std::remove(flash.c_str());
        std::fflush(stdout);
        std::fflush(stderr);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            fwtest::BootOptions o;
            o.sd = c.path;
            o.keep_files = true;
            sim::Board& b = fwtest::boot(o);
            if (k.by_command) {
                fwtest::until_prompt(b.uart1, 0, 30 * sim::kSecond);
                fwtest::send(b.uart1, "*LOADF\r");
            }
            const auto stopped = [&] {
                if (k.stop < 0)
                    return b.nor.sectors_erased() >= 1;
                return k.stop > 0 && b.nor.words_programmed() >= words - (uint64_t)k.stop;
            };
            bool ok = b.machine.run_until(stopped, b.machine.now() + 60 * sim::kSecond) == (k.stop != 0);
            if (!ok)
                std::fprintf(stderr, "%s: the copy did not come to the point where the board stops: \"%s\"\n", k.what,
                             fwtest::visible(b.uart1.sent_text()).c_str());
            _exit(ok ? 0 : 1);  // power off
        }
        int st = 0;
        waitpid(pid, &st, 0);
        ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << k.what << " (see above)";

        // The next start-up on that flash, without the card.
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            fwtest::BootOptions o;
            o.keep_files = true;
            sim::Board& b = fwtest::boot(o);
            const std::string out = fwtest::until_prompt(b.uart1, 0, 30 * sim::kSecond);
            const std::string want = k.stop ? ":No .BIN file in flash or on SD card\r" : loaded;
            bool ok = out.find(want) != std::string::npos;
            if (!ok)
                std::fprintf(stderr, "%s: the next start-up said \"%s\", not \"%s\"\n", k.what,
                             fwtest::visible(out).c_str(), fwtest::visible(want).c_str());
            const std::string xi = fwtest::command("xi 1 0 0");
            if ((xi == ">\r") != (k.stop == 0)) {
                std::fprintf(stderr, "%s: \"xi 1 0 0\" answered \"%s\"\n", k.what, fwtest::visible(xi).c_str());
                ok = false;
            }
            _exit(ok ? 0 : 1);
        }
        waitpid(pid, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << k.what << ": Flash2 after the copy (see above)";
    }
}

// Ends the file's cluster chain after its first cluster, in the first FAT
// only (as a card pulled in the middle of writing the file leaves it).
void cut_chain_after_first_cluster(const Card& c, const std::string& dos_name)
{
    Outcome shown = run("mshowfat -i " + c.mt + " ::" + dos_name);
    const size_t lt = shown.out.find('<');
    ASSERT_NE(lt, std::string::npos) << "mshowfat: " << shown.out;
    const uint32_t first = (uint32_t)std::stoul(shown.out.substr(lt + 1));
    std::fstream card(c.path, std::ios::in | std::ios::out | std::ios::binary);
    uint8_t bpb[512];
    card.seekg((std::streamoff)c.part * 512);
    card.read((char*)bpb, sizeof bpb);
    const uint32_t reserved = bpb[0x0E] | bpb[0x0F] << 8;
    card.seekp((std::streamoff)(c.part + reserved) * 512 + 2 * first);
    card.write("\xFF\xFF", 2);
    ASSERT_TRUE(card.good());
}

// A card file that cannot be read whole is reported with the file system's
// code for a chain that ends before the file does, at start-up and on
// "*LOAD" alike.
TEST(CardImage, AFileWhoseChainIsCutIsReportedWithItsErrorCode)
{
    Card c = make_card(Layout::Fat16);
    fwtest::TestBitmap bm;
    bm.width = 64;
    bm.height = 40;
    bm.pixels = fwtest::test_pattern(64, 40, 3);
    const std::vector<uint8_t> img = fwtest::build_image({bm});
    put_file(c, "velmcut.bin", std::string(img.begin(), img.end()));
    cut_chain_after_first_cluster(c, "VELMCUT.BIN");
    const std::string kb = std::to_string(img.size() / 1024);
    sim::Board& b = boot_with_card(c);
    EXPECT_NE(b.uart1.sent_text().find(":loading " + kb + "KB bitmap/macro file from SD card\r:SD card error 32\r"),
              std::string::npos)
        << "start-up said: " << fwtest::visible(b.uart1.sent_text());
    EXPECT_EQ(fwtest::visible(fwtest::command("*LOAD", 10 * sim::kSecond)),
              fwtest::visible(":loading " + kb + "KB bitmap/macro file from SD card\r:SD card error 32\r!\r"));
}

}  // namespace

namespace {

// Boot sectors written by hand, for the limits of the mount.
struct BootSector {
    uint16_t bytes_per_sector = 512;
    uint32_t fat_sectors = 12;
    uint32_t clusters = 100;
    bool signature = true;
};

void write_boot_sector(const std::string& path, const BootSector& k)
{
    uint8_t b[512] = {0xEB, 0x3C, 0x90, 'm', 'k', 'f', 's', '.', 'f', 'a', 't'};
    const uint32_t rsvd = 1, fats = 2, roots = 512, spc = 1;
    uint32_t total = rsvd + fats * k.fat_sectors + roots * 32 / 512 + k.clusters * spc;
    b[0x0B] = (uint8_t)k.bytes_per_sector;
    b[0x0C] = (uint8_t)(k.bytes_per_sector >> 8);
    b[0x0D] = spc;
    b[0x0E] = rsvd;
    b[0x10] = fats;
    b[0x11] = (uint8_t)roots;
    b[0x12] = (uint8_t)(roots >> 8);
    if (total < 0x10000) {
        b[0x13] = (uint8_t)total;
        b[0x14] = (uint8_t)(total >> 8);
    } else {
        for (int i = 0; i < 4; ++i)
            b[0x20 + i] = (uint8_t)(total >> 8 * i);
    }
    b[0x15] = 0xF8;
    b[0x16] = (uint8_t)k.fat_sectors;
    b[0x17] = (uint8_t)(k.fat_sectors >> 8);
    std::memcpy(b + 0x2B, "LIMITS     ", 11);
    if (k.signature) {
        b[0x1FE] = 0x55;
        b[0x1FF] = 0xAA;
    }
    FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fwrite(b, 1, sizeof b, f);
    std::fclose(f);
}

TEST(FileSystem, MountRefusesWhatItCannotServe)
{
    struct Case {
        const char* what;
        BootSector bs;
        int mounted;
        char type;
    } cases[] = {
        {"4084 clusters", {512, 12, 4084, true}, 1, '2'},
        {"4085 clusters", {512, 16, 4085, true}, 1, '6'},
        {"65524 clusters", {512, 256, 65524, true}, 1, '6'},
        {"65525 clusters (FAT32 size)", {512, 256, 65525, true}, 0, 0},
        {"1024-byte sectors", {1024, 16, 4085, true}, 0, 0},
        {"no boot signature", {512, 16, 4085, false}, 0, 0},
        {"a FAT too small for its clusters", {512, 4, 4085, true}, 0, 0},
    };
    std::string path = fwtest::temp_dir() + "/limits.img";
    must("truncate -s 64M " + path);
    fwtest::BootOptions o;
    o.sd = path;
    fwtest::boot_to_prompt(o);
    for (const Case& k : cases) {
        write_boot_sector(path, k.bs);
        int r = -1;
        fwtest::on_firmware([&] { r = initialize_media(); });
        EXPECT_EQ(r, k.mounted) << "mount of a volume with " << k.what;
        EXPECT_EQ((char)fat::BPB_FATType, k.type) << "file system type of a volume with " << k.what;
        if (r)
            EXPECT_EQ(fat::DataClusTot, k.bs.clusters) << k.what;
    }
}

}  // namespace

namespace {

TEST(FileSystem, SeeksOverwritesAndAppendsAcrossClusters)
{
    Card c = make_card(Layout::Fat12);  // 2048-byte clusters
    const std::string body = pattern(5000, 2), one_cluster = pattern(2048, 4);
    put_file(c, "BODY.BIN", body);
    put_file(c, "ONE.BIN", one_cluster);
    boot_with_card(c);
    ASSERT_EQ(SDhotplug, (uint32_t)SD_MOUNTED);

    std::string want = body;
    want.replace(1000, 10, "0123456789");
    want.replace(2040, 16, "ACROSS-A-CLUSTER");
    int16_t chunk_a = 0, chunk_b = 0;
    std::string got_a, got_b;
    int writes = 0, appended = 0;
    fwtest::on_firmware([&] {
        using namespace fat;
        FatFile* f = fopen("BODY.BIN", FF_APPEND);
        writes = f && fseek(f, 1000, 2) == 0 && fwrite("0123456789", 1, 10, f) == 10 && fseek(f, 2040, 2) == 0 &&
                 fwrite("ACROSS-A-CLUSTER", 1, 16, f) == 16 && f->length == 5000 && fclose(f) == 0;
        f = fopen("ONE.BIN", FF_APPEND);
        appended = f && fputc_('!', f) == '!' && fclose(f) == 0;
        uint8_t buf[512];
        f = fopen("BODY.BIN", FF_READ);
        if (f && fseek(f, 2048, 2) == 0) {
            chunk_a = freadChunk(f, buf);
            got_a.assign((char*)buf, 512);
        }
        if (f && fseek(f, 4608, 2) == 0) {
            chunk_b = freadChunk(f, buf);
            got_b.assign((char*)buf, chunk_b > 0 ? chunk_b : 0);
        }
        fclose(f);
    }, 60 * sim::kSecond);
    EXPECT_TRUE(writes) << "overwriting inside a file opened for append failed";
    EXPECT_TRUE(appended) << "appending to a file that fills its one cluster failed";
    EXPECT_EQ(chunk_a, 512);
    EXPECT_EQ(got_a, want.substr(2048, 512)) << "freadChunk after a seek into the second cluster";
    EXPECT_EQ(chunk_b, 392) << "the last chunk of a 5000-byte file holds 392 bytes";
    EXPECT_EQ(got_b, want.substr(4608)) << "the last chunk";
    EXPECT_EQ(pc_reads(c, "BODY.BIN"), want) << "a PC sees other bytes than the firmware wrote inside the file";
    EXPECT_EQ(pc_reads(c, "ONE.BIN"), one_cluster + "!") << "the byte after a full cluster";
    Outcome fsck = pc_checks(c);
    EXPECT_EQ(fsck.status, 0) << fsck.out;
}

}  // namespace

namespace {

// Mode 4 streams without directory updates per sector; the file must
// still come out whole even when the volume's free clusters are scattered.
TEST(FileSystem, StreamedWritesFollowTheChainOverScatteredClusters)
{
    Card c = make_card(Layout::Fat16);
    for (int i = 0; i < 6; ++i)
        put_file(c, "F" + std::to_string(i) + ".BIN", pattern(1500, (unsigned)i));
    must("mdel -i " + c.mt + " ::F1.BIN ::F3.BIN");  // holes between the files
    put_file(c, "STREAM.BIN", "");
    boot_with_card(c);
    const std::string data = pattern(12000, 8);
    int ok = 0;
    fwtest::on_firmware([&] {
        fat::FatFile* f = fat::fopen("STREAM.BIN", fat::FF_APPEND_CONTIGUOUS);
        ok = f && f->consecutive && fat::fwrite(data.data(), 1, (int16_t)data.size(), f) == (int16_t)data.size() &&
             fat::fclose(f) == 0;
    }, 60 * sim::kSecond);
    EXPECT_TRUE(ok) << "a streamed write failed";
    EXPECT_EQ(pc_reads(c, "STREAM.BIN"), data) << "a streamed file over scattered clusters reads back wrong";
    EXPECT_EQ(pc_reads(c, "F2.BIN"), pattern(1500, 2)) << "a streamed write overwrote a neighbouring file";
    Outcome fsck = pc_checks(c);
    EXPECT_EQ(fsck.status, 0) << fsck.out;
}

}  // namespace
