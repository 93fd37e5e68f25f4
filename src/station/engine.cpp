#include "station/engine.h"

#include "link/deviceidentity.h"
#include "link/networkport.h"
#include "link/portmap.h"
#include "link/portwatcher.h"
#include "settings/history.h"
#include "settings/inifile.h"
#include "station/descriptors.h"
#include "station/texts.h"
#include "station/unitids.h"

#include <QThread>

#include <algorithm>

namespace lumavera {

StationEngine::StationEngine(const StationOptions &options, QObject *parent)
    : QObject(parent), options_(options), watcher_(new PortWatcher(this)),
      ending_(std::make_shared<StopNow>())
{
    for (const QString &port : options_.ports)
        watcher_->follow(port);
    connect(watcher_, &PortWatcher::changed, this, [this] {
        if (started_)
            look(false);
    });
}

StationEngine::~StationEngine()
{
    stop_.stop();
    for (QThread *thread : findChildren<QThread *>()) {
        thread->wait();
        delete thread;
    }
}

QList<StationPort> StationEngine::ports() const
{
    const QStringList paths = options_.ports.isEmpty() ? SystemPortPaths() : options_.ports;
    QList<StationPort> found;
    for (const QString &path : paths) {
        // A number no device had at start may have one now.
        const QString device = RealPathOnDisk(
            options_.unresolved.contains(path) ? ResolvePort(path, 0, options_.pins).path : path);
        if (device.isEmpty())
            continue;
        QString name = options_.ports.isEmpty() ? QString() : path;
        if (name.isEmpty())
            name = StableNameFor(device);
        if (name.isEmpty())
            name = device;
        if (!MatchesGlob(options_.match, {name, device}))
            continue;
        found.append({device, name, NameStamp(name) + NameStamp(device)});
    }
    return found;
}

void StationEngine::look(bool atStart)
{
    QHash<QString, QString> now;
    for (const StationPort &port : ports()) {
        now.insert(port.name, port.stamp);
        // A port qualifies when it is plugged in (or made anew) while the
        // station runs; those there at start only when asked for. A cable
        // is watched from the moment it is there.
        const bool fresh = seen_.value(port.name) != port.stamp;
        const bool qualifies =
            options_.cable || (atStart ? options_.all || !options_.ports.isEmpty() : fresh);
        if (qualifies && !stopping_ && !working_.contains(port.name))
            begin(port);
    }
    // A port the user named is a tile from the start: one not there says
    // so, at start and whenever it goes, and is waited for.
    for (const QString &name : options_.ports) {
        if (IsNetworkPort(name) || now.contains(name) || working_.contains(name) ||
            (!atStart && !seen_.contains(name)))
            continue;
        idle_.insert(name);
        const StationNews absent{StationNews::Kind::Absent, 0, 0, options_.unresolved.value(name)};
        // Told from the event loop, after the station's own start is.
        QMetaObject::invokeMethod(
            this, [this, name, absent] { emit news(name, absent); }, Qt::QueuedConnection);
    }
    seen_ = now;
}

void StationEngine::begin(const StationPort &port)
{
    working_.insert(port.name);
    const StopNow *stop = &stop_;
    const std::shared_ptr<StopNow> ending = ending_;
    auto &again = again_[port.name];
    again = std::make_shared<std::atomic_bool>(false);
    // Verdicts and news come back to this thread, in order.
    const auto report = [this, name = port.name](const StationReport &r) {
        QMetaObject::invokeMethod(
            this,
            [this, name, r] {
                settingUp_.remove(name);
                StationReport verdict = r;
                verdict.unit = unitOn_.take(name);
                verdict.retest = retesting_.remove(name);
                if (verdict.result != StationReport::Result::Skip)
                    lastUnit_.insert(name, verdict.unit);
                QString fault;
                // The backup of what the module held is named for its unit
                // too, once the unit is known.
                if (!verdict.unit.isEmpty() && !verdict.backup.isEmpty()) {
                    const NamedResult named = NameBackupForUnit(verdict.backup, verdict.unit);
                    verdict.backup = named.path;
                    if (!named.ok())
                        fault = named.reason;
                }
                if (!options_.log.isEmpty()) {
                    const WriteResult written = AppendToFile(options_.log, verdict.csv().toUtf8(),
                                                             StationReport::csvHeader().toUtf8());
                    if (!written.ok())
                        fault = NotWritten(options_.log, written);
                }
                tally_.add(verdict);
                emit reported(verdict, fault);
            },
            Qt::QueuedConnection);
    };
    const auto tell = [this, name = port.name](const StationNews &n) {
        QMetaObject::invokeMethod(
            this,
            [this, name, n] {
                // On a cable, a module is being set up from the moment it
                // is found until its verdict.
                if (n.kind == StationNews::Kind::Found) {
                    settingUp_.insert(name);
                    idle_.remove(name);
                    found(name);
                } else if (n.kind == StationNews::Kind::Held ||
                           n.kind == StationNews::Kind::Unopened) {
                    idle_.insert(name);
                }
                emit news(name, n);
            },
            Qt::QueuedConnection);
    };
    // Each port on a thread of its own, in that thread's event loop: a slow
    // look at a device's holders or a file never holds up another port.
    auto *thread =
        new TaskThread([this, port, options = options_, stop, ending, again, report,
                        tell] { return work(port, options, stop, ending, again, report, tell); },
                       this);
    // Threads of modules long done go as new ones come.
    for (QThread *old : findChildren<QThread *>()) {
        if (old->isFinished()) {
            old->wait();
            delete old;
        }
    }
    thread->start();
}

void StationEngine::found(const QString &name)
{
    // The first id that waits for this port, or for any.
    for (qsizetype i = 0; i < waitingUnits_.size(); ++i) {
        if (waitingUnits_[i].first.isEmpty() || waitingUnits_[i].first == name) {
            unitOn_.insert(name, waitingUnits_.takeAt(i).second);
            return;
        }
    }
}

void StationEngine::bindUnit(const QString &unit, const QString &port)
{
    if (!unit.isEmpty())
        waitingUnits_.append({port, unit});
}

bool StationEngine::retest(const QString &name)
{
    if (stopping_ || settingUp_.contains(name))
        return false;
    const auto setUpAgain = [&] {
        retesting_.insert(name);
        if (const QString unit = lastUnit_.value(name); !unit.isEmpty())
            waitingUnits_.prepend({name, unit});
    };
    // A cable's watch goes on with the module on it: it is told to set it
    // up again.
    if (options_.cable) {
        const std::shared_ptr<std::atomic_bool> again = again_.value(name);
        if (!again || !working_.contains(name))
            return false;
        setUpAgain();
        *again = true;
        return true;
    }
    if (working_.contains(name))
        return false;
    for (const StationPort &port : ports()) {
        if (port.name == name) {
            setUpAgain();
            begin(port);
            return true;
        }
    }
    return false;
}

Task<> StationEngine::work(StationPort port, StationOptions options, const StopNow *stop,
                           std::shared_ptr<StopNow> ending, std::shared_ptr<std::atomic_bool> again,
                           std::function<void(const StationReport &)> report, StationNewsSink tell)
{
    if (options.cable)
        co_await WatchCable(port, options, *stop, *ending, *again, report, tell);
    else
        co_await SetUpPort(port, options, *stop, *ending, report, tell);
    // Back on the engine's thread.
    QMetaObject::invokeMethod(
        this, [this, name = port.name] { done(name); }, Qt::QueuedConnection);
}

void StationEngine::done(const QString &name)
{
    working_.remove(name);
    settingUp_.remove(name);
    idle_.remove(name);
    // A named port that went while its module was had: waited for again.
    if (!stopping_ && !options_.cable && options_.ports.contains(name) && !IsNetworkPort(name) &&
        !seen_.contains(name)) {
        idle_.insert(name);
        emit news(name, {StationNews::Kind::Absent, 0, 0, {}});
    }
    if (stopping_ && working_.isEmpty())
        emit finished();
}

bool StationEngine::isWorking() const
{
    if (options_.cable)
        return !settingUp_.isEmpty();
    // A port that waits for a program to let it go has nothing in progress.
    return std::any_of(working_.begin(), working_.end(),
                       [this](const QString &name) { return !idle_.contains(name); });
}

void StationEngine::stop()
{
    if (stopping_)
        stop_.stop();
    stopping_ = true;
    if (!*ending_)
        ending_->stop();
    if (working_.isEmpty())
        QMetaObject::invokeMethod(this, &StationEngine::finished, Qt::QueuedConnection);
}

StationStart StationEngine::start()
{
    // Refused before the first port is touched, rather than a module failed,
    // or the program ended, by the tool's own limit halfway through.
    const qsizetype ports =
        options_.ports.isEmpty() ? SystemPortPaths().size() : options_.ports.size();
    if (const QString shortfall = DescriptorShortfall(ports); !shortfall.isEmpty())
        return {StationStartFault::Descriptors, shortfall};
    if (!options_.log.isEmpty()) {
        const WriteResult written =
            AppendToFile(options_.log, {}, StationReport::csvHeader().toUtf8());
        if (!written.ok())
            return {StationStartFault::Log, NotWritten(options_.log, written)};
    }
    if (!options_.unitIds.isEmpty()) {
        auto *reader = new UnitIdReader(this);
        connect(reader, &UnitIdReader::unit, this, [this](const QString &id) { bindUnit(id); });
        if (const QString unread = reader->start(options_.unitIds); !unread.isEmpty())
            return {StationStartFault::UnitIds, unread};
    }
    started_ = true;
    look(true);
    return {};
}

} // namespace lumavera
