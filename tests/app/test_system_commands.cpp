// Configuration, system and diagnostic commands as the host uses them: the
// replies, and what each command changes in the record, the EEPROM, the
// pins, the LCD controller and the serial ports.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "storage/KM_eeprom.h"
#include "support/host.h"

namespace {

using fwtest::command;
using fwtest::visible;

struct Case {
    const char* line;
    const char* reply;  // up to and including the prompt
};

// Lets the board run for a while (a command that answers before it acts).
void settle(sim::Board& b, sim::Time t = 20 * sim::kMillisecond)
{
    b.machine.run_for(t);
}

// A UART's rate as its dividers give it, within the per cent a receiver takes.
void expect_rate(const sim::Uart& u, uint32_t want, const char* what)
{
    EXPECT_NEAR(static_cast<double>(u.rate()), want, want / 100.0) << what;
}

void run_cases(const std::vector<Case>& cases)
{
    for (const Case& c : cases)
        EXPECT_EQ(visible(command(c.line, 5 * sim::kSecond)), visible(c.reply))
            << "\"" << c.line << "\" answered wrongly";
}

// The stored copies of a record byte.
void expect_stored(sim::Board& b, size_t offset, uint8_t want, const char* what)
{
    EXPECT_EQ(b.eeprom.data()[offset], want) << what << " is not saved in copy 0 (offset 0x" << std::hex << offset << ")";
    EXPECT_EQ(b.eeprom.data()[0x100 + offset], want) << what << " is not saved in copy 1";
}

TEST(SystemCommands, ReportsSettingsAndRefusesBadValues)
{
    fwtest::boot_to_prompt();
    run_cases({
        {"*panel", "WVGA_TYPE2\r>\r"},
        {"*panel x", "!\r"},
        {"*hpw", "48\r>\r"},
        {"*hfp", "40\r>\r"},
        {"*hbp", "40\r>\r"},
        {"*vpw", "3\r>\r"},
        {"*vfp", "13\r>\r"},
        {"*vbp", "29\r>\r"},
        {"*hpw x", "!\r"},
        {"*hpw 256", "!\r"},
        {"xbb", "255\r>\r"},
        {"xbb -1", "!\r"},
        {"*maxBrite", "255\r>\r"},
        {"*minBrite", "1\r>\r"},
        {"*pwmIsEnable", "1\r>\r"},
        {"*invEnaHiTrue", "0\r>\r"},
        {"*invEnaHiTrue 2", "!\r"},
        {"*orient", "0\r>\r"},
        {"*orient 4", "!\r"},
        {"baud", "115200\r>\r"},
        {"baud0", "115200\r>\r"},
        {"baud1", "115200\r>\r"},
        {"baud 14400", "!\r"},
        {"bauds1 14400", "!\r"},
        {"*auxEsc", "0x0d\r>\r"},
        {"*auxEsc 1G", "0x01\r>\r"},
        {"*auxEsc 100", "!\r"},
        {"auxIO", "0\r>\r"},
        {"auxIO x", "!\r"},
        {"*config", "\"\"\r>\r"},
        {"*config Hello", "!\r"},
        {"led blink", "!\r"},
        {"*sdled 2", "!\r"},
        {"*rst", ">\r"},
        {"*SERR", "!\r"},
        {"*IERR", "#\r"},
        {"wvr 100", ">\r"},
        {"wvr", "!\r"},
        {"wrf 0 10", ">\r"},
        {"wrf 0", "!\r"},
        {"*rs485", "!\r"},
        {"*rs485 Zab", "!\r"},
        {"out \"AB\\r\"", "AB\r>\r"},
        {"out AB", "!\r"},
        {"*speedtest 0 <w 1>", "!\r"},
        {"*speedtest 2 w 1", "!\r"},
        {"*speedtest 3 <w 1>", ":time/command = 0 ms\r>\r"},
        {"*speedtest 2 <p>", "1\r1\r:time/command = 0 ms\r>\r"},
    });
    const std::string state = command("*STATE");
    EXPECT_EQ(state.rfind("*STATE:Bclr 0x", 0), 0u) << "*STATE answered " << visible(state);
    EXPECT_NE(state.find(" Fclr 0x"), std::string::npos) << "*STATE answered " << visible(state);
    EXPECT_EQ(command("*STATEF"), state) << "*STATEF must answer as *STATE does";
}

TEST(SystemCommands, AbortedSpeedTestDividesByTheRunsMade)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "*speedtest 1000 <beepw 20>\r");
    b.machine.run_for(110 * sim::kMillisecond);
    fwtest::send(b.uart1, "*abt\r");
    const std::string got = fwtest::until_text(b.uart1, from, " ms\r", 5 * sim::kSecond);
    const size_t at = got.find(":time/command = ");
    ASSERT_NE(at, std::string::npos) << visible(got);
    const int ms = std::atoi(got.c_str() + at + 16);
    EXPECT_GE(ms, 18) << "each run beeps for 20 ms: " << visible(got);
    EXPECT_LE(ms, 30) << visible(got);
}

TEST(SystemCommands, SettingsChangeTheRecordTheEepromAndTheBoard)
{
    sim::Board& b = fwtest::boot_to_prompt();
    run_cases({
        {"*hpw 20", ">\r"},
        {"*hpw", "20\r>\r"},
        {"*vbp 7", ">\r"},
        {"xbb 100", ">\r"},
        {"xbb", "100\r>\r"},
        {"*orient 2", ">\r"},
        {"*vq 0", ">\r"},
        {"*vq", "0\r>\r"},
        {"*config \"Hello\\x21\"", ">\r"},
        {"*config", "\"Hello!\"\r>\r"},
        {"auxIO 1", ">\r"},
        {"auxIO", "1\r>\r"},
        {"*auxEsc 1b", "0x1b\r>\r"},
    });
    EXPECT_EQ(eepromData.hpw, 20);
    expect_stored(b, offsetof(EepromRecord, hpw), 20, "*hpw 20");
    expect_stored(b, offsetof(EepromRecord, vbp), 7, "*vbp 7");
    EXPECT_EQ(b.lcdc.reg(0x1C) >> 26, 19u) << "*hpw 20 did not reach the LCD controller's horizontal timing";
    EXPECT_EQ(b.lcdc.reg(0x20) & 0xFF, 7u) << "*vbp 7 did not reach the LCD controller's vertical timing";
    expect_stored(b, offsetof(EepromRecord, brite), 100, "xbb 100");
    expect_stored(b, offsetof(EepromRecord, orient), 2, "*orient 2");
    EXPECT_EQ(b.gpio.level(sim::Gpio::PORT_B, 17), 0) << "*orient 2 left the orientation pins wrong";
    EXPECT_EQ(b.gpio.level(sim::Gpio::PORT_B, 18), 1) << "*orient 2 left the orientation pins wrong";
    EXPECT_EQ(b.gpio.level(sim::Gpio::PORT_B, 11), 0) << "*vq 0 left the VQ pin high";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.eeprom.data()) + offsetof(EepromRecord, config)), "Hello!")
        << "*config did not save its text";
    expect_stored(b, offsetof(EepromRecord, auxReport), 'Z', "auxIO 1");
    expect_stored(b, offsetof(EepromRecord, auxEsc), 0x1B, "*auxEsc 1b");
    EXPECT_NE(command("vers").find("\"Hello!\""), std::string::npos) << "vers does not show the config text";

    // The text is cut to what the record holds.
    EXPECT_EQ(visible(command("*config \"0123456789012345678901234567890123456789\"")), visible(">\r"));
    EXPECT_EQ(visible(command("*config")), visible("\"0123456789012345678901234567890\"\r>\r"));

    // Backlight: the inverter pin follows its polarity setting.
    EXPECT_EQ(visible(command("xbl of")), visible(">\r"));
    EXPECT_EQ(b.gpio.level(sim::Gpio::PORT_B, 21), 0) << "xbl of left the inverter enabled";
    EXPECT_EQ(visible(command("xbl on")), visible(">\r"));
    EXPECT_EQ(b.gpio.level(sim::Gpio::PORT_B, 21), 1) << "xbl on did not enable the inverter";
    EXPECT_EQ(visible(command("*invEnaHiTrue 1")), visible(">\r"));
    EXPECT_EQ(b.gpio.level(sim::Gpio::PORT_B, 21), 0) << "*invEnaHiTrue 1 did not switch the inverter on low";
    expect_stored(b, offsetof(EepromRecord, invEnaHiTrue), 1, "*invEnaHiTrue 1");

    EXPECT_EQ(visible(command("*pwmIsEnable 0")), visible(">\r"));
    EXPECT_EQ(b.lcdc.reg(0x2C) & (3u << 9), 1u << 9) << "*pwmIsEnable 0 did not move the PWM to the pixel clock";
    expect_stored(b, offsetof(EepromRecord, pwmIsEnable), 0, "*pwmIsEnable 0");
    EXPECT_EQ(visible(command("*pwmIsEnable 1")), visible(">\r"));
    EXPECT_EQ(b.lcdc.reg(0x2C) & (3u << 9), 0u) << "*pwmIsEnable 1 did not give the PWM its own clock";

    // LEDs.
    EXPECT_EQ(visible(command("led on")), visible(">\r"));
    EXPECT_TRUE(b.status_led()) << "led on left the status LED dark";
    EXPECT_EQ(visible(command("led off")), visible(">\r"));
    EXPECT_FALSE(b.status_led()) << "led off left the status LED lit";
    EXPECT_EQ(visible(command("*sdled 1")), visible(">\r"));
    EXPECT_TRUE(b.sd_led()) << "*sdled 1 left the SD LED dark";
    EXPECT_EQ(visible(command("*sdled 0")), visible(">\r"));
    EXPECT_FALSE(b.sd_led()) << "*sdled 0 left the SD LED lit";

    // Panel power off and on again.
    EXPECT_EQ(visible(command("v of", 5 * sim::kSecond)), visible(">\r"));
    EXPECT_FALSE(b.lcdc.panel_powered()) << "v of left the panel powered";
    EXPECT_EQ(visible(command("v on", 5 * sim::kSecond)), visible(">\r"));
    EXPECT_TRUE(b.lcdc.showing()) << "v on did not bring the panel back";
    EXPECT_TRUE(b.machine.reports().empty()) << "a setting made a stray access: " << b.machine.reports().front();
}

TEST(SystemCommands, EepromCommandsReadWriteDumpClearAndReload)
{
    sim::Board& b = fwtest::boot_to_prompt();
    run_cases({
        {"*eer 1000", "1000 = FF\r>\r"},
        {"*eew 1001 5A", "1001 = 5A\r>\r"},
        {"*eerc 1001", "1001 = 5A\r>\r"},
        {"i2c read 1001", "1001 = 5A\r>\r"},
        {"i2c write 1002 33", "1002 = 33\r>\r"},
        {"*eer 2000", "!\r"},
        {"*eew 10 100", "!\r"},
        {"i2c read 2000", "!\r"},
        {"*eer", "!\r"},
        {"*eec 3", ">\r"},
        {"*eec 0", ">\r"},
        {"*eer 1001", "1001 = FF\r>\r"},
    });
    EXPECT_EQ(b.eeprom.data()[0x1002], 0xFF) << "*eec 0 left a user byte";

    const std::string dump = command("*eed");
    EXPECT_EQ(dump.rfind("00: 55 12 0A", 0), 0u) << "*eed does not begin with the record: " << visible(dump);
    size_t lines = 0;
    for (char c : dump)
        lines += c == '\r';
    EXPECT_EQ(lines, 17u) << "*eed should send 16 lines and the prompt: " << visible(dump);
    EXPECT_EQ(visible(command("*eed 1FF0").substr(0, 4)), visible("1FF0")) << "*eed from an address";

    // A changed RAM value goes back to the stored one on "*eel".
    EXPECT_EQ(visible(command("xbb 10")), visible(">\r"));
    eepromData.brite = 99;
    EXPECT_EQ(visible(command("*eel")), visible(">\r"));
    EXPECT_EQ(eepromData.brite, 10) << "*eel did not reload the record";
    EXPECT_EQ(visible(command("*eeX")), visible(">\r")) << "any other *ee line reloads the record";

    // The factory reset blanks both copies; *ees writes them again.
    EXPECT_EQ(visible(command("*MFGRESET", 10 * sim::kSecond)), visible(">\r"));
    EXPECT_EQ(b.eeprom.data()[0x001], 0xFF) << "*MFGRESET left copy 0";
    EXPECT_EQ(b.eeprom.data()[0x101], 0xFF) << "*MFGRESET left copy 1";
    EXPECT_EQ(visible(command("*ees", 10 * sim::kSecond)), visible(">\r"));
    expect_stored(b, 1, 0x12, "*ees after *MFGRESET: the layout magic");
}

TEST(SystemCommands, DiagnosticsOnlyTouchWhatTheBoardHas)
{
    sim::Board& b = fwtest::boot_to_prompt();
    run_cases({
        {"*R 10021004", "0x10021004 = 032001E0\r>\r"},
        {"*R 10021000 2", "0x10021000 = C3E00000\r0x10021004 = 032001E0\r>\r"},
        {"*R 10021000 20", "!\r"},
        {"*R 0", "!\r"},
        {"*R 10021FFC 2", "!\r"},
        {"*R16 10021004", "0x10021004 = 01E0\r>\r"},
        {"*R16 10021006", "0x10021006 = 0320\r>\r"},
        {"*R16 20000000", "!\r"},
        {"*R16 10021001", "!\r"},
        {"*Rx", "!\r"},
        {"*RE", "!\r"},
        {"*W 40000000 1", "!\r"},
        {"*W 10027028 3", "Reg 0x10027028 <- 00000003\r>\r"},
        {"*ccsr", "clko_sel: 0x03\r>\r"},
        {"*ccsr 5", "clko_sel: 0x05\r>\r"},
        {"*ccsr 20", "!\r"},
        {"*dumpmb 0 10", "!\r"},
        {"*dumpmb C8400000 4", "0x00: FF FF FF FF \r>\r"},
        {"*dumpml C8400000 4", "0xC8400000: FFFFFFFF FFFFFFFF - FFFFFFFF FFFFFFFF \r>\r"},
        {"*dumpml C9FFFFFC 2", "!\r"},
        {"*dumpml C8400001 1", "!\r"},
        {"*dumpmb C8400000 100000", "!\r"},
        {"*dumpmb", "!\r"},
        {"*dumpml C8400000 40000001", "!\r"},
        {"*memTest 0 100 1", "Start address or length out of bounds\r!\r"},
        {"*memTest C3DFF000 2000 1", "Start address or length out of bounds\r!\r"},
        {"*memTest C0400000 1000 2", ":memTest 0xC0400000..0xC0400FFF passed 2\r>\r"},
        {"*memTest 70 1", "Start address or length out of bounds\r!\r"},
        {"i2cr A0 0 17", ":length too long - max 16\r!\r"},
        {"i2cr A0 0 0", "!\r"},
        {"i2cr 52 0 1", "!\r"},
        {"i2cw 52 0 1", "!\r"},
        {"i2cr", "!\r"},
    });
    EXPECT_EQ(b.clock.read(0x28, 4) & 0x1F, 5u) << "*ccsr 5 did not reach the clock controller";
    const std::string usage = command("*memTest");
    EXPECT_EQ(usage.rfind("usage: *memTest", 0), 0u) << "*memTest alone answered " << visible(usage);
    const std::string ptb = command("*ptb");
    EXPECT_EQ(ptb.rfind("PTB: 0x", 0), 0u) << "*ptb answered " << visible(ptb);
    EXPECT_TRUE(b.machine.reports().empty()) << "a diagnostic made a stray access: " << b.machine.reports().front();
}

TEST(SystemCommands, MemTestKeepsWhatTheMemoryHeld)
{
    sim::Board& b = fwtest::boot_to_prompt();
    uint8_t* ram = b.machine.mem(0xC0500000, 16);
    std::memcpy(ram, "keep this text!", 16);
    EXPECT_EQ(visible(command("*memTest C0500000 10 1")), visible(":memTest 0xC0500000..0xC050000F passed 1\r>\r"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(ram)), "keep this text!") << "*memTest destroyed the memory it tested";
}

TEST(SystemCommands, BaudCommandsAnswerAtTheOldRateAndSwitch)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    EXPECT_EQ(visible(command("bauds 9600")), visible(">\r"));
    ASSERT_GE(b.uart1.sent.size(), from + 2);
    EXPECT_LT(b.uart1.sent[from + 1].time - b.uart1.sent[from].time, 200 * sim::kMicrosecond)
        << "bauds sent its prompt at the new rate instead of the old one";
    settle(b);
    expect_rate(b.uart1, 9600, "bauds 9600 did not switch the command port");
    expect_stored(b, offsetof(EepromRecord, baud0), 3, "bauds 9600");
    EXPECT_EQ(visible(command("baud")), visible("9600\r>\r"));

    EXPECT_EQ(visible(command("baudp1 57600")), visible(">\r"));
    settle(b);
    expect_rate(b.uart2, 57600, "baudp1 did not switch the aux port");
    EXPECT_EQ(b.eeprom.data()[offsetof(EepromRecord, baud1)], 7) << "baudp must not save the rate";
    expect_rate(b.uart1, 9600, "baudp1 changed the command port");

    // "baud" switches first and answers at the new rate.
    from = b.uart1.sent.size();
    EXPECT_EQ(visible(command("baud0 19200")), visible(">\r"));
    expect_rate(b.uart1, 19200, "baud0 19200 did not switch the command port");
    ASSERT_GE(b.uart1.sent.size(), from + 2);
    EXPECT_GT(b.uart1.sent[from + 1].time - b.uart1.sent[from].time, 400 * sim::kMicrosecond)
        << "baud answered at the old rate";
}

TEST(SystemCommands, AuxPortTextAndPortRoles)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart2.sent.size();
    EXPECT_EQ(visible(command("aout \"hi\\r\"")), visible(">\r"));
    EXPECT_EQ(visible(b.uart2.sent_text(from)), visible("hi\r")) << "aout did not send its text on the aux port";
    fwtest::send(b.uart2, "xyz");
    EXPECT_EQ(visible(command("ain")), visible("xyz\r>\r"));
    EXPECT_EQ(visible(command("ain")), visible("\r>\r")) << "ain answered twice what came once";

    // The command port moves to UART2 and the choice is saved.
    from = b.uart2.sent.size();
    fwtest::send(b.uart1, "*com1main\r");
    std::string reply = fwtest::until_prompt(b.uart2, from);
    EXPECT_EQ(visible(reply), visible(">\r")) << "*com1main did not answer on the new command port";
    expect_stored(b, offsetof(EepromRecord, mainPort), 1, "*com1main");
    EXPECT_EQ(visible(command(b.uart2, "*panel")), visible("WVGA_TYPE2\r>\r"));
    from = b.uart1.sent.size();
    fwtest::send(b.uart2, "*com0mains\r");
    reply = fwtest::until_prompt(b.uart1, from);
    EXPECT_EQ(visible(reply), visible(">\r"));
    EXPECT_EQ(b.eeprom.data()[offsetof(EepromRecord, mainPort)], 1) << "*com0mains must not save the port";
}

TEST(SystemCommands, Rs485ModeIsSetAndSaved)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "*rs485 Z0A\r");
    const std::string reply = fwtest::until_text(b.uart1, from, "\r");
    EXPECT_EQ(visible(reply), visible("RS485 Mode SOF 0x5A (Z) ADR 0A\r"));
    settle(b, 500 * sim::kMillisecond);
    expect_stored(b, offsetof(EepromRecord, rs485Mode), 'Z', "*rs485 Z0A");
    expect_stored(b, offsetof(EepromRecord, rs485Start), 'Z', "*rs485 Z0A start character");
    expect_stored(b, offsetof(EepromRecord, rs485Address), 0x0A, "*rs485 Z0A address");

    // Off again by a frame on the bus: the reply is framed, the prompt is not.
    from = b.uart2.sent.size();
    fwtest::send(b.uart2, "Z0A*rs485 off\r");
    EXPECT_EQ(visible(fwtest::until_prompt(b.uart2, from)), visible("ZFFRS485 OFF ADR 0A\r>\r"));
    settle(b, 500 * sim::kMillisecond);
    expect_stored(b, offsetof(EepromRecord, rs485Mode), 0xFF, "*rs485 off");
    EXPECT_TRUE(b.machine.reports().empty()) << b.machine.reports().front();
}

TEST(SystemCommands, PanelAdjustMovesThePictureAndSaves)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "*paneladj\r");
    fwtest::until_text(b.uart1, from, "ends\r");
    EXPECT_EQ(visible(b.uart1.sent_text(from)),
              visible(":Panel Timing Adjustment\r:Use number pad (4=left,6=right,2=down,8=up) for image adjust\r"
                      ":any other key saves and ends\r"));
    from = b.uart1.sent.size();
    fwtest::send(b.uart1, "44");
    fwtest::until_text(b.uart1, from, ":hfp 42 hbp 38 vfp 13 vbp 29\r");
    from = b.uart1.sent.size();
    fwtest::send(b.uart1, "2");
    fwtest::until_text(b.uart1, from, ":hfp 42 hbp 38 vfp 12 vbp 30\r");
    from = b.uart1.sent.size();
    fwtest::send(b.uart1, "q");
    EXPECT_EQ(visible(fwtest::until_prompt(b.uart1, from)), visible(">\r"));
    EXPECT_EQ(eepromData.hfp, 42);
    EXPECT_EQ(eepromData.hbp, 38);
    EXPECT_EQ(eepromData.vfp, 12);
    EXPECT_EQ(eepromData.vbp, 30);
    expect_stored(b, offsetof(EepromRecord, hbp), 38, "*paneladj: the back porch");
    expect_stored(b, offsetof(EepromRecord, vbp), 30, "*paneladj: the vertical back porch");
    EXPECT_EQ(b.lcdc.reg(0x1C) & 0xFF, 35u) << "*paneladj did not reach the LCD controller";
    EXPECT_EQ(visible(command("*hbp")), visible("38\r>\r")) << "a key after the end reached the dispatcher";
}

TEST(SystemCommands, TemperatureAndBinaryReports)
{
    fwtest::boot_to_prompt();
    const std::string t = command("temp");
    const bool number = t.size() >= 5 && t.find('.') == t.size() - 5 &&
                        t.find_first_not_of("-0123456789.") == t.size() - 3;
    EXPECT_TRUE(number || t == "*****\r>\r") << "temp answered " << visible(t);
    run_cases({
        {"*binr 1", ">\r"},
        {"*binr 0", ">\r"},
    });
}

TEST(SystemCommands, RawI2cTransfersAnswerWhenTheDeviceAcknowledges)
{
    fwtest::BootOptions o;
    o.straps = sim::Straps::E;  // the temperature sensor at 0x3A
    fwtest::boot_to_prompt(o);
    // A read ends with the controller's own no-acknowledge on its last byte;
    // only a device that does not answer its address or a byte it is sent
    // makes a refusal.  The EEPROM reads on from the address that the last
    // transfer to it set (a register byte of "i2cr" is only its high half).
    run_cases({
        {"temp", "25.0\r>\r"},
        {"i2cr 3A 5 2", "01 90\r>\r"},
        {"i2cr 3A 5 1", "01\r>\r"},
        {"i2c write 1F0 5A", "01f0 = 5A\r>\r"},
        {"i2c write 1F1 A5", "01f1 = A5\r>\r"},
        {"i2cw A0 1 F0", ">\r"},
        {"i2cr A0 0 2", "5A A5\r>\r"},
        {"i2cw A0 1 F1", ">\r"},
        {"i2cr A0 0 1", "A5\r>\r"},
        {"i2cr 52 0 2", "!\r"},
        {"i2cw 70 0 1", "!\r"},
    });
}

TEST(SystemCommands, OutAndAoutSendEveryByteOfTheirText)
{
    sim::Board& b = fwtest::boot_to_prompt();
    const std::string text("a\0b\0\r", 5);
    for (const char* escape : {"\\0", "\\x00"}) {
        const std::string t = std::string("a") + escape + "b" + escape + "\\r\"";
        EXPECT_EQ(visible(command("out \"" + t)), visible(text + ">\r")) << "out lost the byte 0 written as " << escape;
        size_t from = b.uart2.sent.size();
        EXPECT_EQ(visible(command("aout \"" + t)), visible(">\r"));
        EXPECT_EQ(visible(b.uart2.sent_text(from)), visible(text))
            << "aout lost the byte 0 written as " << escape << " on the aux port";
    }
}

TEST(SystemCommands, HaltStopsTheController)
{
    sim::Board& b = fwtest::boot_to_prompt();
    size_t from = b.uart1.sent.size();
    fwtest::send(b.uart1, "*halt\r");
    fwtest::until_text(b.uart1, from, "\x01never", 50 * sim::kMillisecond);
    fwtest::send(b.uart1, "vers\r");
    fwtest::until_text(b.uart1, from, "\x01never", 200 * sim::kMillisecond);
    EXPECT_EQ(visible(b.uart1.sent_text(from)), "") << "the controller still answers after *halt";
}

}  // namespace
