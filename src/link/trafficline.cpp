#include "link/trafficline.h"

#include <QDateTime>

namespace lumavera {

QString TrafficDirection(TrafficEvent::Kind kind)
{
    switch (kind) {
    case TrafficEvent::Kind::Sent:
        return QStringLiteral("TX");
    case TrafficEvent::Kind::Received:
        return QStringLiteral("RX");
    case TrafficEvent::Kind::Discarded:
        return QStringLiteral("DISCARDED");
    case TrafficEvent::Kind::Opened:
        return QStringLiteral("OPEN");
    case TrafficEvent::Kind::Closed:
        return QStringLiteral("CLOSE");
    case TrafficEvent::Kind::Lost:
        return QStringLiteral("LOST");
    case TrafficEvent::Kind::Waited:
        return QStringLiteral("WAIT");
    case TrafficEvent::Kind::Notified:
        return QStringLiteral("SERVER");
    }
    return {};
}

QString TrafficHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString PrintableAscii(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes)
        text += (c >= 0x20 && c < 0x7F) ? QChar(QLatin1Char(c)) : QChar(u'.');
    return text;
}

QString TrafficLine(const TrafficEvent &event, qint64 openedAtNs, TrafficTime time)
{
    const QString when =
        time == TrafficTime::WallClock
            ? QDateTime::fromMSecsSinceEpoch(event.wallMs).toString(QStringLiteral("HH:mm:ss.zzz"))
            : QString::number(double(event.atNs - openedAtNs) / 1e6, 'f', 3);
    QString line = when.rightJustified(12) + QStringLiteral("  ") + TrafficDirection(event.kind);
    if (!event.bytes.isEmpty()) {
        line += u' ' + TrafficHex(event.bytes) + QStringLiteral("  |") +
                PrintableAscii(event.bytes) + u'|';
    }
    if (!event.note.isEmpty())
        line += QStringLiteral("  ") + event.note;
    return line;
}

} // namespace lumavera
