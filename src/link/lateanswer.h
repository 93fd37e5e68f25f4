#pragma once

#include <QString>

namespace lumavera {

// The module's protocol carries no sequence number: an answer that comes
// after its exchange gave up would pass for the answer to the next one. An
// exchange whose answer did not come whole marks its device, for this user's
// programs alike (a file in the user's own runtime folder); the next exchange
// that waits for an answer on that device first waits out the late one. The
// mark is the device's, not its name's: another device that gets the name
// (a pseudo-terminal's number given out again, an adapter back as the same
// ttyUSBn) is not marked.

// Marks the device at `path` as possibly still answering.
void MarkAnswerPending(const QString &path);

// Whether an answer may still come on the device at `path`: marked within
// the last minute (later than that, no module answers).
bool AnswerPending(const QString &path);

// The late answer has been waited out.
void ClearAnswerPending(const QString &path);

} // namespace lumavera
