#include "simulated_board.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int kStartMs = 30000;
// Start-up takes a few virtual seconds; where 32-bit programs run through
// user-mode emulation, much longer in host time.
constexpr int kFirstPromptMs = 120000;

}  // namespace

QString SimulatedBoard::Program()
{
    const QByteArray chosen = qgetenv("VELM_SIMULATOR");
    return chosen.isEmpty() ? QString(VELM_SIMULATOR) : QString::fromLocal8Bit(chosen);
}

SimulatedBoard::SimulatedBoard(const QString& speed)
{
    const QString program = Program();
    if (!QFileInfo(program).isExecutable()) {
        m_error = "the simulated board " + program +
                  " is missing: build the host tree first (cmake --preset host && cmake --build --preset host)"
                  " or name the simulator in VELM_SIMULATOR";
        return;
    }
    if (!m_dir.isValid()) {
        m_error = "no temporary folder for the board's flash and EEPROM";
        return;
    }
    m_flash = m_dir.filePath("flash.bin");
    m_process.setProgram(program);
    // What the program needs before the simulator's options (arm-board: the
    // image), '|' between them.
    QStringList arguments = QString(VELM_SIMULATOR_ARGS).split('|', Qt::SkipEmptyParts);
    arguments << QStringList{"--uart1", "pty", "--uart2", "none", "--http", "0", "--speed", speed, "--flash",
                             m_flash, "--eeprom", m_dir.filePath("eeprom.bin")};
    m_process.setArguments(arguments);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(kStartMs)) {
        m_error = "the simulated board " + program + " did not start: " + m_process.errorString();
        return;
    }
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < kStartMs) {
        while (m_process.canReadLine()) {
            const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
            if (line.startsWith("uart1 ")) {
                m_uart1 = line.mid(6).trimmed();
                WaitForFirstPrompt();
                return;
            }
        }
        if (m_process.state() != QProcess::Running)
            break;
        m_process.waitForReadyRead(100);
    }
    m_error = "the simulated board " + program + " printed no \"uart1 /dev/pts/N\" line";
}

// As a user does after power-on: waits until the controller has sent its
// start-up prompt (">" and CR) on the command port.
void SimulatedBoard::WaitForFirstPrompt()
{
    const int fd = ::open(m_uart1.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        m_error = "cannot open the board's command port " + m_uart1;
        return;
    }
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (!got.contains(">\r") && t.elapsed() < kFirstPromptMs && m_process.state() == QProcess::Running) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char buf[256];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                got.append(buf, static_cast<int>(n));
        }
    }
    ::close(fd);
    if (!got.contains(">\r"))
        m_error = "the simulated board sent no start-up prompt on " + m_uart1 + " (it sent \"" +
                  QString::fromLatin1(got.toPercentEncoding(" ")) + "\")";
}

SimulatedBoard::~SimulatedBoard() { Stop(); }

void SimulatedBoard::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QByteArray SimulatedBoard::StopAndReadFlash(qint64 offset, qint64 length)
{
    Stop();
    QFile f(m_flash);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(offset))
        return QByteArray();
    return f.read(length);
}
