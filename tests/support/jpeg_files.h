// JPEG fixtures made at test time with ImageMagick and libjpeg-turbo's cjpeg
// or ffmpeg, the pictures djpeg makes of them, and the frame buffer
// compared with such a picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fwtest {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint16_t> rgb565;  // rows top first
};

// A JPEG file made by cjpeg with the given options from an ImageMagick
// picture (a plasma of that size, the same for the same seed); its path.
std::string make_jpeg(const std::string& name, int width, int height, const std::string& cjpeg_options,
                      int seed = 5);
// The same picture encoded by ffmpeg with the given options (a pixel format,
// say); its path.
std::string make_jpeg_ffmpeg(const std::string& name, int width, int height, const std::string& ffmpeg_options,
                             int seed = 5);

// The file as "djpeg -dct int -nosmooth" decodes it, reduced to RGB565; a
// damaged file as djpeg restores it.
Picture djpeg_565(const std::string& jpeg);

std::vector<uint8_t> file_bytes(const std::string& path);
void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Offset of the first segment with marker m (its 0xFF byte), -1 when none.
long find_marker(const std::vector<uint8_t>& jpeg, uint8_t m, long from = 0);

// How the panel's frame buffer (w x h) agrees with a picture placed at
// (x, y): over the picture's visible pixels the number that differ and the
// largest step by which one 565 channel differs; outside it the number of
// pixels that are not `background`.
struct Agreement {
    long compared = 0;
    long differing = 0;
    int max_step = 0;
    long outside_changed = 0;
    std::string first;  // the first difference, for messages
};
// Rows [skip_first, skip_end) of the picture are left out.
Agreement compare_screen(const Picture& want, int x, int y, int w, int h, uint16_t background, int skip_first = 0,
                         int skip_end = 0);

// The rows in which two pictures of the same size differ, widened to whole
// bands of `band` rows: [*first, *end), empty (0, 0) when they are equal.
void differing_rows(const Picture& a, const Picture& b, int band, int* first, int* end);

// Close enough to djpeg: no channel more than one step apart, and at most
// one pixel in a hundred different; nothing outside changed.
bool like_djpeg(const Agreement& a);
std::string describe(const Agreement& a);

}  // namespace fwtest
