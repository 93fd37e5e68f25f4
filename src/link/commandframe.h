#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace lumavera {

// The module's wire format: every request is one five-byte frame, a start
// marker followed by a command code and three arguments. Commands with fewer
// than three arguments pad with a filler byte of their own.

using Frame = std::array<std::uint8_t, 5>;
using FrameBody = std::array<std::uint8_t, 4>; // bytes 1..4

inline constexpr std::uint8_t StartMarker = 255;

// The whole frame: the start marker, then `body`.
inline Frame FrameOf(const FrameBody &body)
{
    return {StartMarker, body[0], body[1], body[2], body[3]};
}

struct CommandInfo
{
    const char *name;
    std::uint8_t code;   // byte 1 (StoreSlot: of slot 0)
    std::uint8_t filler; // padding for unused arguments; 0 where all three are used
};

// The command table.
inline constexpr CommandInfo SetColor{"SetColor", 1, 0};
inline constexpr CommandInfo StoreSlot{"StoreSlot", 2, 0}; // code is 2 + slot, slots 0..9
inline constexpr CommandInfo SetFade{"SetFade", 20, 253};
inline constexpr CommandInfo SetHold{"SetHold", 30, 252};
inline constexpr CommandInfo SetMode{"SetMode", 40, 251};
inline constexpr CommandInfo SaveToEeprom{"SaveToEeprom", 50, 254};
inline constexpr CommandInfo ReadModuleSettings{"ReadModuleSettings", 60, 251};

inline constexpr int SlotCount = 10;

// Bytes 1..4 of each command.
FrameBody SetColorBody(std::uint8_t r, std::uint8_t g, std::uint8_t b);
FrameBody StoreSlotBody(int slot, std::uint8_t r, std::uint8_t g, std::uint8_t b);
FrameBody SetFadeBody(std::uint8_t position);
FrameBody SetHoldBody(std::uint8_t position);
FrameBody SetModeBody(std::uint8_t position);
FrameBody SaveToEepromBody();
FrameBody ReadModuleSettingsBody();

// One byte as the monitor shows it: two upper-case hex digits and a space.
QString HexByte(std::uint8_t byte);

// A whole frame as the monitor shows it, 15 characters ("FF 01 80 40 00 ").
QString HexFrame(const Frame &frame);

// A frame in words, as the module would understand it, for example
// "SetColor r=128 g=64 b=0" or "StoreSlot slot=10 r=255 g=7 b=10" (slots
// counted from 1, as the user sees them).
QString DescribeFrame(const Frame &frame);

} // namespace lumavera
