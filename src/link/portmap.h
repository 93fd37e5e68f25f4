#pragma once

#include <QList>
#include <QMap>
#include <QSerialPortInfo>
#include <QString>
#include <QStringList>

// How the port numbers COM1..COM20 the user picks map to serial devices here.
//
// A pinned number (COM3=/dev/ttyUSB0, from the "Ports" section of the
// settings file, handed in by the caller) uses that path. Otherwise COMn is the n-th serial port
// the system reports, USB adapters (ttyUSB*) first, then USB modems and boards (ttyACM*), then the
// rest, each group in natural number order.

inline constexpr int FirstPort = 1;
inline constexpr int LastPort = 20;

// The system's device paths in the order port numbers count them.
QStringList OrderedPortPaths(QStringList paths);

// The device for `number` from a pinned path (may be empty) and the system's
// port list; empty when the number has no device.
QString PortPathFor(int number, const QString &pinned, const QStringList &systemPaths);

// The serial devices the system reports now.
QStringList SystemPortPaths();

// The device for `number` from the pinned numbers and the system's list.
QString DevicePathFor(int number, const QMap<int, QString> &pins, const QStringList &systemPaths);

// One line for the user about the device behind a path: the path, then its
// description and manufacturer where the system knows them; "no device" for
// an empty path.
QString DescribeDevice(const QString &path, const QList<QSerialPortInfo> &ports);
