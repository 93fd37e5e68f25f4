#include "link/portmap.h"
#include "settings/settings.h"
#include "support/pty.h"

#include "link/serialport.h"
#include "settings/ini.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtTest>

class PortMapTest : public QObject
{
    Q_OBJECT

private slots:
    void order();
    void numbers_data();
    void numbers();
    void pinnedInSettings();
    void description();
    void refusedOpenNamesTheGroup();
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

void PortMapTest::numbers_data()
{
    // Pins, the devices there now (with the real device each stands for, after
    // a colon), and COM1..COM5 as "path" or "path*" for pinned, "!" after a
    // pinned path that is missing.
    QTest::addColumn<QStringList>("pins");
    QTest::addColumn<QStringList>("there");
    QTest::addColumn<QStringList>("ports");
    QTest::newRow("system order, no pins")
        << QStringList() << QStringList{"/dev/ttyS0", "/dev/ttyUSB1", "/dev/ttyUSB0"}
        << QStringList{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyS0", "", ""};
    QTest::newRow("a pin takes its number, the rest fill the free ones")
        << QStringList{"2=/dev/serial/by-id/ftdi-A"}
        << QStringList{"/dev/ttyS0", "/dev/ttyUSB1", "/dev/ttyUSB0",
                       "/dev/serial/by-id/ftdi-A:/dev/ttyUSB1"}
        << QStringList{"/dev/ttyUSB0", "/dev/serial/by-id/ftdi-A*", "/dev/ttyS0", "", ""};
    QTest::newRow("the pinned adapter on another socket keeps its number")
        << QStringList{"2=/dev/serial/by-id/ftdi-A"}
        << QStringList{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1",
                       "/dev/serial/by-id/ftdi-A:/dev/ttyUSB0"}
        << QStringList{"/dev/ttyUSB1", "/dev/serial/by-id/ftdi-A*", "/dev/ttyS0", "", ""};
    QTest::newRow("an absent pinned device keeps its number, nothing moves in")
        << QStringList{"1=/dev/serial/by-id/ftdi-A"} << QStringList{"/dev/ttyS0", "/dev/ttyUSB0"}
        << QStringList{"/dev/serial/by-id/ftdi-A*!", "/dev/ttyUSB0", "/dev/ttyS0", "", ""};
    QTest::newRow("a pinned pseudo-terminal the system never lists")
        << QStringList{"4=/dev/pts/9"} << QStringList{"/dev/ttyS0", "/dev/pts/9"}
        << QStringList{"/dev/ttyS0", "", "", "/dev/pts/9*", ""};
    QTest::newRow("two pins, one device each; blanks and foreign numbers ignored")
        << QStringList{"1= /dev/a ", "3=/dev/b", "5=", "0=/dev/c", "21=/dev/d"}
        << QStringList{"/dev/ttyUSB0", "/dev/a", "/dev/b"}
        << QStringList{"/dev/a*", "/dev/ttyUSB0", "/dev/b*", "", ""};
}

void PortMapTest::numbers()
{
    QFETCH(QStringList, pins);
    QFETCH(QStringList, there);
    QFETCH(QStringList, ports);
    QMap<int, QString> pinMap;
    for (const QString &pin : pins)
        pinMap.insert(pin.section(u'=', 0, 0).toInt(), pin.section(u'=', 1));
    QMap<QString, QString> real;
    QStringList system;
    for (const QString &device : there) {
        real.insert(device.section(u':', 0, 0), device.section(u':', -1));
        if (device.startsWith(QLatin1String("/dev/tty")))
            system << device;
    }
    const PortTable table = NumberPorts(
        pinMap, system, [&](const QString &path) { return real.value(path.trimmed()); });
    QStringList got;
    for (int i = 0; i < 5; ++i) {
        const PortEntry &e = table[std::size_t(i)];
        got << e.path + (e.pinned ? "*" : "") + (e.path.isEmpty() || e.present ? "" : "!");
    }
    QCOMPARE(got, ports);
    for (std::size_t i = 5; i < table.size(); ++i)
        QCOMPARE(table[i].path, QString());
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
    QCOMPARE(DevicePathFor(21, pins, system), QString());
}

void PortMapTest::description()
{
    QCOMPARE(DescribeDevice({}, {}), QStringLiteral("no device"));
    Pty pty;
    QCOMPARE(DescribeDevice(pty.slavePath(), QSerialPortInfo::availablePorts()), pty.slavePath());
}

void PortMapTest::refusedOpenNamesTheGroup()
{
    const group *dialout = ::getgrnam("dialout");
    if (::geteuid() != 0 || !dialout)
        QSKIP("needs root, to drop to another user, and a dialout group");
    Pty pty;
    const QByteArray device = QFile::encodeName(pty.slavePath());
    QVERIFY(::chown(device.constData(), 0, dialout->gr_gid) == 0);
    QVERIFY(::chmod(device.constData(), 0660) == 0);
    int pipeFds[2];
    QVERIFY(::pipe(pipeFds) == 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // As a user outside the group, the way a new user meets the port.
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        SerialPort port;
        port.setDevicePath(pty.slavePath());
        const QByteArray why =
            port.setPortOpen(true) ? QByteArray("opened") : port.openError().toUtf8();
        [[maybe_unused]] auto n = ::write(pipeFds[1], why.constData(), size_t(why.size()));
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    QByteArray why;
    char buf[512];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0)
        why.append(buf, n);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    QCOMPARE(WEXITSTATUS(status), 0);
    QVERIFY2(why.contains("\"dialout\" group") && why.contains("sudo usermod -aG dialout $USER"),
             why.constData());
}

QTEST_GUILESS_MAIN(PortMapTest)
#include "tst_portmap.moc"
