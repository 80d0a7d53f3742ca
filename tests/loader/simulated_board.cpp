#include "simulated_board.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr int kStartMs = 30000;

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
    m_process.setArguments({"--uart1", "pty", "--uart2", "none", "--http", "0", "--speed", speed, "--flash",
                            m_flash, "--eeprom", m_dir.filePath("eeprom.bin")});
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
                return;
            }
        }
        if (m_process.state() != QProcess::Running)
            break;
        m_process.waitForReadyRead(100);
    }
    m_error = "the simulated board " + program + " printed no \"uart1 /dev/pts/N\" line";
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
