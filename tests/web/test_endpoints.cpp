// The simulator program's endpoints as a script or a test uses them: the
// real program in real time as a child process, spoken to over HTTP.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include "support/simulator_program.h"

namespace {

using fwtest::Bmp;
using fwtest::Clock;
using fwtest::flat_json;
using fwtest::http;
using fwtest::parse_bmp;
using fwtest::Reply;
using namespace std::chrono_literals;

constexpr int kWidth = 800, kHeight = 480;
const char* const kVersion = "VELM5-PLUS V1.5.8 WVGA";

// The reference build on the simulated board, in real time, with its
// command port on a TCP socket and fresh flash and EEPROM files.
struct Simulator : fwtest::SimulatorProgram {
    // http_port 0: one the system picks.
    explicit Simulator(int http_port = 0) : SimulatorProgram(options(http_port)) {}
    static Options options(int http_port)
    {
        Options o;
        o.program = VELM_SIMULATOR;
        o.http_port = http_port;
        return o;
    }
};

// The first pixel where two pictures differ, for a readable failure.
std::string first_difference(const std::vector<uint32_t>& got, const std::vector<uint32_t>& want)
{
    if (got.size() != want.size())
        return std::to_string(got.size()) + " pixels instead of " + std::to_string(want.size());
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i]) {
            char b[96];
            std::snprintf(b, sizeof b, "pixel %zu,%zu is %06X, the panel shows %06X", i % kWidth, i / kWidth,
                          got[i], want[i]);
            return b;
        }
    return "";
}

TEST(Simulator, PrintsItsPortsAndThePageAddress)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    std::string want = "uart1 127.0.0.1:" + std::to_string(s.uart_port()) + "\nuart2 none\nhttp http://127.0.0.1:" +
                       std::to_string(s.http_port()) + "/\n";
    EXPECT_EQ(s.printed(), want) << "the program did not say where its command port and panel page are";
}

// A picture drawn on the panel as a host draws it: filled rectangles in
// the given colours (x1 y1 x2 y2 RRGGBB, corners inclusive), over black.
struct Fill {
    int x1, y1, x2, y2;
    uint32_t rgb;
};

std::vector<std::string> fill_lines(const std::vector<Fill>& fills)
{
    std::vector<std::string> lines = {"r 0 0 799 479 1 000000"};
    for (const Fill& f : fills) {
        char b[64];
        std::snprintf(b, sizeof b, "r %d %d %d %d 1 %06X", f.x1, f.y1, f.x2, f.y2, f.rgb);
        lines.push_back(b);
    }
    return lines;
}

std::vector<uint32_t> picture_of(const std::vector<Fill>& fills)
{
    std::vector<uint32_t> v(kWidth * kHeight, 0);
    for (const Fill& f : fills)
        for (int y = f.y1; y <= f.y2; ++y)
            for (int x = f.x1; x <= f.x2; ++x)
                v[y * kWidth + x] = f.rgb;
    return v;
}

// Asks for /screen.bmp until it shows want (the panel lit) or black (the
// panel without power), or the time is up; returns the last difference.
std::string until_screen_shows(Simulator& s, const std::vector<uint32_t>& want)
{
    std::string diff = "no picture";
    for (auto end = Clock::now() + 30s; Clock::now() < end; std::this_thread::sleep_for(100ms)) {
        bool powered = s.state()["panel_power"] == "true";
        Reply r = http(s.http_port(), "GET", "/screen.bmp");
        if (r.status != 200 || r.type != "image/bmp")
            return "GET /screen.bmp answered " + std::to_string(r.status) + " " + r.type;
        Bmp b = parse_bmp(r.body);
        if (!b.valid)
            return "/screen.bmp: " + b.problem;
        if (b.width != kWidth || b.height != kHeight)
            return "/screen.bmp is " + std::to_string(b.width) + "x" + std::to_string(b.height);
        diff = first_difference(b.rgb, powered ? want : std::vector<uint32_t>(want.size(), 0));
        if (diff.empty())
            return diff;
    }
    return diff;
}

TEST(Endpoints, ScreenBmpIsThePanelPicture)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    ASSERT_NE(s.until_answering(kVersion).find(kVersion), std::string::npos) << "the firmware does not answer vers";

    // Quadrants and a small mark near a corner: a picture upside down,
    // mirrored or shifted by a pixel differs from it.
    const std::vector<std::vector<Fill>> pictures = {
        {{0, 0, 399, 239, 0xFF0000}, {400, 0, 799, 239, 0x00FF00}, {0, 240, 399, 479, 0x0000FF},
         {400, 240, 799, 479, 0xFFFFFF}, {1, 2, 3, 4, 0x00FFFF}},
        {{0, 0, 799, 0, 0xFFFF00}, {0, 479, 799, 479, 0xFF00FF}, {100, 100, 699, 379, 0x00FFFF}},
    };
    for (size_t i = 0; i < pictures.size(); ++i) {
        std::string replies = s.send_lines(fill_lines(pictures[i]));
        ASSERT_EQ(replies.find('!'), std::string::npos) << "drawing picture " << i << " was refused: " << replies;
        EXPECT_EQ(until_screen_shows(s, picture_of(pictures[i])), "")
            << "/screen.bmp is not the picture the panel shows (picture " << i << ")";
    }
}

TEST(Endpoints, StateDescribesTheBoard)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    auto wall0 = Clock::now();
    Reply r = http(s.http_port(), "GET", "/state");
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.type, "application/json");
    auto st = flat_json(r.body);
    const char* booleans[] = {"panel_power", "leds.status", "leds.sd", "tone.on", "card_present", "touch.down"};
    for (const char* f : booleans)
        EXPECT_TRUE(st[f] == "true" || st[f] == "false") << "/state field " << f << " is not a boolean: " << r.body;
    const char* numbers[] = {"backlight", "tone.hz",  "volume.sample", "volume.period", "touch.x",
                             "touch.y",   "time_ns", "width",         "height"};
    for (const char* f : numbers)
        EXPECT_FALSE(st[f].empty() || st[f].find_first_not_of("0123456789.") != std::string::npos)
            << "/state field " << f << " is not a number: " << r.body;
    EXPECT_EQ(st["width"], "800");
    EXPECT_EQ(st["height"], "480");
    EXPECT_EQ(st["card_present"], "false") << "a card in the slot without --sd";
    EXPECT_EQ(st["touch.down"], "false") << "a finger on the panel at power-on";
    // In real time the board's clock runs, but never ahead of the wall
    // clock (a slow or busy host may hold it back).
    std::this_thread::sleep_for(300ms);
    double t0 = std::atof(st["time_ns"].c_str()), t1 = std::atof(s.state()["time_ns"].c_str());
    double wall = std::chrono::duration<double, std::nano>(Clock::now() - wall0).count();
    EXPECT_GT(t1 - t0, 0) << "virtual time in /state stood still in real time";
    EXPECT_LT(t1 - t0, wall + 10e6) << "virtual time in /state ran ahead of the wall clock in real time";
}

// The beeper's volume as the host sets it: the volume scaled by the stored
// maximum, then by the PWM's period of 102 (an integer division each).
TEST(Endpoints, StateShowsTheBeepersVolume)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    ASSERT_NE(s.until_answering(kVersion).find(kVersion), std::string::npos) << "the firmware does not answer vers";
    struct Case {
        const char* line;
        int sample;
    };
    const Case cases[] = {
        {"bMaX 0", 80},       // the maximum applies from the next volume on
        {"bv 200", 0},        // a maximum of 0 silences every volume
        {"bMaX 255", 0},
        {"bv 255", 102},
        {"bv 128", 51},
        {"bv -28", 40},       // relative: 100
        {"bMaX 128", 40},
        {"bv 255", 51},       // 255 x 128 / 255 = 128
        {"bvs 1", 0},
    };
    for (const Case& c : cases) {
        std::string reply = s.send_lines({c.line});
        ASSERT_NE(reply.find(">\r"), std::string::npos) << c.line << " was answered " << reply;
        std::map<std::string, std::string> st;
        for (auto end = Clock::now() + 30s; Clock::now() < end; std::this_thread::sleep_for(20ms)) {
            st = s.state();
            if (st["volume.sample"] == std::to_string(c.sample))
                break;
        }
        EXPECT_EQ(st["volume.sample"], std::to_string(c.sample)) << "/state's volume after \"" << c.line << "\"";
        EXPECT_EQ(st["volume.period"], "102") << "/state's volume period after \"" << c.line << "\"";
    }
}

TEST(Endpoints, TouchPutsTheFingerOnThePanel)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    struct Case {
        int x, y, down;
    };
    // A press, a drag and a release.
    const std::vector<Case> cases = {{100, 200, 1}, {150, 210, 1}, {799, 479, 1}, {0, 0, 1}, {0, 0, 0}};
    for (const Case& c : cases) {
        std::string q = "x=" + std::to_string(c.x) + "&y=" + std::to_string(c.y) + "&down=" + std::to_string(c.down);
        Reply r = http(s.http_port(), "POST", "/touch?" + q);
        ASSERT_EQ(r.status, 200) << "POST /touch?" << q << ": " << r.body;
        auto st = s.state();
        EXPECT_EQ(st["touch.x"] + "," + st["touch.y"] + "," + st["touch.down"],
                  std::to_string(c.x) + "," + std::to_string(c.y) + "," + (c.down ? "true" : "false"))
            << "/state does not show the finger of POST /touch?" << q;
        EXPECT_EQ(flat_json(r.body)["touch.x"], std::to_string(c.x)) << "POST /touch answered an older state";
    }
}

TEST(Endpoints, CardSwitchesTheSlot)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    for (int present : {1, 0, 1}) {
        Reply r = http(s.http_port(), "POST", "/card?present=" + std::to_string(present));
        ASSERT_EQ(r.status, 200) << r.body;
        EXPECT_EQ(s.state()["card_present"], present ? "true" : "false")
            << "/state does not show the card of POST /card?present=" << present;
    }
}

TEST(Endpoints, RefuseWhatTheyCannotDo)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    struct Case {
        const char* method;
        std::string target;
        int status;
    };
    std::vector<Case> cases = {
        {"POST", "/touch?x=1&y=2", 400},          {"POST", "/touch?x=800&y=0&down=1", 400},
        {"POST", "/touch?x=-1&y=0&down=1", 400},  {"POST", "/touch?x=1&y=2&down=2", 400},
        {"GET", "/touch?x=1&y=2&down=1", 405},    {"POST", "/card?present=yes", 400},
        {"POST", "/card", 400},                   {"POST", "/state", 405},
        {"GET", "/no-such-thing", 404},
    };
    // Off the panel, and numbers no pixel has, in either coordinate.
    const std::vector<std::string> off = {"-1", "2147483647", "-2147483648", "4294967296", "-4294967296",
                                          "99999999999999999999999999999999", "00000000000000000000000000000001"};
    for (const std::string& v : off) {
        cases.push_back({"POST", "/touch?x=" + v + "&y=0&down=1", 400});
        cases.push_back({"POST", "/touch?x=0&y=" + v + "&down=1", 400});
    }
    cases.push_back({"POST", "/touch?x=" + std::to_string(kWidth) + "&y=0&down=0", 400});
    cases.push_back({"POST", "/touch?x=0&y=" + std::to_string(kHeight) + "&down=0", 400});
    for (const Case& c : cases)
        EXPECT_EQ(http(s.http_port(), c.method, c.target).status, c.status) << c.method << " " << c.target;
    EXPECT_EQ(s.state()["touch.down"], "false") << "a refused /touch moved the finger";
}

// The panel page's side of its WebSocket: sends the page's text messages,
// one after the other.
void page_says(int port, const std::vector<std::string>& messages)
{
    namespace asio = boost::asio;
    namespace websocket = boost::beast::websocket;
    asio::io_context ioc;
    websocket::stream<asio::ip::tcp::socket> ws(ioc);
    ws.next_layer().connect({asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)});
    ws.handshake("127.0.0.1", "/ws");
    ws.text(true);
    for (const std::string& m : messages)
        ws.write(asio::buffer(m));
    ws.close(websocket::close_code::normal);
}

TEST(Endpoints, ThePagesTouchesOffThePanelGoNowhere)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    // Each step ends with the card switch, which the board takes after
    // what came before it on the socket.
    auto after = [&](std::vector<std::string> messages, bool card) {
        messages.push_back(card ? "card 1" : "card 0");
        page_says(s.http_port(), messages);
        const std::string want = card ? "true" : "false";
        std::map<std::string, std::string> st = s.state();
        for (const auto until = Clock::now() + 10s; st["card_present"] != want && Clock::now() < until; st = s.state())
            std::this_thread::sleep_for(10ms);
        EXPECT_EQ(st["card_present"], want) << "the page's messages were not taken";
        return st["touch.x"] + "," + st["touch.y"] + "," + st["touch.down"];
    };
    ASSERT_EQ(after({"touch 7 8 1"}, true), "7,8,true") << "the page's touch did not reach the board";
    const std::string w = std::to_string(kWidth), h = std::to_string(kHeight);
    EXPECT_EQ(after({"touch 0 -1 0", "touch 5 -99999999 0", "touch -1 0 1", "touch " + w + " 0 1",
                     "touch 0 " + h + " 1", "touch 999999999 5 1"},
                    false),
              "7,8,true")
        << "a touch off the " << w << "x" << h << " panel moved the finger";
    // Time for the firmware to read the finger where it is.
    EXPECT_NE(s.until_answering(kVersion).find(kVersion), std::string::npos) << "the firmware does not answer vers";
    EXPECT_TRUE(s.running()) << "the program ended on touches off the panel: " << s.errors();
}

TEST(Endpoints, ServeThePanelPage)
{
    Simulator s;
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    Reply r = http(s.http_port(), "GET", "/");
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.type, "text/html; charset=utf-8");
    for (const char* part : {"<canvas id=\"screen\"", "/ws", "id=\"console1\"", "id=\"card\""})
        EXPECT_NE(r.body.find(part), std::string::npos) << "the panel page lacks " << part;
}

// A port the user names that another program holds: the program says so and
// ends with an exit code, rather than run without what was asked for.
TEST(Simulator, EndsWhenANamedPortIsTaken)
{
    Simulator first;
    ASSERT_EQ(first.problem(), "") << "the simulator did not start";
    struct Case {
        const char* what;
        fwtest::SimulatorProgram::Options options;
        std::string message;
    } cases[] = {
        {"--http", Simulator::options(first.http_port()),
         "cannot serve the panel page on 127.0.0.1:" + std::to_string(first.http_port())},
        {"--uart1 tcp:PORT", Simulator::options(0), "cannot listen on 127.0.0.1:" + std::to_string(first.uart_port())},
    };
    cases[1].options.uart_port = first.uart_port();
    for (const Case& c : cases) {
        fwtest::SimulatorProgram second(c.options);
        EXPECT_NE(second.problem(), "") << c.what << ": the program went on with its port taken";
        EXPECT_NE(second.problem().find(c.message), std::string::npos)
            << c.what << ": the taken port was not reported: " << second.problem();
        EXPECT_NE(second.problem().find("exit status 1"), std::string::npos)
            << c.what << ": the program did not end with an exit code: " << second.problem();
    }
}

// A card image no standard-capacity SD card can be (the firmware's cards
// are addressed by byte, 4 GiB at most): the program says which sizes the
// card takes and ends with an exit code, rather than serve a part of it.
TEST(Simulator, EndsWhenTheCardImageIsOfNoCardSize)
{
    char dir[] = "/tmp/velm-card-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string card = std::string(dir) + "/big.img";
    std::fclose(std::fopen(card.c_str(), "wb"));
    std::filesystem::resize_file(card, 5ull << 30);  // sparse
    Simulator::Options o = Simulator::options(0);
    o.sd = card;
    fwtest::SimulatorProgram s(o);
    EXPECT_NE(s.problem().find("the SD card image " + card + " holds 5368709120 bytes; the card takes an image of "
                               "512 to 4294967296 bytes"),
              std::string::npos)
        << "the size the card takes was not told: " << s.problem();
    EXPECT_NE(s.problem().find("exit status 1"), std::string::npos)
        << "the program did not end with an exit code: " << s.problem();
    std::filesystem::remove_all(dir);
}

#if defined(__SANITIZE_ADDRESS__)
#define VELM_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELM_ADDRESS_SANITIZER 1
#endif
#endif

// The program's resident memory in KiB, from /proc.
long resident_kib(pid_t pid)
{
    FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    long kib = -1;
    char line[256];
    while (f && std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %ld", &kib) == 1)
            break;
    if (f)
        std::fclose(f);
    return kib;
}

TEST(Simulator, KeepsNoRecordOfWhatItSends)
{
    // A program that runs for days talks without end; what its command
    // port sends must not pile up in its memory.
#if defined(VELM_ADDRESS_SANITIZER)
    GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine: the program's size says nothing here";
#endif
    Simulator::Options o = Simulator::options(0);
    o.speed = "max";
    fwtest::SimulatorProgram s(o);
    ASSERT_EQ(s.problem(), "") << "the simulator did not start";
    s.until_answering(kVersion);
    fwtest::CommandPort port(s.uart_port());
    ASSERT_TRUE(port.connected());
    auto talk = [&](int times) {
        size_t bytes = 0;
        for (int i = 0; i < times; ++i)
            bytes += port.command("f?").size();  // the font list
        return bytes;
    };
    talk(50);
    const long before = resident_kib(s.pid());
    const size_t sent = talk(2000);
    const long after = resident_kib(s.pid());
    ASSERT_GT(sent, 600000u) << "the font list came back shorter than expected";
    EXPECT_LT(after - before, 4096) << "the program grew by " << after - before << " KiB while sending " << sent
                                    << " bytes";
}

}  // namespace
