// The settings file as the real program treats it: started, asked to stop,
// and the file looked at afterwards.

#include "settings/profile.h"
#include "support/toolrun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/mount.h>

namespace {

ToolRun runTool(const QString &configHome, int stopAfterMs, long fileLimitBytes = -1)
{
    return ToolRun::start(LUMAVERA_BINARY, configHome, stopAfterMs, fileLimitBytes);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Fills the file system holding `folder` to the last byte.
void fill(const QString &folder)
{
    QFile filler(folder + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size()) {
    }
    while (filler.write("x", 1) == 1) {
    }
}

} // namespace

class SettingsProcessTest : public QObject
{
    Q_OBJECT

private slots:
    void fullDiskLeavesFileWhole_data();
    void fullDiskLeavesFileWhole();
    void hostileFilesStayCheap();
};

void SettingsProcessTest::fullDiskLeavesFileWhole_data()
{
    QTest::addColumn<QByteArray>("before");
    // Each file needs a new CommPort at shut-down, so the tool must write.
    QTest::newRow("new file") << QByteArray();
    QTest::newRow("small file") << QByteArray(
        "[Settings]\r\nCommPort=x\r\n[Ports]\r\nCOM3=/dev/a\r\n");
    QByteArray large = "[Settings]\r\nCommPort=x\r\n";
    for (int i = 0; large.size() < 40000; ++i)
        large += "; a comment line of the user's own, kept byte for byte " + QByteArray::number(i) +
                 "\r\n";
    QTest::newRow("large file") << large;
}

void SettingsProcessTest::fullDiskLeavesFileWhole()
{
    QFETCH(QByteArray, before);
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("cfg"));
    const QString folder = home + QStringLiteral("/lumavera");
    QVERIFY(QDir().mkpath(folder));
    const QString ini = folder + QStringLiteral("/lumavera.ini");

    // A real full file system where this process may mount one; otherwise
    // the file-size limit, which fails the same writes with EFBIG.
    const bool mounted =
        ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") == 0;
    if (!before.isEmpty())
        writeAll(ini, before);
    ToolRun run;
    if (mounted) {
        fill(folder);
        run = runTool(home, 800);
        QFile::remove(folder + QStringLiteral("/filler"));
    } else {
        qInfo("no tmpfs could be mounted here; using a file-size limit instead");
        run = runTool(home, 800, 0);
    }
    const QByteArray after = readAll(ini);
    const bool existed = QFile::exists(ini);
    const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    if (mounted)
        ::umount(QFile::encodeName(folder).constData());

    QVERIFY(run.cleanExit);
    if (before.isEmpty())
        QVERIFY(!existed);
    else
        QCOMPARE(after, before);
    // No temporary file is left behind either.
    QCOMPARE(left, before.isEmpty() ? QStringList() : QStringList{"lumavera.ini"});

    // With room again, the same shut-down saves the port.
    runTool(home, 800);
    QCOMPARE(profile::valueIn(readAll(ini), "Settings", "CommPort"), QByteArray("1"));
}

void SettingsProcessTest::hostileFilesStayCheap()
{
    QTemporaryDir dir;
    const auto startWith = [&](const QByteArray &content) {
        const QString home = dir.filePath(QString::number(content.size()));
        QDir().mkpath(home + QStringLiteral("/lumavera"));
        writeAll(home + QStringLiteral("/lumavera/lumavera.ini"), content);
        return std::pair(home, runTool(home, 1500));
    };
    const auto [emptyHome, empty] = startWith(QByteArray());
    const auto [blankHome, blank] = startWith(QByteArray(1 << 20, '\n'));
    const QByteArray huge = QByteArray(10 << 20, '\n') + "[Settings]\nCommPort=3\n";
    const auto [hugeHome, refused] = startWith(huge);

    for (const ToolRun &run : {empty, blank, refused})
        QVERIFY2(run.cleanExit, "the tool was not up and listening 1.5 s after its start");
    qInfo("CPU: empty %.0f ms, 1 MiB of blank lines %.0f ms, 10 MiB %.0f ms", empty.cpuMs,
          blank.cpuMs, refused.cpuMs);
    qInfo("peak memory: empty %ld KiB, 1 MiB of blank lines %ld KiB, 10 MiB %ld KiB",
          empty.maxRssKb, blank.maxRssKb, refused.maxRssKb);
#ifndef __SANITIZE_ADDRESS__
    // Twice the file above the baseline, and no parse of a refused file.
    // (A sanitizer's own bookkeeping would swamp both figures.)
    QVERIFY(blank.maxRssKb - empty.maxRssKb < 2 * 1024);
    QVERIFY(refused.maxRssKb - empty.maxRssKb < 2 * 1024);
#endif
    // A file this tool never wrote is never replaced.
    QCOMPARE(readAll(hugeHome + QStringLiteral("/lumavera/lumavera.ini")), huge);
}

QTEST_GUILESS_MAIN(SettingsProcessTest)
#include "tst_settingsprocess.moc"
