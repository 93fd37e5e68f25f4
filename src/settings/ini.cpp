#include "settings/ini.h"

#include "settings/profile.h"

#include <QDir>
#include <QFileInfo>

namespace lumavera {

QString WithTrailingSlash(const QString &folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

namespace {

QString &chosenPath()
{
    static QString path;
    return path;
}

QString absolute(const QString &path)
{
    return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
}

// The file named for this run, or empty for the usual place.
QString namedPath()
{
    return chosenPath().isEmpty() ? absolute(qEnvironmentVariable("LUMAVERA_SETTINGS"))
                                  : chosenPath();
}

} // namespace

void UseIniPath(const QString &path)
{
    chosenPath() = absolute(path);
}

QString IniFolder()
{
    if (const QString named = namedPath(); !named.isEmpty())
        return WithTrailingSlash(QFileInfo(named).absolutePath());
    // The XDG rule: a relative or empty XDG_CONFIG_HOME is ignored.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return WithTrailingSlash(WithTrailingSlash(base) + QStringLiteral("lumavera"));
}

QString IniPath()
{
    if (const QString named = namedPath(); !named.isEmpty())
        return named;
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

} // namespace lumavera
