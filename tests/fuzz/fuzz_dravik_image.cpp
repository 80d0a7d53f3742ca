// fuzz_dravik_image: an input is a picture that the user adds to the image
// list: loaded as a BMP (then converted to RGB565 and compressed as the
// builder stores it) and as a GIF (its information read), as the
// information panel and the builder use them.
#include <vector>

#include "core/image_file.h"
#include "core/memory_image_builder.h"
#include "dravik_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::QuietUser user;
    const QString bmp = fuzz::write_input("picture.bmp", data, size);
    CImageFile image;
    if (image.LoadBmp(bmp, &user)) {
        image.GetBitsPerPixel();
        image.GetColorCount();
        std::vector<uint8_t> pixels;
        uint32_t bytes = 0;
        int bpp = 0;
        bool compressed = false;
        CMemoryImageBuilder::ConvertAndCompressBitmap(image, pixels, bytes, bpp, compressed, bmp);
    }
    const QString gif = fuzz::write_input("picture.gif", data, size);
    CImageFile anim;
    if (anim.LoadGif(gif, &user)) {
        anim.GetGifWidth();
        anim.GetGifHeight();
        anim.GetGifTableBits();
        anim.GetGifColorCount();
    }
    return 0;
}
