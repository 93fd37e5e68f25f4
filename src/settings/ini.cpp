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
    return QString::fromUtf8(
        profile::valueIn(IniFile(IniPath()).read().content, section.toUtf8(), key.toUtf8()));
}

WriteResult WriteIniValue(const QString &section, const QString &key, const QString &value)
{
    return WriteIniValues({{section, key, value}});
}

WriteResult WriteIniValues(const QList<IniEdit> &edits)
{
    return IniFile(IniPath()).write(edits);
}
