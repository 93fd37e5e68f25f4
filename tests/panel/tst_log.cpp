#include "panel/frmlog.h"
#include "panel/window.h"

#include <QClipboard>
#include <QFileDialog>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>

namespace {

// The log window's rows as a user reads them, one string of cells per row.
QStringList shownRows(QWidget *log)
{
    QCoreApplication::processEvents();
    QTest::qWait(80); // one batch
    const QAbstractItemModel *m =
        log->findChild<QTableView *>(QStringLiteral("lstTraffic"))->model();
    QStringList rows;
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m->columnCount(); ++c)
            cells << m->index(r, c).data().toString();
        rows << cells.join(u'|');
    }
    return rows;
}

ModuleSettings sample()
{
    ModuleSettings s;
    s.mode = 3;
    s.fade = 1;
    s.hold = 10;
    return s;
}

} // namespace

class LogTest : public QObject
{
    Q_OBJECT

private slots:
    void scriptedSession();
    void opensFromMonitorButtonAndShortcut();
    void boundedUnderAFlood();
};

void LogTest::scriptedSession()
{
    Bench bench;
    const Ui w = bench.ui();
    FakeModule module(bench.pty);
    BoxAnswerer boxes;
    QVERIFY(bench.connect());
    w.Slider_Red->setValue(128);
    w.Slider_Green->setValue(64);
    bench.click(w.cmdSetColor);
    // Stale bytes wait on the line before a good reply...
    QTRY_COMPARE(module.received.size(), 5);
    bench.pty.write("\x13\x37");
    QTest::qWait(30);
    module.settingsAnswer = EncodeSettingsReply(sample());
    bench.click(w.cmdReadSettings);
    // ...then a reply one byte short, then the device goes away.
    module.settingsAnswer = EncodeSettingsReply(sample()).left(34);
    bench.click(w.cmdReadSettings);
    module.stop();
    bench.pty.closeMaster();
    QTRY_VERIFY(bench.isClosedState());

    w.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.form));
    QTest::keyClick(w.form, Qt::Key_L, Qt::ControlModifier);
    QWidget *log = w.form->findChild<QWidget *>(QStringLiteral("frmLog"));
    QVERIFY(log && log->isVisible());
    const QStringList rows = shownRows(log);
    const QString pty = bench.pty.slavePath();
    const QStringList expected = {
        "OPEN|||" + pty,
        "TX|FF 01 80 40 00|...@.|SetColor r=128 g=64 b=0",
        "DISCARDED|13 37|.7|",
        "TX|FF 3C FB FB FB|.<...|ReadModuleSettings",
        "RX|FF 03 01 0A " + QStringLiteral("00 ").repeated(30) + "00|" +
            QStringLiteral(".").repeated(35) + "|settings reply: mode 3 fade 1 hold 10",
        "TX|FF 3C FB FB FB|.<...|ReadModuleSettings",
        "RX|FF 03 01 0A " + QStringLiteral("00 ").repeated(29) + "00|" +
            QStringLiteral(".").repeated(34) + "|Read Error: only 34 of 35 bytes",
        "LOST|||" + pty,
    };
    QCOMPARE(rows.size(), expected.size());
    qint64 lastMs = -1;
    for (int i = 0; i < rows.size(); ++i) {
        const QString time = rows[i].section(u'|', 0, 0);
        const QString rest = rows[i].section(u'|', 1);
        QCOMPARE(rest, expected[i]);
        // Milliseconds since the connection opened, never going back.
        const double ms = time.toDouble();
        QVERIFY2(ms >= lastMs, qPrintable(rows[i]));
        lastMs = qint64(ms);
    }
    QCOMPARE(rows[0].section(u'|', 0, 0), QStringLiteral("0.000"));
    // The short reply waited one tick, as the window always waits.
    QVERIFY(rows[6].section(u'|', 0, 0).toDouble() - rows[5].section(u'|', 0, 0).toDouble() >= 450);

    // Save writes the lines as shown: the same cells, in the same order.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.txt"));
    bool answered = false;
    QTimer::singleShot(300, [&] {
        auto *dialog = log->findChild<QFileDialog *>(QStringLiteral("saveDialog"));
        if (!dialog)
            return;
        // Typed into the file name field, as a user would.
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (!name)
            return;
        name->setText(path);
        QMetaObject::invokeMethod(dialog, "accept");
        answered = true;
    });
    QTest::mouseClick(log->findChild<QPushButton *>(QStringLiteral("cmdSave")), Qt::LeftButton);
    QVERIFY(answered);
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(saved.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), rows.size());
    for (int i = 0; i < lines.size(); ++i) {
        qsizetype at = 0;
        for (const QString &cell : rows[i].split(u'|', Qt::SkipEmptyParts)) {
            at = lines[i].indexOf(cell, at);
            QVERIFY2(at >= 0, qPrintable(lines[i] + " lacks " + cell));
        }
    }

    // Selected lines copy as the same text.
    auto *view = log->findChild<QTableView *>(QStringLiteral("lstTraffic"));
    view->selectRow(1);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), lines[1] + u'\n');

    // Wall-clock time, the user's other choice.
    log->findChild<QComboBox *>(QStringLiteral("cboTime"))->setCurrentIndex(1);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\|TX"))
                .match(shownRows(log)[1])
                .hasMatch());

    // Kept beside the build for a look by eye, in a light and a dark palette.
    QApplication::setStyle(QStringLiteral("Fusion"));
    log->grab().save(QStringLiteral("traffic-log.png"));
    const QPalette light = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::AlternateBase, QColor(40, 40, 44));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(60, 60, 64));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    QCoreApplication::processEvents();
    log->grab().save(QStringLiteral("traffic-log-dark.png"));
    QApplication::setPalette(light);

    QTest::mouseClick(log->findChild<QPushButton *>(QStringLiteral("cmdClear")), Qt::LeftButton);
    QCOMPARE(shownRows(log), QStringList());
    // The log itself opens no box; these are the session's own.
    QCOMPARE(boxes.texts(), QStringList{"Read Error"});
}

void LogTest::opensFromMonitorButtonAndShortcut()
{
    TempConfig config;
    frmMain form;
    form.show();
    const Ui w(form);
    QTest::mouseDClick(w.lblTxData, Qt::LeftButton);
    QWidget *log = form.findChild<QWidget *>(QStringLiteral("frmLog"));
    QVERIFY(log && log->isVisible());
    QVERIFY(!log->isModal());
    log->close();
    auto *button = form.findChild<QPushButton *>(QStringLiteral("cmdLog"));
    QVERIFY(button->isEnabled());
    // In the free space right of the monitor, clear of every control.
    QVERIFY(!button->geometry().intersects(w.Frame1->geometry()));
    QVERIFY(QRect(QPoint(0, 0), form.size()).contains(button->geometry()));
    // On the monitor's row.
    const int monitorMiddle = w.lblTxData->mapTo(&form, w.lblTxData->rect().center()).y();
    QVERIFY(qAbs(button->geometry().center().y() - monitorMiddle) <= 1);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(log->isVisible());
}

void LogTest::boundedUnderAFlood()
{
    TempConfig config;
    frmMain form;
    form.show();
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("cmdLog")), Qt::LeftButton);
    auto *log = form.findChild<frmLog *>(QStringLiteral("frmLog"));
    QVERIFY(log);
    const qint64 start = MonotonicNs();
    const int flood = 100000;
    for (int i = 0; i < flood; ++i) {
        const QByteArray bytes = QByteArray::number(i);
        log->append({TrafficEvent::Kind::Discarded, start + i, 0, bytes, {}});
        if (i % 1000 == 0)
            QCoreApplication::processEvents();
    }
    const QStringList rows = shownRows(log);
    QCOMPARE(rows.size(), 10001);
    QCOMPARE(rows.first(), QStringLiteral("||||90000 older lines dropped off the log"));
    QVERIFY2(rows.last().contains(
                 QLatin1String("|DISCARDED|") +
                 QString::fromLatin1(QByteArray::number(flood - 1).toHex(' ').toUpper())),
             qPrintable(rows.last()));
}

QTEST_MAIN(LogTest)
#include "tst_log.moc"
