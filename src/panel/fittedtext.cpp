#include "panel/fittedtext.h"
#include "panel/accessible.h"

#include <QFontMetrics>
#include <QLabel>

namespace lumavera {

namespace {

const QChar Ellipsis(0x2026);

QString fitted(const QString &text, const QFontMetrics &metrics, const QRect &box, bool wrap)
{
    const auto fits = [&](const QString &t) {
        if (!wrap)
            return metrics.horizontalAdvance(t) <= box.width();
        // A word wider than the line would be drawn past its end.
        const QStringList words = t.split(u' ');
        return metrics.boundingRect(QRect(0, 0, box.width(), 1 << 20), Qt::TextWordWrap, t)
                       .height() <= box.height() &&
               std::all_of(words.cbegin(), words.cend(), [&](const QString &w) {
                   return metrics.horizontalAdvance(w) <= box.width();
               });
    };
    if (fits(text))
        return text;
    // A path is known by its start and its last names.
    QStringList words = text.split(u' ');
    const int pathWidth = box.width() * 9 / 20;
    for (QString &word : words) {
        if (word.contains(u'/') && metrics.horizontalAdvance(word) > pathWidth)
            word = metrics.elidedText(word, Qt::ElideMiddle, pathWidth);
    }
    QString shortened = words.join(u' ');
    if (fits(shortened))
        return shortened;
    for (qsizetype kept = words.size() - 1; kept > 0; --kept) {
        QString cut = words.first(kept).join(u' ');
        while (!cut.isEmpty() && QStringLiteral(",;:\u2014-").contains(cut.back()))
            cut.chop(1);
        cut = cut.trimmed() + Ellipsis;
        if (fits(cut))
            return cut;
    }
    return metrics.elidedText(shortened, Qt::ElideRight, box.width());
}

} // namespace

void ShowFitted(QLabel *label, const QString &text, const QString &toolTip)
{
    const QString shown =
        fitted(text, QFontMetrics(label->font()), label->contentsRect(), label->wordWrap());
    if (auto *readout = qobject_cast<Readout *>(label))
        readout->setText(shown);
    else
        label->setText(shown);
    const QString whole = toolTip.isEmpty() ? text : toolTip;
    label->setToolTip(whole);
    label->setAccessibleDescription(shown == whole ? QString() : whole);
}

} // namespace lumavera
