#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <atomic>

// What the system can tell about why a serial device will not open, in words
// that say the way forward.

// The other program that holds the device open, as "NAME (pid N)"; empty when
// no other process does (or /proc does not tell). A look through /proc ends
// early, with what it found so far, once `cancel` is set.
QString DeviceHolder(const QString &path, const std::atomic_bool *cancel = nullptr);

// The same for several devices in one look through /proc: each path that
// another program holds, with that program.
QMap<QString, QString> DeviceHolders(const QStringList &paths,
                                     const std::atomic_bool *cancel = nullptr);

// When an open looks for another program holding the device: not at all;
// before the open returns; or alongside the line's first exchange, so that
// the look costs no time unless the answer fails to come.
enum class HolderCheck { None, BeforeOpen, Alongside };

// Why this user may not open the device and what to do: the device's group
// and the command that adds the user to it, or, when the user is in the
// group already but this login is not, to log out and in again.
QString PermissionAdvice(const QString &path);

// The wall-clock time now, as file times are stamped (the coarse clock, in
// nanoseconds).
qint64 WallClockNs();

// The serial number the system reports for the device a path leads to, or
// empty where it reports none (a pseudo-terminal, a built-in port).
QString DeviceSerialNumber(const QString &path);

// Whether the device behind `path` is there again after a loss at `lostAtNs`:
// the name itself was made anew since (udev makes device nodes and stable
// names afresh on every plug; a link left behind by a crash that now leads
// to some other device's reused node does not count), and, where the device
// had a serial number, it is the same one.
bool CameBack(const QString &path, qint64 lostAtNs, const QString &serialNumber);

// A name and when it was last made or changed ("PATH SECONDS.NANOSECONDS"),
// so that a device unplugged and plugged back between two looks differs.
QString NameStamp(const QString &path);
