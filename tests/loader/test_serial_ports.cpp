// The port list: the names in the ports' friendly names, a fallback for a
// machine without ports, and the device path of what the user typed.
#include "core/serial_ports.h"

#include <gtest/gtest.h>

TEST(SerialPorts, ListsTheNameInEachFriendlyName)
{
    auto port = [](const char* friendly) {
        SerialPortInfo p;
        p.friendlyName = friendly;
        return p;
    };
    EXPECT_EQ(PortListNames({port("USB Serial Port (COM3)"), port("Communications Port (COM1)")}),
              (QStringList{"COM3", "COM1"}));
    EXPECT_EQ(PortListNames({port("FT232R USB UART (ttyUSB0)"), port("(ttyS0)")}),
              (QStringList{"ttyUSB0", "ttyS0"}));
    EXPECT_EQ(PortListNames({port("no name in parentheses")}), FallbackPortNames())
        << "a port without a name leaves the list empty";
    EXPECT_EQ(PortListNames({}), FallbackPortNames());
    EXPECT_EQ(FallbackPortNames().size(), 2);
}

TEST(SerialPorts, TakesATypedDevicePathAsItIs)
{
#ifndef Q_OS_WIN
    const struct {
        const char* typed;
        const char* path;
    } cases[] = {
        {"/dev/pts/5", "/dev/pts/5"},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {" /dev/pts/12 ", "/dev/pts/12"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SerialDevicePath(c.typed).toStdString(), c.path) << "typed " << c.typed;
#endif
    for (const SerialPortInfo& p : EnumerateSerialPorts()) {
        EXPECT_FALSE(p.devicePath.isEmpty());
        EXPECT_TRUE(p.friendlyName.endsWith("(" + p.portName + ")")) << p.friendlyName.toStdString();
        EXPECT_EQ(PortListNames({p}), QStringList{p.portName});
    }
}
