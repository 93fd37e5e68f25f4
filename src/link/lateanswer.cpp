#include "link/lateanswer.h"

#include "link/handoff.h"
#include "link/networkport.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qint64 PendingForMs = 60 * 1000;

// The mark's file, in the folder of the user's own hand-off socket: no
// other user can make, swap or link it. Empty when the user has none.
QString markPath(const QString &path)
{
    const QString socket = HandoffSocketPath().path;
    if (socket.isEmpty())
        return {};
    const QString real =
        IsNetworkPort(path) ? u'/' + path.toLower() : QFileInfo(path).canonicalFilePath();
    QString name = real.isEmpty() ? QFileInfo(path).absoluteFilePath() : real;
    name.replace(u'/', u'_');
    return QFileInfo(socket).absolutePath() + QStringLiteral("/pending") + name;
}

// Without such a folder, marks last as long as this program: `change` runs
// on them under their lock.
template <typename Change> auto inMemory(Change change)
{
    static QMutex lock;
    static QSet<QString> marks;
    const QMutexLocker locked(&lock);
    return change(marks);
}

} // namespace

void MarkAnswerPending(const QString &path)
{
    const QString mark = markPath(path);
    if (mark.isEmpty())
        return inMemory([&](QSet<QString> &marks) { marks.insert(path); });
    // Made anew, so that its time is the time of this mark.
    ::unlink(QFile::encodeName(mark).constData());
    const int fd = ::open(QFile::encodeName(mark).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
}

bool AnswerPending(const QString &path)
{
    const QString mark = markPath(path);
    if (mark.isEmpty())
        return inMemory([&](QSet<QString> &marks) { return marks.contains(path); });
    const QFileInfo info(mark);
    return info.exists() &&
           info.lastModified().msecsTo(QDateTime::currentDateTime()) < PendingForMs;
}

void ClearAnswerPending(const QString &path)
{
    const QString mark = markPath(path);
    if (mark.isEmpty())
        return inMemory([&](QSet<QString> &marks) { marks.remove(path); });
    ::unlink(QFile::encodeName(mark).constData());
}
