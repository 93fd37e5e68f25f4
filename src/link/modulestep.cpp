#include "link/modulestep.h"
#include "link/texts.h"

#include <QCoreApplication>

#include <iterator>

namespace lumavera {

namespace {

const char *const StepNames[] = {"color", "mode", "fade", "hold", "store", "read", "save"};

const char *const FaultNames[] = {
    "",          "aborted",     "no-answer",   "short",    "start",     "out-of-range",
    "wrong-ack", "late-answer", "send-failed", "not-held", "unplugged", "stopped",
    "too-long",  "wrong-scheme"};

} // namespace

bool ModuleStep::valid() const
{
    const auto within = [](int v, int max) { return v >= 0 && v <= max; };
    switch (kind) {
    case Kind::Mode:
        return within(value, MaxMode);
    case Kind::Fade:
        return within(value, MaxFade);
    case Kind::Hold:
        return within(value, MaxHold);
    case Kind::Store:
        return within(slot, SlotCount - 1);
    default:
        return true;
    }
}

FrameBody ModuleStep::body() const
{
    switch (kind) {
    case Kind::Color:
        return SetColorBody(colour.red, colour.green, colour.blue);
    case Kind::Mode:
        return SetModeBody(std::uint8_t(value));
    case Kind::Fade:
        return SetFadeBody(std::uint8_t(value));
    case Kind::Hold:
        return SetHoldBody(std::uint8_t(value));
    case Kind::Store:
        return StoreSlotBody(slot, colour.red, colour.green, colour.blue);
    case Kind::Read:
        return ReadModuleSettingsBody();
    case Kind::Save:
        return SaveToEepromBody();
    }
    return {};
}

QString StepName(ModuleStep::Kind kind)
{
    return QLatin1String(StepNames[int(kind)]);
}

std::optional<ModuleStep::Kind> StepKindNamed(const QString &name)
{
    for (int i = 0; i < int(std::size(StepNames)); ++i) {
        if (name == QLatin1String(StepNames[i]))
            return ModuleStep::Kind(i);
    }
    return std::nullopt;
}

StepOutcome WholeAnswerOnly(const StepOutcome &read)
{
    if (!read.ok() || read.count <= SettingsReplyLength)
        return read;
    StepOutcome out;
    out.fault = ReplyFault::TooLong;
    out.count = read.count;
    out.reason = LinkTexts::tr("The module answered %1 bytes where %2 were expected.")
                     .arg(read.count)
                     .arg(SettingsReplyLength);
    return out;
}

QString FaultName(ReplyFault fault)
{
    return QLatin1String(FaultNames[int(fault)]);
}

ReplyFault FaultNamed(const QString &name)
{
    for (int i = 1; i < int(std::size(FaultNames)); ++i) {
        if (name == QLatin1String(FaultNames[i]))
            return ReplyFault(i);
    }
    // A fault this program does not know is still a fault.
    return name.isEmpty() ? ReplyFault::None : ReplyFault::Aborted;
}

int WireMs(ModuleStep::Kind kind)
{
    const int answer = kind == ModuleStep::Kind::Read   ? SettingsReplyLength
                       : kind == ModuleStep::Kind::Save ? SaveAckLength
                                                        : -1;
    if (answer < 0)
        return 0;
    constexpr int BitsPerSecond = 9600, BitsPerByte = 10;
    const int bits = (int(std::tuple_size_v<Frame>) + answer) * BitsPerByte;
    return (bits * 1000 + BitsPerSecond - 1) / BitsPerSecond;
}

} // namespace lumavera
