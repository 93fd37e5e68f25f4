#include "link/modulelink.h"

#include "link/serialport.h"

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
    MSComm1 = new SerialPort(this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    Timer1->setTimerType(Qt::PreciseTimer);
    CommandFrame[0] = StartMarker;

    connect(Timer1, &QTimer::timeout, this, &ModuleLink::Timer1_Timer);
    connect(MSComm1, &SerialPort::arrived, this, &ModuleLink::MSComm1_Arrived);
    connect(MSComm1, &SerialPort::lost, this, [this] {
        abortReplyWait();
        report(TrafficEvent::Kind::Lost, {}, MSComm1->devicePath());
        emit lost();
    });
}

ModuleLink::~ModuleLink()
{
    abortReplyWait();
}

void ModuleLink::setDevicePath(const QString &path)
{
    MSComm1->setDevicePath(path);
}

QString ModuleLink::devicePath() const
{
    return MSComm1->devicePath();
}

bool ModuleLink::open()
{
    if (!MSComm1->setPortOpen(true))
        return false;
    openedAtNs_ = MonotonicNs();
    report(TrafficEvent::Kind::Opened, {}, MSComm1->devicePath(), openedAtNs_);
    // Whatever waited on the line before is no answer to anything sent here.
    discardStale();
    return true;
}

void ModuleLink::setHolderCheck(HolderCheck check)
{
    MSComm1->setHolderCheck(check);
}

QString ModuleLink::holder()
{
    return MSComm1->holder();
}

void ModuleLink::dropHolderLookup()
{
    MSComm1->dropHolderLookup();
}

QString ModuleLink::openError() const
{
    return MSComm1->openError();
}

void ModuleLink::close()
{
    abortReplyWait();
    if (!MSComm1->portOpen())
        return;
    MSComm1->setPortOpen(false);
    report(TrafficEvent::Kind::Closed, {}, MSComm1->devicePath());
}

bool ModuleLink::isOpen() const
{
    return MSComm1->portOpen();
}

void ModuleLink::setFrameBody(const FrameBody &body)
{
    std::copy(body.begin(), body.end(), CommandFrame.begin() + 1);
}

bool ModuleLink::SendCommandFrame()
{
    const QByteArray bytes(reinterpret_cast<const char *>(CommandFrame.data()),
                           qsizetype(CommandFrame.size()));
    // Stamped as it is handed to the system, not once the call returns.
    const qint64 at = MonotonicNs();
    const bool sent = MSComm1->output(bytes);
    sendError_ = sent ? QString() : MSComm1->outputError();
    // The monitor shows the frame whether or not the line took it.
    report(TrafficEvent::Kind::Sent, bytes, DescribeFrame(CommandFrame), at);
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

void ModuleLink::MSComm1_Arrived(const QByteArray &bytes, qint64 atNs)
{
    // Bytes no exchange waits for are shown as they come; an answer is
    // shown once judged, at the time it came.
    if (!waiting_ && !discarding_)
        report(TrafficEvent::Kind::Received, bytes, tr("not part of an answer"), atNs);
}

qint64 ModuleLink::lastArrivalNs() const
{
    return MSComm1->lastArrivalNs();
}

void ModuleLink::discardStale()
{
    discarding_ = true;
    const QByteArray stale = MSComm1->discardInput();
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
    connect(MSComm1, &SerialPort::arrived, &loop,
            [&quiet, quietMs](const QByteArray &, qint64) { quiet.start(quietMs); });
    quiet.start(quietMs);
    limit.start(quietMs * 4);
    loop.exec();
    if (!self)
        return false;
    discardStale();
    return true;
}

void ModuleLink::Timer1_Timer()
{
    ++TickCount;
    if (waitLoop_)
        waitLoop_->quit();
}

bool ModuleLink::ReplyWait(int expected, const ReplyWaitRule &rule)
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
            connect(MSComm1, &SerialPort::arrived, &loop, [&](const QByteArray &, qint64) {
                if (MSComm1->inBufferCount() >= expected)
                    loop.quit();
            });
        if (MSComm1->inBufferCount() < expected) {
            deadline.start(rule.timeoutMs);
            loop.exec();
        }
        if (self)
            disconnect(arrivals);
    } else {
        TickCount = 0;
        Timer1->start();
        // Sleeps until an event comes; every click, redraw and the tick
        // itself are handled in here. Only the tick or an abort ends it.
        loop.exec();
    }
    if (!self)
        return false;
    waitLoop_ = outer;
    if (rule.policy == ReplyWaitRule::Policy::OneTick)
        Timer1->stop();
    // A wait that ran inside another one: the outer wait has seen the tick
    // as well, and ends too.
    if (outer)
        outer->quit();
    waiting_ = outer != nullptr;
    return !waitAborted_ && MSComm1->portOpen() &&
           (rule.policy == ReplyWaitRule::Policy::UntilComplete || TickCount >= 1);
}

void ModuleLink::abortReplyWait()
{
    if (!waiting_)
        return;
    waitAborted_ = true;
    Timer1->stop();
    if (waitLoop_)
        waitLoop_->quit();
}

int ModuleLink::InBufferCount()
{
    return MSComm1->inBufferCount();
}

QByteArray ModuleLink::peek()
{
    return MSComm1->peek();
}

QByteArray ModuleLink::Input()
{
    return MSComm1->input();
}
