#include "link/modulelink.h"

#include "link/serialport.h"
#include "link/texts.h"

#include <QDateTime>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <chrono>

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

    connect(replyTick_, &QTimer::timeout, this, &ModuleLink::onReplyTick);
    connect(port_, &SerialPort::arrived, this, &ModuleLink::onArrived);
    connect(port_, &SerialPort::lost, this, [this] {
        abortReplyWait();
        report(TrafficEvent::Kind::Lost, {}, port_->devicePath());
        emit lost();
    });
}

ModuleLink::~ModuleLink()
{
    abortReplyWait();
}

void ModuleLink::setDevicePath(const QString &path)
{
    port_->setDevicePath(path);
}

QString ModuleLink::devicePath() const
{
    return port_->devicePath();
}

OpenResult ModuleLink::open()
{
    if (const OpenResult opened = port_->open(); !opened)
        return opened;
    openedAtNs_ = MonotonicNs();
    moduleAnswered_ = false;
    report(TrafficEvent::Kind::Opened, {}, port_->devicePath(), openedAtNs_);
    // Whatever waited on the line before is no answer to anything sent here.
    discardStale();
    return {};
}

void ModuleLink::setHolderCheck(HolderCheck check)
{
    port_->setHolderCheck(check);
}

QString ModuleLink::holder()
{
    return port_->holder();
}

void ModuleLink::close()
{
    abortReplyWait();
    if (!port_->portOpen())
        return;
    port_->close();
    report(TrafficEvent::Kind::Closed, {}, port_->devicePath());
}

bool ModuleLink::isOpen() const
{
    return port_->portOpen();
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

bool ModuleLink::waitForQuiet(int quietMs)
{
    const QPointer<ModuleLink> self(this);
    QEventLoop loop;
    QTimer quiet;
    QTimer limit;
    quiet.setSingleShot(true);
    limit.setSingleShot(true);
    connect(&quiet, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &ModuleLink::lost, &loop, &QEventLoop::quit);
    connect(port_, &SerialPort::arrived, &loop,
            [&quiet, quietMs](const QByteArray &, qint64) { quiet.start(quietMs); });
    report(TrafficEvent::Kind::Waited, {},
           LinkTexts::tr("a late answer to an earlier command may still come"));
    quiet.start(quietMs);
    limit.start(quietMs * 4);
    loop.exec();
    if (!self)
        return false;
    discardStale();
    return true;
}

void ModuleLink::onReplyTick()
{
    ++ticks_;
    if (waitLoop_)
        waitLoop_->quit();
}

bool ModuleLink::waitForReply(int expected, const ReplyWaitRule &rule)
{
    const QPointer<ModuleLink> self(this);
    waiting_ = true;
    waitAborted_ = false;
    QEventLoop loop;
    QEventLoop *outer = waitLoop_;
    waitLoop_ = &loop;
    if (rule.policy == ReplyWaitRule::Policy::UntilComplete) {
        // Sleeps until bytes come, and ends as soon as the whole answer is
        // there or the time is up. Events run meanwhile, so a window that
        // waits for a command line stays responsive.
        QTimer deadline;
        deadline.setSingleShot(true);
        connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        const QMetaObject::Connection arrivals =
            connect(port_, &SerialPort::arrived, &loop, [&](const QByteArray &, qint64) {
                if (port_->bytesWaiting() >= expected)
                    loop.quit();
            });
        if (port_->bytesWaiting() < expected) {
            deadline.start(rule.timeoutMs);
            loop.exec();
        }
        if (self)
            disconnect(arrivals);
    } else {
        ticks_ = 0;
        replyTick_->start();
        // Sleeps until an event comes; every click, redraw and the tick
        // itself are handled in here. Only the tick or an abort ends it.
        loop.exec();
    }
    if (!self)
        return false;
    waitLoop_ = outer;
    if (rule.policy == ReplyWaitRule::Policy::OneTick)
        replyTick_->stop();
    // A wait that ran inside another one: the outer wait has seen the tick
    // as well, and ends too.
    if (outer)
        outer->quit();
    waiting_ = outer != nullptr;
    return !waitAborted_ && port_->portOpen() &&
           (rule.policy == ReplyWaitRule::Policy::UntilComplete || ticks_ >= 1);
}

void ModuleLink::abortReplyWait()
{
    if (!waiting_)
        return;
    waitAborted_ = true;
    replyTick_->stop();
    if (waitLoop_)
        waitLoop_->quit();
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
