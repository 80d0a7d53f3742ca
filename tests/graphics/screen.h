// A booted board with the graphics library set up as start-up leaves it,
// and ways to look at the frame buffer from a test.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "board/hw.h"
#include "config/build_config.h"
#include "graphics/GUI.h"
#include "storage/KM_eeprom.h"
#include "support/fw_board.h"
#include "support/host.h"

namespace screen {

constexpr uint32_t kFrameBuffer = 0xC3E00000;  // board address
constexpr int W = PANEL_WIDTH;
constexpr int H = PANEL_HEIGHT;
constexpr uint16_t kWhite = 0xFFFF, kBlack = 0x0000, kRed = 0xF800, kGreen = 0x07E0, kBlue = 0x001F;

inline volatile uint16_t* fb()
{
    return static_cast<volatile uint16_t*>(hw_ptr(kFrameBuffer));
}

inline uint16_t px(int x, int y)
{
    return fb()[y * W + x];
}

inline void set_px(int x, int y, uint16_t v)
{
    fb()[y * W + x] = v;
}

// Runs drawing code as the firmware's own code would run it.
inline void run(const std::function<void()>& fn)
{
    fwtest::on_firmware(fn);
}

// Powers the board on, lets the firmware's start-up finish, then sets the
// library up afresh: black screen, white pen of size 1, normal modes.
inline sim::Board& start()
{
    sim::Board& b = fwtest::boot();
    // Start-up ends with the first prompt; on a fresh EEPROM it first
    // writes the default record to both copies, which takes a while.
    fwtest::until_prompt(b.uart1, 0, 10 * sim::kSecond);
    run([] {
        if (eepromData.magic == 0)
            KM_EEPROM_LoadAndFix();
        GUI_Init();
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
        GUI_SetLineStyle(0);
        GUI_SetPenShape(0);
        GUI_SetPenSize(1);
    });
    return b;
}

// The whole visible picture, bypassing the library.
inline std::vector<uint16_t> snapshot()
{
    std::vector<uint16_t> v(static_cast<size_t>(W) * H);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = fb()[i];
    return v;
}

inline void fill(uint16_t v)
{
    for (size_t i = 0; i < static_cast<size_t>(W) * H; ++i)
        fb()[i] = v;
}

// Rows of the rectangle x0..x1, y0..y1: '#' where the pixel is ink, '.'
// elsewhere, each row ended by '\n'.
inline std::string art(int x0, int y0, int x1, int y1, uint16_t ink = kWhite)
{
    std::string s;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x)
            s += px(x, y) == ink ? '#' : '.';
        s += '\n';
    }
    return s;
}

// The bounding box of the pixels of the whole screen whose value is ink.
struct Box {
    int x0 = 1 << 20, y0 = 1 << 20, x1 = -1, y1 = -1;
    bool empty() const { return x1 < 0; }
};

inline Box ink_box(const std::function<bool(uint16_t value)>& is_ink)
{
    Box b;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (is_ink(px(x, y))) {
                b.x0 = std::min(b.x0, x);
                b.y0 = std::min(b.y0, y);
                b.x1 = std::max(b.x1, x);
                b.y1 = std::max(b.y1, y);
            }
    return b;
}

// Pixels of the whole screen that differ from v.
inline std::vector<std::pair<int, int>> pixels_not(uint16_t v)
{
    std::vector<std::pair<int, int>> out;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (px(x, y) != v)
                out.push_back({x, y});
    return out;
}

}  // namespace screen
