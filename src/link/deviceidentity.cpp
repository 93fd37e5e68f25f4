#include "link/deviceidentity.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <ctime>
#include <sys/stat.h>

namespace lumavera {

qint64 WallClockNs()
{
    // File times come from the coarse clock: a finer one can run a tick
    // ahead of a file made just after it.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

QString DeviceSerialNumber(const QString &path)
{
    const QString real = QFileInfo(path).canonicalFilePath();
    if (real.isEmpty())
        return {};
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (info.systemLocation() == real)
            return info.serialNumber();
    }
    return {};
}

bool CameBack(const QString &path, qint64 lostAtNs, const QString &serialNumber)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat own
    {
    };
    struct stat target
    {
    };
    if (::lstat(name.constData(), &own) != 0 || ::stat(name.constData(), &target) != 0)
        return false;
    // A pseudo-terminal's number goes to whichever program asks for one
    // next: the same number again is some other program's line, never the
    // device back. A link made anew to one (a virtual module's) is.
    if (!S_ISLNK(own.st_mode) && name.startsWith("/dev/pts/"))
        return false;
    const qint64 madeNs = qint64(own.st_ctim.tv_sec) * 1000000000 + own.st_ctim.tv_nsec;
    if (madeNs < lostAtNs)
        return false;
    return serialNumber.isEmpty() || DeviceSerialNumber(path) == serialNumber;
}

QString NameStamp(const QString &path)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return path + QStringLiteral(" -\n");
    return QStringLiteral("%1 %2.%3\n").arg(path).arg(st.st_ctim.tv_sec).arg(st.st_ctim.tv_nsec);
}

} // namespace lumavera
