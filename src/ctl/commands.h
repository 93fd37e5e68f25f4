#pragma once

#include "ctl/moduleaccess.h"
#include "ctl/options.h"

#include <QTextStream>

namespace lumavera {

// Carries out one parsed command on the module and prints what it has to
// say: results on `out`, reasons on `err`. Returns the exit status.
Task<int> RunModuleCommand(CtlOptions options, ModuleAccess &module, QTextStream &out,
                           QTextStream &err);

// The twenty port numbers and the devices behind them, numbered as the
// window numbers them.
int RunList(const CtlOptions &options, QTextStream &out);

// pin and unpin: one change of the settings file's "Ports" section.
// history: the backups kept before restores, newest first.
int RunHistory(const CtlOptions &o, QTextStream &out);

int RunPin(const CtlOptions &options, QTextStream &out, QTextStream &err);

// A read's result as `read` prints it, plain or as JSON.
QString SettingsText(const ModuleSettings &settings, bool json);

} // namespace lumavera
