#include "station/setup.h"

#include "link/deviceholder.h"
#include "link/deviceidentity.h"
#include "link/lateanswer.h"
#include "link/modulelink.h"
#include "link/modulesetup.h"
#include "link/networkport.h"
#include "settings/history.h"
#include "station/texts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

namespace lumavera {

namespace {

// Pauses for `ms`; false when `stop` came meanwhile. The link's pauses end
// early when something happens (a loss, a stop): the rest of the time is
// paused when it was not `stop`.
Task<bool> pauseUnless(ModuleLink &link, int ms, std::function<bool()> stop)
{
    QElapsedTimer paused;
    paused.start();
    for (qint64 left = ms; left > 0; left = ms - paused.elapsed()) {
        co_await link.pause(int(left));
        if (stop())
            co_return false;
        // A link that takes no more waits pauses no more.
        if (link.waitsEnded())
            break;
    }
    co_return !stop();
}

// A link's pauses end early on its loss, and on `ending` where that is
// given, so that what is paused looks at once.
void endPausesOn(ModuleLink &link, const StopNow *ending = nullptr)
{
    QObject::connect(&link, &ModuleLink::lost, &link, [&link] { link.endPauses(); });
    if (ending)
        QObject::connect(ending, &StopNow::stopped, &link, [&link] { link.endPauses(); });
}

// The pause between a restore's frames: false to stop before the next one.
Task<bool> gap(ModuleLink &link, int ms, std::function<bool()> stopped)
{
    co_return co_await pauseUnless(link, ms, stopped) && !stopped();
}

// Why a restore ended without its module: the device went away, or the
// server of a network line ended the connection.
QString cutOff(const ModuleLink &link)
{
    return link.isNetwork() && !link.lossReason().isEmpty()
               ? StationTexts::tr("cut off during restore: %1").arg(link.lossReason())
               : StationTexts::tr("unplugged during restore");
}

// The same, for a restore cut off at `step` of `steps`, with what reached
// the module.
QString cutOff(const ModuleLink &link, int step, int steps, const QString &reached)
{
    QString why = link.isNetwork() ? link.lossReason() : QString();
    if (why.endsWith(u'.'))
        why.chop(1);
    return why.isEmpty() ? StationTexts::tr("unplugged during restore at step %1 of %2: %3")
                               .arg(step)
                               .arg(steps)
                               .arg(reached)
                         : StationTexts::tr("cut off during restore at step %1 of %2 (%3): %4")
                               .arg(step)
                               .arg(steps)
                               .arg(why, reached);
}

// One device's line as it is being made: which device, and since when.
struct Verdict
{
    explicit Verdict(const StationPort &port)
    {
        clock.start();
        report.device = port.name;
        report.serial = DeviceSerialNumber(port.device);
    }
    // The line, ending with `result` for `reason`.
    StationReport operator()(StationReport::Result result, const QString &reason)
    {
        report.result = result;
        report.reason = reason;
        report.ms = clock.elapsed();
        report.at = QDateTime::currentDateTime();
        return report;
    }

    StationReport report;
    QElapsedTimer clock;
};

// Restores the module on an open session from the configuration, once it
// has answered with what it holds: keeps that first, then restores, reads
// back and compares, and saves when asked.
Task<StationReport> restoreOne(ModuleSession &session, ModuleSettings held, const StationPort &port,
                               const StationOptions &o, const StopNow &stop,
                               std::function<bool()> unplugged, const StationNewsSink &news,
                               Verdict &done)
{
    // Nothing the module held is lost: it is kept before the first change.
    const KeptResult kept = KeepBackup(port.name, held);
    done.report.backup = kept.path;
    if (!kept.ok())
        co_return done(
            StationReport::Result::Fail,
            StationTexts::tr("what the module held could not be kept: %1").arg(kept.reason));
    // Every frame of the configuration, its read back and the save asked for.
    const int steps = int(SetupSteps(o.restore).size()) + 1 + (o.save ? 1 : 0);
    int step = 0;
    const auto run = [&](const ModuleStep &next) {
        news({StationNews::Kind::Working, ++step, steps, {}});
        return session.run(next);
    };
    // A long --gap is paused in short slices, so that a second Ctrl+C or an
    // unplug acts within a tenth of a second.
    const std::function<bool()> stopped = [&] { return stop || unplugged(); };
    const SetupResult setup = co_await SetUpModule(
        run, o.restore, o.gapMs, [&](int ms) { return gap(session.link(), ms, stopped); });
    // Half a module set up is said with what reached it; what it held is
    // in the backup column.
    if (unplugged() || setup.failure.fault == ReplyFault::Unplugged)
        co_return done(StationReport::Result::Fail,
                       cutOff(session.link(), setup.completed + 1, steps, SetupReached(setup)));
    if (setup.stopped || stop)
        co_return done(StationReport::Result::Fail,
                       StationTexts::tr("stopped before the restore was done"));
    if (setup.failedStep)
        co_return done(StationReport::Result::Fail,
                       StationTexts::tr("%1 failed: %2")
                           .arg(StepName(setup.failedStep->kind), setup.failure.reason));
    if (!setup.differences.isEmpty()) {
        done.report.differences = setup.differences;
        co_return done(StationReport::Result::Fail,
                       StationTexts::tr("the module differs from the file"));
    }
    if (o.save) {
        const StepOutcome saved = co_await run(ModuleStep::save());
        if (!saved.ok())
            co_return done(StationReport::Result::Fail,
                           unplugged() ? cutOff(session.link())
                           : stop      ? StationTexts::tr("stopped before the save was done")
                                       : StationTexts::tr("save failed: %1").arg(saved.reason));
    }
    co_return done(StationReport::Result::Pass, {});
}

// The second stop ends every wait on the link at once, and refuses new
// ones: an answer waited for, a pause, a connection being made.
void endWaitsOnStop(ModuleLink &link, const StopNow &stop)
{
    QObject::connect(&stop, &StopNow::stopped, &link, [&link] { link.endWaits(); });
    if (stop)
        link.endWaits();
}

// Waits `ms`; false when `stop` or `ending` came first, told the moment it
// comes.
Task<bool> waitUnless(int ms, const StopNow &stop, const StopNow &ending)
{
    QObject context;
    Waiter woken;
    const auto wake = [&woken] { woken.wake(); };
    QTimer::singleShot(ms, Qt::PreciseTimer, &context, wake);
    QObject::connect(&stop, &StopNow::stopped, &context, wake, Qt::QueuedConnection);
    QObject::connect(&ending, &StopNow::stopped, &context, wake, Qt::QueuedConnection);
    // Looked at once the signals are heard: a stop just before is not missed.
    if (stop || ending)
        co_return false;
    co_await woken;
    co_return !stop && !ending;
}

} // namespace

// Sets up the module on one port from the configuration: runs on its own
// thread, with its own link, so that no two ports share a wait or an answer.
// A device the user named (--port, --match) that does not answer like a
// module fails; any other is left alone.
Task<StationReport> SetUpOne(StationPort port, StationOptions o, const StopNow &stop,
                             StationNewsSink news)
{
    Verdict done(port);
    const bool named = o.named();

    // Nothing is written to a device that has not answered like a module,
    // nor to one another program holds.
    const bool network = IsNetworkPort(port.device);
    if (const QString holder = network ? QString() : DeviceHolder(port.device); !holder.isEmpty()) {
        done.report.holder = holder;
        done.report.held = true;
        co_return done(StationReport::Result::Skip, StationTexts::tr("in use by %1").arg(holder));
    }
    ModuleLink link;
    link.setConnectTimeout(o.timeoutMs);
    bool lost = false;
    QObject::connect(&link, &ModuleLink::lost, &link, [&lost] { lost = true; });
    // A server's hang-up is known the moment a write meets it, before the
    // link's loss is told through the event loop.
    const auto unplugged = [&] {
        return lost || (network ? !link.lossReason().isEmpty() : !QFileInfo::exists(port.device));
    };
    ModuleSession session(link, ReplyWaitRule::untilComplete(o.timeoutMs));
    endWaitsOnStop(link, stop);
    endPausesOn(link);
    const ModuleAnswer first = co_await AskModule(session, port.device);
    // Stopped at once while it was asked: nothing but the read went to it.
    // (An answer that came, or a wait that ran out, is told as it is.)
    if (stop && first.reply == ReplyFault::Aborted)
        co_return done(StationReport::Result::Skip, StationTexts::tr("stopped before it answered"));
    // Held by a program of another user, or locked: seen only by the open.
    if (first.fault == AnswerFault::NotOpened &&
        (first.opening == OpenFault::Held || first.opening == OpenFault::Locked)) {
        // "in use by …" as the station's own look says it, the device being
        // the row's.
        QString why = first.reason;
        if (const QString prefix = port.device + QStringLiteral(" is "); why.startsWith(prefix))
            why = why.mid(prefix.size()).chopped(why.endsWith(u'.') ? 1 : 0);
        done.report.held = true;
        co_return done(StationReport::Result::Skip, why);
    }
    if (first.fault == AnswerFault::NotOpened) {
        done.report.unopened = true;
        co_return done(StationReport::Result::Fail, first.reason);
    }
    if (!first.ok()) {
        const QString why =
            unplugged() ? StationTexts::tr("unplugged before it answered") : first.reason;
        co_return done(named ? StationReport::Result::Fail : StationReport::Result::Skip,
                       named ? why : StationTexts::tr("not a module: %1").arg(why));
    }
    news({StationNews::Kind::Found, 0, 0, done.report.serial});
    co_return co_await restoreOne(session, first.settings, port, o, stop, unplugged, news, done);
}

Task<> SetUpPort(StationPort port, StationOptions o, const StopNow &stop, const StopNow &ending,
                 std::function<void(const StationReport &)> report, StationNewsSink news)
{
    constexpr int LookAgainMs = 1000;
    const bool network = IsNetworkPort(port.device);
    QString told;
    for (bool first = true;; first = false) {
        const StationReport r = co_await SetUpOne(port, o, stop, news);
        if (!o.named() || (!r.held && !r.unopened)) {
            report(r);
            co_return;
        }
        // One SKIP for the program that holds it, as for a port not named;
        // after that only what changes is told.
        if (first && r.held)
            report(r);
        if (r.reason != told)
            news({r.held ? StationNews::Kind::Held : StationNews::Kind::Unopened, 0, 0, r.reason});
        told = r.reason;
        if (!co_await waitUnless(LookAgainMs, stop, ending))
            co_return;
        // Gone: looked at again when it is plugged in anew.
        if (!network && !QFileInfo::exists(port.device))
            co_return;
    }
}

// A cable that stays plugged in, with modules put on and taken off its far
// end: asked with the read command every half second until a module answers,
// which is set up and gets its verdict; the next is taken once the cable has
// been silent for a second. Silence is no verdict. Runs until `ending` (the
// first Ctrl+C: a module in progress is finished first) or `stop`.
Task<> WatchCable(StationPort port, StationOptions o, const StopNow &stop, const StopNow &ending,
                  std::atomic_bool &again, std::function<void(const StationReport &)> report,
                  StationNewsSink news)
{
    constexpr int PollMs = 500;
    constexpr int GoneAfterMs = 1000;
    ModuleLink link;
    bool lost = false;
    QObject::connect(&link, &ModuleLink::lost, &link, [&lost] { lost = true; });
    link.setDevicePath(port.device);
    link.setHolderCheck(HolderCheck::None);
    link.setConnectTimeout(o.timeoutMs);
    // A poll answers within the half second or is silence.
    ModuleSession poll(link, ReplyWaitRule::untilComplete(std::min(o.timeoutMs, PollMs - 50)));
    ModuleSession session(link, ReplyWaitRule::untilComplete(o.timeoutMs));
    endWaitsOnStop(link, stop);
    endPausesOn(link, &ending);
    enum class State { Waiting, Attached } state = State::Waiting;
    QElapsedTimer heard; // since the module last answered
    QString lastFault;
    QString lastOpenError;
    news({StationNews::Kind::Waiting, 0, 0, {}});
    heard.start();
    // A module whose verdict is in is no longer being set up: the first stop
    // lets the cable go once none is, whether or not a module sits on it.
    while (!stop && !ending) {
        QElapsedTimer tick;
        tick.start();
        if (!link.isOpen()) {
            lost = false;
            if (const OpenResult opened = co_await link.open(); !opened) {
                if (opened.reason != lastOpenError)
                    news({StationNews::Kind::Note, 0, 0, opened.reason});
                lastOpenError = opened.reason;
                // No module is on a line that does not open: the first
                // Ctrl+C need not wait for one.
                state = State::Waiting;
                co_await pauseUnless(link, PollMs, [&] { return bool(stop) || bool(ending); });
                continue;
            }
            lastOpenError.clear();
        }
        // A retest: the module on the cable is taken as if just put on.
        if (state == State::Attached && again.exchange(false)) {
            state = State::Waiting;
            lastFault.clear();
        }
        const StepOutcome out = co_await poll.run(ModuleStep::read());
        if (out.fault == ReplyFault::NoAnswer) {
            // Only the read command goes out while the cable is polled, so
            // an answer to an earlier poll that comes late tells the same
            // thing as a timely one: it need not be waited out.
            ClearAnswerPending(port.device);
            lastFault.clear();
            if (state == State::Attached && heard.elapsed() >= GoneAfterMs) {
                state = State::Waiting;
                news({StationNews::Kind::Waiting, 0, 0, {}});
            }
        } else {
            heard.start();
        }
        if (state == State::Waiting && out.ok()) {
            Verdict done(port);
            news({StationNews::Kind::Found, 0, 0, done.report.serial});
            report(co_await restoreOne(
                session, out.settings, port, o, stop, [&] { return lost; }, news, done));
            state = State::Attached;
        } else if (state == State::Waiting && !out.ok() && out.fault != ReplyFault::NoAnswer &&
                   !lost) {
            // Something answers, but not as a module: a fault of the module,
            // once it is seen twice running (not a module being put on).
            if (lastFault == out.reason) {
                report(Verdict(port)(StationReport::Result::Fail, out.reason));
                state = State::Attached;
            }
            lastFault = out.reason;
        }
        co_await pauseUnless(link, int(std::max<qint64>(0, PollMs - tick.elapsed())),
                             [&] { return bool(stop) || bool(ending); });
    }
}

Task<ModuleAnswer> AskModule(ModuleSession &session, QString device)
{
    ModuleAnswer answer;
    ModuleLink &link = session.link();
    link.setDevicePath(device);
    link.setHolderCheck(HolderCheck::None);
    if (const OpenResult opened = co_await link.open(); !opened) {
        answer.fault = AnswerFault::NotOpened;
        answer.opening = opened.fault;
        answer.reason = opened.reason;
        co_return answer;
    }
    const StepOutcome read = co_await session.run(ModuleStep::read());
    if (!read.ok())
        answer.fault = AnswerFault::NotModule;
    answer.reply = read.fault;
    answer.settings = read.settings;
    answer.reason = read.reason;
    co_return answer;
}

bool MatchesGlob(const QString &glob, const QStringList &names)
{
    if (glob.isEmpty())
        return true;
    // As the shell matches: "*" stops at "/", so a pattern matches either
    // the whole path or its last part.
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(glob));
    for (const QString &name : names) {
        if (re.match(name).hasMatch() || re.match(QFileInfo(name).fileName()).hasMatch())
            return true;
    }
    return false;
}

} // namespace lumavera
