// What the panel page's server makes of the published panel, without
// sockets: the changed rectangle of a picture, the BMP file, the page's
// messages and query strings, and what the publisher reads off the board.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "panel_state.h"
#include "web/content.h"

namespace {

using sim::PanelPicture;

uint32_t word(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(s[at + i]);
    return v;
}

PanelPicture picture(int w, int h, uint32_t fill)
{
    PanelPicture p;
    p.width = w;
    p.height = h;
    p.rgb.assign(static_cast<size_t>(w) * h, fill);
    return p;
}

struct Rect {
    uint32_t x, y, w, h;
};

Rect rect_of(const std::string& m)
{
    return {word(m, 12), word(m, 16), word(m, 20), word(m, 24)};
}

TEST(FrameMessage, CarriesOnlyTheRectangleThatChanged)
{
    const PanelPicture before = picture(16, 8, 0x000000);
    struct Case {
        std::vector<std::pair<int, int>> changed;  // pixels set to 0x123456
        Rect rect;
        const char* why;
    };
    const std::vector<Case> cases = {
        {{{3, 2}}, {3, 2, 1, 1}, "one pixel"},
        {{{0, 0}, {15, 7}}, {0, 0, 16, 8}, "two corners span the picture"},
        {{{5, 1}, {2, 6}}, {2, 1, 4, 6}, "bounding box of two pixels"},
        {{{15, 3}}, {15, 3, 1, 1}, "last column"},
    };
    for (const Case& c : cases) {
        PanelPicture now = before;
        for (auto [x, y] : c.changed)
            now.rgb[y * 16 + x] = 0x123456;
        std::string m = sim::web::frame_message(&before, now);
        ASSERT_GE(m.size(), sim::web::kFrameHeader) << c.why << ": no frame for a changed picture";
        Rect r = rect_of(m);
        EXPECT_EQ(word(m, 0), 1u) << c.why;
        EXPECT_EQ(word(m, 4), 16u) << c.why << ": picture width";
        EXPECT_EQ(word(m, 8), 8u) << c.why << ": picture height";
        EXPECT_EQ(std::vector<uint32_t>({r.x, r.y, r.w, r.h}), std::vector<uint32_t>({c.rect.x, c.rect.y, c.rect.w, c.rect.h}))
            << c.why << ": wrong rectangle sent to the page";
        ASSERT_EQ(m.size(), sim::web::kFrameHeader + r.w * r.h * 4) << c.why;
        // Every pixel of the rectangle as RGBA, row by row.
        for (uint32_t y = 0; y < r.h; ++y)
            for (uint32_t x = 0; x < r.w; ++x) {
                uint32_t rgb = now.rgb[(r.y + y) * 16 + r.x + x];
                const char* px = m.data() + sim::web::kFrameHeader + (y * r.w + x) * 4;
                uint32_t got = static_cast<uint8_t>(px[0]) << 16 | static_cast<uint8_t>(px[1]) << 8 |
                               static_cast<uint8_t>(px[2]);
                EXPECT_EQ(got, rgb) << c.why << ": pixel " << r.x + x << "," << r.y + y;
                EXPECT_EQ(static_cast<uint8_t>(px[3]), 0xFF) << c.why << ": pixel not opaque";
            }
    }
    EXPECT_TRUE(sim::web::frame_message(&before, before).empty()) << "a still picture was sent again";
    Rect whole = rect_of(sim::web::frame_message(nullptr, before));
    EXPECT_EQ(whole.w * whole.h, 16u * 8u) << "a new page did not get the whole picture";
    Rect resized = rect_of(sim::web::frame_message(&before, picture(8, 4, 0)));
    EXPECT_EQ(resized.w * resized.h, 8u * 4u) << "a picture of another size was not sent whole";
}

TEST(BmpFile, IsA24BitBottomUpPictureOfThePanelSize)
{
    PanelPicture p = picture(5, 3, 0x000000);  // 15 bytes a row: padded to 16
    p.rgb[0] = 0xFF0000;                       // top left red
    p.rgb[2 * 5 + 4] = 0x0000FF;               // bottom right blue
    std::string f = sim::web::bmp_file(p);
    ASSERT_EQ(f.size(), 54u + 16u * 3u);
    EXPECT_EQ(f.substr(0, 2), "BM");
    EXPECT_EQ(word(f, 2), f.size()) << "file size field";
    EXPECT_EQ(word(f, 10), 54u) << "pixel data offset";
    EXPECT_EQ(word(f, 18), 5u) << "width";
    EXPECT_EQ(word(f, 22), 3u) << "height (positive: bottom-up)";
    EXPECT_EQ(word(f, 28) & 0xFFFF, 24u) << "bits per pixel";
    EXPECT_EQ(word(f, 30), 0u) << "compression";
    auto px = [&](int x, int y) {  // BGR of screen pixel x, y
        const char* b = f.data() + 54 + (2 - y) * 16 + x * 3;
        return static_cast<uint32_t>(static_cast<uint8_t>(b[2]) << 16 | static_cast<uint8_t>(b[1]) << 8 |
                                     static_cast<uint8_t>(b[0]));
    };
    EXPECT_EQ(px(0, 0), 0xFF0000u) << "top left pixel is not red: rows or colours swapped";
    EXPECT_EQ(px(4, 2), 0x0000FFu) << "bottom right pixel is not blue";
}

TEST(PageInput, ParsesThePagesMessages)
{
    using sim::web::PageInput;
    struct Case {
        std::string text;
        PageInput::Kind kind;
        int x, y;
        bool flag;
        int port;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"touch 10 20 1", PageInput::Touch, 10, 20, true, 1, ""},
        {"touch 799 479 0", PageInput::Touch, 799, 479, false, 1, ""},
        {"touch 1 2", PageInput::Bad, 0, 0, false, 1, ""},
        {"touch 1 2 3", PageInput::Bad, 0, 0, false, 1, ""},
        {"touch a 2 1", PageInput::Bad, 0, 0, false, 1, ""},
        {"touch 1 2 1 9", PageInput::Bad, 0, 0, false, 1, ""},
        {"card 1", PageInput::Card, 0, 0, true, 1, ""},
        {"card 0", PageInput::Card, 0, 0, false, 1, ""},
        {"card yes", PageInput::Bad, 0, 0, false, 1, ""},
        {"send 1 vers\r", PageInput::Send, 0, 0, false, 1, "vers\r"},
        {"send 2  two blanks\r", PageInput::Send, 0, 0, false, 2, " two blanks\r"},
        {"send 3 x\r", PageInput::Bad, 0, 0, false, 1, ""},
        {"", PageInput::Bad, 0, 0, false, 1, ""},
    };
    for (const Case& c : cases) {
        PageInput in = sim::web::parse_page_input(c.text);
        EXPECT_EQ(in.kind, c.kind) << "\"" << c.text << "\"";
        if (in.kind != c.kind)
            continue;
        if (c.kind == PageInput::Touch)
            EXPECT_TRUE(in.x == c.x && in.y == c.y && in.down == c.flag) << "\"" << c.text << "\" read as touch "
                                                                         << in.x << " " << in.y << " " << in.down;
        if (c.kind == PageInput::Card)
            EXPECT_EQ(in.present, c.flag) << "\"" << c.text << "\"";
        if (c.kind == PageInput::Send)
            EXPECT_TRUE(in.port == c.port && in.bytes == c.bytes)
                << "\"" << c.text << "\" read as port " << in.port << " bytes \"" << in.bytes << "\"";
    }
}

TEST(QueryNumber, FindsWholeNumbersByName)
{
    struct Case {
        const char* query;
        const char* name;
        bool found;
        long value;
    };
    const std::vector<Case> cases = {
        {"x=12&y=34&down=1", "x", true, 12},
        {"x=12&y=34&down=1", "y", true, 34},
        {"x=12&y=34&down=1", "down", true, 1},
        {"xx=5&x=7", "x", true, 7},
        {"x=", "x", false, 0},
        {"x=1.5", "x", false, 0},
        {"x=-3", "x", true, -3},
        {"y=1", "x", false, 0},
        {"", "x", false, 0},
    };
    for (const Case& c : cases) {
        long v = 0;
        bool found = sim::web::query_number(c.query, c.name, &v);
        EXPECT_EQ(found, c.found) << c.name << " in \"" << c.query << "\"";
        if (found && c.found)
            EXPECT_EQ(v, c.value) << c.name << " in \"" << c.query << "\"";
    }
}

// One board per process: everything the publisher reads off the board is
// checked in this one test.
TEST(PanelPublisher, ReadsTheBoardAsThePageShowsIt)
{
    char dir[] = "/tmp/velm-panel-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    sim::BoardOptions o;
    o.flash = std::string(dir) + "/flash.bin";
    o.eeprom = std::string(dir) + "/eeprom.bin";
    o.speed = sim::Speed::Max;
    sim::Board& b = sim::Board::create(o);
    sim::Machine& m = b.machine;
    constexpr uint32_t kFb = 0xC3E00000, kPortB = 0x10015100, kPortC = 0x10015200, kGpt1 = 0x10003000,
                       kPccr0 = 0x10027020, kPccr1 = 0x10027024;

    sim::PanelPublisher panel(b);
    panel.set_picture_source(sim::scan_out_picture(b, 16, 2));
    int published = 0;
    panel.set_on_publish([&] { ++published; });
    panel.start();
    EXPECT_EQ(panel.snapshot().picture->rgb, std::vector<uint32_t>(32, 0))
        << "before the LCD controller has a screen size the panel is not black at its own size";
    // Before the firmware has switched any module clock on, looking at the
    // board is no access a model could object to.
    panel.publish(true);
    EXPECT_TRUE(m.reports().empty()) << "the panel's look at the board was reported: " << m.reports().front();

    // A 16 x 2 screen of RGB565 pixels, rows 10 words apart.
    constexpr uint32_t kRowWords = 10;
    m.write(sim::Lcdc::kBase + sim::Lcdc::LSSAR, kFb, 4);
    m.write(sim::Lcdc::kBase + sim::Lcdc::LSR, 1u << 20 | 2, 4);
    m.write(sim::Lcdc::kBase + sim::Lcdc::LVPWR, kRowWords, 4);
    m.write(sim::Lcdc::kBase + sim::Lcdc::LPCR, 5u << 25, 4);  // 16 bpp
    auto pixel = [&](int x, int y) { return m.writable(kFb + y * kRowWords * 4 + x * 2, 2); };
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 16; ++x) {
            uint16_t v = static_cast<uint16_t>(x * 4099 + y * 31);
            std::memcpy(pixel(x, y), &v, 2);
        }
    // PB12 (panel power) and PB16 (signal buffer) GPIO outputs driven low.
    m.write(kPortB + 0x04, 3u << 24, 4);          // OCR1: pin 12 from DR
    m.write(kPortB + 0x08, 3u << 0, 4);           // OCR2: pin 16 from DR
    m.write(kPortB + 0x1C, 0, 4);                 // DR
    m.write(kPortB + 0x00, 1u << 12 | 1u << 16, 4);  // DDIR
    m.write(kPortB + 0x20, 1u << 12 | 1u << 16, 4);  // GIUS
    m.write(kPccr0, (1u << 26) | (1u << 18) | 3u, 4);  // the LCD clocks, UART1's and UART2's
    m.write(kPccr1, 1u << 25, 4);                      // GPT1's
    ASSERT_TRUE(b.lcdc.showing()) << "the test did not set the panel up to show a picture";

    struct Step {
        std::function<void()> change;
        bool picture_changes;
        const char* why;
    };
    const std::vector<Step> steps = {
        {[] {}, true, "the panel came on"},
        {[] {}, false, "nothing changed"},
        {[&] { *pixel(7, 1) ^= 0xFF; }, true, "one frame-buffer byte changed"},
        {[&] { *pixel(15, 0) ^= 0x01; }, true, "the last pixel of a row changed"},
        {[&] { *m.writable(kFb + 34) ^= 0xFF; }, false, "a byte between the rows changed (not scanned)"},
        {[&] { m.write(sim::Lcdc::kBase + sim::Lcdc::LSSAR, kFb + 4, 4); }, true, "the start address moved"},
        {[&] { m.write(kPortB + 0x1C, 1u << 12, 4); }, true, "panel power went off"},
    };
    for (const Step& st : steps) {
        sim::PanelSnapshot before = panel.snapshot();
        int notices = published;
        st.change();
        panel.publish(true);
        sim::PanelSnapshot s = panel.snapshot();
        sim::Lcdc::Picture want = b.lcdc.picture();
        EXPECT_TRUE(s.picture->width == want.width && s.picture->height == want.height && s.picture->rgb == want.rgb)
            << st.why << ": the published picture is not the LCD controller's";
        EXPECT_EQ(s.picture_generation != before.picture_generation, st.picture_changes)
            << st.why << ": picture generation " << before.picture_generation << " -> " << s.picture_generation;
        EXPECT_EQ(published != notices, st.picture_changes) << st.why << ": the server was told wrongly";
    }
    sim::PanelSnapshot s = panel.snapshot();
    EXPECT_FALSE(s.state.panel_power) << "panel power shown on with PB12 high";
    EXPECT_EQ(s.picture->rgb, std::vector<uint32_t>(32, 0)) << "an unpowered panel shows a picture";

    // The beeper: GPT1 in restart mode toggling its output, PC14 not a GPIO.
    struct Tone {
        uint32_t tctl, tprer, tcmp;
        double hz;
        const char* why;
    };
    const uint32_t on = sim::Gpt::TCTL_TEN | (1u << 1) | sim::Gpt::TCTL_OM;
    const std::vector<Tone> tones = {
        {on, 0, 4156, 16625000.0 / 4156 / 2, "no prescaler"},
        {on, 3, 1039, 16625000.0 / 4 / 1039 / 2, "prescaler 4"},
        {on & ~sim::Gpt::TCTL_OM, 0, 4156, 0, "output mode off"},
        {on & ~sim::Gpt::TCTL_TEN, 0, 4156, 0, "timer off"},
    };
    for (const Tone& t : tones) {
        m.write(kGpt1 + 0x00, 0, 4);
        m.write(kGpt1 + 0x04, t.tprer, 4);
        m.write(kGpt1 + 0x08, t.tcmp, 4);
        m.write(kGpt1 + 0x00, t.tctl, 4);
        EXPECT_NEAR(sim::beeper_tone_hz(b), t.hz, 0.01) << t.why;
    }
    m.write(kGpt1 + 0x00, on, 4);
    m.write(kPortC + 0x20, 1u << 14, 4);  // PC14 taken as a GPIO: no tone on the beeper
    EXPECT_EQ(sim::beeper_tone_hz(b), 0) << "a tone while PC14 is a GPIO pin";

    // The beeper's volume: the PWM's sample and period registers as they
    // stand, in the state and its JSON.
    constexpr uint32_t kPwm = 0x10006000;
    m.write(kPccr1, m.read(kPccr1, 4) | 0x17000000, 4);  // the module clocks of the firmware's set-up
    m.write(kPwm + 0x08, 102, 4);
    for (uint32_t sample : {40u, 0u, 102u, 7u}) {
        const uint64_t before = panel.snapshot().generation;
        m.write(kPwm + 0x04, sample, 4);
        panel.publish(false);
        const sim::PanelSnapshot s = panel.snapshot();
        EXPECT_EQ(s.state.volume_sample, sample) << "the volume after a sample of " << sample;
        EXPECT_EQ(s.state.volume_period, 102u);
        EXPECT_GT(s.generation, before) << "a new volume did not count as a change for the page";
        const std::string json = sim::web::state_json(s);
        const std::string want = "\"volume\":{\"sample\":" + std::to_string(sample) + ",\"period\":102}";
        EXPECT_NE(json.find(want), std::string::npos) << "/state lacks " << want << ": " << json;
    }

    // What each UART sends reaches the console of its own port, in order.
    const std::pair<sim::Uart*, uint32_t> uarts[] = {{&b.uart1, 0x1000A000}, {&b.uart2, 0x1000B000}};
    const std::string texts[] = {"vers\r\x13", "two\r"};
    for (int i = 0; i < 2; ++i) {
        uint32_t base = uarts[i].second;
        m.write(base + sim::Uart::UCR2, sim::Uart::UCR2_SRST | sim::Uart::UCR2_TXEN | sim::Uart::UCR2_WS, 4);
        m.write(base + sim::Uart::UCR1, sim::Uart::UCR1_UARTEN, 4);
        for (char c : texts[i])
            m.write(base + sim::Uart::UTXD, static_cast<uint8_t>(c), 4);
    }
    m.advance(100 * sim::kMillisecond);
    for (int port : {1, 2}) {
        uint64_t begin = 99;
        EXPECT_EQ(panel.console(port, 0, &begin), texts[port - 1]) << "console of UART" << port;
        EXPECT_EQ(begin, 0u);
        EXPECT_EQ(panel.console_end(port), texts[port - 1].size());
        EXPECT_EQ(panel.console(port, 2, &begin), texts[port - 1].substr(2)) << "console of UART" << port << " from 2";
        EXPECT_EQ(begin, 2u);
    }
    unlink(o.flash.c_str());
    unlink(o.eeprom.c_str());
    rmdir(dir);
}

}  // namespace
