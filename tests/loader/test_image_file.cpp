// The image files of the image list: which BMP and GIF files are refused with
// which message, and how BMP pixels become RGB565.
#include "core/image_file.h"
#include "loader_support.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const Rgb kRed{0xFF, 0, 0}, kGreen{0, 0xFF, 0}, kBlue{0, 0, 0xFF};
const Rgb kOdd{0x08, 0x04, 0x08}, kWhite{0xFF, 0xFF, 0xFF}, kBlack{0, 0, 0};

// Width 3: 9 bytes of pixels per row, padded to 12 in the file.
const Picture kThreeByTwo{{kRed, kGreen, kBlue}, {kOdd, kWhite, kBlack}};

void Patch32(QByteArray& file, int at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        file[at + i] = char(v >> (8 * i));
}

struct RefusedBmp {
    const char* what;
    std::function<QString(const Workdir&)> make;
    QString message;
};

// A 3x2 BMP3 file (54-byte headers, 78 bytes) changed by edit.
QString EditedBmp(const Workdir& dir, const std::function<void(QByteArray&)>& edit)
{
    QByteArray file = dir.Read(QFileInfo(dir.Bmp("base.bmp", kThreeByTwo)).fileName());
    edit(file);
    return dir.Write("edited.bmp", file);
}

// A 31x17 BMP3 file (93 bytes of pixels a row, 96 with padding: 1686 bytes)
// cut to size bytes, its header saying so.
QString CutBmp(const Workdir& dir, int size)
{
    QByteArray file = dir.Read(QFileInfo(dir.Bmp("wide.bmp", Solid(31, 17, kWhite))).fileName());
    file.truncate(size);
    Patch32(file, 2, uint32_t(size));
    return dir.Write("cut.bmp", file);
}

}  // namespace

TEST(ImageFile, RefusesBmpFilesItCannotStore)
{
    const std::vector<RefusedBmp> cases = {
        {"a missing file", [](const Workdir& d) { return d.Path("none.bmp"); }, "Failed to find BMP file!"},
        {"a 53-byte file", [](const Workdir& d) { return d.Write("short.bmp", QByteArray(53, 'B')); },
         "Could not read entire file!"},
        {"a PNG named .bmp",
         [](const Workdir& d) {
             const QString png = d.Convert("pic.png", kThreeByTwo, {}, "PNG:");
             return d.Write("pic.bmp", d.Read(QFileInfo(png).fileName()));
         },
         "Does not appear to be a BMP file! (no \"BM\" at start of file)"},
        {"bfSize beyond the file",
         [](const Workdir& d) { return EditedBmp(d, [](QByteArray& f) { Patch32(f, 2, 79); }); },
         "Does not appear to be a BMP file! (Bad Header)"},
        {"a 32-bit BMP",
         [](const Workdir& d) { return d.Convert("alpha.bmp", kThreeByTwo, {"-type", "TrueColorAlpha"}, "BMP:"); },
         "This BMP is not 24 bits per pixel and will be skipped."},
        {"a compressed 24-bit header",
         [](const Workdir& d) { return EditedBmp(d, [](QByteArray& f) { Patch32(f, 30, 1); }); },
         "This BMP is compressed and will be skipped."},
        {"a file smaller than its headers and rows", [](const Workdir& d) { return CutBmp(d, 1600); },
         "This BMP's size (1600) does not match the BMP's header info:\n"
         "header:                            14\n"
         "info:                              40\n"
         "bytesPerLine: 93 * height  17 =  1581\n"
         "----------------------------------------\n"
         "Total                              1635\n"},
        {"rows that hold their pixels but not their padding", [](const Workdir& d) { return CutBmp(d, 1650); },
         "This BMP's size (1650) does not match the BMP's header info:\n"
         "header:                            14\n"
         "info:                              40\n"
         "bytesPerLine: 96 * height  17 =  1632\n"
         "----------------------------------------\n"
         "Total                              1686\n"},
        {"pixels cut short",
         [](const Workdir& d) {
             return EditedBmp(d, [](QByteArray& f) {
                 f.chop(4);  // the last row's padding and one pixel byte
                 Patch32(f, 2, uint32_t(f.size()));
             });
         },
         "This BMP's size (74) does not match the BMP's header info:\n"
         "header:                            14\n"
         "info:                              40\n"
         "bytesPerLine: 12 * height   2 =    24\n"
         "----------------------------------------\n"
         "Total                                78\n"},
        {"bfOffBits moving the pixels past the end",
         [](const Workdir& d) { return EditedBmp(d, [](QByteArray& f) { Patch32(f, 10, 60); }); },
         "This BMP's size (78) does not match the BMP's header info:\n"
         "header:                            14\n"
         "info:                              46\n"
         "bytesPerLine: 12 * height   2 =    24\n"
         "----------------------------------------\n"
         "Total                                84\n"},
        {"bfOffBits far beyond any file",
         [](const Workdir& d) { return EditedBmp(d, [](QByteArray& f) { Patch32(f, 10, 0xFFFFFFF0u); }); },
         "This BMP's size (78) does not match the BMP's header info:\n"
         "header:                            14\n"
         "info:                           4294967266\n"
         "bytesPerLine: 12 * height   2 =    24\n"
         "----------------------------------------\n"
         "Total                            4294967304\n"},
        {"width 0",
         [](const Workdir& d) { return EditedBmp(d, [](QByteArray& f) { Patch32(f, 18, 0); }); },
         "This BMP's width (0) and height (2) must be between 1 and 65535; it will be skipped."},
        {"a top-down (negative) height",
         [](const Workdir& d) { return EditedBmp(d, [](QByteArray& f) { Patch32(f, 22, uint32_t(-2)); }); },
         "This BMP's width (3) and height (-2) must be between 1 and 65535; it will be skipped."},
    };
    for (const RefusedBmp& c : cases) {
        Workdir dir;
        const QString path = c.make(dir);
        RecordingUi ui;
        CImageFile image;
        EXPECT_FALSE(image.LoadBmp(path, &ui)) << c.what << " was accepted as a BMP";
        ASSERT_EQ(ui.boxes.size(), 1u) << c.what << ": " << ui.BoxTexts();
        EXPECT_EQ(ui.boxes[0].text, c.message) << c.what;
        EXPECT_EQ(ui.boxes[0].title, path) << c.what << ": the box is titled with the path";
        EXPECT_EQ(ui.boxes[0].icon, UserInterface::Icon::Error) << c.what;
        EXPECT_FALSE(image.IsLoaded()) << c.what << " left the image loaded";
        EXPECT_EQ(image.GetWidth(), 0) << c.what << " left a width behind";
        EXPECT_FALSE(image.LoadBmp(path, nullptr)) << c.what << " was accepted without an owner";
    }
}

TEST(ImageFile, AcceptsABmpWhoseLastRowIsNotPadded)
{
    Workdir dir;
    const QString path = EditedBmp(dir, [](QByteArray& f) {
        f.chop(3);
        Patch32(f, 2, uint32_t(f.size()));
    });
    RecordingUi ui;
    CImageFile image;
    EXPECT_TRUE(image.LoadBmp(path, &ui)) << ui.BoxTexts();
}

TEST(ImageFile, ConvertsBmpPixelsToRgb565TopRowFirst)
{
    Workdir dir;
    // ImageMagick's default header (124 bytes) puts the pixels at offset 138.
    for (const QString& path : {dir.Bmp("info.bmp", kThreeByTwo), dir.BmpV5("v5.bmp", kThreeByTwo)}) {
        RecordingUi ui;
        CImageFile image;
        ASSERT_TRUE(image.LoadBmp(path, &ui)) << ui.BoxTexts();
        EXPECT_EQ(image.GetWidth(), 3);
        EXPECT_EQ(image.GetHeight(), 2);
        EXPECT_EQ(image.GetBitsPerPixel(), 24);
        EXPECT_EQ(image.GetBytesPerLine(), 9) << "bytes per line is the unpadded row";
        EXPECT_EQ(image.GetTotalBytes(), 18u);
        EXPECT_EQ(image.GetColorCount(), 1u << 24);
        EXPECT_EQ(image.GetFileLength(), uint32_t(QFileInfo(path).size()));
        uint16_t pixels[6] = {};
        ASSERT_TRUE(image.ConvertToRgb565(pixels));
        const uint16_t expected[6] = {0xF800, 0x07E0, 0x001F, 0x0821, 0xFFFF, 0x0000};
        for (int i = 0; i < 6; i++)
            EXPECT_EQ(pixels[i], expected[i]) << QFileInfo(path).fileName().toStdString() << ": pixel " << i
                                              << " of the top-down RGB565 rows";
    }
}

TEST(ImageFile, NothingLoadedAnswersZero)
{
    CImageFile image;
    uint16_t pixel = 0;
    EXPECT_FALSE(image.ConvertToRgb565(&pixel));
    EXPECT_EQ(image.GetWidth() + image.GetHeight() + image.GetBitsPerPixel() + image.GetGifWidth(), 0);
    EXPECT_EQ(image.GetFileLength(), 0u);
    EXPECT_EQ(image.GetFileData(), nullptr);
}

TEST(ImageFile, ReadsTheGifScreenDescriptor)
{
    Workdir dir;
    // GIF89a, 5 x 7, flags 0x91: global table of 1 << 2 colours, 2 bits of colour resolution.
    const QByteArray gif = QByteArray("GIF89a\x05\x00\x07\x00\x91\x00\x00", 13) + QByteArray(12, '\0') + ";";
    RecordingUi ui;
    CImageFile image;
    ASSERT_TRUE(image.LoadGif(dir.Write("a.gif", gif), &ui)) << ui.BoxTexts();
    EXPECT_EQ(image.GetGifWidth(), 5);
    EXPECT_EQ(image.GetGifHeight(), 7);
    EXPECT_EQ(image.GetGifTableBits(), 2);
    EXPECT_EQ(image.GetGifColorCount(), 4);
    EXPECT_EQ(image.GetFileLength(), uint32_t(gif.size()));
    EXPECT_EQ(image.GetWidth(), 0) << "a GIF has no BMP width";

    const QString made = dir.Gif("made.gif", kThreeByTwo);
    ASSERT_TRUE(image.LoadGif(made, &ui)) << "ImageMagick's GIF: " << ui.BoxTexts();
    EXPECT_EQ(image.GetGifWidth(), 3);
    EXPECT_EQ(image.GetGifHeight(), 2);
}

TEST(ImageFile, RefusesGifFilesWithoutAHeader)
{
    struct Case {
        const char* what;
        QByteArray bytes;
        QString message;
    };
    const std::vector<Case> cases = {
        {"12 bytes: a logical screen descriptor cut short", QByteArray("GIF89a\x05\x00\x07\x00\x91\x00", 12),
         "Could not read entire file!"},
        {"a wrong signature", QByteArray("GIF89b\x05\x00\x07\x00\x91\x00\x00", 13),
         "Does not appear to be a GIF file! (Bad Header)"},
        {"a BMP named .gif", QByteArray("BM") + QByteArray(60, '\0'),
         "Does not appear to be a GIF file! (Bad Header)"},
    };
    for (const Case& c : cases) {
        Workdir dir;
        RecordingUi ui;
        CImageFile image;
        const QString path = dir.Write("x.gif", c.bytes);
        EXPECT_FALSE(image.LoadGif(path, &ui)) << c.what << " was accepted as a GIF";
        ASSERT_EQ(ui.boxes.size(), 1u) << c.what;
        EXPECT_EQ(ui.boxes[0].text, c.message) << c.what;
        EXPECT_EQ(ui.boxes[0].title, path) << c.what;
    }
    Workdir dir;
    RecordingUi ui;
    CImageFile image;
    EXPECT_FALSE(image.LoadGif(dir.Path("none.gif"), &ui));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Failed to find GIF file!");
    EXPECT_TRUE(image.LoadGif(dir.Write("any.gif", QByteArray("GIF8?a\x01\x00\x01\x00\x00\x00\x00", 13)), &ui))
        << "the character after GIF8 may be anything";
}

TEST(ImageFile, GifNamesEndInGifOrGIF)
{
    const std::vector<std::pair<const char*, bool>> cases = {
        {"a.gif", true}, {"a.GIF", true}, {"a.Gif", false}, {"a.gIF", false}, {"a.bmp", false}, {"logogif", true}};
    for (const auto& [name, gif] : cases)
        EXPECT_EQ(CImageFile::IsGifName(name), gif) << name;
}
