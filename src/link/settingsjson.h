#pragma once

#include "link/reply.h"

#include <QByteArray>
#include <QJsonObject>

#include <optional>

namespace lumavera {

// A module's settings and colours as JSON, one way for every program that
// prints or passes them on.

// {"red":R,"green":G,"blue":B}
QByteArray RgbJson(const Rgb &colour);

// {"mode":M,"fade":F,"hold":H,"slots":[ten colours]}: the keys in this
// order, the order lumaveractl documents.
QByteArray SettingsJson(const ModuleSettings &settings);

// The colour or settings in such an object; nothing when a level or a value
// is missing or out of its range, or the slots are not ten.
std::optional<Rgb> RgbFromJson(const QJsonValue &value);
std::optional<ModuleSettings> SettingsFromJson(const QJsonObject &object);

} // namespace lumavera
