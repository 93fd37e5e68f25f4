// Timings of the tool against a pseudo-terminal that plays the module:
// start-up to the window shown, the reply wait (length and CPU), a click to
// the five bytes on the line, and the time to apply a settings reply.

#include "cpu.h"
#include "events.h"
#include "filewatch.h"
#include "panel/mainwindow.h"
#include "panel/trafficlogwindow.h"
#include "panel/trafficmodel.h"
#include "settings/ini.h"
#include "settings/moduleconfig.h"
#include "settings/settings.h"
#include "support/pty.h"
#include "support/ui.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace lumavera;

namespace {

struct Stats
{
    std::vector<double> samples;
    void add(double v) { samples.push_back(v); }
    double median() const
    {
        std::vector<double> s = samples;
        std::sort(s.begin(), s.end());
        return s.empty() ? 0 : s[s.size() / 2];
    }
    double min() const { return *std::min_element(samples.begin(), samples.end()); }
    double max() const { return *std::max_element(samples.begin(), samples.end()); }
};

void report(const char *what, const Stats &s, const char *unit)
{
    std::printf("%-44s median %9.3f %s  (min %.3f, max %.3f, n=%zu)\n", what, s.median(), unit,
                s.min(), s.max(), s.samples.size());
}

double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    TempConfig config;
    ModuleSettings settings;
    settings.mode = 4;
    settings.hold = 100;
    TestModule module({}, settings);
    const QString device = module.device();
    config.write("[Ports]\r\nCOM1=" + device.toLocal8Bit() + "\r\n");

    Stats startup;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        MainWindow w;
        w.show();
        if (!QTest::qWaitForWindowExposed(&w))
            return 1;
        startup.add(ms(t));
    }

    MainWindow form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;
    const Ui w(form);
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    if (w.cmdConnect->text() != QLatin1String("Disconnect")) {
        std::fprintf(stderr, "could not open %s\n", qPrintable(device));
        return 1;
    }

    Stats waitLength, waitCpu, apply, exchangeCpu;
    QElapsedTimer clickClock, tickClock;
    QObject::connect(form.findChild<QTimer *>(QStringLiteral("replyTick")), &QTimer::timeout, [&] {
        waitLength.add(ms(clickClock));
        tickClock.start();
    });
    for (int i = 0; i < rounds; ++i) {
        settings.slotColors[0].red = std::uint8_t(i);
        module.module->options().answer = EncodeSettingsReply(settings);
        double early = 0, late = 0;
        QTimer::singleShot(20, [&] { early = cpuMilliseconds(); });
        QTimer::singleShot(480, [&] { late = cpuMilliseconds(); });
        const double before = cpuMilliseconds();
        clickClock.start();
        QTest::mouseClick(w.cmdReadSettings, Qt::LeftButton);
        // The click starts the exchange; the event loop carries it to the tick
        // and the reply applied.
        runEventsUntil([&] { return w.lblNotice->text().startsWith(QLatin1String("Read at ")); },
                       2000);
        apply.add(ms(tickClock));
        exchangeCpu.add(cpuMilliseconds() - before);
        waitCpu.add(late - early);
        if (w.Slider_Red->value() != i) {
            std::fprintf(stderr, "reply %d was not applied\n", i);
            return 1;
        }
    }

    Stats click;
    for (int i = 0; i < rounds * 10; ++i) {
        w.Slider_Green->setValue(i % 256);
        QElapsedTimer t;
        t.start();
        const qsizetype before = module.heard.size();
        QTest::mouseClick(w.cmdSetColor, Qt::LeftButton);
        while (module.heard.size() < before + 5 && t.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        click.add(ms(t) * 1000.0);
        if (module.heard.size() != before + 5)
            return 1;
    }

    // The file side of a settings reply: thirty keys one replace at a time,
    // as a writer without batches would, against one replace for all.
    Stats single, batch;
    std::array<std::uint8_t, SlotCount> red{}, green{}, blue{};
    for (int i = 0; i < rounds; ++i) {
        red.fill(std::uint8_t(i));
        const QList<IniEdit> edits = SlotTableEdits(red, green, blue);
        QElapsedTimer t;
        t.start();
        for (const IniEdit &e : edits)
            WriteIniValue(e.section, e.key, e.value);
        single.add(ms(t));
        red.fill(std::uint8_t(i + 1));
        t.start();
        WriteIniValues(SlotTableEdits(red, green, blue));
        batch.add(ms(t));
    }

    // Renames of the settings file per Read Module Settings, and reads of
    // it when the port list is opened.
    FileWatch watch(config.iniPath());
    QTest::mouseClick(w.cmdReadSettings, Qt::LeftButton);
    runEventsUntil([&] { return w.lblNotice->text().startsWith(QLatin1String("Read at ")); }, 2000);
    const int renames = watch.take().renames;
    // And per lumaveractl restore handed to the window: thirteen steps, the
    // read-back, and the colours kept in one replace.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("module.ini"));
    settings.slotColors[5] = {1, 2, 3}; // colours the settings file does not hold yet
    module.module->options().answer.reset();
    if (const WriteResult saved = SaveModuleConfig(file, settings); !saved) {
        std::fprintf(stderr, "%s\n", qPrintable(saved.reason));
        return 1;
    }
    QProcess restore;
    restore.start(QStringLiteral(LUMAVERACTL), {"--port", device, "restore", file, "--gap", "0"});
    restore.waitForStarted();
    while (restore.state() != QProcess::NotRunning)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const int restoreRenames = watch.take().renames;
    if (restore.exitCode() != 0) {
        std::fprintf(stderr, "restore through the window failed: %s\n",
                     restore.readAllStandardError().constData());
        return 1;
    }
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    watch.take();
    QTest::mouseClick(w.cboComm, Qt::LeftButton);
    const int listReads = watch.take().opens;

    // An event's wait for its turn while the window connects to a bench
    // that takes the connection and never answers, beside the idle window's.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t atSize = sizeof at;
    if (::bind(silent, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0 ||
        ::listen(silent, 8) != 0 ||
        ::getsockname(silent, reinterpret_cast<sockaddr *>(&at), &atSize) != 0)
        return 1;
    config.write("[Ports]\r\nCOM1=rfc2217://127.0.0.1:" + QByteArray::number(ntohs(at.sin_port)) +
                 "\r\n");
    // An event's wait for its turn in the window's loop: the loop's answer
    // to a click, a paint or a screen reader's question alike.
    const auto eventWaits = [&](int count) {
        Stats waits;
        for (int i = 0; i < count; ++i) {
            QTest::qWait(20);
            QElapsedTimer posted;
            posted.start();
            QTimer::singleShot(0, &form, [&] { waits.add(ms(posted)); });
            runEventsUntil([&] { return int(waits.samples.size()) > i; }, 1000);
        }
        return waits;
    };
    const Stats idleClick = eventWaits(20);
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton); // connecting, for the window's timeout
    if (!w.lblNotice->text().startsWith(QLatin1String("Connecting"))) {
        std::fprintf(stderr, "not connecting: %s\n", qPrintable(w.lblNotice->text()));
        return 1;
    }
    const Stats connectingClick = eventWaits(20);
    if (!w.lblNotice->text().startsWith(QLatin1String("Connecting")))
        return 1;
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton); // called off
    ::close(silent);

    // The traffic log under a flood: 100,000 events arrive in bursts of a
    // thousand while clicks are posted to the window; how long each click
    // waits for its turn.
    TrafficModel model;
    TrafficLogWindow log(&model, &form);
    log.show();
    Stats clickWait;
    {
        int sent = 0;
        QTimer flood;
        QObject::connect(&flood, &QTimer::timeout, [&] {
            for (int i = 0; i < 1000; ++i, ++sent)
                model.append({TrafficEvent::Kind::Discarded,
                              MonotonicNs(),
                              0,
                              QByteArray::number(sent),
                              {}});
            if (sent >= 100000)
                flood.stop();
        });
        QElapsedTimer posted;
        QObject::connect(w.cmdConnect, &QPushButton::pressed, [&] { clickWait.add(ms(posted)); });
        QTimer clicker;
        QObject::connect(&clicker, &QTimer::timeout, [&] {
            posted.start();
            const QPoint at = w.cmdConnect->rect().center();
            QCoreApplication::postEvent(
                w.cmdConnect,
                new QMouseEvent(QEvent::MouseButtonPress, at, w.cmdConnect->mapToGlobal(at),
                                Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        });
        flood.start(0);
        clicker.start(25);
        while (flood.isActive())
            QCoreApplication::processEvents();
        clicker.stop();
    }

    std::printf("Lumavera timings (%d reply waits, %d colour frames)\n", rounds, rounds * 10);
    report("start-up to window shown", startup, "ms");
    report("reply wait, click to tick", waitLength, "ms");
    report("reply wait CPU, 460 ms of waiting", waitCpu, "ms");
    report("Read Module Settings CPU, whole exchange", exchangeCpu, "ms");
    report("tick to settings reply applied (30 keys)", apply, "ms");
    report("click to five bytes at the module", click, "us");
    report("30 slot keys, one replace each", single, "ms");
    report("30 slot keys, one replace for all", batch, "ms");
    std::printf("%-44s %d\n", "renames of the file per Read Module Settings", renames);
    std::printf("%-44s %d\n", "renames per lumaveractl restore via the window", restoreRenames);
    std::printf("%-44s %d\n", "reads of the file when the port list opens", listReads);
    report("a click's wait during a 100,000-event flood", clickWait, "ms");
    report("an event's wait, the window idle", idleClick, "ms");
    report("an event's wait, connecting to a silent bench", connectingClick, "ms");
    return 0;
}
