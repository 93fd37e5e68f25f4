#include "link/commandframe.h"

namespace lumavera {

FrameBody SetColorBody(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return {SetColor.code, r, g, b};
}

FrameBody StoreSlotBody(int slot, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return {std::uint8_t(StoreSlot.code + slot), r, g, b};
}

namespace {

// A command with one argument, padded with its filler.
FrameBody padded(const CommandInfo &command, std::uint8_t argument)
{
    return {command.code, argument, command.filler, command.filler};
}

} // namespace

FrameBody SetFadeBody(std::uint8_t position)
{
    return padded(SetFade, position);
}

FrameBody SetHoldBody(std::uint8_t position)
{
    return padded(SetHold, position);
}

FrameBody SetModeBody(std::uint8_t position)
{
    return padded(SetMode, position);
}

FrameBody SaveToEepromBody()
{
    return padded(SaveToEeprom, SaveToEeprom.filler);
}

FrameBody ReadModuleSettingsBody()
{
    return padded(ReadModuleSettings, ReadModuleSettings.filler);
}

QString HexByte(std::uint8_t byte)
{
    static const char digits[] = "0123456789ABCDEF";
    const QChar text[] = {QChar(digits[byte >> 4]), QChar(digits[byte & 0x0F]), QChar(u' ')};
    return QString(text, 3);
}

QString HexFrame(const Frame &frame)
{
    QString text;
    for (std::uint8_t byte : frame)
        text += HexByte(byte);
    return text;
}

QString DescribeFrame(const Frame &f)
{
    const auto n = [](std::uint8_t v) { return QString::number(v); };
    const std::uint8_t code = f[1];
    if (f[0] != StartMarker)
        return QStringLiteral("NoStartMarker ") + HexFrame(f).trimmed();
    if (code == SetColor.code)
        return QStringLiteral("SetColor r=%1 g=%2 b=%3").arg(n(f[2]), n(f[3]), n(f[4]));
    if (code >= StoreSlot.code && code < StoreSlot.code + SlotCount)
        return QStringLiteral("StoreSlot slot=%1 r=%2 g=%3 b=%4")
            .arg(n(code - StoreSlot.code + 1), n(f[2]), n(f[3]), n(f[4]));
    const auto padded = [&](const CommandInfo &c) {
        return QString::fromLatin1(c.name) + u' ' + n(f[2]) +
               (f[3] == c.filler && f[4] == c.filler
                    ? QString()
                    : QStringLiteral(" (fillers %1 %2)").arg(n(f[3]), n(f[4])));
    };
    if (code == SetFade.code)
        return padded(SetFade);
    if (code == SetHold.code)
        return padded(SetHold);
    if (code == SetMode.code)
        return padded(SetMode);
    if (code == SaveToEeprom.code)
        return QStringLiteral("SaveToEeprom");
    if (code == ReadModuleSettings.code)
        return QStringLiteral("ReadModuleSettings");
    return QStringLiteral("Unknown ") + HexFrame(f).trimmed();
}

} // namespace lumavera
