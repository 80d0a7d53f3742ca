#include "focaltech.h"

#include <algorithm>
#include <string>

namespace sim {

namespace {
// A second finger rests this far left of the first (or right, near the
// left edge), so that the two points differ.
constexpr int kSecondFingerOffset = 100;
}  // namespace

FocalTech::FocalTech(Machine& m, Gpio& gpio, std::function<ResistivePanel::Finger()> where,
                     const ResistivePanel& mapping)
    : m_(m), gpio_(gpio), where_(std::move(where)), mapping_(mapping), rep_(m, "FocalTech touch controller")
{
    // After power-up the point registers read as erased: no event.
    std::fill(std::begin(regs_), std::end(regs_), 0xFF);
    regs_[0] = 0;  // working mode
    regs_[1] = 0;  // no gesture
    regs_[kTouchCount] = 0;
    schedule_scan();
}

FocalTech::~FocalTech()
{
    m_.cancel(scan_event_);
}

void FocalTech::schedule_scan()
{
    scan_event_ = m_.schedule_in(kScanPeriod, [this] {
        scan();
        schedule_scan();
    });
}

void FocalTech::set_int(bool active)
{
    if (active == int_active_)
        return;
    int_active_ = active;
    gpio_.drive(kIntPort, kIntPin, active ? 0 : -1);
}

void FocalTech::publish_point(uint8_t at, uint8_t event, uint8_t id, int sx, int sy)
{
    int down = 0, across = 0;  // the panel mapping's X and Y channels
    mapping_.raw_at(sx, sy, &down, &across);
    down = std::clamp(down, 0, 0xFFF);
    across = std::clamp(across, 0, 0xFFF);
    regs_[at + 0] = static_cast<uint8_t>(event | (down >> 8));
    regs_[at + 1] = static_cast<uint8_t>(down);
    regs_[at + 2] = static_cast<uint8_t>((id << 4) | (across >> 8));
    regs_[at + 3] = static_cast<uint8_t>(across);
    regs_[at + 4] = 0x40;  // weight
    regs_[at + 5] = 0x10;  // area
}

void FocalTech::scan()
{
    if (!present)
        return;
    ResistivePanel::Finger f = where_();
    if (f.down) {
        const uint8_t event = was_down_ ? EV_CONTACT : EV_DOWN;
        publish_point(kPoint1, event, 0, f.x, f.y);
        if (second_finger) {
            const int x2 = f.x >= kSecondFingerOffset ? f.x - kSecondFingerOffset : f.x + kSecondFingerOffset;
            publish_point(kPoint2, event, 1, x2, f.y);
            regs_[kTouchCount] = 2;
        } else {
            std::fill(regs_ + kPoint2, regs_ + kPoint2 + 6, 0xFF);
            regs_[kTouchCount] = 1;
        }
        was_down_ = true;
        lifts_left_ = 2;
        set_int(true);
        return;
    }
    was_down_ = false;
    if (lifts_left_ == 0)
        return;
    --lifts_left_;
    regs_[kTouchCount] = 0;
    regs_[kPoint1] = static_cast<uint8_t>(EV_LIFT | (regs_[kPoint1] & 0x0F));
    if (regs_[kPoint2] != 0xFF)
        regs_[kPoint2] = static_cast<uint8_t>(EV_LIFT | (regs_[kPoint2] & 0x0F));
    set_int(true);
}

void FocalTech::bus_start()
{
    pointer_next_ = false;
}

bool FocalTech::address(bool read)
{
    if (!present)
        return false;
    pointer_next_ = !read;
    return true;
}

bool FocalTech::write(uint8_t byte)
{
    if (!pointer_next_) {
        rep_.once("FocalTech touch controller: write of " + std::to_string(byte) + " to register " +
                  std::to_string(pointer_) + " (its configuration is its own)");
        return false;
    }
    pointer_ = byte;
    pointer_next_ = false;
    return true;
}

uint8_t FocalTech::read(bool)
{
    // Reading the report releases the interrupt until the next scan.
    set_int(false);
    if (pointer_ >= kRegisters) {
        rep_.once("FocalTech touch controller: read of register " + std::to_string(pointer_) +
                  ", which is not modelled");
        ++pointer_;
        return 0xFF;
    }
    return regs_[pointer_++];
}

}  // namespace sim
