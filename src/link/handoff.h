#pragma once

#include "link/modulestep.h"
#include "link/result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

struct sockaddr_un;

namespace lumavera {

// How a command line hands a step to the window that holds the module's
// port, so that the two never fight over one line: one JSON object a line
// each way over a local socket of the user's own.

// The socket's path, in a folder that belongs to this user and that no one
// else can write: $XDG_RUNTIME_DIR when it is such a folder, else a private
// folder of the user's in the temporary folder, made on the way.
enum class HandoffFault {
    None,
    NoPrivateFolder, // no folder of the user's own for the socket
    Taken,           // another window serves the socket
    Failed,          // the system refused the socket
};
using HandoffResult = Result<HandoffFault>;
struct HandoffPath : HandoffResult
{
    QString path;
};
HandoffPath HandoffSocketPath();

// The socket address for `path`; false when the path is too long for one.
bool HandoffAddress(const QString &path, sockaddr_un *address);

// Whether the process at the other end of a connected local socket runs as
// this user.
bool PeerIsOwnUser(int socketFd);

// The longest request line a window reads.
inline constexpr int MaxHandoffLine = 64 * 1024;

// One request: a step for the device the caller means, or a probe that only
// asks whether the window holds it.
struct HandoffRequest
{
    QString device; // resolved to its real path
    bool probe = false;
    ModuleStep step;
    int timeoutMs = 500; // how long the step waits for an answer

    QByteArray encode() const;
    static std::optional<HandoffRequest> decode(const QByteArray &line);
};

struct HandoffReply
{
    bool handled = false; // false: the window does not hold that device
    StepOutcome outcome;
    QStringList traffic; // the traffic lines the step made

    QByteArray encode() const;
    static std::optional<HandoffReply> decode(const QByteArray &line);
};

// The real path of a device, links resolved, for telling whether two names
// mean one device.
QString RealDevicePath(const QString &path);

} // namespace lumavera
