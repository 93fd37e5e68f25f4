#pragma once

#include "link/portmap.h"
#include "link/reply.h"
#include "link/result.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace lumavera {

// What a station is asked to do: which ports it watches, and the
// configuration every module found on them is set up from.
struct StationOptions
{
    QString file;           // the configuration file, as given
    ModuleSettings restore; // what it sets, once loaded
    QStringList ports;      // devices or network lines; empty: every serial port
    // Ports named by a number no device has yet (COMn as given → why), and
    // the pins they are looked up in again as devices come.
    QMap<QString, QString> unresolved;
    QMap<int, QString> pins;
    QString match;      // a glob on a device's stable name or path
    bool all = false;   // the ports present at start too
    bool cable = false; // the ports are cables that stay plugged in
    bool save = false;  // each module saves to its EEPROM once verified
    QString log;        // the CSV file verdicts are appended to
    QString unitIds;    // the units' ids, one a line; "-": standard input
    bool sound = false; // the desktop's own sound (a terminal's bell) on FAIL
    int timeoutMs = 500;
    int gapMs = 50;

    // Whether the user named the ports, so that a device on them that does
    // not answer like a module fails rather than being left alone.
    bool named() const { return !ports.isEmpty() || !match.isEmpty(); }
};

// Why a station cannot start: its file, or one of its ports.
enum class StationFault {
    None,
    File,  // the configuration file is missing or not valid
    Port,  // a port name that is no port at all: `port` says how
    Twice, // two of the ports are one device
};
struct PreparedStation : Result<StationFault>
{
    StationOptions options;
    ResolvedPort port; // for a Port fault, the port that failed
    int portIndex = 0; // and which of the ports it was
};

// Loads the configuration file whole and resolves each COMn port to its
// device as the window numbers them, before anything is opened. A number
// whose device is not plugged in, or that no device has yet, is waited for.
PreparedStation PrepareStation(StationOptions options);

} // namespace lumavera
