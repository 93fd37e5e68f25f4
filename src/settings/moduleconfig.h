#pragma once

#include "link/reply.h"
#include "settings/inifile.h"

#include <QString>

namespace lumavera {

// A module's whole configuration in a file, for backup, restore and cloning:
// the settings file's own INI dialect, section "Module" with "Mode", "Fade"
// and "Hold", and section "Colors" with "Red1".."Blue10", so that the files
// read on Windows too and a Colors section can move between them.

// Why a file holds no configuration.
enum class ConfigFault {
    None,
    Missing,  // no such file
    Unusable, // not a file this tool reads (see IniText)
    Invalid,  // a key missing or out of its range; the reason names each
};
struct LoadedConfig : Result<ConfigFault>
{
    ModuleSettings settings;
};

// The configuration, or what is wrong with the file, naming the key.
LoadedConfig LoadModuleConfig(const QString &path);

// Writes every key in one replace of the file, keeping its other bytes.
WriteResult SaveModuleConfig(const QString &path, const ModuleSettings &settings);

} // namespace lumavera
