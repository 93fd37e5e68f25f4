#pragma once

#include <QMap>
#include <QObject>
#include <QString>

class QFileSystemWatcher;
class QTimer;

// Watches where serial devices and their stable names come and go (/dev,
// /dev/serial, the stable names' folder and the folders of pinned devices)
// and says once, after a burst of events has settled, that the ports may
// have changed. Nothing is looked at on a timer.
class PortWatcher : public QObject
{
    Q_OBJECT

public:
    explicit PortWatcher(QObject *parent = nullptr);

    // The pinned devices, whose folders are watched too.
    void setPins(const QMap<int, QString> &pins);

signals:
    void changed();

private:
    void watch(const QStringList &folders);

    QFileSystemWatcher *watcher_;
    QTimer *settle_;
};
