#include "settings/moduleconfig.h"

#include "settings/profile.h"
#include "settings/settings.h"
#include "settings/texts.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

const QString Module = QStringLiteral("Module");

} // namespace

LoadedConfig LoadModuleConfig(const QString &path)
{
    if (!QFileInfo::exists(path))
        return {{ConfigFault::Missing, SettingsTexts::tr("%1 does not exist").arg(path)}, {}};
    const IniText text = IniFile(path).read();
    if (!text.problem.isEmpty())
        return {{ConfigFault::Unusable, text.problem}, {}};
    QStringList errors;
    const auto value = [&](const QString &section, const QString &key, int max) -> std::uint8_t {
        const QByteArray raw = profile::valueIn(text.content, section.toUtf8(), key.toUtf8());
        bool digits = !raw.isEmpty() && raw.size() <= 3;
        for (char c : raw)
            digits = digits && c >= '0' && c <= '9';
        if (raw.isEmpty())
            errors << SettingsTexts::tr("%1: [%2] %3 is missing").arg(path, section, key);
        else if (!digits || raw.toInt() > max)
            errors << SettingsTexts::tr("%1: [%2] %3=%4 is not a whole number from 0 to %5")
                          .arg(path, section, key, QString::fromUtf8(raw))
                          .arg(max);
        return std::uint8_t(raw.toInt());
    };
    ModuleSettings s;
    s.mode = value(Module, QStringLiteral("Mode"), MaxMode);
    s.fade = value(Module, QStringLiteral("Fade"), MaxFade);
    s.hold = value(Module, QStringLiteral("Hold"), MaxHold);
    const QString colors = QStringLiteral("Colors");
    for (int i = 0; i < SlotCount; ++i) {
        s.slotColors[i].red = value(colors, SlotKey(QStringLiteral("Red"), i), 255);
        s.slotColors[i].green = value(colors, SlotKey(QStringLiteral("Green"), i), 255);
        s.slotColors[i].blue = value(colors, SlotKey(QStringLiteral("Blue"), i), 255);
    }
    // Every problem at once, one a line, so that one edit mends them all.
    if (!errors.isEmpty())
        return {{ConfigFault::Invalid, errors.join(u'\n')}, {}};
    return {{}, s};
}

WriteResult SaveModuleConfig(const QString &path, const ModuleSettings &settings)
{
    QList<IniEdit> edits = {{Module, QStringLiteral("Mode"), QString::number(settings.mode)},
                            {Module, QStringLiteral("Fade"), QString::number(settings.fade)},
                            {Module, QStringLiteral("Hold"), QString::number(settings.hold)}};
    edits += SlotTableEdits(settings.slotColors);
    return IniFile(path, IniFile::Folder::MustExist).write(edits);
}
