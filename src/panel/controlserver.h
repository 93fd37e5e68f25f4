#pragma once

#include "link/handoff.h"
#include "link/task.h"

#include <QList>
#include <QObject>
#include <QString>

#include <sys/types.h>

class QSocketNotifier;
class QTimer;

namespace lumavera {

class ModuleSession;

// The window's end of the local socket lumaveractl hands its steps to: one
// per user, in a folder only that user can write, answering only that user's
// programs. Each step runs through the window's module session, one at a
// time and never during the window's own exchange, with the caller's
// timeout; the server never touches the window's controls. Bounded: a few
// clients at once, one request line of at most 64 KiB each, one request in
// hand per client, and a deadline for a client that says nothing.
class ControlServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxClients = 4;
    static constexpr int SilentClientMs = 10000;

    explicit ControlServer(ModuleSession *session, QObject *parent = nullptr);
    ~ControlServer() override;

    // Starts listening; a fault, with the reason for the window, when another window of
    // this user serves already or there is no private folder for the socket.
    HandoffResult listen();

private:
    struct Client;

    void accept();
    void onReadable(Client *client);
    void onWritable(Client *client);
    void drop(Client *client);
    // Carries out the waiting requests, one at a time.
    Detached serve();
    Task<HandoffReply> carryOut(HandoffRequest request);

    ModuleSession *session_;
    int fd_ = -1;
    QString path_;
    ino_t inode_ = 0;
    QSocketNotifier *notifier_ = nullptr;
    QTimer *retry_;
    QList<Client *> clients_;
    // Clients whose request line waits for the link to be free.
    QList<Client *> waiting_;
    bool serving_ = false;
};

} // namespace lumavera
