#pragma once

#include "link/commandframe.h"
#include "link/reply.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>

class QEventLoop;
class QTimer;
class SerialPort;

// One thing that happened on the line, as the monitor, the traffic log and
// the command line's --verbose show it.
struct TrafficEvent
{
    enum class Kind {
        Sent,      // a frame went out
        Received,  // bytes read as an answer
        Discarded, // stale bytes thrown away before a command
        Opened,    // the port was opened (note: the device)
        Closed,    // the port was closed on request
        Lost,      // the device went away
    };

    Kind kind = Kind::Sent;
    qint64 atNs = 0;   // monotonic clock
    qint64 wallMs = 0; // the same moment on the wall clock, ms since 1970 UTC
    QByteArray bytes;
    // Sent: the frame in words; Received: how the checks judged the answer;
    // Opened, Closed, Lost: the device.
    QString note;
};

// Nanoseconds on the monotonic clock the traffic is stamped with.
qint64 MonotonicNs();

// Why an answer was not usable.
enum class ReplyFault {
    None,
    Aborted,    // the wait ended early: Disconnect, close, or the port was lost
    NoAnswer,   // nothing came back
    Short,      // fewer bytes than the answer has
    BadStart,   // a settings reply that does not start like one
    OutOfRange, // a settings reply with a list position outside its list
    WrongAck,   // an acknowledgement other than FE AA
};

struct SettingsOutcome
{
    ReplyFault fault = ReplyFault::None;
    int count = 0; // bytes waiting after the wait
    ModuleSettings settings;
    QString reason; // for the user, empty when all is well
    bool ok() const { return fault == ReplyFault::None; }
};

struct SaveOutcome
{
    ReplyFault fault = ReplyFault::None;
    int count = 0;
    QString reason;
    bool ok() const { return fault == ReplyFault::None; }
};

// The exchange with the LED module over its serial line: the one command
// frame, the transmitter, the reply wait, and the checks and decoding of the
// two answers, one exchange at a time. Every byte that goes out, is read as
// an answer or is thrown away is reported through traffic().
class ModuleLink : public QObject
{
    Q_OBJECT

public:
    // How a caller waits for an answer: the window waits exactly one 500 ms
    // tick of Timer1 while its events run; a command line waits until the
    // whole answer is there or its timeout ends, whichever comes first.
    enum class WaitPolicy { OneTick, UntilComplete };

    explicit ModuleLink(QObject *parent = nullptr);
    ~ModuleLink() override;

    void setWaitPolicy(WaitPolicy policy, int timeoutMs = 500);

    // The port, opened by device path.
    void setDevicePath(const QString &path);
    QString devicePath() const;
    bool open();
    QString openError() const;
    void close();
    bool isOpen() const;

    // Bytes 1..4 of the command frame; byte 0 is the start marker.
    void setFrameBody(const FrameBody &body);
    // Writes the command frame to the port and reports it.
    void SendCommandFrame();
    void send(const FrameBody &body);

    // Whether an exchange is waiting for its answer.
    bool busy() const { return waiting_; }
    // Ends a running wait at once; its answer is dropped.
    void abortReplyWait();

    // The two commands with an answer. Stale bytes are thrown away first,
    // so that leftovers from earlier traffic cannot shift the answer.
    SettingsOutcome ReadModuleSettings();
    SaveOutcome SaveToEeprom();

signals:
    void traffic(const TrafficEvent &event);
    // The device went away while open; the port is closed already.
    void lost();

private:
    bool ReplyWait(int expected);
    void Timer1_Timer();
    void discardStale();
    void report(TrafficEvent::Kind kind, const QByteArray &bytes, const QString &note = {});
    // After a failed count check: why, in words for the user and in the
    // traffic report. Whether the check failed.
    bool tooShort(bool countOk, int count, int expected, const QString &verdict, ReplyFault *fault,
                  QString *reason);

    SerialPort *MSComm1;
    QTimer *Timer1;
    std::int16_t TickCount = 0;
    Frame CommandFrame{};

    WaitPolicy policy_ = WaitPolicy::OneTick;
    int timeoutMs_ = 500;
    QEventLoop *waitLoop_ = nullptr;
    bool waiting_ = false;
    bool waitAborted_ = false;
};
