#pragma once

#include <QObject>
#include <QString>

#include <functional>

class ModuleLink;
class PortWatcher;
class Reconnector;
struct Ui_MainWindow;

// The window's side of the ports: the device behind each number, shown in
// the port list as the system's ports come and go, and a lost port's way
// back, told beside Connect until it is open again.
class PortStatus : public QObject
{
    Q_OBJECT

public:
    // `commPort` is the number chosen in the list, as the window keeps it.
    PortStatus(Ui_MainWindow &ui, ModuleLink *link, std::function<QString()> commPort,
               QObject *parent);

    // The port was opened on purpose; remembered for a later loss.
    void opened(const QString &path);
    // The user takes over from a reconnect: the line beside Connect, which
    // told of it, is cleared.
    void stopReconnect();
    // The list's devices and the line under it, from the system's ports and
    // the settings file's pins as they are now.
    void refresh();

private:
    void onWaiting(const QString &path);
    void onRefused(const QString &reason, bool tryingAgain);
    void onReconnected(const QString &path);

    Ui_MainWindow &ui_;
    ModuleLink *link_;
    std::function<QString()> commPort_;
    PortWatcher *watcher_;
    Reconnector *reconnector_;
};
