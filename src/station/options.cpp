#include "station/options.h"

#include "settings/ini.h"
#include "settings/moduleconfig.h"
#include "settings/settings.h"

#include <algorithm>

namespace lumavera {

PreparedStation PrepareStation(StationOptions options)
{
    PreparedStation prepared;
    const LoadedConfig loaded = LoadModuleConfig(options.file);
    if (!loaded) {
        prepared.fault = StationFault::File;
        prepared.reason = loaded.reason;
        return prepared;
    }
    options.restore = loaded.settings;
    // A device path or a network line needs no look at the settings file.
    const bool numbered =
        std::any_of(options.ports.begin(), options.ports.end(), [](const QString &p) {
            return p.startsWith(QLatin1String("COM"), Qt::CaseInsensitive);
        });
    const Settings settings = numbered ? SettingsStore(IniPath()).load() : Settings();
    for (qsizetype i = 0; i < options.ports.size(); ++i) {
        const ResolvedPort port = ResolvePort(options.ports[i], settings.commPort(), settings.pins);
        if (!port) {
            prepared.fault = StationFault::Port;
            prepared.reason = port.reason;
            prepared.port = port;
            prepared.portIndex = int(i);
            return prepared;
        }
        options.ports[i] = port.path;
    }
    prepared.options = options;
    return prepared;
}

} // namespace lumavera
