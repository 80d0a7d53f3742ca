// The controller's side of serial programming, as the PC program drives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/crc16.h"
#include "format/memimage.h"
#include "support/host.h"

namespace {

using fwtest::command;
using fwtest::send;
using fwtest::until_prompt;
using fwtest::until_text;
using fwtest::visible;

// A programming line for bytes, escaped as the PC program escapes them.
std::string escaped(const std::vector<uint8_t>& bytes)
{
    std::string s;
    for (uint8_t b : bytes) {
        switch (b) {
        case 0x00: s += " 0"; break;
        case 0x20: s += "  "; break;
        case 0x08: s += " B"; break;
        case 0x0A: s += " N"; break;
        case 0x0D: s += " R"; break;
        case 0x11: s += " X"; break;
        case 0x13: s += " Y"; break;
        case 0x1B: s += " ["; break;
        default: s += static_cast<char>(b);
        }
    }
    return s;
}

// Runs "xmp" with the given lines (each answered by "p>"), ending with " Q".
std::string program(sim::Board& b, const std::string& xmp, const std::vector<std::string>& lines)
{
    size_t from = b.uart1.sent.size();
    send(b.uart1, xmp + "\r");
    for (const std::string& l : lines) {
        until_text(b.uart1, from, "p>\r");
        from = b.uart1.sent.size();
        send(b.uart1, l + "\r");
    }
    until_text(b.uart1, from, "p>\r");
    from = b.uart1.sent.size();
    send(b.uart1, " Q\r");
    return until_prompt(b.uart1, from, 5 * sim::kSecond);
}

TEST(Programming, StoresAnImageValidityWordLast)
{
    sim::Board& b = fwtest::boot_to_prompt();
    EXPECT_EQ(visible(command("xma")), visible("29097984 131072 29097984 C8400000\r>\r"));
    EXPECT_EQ(visible(command("xmpmax")), visible("128\r>\r"));
    EXPECT_EQ(visible(command("*ctype")), visible("1\r>\r"));
    EXPECT_EQ(visible(command("xmc FEEC 0", 5 * sim::kSecond)), visible(":Erasing sector 0... done\r>\r"));

    // Every byte value once, then the header (written by the PC program
    // from offset 2 on; the validity word comes last).
    std::vector<uint8_t> image(8 + 256);
    ExtMemHeader h{EXTMEM_VALID_PLUS, 0, static_cast<uint32_t>(image.size())};
    std::memcpy(image.data(), &h, sizeof h);
    for (int i = 0; i < 256; ++i)
        image[8 + i] = static_cast<uint8_t>(i);
    std::vector<std::string> lines;
    for (size_t at = 2; at < image.size(); at += 64)
        lines.push_back(escaped(std::vector<uint8_t>(image.begin() + at, image.begin() + std::min(at + 64, image.size()))));
    EXPECT_EQ(visible(program(b, "xmp 0 2 0", lines)), visible(":invalid data in Flash\r!\r"))
        << "an image without its validity word must not go live";
    // The older model's word is stored as this controller's.
    EXPECT_EQ(visible(program(b, "xmp 0 0 0", {escaped({0xEB, 0xFE})})),
              visible(":loading 1KB bitmap/macro file from flash2\r>\r"));
    EXPECT_EQ(std::memcmp(b.machine.mem(0xC8400000, image.size()), image.data(), image.size()), 0)
        << "the store does not hold what was sent";
    char crc[16];
    std::snprintf(crc, sizeof crc, "0x%04X\r", CalcCRC(image.data(), image.size()));
    EXPECT_EQ(visible(command("*CEXT")), visible(std::string(crc) + ">\r"));
    std::snprintf(crc, sizeof crc, "0x%04X\r", CalcCRC(image.data(), 2));
    EXPECT_EQ(visible(command("*CEXT 0 1")), visible(std::string(crc) + ">\r"));
    EXPECT_EQ(visible(command("*CEXT 0")), visible(":missing argument\r!\r"));
    EXPECT_EQ(visible(command("*CEXT 5 4")), "!\\r");
    EXPECT_EQ(visible(command("*CEXT 0 1BC0000")), "!\\r") << "a range past the store";
    std::string load = command("*LOAD");
    EXPECT_EQ(visible(load), visible(":loading 1KB bitmap/macro file from flash2\r>\r"));
}

TEST(Programming, EscapesAndLineLimits)
{
    sim::Board& b = fwtest::boot_to_prompt();
    command("xmc FEEC 0", 5 * sim::kSecond);
    // blank-0 is 0x00, blank-blank 0x20, blank-Z is Z.
    program(b, "xmp 0 10 0", {" 0  " " Zy"});
    const uint8_t* p = b.machine.mem(0xC8400010, 5);
    EXPECT_EQ(p[0], 0x00);
    EXPECT_EQ(p[1], 0x20);
    EXPECT_EQ(p[2], 'Z');
    EXPECT_EQ(p[3], 'y');
    EXPECT_EQ(p[4], 0xFF) << "nothing beyond the line";
    // The flash takes whole words: an odd line is told, then refused by
    // the store as a failed write, unwritten.
    size_t from = b.uart1.sent.size();
    send(b.uart1, "xmp 0 30 0\r");
    until_text(b.uart1, from, "p>\r");
    send(b.uart1, "abc\r");
    std::string got = until_text(b.uart1, from, ")\r!\r");
    EXPECT_NE(got.find("\r!Internal error - odd flash write\r!Write to external memory failed! (3 bytes @ "
                       "0x00000030)\r!\r"),
              std::string::npos)
        << visible(got);
    EXPECT_EQ(b.machine.mem(0xC8400030, 1)[0], 0xFF) << "an odd line must not be written";
    // 128 bytes that each need an escape make the longest line there is.
    program(b, "xmp 0 100 0", {escaped(std::vector<uint8_t>(128, 0))});
    const uint8_t* z = b.machine.mem(0xC8400100, 130);
    EXPECT_EQ(std::count(z, z + 128, 0), 128) << "a full line of escaped zeros";
    EXPECT_EQ(z[128], 0xFF);
    // One character more is over-long: refused, not programmed.
    from = b.uart1.sent.size();
    send(b.uart1, "xmp 0 200 0\r");
    until_text(b.uart1, from, "p>\r");
    send(b.uart1, std::string(258, 'a') + "\r");
    got = until_text(b.uart1, from, "overflowed!\r>\r");
    EXPECT_NE(got.find("Input buffer overflowed!\r>\r"), std::string::npos) << visible(got);
    EXPECT_EQ(b.machine.mem(0xC8400200, 1)[0], 0xFF);
    // EB FE anywhere but at offset 0 stays as sent.
    program(b, "xmp 0 20 0", {escaped({0xEB, 0xFE})});
    EXPECT_EQ(b.machine.mem(0xC8400020, 1)[0], 0xEB);
    // More than 128 bytes on a line end programming mode unwritten.
    from = b.uart1.sent.size();
    send(b.uart1, "xmp 0 40 0\r");
    until_text(b.uart1, from, "p>\r");
    send(b.uart1, std::string(130, 'a') + "\r");
    got = until_text(b.uart1, from, "overflowed!\r>\r");
    EXPECT_NE(got.find("\rInput buffer overflowed!\r>\r"), std::string::npos) << visible(got);
    EXPECT_EQ(b.machine.mem(0xC8400040, 1)[0], 0xFF) << "an overflowing line must not be written";
    // Past the end of the store.
    from = b.uart1.sent.size();
    send(b.uart1, "xmp 1BB FFFE 0\r");
    until_text(b.uart1, from, "p>\r");
    send(b.uart1, "abcd\r");
    got = until_text(b.uart1, from, "memory!\r>\r");
    EXPECT_NE(got.find("\rCannot write past end of external memory!\r>\r"), std::string::npos) << visible(got);
    EXPECT_EQ(b.machine.mem(0xC95BFFFE, 2)[0], 0xFF) << "the bytes before the end must not be written either";
}

TEST(Programming, KeyAloneErasesTheFirstEightMegabytes)
{
    sim::Board& b = fwtest::boot_to_prompt();
    program(b, "xmp 0 0 0", {"ab"});
    program(b, "xmp 7E 0 0", {"cd"});
    program(b, "xmp 80 0 0", {"ef"});
    ASSERT_EQ(b.machine.mem(0xC8C00000, 1)[0], 'e');
    EXPECT_EQ(visible(command("xmc FEEC", 60 * sim::kSecond)), visible(":Erasing chip... done\r>\r"));
    EXPECT_EQ(b.machine.mem(0xC8400000, 1)[0], 0xFF) << "sector 0 must be erased";
    EXPECT_EQ(b.machine.mem(0xC8BE0000, 1)[0], 0xFF) << "sector 63 must be erased";
    EXPECT_EQ(b.machine.mem(0xC8C00000, 1)[0], 'e') << "sector 64 lies beyond what the key alone erases";
}

TEST(Programming, EraseChecksItsArguments)
{
    fwtest::boot_to_prompt();
    struct Case {
        const char* line;
        const char* reply;
    };
    for (Case c : {Case{"xmc 1234", ":invalid argument\r!\r"},
                   Case{"xmc FEEB 222", ":sector arg 222 >= max 222\r!\r"},
                   Case{"xmc FEEC 222", ":Erasing sector 222...\r:Erase sector 222 failed\r!\r"},
                   Case{"xmc FEEC -1", ":Erasing sector -1...\r:Erase sector -1 failed\r!\r"},
                   Case{"bdld 5 0 10 100", "!\r"},
                   Case{"ls", ":External Memory not valid\r!\r"},
                   Case{"lsanything", ":External Memory not valid\r!\r"}})
        EXPECT_EQ(visible(command(c.line, 5 * sim::kSecond)), visible(c.reply)) << c.line;
}

TEST(Programming, CrcOfTheScreenAndFirmwareAreas)
{
    sim::Board& b = fwtest::boot_to_prompt();
    char crc[16];
    std::snprintf(crc, sizeof crc, "0x%04X\r", CalcCRC(b.machine.mem(0xC3E00000, 800 * 480 * 2), 800 * 480 * 2));
    EXPECT_EQ(visible(command("*CRC")), visible(std::string(crc) + ">\r"));
    std::snprintf(crc, sizeof crc, "0x%04X\r", CalcCRC(b.machine.mem(0xC8000000, 0x20000), 0x20000));
    EXPECT_EQ(visible(command("*CSUMB")), visible(std::string(crc) + ">\r"));
}

TEST(Programming, PreviousConsoleReturnsToUartOne)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    send(b.uart1, "*prevCons\r");
    b.machine.run_for(20 * sim::kMillisecond);
    EXPECT_EQ(b.uart1.sent_text(from), "") << "*prevCons answers with no prompt";
    EXPECT_EQ(visible(command("vers")).substr(0, 4), "VELM") << "UART1 stays the command port after start-up";
}

}  // namespace
