// The station window as a technician works it, opened from the main window
// and run against several virtual modules: what each tile says (to the eye
// and to a screen reader), the shift's counters, Stop and closing while
// modules are set up, and the CSV file beside lumaveractl's for the same run.

#include "panel/contrast.h"
#include "panel/window.h"
#include "settings/moduleconfig.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>

#include <csignal>

using namespace lumavera;

namespace {

VirtualModule::Options forgetting()
{
    VirtualModule::Options o;
    o.forget = true;
    return o;
}

// What a screen reader hears of each tile: its name, then its description.
QStringList tilesAsRead(QWidget *station)
{
    QStringList read;
    for (QWidget *tile : station->findChildren<QWidget *>(QStringLiteral("stationTile"))) {
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(tile);
        read << a->text(QAccessible::Name) + QStringLiteral(": ") +
                    a->text(QAccessible::Description);
    }
    read.sort();
    return read;
}

// The CSV's records without the time, the duration, the backup's name and
// the other program's pid, which differ from run to run.
QStringList verdicts(const QString &csv)
{
    QFile file(csv);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("no file %1").arg(csv)};
    QStringList lines;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() >= 5)
            lines << QString::fromUtf8(fields.mid(1, 4).join(','))
                         .replace(QRegularExpression(QStringLiteral("pid [0-9]+")), QString());
    }
    lines.sort();
    return lines;
}

// The golden file, three modules on COM1 to COM3 (COM2 keeps nothing it is
// sent, another program holds COM3) and the station window opened from the main
// window's Station… button with the fields a technician fills in.
struct Station
{
    TestModule forgetful{forgetting()};
    TestModule held;
    Bench bench{"COM2=" + forgetful.device().toLocal8Bit() +
                "\r\nCOM3=" + held.device().toLocal8Bit() + "\r\n"};
    QTemporaryDir folder;
    QProcess holder;
    QPointer<QWidget> window;
    QString golden = folder.filePath(QStringLiteral("golden.ini"));
    QString csv = folder.filePath(QStringLiteral("window.csv"));

    Station()
    {
        ModuleSettings want = SampleSettings();
        want.mode = 2;
        want.slotColors[0] = {255, 128, 0};
        SaveModuleConfig(golden, want);
        bench.click(bench.ui().cmdStation);
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("frmStation") && w->isVisible())
                window = w;
        }
        if (!window)
            qFatal("Station\u2026 opened no station window");
        field("stationFile")->setText(golden);
        field("stationPorts")->setText(ports().join(u' '));
        field("stationLog")->setText(csv);
    }
    ~Station()
    {
        holder.kill();
        holder.waitForFinished();
        delete window;
    }
    // Unplugs COM3's module and plugs it in again, with another program
    // taking its line before the station hears of it when `taken`.
    void replugCom3(bool taken)
    {
        holder.kill();
        holder.waitForFinished();
        held.module->stop();
        held.heard.clear();
        QString error;
        if (!held.module->start(&error))
            qFatal("%s", qPrintable(error));
        if (!taken)
            return;
        holder.setStandardInputFile(held.device());
        holder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        holder.waitForStarted();
    }
    // Once the run has started: COM1's PASS, COM2's FAIL, then COM3 taken
    // by another program as it is plugged in again.
    bool passFailAndHeld()
    {
        const auto counted = [this](const char *counters) {
            return QTest::qWaitFor([&] { return text("stationCounters") == counters; }, 15000);
        };
        if (!counted("Passed 2   Failed 1   Skipped 0"))
            return false;
        replugCom3(true);
        return counted("Passed 2   Failed 1   Skipped 1");
    }
    QStringList ports() const { return {"COM1", "COM2", "COM3"}; }
    template <typename T> T *find(const char *name) const
    {
        T *w = window->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("the station window has no control %s", name);
        return w;
    }
    QLineEdit *field(const char *name) const { return find<QLineEdit>(name); }
    QPushButton *button(const char *name) const { return find<QPushButton>(name); }
    QString text(const char *name) const { return find<QLabel>(name)->text(); }
    bool done() const { return button("stationStart")->isEnabled(); }
    bool allVerdicts() const { return !tilesAsRead(window).join(u'\n').contains(u"Working"); }
};

// A colour as a person with deuteranopia or protanopia sees it (Machado,
// Oliveira and Fernandes 2009, full severity, on linear light).
QColor asSeenWithout(const char *cones, const QColor &c)
{
    static const double deuteranopia[3][3] = {{0.367322, 0.860646, -0.227968},
                                              {0.280085, 0.672501, 0.047413},
                                              {-0.011820, 0.042940, 0.968881}};
    static const double protanopia[3][3] = {{0.152286, 1.052583, -0.204868},
                                            {0.114503, 0.786281, 0.099216},
                                            {-0.003882, -0.048116, 1.051998}};
    const auto &m = qstrcmp(cones, "green") == 0 ? deuteranopia : protanopia;
    const auto linear = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const auto shown = [](double v) {
        v = std::clamp(v, 0.0, 1.0);
        return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    };
    const double in[3] = {linear(c.redF()), linear(c.greenF()), linear(c.blueF())};
    double out[3];
    for (int i = 0; i < 3; ++i)
        out[i] = shown(m[i][0] * in[0] + m[i][1] * in[1] + m[i][2] * in[2]);
    return QColor::fromRgbF(float(out[0]), float(out[1]), float(out[2]));
}

// Where in `shown` (a grab of w's window) w's ink is: the pixels that stand
// out from its commonest colour, as a mask the size of w.
QImage inkOf(QWidget *w, const QImage &shown)
{
    const QRect place(w->mapTo(w->window(), QPoint()), w->size());
    const QImage part = shown.copy(place);
    QHash<QRgb, int> seen;
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
            ++seen[part.pixel(x, y)];
    QRgb ground = part.pixel(0, 0);
    for (auto i = seen.cbegin(); i != seen.cend(); ++i)
        if (i.value() > seen.value(ground))
            ground = i.key();
    QImage ink(part.size(), QImage::Format_RGB32);
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
            ink.setPixel(x, y,
                         ContrastRatio(QColor(part.pixel(x, y)), QColor(ground)) > 2.5
                             ? qRgb(255, 255, 255)
                             : qRgb(0, 0, 0));
    return ink;
}

// The height of the rows of a mask that hold ink.
int inkHeight(const QImage &ink)
{
    int top = -1, bottom = -1;
    for (int y = 0; y < ink.height(); ++y) {
        for (int x = 0; x < ink.width(); ++x) {
            if (qGray(ink.pixel(x, y)) != 0) {
                top = top < 0 ? y : top;
                bottom = y;
                break;
            }
        }
    }
    return top < 0 ? 0 : bottom - top + 1;
}

// How much of two masks' ink, brought to one size, is in one only.
double inkApart(QImage a, QImage b)
{
    a = a.scaled(48, 48);
    b = b.scaled(48, 48);
    int either = 0, one = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
            const bool inA = qGray(a.pixel(x, y)) > 127, inB = qGray(b.pixel(x, y)) > 127;
            either += inA || inB;
            one += inA != inB;
        }
    }
    return either ? double(one) / either : 0;
}

} // namespace

class StationTest : public QObject
{
    Q_OBJECT

private slots:
    void tilesTellEachPort();
    void cableKeepsTheLastVerdict();
    void unitRetestAndShift();
    void unitIdForAChosenPort();
    void namedPortsAreWaitedFor_data();
    void namedPortsAreWaitedFor();
    void refusedBeforeStart_data();
    void refusedBeforeStart();
    void stopAndCloseWhileWorking_data();
    void stopAndCloseWhileWorking();
    void readableInEveryPalette_data();
    void readableInEveryPalette();
    void operatorViewFillsTheScreen_data();
    void operatorViewFillsTheScreen();
};

// Each port's verdict on its tile, in words a screen reader reads; the
// counters; and the very CSV lines lumaveractl's station writes for the
// same modules.
void StationTest::tilesTellEachPort()
{
    Station s;
    BoxAnswerer boxes;
    s.bench.click(s.button("stationStart"));
    QVERIFY(s.field("stationFile")->isReadOnly() && !s.button("stationStart")->isEnabled());
    // A port another program holds at start is refused; COM3 is taken
    // once it has passed, as it is plugged in again.
    QTRY_COMPARE_WITH_TIMEOUT(s.text("stationCounters"),
                              QStringLiteral("Passed 2   Failed 1   Skipped 0"), 15000);
    s.replugCom3(true);
    QCOMPARE(s.text("goldenName"), QStringLiteral("golden.ini"));
    QCOMPARE(s.text("goldenSettings"),
             QStringLiteral("Mode 2, fade 1, hold 10, and the ten slots:"));
    QTRY_COMPARE_WITH_TIMEOUT(s.text("stationCounters"),
                              QStringLiteral("Passed 2   Failed 1   Skipped 1"), 15000);
    const QString holder = QStringLiteral("sleep (pid %1)").arg(s.holder.processId());
    QStringList expected{QStringLiteral("COM1: PASS"),
                         QStringLiteral("COM2") +
                             QStringLiteral(": FAIL, the module differs from the file\nmode: file "
                                            "2, module 3\nslot 1: file 255 128 0, module 200 0 3"),
                         QStringLiteral("COM3: In use, by ") + holder};
    expected.sort();
    QCOMPARE(tilesAsRead(s.window), expected);
    QVERIFY(s.bench.module->heard.endsWith("\xFF\x3C\xFB\xFB\xFB"));
    QVERIFY(s.held.heard.isEmpty());
    s.bench.click(s.button("stationStop"));
    QTRY_VERIFY_WITH_TIMEOUT(s.done(), 5000);
    QCOMPARE(s.text("stationStatus"), QStringLiteral("Stopped."));
    QVERIFY(!s.field("stationFile")->isReadOnly());

    // The same modules through lumaveractl's station.
    const QString command = s.folder.filePath(QStringLiteral("command.csv"));
    QProcess ctl;
    QStringList arguments{QStringLiteral("station"), s.golden, QStringLiteral("--log"), command};
    for (const QString &port : s.ports())
        arguments << QStringLiteral("--port") << port;
    s.replugCom3(false);
    ctl.start(QStringLiteral(LUMAVERACTL), arguments);
    QTRY_COMPARE_WITH_TIMEOUT(verdicts(command).size(), 4, 15000);
    s.replugCom3(true);
    QTRY_COMPARE_WITH_TIMEOUT(verdicts(command).size(), 5, 15000);
    ::kill(pid_t(ctl.processId()), SIGINT);
    QTRY_COMPARE_WITH_TIMEOUT(ctl.state(), QProcess::NotRunning, 10000);
    QCOMPARE(verdicts(s.csv), verdicts(command));
    QCOMPARE(verdicts(s.csv).size(), 5); // the header and four modules
    QCOMPARE(boxes.texts(), QStringList());
}

// A cable that stays plugged in: modules put on and taken off its far end,
// each verdict staying on the tile until the next module answers.
void StationTest::cableKeepsTheLastVerdict()
{
    Station s;
    VirtualModule &module = *s.bench.module->module;
    module.setAttached(false);
    s.field("stationPorts")->setText(QStringLiteral("COM1"));
    s.find<QCheckBox>("stationCable")->setChecked(true);
    s.bench.click(s.button("stationStart"));
    QTRY_COMPARE_WITH_TIMEOUT(tilesAsRead(s.window),
                              QStringList{QStringLiteral("COM1: Waiting for a module")}, 5000);
    module.setAttached(true);
    QTRY_COMPARE_WITH_TIMEOUT(tilesAsRead(s.window), QStringList{QStringLiteral("COM1: PASS")},
                              10000);
    module.setAttached(false); // taken off: the verdict stays
    QTRY_COMPARE_WITH_TIMEOUT(
        tilesAsRead(s.window),
        QStringList{QStringLiteral("COM1: PASS, waiting for the next module")}, 10000);
    module.options().forget = true; // the next module keeps nothing
    module.setAttached(true);
    QTRY_VERIFY_WITH_TIMEOUT(tilesAsRead(s.window).join(u' ').startsWith(u"COM1: FAIL"), 10000);
    QCOMPARE(s.text("stationCounters"), QStringLiteral("Passed 1   Failed 1   Skipped 0"));
}

// A unit id typed (or scanned) goes with the next verdict; a FAIL is set
// up again by R without being put on anew, as a retest of the same unit;
// the shift's counters and first-pass yield outlive Stop and Start until
// New shift.
void StationTest::unitRetestAndShift()
{
    Station s;
    s.field("stationPorts")->setText(QStringLiteral("COM2"));
    s.field("stationUnit")->setText(QStringLiteral("U-1"));
    QTest::keyClick(s.field("stationUnit"), Qt::Key_Return);
    QCOMPARE(s.text("stationWaitingUnits"), QStringLiteral("For the next modules: U-1"));
    s.bench.click(s.button("stationStart"));
    QTRY_VERIFY_WITH_TIMEOUT(tilesAsRead(s.window).join(u' ').startsWith(u"COM2: FAIL"), 15000);
    QVERIFY(tilesAsRead(s.window).join(u' ').endsWith(u", unit U-1"));
    QCOMPARE(s.text("stationWaitingUnits"), QStringLiteral("No unit id waiting"));
    // The module is mended where it sits, and retested.
    s.forgetful.module->options().forget = false;
    QTest::keyClick(s.window, Qt::Key_R);
    QTRY_COMPARE_WITH_TIMEOUT(tilesAsRead(s.window), QStringList{"COM2: PASS, unit U-1"}, 15000);
    QCOMPARE(s.text("stationCounters"), QStringLiteral("Passed 1   Failed 1   Skipped 0"));
    QCOMPARE(s.text("stationYield"), QStringLiteral("First-pass yield 0 % (0 of 1)"));
    QFile csv(s.csv);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QStringList units;
    for (const QByteArray &line : csv.readAll().trimmed().split('\n'))
        units << QString::fromUtf8(line.split(',').mid(line.count(',') - 1).join(','));
    QCOMPARE(units, (QStringList{"unit,retest", "U-1,", "U-1,yes"}));

    s.bench.click(s.button("stationStop"));
    QTRY_VERIFY_WITH_TIMEOUT(s.done(), 5000);
    s.bench.click(s.button("stationStart")); // the module there is set up again
    QTRY_COMPARE_WITH_TIMEOUT(s.text("stationCounters"),
                              QStringLiteral("Passed 2   Failed 1   Skipped 0"), 15000);
    s.bench.click(s.button("stationStop"));
    QTRY_VERIFY_WITH_TIMEOUT(s.done(), 5000);
    s.bench.click(s.button("stationNewShift"));
    QCOMPARE(s.text("stationCounters"), QStringLiteral("Passed 0   Failed 0   Skipped 0"));
    QCOMPARE(s.text("stationYield"), QStringLiteral("First-pass yield -"));
}

// An id given for a chosen port waits for a module there; the next module
// found elsewhere takes the next id given for any port.
void StationTest::unitIdForAChosenPort()
{
    Station s;
    s.bench.click(s.button("stationStart"));
    QTRY_COMPARE_WITH_TIMEOUT(s.text("stationCounters"),
                              QStringLiteral("Passed 2   Failed 1   Skipped 0"), 15000);
    auto *port = s.find<QComboBox>("stationUnitPort");
    for (const auto &[chosen, unit] :
         {std::pair{"COM1", "U-9"}, {"the next module found", "U-2"}}) {
        port->setCurrentText(QLatin1String(chosen));
        s.field("stationUnit")->setText(QLatin1String(unit));
        QTest::keyClick(s.field("stationUnit"), Qt::Key_Return);
    }
    QCOMPARE(s.text("stationWaitingUnits"),
             QStringLiteral("For the next modules: U-9 on COM1, U-2"));
    s.replugCom3(false);
    QTRY_COMPARE_WITH_TIMEOUT(s.text("stationCounters"),
                              QStringLiteral("Passed 3   Failed 1   Skipped 0"), 15000);
    QVERIFY(tilesAsRead(s.window).contains(u"COM3: PASS, unit U-2"_qs));
    QCOMPARE(s.text("stationWaitingUnits"), QStringLiteral("For the next modules: U-9 on COM1"));
}

void StationTest::namedPortsAreWaitedFor_data()
{
    QTest::addColumn<bool>("unplugged");
    QTest::newRow("COM3 not plugged in, then plugged in") << true;
    QTest::newRow("COM3 held, then let go") << false;
}

// A port named that cannot be had at start is a tile that says why, and is
// set up once it can be; a number no device has says so on its own tile.
void StationTest::namedPortsAreWaitedFor()
{
    QFETCH(bool, unplugged);
    Station s;
    if (unplugged) {
        s.held.module->stop();
    } else {
        s.holder.setStandardInputFile(s.held.device());
        s.holder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        QVERIFY(s.holder.waitForStarted());
    }
    s.field("stationPorts")->setText(QStringLiteral("COM3 COM5"));
    BoxAnswerer boxes;
    s.bench.click(s.button("stationStart"));
    const QString nothingOnCom5 =
        QStringLiteral("COM5: Not plugged in, No device is assigned to COM5.");
    const QString waiting =
        unplugged ? QStringLiteral("COM3: Not plugged in")
                  : QStringLiteral("COM3: In use, by sleep (pid %1)").arg(s.holder.processId());
    QTRY_COMPARE_WITH_TIMEOUT(tilesAsRead(s.window), (QStringList{waiting, nothingOnCom5}), 10000);
    QCOMPARE(s.text("stationStatus"), QStringLiteral("Running."));
    if (unplugged) {
        QString error;
        QVERIFY2(s.held.module->start(&error), qPrintable(error));
    } else {
        s.holder.kill();
        s.holder.waitForFinished();
    }
    QTRY_COMPARE_WITH_TIMEOUT(tilesAsRead(s.window),
                              (QStringList{QStringLiteral("COM3: PASS"), nothingOnCom5}), 10000);
    QCOMPARE(s.text("stationCounters"), unplugged
                                            ? QStringLiteral("Passed 1   Failed 0   Skipped 0")
                                            : QStringLiteral("Passed 1   Failed 0   Skipped 1"));
    QCOMPARE(boxes.texts(), QStringList());
}

void StationTest::refusedBeforeStart_data()
{
    QTest::addColumn<QByteArray>("golden");
    QTest::addColumn<QString>("ports");
    QTest::addColumn<QString>("said");
    QTest::newRow("no such file") << QByteArray() << "COM1"
                                  << "%1 does not exist";
    QTest::newRow("not a configuration") << QByteArray("garbage\n") << "COM1"
                                         << "";
    QTest::newRow("a port beyond the numbers") << QByteArray("keep") << "COM1 COM21"
                                               << "There is no COM21; the ports are COM1..COM20.";
}

// A golden file or a port that will not do is said before anything is sent:
// the file's own fault, in a box, and the station does not start.
void StationTest::refusedBeforeStart()
{
    QFETCH(QByteArray, golden);
    QFETCH(QString, ports);
    QFETCH(QString, said);
    Station s;
    if (golden.isEmpty())
        QFile::remove(s.golden);
    else if (golden != "keep") {
        QFile file(s.golden);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(golden) == golden.size());
    }
    s.field("stationPorts")->setText(ports);
    BoxAnswerer boxes;
    s.bench.click(s.button("stationStart"));
    QCOMPARE(boxes.seen.size(), 1);
    QVERIFY2(boxes.seen[0].text.startsWith(said.arg(s.golden)), qPrintable(boxes.seen[0].text));
    QVERIFY(s.done());
    QCOMPARE(s.bench.module->heard, QByteArray());
}

void StationTest::stopAndCloseWhileWorking_data()
{
    QTest::addColumn<bool>("close");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("stillOpen");
    QTest::newRow("Stop finishes the module") << false << 0 << true;
    QTest::newRow("closing asks; Cancel keeps on") << true << int(QMessageBox::Cancel) << true;
    QTest::newRow("closing asks; Finish and Close") << true << int(QMessageBox::Ok) << false;
}

// A module in progress is finished, never cut off, whether the technician
// presses Stop or closes the window; closing asks first.
void StationTest::stopAndCloseWhileWorking()
{
    QFETCH(bool, close);
    QFETCH(int, answer);
    QFETCH(bool, stillOpen);
    Station s;
    s.field("stationPorts")->setText(QStringLiteral("COM1"));
    s.bench.click(s.button("stationStart"));
    QTRY_VERIFY_WITH_TIMEOUT(tilesAsRead(s.window).join(u' ').contains(u"Working, step"), 10000);
    BoxAnswerer boxes;
    boxes.answer = answer;
    if (close)
        s.window->close();
    else
        s.bench.click(s.button("stationStop"));
    QCOMPARE(boxes.texts(), close
                                ? QStringList{"Modules are being set up. Finish them, then close?"}
                                : QStringList());
    if (!close || !stillOpen)
        QVERIFY(s.text("stationStatus").startsWith(u"Finishing the modules in progress"));
    // Finished and closed, or finished and open with its verdict shown.
    QTRY_VERIFY_WITH_TIMEOUT(s.window.isNull() || s.allVerdicts(), 10000);
    QCOMPARE(s.window.isNull(), !stillOpen);
    if (stillOpen)
        QCOMPARE(tilesAsRead(s.window), QStringList{QStringLiteral("COM1: PASS")});
    QCOMPARE(verdicts(s.csv), (QStringList{s.bench.device + QStringLiteral(",,PASS,"),
                                           QStringLiteral("device,serial,result,reason")}));
}

void StationTest::readableInEveryPalette_data()
{
    addPaletteRows(QStringLiteral("station"));
}

// Every text on the station window readable, on the tiles' own colours too.
void StationTest::readableInEveryPalette()
{
    QFETCH(QPalette, palette);
    QFETCH(QString, picture);
    const QPalette before = QApplication::palette();
    QApplication::setPalette(palette);
    const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
    Station s;
    s.bench.click(s.button("stationStart"));
    QVERIFY(s.passFailAndHeld());
    const QImage shown = s.window->grab().toImage();
    int checked = 0;
    for (auto *label : s.window->findChildren<QLabel *>()) {
        if (label->text().isEmpty() || !label->isVisible())
            continue;
        const auto [text, ground] = textAndGround(label, shown);
        QVERIFY2(
            ContrastRatio(text, ground) >= ReadableContrast,
            qPrintable(QStringLiteral("%1 \"%2\": %3 on %4")
                           .arg(label->objectName(), label->text(), text.name(), ground.name())));
        ++checked;
    }
    QVERIFY2(checked >= 25, qPrintable(QString::number(checked)));
    s.window->grab().save(picture);
}

void StationTest::operatorViewFillsTheScreen_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("capitals"); // PASS's least height where the screen has room
    QTest::newRow("1920x1080, 8 ports") << "line 1920x1080" << 8 << 48;
    QTest::newRow("1920x1080, 32 ports") << "line 1920x1080" << 32 << 48;
    QTest::newRow("1920x1080, 64 ports") << "line 1920x1080" << 64 << 0;
    QTest::newRow("1280x800, 8 ports") << "laptop 1280x800" << 8 << 48;
    QTest::newRow("1280x800, 32 ports") << "laptop 1280x800" << 32 << 0;
    QTest::newRow("1280x800, 64 ports") << "laptop 1280x800" << 64 << 0;
}

// The operator view on a line's screen and on a laptop's, with 8 to 64
// ports (PASS, FAIL and In use among ports not plugged in): every tile
// wholly on screen and titled on one line, the verdict as large as the tile
// allows, and PASS and FAIL told apart without red and green, by lightness
// and by shape.
void StationTest::operatorViewFillsTheScreen()
{
    QFETCH(QString, screen);
    QFETCH(int, count);
    QFETCH(int, capitals);
    Station s;
    QStringList ports = s.ports();
    while (ports.size() < count)
        ports << s.folder.filePath(QStringLiteral("absent-%1").arg(ports.size() + 1));
    s.field("stationPorts")->setText(ports.join(u' '));
    QScreen *shownOn = nullptr;
    for (QScreen *each : QGuiApplication::screens())
        shownOn = each->name() == screen ? each : shownOn;
    QVERIFY(shownOn);
    s.window->windowHandle()->setScreen(shownOn);
    s.bench.click(s.button("stationStart"));
    s.bench.click(s.button("stationOperator"));
    QTRY_COMPARE(s.window->geometry(), shownOn->geometry());
    QVERIFY(!s.button("stationStart")->isVisible() && s.field("stationUnit")->isVisible());
    QVERIFY(s.passFailAndHeld());
    const QImage shown = s.window->grab().toImage();
    shown.save(
        QStringLiteral("station-operator-%1-%2.png").arg(shownOn->size().width()).arg(count));

    QList<QRect> places;
    QHash<QString, QWidget *> verdictOf;
    const auto tiles = s.window->findChildren<QWidget *>(QStringLiteral("stationTile"));
    QCOMPARE(tiles.size(), count);
    for (QWidget *tile : tiles) {
        const QRect place(tile->mapToGlobal(QPoint()), tile->size());
        const QString name = tile->accessibleName();
        QVERIFY2(shownOn->geometry().contains(place) &&
                     tile->visibleRegion().boundingRect() == tile->rect(),
                 qPrintable(name));
        for (const QRect &other : std::as_const(places))
            QVERIFY2(!other.intersects(place), qPrintable(name));
        places << place;
        auto *title = tile->findChild<QLabel *>(QStringLiteral("stationTileTitle"));
        QCOMPARE(title->text(), name.section(u'/', -1));
        QVERIFY2(title->height() < 2 * title->fontMetrics().height(), qPrintable(name));
        const QString state = tile->accessibleDescription().section(u',', 0, 0);
        verdictOf.insert(state, tile);
    }
    QVERIFY2(verdictOf.contains(u"PASS"_qs) && verdictOf.contains(u"FAIL"_qs) &&
                 verdictOf.contains(u"In use"_qs),
             qPrintable(QStringList(verdictOf.keys()).join(u' ')));
    QWidget *pass = verdictOf.value(u"PASS"_qs);
    QWidget *fail = verdictOf.value(u"FAIL"_qs);
    const auto child = [](QWidget *tile, const char *name) {
        return tile->findChild<QWidget *>(QLatin1String(name));
    };
    const int letters = inkHeight(inkOf(child(pass, "stationVerdict"), shown));
    // At least a twelfth of the tile, whichever way it is longer.
    QVERIFY2(letters >= std::max({capitals, pass->height() / 12, pass->width() / 12}),
             qPrintable(QStringLiteral("PASS %1 px high on a tile of %2x%3")
                            .arg(letters)
                            .arg(pass->width())
                            .arg(pass->height())));
    QVERIFY(QFontInfo(child(fail, "stationReason")->font()).pixelSize() >= 24);

    const QColor passGround = textAndGround(child(pass, "stationVerdict"), shown).second;
    const QColor failGround = textAndGround(child(fail, "stationVerdict"), shown).second;
    for (const char *cones : {"", "green", "red"}) {
        const auto seen = [&](const QColor &c) { return *cones ? asSeenWithout(cones, c) : c; };
        QVERIFY2(ContrastRatio(seen(passGround), seen(failGround)) >= 3,
                 qPrintable(QStringLiteral("without %1 cones: %2 and %3")
                                .arg(QLatin1String(cones), seen(passGround).name(),
                                     seen(failGround).name())));
    }
    QList<QImage> marks;
    for (QWidget *tile : {pass, fail, verdictOf.value(u"In use"_qs)}) {
        marks << inkOf(child(tile, "stationMark"), shown);
        QVERIFY(inkHeight(marks.last()) > 0);
    }
    QVERIFY2(inkApart(marks[0], marks[1]) > 0.3 && inkApart(marks[0], marks[2]) > 0.3 &&
                 inkApart(marks[1], marks[2]) > 0.3,
             qPrintable(QStringLiteral("%1 %2 %3")
                            .arg(inkApart(marks[0], marks[1]))
                            .arg(inkApart(marks[0], marks[2]))
                            .arg(inkApart(marks[1], marks[2]))));

    // Esc brings the run's form back.
    QTest::keyClick(s.window, Qt::Key_Escape);
    QTRY_VERIFY(!s.window->isFullScreen());
    QVERIFY(s.button("stationStop")->isVisible());
}

QTEST_MAIN(StationTest)
#include "tst_station.moc"
