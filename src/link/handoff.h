#pragma once

#include "link/modulelink.h"
#include "link/reply.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// How a command line hands a request to the window that holds the module's
// port, so that the two never fight over one line: one JSON object a line
// each way over a local socket of the user's own.

// The socket's path: $XDG_RUNTIME_DIR/lumavera.socket, or a per-user name in
// the temporary folder where there is no runtime folder.
QString HandoffSocketPath();

// One request, the primitive steps a command is made of.
struct HandoffRequest
{
    enum class Op { Color, Mode, Fade, Hold, Store, Read, Save, Probe };

    QString device; // the device the caller means, resolved to its real path
    Op op = Op::Color;
    int slot = 0;  // Store: 0..9
    int value = 0; // Mode, Fade, Hold
    Rgb colour;    // Color, Store

    QByteArray encode() const;
    static std::optional<HandoffRequest> decode(const QByteArray &line);
};

struct HandoffReply
{
    bool handled = false; // false: the window does not hold that device
    ReplyFault fault = ReplyFault::None;
    QString reason;
    ModuleSettings settings; // Read
    QStringList traffic;     // the traffic lines the step made

    QByteArray encode() const;
    static std::optional<HandoffReply> decode(const QByteArray &line);
};

// The real path of a device, links resolved, for telling whether two names
// mean one device.
QString RealDevicePath(const QString &path);
