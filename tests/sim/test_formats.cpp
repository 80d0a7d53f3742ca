// The memory-image format, RLE16 and CRC-16 as the firmware sees them: in its
// own word size, read in place.
#include "../../format/crc16.h"
#include "../../format/memimage.h"
#include "../../format/rle16.h"

#include <gtest/gtest.h>

#include <vector>

static_assert(sizeof(ExtMemHeader) + 2 * sizeof(ExtMemDirEntry) == 32, "header and two entries");
static_assert(CRC16_Update(CRC16_INIT, "123456789", 9) == 0x4B37, "CRC-16/MODBUS check value");
static_assert(CRC16_Update(CRC16_INIT, "abc", 3) == 0x5749, "CRC of abc");
static_assert(CRC16_Update(CRC16_INIT, "", 0) == 0xFFFF, "CRC of nothing");

TEST(Formats, ReadsAnImageInPlace)
{
    // A VELM5 Plus image: header, entry 0 empty, entry 1 a 2x1 bitmap at 32.
    alignas(4) const uint8_t image[] = {
        0xEC, 0xFE, 0x02, 0x00, 0x38, 0x00, 0x00, 0x00,                          // header
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                      // entry 0
        0x05, 0, 0, 0, 0x20, 0x00, 0x40, 0xC8, 0x18, 0x00, 0x00, 0x00,           // entry 1
        0x02, 0x00, 0x01, 0x00, 0x04, 0x00, 0x10, 0x00, 0x34, 0x00, 0x40, 0xC8,  // record
        0x1F, 0xF8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F, 0xF8, 0xFF, 0xFF,  // ... pixels
    };
    const auto* header = reinterpret_cast<const ExtMemHeader*>(image);
    EXPECT_EQ(header->validity, EXTMEM_VALID_PLUS);
    EXPECT_EQ(header->count, 2);
    EXPECT_EQ(header->size, 0x38u);
    const auto* entry = reinterpret_cast<const ExtMemDirEntry*>(image + ExtMemDirEntryOffset(1));
    EXPECT_EQ(entry->type, EXTMEM_BITMAP_TRANS);
    EXPECT_EQ(entry->address, EXTMEM_BASE_PLUS + 32);
    EXPECT_EQ(entry->size, 24u);
    const auto* record = reinterpret_cast<const ExtBitmapRecord*>(image + (entry->address - EXTMEM_BASE_PLUS));
    EXPECT_EQ(record->XSize, 2);
    EXPECT_EQ(record->YSize, 1);
    EXPECT_EQ(record->BytesPerLine, 4);
    EXPECT_EQ(record->BitsPerPixel, EXTMEM_BITMAP_BPP);
    EXPECT_EQ(record->pData, EXTMEM_BASE_PLUS + 52);
    EXPECT_EQ(record->pPal & 0xFFFF, 0xF81Fu) << "the transparent colour of a type-5 bitmap";
    EXPECT_EQ(record->pMethods, 0u);
}

TEST(Formats, ComputesCrc16Modbus)
{
    const char digits[] = "123456789";
    EXPECT_EQ(CRC16_Modbus(digits, 9), 0x4B37);
    EXPECT_EQ(CRC16_Modbus(digits + 4, 5, CRC16_Modbus(digits, 4)), 0x4B37)
        << "a CRC continued from a seed differs from the CRC in one go";
    EXPECT_EQ(CRC16_Modbus(digits, 0), 0xFFFF);
    // Entries of the published MODBUS table pair.
    const uint8_t hi[] = {0x00, 0xC1, 0x81, 0x40}, lo[] = {0x00, 0xC0, 0xC1, 0x01};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(CRCHi[i], hi[i]) << "CRCHi[" << i << "]";
        EXPECT_EQ(CRCLo[i], lo[i]) << "CRCLo[" << i << "]";
    }
    EXPECT_EQ(CRCHi[255], 0x40);
    EXPECT_EQ(CRCLo[255], 0x40);
}

TEST(Formats, DecodesRle16)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        size_t want;  // pixels the drawer asks for
        std::vector<uint16_t> pixels;
    };
    const std::vector<Case> cases = {
        {"a run of 3", {0x03, 0x1F, 0x00}, 3, {0x001F, 0x001F, 0x001F}},
        {"a literal packet of 2", {0x00, 0x02, 0x00, 0xF8, 0xE0, 0x07}, 2, {0xF800, 0x07E0}},
        {"a 2x2 bitmap of one run; the final 0x00 is not read", {0x04, 0xFF, 0xFF, 0x00}, 4,
         {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
        {"an empty literal packet", {0x00, 0x00, 0x02, 0xAA, 0xBB}, 2, {0xBBAA, 0xBBAA}},
        {"a run of 255", {0xFF, 0x01, 0x00}, 300, std::vector<uint16_t>(255, 0x0001)},
        {"a run packet cut short", {0x05, 0xFF}, 5, {}},
        {"a literal packet cut short", {0x00, 0x03, 0x01, 0x00, 0x02}, 3, {0x0001}},
    };
    for (const Case& c : cases) {
        RLE16_Stream s;
        RLE16_Begin(&s, c.data.data(), uint32_t(c.data.size()));
        std::vector<uint16_t> out;
        uint16_t p;
        while (out.size() < c.want && RLE16_Next(&s, &p))
            out.push_back(p);
        EXPECT_EQ(out, c.pixels) << c.what;
    }
}

TEST(Formats, ResumesRle16WhereADrawerLeftOff)
{
    const uint8_t data[] = {0x03, 0x11, 0x00, 0x00, 0x02, 0x22, 0x00, 0x33, 0x00};
    RLE16_Stream s;
    RLE16_Begin(&s, data, sizeof data);
    uint16_t p;
    ASSERT_TRUE(RLE16_Next(&s, &p));
    ASSERT_TRUE(RLE16_Next(&s, &p));
    RLE16_Stream kept = s;  // a drawer keeps its place after two pixels
    std::vector<uint16_t> rest;
    while (RLE16_Next(&kept, &p))
        rest.push_back(p);
    EXPECT_EQ(rest, (std::vector<uint16_t>{0x0011, 0x0022, 0x0033}));
}
