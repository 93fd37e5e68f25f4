#include "link/portmap.h"
#include "settings/settings.h"
#include "support/pty.h"

#include "settings/ini.h"

#include <QtTest>

class PortMapTest : public QObject
{
    Q_OBJECT

private slots:
    void order();
    void numbers();
    void pinnedInSettings();
    void description();
};

void PortMapTest::order()
{
    const QStringList system = {"/dev/ttyS0",   "/dev/ttyACM1", "/dev/ttyUSB10",
                                "/dev/ttyUSB2", "/dev/ttyAMA0", "/dev/ttyACM0",
                                "/dev/ttyUSB0", "/dev/ttyS10",  "/dev/ttyS2"};
    QCOMPARE(OrderedPortPaths(system), QStringList({"/dev/ttyUSB0", "/dev/ttyUSB2", "/dev/ttyUSB10",
                                                    "/dev/ttyACM0", "/dev/ttyACM1", "/dev/ttyAMA0",
                                                    "/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10"}));
    QCOMPARE(OrderedPortPaths({}), QStringList());
}

void PortMapTest::numbers()
{
    const QStringList system = {"/dev/ttyS0", "/dev/ttyUSB1", "/dev/ttyUSB0"};
    QCOMPARE(PortPathFor(1, {}, system), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(PortPathFor(2, {}, system), QStringLiteral("/dev/ttyUSB1"));
    QCOMPARE(PortPathFor(3, {}, system), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(PortPathFor(4, {}, system), QString());
    QCOMPARE(PortPathFor(2, QStringLiteral(" /dev/pts/9 "), system), QStringLiteral("/dev/pts/9"));
    QCOMPARE(PortPathFor(0, QStringLiteral("/dev/pts/9"), system), QString());
    QCOMPARE(PortPathFor(21, {}, QStringList(30, QStringLiteral("/dev/ttyS1"))), QString());
}

void PortMapTest::pinnedInSettings()
{
    TempConfig config;
    config.write("[Ports]\r\nCOM3=/dev/ttyUSB0\r\ncom20 = /dev/serial/by-id/x\r\n");
    const QStringList system = {"/dev/ttyACM0"};
    const QMap<int, QString> pins = Settings::load(config.iniPath()).pins;
    QCOMPARE(DevicePathFor(3, pins, system), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(DevicePathFor(20, pins, system), QStringLiteral("/dev/serial/by-id/x"));
    QCOMPARE(DevicePathFor(1, pins, system), QStringLiteral("/dev/ttyACM0"));
    QCOMPARE(DevicePathFor(2, pins, system), QString());
}

void PortMapTest::description()
{
    QCOMPARE(DescribeDevice({}, {}), QStringLiteral("no device"));
    Pty pty;
    QCOMPARE(DescribeDevice(pty.slavePath(), QSerialPortInfo::availablePorts()), pty.slavePath());
}

QTEST_GUILESS_MAIN(PortMapTest)
#include "tst_portmap.moc"
