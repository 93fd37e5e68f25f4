// The window against the real virtual module process: answers stamped when
// they came, and thousands of random actions. How the
// window takes each wrong answer is tst_window's (read and save tables), and
// how each is judged tst_link's. The module's
// printed lines are the record of what went over the wire.

#include "panel/window.h"
#include "settings/profile.h"
#include "settings/settings.h"
#include "support/moduleprocess.h"

#include <QAbstractItemView>
#include <QMessageBox>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

// The module's next `count` lines, waiting for them a bounded while.
QStringList nextLines(ModuleProcess &module, int count)
{
    QStringList got;
    waitUntil(
        [&] {
            got += module.take();
            return got.size() >= count;
        },
        3000);
    QTest::qWait(30);
    return got + module.take();
}

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void answersLoggedWhenTheyCame();
    void randomUserActions();

private:
    QTemporaryDir dir_;
    QString link() const { return dir_.filePath(QStringLiteral("module")); }
};

// A module that answers 100 ms late: the log and lumaveractl --verbose show
// the answer when it came, not when the window took it after its tick.
void EndToEndTest::answersLoggedWhenTheyCame()
{
    TempConfig config;
    config.write("[Ports]\r\nCOM1=" + link().toLocal8Bit() + "\r\n");
    ModuleProcess module(link(), {"--delay", "100"});
    QVERIFY(module.started());
    frmMain form;
    form.show();
    const Ui w(form);
    BoxAnswerer boxes;
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    QTest::mouseClick(w.cmdReadSettings, Qt::LeftButton);
    QCOMPARE(boxes.texts(), QStringList());
    QTest::mouseClick(w.cmdLog, Qt::LeftButton);
    QTest::qWait(100);
    const auto *log = form.findChild<QAbstractItemView *>(QStringLiteral("lstTraffic"));
    QVERIFY(log);
    QMap<QString, double> at; // the newest line of each direction
    for (int r = 0; r < log->model()->rowCount(); ++r)
        at[log->model()->index(r, 1).data().toString()] =
            log->model()->index(r, 0).data().toDouble();
    // Not before the module's delay, and well before the window's tick.
    const auto apart = [](double ms) { return ms >= 95 && ms < 480; };
    QVERIFY2(apart(at["RX"] - at["TX"]), qPrintable(QString::number(at["RX"] - at["TX"])));
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);

    QProcess ctl;
    ctl.start(QStringLiteral(LUMAVERACTL), {"--port", link(), "--verbose", "read"});
    // The window answers lumaveractl's question from its event loop.
    QVERIFY(waitUntil([&] { return ctl.state() == QProcess::NotRunning; }, 10000));
    const QString err = QString::fromUtf8(ctl.readAllStandardError());
    QVERIFY2(ctl.exitCode() == 0, qPrintable(err));
    const QStringList lines = err.split(u'\n');
    const auto time = [&](const char *dir) {
        return lines.filter(QLatin1String(dir))
            .value(0)
            .section(u' ', 0, 0, QString::SectionSkipEmpty)
            .toDouble();
    };
    QVERIFY2(apart(time("  RX ") - time("  TX ")), qPrintable(lines.join(u'\n')));
}

// Random user actions with a fixed seed: clicks on every control, list
// choices, slider moves, the module unplugged and plugged back, boxes
// answered either way. After every step the window is in one of its two
// states, the monitor shows a whole frame and the settings file parses.
void EndToEndTest::randomUserActions()
{
    const int actions = qEnvironmentVariableIntValue("LUMAVERA_SOAK_ACTIONS") > 0
                            ? qEnvironmentVariableIntValue("LUMAVERA_SOAK_ACTIONS")
                            : 3000;
    TempConfig config;
    config.write("[Ports]\r\nCOM1=" + link().toLocal8Bit() + "\r\n");
    auto module = std::make_unique<ModuleProcess>(link(), QStringList{});
    QVERIFY(module->started());
    frmMain form;
    form.show();
    const Ui w(form);
    BoxAnswerer boxes;
    QRandomGenerator random(20261207);
    const QRegularExpression frame(QStringLiteral("^FF ([0-9A-F]{2} ){4}$"));
    const QRegularExpression known(QStringLiteral("^(device |link |SetColor r=|StoreSlot slot=|"
                                                  "SetMode |SetFade |SetHold |SaveToEeprom|"
                                                  "ReadModuleSettings)"));
    QStringList heard;
    const auto pick = [&](QComboBox *list) {
        if (list->isEnabled())
            list->setCurrentIndex(int(random.bounded(list->count())));
    };
    const auto press = [&](QPushButton *b) { QTest::mouseClick(b, Qt::LeftButton); };
    const auto pickAndPress = [&](QComboBox *list, QPushButton *b) { pick(list), press(b); };
    QSlider *const sliders[] = {w.Slider_Red, w.Slider_Green, w.Slider_Blue};
    const std::vector<std::pair<int, std::function<void()>>> table = {
        {6, [&] { press(w.cmdConnect); }},
        {20, [&] { sliders[random.bounded(3)]->setValue(int(random.bounded(256))); }},
        {10, [&] { press(w.cmdSetColor); }},
        {5, [&] { pickAndPress(w.cboMode, w.cmdSetMode); }},
        {5, [&] { pickAndPress(w.cboHold, w.cmdSetHold); }},
        {8, [&] { pickAndPress(w.cboMemLoc, w.cmdSaveColor); }},
        {8, [&] { pickAndPress(w.cboMemLoc, w.cmdRetrieve); }},
        {1, [&] { press(w.cmdReadSettings); }},
        {1,
         [&] {
             boxes.answer = random.bounded(2) ? QMessageBox::Yes : QMessageBox::No;
             press(w.cmdSave);
         }},
        {1,
         [&] {
             if (module)
                 heard += module->lines, module->unplug(), module.reset();
         }},
        {2,
         [&] {
             if (!module)
                 module = std::make_unique<ModuleProcess>(link(), QStringList{}), module->started();
         }},
    };
    for (int step = 0; step < actions; ++step) {
        int roll = int(random.bounded(80));
        for (const auto &[weight, run] : table) {
            if (roll < weight) {
                run();
                break;
            }
            roll -= weight;
        }
        QCoreApplication::processEvents();
        const QString where = QStringLiteral("step %1").arg(step);
        QVERIFY2(w.lblTxData->text().isEmpty() || frame.match(w.lblTxData->text()).hasMatch(),
                 qPrintable(where + ": monitor " + w.lblTxData->text()));
        const bool closedLook = w.cmdConnect->text() == QLatin1String("Connect") &&
                                w.fComm->isEnabled() && !w.fRGB->isEnabled();
        const bool openLook = w.cmdConnect->text() == QLatin1String("Disconnect") &&
                              !w.fComm->isEnabled() && w.fRGB->isEnabled();
        QVERIFY2(closedLook || openLook, qPrintable(where));
        QVERIFY2(!closedLook || openTerminalDescriptors() == 0, qPrintable(where));
        QCOMPARE(w.lblRed->text(), QString::number(w.Slider_Red->value()));
        const Settings file = Settings::parse(config.read());
        QVERIFY2(file.commPortText.isEmpty() || file.commPort() == file.commPortText.toInt(),
                 qPrintable(where));
    }
    if (module)
        heard += nextLines(*module, 0) + module->lines;
    for (const QString &line : heard)
        QVERIFY2(known.match(line).hasMatch(), qPrintable(QStringLiteral("module heard: ") + line));
    QVERIFY(heard.size() > actions / 10);
}

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
