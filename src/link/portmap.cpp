#include "link/portmap.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

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
    return QFileInfo(path).canonicalFilePath();
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

QStringList SystemPortPaths()
{
    QStringList paths;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        paths << info.systemLocation();
    for (const QFileInfo &link : stableNames()) {
        const QString real = link.canonicalFilePath();
        if (!real.isEmpty() && !paths.contains(real))
            paths << real;
    }
    return paths;
}

QString DescribeDevice(const QString &path, const QList<QSerialPortInfo> &ports)
{
    if (path.isEmpty())
        return QStringLiteral("no device");
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
        return words.isEmpty()
                   ? path
                   : path + QStringLiteral(" \u2014 ") + words.join(QStringLiteral(", "));
    }
    return path;
}
