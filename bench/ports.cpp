// Ports coming and going, timed against the virtual module: from a device
// returning to the window connected again, from a plug to the list showing
// it, and the CPU an idle window spends connected, while another program
// makes pseudo-terminals beside its pinned one, just after a loss and
// waiting for a return. Each CPU figure has its floor beside it.
//   lumavera-bench-ports [ROUNDS] [IDLE-SECONDS]

#include "cpu.h"
#include "moduleprocess.h"
#include "panel/mainwindow.h"
#include "support/pty.h"
#include "support/ui.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace lumavera;

namespace {

void report(const char *what, std::vector<double> v, const char *unit)
{
    std::sort(v.begin(), v.end());
    if (v.empty()) {
        std::printf("%-52s no samples\n", what);
        return;
    }
    std::printf("%-52s median %8.1f %s  (min %.1f, max %.1f, n=%zu)\n", what, v[v.size() / 2], unit,
                v.front(), v.back(), v.size());
}

// Another program's work in a watched folder: 100 pseudo-terminals made
// and closed one after another over about two seconds.
// With `none`, the same time without them: the floor of watching a child.
int makePseudoTerminals(bool none)
{
    for (int i = 0; i < 100; ++i) {
        const int fd = none ? -1 : ::posix_openpt(O_RDWR | O_NOCTTY);
        if (fd >= 0 && ::grantpt(fd) == 0 && ::unlockpt(fd) == 0)
            ::usleep(20000);
        if (none)
            ::usleep(20000);
        if (fd >= 0)
            ::close(fd);
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && QByteArray(argv[1]).startsWith("--ptys"))
        return makePseudoTerminals(QByteArray(argv[1]) == "--ptys-none");
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;

    QTemporaryDir dir;
    QTemporaryDir byId;
    qputenv("LUMAVERA_SERIAL_BY_ID", QFile::encodeName(byId.path()));
    const QString link = dir.filePath(QStringLiteral("module"));
    TempConfig config;
    // A second number pinned to a pseudo-terminal: /dev/pts is watched too.
    Pty pinned;
    config.write("[Ports]\r\nCOM1=" + link.toLocal8Bit() +
                 "\r\nCOM2=" + pinned.slavePath().toLocal8Bit() + "\r\n");
    auto module = std::make_unique<ModuleProcess>(link, QStringList{});
    if (!module->started())
        return 1;
    MainWindow form;
    form.show();
    const Ui w(form);
    const auto open = [&] { return w.cmdConnect->text() == QLatin1String("Disconnect"); };
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    if (!open())
        return 1;

    // Measured once the window has settled: its first look at the system's
    // ports, and the look after each change, are work, not idling.
    QTest::qWait(1000);
    const double connectedCpu = idleCpuMilliseconds(idleSeconds * 1000);
    // A read from the window, click to the lists showing the answer, against
    // the module at 9600 baud.
    std::vector<double> reads;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(w.cmdReadSettings, Qt::LeftButton);
        if (!runEventsUntil(
                [&] { return w.lblNotice->text().startsWith(QLatin1String("Read at ")); }, 3000))
            return 1;
        reads.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    // The CPU of the window while another program runs for two seconds,
    // making pseudo-terminals or not.
    const auto whileOther = [](const char *mode) {
        QProcess other;
        other.start(QCoreApplication::applicationFilePath(), {QLatin1String(mode)});
        other.waitForStarted();
        const double before = cpuMilliseconds();
        QEventLoop running;
        QObject::connect(&other, &QProcess::finished, &running, &QEventLoop::quit);
        running.exec();
        idleCpuMilliseconds(300); // the settle after the last event
        return cpuMilliseconds() - before;
    };
    const double otherCpu = whileOther("--ptys");
    const double otherFloor = whileOther("--ptys-none");
    std::vector<double> back;
    std::vector<double> afterLoss;
    double waitingCpu = 0;
    for (int i = 0; i < rounds; ++i) {
        module.reset();
        const double beforeLoss = cpuMilliseconds();
        idleCpuMilliseconds(2000);
        afterLoss.push_back(cpuMilliseconds() - beforeLoss);
        if (open())
            return 1;
        if (i == 0)
            waitingCpu = idleCpuMilliseconds(idleSeconds * 1000);
        module = std::make_unique<ModuleProcess>(link, QStringList{});
        QElapsedTimer clock;
        clock.start();
        if (!module->started())
            return 1;
        waitUntil([&] { return QFileInfo(link).isSymLink(); }, 3000);
        const qint64 linked = clock.nsecsElapsed();
        if (!waitUntil(open, 5000))
            return 1;
        back.push_back(double(clock.nsecsElapsed() - linked) / 1e6);
    }

    // A plug: a stable name appears for a new device.
    std::vector<double> listed;
    for (int i = 0; i < rounds; ++i) {
        Pty adapter;
        const QString name =
            byId.filePath(QStringLiteral("usb-Bench_Adapter_%1-if00-port0").arg(i));
        QElapsedTimer clock;
        clock.start();
        QFile::link(adapter.slavePath(), name);
        const auto shown = [&] {
            for (int n = 0; n < w.cboComm->count(); ++n) {
                if (w.cboComm->itemData(n, Qt::ToolTipRole)
                        .toString()
                        .startsWith(adapter.slavePath()))
                    return true;
            }
            return false;
        };
        if (!waitUntil(shown, 3000))
            return 1;
        listed.push_back(double(clock.nsecsElapsed()) / 1e6);
        QFile::remove(name);
        QTest::qWait(300);
    }

    std::printf("Ports against the virtual module (%d rounds)\n", rounds);
    report("device back (link made) to connected again", back, "ms");
    report("plug (stable name made) to the list showing it", listed, "ms");
    report("window read, click to the answer shown", reads, "ms");
    std::printf("%-52s (41.7 ms on the wire; the window waits its one 500 ms tick)\n", "");
    std::printf("%-52s %8.1f ms over %d s   (goal 0)\n", "CPU of an idle window, connected",
                connectedCpu, idleSeconds);
    // Each pseudo-terminal is two events in a watched folder: made, removed.
    std::printf("%-52s %8.1f ms  (%.1f ms without them: %.3f ms an event; goal 1 ms)\n",
                "CPU while another program makes 100 ptys", otherCpu, otherFloor,
                (otherCpu - otherFloor) / 200);
    report("CPU in the first 2 s after a loss (goal 30 ms)", afterLoss, "ms");
    std::printf("%-52s %8.1f ms over %d s   (goal 0)\n",
                "CPU of an idle window, waiting for a return", waitingCpu, idleSeconds);
    return 0;
}
