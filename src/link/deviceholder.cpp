#include "link/deviceholder.h"
#include "link/texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

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
            holders.insert(realToPath[real], ProcessLabel(pid.toInt()));
        }
    }
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
