#include "ctl/commands.h"

#include "ctl/printable.h"
#include "ctl/texts.h"
#include "link/modulesetup.h"
#include "link/portmap.h"
#include "link/settingsjson.h"
#include "settings/history.h"
#include "settings/ini.h"
#include "settings/moduleconfig.h"
#include "settings/settings.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

namespace lumavera {

namespace {

QString jsonString(const QString &text)
{
    const QJsonArray wrapped{text};
    const QByteArray json = QJsonDocument(wrapped).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

// Keeps the slot colours in the settings file, as the window would; whether
// it could, the reason on `err` when not.
bool keepColours(const WriteResult &written, QTextStream &err)
{
    if (!written.ok())
        err << CtlTexts::tr("lumaveractl: settings could not be saved: %1").arg(written.reason)
            << '\n';
    return written.ok();
}

// Why a step failed, with the way forward where there is one.
void sayFailure(const ModuleStep &step, const StepOutcome &done, QTextStream &err)
{
    // A stop is said once, for the whole command.
    if (done.fault == ReplyFault::Stopped)
        return;
    err << CtlTexts::tr("lumaveractl: %1 failed: %2")
               .arg(StepName(step.kind), done.reason.isEmpty()
                                             ? CtlTexts::tr("the exchange was cut short")
                                             : done.reason)
        << '\n';
    // Another user's program on the line cannot be seen, only suspected.
    const QString others =
        done.unseenHolderOf.isEmpty()
            ? QString()
            : CtlTexts::tr(", and that no program of another user has the line ('sudo fuser "
                           "-v %1' shows who has it open)")
                  .arg(done.unseenHolderOf);
    if (done.fault == ReplyFault::NoAnswer)
        err << CtlTexts::tr("lumaveractl: check that the module has power and is on this port%1; "
                            "a slow one needs a longer --timeout MS.")
                   .arg(others)
            << '\n';
    else if (done.fault == ReplyFault::Short)
        err << CtlTexts::tr("lumaveractl: part of the answer was lost: check the cable and its "
                            "connectors%1, and try again; a slow module needs a longer --timeout "
                            "MS.")
                   .arg(others)
            << '\n';
    else if (done.fault == ReplyFault::Unplugged)
        err << CtlTexts::tr("lumaveractl: plug it back in (or bring its far end back) and try "
                            "again.")
            << '\n';
}

// Runs one step; whether it did what it was asked, the reason on `err` when not.
Task<bool> runStep(ModuleAccess &module, ModuleStep step, QTextStream &err,
                   StepOutcome *outcome = nullptr)
{
    const StepOutcome done = co_await module.run(step);
    if (!done.ok())
        sayFailure(step, done, err);
    if (outcome)
        *outcome = done;
    co_return done.ok();
}

// A step that has no answer of its own, done only once it reached the module.
Task<bool> runWriteStep(ModuleAccess &module, ModuleStep step, QTextStream &err)
{
    if (!co_await runStep(module, step, err))
        co_return false;
    const StepOutcome confirmed = co_await module.confirmDelivered();
    if (!confirmed.ok())
        sayFailure(step, confirmed, err);
    co_return confirmed.ok();
}

// Reads the module and keeps its colours; the settings on success, and in
// `kept` whether the settings file took them.
Task<std::optional<ModuleSettings>> readModule(ModuleAccess &module, QTextStream &err, bool &kept)
{
    StepOutcome read;
    if (!co_await runStep(module, ModuleStep::read(), err, &read))
        co_return std::nullopt;
    kept = keepColours(SettingsStore(IniPath()).saveSlots(read.settings.slotColors), err);
    co_return read.settings;
}

} // namespace

QString SettingsText(const ModuleSettings &s, bool json)
{
    if (json)
        return QString::fromLatin1(SettingsJson(s)) + u'\n';
    QString text =
        QStringLiteral("mode %1\nfade %2\nhold %3\n").arg(s.mode).arg(s.fade).arg(s.hold);
    for (int i = 0; i < SlotCount; ++i)
        text += QStringLiteral("slot %1 %2\n").arg(i + 1).arg(RgbText(s.slotColors[i]));
    return text;
}

int RunList(const CtlOptions &options, QTextStream &out)
{
    const PortListing listing = ListPorts(SettingsStore(IniPath()).load().pins, false);
    QStringList all;
    for (int n = FirstPort; n <= LastPort; ++n) {
        const PortInfo &info = listing[std::size_t(n - 1)];
        const PortEntry &e = info.entry;
        const QString state = e.path.isEmpty() ? QStringLiteral("unassigned")
                              : e.present      ? QStringLiteral("present")
                                               : QStringLiteral("missing");
        QString description = info.details;
        if (e.pinned)
            description = description.isEmpty() ? CtlTexts::tr("pinned")
                                                : description + CtlTexts::tr(", pinned");
        const QString port = QStringLiteral("COM%1").arg(n);
        if (options.json)
            all.append(QStringLiteral("{\"port\":%1,\"path\":%2,\"description\":%3,\"state\":%4}")
                           .arg(jsonString(port), jsonString(e.path), jsonString(description),
                                jsonString(state)));
        else
            out << port.leftJustified(6) << ' ' << state.leftJustified(10) << ' '
                << (e.path.isEmpty() ? QStringLiteral("-") : Printable(e.path))
                << (description.isEmpty() ? QString()
                                          : QStringLiteral("  (%1)").arg(Printable(description)))
                << '\n';
    }
    if (options.json)
        out << u'[' << all.join(u',') << "]\n";
    return ExitDone;
}

int RunHistory(const CtlOptions &o, QTextStream &out)
{
    const QList<KeptBackup> kept = BackupHistory();
    for (const KeptBackup &b : kept) {
        const QString time = b.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (o.json)
            out << QJsonDocument(
                       QJsonObject{
                           {"time", b.time.toString(Qt::ISODateWithMs)},
                           {"device", b.device},
                           {"serial", b.serial.isEmpty() ? QJsonValue() : QJsonValue(b.serial)},
                           {"unit", b.unit.isEmpty() ? QJsonValue() : QJsonValue(b.unit)},
                           {"file", b.path}})
                       .toJson(QJsonDocument::Compact)
                << '\n';
        else
            out << QStringLiteral("%1  %2  %3  %4  %5\n")
                       .arg(time, Printable(b.device),
                            b.serial.isEmpty() ? QStringLiteral("-") : Printable(b.serial),
                            b.unit.isEmpty() ? QStringLiteral("-") : Printable(b.unit),
                            Printable(b.path));
    }
    if (kept.isEmpty() && !o.json)
        out << CtlTexts::tr("No backups are kept yet; %1 will hold them.").arg(HistoryFolder())
            << '\n';
    return ExitDone;
}

int RunPin(const CtlOptions &o, QTextStream &out, QTextStream &err)
{
    const SettingsStore store(IniPath());
    const WriteResult written = store.pin(o.value, o.file);
    if (!written.ok()) {
        err << "lumaveractl: " << NotWritten(store.path(), written) << '\n';
        return ExitUsage;
    }
    out << (o.file.isEmpty() ? CtlTexts::tr("COM%1 is no longer pinned\n").arg(o.value)
                             : CtlTexts::tr("COM%1 is %2\n").arg(o.value).arg(Printable(o.file)));
    return ExitDone;
}

Task<int> RunModuleCommand(CtlOptions o, ModuleAccess &module, QTextStream &out, QTextStream &err)
{
    using C = CtlOptions::Command;
    switch (o.command) {
    case C::List:
        co_return RunList(o, out);
    case C::Pin:
    case C::Unpin:
        co_return RunPin(o, out, err);
    case C::Station:
    case C::Find:
    case C::History:
        break; // a port at a time is not theirs
    case C::Color:
        co_return co_await runWriteStep(module, ModuleStep::color(o.colour), err) ? ExitDone
                                                                                  : ExitModule;
    case C::Mode:
        co_return co_await runWriteStep(module, ModuleStep::mode(o.value), err) ? ExitDone
                                                                                : ExitModule;
    case C::Fade:
        co_return co_await runWriteStep(module, ModuleStep::fade(o.value), err) ? ExitDone
                                                                                : ExitModule;
    case C::Hold:
        co_return co_await runWriteStep(module, ModuleStep::hold(o.value), err) ? ExitDone
                                                                                : ExitModule;
    case C::Store:
        // As the window's button: the file keeps a colour that went out.
        if (!co_await runWriteStep(module, ModuleStep::store(o.slot, o.colour), err))
            co_return ExitModule;
        co_return keepColours(SettingsStore(IniPath()).saveSlot(o.slot, o.colour), err)
            ? ExitDone
            : ExitSettings;
    case C::Read: {
        bool kept = false;
        const std::optional<ModuleSettings> s = co_await readModule(module, err, kept);
        if (!s)
            co_return ExitModule;
        out << SettingsText(*s, o.json);
        co_return kept ? ExitDone : ExitSettings;
    }
    case C::Save:
        co_return co_await runStep(module, ModuleStep::save(), err) ? ExitDone : ExitModule;
    case C::Backup: {
        bool kept = false;
        const std::optional<ModuleSettings> s = co_await readModule(module, err, kept);
        if (!s)
            co_return ExitModule;
        const WriteResult written = SaveModuleConfig(o.file, *s);
        if (!written.ok()) {
            err << "lumaveractl: " << NotWritten(o.file, written) << '\n';
            co_return ExitUsage;
        }
        out << CtlTexts::tr("backed up %1 to %2").arg(Printable(o.port), Printable(o.file)) << '\n';
        co_return kept ? ExitDone : ExitSettings;
    }
    case C::Restore: {
        // What the module holds is kept before anything changes it, so that
        // restoring that file undoes this restore.
        StepOutcome held;
        if (!co_await runStep(module, ModuleStep::read(), err, &held))
            co_return ExitModule;
        const KeptResult backup = KeepBackup(o.port, held.settings);
        if (!backup.ok()) {
            err << CtlTexts::tr(
                       "lumaveractl: what the module holds could not be kept, so nothing was "
                       "sent: %1")
                       .arg(backup.reason)
                << '\n';
            co_return ExitSettings;
        }
        // Progress on a terminal: a restore with long gaps takes seconds.
        const bool terminal = ::isatty(STDERR_FILENO);
        const int steps = int(SetupSteps(o.restore).size()) + 1;
        int step = 0;
        const SetupResult done = co_await SetUpModule(
            [&](const ModuleStep &next) {
                if (terminal)
                    err << CtlTexts::tr("\rlumaveractl: restoring, step %1 of %2")
                               .arg(++step)
                               .arg(steps)
                        << Qt::flush;
                return module.run(next);
            },
            o.restore, o.gapMs, [&module](int ms) { return module.pause(ms); });
        if (terminal)
            err << '\n';
        if (done.failedStep || done.stopped) {
            if (done.failedStep)
                sayFailure(*done.failedStep, done.failure, err);
            err << CtlTexts::tr("lumaveractl: the restore stopped at step %1 of %2: %3. What the "
                                "module held before is kept in %4; restoring %5 again finishes "
                                "it, restoring that file undoes it.")
                       .arg(done.completed + 1)
                       .arg(steps)
                       .arg(SetupReached(done), Printable(backup.path), Printable(o.file))
                << '\n';
            co_return ExitModule;
        }
        const bool kept =
            keepColours(SettingsStore(IniPath()).saveSlots(done.got->slotColors), err);
        if (!done.differences.isEmpty()) {
            err << CtlTexts::tr("lumaveractl: the module differs from %1 after the restore:")
                       .arg(o.file)
                << '\n';
            for (const QString &line : done.differences)
                err << "  " << line << '\n';
            co_return ExitModule;
        }
        bool saved = false;
        if (o.saveAfterRestore)
            saved = co_await runStep(module, ModuleStep::save(), err);
        out << CtlTexts::tr("restored %1 to %2, verified, %3; what it held is kept in %4")
                   .arg(Printable(o.file), Printable(o.port),
                        saved ? CtlTexts::tr("saved to EEPROM")
                              : CtlTexts::tr("not saved to EEPROM"),
                        Printable(backup.path))
            << '\n';
        if (o.saveAfterRestore && !saved)
            co_return ExitModule;
        co_return kept ? ExitDone : ExitSettings;
    }
    }
    co_return ExitUsage;
}

} // namespace lumavera
