#pragma once

#include "ctl/options.h"

#include <QTextStream>

namespace lumavera {

struct StationOptions;

// The station as a command: runs the station engine on the options, one
// line per device on standard output, until SIGINT or SIGTERM (the first
// lets the modules in progress finish, a second stops them at once); the
// exit status.
int RunStation(const StationOptions &options, bool json, QTextStream &out, QTextStream &err);

// The station's part of the command line.
StationOptions StationOptionsFrom(const CtlOptions &o);

} // namespace lumavera
