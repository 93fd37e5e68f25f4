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

namespace {

struct Query
{
    QByteArray section;
    QByteArray key;
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
};
const QList<QByteArray> Ends = {"\r\n", "\n", "\r"};

QByteArray randomFile(QRandomGenerator &random)
{
    QByteArray text;
    const int count = int(random.bounded(1, 12));
    const QByteArray end = Ends[random.bounded(Ends.size())];
    const bool mixedEnds = random.bounded(5) == 0;
    for (int i = 0; i < count; ++i) {
        const bool header = random.bounded(3) == 0;
        text +=
            header ? Headers[random.bounded(Headers.size())] : Lines[random.bounded(Lines.size())];
        text += mixedEnds ? Ends[random.bounded(Ends.size())] : end;
    }
    if (random.bounded(6) == 0)
        text.chop(1); // no final line end, or half a CRLF
    return text;
}

enum class Encoding { Ansi, Utf8Bom, Utf16Le, Utf16Be };

QByteArray encode(const QByteArray &text, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Ansi:
        return text;
    case Encoding::Utf8Bom:
        return "\xEF\xBB\xBF" + text;
    case Encoding::Utf16Le:
    case Encoding::Utf16Be: {
        const bool le = encoding == Encoding::Utf16Le;
        QStringEncoder to(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        return QByteArray(le ? "\xFF\xFE" : "\xFE\xFF") + QByteArray(to(QString::fromLatin1(text)));
    }
    }
    return text;
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
            answer.chop(1);
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
    const int files = qEnvironmentVariableIntValue("LUMAVERA_WINE_FILES") > 0
                          ? qEnvironmentVariableIntValue("LUMAVERA_WINE_FILES")
                          : 300;
    int reads = 0;
    int writes = 0;
    QStringList differences;
    for (int n = 0; n < files; ++n) {
        const QByteArray text = randomFile(random);
        const Encoding encoding = Encoding(random.bounded(4));
        const QByteArray bytes = encode(text, encoding);
        const QString path = dir.filePath(QStringLiteral("f%1.ini").arg(n));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();

        const auto describe = [&](const QString &what) {
            return QStringLiteral("file %1 %2 (%3): %4")
                .arg(n)
                .arg(int(encoding))
                .arg(QString::fromLatin1(text.toPercentEncoding(" =[];\"'")), what);
        };
        for (const Query &q : Queries) {
            const QByteArray theirs = windows.read(path, q);
            const QByteArray ours =
                profile::valueIn(IniFile(path).read().content, q.section, q.key);
            ++reads;
            if (theirs != ours)
                differences << describe(
                    QStringLiteral("%1/%2 reads '%3', Windows '%4'")
                        .arg(QString::fromLatin1(q.section), QString::fromLatin1(q.key),
                             QString::fromLatin1(ours), QString::fromLatin1(theirs)));
        }

        // Windows writes one copy, we write another; Windows then reads
        // every key of both the same.
        const Query target = Queries[random.bounded(Queries.size())];
        if (target.section.contains(']'))
            continue;
        const QByteArray value = QByteArray::number(random.bounded(256));
        const QString theirsPath = dir.filePath(QStringLiteral("w%1.ini").arg(n));
        const QString oursPath = dir.filePath(QStringLiteral("o%1.ini").arg(n));
        QVERIFY(QFile::copy(path, theirsPath));
        QVERIFY(QFile::copy(path, oursPath));
        QVERIFY(windows.write(theirsPath, target, value));
        QVERIFY(IniFile(oursPath)
                    .write({{QString::fromLatin1(target.section), QString::fromLatin1(target.key),
                             QString::fromLatin1(value)}})
                    .ok());
        ++writes;
        for (const Query &q : Queries) {
            const QByteArray afterTheirs = windows.read(theirsPath, q);
            const QByteArray afterOurs = windows.read(oursPath, q);
            if (afterTheirs != afterOurs)
                differences << describe(
                    QStringLiteral("after %1/%2=%3, %4/%5 reads '%6' from our file, '%7' from "
                                   "Windows'")
                        .arg(QString::fromLatin1(target.section), QString::fromLatin1(target.key),
                             QString::fromLatin1(value), QString::fromLatin1(q.section),
                             QString::fromLatin1(q.key), QString::fromLatin1(afterOurs),
                             QString::fromLatin1(afterTheirs)));
        }
    }
    qInfo("%d files, %d reads and %d writes compared with kernel32", files, reads, writes);
    for (const QString &d : differences.mid(0, 20))
        qWarning("%s", qPrintable(d));
    QCOMPARE(differences.size(), 0);
}

QTEST_GUILESS_MAIN(WineProfileTest)
#include "tst_wineprofile.moc"
