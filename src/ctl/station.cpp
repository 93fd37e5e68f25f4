#include "ctl/station.h"

#include "app/unixsignals.h"
#include "ctl/printable.h"
#include "ctl/texts.h"
#include "station/engine.h"

#include <QCoreApplication>

#include <csignal>
#include <unistd.h>

namespace lumavera {

namespace {

// One verdict as a line for standard output.
QString verdictLine(const StationReport &r)
{
    const QString why = r.why();
    return QStringLiteral("%1  %2  %3  %4  %5 ms%6")
        .arg(r.at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), Printable(r.device),
             r.serial.isEmpty() ? QStringLiteral("-") : Printable(r.serial),
             StationReport::resultName(r.result))
        .arg(r.ms)
        .arg(why.isEmpty() ? QString() : QStringLiteral("  ") + Printable(why));
}

} // namespace

StationOptions StationOptionsFrom(const CtlOptions &o)
{
    StationOptions s;
    s.file = o.file;
    s.restore = o.restore;
    s.ports = o.ports;
    s.match = o.match;
    s.all = o.all;
    s.cable = o.cable;
    s.save = o.saveAfterRestore;
    s.log = o.log;
    s.unitIds = o.unitIds;
    s.sound = o.sound;
    s.timeoutMs = o.timeoutMs;
    s.gapMs = o.gapMs;
    return s;
}

int RunStation(const StationOptions &options, bool json, QTextStream &out, QTextStream &err)
{
    StationEngine station(options);
    bool logFailed = false;
    QObject::connect(
        &station, &StationEngine::news, &station,
        [&err](const QString &port, const StationNews &news) {
            QString line;
            switch (news.kind) {
            case StationNews::Kind::Waiting:
                line = CtlTexts::tr("waiting for a module on %1").arg(port);
                break;
            case StationNews::Kind::Found:
                line = CtlTexts::tr("module found on %1").arg(port);
                break;
            case StationNews::Kind::Note:
                line = news.text;
                break;
            case StationNews::Kind::Absent:
                line = news.text.isEmpty()
                           ? CtlTexts::tr("waiting for %1, which is not plugged in").arg(port)
                           : CtlTexts::tr("waiting for %1: %2").arg(port, news.text);
                break;
            case StationNews::Kind::Held:
            case StationNews::Kind::Unopened:
                line = CtlTexts::tr("waiting for %1: %2").arg(port, news.text);
                break;
            case StationNews::Kind::Working:
                return;
            }
            err << "lumaveractl: " << Printable(line) << Qt::endl;
        });
    QObject::connect(&station, &StationEngine::reported, &station,
                     [&](const StationReport &report, const QString &logFault) {
                         out << (json ? report.json() : verdictLine(report)) << Qt::endl;
                         // The terminal's bell, where there is a terminal.
                         if (options.sound && report.result == StationReport::Result::Fail &&
                             ::isatty(STDERR_FILENO))
                             err << '\a' << Qt::flush;
                         if (!logFault.isEmpty()) {
                             err << "lumaveractl: " << logFault << Qt::endl;
                             logFailed = true;
                         }
                     });
    QObject::connect(&station, &StationEngine::finished, &station, &QCoreApplication::quit);

    if (const StationStart started = station.start(); !started) {
        err << "lumaveractl: " << started.reason << Qt::endl;
        return ExitUsage;
    }
    OnUnixSignals({SIGINT, SIGTERM, SIGHUP}, &station, [&] {
        if (station.isStopping())
            err << CtlTexts::tr("lumaveractl: stopping now.") << Qt::endl;
        else if (station.isWorking())
            err << CtlTexts::tr(
                       "lumaveractl: finishing the modules in progress; Ctrl+C again stops them.")
                << Qt::endl;
        station.stop();
    });
    // Said once the ports there at start are known: whatever is plugged in
    // from now on counts as new.
    // A line of benches is named by its first few ports: a line of 64 names
    // is read by nobody.
    constexpr qsizetype Listed = 4;
    const QString named = options.ports.size() <= Listed + 1
                              ? Printable(options.ports.join(u", "))
                              : CtlTexts::tr("%1 ports (%2 and %3 more)")
                                    .arg(options.ports.size())
                                    .arg(Printable(options.ports.first(Listed).join(u", ")))
                                    .arg(options.ports.size() - Listed);
    const QString where = !options.ports.isEmpty() ? named
                          : !options.match.isEmpty()
                              ? CtlTexts::tr("ports matching %1").arg(options.match)
                              : CtlTexts::tr("any serial port");
    err << CtlTexts::tr("lumaveractl: waiting for modules on %1; Ctrl+C ends.").arg(where)
        << Qt::endl;
    QCoreApplication::exec();
    const StationTally &tally = station.tally();
    const auto counted = [](const StationTally::Counts &n) {
        return CtlTexts::tr("%1 passed, %2 failed").arg(n.passed).arg(n.failed) +
               (n.skipped ? CtlTexts::tr(", %1 left alone").arg(n.skipped) : QString());
    };
    QString summary = counted(tally.all);
    if (tally.firstTries > 0 && tally.firstTries != tally.all.passed + tally.all.failed)
        summary += CtlTexts::tr("; first-pass yield %1 % (%2 of %3 units)")
                       .arg(tally.yieldPercent())
                       .arg(tally.firstPasses)
                       .arg(tally.firstTries);
    // Each named port's share, where there was more than one (a station on
    // any port meets a new name with every adapter plugged in).
    if (!options.ports.isEmpty() && tally.ports.size() > 1) {
        for (auto it = tally.ports.begin(); it != tally.ports.end(); ++it)
            summary += QStringLiteral("\n  %1: %2").arg(Printable(it.key()), counted(it.value()));
    }
    (json ? err : out) << summary << Qt::endl;
    const StationTally::Counts &n = tally.all;
    return n.failed || logFailed ? ExitModule : ExitDone;
}

} // namespace lumavera
