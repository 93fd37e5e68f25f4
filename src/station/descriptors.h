#pragma once

#include <QString>

namespace lumavera {

// Raises this process's limit of open files to the most it may have: a
// station opens a few for every port, and a login's default of 1,024 (or a
// service's lower one) would run out halfway through a line of benches.
void RaiseDescriptorLimit();

// Why a station of `ports` ports cannot run within the limit of open files;
// empty when it can.
QString DescriptorShortfall(qsizetype ports);

} // namespace lumavera
