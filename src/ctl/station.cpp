#include "ctl/station.h"

#include "app/unixsignals.h"
#include "ctl/printable.h"
#include "link/devicecheck.h"
#include "link/lateanswer.h"
#include "link/modulelink.h"
#include "link/modulesession.h"
#include "link/modulesetup.h"
#include "link/portmap.h"
#include "link/portwatcher.h"
#include "settings/history.h"
#include "settings/ini.h"
#include "settings/inifile.h"
#include "settings/settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <functional>
#include <vector>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("lumaveractl", text);
}

QString resultName(StationReport::Result result)
{
    switch (result) {
    case StationReport::Result::Pass:
        return QStringLiteral("PASS");
    case StationReport::Result::Fail:
        return QStringLiteral("FAIL");
    case StationReport::Result::Skip:
        break;
    }
    return QStringLiteral("SKIP");
}

QString csvField(const QString &text)
{
    // A spreadsheet runs a field that starts like a formula; device names
    // and serial numbers come from the device, so such a field is kept as
    // text by a leading apostrophe.
    static const QRegularExpression formula(QStringLiteral("^[=+\\-@\\t\\r]"));
    const QString field = text.contains(formula) ? u'\'' + text : text;
    static const QRegularExpression special(QStringLiteral("[\",\\r\\n]"));
    if (!field.contains(special))
        return field;
    return u'"' + QString(field).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// Restores the module on an open session from the configuration, once it
// has answered with what it holds: keeps that first, then restores, reads
// back and compares, and saves when asked.
StationReport restoreOne(ModuleSession &session, const ModuleSettings &held,
                         const StationPort &port, const CtlOptions &o, const std::atomic_bool &stop,
                         const std::function<bool()> &unplugged, StationReport r,
                         const QElapsedTimer &clock)
{
    const auto done = [&](StationReport::Result result, const QString &reason) {
        r.result = result;
        r.reason = reason;
        r.ms = clock.elapsed();
        r.at = QDateTime::currentDateTime();
        return r;
    };
    // Nothing the module held is lost: it is kept before the first change.
    if (const WriteResult kept = KeepBackup(port.name, held, &r.backup); !kept.ok)
        return done(StationReport::Result::Fail,
                    tr("what the module held could not be kept: %1").arg(kept.reason));
    const auto run = [&session](const ModuleStep &step) { return session.run(step); };
    // A long --gap is paused in short slices, so that a second Ctrl+C or an
    // unplug acts within a tenth of a second.
    const SetupResult setup = SetUpModule(run, o.restore, o.gapMs, [&](int ms) {
        QElapsedTimer paused;
        paused.start();
        for (qint64 left = ms; left > 0; left = ms - paused.elapsed()) {
            PauseWithEvents(int(std::min<qint64>(left, 100)));
            if (stop || unplugged())
                return false;
        }
        return !stop && !unplugged();
    });
    if (unplugged())
        return done(StationReport::Result::Fail, tr("unplugged during restore"));
    if (setup.stopped)
        return done(StationReport::Result::Fail, tr("stopped before the restore was done"));
    if (setup.failedStep)
        return done(
            StationReport::Result::Fail,
            tr("%1 failed: %2").arg(StepName(setup.failedStep->kind), setup.failure.reason));
    if (!setup.differences.isEmpty()) {
        r.differences = setup.differences;
        return done(StationReport::Result::Fail, tr("the module differs from the file"));
    }
    if (o.saveAfterRestore) {
        const StepOutcome saved = session.run(ModuleStep::save());
        if (!saved.ok())
            return done(StationReport::Result::Fail, unplugged()
                                                         ? tr("unplugged during restore")
                                                         : tr("save failed: %1").arg(saved.reason));
    }
    return done(StationReport::Result::Pass, {});
}

// Sets up the module on one port from the configuration: runs on its own
// thread, with its own link, so that no two ports share a wait or an answer.
// A device the user named (--port, --match) that does not answer like a
// module fails; any other is left alone.
StationReport setUpOne(const StationPort &port, const CtlOptions &o, const std::atomic_bool &stop,
                       const std::function<void()> &found)
{
    QElapsedTimer clock;
    clock.start();
    StationReport r;
    r.device = port.name;
    r.serial = DeviceSerialNumber(port.device);
    const auto done = [&](StationReport::Result result, const QString &reason) {
        r.result = result;
        r.reason = reason;
        r.ms = clock.elapsed();
        r.at = QDateTime::currentDateTime();
        return r;
    };
    const bool named = !o.port.isEmpty() || !o.match.isEmpty();

    // Nothing is written to a device that has not answered like a module,
    // nor to one another program holds.
    if (const QString holder = DeviceHolder(port.device); !holder.isEmpty())
        return done(StationReport::Result::Skip, tr("in use by %1").arg(holder));
    ModuleLink link;
    bool lost = false;
    QObject::connect(&link, &ModuleLink::lost, &link, [&lost] { lost = true; });
    const auto unplugged = [&] { return lost || !QFileInfo::exists(port.device); };
    ModuleSession session(link, ReplyWaitRule::untilComplete(o.timeoutMs));
    const ModuleAnswer first = AskModule(session, port.device);
    if (!first.reason.isEmpty())
        return done(StationReport::Result::Fail, first.reason);
    if (!first.module) {
        const QString why = unplugged() ? tr("unplugged before it answered") : first.notModule;
        return done(named ? StationReport::Result::Fail : StationReport::Result::Skip,
                    named ? why : tr("not a module: %1").arg(why));
    }
    found();
    return restoreOne(session, first.settings, port, o, stop, unplugged, r, clock);
}

// Pauses for `ms` with events running, in tenths of a second; false when
// `stop` came meanwhile.
bool pauseUnless(int ms, const std::function<bool()> &stop)
{
    QElapsedTimer paused;
    paused.start();
    for (qint64 left = ms; left > 0; left = ms - paused.elapsed()) {
        PauseWithEvents(int(std::min<qint64>(left, 100)));
        if (stop())
            return false;
    }
    return true;
}

// A cable that stays plugged in, with modules put on and taken off its far
// end: asked with the read command every half second until a module answers,
// which is set up and gets its verdict; the next is taken once the cable has
// been silent for a second. Silence is no verdict. Runs until `ending` (the
// first Ctrl+C: a module in progress is finished first) or `stop`.
void watchCable(const StationPort &port, const CtlOptions &o, const std::atomic_bool &stop,
                const std::atomic_bool &ending,
                const std::function<void(const StationReport &)> &report,
                const std::function<void(const QString &)> &say)
{
    constexpr int PollMs = 500;
    constexpr int GoneAfterMs = 1000;
    ModuleLink link;
    bool lost = false;
    QObject::connect(&link, &ModuleLink::lost, &link, [&lost] { lost = true; });
    link.setDevicePath(port.device);
    link.setHolderCheck(HolderCheck::None);
    // A poll answers within the half second or is silence.
    ModuleSession poll(link, ReplyWaitRule::untilComplete(std::min(o.timeoutMs, PollMs - 50)));
    ModuleSession session(link, ReplyWaitRule::untilComplete(o.timeoutMs));
    enum class State { Waiting, Attached } state = State::Waiting;
    QElapsedTimer heard; // since the module last answered
    QString lastFault;
    QString openError;
    say(tr("waiting for a module on %1").arg(Printable(port.name)));
    heard.start();
    while (!stop && !(ending && state == State::Waiting)) {
        QElapsedTimer tick;
        tick.start();
        if (!link.isOpen()) {
            lost = false;
            if (!link.open()) {
                if (link.openError() != openError)
                    say(Printable(link.openError()));
                openError = link.openError();
                pauseUnless(PollMs, [&] { return bool(stop) || bool(ending); });
                continue;
            }
            openError.clear();
        }
        const StepOutcome out = poll.run(ModuleStep::read());
        if (out.fault == ReplyFault::NoAnswer) {
            // Only the read command goes out while the cable is polled, so
            // an answer to an earlier poll that comes late tells the same
            // thing as a timely one: it need not be waited out.
            ClearAnswerPending(port.device);
            lastFault.clear();
            if (state == State::Attached && heard.elapsed() >= GoneAfterMs) {
                state = State::Waiting;
                say(tr("waiting for a module on %1").arg(Printable(port.name)));
            }
        } else {
            heard.start();
        }
        if (state == State::Waiting && out.ok()) {
            say(tr("module found on %1").arg(Printable(port.name)));
            QElapsedTimer clock;
            clock.start();
            StationReport r;
            r.device = port.name;
            r.serial = DeviceSerialNumber(port.device);
            report(restoreOne(
                session, out.settings, port, o, stop, [&] { return lost; }, r, clock));
            state = State::Attached;
        } else if (state == State::Waiting && !out.ok() && out.fault != ReplyFault::NoAnswer &&
                   !lost) {
            // Something answers, but not as a module: a fault of the module,
            // once it is seen twice running (not a module being put on).
            if (lastFault == out.reason) {
                StationReport r;
                r.device = port.name;
                r.serial = DeviceSerialNumber(port.device);
                r.result = StationReport::Result::Fail;
                r.reason = out.reason;
                r.at = QDateTime::currentDateTime();
                report(r);
                state = State::Attached;
            }
            lastFault = out.reason;
        }
        pauseUnless(int(std::max<qint64>(0, PollMs - tick.elapsed())),
                    [&] { return bool(stop) || (ending && state == State::Waiting); });
    }
}

bool matches(const QString &glob, const QStringList &names)
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

} // namespace

QString StationReport::text() const
{
    QString why = reason;
    if (!differences.isEmpty())
        why = differences.join(QStringLiteral("; "));
    return QStringLiteral("%1  %2  %3  %4  %5 ms%6")
        .arg(at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), Printable(device),
             serial.isEmpty() ? QStringLiteral("-") : Printable(serial), resultName(result))
        .arg(ms)
        .arg(why.isEmpty() ? QString() : QStringLiteral("  ") + Printable(why));
}

QString StationReport::json() const
{
    const QJsonObject object{
        {QStringLiteral("time"), at.toString(Qt::ISODate)},
        {QStringLiteral("device"), device},
        {QStringLiteral("serial"), serial},
        {QStringLiteral("result"), resultName(result)},
        {QStringLiteral("reason"), reason},
        {QStringLiteral("differences"), QJsonArray::fromStringList(differences)},
        {QStringLiteral("ms"), ms},
        {QStringLiteral("backup"), backup}};
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString StationReport::csvHeader()
{
    return QStringLiteral("time,device,serial,result,reason,ms,backup\n");
}

QString StationReport::csv() const
{
    QStringList why{reason};
    why += differences;
    why.removeAll(QString());
    return QStringList{csvField(at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))),
                       csvField(device),
                       csvField(serial),
                       resultName(result),
                       csvField(why.join(QStringLiteral("; "))),
                       QString::number(ms),
                       csvField(backup)}
               .join(u',') +
           u'\n';
}

ModuleAnswer AskModule(ModuleSession &session, const QString &device)
{
    ModuleAnswer answer;
    ModuleLink &link = session.link();
    link.setDevicePath(device);
    link.setHolderCheck(HolderCheck::None);
    if (!link.open()) {
        answer.reason = link.openError();
        return answer;
    }
    const StepOutcome read = session.run(ModuleStep::read());
    answer.module = read.ok();
    answer.settings = read.settings;
    answer.notModule = read.reason;
    return answer;
}

Station::Station(const CtlOptions &options, QTextStream &out, QTextStream &err)
    : options_(options), out_(out), err_(err), watcher_(new PortWatcher(this)),
      stop_(std::make_shared<std::atomic_bool>(false)),
      ending_(std::make_shared<std::atomic_bool>(false))
{
    if (!options_.port.isEmpty())
        watcher_->follow(options_.port);
    connect(watcher_, &PortWatcher::changed, this, [this] { look(false); });
}

Station::~Station()
{
    *stop_ = true;
    for (QThread *thread : findChildren<QThread *>()) {
        thread->wait();
        delete thread;
    }
}

QList<StationPort> Station::ports() const
{
    const QStringList paths =
        options_.port.isEmpty() ? SystemPortPaths() : QStringList{options_.port};
    QList<StationPort> found;
    for (const QString &path : paths) {
        const QString device = RealPathOnDisk(path);
        if (device.isEmpty())
            continue;
        QString name = options_.port;
        if (name.isEmpty())
            name = StableNameFor(device);
        if (name.isEmpty())
            name = device;
        if (!matches(options_.match, {name, device}))
            continue;
        found.append({device, name, NameStamp(name) + NameStamp(device)});
    }
    return found;
}

void Station::look(bool atStart)
{
    QHash<QString, QString> now;
    for (const StationPort &port : ports()) {
        now.insert(port.name, port.stamp);
        // A port qualifies when it is plugged in (or made anew) while the
        // station runs; those there at start only when asked for. A cable
        // is watched from the moment it is there.
        const bool fresh = seen_.value(port.name) != port.stamp;
        const bool qualifies =
            options_.cable || (atStart ? options_.all || !options_.port.isEmpty() : fresh);
        if (qualifies && !stopping_ && !working_.contains(port.name))
            start(port);
    }
    seen_ = now;
}

void Station::start(const StationPort &port)
{
    working_.insert(port.name);
    const std::shared_ptr<std::atomic_bool> stop = stop_;
    const std::shared_ptr<std::atomic_bool> ending = ending_;
    // Reports and lines come back to this thread, in order.
    const auto report = [this](const StationReport &r) {
        QMetaObject::invokeMethod(
            this, [this, r] { reported(r); }, Qt::QueuedConnection);
    };
    const auto say = [this](const QString &line) {
        QMetaObject::invokeMethod(
            this, [this, line] { err_ << "lumaveractl: " << line << Qt::endl; },
            Qt::QueuedConnection);
    };
    QThread *thread = QThread::create([this, port, options = options_, stop, ending, report, say] {
        if (options.cable) {
            watchCable(port, options, *stop, *ending, report, say);
        } else {
            report(setUpOne(port, options, *stop,
                            [&] { say(tr("module found on %1").arg(Printable(port.name))); }));
        }
        QMetaObject::invokeMethod(
            this, [this, name = port.name] { portDone(name); }, Qt::QueuedConnection);
    });
    thread->setParent(this);
    // Threads of modules long done go as new ones come.
    for (QThread *old : findChildren<QThread *>()) {
        if (old->isFinished()) {
            old->wait();
            delete old;
        }
    }
    thread->start();
}

void Station::reported(const StationReport &report)
{
    switch (report.result) {
    case StationReport::Result::Pass:
        ++passed_;
        break;
    case StationReport::Result::Fail:
        ++failed_;
        break;
    case StationReport::Result::Skip:
        ++skipped_;
        break;
    }
    out_ << (options_.json ? report.json() : report.text()) << Qt::endl;
    if (!options_.log.isEmpty()) {
        const WriteResult written =
            AppendToFile(options_.log, report.csv().toUtf8(), StationReport::csvHeader().toUtf8());
        if (!written.ok) {
            err_ << tr("lumaveractl: %1 could not be written: %2").arg(options_.log, written.reason)
                 << Qt::endl;
            logFailed_ = true;
        }
    }
}

void Station::portDone(const QString &name)
{
    working_.remove(name);
    if (stopping_ && working_.isEmpty())
        QCoreApplication::quit();
}

void Station::stopSoon()
{
    // The first Ctrl+C lets every module in progress finish; the second
    // stops them at once.
    if (stopping_) {
        *stop_ = true;
        err_ << tr("lumaveractl: stopping now.") << Qt::endl;
    } else if (!working_.isEmpty()) {
        err_ << tr("lumaveractl: finishing the modules in progress; Ctrl+C again stops them.")
             << Qt::endl;
    }
    stopping_ = true;
    *ending_ = true;
    if (working_.isEmpty())
        QCoreApplication::quit();
}

int Station::exec()
{
    if (!options_.log.isEmpty()) {
        const WriteResult written =
            AppendToFile(options_.log, {}, StationReport::csvHeader().toUtf8());
        if (!written.ok) {
            err_ << tr("lumaveractl: %1 could not be written: %2").arg(options_.log, written.reason)
                 << Qt::endl;
            return ExitUsage;
        }
    }
    // A --port that is there must open; one that is not is waited for.
    if (!options_.port.isEmpty() && QFileInfo::exists(options_.port)) {
        ModuleLink probe;
        probe.setDevicePath(options_.port);
        if (!probe.open()) {
            err_ << tr("lumaveractl: Selected Com Port Not Available: %1").arg(probe.openError())
                 << Qt::endl;
            return ExitPort;
        }
    }
    OnUnixSignals({SIGINT, SIGTERM}, this, [this] { stopSoon(); });
    // Said once the ports there at start are known: whatever is plugged in
    // from now on counts as new.
    look(true);
    const QString where = !options_.port.isEmpty()    ? Printable(options_.port)
                          : !options_.match.isEmpty() ? tr("ports matching %1").arg(options_.match)
                                                      : tr("any serial port");
    err_ << tr("lumaveractl: waiting for modules on %1; Ctrl+C ends.").arg(where) << Qt::endl;
    QCoreApplication::exec();
    const QString summary = tr("%1 passed, %2 failed").arg(passed_).arg(failed_) +
                            (skipped_ ? tr(", %1 left alone").arg(skipped_) : QString());
    (options_.json ? err_ : out_) << summary << Qt::endl;
    return failed_ || logFailed_ ? ExitModule : ExitDone;
}

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
            !matches(options.match, {info.entry.path, device, StableNameFor(device)}))
            continue;
        rows.push_back({n, info, DeviceSerialNumber(device), {}});
    }
    // Every port asked at once: a port without a module costs its timeout once.
    std::vector<std::unique_ptr<QThread>> threads;
    for (Row &row : rows) {
        if (!row.port.holder.isEmpty()) {
            row.answer.holder = row.port.holder;
            continue;
        }
        threads.emplace_back(QThread::create([&row, &options] {
            ModuleLink link;
            ModuleSession session(link, ReplyWaitRule::untilComplete(options.timeoutMs));
            row.answer = AskModule(session, row.port.entry.path);
        }));
        threads.back()->start();
    }
    for (const auto &thread : threads)
        thread->wait();

    bool any = false;
    for (const Row &row : rows) {
        const ModuleAnswer &a = row.answer;
        any = any || a.module;
        const QString port = QStringLiteral("COM%1").arg(row.number);
        const QString state = a.module              ? QStringLiteral("module")
                              : !a.holder.isEmpty() ? tr("in use by %1").arg(a.holder)
                              : a.reason.isEmpty()  ? QStringLiteral("no answer")
                                                    : a.reason;
        if (options.json) {
            QJsonObject object{{QStringLiteral("port"), port},
                               {QStringLiteral("path"), row.port.entry.path},
                               {QStringLiteral("serial"), row.serial},
                               {QStringLiteral("module"), a.module}};
            if (a.module) {
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
        if (a.module)
            out << QStringLiteral(" (mode %1, fade %2, hold %3)")
                       .arg(a.settings.mode)
                       .arg(a.settings.fade)
                       .arg(a.settings.hold);
        out << '\n';
    }
    if (rows.empty())
        out << tr("No serial port to ask.") << '\n';
    return any ? ExitDone : ExitModule;
}
