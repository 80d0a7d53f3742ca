// Dravik's window on the offscreen platform: its controls and texts, the
// settings it reads at start and writes on Quit, the image list, the boxes
// of Store, the controls held disabled while the link waits, a close that
// waits for the running Store, and a Store into the simulated board.
#include "about_dlg.h"
#include "core/image_list.h"
#include "dravik_dlg.h"
#include "drag_list_ctrl.h"
#include "fake_controller.h"
#include "loader_support.h"
#include "simulated_board.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <deque>
#include <memory>

namespace {

class ScriptedPrompter : public Prompter {
public:
    UserInterface::Answer messageBox(QWidget*, const QString& text, const QString& title, UserInterface::Icon icon,
                                     UserInterface::Buttons buttons) override
    {
        boxes.push_back({text, title, icon, buttons});
        return UserInterface::Answer::Ok;
    }
    QString askFile(QWidget*, const UserInterface::FileRequest& request) override
    {
        requests.push_back(request);
        if (files.empty())
            return QString();
        const QString f = files.front();
        files.pop_front();
        return f;
    }
    QStringList askFiles(QWidget*, const UserInterface::FileRequest& request) override
    {
        requests.push_back(request);
        if (fileSets.empty())
            return {};
        const QStringList f = fileSets.front();
        fileSets.pop_front();
        return f;
    }
    std::string Texts() const
    {
        std::string all;
        for (const RecordedBox& b : boxes)
            all += "[" + b.title.toStdString() + "] " + b.text.toStdString() + "\n";
        return all.empty() ? "(no box)" : all;
    }

    std::vector<RecordedBox> boxes;
    std::deque<QString> files;
    std::deque<QStringList> fileSets;
    std::vector<UserInterface::FileRequest> requests;
};

QList<SerialPortInfo> TwoPorts()
{
    SerialPortInfo usb;
    usb.devicePath = "/dev/ttyUSB0";
    usb.portName = "ttyUSB0";
    usb.friendlyName = "FT232R USB UART (ttyUSB0)";
    usb.isUsb = true;
    SerialPortInfo plain;
    plain.devicePath = "/dev/ttyS0";
    plain.portName = "ttyS0";
    plain.friendlyName = "(ttyS0)";
    return {usb, plain};
}

// One window with scripted boxes and file dialogs and a fresh settings file.
struct Window {
    explicit Window(std::function<QList<SerialPortInfo>()> ports = TwoPorts)
    {
        CDravikDlg::Options o;
        o.prompter = &prompter;
        o.ports = std::move(ports);
        dlg = std::make_unique<CDravikDlg>(o);
        dlg->show();
    }
    template <typename W = QWidget>
    W* Control(int id) const
    {
        W* w = dlg->findChild<W*>(QString::number(id));
        EXPECT_NE(w, nullptr) << "the window has no control " << id;
        return w;
    }
    QString Text(int id) const { return Control<QLineEdit>(id)->text(); }
    QComboBox* Combo(int id) const { return Control<QComboBox>(id); }

    ScriptedPrompter prompter;
    std::unique_ptr<CDravikDlg> dlg;
};

void ClearSettings()
{
    QSettings s("Kestrom", "Dravik");
    s.clear();
    s.sync();
}

// Every control EnableControls names, and Quit.
const int kControls[] = {1004, 1003, 1041, 1029, 1036, 1042, 1032, 1033, 1043, 1044, 1007,
                         1008, 1009, 1010, 1047, 1018, 1037, 1028, 1026, 1038, 1035, 1039};

Picture Checker(int width, int height)
{
    Picture p(size_t(height), std::vector<Rgb>(size_t(width), Rgb{0, 0, 0}));
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            p[size_t(y)][size_t(x)] = ((x / 8 + y / 8) % 2) ? Rgb{255, 160, 0} : Rgb{0, 64, 160};
    return p;
}

class DravikWindow : public testing::Test {
protected:
    void SetUp() override { ClearSettings(); }
};

}  // namespace

TEST_F(DravikWindow, ShowsItsCaptionControlsAndTexts)
{
    Window w;
    EXPECT_EQ(w.dlg->windowTitle(), "Dravik V2.4.1 for VELM5 / VELM5 PLUS");
    const struct {
        int id;
        const char* text;
    } buttons[] = {
        {1026, "Store into VELM"}, {1039, "Quit"},          {1043, "Detect Controller Via Serial Port"},
        {1038, "Connect"},         {1035, "Save to .bin file"}, {1041, "Load from .bin file"},
        {1007, "Add BMP"},         {1008, "Remove BMP"},    {1009, "Load BMP List"},
        {1010, "Save BMP List"},   {1036, "Add Macro File"}, {1042, "Add Font List"},
    };
    for (const auto& b : buttons)
        EXPECT_EQ(w.Control<QPushButton>(b.id)->text(), b.text) << "control " << b.id;
    EXPECT_TRUE(w.Control<QPushButton>(1038)->isCheckable()) << "Connect is a push-like check box";
    EXPECT_EQ(w.Control<QRadioButton>(1032)->text(), "VELM5");
    EXPECT_EQ(w.Control<QRadioButton>(1033)->text(), "VELM5 Plus");
    EXPECT_EQ(w.Control<QCheckBox>(1029)->text(), "Sort files when added or loaded");
    for (int id : {1047, 1015, 1016, 1040, 1037, 1044, 1019, 1020, 1021, 1022, 1023, 1024, 1027})
        EXPECT_TRUE(w.Control<QLineEdit>(id)->isReadOnly()) << "field " << id << " can be edited";
    EXPECT_NE(w.Control<QListWidget>(1028), nullptr);
    EXPECT_EQ(w.Control<CDragListCtrl>(1018)->headerItem()->text(0), "Filename");
    EXPECT_EQ(w.Text(1015), "Not connected");

    QStringList bauds;
    for (int i = 0; i < w.Combo(1004)->count(); i++)
        bauds.append(w.Combo(1004)->itemText(i));
    EXPECT_EQ(bauds, (QStringList{"460800", "230400", "115200", "57600", "38400", "19200", "9600"}));
    QStringList ports;
    for (int i = 0; i < w.Combo(1003)->count(); i++)
        ports.append(w.Combo(1003)->itemText(i));
    EXPECT_EQ(ports, (QStringList{"ttyUSB0", "ttyS0"})) << "the port list shows the names in the friendly names";
    EXPECT_TRUE(w.Combo(1003)->isEditable()) << "a device path such as /dev/pts/5 cannot be typed in";
    for (const char* group : {"Select Target Controller", "Port Settings", "Binary Image", "VELM Status", "BMP List",
                              "Macro File", "Font List FIle", "Selected BMP Information"}) {
        bool found = false;
        for (QGroupBox* g : w.dlg->findChildren<QGroupBox*>())
            found = found || g->title() == group;
        EXPECT_TRUE(found) << "no group \"" << group << "\"";
    }
}

TEST_F(DravikWindow, FallsBackToTheFirstTwoPortsOnAMachineWithout)
{
    Window w([] { return QList<SerialPortInfo>(); });
    QStringList ports;
    for (int i = 0; i < w.Combo(1003)->count(); i++)
        ports.append(w.Combo(1003)->itemText(i));
    EXPECT_EQ(ports, FallbackPortNames());
    EXPECT_EQ(ports.size(), 2);
}

TEST_F(DravikWindow, ReadsItsSettingsAtStart)
{
    struct Case {
        const char* what;
        std::map<QString, QString> saved;
        QString port;  // what the port field shows
        bool listed;   // an entry of the port list is selected
        QString baud;
        bool velm5, plus;
        ControllerModel model;
    } cases[] = {
        {"first start", {}, "ttyUSB0", true, "460800", false, false, ControllerModel::Velm5},
        {"saved values", {{"Port", "ttyS0"}, {"Baud Rate", "115200"}, {"Controller", "FALSE"}}, "ttyS0", true,
         "115200", false, true, ControllerModel::Velm5Plus},
        {"a saved port that is gone", {{"Port", "ttyACM7"}, {"Controller", "TRUE"}}, "", false, "460800", true,
         false, ControllerModel::Velm5},
        {"a port that differs in case", {{"Port", "TTYS0"}}, "", false, "460800", false, false,
         ControllerModel::Velm5},
        {"a device path typed in", {{"Port", "/dev/pts/77"}}, "/dev/pts/77", false, "460800", false, false,
         ControllerModel::Velm5},
    };
    for (const Case& c : cases) {
        ClearSettings();
        {
            QSettings s("Kestrom", "Dravik");
            for (const auto& [key, value] : c.saved)
                s.setValue(key, value);
        }
        Window w;
        EXPECT_EQ(w.Combo(1003)->currentText(), c.port) << c.what;
        EXPECT_EQ(w.Combo(1003)->currentIndex() >= 0, c.listed) << c.what << ": the port list's selection";
        EXPECT_EQ(w.Combo(1004)->currentText(), c.baud) << c.what;
        EXPECT_EQ(w.Control<QRadioButton>(1032)->isChecked(), c.velm5) << c.what;
        EXPECT_EQ(w.Control<QRadioButton>(1033)->isChecked(), c.plus) << c.what;
        EXPECT_EQ(w.dlg->Core().Model(), c.model) << c.what << ": the Plus flag does not follow the VELM5 Plus button";
    }
}

TEST_F(DravikWindow, WritesItsSettingsOnQuit)
{
    struct Case {
        int radio;
        const char* controller;
    } cases[] = {{1032, "TRUE"}, {1033, "FALSE"}};
    for (const Case& c : cases) {
        ClearSettings();
        Window w;
        w.Combo(1003)->setEditText("/dev/pts/77");  // typed in
        w.Combo(1004)->setCurrentText("115200");
        w.Control<QRadioButton>(c.radio)->click();
        {
            QSettings s("Kestrom", "Dravik");
            EXPECT_FALSE(s.contains("Port")) << "settings were written before Quit";
        }
        w.Control<QPushButton>(1039)->click();
        EXPECT_FALSE(w.dlg->isVisible()) << "Quit did not close the window";
        QSettings s("Kestrom", "Dravik");
        EXPECT_EQ(s.value("Port").toString(), "/dev/pts/77");
        EXPECT_EQ(s.value("Baud Rate").toString(), "115200");
        EXPECT_EQ(s.value("Controller").toString(), c.controller);
        Window again;
        EXPECT_EQ(again.Combo(1003)->currentText(), "/dev/pts/77") << "the port typed in is gone at the next start";
    }
}

TEST_F(DravikWindow, KeepsTheImageListAndShowsAPicturesInformation)
{
    Workdir dir;
    const QString c = dir.Bmp("c.bmp", Checker(64, 32));
    const QString a = dir.Bmp("A.bmp", Solid(3, 2, {255, 255, 255}));
    const QString gif = dir.Gif("b.gif", Solid(5, 4, {0, 0, 255}));
    Window w;
    auto* list = w.Control<CDragListCtrl>(1018);
    w.Control<QCheckBox>(1029)->setChecked(true);
    w.prompter.fileSets = {{c, a, dir.Write("notes.txt", "x")}, {gif}};
    w.Control<QPushButton>(1007)->click();
    EXPECT_EQ(list->Paths(), (QStringList{a, c})) << "Add BMP takes several .bmp files, sorted, and nothing else";
    EXPECT_EQ(w.prompter.requests.back().filter,
              "Image Files (*.bmp;*.gif)|*.bmp;*.gif|BMP Files (*.bmp)|*.bmp|GIF Files (*.gif)|*.gif||");
    EXPECT_EQ(QSettings("Kestrom", "Dravik").value("BMPFILE_ADD_LASTPATH").toString(), QFileInfo(c).absolutePath())
        << "the folder of Add BMP is not remembered";
    w.Control<QCheckBox>(1029)->setChecked(false);
    w.Control<QPushButton>(1007)->click();
    EXPECT_EQ(list->Paths(), (QStringList{a, c, gif})) << "without the check box pictures are appended";
    EXPECT_EQ(w.dlg->Core().Images(), list->Paths()) << "the builder's list differs from the window's";

    list->topLevelItem(1)->setSelected(true);
    const struct {
        int id;
        const char* text;
    } info[] = {{1019, "c.bmp"}, {1020, "64 x 32"},  {1021, "16777216"}, {1022, "24"},
                {1023, "192"},   {1024, "6144"},     {1027, "Yes"}};
    for (const auto& f : info)
        EXPECT_EQ(w.Text(f.id), f.text) << "information field " << f.id;
    auto* notes = w.Control<QListWidget>(1028);
    ASSERT_GE(notes->count(), 2);
    EXPECT_TRUE(notes->item(0)->text().startsWith("Stored as RLE16: ")) << notes->item(0)->text().toStdString();
    EXPECT_EQ(notes->item(1)->text(), "First 16 stored bytes:");

    // Dragging the GIF to the top.
    list->MoveRows({2}, 0);
    emit list->reordered();
    EXPECT_EQ(w.dlg->Core().Images(), (QStringList{gif, a, c})) << "a reordered list is built in the old order";

    const QString saved = dir.Path("pictures.lst");
    w.prompter.files = {saved};
    w.Control<QPushButton>(1010)->click();
    EXPECT_EQ(dir.Read("pictures.lst"), (gif + "\n" + a + "\n" + c + "\n").toUtf8()) << "one path a line";

    list->clearSelection();
    list->topLevelItem(0)->setSelected(true);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(w.dlg->Core().Images(), (QStringList{a, c})) << "Delete on the list does not remove the picture";
    list->topLevelItem(0)->setSelected(true);
    list->topLevelItem(1)->setSelected(true);
    w.Control<QPushButton>(1008)->click();
    EXPECT_EQ(w.dlg->Core().Images(), (QStringList{})) << "Remove BMP removes the selected pictures";
    EXPECT_EQ(w.Text(1019), "") << "the information of a removed picture stays";

    w.Control<QCheckBox>(1029)->setChecked(true);
    w.prompter.files = {saved};
    w.Control<QPushButton>(1009)->click();
    EXPECT_EQ(w.dlg->Core().Images(), (QStringList{a, gif, c})) << "Load BMP List with sorting";
}

namespace {

// What the image list shows, row by row.
QStringList ShownRows(CDragListCtrl* list)
{
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); i++)
        rows.append(list->topLevelItem(i)->text(0));
    return rows;
}

// Plays steps one after the other from the event queue and returns when the
// last has run.  A step may start a drag, whose own event loop then plays
// the steps that follow it, as the window system's events reach a real drag.
void Play(const std::vector<std::function<void()>>& steps)
{
    QEventLoop loop;
    size_t next = 0;
    std::function<void()> run = [&] {
        if (next == steps.size()) {
            loop.quit();
            return;
        }
        const std::function<void()>& step = steps[next++];
        QTimer::singleShot(0, &loop, run);  // queued first: the step may not return until its drag ends
        step();
    };
    QTimer::singleShot(0, &loop, run);
    loop.exec();
    QApplication::processEvents();  // the release that a drag holds back until it ends
}

// A drag of the image list's row with the left button to a point of its
// viewport, delivered as the window system delivers a mouse: the pointer
// arrives on the row, the button goes down, the pointer moves past the drag
// distance and on to the target, and the button comes up there (after
// Escape, when the drag is to be given up).
void DragRow(Window& w, int row, QPoint to, bool escape)
{
    auto* list = w.Control<CDragListCtrl>(1018);
    QWindow* window = w.dlg->windowHandle();
    auto at = [&](QPoint viewportPoint) { return list->viewport()->mapTo(w.dlg.get(), viewportPoint); };
    const QPoint from = at(list->visualItemRect(list->topLevelItem(row)).center());
    const QPoint target = at(to);
    const int distance = QApplication::startDragDistance();

    QCursor::setPos(window->mapToGlobal(from));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QCursor::pos() == window->mapToGlobal(from); }))
        << "the pointer never reached the row";
    Play({
        [&] { QTest::mousePress(window, Qt::LeftButton, {}, from); },
        [&] { QTest::mouseMove(window, from + QPoint(1, 0)); },
        [&] { QTest::mouseMove(window, from + QPoint(distance + 2, 0)); },  // the drag starts here
        [&] { QTest::mouseMove(window, (from + target) / 2 + QPoint(distance + 2, 0)); },
        [&] { QTest::mouseMove(window, target); },
        [&] {
            if (escape)
                QTest::keyClick(window, Qt::Key_Escape);
        },
        [&] { QTest::mouseRelease(window, Qt::LeftButton, {}, target); },
    });
}

}  // namespace

TEST_F(DravikWindow, KeepsEveryPictureAndItsOrderThroughDrags)
{
    // Eight pictures of widths 1 to 8, so a built image tells them apart.
    Workdir dir;
    QStringList pictures;
    for (int i = 1; i <= 8; i++)
        pictures.append(dir.Bmp(QString("p%1.bmp").arg(i), Solid(i, 1, {uint8_t(30 * i), 0, 0})));
    auto p = [&](std::initializer_list<int> numbers) {
        QStringList l;
        for (int n : numbers)
            l.append(pictures[n - 1]);
        return l;
    };

    Window w;
    w.dlg->resize(900, 900);  // room for every row and some below them
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.dlg->windowHandle()));
    w.Control<QRadioButton>(1033)->click();
    w.prompter.fileSets = {pictures};
    w.Control<QPushButton>(1007)->click();
    auto* list = w.Control<CDragListCtrl>(1018);
    ASSERT_EQ(ShownRows(list), pictures);

    auto rect = [&](int row) { return list->visualItemRect(list->topLevelItem(row)); };
    const struct {
        const char* what;
        QList<int> select;  // rows ctrl-clicked before the drag
        int row;            // the row dragged
        std::function<QPoint()> to;  // in the list's viewport
        bool escape;
        QStringList expected;
    } drags[] = {
        {"the sixth row to the top", {}, 5, [&] { return rect(0).topLeft() + QPoint(20, 2); }, false,
         p({6, 1, 2, 3, 4, 5, 7, 8})},
        {"the second row below the last", {}, 1, [&] { return rect(7).bottomLeft() + QPoint(20, 12); }, false,
         p({6, 2, 3, 4, 5, 7, 8, 1})},
        {"the fourth row onto itself", {}, 3, [&] { return rect(3).center() + QPoint(0, -2); }, false,
         p({6, 2, 3, 4, 5, 7, 8, 1})},
        {"the first and fifth rows between the seventh and the eighth", {0, 4}, 4,
         [&] { return rect(6).center() + QPoint(0, 3); }, false, p({2, 3, 4, 7, 8, 6, 5, 1})},
        {"the last row to the top", {}, 7, [&] { return rect(0).topLeft() + QPoint(20, 2); }, false,
         p({1, 2, 3, 4, 7, 8, 6, 5})},
        {"the third row given up with Escape", {}, 2, [&] { return rect(6).center(); }, true,
         p({1, 2, 3, 4, 7, 8, 6, 5})},
        {"the third row let go above the list", {}, 2, [&] { return QPoint(20, -40); }, false,
         p({1, 2, 3, 4, 7, 8, 6, 5})},
    };
    for (const auto& d : drags) {
        list->clearSelection();
        for (int row : d.select)
            QTest::mouseClick(w.dlg->windowHandle(), Qt::LeftButton, Qt::ControlModifier,
                              list->viewport()->mapTo(w.dlg.get(), rect(row).center()));
        DragRow(w, d.row, d.to(), d.escape);
        EXPECT_EQ(ShownRows(list), d.expected) << d.what << ": the window shows another list";
        EXPECT_EQ(w.dlg->Core().Images(), d.expected) << d.what << ": the builder holds another list";
    }

    // Save BMP List writes what is shown, and the built image holds it in that order.
    const QStringList shown = ShownRows(list);
    w.prompter.files = {dir.Path("after.lst"), dir.Path("after.BIN")};
    w.Control<QPushButton>(1010)->click();
    EXPECT_EQ(QString::fromUtf8(dir.Read("after.lst")), shown.join('\n') + '\n') << "Save BMP List wrote another list";
    w.Control<QPushButton>(1035)->click();
    const std::vector<uint8_t> image = Bytes(dir.Read("after.BIN"));
    ASSERT_GT(image.size(), 8u) << w.prompter.Texts();
    ASSERT_EQ(int(Read16(image, 2)), int(shown.size()) + 1) << "the built image holds another number of pictures";
    for (int i = 0; i < shown.size(); i++) {
        const uint32_t record = Read32(image, 8 + 12 * size_t(i + 1) + 4) - 0xC8400000u;
        ASSERT_LT(record, image.size());
        EXPECT_EQ(int(Read16(image, record)), int(pictures.indexOf(shown[i])) + 1)
            << "entry " << i + 1 << " of the built image is not the picture shown in row " << i + 1;
    }
}

TEST_F(DravikWindow, DropsALoadedBinWhenAnyInputChanges)
{
    Workdir dir;
    const QString bmp = dir.Bmp("a.bmp", Solid(4, 4, {1, 2, 3}));
    Window w;
    w.Control<QRadioButton>(1033)->click();
    w.dlg->Core().SetImages({bmp});
    ASSERT_TRUE(w.dlg->Core().SaveToBinFile(dir.Path("a.BIN"))) << w.prompter.Texts();

    const struct {
        const char* what;
        std::function<void(Window&)> change;
    } changes[] = {
        {"Add BMP", [&](Window& x) {
             x.prompter.fileSets = {{bmp}};
             x.Control<QPushButton>(1007)->click();
         }},
        {"Remove BMP", [&](Window& x) {
             x.Control<CDragListCtrl>(1018)->SetPaths({bmp});
             x.Control<CDragListCtrl>(1018)->topLevelItem(0)->setSelected(true);
             x.Control<QPushButton>(1008)->click();
         }},
        {"Load BMP List", [&](Window& x) {
             x.prompter.files = {dir.Write("l.lst", bmp.toUtf8() + "\n")};
             x.Control<QPushButton>(1009)->click();
         }},
        {"reordering", [&](Window& x) { emit x.Control<CDragListCtrl>(1018)->reordered(); }},
        {"Add Macro File", [&](Window& x) {
             x.prompter.files = {dir.Write("m.mac", "#define a\n#end\n")};
             x.Control<QPushButton>(1036)->click();
         }},
        {"Add Font List", [&](Window& x) {
             dir.Sif("f.sif", "");
             x.prompter.files = {dir.Write("f.kfl", "f f.sif\n")};
             x.Control<QPushButton>(1042)->click();
         }},
    };
    for (const auto& c : changes) {
        w.prompter.files = {dir.Path("a.BIN")};
        w.Control<QPushButton>(1041)->click();
        ASSERT_TRUE(w.dlg->Core().LoadedImage().IsLoaded()) << w.prompter.Texts();
        EXPECT_TRUE(w.Text(1047).startsWith("0x")) << "the CRC of the loaded .BIN is not shown";
        EXPECT_TRUE(w.dlg->Core().Images().isEmpty()) << "a loaded .BIN keeps the image list";
        c.change(w);
        EXPECT_FALSE(w.dlg->Core().LoadedImage().IsLoaded()) << c.what << " leaves the .BIN to be stored";
        EXPECT_EQ(w.Text(1047), "") << c.what << " leaves the .BIN's CRC shown";
        EXPECT_EQ(w.Text(1015), "") << c.what << " leaves the status of the .BIN's loading";
    }
}

TEST_F(DravikWindow, HoldsEveryControlDisabledWhileStoreWaitsAndDefersAClose)
{
    // A close asked for while the link works waits for the Store to end; one
    // asked for before the image is built stops the build, so nothing is
    // erased.  Either way the window then closes and saves its settings.
    struct Case {
        const char* when;  // the status at which the close, Escape and Quit come
        bool stored;
    } cases[] = {{"Erasing...", true}, {"Connecting", false}};
    for (const Case& c : cases) {
        ClearSettings();
        ScriptedController controller;
        FakeController pty(controller.Script());
        ASSERT_TRUE(pty.ok());
        Workdir dir;
        Window w;
        w.Control<QRadioButton>(1033)->click();
        w.dlg->Core().SetImages({dir.Bmp("a.bmp", Checker(40, 40))});
        w.Combo(1003)->setEditText(QString::fromStdString(pty.SlavePath()));
        w.Combo(1004)->setCurrentText("115200");

        // While the link waits, look at the controls and try every way out.
        std::vector<std::string> enabled;
        int looks = 0;
        int attempts = 0;
        QTimer spy;
        QObject::connect(&spy, &QTimer::timeout, [&] {
            if (!w.dlg->IsBusy())
                return;
            looks++;
            for (int id : kControls)
                if (w.Control<QWidget>(id)->isEnabled())
                    enabled.push_back(std::to_string(id) + " at " + w.Text(1015).toStdString());
            if (attempts == 0 && w.Text(1015) != c.when)
                return;
            switch (attempts++) {
            case 0: w.dlg->close(); break;
            case 1: QTest::keyClick(w.dlg.get(), Qt::Key_Escape); break;
            case 2: w.Control<QPushButton>(1039)->click(); break;  // disabled: nothing happens
            case 3: w.Control<QPushButton>(1026)->click(); break;
            default: break;
            }
        });
        spy.start(50);
        w.Control<QPushButton>(1026)->click();
        spy.stop();

        EXPECT_GE(looks, 10) << c.when << ": the link did not let window events run while it waited";
        EXPECT_GE(attempts, 4) << c.when << ": the status \"" << c.when << "\" was not seen";
        EXPECT_TRUE(enabled.empty()) << "enabled during Store: " << ::testing::PrintToString(enabled);
        if (c.stored) {
            EXPECT_EQ(controller.Loads(), 1) << "the close tore the Store down: " << w.prompter.Texts();
            EXPECT_EQ(controller.TransferStarts(), (std::vector<uint32_t>{2, 0})) << "a second Store ran";
            EXPECT_TRUE(w.Text(1015).startsWith("Programmed ")) << w.Text(1015).toStdString();
        } else {
            EXPECT_TRUE(controller.ErasedBlocks().empty()) << "the store was erased after the user closed the window";
        }
        EXPECT_FALSE(w.dlg->isVisible()) << c.when << ": the close asked for during Store was forgotten";
        EXPECT_EQ(QSettings("Kestrom", "Dravik").value("Controller").toString(), "FALSE")
            << c.when << ": the deferred close did not save the settings";
        EXPECT_FALSE(w.dlg->Run().Link().IsOpen()) << c.when << ": the port stays open";
    }
}

TEST_F(DravikWindow, ShowsTheWrongControllerBoxAndTheTooLargeBox)
{
    struct Case {
        const char* what;
        int radio;
        uint32_t capacity;
        const char* box;
        const char* title;
        const char* status;
    } cases[] = {
        {"VELM5 selected, VELM5 Plus answers", 1032, 0x1BC0000, "Wrong Controller Type selected (VELM5 vs VELM5 Plus)",
         "Controller Type", "Store stopped: the controller is a VELM5 Plus, not a VELM5"},
        {"an image larger than the store", 1033, 0x100, "Record is too large: ", "Record", "Error during programming."},
    };
    for (const Case& c : cases) {
        ScriptedController controller(c.capacity, 0x100);
        FakeController pty(controller.Script());
        ASSERT_TRUE(pty.ok());
        Workdir dir;
        Window w;
        w.Control<QRadioButton>(c.radio)->click();
        w.dlg->Core().SetImages({dir.Bmp("a.bmp", Checker(40, 40))});
        w.Combo(1003)->setEditText(QString::fromStdString(pty.SlavePath()));
        w.Control<QPushButton>(1026)->click();
        ASSERT_EQ(w.prompter.boxes.size(), 1u) << c.what << ": " << w.prompter.Texts();
        EXPECT_TRUE(w.prompter.boxes[0].text.startsWith(c.box)) << c.what << ": " << w.prompter.Texts();
        EXPECT_EQ(w.prompter.boxes[0].title, c.title) << c.what;
        EXPECT_EQ(w.prompter.boxes[0].icon, UserInterface::Icon::Error) << c.what;
        EXPECT_TRUE(controller.ErasedBlocks().empty()) << c.what << ": the store was erased";
        for (int id : kControls)
            EXPECT_TRUE(w.Control<QWidget>(id)->isEnabled()) << c.what << ": control " << id << " stays disabled";
        EXPECT_EQ(w.Control<QPushButton>(1038)->text(), "Connect") << c.what;
        EXPECT_FALSE(w.Control<QPushButton>(1038)->isChecked()) << c.what;
        EXPECT_EQ(w.Text(1015), c.status) << c.what << ": the status does not say how the Store ended";
    }
}

TEST_F(DravikWindow, SaysNothingIsLoadedAfterAFailedLoad)
{
    Workdir dir;
    QByteArray odd("\xEB\xFE", 2);  // a VELM5 image of 1001 bytes
    for (int i = 2; i < 1001; i++)
        odd.append(char(i));
    const QString good = dir.Write("odd1001.BIN", odd);
    const QString plus = dir.Write("plus.BIN", QByteArray("\xEC\xFE", 2) + odd.mid(2));
    ScriptedController controller;
    controller.typeText = "0";
    controller.validityWord = 0xFEEB;
    FakeController pty(controller.Script());
    ASSERT_TRUE(pty.ok());
    Window w;
    w.Control<QRadioButton>(1032)->click();
    w.Combo(1003)->setEditText(QString::fromStdString(pty.SlavePath()));
    w.prompter.files = {good, plus};
    w.Control<QPushButton>(1041)->click();
    ASSERT_EQ(w.Text(1015), "Loaded \"odd1001.BIN\" (1001 bytes)") << w.prompter.Texts();
    EXPECT_EQ(w.Text(1047), "N/A");

    w.Control<QPushButton>(1041)->click();  // a VELM5 Plus image while VELM5 is selected
    ASSERT_EQ(w.prompter.boxes.size(), 1u) << w.prompter.Texts();
    EXPECT_EQ(w.prompter.boxes[0].text, "Wrong BIN file format for selected controller type");
    EXPECT_EQ(w.Text(1015), "File not loaded - \"plus.BIN\"") << "the status still names the .BIN loaded before";
    EXPECT_EQ(w.Text(1047), "") << "the CRC of the .BIN loaded before is still shown";

    w.Control<QPushButton>(1026)->click();
    ASSERT_EQ(w.prompter.boxes.size(), 2u) << w.prompter.Texts();
    EXPECT_TRUE(w.prompter.boxes[1].text.startsWith("Nothing to store")) << w.prompter.Texts();
    EXPECT_EQ(w.Text(1015), "Build stopped: nothing to store");
    EXPECT_TRUE(controller.ErasedBlocks().empty());
    EXPECT_FALSE(w.dlg->Run().Link().IsOpen());
}

TEST_F(DravikWindow, ConnectsAndDetectsTheModel)
{
    ScriptedController controller;
    controller.answers["*ctype"] = "!\r";  // older firmware
    FakeController pty(controller.Script());
    ASSERT_TRUE(pty.ok());
    Window w;
    w.Control<QRadioButton>(1033)->click();
    w.Combo(1003)->setEditText(QString::fromStdString(pty.SlavePath()));
    w.Combo(1004)->setCurrentText("115200");
    auto* connect = w.Control<QPushButton>(1038);
    connect->click();
    EXPECT_EQ(w.Text(1015), "Connected") << w.prompter.Texts();
    EXPECT_EQ(connect->text(), "Disconnect");
    EXPECT_TRUE(connect->isChecked());
    EXPECT_EQ(w.Text(1016), "29097984");
    EXPECT_EQ(w.Text(1040), "29097984");

    w.Control<QPushButton>(1043)->click();
    EXPECT_TRUE(w.Control<QRadioButton>(1032)->isChecked()) << "a controller answering \"!\" is a VELM5";
    EXPECT_FALSE(w.Control<QRadioButton>(1033)->isChecked());
    EXPECT_EQ(w.dlg->Core().Model(), ControllerModel::Velm5);
    EXPECT_EQ(connect->text(), "Disconnect") << "Detect disconnected";

    connect->click();
    EXPECT_EQ(w.Text(1015), "Disconnected");
    EXPECT_EQ(connect->text(), "Connect");
    EXPECT_FALSE(connect->isChecked());
    EXPECT_EQ(w.Text(1016), "?");
    EXPECT_EQ(w.Text(1040), "?");
}

TEST_F(DravikWindow, OpensItsAboutBox)
{
    Window w;
    QString title, text;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr) << "no About box";
        title = about->windowTitle();
        text = about->findChild<QLabel*>("version")->text();
        about->accept();
    });
    w.dlg->OnAbout();
    EXPECT_EQ(title, "About Dravik");
    EXPECT_EQ(text, "Dravik Version 2.4.1");
}

TEST_F(DravikWindow, StoresIntoTheSimulatedBoardAndLeavesAScreenshot)
{
    SimulatedBoard board("max");
    ASSERT_TRUE(board.Ok()) << board.Error().toStdString();
    Workdir dir;
    const QString checker = dir.Bmp("checker.bmp", Checker(320, 240));
    const QString white = dir.Bmp("white.bmp", Solid(16, 16, {255, 255, 255}));
    const QString gif = dir.Gif("blue.gif", Solid(8, 8, {0, 0, 255}));

    Window w;
    w.Control<QRadioButton>(1033)->click();
    w.prompter.fileSets = {{checker, white, gif}};
    w.Control<QPushButton>(1007)->click();
    w.Combo(1003)->setEditText(board.Uart1());  // the board's pseudo-terminal, typed in
    w.Combo(1004)->setCurrentText("115200");
    w.Control<QPushButton>(1026)->click();

    EXPECT_TRUE(w.prompter.boxes.empty()) << w.prompter.Texts();
    EXPECT_TRUE(w.Text(1015).startsWith("Programmed ")) << "the status reads " << w.Text(1015).toStdString();
    EXPECT_TRUE(w.Text(1047).startsWith("0x")) << "no CRC shown";
    EXPECT_EQ(w.Text(1016), "29097984");
    EXPECT_EQ(w.Control<QPushButton>(1038)->text(), "Connect") << "Store ends connected";

    w.Control<CDragListCtrl>(1018)->topLevelItem(0)->setSelected(true);
    QApplication::processEvents();
    const QImage shot = w.dlg->grab().toImage();
    EXPECT_TRUE(shot.save(DRAVIK_SCREENSHOT)) << "the screenshot could not be saved to " << DRAVIK_SCREENSHOT;
}

TEST(DravikFileDialogs, TakeTheFiltersAsQtWritesThem)
{
    const struct {
        const char* filter;
        const char* qt;
    } cases[] = {
        {"Binary File (*.BIN)|*.BIN||", "Binary File (*.BIN)"},
        {"MAC Files (*.mac,*.txt)|*.mac;*.txt||", "MAC Files (*.mac *.txt)"},
        {"Image Files (*.bmp;*.gif)|*.bmp;*.gif|GIF Files (*.gif)|*.gif||", "Image Files (*.bmp *.gif);;GIF Files (*.gif)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WidgetPrompter::QtFilter(c.filter).toStdString(), c.qt) << c.filter;
}
