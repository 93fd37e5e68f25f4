#include "station/options.h"

#include "settings/ini.h"
#include "settings/moduleconfig.h"
#include "settings/settings.h"
#include "station/texts.h"

#include <QHash>

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
    options.pins = settings.pins;
    QHash<QString, QString> named; // device → the port that named it
    for (qsizetype i = 0; i < options.ports.size(); ++i) {
        const QString given = options.ports[i];
        const ResolvedPort port = ResolvePort(given, settings.commPort(), settings.pins);
        if (port.fault == PortFault::BadName) {
            prepared.fault = StationFault::Port;
            prepared.reason = port.reason;
            prepared.port = port;
            prepared.portIndex = int(i);
            return prepared;
        }
        // A pinned number not plugged in is its pin, waited for.
        if (port.fault == PortFault::Unassigned)
            options.unresolved.insert(given, port.reason);
        else
            options.ports[i] = port.path;
        // The same device twice would be set up by two threads at once.
        const QString device =
            port.fault == PortFault::Unassigned ? given.toUpper() : RealPathOnDisk(port.path);
        const QString key = device.isEmpty() ? port.path : device;
        if (const QString other = named.value(key); !other.isEmpty()) {
            prepared.fault = StationFault::Twice;
            prepared.reason = StationTexts::tr("%1 and %2 are the same port.").arg(other, given);
            prepared.portIndex = int(i);
            return prepared;
        }
        named.insert(key, given);
    }
    prepared.options = options;
    return prepared;
}

} // namespace lumavera
