// .BIN files: save and load round trips, the optional trailer, the CRC shown,
// and the files that are refused or left untouched.
#include "core/bin_file.h"
#include "core/dravik_core.h"
#include "format/crc16.h"
#include "loader_support.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

const Rgb kWhite{0xFF, 0xFF, 0xFF};

// An image body followed by its own CRC (low byte first): the CRC-16/MODBUS
// of the whole is then 0, whatever the body.
QByteArray SelfCheckingImage(uint16_t validity, int bodyLength)
{
    QByteArray b;
    b.append(char(validity & 0xFF)).append(char(validity >> 8));
    for (int i = 2; i < bodyLength; i++)
        b.append(char(i * 7));
    const uint16_t crc = CRC16_Modbus(b.constData(), uint32_t(b.size()));
    return b.append(char(crc & 0xFF)).append(char(crc >> 8));
}

QByteArray Trailer() { return QByteArray("\xA5\x5A\x00\x00", 4) + QByteArray(16, '\x77'); }

}  // namespace

TEST(BinFile, SavesTheBuiltImageAndLoadsItBack)
{
    for (ControllerModel model : {ControllerModel::Velm5Plus, ControllerModel::Velm5}) {
        Workdir dir;
        RecordingUi ui;
        CDravikCore core(ui);
        core.SetModel(model);
        core.SetImages({dir.Bmp("a.bmp", Solid(3, 3, kWhite))});
        const QString path = dir.Path("image.BIN");
        ASSERT_TRUE(core.SaveToBinFile(path)) << ui.BoxTexts();
        EXPECT_EQ(ui.LastStatus(), QString("Saved \"image.BIN\" (%1 bytes)").arg(QFile(path).size()));
        EXPECT_TRUE(ui.statuses.contains("Saving..."));
        const QString savedCrc = core.CrcText();
        if (model == ControllerModel::Velm5)
            EXPECT_EQ(savedCrc, "N/A") << "VELM5 shows no CRC";

        const std::vector<uint8_t> built = *core.BuildMemoryImage();
        EXPECT_EQ(Bytes(dir.Read("image.BIN")), built) << "the .BIN file is not the image byte for byte";

        ASSERT_TRUE(core.LoadFromBinFile(path)) << ui.BoxTexts();
        EXPECT_EQ(core.LoadedImage().Image(), built) << "the loaded image is not the saved one";
        EXPECT_EQ(core.CrcText(), savedCrc) << "load and save show different CRCs for one image";
        EXPECT_TRUE(core.Images().isEmpty()) << "a loaded .BIN leaves the image list in place";
        EXPECT_EQ(ui.LastStatus(), QString("Loaded \"image.BIN\" (%1 bytes)").arg(built.size()));
    }
}

TEST(BinFile, ShowsTheCrcOfTheImageBytesOnly)
{
    struct Case {
        const char* what;
        QByteArray file;
        uint32_t imageLength;
        uint32_t keptLength;
    };
    const QByteArray image1002 = SelfCheckingImage(0xFEEC, 1000);
    const std::vector<Case> cases = {
        {"an image of 1002 bytes", image1002, 1002, 1004},
        {"the same with a trailer", image1002 + Trailer(), 1002, 1004},
    };
    for (const Case& c : cases) {
        Workdir dir;
        RecordingUi ui;
        CBinImage bin(ui);
        ASSERT_TRUE(bin.LoadFromBinFile(dir.Write("x.BIN", c.file), ControllerModel::Velm5Plus))
            << c.what << ": " << ui.BoxTexts();
        EXPECT_EQ(bin.CrcText(), "0x0000") << c.what << ": the CRC covers more or less than the image";
        EXPECT_EQ(bin.FileImageLength(), c.imageLength) << c.what;
        ASSERT_EQ(bin.Image().size(), c.keptLength) << c.what << ": not rounded up to a multiple of 4";
        EXPECT_EQ(bin.Image()[1002] | bin.Image()[1003], 0) << c.what << ": the rounding bytes are not zero";
        EXPECT_EQ(ui.LastStatus(), "Loaded \"x.BIN\" (1002 bytes)") << c.what;
    }
}

TEST(BinFile, KeepsAnOddLengthAndRoundsItUp)
{
    Workdir dir;
    QByteArray file = SelfCheckingImage(0xFEEB, 999);  // 1001 bytes
    RecordingUi ui;
    CBinImage bin(ui);
    ASSERT_TRUE(bin.LoadFromBinFile(dir.Write("odd.BIN", file), ControllerModel::Velm5)) << ui.BoxTexts();
    ASSERT_EQ(bin.Image().size(), 1004u);
    EXPECT_EQ(bin.Image()[1001] | bin.Image()[1002] | bin.Image()[1003], 0);
    EXPECT_EQ(bin.CrcText(), "N/A");
    EXPECT_EQ(ui.LastStatus(), "Loaded \"odd.BIN\" (1001 bytes)");
}

TEST(BinFile, RefusesFilesThatAreNotAnImageForTheModel)
{
    struct Case {
        const char* what;
        QByteArray file;
    };
    const std::vector<Case> cases = {
        {"a VELM5 image while VELM5 Plus is selected", SelfCheckingImage(0xFEEB, 100)},
        {"7 bytes: shorter than the header", QByteArray("\xEC\xFE\x08\x00\x00\x00\x00", 7)},
        {"an empty file", QByteArray()},
        {"a header and a trailer but no image", QByteArray("\xEC\xFE\x1C\x00", 4) + Trailer()},
    };
    for (const Case& c : cases) {
        Workdir dir;
        RecordingUi ui;
        CBinImage bin(ui);
        EXPECT_FALSE(bin.LoadFromBinFile(dir.Write("x.BIN", c.file), ControllerModel::Velm5Plus)) << c.what;
        EXPECT_FALSE(bin.IsLoaded()) << c.what;
        ASSERT_EQ(ui.boxes.size(), 1u) << c.what;
        EXPECT_EQ(ui.boxes[0].text, "Wrong BIN file format for selected controller type") << c.what;
        EXPECT_EQ(ui.boxes[0].title, "BIN File Format") << c.what;
        EXPECT_EQ(ui.LastStatus(), "File not loaded - \"x.BIN\"") << c.what;
    }
    Workdir dir;
    RecordingUi ui;
    CBinImage bin(ui);
    EXPECT_FALSE(bin.LoadFromBinFile(dir.Path("none.BIN"), ControllerModel::Velm5Plus));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Access denied! File can not read");
    EXPECT_EQ(ui.boxes[0].title, "Error ");
    EXPECT_EQ(ui.LastStatus(), "File not loaded - \"none.BIN\"");
}

TEST(BinFile, AFailedLoadDropsTheImageHeldBeforeAndSaysSo)
{
    Workdir dir;
    const QString good = dir.Write("a.BIN", SelfCheckingImage(0xFEEC, 100));
    const struct {
        const char* what;
        QString path;
    } failures[] = {
        {"a file of another format", dir.Write("b.BIN", "junk")},
        {"a file that cannot be read", dir.Path("gone.BIN")},
    };
    for (const auto& f : failures) {
        RecordingUi ui;
        CDravikCore core(ui);
        ASSERT_TRUE(core.LoadFromBinFile(good)) << ui.BoxTexts();
        ASSERT_EQ(core.CrcText(), "0x0000");
        EXPECT_FALSE(core.LoadFromBinFile(f.path)) << f.what;
        EXPECT_FALSE(core.LoadedImage().IsLoaded()) << f.what << ": Store would still send the image loaded before";
        EXPECT_TRUE(core.LoadedImage().Image().empty()) << f.what;
        EXPECT_EQ(core.CrcText(), "") << f.what << ": the CRC of the image loaded before is still shown";
        EXPECT_EQ(ui.LastStatus(), "File not loaded - \"" + QFileInfo(f.path).fileName() + "\"")
            << f.what << ": the status still names the file loaded before";
    }
}

TEST(BinFile, AFailedSaveLeavesTheFileAsItWas)
{
    Workdir dir;
    const QString path = dir.Write("keep.BIN", "the old image");
    RecordingUi ui;
    CDravikCore core(ui);  // nothing to store: the build fails
    EXPECT_FALSE(core.SaveToBinFile(path));
    EXPECT_EQ(dir.Read("keep.BIN"), "the old image") << "a failed build emptied the .BIN file";
    EXPECT_EQ(ui.LastStatus(), "Build stopped: nothing to store");

    RecordingUi cancelUi;
    CDravikCore cancelling(cancelUi);
    cancelling.SetImages({dir.Path("missing.bmp")});
    cancelUi.answers = {UserInterface::Answer::Cancel};
    EXPECT_FALSE(cancelling.SaveToBinFile(path));
    EXPECT_EQ(dir.Read("keep.BIN"), "the old image") << "a cancelled build emptied the .BIN file";
    EXPECT_EQ(cancelUi.LastStatus(), "Build cancelled at \"missing.bmp\"");
}

TEST(BinFile, ReportsAFileThatCannotBeCreated)
{
    Workdir dir;
    RecordingUi ui;
    CDravikCore core(ui);
    core.SetImages({dir.Bmp("a.bmp", Solid(1, 1, kWhite))});
    const QString path = dir.Path("no/such/folder/x.BIN");
    EXPECT_FALSE(core.SaveToBinFile(path));
    ASSERT_EQ(ui.boxes.size(), 1u) << "a file that cannot be created was not reported";
    EXPECT_EQ(ui.boxes[0].title, path);
    EXPECT_FALSE(ui.statuses.contains("Done")) << "the image was built for a file that cannot be written";
    EXPECT_EQ(ui.LastStatus(), "File not saved - \"x.BIN\"");
}

TEST(BinFile, AsksForTheFileInTheLastFolder)
{
    Workdir dir;
    RecordingUi ui;
    CDravikCore core(ui);
    core.SetImages({dir.Bmp("a.bmp", Solid(1, 1, kWhite))});
    QString folder = "/start";
    ui.files = {dir.Path("out.BIN")};
    ASSERT_TRUE(core.OnSaveToBinFile(folder)) << ui.BoxTexts();
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    EXPECT_TRUE(ui.fileRequests[0].save);
    EXPECT_EQ(ui.fileRequests[0].filter, "Binary File (*.BIN)|*.BIN||");
    EXPECT_EQ(ui.fileRequests[0].folder, "/start");
    EXPECT_EQ(ui.fileRequests[0].defaultSuffix, "BIN");
    EXPECT_EQ(folder, QFileInfo(dir.Path("out.BIN")).absolutePath()) << "the chosen folder is not remembered";

    EXPECT_FALSE(core.OnLoadFromBinFile(folder)) << "a cancelled dialog loaded something";
    EXPECT_FALSE(core.LoadedImage().IsLoaded());
    ui.files = {dir.Path("out.BIN")};
    EXPECT_TRUE(core.OnLoadFromBinFile(folder)) << ui.BoxTexts();
    EXPECT_FALSE(ui.fileRequests.back().save);
    core.SetImages({dir.Path("a.bmp")});
    EXPECT_FALSE(core.LoadedImage().IsLoaded()) << "a changed image list still leaves the .BIN to Store";
}
