#pragma once

#include <QString>

namespace lumavera {

// Why this user may not open the device and what would help: the group to
// join where the device's group may read and write it (and is not root's),
// or, when the user is in that group already but this login is not, to log
// out and in again; otherwise who may open it, and that a udev rule or an
// administrator can change that.
QString PermissionAdvice(const QString &path);

} // namespace lumavera
