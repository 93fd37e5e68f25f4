#include "link/portmap.h"

#include "link/deviceholder.h"
#include "link/networkport.h"
#include "link/texts.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace lumavera {

namespace {

int group(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    if (name.startsWith(QLatin1String("ttyUSB")))
        return 0;
    if (name.startsWith(QLatin1String("ttyACM")))
        return 1;
    return 2;
}

// "ttyUSB2" before "ttyUSB10": runs of digits compare as numbers.
bool naturalLess(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ie = i;
            qsizetype je = j;
            while (ie < a.size() && a[ie].isDigit())
                ++ie;
            while (je < b.size() && b[je].isDigit())
                ++je;
            const QString na = a.mid(i, ie - i);
            const QString nb = b.mid(j, je - j);
            const qulonglong va = na.toULongLong();
            const qulonglong vb = nb.toULongLong();
            if (va != vb)
                return va < vb;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

} // namespace

QStringList OrderedPortPaths(QStringList paths)
{
    std::stable_sort(paths.begin(), paths.end(), [](const QString &a, const QString &b) {
        if (group(a) != group(b))
            return group(a) < group(b);
        return naturalLess(a, b);
    });
    return paths;
}

QString RealPathOnDisk(const QString &path)
{
    // A line another machine serves is there as far as can be told without
    // connecting to it.
    return IsNetworkPort(path) ? path : QFileInfo(path).canonicalFilePath();
}

PortTable NumberPorts(const QMap<int, QString> &pins, const QStringList &systemPaths,
                      const RealPathOf &realPath)
{
    PortTable table;
    QStringList pinnedDevices;
    for (auto it = pins.begin(); it != pins.end(); ++it) {
        const QString path = it.value().trimmed();
        if (it.key() < FirstPort || it.key() > LastPort || path.isEmpty())
            continue;
        PortEntry &e = table[std::size_t(it.key() - 1)];
        e.path = path;
        e.pinned = true;
        const QString real = realPath(path);
        e.present = !real.isEmpty();
        if (e.present)
            pinnedDevices << real;
    }
    // What no pin stands for takes the free numbers, in the system's order.
    std::size_t next = 0;
    for (const QString &path : OrderedPortPaths(systemPaths)) {
        const QString real = realPath(path);
        if (pinnedDevices.contains(real.isEmpty() ? path : real))
            continue;
        while (next < table.size() && table[next].pinned)
            ++next;
        if (next >= table.size())
            break;
        table[next].path = path;
        table[next].present = true;
        ++next;
    }
    return table;
}

QString DevicePathFor(int number, const QMap<int, QString> &pins, const QStringList &systemPaths)
{
    if (number < FirstPort || number > LastPort)
        return {};
    return NumberPorts(pins, systemPaths)[std::size_t(number - 1)].path;
}

QString StableNamesFolder()
{
    const QString folder = qEnvironmentVariable("LUMAVERA_SERIAL_BY_ID");
    return folder.isEmpty() ? QStringLiteral("/dev/serial/by-id") : folder;
}

namespace {

QFileInfoList stableNames()
{
    return QDir(StableNamesFolder())
        .entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

QString StableNameFor(const QString &path)
{
    const QString real = RealPathOnDisk(path);
    if (real.isEmpty())
        return {};
    for (const QFileInfo &link : stableNames()) {
        if (link.isSymLink() && link.canonicalFilePath() == real)
            return link.absoluteFilePath();
    }
    return {};
}

namespace {

QStringList systemPaths(const QList<QSerialPortInfo> &ports)
{
    QStringList paths;
    for (const QSerialPortInfo &info : ports)
        paths << info.systemLocation();
    for (const QFileInfo &link : stableNames()) {
        const QString real = link.canonicalFilePath();
        if (!real.isEmpty() && !paths.contains(real))
            paths << real;
    }
    return paths;
}

} // namespace

QStringList SystemPortPaths()
{
    return systemPaths(QSerialPortInfo::availablePorts());
}

QString DescribeDevice(const QString &path, const QList<QSerialPortInfo> &ports)
{
    if (path.isEmpty())
        return QStringLiteral("no device");
    const QString details = DeviceDetails(path, ports);
    return details.isEmpty() ? path : path + QStringLiteral(" \u2014 ") + details;
}

QString DeviceDetails(const QString &path, const QList<QSerialPortInfo> &ports)
{
    if (path.isEmpty())
        return {};
    const QString target = QFileInfo(path).canonicalFilePath();
    for (const QSerialPortInfo &info : ports) {
        const bool same =
            info.systemLocation() == path ||
            (!target.isEmpty() && QFileInfo(info.systemLocation()).canonicalFilePath() == target);
        if (!same)
            continue;
        QStringList words;
        if (!info.description().isEmpty())
            words << info.description();
        if (!info.manufacturer().isEmpty())
            words << info.manufacturer();
        if (!info.serialNumber().isEmpty())
            words << QStringLiteral("serial %1").arg(info.serialNumber());
        return words.join(QStringLiteral(", "));
    }
    return {};
}

ResolvedPort ResolvePort(const QString &name, int defaultNumber, const QMap<int, QString> &pins)
{
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    ResolvedPort port;
    const QRegularExpressionMatch m = com.match(name);
    // A device path needs no look at the pins or the system.
    if (!name.isEmpty() && !m.hasMatch()) {
        port.path = name;
        return port;
    }
    port.number = name.isEmpty() ? defaultNumber : m.captured(1).toInt();
    if (port.number < FirstPort || port.number > LastPort || m.captured(1).size() > 2) {
        port.fault = PortFault::BadName;
        port.reason = LinkTexts::tr("There is no %1; the ports are COM1..COM20.").arg(name);
        return port;
    }
    // A pinned number is its pin, whatever the system lists.
    const PortEntry entry = NumberPorts(
        pins, pins.contains(port.number) ? QStringList()
                                         : SystemPortPaths())[std::size_t(port.number - 1)];
    port.path = entry.path;
    port.pinned = entry.pinned;
    if (entry.path.isEmpty()) {
        port.fault = PortFault::Unassigned;
        port.reason = LinkTexts::tr("No device is assigned to COM%1.").arg(port.number);
    } else if (entry.pinned && !entry.present) {
        port.fault = PortFault::Missing;
        port.reason =
            LinkTexts::tr("COM%1 is %2, which is not plugged in.").arg(port.number).arg(entry.path);
    }
    return port;
}

PortListing ListPorts(const QMap<int, QString> &pins, bool withHolders)
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    const PortTable table = NumberPorts(pins, systemPaths(ports));
    QStringList present;
    for (const PortEntry &e : table) {
        if (e.present)
            present << e.path;
    }
    const QMap<QString, QString> holders =
        withHolders ? DeviceHolders(present) : QMap<QString, QString>();
    PortListing listing;
    for (std::size_t i = 0; i < table.size(); ++i) {
        listing[i].entry = table[i];
        listing[i].details = DeviceDetails(table[i].path, ports);
        listing[i].holder = holders.value(table[i].path);
    }
    return listing;
}

QString PortSummary(const PortInfo &port, const QString &own)
{
    const PortEntry &e = port.entry;
    QString text = e.path.isEmpty()         ? QStringLiteral("no device")
                   : port.details.isEmpty() ? e.path
                                            : e.path + QStringLiteral(" \u2014 ") + port.details;
    if (e.pinned && !e.present)
        text += LinkTexts::tr(" \u2014 missing");
    else if (!port.holder.isEmpty() && e.path != own)
        text += LinkTexts::tr(" \u2014 in use by %1").arg(port.holder);
    return text;
}

} // namespace lumavera
