#include "settings/writeresult.h"

#include "settings/texts.h"

namespace lumavera {

QString NotWritten(const QString &path, const WriteResult &written)
{
    return SettingsTexts::tr("%1 could not be written: %2").arg(path, written.reason);
}

} // namespace lumavera
