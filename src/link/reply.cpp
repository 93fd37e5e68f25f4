#include "link/reply.h"

namespace lumavera {

bool SettingsReplyContentOk(const QByteArray &reply)
{
    if (reply.size() < 2)
        return false;
    return std::uint8_t(reply[0]) == StartMarker || std::uint8_t(reply[1]) == 254;
}

bool InRange(const ModuleSettings &s)
{
    return s.mode <= MaxMode && s.fade <= MaxFade && s.hold <= MaxHold;
}

std::optional<ModuleSettings> DecodeSettingsReply(const QByteArray &reply)
{
    if (reply.size() < SettingsReplyLength || !SettingsReplyContentOk(reply))
        return std::nullopt;
    const auto at = [&](int i) { return std::uint8_t(reply[i]); };
    ModuleSettings s;
    s.mode = at(1);
    s.fade = at(2);
    s.hold = at(3);
    for (int i = 0; i < SlotCount; ++i)
        s.slotColors[i] = {at(3 * i + 4), at(3 * i + 5), at(3 * i + 6)};
    if (!InRange(s))
        return std::nullopt;
    return s;
}

bool SaveAckOk(const QByteArray &reply)
{
    return reply.size() >= SaveAckLength && std::uint8_t(reply[0]) == SaveAckFirst &&
           std::uint8_t(reply[1]) == SaveAckSecond;
}

QByteArray EncodeSettingsReply(const ModuleSettings &s)
{
    QByteArray reply(SettingsReplyLength, '\0');
    reply[0] = char(StartMarker);
    reply[1] = char(s.mode);
    reply[2] = char(s.fade);
    reply[3] = char(s.hold);
    for (int i = 0; i < SlotCount; ++i) {
        reply[3 * i + 4] = char(s.slotColors[i].red);
        reply[3 * i + 5] = char(s.slotColors[i].green);
        reply[3 * i + 6] = char(s.slotColors[i].blue);
    }
    return reply;
}

QString RgbText(const Rgb &colour)
{
    return QStringLiteral("%1 %2 %3").arg(colour.red).arg(colour.green).arg(colour.blue);
}

} // namespace lumavera
