// The settings file: written one key at a time or in batches without
// touching any other byte, and never left short by a full disk, a refusal,
// a kill or a second writer. How it is read is tst_wineprofile's, against
// Windows' own profile reader.

#include "settings/ini.h"
#include "settings/profile.h"
#include "settings/settings.h"
#include "support/pty.h"

#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lumavera;

class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void writes_data();
    void writes();
    void refusedWritesChangeNothing_data();
    void refusedWritesChangeNothing();
    void killDuringWritesNeverTruncates();
    void twoProcessesLoseNothing();
    void appendOnAFullDiskLeavesWholeLines();
    void fileOnDisk();
};

void SettingsTest::writes_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("after");
    struct Row
    {
        const char *name;
        QByteArray before;
        const char *key; // Section/Key=value
        QByteArray after;
    };
    const Row rows[] = {
        {"new file is CRLF", "", "Settings/CommPort=12", "[Settings]\r\nCommPort=12\r\n"},
        {"replace keeps CRLF", "[S]\r\nk=1\r\n", "S/k=12", "[S]\r\nk=12\r\n"},
        {"new key keeps LF", "[S]\nA=1\n", "S/B=2", "[S]\nA=1\nB=2\n"},
        {"comments, odd lines, other sections untouched",
         "; mine\r\n[O]\r\nX = y \r\n[S]\r\n; n\r\nk=1\r\nodd\r\n", "S/k=2",
         "; mine\r\n[O]\r\nX = y \r\n[S]\r\n; n\r\nk=2\r\nodd\r\n"},
        {"new key after the last key of its section", "[C]\nR=1\n; c\n\n[S]\nk=1\n", "c/G=5",
         "[C]\nR=1\nG=5\n; c\n\n[S]\nk=1\n"},
        {"new key in an empty section", "[C]\r\n[S]\r\n", "S/k=3", "[C]\r\n[S]\r\nk=3\r\n"},
        {"new section at the end, newline added", "[A]\nx=1", "S/k=3", "[A]\nx=1\n[S]\nk=3\n"},
        {"header without newline", "[S]", "S/k=1", "[S]\r\nk=1\r\n"},
        {"case-insensitive, the file's spelling kept", "[s]\r\n  K = 1\r\n", "S/k=12",
         "[s]\r\n  K=12\r\n"},
        {"first of two keys replaced", "[S]\nk=1\nk=2\n", "S/k=9", "[S]\nk=9\nk=2\n"},
        {"byte-order mark kept", "\xEF\xBB\xBF[S]\r\nA=1\r\n", "S/A=2",
         "\xEF\xBB\xBF[S]\r\nA=2\r\n"},
        {"mixed endings kept line by line", "[S]\r\nA=1\nB=2\r\n", "S/A=7", "[S]\r\nA=7\nB=2\r\n"},
        {"UTF-16 stays UTF-16", "\xFF\xFE", "S/k=1", ""},
        {"UTF-16 BE stays UTF-16 BE", "\xFE\xFF", "S/k=1", ""},
    };
    for (const Row &r : rows)
        QTest::newRow(r.name) << r.before << QByteArray(r.key) << r.after;
}

void SettingsTest::writes()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, after);
    const QByteArray section = key.left(key.indexOf('/'));
    const QByteArray name = key.mid(section.size() + 1, key.indexOf('=') - section.size() - 1);
    const QByteArray value = key.mid(key.indexOf('=') + 1);
    TempConfig config;
    if (before.size() == 2 && before[0] != '[') {
        // A file from Windows in UTF-16 is written back in UTF-16.
        const bool le = before == "\xFF\xFE";
        const auto utf16 = [&](const QString &text) {
            QStringEncoder encode(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
            return before + QByteArray(encode(text));
        };
        config.write(utf16(QStringLiteral("[S]\r\nk=3\r\n; Grüße\r\n")));
        QCOMPARE(ReadIniValue(QString::fromLatin1(section), QString::fromLatin1(name)),
                 QStringLiteral("3"));
        after = utf16(QStringLiteral("[S]\r\nk=1\r\n; Grüße\r\n"));
    } else if (!before.isEmpty()) {
        config.write(before);
    }
    QVERIFY(WriteIniValue(QString::fromLatin1(section), QString::fromLatin1(name),
                          QString::fromLatin1(value)));
    QCOMPARE(config.read(), after);
}

// Writes that must not happen, each leaving the file as it was and saying
// why: values that would not read back, files this tool did not write, and
// folders and disks that refuse.
void SettingsTest::refusedWritesChangeNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a line break in a value") << "value"
                                             << "cannot be stored";
    QTest::newRow("one bad value stops a batch") << "batch"
                                                 << "254 characters";
    QTest::newRow("larger than 1 MiB") << "large"
                                       << "larger than 1 MiB";
    QTest::newRow("a folder where the file should be") << "folder"
                                                       << "not a regular file";
    QTest::newRow("read-only folder") << "read-only"
                                      << "read-only";
    QTest::newRow("full disk") << "full"
                               << "the disk is full";
}

void SettingsTest::refusedWritesChangeNothing()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    // Names and values that would not read back as written.
    for (const char *bad : {"k=1\r\n[Evil]", "\"quoted\""})
        QVERIFY(!profile::isStorable("S", "k", bad));
    for (const char *key : {"a=b", ";k", " k"})
        QVERIFY(!profile::isStorable("S", key, "1"));
    QVERIFY(!profile::isStorable("S]", "k", "1") && !profile::isStorable("", "k", "1"));
    TempConfig config;
    const QString folder = QFileInfo(config.iniPath()).absolutePath();
    const QByteArray folderName = QFile::encodeName(folder);
    QByteArray before = "[Settings]\r\nCommPort=4\r\n";
    if (kind == QLatin1String("large"))
        before += QByteArray(IniFile::MaxSize, '\n');
    // A real full file system where this process may mount one.
    const bool mounted = kind == QLatin1String("full") &&
                         ::mount("tmpfs", folderName.constData(), "tmpfs", 0, "size=64k") == 0;
    const auto unmount = qScopeGuard([&] {
        if (mounted)
            ::umount2(folderName.constData(), MNT_DETACH);
    });
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(config.iniPath()));
    else
        config.write(before);
    if (mounted) {
        QFile filler(folder + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, 'x')) == 4096 || filler.write("x", 1) == 1) {
        }
    }
    QList<IniEdit> edits = CommPortEdits(QStringLiteral("5")) + SlotColorEdits(9, {1, 2, 3});
    if (kind == QLatin1String("value"))
        edits = CommPortEdits(QStringLiteral("5\r\n[Other]\r\nx=1"));
    if (kind == QLatin1String("batch"))
        edits << IniEdit{"Ports", "COM1", QString(255, u'x')};

    // In a child, where root must become nobody to meet a read-only folder,
    // and where no file system could be mounted a file size limit fails the
    // writes as a full disk would.
    const bool readOnly = kind == QLatin1String("read-only");
    const bool child = readOnly || (kind == QLatin1String("full") && !mounted);
    if (readOnly)
        QVERIFY(::chmod(QFile::encodeName(QFileInfo(folder).path()).constData(), 0755) == 0 &&
                ::chmod(folderName.constData(), 0555) == 0);
    else if (child)
        reason = QStringLiteral("too large");
    QString why;
    if (!child) {
        why = WriteIniValues(edits).reason;
    } else {
        int pipeFds[2];
        QVERIFY(::pipe(pipeFds) == 0);
        if (::fork() == 0) {
            const rlimit limit{rlim_t(before.size() + 10), rlim_t(before.size() + 10)};
            if (!readOnly)
                std::signal(SIGXFSZ, SIG_IGN), ::setrlimit(RLIMIT_FSIZE, &limit);
            else if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(3);
            const QByteArray said = WriteIniValues(edits).reason.toUtf8();
            ::_exit(::write(pipeFds[1], said.constData(), size_t(said.size())) < 0);
        }
        ::close(pipeFds[1]);
        QFile said;
        QVERIFY(said.open(pipeFds[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        why = QString::fromUtf8(said.readAll());
        int status = 0;
        ::wait(&status);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (WEXITSTATUS(status) == 3)
            QSKIP("cannot drop privileges to check a read-only folder");
    }
    QVERIFY2(why.contains(reason), qPrintable(why));
    if (kind == QLatin1String("folder"))
        QVERIFY(QFileInfo(config.iniPath()).isDir());
    else
        QCOMPARE(config.read(), before);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).filter(".ini."), QStringList());
    QFile::remove(folder + QStringLiteral("/filler"));
    // Whatever it is, a file this tool cannot use reads as empty.
    const bool usable = kind != QLatin1String("large") && kind != QLatin1String("folder");
    QCOMPARE(Settings::load(config.iniPath()).commPortText,
             usable ? QStringLiteral("4") : QString());
}

void SettingsTest::killDuringWritesNeverTruncates()
{
    TempConfig config;
    QByteArray seed = "[Settings]\r\nCommPort=1\r\n[Colors]\r\n";
    for (int i = 1; i <= 10; ++i)
        seed += QStringLiteral("Red%1=%1\r\nGreen%1=%1\r\nBlue%1=%2\r\n")
                    .arg(i)
                    .arg(i + 200)
                    .toLatin1();
    config.write(seed);
    QRandomGenerator random(20261207);
    QSet<QByteArray> portsSeen;
    for (int round = 0; round < 40; ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            for (unsigned n = 0;; ++n)
                WriteIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort"),
                              QString::number(n % 20 + 1));
        }
        ::usleep(useconds_t(random.bounded(2000, 40000)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const Settings now = Settings::parse(config.read());
        QVERIFY2(now.commPort() == now.commPortText.toInt(), qPrintable(now.commPortText));
        portsSeen << now.commPortText.toLatin1();
        for (int i = 0; i < 10; ++i)
            QCOMPARE(now.slotColors[i], std::optional(Rgb{std::uint8_t(i + 1), std::uint8_t(i + 1),
                                                          std::uint8_t(i + 201)}));
    }
    // The children really were writing when they were killed.
    QVERIFY(portsSeen.size() > 1);

    // Temporary files a kill left behind go with the next write once they
    // are a minute old; a fresh one (another writer's, maybe) stays.
    const QDir dir(QFileInfo(config.iniPath()).absolutePath());
    const QStringList pattern{QStringLiteral("lumavera.ini.??????")};
    QFile fresh(dir.filePath(QStringLiteral("lumavera.ini.Fresh1")));
    QVERIFY(fresh.open(QIODevice::WriteOnly));
    fresh.close();
    for (const QString &name : dir.entryList(pattern, QDir::Files)) {
        QFile old(dir.filePath(name));
        if (name != QLatin1String("lumavera.ini.Fresh1") && old.open(QIODevice::ReadWrite))
            old.setFileTime(QDateTime::currentDateTime().addSecs(-120),
                            QFileDevice::FileModificationTime);
    }
    QVERIFY(WriteIniValues(CommPortEdits(QStringLiteral("9"))));
    QCOMPARE(dir.entryList(pattern, QDir::Files), QStringList{"lumavera.ini.Fresh1"});
}

void SettingsTest::twoProcessesLoseNothing()
{
    TempConfig config;
    config.write("[Settings]\r\nCommPort=2\r\n");
    const int writes = 1000;
    pid_t children[2];
    for (int who = 0; who < 2; ++who) {
        children[who] = ::fork();
        if (children[who] == 0) {
            // Each writer has keys of its own; neither may lose the other's.
            const QString section = who == 0 ? QStringLiteral("A") : QStringLiteral("B");
            for (int i = 0; i < writes; ++i)
                WriteIniValue(section, QStringLiteral("k%1").arg(i % 100), QString::number(i));
            ::_exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const QByteArray file = config.read();
    for (const char *section : {"A", "B"}) {
        for (int k = 0; k < 100; ++k)
            QCOMPARE(profile::valueIn(file, section, "k" + QByteArray::number(k)),
                     QByteArray::number(writes - 100 + k));
    }
    QCOMPARE(profile::valueIn(file, "Settings", "CommPort"), QByteArray("2"));
}

// Where the file lives, what a first write makes, a link written through,
// thirty keys in one batch as thirty single writes, and what the typed
// reading makes of what it finds.
void SettingsTest::fileOnDisk()
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    for (const char *home : {"/tmp/cfg", "/tmp/cfg/"}) {
        qputenv("XDG_CONFIG_HOME", home);
        QCOMPARE(IniPath(), QStringLiteral("/tmp/cfg/lumavera/lumavera.ini"));
    }
    qputenv("XDG_CONFIG_HOME", "relative/cfg");
    QCOMPARE(IniFolder(), QDir::homePath() + QStringLiteral("/.config/lumavera/"));
    qputenv("XDG_CONFIG_HOME", saved);

    TempConfig config;
    QCOMPARE(ReadIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort")), QString());
    QVERIFY(!QFile::exists(config.iniPath()));
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("mine.ini"));
    QVERIFY(QDir().mkpath(QFileInfo(config.iniPath()).absolutePath()));
    QVERIFY(QFile::link(target, config.iniPath()));
    QVERIFY(WriteIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort"),
                          QStringLiteral("12")));
    QVERIFY(QFileInfo(config.iniPath()).isSymLink());
    QCOMPARE(config.read(), QByteArray("[Settings]\r\nCommPort=12\r\n"));

    std::array<Rgb, SlotCount> colours{};
    for (int i = 0; i < SlotCount; ++i)
        colours[i] = {std::uint8_t(200 + i), std::uint8_t(i), std::uint8_t(17 * i)};
    TempConfig single;
    single.write("; mine\n[colors]\nblue3 = 9\n; keep\nRed10=1\n\n[Ports]\nCOM1=/dev/x");
    for (const IniEdit &e : SlotTableEdits(colours))
        WriteIniValue(e.section, e.key, e.value);
    const QByteArray oneByOne = single.read();
    single.write("; mine\n[colors]\nblue3 = 9\n; keep\nRed10=1\n\n[Ports]\nCOM1=/dev/x");
    QVERIFY(SettingsStore(single.iniPath()).saveSlots(colours));
    QCOMPARE(single.read(), oneByOne);
    const Settings back = SettingsStore(single.iniPath()).load();
    QCOMPARE(back.slotColors[9], std::optional(Rgb{209, 9, 153}));
    QCOMPARE(back.pins.value(1), QStringLiteral("/dev/x"));

    const Settings s =
        Settings::parse("[Settings]\r\nCommPort=12\r\n[Colors]\r\nRed2=1\r\nGreen2=2\r\n"
                        "Blue2=3\r\nRed3=1\r\nGreen3=x\r\nBlue3=3\r\nred4=1\r\ngreen4=2\r\n"
                        "BLUE4=256\r\n[Ports]\r\nCOM3=/dev/a\r\nCOM03=/dev/b\r\nCOM4=\r\n"
                        "COM4=/dev/c\r\ncom20 = /dev/d \r\nCOM21=/dev/e\r\n");
    QCOMPARE(s.commPort(), 12);
    QCOMPARE(s.slotColors[1], std::optional(Rgb{1, 2, 3}));
    QVERIFY(!s.slotColors[0] && !s.slotColors[2] && !s.slotColors[3]);
    QCOMPARE(s.pins, (QMap<int, QString>{{3, "/dev/a"}, {20, "/dev/d"}}));
    for (const char *port : {"21", "0", "-3", "abc", ""})
        QCOMPARE(Settings::parse(QByteArray("[Settings]\r\nCommPort=") + port).commPort(), 1);
}

// A log line that does not fit (a full disk, here a file size limit that
// fails the write the same way) leaves the file as it was, so that the next
// line, once there is room, starts on a line of its own.
void SettingsTest::appendOnAFullDiskLeavesWholeLines()
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("station.csv"));
    QVERIFY(AppendToFile(log, "first,line\n", "time,result\n").ok());
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(QFileInfo(log).size() + 10), rlim_t(QFileInfo(log).size() + 10)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(AppendToFile(log, "second,line that does not fit\n", "x\n").ok() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    QCOMPARE(WEXITSTATUS(status), 0);
    QVERIFY(AppendToFile(log, "third,line\n", "x\n").ok());
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("time,result\nfirst,line\nthird,line\n"));
}

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
