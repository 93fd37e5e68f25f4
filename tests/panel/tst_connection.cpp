#include "panel/window.h"

#include "link/portmap.h"
#include "panel/contrast.h"
#include "settings/profile.h"
#include "support/filewatch.h"

#include <QAccessible>
#include <QApplication>
#include <QSerialPort>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>

#include <memory>

class ConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void startup_data();
    void startup();
    void listsAndDefaults();
    void layoutAndTabOrder();
    void accessibleNames();
    void readableInEveryPalette_data();
    void readableInEveryPalette();
    void portChoiceSavedAtShutdown();
    void connectSetsLineAndDisconnectRestores();
    void failedOpenExplains_data();
    void failedOpenExplains();
    void portInUse();
    void longPinnedPathOpens();
    void vanishedPortClosesOnceAndIdles();
};

void ConnectionTest::startup_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("port");

    QTest::newRow("CommPort=7") << QByteArray("[Settings]\r\nCommPort=7\r\n") << 7;
    QTest::newRow("CommPort=20, LF file") << QByteArray("[settings]\ncommport = 20\n") << 20;
    QTest::newRow("missing file") << QByteArray() << 1;
    QTest::newRow("empty value") << QByteArray("[Settings]\r\nCommPort=\r\n") << 1;
    QTest::newRow("garbage") << QByteArray("[Settings]\r\nCommPort=abc\r\n") << 1;
    QTest::newRow("zero") << QByteArray("[Settings]\r\nCommPort=0\r\n") << 1;
    QTest::newRow("21") << QByteArray("[Settings]\r\nCommPort=21\r\n") << 1;
    QTest::newRow("negative") << QByteArray("[Settings]\r\nCommPort=-3\r\n") << 1;
}

void ConnectionTest::startup()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, port);
    TempConfig config;
    if (!ini.isEmpty())
        config.write(ini);
    frmMain window;
    const Ui ui(window);
    QCOMPARE(ui.cboComm->currentText(), QStringLiteral("COM%1").arg(port));
    QCOMPARE(ui.cmdConnect->text(), QStringLiteral("Connect"));
    // Start-up reads but never writes the file.
    QCOMPARE(config.read(), ini);
}

void ConnectionTest::listsAndDefaults()
{
    TempConfig config;
    frmMain window;
    const Ui ui(window);
    QCOMPARE(window.windowTitle(), QStringLiteral("RGB Lumavera R2.0"));
    QCOMPARE(window.size(), QSize(557, 398));
    QCOMPARE(window.minimumSize(), window.maximumSize());

    const auto items = [](QComboBox *list) {
        QStringList all;
        for (int i = 0; i < list->count(); ++i)
            all << list->itemText(i);
        return all;
    };
    const auto numbers = [](int first, int last) {
        QStringList all;
        for (int i = first; i <= last; ++i)
            all << QString::number(i);
        return all;
    };
    QStringList ports;
    for (int i = 1; i <= 20; ++i)
        ports << QStringLiteral("COM%1").arg(i);
    QCOMPARE(items(ui.cboComm), ports);
    QCOMPARE(items(ui.cboMemLoc), numbers(1, 10));
    QCOMPARE(items(ui.cboFade), numbers(0, 2));
    QCOMPARE(items(ui.cboHold), numbers(0, 240));
    QCOMPARE(items(ui.cboMode), numbers(0, 11));
    for (QComboBox *list : window.findChildren<QComboBox *>())
        QVERIFY2(!list->isEditable(), qPrintable(list->objectName()));

    QCOMPARE(ui.cboMemLoc->currentText(), QStringLiteral("1"));
    QCOMPARE(ui.cboFade->currentText(), QStringLiteral("1"));
    QCOMPARE(ui.cboHold->currentText(), QStringLiteral("5"));
    QCOMPARE(ui.cboMode->currentText(), QStringLiteral("1"));
    QCOMPARE(ui.lblTxData->text(), QString());
    for (QLabel *readout : {ui.lblRed, ui.lblGreen, ui.lblBlue})
        QCOMPARE(readout->text(), QStringLiteral("0"));
    QVERIFY(ui.fComm->isEnabled());
    QVERIFY(!ui.fRGB->isEnabled());
    // Every item says which device it stands for, once the window has looked.
    QTRY_VERIFY(ui.lblPortInfo->text().startsWith(QLatin1String("COM1: ")));
    for (int i = 0; i < ui.cboComm->count(); ++i)
        QVERIFY(!ui.cboComm->itemData(i, Qt::ToolTipRole).toString().isEmpty());
}

void ConnectionTest::layoutAndTabOrder()
{
    TempConfig config;
    frmMain window;
    const Ui ui(window);
    window.show();
    QCOMPARE(window.findChild<QWidget *>(QStringLiteral("fRGB"))->geometry(),
             QRect(8, 80, 537, 225));
    QCOMPARE(ui.cmdSetMode->geometry(), QRect(408, 120, 57, 33));
    QCOMPARE(ui.lblTxData->parentWidget(), ui.Frame1);
    QCOMPARE(ui.lblTxData->palette().color(QPalette::Window), QColor(255, 255, 192));
    QCOMPARE(ui.Label1->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(ui.lblGreen->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    QCOMPARE(ui.Label3->palette().color(QPalette::WindowText), QColor(0, 0, 255));

    const QStringList expected = {"cboComm",        "cmdConnect",  "Slider_Red",   "Slider_Green",
                                  "Slider_Blue",    "cmdSetColor", "cmdSaveColor", "cboMemLoc",
                                  "cmdRetrieve",    "cmdSave",     "cboFade",      "cboHold",
                                  "cmdSetFade",     "cmdSetHold",  "cboMode",      "cmdSetMode",
                                  "cmdReadSettings"};
    QStringList order;
    QWidget *w = ui.cboComm;
    for (int i = 0; i < expected.size(); ++i) {
        order << w->objectName();
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus) || w->objectName().isEmpty());
    }
    QCOMPARE(order, expected);

    // Every caption fits its control in the window's font.
    for (QPushButton *button : window.findChildren<QPushButton *>())
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) + 6 <= button->width(),
                 qPrintable(button->text()));
    for (QLabel *label : window.findChildren<QLabel *>()) {
        if (label == ui.lblPortInfo || label->text().isEmpty())
            continue;
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                 qPrintable(label->text()));
    }
}

void ConnectionTest::accessibleNames()
{
    TempConfig config;
    frmMain window;
    window.show();
    // What the accessibility interface hands a screen reader for each.
    const QList<std::pair<const char *, QString>> expected = {
        {"Slider_Red", "Red level"},
        {"Slider_Green", "Green level"},
        {"Slider_Blue", "Blue level"},
        {"cmdSetFade", "Set fade speed"},
        {"cmdSetHold", "Set hold time"},
        {"lblTxData", "Transmitted bytes"},
        {"lblPreview", "Mixed colour"},
        {"cmdConnect", "Connect"},
        {"cmdSaveColor", "Save Current Color on Memory"},
        {"cboComm", "Select COM Port"},
        {"cboMemLoc", "Select Memory Slot"},
        {"cboFade", "Select Fade Speed"},
        {"cboHold", "Select Hold Time"},
        {"cboMode", "Select Mode"},
    };
    for (const auto &[name, said] : expected) {
        QWidget *w = window.findChild<QWidget *>(QLatin1String(name));
        QVERIFY2(w, name);
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
        QVERIFY2(a, name);
        QCOMPARE(a->text(QAccessible::Name), said);
    }
    const Ui ui(window);
    ui.Slider_Green->setValue(128);
    QCOMPARE(QAccessible::queryAccessibleInterface(ui.lblPreview)->text(QAccessible::Value),
             QStringLiteral("red 0, green 128, blue 0"));
    // A list's value is its current item, and its pop-up holds every item.
    ui.cboHold->setCurrentIndex(7);
    QAccessibleInterface *hold = QAccessible::queryAccessibleInterface(ui.cboHold);
    QCOMPARE(hold->text(QAccessible::Value), QStringLiteral("7"));
    QCOMPARE(hold->childCount(), 1);
    QCOMPARE(hold->child(0)->childCount(), ui.cboHold->count());
}

namespace {

QPalette darkPalette(QColor window, QColor text)
{
    QPalette p(window);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(role, text);
    p.setColor(QPalette::Base, window.darker(120));
    p.setColor(QPalette::Button, window.lighter(115));
    return p;
}

// The colour a text is drawn in and the colour under it, as the widget
// really has them when enabled.
std::pair<QColor, QColor> textAndGround(QWidget *w)
{
    const auto color = [](QWidget *of, QPalette::ColorRole role) {
        return of->palette().color(QPalette::Active, role);
    };
    if (qobject_cast<QPushButton *>(w) || qobject_cast<QComboBox *>(w))
        return {color(w, QPalette::ButtonText), color(w, QPalette::Button)};
    QWidget *ground = w;
    while (!ground->autoFillBackground() && !ground->isWindow())
        ground = ground->parentWidget();
    return {color(w, w->foregroundRole()), color(ground, QPalette::Window)};
}

} // namespace

void ConnectionTest::readableInEveryPalette_data()
{
    QTest::addColumn<QPalette>("palette");
    QTest::addColumn<bool>("light");
    QTest::addColumn<QString>("picture");

    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    QTest::newRow("Fusion light") << fusion->standardPalette() << true
                                  << QStringLiteral("window-light.png");
    QTest::newRow("dark grey") << darkPalette(QColor(53, 53, 53), QColor(255, 255, 255)) << false
                               << QStringLiteral("window-dark.png");
    QTest::newRow("near black") << darkPalette(QColor(30, 30, 30), QColor(220, 220, 220)) << false
                                << QStringLiteral("window-black.png");
    QTest::newRow("blue-grey") << darkPalette(QColor(40, 44, 52), QColor(171, 178, 191)) << false
                               << QStringLiteral("window-bluegrey.png");
}

void ConnectionTest::readableInEveryPalette()
{
    QFETCH(QPalette, palette);
    QFETCH(bool, light);
    QFETCH(QString, picture);
    QApplication::setStyle(QStringLiteral("Fusion"));
    const QPalette before = QApplication::palette();
    QApplication::setPalette(palette);
    Bench bench;
    QVERIFY(bench.connect());
    const Ui ui = bench.ui();
    QTest::mouseClick(ui.cmdSetColor, Qt::LeftButton);
    QVERIFY(!ui.lblTxData->text().isEmpty());

    // The captions of the levels keep their own colours on a light palette.
    const QList<std::pair<QLabel *, QColor>> levels = {
        {ui.Label1, QColor(255, 0, 0)}, {ui.lblRed, QColor(255, 0, 0)},
        {ui.Label2, QColor(0, 255, 0)}, {ui.lblGreen, QColor(0, 255, 0)},
        {ui.Label3, QColor(0, 0, 255)}, {ui.lblBlue, QColor(0, 0, 255)}};
    for (const auto &[label, hue] : levels) {
        const QColor shown = textAndGround(label).first;
        if (light)
            QCOMPARE(shown, hue);
        else // a lighter tint of the same hue
            QCOMPARE(shown.hue(), hue.hue());
    }
    QCOMPARE(textAndGround(ui.lblTxData).second, QColor(255, 255, 192));

    int checked = 0;
    for (QWidget *w : bench.window->findChildren<QWidget *>()) {
        const bool hasText =
            (qobject_cast<QLabel *>(w) && !static_cast<QLabel *>(w)->text().isEmpty()) ||
            qobject_cast<QPushButton *>(w) || qobject_cast<QComboBox *>(w) ||
            qobject_cast<QGroupBox *>(w);
        if (!hasText || !w->isVisible())
            continue;
        const bool specHue = std::any_of(levels.begin(), levels.end(),
                                         [w](const auto &level) { return level.first == w; });
        if (light && specHue)
            continue;
        const auto [text, ground] = textAndGround(w);
        const double ratio = ContrastRatio(text, ground);
        QVERIFY2(ratio >= ReadableContrast,
                 qPrintable(QStringLiteral("%1: %2 on %3 is %4:1")
                                .arg(w->objectName(), text.name(), ground.name())
                                .arg(ratio, 0, 'f', 2)));
        ++checked;
    }
    QVERIFY2(checked >= 25, qPrintable(QString::number(checked)));
    bench.window->grab().save(picture);
    QApplication::setPalette(before);
}

void ConnectionTest::portChoiceSavedAtShutdown()
{
    TempConfig config;
    config.write("; kept\r\n[Settings]\r\nCommPort=2\r\n[Ports]\r\nCOM12=/dev/ttyUSB7\r\n");
    {
        frmMain window;
        const Ui ui(window);
        window.show();
        QTRY_VERIFY(ui.lblPortInfo->text().startsWith(QLatin1String("COM2: ")));
        ui.cboComm->setCurrentIndex(11);
        QVERIFY(ui.lblPortInfo->text().startsWith(
            QStringLiteral("COM12: /dev/ttyUSB7 \u2014 missing")));
        // The list is kept current by events: opening it reads nothing.
        FileWatch watch(config.iniPath());
        QTest::mouseClick(ui.cboComm, Qt::LeftButton);
        QCOMPARE(watch.take().opens, 0);
        if (QWidget *popup = QApplication::activePopupWidget())
            QTest::keyClick(popup, Qt::Key_Escape);
        // Choosing saves nothing yet.
        QCOMPARE(profile::valueIn(config.read(), "Settings", "CommPort"), QByteArray("2"));
        window.close();
    }
    QCOMPARE(
        config.read(),
        QByteArray("; kept\r\n[Settings]\r\nCommPort=12\r\n[Ports]\r\nCOM12=/dev/ttyUSB7\r\n"));

    // A fresh run writes a file with just the one key.
    config.remove();
    {
        frmMain window;
        const Ui ui(window);
        window.show();
        window.close();
    }
    QCOMPARE(config.read(), QByteArray("[Settings]\r\nCommPort=1\r\n"));
}

void ConnectionTest::connectSetsLineAndDisconnectRestores()
{
    Bench bench;
    QVERIFY(bench.isClosedState());
    QVERIFY(bench.connect());
    QVERIFY(bench.isOpenState());

    const termios t = bench.pty.slaveSettings();
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    QCOMPARE(cfgetispeed(&t), speed_t(B9600));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), tcflag_t(0));

    // Nothing is sent on connect.
    QCOMPARE(bench.pty.readAll(100), QByteArray());

    bench.click(bench.ui().cmdConnect);
    QVERIFY(bench.isClosedState());
    QCOMPARE(bench.ui().lblTxData->text(), QString());

    // And the same port opens again.
    QVERIFY(bench.connect());
    QVERIFY(bench.isOpenState());
}

void ConnectionTest::failedOpenExplains_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no such device")
        << QByteArray("/dev/lumavera-no-such-port")
        << QStringLiteral("COM1 is /dev/lumavera-no-such-port, which is not plugged in.");
    QTest::newRow("not a serial device")
        << QByteArray("/dev/null") << QStringLiteral("/dev/null could not be opened");
}

void ConnectionTest::failedOpenExplains()
{
    QFETCH(QByteArray, path);
    QFETCH(QString, reason);
    TempConfig config;
    config.write("[Ports]\r\nCOM1=" + path + "\r\n");
    frmMain window;
    const Ui ui(window);
    window.show();
    BoxAnswerer boxes;
    const int heldBefore = openDescriptorsOn(QString::fromLocal8Bit(path));
    QTest::mouseClick(ui.cmdConnect, Qt::LeftButton);
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen[0].title, QStringLiteral("Lumavera"));
    QCOMPARE(boxes.seen[0].text, QStringLiteral("Selected Com Port Not Available"));
    QVERIFY2(boxes.seen[0].details.startsWith(reason), qPrintable(boxes.seen[0].details));
    QCOMPARE(ui.cmdConnect->text(), QStringLiteral("Connect"));
    QVERIFY(ui.fComm->isEnabled());
    QVERIFY(!ui.fRGB->isEnabled());
    QCOMPARE(openDescriptorsOn(QString::fromLocal8Bit(path)), heldBefore);
}

void ConnectionTest::portInUse()
{
    Pty pty;
    QSerialPort other(pty.slavePath());
    QVERIFY(other.open(QIODevice::ReadWrite));

    TempConfig config;
    config.write("[Ports]\r\nCOM1=" + pty.slavePath().toLocal8Bit() + "\r\n");
    frmMain window;
    const Ui ui(window);
    window.show();
    BoxAnswerer boxes;
    QTest::mouseClick(ui.cmdConnect, Qt::LeftButton);
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Selected Com Port Not Available")});
    QVERIFY2(boxes.seen[0].details.contains(QLatin1String("in use by another program")),
             qPrintable(boxes.seen[0].details));
    QCOMPARE(ui.cmdConnect->text(), QStringLiteral("Connect"));

    other.close();
    QTest::mouseClick(ui.cmdConnect, Qt::LeftButton);
    QCOMPARE(ui.cmdConnect->text(), QStringLiteral("Disconnect"));
}

void ConnectionTest::longPinnedPathOpens()
{
    // A pinned link 250 characters long: as much as a settings value holds.
    Pty pty;
    QTemporaryDir dir;
    QString folder = dir.path();
    for (int i = 0; i < 2; ++i)
        folder += u'/' + QString(60, QChar(u'a' + i));
    QVERIFY(QDir().mkpath(folder));
    const QString link = folder + u'/' + QString(250 - folder.size() - 1, u'l');
    QVERIFY(QFile::link(pty.slavePath(), link));
    QCOMPARE(link.size(), 250);
    TempConfig config;
    config.write("[Ports]\r\nCOM1=" + QFile::encodeName(link) + "\r\n");
    frmMain window;
    window.show();
    const Ui ui(window);
    BoxAnswerer boxes;
    QTest::mouseClick(ui.cmdConnect, Qt::LeftButton);
    QVERIFY2(boxes.seen.isEmpty(),
             qPrintable(boxes.seen.isEmpty() ? QString() : boxes.seen[0].details));
    QCOMPARE(ui.cmdConnect->text(), QStringLiteral("Disconnect"));

    // The same device by its own name is the same device: not twice.
    QSerialPort again(pty.slavePath());
    QVERIFY(!again.open(QIODevice::ReadWrite));
}

void ConnectionTest::vanishedPortClosesOnceAndIdles()
{
    Bench bench;
    QVERIFY(bench.connect());
    BoxAnswerer boxes;
    bench.pty.closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(bench.isClosedState(), 2000);
    // Said beside the Connect button, not in a box.
    const QString notice = bench.ui().lblNotice->text();
    QVERIFY2(notice.contains(bench.pty.slavePath()) && notice.contains(QLatin1String("reconnects")),
             qPrintable(notice));

    QTest::qWait(400);
    QCOMPARE(boxes.seen.size(), 0);
    QVERIFY(bench.isClosedState());
}

QTEST_MAIN(ConnectionTest)
#include "tst_connection.moc"
