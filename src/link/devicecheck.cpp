#include "link/devicecheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <ctime>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SerialPort", text);
}

} // namespace

QMap<QString, QString> DeviceHolders(const QStringList &paths, const std::atomic_bool *cancel)
{
    QMap<QString, QString> realToPath;
    for (const QString &path : paths) {
        const QString real = QFileInfo(path).canonicalFilePath();
        if (!real.isEmpty())
            realToPath.insert(real, path);
    }
    QMap<QString, QString> holders;
    if (realToPath.isEmpty())
        return holders;
    const QString self = QString::number(::getpid());
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (cancel && *cancel)
            break;
        if (pid == self || !pid.front().isDigit())
            continue;
        QStringList held;
        QStringList farEndOf; // pseudo-terminals whose other side it holds
        const QString fdFolder = QStringLiteral("/proc/%1/fd/").arg(pid);
        for (const QString &fd : QDir(fdFolder).entryList(QDir::System | QDir::NoDotAndDotDot)) {
            if (cancel && *cancel)
                break;
            // The link's own text: a device that went away reads
            // "/dev/pts/5 (deleted)" and is not the device of that name now.
            char buf[256];
            const ssize_t n =
                ::readlink(QFile::encodeName(fdFolder + fd).constData(), buf, sizeof buf - 1);
            if (n <= 0)
                continue;
            const QString target = QString::fromLocal8Bit(buf, n);
            if (realToPath.contains(target)) {
                held << target;
            } else if (target == QLatin1String("/dev/ptmx")) {
                QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid, fd));
                const QByteArray text =
                    info.open(QIODevice::ReadOnly) ? info.readAll() : QByteArray();
                const qsizetype at = text.indexOf("tty-index:\t");
                if (at >= 0)
                    farEndOf << QStringLiteral("/dev/pts/") +
                                    QString::fromLatin1(text.mid(at + 11).split('\n').first());
            }
        }
        // The far end of a pseudo-terminal holds its other side too; it is
        // the line's partner, not a program competing for it.
        for (const QString &real : held) {
            if (farEndOf.contains(real) || holders.contains(realToPath[real]))
                continue;
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            const QString name = comm.open(QIODevice::ReadOnly)
                                     ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                     : tr("another program");
            holders.insert(realToPath[real], QStringLiteral("%1 (pid %2)").arg(name, pid));
        }
    }
    return holders;
}

QString DeviceHolder(const QString &path, const std::atomic_bool *cancel)
{
    return DeviceHolders({path}, cancel).value(path);
}

QString PermissionAdvice(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return tr("Permission denied for %1.").arg(path);
    const group *g = ::getgrgid(st.st_gid);
    if (!g)
        return tr("Permission denied for %1.").arg(path);
    const QString groupName = QString::fromLocal8Bit(g->gr_name);
    const gid_t deviceGroup = st.st_gid;

    // Whether this login carries the group, and whether the user is listed
    // in it (the listing takes effect at the next login).
    std::vector<gid_t> current(std::size_t(::getgroups(0, nullptr)) + 1);
    const int n = ::getgroups(int(current.size()), current.data());
    bool inLogin = ::getegid() == deviceGroup;
    for (int i = 0; i < n; ++i)
        inLogin = inLogin || current[std::size_t(i)] == deviceGroup;
    bool listed = false;
    if (const passwd *user = ::getpwuid(::geteuid())) {
        listed = user->pw_gid == deviceGroup;
        for (char **member = g->gr_mem; member && *member; ++member)
            listed = listed || QByteArray(*member) == user->pw_name;
    }
    if (listed && !inLogin)
        return tr("Permission denied for %1. You are in the \"%2\" group now, but this login "
                  "is not yet: log out and in again.")
            .arg(path, groupName);
    return tr("Permission denied for %1, which belongs to the \"%2\" group. Add yourself to it "
              "(sudo usermod -aG %2 $USER) and log out and in again.")
        .arg(path, groupName);
}

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
