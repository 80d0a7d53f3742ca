// What the panel page and the endpoints show of the board, and what they
// hand to it.
//
// The firmware and the models run on one thread; the HTTP server runs on
// others.  The publisher lives on the firmware thread: a repeating machine
// event looks at the board (at most every kLookWallNs of wall time, so a
// board running as fast as it can stays fast) and copies the panel picture,
// the LEDs, panel power, backlight, tone and volume, card switch, finger and
// virtual time into a snapshot behind a mutex.  Other threads read only snapshots
// and the console bytes, and hand touches, card changes and console lines to
// the board through Machine::post().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "board.h"

namespace sim {

// The panel's picture, 0x00RRGGBB per pixel, rows top to bottom.  Published
// pictures are never changed again, so readers share them.
struct PanelPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;
};

struct PanelState {
    bool panel_power = false;
    int backlight = 0;      // PWM duty, 0..255
    bool status_led = false;
    bool sd_led = false;
    double tone_hz = 0;     // 0 while the beeper is silent
    // The beeper's volume: the PWM's sample and period registers (the
    // output is high for volume_sample of every volume_period counts).
    uint32_t volume_sample = 0;
    uint32_t volume_period = 0;
    bool card_present = false;
    Board::Finger finger;

    bool operator==(const PanelState& o) const
    {
        return panel_power == o.panel_power && backlight == o.backlight && status_led == o.status_led &&
               sd_led == o.sd_led && tone_hz == o.tone_hz && volume_sample == o.volume_sample &&
               volume_period == o.volume_period && card_present == o.card_present && finger.x == o.finger.x &&
               finger.y == o.finger.y && finger.down == o.finger.down;
    }
    bool operator!=(const PanelState& o) const { return !(*this == o); }
};

struct PanelSnapshot {
    uint64_t generation = 0;          // bumped when the state or the picture changed
    uint64_t picture_generation = 0;  // bumped when the picture changed
    PanelState state;
    std::shared_ptr<const PanelPicture> picture;
    Time time = 0;                    // virtual time of the last look
};

// The tone GPT1 makes on the beeper pin, 0 when silent: the output toggles
// at each compare, so one period of the tone is two compare periods.
double beeper_tone_hz(Board& board);

// Where the publisher gets the panel's picture from: it fills rgb, width and
// height, and returns false when it knows that it left the picture it gave
// last time (rgb is the same vector each time).
using PictureSource = std::function<bool(std::vector<uint32_t>& rgb, int& width, int& height)>;
// The LCD controller's scan-out, looked at again only when something it
// reads (its registers, whether the panel shows anything, the frame buffer)
// has changed, and once a second in any case.  Until the controller is
// given a screen size, the panel (width x height) is black.
PictureSource scan_out_picture(Board& board, int width, int height);

class PanelPublisher {
public:
    static constexpr Time kTick = 5 * kMillisecond;       // virtual time between looks
    static constexpr int64_t kLookWallNs = 30000000;      // wall time between looks at the picture
    static constexpr int64_t kConsoleWallNs = 10000000;   // wall time between console notices
    static constexpr size_t kConsoleHistory = 256 * 1024; // bytes kept per port

    explicit PanelPublisher(Board& board);

    // ---- firmware thread (or before the firmware runs)
    void set_picture_source(PictureSource source);
    // Listens to both UARTs and starts the repeating look.
    void start();
    // Looks now, whatever the wall clock says (after an input changed the
    // board), with or without the picture.
    void publish(bool with_picture);

    // ---- any thread
    PanelSnapshot snapshot() const;
    // Called on the firmware thread, with no lock held, after something new
    // was published (snapshot or console bytes).  Set before start().
    void set_on_publish(std::function<void()> fn) { on_publish_ = std::move(fn); }

    // What a UART (1 or 2) sent: the bytes from position from on, as far as
    // they are still kept; *begin is the position of the first byte returned.
    std::string console(int port, uint64_t from, uint64_t* begin) const;
    uint64_t console_end(int port) const;

    // Inputs, run on the firmware thread at its next safe point; done (if
    // any) runs there afterwards, once the change is in the snapshot.  A
    // touch off the panel (the picture last published) is refused: false,
    // and nothing reaches the board.
    bool post_touch(int x, int y, bool down, std::function<void()> done = nullptr);
    void post_card(bool present, std::function<void()> done = nullptr);
    void post_console(int port, std::string bytes);

private:
    struct Console {
        uint64_t begin = 0;  // position of bytes[0]
        std::string bytes;
    };
    void tick();
    void look(bool with_picture, int64_t wall);
    PanelState read_state() const;
    void console_byte(int port, uint8_t b);
    void notify();

    Board& board_;
    PictureSource source_;
    std::function<void()> on_publish_;

    // firmware thread only
    std::vector<uint32_t> scratch_;
    std::shared_ptr<const PanelPicture> current_;
    PanelState current_state_;
    bool have_state_ = false;
    int64_t last_look_wall_ = 0;
    int64_t last_console_notice_wall_ = 0;
    bool console_unnoticed_ = false;
    uint64_t generation_ = 0;
    uint64_t picture_generation_ = 0;

    mutable std::mutex mu_;
    PanelSnapshot published_;
    Console console_[2];
};

}  // namespace sim
