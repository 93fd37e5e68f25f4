#include "settings/inifile.h"

#include "settings/profile.h"
#include "settings/texts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumavera {

namespace {

QString reasonFor(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return SettingsTexts::tr("the disk is full");
    case EROFS:
        return SettingsTexts::tr("the file system is read-only");
    case EACCES:
    case EPERM:
        return SettingsTexts::tr("the folder or the file is read-only for you");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

WriteResult failed(const QString &reason)
{
    return {FileFault::Failed, reason};
}

WriteResult refused(const QString &reason)
{
    return {FileFault::Refused, reason};
}

WriteResult strangersLink(const QString &path)
{
    return refused(SettingsTexts::tr("%1 is a link that another user made in a shared folder; it "
                                     "is not written through")
                       .arg(path));
}

// A file descriptor closed on every way out.
class Fd
{
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }
    // Closes now, with the result checked: a delayed write error shows here.
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Whether a link may be written through: the kernel's rule for links in
// folders that others can write to and that keep their files apart (sticky,
// as /tmp): only a link of this user's own, or of the folder's owner. A link
// planted there by someone else must not steer this user's write.
bool trustedLink(const QString &link)
{
    struct stat own
    {
    };
    struct stat folder
    {
    };
    if (::lstat(QFile::encodeName(link).constData(), &own) != 0 ||
        ::stat(QFile::encodeName(QFileInfo(link).absolutePath()).constData(), &folder) != 0)
        return false;
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return !shared || own.st_uid == ::geteuid() || own.st_uid == folder.st_uid;
}

// The file a settings path stands for: a symbolic link, even one whose
// target does not exist yet, is written through to its target. Empty when a
// link on the way is one this user must not follow.
QString resolved(const QString &path)
{
    QString current = path;
    for (int hops = 0; hops < 16; ++hops) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return current;
        if (!trustedLink(current))
            return {};
        QString target = info.symLinkTarget();
        if (target.isEmpty())
            return current;
        current = target;
    }
    return current;
}

IniText decoded(const QByteArray &raw)
{
    IniText text;
    text.exists = true;
    const auto convert = [&](QStringConverter::Encoding from, IniText::Encoding as) {
        QStringDecoder decode(from, QStringConverter::Flag::Stateless);
        text.content = QString(decode(QByteArrayView(raw).sliced(2))).toUtf8();
        text.encoding = as;
    };
    if (raw.startsWith("\xFF\xFE"))
        convert(QStringConverter::Utf16LE, IniText::Encoding::Utf16Le);
    else if (raw.startsWith("\xFE\xFF"))
        convert(QStringConverter::Utf16BE, IniText::Encoding::Utf16Be);
    else
        text.content = raw;
    return text;
}

QByteArray encoded(const QByteArray &content, IniText::Encoding encoding)
{
    if (encoding == IniText::Encoding::Bytes)
        return content;
    const bool le = encoding == IniText::Encoding::Utf16Le;
    QStringEncoder encode(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    return QByteArray(le ? "\xFF\xFE" : "\xFE\xFF") +
           QByteArray(encode(QString::fromUtf8(content)));
}

// Temporary files of this tool's earlier writes that a crash or a kill left
// behind ("lumavera.ini.AbC123"); any older than a minute are not in use.
void removeStaleTemporaries(const QString &folder, const QString &name)
{
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-60);
    const QDir dir(folder);
    const QStringList candidates =
        dir.entryList({name + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden);
    for (const QString &candidate : candidates) {
        const QFileInfo info(dir.filePath(candidate));
        if (info.lastModified().toUTC() < cutoff)
            QFile::remove(info.filePath());
    }
}

WriteResult replaceAtomically(const QString &target, const QByteArray &bytes, mode_t mode)
{
    QByteArray pattern = QFile::encodeName(target) + ".XXXXXX";
    Fd fd(::mkstemp(pattern.data()));
    if (fd.get() < 0)
        return failed(reasonFor(errno));
    const auto discard = [&](int error) {
        ::unlink(pattern.constData());
        return failed(reasonFor(error));
    };
    if (::fchmod(fd.get(), mode) != 0)
        return discard(errno);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return discard(n < 0 ? errno : ENOSPC);
        done += n;
    }
    if (::fsync(fd.get()) != 0)
        return discard(errno);
    if (!fd.close())
        return discard(errno);
    if (::rename(pattern.constData(), QFile::encodeName(target).constData()) != 0)
        return discard(errno);
    // Make the rename itself durable; a failure here loses nothing.
    const Fd dir(::open(QFile::encodeName(QFileInfo(target).absolutePath()).constData(),
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return {};
}

} // namespace

IniFile::IniFile(QString path, Folder folder) : path_(std::move(path)), folder_(folder) {}

IniText IniFile::read() const
{
    QFile file(path_);
    if (!file.exists())
        return {};
    const auto unusable = [](const QString &reason, FileFault fault = FileFault::Refused) {
        IniText text;
        text.exists = true;
        text.usable = {fault, reason};
        return text;
    };
    const QString tooLarge =
        SettingsTexts::tr(
            "%1 is larger than 1 MiB, so it is not a settings file of this tool; it is left alone")
            .arg(path_);
    const QFileInfo info(path_);
    if (!info.isFile())
        return unusable(SettingsTexts::tr("%1 is not a regular file").arg(path_));
    if (info.size() > MaxSize)
        return unusable(tooLarge);
    // Read at most one byte past the limit: a file that grew since the size
    // check is still refused.
    const QByteArray raw = file.open(QIODevice::ReadOnly) ? file.read(MaxSize + 1) : QByteArray();
    if (file.error() != QFileDevice::NoError)
        return unusable(SettingsTexts::tr("%1 cannot be read: %2").arg(path_, file.errorString()),
                        FileFault::Failed);
    if (raw.size() > MaxSize)
        return unusable(tooLarge);
    return decoded(raw);
}

WriteResult IniFile::write(const QList<IniEdit> &edits) const
{
    const QString target = resolved(path_);
    if (target.isEmpty())
        return strangersLink(path_);
    const QFileInfo targetInfo(target);
    const QString folder = targetInfo.absolutePath();
    // Only the tool's own folder is made; a link's target folder, and the
    // folder of a file the user named, must exist.
    if (!QFileInfo(folder).isDir() && (target != path_ || folder_ == Folder::MustExist))
        return failed(SettingsTexts::tr("the folder %1 does not exist").arg(folder));
    if (!QDir().mkpath(folder))
        return failed(SettingsTexts::tr("the folder %1 cannot be made").arg(folder));

    // The lock is on the folder, not on the file that the rename replaces,
    // and the kernel drops it when the process dies, however it dies.
    const Fd lock(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (lock.get() < 0)
        return failed(reasonFor(errno));
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return failed(reasonFor(errno));
    }

    removeStaleTemporaries(folder, targetInfo.fileName());

    IniText before = IniFile(target).read();
    if (!before.usable)
        return refused(before.usable.reason);

    QByteArray content = std::move(before.content);
    bool changed = false;
    for (const IniEdit &edit : edits) {
        const QByteArray s = edit.section.toUtf8();
        const QByteArray k = edit.key.toUtf8();
        const QByteArray v = edit.value.toUtf8();
        // A name or value that would break the file, or not read back as it
        // is, is refused whole: nothing of the batch is written.
        if (!profile::isStorable(s, k, v))
            return refused(
                SettingsTexts::tr("%1=%2 cannot be stored as it is (a line break, a padded or "
                                  "quoted value, or more than 254 characters)")
                    .arg(edit.key, edit.value.left(40)));
        changed = profile::setValue(content, s, k, v) || changed;
    }
    if (!changed)
        return {};

    return ReplaceFileAtomically(target, encoded(content, before.encoding));
}

WriteResult ReplaceFileAtomically(const QString &path, const QByteArray &bytes)
{
    mode_t mode = 0666;
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    return replaceAtomically(path, bytes, mode);
}

WriteResult AppendToFile(const QString &path, const QByteArray &bytes, const QByteArray &header)
{
    const QString target = resolved(path);
    if (target.isEmpty())
        return strangersLink(path);
    Fd fd(::open(QFile::encodeName(target).constData(),
                 O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666));
    if (fd.get() < 0)
        return failed(reasonFor(errno));
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0)
        return failed(reasonFor(errno));
    if (!S_ISREG(st.st_mode))
        return refused(SettingsTexts::tr("%1 is not a regular file").arg(path));
    // Appenders of ours take turns, so that the file's end is known while a
    // line goes on; one that keeps the lock for a second (anyone who can read
    // the file can take it) makes this append fail rather than wait.
    bool locked = false;
    for (int i = 0; i < 100 && !(locked = ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0); ++i)
        ::usleep(10000);
    if (!locked)
        return {FileFault::Locked, SettingsTexts::tr("%1 is locked by another program").arg(path)};
    if (::fstat(fd.get(), &st) != 0)
        return failed(reasonFor(errno));
    // One write for the whole line. A line cut short (a full disk) or not
    // known to be on the disk is taken back whole, so that every line in
    // the file is a whole one and the next one starts on its own.
    const QByteArray all = st.st_size == 0 ? header + bytes : bytes;
    const ssize_t n = ::write(fd.get(), all.constData(), size_t(all.size()));
    int error = n < 0 ? errno : n != all.size() ? ENOSPC : 0;
    if (error == 0 && ::fdatasync(fd.get()) != 0)
        error = errno;
    if (error != 0) {
        if (n > 0 && ::ftruncate(fd.get(), st.st_size) == 0)
            ::fdatasync(fd.get());
        return failed(reasonFor(error));
    }
    if (!fd.close())
        return failed(reasonFor(errno));
    return {};
}

} // namespace lumavera
