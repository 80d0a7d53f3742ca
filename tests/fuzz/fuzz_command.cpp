// fuzz_command: an input is a run of bytes from the host on the command
// port, as a host sends them at the port's rate: command lines, CRC
// prefixes, binary commands, XON and XOFF, abort sequences.  One board runs
// for the whole fuzzer process, with a memory image of bitmaps, a GIF and
// macros in its flash and a card with pictures in its slot.  After each
// input it runs until it is idle, and then it must still answer "vers":
// a board that hangs or has lost its prompt is a finding.
//
// The host follows the board where a command moves it: when the input has
// made the other port the command port or switched RS-485 framing on, the
// board is put back on UART1 without framing, and the port's rate back to
// 460800 bit/s (the host's), before the next input.  "*halt" stops the
// processor for good by design, and "*RESET" restarts it, which a board in
// a fuzzer's process cannot do, and "*W" may write nonsense into any
// register (fuzz_board.cpp): this board answers them without doing so.  A
// reset by the watchdog is a finding.
#include <cstdio>
#include <string>
#include <vector>

#include "app/KM_com.h"
#include "app/parse_command.h"
#include "fuzz_board.h"
#include "storage/KM_eeprom.h"
#include "support/host.h"
#include "support/image_builder.h"
#include "support/shell.h"

namespace {

constexpr sim::Time kIdle = 2 * sim::kMillisecond;
constexpr sim::Time kSettle = 30 * sim::kSecond;
constexpr sim::Time kAnswer = 10 * sim::kSecond;
constexpr int kAttempts = 12;
// The host's rate: the fastest the port has.
constexpr uint32_t kRate = 460800;

std::vector<uint8_t> read_file(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF)
            bytes.push_back(static_cast<uint8_t>(c));
        std::fclose(f);
    }
    return bytes;
}

// The card and the image, made with the standard tools and the test
// support's image writer.
fwtest::BootOptions board_setup()
{
    const std::string dir = fwtest::temp_dir();
    fwtest::must("cd " + dir + " && convert -size 40x30 gradient:red-blue BMP3:pic.bmp"
                 " && convert -size 24x16 pattern:checkerboard pic.gif"
                 " && convert -delay 5 -size 8x8 xc:red xc:green xc:blue anim.gif"
                 " && convert -size 20x12 gradient:green-red pic.ppm && cjpeg pic.ppm >pic.jpg"
                 " && mkfs.fat -C card.img 2048 >/dev/null"
                 " && mmd -i card.img ::SUB && mcopy -i card.img pic.bmp pic.gif anim.gif pic.jpg ::"
                 " && mcopy -i card.img pic.bmp ::SUB/INNER.BMP");
    fwtest::BootOptions o;
    o.sd = dir + "/card.img";
    fwtest::TestBitmap raw{fwtest::TestBitmap::Raw, 20, 10, fwtest::test_pattern(20, 10, 1)};
    fwtest::TestBitmap rle{fwtest::TestBitmap::Rle, 16, 16, std::vector<uint16_t>(256, 0x07E0)};
    fwtest::TestBitmap trans{fwtest::TestBitmap::Trans, 8, 8, fwtest::test_pattern(8, 8, 2), 0xF81F};
    fwtest::TestBitmap gif{fwtest::TestBitmap::Gif};
    gif.bytes = read_file(dir + "/anim.gif");
    const std::vector<fwtest::TestMacro> macros = {
        {1, "box", {"r 10 10 50 40 1", "t \"in a box\" 12 12"}},
        {2, "labels", {"p 2", ":x1", "c 100 100 20", ":r1", "c 100 100 10", ":default", "l 0 0 $0 $1"}},
        {3, "nested", {"m1", "m2 :r1", "xi 1 0 0"}},
        // Each pass plays the animated GIF, so that the loop goes round at
        // a display's pace until the host's escape.
        {4, "spin", {"dp 1 1", "xi 4 0 0", ":repeat"}},
    };
    o.flash_image = fwtest::build_image({raw, rle, trans, gif}, macros);
    return o;
}

void set_line_up()
{
    // This runs wherever the firmware waits, a send of its own among them:
    // a send still running on a port that stops being the command port
    // would never see its end, so it ends first.
    while (txBusy)
        sim::Machine::instance().wait_hook();
    if (rs485Mode() || !mainIsUart0) {
        eepromData.rs485Mode = EE_OFF;
        eepromData.mainPort = 0;
        Init_485mode();
        makeUart0Main();
    }
    if (baudrate0 != kRate)
        KM_COM_BaudRate(kRate);
}

bool idle(sim::Uart& uart, sim::Time since)
{
    sim::Machine& m = sim::Machine::instance();
    const sim::Time last = uart.sent.empty() ? since : std::max(since, uart.sent.back().time);
    return uart.receive_pending() == 0 && rxCount == 0 && !txBusy && m.now() >= last + kIdle;
}

bool answers_vers(sim::Uart& uart)
{
    const size_t from = uart.sent.size();
    fwtest::send(uart, "vers\r");
    std::string got = fwtest::until_text(uart, from, "VELM5-PLUS", kAnswer);
    const size_t at = got.find("VELM5-PLUS");
    if (at == std::string::npos)
        return false;
    got = fwtest::until_text(uart, from + at, ">\r", kAnswer);
    return got.find(">\r") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::boot_once(board_setup());
    fuzz::on_firmware("setting the host's rate", set_line_up);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sim::Board& board = sim::Board::get();
    sim::Machine& m = board.machine;
    sim::Uart& uart = board.uart1;
    uart.sent.clear();
    const sim::Time start = m.now();
    fwtest::send(uart, std::string(reinterpret_cast<const char*>(data), size));
    m.run_until([&] { return idle(uart, start); }, m.now() + kSettle + size * uart.char_time(uart.rate()));
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        fuzz::on_firmware("putting the command port back", set_line_up);
        if (answers_vers(uart))
            return 0;
        // What a host does with a board that does not answer: XON, the
        // escape and abort sequences, a touch, a lone CR; then it asks again.
        const size_t from = uart.sent.size();
        fwtest::send(uart, "\x11\x1b\r*abt\r");
        board.finger = {400, 240, true};
        m.run_for(100 * sim::kMillisecond);
        board.finger.down = false;
        m.run_for(100 * sim::kMillisecond);
        fwtest::send(uart, "\r");
        fwtest::until_prompt(uart, from, kAnswer);
    }
    if (m.firmware_returned())
        fuzz::finding("the board was reset (by its watchdog) and stays held in reset");
    const size_t shown = uart.sent.size() > 400 ? uart.sent.size() - 400 : 0;
    fuzz::stuck("the board no longer answers \"vers\"; it sent last: \"" + fwtest::visible(uart.sent_text(shown)) +
                  "\"");
}
