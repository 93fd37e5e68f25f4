#include "link/settingsjson.h"

#include <QJsonArray>
#include <QStringList>

namespace lumavera {

QByteArray RgbJson(const Rgb &colour)
{
    // Written by hand: QJsonObject would sort the keys.
    return QStringLiteral("{\"red\":%1,\"green\":%2,\"blue\":%3}")
        .arg(colour.red)
        .arg(colour.green)
        .arg(colour.blue)
        .toLatin1();
}

QByteArray SettingsJson(const ModuleSettings &settings)
{
    QByteArrayList slotList;
    for (const Rgb &c : settings.slotColors)
        slotList << RgbJson(c);
    return QStringLiteral("{\"mode\":%1,\"fade\":%2,\"hold\":%3,\"slots\":[")
               .arg(settings.mode)
               .arg(settings.fade)
               .arg(settings.hold)
               .toLatin1() +
           slotList.join(',') + "]}";
}

std::optional<Rgb> RgbFromJson(const QJsonValue &value)
{
    const QJsonObject o = value.toObject();
    const auto level = [&](const char *name) { return o.value(QLatin1String(name)).toInt(-1); };
    const int r = level("red"), g = level("green"), b = level("blue");
    if (r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255)
        return std::nullopt;
    return Rgb{std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)};
}

std::optional<ModuleSettings> SettingsFromJson(const QJsonObject &object)
{
    const auto byte = [&](const char *key, int max) -> std::optional<std::uint8_t> {
        const int v = object.value(QLatin1String(key)).toInt(-1);
        return v >= 0 && v <= max ? std::optional(std::uint8_t(v)) : std::nullopt;
    };
    const auto mode = byte("mode", MaxMode), fade = byte("fade", MaxFade),
               hold = byte("hold", MaxHold);
    const QJsonArray slotList = object.value(QLatin1String("slots")).toArray();
    if (!mode || !fade || !hold || slotList.size() != SlotCount)
        return std::nullopt;
    ModuleSettings settings;
    settings.mode = *mode;
    settings.fade = *fade;
    settings.hold = *hold;
    for (int i = 0; i < SlotCount; ++i) {
        const std::optional<Rgb> c = RgbFromJson(slotList[i]);
        if (!c)
            return std::nullopt;
        settings.slotColors[i] = *c;
    }
    return settings;
}

} // namespace lumavera
