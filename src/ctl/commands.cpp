#include "ctl/commands.h"

#include "ctl/moduleconfig.h"
#include "link/portmap.h"
#include "settings/ini.h"
#include "settings/settings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSerialPortInfo>
#include <QThread>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("lumaveractl", text);
}

QString jsonString(const QString &text)
{
    const QJsonArray wrapped{text};
    const QByteArray json = QJsonDocument(wrapped).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

QString rgbText(const Rgb &c)
{
    return QStringLiteral("%1 %2 %3").arg(c.red).arg(c.green).arg(c.blue);
}

// Keeps the slot colours in the settings file, as the window would; a file
// that cannot be written is said, and does not fail the command.
void keepColours(const QList<IniEdit> &edits, QTextStream &err)
{
    const WriteResult written = WriteIniValues(edits);
    if (!written.ok)
        err << tr("lumaveractl: settings could not be saved: %1").arg(written.reason) << '\n';
}

QList<IniEdit> tableEdits(const ModuleSettings &s)
{
    std::array<std::uint8_t, SlotCount> red{}, green{}, blue{};
    for (int i = 0; i < SlotCount; ++i) {
        red[i] = s.slotColors[i].red;
        green[i] = s.slotColors[i].green;
        blue[i] = s.slotColors[i].blue;
    }
    return SlotTableEdits(red, green, blue);
}

// Reads the module; the settings on success, else the reason on `err`.
std::optional<ModuleSettings> readModule(ModuleAccess &module, QTextStream &err)
{
    const SettingsOutcome read = module.read();
    if (!read.ok()) {
        err << tr("lumaveractl: read failed: %1")
                   .arg(read.reason.isEmpty() ? tr("the exchange was cut short") : read.reason)
            << '\n';
        return std::nullopt;
    }
    if (!module.keepsSettingsFile())
        keepColours(tableEdits(read.settings), err);
    return read.settings;
}

QStringList differences(const ModuleSettings &want, const ModuleSettings &got)
{
    QStringList lines;
    const auto compare = [&](const char *name, int w, int g) {
        if (w != g)
            lines << tr("%1: file %2, module %3").arg(QLatin1String(name)).arg(w).arg(g);
    };
    compare("mode", want.mode, got.mode);
    compare("fade", want.fade, got.fade);
    compare("hold", want.hold, got.hold);
    for (int i = 0; i < SlotCount; ++i) {
        if (want.slotColors[i] != got.slotColors[i])
            lines << tr("slot %1: file %2, module %3")
                         .arg(i + 1)
                         .arg(rgbText(want.slotColors[i]), rgbText(got.slotColors[i]));
    }
    return lines;
}

} // namespace

QString SettingsText(const ModuleSettings &s, bool json)
{
    if (json) {
        // Written by hand to keep the keys in the documented order.
        QStringList slotList;
        for (const Rgb &c : s.slotColors)
            slotList << QStringLiteral("{\"red\":%1,\"green\":%2,\"blue\":%3}")
                            .arg(c.red)
                            .arg(c.green)
                            .arg(c.blue);
        return QStringLiteral("{\"mode\":%1,\"fade\":%2,\"hold\":%3,\"slots\":[%4]}\n")
            .arg(s.mode)
            .arg(s.fade)
            .arg(s.hold)
            .arg(slotList.join(u','));
    }
    QString text =
        QStringLiteral("mode %1\nfade %2\nhold %3\n").arg(s.mode).arg(s.fade).arg(s.hold);
    for (int i = 0; i < SlotCount; ++i)
        text += QStringLiteral("slot %1 %2\n").arg(i + 1).arg(rgbText(s.slotColors[i]));
    return text;
}

int RunList(const CtlOptions &options, QTextStream &out)
{
    const Settings settings = Settings::load(IniPath());
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    QStringList system;
    for (const QSerialPortInfo &info : ports)
        system << info.systemLocation();
    QStringList all;
    for (int n = FirstPort; n <= LastPort; ++n) {
        const QString path = DevicePathFor(n, settings.pins, system);
        const bool pinned = settings.pins.contains(n);
        const QString state = path.isEmpty()            ? QStringLiteral("unassigned")
                              : QFileInfo::exists(path) ? QStringLiteral("present")
                                                        : QStringLiteral("missing");
        // What the system says of the device, without the path itself.
        QString description =
            path.isEmpty() ? QString() : DescribeDevice(path, ports).mid(path.size());
        description.remove(0, 3);
        if (pinned)
            description = description.isEmpty() ? tr("pinned") : description + tr(", pinned");
        const QString port = QStringLiteral("COM%1").arg(n);
        if (options.json)
            all.append(QStringLiteral("{\"port\":%1,\"path\":%2,\"description\":%3,\"state\":%4}")
                           .arg(jsonString(port), jsonString(path), jsonString(description),
                                jsonString(state)));
        else
            out << port.leftJustified(6) << ' ' << state.leftJustified(10) << ' '
                << (path.isEmpty() ? QStringLiteral("-") : path)
                << (description.isEmpty() ? QString() : QStringLiteral("  (%1)").arg(description))
                << '\n';
    }
    if (options.json)
        out << u'[' << all.join(u',') << "]\n";
    return ExitDone;
}

int RunModuleCommand(const CtlOptions &o, ModuleAccess &module, QTextStream &out, QTextStream &err)
{
    using C = CtlOptions::Command;
    switch (o.command) {
    case C::List:
        return RunList(o, out);
    case C::Color:
        module.setColor(o.colour);
        return ExitDone;
    case C::Mode:
        module.setMode(o.value);
        return ExitDone;
    case C::Fade:
        module.setFade(o.value);
        return ExitDone;
    case C::Hold:
        module.setHold(o.value);
        return ExitDone;
    case C::Store:
        module.storeSlot(o.slot, o.colour);
        if (!module.keepsSettingsFile())
            keepColours(SlotColorEdits(o.slot, o.colour), err);
        return ExitDone;
    case C::Read: {
        const std::optional<ModuleSettings> s = readModule(module, err);
        if (!s)
            return ExitModule;
        out << SettingsText(*s, o.json);
        return ExitDone;
    }
    case C::Save: {
        const SaveOutcome saved = module.save();
        if (!saved.ok()) {
            err << tr("lumaveractl: save failed: %1")
                       .arg(saved.reason.isEmpty() ? tr("the exchange was cut short")
                                                   : saved.reason)
                << '\n';
            return ExitModule;
        }
        return ExitDone;
    }
    case C::Backup: {
        const std::optional<ModuleSettings> s = readModule(module, err);
        if (!s)
            return ExitModule;
        const WriteResult written = SaveModuleConfig(o.file, *s);
        if (!written.ok) {
            err << tr("lumaveractl: %1 could not be written: %2").arg(o.file, written.reason)
                << '\n';
            return ExitUsage;
        }
        return ExitDone;
    }
    case C::Restore: {
        const ModuleSettings &want = o.restore;
        // A slow module needs a moment between frames.
        const auto pause = [&] { QThread::msleep(ulong(o.gapMs)); };
        module.setMode(want.mode);
        pause();
        module.setFade(want.fade);
        pause();
        module.setHold(want.hold);
        for (int i = 0; i < SlotCount; ++i) {
            pause();
            module.storeSlot(i, want.slotColors[i]);
        }
        pause();
        const std::optional<ModuleSettings> got = readModule(module, err);
        if (!got)
            return ExitModule;
        const QStringList diff = differences(want, *got);
        if (!diff.isEmpty()) {
            err << tr("lumaveractl: the module differs from %1 after the restore:").arg(o.file)
                << '\n';
            for (const QString &line : diff)
                err << "  " << line << '\n';
            return ExitModule;
        }
        if (o.saveAfterRestore) {
            CtlOptions save = o;
            save.command = C::Save;
            return RunModuleCommand(save, module, out, err);
        }
        return ExitDone;
    }
    }
    return ExitUsage;
}
