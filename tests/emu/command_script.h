// The command script that the differential test sends to the reference
// build's board image and to its host build, and the fixtures both run it
// with: the benchmark of the board image times the same lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace emutest {

// A line of a script: CHECK compares the screens there.
extern const char kCheck[];

// What each subsystem does for a host, in the order a host might use it.
extern const std::vector<std::string> kScript;

// A screen drawn from the memory image, the card and text, then written to
// the card as a BMP file (VELM0000.BMP).
extern const std::vector<std::string> kScreenshotScript;

// The memory image of the script: bitmaps (raw, RLE16, transparent, a
// dial) and a macro.
std::vector<uint8_t> script_memory_image();

// Writes a flash file with the memory image where the firmware finds it
// (offset 0x400000), all else erased.
void write_flash(const std::string& path, const std::vector<uint8_t>& memory_image);

// Makes dir/card.img, the script's card: a FAT16 volume made by mkfs.fat
// with PIC.BMP and SMALL.GIF made by ImageMagick.
void make_script_card(const std::string& dir);

}  // namespace emutest
