// A user's session against the real virtual module process: the module's
// printed lines are the record of what went over the wire.

#include "panel/window.h"

#include "settings/profile.h"
#include "support/moduleprocess.h"

#include <QMessageBox>
#include <QTemporaryDir>

namespace {

// Bounded wait for the module to report `count` more lines.
QStringList nextLines(ModuleProcess &module, int count)
{
    QStringList got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < count && clock.elapsed() < 3000) {
        QTest::qWait(10);
        got += module.take();
    }
    QTest::qWait(30);
    return got + module.take();
}

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void userSession();
    void faults_data();
    void faults();
    void linkRemovedOnExit();

private:
    QTemporaryDir dir_;
    QString link() const { return dir_.filePath(QStringLiteral("module")); }
};

void EndToEndTest::initTestCase()
{
    QVERIFY(dir_.isValid());
}

void EndToEndTest::userSession()
{
    TempConfig config;
    config.write("[Ports]\r\nCOM1=" + link().toLocal8Bit() + "\r\n");
    const QStringList eeprom{"--eeprom", dir_.filePath(QStringLiteral("eeprom.bin"))};
    auto module = std::make_unique<ModuleProcess>(link(), eeprom);
    QVERIFY(module->started());
    module->take();

    frmMain form;
    form.show();
    const Ui w(form);
    BoxAnswerer boxes;
    boxes.answer = QMessageBox::Yes;
    const auto click = [](QPushButton *b) { QTest::mouseClick(b, Qt::LeftButton); };
    click(w.cmdConnect);
    QCOMPARE(w.cmdConnect->text(), QStringLiteral("Disconnect"));
    QCOMPARE(nextLines(*module, 0), QStringList());

    w.Slider_Red->setValue(128);
    w.Slider_Green->setValue(64);
    click(w.cmdSetColor);
    QCOMPARE(nextLines(*module, 1), QStringList{"SetColor r=128 g=64 b=0"});

    w.cboMemLoc->setCurrentIndex(9);
    click(w.cmdSaveColor);
    w.Slider_Red->setValue(10);
    w.Slider_Green->setValue(20);
    w.Slider_Blue->setValue(30);
    w.cboMemLoc->setCurrentIndex(0);
    click(w.cmdSaveColor);
    QCOMPARE(nextLines(*module, 2),
             (QStringList{"StoreSlot slot=10 r=128 g=64 b=0", "StoreSlot slot=1 r=10 g=20 b=30"}));

    w.cboMode->setCurrentIndex(3);
    click(w.cmdSetMode);
    w.cboFade->setCurrentIndex(2);
    click(w.cmdSetFade);
    w.cboHold->setCurrentIndex(100);
    click(w.cmdSetHold);
    QCOMPARE(nextLines(*module, 3), (QStringList{"SetMode 3", "SetFade 2", "SetHold 100"}));

    // Scramble the window, then read the module back into it.
    w.cboMode->setCurrentIndex(0);
    w.cboFade->setCurrentIndex(0);
    w.cboHold->setCurrentIndex(0);
    w.cboMemLoc->setCurrentIndex(5);
    w.Slider_Red->setValue(99);
    click(w.cmdReadSettings);
    QCOMPARE(boxes.texts(), QStringList());
    QCOMPARE(nextLines(*module, 1), QStringList{"ReadModuleSettings -> 35 bytes"});
    QCOMPARE(w.cboMode->currentText(), QStringLiteral("3"));
    QCOMPARE(w.cboFade->currentText(), QStringLiteral("2"));
    QCOMPARE(w.cboHold->currentText(), QStringLiteral("100"));
    QCOMPARE(w.cboMemLoc->currentText(), QStringLiteral("1"));
    QCOMPARE(w.readouts(), std::tuple(10, 20, 30));
    const QByteArray file = config.read();
    QCOMPARE(profile::valueIn(file, "Colors", "Red10"), QByteArray("128"));
    QCOMPARE(profile::valueIn(file, "Colors", "Blue5"), QByteArray("0"));

    click(w.cmdSave);
    QCOMPARE(boxes.texts(),
             (QStringList{"This will Save all Settings onto EEPROM", "Save Successful"}));
    QCOMPARE(nextLines(*module, 1), QStringList{"SaveToEeprom -> FE AA"});

    // A module started again from its EEPROM holds what was saved.
    click(w.cmdConnect);
    module.reset();
    module = std::make_unique<ModuleProcess>(link(), eeprom);
    QVERIFY(module->started());
    click(w.cmdConnect);
    w.cboHold->setCurrentIndex(0);
    click(w.cmdReadSettings);
    QCOMPARE(w.cboHold->currentText(), QStringLiteral("100"));
    QCOMPARE(w.cboMode->currentText(), QStringLiteral("3"));
    QCOMPARE(w.Slider_Red->value(), 10);
}

void EndToEndTest::faults_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("read"); // else save
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("line");
    const QString ask = QStringLiteral("This will Save all Settings onto EEPROM");
    QTest::newRow("silent, read") << QStringList{"--silent"} << true << QStringList{"Read Error"}
                                  << "ReadModuleSettings -> (silent)";
    QTest::newRow("silent, save") << QStringList{"--silent"} << false
                                  << QStringList{ask, "No Module Found"}
                                  << "SaveToEeprom -> (silent)";
    QTest::newRow("short reply") << QStringList{"--short"} << true << QStringList{"Read Error"}
                                 << "ReadModuleSettings -> 34 bytes";
    QTest::newRow("bad acknowledgement")
        << QStringList{"--bad-ack"} << false << QStringList{ask} << "SaveToEeprom -> FE AB";
    QTest::newRow("noise, read") << QStringList{"--noise"} << true << QStringList{"Read Error"}
                                 << "ReadModuleSettings -> 35 bytes (noise first)";
    QTest::newRow("noise, save") << QStringList{"--noise"} << false << QStringList{ask}
                                 << "SaveToEeprom -> FE AA (noise first)";
    QTest::newRow("late answer") << QStringList{"--delay", "700"} << true
                                 << QStringList{"Read Error"}
                                 << "ReadModuleSettings -> 35 bytes (after 700 ms)";
}

void EndToEndTest::faults()
{
    QFETCH(QStringList, args);
    QFETCH(bool, read);
    QFETCH(QStringList, messages);
    QFETCH(QString, line);
    TempConfig config;
    config.write("[Ports]\r\nCOM1=" + link().toLocal8Bit() + "\r\n");
    ModuleProcess module(link(), args);
    QVERIFY(module.started());
    module.take();

    frmMain form;
    form.show();
    const Ui w(form);
    BoxAnswerer boxes;
    boxes.answer = QMessageBox::Yes;
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    w.Slider_Red->setValue(42);
    const QByteArray fileBefore = config.read();

    QTest::mouseClick(read ? w.cmdReadSettings : w.cmdSave, Qt::LeftButton);
    QCOMPARE(boxes.texts(), messages);
    QCOMPARE(nextLines(module, 1), QStringList{line});
    QCOMPARE(w.cboMode->currentText(), QStringLiteral("1"));
    QCOMPARE(w.cboFade->currentText(), QStringLiteral("1"));
    QCOMPARE(w.cboHold->currentText(), QStringLiteral("5"));
    QCOMPARE(w.Slider_Red->value(), 42);
    QCOMPARE(config.read(), fileBefore);
    QCOMPARE(w.cmdConnect->text(), QStringLiteral("Disconnect"));
}

void EndToEndTest::linkRemovedOnExit()
{
    {
        ModuleProcess module(link(), {});
        QVERIFY(module.started());
        QVERIFY(QFileInfo(link()).isSymLink());
        QVERIFY(module.lines.first().startsWith(QLatin1String("device /dev/pts/")));
    }
    QVERIFY(!QFileInfo(link()).isSymLink());
    QVERIFY(!QFileInfo::exists(link()));
}

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
