#include "panel/window.h"

#include "settings/inifile.h"
#include "settings/profile.h"

#include <QDir>

#include <functional>

class CommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void everySendingButton();
    void slidersFollowAndSendNothing();
    void storeThenRetrieve();
    void retrieveBadSlotLeavesSliders_data();
    void retrieveBadSlotLeavesSliders();
    void lastFrameReachesWireOnCloseAndDisconnect();
    void pictureAfterMixing();
    void problemsShowBesideConnect();
};

void CommandsTest::everySendingButton()
{
    Bench bench;
    const Ui w = bench.ui();
    QVERIFY(bench.connect());

    struct Row
    {
        const char *name;
        std::function<void()> act;
        const char *wire; // five bytes, zeros included
    };
    const std::vector<Row> rows = {
        {"Set LED Color right after connecting", [&] { bench.click(w.cmdSetColor); },
         "\xFF\x01\x00\x00\x00"},
        {"Set LED Color at 255/64/0",
         [&] {
             QTest::keyClick(w.Slider_Red, Qt::Key_End);
             w.Slider_Green->setValue(64);
             bench.click(w.cmdSetColor);
         },
         "\xFF\x01\xFF\x40\x00"},
        {"Set Mode on 11",
         [&] {
             w.cboMode->setCurrentIndex(11);
             bench.click(w.cmdSetMode);
         },
         "\xFF\x28\x0B\xFB\xFB"},
        {"Set Mode on 0",
         [&] {
             w.cboMode->setCurrentIndex(0);
             bench.click(w.cmdSetMode);
         },
         "\xFF\x28\x00\xFB\xFB"},
        {"fade on its default 1", [&] { bench.click(w.cmdSetFade); }, "\xFF\x14\x01\xFD\xFD"},
        {"fade on 2",
         [&] {
             w.cboFade->setCurrentIndex(2);
             bench.click(w.cmdSetFade);
         },
         "\xFF\x14\x02\xFD\xFD"},
        {"hold on its default 5", [&] { bench.click(w.cmdSetHold); }, "\xFF\x1E\x05\xFC\xFC"},
        {"hold on 240",
         [&] {
             w.cboHold->setCurrentIndex(240);
             bench.click(w.cmdSetHold);
         },
         "\xFF\x1E\xF0\xFC\xFC"},
        {"store into slot 10",
         [&] {
             w.cboMemLoc->setCurrentIndex(9);
             bench.click(w.cmdSaveColor);
         },
         "\xFF\x0B\xFF\x40\x00"},
        {"store into slot 1",
         [&] {
             w.cboMemLoc->setCurrentIndex(0);
             bench.click(w.cmdSaveColor);
         },
         "\xFF\x02\xFF\x40\x00"},
    };
    for (const Row &row : rows) {
        const QByteArray wire(row.wire, 5);
        row.act();
        QCOMPARE(bench.pty.read(5), wire);
        // The monitor holds this frame only, 15 characters.
        QCOMPARE(w.lblTxData->text(),
                 HexFrame({std::uint8_t(wire[0]), std::uint8_t(wire[1]), std::uint8_t(wire[2]),
                           std::uint8_t(wire[3]), std::uint8_t(wire[4])}));
        QCOMPARE(w.lblTxData->text().size(), 15);
        // Nothing but the one frame went out.
        QVERIFY2(bench.pty.readAll(30).isEmpty(), row.name);
    }
    QCOMPARE(w.lblTxData->text(), QStringLiteral("FF 02 FF 40 00 "));
}

void CommandsTest::slidersFollowAndSendNothing()
{
    Bench bench;
    const Ui w = bench.ui();
    QVERIFY(bench.connect());
    // Until a slider moves, its level is 0 whatever its thumb shows.
    QCOMPARE(w.lblRed->text().toInt(), 0);

    QTest::keyClick(w.Slider_Blue, Qt::Key_PageUp);
    QCOMPARE(w.Slider_Blue->value(), 5);
    QTest::keyClick(w.Slider_Blue, Qt::Key_Right);
    QCOMPARE(w.lblBlue->text().toInt(), 6);
    QCOMPARE(w.lblBlue->text(), QStringLiteral("6"));
    w.Slider_Red->setValue(255);
    QCOMPARE(w.lblRed->text().toInt(), 255);
    QCOMPARE(w.lblRed->text(), QStringLiteral("255"));
    w.Slider_Green->setValue(128);
    QCOMPARE(w.lblGreen->text(), QStringLiteral("128"));
    QCOMPARE(w.lblPreview->palette().color(QPalette::Window), QColor(255, 128, 6));
    // Out-of-range values from code are held to the slider's range.
    w.Slider_Green->setValue(300);
    QCOMPARE(w.lblGreen->text().toInt(), 255);

    QCOMPARE(bench.pty.readAll(100), QByteArray());
    QCOMPARE(w.lblTxData->text(), QString());
}

void CommandsTest::storeThenRetrieve()
{
    Bench bench;
    const Ui w = bench.ui();
    QVERIFY(bench.connect());
    w.Slider_Red->setValue(255);
    w.Slider_Green->setValue(1);
    w.Slider_Green->setValue(0);
    w.Slider_Blue->setValue(7);
    w.cboMemLoc->setCurrentIndex(0);
    bench.click(w.cmdSaveColor);
    QCOMPARE(bench.pty.read(5), QByteArray("\xFF\x02\xFF\x00\x07", 5));

    const QByteArray file = bench.config.read();
    QCOMPARE(profile::valueIn(file, "Colors", "Red1"), QByteArray("255"));
    QCOMPARE(profile::valueIn(file, "Colors", "Green1"), QByteArray("0"));
    QCOMPARE(profile::valueIn(file, "Colors", "Blue1"), QByteArray("7"));
    // The user's Ports pin is still there.
    QCOMPARE(profile::valueIn(file, "Ports", "COM1"), bench.pty.slavePath().toLocal8Bit());

    w.Slider_Red->setValue(1);
    w.Slider_Green->setValue(2);
    w.Slider_Blue->setValue(3);
    bench.click(w.cmdRetrieve);
    QCOMPARE(w.Slider_Red->value(), 255);
    QCOMPARE(w.Slider_Green->value(), 0);
    QCOMPARE(w.Slider_Blue->value(), 7);
    QCOMPARE(w.lblRed->text(), QStringLiteral("255"));
    QCOMPARE(w.lblGreen->text(), QStringLiteral("0"));
    QCOMPARE(w.lblBlue->text(), QStringLiteral("7"));
    QCOMPARE(w.readouts(), std::tuple(255, 0, 7));
    // Retrieving is the file's business only.
    QCOMPARE(bench.pty.readAll(100), QByteArray());
    QCOMPARE(w.lblTxData->text(), QStringLiteral("FF 02 FF 00 07 "));

    // Slot 10 keys are numbered 10.
    w.cboMemLoc->setCurrentIndex(9);
    bench.click(w.cmdSaveColor);
    const QByteArray after = bench.config.read();
    QCOMPARE(profile::valueIn(after, "Colors", "Red10"), QByteArray("255"));
    QCOMPARE(profile::valueIn(after, "Colors", "Blue10"), QByteArray("7"));
}

void CommandsTest::retrieveBadSlotLeavesSliders_data()
{
    QTest::addColumn<QByteArray>("colors");
    QTest::newRow("fresh file") << QByteArray();
    QTest::newRow("abc") << QByteArray("Red2=10\r\nGreen2=abc\r\nBlue2=30\r\n");
    QTest::newRow("256") << QByteArray("Red2=10\r\nGreen2=20\r\nBlue2=256\r\n");
    QTest::newRow("-1") << QByteArray("Red2=-1\r\nGreen2=20\r\nBlue2=30\r\n");
    QTest::newRow("one key missing") << QByteArray("Red2=10\r\nGreen2=20\r\n");
    QTest::newRow("2.5") << QByteArray("Red2=10\r\nGreen2=2.5\r\nBlue2=30\r\n");
}

void CommandsTest::retrieveBadSlotLeavesSliders()
{
    QFETCH(QByteArray, colors);
    Bench bench(colors.isEmpty() ? QByteArray() : "[Colors]\r\n" + colors);
    const Ui w = bench.ui();
    QVERIFY(bench.connect());
    w.Slider_Red->setValue(100);
    w.Slider_Green->setValue(101);
    w.Slider_Blue->setValue(102);
    w.cboMemLoc->setCurrentIndex(1);
    bench.click(w.cmdRetrieve);
    QCOMPARE(w.Slider_Red->value(), 100);
    QCOMPARE(w.Slider_Green->value(), 101);
    QCOMPARE(w.Slider_Blue->value(), 102);
    QCOMPARE(w.lblRed->text(), QStringLiteral("100"));
    QCOMPARE(w.readouts(), std::tuple(100, 101, 102));
}

void CommandsTest::lastFrameReachesWireOnCloseAndDisconnect()
{
    {
        Bench bench;
        QVERIFY(bench.connect());
        bench.ui().Slider_Red->setValue(9);
        bench.click(bench.ui().cmdSetColor);
        bench.window->close();
        QCOMPARE(bench.pty.read(5), QByteArray("\xFF\x01\x09\x00\x00", 5));
        QVERIFY(!bench.portHeld());
    }
    {
        Bench bench;
        QVERIFY(bench.connect());
        bench.click(bench.ui().cmdSetMode);
        bench.click(bench.ui().cmdConnect);
        QCOMPARE(bench.pty.read(5), QByteArray("\xFF\x28\x01\xFB\xFB", 5));
        QVERIFY(bench.isClosedState());
        // The monitor still shows the last frame sent.
        QCOMPARE(bench.ui().lblTxData->text(), QStringLiteral("FF 28 01 FB FB "));
    }
}

void CommandsTest::pictureAfterMixing()
{
    Bench bench;
    const Ui w = bench.ui();
    QVERIFY(bench.connect());
    w.Slider_Red->setValue(230);
    w.Slider_Green->setValue(120);
    w.Slider_Blue->setValue(20);
    bench.click(w.cmdSetColor);
    const QImage shot = w.form->grab().toImage();
    QCOMPARE(shot.size(), QSize(557, 398));
    const QPoint swatch = w.lblPreview->mapTo(w.form, w.lblPreview->rect().center());
    QCOMPARE(QColor(shot.pixel(swatch)), QColor(230, 120, 20));
    // Kept beside the build for a look by eye.
    shot.save(QStringLiteral("window-after-mixing.png"));
}

void CommandsTest::problemsShowBesideConnect()
{
    {
        TempConfig config;
        const QByteArray huge = QByteArray(IniFile::MaxSize + 1, ';');
        config.write(huge);
        frmMain form;
        BoxAnswerer boxes;
        const Ui w(form);
        QVERIFY2(w.lblNotice->text().contains(QLatin1String("larger than 1 MiB")),
                 qPrintable(w.lblNotice->text()));
        form.close();
        QCOMPARE(config.read(), huge);
        QCOMPARE(boxes.seen.size(), 0);
    }
    Bench bench;
    const Ui w = bench.ui();
    QVERIFY(bench.connect());
    QCOMPARE(w.lblNotice->text(), QString());
    // Something that is not a file takes the settings file's place.
    const QByteArray before = bench.config.read();
    bench.config.remove();
    QVERIFY(QDir().mkpath(bench.config.iniPath()));
    BoxAnswerer boxes;
    w.Slider_Red->setValue(3);
    bench.click(w.cmdSaveColor);
    QCOMPARE(bench.pty.read(5), QByteArray("\xFF\x02\x03\x00\x00", 5));
    QVERIFY2(w.lblNotice->text().startsWith(QLatin1String("Settings could not be saved: ")) &&
                 w.lblNotice->text().contains(QLatin1String("not a regular file")),
             qPrintable(w.lblNotice->text()));
    QCOMPARE(boxes.seen.size(), 0);
    // Once the file can be written again, the notice goes.
    QVERIFY(QDir().rmdir(bench.config.iniPath()));
    bench.config.write(before);
    bench.click(w.cmdSaveColor);
    QCOMPARE(w.lblNotice->text(), QString());
    QCOMPARE(profile::valueIn(bench.config.read(), "Colors", "Red1"), QByteArray("3"));

    // A line that takes nothing: said beside Connect, no box, and the file
    // is not told of a colour the module never got.
    bench.pty.stopOutput();
    w.Slider_Red->setValue(9);
    for (QPushButton *button : {w.cmdSetColor, w.cmdSaveColor, w.cmdReadSettings}) {
        bench.click(button);
        QVERIFY2(w.lblNotice->text().startsWith(QLatin1String("The frame did not go out: ")),
                 qPrintable(w.lblNotice->text()));
        bench.ui().lblNotice->clear();
    }
    QCOMPARE(boxes.seen.size(), 0);
    QCOMPARE(profile::valueIn(bench.config.read(), "Colors", "Red1"), QByteArray("3"));
    QVERIFY(bench.isOpenState());
}

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
