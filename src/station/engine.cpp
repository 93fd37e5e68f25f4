#include "ctl/station.h"

#include "app/unixsignals.h"
#include "ctl/printable.h"
#include "ctl/texts.h"
#include "link/deviceidentity.h"
#include "link/modulelink.h"
#include "link/networkport.h"
#include "link/portmap.h"
#include "link/portwatcher.h"
#include "settings/inifile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

#include <csignal>

Station::Station(const CtlOptions &options, QTextStream &out, QTextStream &err)
    : options_(options), out_(out), err_(err), watcher_(new PortWatcher(this)),
      stop_(std::make_shared<std::atomic_bool>(false)),
      ending_(std::make_shared<std::atomic_bool>(false))
{
    for (const QString &port : options_.ports)
        watcher_->follow(port);
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
    const QStringList paths = options_.ports.isEmpty() ? SystemPortPaths() : options_.ports;
    QList<StationPort> found;
    for (const QString &path : paths) {
        const QString device = RealPathOnDisk(path);
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
            WatchCable(port, options, *stop, *ending, report, say);
        } else {
            report(SetUpOne(port, options, *stop, [&] {
                say(CtlTexts::tr("module found on %1").arg(Printable(port.name)));
            }));
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
        if (!written.ok()) {
            err_ << CtlTexts::tr("lumaveractl: %1 could not be written: %2")
                        .arg(options_.log, written.reason)
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
        err_ << CtlTexts::tr("lumaveractl: stopping now.") << Qt::endl;
    } else if (!working_.isEmpty()) {
        err_ << CtlTexts::tr(
                    "lumaveractl: finishing the modules in progress; Ctrl+C again stops them.")
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
        if (!written.ok()) {
            err_ << CtlTexts::tr("lumaveractl: %1 could not be written: %2")
                        .arg(options_.log, written.reason)
                 << Qt::endl;
            return ExitUsage;
        }
    }
    // A --port that is there must open; one that is not is waited for, as
    // is a line on another machine (whose server, besides, takes a moment to
    // let one connection go before it lets the next in).
    for (const QString &port : options_.ports) {
        if (IsNetworkPort(port) || !QFileInfo::exists(port))
            continue;
        ModuleLink probe;
        probe.setDevicePath(port);
        if (const OpenResult opened = probe.open(); !opened) {
            err_ << CtlTexts::tr("lumaveractl: Selected Com Port Not Available: %1")
                        .arg(opened.reason)
                 << Qt::endl;
            return ExitPort;
        }
    }
    OnUnixSignals({SIGINT, SIGTERM}, this, [this] { stopSoon(); });
    // Said once the ports there at start are known: whatever is plugged in
    // from now on counts as new.
    look(true);
    const QString where = !options_.ports.isEmpty() ? Printable(options_.ports.join(u", "))
                          : !options_.match.isEmpty()
                              ? CtlTexts::tr("ports matching %1").arg(options_.match)
                              : CtlTexts::tr("any serial port");
    err_ << CtlTexts::tr("lumaveractl: waiting for modules on %1; Ctrl+C ends.").arg(where)
         << Qt::endl;
    QCoreApplication::exec();
    const QString summary = CtlTexts::tr("%1 passed, %2 failed").arg(passed_).arg(failed_) +
                            (skipped_ ? CtlTexts::tr(", %1 left alone").arg(skipped_) : QString());
    (options_.json ? err_ : out_) << summary << Qt::endl;
    return failed_ || logFailed_ ? ExitModule : ExitDone;
}
