#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <atomic>

namespace lumavera {

// Which other program holds a serial device open.

// A program as the user is told of it: "NAME (pid N)".
QString ProcessLabel(int pid);

// The other program that holds the device open, as "NAME (pid N)"; empty when
// no other process does (or /proc does not tell). A look through /proc ends
// early, with what it found so far, once `cancel` is set.
QString DeviceHolder(const QString &path, const std::atomic_bool *cancel = nullptr);

// The same for several devices in one look through /proc: each path that
// another program holds, with that program.
QMap<QString, QString> DeviceHolders(const QStringList &paths,
                                     const std::atomic_bool *cancel = nullptr);

// When an open looks for another program holding the device: not at all
// (the caller looks itself, as the station does), or before the open returns.
enum class HolderCheck { None, BeforeOpen };

} // namespace lumavera
