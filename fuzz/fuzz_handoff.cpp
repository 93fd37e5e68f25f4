// Arbitrary lines through the hand-off's request decoder and reply encoder,
// as a stranger on the window's socket could send them: no crash, only
// steps the module can take get through, and what gets through reads back
// the same after a round trip.

#include "link/handoff.h"

#include "check.h"

using namespace lumavera;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray line(reinterpret_cast<const char *>(data), qsizetype(size));

    if (const std::optional<HandoffRequest> request = HandoffRequest::decode(line)) {
        check(request->probe || request->step.valid());
        check(request->timeoutMs >= 0 && request->timeoutMs <= 60000);
        const std::optional<HandoffRequest> again =
            HandoffRequest::decode(request->encode().chopped(1));
        check(again && again->device == request->device && again->probe == request->probe &&
              again->timeoutMs == request->timeoutMs);
        check(request->probe || (again->step.body() == request->step.body()));
    }
    if (const std::optional<HandoffReply> reply = HandoffReply::decode(line)) {
        check(InRange(reply->outcome.settings));
        const QByteArray encoded = reply->encode();
        check(encoded.endsWith('\n') && encoded.count('\n') == 1);
        const std::optional<HandoffReply> again = HandoffReply::decode(encoded.chopped(1));
        check(again && again->handled == reply->handled &&
              again->outcome.fault == reply->outcome.fault &&
              again->outcome.reason == reply->outcome.reason &&
              again->outcome.settings == reply->outcome.settings &&
              again->traffic == reply->traffic);
    }
    return 0;
}
