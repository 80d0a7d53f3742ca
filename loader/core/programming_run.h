// What Dravik does with the controller: connect and disconnect, detect the
// controller model, and "Store into VELM": erase the controller's image
// store, send the memory image in escaped lines, write its validity word
// last, compare the controller's CRC with the image's and make the image
// live.  Runs on the window's thread through one CControllerLink; the window
// keeps its controls disabled while any of it runs.
#pragma once

#include "core/controller_link.h"
#include "core/controller_model.h"
#include "core/ui.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class CDravikCore;

// The fields of the window that the run fills, besides the status line.
class ProgrammingView {
public:
    virtual ~ProgrammingView();
    virtual void ShowDownloadableSize(const QString& text) = 0;  // field 1016
    virtual void ShowMaxSdFileSize(const QString& text) = 0;     // field 1040
    virtual void ShowCrc(const QString& text) = 0;               // field 1047
    // The Connect button: "Disconnect" and checked while connected.
    virtual void ShowConnected(bool connected) = 0;
    // The target radio buttons after Detect; none checked for no answer.
    virtual void ShowModel(std::optional<ControllerModel> model) = 0;
};

class CProgrammingRun {
public:
    CProgrammingRun(UserInterface& ui, ProgrammingView& view, CDravikCore& core);

    // The port as the port list shows it and the baud list's text.
    void SetPort(const QString& portText, const QString& baudText);

    void ConnectController();
    void DisconnectController();
    // The Connect button pressed while it reads buttonText.
    void OnConnectButton(const QString& buttonText);
    // Connects and asks "*ctype"; the answer selects the model (0, 1, or 99
    // for none; -1 when no controller answered the connect).
    int OnDetectController();
    // The whole Store; true when the image is programmed and live.
    bool OnStoreIntoController();

    bool IsConnected() const { return m_connected; }
    uint32_t DownloadableSize() const { return m_downloadableSize; }
    uint32_t MaxSdFileSize() const { return m_maxSdFileSize; }
    // How long the last Store's data lines took, in milliseconds.
    qint64 DataMilliseconds() const { return m_dataMs; }
    // "0x%04X" of the image being stored, or "N/A" for VELM5.
    const QString& ExpectedCrc() const { return m_expectedCrc; }

    CControllerLink& Link() { return m_link; }

    // Milliseconds of a monotonic clock (the data transfer's duration).
    void SetClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

    // "Programmed %u byte%s in %0.1f second%s (%0.1fKB/s)" for an image of
    // size bytes whose data took ms milliseconds (at least 1).
    static QString ProgrammedText(uint32_t size, qint64 ms);
    // "Record is too large: %d byte%s > %d byte%s".
    static QString TooLargeText(uint32_t size, uint32_t downloadable);

private:
    void Status(const QString& text) { m_ui.setStatus(text); }
    // Store's steps from the erase on, with the image to send.
    bool Program(const uint8_t* image, uint32_t size, qint64& dataMs);
    void EndStore();

    UserInterface& m_ui;
    ProgrammingView& m_view;
    CDravikCore& m_core;
    CControllerLink m_link;
    QString m_portText;
    QString m_baudText;
    bool m_connected = false;
    uint32_t m_downloadableSize = 0;
    uint32_t m_maxSdFileSize = 0;
    QString m_expectedCrc;
    qint64 m_dataMs = 0;
    std::function<qint64()> m_clock;
};
