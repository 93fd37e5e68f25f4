#include "panel/controlserver.h"

#include "link/modulesession.h"
#include "link/trafficline.h"

#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Whether a server answers on the socket at `address`.
bool answers(const sockaddr_un &address)
{
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool live = probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr *>(&address),
                                              sizeof address) == 0;
    if (probe >= 0)
        ::close(probe);
    return live;
}

} // namespace

ControlServer::ControlServer(ModuleSession *session, QObject *parent)
    : QObject(parent), session_(session), retry_(new QTimer(this))
{
    // Only while a request waits for the window's own exchange to end.
    retry_->setInterval(20);
    retry_->setSingleShot(true);
    connect(retry_, &QTimer::timeout, this, &ControlServer::serve);
}

ControlServer::~ControlServer()
{
    if (fd_ < 0)
        return;
    ::close(fd_);
    // The path is removed only while it is still this window's socket.
    struct stat st
    {
    };
    const QByteArray native = QFile::encodeName(path_);
    if (::lstat(native.constData(), &st) == 0 && st.st_ino == inode_)
        ::unlink(native.constData());
}

bool ControlServer::listen()
{
    path_ = HandoffSocketPath(&why_);
    sockaddr_un address{};
    if (path_.isEmpty() || !HandoffAddress(path_, &address)) {
        why_ = tr("lumaveractl cannot reach this window: %1.").arg(why_);
        return false;
    }
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return false;
    int bound = ::bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address);
    if (bound != 0 && errno == EADDRINUSE) {
        if (answers(address)) {
            ::close(fd_);
            fd_ = -1;
            why_ = tr("Another Lumavera window serves lumaveractl; this one does not.");
            return false;
        }
        // A socket left by a window that crashed answers nobody: take it over.
        ::unlink(address.sun_path);
        bound = ::bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address);
    }
    struct stat st
    {
    };
    if (bound != 0 || ::listen(fd_, MaxClients) != 0 || ::lstat(address.sun_path, &st) != 0) {
        why_ = tr("lumaveractl cannot reach this window: %1.")
                   .arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    inode_ = st.st_ino;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ControlServer::accept);
    return true;
}

void ControlServer::accept()
{
    for (;;) {
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: the listener stays, and looks again
                // once some may have been freed.
                notifier_->setEnabled(false);
                QTimer::singleShot(200, this, [this] { notifier_->setEnabled(true); });
            }
            return;
        }
        if (!PeerIsOwnUser(fd) || clients_.size() >= MaxClients) {
            ::close(fd);
            continue;
        }
        auto *socket = new QLocalSocket(this);
        socket->setSocketDescriptor(fd);
        // What Qt reads ahead is bounded; the rest waits in the kernel.
        socket->setReadBufferSize(MaxHandoffLine + 1);
        auto *deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        deadline->setInterval(SilentClientMs);
        connect(deadline, &QTimer::timeout, this, [this, socket] { drop(socket); });
        deadline->start();
        clients_.append({socket, deadline});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QLocalSocket::bytesWritten, this, [this, socket] { onReadable(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { drop(socket); });
        onReadable(socket);
    }
}

void ControlServer::drop(QLocalSocket *socket)
{
    for (qsizetype i = 0; i < clients_.size(); ++i) {
        if (clients_[i].socket == socket) {
            clients_.removeAt(i);
            waiting_.removeAll(socket);
            socket->abort();
            socket->deleteLater();
            return;
        }
    }
}

void ControlServer::onReadable(QLocalSocket *socket)
{
    // One request in hand per client, and no new one while its replies are
    // not being read: a flood stays in the kernel's buffer.
    if (waiting_.contains(socket) || socket->bytesToWrite() > MaxHandoffLine)
        return;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > MaxHandoffLine)
            drop(socket);
        return;
    }
    waiting_.append(socket);
    QTimer::singleShot(0, this, &ControlServer::serve);
}

void ControlServer::serve()
{
    if (serving_)
        return;
    serving_ = true;
    const QPointer<ControlServer> self(this);
    while (!waiting_.isEmpty()) {
        if (session_->link().busy()) {
            // The window's own exchange runs; the request waits its turn.
            retry_->start();
            break;
        }
        QLocalSocket *socket = waiting_.first();
        for (const Client &c : std::as_const(clients_)) {
            if (c.socket == socket)
                c.deadline->stop();
        }
        const QByteArray line = socket->readLine(MaxHandoffLine + 1);
        const std::optional<HandoffRequest> request = HandoffRequest::decode(line.trimmed());
        HandoffReply reply;
        if (request) {
            const QPointer<QLocalSocket> alive(socket);
            reply = carryOut(*request);
            // The window may have been closed, or the client gone, meanwhile.
            if (!self)
                return;
            if (!alive)
                continue;
        }
        waiting_.removeAll(socket);
        socket->write(reply.encode());
        for (const Client &c : std::as_const(clients_)) {
            if (c.socket == socket)
                c.deadline->start();
        }
        onReadable(socket);
    }
    serving_ = false;
}

HandoffReply ControlServer::carryOut(const HandoffRequest &request)
{
    ModuleLink &link = session_->link();
    HandoffReply reply;
    const QString held = link.isOpen() ? RealDevicePath(link.devicePath()) : QString();
    reply.handled = !held.isEmpty() && RealDevicePath(request.device) == held;
    if (request.probe)
        return reply;
    if (!reply.handled) {
        reply.outcome.fault = ReplyFault::NotHeld;
        reply.outcome.reason =
            tr("The window no longer holds %1 (disconnected or unplugged).").arg(request.device);
        return reply;
    }
    QStringList lines;
    const QMetaObject::Connection collect =
        connect(&link, &ModuleLink::traffic, this, [&](const TrafficEvent &event) {
            lines << TrafficLine(event, link.openedAtNs(), TrafficTime::SinceOpen);
        });
    reply.outcome = session_->run(request.step, ReplyWaitRule::untilComplete(request.timeoutMs));
    disconnect(collect);
    reply.traffic = lines;
    return reply;
}
