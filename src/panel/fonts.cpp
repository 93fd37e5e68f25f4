#include "panel/fonts.h"

#include "panel/accessible.h"

#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

namespace lumavera {

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

// The smallest size worth drawing a caption in; below it the layout is
// better cut than unreadable.
constexpr int SmallestPixelSize = 7;

// Room a control keeps beside its caption, in Fusion's drawing.
constexpr int ButtonMargin = 6;
constexpr int ListMargin = 24; // the arrow and the frame
constexpr int TitleMargin = 16;

bool captionsFit(const QWidget *window, const QFont &font)
{
    const QFontMetrics metrics(font);
    const auto fits = [&metrics](const QString &text, int room) {
        return metrics.horizontalAdvance(text) <= room;
    };
    for (const QPushButton *button : window->findChildren<QPushButton *>())
        if (!fits(button->text(), button->width() - ButtonMargin))
            return false;
    for (const QGroupBox *group : window->findChildren<QGroupBox *>())
        if (!fits(group->title(), group->width() - TitleMargin))
            return false;
    for (const QComboBox *list : window->findChildren<QComboBox *>())
        for (int i = 0; i < list->count(); ++i)
            if (!fits(list->itemText(i), list->width() - ListMargin))
                return false;
    // Readouts show changing values, not captions.
    for (const QLabel *label : window->findChildren<QLabel *>())
        if (!qobject_cast<const Readout *>(label) && !fits(label->text(), label->width()))
            return false;
    return true;
}

} // namespace

QFont FittingFont(const QWidget *window, QFont font)
{
    for (int size = font.pixelSize(); size > SmallestPixelSize; --size) {
        font.setPixelSize(size);
        if (captionsFit(window, font))
            return font;
    }
    font.setPixelSize(SmallestPixelSize);
    return font;
}

QFont PanelFont()
{
    static const QString family = chooseFamily();
    QFont font(family);
    font.setPixelSize(PixelSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace lumavera
