// Our settings reader and writer against the Windows profile functions of
// kernel32, run under Wine, over generated files: what Windows reads, we
// read; and a file we wrote reads, to Windows, as the one Windows wrote.

#include "settings/inifile.h"
#include "settings/profile.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

using namespace lumavera;

namespace {

struct Query
{
    QByteArray section, key;
};

const QList<Query> Queries = {
    {"Settings", "CommPort"}, {"Colors", "Red1"},  {"Colors", "Green1"}, {"Colors", "Blue1"},
    {"Colors", "Red2"},       {"Colors", "Red10"}, {"Ports", "COM1"},    {"S]", "Key"},
};

// Pieces of settings files: the shapes people's files take, and the odd
// bytes Windows reads in its own way.
const QList<QByteArray> Headers = {
    "[Settings]", "[settings]", " [ Colors ] ", "[Colors]",     "[\vPorts\f]",
    "[S]]",       "[Colors",    "[Ports]",      "\x1A[Colors]",
};
const QList<QByteArray> Lines = {
    "CommPort=3",
    "commport = 7",
    "Red1=255",
    "\x1ARed1\x1A=\x1A"
    "9\x1A",
    "Key",
    "Green1",
    "Blue1=\"12\"",
    "Blue1='x'",
    "Red2=" + QByteArray(300, 'r'),
    ";Red1=4",
    "Red1=1 ;c",
    "=5",
    "Red10=\"a",
    "\tGreen1\t=\t 8 ",
    "COM1=/dev/ttyUSB0",
    "Red2=  \"\"  ",
    "Key=v",
    "# Red1=6",
    "",
    "   ",
    "\f",
    "Red1=a=b",
    QByteArray("Red1=1\0x", 8),
};
const QList<QByteArray> Ends = {"\r\n", "\n", "\r"};

// A file of up to eleven pieces, in one of the four encodings Windows
// reads: ANSI, UTF-8 with its mark, UTF-16 LE and BE with theirs.
QByteArray randomFile(QRandomGenerator &random, QString *shown)
{
    QByteArray text;
    const QByteArray end = Ends[random.bounded(Ends.size())];
    const bool mixedEnds = random.bounded(5) == 0;
    for (int i = random.bounded(1, 12); i > 0; --i) {
        text += random.bounded(3) == 0 ? Headers[random.bounded(Headers.size())]
                                       : Lines[random.bounded(Lines.size())];
        text += mixedEnds ? Ends[random.bounded(Ends.size())] : end;
    }
    if (random.bounded(6) == 0)
        text.chop(1); // no final line end, or half a CRLF
    const int encoding = int(random.bounded(4));
    *shown = QStringLiteral("(%1) %2").arg(encoding).arg(
        QString::fromLatin1(text.toPercentEncoding(" =[];\"'")));
    if (encoding < 2)
        return encoding == 0 ? text : "\xEF\xBB\xBF" + text;
    QStringEncoder to(encoding == 2 ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    return QByteArray(encoding == 2 ? "\xFF\xFE" : "\xFE\xFF") + to(QString::fromLatin1(text));
}

// One Wine process answering profile calls for the whole test.
class Kernel32
{
public:
    bool start(const QString &prefix)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("WINEPREFIX"), prefix);
        env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        env.remove(QStringLiteral("DISPLAY"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(WINE), {QStringLiteral(WINE_PROFILE_EXE)});
        return process_.waitForStarted(30000);
    }

    ~Kernel32()
    {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000))
            process_.kill();
    }

    QByteArray read(const QString &file, const Query &q)
    {
        const QByteArray line = call({"R", windowsPath(file), q.section, q.key});
        const qsizetype tab = line.indexOf('\t');
        return tab < 0 ? "<no answer: " + line + ">" : QByteArray::fromHex(line.mid(tab + 1));
    }

    bool write(const QString &file, const Query &q, const QByteArray &value)
    {
        return call({"W", windowsPath(file), q.section, q.key, value}) == "1";
    }

private:
    static QByteArray windowsPath(const QString &path)
    {
        return "Z:" + QFile::encodeName(path).replace('/', '\\');
    }

    QByteArray call(const QList<QByteArray> &fields)
    {
        QByteArray line = fields[0];
        for (qsizetype i = 1; i < fields.size(); ++i)
            line += '\t' + fields[i].toHex();
        process_.write(line + '\n');
        while (!process_.canReadLine()) {
            if (!process_.waitForReadyRead(60000))
                return {};
        }
        QByteArray answer = process_.readLine();
        while (answer.endsWith('\n') || answer.endsWith('\r'))
            answer.chop(1); // not trimmed: an empty value leaves its tab
        return answer;
    }

    QProcess process_;
};

} // namespace

class WineProfileTest : public QObject
{
    Q_OBJECT

private slots:
    void sameAsKernel32();
};

void WineProfileTest::sameAsKernel32()
{
    if (QByteArray(WINE).isEmpty() || !QFile::exists(QStringLiteral(WINE_PROFILE_EXE)))
        QSKIP("Wine or the mingw-w64 compiler is not installed");
    QTemporaryDir dir;
    Kernel32 windows;
    QVERIFY(windows.start(dir.filePath(QStringLiteral("prefix"))));

    QRandomGenerator random(20261207);
    const int files = 300;
    QStringList differences;
    for (int n = 0; n < files; ++n) {
        QString shown;
        const QString path = dir.filePath(QStringLiteral("f%1.ini").arg(n));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(randomFile(random, &shown)) >= 0);
        f.close();
        const auto differ = [&](const QByteArray &ours, const QByteArray &theirs,
                                const QString &what) {
            if (ours != theirs)
                differences << QStringLiteral("file %1 %2: %3 '%4', Windows '%5'")
                                   .arg(n)
                                   .arg(shown, what, QString::fromLatin1(ours),
                                        QString::fromLatin1(theirs));
        };
        const auto name = [](const Query &q) {
            return QString::fromLatin1(q.section + '/' + q.key);
        };
        for (const Query &q : Queries)
            differ(profile::valueIn(IniFile(path).read().content, q.section, q.key),
                   windows.read(path, q), name(q) + QStringLiteral(" reads"));

        // Windows writes one copy, we write another; Windows then reads
        // every key of both the same.
        const Query target = Queries[random.bounded(Queries.size())];
        if (target.section.contains(']'))
            continue;
        const QByteArray value = QByteArray::number(random.bounded(256));
        const QString theirs = dir.filePath(QStringLiteral("w%1.ini").arg(n));
        const QString ours = dir.filePath(QStringLiteral("o%1.ini").arg(n));
        QVERIFY(QFile::copy(path, theirs) && QFile::copy(path, ours));
        QVERIFY(windows.write(theirs, target, value));
        QVERIFY(IniFile(ours)
                    .write({{QString::fromLatin1(target.section), QString::fromLatin1(target.key),
                             QString::fromLatin1(value)}})
                    .ok());
        for (const Query &q : Queries)
            differ(windows.read(ours, q), windows.read(theirs, q),
                   QStringLiteral("after %1=%2, %3 reads in our file")
                       .arg(name(target), QString::fromLatin1(value), name(q)));
    }
    for (const QString &d : differences.mid(0, 20))
        qWarning("%s", qPrintable(d));
    QCOMPARE(differences.size(), 0);
}

QTEST_GUILESS_MAIN(WineProfileTest)
#include "tst_wineprofile.moc"
