// The simulated board as a child process (the host tree's reference build,
// or in the emu tree arm-board with the reference build's image), with its
// own flash and EEPROM files: its command port is a pseudo-terminal that
// Dravik's link opens like a serial port.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class SimulatedBoard {
public:
    // The simulator program: $VELM_SIMULATOR when set, else the tree's own
    // (VELM_SIMULATOR at build time).
    static QString Program();

    // Starts the board ("max" or "realtime"); Error() says why it did not.
    explicit SimulatedBoard(const QString& speed = "max");
    ~SimulatedBoard();
    SimulatedBoard(const SimulatedBoard&) = delete;
    SimulatedBoard& operator=(const SimulatedBoard&) = delete;

    bool Ok() const { return m_error.isEmpty(); }
    const QString& Error() const { return m_error; }
    // The command port (UART1), e.g. /dev/pts/5.
    const QString& Uart1() const { return m_uart1; }
    const QString& FlashPath() const { return m_flash; }

    // Ends the board and returns length bytes of its flash file from offset.
    QByteArray StopAndReadFlash(qint64 offset, qint64 length);
    void Stop();

private:
    void WaitForFirstPrompt();

    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_uart1;
    QString m_flash;
    QString m_error;
};
