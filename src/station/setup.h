#pragma once

#include "link/modulesession.h"
#include "station/options.h"
#include "station/report.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace lumavera {

// The station's second stop: at once. A flag each port's work looks at
// between its steps, and a signal that ends every wait on the port's line
// the moment it is given, from whichever thread gives it.
class StopNow : public QObject
{
    Q_OBJECT

public:
    void stop()
    {
        stopped_ = true;
        emit stopped();
    }
    explicit operator bool() const { return stopped_; }

signals:
    void stopped();

private:
    std::atomic_bool stopped_{false};
};

// What a port's set-up tells on the way to its verdict.
struct StationNews
{
    enum class Kind {
        Waiting, // for a module to be put on (a cable)
        Found,   // a module answered; `text` is its USB serial number, if any
        Working, // sending step `step` of `steps`
        Note,    // something the technician is told: `text`
        // A port the user named that is waited for (no verdict): `text` says why.
        Absent,   // not plugged in; or a number no device has yet, `text`
        Held,     // another program holds it, or has it locked
        Unopened, // it is there but does not open
    };
    Kind kind = Kind::Note;
    int step = 0;
    int steps = 0;
    QString text;
};
using StationNewsSink = std::function<void(const StationNews &)>;

// A serial device as the station sees it: its node, the name to call it by,
// and a stamp that changes whenever it is plugged in anew.
struct StationPort
{
    QString device;
    QString name;
    QString stamp;
};

// The one question asked before anything is written to a device: whether a
// module answers the read command on it. Opens the session's link on
// `device` (the caller has looked for a program holding it) and leaves it open.
enum class AnswerFault {
    None,
    Held,      // another program holds the device; nothing was sent
    NotOpened, // the device could not be opened
    NotModule, // what answered (or did not) is no module
};
struct ModuleAnswer : Result<AnswerFault>
{
    ModuleSettings settings;             // what the module holds, when it answered
    OpenFault opening = OpenFault::None; // why it was not opened (NotOpened)
    ReplyFault reply = ReplyFault::None; // how the read went (NotModule)
};
Task<ModuleAnswer> AskModule(ModuleSession &session, QString device);

// One port's set-up, with a link of its own, so that no two ports share a
// wait or an answer: asks, keeps what the module held, restores and
// verifies. A device the user named (--port, --match) that does
// not answer like a module fails; any other is left alone. `news` hears of
// the module found and of each step.
Task<StationReport> SetUpOne(StationPort port, StationOptions o, const StopNow &stop,
                             StationNewsSink news);

// A port's set-up as the station runs it: SetUpOne, once. A port the user
// named (--port, --match) that another program holds gets its SKIP, and one
// that does not open none; either is told and looked at again every second
// until the module on it can be set up, the device goes away, or `ending`.
Task<> SetUpPort(StationPort port, StationOptions o, const StopNow &stop, const StopNow &ending,
                 std::function<void(const StationReport &)> report, StationNewsSink news);

// A cable that stays plugged in, with modules put on and taken off its far
// end: asked with the read command every half second until a module answers,
// which is set up and reported; the next is taken once the cable has been
// silent for a second. Silence is no verdict. Runs until `ending` (the first
// Ctrl+C: a module in progress is finished first) or `stop`; `news` hears
// what a technician is told on the way. `again` sets the module on the
// cable up once more, as if it had just been put on.
Task<> WatchCable(StationPort port, StationOptions o, const StopNow &stop, const StopNow &ending,
                  std::atomic_bool &again, std::function<void(const StationReport &)> report,
                  StationNewsSink news);

// Whether any of `names` matches the shell pattern `glob` (empty: all do),
// whole or by its last part.
bool MatchesGlob(const QString &glob, const QStringList &names);

} // namespace lumavera
