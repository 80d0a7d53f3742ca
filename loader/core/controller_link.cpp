#include "core/controller_link.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kSyncRounds = 12;
constexpr int kTypeRounds = 20;
constexpr int kCrcRounds = 20;
constexpr int kMemoryInfoReads = 101;
constexpr int kPromptReads = 100;
constexpr int kEraseReads = 1200;
constexpr int kAnswerEndReads = 20;
constexpr int kShortWaitMs = 10;
constexpr int kDrainWaitMs = 250;
// A controller that keeps talking is left alone after this much.
constexpr int kDrainBoundMs = 2000;
constexpr int kChunkSizeWaitMs = 2000;
constexpr int kCrcRetryMs = 1000;
// Loading an image of the whole store takes the controller about a second.
constexpr int kLoadBoundMs = 30000;
constexpr int kWriteBoundMs = 10000;
constexpr int kOlderChunk = 64;  // a controller that does not know "xmpmax"

constexpr uint16_t kKeyPlus = 0xFEEC;
constexpr uint16_t kKeyVelm5 = 0xFEEB;

const char kProgramming[] = "Programming";

void Box(UserInterface* owner, const QString& text, const QString& title)
{
    if (owner)
        owner->messageBox(text, title, UserInterface::Icon::Error);
}

// Strictly a decimal number of at most 32 bits, as the controller prints it.
bool ParseCount(const char*& p, uint32_t& value)
{
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p < '0' || *p > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(p, &end, 10);
    if (errno || v > 0xFFFFFFFFull)
        return false;
    p = end;
    value = uint32_t(v);
    return true;
}

}  // namespace

CControllerLink::CControllerLink(UserInterface& ui) : m_ui(ui), m_loadBoundMs(kLoadBoundMs) {}

CControllerLink::~CControllerLink() { Close(); }

// ------------------------------------------------------------ line primitives

bool CControllerLink::ParseSettings(const QString& settings, PortSettings& out)
{
    PortSettings s;
    bool haveBaud = false;
    for (const QString& item : settings.split(' ', Qt::SkipEmptyParts)) {
        const int eq = item.indexOf('=');
        if (eq <= 0)
            return false;
        const QString key = item.left(eq).toLower();
        const QString value = item.mid(eq + 1);
        bool ok = false;
        if (key == "baud") {
            s.baud = value.toInt(&ok);
            if (!ok || s.baud <= 0)
                return false;
            haveBaud = true;
        } else if (key == "parity") {
            const QString p = value.toUpper();
            if (p.size() != 1 || !QString("NEOMS").contains(p))
                return false;
            s.parity = p[0].toLatin1();
        } else if (key == "data") {
            s.dataBits = value.toInt(&ok);
            if (!ok || s.dataBits < 5 || s.dataBits > 8)
                return false;
        } else if (key == "stop") {
            if (value == "1")
                s.stopBits = 1;
            else if (value == "1.5")
                s.stopBits = 3;
            else if (value == "2")
                s.stopBits = 2;
            else
                return false;
        } else {
            return false;
        }
    }
    if (!haveBaud)
        return false;
    out = s;
    return true;
}

bool CControllerLink::Open(const QString& devicePath, const QString& settings, UserInterface* owner)
{
    Close();
    PortSettings s;
    const bool parsed = ParseSettings(settings, s);

    auto port = std::make_unique<QSerialPort>();
    port->setPortName(devicePath);
    if (!port->open(QIODevice::ReadWrite)) {
        Box(owner,
            QString("Could not open '%1'\n%2\n(Port may be in use by another program)")
                .arg(devicePath, port->errorString()),
            "CreateFile");
        return false;
    }
    if (!parsed) {
        Box(owner, QString("Could not create Serial Port DCB '%1'").arg(settings), "BuildCommDCB");
        port->close();
        return false;
    }
    const QSerialPort::Parity parity = s.parity == 'E'   ? QSerialPort::EvenParity
                                       : s.parity == 'O' ? QSerialPort::OddParity
                                       : s.parity == 'M' ? QSerialPort::MarkParity
                                       : s.parity == 'S' ? QSerialPort::SpaceParity
                                                         : QSerialPort::NoParity;
    const QSerialPort::StopBits stop = s.stopBits == 2   ? QSerialPort::TwoStop
                                       : s.stopBits == 3 ? QSerialPort::OneAndHalfStop
                                                         : QSerialPort::OneStop;
    const bool applied = port->setBaudRate(s.baud) && port->setParity(parity) &&
                         port->setDataBits(QSerialPort::DataBits(s.dataBits)) && port->setStopBits(stop) &&
                         port->setFlowControl(QSerialPort::NoFlowControl);
    if (!applied) {
        Box(owner, QString("Could not set Serial Port settings '%1'").arg(settings), "SetCommState");
        port->close();
        return false;
    }
    port->clear();
    m_port = std::move(port);
    return true;
}

void CControllerLink::Close()
{
    if (m_port) {
        m_port->close();
        m_port.reset();
    }
}

bool CControllerLink::IsOpen() const { return m_port && m_port->isOpen(); }

bool CControllerLink::SendCommand(const char* text, int length)
{
    if (!IsOpen())
        return false;
    QByteArray line(text, length < 0 ? int(std::strlen(text)) : length);
    line.append('\r');
    if (m_port->write(line) != line.size())
        return false;
    QElapsedTimer t;
    t.start();
    while (m_port->bytesToWrite() > 0) {
        if (!m_port->waitForBytesWritten(int(std::max<qint64>(1, kWriteBoundMs - t.elapsed()))) ||
            t.elapsed() >= kWriteBoundMs)
            return m_port->bytesToWrite() == 0;
    }
    return true;
}

bool CControllerLink::ReadByte(char& c)
{
    if (!IsOpen())
        return false;
    if (m_port->bytesAvailable() == 0 && !m_port->waitForReadyRead(kReadTimeoutMs))
        return false;
    return m_port->getChar(&c);
}

int CControllerLink::ReadLine(char* buffer, int capacity)
{
    if (!buffer || capacity <= 0)
        return 0;
    int n = 0;
    buffer[0] = 0;
    char c = 0;
    while (n < capacity - 1 && ReadByte(c)) {
        if (c == '\r')
            break;
        if (c == '\n')
            continue;
        buffer[n++] = c;
    }
    buffer[n] = 0;
    return n;
}

void CControllerLink::Wait(int ms)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        Pump();
        const qint64 left = ms - t.elapsed();
        if (left <= 0)
            return;
        QThread::msleep(unsigned(std::min<qint64>(left, 5)));
    }
}

void CControllerLink::DrainInput()
{
    Wait(kDrainWaitMs);
    QElapsedTimer t;
    t.start();
    char line[kReplyCapacity];
    while (ReadLine(line, kReplyCapacity) > 0 && t.elapsed() < kDrainBoundMs) {
    }
}

bool CControllerLink::ReplyStarts(const char* prefix) const
{
    return std::strncmp(m_reply, prefix, std::strlen(prefix)) == 0;
}

// ------------------------------------------------------------ command routines

void CControllerLink::SkipToPrompt()
{
    char line[kReplyCapacity];
    for (int read = 0; read < kAnswerEndReads; read++) {
        ReadLine(line, kReplyCapacity);
        if (line[0] == '>' || line[0] == '!')
            return;
    }
}

int CControllerLink::SyncToPrompt()
{
    m_reply[0] = 0;
    if (!IsOpen())
        return 0;
    bool prompt = false;
    for (int round = 0; round < kSyncRounds && !prompt; round++) {
        SendCommand("", 0);
        Wait(kShortWaitMs);
        ReadReply();
        if (ReplyStarts("p>")) {
            // Left inside a data transfer: end it.
            SendCommand(" Q");
            Wait(kShortWaitMs);
        } else if (ReplyStarts(">")) {
            prompt = true;
        } else {
            DrainInput();
            Wait(kDrainWaitMs);
        }
    }
    if (!prompt)
        return 0;
    DrainInput();
    int result = 3;
    for (int round = 0; round < kSyncRounds; round++) {
        SendCommand("vers\n");
        Wait(kShortWaitMs);
        ReadReply();
        if (ReplyStarts("VELM5")) {
            result = 2;
            break;
        }
        DrainInput();
    }
    DrainInput();
    return result;
}

int CControllerLink::QueryControllerType()
{
    if (SyncToPrompt() != 2)
        return 99;
    SendCommand("*ctype");
    ReadReply();
    for (int round = 0; round < kTypeRounds; round++) {
        if (ReplyStarts("p>")) {
            SendCommand(" Q");
            ReadReply();
            SyncToPrompt();
        } else if (m_reply[0] == '!') {
            return 0;  // an older controller does not know the command
        } else if (m_reply[0] == '0' || m_reply[0] == '1') {
            const int type = m_reply[0] - '0';
            SkipToPrompt();
            return type;
        }
        SendCommand("*ctype");
        ReadReply();
    }
    return 99;
}

int CControllerLink::QueryMemoryInfo()
{
    if (SyncToPrompt() != 2)
        return -1;
    SendCommand("xma");
    for (int read = 0; read < kMemoryInfoReads; read++)
        if (ReadReply() > 0)
            break;
    uint32_t numbers[3] = {};
    int got = 0;
    const char* p = m_reply;
    while (got < 3 && ParseCount(p, numbers[got]))
        got++;
    // The erase works in blocks of this size: none cannot be right.
    if (got < 2 || numbers[1] == 0)
        return -1;
    SkipToPrompt();
    m_downloadableSize = numbers[0];
    m_eraseBlockSize = numbers[1];
    m_maxSdFileSize = got == 3 ? numbers[2] : numbers[0];
    return 0;
}

uint32_t CControllerLink::GetDownloadableSize() { return QueryMemoryInfo() == 0 ? m_downloadableSize : 0; }

uint32_t CControllerLink::GetMaxSdFileSize() { return QueryMemoryInfo() == 0 ? m_maxSdFileSize : 0; }

bool CControllerLink::EraseImageArea(UserInterface* status, uint32_t size, UserInterface* debug)
{
    if (SyncToPrompt() != 2 || QueryMemoryInfo() != 0)
        return false;
    const int type = QueryControllerType();
    if (type != 0 && type != 1)
        return false;
    // The controller's own answer decides the key, not the model selected.
    const uint16_t key = type == 1 ? kKeyPlus : kKeyVelm5;
    if (size > m_downloadableSize)
        return false;
    // The blocks the image covers, and not one more: a block past the store
    // is refused.
    const uint32_t blocks = uint32_t((uint64_t(size) + m_eraseBlockSize - 1) / m_eraseBlockSize);
    bool erased = true;
    for (uint32_t block = 0; block < blocks && erased; block++) {
        SendCommand(QString::asprintf("xmc 0x%4X %u", key, block).toLatin1());
        m_reply[0] = 0;  // each block waits for its own answer
        for (int round = 0; round < kEraseReads; round++) {
            Pump();
            ReadReply();
            if (m_reply[0] == ':' && status)
                status->setStatus(QString::fromLatin1(m_reply + 1));
            if (debug && m_reply[0])
                debug->messageBox(QString::asprintf("%d: '%s'", round, m_reply), "Erase?",
                                  UserInterface::Icon::None);
            if (m_reply[0] == '>' || m_reply[0] == '!')
                break;
        }
        erased = m_reply[0] == '>';
    }
    DrainInput();
    return erased;
}

QByteArray CControllerLink::EscapeData(const uint8_t* data, uint32_t length)
{
    QByteArray line;
    line.reserve(int(length) * 2);
    for (uint32_t i = 0; i < length; i++) {
        const uint8_t b = data[i];
        char escape = 0;
        switch (b) {
        case 0x00: escape = '0'; break;
        case 0x08: escape = 'B'; break;
        case 0x0A: escape = 'N'; break;
        case 0x0D: escape = 'R'; break;
        case 0x11: escape = 'X'; break;
        case 0x13: escape = 'Y'; break;
        case 0x1B: escape = '['; break;
        case 0x20: escape = ' '; break;
        default: break;
        }
        if (escape)
            line.append(' ').append(escape);
        else
            line.append(char(b));
    }
    return line;
}

bool CControllerLink::AwaitDataPrompt(UserInterface* owner)
{
    for (int read = 0; read < kPromptReads; read++) {
        ReadReply();
        if (ReplyStarts("p>"))
            return true;
        if (ReplyStarts(">"))
            return false;
        if (m_reply[0])
            Box(owner, QString::asprintf("Bad programming response: '%s'", m_reply), kProgramming);
    }
    return false;
}

bool CControllerLink::SendImageData(const uint8_t* data, uint32_t length, UserInterface* status,
                                    UserInterface* owner)
{
    if (SyncToPrompt() != 2) {
        Box(owner, "Device not responding", kProgramming);
        return false;
    }
    SendCommand("xmpmax");
    uint32_t chunk = 0;
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < kChunkSizeWaitMs) {
        Pump();
        if (ReadReply() == 0)
            continue;
        const char* p = m_reply;
        uint32_t n = 0;
        if (ParseCount(p, n)) {
            chunk = n;
            SkipToPrompt();
        } else if (m_reply[0] == '!')
            chunk = kOlderChunk;
        break;
    }
    // The flash takes whole words: every line carries an even count.
    if (chunk > uint32_t(kMaxChunk))
        chunk = 0;
    chunk &= ~1u;
    if (chunk == 0) {
        Box(owner, "Device not responding", kProgramming);
        return false;
    }

    // The image from offset 2; the validity word at 0 is written last.
    SendCommand("xmp 0x0 0x2 0");
    QElapsedTimer elapsed;
    elapsed.start();
    uint32_t remaining = length;
    uint32_t lastKb = 0;
    bool complete = false;
    for (;;) {
        Pump();
        if (!AwaitDataPrompt(owner)) {
            // Also before the first line: a controller that never asks for
            // data is not waited for without end.
            Box(owner, "Device stopped programming unexpectedly!", "Programming Timed Out");
            break;
        }
        if (remaining == 0) {
            complete = true;
            break;
        }
        const uint32_t n = std::min(chunk, remaining);
        SendCommand(EscapeData(data + (length - remaining), n));
        remaining -= n;
        const uint32_t sent = length - remaining;
        if (status && (sent / 1024 != lastKb || remaining == 0)) {
            lastKb = sent / 1024;
            const qint64 seconds = std::max<qint64>(1, elapsed.elapsed() / 1000);
            status->setStatus(QString::asprintf("Sending data %u/%u (%.1f%%: %uB/s)...", sent, length,
                                                sent * 100.0 / length, unsigned(sent / seconds)));
        }
    }
    SendCommand(" Q");
    SendCommand(" Q");
    DrainInput();
    return complete;
}

bool CControllerLink::ProgramValidityWord(UserInterface* owner)
{
    if (SyncToPrompt() != 2) {
        Box(owner, "Device not responding", kProgramming);
        return false;
    }
    const uint16_t word = QueryControllerType() != 0 ? kKeyPlus : kKeyVelm5;
    SendCommand("xmp 0x0 0x0 0");
    bool written = false;
    if (AwaitDataPrompt(owner)) {
        const char bytes[2] = {char(word & 0xFF), char(word >> 8)};  // neither needs an escape
        SendCommand(bytes, 2);
        written = AwaitDataPrompt(owner);
    }
    if (!written) {
        Box(owner, "Device stopped programming unexpectedly!", "Programming Timed Out");
        SendCommand(" Q");
        DrainInput();
        return false;
    }
    // The end of the transfer validates the store: a store the controller
    // does not take is answered with an error and "!".
    SendCommand(" Q");
    bool accepted = false;
    for (int read = 0; read < kPromptReads; read++) {
        ReadReply();
        if (m_reply[0] == '>' || m_reply[0] == '!') {
            accepted = m_reply[0] == '>';
            break;
        }
    }
    DrainInput();
    return accepted;
}

QString CControllerLink::ReadExternalCrc()
{
    if (SyncToPrompt() != 2)
        return "???";
    SendCommand("*CEXT");
    ReadReply();
    for (int round = 0; round < kCrcRounds && !(m_reply[0] == '0' && m_reply[1] == 'x'); round++) {
        if (ReplyStarts("p>")) {
            SendCommand(" Q");
            ReadReply();
            SyncToPrompt();
        } else {
            Wait(kCrcRetryMs);
            // A controller that takes longer than a read over a large store
            // has answered meanwhile: asking again would leave an answer
            // behind for the next command to read as its own.
            if (ReadReply() > 0)
                continue;
        }
        SendCommand("*CEXT");
        ReadReply();
    }
    const QString crc = QString::fromLatin1(m_reply);
    if (crc.startsWith("0x"))
        SkipToPrompt();
    return crc;
}

bool CControllerLink::StartLoad(UserInterface* status)
{
    DrainInput();
    if (!SendCommand("*LOAD"))
        return false;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < m_loadBoundMs) {
        Pump();
        if (ReadReply() == 0)
            continue;
        if (status)
            status->setStatus(QString::fromLatin1(m_reply));
        if (m_reply[0] == '!')
            return false;
        if (m_reply[0] == '>')
            return true;
    }
    return false;
}
