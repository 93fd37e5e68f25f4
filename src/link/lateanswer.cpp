#include "link/lateanswer.h"

#include "link/deviceidentity.h"
#include "link/handoff.h"
#include "link/networkport.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <fcntl.h>
#include <unistd.h>

namespace lumavera {

namespace {

constexpr qint64 PendingForMs = 60 * 1000;

// The device node a path leads to, or a network line's own address.
QString realName(const QString &path)
{
    const QString real =
        IsNetworkPort(path) ? u'/' + path.toLower() : QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? QFileInfo(path).absoluteFilePath() : real;
}

// Which device the name leads to now: its node, when that was made, and its
// serial number. A pseudo-terminal's number given out again, or an adapter
// that comes back as the same ttyUSBn with another module behind it, is
// another device under the same name, and no answer of the old one's comes
// on it.
QByteArray identity(const QString &path)
{
    if (IsNetworkPort(path))
        return realName(path).toUtf8();
    const QString real = realName(path);
    return (NameStamp(real) + DeviceSerialNumber(real)).toUtf8();
}

// The mark's file, in the folder of the user's own hand-off socket: no
// other user can make, swap or link it. Empty when the user has none.
QString markPath(const QString &path)
{
    const QString socket = HandoffSocketPath().path;
    if (socket.isEmpty())
        return {};
    QString name = realName(path);
    name.replace(u'/', u'_');
    return QFileInfo(socket).absolutePath() + QStringLiteral("/pending") + name;
}

// Without such a folder, marks last as long as this program: `change` runs
// on them, name → the device's identity, under their lock.
template <typename Change> auto inMemory(Change change)
{
    static QMutex lock;
    static QHash<QString, QByteArray> marks;
    const QMutexLocker locked(&lock);
    return change(marks);
}

} // namespace

void MarkAnswerPending(const QString &path)
{
    const QString mark = markPath(path);
    if (mark.isEmpty())
        return inMemory([&](QHash<QString, QByteArray> &marks) {
            marks.insert(realName(path), identity(path));
        });
    // Made anew, so that its time is the time of this mark; it holds the
    // identity of the device it was made on. A mark that cannot be written
    // whole is no mark: the next exchange would wait for nothing.
    ::unlink(QFile::encodeName(mark).constData());
    const int fd = ::open(QFile::encodeName(mark).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const QByteArray id = identity(path);
    const bool whole = ::write(fd, id.constData(), size_t(id.size())) == id.size();
    ::close(fd);
    if (!whole)
        ::unlink(QFile::encodeName(mark).constData());
}

bool AnswerPending(const QString &path)
{
    const QString mark = markPath(path);
    if (mark.isEmpty())
        return inMemory([&](QHash<QString, QByteArray> &marks) {
            return marks.value(realName(path)) == identity(path);
        });
    const QFileInfo info(mark);
    if (!info.exists() || info.lastModified().msecsTo(QDateTime::currentDateTime()) >= PendingForMs)
        return false;
    const int fd = ::open(QFile::encodeName(mark).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const QByteArray id = identity(path);
    QByteArray held(id.size() + 1, '\0');
    const ssize_t got = ::read(fd, held.data(), size_t(held.size()));
    ::close(fd);
    return got == id.size() && held.left(got) == id;
}

void ClearAnswerPending(const QString &path)
{
    const QString mark = markPath(path);
    if (mark.isEmpty())
        return inMemory([&](QHash<QString, QByteArray> &marks) { marks.remove(realName(path)); });
    ::unlink(QFile::encodeName(mark).constData());
}

} // namespace lumavera
