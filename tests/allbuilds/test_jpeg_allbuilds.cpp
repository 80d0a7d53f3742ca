// JPEG files of the panel's size drawn with "xif" from the card on every
// build (the card's read window is smaller on the 640x480 build), whole and
// clipped at every edge of the screen: baseline, and progressive drawn in
// bands.
#include <gtest/gtest.h>

#include <string>

#include "graphics/screen.h"
#include "support/jpeg_files.h"
#include "support/shell.h"

namespace {

using screen::H;
using screen::W;

TEST(JpegFiles, PanelSizePicturesWholeAndClippedAtEveryEdge)
{
    const std::string card = fwtest::temp_dir() + "/card.img";
    fwtest::make_card(card);
    struct File {
        const char* name;
        std::string path;
    };
    const File files[] = {
        {"base.jpg", fwtest::make_jpeg("base.jpg", W, H, "-quality 90 -sample 2x2")},
        {"prog.jpg", fwtest::make_jpeg("prog.jpg", W, H, "-quality 90 -progressive -sample 1x1")},
    };
    for (const File& f : files)
        fwtest::put_on_card(card, f.path, f.name);
    fwtest::BootOptions o;
    o.sd = card;
    fwtest::boot_to_prompt(o);
    const int places[][2] = {{0, 0}, {-W / 3, -H / 4}, {W / 2, H / 3}, {-W + 40, H - 30}, {W - 25, -H + 20}};
    for (const File& f : files) {
        const fwtest::Picture want = fwtest::djpeg_565(f.path);
        for (const auto& pl : places) {
            screen::run([] {
                GUI_SetBkColor(0xFFFFFF);
                GUI_Clear();
            });
            const std::string line = std::string("xif ") + f.name + " " + std::to_string(pl[0]) + " " +
                                     std::to_string(pl[1]);
            ASSERT_EQ(fwtest::visible(fwtest::command(line, 120 * sim::kSecond)), ">\\r") << line;
            fwtest::Agreement a = fwtest::compare_screen(want, pl[0], pl[1], W, H, screen::kWhite);
            EXPECT_TRUE(fwtest::like_djpeg(a)) << VELM_BUILD_NAME << ", " << line << ": " << fwtest::describe(a);
        }
    }
}

}  // namespace
