// What the panel page's server sends and understands, apart from the
// sockets: the state as JSON, the picture as a BMP file and as WebSocket
// frames, console bytes, and the page's own messages.
#pragma once

#include <cstdint>
#include <string>

#include "panel_state.h"

namespace sim::web {

// The /state document.
std::string state_json(const PanelSnapshot& s);

// A 24-bit bottom-up BMP file of the picture.
std::string bmp_file(const PanelPicture& p);

// Binary WebSocket messages to the page.  All numbers are little-endian
// 32-bit words after a one-byte kind padded to four bytes.
enum MessageKind : uint8_t { kFrameMessage = 1, kConsoleMessage = 2 };
constexpr size_t kFrameHeader = 28;  // kind, width, height, x, y, w, h
// The part of now that differs from before (the whole picture when before
// is null or of another size), as RGBA rows; empty when nothing differs.
std::string frame_message(const PanelPicture* before, const PanelPicture& now);
// Bytes a UART sent: kind, port, then the bytes.
std::string console_message(int port, const std::string& bytes);

// A text message from the page:
//   "touch X Y DOWN"   the finger at panel pixel X, Y; DOWN 1 or 0
//   "card PRESENT"     the SD card switch, 1 or 0
//   "send PORT BYTES"  BYTES (everything after the one blank) to UART PORT
struct PageInput {
    enum Kind { Bad, Touch, Card, Send } kind = Bad;
    int x = 0, y = 0;
    bool down = false;
    bool present = false;
    int port = 1;
    std::string bytes;
};
PageInput parse_page_input(const std::string& text);

// A whole decimal number that a query string (after '?') gives for name.
bool query_number(const std::string& query, const std::string& name, long* out);

}  // namespace sim::web
