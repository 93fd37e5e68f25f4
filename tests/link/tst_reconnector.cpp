// The loss and return of a device, on real pseudo-terminals: the link waits
// for the same name to come back, and a return that another program still
// holds is tried again until it opens.

#include "link/modulelink.h"
#include "link/portwatcher.h"
#include "link/reconnector.h"
#include "support/pty.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class ReconnectorTest : public QObject
{
    Q_OBJECT

private slots:
    void returnHeldByAnotherProgramIsTriedAgain();
};

void ReconnectorTest::returnHeldByAnotherProgramIsTriedAgain()
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("module"));
    auto first = std::make_unique<Pty>();
    QVERIFY(QFile::link(first->slavePath(), name));

    ModuleLink link;
    PortWatcher watcher;
    watcher.setPins({{1, name}});
    Reconnector reconnector(&link, &watcher);
    QSignalSpy waiting(&reconnector, &Reconnector::waiting);
    QSignalSpy refused(&reconnector, &Reconnector::refused);
    QSignalSpy reconnected(&reconnector, &Reconnector::reconnected);
    link.setDevicePath(name);
    QVERIFY2(link.open(), qPrintable(link.openError()));
    reconnector.opened(name);

    first->closeMaster();
    QVERIFY(waiting.wait(3000));
    QCOMPARE(waiting.first().first().toString(), name);
    QVERIFY(!link.isOpen());

    // The device comes back under its name while another program holds it.
    Pty second;
    QProcess holder;
    holder.setStandardInputFile(second.slavePath());
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(holder.waitForStarted());
    QVERIFY(QFile::remove(name));
    QVERIFY(QFile::link(second.slavePath(), name));
    QVERIFY(refused.wait(3000));
    QVERIFY2(refused.first().first().toString().contains(QLatin1String("sleep")),
             qPrintable(refused.first().first().toString()));
    QVERIFY(refused.first().last().toBool());
    QVERIFY(!link.isOpen());

    // Once it lets go, a later look opens it, with no new device event.
    holder.kill();
    holder.waitForFinished();
    QTRY_VERIFY_WITH_TIMEOUT(reconnected.size() == 1, 5000);
    QVERIFY(link.isOpen());
    link.setFrameBody({1, 2, 3, 4});
    QVERIFY(link.SendCommandFrame());
    QCOMPARE(second.read(5), QByteArray("\xFF\x01\x02\x03\x04", 5));
}

QTEST_GUILESS_MAIN(ReconnectorTest)
#include "tst_reconnector.moc"
