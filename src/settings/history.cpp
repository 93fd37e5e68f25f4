#include "settings/history.h"

#include "settings/moduleconfig.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace lumavera {

QString HistoryFolder()
{
    // The XDG rule: a relative or empty XDG_STATE_HOME is ignored.
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/lumavera/");
}

namespace {

// A name reduced to what any file system takes; never a '~', which parts
// the device from the unit.
QString safeName(QString name)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]+"));
    return name.replace(unsafe, QStringLiteral("_"));
}

} // namespace

KeptResult KeepBackup(const QString &device, const ModuleSettings &held)
{
    // The device's own name.
    const QString name = safeName(QFileInfo(device).fileName());
    const QString file =
        HistoryFolder() +
        QStringLiteral("%1-%2.ini")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")),
                 name.isEmpty() ? QStringLiteral("module") : name);
    if (!QDir().mkpath(HistoryFolder()))
        return {{FileFault::Failed,
                 QStringLiteral("the folder %1 cannot be made").arg(HistoryFolder())},
                {}};
    if (const WriteResult written = SaveModuleConfig(file, held); !written)
        return {written, {}};
    const QList<KeptBackup> all = BackupHistory();
    for (qsizetype i = MaxKept; i < all.size(); ++i)
        QFile::remove(all[i].path);
    return {{}, file};
}

QList<KeptBackup> BackupHistory()
{
    // The names begin with their time, so the newest sort last.
    const QStringList names =
        QDir(HistoryFolder()).entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name);
    // A stable name from /dev/serial/by-id ends in the adapter's serial
    // number and its interface: usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0.
    static const QRegularExpression byId(
        QStringLiteral("^usb-.+_([A-Za-z0-9]+)-if[0-9]+(-port[0-9]+)?$"));
    QList<KeptBackup> kept;
    for (auto it = names.crbegin(); it != names.crend(); ++it) {
        KeptBackup b;
        b.path = HistoryFolder() + *it;
        b.time = QDateTime::fromString(it->left(19), QStringLiteral("yyyyMMdd-HHmmss-zzz"));
        b.device = it->mid(20).chopped(4);
        if (const qsizetype tilde = b.device.indexOf(u'~'); tilde >= 0) {
            b.unit = b.device.mid(tilde + 1);
            b.device.truncate(tilde);
        }
        b.serial = byId.match(b.device).captured(1);
        kept << b;
    }
    return kept;
}

NamedResult NameBackupForUnit(const QString &path, const QString &unit)
{
    const QFileInfo kept(path);
    const QString named = kept.absolutePath() + u'/' + kept.completeBaseName() + u'~' +
                          safeName(unit) + QStringLiteral(".ini");
    // A rename in the user's own folder: the kept bytes stay as they are.
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(named).constData()) != 0)
        return {{FileFault::Failed, QStringLiteral("%1 could not be renamed: %2")
                                        .arg(path, QString::fromLocal8Bit(std::strerror(errno)))},
                path};
    return {{}, named};
}

} // namespace lumavera
