#include "settings/moduleconfig.h"

#include "settings/profile.h"
#include "settings/settings.h"
#include "settings/texts.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMap>
#include <QSet>

namespace lumavera {

namespace {

const QString Module = QStringLiteral("Module");
const QString Colors = QStringLiteral("Colors");

// "Red2", "Red2..Red10" or "Red2, Red5..Red7": the numbers of one colour,
// runs of neighbours as ranges.
QString slotRuns(const QString &colour, const QList<int> &numbers)
{
    QStringList runs;
    for (qsizetype i = 0; i < numbers.size();) {
        qsizetype j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1)
            ++j;
        runs << (j == i ? colour + QString::number(numbers[i])
                        : QStringLiteral("%1%2..%1%3").arg(colour).arg(numbers[i]).arg(numbers[j]));
        i = j + 1;
    }
    return runs.join(QStringLiteral(", "));
}

bool KnownModuleKey(const QString &key)
{
    for (const char *known : {"Mode", "Fade", "Hold"}) {
        if (key.compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool KnownSlotKey(const QString &key)
{
    for (int i = 0; i < SlotCount; ++i) {
        for (const char *colour : {"Red", "Green", "Blue"}) {
            if (key.compare(SlotKey(QLatin1String(colour), i), Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

} // namespace

LoadedConfig LoadModuleConfig(const QString &path)
{
    if (!QFileInfo::exists(path))
        return {{ConfigFault::Missing, SettingsTexts::tr("%1 does not exist").arg(path)}, {}};
    const IniText text = IniFile(path).read();
    if (!text.usable)
        return {{ConfigFault::Unusable, text.usable.reason}, {}};
    // A file that is no configuration at all, or another INI file, is said
    // in one line rather than as every key it lacks.
    QSet<QByteArray> sections;
    QStringList otherSections;
    QMap<QString, QStringList> otherKeys; // keys of [Module] and [Colors] a configuration has not
    profile::forEachKey(text.content,
                        [&](QByteArrayView section, QByteArrayView key, QByteArrayView) {
                            const QByteArray lower = section.toByteArray().toLower();
                            const QString name = QString::fromUtf8(section).trimmed();
                            if (lower != "module" && lower != "colors" && !sections.contains(lower))
                                otherSections << QStringLiteral("[%1]").arg(name);
                            sections.insert(lower);
                            const QString k = QString::fromUtf8(key).trimmed();
                            if (lower == "module" && !KnownModuleKey(k))
                                otherKeys[Module] << k;
                            else if (lower == "colors" && !KnownSlotKey(k))
                                otherKeys[Colors] << k;
                        });
    const QString makeOne =
        SettingsTexts::tr("'lumaveractl backup FILE' or the window's Backup\u2026 writes one.");
    if (sections.isEmpty())
        return {{ConfigFault::Invalid,
                 SettingsTexts::tr("%1 is not a module configuration: it has no sections, no "
                                   "[Module] and no [Colors]. %2")
                     .arg(path, makeOne)},
                {}};
    if (!sections.contains("module"))
        return {{ConfigFault::Invalid,
                 SettingsTexts::tr("%1 has no [Module] section (Mode, Fade and Hold). %2")
                     .arg(path, makeOne)},
                {}};
    if (!sections.contains("colors"))
        return {{ConfigFault::Invalid,
                 otherSections.isEmpty()
                     ? SettingsTexts::tr("%1 has no [Colors] section (Red1..Blue10). %2")
                           .arg(path, makeOne)
                     : SettingsTexts::tr("%1 has no [Colors] section (Red1..Blue10); it does not "
                                         "read %2. %3")
                           .arg(path, otherSections.join(u", "), makeOne)},
                {}};
    QStringList errors;
    QMap<QString, QList<int>> missingSlots;
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
    const qsizetype moduleErrors = errors.size();
    const auto level = [&](const QString &colour, int i) -> std::uint8_t {
        const QString key = SlotKey(colour, i);
        if (!profile::valueIn(text.content, "Colors", key.toUtf8()).isEmpty())
            return value(Colors, key, 255);
        missingSlots[colour] << i + 1;
        return 0;
    };
    for (int i = 0; i < SlotCount; ++i) {
        s.slotColors[i].red = level(QStringLiteral("Red"), i);
        s.slotColors[i].green = level(QStringLiteral("Green"), i);
        s.slotColors[i].blue = level(QStringLiteral("Blue"), i);
    }
    // The numbers missing, all in one line: "Red2..Red10 and Green2 are missing".
    QStringList missing;
    int count = 0;
    for (const QString &colour :
         {QStringLiteral("Red"), QStringLiteral("Green"), QStringLiteral("Blue")}) {
        if (missingSlots.contains(colour))
            missing << slotRuns(colour, missingSlots[colour]);
        count += int(missingSlots.value(colour).size());
    }
    if (!missing.isEmpty()) {
        const QString last = missing.takeLast();
        const QString named = missing.isEmpty()
                                  ? last
                                  : SettingsTexts::tr("%1 and %2").arg(missing.join(u", "), last);
        errors.insert(moduleErrors,
                      count == 1
                          ? SettingsTexts::tr("%1: [Colors] %2 is missing").arg(path, named)
                          : SettingsTexts::tr("%1: [Colors] %2 are missing").arg(path, named));
    }
    // A key a configuration has not is often the missing one mistyped.
    if (!errors.isEmpty()) {
        for (const QString &section : {Module, Colors}) {
            for (const QString &key : otherKeys.value(section))
                errors << SettingsTexts::tr("%1: [%2] %3 is not a key of a configuration (%4)")
                              .arg(path, section, key,
                                   section == Module ? QStringLiteral("Mode, Fade, Hold")
                                                     : QStringLiteral("Red1..Blue10"));
        }
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

} // namespace lumavera
