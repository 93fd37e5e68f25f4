#include "link/lockfile.h"
#include "link/deviceholder.h"
#include "link/texts.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList lockFolders()
{
    if (const QString folder = qEnvironmentVariable("LUMAVERA_LOCK_DIR"); !folder.isEmpty())
        return {folder};
    // /var/lock is a link to /run/lock on current systems; both are looked
    // at where they are two folders.
    QStringList folders;
    for (const QString &folder : {QStringLiteral("/run/lock"), QStringLiteral("/var/lock")}) {
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (!real.isEmpty() && !folders.contains(real))
            folders << real;
    }
    return folders;
}

// "ttyUSB0" for /dev/ttyUSB0, "pts_3" for /dev/pts/3.
QString lockName(const QString &path)
{
    const QString real = QFileInfo(path).canonicalFilePath();
    const QString device = real.isEmpty() ? QFileInfo(path).absoluteFilePath() : real;
    QString name =
        device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : QFileInfo(device).fileName();
    name.replace(u'/', u'_');
    return QStringLiteral("LCK..") + name;
}

QString userName(uid_t uid)
{
    if (const passwd *user = ::getpwuid(uid))
        return QString::fromLocal8Bit(user->pw_name);
    return QString::number(uid);
}

// The process a lock file's few bytes name: ASCII digits on its first line
// (the usual form, and Qt's) or a binary int (the oldest one); 0 when neither.
pid_t pidIn(const QByteArray &bytes)
{
    bool ok = false;
    const int ascii = bytes.split('\n').first().trimmed().toInt(&ok);
    if (ok)
        return ascii;
    if (bytes.size() == int(sizeof(int))) {
        int binary = 0;
        std::memcpy(&binary, bytes.constData(), sizeof binary);
        return binary;
    }
    return 0;
}

OpenResult refusalOf(const QString &path, const QString &lock)
{
    const QByteArray native = QFile::encodeName(lock);
    struct stat named
    {
    };
    if (::lstat(native.constData(), &named) != 0)
        return {}; // none there, or a folder this user cannot look into
    const OpenResult byFile{OpenFault::Locked,
                            LinkTexts::tr("%1 is locked by a file of user %2: %3")
                                .arg(path, userName(named.st_uid), lock)};
    if (!S_ISREG(named.st_mode))
        return byFile; // a link, a FIFO, a device: not a lock file
    const int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return byFile;
    struct stat opened
    {
    };
    char bytes[64];
    ssize_t n = -1;
    // The file read is the one looked at, not one swapped in meanwhile.
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_dev == named.st_dev &&
        opened.st_ino == named.st_ino)
        n = ::read(fd, bytes, sizeof bytes);
    ::close(fd);
    if (n < 0)
        return byFile;
    const pid_t pid = pidIn(QByteArray(bytes, int(n)));
    if (pid <= 0 || (::kill(pid, 0) != 0 && errno == ESRCH))
        return {}; // stale: its program is gone
    if (pid == ::getpid())
        return {OpenFault::Held, LinkTexts::tr("%1 is in use by another program.").arg(path)};
    return {OpenFault::Held, LinkTexts::tr("%1 is in use by %2.").arg(path, ProcessLabel(pid))};
}

} // namespace

OpenResult LockFileRefusal(const QString &path)
{
    const QString name = lockName(path);
    for (const QString &folder : lockFolders()) {
        if (const OpenResult refusal = refusalOf(path, folder + u'/' + name); !refusal)
            return refusal;
    }
    return {};
}
