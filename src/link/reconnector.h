#pragma once

#include "link/task.h"

#include <QObject>
#include <QString>

class QTimer;

namespace lumavera {

class ModuleLink;
class PortWatcher;

// What happens when the device goes away without a Disconnect: the link
// waits for that same device to come back (the name made anew since the
// loss, and the same serial number where it has one) and opens it again.
// A device node can appear before its rights are set or while another
// program still holds it, so a refused open is tried again a few times.
// A line on another machine sends no word when it is back: its server is
// asked again every few seconds, quietly, until it answers.
class Reconnector : public QObject
{
    Q_OBJECT

public:
    static constexpr int Retries = 5;
    static constexpr int RetryMs = 300;
    static constexpr int NetworkRetryMs = 3000;

    Reconnector(ModuleLink *link, PortWatcher *watcher, QObject *parent = nullptr);

    // The device just opened on purpose; remembered for a later loss.
    void opened(const QString &path);
    // The user took over: no more waiting, and a try under way is called
    // off. Whether it was waiting.
    bool stop();
    bool awaiting() const { return !awaited_.isEmpty(); }
    QString awaitedPath() const { return awaited_; }

signals:
    // The link lost the device and waits for it now.
    void waiting(const QString &path);
    // The device came back but did not open; it is tried again.
    void refused(const QString &reason, bool tryingAgain);
    void reconnected(const QString &path);

private:
    void onLost();
    Detached look();

    ModuleLink *link_;
    PortWatcher *watcher_;
    QTimer *retry_;
    QString awaited_;
    QString serialNumber_;
    qint64 lostAtNs_ = 0;
    int tries_ = 0;
    bool opening_ = false; // a try of ours is under way
};

} // namespace lumavera
