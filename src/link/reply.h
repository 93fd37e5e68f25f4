#pragma once

#include "link/commandframe.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace lumavera {

// The module's two answers. Neither is framed: the tool takes whatever bytes
// have arrived once the reply wait is over, so each check starts with a count.

inline constexpr int SettingsReplyLength = 35;
inline constexpr int SaveAckLength = 2;
inline constexpr std::uint8_t SaveAckFirst = 254;
inline constexpr std::uint8_t SaveAckSecond = 170;

// Largest position of each list the settings reply refers to.
inline constexpr int MaxMode = 11;
inline constexpr int MaxFade = 2;
inline constexpr int MaxHold = 240;

struct Rgb
{
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb &) const = default;
};

// "R G B", as the command line and a restore's differences write a colour.
QString RgbText(const Rgb &colour);

struct ModuleSettings
{
    std::uint8_t mode = 0;
    std::uint8_t fade = 0;
    std::uint8_t hold = 0;
    std::array<Rgb, SlotCount> slotColors{};
    bool operator==(const ModuleSettings &) const = default;
};

// Content check of a settings reply: rejected only when byte 0 is not 255 and
// byte 1 is not 254 at the same time. Needs at least two bytes.
bool SettingsReplyContentOk(const QByteArray &reply);

// Whether mode, fade and hold are positions their lists hold.
bool InRange(const ModuleSettings &settings);

// Decodes a reply that passed the count and content checks; nothing when it
// fails either check or holds a list position outside its list.
std::optional<ModuleSettings> DecodeSettingsReply(const QByteArray &reply);

// The acknowledgement: at least two bytes, starting 254, 170.
bool SaveAckOk(const QByteArray &reply);

// The 35-byte reply the module sends for these settings (its last byte 0).
QByteArray EncodeSettingsReply(const ModuleSettings &settings);

} // namespace lumavera
