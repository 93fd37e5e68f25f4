#include "ctl/moduleaccess.h"

#include "app/unixsignals.h"
#include "ctl/texts.h"
#include "link/trafficline.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <QFile>
#include <utility>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace lumavera {

// The window keeps its line open after the command: what it sent is not
// thrown away by a close.
Task<StepOutcome> ModuleAccess::confirmDelivered()
{
    co_return StepOutcome{};
}

Task<bool> ModuleAccess::pause(int ms)
{
    if (stopped_)
        co_return false;
    Waiter woken;
    pausing_ = &woken;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [this] {
        if (Waiter *w = std::exchange(pausing_, nullptr))
            w->wake();
    });
    timer.start(ms);
    co_await woken;
    co_return !stopped_;
}

void ModuleAccess::stop()
{
    stopped_ = true;
    // The waits end from the event loop, after the event that stopped them
    // (a signal's): the command then ends, and this with it, while nothing
    // of the stop is on the stack any more.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, alive = std::weak_ptr<void>(alive_)] {
            if (!alive.expired())
                endWaits();
        },
        Qt::QueuedConnection);
}

void ModuleAccess::endWaits()
{
    if (Waiter *w = std::exchange(pausing_, nullptr))
        w->wake();
}

StepOutcome ModuleAccess::StoppedOutcome()
{
    StepOutcome stopped;
    stopped.fault = ReplyFault::Stopped;
    stopped.reason = CtlTexts::tr("Stopped before it was done.");
    return stopped;
}

StepOutcome ModuleAccess::unlessStopped(const StepOutcome &out) const
{
    return !stopped_ || out.ok() ? out : StoppedOutcome();
}

Task<bool> DirectAccess::pause(int ms)
{
    // A device that went away meanwhile is said by the next step.
    if (!stopped())
        co_await link_.pause(ms);
    co_return !stopped();
}

Task<OpenResult> DirectAccess::open()
{
    link_.setHolderCheck(HolderCheck::BeforeOpen);
    if (const OpenResult opened = co_await link_.open(); !opened || !link_.isNetwork())
        co_return opened;
    firstRead_ = co_await session_.run(ModuleStep::read());
    // What a server says as it hangs up may come as fast as an answer
    // would, and pass for a bad one: a failed first read waits for the
    // line to go quiet, or the connection to end, before it is judged.
    if (!firstRead_->ok() && firstRead_->fault != ReplyFault::Stopped && link_.isOpen())
        co_await link_.waitForQuiet(200);
    // A server that hung up before a module answered did not serve the
    // line: the port is not available, with the server's words.
    if (const OpenResult ended = link_.lossFault();
        ended.fault == OpenFault::Held || (!ended.ok() && !firstRead_->ok()))
        co_return ended;
    co_return OpenResult{};
}

Task<StepOutcome> DirectAccess::run(ModuleStep step)
{
    if (stopped())
        co_return StoppedOutcome();
    // The read made at the open answers a read command, or holds back any
    // other step when it failed.
    if (const std::optional<StepOutcome> first = std::exchange(firstRead_, std::nullopt)) {
        if (step.kind == ModuleStep::Kind::Read)
            co_return *first;
        if (!first->ok())
            co_return session_.withheld(*first);
    }
    co_return unlessStopped(co_await session_.run(step));
}

Task<StepOutcome> DirectAccess::confirmDelivered()
{
    if (stopped())
        co_return StoppedOutcome();
    co_return unlessStopped(co_await session_.confirmDelivered());
}

DirectAccess::DirectAccess(const QString &device, int timeoutMs)
    : session_(link_, ReplyWaitRule::untilComplete(timeoutMs))
{
    link_.setDevicePath(device);
    // A line on another machine is connected to and set up within the
    // command's own timeout.
    link_.setConnectTimeout(timeoutMs);
    QObject::connect(&link_, &ModuleLink::traffic, &link_, [this](const TrafficEvent &event) {
        if (onTraffic)
            onTraffic(TrafficLine(event, link_.openedAtNs(), TrafficTime::SinceOpen));
    });
}

WindowAccess::~WindowAccess()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool WindowAccess::attach(const QString &device)
{
    device_ = device;
    sockaddr_un address{};
    if (!HandoffAddress(HandoffSocketPath().path, &address))
        return false;
    // Non-blocking: a window whose queue is full, or that is stopped, is
    // busy or absent, and never holds the command past its timeout.
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return false;
    // A server of another user's is no window of this user's, whatever it
    // says: the command goes to the port itself.
    if (!PeerIsOwnUser(fd_)) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    HandoffRequest probe;
    probe.probe = true;
    return call(probe).handled;
}

bool WindowAccess::sendLine(const QByteArray &line, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n =
            ::send(fd_, line.constData() + done, size_t(line.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            const qint64 left = timeoutMs - clock.elapsed();
            pollfd p{fd_, POLLOUT, 0};
            if (left <= 0 || ::poll(&p, 1, int(left)) <= 0)
                return false;
            continue;
        }
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

std::optional<QByteArray> WindowAccess::readLine(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!pending_.contains('\n')) {
        const qint64 left = timeoutMs - clock.elapsed();
        pollfd p{fd_, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0 || pending_.size() > MaxHandoffLine)
            return std::nullopt;
        char buf[4096];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0)
            return std::nullopt;
        pending_.append(buf, n);
    }
    const qsizetype end = pending_.indexOf('\n');
    const QByteArray line = pending_.left(end);
    pending_.remove(0, end + 1);
    return line;
}

HandoffReply WindowAccess::call(const HandoffRequest &request)
{
    HandoffRequest sent = request;
    sent.device = device_;
    sent.timeoutMs = timeoutMs_;
    HandoffReply failed;
    failed.outcome.fault = ReplyFault::Aborted;
    failed.outcome.reason = CtlTexts::tr("The window stopped answering.");
    // A window answers a probe at once; a step waits its turn behind the
    // window's own exchange (a tick, or a command's own answer), then for its
    // own answer. A window that takes longer is stopped or stuck.
    QElapsedTimer clock;
    clock.start();
    const int limitMs =
        request.probe ? std::max(timeoutMs_, ProbeMinimumMs) : timeoutMs_ + QueueAllowanceMs;
    if (fd_ < 0 || !sendLine(sent.encode(), limitMs))
        return failed;
    const std::optional<QByteArray> line = readLine(int(limitMs - clock.elapsed()));
    const std::optional<HandoffReply> reply = line ? HandoffReply::decode(*line) : std::nullopt;
    if (!reply)
        return failed;
    if (onTraffic) {
        for (const QString &text : reply->traffic)
            onTraffic(text);
    }
    return *reply;
}

Task<StepOutcome> WindowAccess::run(ModuleStep step)
{
    if (stopped())
        co_return StoppedOutcome();
    HandoffRequest request;
    request.step = step;
    const HandoffReply reply = call(request);
    // A signal interrupts the wait on the window's socket before its handler
    // runs in the loop.
    if (LastUnixSignal() != 0)
        stop();
    if (stopped())
        co_return unlessStopped(reply.outcome);
    // A step the window did not carry out did not happen, whatever it says.
    if (!reply.handled && reply.outcome.ok()) {
        StepOutcome out;
        out.fault = ReplyFault::NotHeld;
        out.reason = CtlTexts::tr("The window no longer holds %1.").arg(device_);
        co_return out;
    }
    co_return reply.outcome;
}

} // namespace lumavera
