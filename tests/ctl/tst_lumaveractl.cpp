// lumaveractl against a window that holds the port, and strangers on the
// way to it: the window runs in this process, so these are C++. Everything
// else lumaveractl does is in the transcripts under transcripts/.

#include "ctl/commands.h"
#include "link/handoff.h"
#include "panel/window.h"
#include "settings/profile.h"
#include "support/moduleprocess.h"

#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct CtlRun
{
    int exit = -1;
    QString out;
    QString err;
};

// Runs lumaveractl, keeping this process's event loop going meanwhile so
// that a module or a window in it can answer.
CtlRun ctl(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(LUMAVERACTL), args);
    CtlRun r;
    if (!p.waitForStarted(5000))
        return r;
    QElapsedTimer clock;
    clock.start();
    while (p.state() != QProcess::NotRunning && clock.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        p.waitForFinished(5);
    }
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString sampleJson()
{
    QString slotList;
    for (int i = 0; i < SlotCount; ++i)
        slotList += QStringLiteral("%1{\"red\":%2,\"green\":%3,\"blue\":%4}")
                        .arg(i ? "," : "")
                        .arg(200 + i)
                        .arg(20 * i)
                        .arg(7 * i + 3);
    return QStringLiteral("{\"mode\":3,\"fade\":1,\"hold\":10,\"slots\":[%1]}\n").arg(slotList);
}

const QByteArray ReadFrame("\xFF\x3C\xFB\xFB\xFB");
const QByteArray SaveFrame("\xFF\x32\xFE\xFE\xFE");

} // namespace

class LumaveractlTest : public QObject
{
    Q_OBJECT

private slots:
    void handedToTheWindowThatHoldsThePort();
    void strangersAndFailuresOnTheWay_data();
    void strangersAndFailuresOnTheWay();
};

void LumaveractlTest::handedToTheWindowThatHoldsThePort()
{
    Bench bench;
    const Ui w = bench.ui();
    FakeModule module(bench.pty);
    module.settingsAnswer = EncodeSettingsReply(SampleSettings());
    module.saveAnswer = "\xFE\xAA";
    BoxAnswerer boxes;
    QVERIFY(bench.connect());
    const QStringList port{"--port", bench.pty.slavePath()};

    CtlRun r = ctl(port + QStringList{"color", "1", "2", "3"});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    // Once on the line, and in the window's monitor; the window's own
    // controls stay as its user left them.
    QTRY_COMPARE(module.received, QByteArray("\xFF\x01\x01\x02\x03"));
    QCOMPARE(w.lblTxData->text(), QStringLiteral("FF 01 01 02 03 "));
    QCOMPARE(w.readouts(), std::tuple(0, 0, 0));

    module.received.clear();
    r = ctl(port + QStringList{"--json", "--verbose", "read"});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QCOMPARE(r.out, sampleJson());
    QVERIFY2(r.err.contains(QLatin1String("TX FF 3C FB FB FB")), qPrintable(r.err));
    QCOMPARE(module.received, ReadFrame);
    QCOMPARE(profile::valueIn(bench.config.read(), "Colors", "Red10"), QByteArray("209"));

    // Save needs no question when a command asked for it, and shows no box.
    r = ctl(port + QStringList{"save"});
    QCOMPARE(r.exit, 0);
    QCOMPARE(boxes.seen.size(), 0);

    // A read during the window's own wait waits its turn: two exchanges,
    // one after the other, each with its whole answer.
    module.received.clear();
    QProcess during;
    QTimer::singleShot(100, [&] {
        during.start(QStringLiteral(LUMAVERACTL), port + QStringList{"--json", "read"});
    });
    bench.click(w.cmdReadSettings);
    QTRY_COMPARE_WITH_TIMEOUT(during.state(), QProcess::NotRunning, 10000);
    QVERIFY2(during.exitCode() == 0, during.readAllStandardError().constData());
    QCOMPARE(QString::fromUtf8(during.readAllStandardOutput()), sampleJson());
    QCOMPARE(boxes.seen.size(), 0);
    QCOMPARE(w.cboHold->currentText(), QStringLiteral("10"));
    QCOMPARE(module.received, ReadFrame + ReadFrame);
    QVERIFY(bench.isOpenState());
}

namespace {

// A raw client of the window's socket, as any program of the user's could be.
int connectTo(const QString &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether the server closed this client's connection within `ms`, the
// event loop running meanwhile.
bool closedByServer(int fd, int ms)
{
    return waitUntil(
        [fd] {
            pollfd p{fd, POLLIN, 0};
            char c;
            return ::poll(&p, 1, 0) == 1 && ::recv(fd, &c, 1, MSG_DONTWAIT) == 0;
        },
        ms);
}

} // namespace

// The hand-off and the port itself against strangers and failures on the
// way: every row ends with what reached the module, the exit status and
// what is in the files. A step that did not happen never exits 0.
void LumaveractlTest::strangersAndFailuresOnTheWay_data()
{
    QTest::addColumn<QString>("stranger");
    for (const char *row :
         {"runtime folder unset", "runtime folder others can write", "another user's server",
          "link planted for a backup", "missing folder for a backup", "second window", "flood",
          "silent clients", "window lets go during a restore", "slow module, long timeout",
          "settings file unwritable"})
        QTest::newRow(row) << QString::fromLatin1(row);
}

void LumaveractlTest::strangersAndFailuresOnTheWay()
{
    QFETCH(QString, stranger);
    const bool root = ::geteuid() == 0;
    if (!root && (stranger == QLatin1String("another user's server") ||
                  stranger == QLatin1String("link planted for a backup")))
        QSKIP("needs root, to act as another user");
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray tmp = qgetenv("TMPDIR");
    QTemporaryDir scratch;
    // The fallback folder of the user's own lives in the temporary folder:
    // one of this test's, so that no other window on the machine answers.
    QTemporaryDir temporary;
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    if (stranger == QLatin1String("runtime folder unset"))
        qunsetenv("XDG_RUNTIME_DIR");
    if (stranger == QLatin1String("runtime folder others can write")) {
        QVERIFY(::chmod(QFile::encodeName(scratch.path()).constData(), 0777) == 0);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(scratch.path()));
    }
    const auto restoreRuntime = qScopeGuard([&] {
        qputenv("XDG_RUNTIME_DIR", runtime);
        tmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmp);
    });

    Bench bench;
    const Ui w = bench.ui();
    FakeModule module(bench.pty);
    module.settingsAnswer = EncodeSettingsReply(SampleSettings());
    BoxAnswerer boxes;
    const QStringList port{"--port", bench.pty.slavePath()};
    const QString socket = HandoffSocketPath().path;
    const QByteArray color("\xFF\x01\x01\x02\x03");
    // The window holds the port: a command that reaches the module reached
    // it through the window.
    QVERIFY(bench.connect());
    CtlRun r;

    if (stranger.startsWith(QLatin1String("runtime folder"))) {
        QVERIFY2(socket.startsWith(QDir::tempPath() + QStringLiteral("/lumavera-")),
                 qPrintable(socket));
        struct stat st
        {
        };
        QVERIFY(::stat(QFile::encodeName(QFileInfo(socket).path()).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
        QVERIFY(!QFile::exists(scratch.filePath(QStringLiteral("lumavera.socket"))));
        r = ctl(port + QStringList{"color", "1", "2", "3"});
        QCOMPARE(r.exit, 0);
        QTRY_COMPARE(module.received, color);
    } else if (stranger == QLatin1String("another user's server")) {
        // Someone else answers on the socket's path: lumaveractl does not
        // believe it and goes to the port, which the window holds.
        bench.click(w.cmdConnect);
        QFile::remove(socket);
        const pid_t child = ::fork();
        if (child == 0) {
            // lumaveractl hangs up on it unheard; that must not end this
            // stand-in in the test's crash handler, which would keep its
            // socket alive for the rows after it.
            ::signal(SIGPIPE, SIG_IGN);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strcpy(address.sun_path, QFile::encodeName(socket).constData());
            if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
                ::setgid(65534) != 0 || ::setuid(65534) != 0 || ::listen(fd, 4) != 0)
                ::_exit(3);
            HandoffReply lie;
            lie.handled = true;
            const QByteArray line = lie.encode();
            for (;;) {
                const int c = ::accept(fd, nullptr, nullptr);
                for (int i = 0; i < 8; ++i)
                    [[maybe_unused]] auto n = ::write(c, line.constData(), size_t(line.size()));
            }
        }
        QVERIFY(waitUntil([&] { return connectTo(socket) >= 0; }, 3000));
        r = ctl(port + QStringList{"color", "1", "2", "3"});
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        QCOMPARE(r.exit, 0);
        QTRY_COMPARE(module.received, color);
    } else if (stranger.contains(QLatin1String("backup"))) {
        // A file of the user's, and a link to it that another user planted
        // in a folder everyone can write to.
        QVERIFY(::chmod(QFile::encodeName(scratch.path()).constData(), 01777) == 0);
        const QString victim = bench.config.iniPath();
        const QByteArray before = bench.config.read();
        QString file = scratch.filePath(QStringLiteral("missing/backup.ini"));
        if (stranger.contains(QLatin1String("planted"))) {
            file = scratch.filePath(QStringLiteral("backup.ini"));
            QVERIFY(QFile::link(victim, file));
            QVERIFY(::lchown(QFile::encodeName(file).constData(), 65534, 65534) == 0);
        }
        r = ctl(port + QStringList{"backup", file});
        QCOMPARE(r.exit, 2);
        QVERIFY2(r.err.contains(stranger.contains(QLatin1String("planted"))
                                    ? QLatin1String("another user")
                                    : QLatin1String("does not exist")),
                 qPrintable(r.err));
        QCOMPARE(bench.config.read().left(before.size()), before.left(before.size()));
        QCOMPARE(profile::valueIn(bench.config.read(), "Module", "Mode"), QByteArray());
        QVERIFY(!QFileInfo::exists(scratch.filePath(QStringLiteral("missing"))));
    } else if (stranger == QLatin1String("second window")) {
        {
            frmMain second;
            second.show();
            const Ui s(second);
            QTRY_VERIFY2(s.lblNotice->text().contains(QLatin1String("Another Lumavera window")),
                         qPrintable(s.lblNotice->text()));
        }
        // The first window's socket outlives the second window.
        r = ctl(port + QStringList{"color", "1", "2", "3"});
        QCOMPARE(r.exit, 0);
        QTRY_COMPARE(module.received, color);
    } else if (stranger == QLatin1String("flood")) {
        // Short lines without end from a client that never reads its
        // replies, while the window and lumaveractl go on.
        const pid_t child = ::fork();
        if (child == 0) {
            const int fd = connectTo(socket);
            for (int i = 0; i < 200000 && fd >= 0; ++i)
                if (::write(fd, "{}\n", 3) != 3)
                    break;
            ::_exit(0);
        }
        QTest::qWait(300);
        bench.click(w.cmdSetColor);
        r = ctl(port + QStringList{"color", "1", "2", "3"});
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        QCOMPARE(r.exit, 0);
        QTRY_COMPARE(module.received, QByteArray("\xFF\x01\x00\x00\x00", 5) + color);
    } else if (stranger == QLatin1String("silent clients")) {
        QList<int> silent;
        for (int i = 0; i < 3; ++i)
            silent << connectTo(socket);
        r = ctl(port + QStringList{"color", "1", "2", "3"});
        QCOMPARE(r.exit, 0);
        QTRY_COMPARE(module.received, color);
        for (int fd : silent) {
            QVERIFY(closedByServer(fd, 15000));
            ::close(fd);
        }
    } else if (stranger == QLatin1String("window lets go during a restore")) {
        QFile f(scratch.filePath(QStringLiteral("want.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Module]\r\nMode=3\r\nFade=1\r\nHold=10\r\n[Colors]\r\n");
        for (int i = 1; i <= SlotCount; ++i)
            f.write(QStringLiteral("Red%1=1\r\nGreen%1=2\r\nBlue%1=3\r\n").arg(i).toLatin1());
        f.close();
        QProcess restore;
        restore.start(QStringLiteral(LUMAVERACTL),
                      port + QStringList{"restore", f.fileName(), "--save", "--gap", "100"});
        QTRY_VERIFY_WITH_TIMEOUT(module.received.size() >= 10, 5000);
        bench.click(w.cmdConnect);
        QTRY_COMPARE_WITH_TIMEOUT(restore.state(), QProcess::NotRunning, 10000);
        QCOMPARE(restore.exitCode(), 1);
        const QString err = QString::fromUtf8(restore.readAllStandardError());
        QVERIFY2(err.contains(QLatin1String("no longer holds")), qPrintable(err));
        // The read that keeps what the module held, then no read-back and no save.
        QVERIFY(module.received.startsWith(ReadFrame));
        QVERIFY(!module.received.mid(5).contains(ReadFrame) &&
                !module.received.contains(SaveFrame));
    } else if (stranger == QLatin1String("slow module, long timeout")) {
        module.answerDelayMs = 700;
        r = ctl(port + QStringList{"--timeout", "3000", "read"});
        QVERIFY2(r.exit == 0, qPrintable(r.err));
        QVERIFY(r.out.startsWith(QLatin1String("mode 3\n")));
        r = ctl(port + QStringList{"--timeout", "100", "read"});
        QCOMPARE(r.exit, 1);
        QVERIFY2(r.err.contains(QLatin1String("within 100 ms")), qPrintable(r.err));
    } else if (stranger == QLatin1String("settings file unwritable")) {
        bench.config.remove();
        QVERIFY(QDir().mkpath(bench.config.iniPath()));
        r = ctl(port + QStringList{"store", "2", "1", "2", "3"});
        QCOMPARE(r.exit, int(ExitSettings));
        QVERIFY2(r.err.contains(QLatin1String("settings could not be saved")), qPrintable(r.err));
        QTRY_COMPARE(module.received, QByteArray("\xFF\x03\x01\x02\x03"));
    }
    QCOMPARE(boxes.seen.size(), 0);
}

QTEST_MAIN(LumaveractlTest)
#include "tst_lumaveractl.moc"
