#include "link/modulelink.h"

#include "link/serialport.h"

#include <QDateTime>
#include <QElapsedTimer>
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
    MSComm1->setInputMode(SerialPort::InputMode::Binary);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    Timer1->setTimerType(Qt::PreciseTimer);
    CommandFrame[0] = StartMarker;

    connect(Timer1, &QTimer::timeout, this, &ModuleLink::Timer1_Timer);
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

void ModuleLink::setWaitPolicy(WaitPolicy policy, int timeoutMs)
{
    policy_ = policy;
    timeoutMs_ = timeoutMs;
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
    report(TrafficEvent::Kind::Opened, {}, MSComm1->devicePath());
    // Whatever waited on the line before is no answer to anything sent here.
    discardStale();
    return true;
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

void ModuleLink::SendCommandFrame()
{
    const QByteArray bytes(reinterpret_cast<const char *>(CommandFrame.data()),
                           qsizetype(CommandFrame.size()));
    MSComm1->output(bytes);
    report(TrafficEvent::Kind::Sent, bytes, DescribeFrame(CommandFrame));
}

void ModuleLink::send(const FrameBody &body)
{
    setFrameBody(body);
    SendCommandFrame();
}

void ModuleLink::report(TrafficEvent::Kind kind, const QByteArray &bytes, const QString &note)
{
    emit traffic(
        TrafficEvent{kind, MonotonicNs(), QDateTime::currentMSecsSinceEpoch(), bytes, note});
}

void ModuleLink::discardStale()
{
    const QByteArray stale = MSComm1->discardInput();
    if (!stale.isEmpty())
        report(TrafficEvent::Kind::Discarded, stale);
}

void ModuleLink::Timer1_Timer()
{
    ++TickCount;
    if (waitLoop_)
        waitLoop_->quit();
}

bool ModuleLink::ReplyWait(int expected)
{
    QPointer<ModuleLink> self(this);
    waiting_ = true;
    waitAborted_ = false;
    if (policy_ == WaitPolicy::UntilComplete) {
        // Sleeps in the kernel until bytes come; ends as soon as the whole
        // answer is there.
        QElapsedTimer clock;
        clock.start();
        while (!waitAborted_ && MSComm1->portOpen() && MSComm1->inBufferCount() < expected) {
            const qint64 left = timeoutMs_ - clock.elapsed();
            if (left <= 0 || !MSComm1->waitForInput(int(left)))
                break;
        }
    } else {
        QEventLoop loop;
        TickCount = 0;
        waitLoop_ = &loop;
        Timer1->start();
        // Sleeps until an event comes; every click, redraw and the tick
        // itself are handled in here. Only the tick or an abort ends it.
        loop.exec();
        if (!self)
            return false;
        Timer1->stop();
        waitLoop_ = nullptr;
    }
    waiting_ = false;
    return !waitAborted_ && MSComm1->portOpen() &&
           (policy_ == WaitPolicy::UntilComplete || TickCount >= 1);
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

bool ModuleLink::tooShort(bool countOk, int count, int expected, const QString &verdict,
                          ReplyFault *fault, QString *reason)
{
    if (countOk)
        return false;
    *fault = count == 0 ? ReplyFault::NoAnswer : ReplyFault::Short;
    *reason = count == 0 ? tr("No answer came from the module within %1 ms.").arg(timeoutMs_)
                         : tr("Only %1 of %2 bytes came back.").arg(count).arg(expected);
    // What came is left where it is, as the protocol asks; it is shown here
    // and thrown away before the next command.
    if (count > 0)
        report(TrafficEvent::Kind::Received, MSComm1->peek(),
               tr("%1: only %2 of %3 bytes").arg(verdict).arg(count).arg(expected));
    return true;
}

SettingsOutcome ModuleLink::ReadModuleSettings()
{
    SettingsOutcome out;
    discardStale();
    send(ReadModuleSettingsBody());
    if (!ReplyWait(SettingsReplyLength)) {
        out.fault = ReplyFault::Aborted;
        return out;
    }

    out.count = MSComm1->inBufferCount();
    if (tooShort(SettingsReplyCountOk(out.count), out.count, SettingsReplyLength, tr("Read Error"),
                 &out.fault, &out.reason))
        return out;
    const QByteArray reply = MSComm1->input();
    if (!SettingsReplyContentOk(reply)) {
        out.fault = ReplyFault::BadStart;
        out.reason = tr("The answer does not start like a settings reply.");
        report(TrafficEvent::Kind::Received, reply,
               tr("Read Error: does not start like a settings reply"));
        return out;
    }
    const std::optional<ModuleSettings> settings = DecodeSettingsReply(reply);
    if (!settings) {
        out.fault = ReplyFault::OutOfRange;
        const auto at = [&](int i) { return std::uint8_t(reply[i]); };
        out.reason = tr("The answer holds mode %1, fade %2 and hold %3; the lists go up to "
                        "%4, %5 and %6.")
                         .arg(at(1))
                         .arg(at(2))
                         .arg(at(3))
                         .arg(MaxMode)
                         .arg(MaxFade)
                         .arg(MaxHold);
        report(TrafficEvent::Kind::Received, reply,
               tr("Read Error: mode %1 fade %2 hold %3 out of range")
                   .arg(at(1))
                   .arg(at(2))
                   .arg(at(3)));
        return out;
    }
    out.settings = *settings;
    report(TrafficEvent::Kind::Received, reply,
           tr("settings reply: mode %1 fade %2 hold %3")
               .arg(settings->mode)
               .arg(settings->fade)
               .arg(settings->hold));
    return out;
}

SaveOutcome ModuleLink::SaveToEeprom()
{
    SaveOutcome out;
    discardStale();
    send(SaveToEepromBody());
    if (!ReplyWait(SaveAckLength)) {
        out.fault = ReplyFault::Aborted;
        return out;
    }
    out.count = MSComm1->inBufferCount();
    if (tooShort(SaveAckCountOk(out.count), out.count, SaveAckLength, tr("No Module Found"),
                 &out.fault, &out.reason))
        return out;
    const QByteArray reply = MSComm1->input();
    if (!SaveAckOk(reply)) {
        out.fault = ReplyFault::WrongAck;
        out.reason = tr("The module acknowledged with %1 instead of FE AA.")
                         .arg(QString::fromLatin1(reply.first(2).toHex(' ').toUpper()));
        report(TrafficEvent::Kind::Received, reply, tr("wrong acknowledgement"));
        return out;
    }
    report(TrafficEvent::Kind::Received, reply, tr("acknowledgement: saved"));
    return out;
}
