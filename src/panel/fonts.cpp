#include "panel/fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

namespace {

const char *const WineTahoma = "/usr/share/wine/fonts/tahoma.ttf";

// 8.25 pt at the 96 dpi the pixel layout was drawn for.
constexpr int PixelSize = 11;

QString chooseFamily()
{
    // Which face the font system gives for Tahoma: cheaper than having it
    // list every family it knows.
    if (QFontInfo(QFont(QStringLiteral("Tahoma"))).family() == QLatin1String("Tahoma"))
        return QStringLiteral("Tahoma");
    if (QFile::exists(QLatin1String(WineTahoma))) {
        const int id = QFontDatabase::addApplicationFont(QLatin1String(WineTahoma));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty())
            return families.first();
    }
    // The widest caption of the layout decides which face fits best.
    const QString sample = QStringLiteral("Save Current Color on Memory");
    QString best;
    int bestWidth = 0;
    for (const QString &family : QFontDatabase::families()) {
        if (QFontDatabase::isFixedPitch(family) || family.contains(QLatin1String("Serif")) ||
            family.contains(QLatin1String("Mono")))
            continue;
        QFont font(family);
        font.setPixelSize(PixelSize);
        const int width = QFontMetrics(font).horizontalAdvance(sample);
        if (best.isEmpty() || width < bestWidth) {
            best = family;
            bestWidth = width;
        }
    }
    return best;
}

} // namespace

QFont PanelFont()
{
    static const QString family = chooseFamily();
    QFont font(family);
    font.setPixelSize(PixelSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}
