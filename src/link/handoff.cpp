#include "link/handoff.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

namespace {

const char *const OpNames[] = {"color", "mode", "fade", "hold", "store", "read", "save", "probe"};

const char *const FaultNames[] = {"",      "aborted",      "no-answer", "short",
                                  "start", "out-of-range", "wrong-ack"};

QJsonObject rgb(const Rgb &c)
{
    return {{"red", c.red}, {"green", c.green}, {"blue", c.blue}};
}

std::optional<Rgb> rgbFrom(const QJsonValue &v)
{
    const QJsonObject o = v.toObject();
    const auto level = [&](const char *name) { return o.value(QLatin1String(name)).toInt(-1); };
    const int r = level("red"), g = level("green"), b = level("blue");
    if (r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255)
        return std::nullopt;
    return Rgb{std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)};
}

std::optional<QJsonObject> objectFrom(const QByteArray &line)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

} // namespace

QString HandoffSocketPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime + QStringLiteral("/lumavera.socket");
    return QDir::tempPath() + QStringLiteral("/lumavera-%1.socket").arg(::getuid());
}

QString RealDevicePath(const QString &path)
{
    const QString real = QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? path : real;
}

QByteArray HandoffRequest::encode() const
{
    QJsonObject o{{"device", device}, {"op", QLatin1String(OpNames[int(op)])}};
    if (op == Op::Mode || op == Op::Fade || op == Op::Hold)
        o.insert(QLatin1String("value"), value);
    if (op == Op::Store)
        o.insert(QLatin1String("slot"), slot);
    if (op == Op::Color || op == Op::Store)
        o.insert(QLatin1String("colour"), rgb(colour));
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<HandoffRequest> HandoffRequest::decode(const QByteArray &line)
{
    const std::optional<QJsonObject> o = objectFrom(line);
    if (!o)
        return std::nullopt;
    HandoffRequest r;
    r.device = o->value(QLatin1String("device")).toString();
    const QString op = o->value(QLatin1String("op")).toString();
    int index = -1;
    for (int i = 0; i < int(std::size(OpNames)); ++i) {
        if (op == QLatin1String(OpNames[i]))
            index = i;
    }
    if (index < 0 || r.device.isEmpty())
        return std::nullopt;
    r.op = Op(index);
    r.value = o->value(QLatin1String("value")).toInt(-1);
    r.slot = o->value(QLatin1String("slot")).toInt(-1);
    const int max = r.op == Op::Mode ? MaxMode : r.op == Op::Fade ? MaxFade : MaxHold;
    if ((r.op == Op::Mode || r.op == Op::Fade || r.op == Op::Hold) &&
        (r.value < 0 || r.value > max))
        return std::nullopt;
    if (r.op == Op::Store && (r.slot < 0 || r.slot >= SlotCount))
        return std::nullopt;
    if (r.op == Op::Color || r.op == Op::Store) {
        const std::optional<Rgb> c = rgbFrom(o->value(QLatin1String("colour")));
        if (!c)
            return std::nullopt;
        r.colour = *c;
    }
    return r;
}

QByteArray HandoffReply::encode() const
{
    QJsonObject o{{"handled", handled},
                  {"fault", QLatin1String(FaultNames[int(fault)])},
                  {"reason", reason},
                  {"traffic", QJsonArray::fromStringList(traffic)}};
    QJsonArray slotList;
    for (const Rgb &c : settings.slotColors)
        slotList.append(rgb(c));
    o.insert(QLatin1String("settings"), QJsonObject{{"mode", settings.mode},
                                                    {"fade", settings.fade},
                                                    {"hold", settings.hold},
                                                    {"slots", slotList}});
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<HandoffReply> HandoffReply::decode(const QByteArray &line)
{
    const std::optional<QJsonObject> o = objectFrom(line);
    if (!o)
        return std::nullopt;
    HandoffReply r;
    r.handled = o->value(QLatin1String("handled")).toBool();
    const QString fault = o->value(QLatin1String("fault")).toString();
    for (int i = 0; i < int(std::size(FaultNames)); ++i) {
        if (fault == QLatin1String(FaultNames[i]))
            r.fault = ReplyFault(i);
    }
    r.reason = o->value(QLatin1String("reason")).toString();
    for (const QJsonValue &v : o->value(QLatin1String("traffic")).toArray())
        r.traffic << v.toString();
    const QJsonObject s = o->value(QLatin1String("settings")).toObject();
    r.settings.mode = std::uint8_t(s.value(QLatin1String("mode")).toInt());
    r.settings.fade = std::uint8_t(s.value(QLatin1String("fade")).toInt());
    r.settings.hold = std::uint8_t(s.value(QLatin1String("hold")).toInt());
    const QJsonArray slotList = s.value(QLatin1String("slots")).toArray();
    for (int i = 0; i < SlotCount && i < slotList.size(); ++i)
        r.settings.slotColors[i] = rgbFrom(slotList[i]).value_or(Rgb{});
    return r;
}
