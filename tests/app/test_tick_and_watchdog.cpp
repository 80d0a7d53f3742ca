// CRC-16, the trace ring, the host-silence watchdog and the raw downloads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/KM_com.h"
#include "app/KM_debug.h"
#include "app/KM_reply.h"
#include "app/Main.h"
#include "app/crc16.h"
#include "support/host.h"

namespace {

using fwtest::command;
using fwtest::send;
using fwtest::visible;
using sim::kMillisecond;
using sim::kSecond;

TEST(Crc16, CheckValues)
{
    struct Case {
        const char* text;
        uint16_t crc;
    };
    for (Case c : {Case{"123456789", 0x4B37}, Case{"abc", 0x5749}, Case{"", 0xFFFF}})
        EXPECT_EQ(CalcCRC(reinterpret_cast<const uint8_t*>(c.text), std::strlen(c.text)), c.crc) << c.text;
    // Continuing from a seed gives the CRC of the whole.
    const uint8_t* d = reinterpret_cast<const uint8_t*>("123456789");
    EXPECT_EQ(CalcCRCwithSeed(d + 4, 5, CalcCRC(d, 4)), 0x4B37);
}

TEST(TraceRing, KeepsTheNewestThirtyNine)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    fwtest::on_firmware([] {
        for (int i = 0; i < 45; ++i)
            addToRing(i, 10 * i, 100 * i);
        flushRing();
    });
    std::string out = b.uart1.sent_text(from);
    EXPECT_EQ(out.find("5:x=   50;"), std::string::npos) << "entry 5 should have been dropped: " << visible(out);
    EXPECT_NE(out.find("6:x=   60;y=  600"), std::string::npos) << visible(out);
    EXPECT_NE(out.find("44:x=  440;y= 4400"), std::string::npos) << visible(out);
    EXPECT_EQ(out.substr(0, 14), "Ring (6->5):6:") << visible(out);
}

TEST(Watchdog, ShortAndLongSilenceAndTheReturnOfTheHost)
{
    sim::Board& b = fwtest::boot_to_prompt();
    fwtest::on_firmware([] { setupCommWatchDog(3, 10, 60); });
    auto flags = [] { return commWatchDog.flags; };
    b.machine.run_for(9 * kSecond);
    EXPECT_EQ(flags(), WDT_ARMED) << "nothing fires before the short silence";
    b.machine.run_for(2 * kSecond);
    EXPECT_EQ(flags(), WDT_ARMED | WDT_SHORT_FIRED) << "short silence after 10 s";
    b.machine.run_for(48 * kSecond);
    EXPECT_EQ(flags(), WDT_ARMED | WDT_SHORT_FIRED) << "still short at 59 s";
    b.machine.run_for(2 * kSecond);
    EXPECT_EQ(flags(), WDT_ARMED | WDT_LONG_FIRED) << "long silence after 60 s replaces the short one";
    b.machine.run_for(120 * kSecond);
    EXPECT_EQ(flags(), WDT_ARMED | WDT_LONG_FIRED) << "nothing more until the host is back";
    // The line runs ":lt_up" (there is no macro 3, which the macro engine
    // says) and is then executed.
    EXPECT_NE(visible(command("vers")).find("VELM5-PLUS"), std::string::npos);
    EXPECT_EQ(flags(), WDT_ARMED) << "activity returns the watchdog to quiet";
    // The stamp was renewed: the next short silence counts from the line.
    b.machine.run_for(9 * kSecond);
    EXPECT_EQ(flags(), WDT_ARMED);
    b.machine.run_for(2 * kSecond);
    EXPECT_EQ(flags(), WDT_ARMED | WDT_SHORT_FIRED);
    fwtest::on_firmware([] { disableCommWatchDog(); });
    EXPECT_EQ(flags() & WDT_ARMED, 0);
}

TEST(Watchdog, CommandChecksItsArguments)
{
    fwtest::boot_to_prompt();
    struct Case {
        const char* line;
        const char* reply;
    };
    for (Case c : {Case{"*comwdt 3 10", "bad macro index number\r!\r"},
                   Case{"*comwdt nosuch 10", ":No macros loaded\rbad macro name\r!\r"},
                   Case{"*comwdt off", ">\r"}})
        EXPECT_EQ(visible(command(c.line)), visible(c.reply)) << c.line;
}

// A download started on the firmware thread; the test feeds it.
struct Download {
    int result = -1;
};

void start_ram_download(Download* d, uint32_t dest, int32_t count, int32_t timeout)
{
    sim::Machine::instance().post([=] { d->result = doBlockBinDownload(dest, count, timeout); });
}

TEST(Downloads, ChunkGapsAreBoundedByTheTimeOut)
{
    sim::Board& b = fwtest::boot_to_prompt();
    uint8_t* slot0 = b.machine.mem(RAM_SLOT_BASE, 256);
    ASSERT_NE(slot0, nullptr);
    Download ok;
    size_t from = b.uart1.sent.size();
    start_ram_download(&ok, RAM_SLOT_BASE, 256, 1000);
    b.machine.run_for(5 * kMillisecond);
    EXPECT_EQ(visible(b.uart1.sent_text(from)), ">\\r") << "the download asks for its data";
    std::string data;
    for (int i = 0; i < 256; ++i)
        data += static_cast<char>(i);
    send(b.uart1, data.substr(0, 128));
    b.machine.run_for(900 * kMillisecond);
    send(b.uart1, data.substr(128));
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(ok.result, 1) << "chunks 900 ms apart are within a 1000 ms time-out";
    EXPECT_EQ(std::memcmp(slot0, data.data(), 256), 0);

    Download late;
    start_ram_download(&late, RAM_SLOT_BASE, 256, 1000);
    b.machine.run_for(5 * kMillisecond);
    send(b.uart1, data.substr(0, 128));
    b.machine.run_for(1100 * kMillisecond);
    EXPECT_EQ(late.result, 0) << "a gap beyond the time-out fails the download";
    EXPECT_EQ(visible(command("vers")).substr(0, 4), "VELM") << "the port is back in text mode";
}

TEST(Downloads, MustFitTheirSlot)
{
    sim::Board& b = fwtest::boot_to_prompt();
    struct Case {
        uint32_t dest;
        int32_t count;
        const char* why;
    };
    const Case refused[] = {
        {RAM_SLOT_BASE + RAM_SLOT_SIZE - 16, 32, "crosses into the next slot"},
        {RAM_SLOT_BASE - 4, 8, "starts below the slots"},
        {RAM_SLOT_BASE + 4 * RAM_SLOT_SIZE, 8, "starts above the slots"},
        {RAM_SLOT_BASE, -5, "negative count"},
    };
    for (const Case& c : refused) {
        Download d;
        size_t from = b.uart1.sent.size();
        start_ram_download(&d, c.dest, c.count, 1000);
        b.machine.run_for(5 * kMillisecond);
        EXPECT_EQ(d.result, 0) << c.why;
        EXPECT_EQ(b.uart1.sent_text(from), "") << c.why << ": nothing may be asked for";
    }
}

TEST(Downloads, ACountOfZeroSucceedsAtOnce)
{
    sim::Board& b = fwtest::boot_to_prompt();
    struct Case {
        const char* line;
        const char* reply;
    };
    // The download asks for its data with ">", then the command's prompt
    // follows: nothing was to come.
    for (Case c : {Case{"bdld 0 0 0 1000", ">\r>\r"}, Case{"bdld 3 FFF0 0 1000", ">\r>\r"},
                   Case{"bdld 4 0 0 1000", ">\r>\r"}, Case{"bdld 4 100 0 0", ">\r>\r"},
                   Case{"bdld 0 0 -1 1000", "!\r"}, Case{"bdld 4 0 -1 1000", "!\r"}}) {
        size_t from = b.uart1.sent.size();
        send(b.uart1, std::string(c.line) + "\r");
        b.machine.run_for(100 * kMillisecond);
        EXPECT_EQ(visible(b.uart1.sent_text(from)), visible(c.reply)) << c.line;
        EXPECT_EQ(visible(command("vers")).substr(0, 4), "VELM") << "the port is in text mode after " << c.line;
    }
    EXPECT_EQ(b.machine.mem(0xC8400000, 1)[0], 0xFF) << "an empty download into the store programmed something";
}

}  // namespace
