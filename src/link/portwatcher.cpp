#include "link/portwatcher.h"

#include "link/portmap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <sys/stat.h>

namespace {

// Names in /dev that serial devices take; the rest (disks, pseudo-terminals
// of other programs, sound) are no port's business.
bool serialName(const QString &name)
{
    return name.startsWith(QLatin1String("tty")) || name.startsWith(QLatin1String("rfcomm")) ||
           name == QLatin1String("serial");
}

// A name and when it was last made or changed, so that a device unplugged
// and plugged back between two looks still counts as a change.
QString stamp(const QString &path)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return path + QStringLiteral(" -\n");
    return QStringLiteral("%1 %2.%3\n").arg(path).arg(st.st_ctim.tv_sec).arg(st.st_ctim.tv_nsec);
}

} // namespace

PortWatcher::PortWatcher(QObject *parent)
    : QObject(parent), watcher_(new QFileSystemWatcher(this)), settle_(new QTimer(this))
{
    // Devices come in bursts of events; one look after they settle.
    settle_->setSingleShot(true);
    settle_->setInterval(150);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, settle_, qOverload<>(&QTimer::start));
    connect(settle_, &QTimer::timeout, this, &PortWatcher::settled);
    watch({QStringLiteral("/dev"), QStringLiteral("/dev/serial"), StableNamesFolder()});
    last_ = signature();
}

void PortWatcher::setPins(const QMap<int, QString> &pins)
{
    for (const QString &pin : pins)
        follow(pin);
}

void PortWatcher::follow(const QString &path)
{
    if (path.isEmpty() || named_.contains(path))
        return;
    named_ << path;
    watch({QFileInfo(path).absolutePath()});
    last_ = signature();
}

void PortWatcher::watch(const QStringList &folders)
{
    QStringList fresh;
    for (const QString &folder : folders) {
        if (QFileInfo(folder).isDir() && !watcher_->directories().contains(folder) &&
            !fresh.contains(folder))
            fresh << folder;
    }
    if (!fresh.isEmpty())
        watcher_->addPaths(fresh);
}

QString PortWatcher::signature() const
{
    QString text;
    for (const QString &name :
         QDir(QStringLiteral("/dev"))
             .entryList(QDir::System | QDir::AllEntries | QDir::NoDotAndDotDot)) {
        if (serialName(name))
            text += stamp(QStringLiteral("/dev/") + name);
    }
    for (const QString &folder : {QStringLiteral("/dev/serial"), StableNamesFolder()}) {
        const QDir dir(folder);
        for (const QString &name :
             dir.entryList(QDir::System | QDir::AllEntries | QDir::NoDotAndDotDot))
            text += stamp(dir.filePath(name));
    }
    for (const QString &path : named_)
        text += stamp(path);
    return text;
}

void PortWatcher::settled()
{
    QString now = signature();
    if (now == last_)
        return;
    last_ = std::move(now);
    emit changed();
}
