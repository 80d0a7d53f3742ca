// The image list around the builder: its file, its sorting, and the
// information panel's account of one picture.
#include "core/image_list.h"
#include "loader_support.h"

#include <QDir>

#include <gtest/gtest.h>

TEST(ImageList, ReadsOnePathALineFromTheListsFolder)
{
    Workdir dir;
    const QString list = dir.Write("sub/pictures.lst", "a.bmp\r\n\r\n  ../b.gif  \n/abs/c.bmp");
    QStringList images{"stale"};
    RecordingUi ui;
    ASSERT_TRUE(LoadBmpList(list, images, ui)) << ui.BoxTexts();
    EXPECT_EQ(images, (QStringList{dir.Path("sub/a.bmp"), QDir::cleanPath(dir.Path("b.gif")), "/abs/c.bmp"}))
        << "blank lines, CR LF ends and relative paths are not read as a user writes them";

    const QString saved = dir.Path("saved.lst");
    ASSERT_TRUE(SaveBmpList(saved, images, ui)) << ui.BoxTexts();
    QStringList again;
    ASSERT_TRUE(LoadBmpList(saved, again, ui));
    EXPECT_EQ(again, images) << "a saved list does not load back as it was";
    EXPECT_EQ(dir.Read("saved.lst"), (images.join('\n') + '\n').toUtf8());
}

TEST(ImageList, ReportsAListThatCannotBeReadOrWritten)
{
    Workdir dir;
    RecordingUi ui;
    QStringList images{"kept"};
    EXPECT_FALSE(LoadBmpList(dir.Path("missing.lst"), images, ui));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, dir.Path("missing.lst"));
    EXPECT_EQ(images, QStringList{"kept"}) << "a failed load changed the list";

    EXPECT_FALSE(SaveBmpList(dir.Path("no/such/folder/x.lst"), images, ui));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].title, "Write Error");
    EXPECT_TRUE(ui.boxes[1].text.startsWith("Error: ")) << ui.BoxTexts();
}

TEST(ImageList, SortsByPathWithoutRegardToCase)
{
    QStringList paths{"/p/c.bmp", "/p/B.gif", "/p/a.bmp", "/o/z.bmp", "/p/b.bmp"};
    SortImagePaths(paths);
    EXPECT_EQ(paths, (QStringList{"/o/z.bmp", "/p/a.bmp", "/p/b.bmp", "/p/B.gif", "/p/c.bmp"}));
    for (const char* name : {"x.bmp", "x.BMP", "x.gif", "x.Gif"})
        EXPECT_TRUE(IsImagePath(name)) << name;
    for (const char* name : {"x.png", "x.bmp.txt", "bmp"})
        EXPECT_FALSE(IsImagePath(name)) << name;
}

TEST(ImageList, DescribesAPictureAsTheBuilderStoresIt)
{
    Workdir dir;
    Picture two(2, std::vector<Rgb>(3, Rgb{255, 0, 0}));
    two[1][2] = {0, 0, 255};
    struct Case {
        QString path;
        const char* size;
        const char* colors;
        const char* bits;
        const char* bytesPerLine;
        const char* total;
        const char* compressed;
        QStringList notes;  // the first notes
    } cases[] = {
        {dir.Bmp("small.bmp", two), "3 x 2", "16777216", "24", "9", "18", "No",
         {"Stored as RGB565: 12 bytes", "First 12 stored bytes:", "0000: 00 F8 00 F8 00 F8 00 F8",
          "0008: 00 F8 1F 00"}},
        {dir.Bmp("logo.trF81F.bmp", Solid(40, 40, {0, 255, 0})), "40 x 40", "16777216", "24", "120", "4800", "No",
         {"Transparent colour 0xF81F", "Stored as RGB565: 3200 bytes"}},
        {dir.Bmp("wide.bmp", Solid(64, 32, {255, 255, 255})), "64 x 32", "16777216", "24", "192", "6144", "Yes",
         {}},
        {dir.Gif("anim.gif", Solid(5, 4, {0, 0, 255})), "5 x 4", "", "", "-", "", "GIF", {}},
    };
    for (const Case& c : cases) {
        const ImageInformation info = DescribeImage(c.path);
        EXPECT_EQ(info.image, QFileInfo(c.path).fileName());
        EXPECT_EQ(info.size, c.size) << c.path.toStdString();
        if (*c.colors)
            EXPECT_EQ(info.colors, c.colors) << c.path.toStdString();
        if (*c.bits)
            EXPECT_EQ(info.bitsPerPixel, c.bits) << c.path.toStdString();
        EXPECT_EQ(info.bytesPerLine, c.bytesPerLine) << c.path.toStdString();
        if (*c.total)
            EXPECT_EQ(info.totalBytes, c.total) << c.path.toStdString();
        EXPECT_EQ(info.compressed, c.compressed) << c.path.toStdString();
        EXPECT_EQ(info.notes.mid(0, c.notes.size()), c.notes) << c.path.toStdString();
        EXPECT_FALSE(info.notes.isEmpty()) << "no notes for " << c.path.toStdString();
    }
    const ImageInformation gif = DescribeImage(dir.Path("anim.gif"));
    EXPECT_TRUE(gif.notes.first().startsWith("Stored as the GIF file: ")) << gif.notes.join('|').toStdString();
    EXPECT_EQ(gif.notes.at(2).left(15), "0000: 47 49 46 ") << "the GIF's first stored bytes are not its signature";
}

TEST(ImageList, SaysWhyAPictureCannotBeStored)
{
    Workdir dir;
    struct Case {
        QString path;
        const char* note;
    } cases[] = {
        {dir.Write("text.bmp", QByteArray(100, 'x')), "Does not appear to be a BMP file! (no \"BM\" at start of file)"},
        {dir.Convert("eight.bmp", Solid(4, 4, {9, 9, 9}), {"-type", "Palette", "-colors", "4"}, "BMP3:"),
         "This BMP is not 24 bits per pixel and will be skipped."},
        {dir.Path("gone.bmp"), "Failed to find BMP file!"},
        {dir.Write("fake.gif", "GIF87x and more"), "Does not appear to be a GIF file! (Bad Header)"},
    };
    for (const Case& c : cases) {
        const ImageInformation info = DescribeImage(c.path);
        EXPECT_EQ(info.notes, QStringList{c.note}) << c.path.toStdString();
        EXPECT_EQ(info.size, "") << c.path.toStdString();
    }
}
