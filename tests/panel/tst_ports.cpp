// Ports that keep their numbers and come back by themselves, against the
// virtual module (its --link plays a stable device name) and pseudo-terminals.

#include "link/portmap.h"
#include "panel/window.h"
#include "settings/profile.h"
#include "support/moduleprocess.h"

#include <QMessageBox>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>

namespace {

bool isOpen(const Ui &w)
{
    return w.cmdConnect->text() == QLatin1String("Disconnect");
}

// The COM number whose description starts with `path`, or 0.
int numberOf(const Ui &w, const QString &path)
{
    for (int i = 0; i < w.cboComm->count(); ++i) {
        if (w.cboComm->itemData(i, Qt::ToolTipRole).toString().startsWith(path))
            return i + 1;
    }
    return 0;
}

// The virtual module behind a pinned COM1, and a window started on it.
struct PinnedModule
{
    QTemporaryDir dir;
    QString link = dir.filePath(QStringLiteral("module"));
    TempConfig config;
    std::unique_ptr<ModuleProcess> module;

    PinnedModule() { config.write("[Ports]\r\nCOM1=" + link.toLocal8Bit() + "\r\n"); }

    // Plugs the module in (again): a new pseudo-terminal behind the same name.
    bool plug()
    {
        module = std::make_unique<ModuleProcess>(link, QStringList{});
        return module->started();
    }
    void unplug() { module.reset(); }
};

} // namespace

class PortsTest : public QObject
{
    Q_OBJECT

private slots:
    void returningDeviceReconnects();
    void userDisconnectIsNeverUndone();
    void stableNameIsPinnedOnce();
    void busyDeviceNamesItsHolder();
    void numbersAssignedInTheDialog();
};

void PortsTest::returningDeviceReconnects()
{
    PinnedModule line;
    const QString &link = line.link;
    QVERIFY(line.plug());
    frmMain form;
    form.show();
    const Ui w(form);
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    QVERIFY(isOpen(w));

    // Unplugged: closed, said beside Connect, no box (a box would stop this
    // test where it stands).
    line.unplug();
    QTRY_VERIFY_WITH_TIMEOUT(!isOpen(w), 3000);
    QVERIFY(w.fComm->isEnabled() && !w.fRGB->isEnabled());
    QVERIFY2(w.lblNotice->text().contains(link), qPrintable(w.lblNotice->text()));
    QVERIFY(w.lblPortInfo->text().contains(QLatin1String("missing")));
    form.grab().save(QStringLiteral("window-waiting-for-device.png"));

    QVERIFY(!isOpen(w));

    BoxAnswerer boxes;
    // Plugged back (a new pseudo-terminal behind the same name): connected
    // again, and the next colour reaches the new line.
    QVERIFY(line.plug());
    line.module->take();
    QTRY_VERIFY_WITH_TIMEOUT(isOpen(w), 3000);
    QVERIFY(w.lblNotice->text().startsWith(QLatin1String("Reconnected")));
    w.Slider_Blue->setValue(77);
    QTest::mouseClick(w.cmdSetColor, Qt::LeftButton);
    QVERIFY(waitUntil(
        [&] { return line.module->lines.contains(QStringLiteral("SetColor r=0 g=0 b=77")); },
        3000));
    QCOMPARE(boxes.seen.size(), 0);
}

void PortsTest::userDisconnectIsNeverUndone()
{
    PinnedModule line;
    QVERIFY(line.plug());
    frmMain form;
    form.show();
    const Ui w(form);
    BoxAnswerer boxes;

    // Disconnected by the user, then the device goes and comes back.
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    QVERIFY(isOpen(w));
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    line.unplug();
    QVERIFY(line.plug());
    QTest::qWait(600);
    QVERIFY(!isOpen(w));

    // Lost, then the user tries Connect while it is away: the user's turn
    // ends the wait, and a return later changes nothing.
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    QVERIFY(isOpen(w));
    line.unplug();
    QTRY_VERIFY_WITH_TIMEOUT(!isOpen(w), 3000);
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    QCOMPARE(boxes.texts(), QStringList{"Selected Com Port Not Available"});
    QVERIFY2(boxes.seen[0].details.contains(QLatin1String("not plugged in")),
             qPrintable(boxes.seen[0].details));
    QVERIFY(line.plug());
    QTest::qWait(600);
    QVERIFY(!isOpen(w));
}

void PortsTest::stableNameIsPinnedOnce()
{
    Pty adapter;
    QTemporaryDir byId;
    const QString stable = byId.filePath(QStringLiteral("usb-Lumavera_LED_Module_A1B2-if00-port0"));
    QVERIFY(QFile::link(adapter.slavePath(), stable));
    qputenv("LUMAVERA_SERIAL_BY_ID", QFile::encodeName(byId.path()));
    TempConfig config;
    config.write("[Settings]\r\nCommPort=1\r\n; mine\r\n[Ports]\r\nCOM20=/dev/pts/999\r\n");
    BoxAnswerer boxes;
    {
        frmMain form;
        form.show();
        const Ui w(form);
        QTRY_VERIFY(numberOf(w, adapter.slavePath()) > 0);
        const int number = numberOf(w, adapter.slavePath());
        w.cboComm->setCurrentIndex(number - 1);
        QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
        QVERIFY(isOpen(w));
        const QByteArray pinned = config.read();
        QCOMPARE(profile::valueIn(pinned, "Ports", "COM" + QByteArray::number(number)),
                 QFile::encodeName(stable));
        // The user's own pin stays as it was.
        QCOMPARE(profile::valueIn(pinned, "Ports", "COM20"), QByteArray("/dev/pts/999"));

        // Connecting again writes nothing: the number is pinned now.
        QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
        QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
        QVERIFY(isOpen(w));
        QCOMPARE(config.read(), pinned);
        QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
        w.cboComm->setCurrentIndex(0);
    }
    // Only a device with a stable name has one to pin.
    Pty plain;
    QCOMPARE(StableNameFor(adapter.slavePath()), stable);
    QCOMPARE(StableNameFor(plain.slavePath()), QString());
    QCOMPARE(boxes.texts(), QStringList());
    qunsetenv("LUMAVERA_SERIAL_BY_ID");
}

void PortsTest::busyDeviceNamesItsHolder()
{
    Bench bench;
    const Ui w = bench.ui();
    // A program that opened the device without a lock, as a terminal would.
    QProcess holder;
    holder.setStandardInputFile(bench.pty.slavePath());
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(holder.waitForStarted());
    BoxAnswerer boxes;
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    QCOMPARE(boxes.texts(), QStringList{"Selected Com Port Not Available"});
    const QString expected = QStringLiteral("in use by sleep (pid %1)").arg(holder.processId());
    QVERIFY2(boxes.seen[0].details.contains(expected), qPrintable(boxes.seen[0].details));
    QVERIFY(bench.isClosedState());
    holder.kill();
    holder.waitForFinished();
    QVERIFY(bench.connect());
}

void PortsTest::numbersAssignedInTheDialog()
{
    Pty pty;
    TempConfig config;
    config.write("[Settings]\r\nCommPort=3\r\n");
    BoxAnswerer boxes;
    frmMain form;
    form.show();
    const Ui w(form);
    auto *dots = form.findChild<QPushButton *>(QStringLiteral("cmdPorts"));
    // Inside "Select COM Port", right of the list, moving nothing.
    QVERIFY(w.fComm->rect().contains(dots->geometry()));
    QVERIFY(!dots->geometry().intersects(w.cboComm->geometry()));

    QStringList seen;
    QTimer::singleShot(200, [&] {
        auto *dialog = form.findChild<QDialog *>(QStringLiteral("frmPorts"));
        if (!dialog)
            return;
        auto *list = dialog->findChild<QTableWidget *>(QStringLiteral("lstPorts"));
        auto *device = dialog->findChild<QComboBox *>(QStringLiteral("cboDevice"));
        list->selectRow(2);
        device->setEditText(pty.slavePath());
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdPin")),
                          Qt::LeftButton);
        seen << list->item(2, 0)->text() + ' ' + list->item(2, 1)->text();
        list->selectRow(5);
        device->setEditText(QStringLiteral("/dev/rfcomm7"));
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdPin")),
                          Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdUnpin")),
                          Qt::LeftButton);
        seen << list->item(5, 1)->text();
        dialog->grab().save(QStringLiteral("port-numbers.png"));
        dialog->reject();
    });
    QTest::mouseClick(dots, Qt::LeftButton);
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen[0], "COM3 " + pty.slavePath() + QStringLiteral(" \u2014 pinned"));
    QVERIFY(!seen[1].contains(QLatin1String("rfcomm7")));
    const QByteArray file = config.read();
    QCOMPARE(profile::valueIn(file, "Ports", "COM3"), QFile::encodeName(pty.slavePath()));
    QCOMPARE(profile::valueIn(file, "Ports", "COM6"), QByteArray());
    // The window follows at once: COM3 is the pseudo-terminal now.
    QVERIFY(w.lblPortInfo->text().startsWith("COM3: " + pty.slavePath()));
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    QVERIFY(isOpen(w));
    QVERIFY(!dots->isEnabled());
    QCOMPARE(boxes.texts(), QStringList());
}

QTEST_MAIN(PortsTest)
#include "tst_ports.moc"
