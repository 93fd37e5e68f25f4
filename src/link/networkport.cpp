#include "link/networkport.h"

#include "link/telnet.h"
#include "link/texts.h"

#include <QElapsedTimer>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lumavera {

QString NetworkAddress::label() const
{
    return (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(port);
}

bool IsNetworkPort(const QString &name)
{
    return name.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive) ||
           name.startsWith(QLatin1String("socket://"), Qt::CaseInsensitive);
}

QString MalformedNetworkAddress(const QString &name)
{
    if (!IsNetworkPort(name) || ParseNetworkAddress(name))
        return {};
    return LinkTexts::tr("%1 is no network address: write rfc2217://HOST:PORT or "
                         "socket://HOST:PORT")
        .arg(name);
}

std::optional<NetworkAddress> ParseNetworkAddress(const QString &name)
{
    static const QRegularExpression form(
        QStringLiteral(
            "^(rfc2217|socket)://(?:\\[([0-9A-Fa-f:.]+)\\]|([A-Za-z0-9.-]+)):([0-9]{1,5})/?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(name);
    if (!m.hasMatch())
        return std::nullopt;
    const int port = m.captured(4).toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    NetworkAddress address;
    address.kind = m.captured(1).compare(QLatin1String("rfc2217"), Qt::CaseInsensitive) == 0
                       ? NetworkAddress::Kind::Rfc2217
                       : NetworkAddress::Kind::Raw;
    address.host = m.captured(2).isEmpty() ? m.captured(3) : m.captured(2);
    address.port = quint16(port);
    return address;
}

namespace {

// More than a set-up's answers and a server's message by far.
constexpr qint64 FloodBytes = 16 * 1024;
constexpr qsizetype EarlyBytes = 512;

class Deadline
{
public:
    explicit Deadline(int ms) : ms_(ms) { clock_.start(); }
    int left() const { return int(std::max<qint64>(0, ms_ - clock_.elapsed())); }

private:
    QElapsedTimer clock_;
    int ms_;
};

// The addresses of a name, looked up within the time left: a literal at
// once, a name in glibc's own lookup thread, given up on (not waited for)
// when the time runs out.
struct Lookup
{
    addrinfo *list = nullptr;
    bool timedOut = false;
    int error = 0;
};

Lookup lookUp(const NetworkAddress &address, const Deadline &deadline)
{
    Lookup found;
    const QByteArray host = address.host.toUtf8();
    const QByteArray service = QByteArray::number(address.port);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
    if (::getaddrinfo(host.constData(), service.constData(), &hints, &found.list) == 0)
        return found;
    // The request outlives a lookup given up on, so it is never freed then.
    struct Request
    {
        QByteArray host, service;
        addrinfo hints{};
        gaicb block{};
    };
    auto *request = new Request{host, service, {}, {}};
    request->hints.ai_socktype = SOCK_STREAM;
    request->hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    request->block.ar_name = request->host.constData();
    request->block.ar_service = request->service.constData();
    request->block.ar_request = &request->hints;
    gaicb *blocks[] = {&request->block};
    if (::getaddrinfo_a(GAI_NOWAIT, blocks, 1, nullptr) != 0) {
        found.error = EAI_SYSTEM;
        delete request;
        return found;
    }
    for (;;) {
        const int left = deadline.left();
        const timespec wait{left / 1000, long(left % 1000) * 1000000L};
        ::gai_suspend(blocks, 1, &wait);
        const int state = ::gai_error(&request->block);
        if (state == EAI_INPROGRESS && deadline.left() > 0)
            continue;
        if (state == EAI_INPROGRESS) {
            found.timedOut = true;
            if (::gai_cancel(&request->block) == EAI_CANCELED)
                delete request;
            return found;
        }
        found.error = state;
        found.list = state == 0 ? request->block.ar_result : nullptr;
        delete request;
        return found;
    }
}

// One connection attempt to one address: the socket, or -1 with errno.
int connectTo(const addrinfo &to, const Deadline &deadline)
{
    const int fd =
        ::socket(to.ai_family, to.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, to.ai_protocol);
    if (fd < 0)
        return -1;
    int error = 0;
    if (::connect(fd, to.ai_addr, to.ai_addrlen) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd ready{fd, POLLOUT, 0};
            int n;
            do
                n = ::poll(&ready, 1, deadline.left());
            while (n < 0 && errno == EINTR);
            socklen_t size = sizeof error;
            if (n <= 0)
                error = ETIMEDOUT;
            else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                error = errno;
        }
    }
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    // Frames are five bytes: each goes out as it is written.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A connection whose far end went without a word (the bench's machine
    // off, its network gone) is found out within half a minute, not after
    // the system's two hours: the line is lost and waited for, and the
    // server lets another client have it.
    const int idleS = 15, intervalS = 5, probes = 3;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleS, sizeof idleS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalS, sizeof intervalS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    // Nor does a frame sit unacknowledged for ever.
    const unsigned int unacknowledgedMs = 30000;
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledgedMs, sizeof unacknowledgedMs);
    return fd;
}

bool sendAll(int fd, const QByteArray &bytes, const Deadline &deadline)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false;
        pollfd ready{fd, POLLOUT, 0};
        if (::poll(&ready, 1, deadline.left()) <= 0)
            return false;
    }
    return true;
}

QByteArray bigEndian(quint32 value, int size)
{
    QByteArray bytes;
    for (int i = size - 1; i >= 0; --i)
        bytes += char((value >> (8 * i)) & 0xFF);
    return bytes;
}

// The line the module speaks, asked of the server and checked in its
// answers: 9600 baud, 8 data bits, no parity (1), one stop bit (1), no
// flow control (1); and the line's bytes held from before purged.
OpenResult setLine(int fd, const NetworkAddress &address, TelnetStream *telnet,
                   const Deadline &deadline, QByteArray *early)
{
    using T = TelnetStream;
    const QList<std::pair<T::ComPortCommand, QByteArray>> wanted = {
        {T::SetBaudRate, bigEndian(9600, 4)},
        {T::SetDataSize, bigEndian(8, 1)},
        {T::SetParity, bigEndian(1, 1)},
        {T::SetStopSize, bigEndian(1, 1)},
        {T::SetControl, bigEndian(1, 1)},
        // What the server still holds from the line, from before this
        // connection (an answer a client before it gave up on), is thrown
        // away: it would pass for the answer to the first read.
        {T::PurgeData, bigEndian(1, 1)}};
    // The greeting first, and the line's settings once the server has
    // spoken telnet: a raw server passes what it is sent to the module, and
    // its module should meet no more than the greeting.
    QByteArray commands;
    for (const auto &[command, value] : wanted)
        commands += T::comPortCommand(command, value);
    const QString where = address.label();
    const auto ended = [&] { return ConnectionEnded(where, *early); };
    if (!sendAll(fd, telnet->greeting(), deadline))
        return ended();
    bool spoken = false;
    QMap<int, QByteArray> answered;
    // A server that never stops sending keeps the socket readable: the
    // deadline is looked at after every read, not only when it is quiet.
    qint64 heard = 0;
    // What a server that did not set the line up in time did instead.
    const auto late = [&] {
        if (heard > FloodBytes)
            return LinkTexts::tr("%1 sends without end, and never set up its line.").arg(where);
        if (spoken)
            return LinkTexts::tr("%1 did not set up its line in time (is it an RFC 2217 server?).")
                .arg(where);
        if (heard > 0)
            return LinkTexts::tr("%1 sends data but no telnet: it serves a raw line; use "
                                 "socket://%1.")
                .arg(where);
        return LinkTexts::tr("%1 did not answer telnet's greeting in time: where it serves a raw "
                             "line, use socket://%1.")
            .arg(where);
    };
    // Done once every setting is answered and BINARY agreed or refused.
    while (answered.size() < wanted.size() || telnet->binary() == T::Agreement::Pending) {
        if (deadline.left() == 0)
            return {OpenFault::Failed, late()};
        pollfd ready{fd, POLLIN, 0};
        const int n = ::poll(&ready, 1, deadline.left());
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            continue;
        if (n < 0)
            return ended();
        char buffer[512];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        // Each segment acknowledged at once: a server that holds its next
        // answer until the last is acknowledged (Nagle's rule) would
        // otherwise wait out the delayed acknowledgement, 40 ms a time.
        const int quick = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &quick, sizeof quick);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return ended();
        heard += got;
        QByteArray answer;
        // What came before the line was set up is no answer to anything;
        // only its start is kept, for the server's own words.
        const QByteArray data = telnet->feed(QByteArray(buffer, got), &answer);
        if (early->size() < EarlyBytes)
            *early += data.first(std::min(data.size(), EarlyBytes - early->size()));
        if (!answer.isEmpty() && !sendAll(fd, answer, deadline))
            return ended();
        if (!spoken && telnet->negotiated()) {
            spoken = true;
            if (!sendAll(fd, commands, deadline))
                return ended();
        }
        if (telnet->comPortRefused())
            return {OpenFault::NotSerial,
                    LinkTexts::tr("%1 does not set serial lines (it refused RFC 2217); where its "
                                  "server fixes the line at 9600 8N1, use socket://%1.")
                        .arg(where)};
        // Only the answers to what was asked count: a server notifies its
        // line and modem state (106, 107) whenever it likes, before the
        // last answer too.
        for (const T::ComPortReply &reply : telnet->takeComPortReplies()) {
            if (std::any_of(wanted.begin(), wanted.end(),
                            [&](const auto &asked) { return asked.first == reply.command; }))
                answered.insert(reply.command, reply.value);
        }
    }
    // Without BINARY a telnet server may take a frame's CR for a line's
    // end, and the frames are not passed as they are.
    if (telnet->binary() != T::Agreement::Agreed)
        return {OpenFault::NotSerial,
                LinkTexts::tr("%1 refused an 8-bit clean line (telnet BINARY both ways), so "
                              "frames would not pass as they are.")
                    .arg(where)};
    for (const auto &[command, value] : wanted) {
        if (answered.value(command) != value)
            return {OpenFault::Failed,
                    LinkTexts::tr("%1 would not set its line to 9600 baud, 8 data bits, no "
                                  "parity, 1 stop bit and no flow control.")
                        .arg(where)};
    }
    return {};
}

} // namespace

OpenResult ConnectionEnded(const QString &where, const QByteArray &heard)
{
    if (heard.contains("in use"))
        return {OpenFault::Held,
                LinkTexts::tr("%1 is in use by another client of its server.").arg(where)};
    // A server that cannot serve the line says why in a line of text
    // before it hangs up (ser2net: "Device open failure: ..."): its words,
    // where they are words.
    const QByteArray said = heard.trimmed();
    const bool text = !said.isEmpty() && std::all_of(said.begin(), said.end(), [](char c) {
        return (c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n' || c == '\t';
    });
    if (text)
        return {OpenFault::Failed, LinkTexts::tr("%1 closed the connection, saying \"%2\".")
                                       .arg(where, QString::fromLatin1(said).simplified())};
    return {OpenFault::Failed, LinkTexts::tr("%1 closed the connection.").arg(where)};
}

NetworkConnection ConnectNetworkPort(const NetworkAddress &address, int timeoutMs,
                                     TelnetStream *telnet)
{
    const Deadline deadline(timeoutMs);
    const QString where = address.label();
    NetworkConnection connection;
    const auto failed = [&](OpenFault fault, const QString &reason) {
        connection.fault = fault;
        connection.reason = reason;
        return connection;
    };
    const Lookup found = lookUp(address, deadline);
    if (found.timedOut)
        return failed(OpenFault::Failed,
                      LinkTexts::tr("The name %1 was not looked up within %2 ms.")
                          .arg(address.host)
                          .arg(timeoutMs));
    if (!found.list)
        return failed(
            OpenFault::NoDevice,
            found.error == EAI_NONAME || found.error == EAI_NODATA
                ? LinkTexts::tr("There is no host %1 (for %2).").arg(address.host, where)
                : LinkTexts::tr("The name %1 could not be looked up: %2.")
                      .arg(address.host, QString::fromLocal8Bit(gai_strerror(found.error))));
    int fd = -1;
    int error = ECONNREFUSED;
    for (const addrinfo *to = found.list; to && fd < 0 && deadline.left() > 0; to = to->ai_next) {
        fd = connectTo(*to, deadline);
        if (fd < 0)
            error = errno;
    }
    ::freeaddrinfo(found.list);
    if (fd < 0) {
        if (error == ECONNREFUSED)
            return failed(OpenFault::NoDevice,
                          LinkTexts::tr("%1 refused the connection: nothing serves a line there.")
                              .arg(where));
        if (error == ETIMEDOUT || deadline.left() == 0)
            return failed(
                OpenFault::Failed,
                LinkTexts::tr("%1 did not answer within %2 ms.").arg(where).arg(timeoutMs));
        return failed(OpenFault::Failed, LinkTexts::tr("%1 could not be reached: %2.")
                                             .arg(where, QString::fromLocal8Bit(strerror(error))));
    }
    if (address.kind == NetworkAddress::Kind::Rfc2217) {
        if (const OpenResult set = setLine(fd, address, telnet, deadline, &connection.early);
            !set) {
            ::close(fd);
            return failed(set.fault, set.reason);
        }
    }
    connection.fd = fd;
    return connection;
}

} // namespace lumavera
