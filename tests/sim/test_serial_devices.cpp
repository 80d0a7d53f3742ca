// Register-level tests of the I2C controller with the EEPROM and the
// temperature sensor on its bus, and of CSPI1 with the SPI flash, driven
// through the machine's bus as the firmware drives them.
#include "devices/aitc.h"
#include "devices/clock.h"
#include "devices/cspi.h"
#include "devices/eeprom.h"
#include "devices/gpio.h"
#include "devices/i2c.h"
#include "devices/spiflash.h"
#include "devices/tempsensor.h"
#include "machine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

using sim::I2c;
using sim::kMicrosecond;
using sim::kMillisecond;
using sim::Time;

namespace {

enum : uint32_t { PCCR0 = 0x20, GIUS = 0x20, DR = 0x1C, DDIR = 0x00, OCR2 = 0x08, INTSRCH = 0x48 };
constexpr int kI2cIrq = 39;

// The machine is one per process and has no detach: every fixture gets its
// own bus windows, apart from those of the other model tests.
uint32_t fresh_window()
{
    static uint32_t next = 0x60000000;
    uint32_t base = next;
    next += 0x1000;
    return base;
}

// Files of the EEPROM models, in a folder that goes when the tests end.
struct TempFolder {
    std::string path;
    TempFolder()
    {
        char tmpl[] = "/tmp/velm-serial-XXXXXX";
        if (!mkdtemp(tmpl))
            std::abort();
        path = tmpl;
    }
    ~TempFolder() { ::rmdir(path.c_str()); }
};

std::string temp_file(const char* name)
{
    static TempFolder folder;
    return folder.path + "/" + name + std::to_string(fresh_window());
}

class SerialDeviceTest : public ::testing::Test {
protected:
    sim::Machine& m = sim::Machine::instance();
    std::string eeprom_path = temp_file("eeprom");
    sim::Aitc aitc{m};
    sim::ClockController crm{m};
    sim::Gpio gpio{m};
    sim::I2c i2c{m, aitc, kI2cIrq, crm, gpio};
    sim::Eeprom eeprom{m, eeprom_path};
    sim::TempSensor sensor{m};
    sim::Cspi cspi{m, crm, gpio, "CSPI1", 1u << 4, sim::Gpio::PORT_D, 29};
    sim::SpiFlash flash{m};
    uint32_t aitc_at = fresh_window(), crm_at = fresh_window(), gpio_at = fresh_window();
    uint32_t i2c_at = fresh_window(), spi_at = fresh_window();

    void SetUp() override
    {
        m.quiet = true;
        m.clear_reports();
        m.attach(aitc_at, 0x1000, &aitc);
        m.attach(crm_at, 0x1000, &crm);
        m.attach(gpio_at, 0x700, &gpio);
        m.attach(i2c_at, 0x1000, &i2c);
        m.attach(spi_at, 0x1000, &cspi);
        i2c.attach(sim::Eeprom::kAddress, &eeprom);
        i2c.attach(sim::TempSensor::kAddress, &sensor);
        cspi.connect(&flash, sim::Gpio::PORT_D, 28);
        gpio.on_change = [this](int port, int pin, int level) { cspi.pin_changed(port, pin, level); };
        // Module clocks of I2C and CSPI1 on, as the firmware's set-up leaves them.
        wr(crm_at + PCCR0, rd(crm_at + PCCR0) | (1u << 12) | (1u << 4));
        wr(i2c_at + I2c::IFDR, 0x31);
        wr(i2c_at + I2c::I2CR, I2c::I2CR_IEN);
    }

    void TearDown() override { ::unlink(eeprom_path.c_str()); }

    uint32_t rd(uint32_t addr) { return m.read(addr, 4); }
    void wr(uint32_t addr, uint32_t v) { m.write(addr, v, 4); }
    uint32_t i2cr() { return rd(i2c_at + I2c::I2CR); }
    uint32_t i2sr() { return rd(i2c_at + I2c::I2SR); }
    void set_cr(uint32_t bits) { wr(i2c_at + I2c::I2CR, i2cr() | bits); }
    void clear_cr(uint32_t bits) { wr(i2c_at + I2c::I2CR, i2cr() & ~bits); }

    // Waits (in small steps of board time) for the byte in flight, clears
    // the flag and returns whether the byte was acknowledged.
    bool byte_done()
    {
        for (int i = 0; i < 10000 && !(i2sr() & I2c::I2SR_IIF); ++i)
            m.advance(kMicrosecond);
        EXPECT_TRUE(i2sr() & I2c::I2SR_IIF) << "the byte never finished";
        bool ack = !(i2sr() & I2c::I2SR_RXAK);
        wr(i2c_at + I2c::I2SR, i2sr() & ~I2c::I2SR_IIF);
        return ack;
    }

    bool send(uint8_t b)
    {
        wr(i2c_at + I2c::I2DR, b);
        return byte_done();
    }

    bool start(uint8_t address)
    {
        wr(i2c_at + I2c::I2CR, I2c::I2CR_IEN | I2c::I2CR_TXAK);
        set_cr(I2c::I2CR_MSTA);
        set_cr(I2c::I2CR_MTX);
        return send(address);
    }

    void stop()
    {
        clear_cr(I2c::I2CR_MSTA);
        for (int i = 0; i < 1000 && (i2sr() & I2c::I2SR_IBB); ++i)
            m.advance(kMicrosecond);
        EXPECT_FALSE(i2sr() & I2c::I2SR_IBB) << "the bus stayed busy after the stop";
    }

    // A write of data from an EEPROM address; returns whether every byte
    // was acknowledged.
    bool eeprom_write(uint16_t address, const std::vector<uint8_t>& data)
    {
        bool ack = start(0xA0);
        ack &= send(static_cast<uint8_t>(address >> 8));
        ack &= send(static_cast<uint8_t>(address));
        for (uint8_t b : data)
            ack &= send(b);
        stop();
        return ack;
    }

    // Random read: the address written, a repeated start, n bytes read with
    // the last one not acknowledged.
    std::vector<uint8_t> read_from(uint8_t device, const std::vector<uint8_t>& pointer, size_t n)
    {
        std::vector<uint8_t> out;
        EXPECT_TRUE(start(device)) << "device 0x" << std::hex << int(device) << " did not answer";
        for (uint8_t b : pointer)
            send(b);
        set_cr(I2c::I2CR_RSTA);
        send(static_cast<uint8_t>(device | 1));
        clear_cr(I2c::I2CR_MTX);
        if (n > 1)
            clear_cr(I2c::I2CR_TXAK);
        rd(i2c_at + I2c::I2DR);
        for (size_t i = 0; i < n; ++i) {
            byte_done();
            if (i + 2 == n)
                set_cr(I2c::I2CR_TXAK);
            if (i + 1 == n)
                clear_cr(I2c::I2CR_MSTA);
            out.push_back(static_cast<uint8_t>(rd(i2c_at + I2c::I2DR)));
        }
        stop();
        return out;
    }

    // Polls with address-only transfers until the EEPROM answers; returns
    // the board time that took.
    Time poll_until_ack()
    {
        Time t0 = m.now();
        for (int i = 0; i < 2000; ++i) {
            bool ack = start(0xA0);
            wr(i2c_at + I2c::I2CR, 0);  // as the firmware: the controller off ends the poll
            if (ack)
                return m.now() - t0;
        }
        ADD_FAILURE() << "the EEPROM never acknowledged again";
        return 0;
    }

    bool reported(const std::string& text) const
    {
        for (const std::string& r : m.reports())
            if (r.find(text) != std::string::npos)
                return true;
        return false;
    }
};

// ---------------------------------------------------------------- I2C

TEST_F(SerialDeviceTest, AByteTakesNineClocksAtTheProgrammedDivider)
{
    const struct {
        uint32_t ifdr;
        unsigned divider;
    } cases[] = {{0x31, 192}, {0x00, 30}, {0x0E, 192}, {0x20, 22}, {0x1F, 3840}, {0x3F, 2048}};
    for (auto c : cases) {
        EXPECT_EQ(I2c::divider(c.ifdr), c.divider) << "IFDR 0x" << std::hex << c.ifdr;
        wr(i2c_at + I2c::IFDR, c.ifdr);
        const Time byte = 9 * static_cast<Time>(c.divider) * sim::kSecond / I2c::kModuleClockHz;
        wr(i2c_at + I2c::I2CR, I2c::I2CR_IEN | I2c::I2CR_MSTA | I2c::I2CR_MTX);
        wr(i2c_at + I2c::I2DR, 0x70);  // nobody there: timing only
        Time t0 = m.now();
        EXPECT_FALSE(i2sr() & I2c::I2SR_ICF) << "transfer complete set while the byte is on the wire";
        m.advance(byte - (m.now() - t0) - 200);
        EXPECT_FALSE(i2sr() & I2c::I2SR_IIF) << "IFDR 0x" << std::hex << c.ifdr << ": byte ended early";
        m.advance(400);
        EXPECT_TRUE(i2sr() & I2c::I2SR_IIF) << "IFDR 0x" << std::hex << c.ifdr << ": byte not done after 9 clocks";
        EXPECT_TRUE(i2sr() & I2c::I2SR_ICF);
        EXPECT_TRUE(i2sr() & I2c::I2SR_RXAK) << "an address nobody holds was acknowledged";
        wr(i2c_at + I2c::I2CR, 0);
    }
}

TEST_F(SerialDeviceTest, StatusFlagsFollowTheBus)
{
    EXPECT_EQ(i2sr(), I2c::I2SR_ICF | I2c::I2SR_RXAK) << "status after enable";
    set_cr(I2c::I2CR_MSTA | I2c::I2CR_MTX);
    EXPECT_TRUE(i2sr() & I2c::I2SR_IBB) << "start did not make the bus busy";
    EXPECT_TRUE(send(0xA0)) << "the EEPROM did not acknowledge its address";
    set_cr(I2c::I2CR_RSTA);
    EXPECT_EQ(i2cr() & I2c::I2CR_RSTA, 0u) << "RSTA must read as 0, or a later read-modify-write repeats the start";
    EXPECT_TRUE(send(0xA1));
    // A byte in receive mode raises IIF, and with IIEN the I2C interrupt
    // (source 39); writing 1 leaves the flag, writing 0 clears it.
    set_cr(I2c::I2CR_IIEN);
    clear_cr(I2c::I2CR_MTX);
    rd(i2c_at + I2c::I2DR);
    m.advance(100 * kMicrosecond);
    ASSERT_TRUE(i2sr() & I2c::I2SR_IIF) << "the byte read did not end";
    EXPECT_TRUE(rd(aitc_at + INTSRCH) & (1u << (kI2cIrq - 32))) << "IIF with IIEN did not raise the I2C interrupt";
    wr(i2c_at + I2c::I2SR, 0xFF);
    EXPECT_TRUE(i2sr() & I2c::I2SR_IIF) << "writing 1 cleared IIF";
    wr(i2c_at + I2c::I2SR, 0);
    EXPECT_FALSE(i2sr() & I2c::I2SR_IIF) << "writing 0 did not clear IIF";
    EXPECT_FALSE(rd(aitc_at + INTSRCH) & (1u << (kI2cIrq - 32))) << "the interrupt stayed after IIF was cleared";
    // Turning the module off lets go of the bus at once.
    wr(i2c_at + I2c::I2CR, 0);
    EXPECT_FALSE(i2sr() & I2c::I2SR_IBB);
}

TEST_F(SerialDeviceTest, EepromWriteCycleIsFoundByAcknowledgePolling)
{
    ASSERT_TRUE(eeprom_write(0x1234, {0x5A}));
    EXPECT_TRUE(eeprom.busy()) << "the stop did not start the write cycle";
    EXPECT_FALSE(start(0xA0)) << "the EEPROM answered inside its write cycle";
    wr(i2c_at + I2c::I2CR, 0);
    Time took = poll_until_ack();
    EXPECT_GT(took + 100 * kMicrosecond, sim::Eeprom::kWriteCycle - 200 * kMicrosecond)
        << "acknowledged long before the write cycle could have ended";
    EXPECT_LT(took, sim::Eeprom::kWriteCycle + 200 * kMicrosecond) << "polling went on after the cycle ended";
    EXPECT_EQ(read_from(0xA0, {0x12, 0x34}, 1), std::vector<uint8_t>{0x5A});
    EXPECT_EQ(eeprom.write_cycles(), 1u);
}

TEST_F(SerialDeviceTest, PageWritesWrapInsideTheirPageAndReadsAcrossTheEnd)
{
    std::vector<uint8_t> data;
    for (int i = 0; i < 20; ++i)
        data.push_back(static_cast<uint8_t>(0x80 + i));
    ASSERT_TRUE(eeprom_write(0x0270, data));  // 16 bytes to the page end, 4 wrap to 0x0260
    poll_until_ack();
    const uint8_t* e = eeprom.data();
    EXPECT_EQ(e[0x0270], 0x80);
    EXPECT_EQ(e[0x027F], 0x8F);
    EXPECT_EQ(e[0x0260], 0x90) << "bytes past the page end must wrap to the page's start";
    EXPECT_EQ(e[0x0263], 0x93);
    EXPECT_EQ(e[0x0280], 0xFF) << "the write ran into the next page";
    EXPECT_EQ(e[0x0264], 0xFF);
    EXPECT_EQ(eeprom.write_cycles(), 1u) << "one page, one write cycle";
    // Addresses wrap at 8 KiB; a sequential read runs over the end to 0.
    eeprom.data()[0x1FFF] = 0x11;
    eeprom.data()[0x0000] = 0x22;
    EXPECT_EQ(read_from(0xA0, {0xFF, 0xFF}, 2), (std::vector<uint8_t>{0x11, 0x22}));
    EXPECT_EQ(read_from(0xA0, {0x20, 0x00}, 1), std::vector<uint8_t>{0x22}) << "address 0x2000 is 0x0000";
}

// Only a stop starts the write cycle.  A transfer that ends otherwise
// stores nothing, and where data bytes were loaded the model says so; the
// transfers that load none (acknowledge polling, which switches the module
// off after the address, and the address half of a random read) pass
// silently.
TEST_F(SerialDeviceTest, AWriteWithoutItsStopStoresNothing)
{
    const auto write_0x77_to_0x10 = [this] {
        start(0xA0);
        send(0x00);
        send(0x10);
        send(0x77);
    };
    const auto off = [this] { wr(i2c_at + I2c::I2CR, 0); };
    struct Case {
        const char* how;
        std::function<void()> transfer;
        const char* report;  // null: none
    };
    const Case cases[] = {
        {"a repeated start instead of the stop",
         [&] {
             write_0x77_to_0x10();
             set_cr(I2c::I2CR_RSTA);
             send(0xA1);
             clear_cr(I2c::I2CR_MTX);
             clear_cr(I2c::I2CR_MSTA);
             stop();
         },
         "EEPROM: a start before the stop dropped the data bytes"},
        {"the module switched off instead of the stop, then acknowledge polling",
         [&] {
             write_0x77_to_0x10();
             off();
             poll_until_ack();
         },
         "EEPROM: a start before the stop dropped the data bytes"},
        {"the module switched off with the data byte on the wire",
         [&] {
             start(0xA0);
             send(0x00);
             send(0x10);
             wr(i2c_at + I2c::I2DR, 0x77);
             off();
             poll_until_ack();
         },
         "I2C: module switched off while a byte was on the wire"},
        {"acknowledge polling", [&] { poll_until_ack(); }, nullptr},
        {"the address alone, then the stop", [&] { eeprom_write(0x0010, {}); }, nullptr},
        {"a random read", [&] { read_from(0xA0, {0x00, 0x10}, 1); }, nullptr},
    };
    for (const Case& c : cases) {
        sim::Eeprom chip(m, "");  // each case on a chip of its own, whose reports are new
        i2c.attach(sim::Eeprom::kAddress, &chip);
        m.clear_reports();
        c.transfer();
        EXPECT_FALSE(chip.busy()) << c.how << ": a write cycle started";
        EXPECT_EQ(chip.write_cycles(), 0u) << c.how << ": a write cycle ran";
        m.advance(2 * sim::Eeprom::kWriteCycle);
        EXPECT_EQ(chip.data()[0x10], 0xFF) << c.how << ": the byte was stored";
        if (c.report)
            EXPECT_TRUE(reported(c.report)) << c.how << ": not reported; reports: "
                                            << (m.reports().empty() ? "none" : m.reports().front());
        else
            EXPECT_TRUE(m.reports().empty()) << c.how << ": " << m.reports().front();
        off();
        i2c.attach(sim::Eeprom::kAddress, &eeprom);
    }
    // The same write with its stop is stored.
    ASSERT_TRUE(eeprom_write(0x0010, {0x77}));
    poll_until_ack();
    EXPECT_EQ(eeprom.data()[0x10], 0x77);
    EXPECT_TRUE(m.reports().empty()) << m.reports().front();
}

TEST_F(SerialDeviceTest, EepromContentsLiveInItsFile)
{
    ASSERT_TRUE(eeprom_write(0x1005, {0xC4, 0x3B}));
    poll_until_ack();
    std::FILE* f = std::fopen(eeprom_path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> file(sim::Eeprom::kSize + 16);
    size_t n = std::fread(file.data(), 1, file.size(), f);
    std::fclose(f);
    EXPECT_EQ(n, sim::Eeprom::kSize) << "the EEPROM file is not the chip's size";
    EXPECT_EQ(file[0x1005], 0xC4) << "file offset = EEPROM address";
    EXPECT_EQ(file[0x1006], 0x3B);
    EXPECT_EQ(file[0x0000], 0xFF) << "a new EEPROM file is blank";
    // Another power-up on the same file finds the bytes.
    sim::Eeprom again(m, eeprom_path);
    EXPECT_EQ(again.data()[0x1005], 0xC4);
}

TEST_F(SerialDeviceTest, AShortEepromFileIsGrownBlank)
{
    std::string path = temp_file("short");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const uint8_t head[3] = {1, 2, 3};
    std::fwrite(head, 1, 3, f);
    std::fclose(f);
    {
        sim::Eeprom e(m, path);
        EXPECT_EQ(e.data()[0], 1);
        EXPECT_EQ(e.data()[2], 3);
        EXPECT_EQ(e.data()[3], 0xFF);
        EXPECT_EQ(e.data()[sim::Eeprom::kSize - 1], 0xFF);
    }
    ::unlink(path.c_str());
}

TEST_F(SerialDeviceTest, TemperatureSensorAnswersOnlyOnPlusEBoards)
{
    EXPECT_FALSE(start(0x3A)) << "a plain board has no temperature sensor";
    wr(i2c_at + I2c::I2CR, 0);
    sensor.present = true;
    const struct {
        double celsius;
        uint16_t word;
    } cases[] = {{25.0, 0x0190}, {0.0, 0x0000}, {-10.0, 0x1F60}, {99.9375, 0x063F}, {-0.0625, 0x1FFF}};
    for (auto c : cases) {
        sensor.set_celsius(c.celsius);
        std::vector<uint8_t> b = read_from(0x3A, {5}, 2);
        ASSERT_EQ(b.size(), 2u);
        EXPECT_EQ((b[0] << 8) | b[1], c.word) << "register 5 at " << c.celsius << " degrees";
    }
    EXPECT_FALSE(start(0x70)) << "nothing answers the capacitive controller's address yet";
    wr(i2c_at + I2c::I2CR, 0);
    EXPECT_TRUE(m.reports().empty()) << m.reports().front();
}

TEST_F(SerialDeviceTest, BusNeedsItsPinsAndItsClock)
{
    // PD17/PD18 as GPIO: the controller's lines reach nobody.
    wr(gpio_at + 0x300 + GIUS, 1u << 17);
    EXPECT_FALSE(start(0xA0)) << "the EEPROM answered with SDA taken over by the GPIO";
    wr(i2c_at + I2c::I2CR, 0);
    wr(gpio_at + 0x300 + GIUS, 0);
    wr(crm_at + PCCR0, rd(crm_at + PCCR0) & ~(1u << 12));
    wr(i2c_at + I2c::I2CR, I2c::I2CR_IEN | I2c::I2CR_MSTA | I2c::I2CR_MTX);
    wr(i2c_at + I2c::I2DR, 0xA0);
    m.advance(kMillisecond);
    EXPECT_FALSE(i2sr() & I2c::I2SR_IIF) << "a byte went out without the module clock";
    EXPECT_TRUE(reported("I2C: ")) << "running the controller without its clock was not reported";
}

TEST_F(SerialDeviceTest, UndecodedAccessesAreReported)
{
    const struct {
        uint32_t at;
        uint32_t off;
        unsigned size;
        bool write;
        const char* expect;
    } cases[] = {
        {i2c_at, 0x14, 4, false, "I2C: read32 at unknown offset +0x014"},
        {i2c_at, 0x08, 2, true, "I2C: 16-bit write at +0x008"},
        {spi_at, 0x20, 4, true, "CSPI1: write32 of"},
        {spi_at, 0x00, 4, true, "CSPI1: write32 of 0x00000000 to read-only register at +0x000"},
    };
    for (auto c : cases) {
        m.clear_reports();
        if (c.write)
            m.write(c.at + c.off, 0, c.size);
        else
            m.read(c.at + c.off, c.size);
        EXPECT_TRUE(reported(c.expect)) << "expected a report \"" << c.expect << "\""
                                        << (m.reports().empty() ? "" : ", got: " + m.reports().front());
    }
}

// ---------------------------------------------------------------- SPI flash

class SpiFlashTest : public SerialDeviceTest {
protected:
    void SetUp() override
    {
        SerialDeviceTest::SetUp();
        // PD28: a GPIO output, high (deselected).
        wr(gpio_at + 0x300 + DR, 1u << 28);
        wr(gpio_at + 0x300 + OCR2, 3u << 24);
        wr(gpio_at + 0x300 + GIUS, 1u << 28);
        wr(gpio_at + 0x300 + DDIR, 1u << 28);
        wr(spi_at + sim::Cspi::CONTROLREG, 0x00C04C67);
    }

    void select(bool on) { wr(gpio_at + 0x300 + DR, on ? 0 : 1u << 28); }

    // One exchange of up to eight bytes, with or without the chip selected.
    std::vector<uint8_t> exchange(const std::vector<uint8_t>& out, bool selected = true)
    {
        if (selected)
            select(true);
        for (uint8_t b : out)
            wr(spi_at + sim::Cspi::TXDATA, b);
        wr(spi_at + sim::Cspi::CONTROLREG, rd(spi_at + sim::Cspi::CONTROLREG) | sim::Cspi::CONTROL_XCH);
        for (int i = 0; i < 10000 && (rd(spi_at + sim::Cspi::CONTROLREG) & sim::Cspi::CONTROL_XCH); ++i)
            m.advance(kMicrosecond);
        std::vector<uint8_t> in;
        while (rd(spi_at + sim::Cspi::INTREG) & sim::Cspi::INTREG_RR)
            in.push_back(static_cast<uint8_t>(rd(spi_at + sim::Cspi::RXDATA)));
        if (selected)
            select(false);
        return in;
    }

    void wait_ready()
    {
        for (int i = 0; i < 100000 && (exchange({0x05, 0})[1] & 1); ++i)
            m.advance(10 * kMicrosecond);
    }
};

TEST_F(SpiFlashTest, IdentificationNamesAnEightMegabyteChip)
{
    Time t0 = m.now();
    std::vector<uint8_t> in = exchange({0x9F, 0, 0, 0});
    ASSERT_EQ(in.size(), 4u);
    EXPECT_EQ(in[1], 0x20);
    EXPECT_EQ(in[2], 0x20);
    EXPECT_EQ(in[3], 0x17) << "capacity code 0x17 (8 MiB)";
    // 8 bits at 33.25 MHz / 6 each.
    Time word = 8ull * 6 * sim::kSecond / sim::Cspi::kPerclk2Hz;
    EXPECT_GE(m.now() - t0, 4 * word);
    EXPECT_EQ(exchange({0x9F, 0, 0, 0}, false), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}))
        << "the chip answered without its chip select";
}

TEST_F(SpiFlashTest, ProgramNeedsWriteEnableAndOnlyClearsBits)
{
    flash.sector_erase_time = kMillisecond;
    exchange({0x02, 0x00, 0x01, 0x00, 0x12});
    EXPECT_FALSE(flash.busy()) << "page program ran without write enable";
    EXPECT_EQ(flash.data()[0x100], 0xFF);
    EXPECT_TRUE(reported("without write enable"));
    exchange({0x06});
    EXPECT_EQ(exchange({0x05, 0})[1], sim::SpiFlash::SR_WEL);
    exchange({0x02, 0x00, 0x01, 0xFE, 0x0F, 0xF0, 0x55});  // 0x1FE, 0x1FF, then wraps to 0x100
    EXPECT_TRUE(flash.busy());
    EXPECT_EQ(exchange({0x05, 0})[1] & sim::SpiFlash::SR_WIP, sim::SpiFlash::SR_WIP);
    wait_ready();
    EXPECT_EQ(exchange({0x05, 0})[1], 0) << "write enable latch must clear after the program";
    EXPECT_EQ(exchange({0x03, 0x00, 0x01, 0xFE, 0, 0}), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0xF0}));
    EXPECT_EQ(flash.data()[0x100], 0x55) << "page program must wrap inside its page";
    EXPECT_EQ(flash.data()[0x200], 0xFF);
    exchange({0x06});
    exchange({0x02, 0x00, 0x01, 0xFE, 0xF3});
    wait_ready();
    EXPECT_EQ(flash.data()[0x1FE], 0x03) << "programming can only clear bits";
    exchange({0x06});
    exchange({0xD8, 0x00, 0x01, 0x00});
    wait_ready();
    EXPECT_EQ(flash.data()[0x1FE], 0xFF) << "sector erase left data";
}

TEST_F(SpiFlashTest, NoExchangeWithoutTheClock)
{
    wr(crm_at + PCCR0, rd(crm_at + PCCR0) & ~(1u << 4));
    select(true);
    wr(spi_at + sim::Cspi::TXDATA, 0x9F);
    wr(spi_at + sim::Cspi::CONTROLREG, 0x00C04C67 | sim::Cspi::CONTROL_XCH);
    m.advance(kMillisecond);
    EXPECT_TRUE(rd(spi_at + sim::Cspi::CONTROLREG) & sim::Cspi::CONTROL_XCH) << "the port shifted without its clock";
    EXPECT_FALSE(rd(spi_at + sim::Cspi::INTREG) & sim::Cspi::INTREG_RR);
    EXPECT_TRUE(reported("CSPI1: exchange started while the port's clock is off"));
    select(false);
}

}  // namespace
