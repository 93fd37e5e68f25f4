#pragma once

#include "link/reply.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace lumavera {

// The command line of lumaveractl, parsed: the global options, the command
// and its arguments, each checked before anything is opened or sent.
struct CtlOptions
{
    enum class Command {
        List,
        Pin,
        Unpin,
        Color,
        Mode,
        Fade,
        Hold,
        Store,
        Read,
        Save,
        Backup,
        Restore,
        Station,
        Find,
        History
    };

    QString port;      // COMn, a device path or a network line; empty: the window's last port
    QStringList ports; // station: every --port given, in order (port is the first)
    bool json = false;
    bool verbose = false;
    int timeoutMs = 500;
    int gapMs = 50;
    bool saveAfterRestore = false;
    bool help = false;
    bool all = false;   // station: the ports present at start too
    QString match;      // station, find: a glob on the device's stable name or path
    QString log;        // station: the CSV file results are appended to
    QString unitIds;    // station: the file (or -) the units' ids come from
    bool sound = false; // station: a bell on FAIL
    bool cable = false; // station: the ports are cables that stay plugged in
    QString settings;   // the settings file to use instead of the usual one

    Command command = Command::List;
    Rgb colour;             // color, store
    int slot = 0;           // store: 0..9
    int value = 0;          // mode, fade, hold; pin, unpin: the port number
    QString file;           // backup, restore, station; pin: the device
    ModuleSettings restore; // restore, station: the file's configuration, once loaded
};

// Exit statuses a script can test.
enum CtlExit {
    ExitDone = 0,
    ExitModule = 1,   // the module did not answer as expected
    ExitUsage = 2,    // bad usage or bad values
    ExitPort = 3,     // the port could not be opened
    ExitSettings = 4, // the module did as asked, but the settings file was not written
};

// The options, or what is wrong with the command line.
std::variant<CtlOptions, QString> ParseCtlArguments(const QStringList &arguments);

// "R G B" as three words, or one "RRGGBB" in hex with or without "#"; what
// is wrong, naming the value and its range, otherwise.
std::variant<Rgb, QString> ParseColour(const QStringList &words);

// The candidate a mistyped word most likely meant: within two letters, or
// one the word begins; empty when none is that near.
QString NearestWord(const QString &word, const QStringList &candidates);

// The usage text: the whole program's, or one command's.
QString CtlUsage();
QString CtlCommandHelp(const QString &command);

} // namespace lumavera
