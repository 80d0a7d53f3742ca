// Connect, Detect and "Store into VELM" against a scripted controller: the
// order of the steps, the texts the user sees, and a failed step stopping
// the ones after it.
#include "core/dravik_core.h"
#include "core/programming_run.h"
#include "fake_controller.h"
#include "format/crc16.h"
#include "loader_support.h"

#include <QFile>

#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

class RecordingView : public ProgrammingView {
public:
    void ShowDownloadableSize(const QString& text) override { downloadable = text; }
    void ShowMaxSdFileSize(const QString& text) override { maxSd = text; }
    void ShowCrc(const QString& text) override { crc = text; }
    void ShowConnected(bool c) override { connected = c; }
    void ShowModel(std::optional<ControllerModel> m) override
    {
        modelShown = true;
        model = m;
    }
    QString downloadable, maxSd, crc;
    bool connected = false;
    bool modelShown = false;
    std::optional<ControllerModel> model;
};

Picture Noise(int width, int height, uint32_t seed)
{
    Picture p(size_t(height), std::vector<Rgb>(size_t(width), Rgb{0, 0, 0}));
    for (auto& row : p)
        for (Rgb& px : row) {
            seed = seed * 1103515245u + 12345u;
            px = {uint8_t(seed >> 24), uint8_t(seed >> 16), uint8_t(seed >> 8)};
        }
    return p;
}

// A scripted controller, the inputs of an image and a run on them.
struct Store {
    explicit Store(uint32_t capacity = 0x1BC0000, uint32_t block = 0x1000) : controller(capacity, block), core(ui), run(ui, view, core)
    {
        core.SetModel(ControllerModel::Velm5Plus);
        core.SetImages({dir.Bmp("noise.bmp", Noise(40, 30, 7)), dir.Gif("small.gif", Solid(5, 4, {0, 0, 255}))});
    }
    void Start()
    {
        pty = std::make_unique<FakeController>(controller.Script());
        ASSERT_TRUE(pty->ok());
        run.SetPort(QString::fromStdString(pty->SlavePath()), "115200");
    }
    std::vector<uint8_t> Built()
    {
        RecordingUi quiet;
        CDravikCore again(quiet);
        again.SetModel(core.Model());
        again.SetImages(core.Images());
        return again.BuildMemoryImage().value_or(std::vector<uint8_t>());
    }
    int Count(const std::string& prefix) const
    {
        const auto lines = pty->Lines();
        return int(std::count_if(lines.begin(), lines.end(),
                                 [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
    }
    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> texts;
        for (const RecordedBox& b : ui.boxes)
            texts.push_back(b.text.toStdString());
        return texts;
    }

    Workdir dir;
    RecordingUi ui;
    RecordingView view;
    ScriptedController controller;
    CDravikCore core;
    CProgrammingRun run;
    std::unique_ptr<FakeController> pty;
};

std::string Statuses(const RecordingUi& ui) { return ui.statuses.join(" | ").toStdString(); }

}  // namespace

TEST(ProgrammingRun, StoresTheImageItBuildsAndMakesItLive)
{
    Store s;
    s.Start();
    const std::vector<uint8_t> image = s.Built();
    ASSERT_FALSE(image.empty());
    ASSERT_TRUE(s.run.OnStoreIntoController()) << s.ui.BoxTexts() << Statuses(s.ui);
    EXPECT_TRUE(s.ui.boxes.empty()) << s.ui.BoxTexts();

    const std::vector<uint8_t> store = s.controller.Store();
    EXPECT_EQ(FirstDifference(store, image), "") << "the controller holds something else than the image";
    EXPECT_EQ(s.controller.TransferStarts(), (std::vector<uint32_t>{2, 0})) << "the validity word is not written last";
    EXPECT_EQ(s.controller.Loads(), 1) << "*LOAD was not sent once";
    EXPECT_EQ(s.pty->Lines().back(), "*prevCons") << "the console is not handed back at the end";
    const QString crc = QString::asprintf("0x%04X", CRC16_Modbus(image.data(), uint32_t(image.size())));
    EXPECT_EQ(s.view.crc, crc) << "the CRC field does not show the image's CRC";
    EXPECT_EQ(s.run.ExpectedCrc(), crc);
    EXPECT_GE(s.Count("*CEXT"), 1) << "the controller's CRC was not asked for";

    QStringList steps;
    for (const QString& st : s.ui.statuses)
        if (QStringList{"Connecting", "Connected", "Erasing...", "Sending data...", "Programming."}.contains(st))
            steps.append(st);
    EXPECT_EQ(steps, (QStringList{"Connecting", "Connected", "Erasing...", "Sending data...", "Programming."}))
        << Statuses(s.ui);
    EXPECT_TRUE(s.ui.LastStatus().startsWith(QString("Programmed %1 bytes in ").arg(image.size())))
        << s.ui.LastStatus().toStdString();
    EXPECT_FALSE(s.run.IsConnected()) << "Store ends connected";
    EXPECT_FALSE(s.run.Link().IsOpen()) << "Store leaves the port open";
    EXPECT_FALSE(s.view.connected);
    EXPECT_EQ(s.view.downloadable, "29097984");
}

TEST(ProgrammingRun, StoresIntoAnOlderControllerWithoutACrcCheck)
{
    Store s;
    s.core.SetModel(ControllerModel::Velm5);
    s.controller.answers["*ctype"] = "!\r";
    s.controller.validityWord = 0xFEEB;
    s.Start();
    const std::vector<uint8_t> image = s.Built();
    ASSERT_TRUE(s.run.OnStoreIntoController()) << s.ui.BoxTexts() << Statuses(s.ui);
    EXPECT_EQ(FirstDifference(s.controller.Store(), image), "");
    EXPECT_EQ(s.Count("xmc 0xFEEB "), int((image.size() + 0xFFF) / 0x1000)) << "erased with the wrong key";
    EXPECT_EQ(s.Count("*CEXT"), 0) << "VELM5 has no CRC to compare";
    EXPECT_EQ(s.view.crc, "N/A");
}

TEST(ProgrammingRun, RefusesTheWrongControllerTypeBeforeErasing)
{
    struct Case {
        ControllerModel selected;
        std::string type;
        const char* status;
    } cases[] = {
        {ControllerModel::Velm5, "1\r>\r", "Store stopped: the controller is a VELM5 Plus, not a VELM5"},
        {ControllerModel::Velm5Plus, "0\r>\r", "Store stopped: the controller is a VELM5, not a VELM5 Plus"},
        {ControllerModel::Velm5Plus, "!\r", "Store stopped: the controller is a VELM5, not a VELM5 Plus"},  // older firmware
    };
    for (const Case& c : cases) {
        Store s;
        s.core.SetModel(c.selected);
        s.controller.answers["*ctype"] = c.type;
        s.Start();
        EXPECT_FALSE(s.run.OnStoreIntoController()) << "*ctype " << c.type;
        ASSERT_EQ(s.ui.boxes.size(), 1u) << s.ui.BoxTexts();
        EXPECT_EQ(s.ui.boxes[0].text, "Wrong Controller Type selected (VELM5 vs VELM5 Plus)");
        EXPECT_EQ(s.ui.boxes[0].title, "Controller Type");
        EXPECT_EQ(s.Count("xmc"), 0) << "the store was erased for the wrong controller";
        EXPECT_FALSE(s.run.Link().IsOpen()) << "the port stays open";
        EXPECT_EQ(s.ui.LastStatus(), c.status) << "*ctype " << c.type;
    }
}

TEST(ProgrammingRun, AStoreWhoseBuildStopsSaysWhy)
{
    struct Case {
        const char* what;
        std::function<void(Store&)> inputs;
        const char* status;
    } cases[] = {
        {"Cancel in a picture's box",
         [](Store& s) {
             s.core.SetImages({s.dir.Bmp("a.bmp", Noise(4, 4, 1)), s.dir.Path("missing.bmp")});
             s.ui.answers = {UserInterface::Answer::Cancel};
         },
         "Build cancelled at \"missing.bmp\""},
        {"a font file gone since the font list was added",
         [](Store& s) {
             const QString font = s.dir.Sif("f.sif", "font");
             ASSERT_TRUE(s.core.AddFontList(s.dir.Write("f.kfl", "f f.sif\n"))) << s.ui.BoxTexts();
             QFile::remove(font);
         },
         "Build stopped: error in font list \"f.kfl\""},
    };
    for (const Case& c : cases) {
        Store s;
        c.inputs(s);
        s.Start();
        EXPECT_FALSE(s.run.OnStoreIntoController()) << c.what;
        EXPECT_EQ(s.ui.LastStatus(), c.status) << c.what << ": " << Statuses(s.ui);
        EXPECT_EQ(s.Count("xmc"), 0) << c.what << ": the store was erased";
        EXPECT_FALSE(s.run.Link().IsOpen()) << c.what << ": the port stays open";
    }
}

TEST(ProgrammingRun, StopsWhenTheControllerDoesNotComeBackToItsPrompt)
{
    // After the image is sent the controller answers "vers" as another
    // family for five prompt syncs; the sixth, a fresh connect, finds it.
    Store s;
    std::atomic<bool> sent{false};
    std::atomic<int> syncs{0};
    s.controller.hook = [&](const std::string& line) {
        if (line == "*CEXT")
            sent = true;
        if (sent && line.empty())
            syncs++;
        if (sent && syncs <= 5 && line == "vers\n")
            return std::string("VELM4 V1.0\r>\r");
        return std::string();
    };
    s.Start();
    EXPECT_FALSE(s.run.OnStoreIntoController()) << "a Store that did not make the image live succeeded";
    EXPECT_EQ(s.controller.Loads(), 0) << "*LOAD was sent after the prompt did not come back";
    EXPECT_EQ(s.Count("*prevCons"), 0);
    EXPECT_TRUE(s.ui.boxes.empty()) << s.ui.BoxTexts();
    const int tries = int(s.ui.statuses.indexOf("Programming......"));
    ASSERT_GE(tries, 0) << "not five failed syncs: " << Statuses(s.ui);
    EXPECT_EQ(s.ui.statuses.mid(tries + 1),
              (QStringList{"Connecting", "Connected",
                           "Store stopped: the controller did not return to its prompt; the image was not loaded"}))
        << "the fresh connect is not where the Store ends";
    EXPECT_FALSE(s.run.Link().IsOpen()) << "the port stays open";
    EXPECT_FALSE(s.view.connected);
}

TEST(ProgrammingRun, AcceptsAnImageOfExactlyTheDownloadableSizeAndNotOneByteMore)
{
    uint32_t size = 0;
    {
        Store probe;
        size = uint32_t(probe.Built().size());
        ASSERT_GT(size, 0u);
    }
    struct Case {
        uint32_t downloadable;
        bool ok;
    } cases[] = {{size, true}, {size - 1, false}};
    for (const Case& c : cases) {
        Store s(c.downloadable, 0x1000);
        s.Start();
        EXPECT_EQ(s.run.OnStoreIntoController(), c.ok) << "image " << size << ", store " << c.downloadable << ": "
                                                        << s.ui.BoxTexts();
        if (c.ok)
            continue;
        ASSERT_EQ(s.ui.boxes.size(), 1u) << s.ui.BoxTexts();
        EXPECT_EQ(s.ui.boxes[0].text, CProgrammingRun::TooLargeText(size, size - 1));
        EXPECT_EQ(s.ui.boxes[0].title, "Record");
        EXPECT_EQ(s.Count("xmc") + s.Count("xmp ") + s.Count("*LOAD"), 0) << "a step ran after the too-large box";
        EXPECT_EQ(s.ui.LastStatus(), "Error during programming.");
    }
}

TEST(ProgrammingRun, StopsAtTheFirstFailedStep)
{
    struct Case {
        const char* what;
        std::function<void(ScriptedController&)> fault;
        const char* box;
        std::vector<uint32_t> transfers;
    } cases[] = {
        {"erase refused",
         [](ScriptedController& c) {
             c.eraseAnswer = [](int block) {
                 return block == 0 ? std::string(":Erasing sector 0...\r:Erase sector 0 failed\r!\r") : std::string();
             };
         },
         "Erase failed!", {}},
        {"data refused",
         [](ScriptedController& c) {
             c.dataAnswer = [](uint32_t start, int line, const std::string&) {
                 return start == 2 && line == 1 ? std::string("\rCannot write past end of external memory!\r!\r")
                                                : std::string();
             };
         },
         "Programming failed!", {2}},
        {"validity word refused",
         [](ScriptedController& c) {
             c.dataAnswer = [](uint32_t start, int line, const std::string&) {
                 return start == 0 && line == 0 ? std::string("\r!Write to external memory failed!\r!\r")
                                                : std::string();
             };
         },
         "Validity Word Programming failed!", {2, 0}},
        {"*LOAD refused", [](ScriptedController& c) { c.answers["*LOAD"] = ":No .BIN file in flash or on SD card\r!\r"; },
         "*LOAD failed!", {2, 0}},
    };
    for (const Case& c : cases) {
        Store s;
        c.fault(s.controller);
        s.Start();
        EXPECT_FALSE(s.run.OnStoreIntoController()) << c.what;
        ASSERT_FALSE(s.ui.boxes.empty()) << c.what;
        EXPECT_EQ(s.ui.boxes.back().text.toStdString(), c.box) << c.what << ": " << s.ui.BoxTexts();
        EXPECT_EQ(s.ui.boxes.back().title, "External Memory") << c.what;
        EXPECT_EQ(s.controller.TransferStarts(), c.transfers) << c.what << ": a later step ran after the failure";
        if (std::string(c.box) != "*LOAD failed!")
            EXPECT_EQ(s.controller.Loads(), 0) << c.what << ": *LOAD sent after a failure";
        EXPECT_EQ(s.ui.LastStatus(), "Error during programming.") << c.what;
        EXPECT_EQ(s.Count("*prevCons"), 0) << c.what;
        EXPECT_FALSE(s.run.Link().IsOpen()) << c.what;
    }
}

TEST(ProgrammingRun, ReportsACrcMismatchAndStillLoads)
{
    Store s;
    s.controller.answers["*CEXT"] = "0x0000\r>\r";
    s.Start();
    const std::vector<uint8_t> image = s.Built();
    const QString expected = QString::asprintf("0x%04X", CRC16_Modbus(image.data(), uint32_t(image.size())));
    EXPECT_TRUE(s.run.OnStoreIntoController());
    ASSERT_EQ(s.ui.boxes.size(), 1u) << s.ui.BoxTexts();
    EXPECT_EQ(s.ui.boxes[0].text, "CRC value check failed!\nExpected: " + expected + ", got 0x0000");
    EXPECT_EQ(s.ui.boxes[0].title, "External Memory");
    EXPECT_EQ(s.controller.Loads(), 1) << "a CRC mismatch kept the image from loading";
    EXPECT_TRUE(s.ui.LastStatus().startsWith("Programmed ")) << s.ui.LastStatus().toStdString();
}

TEST(ProgrammingRun, SendsALoadedBinAsItIs)
{
    Store s;
    const QString bin = s.dir.Path("image.BIN");
    ASSERT_TRUE(s.core.SaveToBinFile(bin)) << s.ui.BoxTexts();
    ASSERT_TRUE(s.core.LoadFromBinFile(bin)) << s.ui.BoxTexts();
    const QString loadedCrc = s.core.CrcText();
    const std::vector<uint8_t> image = s.core.LoadedImage().Image();
    // The pictures are gone: a rebuild would fail.
    QFile::remove(s.dir.Path("noise.bmp"));
    s.Start();
    ASSERT_TRUE(s.run.OnStoreIntoController()) << s.ui.BoxTexts();
    EXPECT_EQ(FirstDifference(s.controller.Store(), image), "");
    EXPECT_EQ(s.run.ExpectedCrc(), loadedCrc) << "the CRC compared is not the one computed at load time";
    EXPECT_TRUE(s.core.LoadedImage().IsLoaded()) << "a loaded image is dropped by Store";
}

TEST(ProgrammingRun, ReportsProgrammedSizeTimeAndRate)
{
    struct Case {
        uint32_t size;
        qint64 ms;
        const char* text;
    } cases[] = {
        {1000, 500, "Programmed 1000 bytes in 0.5 seconds (2.0KB/s)"},
        {1, 1000, "Programmed 1 byte in 1.0 second (0.0KB/s)"},
        {2048, 0, "Programmed 2048 bytes in 0.0 seconds (2048.0KB/s)"},  // at least 1 ms
        {1048576, 95000, "Programmed 1048576 bytes in 95.0 seconds (11.0KB/s)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CProgrammingRun::ProgrammedText(c.size, c.ms).toStdString(), c.text);
    EXPECT_EQ(CProgrammingRun::TooLargeText(1, 1), "Record is too large: 1 byte > 1 byte");
    EXPECT_EQ(CProgrammingRun::TooLargeText(29097985, 29097984),
              "Record is too large: 29097985 bytes > 29097984 bytes");
}

TEST(ProgrammingRun, ConnectsAndDisconnects)
{
    Store s;
    s.Start();
    s.run.ConnectController();
    EXPECT_TRUE(s.run.IsConnected()) << s.ui.BoxTexts();
    EXPECT_EQ(s.ui.LastStatus(), "Connected");
    EXPECT_EQ(s.view.downloadable, "29097984");
    EXPECT_EQ(s.view.maxSd, "29097984");
    EXPECT_TRUE(s.view.connected);
    const int lines = int(s.pty->Lines().size());
    s.run.ConnectController();
    EXPECT_EQ(int(s.pty->Lines().size()), lines) << "connecting again while connected talked to the controller";

    s.run.DisconnectController();
    EXPECT_EQ(s.ui.statuses.mid(s.ui.statuses.size() - 2), (QStringList{"Disconnecting", "Disconnected"}));
    EXPECT_EQ(s.view.downloadable, "?");
    EXPECT_EQ(s.view.maxSd, "?");
    EXPECT_FALSE(s.run.Link().IsOpen());
}

TEST(ProgrammingRun, ReportsAPortWithoutAController)
{
    Store missing;
    missing.run.SetPort("/dev/no-such-port", "115200");
    missing.run.OnConnectButton("Connect");
    ASSERT_EQ(missing.ui.boxes.size(), 1u);
    EXPECT_EQ(missing.ui.boxes[0].title, "CreateFile");
    EXPECT_TRUE(missing.ui.statuses.contains("Error Connecting"));
    EXPECT_EQ(missing.ui.LastStatus(), "Disconnected") << "the button's failed connect is not undone";

    Store silent;
    silent.controller.hook = [](const std::string&) { return std::string("\x01"); };
    silent.Start();
    silent.run.ConnectController();
    ASSERT_EQ(silent.ui.boxes.size(), 1u) << silent.ui.BoxTexts();
    EXPECT_EQ(silent.ui.boxes[0].text, "No Valid VELM5 device found");
    EXPECT_EQ(silent.ui.boxes[0].title, "Failed to Connect");
    EXPECT_EQ(silent.ui.LastStatus(), "Error Connecting");
    EXPECT_EQ(silent.view.downloadable, " ");
    EXPECT_FALSE(silent.run.IsConnected());
    EXPECT_FALSE(silent.run.Link().IsOpen()) << "a port without a controller is kept open";
}

TEST(ProgrammingRun, DetectsTheControllerModel)
{
    struct Case {
        std::string type;
        std::optional<ControllerModel> shown;
        ControllerModel model;
        bool box;
    } cases[] = {
        {"1\r>\r", ControllerModel::Velm5Plus, ControllerModel::Velm5Plus, false},
        {"0\r>\r", ControllerModel::Velm5, ControllerModel::Velm5, false},
        {"!\r", ControllerModel::Velm5, ControllerModel::Velm5, false},
        {"?\r>\r", std::nullopt, ControllerModel::Velm5, true},
    };
    for (const Case& c : cases) {
        Store s;
        s.controller.answers["*ctype"] = c.type;
        s.Start();
        s.run.OnDetectController();
        EXPECT_TRUE(s.view.modelShown) << c.type;
        EXPECT_EQ(s.view.model, c.shown) << "*ctype " << c.type;
        EXPECT_EQ(s.core.Model(), c.model) << "*ctype " << c.type;
        EXPECT_EQ(s.ui.boxes.size(), c.box ? 1u : 0u) << s.ui.BoxTexts();
        if (c.box) {
            EXPECT_EQ(s.ui.boxes[0].text, "Unknown controller");
            EXPECT_EQ(s.ui.boxes[0].title, "Direct IO");
        }
        EXPECT_TRUE(s.run.IsConnected()) << "Detect leaves the link connected";
    }
}
