// The inputs Dravik's window edits: adding a macro file or a font list keeps
// the path whatever the file holds, and drops a loaded .BIN image.
#include "core/dravik_core.h"
#include "loader_support.h"

#include <gtest/gtest.h>

namespace {

QByteArray Image() { return QByteArray("\xEC\xFE\x0C\x00\x00\x00\x00\x00", 8) + QByteArray(4, '\0'); }

}  // namespace

TEST(DravikCore, AddingAMacroFileKeepsItsPathAndDropsALoadedImage)
{
    Workdir dir;
    RecordingUi ui;
    CDravikCore core(ui);
    ASSERT_TRUE(core.LoadFromBinFile(dir.Write("a.BIN", Image()))) << ui.BoxTexts();
    const QString bad = dir.Write("bad.mac", "#end\n");
    EXPECT_FALSE(core.AddMacroFile(bad));
    EXPECT_EQ(core.MacroFile(), bad) << "a macro file with a fault lost its place in the field";
    EXPECT_FALSE(core.LoadedImage().IsLoaded()) << "Store would send the .BIN instead of the new macros";
    EXPECT_EQ(ui.statuses.back(), "") << "the status field is emptied";

    QString folder = dir.Path("");
    ui.files = {dir.Write("good.mac", "#define a\n#end\n")};
    EXPECT_TRUE(core.OnAddMacroFile(folder)) << ui.BoxTexts();
    EXPECT_EQ(ui.fileRequests.back().filter, "MAC Files (*.mac,*.txt)|*.mac;*.txt||");
    EXPECT_EQ(core.Macros().MacroCount(), 1);
}

TEST(DravikCore, AddingAFontListKeepsItsPathAndDropsALoadedImage)
{
    Workdir dir;
    RecordingUi ui;
    CDravikCore core(ui);
    ASSERT_TRUE(core.LoadFromBinFile(dir.Write("a.BIN", Image()))) << ui.BoxTexts();
    const QString list = dir.Write("f.kfl", "f missing.sif\n");
    EXPECT_FALSE(core.AddFontList(list));
    EXPECT_EQ(core.FontListFile(), list) << "the next build would not report the bad line again";
    EXPECT_FALSE(core.LoadedImage().IsLoaded());

    QString folder;
    dir.Sif("ok.sif", "");
    ui.files = {dir.Write("g.kfl", "ok ok.sif\n")};
    EXPECT_TRUE(core.OnAddFontList(folder)) << ui.BoxTexts();
    EXPECT_EQ(ui.fileRequests.back().filter, "Font List File (*.kfl)|*.kfl||");
    EXPECT_EQ(core.Fonts().Count(), 1);
}

TEST(DravikCore, ShowsTheModelsCapacityAsTheLargestSdFile)
{
    RecordingUi ui;
    CDravikCore core(ui);
    core.SetModel(ControllerModel::Velm5Plus);
    EXPECT_EQ(core.MaxSdFileSize(), 0x1BC0000u) << "VELM5 Plus images beyond Flash2 are refused by the controller";
    core.SetModel(ControllerModel::Velm5);
    EXPECT_EQ(core.MaxSdFileSize(), 0xB00000u);
}
