// The font list: the lines it accepts, each message of a bad line, and the
// font kind a file's name selects.
#include "core/font_list.h"
#include "format/memimage.h"
#include "loader_support.h"

#include <gtest/gtest.h>

TEST(FontList, ReadsAliasesAndFilesRelativeToTheList)
{
    Workdir dir;
    dir.Sif("Arial16.sif", "a");
    dir.Sif("sub/BigAA4.SIF", "b");
    const QString list = dir.Write("fonts.kfl",
                                   "arial16 Arial16.sif\r\n"
                                   "\r\n"
                                   "   \t big16aa4   sub\\BigAA4.SIF  anything after it\r\n");
    RecordingUi ui;
    CFontList fonts;
    ASSERT_TRUE(fonts.LoadFontList(list, ui)) << ui.BoxTexts();
    EXPECT_TRUE(ui.boxes.empty()) << ui.BoxTexts();
    ASSERT_EQ(fonts.Count(), 2);
    EXPECT_EQ(fonts.Entries()[0].alias, "arial16");
    EXPECT_EQ(fonts.Entries()[0].path, dir.Path("Arial16.sif"));
    EXPECT_EQ(fonts.Entries()[1].alias, "big16aa4") << "an alias of exactly 8 characters";
    EXPECT_EQ(fonts.Entries()[1].path, dir.Path("sub/BigAA4.SIF")) << "a Windows sub-folder path was not followed";
    EXPECT_EQ(ui.LastStatus(), "") << "the status field is emptied";
}

TEST(FontList, RefusesTheWholeListAtItsFirstBadLine)
{
    struct Case {
        const char* what;
        QByteArray line;
        QString message;  // %1: the folder of the list
    };
    const std::vector<Case> cases = {
        {"an alias of 9 characters", "abcdefghi good.sif", "Alias > 8 chars"},
        {"an alias without a file", "abcdefgh", "Missing font filename"},
        {"an alias and blanks without a file", "abc   \t", "Missing font filename"},
        {"a file named .Sif", "x x.Sif", "\"%1/x.Sif\" is not a valid \".SIF\" file."},
        {"a .fnt file", "x good.fnt", "\"%1/good.fnt\" is not a valid \".SIF\" file."},
        {"a file that is not there", "x gone.sif", "Can't open font file \"%1/gone.sif\""},
        {"a file without GUIP", "x bad.sif", "\"%1/bad.sif\" is not a valid \".SIF\" file."},
        {"a file shorter than its magic", "x tiny.sif", "\"%1/tiny.sif\" is not a valid \".SIF\" file."},
    };
    for (const Case& c : cases) {
        Workdir dir;
        dir.Sif("good.sif", "");
        dir.Sif("good.fnt", "");
        dir.Sif("x.Sif", "");
        dir.Write("bad.sif", "PIUG....");
        dir.Write("tiny.sif", "GU");
        const QString list = dir.Write("fonts.kfl", "ok good.sif\r\n" + c.line + "\r\n");
        RecordingUi ui;
        CFontList fonts;
        EXPECT_FALSE(fonts.LoadFontList(list, ui)) << c.what << " was accepted";
        EXPECT_EQ(fonts.Count(), 0) << c.what << ": fonts of a refused list stay in use";
        ASSERT_EQ(ui.boxes.size(), 1u) << c.what;
        const QString folder = QFileInfo(list).path();
        EXPECT_EQ(ui.boxes[0].text, QString("Error on line 2 \"%1\":\n%2\nAborting...")
                                        .arg(QString::fromLatin1(c.line), QString(c.message).replace("%1", folder)))
            << c.what;
        EXPECT_EQ(ui.boxes[0].title, list) << c.what;
        EXPECT_EQ(ui.boxes[0].icon, UserInterface::Icon::Error) << c.what;
    }
}

TEST(FontList, HoldsAtMost128Fonts)
{
    Workdir dir;
    dir.Sif("f.sif", "");
    QByteArray lines;
    for (int i = 0; i < 129; i++)
        lines += "f" + QByteArray::number(i) + " f.sif\n";
    RecordingUi ui;
    CFontList fonts;
    EXPECT_FALSE(fonts.LoadFontList(dir.Write("many.kfl", lines), ui)) << "a 129th font was taken";
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Error on line 129 \"f128 f.sif\":\nToo many fonts. Max supported is 128\nAborting...");

    lines.chop(QByteArray("f128 f.sif\n").size());
    RecordingUi ui128;
    EXPECT_TRUE(fonts.LoadFontList(dir.Write("max.kfl", lines), ui128)) << ui128.BoxTexts();
    EXPECT_EQ(fonts.Count(), 128);
}

TEST(FontList, ReportsAListThatCannotBeOpened)
{
    Workdir dir;
    RecordingUi ui;
    CFontList fonts;
    EXPECT_FALSE(fonts.LoadFontList(dir.Path("gone.kfl"), ui));
    ASSERT_EQ(ui.boxes.size(), 1u) << "a missing font list was passed over without a word";
    EXPECT_FALSE(ui.boxes[0].text.isEmpty()) << "the box gives the system's reason";
    EXPECT_EQ(ui.boxes[0].title, dir.Path("gone.kfl"));
}

TEST(FontList, TakesTheFontKindFromTheFileName)
{
    const std::vector<std::pair<const char*, uint8_t>> cases = {
        {"/f/Arial16.sif", EXTFONT_PROP},     {"/f/ArialAA2.sif", EXTFONT_AA2},
        {"/f/aa4.SIF", EXTFONT_AA4},          {"/f/fontExt.sif", EXTFONT_PROP_EXT},
        {"/f/MyExf.sif", EXTFONT_FRAMED},     {"/f/AA4_AA2.sif", EXTFONT_AA2},
        {"/aa2/plain.sif", EXTFONT_PROP},     {"c:\\fonts\\aa4\\plain.sif", EXTFONT_PROP},
        {"c:\\fonts\\BigAA4.sif", EXTFONT_AA4},
    };
    for (const auto& [path, kind] : cases)
        EXPECT_EQ(CFontList::FontKind(path), kind) << path;
}
