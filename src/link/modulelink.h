#pragma once

#include "link/commandframe.h"
#include "link/deviceholder.h"
#include "link/serialport.h"
#include "link/task.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>

class QTimer;

namespace lumavera {

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
        Waited,    // a late answer to an earlier exchange was waited out
        Notified,  // a network line's server told of its line (note: what)
    };

    Kind kind = Kind::Sent;
    qint64 atNs = 0;   // monotonic clock
    qint64 wallMs = 0; // the same moment on the wall clock, ms since 1970 UTC
    QByteArray bytes;
    // Sent: the frame in words; Received: how the checks judged the answer;
    // Opened, Closed, Lost: the device; Waited: why.
    QString note;
};

// Nanoseconds on the monotonic clock the traffic is stamped with.
qint64 MonotonicNs();

// How long an exchange waits for its answer: the window waits exactly one
// 500 ms tick while its events run; a command line waits until the
// whole answer is there or its timeout ends, whichever comes first.
struct ReplyWaitRule
{
    enum class Policy { OneTick, UntilComplete };
    Policy policy = Policy::OneTick;
    int timeoutMs = 500;

    static ReplyWaitRule oneTick() { return {Policy::OneTick, 500}; }
    static ReplyWaitRule untilComplete(int ms) { return {Policy::UntilComplete, ms}; }
};

// The serial line to the LED module with its one command frame, the
// transmitter and the reply wait. Every byte that goes out, is read as an
// answer or is thrown away is reported through traffic(). What a step means
// and how its answer is judged is ModuleSession's.
class ModuleLink : public QObject
{
    Q_OBJECT

public:
    explicit ModuleLink(QObject *parent = nullptr);
    ~ModuleLink() override;

    // The port, opened by device path. A network line connects without
    // holding up the event loop; close() or endWaits() calls the open off
    // (it ends OpenFault::Stopped, and whoever awaits it must then touch
    // nothing that may have gone).
    void setDevicePath(const QString &path);
    QString devicePath() const;
    Task<OpenResult> open();
    bool opening() const;
    // How open() looks for another program holding the device (see SerialPort).
    void setHolderCheck(HolderCheck check);
    // Who else has the device now (see SerialPort::holder).
    HolderLook holder();
    void close();
    bool isOpen() const;
    // Whether the port is a line another machine serves (see networkport.h).
    bool isNetwork() const;
    // How long connecting to such a line may take in all.
    void setConnectTimeout(int ms);
    // Why the network line's server ended the connection, when it did.
    QString lossReason() const { return lossFault().reason; }
    // Where a network line was given the wrong scheme, which to use.
    QString schemeAdvice() const;
    OpenResult lossFault() const;
    // Whether a module answered a read since the port opened. A line on
    // another machine may lead anywhere: only a read goes to it before one has.
    bool moduleAnswered() const { return moduleAnswered_; }
    // Whether the device went away (unplugged, its far end closed) since
    // the port last opened.
    bool deviceLost() const { return deviceLost_; }
    void setModuleAnswered() { moduleAnswered_ = true; }
    // When the port was last opened, on the traffic's clock.
    qint64 openedAtNs() const { return openedAtNs_; }

    // Writes `frame` to the port and reports it; whether every byte went out.
    SendResult send(const Frame &frame);

    // Whether an exchange is waiting for its answer, or for the line to go
    // quiet before it; and always once the link is ending.
    bool busy() const { return waiting_ || quieting_ || ending_; }
    // Ends a running wait; its answer is dropped. The waiting exchange goes
    // on once the event that ended it has been handled.
    void abortReplyWait();
    // Ends every wait now, an open under way too, before this call returns,
    // and refuses new ones: for an owner about to go, so that nothing waits
    // on it afterwards.
    void endWaits();

    // Throws away bytes waiting from earlier traffic, and reports them.
    void discardStale();
    // Lets the line go quiet: waits until no byte has come for `quietMs` (at
    // most four times that in all, so that a flood cannot hold it), then
    // throws away what came. False when the wait was cut short.
    Task<bool> waitForQuiet(int quietMs);
    // Waits for an answer of `expected` bytes by `rule`; false when the wait
    // was cut short (Disconnect, close, a lost port).
    Task<bool> waitForReply(int expected, ReplyWaitRule rule);
    // A pause between frames; false when the port closed meanwhile, or the
    // link is ending.
    Task<bool> pause(int ms);
    // Ends the pauses under way early (each returns as if its time were
    // up), and takes new ones.
    void endPauses();
    // Whether the link takes no more waits (endWaits).
    bool waitsEnded() const { return ending_; }
    // The receive buffer after a wait: its count, its bytes left in place,
    // and all of them taken out.
    int bytesWaiting();
    QByteArray peek();
    QByteArray takeAll();

    // When the newest byte of the answer came.
    qint64 lastArrivalNs() const;

    // One traffic event, stamped `atNs` (0: now).
    void report(TrafficEvent::Kind kind, const QByteArray &bytes, const QString &note = {},
                qint64 atNs = 0);

signals:
    void traffic(const TrafficEvent &event);
    // The device went away while open; the port is closed already.
    void lost();

private:
    void onReplyTick();
    void onArrived(const QByteArray &bytes, qint64 atNs);
    void onServerSaid(int code, const QByteArray &value, qint64 atNs);
    // The reply wait or the quiet wait (`state` says which runs) begins,
    // and is over.
    void beginWait(Waiter &woken, bool &state);
    void endedWait(bool &state);
    // Ends the reply wait or the quiet wait, whichever runs: its coroutine
    // goes on from the event loop, once the event at hand is done with.
    void endWait();

    SerialPort *port_;
    QTimer *replyTick_; // the window's one 500 ms tick
    QTimer *deadline_;  // a command line's timeout
    QTimer *quiet_;     // no byte for a while
    QTimer *quietLimit_;
    std::int16_t ticks_ = 0;

    // The one exchange's wait, and the pauses; each woken exactly once.
    Waiter *wait_ = nullptr;
    QList<Waiter *> pauses_;
    quint64 waitNumber_ = 0;
    int expected_ = 0;
    bool waiting_ = false;
    bool quieting_ = false;
    bool ending_ = false;
    bool waitAborted_ = false;
    bool discarding_ = false;
    qint64 openedAtNs_ = 0;
    bool moduleAnswered_ = false;
    bool deviceLost_ = false;
};

} // namespace lumavera
