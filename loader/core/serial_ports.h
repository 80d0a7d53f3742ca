// The serial ports of this machine, as the port list shows them, and the
// device path a port name stands for.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct SerialPortInfo {
    QString devicePath;    // what the link opens, e.g. /dev/ttyUSB0 or \\.\COM3
    QString portName;      // what the port list shows, e.g. ttyUSB0 or COM3
    QString friendlyName;  // e.g. "FT232R USB UART (ttyUSB0)"
    bool isUsb = false;
    QString description;   // the friendly name without its " (port name)"
};

// The ports the system reports (Qt's serial port information).
QList<SerialPortInfo> EnumerateSerialPorts();

// The entries of the port list: each port whose friendly name holds its port
// name in parentheses gives that name; a machine without any gets the first
// two ports' usual names, so the list is never empty.
QStringList PortListNames(const QList<SerialPortInfo>& ports);
QStringList FallbackPortNames();

// The device path of a port list text: a path typed in (/dev/pts/5, \\.\COM3)
// as it is, a port name under the system's device folder.
QString SerialDevicePath(const QString& portText);
// True for a device path typed in rather than a port name of the list.
bool IsDevicePath(const QString& portText);
