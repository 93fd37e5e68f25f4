// lumaveractl: the LED module from the shell. It never asks anything: it does
// what it is told and exits with a status a script can test.

#include "app/unixsignals.h"
#include "ctl/commands.h"
#include "ctl/moduleaccess.h"
#include "ctl/moduleconfig.h"
#include "ctl/options.h"
#include "link/handoff.h"
#include "link/portmap.h"
#include "settings/ini.h"
#include "settings/settings.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("lumaveractl", text);
}

// The device a --port value (or, without one, the window's last port) stands
// for; empty with the reason in `why` when there is none.
QString resolvePort(const QString &port, QString *why)
{
    static const QRegularExpression com(QStringLiteral("^COM([0-9]{1,2})$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(port);
    // A device path needs no look at the settings or the system.
    if (!port.isEmpty() && !m.hasMatch())
        return port;
    const Settings settings = Settings::load(IniPath());
    int number = settings.commPort();
    if (!port.isEmpty()) {
        number = m.captured(1).toInt();
        if (number < FirstPort || number > LastPort) {
            *why = tr("there is no %1; the ports are COM1..COM20").arg(port);
            return {};
        }
    }
    const QString path = DevicePathFor(
        number, settings.pins, settings.pins.contains(number) ? QStringList() : SystemPortPaths());
    if (path.isEmpty())
        *why = tr("No device is assigned to COM%1.").arg(number);
    return path;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumaveractl"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    const auto parsed = ParseCtlArguments(QCoreApplication::arguments().mid(1));
    if (const QString *problem = std::get_if<QString>(&parsed)) {
        err << "lumaveractl: " << *problem << '\n'
            << CtlUsage().section(u'\n', 0, 0) << '\n'
            << tr("Try 'lumaveractl --help' for more.") << '\n';
        return ExitUsage;
    }
    CtlOptions options = std::get<CtlOptions>(parsed);
    if (options.help) {
        const QStringList words = QCoreApplication::arguments().mid(1);
        const auto named = std::find_if(words.begin(), words.end(),
                                        [](const QString &w) { return !w.startsWith(u'-'); });
        out << (named == words.end() ? CtlUsage() : CtlCommandHelp(*named));
        return ExitDone;
    }
    if (options.command == CtlOptions::Command::List)
        return RunList(options, out);

    // A file to restore is checked whole before the port is even opened.
    if (options.command == CtlOptions::Command::Restore) {
        const auto loaded = LoadModuleConfig(options.file);
        if (const QString *error = std::get_if<QString>(&loaded)) {
            err << "lumaveractl: " << *error << '\n';
            return ExitUsage;
        }
        options.restore = std::get<ModuleSettings>(loaded);
    }

    QString why;
    const QString device = resolvePort(options.port, &why);
    if (device.isEmpty()) {
        err << "lumaveractl: " << why << '\n';
        return ExitPort;
    }

    // Where the window holds the device, it carries the command out; the
    // two never fight over one line.
    std::unique_ptr<ModuleAccess> module;
    auto window = std::make_unique<WindowAccess>();
    if (window->attach(RealDevicePath(device))) {
        module = std::move(window);
    } else {
        auto direct = std::make_unique<DirectAccess>(device, options.timeoutMs);
        if (options.verbose)
            direct->onTraffic = [&err](const QString &line) { err << line << Qt::endl; };
        if (!direct->open()) {
            err << tr("lumaveractl: Selected Com Port Not Available: %1").arg(direct->openError())
                << '\n';
            return ExitPort;
        }
        module = std::move(direct);
    }
    if (options.verbose)
        module->onTraffic = [&err](const QString &line) { err << line << Qt::endl; };
    return RunModuleCommand(options, *module, out, err);
}
