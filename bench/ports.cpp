// Ports coming and going, timed against the virtual module: from a device
// returning to the window connected again, from a plug to the list showing
// it, and the CPU an idle window spends connected and waiting for a return.
//   lumavera-bench-ports [ROUNDS] [IDLE-SECONDS]

#include "panel/frmmain.h"
#include "support/moduleprocess.h"
#include "cpu.h"
#include "support/pty.h"
#include "support/ui.h"

#include <QApplication>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

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

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;

    QTemporaryDir dir;
    QTemporaryDir byId;
    qputenv("LUMAVERA_SERIAL_BY_ID", QFile::encodeName(byId.path()));
    const QString link = dir.filePath(QStringLiteral("module"));
    TempConfig config;
    config.write("[Ports]\r\nCOM1=" + link.toLocal8Bit() + "\r\n");
    auto module = std::make_unique<ModuleProcess>(link, QStringList{});
    if (!module->started())
        return 1;
    frmMain form;
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
    std::vector<double> back;
    double waitingCpu = 0;
    for (int i = 0; i < rounds; ++i) {
        module.reset();
        if (!waitUntil([&] { return !open(); }, 3000))
            return 1;
        if (i == 0) {
            QTest::qWait(1000);
            waitingCpu = idleCpuMilliseconds(idleSeconds * 1000);
        }
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
    std::printf("%-52s %8.1f ms over %d s\n", "CPU of an idle window, connected", connectedCpu,
                idleSeconds);
    std::printf("%-52s %8.1f ms over %d s\n", "CPU of an idle window, waiting for a return",
                waitingCpu, idleSeconds);
    return 0;
}
