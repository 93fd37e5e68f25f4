#pragma once

#include "link/commandframe.h"

#include <QByteArray>

#include <vector>

namespace lumavera {

// Cuts the byte stream from the tool into five-byte frames, as the module's
// firmware does: bytes before a start marker are skipped, and once a marker
// is found the next four bytes belong to its frame, whatever they hold (an
// argument may well be 255). A frame left incomplete for longer than the
// line gap is dropped, so the next marker starts afresh.
class FrameFinder
{
public:
    // At 9600 baud a whole frame takes about 5 ms; a pause this long inside
    // one means its sender gave up on it.
    static constexpr qint64 LineGapMs = 100;

    // The frames completed by `bytes`, which arrived at `nowMs`.
    std::vector<Frame> feed(const QByteArray &bytes, qint64 nowMs);

    // Bytes skipped so far because they were not part of any frame.
    qint64 skipped() const { return skipped_; }

private:
    Frame partial_{};
    int have_ = 0;
    qint64 lastByteMs_ = 0;
    qint64 skipped_ = 0;
};

} // namespace lumavera
