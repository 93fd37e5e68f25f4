#include "link/handoff.h"
#include "link/settingsjson.h"
#include "link/texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace lumavera {

namespace {

QJsonObject objectOf(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

std::optional<QJsonObject> objectFrom(const QByteArray &line)
{
    if (line.size() > MaxHandoffLine)
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

// A folder that is this user's own: a real folder (no link), owned by this
// user, and writable by no one else. `why` says what is wrong otherwise.
bool privateFolder(const QString &folder, QString *why)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *why = LinkTexts::tr("%1 is not a folder").arg(folder);
        return false;
    }
    if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        *why = LinkTexts::tr("%1 belongs to another user or others can write to it").arg(folder);
        return false;
    }
    return true;
}

} // namespace

HandoffPath HandoffSocketPath()
{
    HandoffPath place;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && privateFolder(runtime, &place.reason)) {
        place.path = runtime + QStringLiteral("/lumavera.socket");
        return place;
    }
    // No usable runtime folder: one of the user's own in the temporary folder,
    // never a fixed name in a folder that others share.
    const QString own = QDir::tempPath() + QStringLiteral("/lumavera-%1").arg(::geteuid());
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    place.reason.clear();
    if (privateFolder(own, &place.reason)) {
        place.path = own + QStringLiteral("/lumavera.socket");
        return place;
    }
    place.fault = HandoffFault::NoPrivateFolder;
    return place;
}

bool HandoffAddress(const QString &path, sockaddr_un *address)
{
    const QByteArray native = QFile::encodeName(path);
    *address = {};
    address->sun_family = AF_UNIX;
    if (native.isEmpty() || native.size() >= qsizetype(sizeof address->sun_path))
        return false;
    std::memcpy(address->sun_path, native.constData(), size_t(native.size()));
    return true;
}

bool PeerIsOwnUser(int socketFd)
{
    ucred peer{};
    socklen_t length = sizeof peer;
    return ::getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
           peer.uid == ::geteuid();
}

QString RealDevicePath(const QString &path)
{
    const QString real = QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? path : real;
}

QByteArray HandoffRequest::encode() const
{
    QJsonObject o{{"device", device}, {"timeout", timeoutMs}};
    if (probe) {
        o.insert(QLatin1String("op"), QLatin1String("probe"));
    } else {
        o.insert(QLatin1String("op"), StepName(step.kind));
        if (step.kind == ModuleStep::Kind::Mode || step.kind == ModuleStep::Kind::Fade ||
            step.kind == ModuleStep::Kind::Hold)
            o.insert(QLatin1String("value"), step.value);
        if (step.kind == ModuleStep::Kind::Store)
            o.insert(QLatin1String("slot"), step.slot);
        if (step.kind == ModuleStep::Kind::Color || step.kind == ModuleStep::Kind::Store)
            o.insert(QLatin1String("colour"), objectOf(RgbJson(step.colour)));
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<HandoffRequest> HandoffRequest::decode(const QByteArray &line)
{
    const std::optional<QJsonObject> o = objectFrom(line);
    if (!o)
        return std::nullopt;
    HandoffRequest r;
    r.device = o->value(QLatin1String("device")).toString();
    r.timeoutMs = o->value(QLatin1String("timeout")).toInt(-1);
    if (r.device.isEmpty() || r.timeoutMs < 0 || r.timeoutMs > 60000)
        return std::nullopt;
    const QString op = o->value(QLatin1String("op")).toString();
    if (op == QLatin1String("probe")) {
        r.probe = true;
        return r;
    }
    const std::optional<ModuleStep::Kind> kind = StepKindNamed(op);
    if (!kind)
        return std::nullopt;
    r.step.kind = *kind;
    r.step.value = o->value(QLatin1String("value")).toInt(0);
    r.step.slot = o->value(QLatin1String("slot")).toInt(0);
    if (r.step.kind == ModuleStep::Kind::Color || r.step.kind == ModuleStep::Kind::Store) {
        const std::optional<Rgb> c = RgbFromJson(o->value(QLatin1String("colour")));
        if (!c)
            return std::nullopt;
        r.step.colour = *c;
    }
    if (!r.step.valid())
        return std::nullopt;
    return r;
}

QByteArray HandoffReply::encode() const
{
    QJsonObject o{{"handled", handled},
                  {"fault", FaultName(outcome.fault)},
                  {"reason", outcome.reason},
                  {"traffic", QJsonArray::fromStringList(traffic)}};
    o.insert(QLatin1String("settings"), objectOf(SettingsJson(outcome.settings)));
    if (!outcome.unseenHolderOf.isEmpty())
        o.insert(QLatin1String("unseenHolderOf"), outcome.unseenHolderOf);
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<HandoffReply> HandoffReply::decode(const QByteArray &line)
{
    const std::optional<QJsonObject> o = objectFrom(line);
    if (!o)
        return std::nullopt;
    HandoffReply r;
    r.handled = o->value(QLatin1String("handled")).toBool();
    r.outcome.fault = FaultNamed(o->value(QLatin1String("fault")).toString());
    r.outcome.reason = o->value(QLatin1String("reason")).toString();
    r.outcome.unseenHolderOf = o->value(QLatin1String("unseenHolderOf")).toString();
    for (const QJsonValue &v : o->value(QLatin1String("traffic")).toArray())
        r.traffic << v.toString();
    // A settings part that is not a module's is no answer at all.
    const std::optional<ModuleSettings> settings =
        SettingsFromJson(o->value(QLatin1String("settings")).toObject());
    if (!settings)
        return std::nullopt;
    r.outcome.settings = *settings;
    return r;
}

} // namespace lumavera
