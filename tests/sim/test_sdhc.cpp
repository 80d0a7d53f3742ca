// The SD host controller and its card, driven register by register as a
// driver drives them: identification, CID and CSD, block read and write
// through the 16-bit data FIFO, the card's busy period after a write, the
// supply and the card-detect line.

#include "devices/aitc.h"
#include "devices/gpio.h"
#include "devices/sdhc.h"
#include "machine.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using sim::Sdhc;

namespace {

class SdhcTest : public ::testing::Test {
protected:
    sim::Machine& m = sim::Machine::instance();
    sim::Aitc aitc{m};
    sim::Gpio gpio{m};
    Sdhc sdhc{m, aitc, gpio};
    std::string image;
    std::vector<uint8_t> bytes;

    void SetUp() override
    {
        m.quiet = true;
        m.clear_reports();
        char tmpl[] = "/tmp/sdhc-test-XXXXXX";
        int fd = mkstemp(tmpl);
        ASSERT_GE(fd, 0);
        image = tmpl;
        bytes.resize(2u << 20);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = (uint8_t)(i * 13 + i / 512);
        ASSERT_EQ(write(fd, bytes.data(), bytes.size()), (ssize_t)bytes.size());
        close(fd);
        ASSERT_TRUE(sdhc.card.open(image));
        // The supply on (PF1, PF3 driven low), then the card in.
        for (int pin : {1, 3}) {
            gpio.write(0x500 + 0x20, gpio.read(0x500 + 0x20, 4) | 1u << pin, 4);   // GIUS
            gpio.write(0x500 + 0x04, gpio.read(0x500 + 0x04, 4) | 3u << 2 * pin, 4);  // OCR1: data register
            gpio.write(0x500 + 0x00, gpio.read(0x500 + 0x00, 4) | 1u << pin, 4);   // DDIR
        }
        for (int pin : {1, 3})
            sdhc.pin_changed(sim::Gpio::PORT_F, pin, 0);
        sdhc.set_inserted(true);
        wr(Sdhc::CLK_RATE, 0x01);
        wr(Sdhc::BLK_LEN, 512);
        wr(Sdhc::NOB, 1);
    }
    void TearDown() override { std::remove(image.c_str()); }

    uint32_t rd(uint32_t off) { return sdhc.read(off, 4); }
    void wr(uint32_t off, uint32_t v) { sdhc.write(off, v, 4); }

    // Sends a command and waits for its end; returns STATUS.
    uint32_t cmd(uint32_t index, uint32_t arg, uint32_t cdc)
    {
        wr(Sdhc::CMD, index);
        wr(Sdhc::ARGH, arg >> 16);
        wr(Sdhc::ARGL, arg & 0xFFFF);
        wr(Sdhc::CMD_DAT_CONT, cdc);
        wr(Sdhc::STR_STP_CLK, Sdhc::SSC_START);
        for (int i = 0; i < 100000 && !(rd(Sdhc::STATUS) & (Sdhc::ST_END_CMD_RESP | Sdhc::ST_TIME_OUT_RESP)); ++i)
            m.advance(sim::kMicrosecond);
        return rd(Sdhc::STATUS);
    }
    uint32_t r1()
    {
        uint32_t a = rd(Sdhc::RES_FIFO), b = rd(Sdhc::RES_FIFO), c = rd(Sdhc::RES_FIFO);
        return (c >> 8) | (b << 8) | (a << 24);
    }
    uint32_t identify()
    {
        cmd(0, 0, Sdhc::CDC_INIT);
        uint32_t ocr = 0;
        for (int i = 0; i < 50 && !(ocr & 0x80000000u); ++i) {
            cmd(55, 0, 1);
            r1();
            cmd(41, 0x00FF8000, 3);
            ocr = r1();
            m.advance(sim::kMillisecond);
        }
        EXPECT_TRUE(ocr & 0x80000000u) << "the card never finished powering up";
        cmd(2, 0, 2);
        for (int i = 0; i < 8; ++i)
            rd(Sdhc::RES_FIFO);
        cmd(3, 0, 6);
        uint32_t rca = r1() >> 16;
        cmd(7, rca << 16, 0x41);
        r1();
        return rca;
    }
    int state(uint32_t rca)
    {
        cmd(13, rca << 16, 1);
        return (int)((r1() >> 9) & 0xF);
    }
    // The capacity the card states in its CSD (read in standby).
    uint64_t csd_capacity(uint32_t rca)
    {
        uint16_t w[8];
        wr(Sdhc::CMD_DAT_CONT, 0);
        cmd(7, 0, 1);  // deselect: no response from the card
        cmd(9, rca << 16, 2);
        for (auto& x : w)
            x = (uint16_t)rd(Sdhc::RES_FIFO);
        auto bits = [&](int hi, int lo) {
            uint32_t v = 0;
            for (int b = hi; b >= lo; --b)
                v = v << 1 | ((w[7 - b / 16] >> (b % 16)) & 1);
            return v;
        };
        cmd(7, rca << 16, 0x41);  // selected again
        r1();
        return (uint64_t)(bits(73, 62) + 1) << (bits(49, 47) + 2 + bits(83, 80));
    }
    // One block read on the 4-bit bus: the card's R1 status in *status.
    std::vector<uint8_t> read_block(uint32_t addr, uint32_t* status)
    {
        uint32_t st = cmd(17, addr, 0x209);
        *status = r1();
        std::vector<uint8_t> got;
        for (int chunk = 0; chunk < 8; ++chunk) {
            for (int i = 0; i < 10000 && !((st = rd(Sdhc::STATUS)) & Sdhc::ST_BUF_READ_RDY); ++i)
                m.advance(sim::kMicrosecond);
            if (!(st & Sdhc::ST_BUF_READ_RDY)) {
                ADD_FAILURE() << "chunk " << chunk << " of the block at " << addr << " never became ready";
                break;
            }
            for (int i = 0; i < 32; ++i) {
                uint16_t v = (uint16_t)sdhc.read(Sdhc::BUFFER_ACCESS, 2);
                got.push_back((uint8_t)v);
                got.push_back((uint8_t)(v >> 8));
            }
        }
        return got;
    }
    // One block of the 16-bit word w written on the 4-bit bus.
    void write_block(uint32_t addr, uint16_t w)
    {
        cmd(24, addr, 0x219);
        r1();
        for (int chunk = 0; chunk < 8; ++chunk) {
            ASSERT_TRUE(rd(Sdhc::STATUS) & Sdhc::ST_BUF_WRITE_RDY) << "no room for chunk " << chunk;
            for (int i = 0; i < 32; ++i)
                sdhc.write(Sdhc::BUFFER_ACCESS, w, 2);
            for (int i = 0; i < 10000 && !(rd(Sdhc::STATUS) & Sdhc::ST_BUF_WRITE_RDY); ++i)
                m.advance(sim::kMicrosecond);
        }
    }
    uint32_t wide_bus(uint32_t rca)
    {
        cmd(55, rca << 16, 1);
        r1();
        cmd(6, 2, 1);  // 4-bit bus
        return r1();
    }
};

TEST_F(SdhcTest, IdentifiesAndStatesTheImageSizeInTheCsd)
{
    EXPECT_TRUE(rd(Sdhc::STATUS) & Sdhc::ST_CARD_PRESENT) << "status bit 15 does not show the card";
    EXPECT_EQ(gpio.level(sim::Gpio::PORT_B, 13), 0) << "a card in the slot leaves PB13 high";
    uint32_t rca = identify();
    EXPECT_NE(rca, 0u);
    EXPECT_EQ(csd_capacity(rca), bytes.size()) << "the CSD states another capacity than the image has";
    EXPECT_TRUE(m.reports().empty()) << m.reports().front();
}

TEST_F(SdhcTest, ReadsAndWritesBlocksWithABusyPeriod)
{
    uint32_t rca = identify();
    wide_bus(rca);
    const uint32_t addr = 3 * 512;
    uint32_t status = 0;
    std::vector<uint8_t> got = read_block(addr, &status);
    EXPECT_EQ(status & 0xFFF80000u, 0u) << "the card reports an error for a good read";
    EXPECT_TRUE(rd(Sdhc::STATUS) & Sdhc::ST_READ_OP_DONE);
    EXPECT_EQ(got, std::vector<uint8_t>(bytes.begin() + addr, bytes.begin() + addr + 512)) << "block 3 reads wrong";

    write_block(addr, 0xA55A);
    EXPECT_EQ(rd(Sdhc::STATUS) & Sdhc::ST_WR_CRC_CODE, 0u) << "the card refused the block's CRC";
    EXPECT_EQ(state(rca), 7) << "the card is not busy programming right after a write";
    m.advance(2 * sim::kMillisecond);
    EXPECT_EQ(state(rca), 4) << "the card is still busy 2 ms after a write";
    FILE* f = std::fopen(image.c_str(), "rb");
    std::fseek(f, addr, SEEK_SET);
    uint8_t b[2];
    ASSERT_EQ(std::fread(b, 1, 2, f), 2u);
    std::fclose(f);
    EXPECT_EQ(b[0], 0x5A) << "the written block did not reach the image file";
    EXPECT_EQ(b[1], 0xA5);
    EXPECT_TRUE(m.reports().empty()) << m.reports().front();
}

// An image of a size no card states exactly (mkfs.fat spreads a volume
// over any size of file) is served whole: the CSD states the smallest
// capacity that holds it, the block with the file's last bytes reads them
// and zeros after them, and a block past the file's end reads zeros and
// keeps what is written there.  A size no standard-capacity card has is
// refused with the sizes the card takes.
TEST_F(SdhcTest, AnImageIsServedWholeOrRefused)
{
    const size_t tail = 700;  // the file ends 188 bytes into a block
    FILE* f = std::fopen(image.c_str(), "ab");
    ASSERT_NE(f, nullptr);
    for (size_t i = 0; i < tail; ++i)
        bytes.push_back((uint8_t)(0x40 + i % 61));
    ASSERT_EQ(std::fwrite(bytes.data() + bytes.size() - tail, 1, tail, f), tail);
    std::fclose(f);
    ASSERT_TRUE(sdhc.card.open(image));
    const uint32_t rca = identify();
    const uint64_t capacity = csd_capacity(rca);
    EXPECT_EQ(capacity, 1025u * 2048) << "not the smallest capacity a CSD states that holds the image";
    wide_bus(rca);
    const uint32_t last = (uint32_t)(bytes.size() / 512 * 512);
    uint32_t status = 0;
    std::vector<uint8_t> want(bytes.begin() + last, bytes.end());
    want.resize(512, 0);
    EXPECT_EQ(read_block(last, &status), want) << "the block with the file's last bytes";
    EXPECT_EQ(status & 0xFFF80000u, 0u) << "the card refuses the block with the file's last bytes";
    const uint32_t beyond = (uint32_t)capacity - 512;
    EXPECT_EQ(read_block(beyond, &status), std::vector<uint8_t>(512, 0)) << "a block past the file's end";
    EXPECT_EQ(status & 0xFFF80000u, 0u) << "the card refuses a block it states it has";
    write_block(beyond, 0x1234);
    m.advance(2 * sim::kMillisecond);
    std::vector<uint8_t> ones(512);
    for (size_t i = 0; i < ones.size(); ++i)
        ones[i] = i % 2 ? 0x12 : 0x34;
    EXPECT_EQ(read_block(beyond, &status), ones) << "a block written past the file's end";
    EXPECT_TRUE(m.reports().empty()) << m.reports().front();

    struct Refused {
        uint64_t size;
    } refused[] = {{100}, {(4ull << 30) + 512}};
    for (const Refused& r : refused) {
        const std::string path = image + ".refused";
        std::fclose(std::fopen(path.c_str(), "wb"));
        std::filesystem::resize_file(path, r.size);  // sparse
        std::string why;
        EXPECT_FALSE(sdhc.card.open(path, &why)) << "an image of " << r.size << " bytes was taken";
        EXPECT_NE(why.find(std::to_string(r.size) + " bytes; the card takes an image of 512 to 4294967296 bytes"),
                  std::string::npos)
            << why;
        std::remove(path.c_str());
    }
}

TEST_F(SdhcTest, NoAnswerWithoutSupplyOrCardAndUnknownOffsetsAreReported)
{
    sdhc.set_inserted(false);
    EXPECT_EQ(gpio.level(sim::Gpio::PORT_B, 13), 1) << "an empty slot pulls PB13 low";
    EXPECT_FALSE(rd(Sdhc::STATUS) & Sdhc::ST_CARD_PRESENT);
    EXPECT_TRUE(cmd(55, 0, 1) & Sdhc::ST_TIME_OUT_RESP) << "an empty slot answered a command";
    sdhc.set_inserted(true);
    for (int pin : {1, 3})
        gpio.write(0x500 + 0x1C, gpio.read(0x500 + 0x1C, 4) | 1u << pin, 4);  // supply off
    for (int pin : {1, 3})
        sdhc.pin_changed(sim::Gpio::PORT_F, pin, 1);
    EXPECT_FALSE(sdhc.card.powered());
    EXPECT_TRUE(cmd(55, 0, 1) & Sdhc::ST_TIME_OUT_RESP) << "a card without supply answered";
    rd(0x40);
    ASSERT_FALSE(m.reports().empty()) << "a read of an offset the controller does not have went unreported";
    EXPECT_NE(m.reports().back().find("SDHC1"), std::string::npos) << m.reports().back();
}

}  // namespace
