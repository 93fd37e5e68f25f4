#include "ctl/find.h"

#include "ctl/moduleaccess.h"
#include "ctl/options.h"
#include "ctl/printable.h"
#include "ctl/texts.h"
#include "link/deviceholder.h"
#include "link/deviceidentity.h"
#include "link/handoff.h"
#include "link/modulelink.h"
#include "link/modulesession.h"
#include "link/portmap.h"
#include "settings/ini.h"
#include "settings/settings.h"
#include "station/setup.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <vector>

namespace lumavera {

namespace {

Task<> ask(QString device, int timeoutMs, ModuleAnswer &answer)
{
    ModuleLink link;
    ModuleSession session(link, ReplyWaitRule::untilComplete(timeoutMs));
    answer = co_await AskModule(session, device);
}

// A port another program holds is asked through the window when the window
// is what holds it, as every other command does; else it is left alone.
Task<> askHeld(QString device, QString holder, int timeoutMs, ModuleAnswer &answer)
{
    WindowAccess window(timeoutMs);
    if (!window.attach(RealDevicePath(device))) {
        answer.fault = AnswerFault::Held;
        answer.reason = CtlTexts::tr("in use by %1").arg(holder);
        co_return;
    }
    const StepOutcome read = co_await window.run(ModuleStep::read());
    answer.fault = read.ok() ? AnswerFault::None : AnswerFault::NotModule;
    answer.settings = read.settings;
    answer.reason = read.reason;
}

} // namespace

int RunFind(const CtlOptions &options, QTextStream &out, QTextStream &err)
{
    const Settings settings = SettingsStore(IniPath()).load();
    const PortListing listing = ListPorts(settings.pins, true);
    struct Row
    {
        int number; // 0: a device no number stands for
        PortInfo port;
        QString serial;
        ModuleAnswer answer;
    };
    // --port asks that one port only.
    QString only;
    if (!options.port.isEmpty()) {
        const ResolvedPort port = ResolvePort(options.port, settings.commPort(), settings.pins);
        if (!port) {
            err << "lumaveractl: " << port.reason << '\n';
            return ExitPort;
        }
        only = RealPathOnDisk(port.path);
        if (only.isEmpty()) {
            err << "lumaveractl: " << CtlTexts::tr("There is no device %1.").arg(port.path) << '\n';
            return ExitPort;
        }
    }
    std::vector<Row> rows;
    for (int n = FirstPort; n <= LastPort; ++n) {
        const PortInfo &info = listing[std::size_t(n - 1)];
        const QString device = RealPathOnDisk(info.entry.path);
        if (!info.entry.present || device.isEmpty() || (!only.isEmpty() && device != only) ||
            !MatchesGlob(options.match, {info.entry.path, device, StableNameFor(device)}))
            continue;
        rows.push_back({n, info, DeviceSerialNumber(device), {}});
    }
    if (!only.isEmpty() && rows.empty()) {
        PortInfo info;
        info.entry.path = options.port;
        info.entry.present = true;
        info.holder = DeviceHolder(only);
        rows.push_back({0, info, DeviceSerialNumber(only), {}});
    }
    // Every port asked at once: a port without a module costs its timeout once.
    std::vector<std::unique_ptr<TaskThread>> threads;
    for (Row &row : rows) {
        threads.emplace_back(std::make_unique<TaskThread>([&row, &options] {
            return row.port.holder.isEmpty()
                       ? ask(row.port.entry.path, options.timeoutMs, row.answer)
                       : askHeld(row.port.entry.path, row.port.holder, options.timeoutMs,
                                 row.answer);
        }));
        threads.back()->start();
    }
    for (const auto &thread : threads)
        thread->wait();

    bool any = false;
    QString advice; // why a port may not be opened: said once, not on every row
    for (const Row &row : rows) {
        const ModuleAnswer &a = row.answer;
        any = any || a.ok();
        const QString port =
            row.number > 0 ? QStringLiteral("COM%1").arg(row.number) : QStringLiteral("-");
        const bool denied = a.fault == AnswerFault::NotOpened && a.opening == OpenFault::Denied;
        if (denied && advice.isEmpty())
            advice = a.reason;
        const QString state = a.ok()                              ? QStringLiteral("module")
                              : a.fault == AnswerFault::NotModule ? QStringLiteral("no answer")
                              : denied ? CtlTexts::tr("permission denied")
                                       : a.reason;
        if (options.json) {
            QJsonObject object{
                {QStringLiteral("port"), row.number > 0 ? QJsonValue(port) : QJsonValue()},
                {QStringLiteral("path"), row.port.entry.path},
                {QStringLiteral("serial"),
                 row.serial.isEmpty() ? QJsonValue() : QJsonValue(row.serial)},
                {QStringLiteral("module"), a.ok()}};
            if (a.ok()) {
                object.insert(QStringLiteral("mode"), a.settings.mode);
                object.insert(QStringLiteral("fade"), a.settings.fade);
                object.insert(QStringLiteral("hold"), a.settings.hold);
            } else {
                object.insert(QStringLiteral("reason"), state);
            }
            out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
            continue;
        }
        out << port.leftJustified(6) << ' ' << Printable(row.port.entry.path) << "  "
            << (row.serial.isEmpty() ? QStringLiteral("-") : Printable(row.serial)) << "  "
            << Printable(state);
        if (a.ok())
            out << QStringLiteral(" (mode %1, fade %2, hold %3)")
                       .arg(a.settings.mode)
                       .arg(a.settings.fade)
                       .arg(a.settings.hold);
        out << '\n';
    }
    if (rows.empty())
        out << CtlTexts::tr("No serial port to ask.") << '\n';
    if (!advice.isEmpty()) {
        out.flush();
        err << "lumaveractl: " << advice << Qt::endl;
    }
    return any ? ExitDone : ExitModule;
}

} // namespace lumavera
