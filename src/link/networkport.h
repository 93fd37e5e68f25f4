#pragma once

#include "link/openfault.h"

#include <QString>

#include <optional>

namespace lumavera {

class TelnetStream;

// A serial line another machine serves over TCP, as ser2net does, named as
// other serial tools name it: rfc2217://HOST:PORT (telnet with the serial
// settings made at the far end) or socket://HOST:PORT (the bytes as they
// are, the far end's settings fixed by its server). HOST is a name, an IPv4
// address or an [IPv6] address.
struct NetworkAddress
{
    enum class Kind { Raw, Rfc2217 };
    Kind kind = Kind::Raw;
    QString host; // without the brackets of an IPv6 address
    quint16 port = 0;

    // "HOST:PORT", "[::1]:PORT", as the user is told of it.
    QString label() const;
};

// Whether a port name is a network address at all (rfc2217:// or socket://),
// well formed or not.
bool IsNetworkPort(const QString &name);
// The address a port name stands for; none when it is not one or is not
// well formed.
std::optional<NetworkAddress> ParseNetworkAddress(const QString &name);
// What is said of a name that starts like a network line but is not a well
// formed one ("NAME is no network address: write rfc2217://HOST:PORT or
// socket://HOST:PORT"); empty for any other name.
QString MalformedNetworkAddress(const QString &name);

// An open connection to the line: its socket, and for RFC 2217 the telnet
// stream it speaks (data that came during the negotiation kept in `early`).
struct NetworkConnection : OpenResult
{
    int fd = -1;
    QByteArray early;
};

// Why a server ended a connection, from what it sent first: Held where it
// said another client has the line (ser2net says so in words, then hangs up).
OpenResult ConnectionEnded(const QString &where, const QByteArray &heard);

// Connects within `timeoutMs` in all (the name's lookup, the connection and
// for RFC 2217 the line set to 9600 8N1 without flow control, checked against
// what the server answers); the reason names HOST:PORT.
NetworkConnection ConnectNetworkPort(const NetworkAddress &address, int timeoutMs,
                                     TelnetStream *telnet);

} // namespace lumavera
