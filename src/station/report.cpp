#include "station/report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace lumavera {

QString StationReport::resultName(Result result)
{
    switch (result) {
    case StationReport::Result::Pass:
        return QStringLiteral("PASS");
    case StationReport::Result::Fail:
        return QStringLiteral("FAIL");
    case StationReport::Result::Skip:
        break;
    }
    return QStringLiteral("SKIP");
}

namespace {

QString csvField(const QString &text)
{
    // A spreadsheet runs a field that starts like a formula; device names
    // and serial numbers come from the device, so such a field is kept as
    // text by a leading apostrophe.
    static const QRegularExpression formula(QStringLiteral("^[=+\\-@\\t\\r]"));
    const QString field = text.contains(formula) ? u'\'' + text : text;
    static const QRegularExpression special(QStringLiteral("[\",\\r\\n]"));
    if (!field.contains(special))
        return field;
    return u'"' + QString(field).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

} // namespace

QString StationReport::why() const
{
    return differences.isEmpty() ? reason : differences.join(QStringLiteral("; "));
}

QString StationReport::json() const
{
    const QJsonObject object{
        {QStringLiteral("time"), at.toString(Qt::ISODate)},
        {QStringLiteral("device"), device},
        {QStringLiteral("serial"), serial.isEmpty() ? QJsonValue() : QJsonValue(serial)},
        {QStringLiteral("result"), resultName(result)},
        {QStringLiteral("reason"), reason},
        {QStringLiteral("differences"), QJsonArray::fromStringList(differences)},
        {QStringLiteral("ms"), ms},
        {QStringLiteral("backup"), backup},
        {QStringLiteral("unit"), unit.isEmpty() ? QJsonValue() : QJsonValue(unit)},
        {QStringLiteral("retest"), retest}};
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString StationReport::csvHeader()
{
    return QStringLiteral("time,device,serial,result,reason,ms,backup,unit,retest\n");
}

QString StationReport::csv() const
{
    QStringList why{reason};
    why += differences;
    why.removeAll(QString());
    return QStringList{csvField(at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))),
                       csvField(device),
                       csvField(serial),
                       resultName(result),
                       csvField(why.join(QStringLiteral("; "))),
                       QString::number(ms),
                       csvField(backup),
                       csvField(unit),
                       retest ? QStringLiteral("yes") : QString()}
               .join(u',') +
           u'\n';
}

} // namespace lumavera
