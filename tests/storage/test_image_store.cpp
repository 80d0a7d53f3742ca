// The NOR flash as the image store sees it: programming, erasing, the
// image checks at start-up and relocation.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "board/bootflash.h"
#include "board/hw.h"
#include "format/memimage.h"
#include "storage/KM_extmem.h"
#include "support/host.h"
#include "support/image_builder.h"

namespace {

using fwtest::visible;

uint8_t* flash_bytes(sim::Board& b, uint32_t addr, uint32_t n)
{
    return b.machine.mem(addr, n);
}

TEST(NorFlash, ProgramsClearsOnlyAndErasesSectors)
{
    sim::Board& b = fwtest::boot_to_prompt();
    const uint32_t at = 0xC8400000;
    const uint8_t data[6] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    int ok = 0;
    fwtest::on_firmware([&] { ok = FlashWriteBlock(at, data, sizeof data); });
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(std::memcmp(flash_bytes(b, at, 6), data, 6), 0) << "programmed words read back";
    // Over programmed bits the chip can only clear: a 1 over a 0 fails.
    const uint8_t ones[2] = {0xFF, 0xFF};
    fwtest::on_firmware([&] { ok = FlashWriteBlock(at, ones, 2); });
    EXPECT_EQ(ok, 0) << "programming a 1 over a 0 must be reported";
    const uint8_t odd[1] = {0};
    fwtest::on_firmware([&] { ok = FlashWriteBlock(at + 0x100, odd, 1); });
    EXPECT_EQ(ok, 1) << "one byte writes nothing and succeeds";
    EXPECT_EQ(flash_bytes(b, at + 0x100, 1)[0], 0xFF);
    // Erase brings the whole sector back, and only that sector.
    fwtest::on_firmware([&] { ok = FlashWriteBlock(at + 0x20000, data, 2); });
    fwtest::on_firmware([&] { ok = FlashEraseSector(at); });
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(flash_bytes(b, at, 1)[0], 0xFF);
    EXPECT_EQ(flash_bytes(b, at + 0x1FFFF, 1)[0], 0xFF);
    EXPECT_EQ(flash_bytes(b, at + 0x20000, 1)[0], 0x12) << "the next sector was erased too";
    fwtest::on_firmware([&] { ok = FlashWriteBlock(at, data, sizeof data); });
    EXPECT_EQ(ok, 1) << "an erased sector takes new data";
    EXPECT_FALSE(b.nor.in_unlock_bypass()) << "programming left the chip in unlock bypass mode";
    EXPECT_TRUE(b.nor.reads_array()) << "programming left the chip in a command";
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

// Unlock bypass mode ends only with 0x90 then 0x00; the chip ignores the
// reset and the unlock cycles there and goes on taking its short commands.
TEST(NorFlash, UnlockBypassEndsOnlyWithItsExitCommand)
{
    sim::Board& b = fwtest::boot_to_prompt();
    const uint32_t base = 0xC8000000, cmd1 = base + 0xAAA, cmd2 = base + 0x554, word = 0xC8400010;
    struct Write {
        uint32_t at;
        uint16_t v;
    };
    struct Case {
        const char* how;
        std::vector<Write> writes;  // after entering bypass mode
        bool still_in_bypass;
    };
    const Case cases[] = {
        {"the reset alone", {{base, 0xF0}}, true},
        {"0x90 then the reset", {{base, 0x90}, {base, 0xF0}}, true},
        {"the unlock cycles", {{cmd1, 0xAA}, {cmd2, 0x55}}, true},
        {"0x90, 0x00", {{base, 0x90}, {base, 0x00}}, false},
        {"0x90, 0x00, then the reset", {{base, 0x90}, {base, 0x00}, {base, 0xF0}}, false},
    };
    for (const Case& c : cases) {
        b.machine.clear_reports();
        fwtest::on_firmware([&] {
            hw_write16(cmd1, 0xAA);
            hw_write16(cmd2, 0x55);
            hw_write16(cmd1, 0x20);
            for (const Write& w : c.writes)
                hw_write16(w.at, w.v);
        });
        EXPECT_EQ(b.nor.in_unlock_bypass(), c.still_in_bypass) << c.how;
        if (c.still_in_bypass) {
            ASSERT_FALSE(b.machine.reports().empty()) << c.how << ": leaving unlock bypass mode so went unnoticed";
            EXPECT_NE(b.machine.reports()[0].find("ignored in unlock bypass mode"), std::string::npos)
                << c.how << ": " << b.machine.reports()[0];
            // Still in bypass: its short program and erase work, and its exit
            // ends it.
            const uint16_t v = 0x1234;
            uint16_t after_program = 0, after_erase = 0;
            fwtest::on_firmware([&] {
                hw_write16(base, 0xA0);
                hw_write16(word, v);
                for (int i = 0; i < 100000 && hw_read16(word) != v; ++i)
                    hw_wait();
                after_program = hw_read16(word);
                hw_write16(base, 0x80);
                hw_write16(word, 0x30);
                for (int i = 0; i < 100000 && !(hw_read8(word) & 0x80); ++i)
                    hw_wait();
                after_erase = hw_read16(word);
                hw_write16(base, 0x90);
                hw_write16(base, 0x00);
            });
            EXPECT_EQ(after_program, v) << c.how << ": the bypass program after it";
            EXPECT_EQ(after_erase, 0xFFFF) << c.how << ": the bypass sector erase after it";
            EXPECT_FALSE(b.nor.in_unlock_bypass()) << c.how << ": 0x90, 0x00 did not end bypass mode";
        } else {
            EXPECT_TRUE(b.nor.reads_array()) << c.how;
            EXPECT_TRUE(b.machine.reports().empty()) << c.how << ": " << b.machine.reports().front();
        }
    }
}

TEST(ImageStore, ProgramAreaChecksAndSplitsAtSixtyFourK)
{
    sim::Board& b = fwtest::boot_to_prompt();
    const uint8_t data[4] = {1, 2, 3, 4};
    struct Case {
        uint32_t off;
        const uint8_t* src;
        uint32_t len;
        int result;
        const char* why;
    };
    const Case cases[] = {
        {0, data, 3, 5, "odd length"},
        {0, nullptr, 3, 5, "odd length before the null check"},
        {0, nullptr, 4, 2, "null source"},
        {0x1BBFFFE, data, 4, 1, "beyond the end of Flash2"},
        {0xFFFE, data, 4, 0, "crossing 64 KB"},
    };
    for (const Case& c : cases) {
        int r = -1;
        fwtest::on_firmware([&] { r = KM_ExtMem_ProgramArea(c.off, c.src, c.len, 0); });
        EXPECT_EQ(r, c.result) << c.why;
    }
    EXPECT_EQ(std::memcmp(flash_bytes(b, 0xC840FFFE, 4), data, 4), 0) << "both halves of the split block";
    int r = -1;
    fwtest::on_firmware([&] { r = KM_ExtMem_Erase_Sector(221); });
    EXPECT_EQ(r, 0) << "sector 221 at 0xC9FA0000 is the last";
    fwtest::on_firmware([&] { r = KM_ExtMem_Erase_Sector(222); });
    EXPECT_EQ(r, 3);
    fwtest::on_firmware([&] { r = KM_ExtMem_Erase_Sector(-1); });
    EXPECT_EQ(r, 3) << "a negative sector is refused";
}

// A small image with one raw bitmap, laid out as the PC program lays it.
std::vector<uint8_t> one_bitmap_image(uint32_t base)
{
    const uint32_t dir = sizeof(ExtMemHeader) + 2 * sizeof(ExtMemDirEntry);
    const uint32_t rec = dir;
    const uint32_t pixels = rec + sizeof(ExtBitmapRecord);
    const uint32_t total = pixels + 2 * 2 * 2;
    std::vector<uint8_t> img(total, 0);
    ExtMemHeader h{EXTMEM_VALID_PLUS, 2, total};
    std::memcpy(img.data(), &h, sizeof h);
    ExtMemDirEntry macros{EXTMEM_MACROS, {0, 0, 0}, base + dir, 0};
    ExtMemDirEntry bitmap{EXTMEM_BITMAP, {0, 0, 0}, base + rec, sizeof(ExtBitmapRecord) + 8};
    std::memcpy(img.data() + ExtMemDirEntryOffset(0), &macros, sizeof macros);
    std::memcpy(img.data() + ExtMemDirEntryOffset(1), &bitmap, sizeof bitmap);
    ExtBitmapRecord r{2, 2, 4, 16, base + pixels, 0, 0};
    std::memcpy(img.data() + rec, &r, sizeof r);
    return img;
}

TEST(ImageStore, FlashImageIsFoundAtStartUpAndCopiedToRam)
{
    sim::Board& b = fwtest::boot_to_prompt();
    EXPECT_NE(b.uart1.sent_text().find(":No .BIN file in flash or on SD card\r"), std::string::npos)
        << "an erased flash must be reported at start-up: " << visible(b.uart1.sent_text());
    std::vector<uint8_t> img = one_bitmap_image(EXTMEM_FLASH2_BASE);
    int r = -1;
    fwtest::on_firmware([&] { r = KM_ExtMem_ProgramArea(0, img.data(), img.size(), 0); });
    ASSERT_EQ(r, 0);
    size_t from = b.uart1.sent.size();
    fwtest::on_firmware([&] { r = KM_Load_ExtMem(); });
    EXPECT_EQ(r, 1);
    // The loader returns once its text is handed to the UART; the last byte
    // is on the line a character time later.
    EXPECT_EQ(visible(fwtest::until_text(b.uart1, from, "\r")),
              visible(":loading 1KB bitmap/macro file from flash2\r"));
    EXPECT_EQ(hw_addr(ExtMemBuffer), EXTMEM_FLASH2_BASE);
    uint32_t used = 0;
    fwtest::on_firmware([&] { used = ExtMemUsed(); });
    EXPECT_EQ(used, img.size());

    fwtest::on_firmware([&] { r = KM_LoadFlash2ToRam(); });
    ASSERT_EQ(r, 1);
    EXPECT_EQ(hw_addr(ExtMemBuffer), EXTMEM_RAM_BUFFER);
    ExtMemDirEntry e;
    std::memcpy(&e, b.machine.mem(EXTMEM_RAM_BUFFER + ExtMemDirEntryOffset(1), sizeof e), sizeof e);
    EXPECT_EQ(e.address, EXTMEM_RAM_BUFFER + 32) << "directory address relocated to the RAM copy";
    ExtBitmapRecord rec;
    std::memcpy(&rec, b.machine.mem(e.address, sizeof rec), sizeof rec);
    EXPECT_EQ(rec.pData, EXTMEM_RAM_BUFFER + 52) << "pixel address relocated";
    fwtest::on_firmware([&] { r = KM_Fixup_ExtMem(EXTMEM_RAM_BUFFER, ExtMemSize); });
    EXPECT_EQ(r, 1) << "relocating twice to the same base changes nothing";
    std::memcpy(&rec, b.machine.mem(e.address, sizeof rec), sizeof rec);
    EXPECT_EQ(rec.pData, EXTMEM_RAM_BUFFER + 52);
}

// Records are read in place as structures; on the board a word load off a
// word boundary faults.  An image whose macro table, bitmap record or font
// record does not start on a word boundary is refused by the RAM loader.
struct Misplaced {
    const char* what;
    uint32_t entry;
};
const Misplaced kMisplaced[] = {{"macro table", 0}, {"bitmap record", 1}, {"font record", 2}};

TEST(ImageStore, RecordsOffAWordBoundaryAreRefused)
{
    fwtest::TestBitmap raw{fwtest::TestBitmap::Raw, 4, 2, fwtest::test_pattern(4, 2, 7)};
    fwtest::TestBitmap font;
    font.kind = fwtest::TestBitmap::Font;
    font.alias = "f";
    font.bytes.assign(64, 0);
    const std::vector<uint8_t> good = fwtest::build_image({raw, font}, {{1, "one", {"z"}}});
    fwtest::BootOptions o;
    o.flash_image = good;
    fwtest::boot_to_prompt(o);
    ASSERT_EQ(visible(fwtest::command("*flash2ram")), visible(">\r")) << "the sound image";
    for (const Misplaced& m : kMisplaced) {
        std::vector<uint8_t> img = good;
        uint32_t at;
        std::memcpy(&at, &img[ExtMemDirEntryOffset(m.entry) + 4], 4);
        at += 2;
        std::memcpy(&img[ExtMemDirEntryOffset(m.entry) + 4], &at, 4);
        int r = -1;
        fwtest::on_firmware([&] {
            ExtMemBuffer = 0;
            std::memcpy(ExtMemRamBuffer, img.data(), img.size());
            r = KM_Fixup_ExtMem(EXTMEM_RAM_BUFFER, ExtMemSize);
        });
        EXPECT_EQ(r, 0) << "an image whose " << m.what << " starts off a word boundary was relocated";
    }
    EXPECT_NE(fwtest::command("vers").find("VELM5-PLUS"), std::string::npos);
}

TEST(ImageStore, RelocationOfSingleAddresses)
{
    fwtest::boot_to_prompt();
    const uint32_t base = EXTMEM_RAM_BUFFER, size = EXTMEM_FLASH2_SIZE;
    struct Case {
        uint32_t stored, after;
        int ok;
        const char* why;
    };
    const Case cases[] = {
        {0xC8400010, base + 0x10, 1, "Flash2 address"},
        {0x10, base + 0x10, 1, "plain offset"},
        {base + 0x10, base + 0x10, 1, "already relocated"},
        {0xC8400000, 0xC8400000, 0, "the image's first byte is not taken for a Flash2 address"},
        {size, size, 0, "offset beyond the size"},
    };
    for (const Case& c : cases) {
        uint32_t v = c.stored;
        int ok = tryFixup(&v, base, size);
        EXPECT_EQ(ok, c.ok) << c.why;
        EXPECT_EQ(v, c.after) << c.why;
    }
}

TEST(ImageStore, FlashChecks)
{
    sim::Board& b = fwtest::boot_to_prompt();
    struct Case {
        uint16_t count;
        uint32_t size;
        uint32_t entry1;
        int flash2init, toram;
        const char* why;
    };
    const Case cases[] = {
        {1, 0x100, 0, 0, 1, "one entry needs no directory check"},
        {2, 0xFF, 0xC8400020, 0, 0, "size 0xFF is accepted in place but not copied"},
        {2, 0x100, 0xC8400000, 1, 0, "entry 1 at the image's first byte"},
        {2, 0x1BC0001, 0xC8400020, 1, 0, "larger than Flash2"},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::vector<uint8_t> img(0x100, 0);
        ExtMemHeader h{EXTMEM_VALID_PLUS, c.count, c.size};
        std::memcpy(img.data(), &h, sizeof h);
        ExtMemDirEntry e0{EXTMEM_MACROS, {0, 0, 0}, 0xC8400020, 0};
        ExtMemDirEntry e1{EXTMEM_BITMAP, {0, 0, 0}, c.entry1, 0};
        std::memcpy(img.data() + ExtMemDirEntryOffset(0), &e0, sizeof e0);
        std::memcpy(img.data() + ExtMemDirEntryOffset(1), &e1, sizeof e1);
        int a = -1, t = -1;
        fwtest::on_firmware([&] {
            KM_ExtMem_Erase_Sector(0);
            KM_ExtMem_ProgramArea(0, img.data(), img.size(), 0);
            a = Flash2Init();
            t = KM_LoadFlash2ToRam();
        });
        EXPECT_EQ(a, c.flash2init) << c.why;
        EXPECT_EQ(t, c.toram) << c.why;
        ++n;
    }
    (void)b;
}

}  // namespace

namespace {

TEST(NorFlash, AWornSectorFailsItsEraseAndTheCommandSaysSo)
{
    sim::Board& b = fwtest::boot_to_prompt();
    b.nor.set_failing_sector(0x400000 / 0x20000 + 3);  // sector 3 of the image area
    int r = -1;
    fwtest::on_firmware([&] { r = KM_ExtMem_Erase_Sector(3); });
    EXPECT_EQ(r, 4) << "a failed erase must be reported";
    EXPECT_EQ(visible(fwtest::command("xmc FEEC 3", 5 * sim::kSecond)),
              visible(":Erasing sector 3...\r:Erase sector 3 failed\r!\r"));
    EXPECT_EQ(visible(fwtest::command("xmc FEEC 4", 5 * sim::kSecond)), visible(":Erasing sector 4... done\r>\r"))
        << "the chip works again after the failure";
}

TEST(NorFlash, ChangesToTheFirmwaresOwnFlashAreReported)
{
    sim::Board& b = fwtest::boot_to_prompt();
    b.machine.clear_reports();
    const uint8_t data[2] = {0, 0};
    fwtest::on_firmware([&] { FlashWriteBlock(0xC8020000, data, 2); });
    ASSERT_FALSE(b.machine.reports().empty()) << "programming the firmware area went unnoticed";
    EXPECT_NE(b.machine.reports()[0].find("firmware's own flash"), std::string::npos) << b.machine.reports()[0];
}

}  // namespace
