#pragma once

#include "ctl/options.h"
#include "link/modulesession.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <atomic>
#include <memory>

class PortWatcher;

// What became of one device at the station.
struct StationReport
{
    enum class Result { Pass, Fail, Skip };

    QDateTime at;   // local time, when it was done
    QString device; // its stable name where it has one, else its path
    QString serial; // the USB serial number, empty where the system knows none
    Result result = Result::Fail;
    QString reason;          // why it failed or was left alone
    QStringList differences; // what the read back showed differently
    qint64 ms = 0;
    QString backup; // the file that keeps what the module held before

    QString text() const; // one line for standard output
    QString json() const; // one JSON object on one line
    QString csv() const;  // one CSV record, as CsvHeader names the fields
    static QString csvHeader();
};

// A serial device as the station sees it: its node, the name to call it by,
// and a stamp that changes whenever it is plugged in anew.
struct StationPort
{
    QString device;
    QString name;
    QString stamp;
};

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

// The one question asked before anything is written to a device: whether a
// module answers the read command on it. Opens the session's link on
// `device` (the caller has looked for a program holding it) and leaves it open.
struct ModuleAnswer
{
    bool module = false;
    ModuleSettings settings;
    QString holder;    // another program holding it; nothing was sent
    QString reason;    // why the device could not be opened
    QString notModule; // why the answer was not a module's, when it was not
};
ModuleAnswer AskModule(ModuleSession &session, const QString &device);

// find: asks every free port (or those --match names) in parallel.
int RunFind(const CtlOptions &options, QTextStream &out);
