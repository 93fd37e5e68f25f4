#include "settings/ini.h"
#include "settings/profile.h"
#include "settings/settings.h"
#include "support/pty.h"

#include <QDir>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

class SettingsFileTest : public QObject
{
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void writes_data();
    void writes();
    void storableNames();
    void folder();
    void fileOnDisk();
    void killDuringWritesNeverTruncates();
    void batchEqualsSingleWrites_data();
    void batchEqualsSingleWrites();
    void utf16StaysUtf16_data();
    void utf16StaysUtf16();
    void refusedWritesChangeNothing_data();
    void refusedWritesChangeNothing();
    void danglingLinkIsWrittenThrough();
    void twoProcessesLoseNothing();
    void typedSettings();
};

void SettingsFileTest::reads_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("plain") << QByteArray("[Settings]\r\nCommPort=7\r\n") << QByteArray("Settings")
                           << QByteArray("CommPort") << QByteArray("7");
    QTest::newRow("names ignore case")
        << QByteArray("[SETTINGS]\r\ncommport=7\r\n") << QByteArray("settings")
        << QByteArray("COMMPORT") << QByteArray("7");
    QTest::newRow("white space around names and value")
        << QByteArray("  [ Settings ]  \n\t CommPort \t=  7  \n") << QByteArray("Settings")
        << QByteArray("CommPort") << QByteArray("7");
    QTest::newRow("double quotes") << QByteArray("[S]\nk=\"a b\"\n") << QByteArray("S")
                                   << QByteArray("k") << QByteArray("a b");
    QTest::newRow("single quotes")
        << QByteArray("[S]\nk='7'\n") << QByteArray("S") << QByteArray("k") << QByteArray("7");
    QTest::newRow("unmatched quotes stay")
        << QByteArray("[S]\nk=\"7'\n") << QByteArray("S") << QByteArray("k") << QByteArray("\"7'");
    QTest::newRow("first key wins")
        << QByteArray("[S]\nk=1\nk=2\n") << QByteArray("S") << QByteArray("k") << QByteArray("1");
    QTest::newRow("first section wins") << QByteArray("[S]\nk=1\n[s]\nk=2\n") << QByteArray("S")
                                        << QByteArray("k") << QByteArray("1");
    QTest::newRow("key of another section")
        << QByteArray("[A]\nk=1\n[B]\nx=2\n") << QByteArray("B") << QByteArray("k") << QByteArray();
    QTest::newRow("missing section")
        << QByteArray("[A]\nk=1\n") << QByteArray("B") << QByteArray("k") << QByteArray();
    QTest::newRow("empty value") << QByteArray("[A]\nk=\n") << QByteArray("A") << QByteArray("k")
                                 << QByteArray();
    QTest::newRow("key before any section is not in one")
        << QByteArray("k=1\n[A]\n") << QByteArray("A") << QByteArray("k") << QByteArray();
    QTest::newRow("comment is not a key")
        << QByteArray("[A]\n;k=9\nk=4\n") << QByteArray("A") << QByteArray("k") << QByteArray("4");
    QTest::newRow("equals sign inside the value")
        << QByteArray("[A]\nk=a=b\n") << QByteArray("A") << QByteArray("k") << QByteArray("a=b");
    QTest::newRow("byte-order mark")
        << QByteArray("\xEF\xBB\xBF[Settings]\r\nCommPort=3\r\n") << QByteArray("Settings")
        << QByteArray("CommPort") << QByteArray("3");
    QTest::newRow("last line without newline")
        << QByteArray("[A]\r\nk=5") << QByteArray("A") << QByteArray("k") << QByteArray("5");
    QTest::newRow("empty file") << QByteArray() << QByteArray("A") << QByteArray("k")
                                << QByteArray();
    // Where Windows' reader differs from a plain one; each row was checked
    // against kernel32 under Wine.
    QTest::newRow("bare CR ends lines")
        << QByteArray("[Settings]\rCommPort=3\r[C]\rx=1\r") << QByteArray("Settings")
        << QByteArray("CommPort") << QByteArray("3");
    QTest::newRow("bare CR and LF mixed") << QByteArray("[S]\r\rA=1\n\rB=2\r\n") << QByteArray("S")
                                          << QByteArray("B") << QByteArray("2");
    QTest::newRow("bare key line reads empty, first wins")
        << QByteArray("[S]\r\nKey\r\nKey=v\r\n") << QByteArray("S") << QByteArray("Key")
        << QByteArray();
    QTest::newRow("Ctrl-Z, VT and FF are blanks")
        << QByteArray("[\vS\f]\r\n\x1AKey\f=\v7\x1A\r\n") << QByteArray("S") << QByteArray("Key")
        << QByteArray("7");
    QTest::newRow("value cut at 254 characters")
        << QByteArray("[S]\r\nA=" + QByteArray(300, 'x') + "\r\n") << QByteArray("S")
        << QByteArray("A") << QByteArray(254, 'x');
    QTest::newRow("NUL ends a value") << QByteArray("[S]\r\nA=1\0x\r\nB=2\r\n", 17)
                                      << QByteArray("S") << QByteArray("A") << QByteArray("1");
    QTest::newRow("section name up to the last ]")
        << QByteArray("[S]]\r\nA=1\r\n") << QByteArray("S]") << QByteArray("A") << QByteArray("1");
}

void SettingsFileTest::reads()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, expected);
    QCOMPARE(profile::valueIn(content, section, key), expected);
}

void SettingsFileTest::writes_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file is CRLF")
        << QByteArray() << QByteArray("Settings") << QByteArray("CommPort") << QByteArray("12")
        << QByteArray("[Settings]\r\nCommPort=12\r\n");
    QTest::newRow("replace keeps CRLF")
        << QByteArray("[Settings]\r\nCommPort=1\r\n") << QByteArray("Settings")
        << QByteArray("CommPort") << QByteArray("12")
        << QByteArray("[Settings]\r\nCommPort=12\r\n");
    QTest::newRow("new key keeps LF")
        << QByteArray("[S]\nA=1\n") << QByteArray("S") << QByteArray("B") << QByteArray("2")
        << QByteArray("[S]\nA=1\nB=2\n");
    QTest::newRow("comments, odd lines and other sections untouched")
        << QByteArray(
               "; mine\r\n[Other]\r\nX = y \r\n[Settings]\r\n; note\r\nCommPort=1\r\nodd line\r\n")
        << QByteArray("Settings") << QByteArray("CommPort") << QByteArray("12")
        << QByteArray("; mine\r\n[Other]\r\nX = y \r\n[Settings]\r\n; note\r\nCommPort=12\r\nodd "
                      "line\r\n");
    QTest::newRow("new key after the last key of its section")
        << QByteArray("[Colors]\nRed1=1\n; c\n\n[Settings]\nCommPort=1\n") << QByteArray("colors")
        << QByteArray("Green1") << QByteArray("5")
        << QByteArray("[Colors]\nRed1=1\nGreen1=5\n; c\n\n[Settings]\nCommPort=1\n");
    QTest::newRow("new key in an empty section")
        << QByteArray("[Colors]\r\n[Settings]\r\n") << QByteArray("Settings")
        << QByteArray("CommPort") << QByteArray("3")
        << QByteArray("[Colors]\r\n[Settings]\r\nCommPort=3\r\n");
    QTest::newRow("new section at the end, missing newline added")
        << QByteArray("[A]\nx=1") << QByteArray("Settings") << QByteArray("CommPort")
        << QByteArray("3") << QByteArray("[A]\nx=1\n[Settings]\nCommPort=3\n");
    QTest::newRow("header without newline")
        << QByteArray("[Settings]") << QByteArray("Settings") << QByteArray("CommPort")
        << QByteArray("1") << QByteArray("[Settings]\r\nCommPort=1\r\n");
    QTest::newRow("replace matches case-insensitively, keeps the file's spelling")
        << QByteArray("[settings]\r\n  commport = 1\r\n") << QByteArray("Settings")
        << QByteArray("CommPort") << QByteArray("12")
        << QByteArray("[settings]\r\n  commport=12\r\n");
    QTest::newRow("first of two keys replaced")
        << QByteArray("[S]\nk=1\nk=2\n") << QByteArray("S") << QByteArray("k") << QByteArray("9")
        << QByteArray("[S]\nk=9\nk=2\n");
    QTest::newRow("byte-order mark kept")
        << QByteArray("\xEF\xBB\xBF[S]\r\nA=1\r\n") << QByteArray("S") << QByteArray("A")
        << QByteArray("2") << QByteArray("\xEF\xBB\xBF[S]\r\nA=2\r\n");
    QTest::newRow("mixed endings kept line by line")
        << QByteArray("[S]\r\nA=1\nB=2\r\n") << QByteArray("S") << QByteArray("A")
        << QByteArray("7") << QByteArray("[S]\r\nA=7\nB=2\r\n");
}

void SettingsFileTest::writes()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, after);
    const QByteArray written = profile::withValue(before, section, key, value);
    QCOMPARE(written, after);
    QCOMPARE(profile::valueIn(written, section, key), value);
}

void SettingsFileTest::storableNames()
{
    QVERIFY(profile::isStorable("Colors", "Red10", "255"));
    QVERIFY(profile::isStorable("Ports", "COM3", "/dev/ttyUSB0"));
    QVERIFY(profile::isStorable("S", "k", ""));
    QVERIFY(!profile::isStorable("S", "k", "1\r\n[Evil]"));
    QVERIFY(!profile::isStorable("S", "a=b", "1"));
    QVERIFY(!profile::isStorable("S", ";k", "1"));
    QVERIFY(!profile::isStorable("S]", "k", "1"));
    QVERIFY(!profile::isStorable("", "k", "1"));
    QVERIFY(!profile::isStorable("S", " k", "1"));
    QVERIFY(!profile::isStorable("S", "k", "\"quoted\""));

    TempConfig config;
    config.write("[Settings]\r\nCommPort=4\r\n");
    WriteIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort"),
                  QStringLiteral("5\r\n[Other]\r\nx=1"));
    QCOMPARE(config.read(), QByteArray("[Settings]\r\nCommPort=4\r\n"));
    // In a batch, one value that cannot be stored stops the whole batch,
    // and the caller is told.
    const WriteResult refused =
        WriteIniValues({{"Settings", "CommPort", "6"}, {"Ports", "COM1", QString(255, u'x')}});
    QVERIFY(!refused.ok);
    QVERIFY2(refused.reason.contains(QLatin1String("254 characters")), qPrintable(refused.reason));
    QCOMPARE(config.read(), QByteArray("[Settings]\r\nCommPort=4\r\n"));
}

void SettingsFileTest::folder()
{
    QCOMPARE(WithTrailingSlash(QStringLiteral("/a/b")), QStringLiteral("/a/b/"));
    QCOMPARE(WithTrailingSlash(QStringLiteral("/a/b/")), QStringLiteral("/a/b/"));
    QCOMPARE(WithTrailingSlash(QStringLiteral("/")), QStringLiteral("/"));

    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/cfg");
    QCOMPARE(IniFolder(), QStringLiteral("/tmp/cfg/lumavera/"));
    qputenv("XDG_CONFIG_HOME", "/tmp/cfg/");
    QCOMPARE(IniFolder(), QStringLiteral("/tmp/cfg/lumavera/"));
    QCOMPARE(IniPath(), QStringLiteral("/tmp/cfg/lumavera/lumavera.ini"));
    qputenv("XDG_CONFIG_HOME", "relative/cfg");
    QCOMPARE(IniFolder(), QDir::homePath() + QStringLiteral("/.config/lumavera/"));
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(IniFolder(), QDir::homePath() + QStringLiteral("/.config/lumavera/"));
    qputenv("XDG_CONFIG_HOME", saved);
}

void SettingsFileTest::fileOnDisk()
{
    TempConfig config;
    QVERIFY(!QFile::exists(config.iniPath()));
    QCOMPARE(ReadIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort")), QString());
    QVERIFY(!QFile::exists(config.iniPath()));

    // The first write creates the folder and a file with one section, one key.
    WriteIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort"), QStringLiteral("12"));
    QCOMPARE(config.read(), QByteArray("[Settings]\r\nCommPort=12\r\n"));
    QCOMPARE(ReadIniValue(QStringLiteral("settings"), QStringLiteral("commport")),
             QStringLiteral("12"));

    WriteIniValue(QStringLiteral("Colors"), QStringLiteral("Red1"), QStringLiteral("255"));
    QCOMPARE(config.read(), QByteArray("[Settings]\r\nCommPort=12\r\n[Colors]\r\nRed1=255\r\n"));

    // A folder standing where the file should be: nothing to read, and the
    // write neither fails loudly nor touches anything.
    config.remove();
    QVERIFY(QDir().mkpath(config.iniPath()));
    WriteIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort"), QStringLiteral("3"));
    QCOMPARE(ReadIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort")), QString());
    QVERIFY(QFileInfo(config.iniPath()).isDir());
}

void SettingsFileTest::killDuringWritesNeverTruncates()
{
    TempConfig config;
    QByteArray seed = "[Settings]\r\nCommPort=1\r\n[Colors]\r\n";
    for (int i = 1; i <= 10; ++i)
        seed += QStringLiteral("Red%1=%1\r\nGreen%1=%2\r\nBlue%1=%3\r\n")
                    .arg(i)
                    .arg(i + 100)
                    .arg(i + 200)
                    .toLatin1();
    config.write(seed);

    QRandomGenerator random(20261207);
    QSet<QString> portsSeen;
    const int rounds = 40;
    for (int round = 0; round < rounds; ++round) {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            for (unsigned n = 0;; ++n)
                WriteIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort"),
                              QString::number(n % 20 + 1));
        }
        ::usleep(useconds_t(random.bounded(2000, 40000)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        const QByteArray now = config.read();
        QVERIFY2(!now.isEmpty(), "settings file empty after a kill");
        const QString port = QString::fromLatin1(profile::valueIn(now, "Settings", "CommPort"));
        bool ok = false;
        const int number = port.toInt(&ok);
        QVERIFY2(ok && number >= 1 && number <= 20, qPrintable(port));
        portsSeen << port;
        for (int i = 1; i <= 10; ++i) {
            QCOMPARE(profile::valueIn(now, "Colors", "Red" + QByteArray::number(i)),
                     QByteArray::number(i));
            QCOMPARE(profile::valueIn(now, "Colors", "Blue" + QByteArray::number(i)),
                     QByteArray::number(i + 200));
        }
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
        if (name == QLatin1String("lumavera.ini.Fresh1"))
            continue;
        QFile old(dir.filePath(name));
        QVERIFY(old.open(QIODevice::ReadWrite));
        QVERIFY(old.setFileTime(QDateTime::currentDateTime().addSecs(-120),
                                QFileDevice::FileModificationTime));
    }
    QVERIFY(WriteIniValues(CommPortEdits(QStringLiteral("9"))));
    QCOMPARE(dir.entryList(pattern, QDir::Files), QStringList{"lumavera.ini.Fresh1"});
}

void SettingsFileTest::batchEqualsSingleWrites_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::newRow("no file") << QByteArray();
    QTest::newRow("port only") << QByteArray("[Settings]\r\nCommPort=3\r\n");
    QTest::newRow("some colours, comments, LF, odd order")
        << QByteArray("; mine\n[colors]\nblue3 = 9\n; keep\nRed10=1\n\n[Ports]\nCOM1=/dev/x\n");
    QTest::newRow("two Colors sections, no final newline")
        << QByteArray("[Colors]\r\nRed1=5\r\n[Colors]\r\nGreen1=6");
}

void SettingsFileTest::batchEqualsSingleWrites()
{
    QFETCH(QByteArray, before);
    std::array<std::uint8_t, SlotCount> red{}, green{}, blue{};
    for (int i = 0; i < SlotCount; ++i) {
        red[i] = std::uint8_t(200 + i);
        green[i] = std::uint8_t(i);
        blue[i] = std::uint8_t(17 * i);
    }
    const QList<IniEdit> edits = SlotTableEdits(red, green, blue);
    QCOMPARE(edits.size(), 30);

    TempConfig single;
    if (!before.isEmpty())
        single.write(before);
    for (const IniEdit &e : edits)
        WriteIniValue(e.section, e.key, e.value);
    const QByteArray oneByOne = single.read();

    TempConfig batch;
    if (!before.isEmpty())
        batch.write(before);
    QVERIFY(WriteIniValues(edits));
    QCOMPARE(batch.read(), oneByOne);
    QCOMPARE(Settings::load(batch.iniPath()).slotColors[9], std::optional(Rgb{209, 9, 153}));
}

void SettingsFileTest::utf16StaysUtf16_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::newRow("UTF-16 LE") << "UTF-16LE";
    QTest::newRow("UTF-16 BE") << "UTF-16BE";
}

void SettingsFileTest::utf16StaysUtf16()
{
    QFETCH(QString, encoding);
    const bool le = encoding == QLatin1String("UTF-16LE");
    const auto utf16 = [&](const QString &text) {
        QStringEncoder encode(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        return QByteArray(le ? "\xFF\xFE" : "\xFE\xFF") + QByteArray(encode(text));
    };
    TempConfig config;
    config.write(utf16(QStringLiteral("[Settings]\r\nCommPort=3\r\n; Grüße\r\n")));
    QCOMPARE(ReadIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort")),
             QStringLiteral("3"));
    QVERIFY(WriteIniValues(CommPortEdits(QStringLiteral("7")) + SlotColorEdits(0, Rgb{1, 2, 3})));
    QCOMPARE(config.read(), utf16(QStringLiteral("[Settings]\r\nCommPort=7\r\n; Grüße\r\n"
                                                 "[Colors]\r\nRed1=1\r\nGreen1=2\r\nBlue1=3\r\n")));
}

void SettingsFileTest::refusedWritesChangeNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("larger than 1 MiB") << "large"
                                       << "larger than 1 MiB";
    QTest::newRow("a folder where the file should be") << "folder"
                                                       << "not a regular file";
    QTest::newRow("read-only folder") << "read-only"
                                      << "read-only";
}

void SettingsFileTest::refusedWritesChangeNothing()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    TempConfig config;
    const QString folder = QFileInfo(config.iniPath()).absolutePath();
    QByteArray before = "[Settings]\r\nCommPort=4\r\n";
    if (kind == QLatin1String("large"))
        before += QByteArray(IniFile::MaxSize, '\n');
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(config.iniPath()));
    else
        config.write(before);
    if (kind == QLatin1String("read-only")) {
        if (::geteuid() == 0) {
            // Root writes anywhere; take the rights away for good.
            const pid_t child = ::fork();
            if (child == 0) {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(3);
                ::_exit(WriteIniValues(CommPortEdits(QStringLiteral("5"))) ? 1 : 0);
            }
            QVERIFY(QFile::setPermissions(config.iniPath(),
                                          QFile::ReadOwner | QFile::ReadOther | QFile::WriteOther));
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
            int status = 0;
            ::waitpid(child, &status, 0);
            if (WEXITSTATUS(status) == 3)
                QSKIP("cannot drop privileges to check a read-only folder");
            QCOMPARE(WEXITSTATUS(status), 0);
            QCOMPARE(config.read(), before);
            return;
        }
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    }
    const WriteResult result = WriteIniValues(CommPortEdits(QStringLiteral("5")));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!result.ok);
    QVERIFY2(result.reason.contains(reason), qPrintable(result.reason));
    if (kind == QLatin1String("folder"))
        QVERIFY(QFileInfo(config.iniPath()).isDir());
    else
        QCOMPARE(config.read(), before);
    // Whatever it is, it reads as an empty file.
    QCOMPARE(ReadIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort")),
             kind == QLatin1String("read-only") ? QStringLiteral("4") : QString());
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).filter(".ini."), QStringList());
}

void SettingsFileTest::danglingLinkIsWrittenThrough()
{
    TempConfig config;
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("mine.ini"));
    QVERIFY(QDir().mkpath(QFileInfo(config.iniPath()).absolutePath()));
    QVERIFY(QFile::link(target, config.iniPath()));
    QVERIFY(WriteIniValues(CommPortEdits(QStringLiteral("6"))));
    QVERIFY(QFileInfo(config.iniPath()).isSymLink());
    QFile written(target);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("[Settings]\r\nCommPort=6\r\n"));
    QVERIFY(WriteIniValues(CommPortEdits(QStringLiteral("8"))));
    QVERIFY(QFileInfo(config.iniPath()).isSymLink());
    QCOMPARE(ReadIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort")),
             QStringLiteral("8"));
}

void SettingsFileTest::twoProcessesLoseNothing()
{
    TempConfig config;
    config.write("[Settings]\r\nCommPort=2\r\n");
    const int writes = 1000;
    pid_t children[2];
    for (int who = 0; who < 2; ++who) {
        children[who] = ::fork();
        QVERIFY(children[who] >= 0);
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

void SettingsFileTest::typedSettings()
{
    const Settings s =
        Settings::parse("[Settings]\r\nCommPort=12\r\n[Colors]\r\nRed2=1\r\n"
                        "Green2=2\r\nBlue2=3\r\nRed3=1\r\nGreen3=x\r\nBlue3=3\r\n"
                        "red4=1\r\ngreen4=2\r\nBLUE4=256\r\n[Ports]\r\nCOM3=/dev/a\r\n"
                        "COM03=/dev/b\r\nCOM4=\r\nCOM4=/dev/c\r\ncom20 = /dev/d \r\n"
                        "COM21=/dev/e\r\n");
    QCOMPARE(s.commPort(), 12);
    QCOMPARE(s.slotColors[1], std::optional(Rgb{1, 2, 3}));
    QVERIFY(!s.slotColors[2].has_value());
    QVERIFY(!s.slotColors[3].has_value());
    QVERIFY(!s.slotColors[0].has_value());
    const QMap<int, QString> pins{{3, "/dev/a"}, {20, "/dev/d"}};
    QCOMPARE(s.pins, pins);
    QCOMPARE(Settings::parse("[Settings]\r\nCommPort=21\r\n").commPort(), 1);
}

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "tst_settingsfile.moc"
