#include "link/modulelink.h"

#include "link/serialport.h"
#include "link/texts.h"

#include <QDateTime>
#include <QPointer>
#include <QTimer>

#include <chrono>

namespace lumavera {

qint64 MonotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

ModuleLink::ModuleLink(QObject *parent) : QObject(parent)
{
    port_ = new SerialPort(this);
    port_->setObjectName(QStringLiteral("port"));
    replyTick_ = new QTimer(this);
    replyTick_->setObjectName(QStringLiteral("replyTick"));
    replyTick_->setInterval(500);
    replyTick_->setTimerType(Qt::PreciseTimer);
    deadline_ = new QTimer(this);
    quiet_ = new QTimer(this);
    quietLimit_ = new QTimer(this);
    for (QTimer *timer : {deadline_, quiet_, quietLimit_}) {
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, &ModuleLink::endWait);
    }

    connect(replyTick_, &QTimer::timeout, this, &ModuleLink::onReplyTick);
    connect(port_, &SerialPort::arrived, this, &ModuleLink::onArrived);
    connect(port_, &SerialPort::serverSaid, this, &ModuleLink::onServerSaid);
    connect(port_, &SerialPort::lost, this, [this] {
        deviceLost_ = true;
        abortReplyWait();
        // Nothing more comes from a device that is gone.
        if (quieting_)
            endWait();
        report(TrafficEvent::Kind::Lost, {}, port_->devicePath());
        emit lost();
    });
}

ModuleLink::~ModuleLink()
{
    endWaits();
}

void ModuleLink::setDevicePath(const QString &path)
{
    port_->setDevicePath(path);
}

QString ModuleLink::devicePath() const
{
    return port_->devicePath();
}

Task<OpenResult> ModuleLink::open()
{
    // A stopped open may have ended this link: nothing of it is touched.
    if (const OpenResult opened = co_await port_->open(); !opened)
        co_return opened;
    openedAtNs_ = MonotonicNs();
    moduleAnswered_ = false;
    deviceLost_ = false;
    report(TrafficEvent::Kind::Opened, {}, port_->devicePath(), openedAtNs_);
    // Whatever waited on the line before is no answer to anything sent here.
    discardStale();
    co_return OpenResult{};
}

bool ModuleLink::opening() const
{
    return port_->opening();
}

void ModuleLink::setHolderCheck(HolderCheck check)
{
    port_->setHolderCheck(check);
}

HolderLook ModuleLink::holder()
{
    return port_->holder();
}

void ModuleLink::close()
{
    abortReplyWait();
    if (!port_->portOpen()) {
        // May end whoever awaited the open, and this link with it.
        port_->cancelOpen();
        return;
    }
    port_->close();
    report(TrafficEvent::Kind::Closed, {}, port_->devicePath());
}

bool ModuleLink::isOpen() const
{
    return port_->portOpen();
}

QString ModuleLink::schemeAdvice() const
{
    return port_->schemeAdvice();
}

bool ModuleLink::isNetwork() const
{
    return port_->network();
}

void ModuleLink::setConnectTimeout(int ms)
{
    port_->setConnectTimeout(ms);
}

OpenResult ModuleLink::lossFault() const
{
    return port_->ended();
}

SendResult ModuleLink::send(const Frame &frame)
{
    const QByteArray bytes(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size()));
    // Stamped as it is handed to the system, not once the call returns.
    const qint64 at = MonotonicNs();
    const SendResult sent = port_->write(bytes);
    // The monitor shows the frame whether or not the line took it.
    report(TrafficEvent::Kind::Sent, bytes, DescribeFrame(frame), at);
    return sent;
}

void ModuleLink::report(TrafficEvent::Kind kind, const QByteArray &bytes, const QString &note,
                        qint64 atNs)
{
    // The wall clock of a past moment: now, less how long ago it was.
    const qint64 now = MonotonicNs();
    const qint64 at = atNs > 0 ? atNs : now;
    emit traffic(TrafficEvent{kind, at, QDateTime::currentMSecsSinceEpoch() - (now - at) / 1000000,
                              bytes, note});
}

void ModuleLink::onArrived(const QByteArray &bytes, qint64 atNs)
{
    // Bytes no exchange waits for are shown as they come; an answer is
    // shown once judged, at the time it came.
    if (!waiting_ && !discarding_)
        report(TrafficEvent::Kind::Received, bytes, LinkTexts::tr("not part of an answer"), atNs);
    if (quieting_)
        quiet_->start();
    else if (waiting_ && deadline_->isActive() && port_->bytesWaiting() >= expected_)
        endWait();
}

void ModuleLink::onServerSaid(int code, const QByteArray &value, qint64 atNs)
{
    // RFC 2217's names for what a server tells by itself; anything else
    // by its number.
    const QString what = code == 106 ? LinkTexts::tr("the server's line state (NOTIFY-LINESTATE)")
                         : code == 107
                             ? LinkTexts::tr("the server's modem state (NOTIFY-MODEMSTATE)")
                             : LinkTexts::tr("the server's COM-PORT-OPTION %1").arg(code);
    report(TrafficEvent::Kind::Notified, value, what, atNs);
}

qint64 ModuleLink::lastArrivalNs() const
{
    return port_->lastArrivalNs();
}

void ModuleLink::discardStale()
{
    discarding_ = true;
    const QByteArray stale = port_->discardInput();
    discarding_ = false;
    if (!stale.isEmpty())
        report(TrafficEvent::Kind::Discarded, stale);
}

Task<bool> ModuleLink::waitForQuiet(int quietMs)
{
    if (busy())
        co_return false;
    Waiter woken;
    beginWait(woken, quieting_);
    report(TrafficEvent::Kind::Waited, {},
           LinkTexts::tr("a late answer to an earlier command may still come"));
    quiet_->start(quietMs);
    quietLimit_->start(quietMs * 4);
    co_await woken;
    quiet_->stop();
    quietLimit_->stop();
    endedWait(quieting_);
    if (ending_)
        co_return false;
    discardStale();
    co_return true;
}

void ModuleLink::onReplyTick()
{
    ++ticks_;
    endWait();
}

Task<bool> ModuleLink::waitForReply(int expected, ReplyWaitRule rule)
{
    // One exchange at a time: the session refuses a second one before it
    // gets here.
    if (busy())
        co_return false;
    Waiter woken;
    beginWait(woken, waiting_);
    expected_ = expected;
    if (rule.policy == ReplyWaitRule::Policy::UntilComplete) {
        // Ends as soon as the whole answer is there or the time is up.
        if (port_->bytesWaiting() < expected) {
            deadline_->start(rule.timeoutMs);
            co_await woken;
            deadline_->stop();
        }
    } else {
        // Every click, redraw and the tick itself are handled meanwhile.
        // Only the tick or an abort ends it.
        ticks_ = 0;
        replyTick_->start();
        co_await woken;
        replyTick_->stop();
    }
    endedWait(waiting_);
    co_return !waitAborted_ && !ending_ && port_->portOpen() &&
        (rule.policy == ReplyWaitRule::Policy::UntilComplete || ticks_ >= 1);
}

Task<bool> ModuleLink::pause(int ms)
{
    if (ending_)
        co_return false;
    Waiter woken;
    pauses_.append(&woken);
    QTimer::singleShot(ms, Qt::PreciseTimer, this, [this, waiter = &woken] {
        if (pauses_.removeOne(waiter))
            waiter->wake();
    });
    co_await woken;
    co_return port_->portOpen() && !ending_;
}

void ModuleLink::endPauses()
{
    // Taken before any is woken, as endWaits does.
    for (Waiter *waiter : std::exchange(pauses_, {}))
        waiter->wake();
}

void ModuleLink::beginWait(Waiter &woken, bool &state)
{
    wait_ = &woken;
    state = true;
    waitAborted_ = false;
    ++waitNumber_;
}

void ModuleLink::endedWait(bool &state)
{
    wait_ = nullptr;
    state = false;
}

void ModuleLink::endWait()
{
    if (!wait_)
        return;
    // Woken from the loop, as the wait's own event, never from inside the
    // event that ended it: a Disconnect, an unplug or the tick is handled
    // whole first.
    QMetaObject::invokeMethod(
        this,
        [this, number = waitNumber_] {
            if (wait_ && waitNumber_ == number)
                wait_->wake();
        },
        Qt::QueuedConnection);
}

void ModuleLink::abortReplyWait()
{
    if (!waiting_)
        return;
    waitAborted_ = true;
    replyTick_->stop();
    endWait();
}

void ModuleLink::endWaits()
{
    ending_ = true;
    waitAborted_ = true;
    replyTick_->stop();
    // Every waiter is taken before any is woken: a woken coroutine may end
    // the owner, and this link with it, before the wake returns.
    QList<Waiter *> woken = std::exchange(pauses_, {});
    if (wait_)
        woken.prepend(wait_);
    const QPointer<ModuleLink> self(this);
    for (Waiter *waiter : woken)
        waiter->wake();
    // Gone with the wakes, the port called its open off as it went.
    if (self)
        port_->cancelOpen();
}

int ModuleLink::bytesWaiting()
{
    return port_->bytesWaiting();
}

QByteArray ModuleLink::peek()
{
    return port_->peek();
}

QByteArray ModuleLink::takeAll()
{
    return port_->takeAll();
}

} // namespace lumavera
