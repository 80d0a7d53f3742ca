#include "core/serial_ports.h"

#include <QSerialPortInfo>

QList<SerialPortInfo> EnumerateSerialPorts()
{
    QList<SerialPortInfo> ports;
    for (const QSerialPortInfo& p : QSerialPortInfo::availablePorts()) {
        SerialPortInfo info;
        info.devicePath = p.systemLocation();
        info.portName = p.portName();
        info.isUsb = p.hasVendorIdentifier();
        info.description = p.description().trimmed();
        info.friendlyName = info.description.isEmpty() ? QString("(%1)").arg(info.portName)
                                                       : QString("%1 (%2)").arg(info.description, info.portName);
        ports.append(info);
    }
    return ports;
}

QStringList PortListNames(const QList<SerialPortInfo>& ports)
{
    QStringList names;
    for (const SerialPortInfo& p : ports) {
        const int open = p.friendlyName.lastIndexOf('(');
        const int close = p.friendlyName.indexOf(')', open);
        if (open < 0 || close < 0)
            continue;
        const QString name = p.friendlyName.mid(open + 1, close - open - 1).trimmed();
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    return names.isEmpty() ? FallbackPortNames() : names;
}

QStringList FallbackPortNames()
{
#ifdef Q_OS_WIN
    return {"COM1", "COM2"};
#else
    return {"ttyS0", "ttyS1"};
#endif
}

bool IsDevicePath(const QString& portText)
{
#ifdef Q_OS_WIN
    return portText.trimmed().startsWith("\\\\.\\");
#else
    return portText.trimmed().startsWith('/');
#endif
}

QString SerialDevicePath(const QString& portText)
{
    const QString text = portText.trimmed();
    if (IsDevicePath(text))
        return text;
#ifdef Q_OS_WIN
    return "\\\\.\\" + text;
#else
    return "/dev/" + text;
#endif
}
