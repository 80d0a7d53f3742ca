// The command port as a host sees it: framing, prompts, flow control,
// CRC-prefixed lines, binary commands, RS-485 and the port swap.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/KM_com.h"
#include "app/KM_reply.h"
#include "app/Main.h"
#include "app/crc16.h"
#include "storage/KM_eeprom.h"
#include "support/host.h"
#include "support/image_builder.h"

namespace {

using fwtest::command;
using fwtest::send;
using fwtest::until_prompt;
using fwtest::visible;
using sim::kMillisecond;

const std::string kVersion = "VELM5-PLUS V1.5.8 WVGA \r";

std::string crc_line(const std::string& cmd)
{
    std::string body = cmd + "\r";
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", CalcCRC(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
    return "~" + std::string(hex) + cmd;
}

TEST(CommandLoop, RepliesToEachKindOfLine)
{
    fwtest::boot_to_prompt();
    struct Case {
        std::string line, reply, why;
    };
    const std::vector<Case> cases = {
        {"vers", kVersion + ">\r", "version"},
        {"   vers   // trailing comment", kVersion + ">\r", "blanks and comment cut"},
        {"w 5", ">\r", "w accepted"},
        {"nonsense", "!\r", "unknown keyword"},
        {"", ">\r", "empty line"},
        {"    ", ">\r", "blanks only"},
        {"// only a comment", ">\r", "comment only"},
        {"*SERR", "!\r", "receive-error word"},
        {"*IERR", "#\r", "internal-error word"},
        {"vers\x08\x08rs", kVersion + ">\r", "backspaces edit the line"},
        {"\x08vers", kVersion + ">\r", "backspace at the start is ignored"},
        {"\nvers", kVersion + ">\r", "a leading LF is skipped"},
        {crc_line("vers"), kVersion + ">\r", "good CRC prefix"},
        {"~0000vers", "#\r", "bad CRC prefix"},
        {"~12", "#\r", "CRC line of five characters or fewer"},
        {crc_line(""), ">\r", "CRC of a lone CR runs an empty command"},
        {std::string(140, 'x'), "!\r", "over-long line"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(visible(command(c.line)), visible(c.reply)) << c.why << ": \"" << visible(c.line) << "\"";
}

TEST(CommandLoop, EmptyLineIsAnsweredAfterTenMilliseconds)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    send(b.uart1, "\r");
    sim::Time sent_at = b.machine.now();
    until_prompt(b.uart1, from);
    ASSERT_GT(b.uart1.sent.size(), from);
    EXPECT_GE(b.uart1.sent.back().time - sent_at, 10 * kMillisecond);
}

TEST(CommandLoop, AbortDiscardsQueuedLines)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    // The empty line keeps the loop busy for 10 ms while the rest queues up.
    send(b.uart1, "\rvers\rvers\r*abt\r");
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(visible(b.uart1.sent_text(from)), visible(">\r>\r")) << "queued lines survived *abt";
}

TEST(CommandLoop, BinaryCommandTakesExactlyItsBytes)
{
    sim::Board& b = fwtest::boot_to_prompt();
    // Lead byte 0x82: two data bytes follow, a CR among them.  No binary
    // command is known yet, so it fails; the CR must not end a line.
    size_t from = b.uart1.sent.size();
    send(b.uart1, std::string("\x82\r\r", 3) + "vers\r");
    std::string got = fwtest::until_text(b.uart1, from, kVersion + ">\r");
    EXPECT_EQ(visible(got), visible("!\r" + kVersion + ">\r"));
    // The same byte inside a text line is text.
    EXPECT_EQ(visible(command("ve\x82rs")), "!\\r");
}

TEST(CommandLoop, UnfinishedBinaryCommandIsDiscardedOnceItStalls)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    send(b.uart1, "\x85" "ab");
    // Bytes that keep coming are collected, not discarded.
    b.machine.run_for(5 * kMillisecond);
    EXPECT_EQ(b.uart1.sent_text(from), "") << "a binary command still arriving was given up";
    EXPECT_EQ(visible(until_prompt(b.uart1, from)), "!\\r");
    EXPECT_EQ(visible(command("vers")), visible(kVersion + ">\r")) << "the next line is read normally";
}

TEST(CommandLoop, OverflowIsReportedAndTheRingEmptied)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    send(b.uart1, std::string(513, 'a'));
    std::string got = until_prompt(b.uart1, from, 2 * sim::kSecond);
    // XOFF goes out once more than 384 bytes are held.
    EXPECT_EQ(visible(got), visible("\x13^\r"));
    EXPECT_EQ(rxCount, 0);
    EXPECT_EQ(visible(command("vers")), visible("\x11" + kVersion + ">\r")) << "XON once the ring has room";
}

TEST(CommandLoop, FlowControlHoldsAndReleasesTheHost)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    send(b.uart1, std::string(385, 'a'));
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(visible(b.uart1.sent_text(from)), "\\x13") << "one XOFF above 384 bytes held";
    send(b.uart1, "\r");  // the over-long line is refused
    EXPECT_EQ(visible(until_prompt(b.uart1, from)), visible("\x13!\r"));
    from = b.uart1.sent.size();
    EXPECT_EQ(visible(command("vers")), visible("\x11" + kVersion + ">\r")) << "XON before the next reply";
    EXPECT_EQ(visible(command("vers")), visible(kVersion + ">\r")) << "XON only once";
}

TEST(CommandLoop, HostXoffHoldsAReplyAboutAHundredMilliseconds)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    send(b.uart1, "\x13vers\r");
    sim::Time t0 = b.machine.now();
    until_prompt(b.uart1, from);
    ASSERT_GT(b.uart1.sent.size(), from);
    sim::Time first = b.uart1.sent[from].time - t0;
    EXPECT_GE(first, 100 * kMillisecond);
    EXPECT_LE(first, 115 * kMillisecond);
    // XON lets replies go at once.
    from = b.uart1.sent.size();
    send(b.uart1, "\x13\x11vers\r");
    t0 = b.machine.now();
    until_prompt(b.uart1, from);
    EXPECT_LT(b.uart1.sent[from].time - t0, 5 * kMillisecond);
}

TEST(CommandLoop, ReceiveErrorIsAnsweredWithQuestionMark)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    // A host at the wrong rate produces framing errors.
    send(b.uart1, "vers\r", 9600);
    b.machine.run_for(50 * kMillisecond);
    std::string got = b.uart1.sent_text(from);
    EXPECT_EQ(got.substr(0, 2), "?\r") << visible(got);
    EXPECT_EQ(got.find("VELM"), std::string::npos) << "garbled bytes were taken as a command";
    EXPECT_EQ(visible(command("vers")), visible(kVersion + ">\r")) << "a host at the right rate gets through";
}

TEST(CommandLoop, EscapeCrAtPowerUpStillGivesThePrompt)
{
    sim::Board& b = fwtest::boot();
    send(b.uart1, "\x1b\r");
    std::string got = until_prompt(b.uart1, 0, 5 * sim::kSecond);
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(visible(got.substr(got.size() - 2)), ">\\r") << visible(got);
    EXPECT_EQ(visible(command("vers")), visible(kVersion + ">\r"));
}

TEST(CommandLoop, BytesArriveAtTheLinePace)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    sim::Time t0 = b.machine.now();
    send(b.uart1, "vers\r");
    until_prompt(b.uart1, from);
    // 5 bytes in and 26 out at 115200 bit/s, 10 bits a byte.
    sim::Time wire = (5 + 26) * 10 * sim::kSecond / 115200;
    sim::Time took = b.uart1.sent.back().time - t0;
    EXPECT_GE(took, wire);
    EXPECT_LE(took, wire + 2 * kMillisecond);
}

// ---------------------------------------------------------------- ports

TEST(Ports, ThreeEscapesOnTheAuxPortSwapThePorts)
{
    sim::Board& b = fwtest::boot_to_prompt();
    // The escape character is CR by default.
    send(b.uart2, "\r\rx\r\r");
    b.machine.run_for(20 * kMillisecond);
    EXPECT_EQ(mainIsUart0, 1) << "an interrupted run of escapes must not swap";
    send(b.uart2, "\r");
    b.machine.run_for(20 * kMillisecond);
    EXPECT_EQ(mainIsUart0, 0);
    EXPECT_EQ(visible(command(b.uart2, "vers")), visible(kVersion + ">\r"));
    size_t from = b.uart1.sent.size();
    send(b.uart1, "vers\r");
    b.machine.run_for(20 * kMillisecond);
    EXPECT_EQ(b.uart1.sent.size(), from) << "UART1 is the aux port now";
    // And back.
    send(b.uart1, "\r\r\r");
    b.machine.run_for(20 * kMillisecond);
    EXPECT_EQ(mainIsUart0, 1);
    EXPECT_EQ(visible(command(b.uart1, "vers")), visible(kVersion + ">\r"));
}

// ---------------------------------------------------------------- RS-485

sim::Board& boot_rs485(uint8_t address, const fwtest::BootOptions& options = {})
{
    sim::Board& b = fwtest::boot_to_prompt(options);
    fwtest::on_firmware([address] {
        eepromData.rs485Mode = 'Z';
        eepromData.rs485Start = '%';
        eepromData.rs485Address = address;
        Init_485mode();
    });
    return b;
}

TEST(Rs485, FramesForThisUnitAreAnsweredWithThePrefix)
{
    sim::Board& b = boot_rs485(0x23);
    ASSERT_EQ(mainIsUart0, 0) << "RS-485 runs on UART2";
    struct Case {
        std::string frame, reply, why;
    };
    const std::vector<Case> cases = {
        {"%23vers", "%FF" + kVersion, "own address: the data reply stands for the prompt"},
        {"%23nonsense", "%FF!\r", "own address, unknown command"},
        {"%24vers", "", "other unit"},
        {"%13vers", "", "other group"},
        {"junk%23w 1", "%FF>\r", "noise before the start of frame"},
        {"%2", "", "short frame"},
        {"%1?", "", "malformed address"},
    };
    for (const Case& c : cases) {
        size_t from = b.uart2.sent.size();
        send(b.uart2, c.frame + "\r");
        b.machine.run_for(50 * kMillisecond);
        EXPECT_EQ(visible(b.uart2.sent_text(from)), visible(c.reply)) << c.why;
    }
    EXPECT_TRUE(b.uart1.sent_text().find("%FF") == std::string::npos) << "nothing RS-485 on UART1";
}

TEST(Rs485, GroupPollIsAnsweredInTheUnitsSlot)
{
    sim::Board& b = boot_rs485(0x23);
    size_t from = b.uart2.sent.size();
    send(b.uart2, "%?1\r");
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(b.uart2.sent_text(from), "") << "a poll for another group must get nothing";
    from = b.uart2.sent.size();
    send(b.uart2, "%?2\r");
    sim::Time t0 = b.machine.now();
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(visible(b.uart2.sent_text(from)), visible("%FFSOF25ADR23\r"));
    ASSERT_GT(b.uart2.sent.size(), from);
    // Unit 3 answers after three slots, each longer than one reply (14
    // characters at 115200 bit/s) so the units of a group never collide.
    sim::Time reply_time = 14 * 10 * sim::kSecond / 115200;
    sim::Time started = b.uart2.sent[from].time - t0;
    EXPECT_GE(started, 3 * reply_time);
    EXPECT_LE(started, 3 * 3 * kMillisecond + 2 * kMillisecond);
}

TEST(Rs485, MacroCommandGetsItsPromptFirstAndOnlyOnce)
{
    sim::Board& b = boot_rs485(0x23);
    size_t from = b.uart2.sent.size();
    send(b.uart2, "%23m1\r");
    b.machine.run_for(50 * kMillisecond);
    // No macro 1 exists: the early prompt, then the failure.
    EXPECT_EQ(visible(b.uart2.sent_text(from)), visible("%FF>\r%FF:macro index 1 not valid\r%FF!\r"));
}

TEST(Rs485, NoFlowControlOnTheBus)
{
    sim::Board& b = boot_rs485(0x23);
    size_t from = b.uart2.sent.size();
    send(b.uart2, std::string(400, 'a'));
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(visible(b.uart2.sent_text(from)), "") << "XOFF must never go out on an RS-485 bus";
    send(b.uart2, "\r%23vers\r");
    b.machine.run_for(100 * kMillisecond);
    EXPECT_EQ(b.uart2.sent_text(from).find('\x11'), std::string::npos) << "nor XON";
}

TEST(Rs485, UartTwoRepliesKeepComing)
{
    sim::Board& b = boot_rs485(0x23);
    for (int i = 0; i < 3; ++i) {
        size_t from = b.uart2.sent.size();
        send(b.uart2, "%23vers\r");
        b.machine.run_for(50 * kMillisecond);
        EXPECT_EQ(visible(b.uart2.sent_text(from)), visible("%FF" + kVersion)) << "reply " << i + 1;
    }
    EXPECT_EQ(b.gpio.level(sim::Gpio::PORT_E, 4), 0) << "RS-485 driver left on after the reply";
}

TEST(Rs485, ReportsQueueUntilTheNextReply)
{
    sim::Board& b = boot_rs485(0x23);
    fwtest::on_firmware([] {
        txNotify("r1\r");
        txNotify("x2\r");
    });
    size_t from = b.uart2.sent.size();
    b.machine.run_for(20 * kMillisecond);
    EXPECT_EQ(b.uart2.sent_text(from), "") << "reports must wait for the host";
    send(b.uart2, "%23w 1\r");
    b.machine.run_for(50 * kMillisecond);
    EXPECT_EQ(visible(b.uart2.sent_text(from)), visible("%FFr1\r%FFx2\r"))
        << "queued reports come before the reply, which they replace";
}

// A unit with macros in its memory image: 1 answers with "out", 2 has a
// line whose listing does not fit into one send.
sim::Board& boot_rs485_with_macros()
{
    fwtest::BootOptions o;
    o.flash_image = fwtest::build_image({}, {{1, "pon", {"out \"PON\\r\""}},
                                             {2, "", {"w 1 // " + std::string(113, 'c')}}});
    return boot_rs485(0x23, o);
}

TEST(Rs485, FramesAfterABinaryCommandAreAnswered)
{
    sim::Board& b = boot_rs485_with_macros();
    struct Case {
        std::string frame, reply, why;
    };
    const std::vector<Case> cases = {
        {std::string("%23\x82M\x01\r", 7), "%FF>\rPON\r", "binary call of macro 1"},
        {std::string("%23\x82M\x0d\r", 7), "%FF>\r%FF:macro index 13 not valid\r%FF!\r",
         "binary call of macro 13, whose number is a CR"},
    };
    for (const Case& c : cases) {
        size_t from = b.uart2.sent.size();
        send(b.uart2, c.frame);
        b.machine.run_for(50 * kMillisecond);
        EXPECT_EQ(visible(b.uart2.sent_text(from)), visible(c.reply)) << c.why;
        for (int i = 1; i <= 2; ++i) {
            from = b.uart2.sent.size();
            send(b.uart2, "%23vers\r");
            b.machine.run_for(50 * kMillisecond);
            EXPECT_EQ(visible(b.uart2.sent_text(from)), visible("%FF" + kVersion))
                << "frame " << i << " after the " << c.why << " went unanswered";
        }
    }
}

// A unit put on the bus as a host does it: "*rs485" on the command port,
// with the start-of-frame character sof and the address 23.
sim::Board& boot_rs485_by_command(char sof)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    send(b.uart1, std::string("*rs485 ") + sof + "23\r");
    fwtest::until_text(b.uart1, from, "ADR 23\r");
    // The setting is saved to the EEPROM before the unit listens again.
    b.machine.run_for(500 * kMillisecond);
    return b;
}

TEST(Rs485, FrameRightBehindOneForAnotherUnitIsAnswered)
{
    sim::Board& b = boot_rs485_by_command('@');
    struct Case {
        std::string before, why;
    };
    const std::vector<Case> cases = {
        {"@24o\r", "a frame for another unit"},
        {"@FF>\r", "another unit's prompt"},
        {"@?1\r", "a poll of another group"},
        {"@FFe1\r", "another unit's report"},
    };
    // The two frames come in one write, so the second one's bytes follow the
    // first one's CR at the line's pace; each round starts at another moment
    // of the idle unit's millisecond.
    for (const Case& c : cases) {
        for (int round = 0; round < 10; ++round) {
            b.machine.run_for(3 * kMillisecond + round * 97 * sim::kMicrosecond);
            size_t from = b.uart2.sent.size();
            send(b.uart2, c.before + "@23vers\r");
            std::string got = fwtest::until_text(b.uart2, from, kVersion, 50 * kMillisecond);
            EXPECT_EQ(visible(got), visible("@FF" + kVersion))
                << "vers behind " << c.why << " (\"" << visible(c.before) << "\") went unanswered in round "
                << round + 1;
        }
    }
}

TEST(Rs485, FrameComingInBehindOneForAnotherUnitWhileBusyIsAnswered)
{
    sim::Board& b = boot_rs485_by_command('@');
    // An empty frame keeps the unit busy for 10 ms; the two frames come in
    // one write towards its end, so that the loop finds the first one whole
    // and the second one partly received, at each of the points it can.
    for (int round = 0; round < 40; ++round) {
        size_t from = b.uart2.sent.size();
        send(b.uart2, "@23\r");
        b.machine.run_for(9 * kMillisecond + round * 50 * sim::kMicrosecond);
        send(b.uart2, "@24o\r@23vers\r");
        std::string got = fwtest::until_text(b.uart2, from, kVersion, 50 * kMillisecond);
        EXPECT_EQ(visible(got), visible("@FF>\r@FF" + kVersion))
            << "vers behind a frame for another unit, both sent " << 9000 + round * 50
            << " us after a busy line, went unanswered";
    }
}

TEST(Rs485, BrokenFrameIsDroppedWholeAndEveryFrameAfterItAnswered)
{
    sim::Board& b = boot_rs485_by_command('Z');
    struct Case {
        std::string frame, why;
    };
    const std::vector<Case> cases = {
        {std::string("Z2\0\r", 4), "a NUL for the address's second digit"},
        {std::string("Z\0\r", 3), "a NUL for the address"},
        {std::string("Z24\0vers\r", 9), "a NUL in a frame for another unit"},
        {std::string("\0Z\0\0\0\r", 6), "NULs only"},
        {"Z2\r", "an address cut short"},
        {"Z\r", "no address"},
        {"Z?\r", "a group poll without its group"},
        {"Z2x vers\r", "an address that is no hex digit"},
        {"Zz3vers\r", "a lower-case address"},
        {"noise\r", "a line without start of frame"},
    };
    const std::string answer = "ZFF" + kVersion;
    for (const Case& c : cases) {
        size_t from = b.uart2.sent.size();
        send(b.uart2, c.frame);
        b.machine.run_for(20 * kMillisecond);
        EXPECT_EQ(visible(b.uart2.sent_text(from)), "") << c.why << " was answered";
        for (int i = 1; i <= 5; ++i) {
            from = b.uart2.sent.size();
            send(b.uart2, "Z23vers\r");
            std::string got = fwtest::until_text(b.uart2, from, kVersion, 50 * kMillisecond);
            EXPECT_EQ(visible(got), visible(answer))
                << "frame " << i << " after " << c.why << " (\"" << visible(c.frame) << "\") went unanswered";
        }
    }
}

TEST(Rs485, ListingsFrameEachLineOnce)
{
    sim::Board& b = boot_rs485_with_macros();
    const std::string controls(100, '\x01');
    std::string escaped;
    for (size_t i = 0; i < controls.size(); ++i)
        escaped += "\\x01";
    struct Case {
        std::string frame, reply;
    };
    const std::vector<Case> cases = {
        {"%23lsmac 1", "%FFMacro Definition\r%FF  #1: pon\r%FF    'out \"PON\\r\"'\r"},
        {"%23lsmac 2", "%FFMacro Definition\r%FF  #2:\r%FF    'w 1 // " + std::string(113, 'c') + "'\r"},
        {"%23ani 0 w 1", "%FF>\r"},
        {"%23ani 0 x" + controls, "%FF>\r"},
        {"%23ani? 0", "%FF// ani:0 Stopped Size: 106\r%FFani 0 w 1\r%FFani 0 x" + escaped + "\r"},
    };
    for (const Case& c : cases) {
        size_t from = b.uart2.sent.size();
        send(b.uart2, c.frame + "\r");
        b.machine.run_for(100 * kMillisecond);
        EXPECT_EQ(visible(b.uart2.sent_text(from)), visible(c.reply)) << c.frame;
    }
}

}  // namespace
