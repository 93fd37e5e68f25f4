#include "panel/controlserver.h"

#include "link/modulesession.h"
#include "link/trafficline.h"

#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace lumavera {

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

// One connected lumaveractl on a plain socket (no network library to load at
// start-up): what it sent that is not handled yet, what waits to go back,
// and the deadline for a client that says nothing.
struct ControlServer::Client : QObject
{
    Client(int fd, QObject *parent)
        : QObject(parent), fd(fd), reader(new QSocketNotifier(fd, QSocketNotifier::Read, this)),
          writer(new QSocketNotifier(fd, QSocketNotifier::Write, this)), deadline(new QTimer(this))
    {
        writer->setEnabled(false);
        deadline->setSingleShot(true);
        deadline->setInterval(SilentClientMs);
    }
    ~Client() override { ::close(fd); }

    const int fd;
    QSocketNotifier *reader;
    QSocketNotifier *writer;
    QTimer *deadline;
    QByteArray in;
    QByteArray out;
};

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

HandoffResult ControlServer::listen()
{
    const HandoffPath place = HandoffSocketPath();
    path_ = place.path;
    sockaddr_un address{};
    if (!place || !HandoffAddress(path_, &address))
        return {HandoffFault::NoPrivateFolder,
                tr("lumaveractl cannot reach this window: %1.").arg(place.reason)};
    const auto refused = [this] {
        const QString why = tr("lumaveractl cannot reach this window: %1.")
                                .arg(QString::fromLocal8Bit(std::strerror(errno)));
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        return HandoffResult{HandoffFault::Failed, why};
    };
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return refused();
    int bound = ::bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address);
    if (bound != 0 && errno == EADDRINUSE) {
        if (answers(address)) {
            ::close(fd_);
            fd_ = -1;
            return {HandoffFault::Taken,
                    tr("Another Lumavera window serves lumaveractl; this one does not.")};
        }
        // A socket left by a window that crashed answers nobody: take it over.
        ::unlink(address.sun_path);
        bound = ::bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address);
    }
    struct stat st
    {
    };
    if (bound != 0 || ::listen(fd_, MaxClients) != 0 || ::lstat(address.sun_path, &st) != 0)
        return refused();
    inode_ = st.st_ino;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ControlServer::accept);
    return {};
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
        if (!PeerIsOwnUser(fd)) {
            ::close(fd);
            continue;
        }
        // Full: a connection that asks nothing gives way to the new one, the
        // one idle longest first, so that idle clients cannot shut out a
        // real request.
        if (clients_.size() >= MaxClients) {
            const auto idle = std::find_if(clients_.begin(), clients_.end(), [this](Client *c) {
                return c->in.isEmpty() && c->out.isEmpty() && !waiting_.contains(c);
            });
            if (idle == clients_.end()) {
                ::close(fd);
                continue;
            }
            drop(*idle);
        }
        auto *client = new Client(fd, this);
        clients_.append(client);
        connect(client->deadline, &QTimer::timeout, this, [this, client] { drop(client); });
        connect(client->reader, &QSocketNotifier::activated, this,
                [this, client] { onReadable(client); });
        connect(client->writer, &QSocketNotifier::activated, this,
                [this, client] { onWritable(client); });
        client->deadline->start();
        onReadable(client);
    }
}

void ControlServer::drop(Client *client)
{
    if (!clients_.removeOne(client))
        return;
    waiting_.removeAll(client);
    client->reader->setEnabled(false);
    client->writer->setEnabled(false);
    client->deadline->stop();
    client->deleteLater();
}

void ControlServer::onReadable(Client *client)
{
    // One request in hand per client, and no new one while its replies are
    // not being read: a flood stays in the kernel's buffer.
    if (waiting_.contains(client) || !client->out.isEmpty()) {
        client->reader->setEnabled(false);
        return;
    }
    if (!client->in.contains('\n')) {
        char buf[4096];
        const qsizetype room = MaxHandoffLine + 1 - client->in.size();
        const ssize_t n = ::recv(client->fd, buf, size_t(std::min<qsizetype>(room, sizeof buf)), 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            drop(client);
            return;
        }
        if (n > 0)
            client->in.append(buf, n);
    }
    if (client->in.contains('\n')) {
        client->reader->setEnabled(false);
        waiting_.append(client);
        QTimer::singleShot(0, this, &ControlServer::serve);
    } else if (client->in.size() > MaxHandoffLine) {
        drop(client);
    } else {
        client->reader->setEnabled(true);
    }
}

void ControlServer::onWritable(Client *client)
{
    while (!client->out.isEmpty()) {
        const ssize_t n = ::send(client->fd, client->out.constData(), size_t(client->out.size()),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            client->writer->setEnabled(true);
            return;
        }
        if (n <= 0) {
            drop(client);
            return;
        }
        client->out.remove(0, n);
    }
    client->writer->setEnabled(false);
    onReadable(client);
}

Detached ControlServer::serve()
{
    if (serving_)
        co_return;
    serving_ = true;
    while (!waiting_.isEmpty()) {
        if (session_->link().busy()) {
            // The window's own exchange runs; the request waits its turn.
            retry_->start();
            break;
        }
        Client *client = waiting_.first();
        client->deadline->stop();
        const qsizetype end = client->in.indexOf('\n');
        const QByteArray line = client->in.left(end);
        client->in.remove(0, end + 1);
        const std::optional<HandoffRequest> request = HandoffRequest::decode(line.trimmed());
        HandoffReply reply;
        if (request) {
            const QPointer<Client> alive(client);
            reply = co_await carryOut(*request);
            // The client may have gone meanwhile. (The window ends the
            // link's waits before it lets this server go.)
            if (!alive || !clients_.contains(client))
                continue;
        }
        waiting_.removeAll(client);
        client->out += reply.encode();
        client->deadline->start();
        onWritable(client);
    }
    serving_ = false;
}

Task<HandoffReply> ControlServer::carryOut(HandoffRequest request)
{
    ModuleLink &link = session_->link();
    HandoffReply reply;
    const QString held = link.isOpen() ? RealDevicePath(link.devicePath()) : QString();
    reply.handled = !held.isEmpty() && RealDevicePath(request.device) == held;
    if (request.probe)
        co_return reply;
    if (!reply.handled) {
        reply.outcome.fault = ReplyFault::NotHeld;
        reply.outcome.reason =
            tr("The window no longer holds %1 (disconnected or unplugged).").arg(request.device);
        co_return reply;
    }
    QStringList lines;
    const QMetaObject::Connection collect =
        connect(&link, &ModuleLink::traffic, this, [&](const TrafficEvent &event) {
            lines << TrafficLine(event, link.openedAtNs(), TrafficTime::SinceOpen);
        });
    reply.outcome =
        co_await session_->run(request.step, ReplyWaitRule::untilComplete(request.timeoutMs));
    disconnect(collect);
    reply.traffic = lines;
    co_return reply;
}

} // namespace lumavera
