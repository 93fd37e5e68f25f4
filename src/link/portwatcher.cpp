#include "link/portwatcher.h"

#include "link/deviceidentity.h"
#include "link/portmap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace lumavera {

namespace {

// Names in /dev that serial devices take; the rest (disks, pseudo-terminals
// of other programs, sound) are no port's business.
bool serialName(const QString &name)
{
    return name.startsWith(QLatin1String("tty")) || name.startsWith(QLatin1String("rfcomm")) ||
           name == QLatin1String("serial");
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
            text += NameStamp(QStringLiteral("/dev/") + name);
    }
    for (const QString &folder : {QStringLiteral("/dev/serial"), StableNamesFolder()}) {
        const QDir dir(folder);
        for (const QString &name :
             dir.entryList(QDir::System | QDir::AllEntries | QDir::NoDotAndDotDot))
            text += NameStamp(dir.filePath(name));
    }
    for (const QString &path : named_)
        text += NameStamp(path);
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

} // namespace lumavera
