#include "web/content.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace sim::web {

namespace {

void put32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void put16(std::string& s, uint16_t v)
{
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}

const char* boolean(bool b)
{
    return b ? "true" : "false";
}

// Nine characters at most: no pixel, port or flag is longer, and whatever
// passes fits a 32-bit int with room to spare.
bool whole_number(const std::string& text, long* out)
{
    if (text.empty() || text.size() > 9)
        return false;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size() || text.find_first_not_of("0123456789", i) != std::string::npos)
        return false;
    *out = std::strtol(text.c_str(), nullptr, 10);
    return true;
}

}  // namespace

std::string state_json(const PanelSnapshot& s)
{
    const PanelState& st = s.state;
    char tone[64];
    std::snprintf(tone, sizeof tone, "%.3f", st.tone_hz);
    std::ostringstream o;
    o << "{\"panel_power\":" << boolean(st.panel_power)
      << ",\"backlight\":" << st.backlight
      << ",\"leds\":{\"status\":" << boolean(st.status_led) << ",\"sd\":" << boolean(st.sd_led) << "}"
      << ",\"tone\":{\"on\":" << boolean(st.tone_hz > 0) << ",\"hz\":" << tone << "}"
      << ",\"volume\":{\"sample\":" << st.volume_sample << ",\"period\":" << st.volume_period << "}"
      << ",\"card_present\":" << boolean(st.card_present)
      << ",\"touch\":{\"x\":" << st.finger.x << ",\"y\":" << st.finger.y
      << ",\"down\":" << boolean(st.finger.down) << "}"
      << ",\"width\":" << (s.picture ? s.picture->width : 0)
      << ",\"height\":" << (s.picture ? s.picture->height : 0)
      << ",\"time_ns\":" << s.time
      << ",\"generation\":" << s.generation
      << ",\"picture_generation\":" << s.picture_generation << "}";
    return o.str();
}

std::string bmp_file(const PanelPicture& p)
{
    const uint32_t row = (static_cast<uint32_t>(p.width) * 3 + 3) & ~3u;
    const uint32_t data = row * static_cast<uint32_t>(p.height);
    std::string f;
    f.reserve(54 + data);
    // File header.
    f += "BM";
    put32(f, 54 + data);
    put32(f, 0);
    put32(f, 54);
    // Information header: positive height, rows bottom to top.
    put32(f, 40);
    put32(f, static_cast<uint32_t>(p.width));
    put32(f, static_cast<uint32_t>(p.height));
    put16(f, 1);
    put16(f, 24);
    put32(f, 0);  // no compression
    put32(f, data);
    put32(f, 2835);  // 72 dpi
    put32(f, 2835);
    put32(f, 0);
    put32(f, 0);
    for (int y = p.height - 1; y >= 0; --y) {
        const uint32_t* px = p.rgb.data() + static_cast<size_t>(y) * p.width;
        for (int x = 0; x < p.width; ++x) {
            f.push_back(static_cast<char>(px[x] & 0xFF));
            f.push_back(static_cast<char>((px[x] >> 8) & 0xFF));
            f.push_back(static_cast<char>((px[x] >> 16) & 0xFF));
        }
        f.append(row - static_cast<uint32_t>(p.width) * 3, '\0');
    }
    return f;
}

std::string frame_message(const PanelPicture* before, const PanelPicture& now)
{
    const int w = now.width, h = now.height;
    int x0 = 0, y0 = 0, x1 = w, y1 = h;  // the changed rectangle, [x0, x1) x [y0, y1)
    if (before && before->width == w && before->height == h && before->rgb.size() == now.rgb.size()) {
        x0 = w, y0 = h, x1 = 0, y1 = 0;
        for (int y = 0; y < h; ++y) {
            const uint32_t* a = before->rgb.data() + static_cast<size_t>(y) * w;
            const uint32_t* b = now.rgb.data() + static_cast<size_t>(y) * w;
            if (std::memcmp(a, b, w * sizeof(uint32_t)) == 0)
                continue;
            int l = 0, r = w;
            while (a[l] == b[l])
                ++l;
            while (a[r - 1] == b[r - 1])
                --r;
            x0 = std::min(x0, l);
            x1 = std::max(x1, r);
            y0 = std::min(y0, y);
            y1 = y + 1;
        }
    }
    if (x1 <= x0 || y1 <= y0)
        return {};
    std::string m;
    m.reserve(kFrameHeader + static_cast<size_t>(x1 - x0) * (y1 - y0) * 4);
    put32(m, kFrameMessage);
    for (int v : {w, h, x0, y0, x1 - x0, y1 - y0})
        put32(m, static_cast<uint32_t>(v));
    for (int y = y0; y < y1; ++y) {
        const uint32_t* px = now.rgb.data() + static_cast<size_t>(y) * w;
        for (int x = x0; x < x1; ++x) {
            m.push_back(static_cast<char>((px[x] >> 16) & 0xFF));
            m.push_back(static_cast<char>((px[x] >> 8) & 0xFF));
            m.push_back(static_cast<char>(px[x] & 0xFF));
            m.push_back(static_cast<char>(0xFF));
        }
    }
    return m;
}

std::string console_message(int port, const std::string& bytes)
{
    std::string m;
    m.reserve(4 + bytes.size());
    m.push_back(static_cast<char>(kConsoleMessage));
    m.push_back(static_cast<char>(port));
    m.append(2, '\0');
    m += bytes;
    return m;
}

PageInput parse_page_input(const std::string& text)
{
    PageInput in;
    if (text.rfind("send ", 0) == 0) {
        size_t blank = text.find(' ', 5);
        long port;
        if (blank == std::string::npos || !whole_number(text.substr(5, blank - 5), &port) || port < 1 || port > 2)
            return in;
        in.kind = PageInput::Send;
        in.port = static_cast<int>(port);
        in.bytes = text.substr(blank + 1);
        return in;
    }
    std::istringstream s(text);
    std::string word, a, b, c, extra;
    s >> word >> a >> b >> c;
    if (s >> extra)
        return in;
    long x, y, d;
    if (word == "touch" && whole_number(a, &x) && whole_number(b, &y) && whole_number(c, &d) && (d == 0 || d == 1)) {
        in.kind = PageInput::Touch;
        in.x = static_cast<int>(x);
        in.y = static_cast<int>(y);
        in.down = d == 1;
    } else if (word == "card" && whole_number(a, &d) && (d == 0 || d == 1) && b.empty()) {
        in.kind = PageInput::Card;
        in.present = d == 1;
    }
    return in;
}

bool query_number(const std::string& query, const std::string& name, long* out)
{
    size_t pos = 0;
    while (pos <= query.size()) {
        size_t amp = query.find('&', pos);
        std::string pair = query.substr(pos, amp == std::string::npos ? std::string::npos : amp - pos);
        size_t eq = pair.find('=');
        if (eq != std::string::npos && pair.substr(0, eq) == name)
            return whole_number(pair.substr(eq + 1), out);
        if (amp == std::string::npos)
            break;
        pos = amp + 1;
    }
    return false;
}

}  // namespace sim::web
