#include "dravik_dlg.h"

#include "about_dlg.h"
#include "app_icon.h"
#include "core/image_list.h"
#include "drag_list_ctrl.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

// Settings under "Kestrom" / "Dravik".
const char kPortKey[] = "Port";
const char kBaudKey[] = "Baud Rate";
const char kControllerKey[] = "Controller";
const char kBmpAddFolder[] = "BMPFILE_ADD_LASTPATH";
const char kBmpListSaveFolder[] = "BMPLIST_SAVE_LASTPATH";
const char kBinSaveFolder[] = "BINARYFILE_SAVE_LASTPATH";
const char kBinLoadFolder[] = "BINARYFILE_LOAD_LASTPATH";
const char kFontListFolder[] = "FONTLISTLOAD_LASTPATH";

const char kImageFilter[] = "Image Files (*.bmp;*.gif)|*.bmp;*.gif|BMP Files (*.bmp)|*.bmp|GIF Files (*.gif)|*.gif||";
const char kListFilter[] = "BMP List (*.lst)|*.lst|All Files (*.*)|*||";

const char* const kBaudRates[] = {"460800", "230400", "115200", "57600", "38400", "19200", "9600"};

QSettings Settings() { return QSettings("Kestrom", "Dravik"); }

template <typename W>
W* Named(W* widget, int id)
{
    widget->setObjectName(QString::number(id));
    return widget;
}

QLineEdit* ReadOnlyField(int id)
{
    auto* e = Named(new QLineEdit, id);
    e->setReadOnly(true);
    return e;
}

}  // namespace

const char CDravikDlg::kCaption[] = "Dravik V2.4.1 for VELM5 / VELM5 PLUS";

CDravikDlg::CDravikDlg(const Options& options, QWidget* parent)
    : QDialog(parent), m_core(*this), m_run(*this, *this, m_core), m_prompter(options.prompter),
      m_ports(options.ports)
{
    if (!m_prompter) {
        m_ownPrompter = std::make_unique<WidgetPrompter>();
        m_prompter = m_ownPrompter.get();
    }
    if (!m_ports)
        m_ports = EnumerateSerialPorts;

    // OnInitDialog, in order.
    setWindowTitle(kCaption);
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
    setWindowIcon(DravikIcon());
    BuildWindow();
    FillPortList();
    for (const char* rate : kBaudRates)
        m_baud->addItem(rate);
    m_baud->setCurrentIndex(0);
    setStatus("Not connected");
    LoadSettings();
}

CDravikDlg::~CDravikDlg() = default;

// ------------------------------------------------------------ the window

void CDravikDlg::BuildWindow()
{
    // Left: target, port, binary image, status, the two big buttons.
    auto* target = new QGroupBox("Select Target Controller");
    m_velm5 = Named(new QRadioButton("VELM5"), 1032);
    m_velm5Plus = Named(new QRadioButton("VELM5 Plus"), 1033);
    m_target = new QButtonGroup(this);
    m_target->addButton(m_velm5);
    m_target->addButton(m_velm5Plus);
    m_detect = Named(new QPushButton("Detect Controller Via Serial Port"), 1043);
    auto* targetLayout = new QVBoxLayout(target);
    auto* radios = new QHBoxLayout;
    radios->addWidget(m_velm5);
    radios->addWidget(m_velm5Plus);
    targetLayout->addLayout(radios);
    targetLayout->addWidget(m_detect);

    auto* port = new QGroupBox("Port Settings");
    m_port = Named(new QComboBox, 1003);
    m_port->setEditable(true);  // a device path such as /dev/pts/5 may be typed in
    m_port->setInsertPolicy(QComboBox::NoInsert);
    m_baud = Named(new QComboBox, 1004);
    m_connect = Named(new QPushButton("Connect"), 1038);
    m_connect->setCheckable(true);
    auto* portLayout = new QFormLayout(port);
    portLayout->addRow("Port", m_port);
    portLayout->addRow("Baud", m_baud);
    portLayout->addRow(m_connect);

    auto* binary = new QGroupBox("Binary Image");
    m_saveBin = Named(new QPushButton("Save to .bin file"), 1035);
    m_loadBin = Named(new QPushButton("Load from .bin file"), 1041);
    m_crc = ReadOnlyField(1047);
    auto* binaryLayout = new QFormLayout(binary);
    binaryLayout->addRow(m_saveBin);
    binaryLayout->addRow(m_loadBin);
    binaryLayout->addRow("CRC Value", m_crc);

    auto* status = new QGroupBox("VELM Status");
    m_status = ReadOnlyField(1015);
    m_downloadable = ReadOnlyField(1016);
    m_maxSd = ReadOnlyField(1040);
    auto* statusLayout = new QGridLayout(status);
    statusLayout->addWidget(new QLabel("Status"), 0, 0);
    statusLayout->addWidget(m_status, 0, 1, 1, 3);
    statusLayout->addWidget(new QLabel("Downloadable size"), 1, 0);
    statusLayout->addWidget(m_downloadable, 1, 1);
    statusLayout->addWidget(new QLabel("Max SD file size"), 1, 2);
    statusLayout->addWidget(m_maxSd, 1, 3);
    statusLayout->setColumnStretch(1, 1);
    statusLayout->setColumnStretch(3, 1);

    m_store = Named(new QPushButton("Store into VELM"), 1026);
    m_store->setDefault(true);
    m_quit = Named(new QPushButton("Quit"), 1039);
    m_quit->setAutoDefault(false);

    auto* left = new QVBoxLayout;
    left->addWidget(target);
    left->addWidget(port);
    left->addWidget(binary);
    left->addStretch(1);

    // Right: the image list, the macro file, the font list, the information.
    auto* list = new QGroupBox("BMP List");
    m_addBmp = Named(new QPushButton("Add BMP"), 1007);
    m_removeBmp = Named(new QPushButton("Remove BMP"), 1008);
    m_loadList = Named(new QPushButton("Load BMP List"), 1009);
    m_saveList = Named(new QPushButton("Save BMP List"), 1010);
    m_sort = Named(new QCheckBox("Sort files when added or loaded"), 1029);
    m_list = Named(new CDragListCtrl, 1018);
    auto* listButtons = new QHBoxLayout;
    for (QPushButton* b : {m_addBmp, m_removeBmp, m_loadList, m_saveList})
        listButtons->addWidget(b);
    auto* listLayout = new QVBoxLayout(list);
    listLayout->addLayout(listButtons);
    listLayout->addWidget(m_sort);
    listLayout->addWidget(m_list, 1);

    auto* macro = new QGroupBox("Macro File");
    m_addMacro = Named(new QPushButton("Add Macro File"), 1036);
    m_macroPath = ReadOnlyField(1037);
    auto* macroLayout = new QHBoxLayout(macro);
    macroLayout->addWidget(m_addMacro);
    macroLayout->addWidget(m_macroPath, 1);

    auto* fonts = new QGroupBox("Font List FIle");
    m_addFonts = Named(new QPushButton("Add Font List"), 1042);
    m_fontPath = ReadOnlyField(1044);
    auto* fontLayout = new QHBoxLayout(fonts);
    fontLayout->addWidget(m_addFonts);
    fontLayout->addWidget(m_fontPath, 1);

    auto* info = new QGroupBox("Selected BMP Information");
    m_infoImage = ReadOnlyField(1019);
    m_infoSize = ReadOnlyField(1020);
    m_infoColors = ReadOnlyField(1021);
    m_infoBits = ReadOnlyField(1022);
    m_infoBytesPerLine = ReadOnlyField(1023);
    m_infoTotal = ReadOnlyField(1024);
    m_infoCompressed = ReadOnlyField(1027);
    m_notes = Named(new QListWidget, 1028);
    auto* infoLayout = new QGridLayout(info);
    const std::pair<const char*, QLineEdit*> fields[] = {
        {"Image", m_infoImage},          {"Size", m_infoSize},
        {"Colors", m_infoColors},        {"Bits per Pixel", m_infoBits},
        {"Bytes per Line", m_infoBytesPerLine}, {"Total bytes", m_infoTotal},
        {"Compressed", m_infoCompressed},
    };
    int row = 0;
    for (const auto& [label, field] : fields) {
        infoLayout->addWidget(new QLabel(label), row / 2, (row % 2) * 2);
        infoLayout->addWidget(field, row / 2, (row % 2) * 2 + 1);
        row++;
    }
    infoLayout->addWidget(new QLabel("Notes"), 4, 0, Qt::AlignTop);
    infoLayout->addWidget(m_notes, 4, 1, 1, 3);

    auto* right = new QVBoxLayout;
    right->addWidget(list, 1);
    right->addWidget(macro);
    right->addWidget(fonts);
    right->addWidget(info);

    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_store);
    buttons->addWidget(m_quit);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status, 1);
    bottom->addLayout(buttons);
    auto* top = new QVBoxLayout(this);
    top->addLayout(columns, 1);
    top->addLayout(bottom);
    resize(900, 660);

    connect(m_store, &QPushButton::clicked, this, &CDravikDlg::OnStoreIntoController);
    connect(m_quit, &QPushButton::clicked, this, &CDravikDlg::OnQuit);
    connect(m_velm5, &QRadioButton::clicked, this, [this] { m_core.SetModel(ControllerModel::Velm5); });
    connect(m_velm5Plus, &QRadioButton::clicked, this, [this] { m_core.SetModel(ControllerModel::Velm5Plus); });
    connect(m_detect, &QPushButton::clicked, this, &CDravikDlg::OnDetectController);
    connect(m_connect, &QPushButton::clicked, this, &CDravikDlg::OnConnectButton);
    connect(m_saveBin, &QPushButton::clicked, this, &CDravikDlg::OnSaveToBinFile);
    connect(m_loadBin, &QPushButton::clicked, this, &CDravikDlg::OnLoadFromBinFile);
    connect(m_addBmp, &QPushButton::clicked, this, &CDravikDlg::OnAddBmp);
    connect(m_removeBmp, &QPushButton::clicked, this, &CDravikDlg::OnRemoveBmp);
    connect(m_loadList, &QPushButton::clicked, this, &CDravikDlg::OnLoadBmpList);
    connect(m_saveList, &QPushButton::clicked, this, &CDravikDlg::OnSaveBmpList);
    connect(m_addMacro, &QPushButton::clicked, this, &CDravikDlg::OnAddMacroFile);
    connect(m_addFonts, &QPushButton::clicked, this, &CDravikDlg::OnAddFontList);
    connect(m_list, &CDragListCtrl::reordered, this, [this] { ImagesChanged(m_list->Paths(), false); });
    connect(m_list, &CDragListCtrl::deletePressed, this, &CDravikDlg::OnRemoveBmp);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CDravikDlg::ShowSelectedImage);
    auto* about = new QShortcut(QKeySequence::HelpContents, this);
    connect(about, &QShortcut::activated, this, &CDravikDlg::OnAbout);
}

void CDravikDlg::FillPortList()
{
    m_port->clear();
    m_port->addItems(PortListNames(m_ports()));
    m_port->setCurrentIndex(0);
}

void CDravikDlg::contextMenuEvent(QContextMenuEvent* event)
{
    // The window system's menu cannot take items here: the About item is
    // on the window's own context menu (and F1).
    QMenu menu(this);
    menu.addAction("&About Dravik...", this, &CDravikDlg::OnAbout);
    menu.exec(event->globalPos());
}

void CDravikDlg::OnAbout()
{
    CAboutDlg about(this);
    about.exec();
}

// ------------------------------------------------------------ UserInterface

void CDravikDlg::setStatus(const QString& text)
{
    m_status->setText(text);
    m_status->setCursorPosition(0);  // a long text shows its start
}

UserInterface::Answer CDravikDlg::messageBox(const QString& text, const QString& title, Icon icon, Buttons buttons)
{
    return m_prompter->messageBox(this, text, title, icon, buttons);
}

bool CDravikDlg::processEvents()
{
    QApplication::processEvents();
    return !m_quitPending;
}

QString CDravikDlg::askFile(const FileRequest& request) { return m_prompter->askFile(this, request); }

// ------------------------------------------------------------ ProgrammingView

void CDravikDlg::ShowDownloadableSize(const QString& text) { m_downloadable->setText(text); }

void CDravikDlg::ShowMaxSdFileSize(const QString& text) { m_maxSd->setText(text); }

void CDravikDlg::ShowCrc(const QString& text)
{
    m_crcText = text;
    m_crc->setText(text);
}

void CDravikDlg::ShowConnected(bool connected)
{
    m_connect->setText(connected ? "Disconnect" : "Connect");
    m_connect->setChecked(connected);
}

void CDravikDlg::ShowModel(std::optional<ControllerModel> model)
{
    m_target->setExclusive(false);
    m_velm5->setChecked(model == ControllerModel::Velm5);
    m_velm5Plus->setChecked(model == ControllerModel::Velm5Plus);
    m_target->setExclusive(true);
}

// ------------------------------------------------------------ busy state

void CDravikDlg::EnableControls(bool enable)
{
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_baud, m_port, m_loadBin, m_sort, m_addMacro, m_addFonts, m_velm5, m_velm5Plus, m_detect, m_fontPath,
             m_addBmp, m_removeBmp, m_loadList, m_saveList, m_crc, m_list, m_macroPath, m_notes, m_store, m_connect,
             m_saveBin})
        w->setEnabled(enable);
}

void CDravikDlg::BeginBusy()
{
    // The dialog's Cancel (Quit) goes too: nothing may close the link under
    // a routine that is waiting on it.
    m_busy = true;
    m_quit->setEnabled(false);
    EnableControls(false);
}

void CDravikDlg::EndDownload()
{
    EnableControls(true);
    m_quit->setEnabled(true);
    m_store->setFocus();
    m_busy = false;
    if (m_quitPending) {
        m_quitPending = false;
        OnQuit();
    }
}

void CDravikDlg::ClearCrcDisplay()
{
    m_crc->clear();
    m_crcText.clear();
}

void CDravikDlg::reject()
{
    if (m_busy) {
        // Closed when the running operation ends.
        m_quitPending = true;
        return;
    }
    OnQuit();
}

// ------------------------------------------------------------ settings

QString CDravikDlg::Folder(const char* key) const { return Settings().value(key).toString(); }

void CDravikDlg::SetFolder(const char* key, const QString& folder) { Settings().setValue(key, folder); }

void CDravikDlg::LoadSettings()
{
    QSettings s = Settings();
    // A saved text selects the entry that is exactly it; a saved port that is
    // gone selects none.  Nothing saved keeps the first entry.
    auto select = [](QComboBox* combo, const QVariant& saved) {
        if (!saved.isValid())
            return;
        combo->setCurrentIndex(combo->findText(saved.toString(), Qt::MatchFixedString | Qt::MatchCaseSensitive));
    };
    select(m_port, s.value(kPortKey));
    select(m_baud, s.value(kBaudKey));
    // A device path the user typed (the simulated board's pseudo-terminal)
    // is no entry of the list: it comes back as typed.
    const QString port = s.value(kPortKey).toString();
    if (m_port->currentIndex() < 0 && IsDevicePath(port))
        m_port->setEditText(port);
    const QString controller = s.value(kControllerKey).toString();
    if (controller == "TRUE")
        m_velm5->setChecked(true);
    else if (controller == "FALSE")
        m_velm5Plus->setChecked(true);
    m_core.SetModel(m_velm5Plus->isChecked() ? ControllerModel::Velm5Plus : ControllerModel::Velm5);
}

void CDravikDlg::SaveSettings()
{
    QSettings s = Settings();
    s.setValue(kPortKey, m_port->currentText());
    s.setValue(kBaudKey, m_baud->currentText());
    s.setValue(kControllerKey, m_velm5->isChecked() ? "TRUE" : m_velm5Plus->isChecked() ? "FALSE" : "");
    s.sync();
}

void CDravikDlg::OnQuit()
{
    if (m_busy) {
        m_quitPending = true;
        return;
    }
    SaveSettings();
    m_core.DropLoadedImage();
    done(QDialog::Rejected);
}

// ------------------------------------------------------------ the controller

void CDravikDlg::ConnectController()
{
    m_run.SetPort(m_port->currentText(), m_baud->currentText());
    m_run.ConnectController();
}

void CDravikDlg::DisconnectController() { m_run.DisconnectController(); }

void CDravikDlg::OnConnectButton()
{
    // The button shows what it will do; clicking it toggled its check.
    const QString text = m_connect->text();
    ShowConnected(m_run.IsConnected());
    BeginBusy();
    m_run.SetPort(m_port->currentText(), m_baud->currentText());
    m_run.OnConnectButton(text);
    EndDownload();
}

void CDravikDlg::OnDetectController()
{
    BeginBusy();
    m_run.SetPort(m_port->currentText(), m_baud->currentText());
    m_run.OnDetectController();
    EndDownload();
}

void CDravikDlg::OnStoreIntoController()
{
    if (m_busy)
        return;
    BeginBusy();
    m_run.SetPort(m_port->currentText(), m_baud->currentText());
    m_run.OnStoreIntoController();
    EndDownload();
}

// ------------------------------------------------------------ .BIN files

void CDravikDlg::OnSaveToBinFile()
{
    BeginBusy();
    ShowMaxSdFileSize(QString::number(m_core.MaxSdFileSize()));
    QString folder = Folder(kBinSaveFolder);
    const QString before = folder;
    m_core.OnSaveToBinFile(folder);
    if (folder != before)
        SetFolder(kBinSaveFolder, folder);
    if (!m_core.CrcText().isEmpty())
        ShowCrc(m_core.CrcText());
    ClearImageInformation();
    EndDownload();
}

void CDravikDlg::OnLoadFromBinFile()
{
    BeginBusy();
    QString folder = Folder(kBinLoadFolder);
    const QString before = folder;
    const bool hadLoaded = m_core.LoadedImage().IsLoaded();
    const bool loaded = m_core.OnLoadFromBinFile(folder);
    if (folder != before)
        SetFolder(kBinLoadFolder, folder);
    if (loaded)
        ShowCrc(m_core.CrcText());
    else if (hadLoaded && !m_core.LoadedImage().IsLoaded())
        ClearCrcDisplay();  // the .BIN it stood for is gone
    RefreshInputs();
    ClearImageInformation();
    EndDownload();
}

// ------------------------------------------------------------ the inputs

void CDravikDlg::RefreshInputs()
{
    if (m_list->Paths() != m_core.Images())
        m_list->SetPaths(m_core.Images());
    m_macroPath->setText(m_core.MacroFile());
    m_fontPath->setText(m_core.FontListFile());
}

void CDravikDlg::ImagesChanged(const QStringList& paths, bool sort)
{
    QStringList images = paths;
    if (sort && m_sort->isChecked())
        SortImagePaths(images);
    // The loaded .BIN no longer stands for the inputs, nor does its CRC.
    if (m_core.LoadedImage().IsLoaded())
        ClearCrcDisplay();
    m_core.SetImages(images);
    if (m_list->Paths() != images)
        m_list->SetPaths(images);
    ShowSelectedImage();
}

void CDravikDlg::OnAddBmp()
{
    FileRequest request;
    request.filter = kImageFilter;
    request.folder = Folder(kBmpAddFolder);
    const QStringList chosen = m_prompter->askFiles(this, request);
    if (chosen.isEmpty())
        return;
    SetFolder(kBmpAddFolder, QFileInfo(chosen.first()).absolutePath());
    QStringList images = m_core.Images();
    for (const QString& path : chosen)
        if (IsImagePath(path))
            images.append(path);
    ImagesChanged(images, true);
}

void CDravikDlg::OnRemoveBmp()
{
    const QList<int> rows = m_list->SelectedRows();
    if (rows.isEmpty())
        return;
    QStringList images = m_list->Paths();
    for (int i = int(rows.size()) - 1; i >= 0; i--)
        images.removeAt(rows[i]);
    ImagesChanged(images, false);
    ClearImageInformation();
}

void CDravikDlg::OnLoadBmpList()
{
    FileRequest request;
    request.filter = kListFilter;
    request.folder = Folder(kBmpAddFolder);
    const QString path = askFile(request);
    if (path.isEmpty())
        return;
    SetFolder(kBmpAddFolder, QFileInfo(path).absolutePath());
    QStringList images;
    if (LoadBmpList(path, images, *this))
        ImagesChanged(images, true);
}

void CDravikDlg::OnSaveBmpList()
{
    FileRequest request;
    request.save = true;
    request.filter = kListFilter;
    request.folder = Folder(kBmpListSaveFolder);
    request.defaultSuffix = "lst";
    const QString path = askFile(request);
    if (path.isEmpty())
        return;
    SetFolder(kBmpListSaveFolder, QFileInfo(path).absolutePath());
    SaveBmpList(path, m_list->Paths(), *this);
}

void CDravikDlg::OnAddMacroFile()
{
    if (m_core.LoadedImage().IsLoaded())
        ClearCrcDisplay();
    QString folder = Folder(kBmpAddFolder);
    const QString before = folder;
    m_core.OnAddMacroFile(folder);
    if (folder != before)
        SetFolder(kBmpAddFolder, folder);
    m_macroPath->setText(m_core.MacroFile());
}

void CDravikDlg::OnAddFontList()
{
    if (m_core.LoadedImage().IsLoaded())
        ClearCrcDisplay();
    QString folder = Folder(kFontListFolder);
    const QString before = folder;
    m_core.OnAddFontList(folder);
    if (folder != before)
        SetFolder(kFontListFolder, folder);
    m_fontPath->setText(m_core.FontListFile());
}

// ------------------------------------------------------------ information panel

void CDravikDlg::ClearImageInformation()
{
    for (QLineEdit* e : {m_infoImage, m_infoSize, m_infoColors, m_infoBits, m_infoBytesPerLine, m_infoTotal,
                         m_infoCompressed})
        e->clear();
    m_notes->clear();
}

void CDravikDlg::ShowSelectedImage()
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.size() != 1) {
        ClearImageInformation();
        return;
    }
    const ImageInformation info = DescribeImage(selected.first()->data(0, Qt::UserRole).toString());
    m_infoImage->setText(info.image);
    m_infoSize->setText(info.size);
    m_infoColors->setText(info.colors);
    m_infoBits->setText(info.bitsPerPixel);
    m_infoBytesPerLine->setText(info.bytesPerLine);
    m_infoTotal->setText(info.totalBytes);
    m_infoCompressed->setText(info.compressed);
    m_notes->clear();
    m_notes->addItems(info.notes);
}
