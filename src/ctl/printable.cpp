#include "ctl/printable.h"

namespace lumavera {

QString Printable(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            shown += QStringLiteral("\\\\");
        else if (u == u'\r')
            shown += QStringLiteral("\\r");
        else if (u == u'\n')
            shown += QStringLiteral("\\n");
        else if (u == u'\t')
            shown += QStringLiteral("\\t");
        else if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            shown += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

} // namespace lumavera
