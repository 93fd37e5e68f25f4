#include "panel/mainwindow.h"
#include "support/pty.h"

#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace lumavera;

// Run where no Tahoma-metric face exists (see tests/fonts/without-tahoma.sh).
class FontsTest : public QObject
{
    Q_OBJECT

private slots:
    void captionsFitWithoutTahoma();
};

namespace {

// Captions cut by their control, as drawn in the given font.
QStringList cutCaptions(const QWidget &window, const QFont &font)
{
    const QFontMetrics metrics(font);
    QStringList cut;
    for (const QPushButton *button : window.findChildren<QPushButton *>())
        if (metrics.horizontalAdvance(button->text()) + 6 > button->width())
            cut << button->text();
    for (const QGroupBox *group : window.findChildren<QGroupBox *>())
        if (metrics.horizontalAdvance(group->title()) + 16 > group->width())
            cut << group->title();
    for (const QLabel *label : window.findChildren<QLabel *>())
        if (label->accessibleName().isEmpty() &&
            metrics.horizontalAdvance(label->text()) > label->width())
            cut << label->text();
    return cut;
}

} // namespace

void FontsTest::captionsFitWithoutTahoma()
{
    TempConfig config;
    MainWindow window;
    window.show();
    const QFont font = window.font();
    const QString family = QFontInfo(font).family();
    QVERIFY2(!family.contains(QLatin1String("Tahoma")),
             qPrintable(QStringLiteral("the fallback was not forced: %1").arg(family)));

    QCOMPARE(cutCaptions(window, font), QStringList());
    for (const QWidget *w : window.findChildren<QWidget *>())
        QCOMPARE(w->font().pixelSize(), font.pixelSize());
    // As large as fits: one pixel more cuts a caption, unless the layout's
    // own size already fits.
    if (font.pixelSize() < 11) {
        QFont larger = font;
        larger.setPixelSize(font.pixelSize() + 1);
        QVERIFY(!cutCaptions(window, larger).isEmpty());
    }
    qInfo("%s at %d px", qPrintable(family), font.pixelSize());
    window.grab().save(QStringLiteral("window-without-tahoma.png"));
}

QTEST_MAIN(FontsTest)
#include "tst_fonts.moc"
