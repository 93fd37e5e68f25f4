#pragma once

#include "link/openfault.h"

#include <QList>
#include <QString>

#include <sys/types.h>

namespace lumavera {

// The old convention of a lock file per device, "LCK..ttyUSB0", in the
// shared lock folder (/run/lock, or LUMAVERA_LOCK_DIR). Lumavera itself
// locks a device with flock() on the device, but respects a lock file that
// another program made. The folder can be written by anyone, so a file in it
// is looked at without following, blocking on or reading more than a few
// bytes of it.

// Why a lock file keeps the device at `path` from being opened, in words
// that name its program, or the file itself and its owner; none when no live
// lock file is there. A regular file naming a process that is gone is stale
// and does not count. Other programs name their lock files after the device
// ("LCK..ttyUSB0"), the last component of what they opened ("LCK..led" for a
// link, "LCK..3" for /dev/pts/3, a /dev/serial link's name) or the whole path
// ("LCK.._dev_ttyUSB0", as ser2net does): all of them count. A live pid
// counts as the holder only where its program is seen to have the device
// open; one seen to have it not under a name another device may share
// ("led") is another device's lock; otherwise the lock file is named.
OpenResult LockFileRefusal(const QString &path);

// A lock file this program holds for a device while it has it open, so
// that programs that honour only lock files (cu, ser2net) keep out too.
struct HeldLockFile
{
    QString path;
    dev_t device = 0;
    ino_t inode = 0;
};

// Makes a lock file for the device at `path` in the lock folder under its
// own name and the whole paths (not the link's name, which another link of
// that name elsewhere shares): the pid as ten characters and a newline, made with
// O_EXCL, never through a link, after removing a stale one of this user's.
// A folder this user may not write to is no fault (none is held then);
// another program's live lock file, made meanwhile, refuses the device.
OpenResult TakeLockFiles(const QString &path, QList<HeldLockFile> *held);

// Removes the lock files, each only if it is still the one that was made.
void ReleaseLockFiles(QList<HeldLockFile> &held);

} // namespace lumavera
