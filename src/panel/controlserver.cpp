#include "panel/controlserver.h"

#include "link/modulelink.h"
#include "link/trafficline.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// Whether the peer of a local socket runs as this user.
bool sameUser(const QLocalSocket *socket)
{
    ucred peer{};
    socklen_t length = sizeof peer;
    return ::getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &length) ==
               0 &&
           peer.uid == ::getuid();
}

} // namespace

ControlServer::ControlServer(RemoteHandler *handler, ModuleLink *link, QObject *parent)
    : QObject(parent), handler_(handler), link_(link), server_(new QLocalServer(this)),
      retry_(new QTimer(this))
{
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &ControlServer::onNewConnection);
    // Only while a request waits for the window's own exchange to end.
    retry_->setInterval(20);
    retry_->setSingleShot(true);
    connect(retry_, &QTimer::timeout, this, &ControlServer::serve);
    connect(link_, &ModuleLink::traffic, this, [this](const TrafficEvent &event) {
        if (event.kind == TrafficEvent::Kind::Opened)
            openedAtNs_ = event.atNs;
        if (collecting_)
            *collecting_ << TrafficLine(event, openedAtNs_, TrafficTime::SinceOpen);
    });
}

ControlServer::~ControlServer()
{
    server_->close();
}

bool ControlServer::listen()
{
    const QString path = HandoffSocketPath();
    if (server_->listen(path))
        return true;
    // A socket left by a window that crashed answers nobody: take it over.
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(200))
        return false;
    QLocalServer::removeServer(path);
    return server_->listen(path);
}

void ControlServer::onNewConnection()
{
    while (QLocalSocket *socket = server_->nextPendingConnection()) {
        if (!sameUser(socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        onReadable(socket);
    }
}

void ControlServer::onReadable(QLocalSocket *socket)
{
    while (socket->canReadLine())
        queue_.append({socket, socket->readLine()});
    // Bounded: a request line is small, and a peer that sends no newline
    // gets nowhere.
    if (socket->bytesAvailable() > 4096)
        socket->abort();
    QTimer::singleShot(0, this, &ControlServer::serve);
}

void ControlServer::serve()
{
    if (serving_)
        return;
    serving_ = true;
    while (!queue_.isEmpty()) {
        if (link_->busy()) {
            // The window's own exchange runs; this request waits its turn.
            retry_->start();
            break;
        }
        const Pending next = queue_.takeFirst();
        if (!next.socket)
            continue;
        HandoffReply reply;
        const std::optional<HandoffRequest> request = HandoffRequest::decode(next.line);
        const QString held = handler_->heldDevice();
        if (request && !held.isEmpty() && RealDevicePath(request->device) == held) {
            QStringList lines;
            collecting_ = &lines;
            const QPointer<ControlServer> self(this);
            reply = handler_->carryOut(*request);
            // The window may have been closed while the step waited.
            if (!self)
                return;
            collecting_ = nullptr;
            reply.handled = true;
            reply.traffic = lines;
        }
        if (next.socket) {
            next.socket->write(reply.encode());
            next.socket->flush();
        }
    }
    serving_ = false;
}
