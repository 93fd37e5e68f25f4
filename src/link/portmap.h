#pragma once

#include "link/result.h"
#include <QList>
#include <QMap>
#include <QSerialPortInfo>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace lumavera {

// How the port numbers COM1..COM20 the user picks map to serial devices.
//
// A pinned number (COM3=/dev/serial/by-id/..., from the "Ports" section of
// the settings file, handed in by the caller) is that device wherever it is
// plugged in; while it is absent the number stays taken and shows as
// missing. The devices the system lists that no pin stands for take the
// free numbers in order: USB adapters (ttyUSB*) first, then USB modems and
// boards (ttyACM*), then the rest, each group in natural number order.

inline constexpr int FirstPort = 1;
inline constexpr int LastPort = 20;

// The system's device paths in the order port numbers count them.
QStringList OrderedPortPaths(QStringList paths);

struct PortEntry
{
    QString path;         // empty: no device has this number
    bool pinned = false;  // from the settings file
    bool present = false; // the device is there now
};
using PortTable = std::array<PortEntry, LastPort>; // COM1 at index 0

// The real device a path leads to (links followed), or an empty string for
// a path that leads nowhere now.
using RealPathOf = std::function<QString(const QString &path)>;
QString RealPathOnDisk(const QString &path);

// Every number's device, from the pins and the system's list.
PortTable NumberPorts(const QMap<int, QString> &pins, const QStringList &systemPaths,
                      const RealPathOf &realPath = RealPathOnDisk);

// The device for `number`; empty when the number has none.
QString DevicePathFor(int number, const QMap<int, QString> &pins, const QStringList &systemPaths);

// The folder of stable device names, /dev/serial/by-id (LUMAVERA_SERIAL_BY_ID
// names another, for trying it out on pseudo-terminals).
QString StableNamesFolder();

// The stable name that leads to the same device as `path`, or empty.
QString StableNameFor(const QString &path);

// The serial devices the system reports now: those Qt lists, and those the
// stable names lead to.
QStringList SystemPortPaths();

// One line for the user about the device behind a path: the path, then its
// description, manufacturer and serial number where the system knows them;
// "no device" for an empty path.
QString DescribeDevice(const QString &path, const QList<QSerialPortInfo> &ports);
// The same words without the path; empty where the system knows none.
QString DeviceDetails(const QString &path, const QList<QSerialPortInfo> &ports);

// What a port name stands for: COMn (in any case) resolved through the pins
// and the system's list, exactly as the window numbers the ports, or a
// device path taken as it is.
enum class PortFault {
    None,
    BadName,    // COMn outside COM1..COM20
    Unassigned, // no device has that number
    Missing,    // pinned to a device that is not plugged in
};
struct ResolvedPort : Result<PortFault>
{
    int number = 0; // 1..20, or 0 for a path
    QString path;
    bool pinned = false;
};

// `name` is COMn or a path; an empty name is COM`defaultNumber`.
ResolvedPort ResolvePort(const QString &name, int defaultNumber, const QMap<int, QString> &pins);

// Every number with its device, what the system says of it, and (when asked
// for, as it costs a look through /proc) the other program holding it.
struct PortInfo
{
    PortEntry entry;
    QString details; // DeviceDetails()
    QString holder;  // "NAME (pid N)", empty when no other program holds it
};
using PortListing = std::array<PortInfo, LastPort>;
PortListing ListPorts(const QMap<int, QString> &pins, bool withHolders);

// One port for the user: DescribeDevice(), then " — missing" for a pinned
// device not plugged in, or " — in use by NAME (pid N)" for one another
// program holds (`own`, the device this program holds, is not in use).
QString PortSummary(const PortInfo &port, const QString &own = {});

} // namespace lumavera
