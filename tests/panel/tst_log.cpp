// The traffic log as its user reads it: every frame, answer, thrown-away
// byte and loss of a session in order, saved and copied as shown, and
// bounded under a flood.

#include "panel/trafficlogwindow.h"
#include "panel/trafficmodel.h"
#include "panel/window.h"

#include <QClipboard>
#include <QFileDialog>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>

using namespace lumavera;

namespace {

// The log window's rows, one string of cells a row, once a batch is shown.
QStringList shownRows(QWidget *log)
{
    QAbstractItemModel *m = log->findChild<QTableView *>(QStringLiteral("lstTraffic"))->model();
    // What the log has gathered, shown now rather than at its next batch.
    if (auto *traffic = qobject_cast<TrafficModel *>(m))
        traffic->flush();
    QStringList rows;
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m->columnCount(); ++c)
            cells << m->index(r, c).data().toString();
        rows << cells.join(u'|');
    }
    return rows;
}

} // namespace

class LogTest : public QObject
{
    Q_OBJECT

private slots:
    void session();
    void boundedUnderAFlood();
};

void LogTest::session()
{
    ModuleSettings s;
    s.mode = 3;
    Bench bench({}, VirtualModule::Options{}, s);
    const Ui w = bench.ui();
    TestModule &module = *bench.module;
    BoxAnswerer boxes;
    QVERIFY(bench.connect());
    w.Slider_Red->setValue(128);
    bench.click(w.cmdSetColor);
    // Stale bytes wait on the line before a good reply, then a reply one
    // byte short, then the device goes away.
    QTRY_COMPARE(module.heard.size(), 5);
    module.module->send("\x13\x37");
    // Until the window has read them, they are not yet unasked traffic.
    bench.click(w.cmdLog);
    QWidget *early = w.form->findChild<QWidget *>(QStringLiteral("frmLog"));
    QVERIFY(early);
    QTRY_VERIFY(shownRows(early).join(u' ').contains(QLatin1String("not part of an answer")));
    early->close();
    bench.click(w.cmdReadSettings);
    QTRY_VERIFY(w.lblNotice->text().startsWith(QLatin1String("Read at ")));
    module.module->options().shortReply = true;
    bench.click(w.cmdReadSettings);
    QTRY_VERIFY(!boxes.seen.isEmpty());
    module.module->stop();
    QTRY_VERIFY(bench.isClosedState());

    // Opened from the monitor by a double-click, by its button, by Ctrl+L.
    QTest::mouseDClick(w.lblTxData, Qt::LeftButton);
    QWidget *log = w.form->findChild<QWidget *>(QStringLiteral("frmLog"));
    QVERIFY(log && log->isVisible() && !log->isModal());
    log->close();
    bench.click(w.cmdLog);
    QVERIFY(log->isVisible());
    // On a 1280 px laptop screen at 150 % (853 px), all of it is on it.
    const QRect screen = log->screen()->availableGeometry();
    QVERIFY2(screen.contains(log->geometry()),
             qPrintable(QStringLiteral("%1 px wide on %2").arg(log->width()).arg(screen.width())));
    for (const char *button : {"cmdClear", "cmdSave"}) {
        const auto *b = log->findChild<QWidget *>(QLatin1String(button));
        QVERIFY(screen.contains(QRect(b->mapToGlobal(QPoint()), b->size())));
    }
    log->close();
    w.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.form));
    QTest::keyClick(w.form, Qt::Key_L, Qt::ControlModifier);
    QVERIFY(log->isVisible());
    // Escape and Ctrl+W close it, as a dialog closes.
    for (const QKeySequence &key :
         {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)}) {
        QTest::keySequence(log->findChild<QTableView *>(QStringLiteral("lstTraffic")), key);
        QVERIFY(!log->isVisible());
        bench.click(w.cmdLog);
    }

    const QString pty = bench.device;
    const QString zeros = QStringLiteral("00 ").repeated(30);
    const QStringList expected = {
        "OPEN|" + pty + "||",
        "TX|SetColor r=128 g=0 b=0|FF 01 80 00 00|.....",
        "RX|not part of an answer|13 37|.7",
        "DISCARDED||13 37|.7",
        "TX|ReadModuleSettings|FF 3C FB FB FB|.<...",
        "RX|settings reply: mode 3 fade 0 hold 0|FF 03 00 00 " + zeros + "00|" + QString(35, u'.'),
        "TX|ReadModuleSettings|FF 3C FB FB FB|.<...",
        "RX|Read Error: only 34 of 35 bytes|FF 03 00 00 " + zeros.left(89) + "|" +
            QString(34, u'.'),
        "LOST|" + pty + "||",
    };
    const QStringList rows = shownRows(log);
    QCOMPARE(rows.size(), expected.size());
    double last = 0;
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].section(u'|', 1), expected[i]);
        // Milliseconds since the connection opened, never going back.
        const double ms = rows[i].section(u'|', 0, 0).toDouble();
        QVERIFY2(ms >= last, qPrintable(rows[i]));
        last = ms;
    }

    // Saved as shown, through the dialog as a user fills it in.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.txt"));
    QTimer::singleShot(300, this, [&] {
        auto *dialog = log->findChild<QFileDialog *>(QStringLiteral("saveDialog"));
        if (QWidget *name = dialog ? dialog->focusWidget() : nullptr) {
            QTest::keyClicks(name, path);
            QTest::keyClick(name, Qt::Key_Return);
        }
        if (dialog && dialog->isVisible())
            dialog->reject();
    });
    bench.click(log->findChild<QPushButton *>(QStringLiteral("cmdSave")));
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(saved.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), rows.size());
    for (int i = 0; i < lines.size(); ++i) {
        for (const QString &cell : rows[i].split(u'|', Qt::SkipEmptyParts))
            QVERIFY2(lines[i].contains(cell), qPrintable(lines[i] + " lacks " + cell));
    }
    auto *view = log->findChild<QTableView *>(QStringLiteral("lstTraffic"));
    view->selectRow(1);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), lines[1] + u'\n');
    // The meaning is whole at the log's first size; the hex may elide.
    const QFontMetrics metrics(view->font());
    for (int row = 0; row < rows.size(); ++row) {
        const QString meaning = rows[row].section(u'|', 2, 2);
        QVERIFY2(metrics.horizontalAdvance(meaning) + 8 <= view->columnWidth(TrafficModel::Meaning),
                 qPrintable(meaning));
    }
    // Wall-clock time, the user's other choice.
    log->findChild<QComboBox *>(QStringLiteral("cboTime"))->setCurrentIndex(1);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\|TX"))
                .match(shownRows(log)[1])
                .hasMatch());
    // An answer's bytes as text fit their column at the log's first size,
    // in the light palette and the dark one.
    const auto asciiFits = [&] {
        for (const QString &row : rows) {
            const QString ascii = row.section(u'|', 4, 4);
            if (metrics.horizontalAdvance(ascii) + 8 > view->columnWidth(TrafficModel::Ascii))
                return false;
        }
        return true;
    };
    QApplication::setStyle(QStringLiteral("Fusion"));
    QVERIFY(asciiFits());
    log->grab().save(QStringLiteral("traffic-log.png"));
    const QPalette light = QApplication::palette();
    QApplication::setPalette(darkPalette(QColor(45, 45, 48), QColor(230, 230, 230)));
    QCoreApplication::processEvents();
    QVERIFY(asciiFits());
    log->grab().save(QStringLiteral("traffic-log-dark.png"));
    QApplication::setPalette(light);
    bench.click(log->findChild<QPushButton *>(QStringLiteral("cmdClear")));
    QCOMPARE(shownRows(log), QStringList());
    // The log opens no box; this is the session's own.
    QCOMPARE(boxes.texts(), QStringList{"Read Error"});
}

void LogTest::boundedUnderAFlood()
{
    TrafficModel model;
    TrafficLogWindow log(&model, nullptr);
    log.show();
    const int flood = 100000;
    for (int i = 0; i < flood; ++i) {
        model.append({TrafficEvent::Kind::Discarded, i, 0, QByteArray::number(i), {}});
        if (i % 1000 == 0)
            QCoreApplication::processEvents();
    }
    const QStringList rows = shownRows(&log);
    QCOMPARE(rows.size(), TrafficModel::Capacity + 1);
    QCOMPARE(rows.first(), QStringLiteral("||90000 older lines dropped off the log||"));
    QVERIFY2(rows.last().contains(
                 QLatin1String("|DISCARDED||") +
                 QString::fromLatin1(QByteArray::number(flood - 1).toHex(' ').toUpper())),
             qPrintable(rows.last()));
}

QTEST_MAIN(LogTest)
#include "tst_log.moc"
