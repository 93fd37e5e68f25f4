#include "link/portmap.h"

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

QString PortPathFor(int number, const QString &pinned, const QStringList &systemPaths)
{
    if (number < FirstPort || number > LastPort)
        return {};
    if (!pinned.trimmed().isEmpty())
        return pinned.trimmed();
    const QStringList ordered = OrderedPortPaths(systemPaths);
    return number <= ordered.size() ? ordered[number - 1] : QString();
}

QStringList SystemPortPaths()
{
    QStringList paths;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        paths << info.systemLocation();
    return paths;
}

QString DevicePathFor(int number, const QMap<int, QString> &pins, const QStringList &systemPaths)
{
    return PortPathFor(number, pins.value(number), systemPaths);
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
        return words.isEmpty()
                   ? path
                   : path + QStringLiteral(" \u2014 ") + words.join(QStringLiteral(", "));
    }
    return path;
}
