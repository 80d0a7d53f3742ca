#include "panel_state.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace sim {

namespace {

int64_t wall_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr uint32_t kGptTctl = 0x00, kGptTprer = 0x04, kGptTcmp = 0x08;
constexpr double kPerclk1Hz = 16625000.0;
// The beeper hangs on PC14, GPT1's output when the pin is not a GPIO.
constexpr int kBeeperPort = Gpio::PORT_C, kBeeperPin = 14;

}  // namespace

double beeper_tone_hz(Board& board)
{
    const Gpt& t = board.gpt1;
    uint32_t tctl = t.reg(kGptTctl);
    uint32_t source = (tctl & Gpt::TCTL_CLKSOURCE) >> 1;
    if (!(tctl & Gpt::TCTL_TEN) || !(tctl & Gpt::TCTL_OM) || source == 0 || !t.clocked() ||
        board.gpio.is_gpio(kBeeperPort, kBeeperPin))
        return 0;
    uint32_t tcmp = t.reg(kGptTcmp);
    double counts = (tctl & Gpt::TCTL_FRR) || tcmp == 0 ? 4294967296.0 : tcmp;
    double clock = kPerclk1Hz / (t.reg(kGptTprer) + 1.0) / (source == 2 ? 16 : 1);
    return clock / counts / 2;
}

PictureSource scan_out_picture(Board& board, int panel_width, int panel_height)
{
    // What the last scan-out read and where its picture went.  Converting
    // the whole frame buffer at every look would cost an idle board more
    // than the rest of it; comparing the bytes costs little.
    struct Seen {
        std::vector<uint32_t> regs;
        bool showing = false;
        std::vector<uint8_t> raw;  // the frame buffer bytes scanned
        const std::vector<uint32_t>* into = nullptr;
        int width = 0, height = 0;
        int64_t wall = 0;
    };
    auto seen = std::make_shared<Seen>();
    return [&board, seen, panel_width, panel_height](std::vector<uint32_t>& rgb, int& w, int& h) {
        const Lcdc& lcdc = board.lcdc;
        std::vector<uint32_t> regs = {lcdc.reg(Lcdc::LSSAR), lcdc.reg(Lcdc::LSR), lcdc.reg(Lcdc::LVPWR),
                                      lcdc.reg(Lcdc::LPCR)};
        const bool showing = lcdc.showing();
        const int64_t wall = wall_ns();
        if (seen->into == &rgb && seen->regs == regs && seen->showing == showing && wall - seen->wall < 1000000000) {
            const uint8_t* fb = seen->raw.empty() ? nullptr : board.machine.mem(regs[0], seen->raw.size());
            if (seen->raw.empty() || (fb && std::memcmp(fb, seen->raw.data(), seen->raw.size()) == 0)) {
                w = seen->width;
                h = seen->height;
                return false;  // rgb still holds this picture
            }
        }
        Lcdc::Picture p = lcdc.picture();
        const bool scanned = showing && p.width > 0 && p.height > 0;
        if (p.width == 0 || p.height == 0) {
            p.width = panel_width;
            p.height = panel_height;
            p.rgb.assign(static_cast<size_t>(p.width) * p.height, 0);
        }
        w = seen->width = p.width;
        h = seen->height = p.height;
        rgb = std::move(p.rgb);
        seen->into = &rgb;
        seen->regs = regs;
        seen->showing = showing;
        seen->wall = wall;
        // The bytes the scan-out read: rows of LVPWR words.
        seen->raw.clear();
        if (scanned) {
            uint32_t bytes = regs[2] * 4 * static_cast<uint32_t>(h - 1) + static_cast<uint32_t>(w) * 2;
            if (const uint8_t* fb = board.machine.mem(regs[0], bytes))
                seen->raw.assign(fb, fb + bytes);
        }
        return true;
    };
}

PanelPublisher::PanelPublisher(Board& board) : board_(board)
{
    published_.picture = current_ = std::make_shared<PanelPicture>();
}

void PanelPublisher::set_picture_source(PictureSource source)
{
    source_ = std::move(source);
}

void PanelPublisher::start()
{
    board_.uart1.add_listener([this](uint8_t b) { console_byte(1, b); });
    board_.uart2.add_listener([this](uint8_t b) { console_byte(2, b); });
    look(true, wall_ns());
    board_.machine.schedule_in(kTick, [this] { tick(); });
}

void PanelPublisher::tick()
{
    int64_t wall = wall_ns();
    if (wall - last_look_wall_ >= kLookWallNs)
        look(true, wall);
    else if (console_unnoticed_ && wall - last_console_notice_wall_ >= kConsoleWallNs)
        notify();
    board_.machine.schedule_in(kTick, [this] { tick(); });
}

void PanelPublisher::publish(bool with_picture)
{
    look(with_picture, wall_ns());
}

PanelState PanelPublisher::read_state() const
{
    PanelState s;
    s.panel_power = board_.lcdc.panel_powered();
    s.backlight = board_.lcdc.backlight();
    s.status_led = board_.status_led();
    s.sd_led = board_.sd_led();
    s.tone_hz = beeper_tone_hz(board_);
    s.volume_sample = board_.pwm.sample();
    s.volume_period = board_.pwm.period();
    s.card_present = board_.card_present;
    s.finger = board_.finger;
    return s;
}

void PanelPublisher::look(bool with_picture, int64_t wall)
{
    bool changed = false;
    PanelState state = read_state();
    if (!have_state_ || state != current_state_) {
        current_state_ = state;
        have_state_ = true;
        changed = true;
    }
    std::shared_ptr<const PanelPicture> picture;
    if (with_picture && source_) {
        last_look_wall_ = wall;
        int w = 0, h = 0;
        const bool fresh = source_(scratch_, w, h);
        const PanelPicture& cur = *current_;
        const bool differs =
            fresh && (w != cur.width || h != cur.height || scratch_.size() != cur.rgb.size() ||
                      std::memcmp(scratch_.data(), cur.rgb.data(), scratch_.size() * sizeof(uint32_t)) != 0);
        if (differs) {
            auto p = std::make_shared<PanelPicture>();
            p->width = w;
            p->height = h;
            p->rgb = scratch_;
            picture = current_ = p;
            ++picture_generation_;
            changed = true;
        }
    }
    if (changed)
        ++generation_;
    {
        std::lock_guard<std::mutex> lk(mu_);
        published_.time = board_.machine.now();
        if (changed) {
            published_.generation = generation_;
            published_.picture_generation = picture_generation_;
            published_.state = current_state_;
            if (picture)
                published_.picture = picture;
        }
    }
    if (changed || console_unnoticed_)
        notify();
}

void PanelPublisher::notify()
{
    console_unnoticed_ = false;
    last_console_notice_wall_ = wall_ns();
    if (on_publish_)
        on_publish_();
}

void PanelPublisher::console_byte(int port, uint8_t b)
{
    {
        std::lock_guard<std::mutex> lk(mu_);
        Console& c = console_[port - 1];
        c.bytes.push_back(static_cast<char>(b));
        if (c.bytes.size() > kConsoleHistory) {
            // Drop the older half at once, not a byte at a time.
            size_t drop = c.bytes.size() - kConsoleHistory / 2;
            c.bytes.erase(0, drop);
            c.begin += drop;
        }
    }
    console_unnoticed_ = true;
}

PanelSnapshot PanelPublisher::snapshot() const
{
    std::lock_guard<std::mutex> lk(mu_);
    return published_;
}

std::string PanelPublisher::console(int port, uint64_t from, uint64_t* begin) const
{
    std::lock_guard<std::mutex> lk(mu_);
    const Console& c = console_[port == 2 ? 1 : 0];
    uint64_t start = std::max(from, c.begin);
    uint64_t end = c.begin + c.bytes.size();
    *begin = std::min(start, end);
    return c.bytes.substr(static_cast<size_t>(*begin - c.begin));
}

uint64_t PanelPublisher::console_end(int port) const
{
    std::lock_guard<std::mutex> lk(mu_);
    const Console& c = console_[port == 2 ? 1 : 0];
    return c.begin + c.bytes.size();
}

bool PanelPublisher::post_touch(int x, int y, bool down, std::function<void()> done)
{
    {
        // The touch model maps panel pixels to plate voltages; a finger
        // anywhere else is no input a board can have (and far off, more
        // than its arithmetic holds).
        std::lock_guard<std::mutex> lk(mu_);
        const PanelPicture& p = *published_.picture;
        if (x < 0 || y < 0 || x >= p.width || y >= p.height)
            return false;
    }
    board_.machine.post([this, x, y, down, done = std::move(done)] {
        board_.finger.x = x;
        board_.finger.y = y;
        board_.finger.down = down;
        publish(false);
        if (done)
            done();
    });
    return true;
}

void PanelPublisher::post_card(bool present, std::function<void()> done)
{
    board_.machine.post([this, present, done = std::move(done)] {
        board_.card_present = present;
        publish(false);
        if (done)
            done();
    });
}

void PanelPublisher::post_console(int port, std::string bytes)
{
    Uart& uart = port == 2 ? board_.uart2 : board_.uart1;
    board_.machine.post([&uart, bytes = std::move(bytes)] { uart.receive(bytes); });
}

}  // namespace sim
