#include "link/lockfile.h"
#include "link/deviceholder.h"
#include "link/texts.h"

#include <QCoreApplication>
#include <QDir>
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

namespace lumavera {

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

QString realDevice(const QString &path)
{
    const QString real = QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? QFileInfo(path).absoluteFilePath() : real;
}

// The conventional name, ours: "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3"
// for /dev/pts/3.
QString lockName(const QString &path)
{
    const QString device = realDevice(path);
    QString name =
        device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : QFileInfo(device).fileName();
    name.replace(u'/', u'_');
    return QStringLiteral("LCK..") + name;
}

// A name another program may have locked the device under; `shared` when
// another device may go by it too (a link's name, a last component), so
// that its lock counts only where its program is not seen to hold another.
struct LockName
{
    QString name;
    bool shared = false;
};

QString wholePathName(QString path)
{
    return QStringLiteral("LCK..") + path.replace(u'/', u'_');
}

// Every name another program may have locked the device under: ours; the
// last component of the path it was given and of the device, as cu names
// it ("LCK..led" for a link /tmp/led, "LCK..3" for /dev/pts/3); every
// /dev/serial link to it, as minicom names what it was given; and the whole
// path with '/' as '_', as ser2net names it ("LCK.._dev_ttyUSB0").
QList<LockName> lockNames(const QString &path)
{
    QList<LockName> names{{lockName(path), false}};
    const auto add = [&names](const QString &name, bool shared) {
        for (const LockName &known : std::as_const(names))
            if (known.name == name)
                return;
        names.push_back({name, shared});
    };
    const QString device = realDevice(path);
    for (const QString &whole : {device, QFileInfo(path).absoluteFilePath()})
        add(wholePathName(whole), false);
    add(QStringLiteral("LCK..") + QFileInfo(path).fileName(), true);
    add(QStringLiteral("LCK..") + QFileInfo(device).fileName(), true);
    for (const char *folder : {"/dev/serial/by-id", "/dev/serial/by-path"}) {
        const QDir links(QString::fromLatin1(folder));
        for (const QFileInfo &link : links.entryInfoList(QDir::System | QDir::Files)) {
            if (link.isSymLink() && link.canonicalFilePath() == device) {
                add(QStringLiteral("LCK..") + link.fileName(), true);
                add(wholePathName(link.absoluteFilePath()), false);
            }
        }
    }
    return names;
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

OpenResult refusalOf(const QString &path, const QString &lock, bool shared = false)
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
    // A live pid is believed where its program is seen to have the device
    // open; a pid that was reused, or a program whose files this user
    // cannot see, leaves the lock file itself to be named.
    const std::optional<bool> holds = ProcessHolds(pid, path);
    if (holds == true)
        return {OpenFault::Held, LinkTexts::tr("%1 is in use by %2.").arg(path, ProcessLabel(pid))};
    if (holds == false && shared)
        return {}; // another device's, of the same name
    if (holds == false)
        return {OpenFault::Locked,
                LinkTexts::tr("%1 is locked by %2, which names %3, a program that does not have "
                              "it open.")
                    .arg(path, lock, ProcessLabel(pid))};
    return {
        OpenFault::Locked,
        LinkTexts::tr("%1 is locked by %2, which names %3.").arg(path, lock, ProcessLabel(pid))};
}

OpenResult takeLockFile(const QString &path, const QString &lock, HeldLockFile *held)
{
    const QByteArray native = QFile::encodeName(lock);
    // A stale lock file of ours (a crash) names a program that is gone:
    // looked at without following it, and removed only as the regular file
    // it was seen to be. Another user's stays where the folder keeps it.
    struct stat seen
    {
    };
    if (::lstat(native.constData(), &seen) == 0 && S_ISREG(seen.st_mode) &&
        seen.st_uid == ::geteuid() && refusalOf(path, lock).ok())
        ::unlink(native.constData());
    // O_EXCL makes it ours alone and never follows a link planted there.
    const int fd = ::open(native.constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        // Someone took the name meanwhile: theirs, as it says. A folder
        // this user may not write to is no fault: flock and the terminal's
        // exclusive mode still keep the line ours.
        if (errno == EEXIST)
            if (const OpenResult refusal = refusalOf(path, lock); !refusal)
                return refusal;
        return {};
    }
    // The pid as ten characters and a newline, the form UUCP and its
    // successors read.
    const QByteArray text = QByteArray::number(::getpid()).rightJustified(10, ' ') + '\n';
    struct stat made
    {
    };
    const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size() &&
                         ::fstat(fd, &made) == 0;
    ::close(fd);
    if (!written) {
        ::unlink(native.constData());
        return {};
    }
    *held = {lock, made.st_dev, made.st_ino};
    return {};
}

} // namespace

OpenResult LockFileRefusal(const QString &path)
{
    const QList<LockName> names = lockNames(path);
    for (const QString &folder : lockFolders()) {
        for (const LockName &name : names) {
            if (const OpenResult refusal = refusalOf(path, folder + u'/' + name.name, name.shared);
                !refusal)
                return refusal;
        }
    }
    return {};
}

OpenResult TakeLockFiles(const QString &path, QList<HeldLockFile> *held)
{
    held->clear();
    const QStringList folders = lockFolders();
    if (folders.isEmpty())
        return {};
    // Not under a name another device may go by: two links of one name in
    // two folders (a bench's "led" beside another's) would keep each other
    // out.
    for (const LockName &name : lockNames(path)) {
        if (name.shared)
            continue;
        HeldLockFile one;
        if (const OpenResult taken = takeLockFile(path, folders.first() + u'/' + name.name, &one);
            !taken) {
            ReleaseLockFiles(*held);
            return taken;
        }
        if (!one.path.isEmpty())
            *held << one;
    }
    return {};
}

void ReleaseLockFiles(QList<HeldLockFile> &held)
{
    // Only the very files this program made: never one put in their place.
    for (const HeldLockFile &one : std::as_const(held)) {
        const QByteArray native = QFile::encodeName(one.path);
        struct stat now
        {
        };
        if (::lstat(native.constData(), &now) == 0 && now.st_dev == one.device &&
            now.st_ino == one.inode)
            ::unlink(native.constData());
    }
    held.clear();
}

} // namespace lumavera
