#include "framefinder.h"

namespace lumavera {

std::vector<Frame> FrameFinder::feed(const QByteArray &bytes, qint64 nowMs)
{
    std::vector<Frame> frames;
    if (have_ > 0 && !bytes.isEmpty() && nowMs - lastByteMs_ > LineGapMs) {
        skipped_ += have_;
        have_ = 0;
    }
    for (char c : bytes) {
        const std::uint8_t byte = std::uint8_t(c);
        if (have_ == 0 && byte != StartMarker) {
            ++skipped_;
            continue;
        }
        partial_[std::size_t(have_++)] = byte;
        if (have_ == int(partial_.size())) {
            frames.push_back(partial_);
            have_ = 0;
        }
    }
    if (!bytes.isEmpty())
        lastByteMs_ = nowMs;
    return frames;
}

} // namespace lumavera
