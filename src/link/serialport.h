#pragma once

#include "link/deviceholder.h"
#include "link/lockfile.h"
#include "link/openfault.h"
#include "link/result.h"
#include "link/task.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace lumavera {

class TelnetStream;

// Why a frame did not go out whole.
enum class SendFault {
    None,
    NotOpen, // the port is closed
    Stalled, // the line took nothing for a second (output stopped, a wedged adapter)
    Failed,  // the system refused the write
    Gone,    // the device went away (unplugged, or its far end closed)
};
using SendResult = Result<SendFault>;

// The serial line to the LED module: 9600 baud, 8 data bits, no parity, one
// stop bit, no flow control, a 1024-byte receive buffer. The device is
// locked for this program with an exclusive flock() on it and TIOCEXCL (given
// back on every close, lost devices included), as
// current serial tools do; a lock file another program left in the shared
// lock folder is respected without ever being waited on (see lockfile.h). The device path
// (whoever opens the port resolves COM1..COM20 to one, see portmap.h) is the
// only thing that changes, and only while the port is closed. Bytes are
// taken into the receive buffer as they arrive, each batch stamped with the
// moment it came, and wait there until a caller asks for them.
// The path may also be a line another machine serves (rfc2217://HOST:PORT
// or socket://HOST:PORT, see networkport.h): the same bytes over TCP, the
// connection's end a lost device.
class SerialPort : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 ReceiveBufferSize = 1024;

    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;

    void setDevicePath(const QString &path);

    // Opens the device: raw 9600 8N1, locked against our other programs and
    // kept from everyone else. A network line is connected on a thread of
    // its own, its name looked up and its line set up there, while this
    // thread's event loop goes on.
    Task<OpenResult> open();
    // Whether an open is under way.
    bool opening() const { return bool(connecting_); }
    // Ends an open under way at once: it ends Stopped, and a connection that
    // comes after all is closed.
    void cancelOpen();
    // Closes the port after sending what is still queued; an open under
    // way is called off.
    void close();
    // Whether an open looks through /proc for another program that holds
    // the device without a lock, before a byte or a setting of the line.
    void setHolderCheck(HolderCheck check) { holderCheck_ = check; }
    // The programs holding the device beside this one now, where the open
    // looked first (so they came since), and how many processes of other
    // users could not be looked at; nothing when the open did not look. For
    // when an answer failed to come whole.
    HolderLook holder();
    bool portOpen() const { return fd_ >= 0; }
    // Whether the path is a line another machine serves.
    bool network() const { return network_; }
    // How long connecting to a network line may take in all.
    void setConnectTimeout(int ms) { connectTimeoutMs_ = ms; }
    // Why the last network connection ended, when its server ended it:
    // Held when the server said another client has the line.
    OpenResult ended() const { return ended_; }
    // Where a raw network line's server began with telnet's negotiation:
    // that it is a telnet (RFC 2217) server, and the scheme to use.
    QString schemeAdvice() const;
    QString devicePath() const { return path_; }

    // Hands the bytes to the system at once; whether every one of them went
    // out. When not, none is left queued.
    SendResult write(const QByteArray &bytes);

    // Bytes received and not read yet.
    int bytesWaiting();
    // Every byte waiting, removed from the receive buffer.
    QByteArray takeAll();
    // Every byte waiting, left in the receive buffer.
    QByteArray peek();
    // Throws away whatever has arrived and not been read; what it threw away.
    QByteArray discardInput();
    // When the newest byte in the receive buffer arrived (monotonic ns).
    qint64 lastArrivalNs() const { return lastArrivalNs_; }

signals:
    // Bytes came in, at `atNs` on the monotonic clock.
    void arrived(const QByteArray &bytes, qint64 atNs);
    // An RFC 2217 server said something of its own line (a notification of
    // its line or modem state, an answer no longer waited for): its
    // COM-PORT-OPTION code (106, 107, ...) and value.
    void serverSaid(int code, const QByteArray &value, qint64 atNs);
    // The device went away while open (unplugged, or the far end of a
    // pseudo-terminal closed). The port has been closed already.
    void lost();

private:
    // Opens, locks and sets up the line; the reason when it cannot.
    OpenResult openDevice();
    Task<OpenResult> openNetwork();
    void closeDevice();
    // The device went away: closed once, from the event loop.
    void markLost();
    void closeLostPort();
    // The server ended the network connection: why, kept for ended().
    void noteEnd();
    // Moves what the system delivered into the receive buffer, up to its
    // size; whether the line is still there.
    bool take();
    // Whether the system holds bytes not taken yet.
    bool readable() const;
    // Whether the system says the line is gone (a hang-up, an error).
    bool hungUp() const;

    int fd_ = -1;
    QList<HeldLockFile> lockFiles_;
    QSocketNotifier *notifier_ = nullptr;
    QString path_;
    QByteArray buffer_;
    qint64 lastArrivalNs_ = 0;
    bool losing_ = false;
    HolderCheck holderCheck_ = HolderCheck::BeforeOpen;
    bool network_ = false;
    std::unique_ptr<TelnetStream> telnet_; // rfc2217:// only
    int connectTimeoutMs_ = 2000;
    QByteArray heard_; // the first bytes of a network connection
    OpenResult ended_;
    struct Connecting;
    std::shared_ptr<Connecting> connecting_; // the network open under way
};

} // namespace lumavera
