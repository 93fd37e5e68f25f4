#include "link/portwatcher.h"

#include "link/portmap.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

PortWatcher::PortWatcher(QObject *parent)
    : QObject(parent), watcher_(new QFileSystemWatcher(this)), settle_(new QTimer(this))
{
    // Devices come in bursts of events; one look after they settle.
    settle_->setSingleShot(true);
    settle_->setInterval(150);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, settle_, qOverload<>(&QTimer::start));
    connect(settle_, &QTimer::timeout, this, &PortWatcher::changed);
    watch({QStringLiteral("/dev"), QStringLiteral("/dev/serial"), StableNamesFolder()});
}

void PortWatcher::setPins(const QMap<int, QString> &pins)
{
    QStringList folders;
    for (const QString &pin : pins)
        folders << QFileInfo(pin).absolutePath();
    watch(folders);
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
