// lumaveractl: the LED module from the shell. It never asks anything: it does
// what it is told and exits with a status a script can test.

#include "app/unixsignals.h"
#include "ctl/commands.h"
#include "ctl/find.h"
#include "ctl/moduleaccess.h"
#include "ctl/options.h"
#include "ctl/station.h"
#include "ctl/texts.h"
#include "link/deviceholder.h"
#include "link/handoff.h"
#include "link/networkport.h"
#include "link/portmap.h"
#include "settings/ini.h"
#include "settings/moduleconfig.h"
#include "settings/settings.h"
#include "station/descriptors.h"
#include "station/options.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

using namespace lumavera;

namespace {

// What a --port that names nothing most likely meant: "1" the port number
// COM1, "ttyUSB0" the device /dev/ttyUSB0.
QString meantPort(const QString &port)
{
    bool number = false;
    const int n = port.toInt(&number);
    if (number && n >= FirstPort && n <= LastPort)
        return QStringLiteral("COM%1").arg(n);
    const QString device = QStringLiteral("/dev/") + port;
    if (!port.contains(u'/') && (port.startsWith(QLatin1String("tty")) || QFile::exists(device)))
        return device;
    return {};
}

// Carries the command out on the module at `options.port`, in this
// program's event loop.
Task<int> runOnModule(CtlOptions options, QTextStream &out, QTextStream &err)
{
    const QString device = options.port;
    // Ctrl+C, a closed terminal or a kill ends the step at once and lets
    // the port go the ordinary way: lock files removed, the exclusive mode
    // released.
    QObject signalContext;
    ModuleAccess *running = nullptr;
    OnUnixSignals({SIGINT, SIGTERM, SIGHUP}, &signalContext, [&running] {
        if (running)
            running->stop();
    });
    const auto stoppedBy = [&err](int signal) {
        err << CtlTexts::tr("lumaveractl: stopped by %1 before the command was done; the port is "
                            "let go.")
                   .arg(signal == SIGINT
                            ? QStringLiteral("Ctrl+C (SIGINT)")
                            : QStringLiteral("SIG") + QLatin1String(sigabbrev_np(signal)))
            << '\n';
        return 128 + signal;
    };
    // Where the window holds the device, it carries the command out; the
    // two never fight over one line.
    std::unique_ptr<ModuleAccess> module;
    auto window = std::make_unique<WindowAccess>(options.timeoutMs);
    if (window->attach(RealDevicePath(device))) {
        module = std::move(window);
    } else {
        auto direct = std::make_unique<DirectAccess>(device, options.timeoutMs);
        // Before the open, so that the open and what it throws away show.
        if (options.verbose)
            direct->onTraffic = [&err](const QString &line) { err << line << Qt::endl; };
        // A signal calls a connection to another machine off at once.
        running = direct.get();
        const OpenResult opened = co_await direct->open();
        running = nullptr;
        if (opened.fault == OpenFault::Stopped)
            co_return stoppedBy(LastUnixSignal());
        if (!opened) {
            err << CtlTexts::tr("lumaveractl: Selected Com Port Not Available: %1")
                       .arg(opened.reason)
                << '\n';
            if (IsNetworkPort(device) && opened.fault != OpenFault::NotSerial)
                err << CtlTexts::tr("lumaveractl: check that the other machine serves its line "
                                    "there (ser2net), and that no other client has it.")
                    << '\n';
            else if (opened.fault == OpenFault::NoDevice) {
                if (const QString meant = meantPort(device); !meant.isEmpty())
                    err << CtlTexts::tr("lumaveractl: did you mean --port %1?").arg(meant) << '\n';
                err << CtlTexts::tr("lumaveractl: 'lumaveractl list' shows the ports there are, "
                                    "'lumaveractl find' the ones a module answers on.")
                    << '\n';
            } else if (opened.fault == OpenFault::Held)
                err << CtlTexts::tr("lumaveractl: close that program, or have it let go of the "
                                    "port, and try again.")
                    << '\n';
            else if (opened.fault == OpenFault::Locked)
                err << CtlTexts::tr("lumaveractl: if no program is using the port, the lock "
                                    "file's owner (or root) can remove it.")
                    << '\n';
            co_return ExitPort;
        }
        module = std::move(direct);
    }
    if (options.verbose)
        module->onTraffic = [&err](const QString &line) { err << line << Qt::endl; };
    running = module.get();
    if (LastUnixSignal() != 0)
        running->stop();
    const int status = co_await RunModuleCommand(options, *module, out, err);
    running = nullptr;
    if (const int signal = LastUnixSignal(); signal != 0 && module->stopped())
        co_return stoppedBy(signal);
    co_return status;
}

} // namespace

int main(int argc, char *argv[])
{
    // The look for other programs holding the device, the slowest part of
    // an open on a busy machine, runs beside everything before the open.
    std::optional<HolderLookAhead> lookAhead;
    lookAhead.emplace();
    RaiseDescriptorLimit();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumaveractl"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    const auto parsed = ParseCtlArguments(QCoreApplication::arguments().mid(1));
    if (const QString *problem = std::get_if<QString>(&parsed)) {
        err << "lumaveractl: " << *problem << '\n'
            << CtlUsage().section(u'\n', 0, 1) << '\n'
            << CtlTexts::tr("Try 'lumaveractl --help' for more.") << '\n';
        return ExitUsage;
    }
    CtlOptions options = std::get<CtlOptions>(parsed);
    if (!options.settings.isEmpty())
        UseIniPath(options.settings);
    if (options.help) {
        const QStringList words = QCoreApplication::arguments().mid(1);
        const auto named = std::find_if(words.begin(), words.end(),
                                        [](const QString &w) { return !w.startsWith(u'-'); });
        out << (named == words.end() ? CtlUsage() : CtlCommandHelp(*named));
        return ExitDone;
    }
    if (options.command == CtlOptions::Command::List)
        return RunList(options, out);
    if (options.command == CtlOptions::Command::Pin ||
        options.command == CtlOptions::Command::Unpin)
        return RunPin(options, out, err);

    if (options.command == CtlOptions::Command::Find)
        return RunFind(options, out, err);
    if (options.command == CtlOptions::Command::History)
        return RunHistory(options, out);

    // A file to restore is checked whole before the port is even opened.
    const auto refuseFile = [&err](const QString &reason) {
        err << "lumaveractl: " << QString(reason).replace(u'\n', "\nlumaveractl: ") << '\n';
        return ExitUsage;
    };
    const auto refusePort = [&err](const QString &reason, PortFault fault, int number, bool hint) {
        err << "lumaveractl: " << reason << '\n';
        if (hint && fault != PortFault::BadName)
            err << CtlTexts::tr(
                       "See 'lumaveractl list' for the devices behind the numbers; give COM%1 a "
                       "device with 'lumaveractl pin COM%1 PATH', or name the device with "
                       "--port PATH.")
                       .arg(number)
                << '\n';
        return fault == PortFault::BadName ? ExitUsage : ExitPort;
    };
    if (options.command == CtlOptions::Command::Station) {
        // The station looks at each port as a module comes, not now.
        lookAhead.reset();
        const PreparedStation station = PrepareStation(StationOptionsFrom(options));
        switch (station.fault) {
        case StationFault::None:
            return RunStation(station.options, options.json, out, err);
        case StationFault::File:
            return refuseFile(station.reason);
        case StationFault::Port:
            return refusePort(station.reason, station.port.fault, station.port.number,
                              station.portIndex == 0);
        case StationFault::Twice:
            return refuseFile(station.reason);
        }
    }
    if (options.command == CtlOptions::Command::Restore) {
        const LoadedConfig loaded = LoadModuleConfig(options.file);
        if (!loaded)
            return refuseFile(loaded.reason);
        options.restore = loaded.settings;
    }

    // The port as the window numbers it; without --port, the window's last.
    // A device path needs no look at the settings file.
    const bool numbered = options.port.isEmpty() ||
                          options.port.startsWith(QLatin1String("COM"), Qt::CaseInsensitive);
    const Settings settings = numbered ? SettingsStore(IniPath()).load() : Settings();
    for (const QString &passedOver : settings.ignored)
        err << "lumaveractl: " << IniPath() << ": " << passedOver << '\n';
    const ResolvedPort port = ResolvePort(options.port, settings.commPort(), settings.pins);
    if (!port)
        return refusePort(port.reason, port.fault, port.number, true);
    const QString device = port.path;
    options.port = device;
    return RunInEventLoop(runOnModule(options, out, err));
}
