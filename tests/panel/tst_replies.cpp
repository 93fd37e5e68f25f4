#include "panel/window.h"

#include "settings/profile.h"
#include "support/filewatch.h"

#include <QMessageBox>

namespace {

const QByteArray ReadFrame("\xFF\x3C\xFB\xFB\xFB");
const QByteArray SaveFrame("\xFF\x32\xFE\xFE\xFE");

// Runs `action` `ms` into the wait that the next click starts.
void during(int ms, std::function<void()> action)
{
    QTimer::singleShot(ms, std::move(action));
}

} // namespace

class RepliesTest : public QObject
{
    Q_OBJECT

private slots:
    void goodReplyApplies_data();
    void goodReplyApplies();
    void badReplyChangesNothing_data();
    void badReplyChangesNothing();
    void staleBytesDoNotShiftTheReply();
    void noAnswerAfterOneTickAndIdle();
    void save_data();
    void save();
    void oneExchangeAtATimeAndResponsive();
    void disconnectDuringWait();
    void closeDuringWait();
    void portVanishesDuringWait();
};

void RepliesTest::goodReplyApplies_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("35 bytes") << EncodeSettingsReply(SampleSettings());
    QTest::newRow("40 bytes") << EncodeSettingsReply(SampleSettings()) + QByteArray(5, '\x11');
}

void RepliesTest::goodReplyApplies()
{
    QFETCH(QByteArray, answer);
    Bench bench;
    const Ui w = bench.ui();
    FakeModule module(bench.pty);
    module.settingsAnswer = answer;
    BoxAnswerer boxes;
    QVERIFY(bench.connect());
    w.cboMemLoc->setCurrentIndex(4);

    FileWatch watch(bench.config.iniPath());
    bench.click(w.cmdReadSettings);
    // Thirty keys, one replace of the file.
    QCOMPARE(watch.take().renames, 1);
    QCOMPARE(boxes.texts(), QStringList());
    QCOMPARE(w.cboMode->currentText(), QStringLiteral("3"));
    QCOMPARE(w.cboFade->currentText(), QStringLiteral("1"));
    QCOMPARE(w.cboHold->currentText(), QStringLiteral("10"));
    QCOMPARE(w.cboMemLoc->currentText(), QStringLiteral("1"));
    QCOMPARE(w.Slider_Red->value(), 200);
    QCOMPARE(w.Slider_Green->value(), 0);
    QCOMPARE(w.Slider_Blue->value(), 3);
    QCOMPARE(w.readouts(), std::tuple(200, 0, 3));
    QCOMPARE(w.lblTxData->text(), QStringLiteral("FF 3C FB FB FB "));

    const QByteArray file = bench.config.read();
    for (int i = 0; i < SlotCount; ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        QCOMPARE(profile::valueIn(file, "Colors", "Red" + n), QByteArray::number(200 + i));
        QCOMPARE(profile::valueIn(file, "Colors", "Green" + n), QByteArray::number(20 * i));
        QCOMPARE(profile::valueIn(file, "Colors", "Blue" + n), QByteArray::number(7 * i + 3));
    }
    QCOMPARE(file.count("\r\nRed"), 10);

    // The lists now mirror the module; nothing was sent back to it.
    QTest::qWait(50);
    QCOMPARE(module.received, ReadFrame);

    // The slot colours can be fetched back from the file.
    w.cboMemLoc->setCurrentIndex(9);
    bench.click(w.cmdRetrieve);
    QCOMPARE(w.readouts(), std::tuple(209, 180, 66));
}

void RepliesTest::badReplyChangesNothing_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("why");
    const QByteArray good = EncodeSettingsReply(SampleSettings());
    auto with = [&](int at, int value) {
        QByteArray r = good;
        r[at] = char(value);
        return r;
    };
    QTest::newRow("no answer") << QByteArray() << "No answer";
    QTest::newRow("34 bytes") << good.left(34) << "Only 34 of 35";
    QTest::newRow("neither 255 first nor 254 second") << with(0, 0) << "does not start";
    QTest::newRow("254 second passes, then mode 254 is out of range") << [&] {
        QByteArray r = with(1, 254);
        r[0] = 0;
        return r;
    }() << "mode 254";
    QTest::newRow("mode 12") << with(1, 12) << "mode 12";
    QTest::newRow("fade 3") << with(2, 3) << "fade 3";
    QTest::newRow("hold 241") << with(3, 241) << "hold 241";
}

void RepliesTest::badReplyChangesNothing()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, why);
    Bench bench("[Colors]\r\nRed1=1\r\n");
    const Ui w = bench.ui();
    FakeModule module(bench.pty);
    module.settingsAnswer = answer;
    BoxAnswerer boxes;
    QVERIFY(bench.connect());
    w.Slider_Red->setValue(50);
    w.Slider_Green->setValue(60);
    w.Slider_Blue->setValue(70);
    w.cboMemLoc->setCurrentIndex(3);
    const QByteArray fileBefore = bench.config.read();

    bench.click(w.cmdReadSettings);
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Read Error")});
    QCOMPARE(boxes.seen[0].title, QStringLiteral("Lumavera"));
    QVERIFY2(boxes.seen[0].details.contains(why), qPrintable(boxes.seen[0].details));
    QCOMPARE(w.cboMode->currentText(), QStringLiteral("1"));
    QCOMPARE(w.cboFade->currentText(), QStringLiteral("1"));
    QCOMPARE(w.cboHold->currentText(), QStringLiteral("5"));
    QCOMPARE(w.cboMemLoc->currentText(), QStringLiteral("4"));
    QCOMPARE(std::tuple(w.Slider_Red->value(), w.Slider_Green->value(), w.Slider_Blue->value()),
             std::tuple(50, 60, 70));
    QCOMPARE(w.readouts(), std::tuple(50, 60, 70));
    QCOMPARE(bench.config.read(), fileBefore);
    QCOMPARE(w.lblTxData->text(), QStringLiteral("FF 3C FB FB FB "));
    QVERIFY(bench.isOpenState());
}

void RepliesTest::staleBytesDoNotShiftTheReply()
{
    Bench bench;
    const Ui w = bench.ui();
    QVERIFY(bench.connect());
    // A late answer and some line noise arrive before the click...
    bench.pty.write(QByteArray("\xFE\xAA\x01\x02\xFF\x09", 6));
    QTest::qWait(50);
    FakeModule module(bench.pty);
    module.settingsAnswer = EncodeSettingsReply(SampleSettings());
    BoxAnswerer boxes;
    bench.click(w.cmdReadSettings);
    // ...and the answer is read as the module sent it.
    QCOMPARE(boxes.texts(), QStringList());
    QCOMPARE(w.cboMode->currentText(), QStringLiteral("3"));
    QCOMPARE(w.cboHold->currentText(), QStringLiteral("10"));
    QCOMPARE(w.Slider_Red->value(), 200);
}

void RepliesTest::noAnswerAfterOneTickAndIdle()
{
    Bench bench;
    const Ui w = bench.ui();
    QVERIFY(bench.connect());
    BoxAnswerer boxes;
    bench.click(w.cmdReadSettings);
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Read Error")});
    // The wait is over: the next read goes out at once.
    QCOMPARE(bench.pty.readAll(50), ReadFrame);
    FakeModule module(bench.pty);
    bench.click(w.cmdReadSettings);
    QCOMPARE(module.received, ReadFrame);
}

void RepliesTest::save_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QByteArray>("ack");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("yes, FE AA") << int(QMessageBox::Yes) << QByteArray("\xFE\xAA")
                                << QStringList{"Save Successful"};
    QTest::newRow("yes, FE AA and more")
        << int(QMessageBox::Yes) << QByteArray("\xFE\xAA\x05") << QStringList{"Save Successful"};
    QTest::newRow("yes, nothing back")
        << int(QMessageBox::Yes) << QByteArray() << QStringList{"No Module Found"};
    QTest::newRow("yes, one byte back")
        << int(QMessageBox::Yes) << QByteArray("\xFE") << QStringList{"No Module Found"};
    QTest::newRow("yes, FE AB") << int(QMessageBox::Yes) << QByteArray("\xFE\xAB") << QStringList();
    QTest::newRow("no") << int(QMessageBox::No) << QByteArray("\xFE\xAA") << QStringList();
}

void RepliesTest::save()
{
    QFETCH(int, answer);
    QFETCH(QByteArray, ack);
    QFETCH(QStringList, after);
    Bench bench;
    const Ui w = bench.ui();
    FakeModule module(bench.pty);
    module.saveAnswer = ack;
    QVERIFY(bench.connect());
    bench.click(w.cmdSetMode);
    QTRY_COMPARE(module.received.size(), 5);

    BoxAnswerer boxes;
    boxes.answer = answer;
    bench.click(w.cmdSave);
    QVERIFY(!boxes.seen.isEmpty());
    const BoxAnswerer::Seen ask = boxes.seen.takeFirst();
    QCOMPARE(ask.title, QStringLiteral("Save Settings"));
    QCOMPARE(ask.text, QStringLiteral("This will Save all Settings onto EEPROM"));
    QCOMPARE(ask.defaultButton, int(QMessageBox::Yes));
    QCOMPARE(ask.escapeButton, int(QMessageBox::No));
    QCOMPARE(boxes.texts(), after);
    for (const BoxAnswerer::Seen &box : boxes.seen)
        QCOMPARE(box.title, QStringLiteral("Lumavera"));

    QTest::qWait(30);
    if (answer == QMessageBox::No) {
        QCOMPARE(module.received, QByteArray("\xFF\x28\x01\xFB\xFB"));
        QCOMPARE(w.lblTxData->text(), QStringLiteral("FF 28 01 FB FB "));
    } else {
        QCOMPARE(module.received, QByteArray("\xFF\x28\x01\xFB\xFB") + SaveFrame);
        QCOMPARE(w.lblTxData->text(), QStringLiteral("FF 32 FE FE FE "));
    }
}

void RepliesTest::oneExchangeAtATimeAndResponsive()
{
    Bench bench;
    const Ui w = bench.ui();
    FakeModule module(bench.pty);
    module.settingsAnswer = EncodeSettingsReply(SampleSettings());
    BoxAnswerer boxes;
    QVERIFY(bench.connect());
    during(100, [&] {
        w.cmdReadSettings->click();
        w.cmdSave->click();
        w.Slider_Red->setValue(12);
        w.cmdSetColor->click();
    });
    bench.click(w.cmdReadSettings);
    QCOMPARE(boxes.texts(), QStringList());
    QTest::qWait(30);
    // One read, and the colour sent while it waited; no second exchange.
    QCOMPARE(module.received, ReadFrame + QByteArray("\xFF\x01\x0C\x00\x00", 5));
    QCOMPARE(w.cboMode->currentText(), QStringLiteral("3"));
    QCOMPARE(w.Slider_Red->value(), 200);
}

void RepliesTest::disconnectDuringWait()
{
    Bench bench;
    const Ui w = bench.ui();
    FakeModule module(bench.pty);
    BoxAnswerer boxes;
    QVERIFY(bench.connect());
    during(100, [&] { w.cmdConnect->click(); });
    bench.click(w.cmdReadSettings);
    QCOMPARE(boxes.texts(), QStringList());
    QVERIFY(bench.isClosedState());

    // A later Connect works, and so does a read.
    module.settingsAnswer = EncodeSettingsReply(SampleSettings());
    QVERIFY(bench.connect());
    bench.click(w.cmdReadSettings);
    QCOMPARE(boxes.texts(), QStringList());
    QCOMPARE(w.cboHold->currentText(), QStringLiteral("10"));
}

void RepliesTest::closeDuringWait()
{
    Bench bench;
    const Ui w = bench.ui();
    FakeModule module(bench.pty);
    BoxAnswerer boxes;
    QVERIFY(bench.connect());
    w.cboMemLoc->setCurrentIndex(2);
    during(100, [&] { w.form->close(); });
    bench.click(w.cmdReadSettings);
    QCOMPARE(boxes.texts(), QStringList());
    QVERIFY(!bench.portHeld());
    QVERIFY(!w.form->isVisible());
    QCOMPARE(profile::valueIn(bench.config.read(), "Settings", "CommPort"), QByteArray("1"));
    QCOMPARE(w.cboMemLoc->currentText(), QStringLiteral("3"));

    // A new window connects to the same line.
    bench.window = std::make_unique<frmMain>();
    bench.window->show();
    QVERIFY(bench.connect());
}

void RepliesTest::portVanishesDuringWait()
{
    Bench bench;
    const Ui w = bench.ui();
    BoxAnswerer boxes;
    QVERIFY(bench.connect());
    during(100, [&] { bench.pty.closeMaster(); });
    bench.click(w.cmdReadSettings);
    QTRY_VERIFY(bench.isClosedState());
    // The loss is said beside Connect; the dropped answer is not reported.
    QCOMPARE(boxes.texts(), QStringList());
    QVERIFY(w.lblNotice->text().contains(QLatin1String("unplugged or closed")));
}

QTEST_MAIN(RepliesTest)
#include "tst_replies.moc"
