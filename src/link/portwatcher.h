#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

class QFileSystemWatcher;
class QTimer;

namespace lumavera {

// Watches where serial devices and their stable names come and go (/dev,
// /dev/serial, the stable names' folder and the folders of pinned and
// followed devices) and says once, after a burst of events has settled,
// that the ports have changed. Events about anything else in those folders
// (a disk, another program's pseudo-terminal) are looked at and dropped:
// they cost a folder listing, never a port-list rebuild. Nothing is looked
// at on a timer.
class PortWatcher : public QObject
{
    Q_OBJECT

public:
    explicit PortWatcher(QObject *parent = nullptr);

    // The pinned devices, whose folders are watched too.
    void setPins(const QMap<int, QString> &pins);
    // One more device to watch for, as one awaited after a loss.
    void follow(const QString &path);

signals:
    void changed();

private:
    void watch(const QStringList &folders);
    void settled();
    // What the watched folders hold that matters to the ports.
    QString signature() const;

    QFileSystemWatcher *watcher_;
    QTimer *settle_;
    QStringList named_; // pinned and followed devices
    QString last_;
};

} // namespace lumavera
