#pragma once

#include <QString>

namespace lumavera {

// Text from a device or the system (a device's name, its USB serial number,
// a program's name) as it may go to a terminal: control characters, which
// could move the cursor or rewrite the screen, are shown escaped ("\r",
// "\x1b"), and so is the backslash, so that the text reads back unchanged.
// JSON and CSV carry the real text, encoded their own way.
QString Printable(const QString &text);

} // namespace lumavera
