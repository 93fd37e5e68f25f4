#pragma once

#include <QString>

// Why this user may not open the device and what to do: the device's group
// and the command that adds the user to it, or, when the user is in the
// group already but this login is not, to log out and in again.
QString PermissionAdvice(const QString &path);
