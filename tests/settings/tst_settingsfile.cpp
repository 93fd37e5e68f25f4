#include "settings/ini.h"
#include "settings/profile.h"
#include "support/pty.h"

#include <QDir>
#include <QRandomGenerator>
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
        ::usleep(useconds_t(random.bounded(500, 15000)));
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
}

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "tst_settingsfile.moc"
