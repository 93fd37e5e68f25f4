#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QComboBox;

namespace lumavera {

class ModuleLink;
class PortWatcher;
class Reconnector;

// The window's side of the ports: the device behind each number, shown in
// the port list as the system's ports come and go, and a lost port's way
// back, told beside Connect until it is open again.
class PortStatus : public QObject
{
    Q_OBJECT

public:
    // `list` is the window's port list; `commPort` the number chosen in it,
    // as the window keeps it.
    PortStatus(QComboBox *list, ModuleLink *link, std::function<QString()> commPort,
               QObject *parent);

    // The port was opened on purpose; remembered for a later loss.
    void opened(const QString &path);
    // The user takes over from a reconnect: the line beside Connect, which
    // told of it, is cleared.
    void stopReconnect();
    // The list's devices and the line under it, from the system's ports and
    // the settings file's pins as they are now.
    void refresh();

signals:
    // What the line beside Connect says now.
    void said(const QString &text);
    // The port is open (a reconnect) or lost: Connect and the groups follow.
    void connectionShown(bool open);
    // The list's devices are shown anew; the line under it may follow.
    void refreshed();

private:
    void onWaiting(const QString &path);
    void onRefused(const QString &reason, bool tryingAgain);
    void onReconnected(const QString &path);

    QComboBox *list_;
    ModuleLink *link_;
    std::function<QString()> commPort_;
    PortWatcher *watcher_;
    Reconnector *reconnector_;
};

} // namespace lumavera
