#pragma once

#include <QString>

namespace lumavera {

// Whether a device name still leads to the same device: when names were made,
// serial numbers, the return of a device after a loss.

// The wall-clock time now, as file times are stamped (the coarse clock, in
// nanoseconds).
qint64 WallClockNs();

// The serial number the system reports for the device a path leads to, or
// empty where it reports none (a pseudo-terminal, a built-in port).
QString DeviceSerialNumber(const QString &path);

// Whether the device behind `path` is there again after a loss at `lostAtNs`:
// the name itself was made anew since (udev makes device nodes and stable
// names afresh on every plug; a link left behind by a crash that now leads
// to some other device's reused node does not count, nor does a
// pseudo-terminal's number given out again), and, where the device had a
// serial number, it is the same one.
bool CameBack(const QString &path, qint64 lostAtNs, const QString &serialNumber);

// A name and when it was last made or changed ("PATH SECONDS.NANOSECONDS"),
// so that a device unplugged and plugged back between two looks differs.
QString NameStamp(const QString &path);

} // namespace lumavera
