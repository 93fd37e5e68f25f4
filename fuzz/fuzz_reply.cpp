// Arbitrary bytes from the line through the reply checks and decoding: no
// crash, and every accepted reply decodes to values the lists can show.

#include "link/commandframe.h"
#include "link/reply.h"

#include "check.h"

using namespace lumavera;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1024)
        return 0;
    const QByteArray reply(reinterpret_cast<const char *>(data), qsizetype(size));

    const bool counted = size >= std::size_t(SettingsReplyLength);
    const bool content = SettingsReplyContentOk(reply);
    const std::optional<ModuleSettings> decoded = DecodeSettingsReply(reply);
    if (decoded) {
        check(counted && content && InRange(*decoded));
        check(decoded->mode <= MaxMode && decoded->fade <= MaxFade && decoded->hold <= MaxHold);
        // What was decoded is what came in.
        check(EncodeSettingsReply(*decoded).mid(1, 33) == reply.mid(1, 33));
    }
    const bool ack = SaveAckOk(reply);
    check(ack == (size >= 2 && data[0] == 0xFE && data[1] == 0xAA));
    check(!ack || size >= std::size_t(SaveAckLength));

    if (size >= 5) {
        const Frame frame{data[0], data[1], data[2], data[3], data[4]};
        check(HexFrame(frame).size() == 15);
        check(!DescribeFrame(frame).isEmpty());
    }
    return 0;
}
