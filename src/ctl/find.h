#pragma once

#include "ctl/options.h"

#include <QTextStream>

namespace lumavera {

// find: asks every free port (or those --match names) in parallel whether a
// module answers.
int RunFind(const CtlOptions &options, QTextStream &out);

} // namespace lumavera
