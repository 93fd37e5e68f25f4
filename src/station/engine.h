#pragma once

#include "station/options.h"
#include "station/report.h"
#include "station/setup.h"
#include "station/tally.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <atomic>
#include <memory>

namespace lumavera {

class PortWatcher;

// Why a station could not start.
enum class StationStartFault {
    None,
    Log,         // the CSV file cannot be written
    Descriptors, // the ports need more open files than the process may have
    UnitIds,     // the file of unit ids cannot be read
};
using StationStart = Result<StationStartFault>;

// Sets up modules one after another as they are plugged in, each from the
// same configuration, several at once on threads of their own; each verdict
// is appended to the CSV file as it is known. lumaveractl's station and the
// station window both run it and show what it tells.
class StationEngine : public QObject
{
    Q_OBJECT

public:
    explicit StationEngine(const StationOptions &options, QObject *parent = nullptr);
    ~StationEngine() override; // stops the modules in progress at once

    const StationOptions &options() const { return options_; }

    // Checks the CSV file and the open files the ports need, then watches
    // for modules; a port named that is not there is told and waited for.
    StationStart start();

    // The first call takes no new module and lets those in progress finish;
    // the second stops them at once. finished() follows once none is left.
    void stop();
    bool isStopping() const { return stopping_; }
    // Whether a module is being set up now; a cable that is only watched,
    // or holds a module whose verdict is in, is not.
    bool isWorking() const;
    // The verdicts since the station started.
    const StationTally &tally() const { return tally_; }

    // A unit's id (typed or scanned): given to the next module found on
    // `port`, or on any port when it is empty. Ids wait their turn.
    void bindUnit(const QString &unit, const QString &port = {});
    // The ids that wait for a module: for which port (empty: any), and the id.
    QList<std::pair<QString, QString>> waitingUnits() const { return waitingUnits_; }
    // The id of the unit being set up on `port`, if one was given.
    QString unitOn(const QString &port) const { return unitOn_.value(port); }
    // Sets the module on `port` up again, as it is, under the unit id of
    // its last verdict: false when the port is being set up now, or is not
    // there.
    bool retest(const QString &port);

signals:
    void news(const QString &port, const StationNews &news);
    // A verdict, once it is in the CSV file and the counts; `logFault` says
    // why it is not in the file.
    void reported(const StationReport &report, const QString &logFault);
    void finished();

private:
    QList<StationPort> ports() const;
    void look(bool atStart);
    void begin(const StationPort &port);
    // One port's work to its verdicts, on the port's thread.
    Task<> work(StationPort port, StationOptions options, const StopNow *stop,
                std::shared_ptr<StopNow> ending, std::shared_ptr<std::atomic_bool> again,
                std::function<void(const StationReport &)> report, StationNewsSink tell);
    void found(const QString &name);
    void done(const QString &name);

    StationOptions options_;
    PortWatcher *watcher_;
    QHash<QString, QString> seen_;    // name → stamp
    QSet<QString> working_;           // names being set up or watched now
    QSet<QString> settingUp_;         // cables with a module being set up
    QSet<QString> idle_;              // named ports that wait to be had
    StopNow stop_;                    // the second stop: at once
    std::shared_ptr<StopNow> ending_; // the first: take no new module
    StationTally tally_;
    QList<std::pair<QString, QString>> waitingUnits_;         // port (empty: any), unit
    QHash<QString, QString> unitOn_;                          // port → unit being set up
    QHash<QString, QString> lastUnit_;                        // port → unit of its last verdict
    QSet<QString> retesting_;                                 // ports set up again on request
    QHash<QString, std::shared_ptr<std::atomic_bool>> again_; // cables: set up again
    bool started_ = false;
    bool stopping_ = false;
};

} // namespace lumavera
