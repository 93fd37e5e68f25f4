#include "link/deviceholder.h"
#include "link/texts.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace lumavera {

namespace {

// Reads directory entries from an open folder, calling `each` with every name
// but "." and ".."; the folder is closed after.
template <typename Each> void forEachEntry(int folder, Each each)
{
    DIR *dir = ::fdopendir(folder);
    if (!dir) {
        ::close(folder);
        return;
    }
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        if (!each(entry->d_name))
            break;
    }
    ::closedir(dir);
}

} // namespace

QMap<QString, QString> DeviceHolders(const QStringList &paths, const std::atomic_bool *cancel)
{
    QMap<QByteArray, QString> realToPath;
    for (const QString &path : paths) {
        const QString real = QFileInfo(path).canonicalFilePath();
        if (!real.isEmpty())
            realToPath.insert(QFile::encodeName(real), path);
    }
    QMap<QString, QString> holders;
    if (realToPath.isEmpty())
        return holders;
    // Plain system calls relative to open folders: with a thousand processes
    // on the machine, this look is what a write-only step waits for.
    const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0)
        return holders;
    const pid_t self = ::getpid();
    forEachEntry(::dup(proc), [&](const char *pidName) {
        if (cancel && *cancel)
            return false;
        if (pidName[0] < '0' || pidName[0] > '9' || std::atoi(pidName) == self)
            return true;
        const QByteArray fdPath = QByteArray(pidName) + "/fd";
        const int fds = ::openat(proc, fdPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fds < 0)
            return true; // gone, or another user's
        QList<QByteArray> held;
        QList<QByteArray> farEndOf; // pseudo-terminals whose other side it holds
        forEachEntry(::dup(fds), [&](const char *fd) {
            if (cancel && *cancel)
                return false;
            // The link's own text: a device that went away reads
            // "/dev/pts/5 (deleted)" and is not the device of that name now.
            char buf[256];
            const ssize_t n = ::readlinkat(fds, fd, buf, sizeof buf - 1);
            if (n <= 0)
                return true;
            const QByteArray target(buf, n);
            if (realToPath.contains(target)) {
                held << target;
            } else if (target == "/dev/ptmx") {
                QFile info(QStringLiteral("/proc/%1/fdinfo/%2")
                               .arg(QLatin1String(pidName), QLatin1String(fd)));
                const QByteArray text =
                    info.open(QIODevice::ReadOnly) ? info.readAll() : QByteArray();
                const qsizetype at = text.indexOf("tty-index:\t");
                if (at >= 0)
                    farEndOf << "/dev/pts/" + text.mid(at + 11).split('\n').first();
            }
            return true;
        });
        ::close(fds);
        // The far end of a pseudo-terminal holds its other side too; it is
        // the line's partner, not a program competing for it.
        for (const QByteArray &real : held) {
            if (farEndOf.contains(real) || holders.contains(realToPath[real]))
                continue;
            holders.insert(realToPath[real], ProcessLabel(std::atoi(pidName)));
        }
        return true;
    });
    ::close(proc);
    return holders;
}

QString ProcessLabel(int pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name = comm.open(QIODevice::ReadOnly)
                             ? QString::fromLocal8Bit(comm.read(64)).trimmed()
                             : LinkTexts::tr("another program");
    return QStringLiteral("%1 (pid %2)").arg(name).arg(pid);
}

QString DeviceHolder(const QString &path, const std::atomic_bool *cancel)
{
    return DeviceHolders({path}, cancel).value(path);
}

} // namespace lumavera
