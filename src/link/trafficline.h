#pragma once

#include "link/modulelink.h"

#include <QString>

namespace lumavera {

// One traffic event as a line of text, the same in the window's log and on
// the command line's standard error:
//
//      12.345  TX FF 01 80 40 00  |.....|  SetColor r=128 g=64 b=0
//
// the time (ms since the connection opened, or the wall-clock time), the
// direction, the bytes in hex and as printable ASCII, and what they mean.

enum class TrafficTime { SinceOpen, WallClock };

QString TrafficLine(const TrafficEvent &event, qint64 openedAtNs, TrafficTime time);

// The name of an event's kind as the lines show it: TX, RX, DISCARDED, ...
QString TrafficDirection(TrafficEvent::Kind kind);

// The bytes as upper-case hex pairs, a space between them.
QString TrafficHex(const QByteArray &bytes);

// Printable ASCII for the bytes, a dot for each of the rest.
QString PrintableAscii(const QByteArray &bytes);

} // namespace lumavera
