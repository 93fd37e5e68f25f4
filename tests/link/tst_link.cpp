// Everything between a step and the wire, on real pseudo-terminals: the
// bytes each step puts on the line and how each answer is judged, the port
// numbers and their devices, and a device's loss and return.

#include "link/modulesession.h"
#include "link/portmap.h"
#include "link/portwatcher.h"
#include "link/reconnector.h"
#include "link/serialport.h"
#include "support/pty.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lumavera;

Q_DECLARE_METATYPE(ModuleStep)
Q_DECLARE_METATYPE(ReplyFault)

class LinkTest : public QObject
{
    Q_OBJECT

private slots:
    void wire_data();
    void wire();
    void ports_data();
    void ports();
    void returnHeldByAnotherProgramIsTriedAgain();
};

namespace {

// A step carried on to its end in the test's event loop, as a button's
// handler carries it.
Detached runInto(Task<StepOutcome> step, std::optional<StepOutcome> &done)
{
    done = co_await std::move(step);
}

Detached openInto(ModuleLink &link, std::optional<OpenResult> &done)
{
    done = co_await link.open();
}

// The link's open, carried to its end in the test's event loop.
OpenResult opened(ModuleLink &link)
{
    std::optional<OpenResult> done;
    openInto(link, done);
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < 10000)
        QTest::qWait(5);
    return done.value_or(OpenResult{OpenFault::Failed, QStringLiteral("never opened")});
}

// A link opened on `device` and watched for its loss and return, as the
// window watches its port.
struct Watched
{
    Watched(PortWatcher &watcher, const QString &device) : reconnector(&link, &watcher)
    {
        link.setDevicePath(device);
        if (opened(link))
            reconnector.opened(device);
    }
    ModuleLink link;
    Reconnector reconnector;
    QSignalSpy waiting{&reconnector, &Reconnector::waiting};
    QSignalSpy refused{&reconnector, &Reconnector::refused};
    QSignalSpy reconnected{&reconnector, &Reconnector::reconnected};
};

QByteArray reply(std::initializer_list<int> head, int size)
{
    QByteArray out(size, '\0');
    int i = 0;
    for (int v : head)
        out[i++] = char(v);
    return out;
}

} // namespace

// One row a step that waits for an answer: the module's answer (stale bytes
// first, where a row has them), the frame on the line in hex, and the
// outcome. The frames of the steps that only write are the window's
// buttons' (the same session sends them); the faults the virtual
// module plays by itself (no answer, 34 bytes, a bad start, FE AB) are the
// failures transcript's.
void LinkTest::wire_data()
{
    QTest::addColumn<ModuleStep>("step");
    QTest::addColumn<QByteArray>("stale");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<ReplyFault>("fault");
    struct Row
    {
        const char *name;
        ModuleStep step;
        QByteArray stale, answer;
        const char *hex;
        ReplyFault fault;
    };
    const QByteArray good = EncodeSettingsReply(SampleSettings());
    const char *rd = "FF 3C FB FB FB";
    const char *sv = "FF 32 FE FE FE";
    using F = ReplyFault;
    const ModuleStep r = ModuleStep::read(), s = ModuleStep::save();
    const Row rows[] = {
        {"mode 12 is no step", ModuleStep::mode(12), {}, {}, "", F::SendFailed},
        {"read, 35 bytes", r, {}, good, rd, F::None},
        {"read, 37 bytes", r, {}, good + "\x11\x11", rd, F::TooLong},
        {"read after stale bytes", r, "\xFE\xAA\x13", good, rd, F::None},
        {"read, mode 11 fade 2 hold 240", r, {}, reply({255, 11, 2, 240}, 35), rd, F::None},
        {"read, 00 first, mode 254", r, {}, reply({0, 254, 1, 10}, 35), rd, F::OutOfRange},
        {"read, mode 12", r, {}, reply({255, 12}, 35), rd, F::OutOfRange},
        {"read, fade 3", r, {}, reply({255, 1, 3}, 35), rd, F::OutOfRange},
        {"read, hold 241", r, {}, reply({255, 1, 1, 241}, 35), rd, F::OutOfRange},
        {"save, FE AA", s, {}, "\xFE\xAA", sv, F::None},
        {"save, FE AA and more", s, "\x01", "\xFE\xAA\x05", sv, F::None},
        {"save, AA FE", s, {}, "\xAA\xFE", sv, F::WrongAck},
        {"save, FE", s, {}, "\xFE", sv, F::Short},
        {"save, nothing", s, {}, {}, sv, F::NoAnswer},
        {"save, a late settings reply", s, {}, good, sv, F::LateAnswer},
    };
    for (const Row &row : rows)
        QTest::newRow(row.name) << row.step << row.stale << row.answer << QString(row.hex)
                                << row.fault;
}

void LinkTest::wire()
{
    QFETCH(ModuleStep, step);
    QFETCH(QByteArray, stale);
    QFETCH(QByteArray, answer);
    QFETCH(QString, hex);
    QFETCH(ReplyFault, fault);
    VirtualModule::Options scripted;
    scripted.answer = answer;
    TestModule module(scripted);
    ModuleLink link;
    QByteArray discarded;
    connect(&link, &ModuleLink::traffic, this, [&](const TrafficEvent &e) {
        if (e.kind == TrafficEvent::Kind::Discarded)
            discarded += e.bytes;
    });
    link.setDevicePath(module.device());
    QVERIFY(opened(link));
    module.module->send(stale);
    QTest::qWait(20);
    ModuleSession session(link, ReplyWaitRule::untilComplete(300));
    std::optional<StepOutcome> done;
    runInto(session.run(step), done);
    QTRY_VERIFY(done);
    const StepOutcome out = *done;

    QCOMPARE(out.fault, fault);
    QCOMPARE(out.ok(), out.reason.isEmpty());
    // One frame and nothing more went out.
    QTest::qWait(20);
    QTRY_COMPARE(QString::fromLatin1(module.heard.toHex(' ').toUpper()), hex);
    if (step.kind == ModuleStep::Kind::Read && out.ok())
        QCOMPARE(out.settings, DecodeSettingsReply(answer).value());
    // Stale bytes are thrown away before an exchange, and shown as such.
    QCOMPARE(discarded, step.kind == ModuleStep::Kind::Read || step.kind == ModuleStep::Kind::Save
                            ? stale
                            : QByteArray());
}

void LinkTest::ports_data()
{
    QTest::addColumn<QStringList>("pins");
    QTest::addColumn<QStringList>("there"); // path, or link:target
    QTest::addColumn<QStringList>("ports"); // COM1..5: path, * pinned, ! absent
    QTest::newRow("system order: USB, ACM, the rest, numbers as numbers")
        << QStringList()
        << QStringList{"/dev/ttyS2", "/dev/ttyACM0", "/dev/ttyUSB10", "/dev/ttyUSB2"}
        << QStringList{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyS2", ""};
    QTest::newRow("a pin keeps its number; its device takes no other")
        << QStringList{"2=/dev/serial/by-id/ftdi-A"}
        << QStringList{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/serial/by-id/ftdi-A:/dev/ttyUSB0"}
        << QStringList{"/dev/ttyUSB1", "/dev/serial/by-id/ftdi-A*", "", "", ""};
    QTest::newRow("an absent pinned device keeps its number, nothing moves in")
        << QStringList{"1=/dev/serial/by-id/ftdi-A"} << QStringList{"/dev/ttyS0", "/dev/ttyUSB0"}
        << QStringList{"/dev/serial/by-id/ftdi-A*!", "/dev/ttyUSB0", "/dev/ttyS0", "", ""};
    QTest::newRow("two pins; blanks and foreign numbers ignored")
        << QStringList{"1= /dev/a ", "3=/dev/b", "5=", "0=/dev/c", "21=/dev/d"}
        << QStringList{"/dev/ttyUSB0", "/dev/a", "/dev/b"}
        << QStringList{"/dev/a*", "/dev/ttyUSB0", "/dev/b*", "", ""};
}

void LinkTest::ports()
{
    QFETCH(QStringList, pins);
    QFETCH(QStringList, there);
    QFETCH(QStringList, ports);
    QMap<int, QString> pinMap;
    for (const QString &pin : pins)
        pinMap.insert(pin.section(u'=', 0, 0).toInt(), pin.section(u'=', 1));
    QMap<QString, QString> real;
    QStringList system;
    for (const QString &device : there) {
        real.insert(device.section(u':', 0, 0), device.section(u':', -1));
        if (device.startsWith(QLatin1String("/dev/tty")))
            system << device;
    }
    const PortTable table = NumberPorts(
        pinMap, system, [&](const QString &path) { return real.value(path.trimmed()); });
    QStringList got;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const PortEntry &e = table[i];
        const QString shown =
            e.path + (e.pinned ? "*" : "") + (e.path.isEmpty() || e.present ? "" : "!");
        if (i < 5)
            got << shown;
        else
            QCOMPARE(shown, QString());
    }
    QCOMPARE(got, ports);
}

void LinkTest::returnHeldByAnotherProgramIsTriedAgain()
{
    QTemporaryDir dir, byId;
    qputenv("LUMAVERA_SERIAL_BY_ID", QFile::encodeName(byId.path()));
    const auto unset = qScopeGuard([] { qunsetenv("LUMAVERA_SERIAL_BY_ID"); });
    const QString name = dir.filePath(QStringLiteral("module"));
    const QString hop = dir.filePath(QStringLiteral("device"));
    auto first = std::make_unique<Pty>();
    QVERIFY(QFile::link(first->slavePath(), hop) && QFile::link(hop, name));
    // Names resolve as lumaveractl and the window resolve them.
    QCOMPARE(ResolvePort(QStringLiteral("com2"), 1, {{2, name}}).path, name);
    QCOMPARE(ResolvePort({}, 2, {{2, name}}).path, name);
    for (const char *bad : {"COM0", "COM21", "com99", "COM007"})
        QCOMPARE(ResolvePort(QLatin1String(bad), 1, {}).fault, PortFault::BadName);
    QCOMPARE(ResolvePort(QStringLiteral("COM4"), 1, {{4, name + "x"}}).fault, PortFault::Missing);

    PortWatcher watcher;
    watcher.setPins({{1, name}});
    Watched named(watcher, name);
    QVERIFY(named.link.isOpen());

    first->closeMaster();
    QVERIFY(named.waiting.wait(3000));
    QCOMPARE(named.waiting.first().first().toString(), name);
    QVERIFY(!named.link.isOpen());
    // Its name, left behind, now leads on to another device: that is no
    // return, whatever look comes next.
    Pty other;
    QVERIFY(QFile::remove(hop) && QFile::link(other.slavePath(), hop));
    QSignalSpy looked(&watcher, &PortWatcher::changed);
    QVERIFY(QFile::link(other.slavePath(), byId.filePath(QStringLiteral("usb-other"))));
    QVERIFY(looked.wait(3000));
    QCOMPARE(named.refused.size() + named.reconnected.size(), 0);

    // The device comes back under its name while another program holds it.
    TestModule second;
    QProcess holder;
    holder.setStandardInputFile(second.module->devicePath());
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(holder.waitForStarted());
    QVERIFY(QFile::remove(name));
    QVERIFY(QFile::link(second.module->devicePath(), name));
    QVERIFY(named.refused.wait(3000));
    const QString why = named.refused.first().first().toString();
    QVERIFY2(why.contains(QStringLiteral("in use by sleep (pid %1)").arg(holder.processId())),
             qPrintable(why));
    QVERIFY(named.refused.first().last().toBool());

    // Once it lets go, a later look opens it, with no new device event.
    holder.kill();
    holder.waitForFinished();
    QTRY_VERIFY_WITH_TIMEOUT(named.reconnected.size() == 1, 5000);
    QVERIFY(named.link.send(FrameOf({1, 2, 3, 4})));
    QTRY_COMPARE(second.heard, QByteArray("\xFF\x01\x02\x03\x04", 5));

    // A pseudo-terminal pinned as itself, lost: when its number is given
    // out again, that is some other program's line, not its return.
    auto raw = std::make_unique<Pty>();
    const QString number = raw->slavePath();
    watcher.setPins({{2, number}});
    Watched bare(watcher, number);
    QVERIFY(bare.link.isOpen());
    raw->closeMaster();
    QVERIFY(bare.waiting.wait(3000));
    raw.reset();
    std::vector<std::unique_ptr<Pty>> given;
    while (given.size() < 64 && (given.empty() || given.back()->slavePath() != number))
        given.push_back(std::make_unique<Pty>());
    QCOMPARE(given.back()->slavePath(), number);
    QVERIFY(QFile::link(number, byId.filePath(QStringLiteral("usb-again"))));
    QVERIFY(looked.wait(3000));
    QCOMPARE(bare.reconnected.size() + bare.refused.size(), 0);
}

QTEST_GUILESS_MAIN(LinkTest)
#include "tst_link.moc"
