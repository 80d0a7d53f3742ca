#include "core/programming_run.h"

#include "core/dravik_core.h"
#include "core/serial_ports.h"

#include <QElapsedTimer>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

const char kExternalMemory[] = "External Memory";

const char* Plural(double n) { return n == 1 ? "" : "s"; }

}  // namespace

ProgrammingView::~ProgrammingView() = default;

CProgrammingRun::CProgrammingRun(UserInterface& ui, ProgrammingView& view, CDravikCore& core)
    : m_ui(ui), m_view(view), m_core(core), m_link(ui)
{
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    m_clock = [started] { return started->elapsed(); };
}

void CProgrammingRun::SetPort(const QString& portText, const QString& baudText)
{
    m_portText = portText;
    m_baudText = baudText;
}

QString CProgrammingRun::ProgrammedText(uint32_t size, qint64 ms)
{
    const double seconds = double(std::max<qint64>(ms, 1)) / 1000.0;
    const double rate = size / seconds / 1000.0;
    return QString::asprintf("Programmed %u byte%s in %0.1f second%s (%0.1fKB/s)", size, Plural(size), seconds,
                             Plural(seconds), rate);
}

QString CProgrammingRun::TooLargeText(uint32_t size, uint32_t downloadable)
{
    return QString::asprintf("Record is too large: %u byte%s > %u byte%s", size, Plural(size), downloadable,
                             Plural(downloadable));
}

void CProgrammingRun::ConnectController()
{
    if (m_connected)
        return;
    const QString settings = QString("baud=%1 parity=N data=8 stop=1").arg(m_baudText);
    if (!m_link.Open(SerialDevicePath(m_portText), settings, &m_ui)) {
        Status("Error Connecting");
        m_view.ShowDownloadableSize(" ");
        m_view.ShowMaxSdFileSize(" ");
    } else {
        Status("Connecting");
        m_view.ShowDownloadableSize("Checking...");
        if (m_link.SyncToPrompt() == 2) {
            const bool known = m_link.QueryMemoryInfo() == 0;
            m_downloadableSize = known ? m_link.DownloadableSize() : 0;
            m_maxSdFileSize = known ? m_link.MaxSdFileSize() : 0;
            Status("Connected");
            m_view.ShowDownloadableSize(QString::number(m_downloadableSize));
            m_view.ShowMaxSdFileSize(QString::number(m_maxSdFileSize));
            m_connected = true;
        } else {
            m_ui.messageBox("No Valid VELM5 device found", "Failed to Connect", UserInterface::Icon::Error);
            Status("Error Connecting");
            m_view.ShowDownloadableSize(" ");
            // A port without a controller is not kept open.
            m_link.Close();
        }
    }
    m_view.ShowConnected(m_connected);
}

void CProgrammingRun::DisconnectController()
{
    Status("Disconnecting");
    m_link.Close();
    m_connected = false;
    Status("Disconnected");
    m_view.ShowDownloadableSize("?");
    m_view.ShowMaxSdFileSize("?");
    m_view.ShowConnected(false);
}

void CProgrammingRun::OnConnectButton(const QString& buttonText)
{
    if (buttonText == "Connect") {
        ConnectController();
        if (!m_connected)
            DisconnectController();
    } else {
        DisconnectController();
    }
}

int CProgrammingRun::OnDetectController()
{
    ConnectController();
    if (!m_connected)
        return -1;
    const int type = m_link.QueryControllerType();
    if (type == 0 || type == 1) {
        const ControllerModel model = type == 1 ? ControllerModel::Velm5Plus : ControllerModel::Velm5;
        m_core.SetModel(model);
        m_view.ShowModel(model);
    } else {
        m_core.SetModel(ControllerModel::Velm5);
        m_view.ShowModel(std::nullopt);
        m_ui.messageBox("Unknown controller", "Direct IO", UserInterface::Icon::Error);
    }
    return type;
}

void CProgrammingRun::EndStore()
{
    m_link.Close();
    m_connected = false;
    m_view.ShowConnected(false);
}

bool CProgrammingRun::Program(const uint8_t* image, uint32_t size, qint64& dataMs)
{
    // Each step runs only when the one before it succeeded.
    Status("Erasing...");
    if (!m_link.EraseImageArea(&m_ui, size)) {
        m_ui.messageBox("Erase failed!", kExternalMemory, UserInterface::Icon::Error);
        return false;
    }
    Status("Sending data...");
    const qint64 start = m_clock();
    if (!m_link.SendImageData(image + 2, size - 2, &m_ui, &m_ui)) {
        m_ui.messageBox("Programming failed!", kExternalMemory, UserInterface::Icon::Error);
        return false;
    }
    dataMs = m_dataMs = std::max<qint64>(1, m_clock() - start);
    if (!m_link.ProgramValidityWord(&m_ui)) {
        m_ui.messageBox("Validity Word Programming failed!", kExternalMemory, UserInterface::Icon::Error);
        return false;
    }
    if (m_core.Model() == ControllerModel::Velm5Plus) {
        // A mismatch is reported; the image is still loaded.
        const QString crc = m_link.ReadExternalCrc();
        if (crc != m_expectedCrc)
            m_ui.messageBox(QString("CRC value check failed!\nExpected: %1, got %2").arg(m_expectedCrc, crc),
                            kExternalMemory, UserInterface::Icon::Error);
    }
    return true;
}

bool CProgrammingRun::OnStoreIntoController()
{
    ConnectController();
    if (!m_connected) {
        EndStore();
        return false;
    }
    const bool plus = m_core.Model() == ControllerModel::Velm5Plus;
    const int type = m_link.QueryControllerType();
    if ((type == 0 && plus) || (type == 1 && !plus)) {
        m_ui.messageBox("Wrong Controller Type selected (VELM5 vs VELM5 Plus)", "Controller Type",
                        UserInterface::Icon::Error);
        EndStore();
        Status(type == 1 ? "Store stopped: the controller is a VELM5 Plus, not a VELM5"
                         : "Store stopped: the controller is a VELM5, not a VELM5 Plus");
        return false;
    }

    // A loaded .BIN is sent as it is; otherwise the inputs are built now.
    std::optional<std::vector<uint8_t>> built;
    const uint8_t* image = nullptr;
    uint32_t size = 0;
    if (m_core.LoadedImage().IsLoaded()) {
        image = m_core.LoadedImage().Image().data();
        size = uint32_t(m_core.LoadedImage().Image().size());
        m_expectedCrc = m_core.LoadedImage().CrcText();
    } else {
        built = m_core.BuildMemoryImage();
        if (!built) {  // the build's status says why
            EndStore();
            return false;
        }
        image = built->data();
        size = uint32_t(built->size());
        m_expectedCrc = m_core.CrcText();
        m_view.ShowCrc(m_expectedCrc);
    }

    bool failed = false;
    qint64 dataMs = 1;
    if (size > m_downloadableSize) {
        m_ui.messageBox(TooLargeText(size, m_downloadableSize), "Record", UserInterface::Icon::Error);
        failed = true;
    } else {
        failed = !Program(image, size, dataMs);
    }
    built.reset();

    QString text = "Programming.";
    Status(text);
    bool prompt = false;
    for (int i = 0; i < 5 && !prompt; i++) {
        prompt = m_link.SyncToPrompt() == 2;
        if (!prompt)
            Status(text += ".");
    }
    if (!prompt) {
        // The controller went quiet: try the port afresh (with its own
        // boxes), and stop there, the image not made live.
        m_link.Close();
        m_connected = false;
        ConnectController();
        EndStore();
        Status(failed ? "Error during programming."
                      : "Store stopped: the controller did not return to its prompt; the image was not loaded");
        return false;
    }
    if (!failed && !m_link.StartLoad(&m_ui)) {
        m_ui.messageBox("*LOAD failed!", kExternalMemory, UserInterface::Icon::Error);
        failed = true;
    }
    if (!failed) {
        Status(ProgrammedText(size, dataMs));
        // The controller's console goes back to the port it used before.
        if (!m_link.SendCommand("*prevCons"))
            m_ui.messageBox("'Control Port' set failed!", kExternalMemory, UserInterface::Icon::Error);
    } else {
        Status("Error during programming.");
    }
    EndStore();
    return !failed;
}
