#pragma once

#include "settings/inifile.h"

#include <QString>

namespace lumavera {

// The tool's settings file, "lumavera.ini": the port last chosen, the colour
// of each memory slot, and the pinning of port numbers to devices. It lives
// in the per-user configuration folder, $XDG_CONFIG_HOME/lumavera/
// (~/.config/lumavera/ by default), and is opened afresh on every call.
// Another file can be named for the whole program, by --settings FILE or the
// environment variable LUMAVERA_SETTINGS, without changing XDG_CONFIG_HOME
// (which also tells the desktop's toolkit where its own settings are).

// `folder` with exactly one trailing '/'.
QString WithTrailingSlash(const QString &folder);

// The settings folder, with one trailing '/': the one IniPath() is in.
QString IniFolder();

// The settings file: the one named by UseIniPath() or LUMAVERA_SETTINGS,
// else IniFolder() followed by "lumavera.ini".
QString IniPath();

// Names the settings file for the rest of the program's run (a relative
// path is taken from the current folder).
void UseIniPath(const QString &path);

// The stored text, or an empty string when the file, section or key is
// missing or the value is empty.
QString ReadIniValue(const QString &section, const QString &key);

// Stores the value, creating the folder, file, section or key as needed. On
// a failed write the file is left exactly as it was, and the result says why.
WriteResult WriteIniValue(const QString &section, const QString &key, const QString &value);

// Stores all the values in one replace of the file: every one of them, or,
// with the reason, none.
WriteResult WriteIniValues(const QList<IniEdit> &edits);

} // namespace lumavera
