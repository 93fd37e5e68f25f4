#pragma once

#include "link/serialport.h"

#include <QString>

// The old convention of a lock file per device, "LCK..ttyUSB0", in the
// shared lock folder (/run/lock, or LUMAVERA_LOCK_DIR). Lumavera itself
// locks a device with flock() on the device, but respects a lock file that
// another program made. The folder can be written by anyone, so a file in it
// is looked at without following, blocking on or reading more than a few
// bytes of it.

// Why a lock file keeps the device at `path` from being opened: held by the
// live program a lock file names, or locked by something that is no lock
// file, in words that name the file and its owner; none when no live lock
// file is there. A regular file naming a process that is gone is stale and
// does not count.
OpenResult LockFileRefusal(const QString &path);
