// Dravik's main window: the target model, the port, the image list, the
// macro file, the font list, the .BIN buttons, the information panel and the
// status fields.  Every control's objectName is its control id ("1026" for
// "Store into VELM"), so tests find them.  The work behind the buttons lives
// in loader/core (CDravikCore, CProgrammingRun); this class shows it.
#pragma once

#include "core/dravik_core.h"
#include "core/programming_run.h"
#include "core/serial_ports.h"
#include "core/ui.h"
#include "prompter.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

class CDragListCtrl;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTreeWidgetItem;

class CDravikDlg : public QDialog, public UserInterface, public ProgrammingView {
    Q_OBJECT
public:
    struct Options {
        // Boxes and file dialogs; Qt's own when none is given.
        Prompter* prompter = nullptr;
        // The ports of this machine; QSerialPortInfo's when empty.
        std::function<QList<SerialPortInfo>()> ports;
    };

    explicit CDravikDlg(QWidget* parent = nullptr) : CDravikDlg(Options(), parent) {}
    explicit CDravikDlg(const Options& options, QWidget* parent = nullptr);
    ~CDravikDlg() override;

    static const char kCaption[];

    // UserInterface: the status field, the boxes, the event pump, the files.
    void setStatus(const QString& text) override;
    Answer messageBox(const QString& text, const QString& title, Icon icon, Buttons buttons = Buttons::Ok) override;
    bool processEvents() override;
    QString askFile(const FileRequest& request) override;

    // ProgrammingView: the fields the controller link fills.
    void ShowDownloadableSize(const QString& text) override;
    void ShowMaxSdFileSize(const QString& text) override;
    void ShowCrc(const QString& text) override;
    void ShowConnected(bool connected) override;
    void ShowModel(std::optional<ControllerModel> model) override;

    // The handlers of the controls.
    void OnStoreIntoController();
    void OnQuit();
    void OnDetectController();
    void OnConnectButton();
    void ConnectController();
    void DisconnectController();
    void OnSaveToBinFile();
    void OnLoadFromBinFile();
    void OnAddBmp();
    void OnRemoveBmp();
    void OnLoadBmpList();
    void OnSaveBmpList();
    void OnAddMacroFile();
    void OnAddFontList();
    void OnAbout();

    void EnableControls(bool enable);
    void EndDownload();
    void ClearCrcDisplay();
    void LoadSettings();
    void SaveSettings();

    // True while a long operation (Store, connect, detect, a build) runs.
    bool IsBusy() const { return m_busy; }
    CDravikCore& Core() { return m_core; }
    CProgrammingRun& Run() { return m_run; }

public slots:
    // Escape and the close box: deferred while an operation runs.
    void reject() override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildWindow();
    void FillPortList();
    void BeginBusy();
    void ImagesChanged(const QStringList& paths, bool sort);
    void ShowSelectedImage();
    void ClearImageInformation();
    void RefreshInputs();
    QString Folder(const char* key) const;
    void SetFolder(const char* key, const QString& folder);

    CDravikCore m_core;
    CProgrammingRun m_run;
    std::unique_ptr<WidgetPrompter> m_ownPrompter;
    Prompter* m_prompter;
    std::function<QList<SerialPortInfo>()> m_ports;
    bool m_busy = false;
    bool m_quitPending = false;
    QString m_crcText;

    QPushButton* m_store = nullptr;       // 1026
    QPushButton* m_quit = nullptr;        // 1039
    QRadioButton* m_velm5 = nullptr;      // 1032
    QRadioButton* m_velm5Plus = nullptr;  // 1033
    QButtonGroup* m_target = nullptr;
    QPushButton* m_detect = nullptr;      // 1043
    QComboBox* m_port = nullptr;          // 1003
    QComboBox* m_baud = nullptr;          // 1004
    QPushButton* m_connect = nullptr;     // 1038
    QPushButton* m_saveBin = nullptr;     // 1035
    QPushButton* m_loadBin = nullptr;     // 1041
    QLineEdit* m_crc = nullptr;           // 1047
    QLineEdit* m_status = nullptr;        // 1015
    QLineEdit* m_downloadable = nullptr;  // 1016
    QLineEdit* m_maxSd = nullptr;         // 1040
    QPushButton* m_addBmp = nullptr;      // 1007
    QPushButton* m_removeBmp = nullptr;   // 1008
    QPushButton* m_loadList = nullptr;    // 1009
    QPushButton* m_saveList = nullptr;    // 1010
    QCheckBox* m_sort = nullptr;          // 1029
    CDragListCtrl* m_list = nullptr;      // 1018
    QPushButton* m_addMacro = nullptr;    // 1036
    QLineEdit* m_macroPath = nullptr;     // 1037
    QPushButton* m_addFonts = nullptr;    // 1042
    QLineEdit* m_fontPath = nullptr;      // 1044
    QLineEdit* m_infoImage = nullptr;     // 1019
    QLineEdit* m_infoSize = nullptr;      // 1020
    QLineEdit* m_infoColors = nullptr;    // 1021
    QLineEdit* m_infoBits = nullptr;      // 1022
    QLineEdit* m_infoBytesPerLine = nullptr;  // 1023
    QLineEdit* m_infoTotal = nullptr;     // 1024
    QLineEdit* m_infoCompressed = nullptr;    // 1027
    QListWidget* m_notes = nullptr;       // 1028
};
