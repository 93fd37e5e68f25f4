// lumaveractl as a script runs it: the real program, against a scripted
// pseudo-terminal, the virtual module, or a window holding the port.

#include "ctl/commands.h"
#include "link/handoff.h"
#include "panel/window.h"
#include "settings/moduleconfig.h"
#include "settings/profile.h"
#include "support/moduleprocess.h"

#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Result
{
    int exit = -1;
    QString out;
    QString err;
};

// Runs lumaveractl, keeping this process's event loop going meanwhile so
// that a module or a window in it can answer.
Result ctl(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(LUMAVERACTL), args);
    Result r;
    if (!p.waitForStarted(5000))
        return r;
    QElapsedTimer clock;
    clock.start();
    while (p.state() != QProcess::NotRunning && clock.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        p.waitForFinished(5);
    }
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString sampleJson()
{
    QString slotList;
    for (int i = 0; i < SlotCount; ++i)
        slotList += QStringLiteral("%1{\"red\":%2,\"green\":%3,\"blue\":%4}")
                        .arg(i ? "," : "")
                        .arg(200 + i)
                        .arg(20 * i)
                        .arg(7 * i + 3);
    return QStringLiteral("{\"mode\":3,\"fade\":1,\"hold\":10,\"slots\":[%1]}\n").arg(slotList);
}

const QByteArray ReadFrame("\xFF\x3C\xFB\xFB\xFB");
const QByteArray SaveFrame("\xFF\x32\xFE\xFE\xFE");

} // namespace

class LumaveractlTest : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void failures_data();
    void failures();
    void backupThenRestoreClonesAModule();
    void stationSetsUpModuleAfterModule();
    void handedToTheWindowThatHoldsThePort();
    void pinRoundTrip();
    void strangersAndFailuresOnTheWay_data();
    void strangersAndFailuresOnTheWay();
};

// What each command puts on the line, prints, and keeps in the settings
// file; the port given as the window's last one, as COMn, or as a path.
void LumaveractlTest::commands_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QByteArray>("kept"); // Colors key=value
    QString text = QStringLiteral("mode 3\nfade 1\nhold 10\n");
    for (int i = 0; i < SlotCount; ++i)
        text +=
            QStringLiteral("slot %1 %2 %3 %4\n").arg(i + 1).arg(200 + i).arg(20 * i).arg(7 * i + 3);
    const QString none;
    QTest::newRow("color R G B") << QStringList{"color", "128", "64", "0"}
                                 << QByteArray("\xFF\x01\x80\x40\x00", 5) << none << QByteArray();
    QTest::newRow("color #RRGGBB, com4")
        << QStringList{"--port", "com4", "color", "#FF0710"}
        << QByteArray("\xFF\x01\xFF\x07\x10", 5) << none << QByteArray();
    QTest::newRow("mode 0, path") << QStringList{"--port", "PTY", "mode", "0"}
                                  << QByteArray("\xFF\x28\x00\xFB\xFB", 5) << none << QByteArray();
    QTest::newRow("color rrggbb") << QStringList{"color", "ff8000"}
                                  << QByteArray("\xFF\x01\xFF\x80\x00", 5) << none << QByteArray();
    QTest::newRow("hold 240") << QStringList{"hold", "240"} << QByteArray("\xFF\x1E\xF0\xFC\xFC")
                              << none << QByteArray();
    QTest::newRow("store 10") << QStringList{"store", "10", "1", "2", "3"}
                              << QByteArray("\xFF\x0B\x01\x02\x03") << none
                              << QByteArray("Blue10=3");
    QTest::newRow("store 1 #000700")
        << QStringList{"store", "1", "#000700"} << QByteArray("\xFF\x02\x00\x07\x00", 5) << none
        << QByteArray("Green1=7");
    QTest::newRow("save") << QStringList{"save"} << SaveFrame << none << QByteArray();
    QTest::newRow("read") << QStringList{"read"} << ReadFrame << text << QByteArray("Red10=209");
    QTest::newRow("read --json") << QStringList{"--json", "read"} << ReadFrame << sampleJson()
                                 << QByteArray("Blue1=3");
    QTest::newRow("find") << QStringList{"find", "--match", "PTY"} << ReadFrame
                          << "COM4   PTY  -  module (mode 3, fade 1, hold 10)\n"
                          << QByteArray();
}

void LumaveractlTest::commands()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, wire);
    QFETCH(QString, out);
    QFETCH(QByteArray, kept);
    TempConfig config;
    Pty pty;
    config.write("[Settings]\r\nCommPort=4\r\n[Ports]\r\nCOM4=" + pty.slavePath().toLocal8Bit() +
                 "\r\n");
    FakeModule module(pty);
    module.saveAnswer = "\xFE\xAA";
    module.settingsAnswer = EncodeSettingsReply(SampleSettings());
    args.replaceInStrings(QStringLiteral("PTY"), pty.slavePath());
    out.replace(QStringLiteral("PTY"), pty.slavePath());
    // Stale bytes first: thrown away, as the window does.
    pty.write("\x13\x37");
    const Result r = ctl(args);
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, out);
    QTRY_COMPARE(module.received, wire);
    if (!kept.isEmpty())
        QCOMPARE(profile::valueIn(config.read(), "Colors", kept.split('=')[0]), kept.split('=')[1]);

    // --verbose: every byte both ways, one line each, on standard error.
    if (args.last() != QLatin1String("read") || !out.startsWith(u'm'))
        return;
    pty.write("\x01");
    QTest::qWait(20);
    const QStringList lines = ctl({"--verbose", "read"}).err.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines[0].startsWith(QLatin1String("       0.000  OPEN")), qPrintable(lines[0]));
    const char *const expected[] = {"OPEN", "DISCARDED 01",
                                    "TX FF 3C FB FB FB  |.<...|  ReadModuleSettings",
                                    "settings reply: mode 3 fade 1 hold 10"};
    for (int i = 0; i < 4; ++i)
        QVERIFY2(lines[i].contains(QLatin1String(expected[i])), qPrintable(lines[i]));
}

void LumaveractlTest::failures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("sends");
    const QByteArray good = EncodeSettingsReply(SampleSettings());
    QByteArray badStart = good;
    badStart[0] = 0;
    QByteArray mode200 = good;
    mode200[1] = char(200);
    QTest::newRow("no answer") << QStringList{"read"} << QByteArray() << 1
                               << "a longer --timeout MS" << true;
    QTest::newRow("34 bytes") << QStringList{"read"} << good.left(34) << 1 << "Only 34 of 35"
                              << true;
    QTest::newRow("bad start") << QStringList{"read"} << badStart << 1 << "does not start" << true;
    QTest::newRow("mode 200") << QStringList{"read"} << mode200 << 1 << "mode 200" << true;
    QTest::newRow("a settings reply for a save")
        << QStringList{"save"} << good << 1 << "late answer to an earlier command" << true;
    QTest::newRow("FE AB") << QStringList{"save"} << QByteArray("\xFE\xAB") << 1 << "FE AB" << true;
    QTest::newRow("one byte of the acknowledgement")
        << QStringList{"save"} << QByteArray("\xFE") << 1 << "Only 1 of 2" << true;
    QTest::newRow("backup with no answer")
        << QStringList{"backup", "out.ini"} << QByteArray() << 1 << "No answer" << true;
    QTest::newRow("missing port") << QStringList{"--port", "/dev/lumavera-none", "color", "1", "2",
                                                 "3"}
                                  << QByteArray() << 3 << "There is no device /dev/lumavera-none"
                                  << false;
    QTest::newRow("unassigned number")
        << QStringList{"--port", "COM17", "mode", "1"} << QByteArray() << 3
        << "lumaveractl pin COM17 PATH" << false;
    QTest::newRow("COM0") << QStringList{"--port", "COM0", "color", "1", "2", "3"} << QByteArray()
                          << 2 << "There is no COM0" << false;
    QTest::newRow("com99") << QStringList{"--port", "com99", "read"} << QByteArray() << 2
                           << "the ports are COM1..COM20" << false;
    // The line takes nothing (output stopped): the frame did not go out.
    QTest::newRow("stopped line") << QStringList{"color", "1", "2", "3"} << QByteArray("stop") << 1
                                  << "took none of the frame" << false;
    QTest::newRow("stopped line, store") << QStringList{"store", "2", "1", "2", "3"}
                                         << QByteArray("stop") << 1 << "store failed" << false;
    QTest::newRow("level 256") << QStringList{"color", "256", "0", "0"} << QByteArray() << 2
                               << "red level 256 is not a whole number from 0 to 255" << false;
    QTest::newRow("two levels") << QStringList{"color", "1", "2"} << QByteArray() << 2
                                << "a colour is R G B" << false;
    QTest::newRow("slot 11") << QStringList{"store", "11", "#000000"} << QByteArray() << 2
                             << "the slot is a number from 1 to 10" << false;
    QTest::newRow("hold 241") << QStringList{"hold", "241"} << QByteArray() << 2 << "0 to 240"
                              << false;
    QTest::newRow("unknown command")
        << QStringList{"blink"} << QByteArray() << 2 << "unknown command 'blink'" << false;
    QTest::newRow("no command") << QStringList() << QByteArray() << 2 << "no command" << false;
    QTest::newRow("restore of a file missing a key")
        << QStringList{"restore", "partial.ini"} << QByteArray() << 2 << "[Module] Hold is missing"
        << false;
    QTest::newRow("restore of a file with two problems")
        << QStringList{"restore", "partial.ini"} << QByteArray() << 2 << "[Colors] Green7=256"
        << false;
    ModuleSettings differs = SampleSettings();
    differs.hold = 11;
    QTest::newRow("restore that differs, not saved")
        << QStringList{"restore", "want.ini", "--save", "--gap", "0"}
        << EncodeSettingsReply(differs) << 1 << "hold: file 10, module 11" << true;
    QTest::newRow("station with a bad file") << QStringList{"station", "range.ini"} << QByteArray()
                                             << 2 << "[Colors] Green7=256" << false;
    QTest::newRow("restore of a value out of range")
        << QStringList{"restore", "range.ini"} << QByteArray() << 2 << "[Colors] Green7=256"
        << false;
}

void LumaveractlTest::failures()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, answer);
    QFETCH(int, exit);
    QFETCH(QString, says);
    QFETCH(bool, sends);
    TempConfig config;
    Pty pty;
    config.write("[Settings]\r\nCommPort=1\r\n[Ports]\r\nCOM1=" + pty.slavePath().toLocal8Bit() +
                 "\r\n");
    const QByteArray fileBefore = config.read();
    FakeModule module(pty);
    module.settingsAnswer = answer;
    module.saveAnswer = answer;
    if (answer == "stop")
        pty.stopOutput();
    QTemporaryDir dir;
    QByteArray partial = "[Module]\r\nMode=1\r\nFade=1\r\n[Colors]\r\n";
    QByteArray range = "[Module]\r\nMode=1\r\nFade=1\r\nHold=9\r\n[Colors]\r\n";
    for (int i = 1; i <= SlotCount; ++i) {
        const QByteArray n = QByteArray::number(i);
        const QByteArray keys = "Red" + n + "=1\r\nGreen" + n + "=" + (i == 7 ? "256" : "2") +
                                "\r\nBlue" + n + "=3\r\n";
        partial += keys;
        range += keys;
    }
    for (auto [name, content] :
         {std::pair("partial.ini", partial), std::pair("range.ini", range)}) {
        QFile f(dir.filePath(QLatin1String(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QVERIFY(SaveModuleConfig(dir.filePath(QStringLiteral("want.ini")), SampleSettings()));
    for (QString &a : args) {
        if (a.endsWith(QLatin1String(".ini")))
            a = dir.filePath(a);
    }

    const Result r = ctl(args);
    QCOMPARE(r.exit, exit);
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
    QCOMPARE(r.out, QString());
    if (exit == 2 && !args.contains(QStringLiteral("restore")) &&
        !args.contains(QStringLiteral("station")) && !args.contains(QStringLiteral("--port")))
        QVERIFY2(r.err.contains(QLatin1String("Usage: lumaveractl")), qPrintable(r.err));
    if (sends)
        QTRY_VERIFY(!module.received.isEmpty());
    QTest::qWait(20);
    QCOMPARE(!module.received.isEmpty(), sends);
    // A failed command never goes on to a save, and leaves the settings file
    // as it was (but for colours a restore read back).
    QVERIFY(args.value(0) == QLatin1String("save") || !module.received.contains(SaveFrame));
    if (args.value(0) != QLatin1String("restore") || exit != 1)
        QCOMPARE(config.read(), fileBefore);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("out.ini"))));
}

void LumaveractlTest::backupThenRestoreClonesAModule()
{
    TempConfig config;
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first"));
    const QString second = dir.filePath(QStringLiteral("second"));
    ModuleProcess a(first, {});
    ModuleProcess b(second, {});
    QVERIFY(a.started());
    QVERIFY(b.started());
    const QStringList onA{"--port", first};
    const QStringList onB{"--port", second};
    for (const QStringList &step :
         {QStringList{"mode", "7"}, QStringList{"fade", "2"}, QStringList{"hold", "99"},
          QStringList{"store", "1", "#102030"}, QStringList{"store", "10", "255", "0", "7"}})
        QCOMPARE(ctl(onA + step).exit, 0);

    const QString file = dir.filePath(QStringLiteral("module.ini"));
    Result r = ctl(onA + QStringList{"backup", file});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    QVERIFY(text.startsWith("[Module]\r\nMode=7\r\nFade=2\r\nHold=99\r\n[Colors]\r\nRed1=16\r\n"));

    r = ctl(onB + QStringList{"restore", file, "--gap", "5", "--save"});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    const Result readA = ctl(onA + QStringList{"read", "--json"});
    const Result readB = ctl(onB + QStringList{"read", "--json"});
    QCOMPARE(readA.exit, 0);
    QVERIFY(readA.out.startsWith(QLatin1String("{\"mode\":7,\"fade\":2,\"hold\":99,")));
    QCOMPARE(readB.out, readA.out);
    QVERIFY(b.lines.contains(QStringLiteral("SaveToEeprom -> FE AA")));
}

// One station, and what is plugged into it one after another: a device
// that is no module, one another program holds, a module that does not keep
// what it is sent, two modules at once, and one pulled out half-way.
void LumaveractlTest::stationSetsUpModuleAfterModule()
{
    TempConfig config;
    QTemporaryDir dir;
    QDir ids(dir.filePath(QStringLiteral("by-id")));
    QVERIFY(QDir().mkpath(ids.path()));
    const QString want = dir.filePath(QStringLiteral("want.ini"));
    const QString log = dir.filePath(QStringLiteral("station.csv"));
    QVERIFY(SaveModuleConfig(want, SampleSettings()));

    QProcess station;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LUMAVERA_SERIAL_BY_ID"), ids.path());
    station.setProcessEnvironment(env);
    station.start(QStringLiteral(LUMAVERACTL),
                  {"station", want, "--log", log, "--timeout", "300", "--gap", "5"});
    QByteArray said;
    QVERIFY2(waitUntil([&] { return (said += station.readAllStandardError()).contains("waiting"); },
                       5000),
             said.constData());
    QStringList lines;
    const auto nextLines = [&](int n) {
        waitUntil(
            [&] {
                while (station.canReadLine())
                    lines << QString::fromUtf8(station.readLine()).trimmed();
                return lines.size() >= n;
            },
            10000);
        return lines.join(u'\n');
    };
    const auto plug = [&](const Pty &pty, const char *name) {
        QVERIFY(QFile::link(pty.slavePath(), ids.filePath(QLatin1String(name))));
    };

    Pty silent;
    plug(silent, "silent");
    QVERIFY2(nextLines(1).contains(QLatin1String("silent  -  SKIP")), qPrintable(nextLines(1)));
    QVERIFY2(lines[0].endsWith(QLatin1String("not a module: No answer came from the module within "
                                             "300 ms.")),
             qPrintable(lines[0]));
    QCOMPARE(silent.readAll(), ReadFrame); // the question, and nothing more

    Pty held;
    QProcess holder;
    holder.setStandardInputFile(held.slavePath());
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(holder.waitForStarted());
    plug(held, "held");
    QVERIFY2(nextLines(2).contains(QLatin1String("in use by sleep")), qPrintable(nextLines(2)));
    QCOMPARE(held.readAll(), QByteArray());
    holder.kill();
    holder.waitForFinished();

    Pty forgetful;
    FakeModule stuck(forgetful);
    ModuleSettings other = SampleSettings();
    other.hold = 11;
    stuck.settingsAnswer = EncodeSettingsReply(other);
    plug(forgetful, "forgetful");
    QVERIFY2(nextLines(3).contains(QLatin1String("FAIL")), qPrintable(nextLines(3)));
    QVERIFY2(lines[2].contains(QLatin1String("hold: file 10, module 11")), qPrintable(lines[2]));

    ModuleProcess pair(ids.path(), {"--count", "2"});
    QVERIFY2(nextLines(5).count(QLatin1String("  PASS  ")) == 2, qPrintable(nextLines(5)));
    for (const QString &module : {QStringLiteral("module-1"), QStringLiteral("module-2")}) {
        const Result read = ctl({"--port", ids.filePath(module), "read"});
        QCOMPARE(read.out, SettingsText(SampleSettings(), false));
    }

    ModuleProcess late(ids.filePath(QStringLiteral("late")), {});
    QVERIFY(waitUntil([&] { return late.lines.join(u' ').contains("slot=3"); }, 10000));
    late.unplug();
    QVERIFY2(nextLines(6).contains(QLatin1String("unplugged during restore")),
             qPrintable(nextLines(6)));

    ::kill(pid_t(station.processId()), SIGINT);
    QVERIFY(station.waitForFinished(10000));
    nextLines(7);
    QCOMPARE(lines.value(6), QStringLiteral("2 passed, 2 failed, 2 left alone"));
    QCOMPARE(station.exitCode(), 1);
    QFile csv(log);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> records = csv.readAll().split('\n');
    QCOMPARE(records.value(0), "time,device,serial,result,reason,ms,backup");
    QCOMPARE(records.size(), 8); // the header, six modules and the final newline
    QVERIFY2(records.value(6).contains(",FAIL,unplugged during restore,"), records.value(6));
}

void LumaveractlTest::handedToTheWindowThatHoldsThePort()
{
    Bench bench;
    const Ui w = bench.ui();
    FakeModule module(bench.pty);
    module.settingsAnswer = EncodeSettingsReply(SampleSettings());
    module.saveAnswer = "\xFE\xAA";
    BoxAnswerer boxes;
    QVERIFY(bench.connect());
    const QStringList port{"--port", bench.pty.slavePath()};

    Result r = ctl(port + QStringList{"color", "1", "2", "3"});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    // Once on the line, and in the window's monitor; the window's own
    // controls stay as its user left them.
    QTRY_COMPARE(module.received, QByteArray("\xFF\x01\x01\x02\x03"));
    QCOMPARE(w.lblTxData->text(), QStringLiteral("FF 01 01 02 03 "));
    QCOMPARE(w.readouts(), std::tuple(0, 0, 0));

    module.received.clear();
    r = ctl(port + QStringList{"--json", "--verbose", "read"});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QCOMPARE(r.out, sampleJson());
    QVERIFY2(r.err.contains(QLatin1String("TX FF 3C FB FB FB")), qPrintable(r.err));
    QCOMPARE(module.received, ReadFrame);
    QCOMPARE(profile::valueIn(bench.config.read(), "Colors", "Red10"), QByteArray("209"));

    // Save needs no question when a command asked for it, and shows no box.
    r = ctl(port + QStringList{"save"});
    QCOMPARE(r.exit, 0);
    QCOMPARE(boxes.seen.size(), 0);

    // A read during the window's own wait waits its turn: two exchanges,
    // one after the other, each with its whole answer.
    module.received.clear();
    QProcess during;
    QTimer::singleShot(100, [&] {
        during.start(QStringLiteral(LUMAVERACTL), port + QStringList{"--json", "read"});
    });
    bench.click(w.cmdReadSettings);
    QTRY_COMPARE_WITH_TIMEOUT(during.state(), QProcess::NotRunning, 10000);
    QVERIFY2(during.exitCode() == 0, during.readAllStandardError().constData());
    QCOMPARE(QString::fromUtf8(during.readAllStandardOutput()), sampleJson());
    QCOMPARE(boxes.seen.size(), 0);
    QCOMPARE(w.cboHold->currentText(), QStringLiteral("10"));
    QCOMPARE(module.received, ReadFrame + ReadFrame);
    QVERIFY(bench.isOpenState());
}

// pin and unpin from the shell: one change in the right section of a file
// the window wrote, seen by list and by the next command.
void LumaveractlTest::pinRoundTrip()
{
    TempConfig config;
    config.write("[Settings]\r\nCommPort=20\r\n[Ports]\r\nCOM1=/dev/a\r\n[Colors]\r\nRed1=1\r\n");
    Pty pty;
    Result r = ctl({"pin", "com20", pty.slavePath()});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QCOMPARE(config.read(), "[Settings]\r\nCommPort=20\r\n[Ports]\r\nCOM1=/dev/a\r\nCOM20=" +
                                pty.slavePath().toLocal8Bit() + "\r\n[Colors]\r\nRed1=1\r\n");
    QVERIFY2(ctl({"list"}).out.contains(QStringLiteral("COM20  present    ") + pty.slavePath()),
             qPrintable(ctl({"list"}).out));
    QCOMPARE(ctl({"color", "1", "2", "3"}).exit, 0);
    QCOMPARE(pty.read(5), QByteArray("\xFF\x01\x01\x02\x03"));
    // A step that only writes shares the line with a program holding it;
    // one whose answer does not come names that program, which may have
    // taken it.
    QProcess holder;
    holder.setStandardInputFile(pty.slavePath());
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(holder.waitForStarted());
    QCOMPARE(ctl({"color", "4", "5", "6"}).exit, 0);
    QCOMPARE(pty.read(5), QByteArray("\xFF\x01\x04\x05\x06"));
    r = ctl({"read"});
    QCOMPARE(r.exit, 1);
    QVERIFY2(r.err.contains(QLatin1String("in use by sleep")), qPrintable(r.err));
    holder.kill();
    holder.waitForFinished();
    QCOMPARE(ctl({"unpin", "COM20"}).exit, 0);
    QCOMPARE(profile::valueIn(config.read(), "Ports", "COM20"), QByteArray());
    r = ctl({"color", "1", "2", "3"});
    QCOMPARE(r.exit, 3);
    QVERIFY2(r.err.contains(QLatin1String("'lumaveractl list'")), qPrintable(r.err));
    QCOMPARE(ctl({"pin", "COM21", "/dev/x"}).exit, 2);
}

namespace {

// A raw client of the window's socket, as any program of the user's could be.
int connectTo(const QString &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether the server closed this client's connection within `ms`, the
// event loop running meanwhile.
bool closedByServer(int fd, int ms)
{
    return waitUntil(
        [fd] {
            pollfd p{fd, POLLIN, 0};
            char c;
            return ::poll(&p, 1, 0) == 1 && ::recv(fd, &c, 1, MSG_DONTWAIT) == 0;
        },
        ms);
}

} // namespace

// The hand-off and the port itself against strangers and failures on the
// way: every row ends with what reached the module, the exit status and
// what is in the files. A step that did not happen never exits 0.
void LumaveractlTest::strangersAndFailuresOnTheWay_data()
{
    QTest::addColumn<QString>("stranger");
    for (const char *row :
         {"runtime folder unset", "runtime folder others can write", "another user's server",
          "link planted for a backup", "missing folder for a backup", "second window", "flood",
          "silent clients", "window lets go during a restore", "slow module, long timeout",
          "settings file unwritable"})
        QTest::newRow(row) << QString::fromLatin1(row);
}

void LumaveractlTest::strangersAndFailuresOnTheWay()
{
    QFETCH(QString, stranger);
    const bool root = ::geteuid() == 0;
    if (!root && (stranger == QLatin1String("another user's server") ||
                  stranger == QLatin1String("link planted for a backup")))
        QSKIP("needs root, to act as another user");
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray tmp = qgetenv("TMPDIR");
    QTemporaryDir scratch;
    // The fallback folder of the user's own lives in the temporary folder:
    // one of this test's, so that no other window on the machine answers.
    QTemporaryDir temporary;
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    if (stranger == QLatin1String("runtime folder unset"))
        qunsetenv("XDG_RUNTIME_DIR");
    if (stranger == QLatin1String("runtime folder others can write")) {
        QVERIFY(::chmod(QFile::encodeName(scratch.path()).constData(), 0777) == 0);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(scratch.path()));
    }
    const auto restoreRuntime = qScopeGuard([&] {
        qputenv("XDG_RUNTIME_DIR", runtime);
        tmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmp);
    });

    Bench bench;
    const Ui w = bench.ui();
    FakeModule module(bench.pty);
    module.settingsAnswer = EncodeSettingsReply(SampleSettings());
    BoxAnswerer boxes;
    const QStringList port{"--port", bench.pty.slavePath()};
    const QString socket = HandoffSocketPath();
    const QByteArray color("\xFF\x01\x01\x02\x03");
    // The window holds the port: a command that reaches the module reached
    // it through the window.
    QVERIFY(bench.connect());
    Result r;

    if (stranger.startsWith(QLatin1String("runtime folder"))) {
        QVERIFY2(socket.startsWith(QDir::tempPath() + QStringLiteral("/lumavera-")),
                 qPrintable(socket));
        struct stat st
        {
        };
        QVERIFY(::stat(QFile::encodeName(QFileInfo(socket).path()).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
        QVERIFY(!QFile::exists(scratch.filePath(QStringLiteral("lumavera.socket"))));
        r = ctl(port + QStringList{"color", "1", "2", "3"});
        QCOMPARE(r.exit, 0);
        QTRY_COMPARE(module.received, color);
    } else if (stranger == QLatin1String("another user's server")) {
        // Someone else answers on the socket's path: lumaveractl does not
        // believe it and goes to the port, which the window holds.
        bench.click(w.cmdConnect);
        QFile::remove(socket);
        const pid_t child = ::fork();
        if (child == 0) {
            // lumaveractl hangs up on it unheard; that must not end this
            // stand-in in the test's crash handler, which would keep its
            // socket alive for the rows after it.
            ::signal(SIGPIPE, SIG_IGN);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strcpy(address.sun_path, QFile::encodeName(socket).constData());
            if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
                ::setgid(65534) != 0 || ::setuid(65534) != 0 || ::listen(fd, 4) != 0)
                ::_exit(3);
            HandoffReply lie;
            lie.handled = true;
            const QByteArray line = lie.encode();
            for (;;) {
                const int c = ::accept(fd, nullptr, nullptr);
                for (int i = 0; i < 8; ++i)
                    [[maybe_unused]] auto n = ::write(c, line.constData(), size_t(line.size()));
            }
        }
        QVERIFY(waitUntil([&] { return connectTo(socket) >= 0; }, 3000));
        r = ctl(port + QStringList{"color", "1", "2", "3"});
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        QCOMPARE(r.exit, 0);
        QTRY_COMPARE(module.received, color);
    } else if (stranger.contains(QLatin1String("backup"))) {
        // A file of the user's, and a link to it that another user planted
        // in a folder everyone can write to.
        QVERIFY(::chmod(QFile::encodeName(scratch.path()).constData(), 01777) == 0);
        const QString victim = bench.config.iniPath();
        const QByteArray before = bench.config.read();
        QString file = scratch.filePath(QStringLiteral("missing/backup.ini"));
        if (stranger.contains(QLatin1String("planted"))) {
            file = scratch.filePath(QStringLiteral("backup.ini"));
            QVERIFY(QFile::link(victim, file));
            QVERIFY(::lchown(QFile::encodeName(file).constData(), 65534, 65534) == 0);
        }
        r = ctl(port + QStringList{"backup", file});
        QCOMPARE(r.exit, 2);
        QVERIFY2(r.err.contains(stranger.contains(QLatin1String("planted"))
                                    ? QLatin1String("another user")
                                    : QLatin1String("does not exist")),
                 qPrintable(r.err));
        QCOMPARE(bench.config.read().left(before.size()), before.left(before.size()));
        QCOMPARE(profile::valueIn(bench.config.read(), "Module", "Mode"), QByteArray());
        QVERIFY(!QFileInfo::exists(scratch.filePath(QStringLiteral("missing"))));
    } else if (stranger == QLatin1String("second window")) {
        {
            frmMain second;
            second.show();
            const Ui s(second);
            QTRY_VERIFY2(s.lblNotice->text().contains(QLatin1String("Another Lumavera window")),
                         qPrintable(s.lblNotice->text()));
        }
        // The first window's socket outlives the second window.
        r = ctl(port + QStringList{"color", "1", "2", "3"});
        QCOMPARE(r.exit, 0);
        QTRY_COMPARE(module.received, color);
    } else if (stranger == QLatin1String("flood")) {
        // Short lines without end from a client that never reads its
        // replies, while the window and lumaveractl go on.
        const pid_t child = ::fork();
        if (child == 0) {
            const int fd = connectTo(socket);
            for (int i = 0; i < 200000 && fd >= 0; ++i)
                if (::write(fd, "{}\n", 3) != 3)
                    break;
            ::_exit(0);
        }
        QTest::qWait(300);
        bench.click(w.cmdSetColor);
        r = ctl(port + QStringList{"color", "1", "2", "3"});
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        QCOMPARE(r.exit, 0);
        QTRY_COMPARE(module.received, QByteArray("\xFF\x01\x00\x00\x00", 5) + color);
    } else if (stranger == QLatin1String("silent clients")) {
        QList<int> silent;
        for (int i = 0; i < 3; ++i)
            silent << connectTo(socket);
        r = ctl(port + QStringList{"color", "1", "2", "3"});
        QCOMPARE(r.exit, 0);
        QTRY_COMPARE(module.received, color);
        for (int fd : silent) {
            QVERIFY(closedByServer(fd, 15000));
            ::close(fd);
        }
    } else if (stranger == QLatin1String("window lets go during a restore")) {
        QFile f(scratch.filePath(QStringLiteral("want.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Module]\r\nMode=3\r\nFade=1\r\nHold=10\r\n[Colors]\r\n");
        for (int i = 1; i <= SlotCount; ++i)
            f.write(QStringLiteral("Red%1=1\r\nGreen%1=2\r\nBlue%1=3\r\n").arg(i).toLatin1());
        f.close();
        QProcess restore;
        restore.start(QStringLiteral(LUMAVERACTL),
                      port + QStringList{"restore", f.fileName(), "--save", "--gap", "100"});
        QTRY_VERIFY_WITH_TIMEOUT(module.received.size() >= 10, 5000);
        bench.click(w.cmdConnect);
        QTRY_COMPARE_WITH_TIMEOUT(restore.state(), QProcess::NotRunning, 10000);
        QCOMPARE(restore.exitCode(), 1);
        const QString err = QString::fromUtf8(restore.readAllStandardError());
        QVERIFY2(err.contains(QLatin1String("no longer holds")), qPrintable(err));
        // The read that keeps what the module held, then no read-back and no save.
        QVERIFY(module.received.startsWith(ReadFrame));
        QVERIFY(!module.received.mid(5).contains(ReadFrame) &&
                !module.received.contains(SaveFrame));
    } else if (stranger == QLatin1String("slow module, long timeout")) {
        module.answerDelayMs = 700;
        r = ctl(port + QStringList{"--timeout", "3000", "read"});
        QVERIFY2(r.exit == 0, qPrintable(r.err));
        QVERIFY(r.out.startsWith(QLatin1String("mode 3\n")));
        r = ctl(port + QStringList{"--timeout", "100", "read"});
        QCOMPARE(r.exit, 1);
        QVERIFY2(r.err.contains(QLatin1String("within 100 ms")), qPrintable(r.err));
    } else if (stranger == QLatin1String("settings file unwritable")) {
        bench.config.remove();
        QVERIFY(QDir().mkpath(bench.config.iniPath()));
        r = ctl(port + QStringList{"store", "2", "1", "2", "3"});
        QCOMPARE(r.exit, int(ExitSettings));
        QVERIFY2(r.err.contains(QLatin1String("settings could not be saved")), qPrintable(r.err));
        QTRY_COMPARE(module.received, QByteArray("\xFF\x03\x01\x02\x03"));
    }
    QCOMPARE(boxes.seen.size(), 0);
}

QTEST_MAIN(LumaveractlTest)
#include "tst_lumaveractl.moc"
