#include "ctl/find.h"

#include "ctl/printable.h"
#include "ctl/texts.h"
#include "link/deviceidentity.h"
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

} // namespace

int RunFind(const CtlOptions &options, QTextStream &out)
{
    const PortListing listing = ListPorts(SettingsStore(IniPath()).load().pins, true);
    struct Row
    {
        int number;
        PortInfo port;
        QString serial;
        ModuleAnswer answer;
    };
    std::vector<Row> rows;
    for (int n = FirstPort; n <= LastPort; ++n) {
        const PortInfo &info = listing[std::size_t(n - 1)];
        const QString device = RealPathOnDisk(info.entry.path);
        if (!info.entry.present || device.isEmpty() ||
            !MatchesGlob(options.match, {info.entry.path, device, StableNameFor(device)}))
            continue;
        rows.push_back({n, info, DeviceSerialNumber(device), {}});
    }
    // Every port asked at once: a port without a module costs its timeout once.
    std::vector<std::unique_ptr<TaskThread>> threads;
    for (Row &row : rows) {
        if (!row.port.holder.isEmpty()) {
            row.answer.fault = AnswerFault::Held;
            row.answer.reason = CtlTexts::tr("in use by %1").arg(row.port.holder);
            continue;
        }
        threads.emplace_back(std::make_unique<TaskThread>(
            [&row, &options] { return ask(row.port.entry.path, options.timeoutMs, row.answer); }));
        threads.back()->start();
    }
    for (const auto &thread : threads)
        thread->wait();

    bool any = false;
    for (const Row &row : rows) {
        const ModuleAnswer &a = row.answer;
        any = any || a.ok();
        const QString port = QStringLiteral("COM%1").arg(row.number);
        const QString state = a.ok()                              ? QStringLiteral("module")
                              : a.fault == AnswerFault::NotModule ? QStringLiteral("no answer")
                                                                  : a.reason;
        if (options.json) {
            QJsonObject object{{QStringLiteral("port"), port},
                               {QStringLiteral("path"), row.port.entry.path},
                               {QStringLiteral("serial"), row.serial},
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
    return any ? ExitDone : ExitModule;
}

} // namespace lumavera
