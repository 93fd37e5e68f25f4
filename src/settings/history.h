#pragma once

#include "link/reply.h"
#include "settings/inifile.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace lumavera {

// What a module held before a restore changed it: one file per module and
// time in the user's state folder ($XDG_STATE_HOME/lumavera/, by default
// ~/.local/state/lumavera/), in the format restore reads, so that restoring
// one undoes the change. The newest MaxKept are kept.

inline constexpr int MaxKept = 200;

// The folder the backups are kept in, with one trailing '/'.
QString HistoryFolder();

// A backup kept, or why not.
struct KeptResult : WriteResult
{
    QString path; // the backup's file, once written
};

// Keeps `held`, read from the module at `device`, as a new backup.
KeptResult KeepBackup(const QString &device, const ModuleSettings &held);

// One kept backup, as its file's name tells it.
struct KeptBackup
{
    QString path;
    QDateTime time;
    QString device; // the device's own name (a by-id name, ttyUSB0, ...)
    QString serial; // the USB serial number a by-id name carries; empty when none
    QString unit;   // the unit's id the station gave it; empty when none
};

// Names the backup at `path` for the unit whose module it kept too
// (TIME-DEVICE~UNIT.ini); the backup's new path, or why it kept its name.
struct NamedResult : WriteResult
{
    QString path;
};
NamedResult NameBackupForUnit(const QString &path, const QString &unit);

// Every kept backup, newest first.
QList<KeptBackup> BackupHistory();

} // namespace lumavera
