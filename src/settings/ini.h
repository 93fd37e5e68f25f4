#pragma once

#include "settings/inifile.h"

#include <QString>

// The tool's settings file, "lumavera.ini": the port last chosen, the colour
// of each memory slot, and the pinning of port numbers to devices. It lives
// in the per-user configuration folder, $XDG_CONFIG_HOME/lumavera/
// (~/.config/lumavera/ by default), and is opened afresh on every call.

// `folder` with exactly one trailing '/'.
QString WithTrailingSlash(const QString &folder);

// The settings folder, with one trailing '/'.
QString IniFolder();

// IniFolder() followed by "lumavera.ini".
QString IniPath();

// The stored text, or an empty string when the file, section or key is
// missing or the value is empty.
QString ReadIniValue(const QString &section, const QString &key);

// Stores the value, creating the folder, file, section or key as needed. On
// a failed write the file is left exactly as it was, and the result says why.
WriteResult WriteIniValue(const QString &section, const QString &key, const QString &value);

// Stores all the values in one replace of the file: every one of them, or,
// with the reason, none.
WriteResult WriteIniValues(const QList<IniEdit> &edits);
