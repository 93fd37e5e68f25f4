#include "ctl/station.h"

#include "app/unixsignals.h"
#include "ctl/printable.h"
#include "link/devicecheck.h"
#include "link/modulelink.h"
#include "link/modulesession.h"
#include "link/modulesetup.h"
#include "link/portmap.h"
#include "link/portwatcher.h"
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
    static const QRegularExpression special(QStringLiteral("[\",\\r\\n]"));
    if (!text.contains(special))
        return text;
    return u'"' + QString(text).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// Sets up the module on one port from the configuration: runs on its own
// thread, with its own link, so that no two ports share a wait or an answer.
StationReport setUpOne(const StationPort &port, const CtlOptions &o, const std::atomic_bool &stop)
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
    if (!first.module)
        return done(StationReport::Result::Skip,
                    unplugged() ? tr("unplugged before it answered") : tr("not a module"));
    const auto run = [&session](const ModuleStep &step) { return session.run(step); };
    // A long --gap is paused in short slices, so that Ctrl+C or an unplug
    // acts within a tenth of a second.
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
        {QStringLiteral("ms"), ms}};
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString StationReport::csvHeader()
{
    return QStringLiteral("time,device,serial,result,reason,ms\n");
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
                       QString::number(ms)}
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
    return answer;
}

Station::Station(const CtlOptions &options, QTextStream &out, QTextStream &err)
    : options_(options), out_(out), err_(err), watcher_(new PortWatcher(this)),
      stop_(std::make_shared<std::atomic_bool>(false))
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
        // station runs; those there at start only when asked for.
        const bool fresh = seen_.value(port.name) != port.stamp;
        const bool qualifies = atStart ? options_.all || !options_.port.isEmpty() : fresh;
        if (qualifies && !stopping_ && !working_.contains(port.name))
            start(port);
    }
    seen_ = now;
}

void Station::start(const StationPort &port)
{
    working_.insert(port.name);
    const std::shared_ptr<std::atomic_bool> stop = stop_;
    QThread *thread = QThread::create([this, port, options = options_, stop] {
        const StationReport report = setUpOne(port, options, *stop);
        QMetaObject::invokeMethod(
            this, [this, report, name = port.name] { finished(report, name); },
            Qt::QueuedConnection);
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

void Station::finished(const StationReport &report, const QString &name)
{
    working_.remove(name);
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
    if (stopping_ && working_.isEmpty())
        QCoreApplication::quit();
}

void Station::stopSoon()
{
    stopping_ = true;
    *stop_ = true;
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
    if (!options_.port.isEmpty()) {
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
    err_ << tr("lumaveractl: waiting for modules; Ctrl+C ends.") << Qt::endl;
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
