#pragma once

#include "link/handoff.h"

#include <QList>
#include <QObject>
#include <QPointer>

class ModuleLink;
class QLocalServer;
class QLocalSocket;
class QTimer;

// What the window does with a request from lumaveractl: carry it out as if
// its user had done it, and say how it went instead of showing a box.
class RemoteHandler
{
public:
    virtual ~RemoteHandler() = default;
    // The device the window holds open, links resolved; empty when closed.
    virtual QString heldDevice() const = 0;
    virtual HandoffReply carryOut(const HandoffRequest &request) = 0;
};

// The window's end of the local socket lumaveractl hands its commands to:
// one per user, reachable by that user only. Requests are carried out one at
// a time, in the order they came, and never during the window's own
// exchange with the module.
class ControlServer : public QObject
{
    Q_OBJECT

public:
    ControlServer(RemoteHandler *handler, ModuleLink *link, QObject *parent = nullptr);
    ~ControlServer() override;

    // Starts listening; false when another window of this user listens.
    bool listen();

private:
    struct Pending
    {
        QPointer<QLocalSocket> socket;
        QByteArray line;
    };

    void onNewConnection();
    void onReadable(QLocalSocket *socket);
    void serve();

    RemoteHandler *handler_;
    ModuleLink *link_;
    QLocalServer *server_;
    QTimer *retry_;
    QList<Pending> queue_;
    bool serving_ = false;
    qint64 openedAtNs_ = 0;
    QStringList *collecting_ = nullptr;
};
