#include "settings/ini.h"

#include "settings/profile.h"

#include <QDir>

QString WithTrailingSlash(const QString &folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

QString IniFolder()
{
    // The XDG rule: a relative or empty XDG_CONFIG_HOME is ignored.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return WithTrailingSlash(WithTrailingSlash(base) + QStringLiteral("lumavera"));
}

QString IniPath()
{
    return IniFolder() + QStringLiteral("lumavera.ini");
}

QString ReadIniValue(const QString &section, const QString &key)
{
    return profile::readString(IniPath(), section, key);
}

void WriteIniValue(const QString &section, const QString &key, const QString &value)
{
    profile::writeString(IniPath(), section, key, value);
}
