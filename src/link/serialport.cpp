#include "link/serialport.h"

#include "link/deviceholder.h"
#include "link/lockfile.h"
#include "link/modulelink.h"
#include "link/networkport.h"
#include "link/permissionadvice.h"
#include "link/telnet.h"
#include "link/texts.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace lumavera {

namespace {

// Refuses a device that another program keeps from us (its exclusive mode,
// or a lock on it), naming that program where it can be found: a lock shows
// its holder in /proc/locks whoever it is; a holder without one shows only
// where its open files may be seen.
OpenResult heldRefusal(const QString &path)
{
    QString holder = LockHolder(path);
    int unseen = 0;
    if (holder.isEmpty()) {
        const HolderLook look = LookForHolders({path});
        holder = look.holders.value(path);
        unseen = look.unseen;
    }
    if (!holder.isEmpty())
        return {OpenFault::Held, LinkTexts::tr("%1 is in use by %2.").arg(path, holder)};
    if (unseen > 0)
        return {OpenFault::Held,
                LinkTexts::tr("%1 is in use by another program, perhaps another user's "
                              "('sudo fuser -v %2' shows which).")
                    .arg(path, QFileInfo(path).canonicalFilePath())};
    return {OpenFault::Held, LinkTexts::tr("%1 is in use by another program.").arg(path)};
}

} // namespace

SerialPort::SerialPort(QObject *parent) : QObject(parent) {}

SerialPort::~SerialPort()
{
    close();
}

HolderLook SerialPort::holder()
{
    // The device was nobody else's when it opened, so a program that has it
    // now came since (root, whom the exclusive mode does not keep out:
    // Debian's ser2net service, a root terminal). A caller that looks for
    // holders itself (the station, polling a cable) asked for no look.
    if (holderCheck_ != HolderCheck::BeforeOpen || path_.isEmpty() || network_)
        return {};
    return LookForHolders({path_});
}

void SerialPort::setDevicePath(const QString &path)
{
    if (fd_ < 0) {
        path_ = path;
        network_ = IsNetworkPort(path);
    }
}

// A network connection being made on its thread, and what came of it.
// The thread and the port share it; whichever learns that the other no
// longer wants the connection closes it.
struct SerialPort::Connecting
{
    std::mutex mutex;
    bool calledOff = false;
    bool done = false;
    NetworkConnection connection;
    std::unique_ptr<TelnetStream> telnet;
    Waiter woken;

    // Closes a connection nobody took.
    void drop()
    {
        if (connection.fd >= 0)
            ::close(std::exchange(connection.fd, -1));
    }
};

void SerialPort::cancelOpen()
{
    const std::shared_ptr<Connecting> connecting = std::exchange(connecting_, {});
    if (!connecting)
        return;
    {
        const std::lock_guard lock(connecting->mutex);
        connecting->calledOff = true;
        if (connecting->done)
            connecting->drop();
    }
    connecting->woken.wake();
}

Task<OpenResult> SerialPort::openNetwork()
{
    const std::optional<NetworkAddress> address = ParseNetworkAddress(path_);
    if (!address)
        co_return OpenResult{OpenFault::NoDevice, MalformedNetworkAddress(path_) + u'.'};
    const auto connecting = std::make_shared<Connecting>();
    connecting->telnet.reset(address->kind == NetworkAddress::Kind::Rfc2217 ? new TelnetStream
                                                                            : nullptr);
    connecting_ = connecting;
    // The lookup, the connection and the line's set-up each wait within the
    // timeout; meanwhile the event loop here goes on, and a cancel ends the
    // open at once (the thread then ends within the timeout by itself).
    std::thread([connecting, address = *address, timeoutMs = connectTimeoutMs_, to = this] {
        NetworkConnection made = ConnectNetworkPort(address, timeoutMs, connecting->telnet.get());
        const std::lock_guard lock(connecting->mutex);
        connecting->connection = made;
        connecting->done = true;
        if (connecting->calledOff) {
            connecting->drop();
            return;
        }
        // The port is there while the open is not called off: its end calls
        // it off first, under the same lock.
        QMetaObject::invokeMethod(
            to,
            [to, connecting] {
                if (to->connecting_ == connecting) {
                    to->connecting_.reset();
                    connecting->woken.wake();
                }
            },
            Qt::QueuedConnection);
    }).detach();
    co_await connecting->woken;
    const std::lock_guard lock(connecting->mutex);
    if (connecting->calledOff)
        co_return OpenResult{OpenFault::Stopped,
                             LinkTexts::tr("Stopped before the line was open.")};
    const NetworkConnection &connection = connecting->connection;
    if (!connection)
        co_return OpenResult{connection.fault, connection.reason};
    fd_ = connection.fd;
    telnet_ = std::move(connecting->telnet);
    heard_ = connection.early.first(std::min<qsizetype>(connection.early.size(), 64));
    ended_ = {};
    // What the line sent while the server set it up waits to be thrown away
    // with whatever else came before the first frame.
    buffer_ = connection.early.first(std::min(connection.early.size(), ReceiveBufferSize));
    co_return OpenResult{};
}

OpenResult SerialPort::openDevice()
{
    const QByteArray native = QFile::encodeName(path_);
    // Never this program's controlling terminal, never waiting for a modem's
    // carrier, never passed to a program it starts.
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENODEV || error == ENXIO)
            return {OpenFault::NoDevice, LinkTexts::tr("There is no device %1.").arg(path_)};
        if (error == EACCES || error == EPERM)
            return {OpenFault::Denied, PermissionAdvice(path_)};
        if (error == EBUSY)
            return heldRefusal(path_);
        return {OpenFault::Failed, LinkTexts::tr("%1 could not be opened: %2.")
                                       .arg(path_, QString::fromLocal8Bit(strerror(error)))};
    }
    const auto fail = [fd](OpenFault fault, const QString &reason) {
        ::close(fd);
        return OpenResult{fault, reason};
    };
    termios line{};
    if (::tcgetattr(fd, &line) != 0)
        return fail(OpenFault::NotSerial,
                    LinkTexts::tr("%1 could not be opened: it is not a serial device.").arg(path_));
    // Another of our programs (or a tool that locks the same way) has it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const OpenResult held = heldRefusal(path_);
        return fail(held.fault, held.reason);
    }
    if (const OpenResult refusal = LockFileRefusal(path_); !refusal)
        return fail(refusal.fault, refusal.reason);
    // A program that holds the device without a lock (a terminal, socat, a
    // modem prober) would take the module's answers and meet our frames in
    // its session: say which, and stay closed, before a setting of its line
    // is touched.
    if (holderCheck_ == HolderCheck::BeforeOpen) {
        if (const QString holder = DeviceHolder(path_); !holder.isEmpty())
            return fail(OpenFault::Held, LinkTexts::tr("%1 is in use by %2.").arg(path_, holder));
    }
    if (const OpenResult refusal = TakeLockFiles(path_, &lockFiles_); !refusal)
        return fail(refusal.fault, refusal.reason);
    // Others who do not lock at all are kept out by the terminal itself.
    ::ioctl(fd, TIOCEXCL);
    ::cfmakeraw(&line);
    ::cfsetispeed(&line, B9600);
    ::cfsetospeed(&line, B9600);
    line.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    line.c_cflag |= CS8 | CLOCAL | CREAD;
    line.c_iflag &= ~(IXON | IXOFF | IXANY);
    // The descriptor is non-blocking, so these mean nothing to our reads; but
    // the terminal's settings are shared, and VMIN 0 would make the blocking
    // reads of another user's program we cannot see (cat, socat) end as if
    // the line had closed.
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &line) != 0) {
        const int error = errno;
        ::ioctl(fd, TIOCNXCL);
        ReleaseLockFiles(lockFiles_);
        return fail(OpenFault::Failed, LinkTexts::tr("%1 could not be opened: %2.")
                                           .arg(path_, QString::fromLocal8Bit(strerror(error))));
    }
    fd_ = fd;
    return {};
}

void SerialPort::close()
{
    cancelOpen();
    losing_ = false;
    closeDevice();
}

Task<OpenResult> SerialPort::open()
{
    if (fd_ >= 0)
        co_return OpenResult{};
    if (connecting_)
        co_return OpenResult{OpenFault::Failed,
                             LinkTexts::tr("%1 is being opened already.").arg(path_)};
    if (path_.isEmpty())
        co_return OpenResult{OpenFault::Unassigned,
                             LinkTexts::tr("No device is assigned to this port number.")};
    // Not a co_await inside ?: — built by GCC 12, that corrupted the heap.
    OpenResult opened;
    if (network_)
        opened = co_await openNetwork();
    else
        opened = openDevice();
    if (!opened)
        co_return opened;
    // Bytes the system still holds from before this program opened the line
    // stay for the caller to throw away, and to show that it did.
    if (!network_)
        ::tcflush(fd_, TCOFLUSH);
    losing_ = false;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        if (!take())
            markLost();
    });
    co_return OpenResult{};
}

void SerialPort::closeDevice()
{
    if (fd_ < 0)
        return;
    delete notifier_;
    notifier_ = nullptr;
    // The exclusive mode belongs to the terminal, not to this descriptor: a
    // pseudo-terminal whose far end stays open, or a device another program
    // holds too, keeps it after the close and refuses everyone but root.
    if (!network_)
        ::ioctl(fd_, TIOCNXCL);
    // Every write was handed to the system whole; closing a terminal lets
    // what it still queues go out first. The flock goes with the close.
    ::close(fd_);
    fd_ = -1;
    ReleaseLockFiles(lockFiles_);
    buffer_.clear();
    telnet_.reset();
}

void SerialPort::noteEnd()
{
    const std::optional<NetworkAddress> address = ParseNetworkAddress(path_);
    ended_ = ConnectionEnded(address ? address->label() : path_, heard_);
}

SendResult SerialPort::write(const QByteArray &bytes)
{
    if (fd_ < 0)
        return {SendFault::NotOpen, LinkTexts::tr("The port is not open.")};
    qsizetype written = 0;
    int error = 0;
    // A line that takes nothing for a second (output stopped by flow
    // control, a wedged adapter) did not get the frame.
    // A server that hung up takes a frame into the void without a word (the
    // system still accepts it): the hang-up is looked for first.
    if (pollfd ready{fd_, POLLRDHUP, 0}; network_ && ::poll(&ready, 1, 0) == 1) {
        noteEnd();
        markLost();
        return {SendFault::Failed,
                LinkTexts::tr("The frame could not be written: %1").arg(ended_.reason)};
    }
    // A telnet server reads 0xFF as the start of a command unless doubled.
    const QByteArray out = telnet_ ? TelnetStream::escaped(bytes) : bytes;
    while (written < out.size()) {
        // A connection the server closed must not end this program (SIGPIPE).
        const ssize_t n =
            network_
                ? ::send(fd_, out.constData() + written, size_t(out.size() - written), MSG_NOSIGNAL)
                : ::write(fd_, out.constData() + written, size_t(out.size() - written));
        if (n > 0) {
            written += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            error = errno;
            break;
        }
        pollfd ready{fd_, POLLOUT, 0};
        if (::poll(&ready, 1, 1000) <= 0 || (ready.revents & (POLLERR | POLLHUP))) {
            error = ETIMEDOUT;
            break;
        }
    }
    if (written == out.size())
        return {};
    // The server of a network line hung up: said as a read would say it.
    if (network_ && (error == EPIPE || error == ECONNRESET)) {
        noteEnd();
        markLost();
        return {SendFault::Failed,
                LinkTexts::tr("The frame could not be written: %1").arg(ended_.reason)};
    }
    const bool gone = error == EIO || error == ENXIO || error == ENODEV;
    const QString reason =
        error == ETIMEDOUT
            ? LinkTexts::tr("%1 took none of the frame within a second (is its output stopped?).")
                  .arg(path_)
        : gone ? LinkTexts::tr("%1 went away as the frame was written: unplugged, or closed at "
                               "its far end (%2).")
                     .arg(path_, QString::fromLocal8Bit(strerror(error)))
               : LinkTexts::tr("The frame could not be written to %1: %2.")
                     .arg(path_, QString::fromLocal8Bit(strerror(error)));
    // Nothing of a frame reported as failed may go out later.
    if (!network_)
        ::tcflush(fd_, TCOFLUSH);
    if (gone)
        markLost();
    return {error == ETIMEDOUT ? SendFault::Stalled
            : gone             ? SendFault::Gone
                               : SendFault::Failed,
            reason};
}

bool SerialPort::hungUp() const
{
    pollfd ready{fd_, POLLIN, 0};
    return fd_ < 0 ||
           (::poll(&ready, 1, 0) == 1 && (ready.revents & (POLLHUP | POLLERR | POLLNVAL)));
}

bool SerialPort::readable() const
{
    pollfd ready{fd_, POLLIN, 0};
    return fd_ >= 0 && ::poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN);
}

QString SerialPort::schemeAdvice() const
{
    // IAC and a verb (SB, WILL, WONT, DO, DONT) never start a module's
    // answer: a settings reply's second byte is a mode, 0..11.
    if (!network_ || telnet_ || heard_.size() < 2 || std::uint8_t(heard_[0]) != 0xFF ||
        std::uint8_t(heard_[1]) < 250 || std::uint8_t(heard_[1]) > 254)
        return {};
    const std::optional<NetworkAddress> address = ParseNetworkAddress(path_);
    const QString where = address ? address->label() : path_;
    return LinkTexts::tr("%1 speaks telnet, as an RFC 2217 server does: use rfc2217://%1.")
        .arg(where);
}

bool SerialPort::take()
{
    if (fd_ < 0)
        return true;
    const qint64 room = ReceiveBufferSize - buffer_.size();
    if (room <= 0) {
        // Full: the bytes wait in the system until a caller reads.
        notifier_->setEnabled(false);
        return true;
    }
    QByteArray bytes(room, Qt::Uninitialized);
    ssize_t n;
    do
        n = ::read(fd_, bytes.data(), size_t(room));
    while (n < 0 && errno == EINTR);
    if (n < 0 && errno == EAGAIN)
        return true;
    // A raw line answers a read with nothing at once when nothing is
    // waiting, and that is also what it answers when another program on
    // the line took the bytes first: a quiet line. Only the system says
    // that the device went away: an error, or a hang-up.
    if (n <= 0 && network_) {
        noteEnd();
        return false;
    }
    if (n == 0)
        return !hungUp();
    if (n < 0)
        return false;
    bytes.truncate(n);
    if (network_ && heard_.size() < 64)
        heard_ += bytes.first(std::min<qsizetype>(n, 64 - heard_.size()));
    if (telnet_) {
        QByteArray answer;
        bytes = telnet_->feed(bytes, &answer);
        for (const TelnetStream::ComPortReply &said : telnet_->takeComPortReplies())
            emit serverSaid(said.command + 100, said.value, MonotonicNs());
        // The server's own questions are answered at once; a few bytes, and
        // a server that takes none of them is gone anyway.
        if (!answer.isEmpty())
            ::send(fd_, answer.constData(), size_t(answer.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (bytes.isEmpty())
            return true;
    }
    lastArrivalNs_ = MonotonicNs();
    buffer_ += bytes;
    emit arrived(bytes, lastArrivalNs_);
    return true;
}

int SerialPort::bytesWaiting()
{
    // Bytes the system holds but the event loop has not fetched yet belong
    // in the count too. A few rounds are enough: the buffer is bounded.
    for (int i = 0; i < 4 && readable(); ++i) {
        if (!take()) {
            markLost();
            break;
        }
    }
    return int(buffer_.size());
}

QByteArray SerialPort::takeAll()
{
    if (readable() && !take())
        markLost();
    if (notifier_)
        notifier_->setEnabled(!losing_);
    return std::exchange(buffer_, {});
}

QByteArray SerialPort::peek()
{
    if (readable() && !take())
        markLost();
    return buffer_;
}

QByteArray SerialPort::discardInput()
{
    QByteArray gone;
    // Read rather than flush, so that every byte thrown away can be shown.
    // The receive buffer is bounded, so a module flooding the line cannot
    // keep this loop going.
    for (int i = 0; i < 64 && fd_ >= 0; ++i) {
        gone += takeAll();
        if (!readable())
            break;
    }
    return gone + takeAll();
}

void SerialPort::markLost()
{
    if (fd_ < 0 || losing_)
        return;
    // Close once, from the event loop rather than inside a caller's step.
    losing_ = true;
    if (notifier_)
        notifier_->setEnabled(false);
    QMetaObject::invokeMethod(this, &SerialPort::closeLostPort, Qt::QueuedConnection);
}

void SerialPort::closeLostPort()
{
    if (!losing_)
        return;
    // Whatever was queued either way is of no use to a device that is gone.
    if (fd_ >= 0 && !network_)
        ::tcflush(fd_, TCIOFLUSH);
    closeDevice();
    losing_ = false;
    emit lost();
}

} // namespace lumavera
