#pragma once

#include "ctl/options.h"

#include <QTextStream>

namespace lumavera {

// find: asks every port (those --match names, or the one --port names) in
// parallel whether a module answers; a port the window holds is asked
// through the window. Why a port may not be opened is said once, on `err`.
int RunFind(const CtlOptions &options, QTextStream &out, QTextStream &err);

} // namespace lumavera
