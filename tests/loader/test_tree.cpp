// The PC tree builds against Qt 6 with its serial port module.
#include <gtest/gtest.h>

#include <QSerialPortInfo>
#include <QString>

TEST(PcTree, SerialPortsCanBeListed)
{
    // Listing ports must work on a machine without any.
    const auto ports = QSerialPortInfo::availablePorts();
    for (const auto& p : ports)
        EXPECT_FALSE(p.portName().isEmpty());
}
