#pragma once

#include "ctl/options.h"
#include "ctl/stationport.h"
#include "ctl/stationreport.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTextStream>

#include <atomic>
#include <memory>

class PortWatcher;

// Sets up modules one after another as they are plugged in, each from the
// same configuration, several at once on their own threads; one line per
// device. Runs until SIGINT or SIGTERM, then lets the modules in progress
// finish (a second signal stops them at once).
class Station : public QObject
{
    Q_OBJECT

public:
    Station(const CtlOptions &options, QTextStream &out, QTextStream &err);
    ~Station() override;

    // Runs the station; the exit status.
    int exec();

private:
    QList<StationPort> ports() const;
    void look(bool atStart);
    void start(const StationPort &port);
    void reported(const StationReport &report);
    void portDone(const QString &name);
    void stopSoon();

    CtlOptions options_;
    QTextStream &out_;
    QTextStream &err_;
    PortWatcher *watcher_;
    QHash<QString, QString> seen_;             // name → stamp
    QSet<QString> working_;                    // names being set up now
    std::shared_ptr<std::atomic_bool> stop_;   // the second Ctrl+C: stop at once
    std::shared_ptr<std::atomic_bool> ending_; // the first: take no new module
    bool stopping_ = false;
    int passed_ = 0;
    int failed_ = 0;
    int skipped_ = 0;
    bool logFailed_ = false;
};
