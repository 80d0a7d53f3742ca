// Dravik's side of the controller's serial command language: one serial
// port, command lines out, reply lines in with a short read time-out, the way
// back to the command prompt, and one routine with its own rounds and result
// for each command that programming needs ("vers", "*ctype", "xma", "xmc",
// "xmpmax", "xmp", "*CEXT", "*LOAD").
//
// Every routine runs on the caller's thread and lets pending window events
// run (UserInterface::processEvents) while it waits; the caller keeps the
// user from starting a second operation meanwhile.  Boxes appear only where
// an owner is passed; status texts only where a status line is passed.
#pragma once

#include "core/ui.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

class QSerialPort;

class CControllerLink {
public:
    // What the controller answers, and the routines' bounds.
    static constexpr int kReplyCapacity = 1024;
    static constexpr int kReadTimeoutMs = 50;  // a read returns what is there, or nothing after this
    static constexpr int kMaxChunk = 256;      // the most data bytes a line may carry

    explicit CControllerLink(UserInterface& ui);
    virtual ~CControllerLink();
    CControllerLink(const CControllerLink&) = delete;
    CControllerLink& operator=(const CControllerLink&) = delete;

    // --- line primitives ---

    // Closes any open port and opens devicePath (as SerialDevicePath builds
    // it) exclusively, with settings such as "baud=115200 parity=N data=8
    // stop=1".  Failures are shown in a box when an owner is given.
    bool Open(const QString& devicePath, const QString& settings, UserInterface* owner);
    void Close();
    bool IsOpen() const;

    // Writes the bytes and one CR; true when all of them left.  False with a
    // closed port.
    bool SendCommand(const char* text, int length = -1);
    bool SendCommand(const QByteArray& text) { return SendCommand(text.constData(), text.size()); }

    // Reads up to a CR (not stored), a read that brings nothing within the
    // read time-out, or capacity - 1 characters; LF bytes are dropped.  The
    // buffer is always NUL-terminated; returns the characters stored.
    int ReadLine(char* buffer, int capacity);

    // Waits 250 ms, then reads lines until one comes back empty (at most a
    // couple of seconds of a controller that keeps talking).
    void DrainInput();

    // --- command routines ---

    // 2: a controller of this family answers at its prompt; 0: no prompt;
    // 3: a prompt, but "vers" names another family.
    int SyncToPrompt();
    // 0 VELM5 (also a controller that does not know "*ctype"), 1 VELM5 Plus,
    // 99 no answer that names a type.
    int QueryControllerType();
    // 0 when "xma" gave at least two numbers, else -1.
    int QueryMemoryInfo();
    // Each asks "xma" afresh; 0 when that fails.
    uint32_t GetDownloadableSize();
    uint32_t GetMaxSdFileSize();

    // Erases the blocks that an image of size bytes covers, stopping at the
    // first block the controller refuses; the controller's progress reports
    // go to status.  A debug owner sees every reply in a box.
    bool EraseImageArea(UserInterface* status, uint32_t size, UserInterface* debug = nullptr);
    // Sends length image bytes (the image from offset 2) as escaped lines.
    bool SendImageData(const uint8_t* data, uint32_t length, UserInterface* status, UserInterface* owner);
    // Writes the image's validity word at offset 0, last.
    bool ProgramValidityWord(UserInterface* owner);
    // The controller's CRC of the stored image ("0x%04X"), "???" without a prompt.
    QString ReadExternalCrc();
    // "*LOAD": the stored image is made the live one.
    bool StartLoad(UserInterface* status);

    // How long "*LOAD" may take before it counts as failed.
    void SetLoadBound(int ms) { m_loadBoundMs = ms; }

    // The last reply line, and the numbers of the last "xma" answer.
    const char* Reply() const { return m_reply; }
    uint32_t DownloadableSize() const { return m_downloadableSize; }
    uint32_t EraseBlockSize() const { return m_eraseBlockSize; }
    uint32_t MaxSdFileSize() const { return m_maxSdFileSize; }

    // A data line's text: blanks introduce escapes for the bytes the
    // controller's line reader would take as control characters.
    static QByteArray EscapeData(const uint8_t* data, uint32_t length);
    // Splits "baud=%s parity=N data=8 stop=1"; false when it does not parse.
    struct PortSettings {
        int baud = 0;
        char parity = 'N';
        int dataBits = 8;
        int stopBits = 1;  // 1, 2, or 3 for one and a half
    };
    static bool ParseSettings(const QString& settings, PortSettings& out);

private:
    int ReadReply() { return ReadLine(m_reply, kReplyCapacity); }
    bool ReplyStarts(const char* prefix) const;
    bool ReadByte(char& c);
    void Wait(int ms);
    void Pump() { m_ui.processEvents(); }
    // Reads the rest of a command's answer, up to its prompt line (">" or
    // "!"), so that a stale prompt is not taken for the next command's.
    void SkipToPrompt();
    // Reads up to 100 lines until "p>" (true) or ">" (false); other
    // non-empty lines are shown to owner as bad programming responses.
    bool AwaitDataPrompt(UserInterface* owner);

    UserInterface& m_ui;
    std::unique_ptr<QSerialPort> m_port;
    char m_reply[kReplyCapacity] = {};
    uint32_t m_downloadableSize = 0;
    uint32_t m_eraseBlockSize = 0;
    uint32_t m_maxSdFileSize = 0;
    int m_loadBoundMs;
};
