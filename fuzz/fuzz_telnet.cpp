// Arbitrary bytes from a network line's server through the telnet client
// and the words a hang-up is told with: no crash; the data and the answers
// are the same however the bytes are split on the way (a relay that passes
// one byte at a time, segments cut anywhere); each offer is answered at most
// once; and a server's words never put a control character on the terminal.

#include "link/networkport.h"
#include "link/telnet.h"

#include "check.h"

using namespace lumavera;

namespace {

struct Heard
{
    QByteArray data;
    QByteArray answers;
};

// The bytes fed in pieces of `piece` bytes (0: all at once).
Heard feedInPieces(const QByteArray &bytes, qsizetype piece)
{
    TelnetStream telnet;
    Heard heard;
    const qsizetype step = piece == 0 ? std::max<qsizetype>(bytes.size(), 1) : piece;
    for (qsizetype at = 0; at < bytes.size(); at += step)
        heard.data += telnet.feed(bytes.mid(at, step), &heard.answers);
    return heard;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 2048)
        return 0;
    const qsizetype piece = data[0] % 8;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    const Heard whole = feedInPieces(bytes, 0);
    const Heard split = feedInPieces(bytes, piece == 0 ? 1 : piece);
    check(whole.data == split.data && whole.answers == split.answers);
    check(whole.data.size() <= bytes.size());
    // Bytes without a command are the data as they are.
    if (!bytes.contains('\xFF'))
        check(whole.data == bytes && whole.answers.isEmpty());
    // Each option is answered at most once either way (WILL/WONT, DO/DONT):
    // a server that offers without end gets no answer without end.
    check(whole.answers.size() <= 2 * 256 * 3);

    const OpenResult ended = ConnectionEnded(QStringLiteral("host:1"), bytes);
    check(!ended.ok() && !ended.reason.isEmpty());
    for (const QChar c : ended.reason)
        check(c.unicode() >= 0x20 && c.unicode() != 0x7F);
    return 0;
}
