#pragma once

#include <QList>
#include <QSerialPortInfo>
#include <QString>
#include <QStringList>

// How the port numbers COM1..COM20 the user picks map to serial devices here.
//
// A number pinned in the settings file's "Ports" section (COM3=/dev/ttyUSB0)
// uses that path. Otherwise COMn is the n-th serial port the system reports,
// USB adapters (ttyUSB*) first, then USB modems and boards (ttyACM*), then
// the rest, each group in natural number order.

inline constexpr int FirstPort = 1;
inline constexpr int LastPort = 20;

// The system's device paths in the order port numbers count them.
QStringList OrderedPortPaths(QStringList paths);

// The device for `number` from a pinned path (may be empty) and the system's
// port list; empty when the number has no device.
QString PortPathFor(int number, const QString &pinned, const QStringList &systemPaths);

// The serial devices the system reports now.
QStringList SystemPortPaths();

// The device for `number`, from the settings file and the given system list.
QString DevicePathFor(int number, const QStringList &systemPaths);

// The device for `number`, from the settings file and the system as it is now.
QString DevicePathFor(int number);

// One line for the user about the device behind a path: the path, then its
// description and manufacturer where the system knows them; "no device" for
// an empty path.
QString DescribeDevice(const QString &path, const QList<QSerialPortInfo> &ports);
