// The memory-image builder: images laid out byte for byte as worked out by
// hand, for both controller models, and every way a build can fail or skip.
#include "core/image_writer.h"
#include "core/memory_image_builder.h"
#include "format/memimage.h"
#include "loader_support.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const Rgb kRed{0xFF, 0, 0}, kGreen{0, 0xFF, 0}, kBlue{0, 0, 0xFF}, kMagenta{0xFF, 0, 0xFF};
const Rgb kOdd{0x08, 0x04, 0x08}, kWhite{0xFF, 0xFF, 0xFF}, kBlack{0, 0, 0};

const QByteArray kMacroFile =
    "// demo macros\r\n"
    "#define blink\r\n"
    "t 1\r\n"
    "#end\r\n"
    "#define show\r\n"
    "  m blink   // call it\r\n"
    "#end\r\n"
    "#define third\r\n"
    "xm 1 show:x1\r\n"
    "\r\n"
    "fc FF0000   // red\r\n"
    "#end\r\n";

struct Fixture {
    BuildInputs inputs;
    std::vector<uint8_t> gif;
};

// One raw, one RLE16 and one transparent bitmap, a GIF, two fonts of
// different kinds and three macros.
Fixture Inputs(const Workdir& dir, ControllerModel model)
{
    Picture twoHalves = Solid(40, 15, kRed);
    const Picture blue = Solid(40, 15, kBlue);
    twoHalves.insert(twoHalves.end(), blue.begin(), blue.end());
    Fixture f;
    f.inputs.model = model;
    f.inputs.images = {dir.Bmp("raw.bmp", {{kRed, kGreen, kBlue}, {kOdd, kWhite, kBlack}}),
                       dir.Bmp("rle.bmp", twoHalves),
                       dir.Bmp("logo.trf81f.bmp", {{kMagenta, kMagenta}, {kWhite, kBlack}}),
                       dir.Gif("anim.gif", {{kRed, kGreen, kBlue}, {kOdd, kWhite, kBlack}})};
    f.gif = Bytes(dir.Read("anim.gif"));
    dir.Sif("Arial16.sif", "12345678");
    dir.Sif("sub/BigAA4.sif", "abcde");
    f.inputs.fontList = dir.Write("fonts.kfl", "arial16 Arial16.sif\r\nbig16aa4 sub\\BigAA4.sif\r\n");
    f.inputs.macroFile = dir.Write("demo.mac", kMacroFile);
    return f;
}

std::vector<uint8_t> Text(const std::string& s, size_t field)
{
    std::vector<uint8_t> b(s.begin(), s.end());
    b.resize(field, 0);
    return b;
}

struct Model {
    ControllerModel model;
    uint16_t validity;
    uint32_t base;
    const char* name;
};
const Model kModels[] = {{ControllerModel::Velm5Plus, 0xFEEC, 0xC8400000, "VELM5 Plus"},
                         {ControllerModel::Velm5, 0xFEEB, 0, "VELM5"}};

std::optional<std::vector<uint8_t>> Build(const BuildInputs& inputs, RecordingUi& ui)
{
    CMemoryImageBuilder builder(ui);
    return builder.BuildMemoryImage(inputs);
}

// A bitmap file whose name and pixels decide how it is stored.
void ExpectStoredAs(const QString& name, const Picture& picture, uint8_t type, uint32_t key,
                    const char* why)
{
    Workdir dir;
    QDir().mkpath(dir.Path("x.trface"));
    BuildInputs in;
    in.images = {dir.Bmp(name, picture)};
    RecordingUi ui;
    const auto image = Build(in, ui);
    ASSERT_TRUE(image) << name.toStdString() << ": " << ui.BoxTexts();
    const uint32_t rawBytes = uint32_t(picture.size() * picture[0].size() * 2);
    EXPECT_EQ((*image)[20], type) << name.toStdString() << ": " << why;
    EXPECT_EQ(Read32(*image, 32 + 12), key) << name.toStdString() << ": transparent colour";
    if (type != EXTMEM_BITMAP_RLE16)
        EXPECT_EQ(Read32(*image, 28), 20 + rawBytes) << name.toStdString() << ": stored raw";
}

}  // namespace

TEST(MemoryImageBuilder, LaysOutEveryKindOfObjectAsTheControllerReadsIt)
{
    for (const Model& m : kModels) {
        SCOPED_TRACE(m.name);
        Workdir dir;
        const Fixture f = Inputs(dir, m.model);
        RecordingUi ui;
        const auto image = Build(f.inputs, ui);
        ASSERT_TRUE(image) << ui.BoxTexts();
        EXPECT_TRUE(ui.boxes.empty()) << ui.BoxTexts();

        const uint32_t b = m.base;
        const uint32_t g = uint32_t(f.gif.size());
        const uint32_t font1 = ExtMemAlign(292 + g), font2 = font1 + 36, end = font2 + 33;
        const uint32_t size = ExtMemAlign(end);
        ExpectedImage e(size);
        // Header: 4 images + 2 fonts + 1 entries.
        e.U16(0, m.validity).U16(2, 7).U32(4, size);
        // Macro table at 92, right after the 7 directory entries; byte 7 of each is never written.
        e.Entry(0, EXTMEM_MACROS, b + 92, 3);
        e.U32(92, b + 140).U16(96, 1).U8(98, 1);
        e.U32(100, b + 144).U16(104, 1).U8(106, 2);
        e.U32(108, b + 156).U16(112, 2).U8(114, 3);
        // Name block: 0xA5A5, 1, 18 bytes of names.
        e.U16(116, 0xA5A5).U16(118, 1).U16(120, 18);
        e.Data(122, Text(std::string("\0blink\0show\0third\0", 18), 18));
        // Texts from 140: calls rebuilt with numbers, comments cut, the empty line left out.
        e.Text(140, "t 1").Text(144, "m 1 //blink").Text(156, "xm 1 2:x1 //1, show:x1").Text(179, "fc FF0000");
        // raw.bmp (12 bytes of pixels, too small to compress) at 192.
        e.Entry(1, EXTMEM_BITMAP, b + 192, 32);
        e.U16(192, 3).U16(194, 2).U16(196, 6).U16(198, 16).U32(200, b + 212).U32(204, 0).U32(208, 0);
        e.Data(212, {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x21, 0x08, 0xFF, 0xFF, 0x00, 0x00});
        // rle.bmp: 600 red then 600 blue pixels, 19 bytes of RLE16, at 224.
        e.Entry(2, EXTMEM_BITMAP_RLE16, b + 224, 39);
        e.U16(224, 40).U16(226, 30).U16(228, 80).U16(230, 16).U32(232, b + 244).U32(236, 0).U32(240, 0);
        e.Data(244, {0xFE, 0x00, 0xF8, 0xFE, 0x00, 0xF8, 0x5C, 0x00, 0xF8, 0xFE, 0x1F, 0x00, 0xFE, 0x1F, 0x00,
                     0x5C, 0x1F, 0x00, 0x00});
        // logo.trf81f.bmp at 264 (after a gap byte at 263), transparent colour 0xF81F.
        e.Entry(3, EXTMEM_BITMAP_TRANS, b + 264, 28);
        e.U16(264, 2).U16(266, 2).U16(268, 4).U16(270, 16).U32(272, b + 284).U32(276, 0xF81F).U32(280, 0);
        e.Data(284, {0x1F, 0xF8, 0x1F, 0xF8, 0xFF, 0xFF, 0x00, 0x00});
        // anim.gif byte for byte at 292.
        e.Entry(4, EXTMEM_GIF, b + 292, g).Data(292, f.gif);
        // Fonts: records of 24 bytes; byte 19 is never written.
        e.Entry(5, EXTMEM_FONT, b + font1, 12);
        e.U32(font1, b + font1 + 8).U32(font1 + 4, b + font1 + 24).Data(font1 + 8, Text("arial16", 10));
        e.U8(font1 + 18, EXTFONT_PROP).U32(font1 + 20, 12).Text(font1 + 24, "GUIP12345678");
        e.Entry(6, EXTMEM_FONT, b + font2, 9);
        e.U32(font2, b + font2 + 8).U32(font2 + 4, b + font2 + 24).Data(font2 + 8, Text("big16aa4", 10));
        e.U8(font2 + 18, EXTFONT_AA4).U32(font2 + 20, 9).Data(font2 + 24, Bytes("GUIPabcde"));

        EXPECT_EQ(FirstDifference(*image, e.bytes), "") << "the built image differs from its layout";
        EXPECT_EQ(ui.statuses, (QStringList{"", "Compressing BMP 1/4...", "Compressing BMP 2/4...",
                                            "Compressing BMP 3/4...", "Compressing BMP 4/4...", "Done"}));
        EXPECT_TRUE(QFile::exists(dir.Path("demo.h"))) << "no macro header file next to the macro file";
    }
}

TEST(MemoryImageBuilder, PlacesTheFirstImageAfterAnEmptyMacroEntry)
{
    Workdir dir;
    BuildInputs in;
    in.images = {dir.Bmp("a.bmp", Solid(1, 1, kWhite)), dir.Bmp("b.bmp", Solid(1, 1, kBlack))};
    RecordingUi ui;
    const auto image = Build(in, ui);
    ASSERT_TRUE(image) << ui.BoxTexts();
    // Three entries end at 44, a multiple of 4: the first record is there; the
    // second follows at 68 and ends at 90, so the image is 92 bytes.
    ExpectedImage e(92);
    e.U16(0, 0xFEEC).U16(2, 3).U32(4, 92).Entry(0, 0, 0, 0);
    e.Entry(1, EXTMEM_BITMAP, 0xC840002C, 22).U16(44, 1).U16(46, 1).U16(48, 2).U16(50, 16);
    e.U32(52, 0xC8400040).U32(56, 0).U32(60, 0).U16(64, 0xFFFF);
    e.Entry(2, EXTMEM_BITMAP, 0xC8400044, 22).U16(68, 1).U16(70, 1).U16(72, 2).U16(74, 16);
    e.U32(76, 0xC8400058).U32(80, 0).U32(84, 0).U16(88, 0x0000);
    EXPECT_EQ(FirstDifference(*image, e.bytes), "") << "the built image differs from its layout";
}

TEST(MemoryImageBuilder, StoresABitmapRawCompressedOrTransparentByItsNameAndSize)
{
    Picture noisy(26, std::vector<Rgb>(40));
    for (int y = 0; y < 26; y++)
        for (int x = 0; x < 40; x++)
            noisy[size_t(y)][size_t(x)] = Rgb{uint8_t(x * 8), uint8_t(y * 4), 0};
    ExpectStoredAs("exact.bmp", Solid(40, 25, kRed), EXTMEM_BITMAP, 0, "2000 raw bytes are stored raw");
    ExpectStoredAs("big.bmp", Solid(40, 26, kRed), EXTMEM_BITMAP_RLE16, 0, "2080 raw bytes are compressed");
    ExpectStoredAs("big.unc.bmp", Solid(40, 26, kRed), EXTMEM_BITMAP, 0, ".unc keeps a bitmap raw");
    ExpectStoredAs("noisy.bmp", noisy, EXTMEM_BITMAP, 0, "an encoding that gains nothing is stored raw");
    ExpectStoredAs("logo.trf81f.bmp", Solid(40, 26, kRed), EXTMEM_BITMAP_TRANS, 0xF81F, "a .tr colour");
    ExpectStoredAs("logo.trF81F.bmp", Solid(2, 2, kRed), EXTMEM_BITMAP_TRANS, 0xF81F, "upper-case digits");
    ExpectStoredAs("logo.trG81F.bmp", Solid(40, 26, kRed), EXTMEM_BITMAP, 0, ".tr without four digits");
    ExpectStoredAs("logo.tr1G2H.bmp", Solid(2, 2, kRed), EXTMEM_BITMAP, 0, ".tr without four digits");
    ExpectStoredAs("x.trface/pic.bmp", Solid(40, 26, kRed), EXTMEM_BITMAP_RLE16, 0,
                   "a folder named .trface made every bitmap in it transparent");
}

TEST(MemoryImageBuilder, ReadsTheTransparentColourAfterTheFirstTr)
{
    const std::vector<std::pair<const char*, int>> cases = {
        {"logo.trf81f.bmp", 0xF81F}, {"logo.tr0000.bmp", 0},      {"a.tr12ab.tr3456.bmp", 0x12AB},
        {"logo.trG81F.bmp", -1},     {"logo.tr1G2H.bmp", -1},     {"logo.tr12", -1},
        {"logo.bmp", -1},
    };
    for (const auto& [name, key] : cases)
        EXPECT_EQ(CMemoryImageBuilder::ParseHex16(name), key) << name;
}

TEST(MemoryImageBuilder, SkipsImagesThatDoNotLoadWhenTheUserSaysOk)
{
    Workdir dir;
    BuildInputs in;
    const QString missing = dir.Path("missing.bmp"), fake = dir.Write("fake.gif", "not a gif at all");
    in.images = {dir.Bmp("a.bmp", Solid(1, 1, kWhite)), missing, fake, dir.Bmp("b.bmp", Solid(1, 1, kBlack))};
    RecordingUi ui;
    const auto image = Build(in, ui);
    ASSERT_TRUE(image) << ui.BoxTexts();
    EXPECT_EQ(Read16(*image, 2), 5) << "the entry count leaves out skipped images";
    for (int entry : {2, 3})
        EXPECT_EQ(Read32(*image, 8 + 12 * entry) | Read32(*image, 12 + 12 * entry) | Read32(*image, 16 + 12 * entry),
                  0u)
            << "entry " << entry << " of a skipped image is not empty";
    EXPECT_EQ((*image)[8 + 12 * 4], EXTMEM_BITMAP) << "the image after the skipped ones is missing";
    // A BMP gets the loader's box and the builder's; a GIF only the loader's,
    // which can cancel the build as well.
    ASSERT_EQ(ui.boxes.size(), 3u) << ui.BoxTexts();
    EXPECT_EQ(ui.boxes[0].text, "Failed to find BMP file!");
    EXPECT_EQ(ui.boxes[1].text, "Failed to find image file!");
    EXPECT_EQ(ui.boxes[1].title, missing);
    EXPECT_EQ(ui.boxes[1].buttons, UserInterface::Buttons::OkCancel);
    EXPECT_EQ(ui.boxes[2].text, "Does not appear to be a GIF file! (Bad Header)");
    EXPECT_EQ(ui.boxes[2].title, fake);
    EXPECT_EQ(ui.boxes[2].buttons, UserInterface::Buttons::OkCancel) << "a GIF that fails cannot cancel the build";
    EXPECT_EQ(ui.LastStatus(), "Done");
}

TEST(MemoryImageBuilder, CancelOrQuitAbortsTheBuild)
{
    Workdir dir;
    BuildInputs in;
    const struct {
        QString image;
        size_t boxes;
        const char* status;
    } cases[] = {
        {dir.Path("missing.bmp"), 2, "Build cancelled at \"missing.bmp\""},
        {dir.Write("fake.gif", "not a gif at all"), 1, "Build cancelled at \"fake.gif\""},
    };
    for (const auto& c : cases) {
        in.images = {dir.Bmp("a.bmp", Solid(1, 1, kWhite)), c.image, dir.Bmp("b.bmp", Solid(1, 1, kBlack))};
        RecordingUi cancelling;
        cancelling.answers = {UserInterface::Answer::Cancel};
        EXPECT_FALSE(Build(in, cancelling)) << "Cancel in the message of " << c.image.toStdString() << " did not abort the build";
        EXPECT_EQ(cancelling.boxes.size(), c.boxes) << "the build went on after Cancel: " << cancelling.BoxTexts();
        EXPECT_EQ(cancelling.LastStatus(), c.status) << "the status still reads as if the build went on";
    }

    in.images = {dir.Bmp("a.bmp", Solid(1, 1, kWhite)), dir.Bmp("c.bmp", Solid(1, 1, kBlack))};
    RecordingUi quitting;
    quitting.quitAtPump = 1;
    EXPECT_FALSE(Build(in, quitting)) << "a quit while the build let events run did not abort it";
    EXPECT_EQ(quitting.LastStatus(), "Build stopped: Dravik is closing");
}

TEST(MemoryImageBuilder, SkipsTheRestWhenAnImageDoesNotFitAndStillStoresTheFonts)
{
    Workdir dir;
    BuildInputs in;
    in.model = ControllerModel::Velm5;  // 11,534,336 bytes
    const QString huge = dir.Bmp("huge.unc.bmp", Solid(2400, 2403, kRed));  // 11,534,400 raw bytes
    const QString hugeGif = dir.Write("huge.gif", QByteArray("GIF89a\x01\x00\x01\x00\x00\x00\x00", 13) +
                                                      QByteArray(11600000, '\0'));
    dir.Sif("f.sif", "font");
    in.fontList = dir.Write("f.kfl", "f f.sif\n");
    for (const QString& big : {huge, hugeGif}) {
        in.images = {dir.Bmp("a.bmp", Solid(1, 1, kWhite)), big, dir.Bmp("b.bmp", Solid(1, 1, kBlack))};
        RecordingUi ui;
        const auto image = Build(in, ui);
        ASSERT_TRUE(image) << ui.BoxTexts();
        ASSERT_EQ(ui.boxes.size(), 1u) << ui.BoxTexts();
        EXPECT_EQ(ui.boxes[0].text, big == huge ? "Ran out of storage space.  This BMP and all remaining will be skipped."
                                                : "Ran out of storage space.  This image and all remaining will be skipped.");
        EXPECT_EQ(ui.boxes[0].title, big);
        EXPECT_EQ(Read16(*image, 2), 5) << "header counts the skipped images";
        EXPECT_EQ((*image)[8 + 12], EXTMEM_BITMAP);
        EXPECT_EQ((*image)[8 + 24] | (*image)[8 + 36], 0) << "skipped images have entries";
        EXPECT_EQ((*image)[8 + 48], EXTMEM_FONT) << "the font after a full image area is missing";
    }
}

TEST(MemoryImageBuilder, RefusesFontsAndMacrosThatDoNotFit)
{
    Workdir dir;
    BuildInputs in;
    in.model = ControllerModel::Velm5;
    dir.Sif("big.sif", QByteArray(11534336, 'x'));
    in.fontList = dir.Write("f.kfl", "big big.sif\n");
    RecordingUi ui;
    EXPECT_FALSE(Build(in, ui)) << "a font larger than the device was stored";
    ASSERT_EQ(ui.boxes.size(), 1u) << ui.BoxTexts();
    EXPECT_EQ(ui.boxes[0].text, "Font file(s) too large for device");
    EXPECT_EQ(ui.boxes[0].title, "Error ");
    EXPECT_EQ(ui.LastStatus(), "Store operation aborted");

    QByteArray macros;
    const QByteArray line = "t " + QByteArray(124, 'x') + "\n";
    for (int k = 1; k <= 255; k++)
        macros += "#define m" + QByteArray::number(k) + "\n" + line.repeated(360) + "#end\n";
    in.fontList.clear();
    in.macroFile = dir.Write("big.mac", macros);
    RecordingUi macroUi;
    EXPECT_FALSE(Build(in, macroUi)) << "macros larger than the device were stored";
    ASSERT_EQ(macroUi.boxes.size(), 1u) << macroUi.BoxTexts();
    EXPECT_EQ(macroUi.boxes[0].text, "Macro file too large for device");
    EXPECT_EQ(macroUi.LastStatus(), "Build stopped: macro file too large for device");
}

TEST(MemoryImageBuilder, RefusesABuildWhoseInputsAreNotValid)
{
    struct Case {
        const char* what;
        QByteArray macros;  // empty: no macro file (a missing one for "unreadable")
        QByteArray fonts;
        QString message;
        QString status;
    };
    QByteArray hundred;
    for (int k = 1; k < 100; k++)
        hundred += "#define m" + QByteArray::number(k) + "\n#end\n";
    hundred += "#define z\n#end\n#define call\nm" + QByteArray(" z").repeated(63) + "\n#end\n";
    const std::vector<Case> cases = {
        {"a call whose name no longer resolves", "#define a\nm gone\n#end\n", "",
         "Error on line 2\n\nUndeclared macro identifier\nIf you are trying to print a quotation you must use "
         "an escaped quote: \\\"\nAll arguments must be seperated with spaces",
         "Build stopped: error in macro file \"m.mac\""},
        {"a call that grows past 128 characters with numbers", hundred, "",
         "Error on line 202\n\nEach line must be 128 ASCII characters or less",
         "Build stopped: error in macro file \"m.mac\""},
        {"a macro file without macros", "t 1\n", "", "No macro numbers found inside macro file",
         "Build stopped: error in macro file \"m.mac\""},
        {"a font list with a bad line", "", "toolongalias f.sif\n", "Aborting...",
         "Build stopped: error in font list \"f.kfl\""},
    };
    for (const Case& c : cases) {
        Workdir dir;
        BuildInputs in;
        in.images = {dir.Bmp("a.bmp", Solid(1, 1, kWhite))};
        if (!c.macros.isEmpty())
            in.macroFile = dir.Write("m.mac", c.macros);
        if (!c.fonts.isEmpty())
            in.fontList = dir.Write("f.kfl", c.fonts);
        RecordingUi ui;
        EXPECT_FALSE(Build(in, ui)) << c.what << " was built into an image";
        ASSERT_EQ(ui.boxes.size(), 1u) << c.what << ": " << ui.BoxTexts();
        EXPECT_TRUE(ui.boxes[0].text.endsWith(c.message)) << c.what << ": " << ui.BoxTexts();
        EXPECT_EQ(ui.LastStatus(), c.status) << c.what;
    }
    Workdir dir;
    BuildInputs in;
    in.images = {dir.Bmp("a.bmp", Solid(1, 1, kWhite))};
    in.macroFile = dir.Path("gone.mac");
    RecordingUi ui;
    EXPECT_FALSE(Build(in, ui)) << "an unreadable macro file was left out without a word";
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Access denied!\nFile cannot be opened for Read");
    EXPECT_EQ(ui.LastStatus(), "Build stopped: error in macro file \"gone.mac\"");

    // A font that goes away after the font list was read.
    struct RemovingUi : RecordingUi {
        bool processEvents() override
        {
            QFile::remove(font);
            return RecordingUi::processEvents();
        }
        QString font;
    } removing;
    removing.font = dir.Sif("f.sif", "font");
    in.macroFile.clear();
    in.fontList = dir.Write("f.kfl", "f f.sif\n");
    EXPECT_FALSE(Build(in, removing)) << "an image was built without its font";
    ASSERT_EQ(removing.boxes.size(), 1u) << removing.BoxTexts();
    EXPECT_EQ(removing.boxes[0].text, "Font file not found");
    EXPECT_EQ(removing.LastStatus(), "Build stopped: font file \"f.sif\" not found");
}

TEST(MemoryImageBuilder, ProducesNoImageFromNothing)
{
    RecordingUi ui;
    EXPECT_FALSE(Build(BuildInputs{}, ui)) << "an image of header and empty macro entry was produced";
    ASSERT_EQ(ui.boxes.size(), 1u) << "an empty build ended without a word";
    EXPECT_EQ(ui.boxes[0].text, "Nothing to store: the image list, the macro file and the font list are empty");
    EXPECT_EQ(ui.LastStatus(), "Build stopped: nothing to store");
}

TEST(MemoryImageBuilder, WritesTheMacroHeaderFile)
{
    setenv("TZ", "UTC", 1);
    tzset();
    Workdir dir;
    BuildInputs in;
    in.macroFile = dir.Write("demo.mac", kMacroFile) + "   ";  // trailing blanks of the field are ignored
    RecordingUi ui;
    CMemoryImageBuilder builder(ui);
    builder.SetClock([] { return std::time_t(1700000000); });
    ASSERT_TRUE(builder.BuildMemoryImage(in)) << ui.BoxTexts();
    EXPECT_EQ(QString::fromLatin1(dir.Read("demo.h")),
              "/*\nThis file was generated by Dravik.exe from Kestrom on Tue Nov 14 22:13:20 2023\n from the file " +
                  dir.Path("demo.mac") +
                  "\n\nThis file displays each macro name with its assigned macro number.\n\n"
                  "Include this file in the host control program.\n*/\n\n"
                  "#define blink 1\n#define show 2\n#define third 3\n");
}

TEST(MemoryImageBuilder, StoresTheMacrosWhenTheHeaderCannotBeWritten)
{
    Workdir dir;
    QDir().mkpath(dir.Path("demo.h"));  // a folder where the header file should go
    BuildInputs in;
    in.macroFile = dir.Write("demo.mac", kMacroFile);
    RecordingUi ui;
    const auto image = Build(in, ui);
    ASSERT_TRUE(image) << "a header that cannot be written stopped the build: " << ui.BoxTexts();
    ASSERT_EQ(ui.boxes.size(), 1u) << "the header failure was not reported";
    EXPECT_EQ(ui.boxes[0].text, "Access denied!\nFile cannot be opened for Create/Write");
    EXPECT_EQ(ui.boxes[0].title, dir.Path("demo.h"));
    EXPECT_EQ((*image)[8], EXTMEM_MACROS);
    EXPECT_EQ(Read16(*image, 20 + 4), 1) << "macro 1 lost its lines";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image->data()) + 20 + 24 + 24), "t 1")
        << "the macro texts were not stored";
}

TEST(MemoryImageBuilder, NamesTheHeaderAfterTheMacroFile)
{
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"/m/demo.mac", "/m/demo.h"}, {"/m/demo.v2.txt", "/m/demo.v2.h"}, {"/m/macros", "/m/macros.h"},
        {"/m/a.b/macros", "/m/a.b/macros.h"}, {"C:\\a.b\\macros", "C:\\a.b\\macros.h"}};
    for (const auto& [macro, header] : cases)
        EXPECT_EQ(CMemoryImageBuilder::MacroHeaderPath(macro), header) << macro;
}

TEST(MemoryImageBuilder, NeverOverwritesTheMacroFileWithItsHeader)
{
    Workdir dir;
    BuildInputs in;
    in.macroFile = dir.Write("macros.h", kMacroFile);
    RecordingUi ui;
    EXPECT_TRUE(Build(in, ui));
    EXPECT_EQ(dir.Read("macros.h"), kMacroFile) << "the header file replaced the macro file";
    EXPECT_EQ(ui.boxes.size(), 1u) << "the header that was not written went unreported";
}

TEST(ImageWriter, RefusesEveryWriteBeyondTheCapacity)
{
    std::vector<uint8_t> buffer(8, 0xFF);
    ImageWriter w(buffer);
    EXPECT_TRUE(w.putAt32(4, 0x04030201));
    EXPECT_FALSE(w.putAt32(5, 0)) << "a write across the end was taken";
    EXPECT_FALSE(w.putAt8(8, 0)) << "a write at the end was taken";
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4})) << "a refused write left bytes";
    ImageWriter seq(buffer);
    EXPECT_TRUE(seq.skip(6));
    EXPECT_FALSE(seq.put32(0)) << "put32 at offset 6 of 8 bytes was taken";
    EXPECT_EQ(seq.position(), 6u) << "a refused write moved the position";
    EXPECT_TRUE(seq.align());
    EXPECT_EQ(seq.position(), 8u);
    EXPECT_FALSE(seq.fits(1));
}
