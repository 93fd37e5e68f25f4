#include "framefinder.h"
#include "module.h"

#include <QtTest>

using namespace lumavera;

namespace {
QList<QString> words(const std::vector<Frame> &frames)
{
    QList<QString> out;
    for (const Frame &f : frames)
        out << HexFrame(f).trimmed();
    return out;
}
} // namespace

class FrameFinderTest : public QObject
{
    Q_OBJECT

private slots:
    void finds_data();
    void finds();
    void staleHalfFrameDropped();
    void moduleIgnoresWhatItDoesNotKnow();
};

void FrameFinderTest::finds_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<int>("skipped");
    QTest::newRow("one") << QByteArray("\xFF\x01\x80\x40\x00", 5) << QStringList{"FF 01 80 40 00"}
                         << 0;
    QTest::newRow("garbage first")
        << QByteArray("\x00\x13\xFE\xFF\x28\x03\xFB\xFB", 8) << QStringList{"FF 28 03 FB FB"} << 3;
    QTest::newRow("back to back") << QByteArray("\xFF\x14\x01\xFD\xFD\xFF\x1E\x05\xFC\xFC", 10)
                                  << QStringList{"FF 14 01 FD FD", "FF 1E 05 FC FC"} << 0;
    QTest::newRow("255 inside the arguments")
        << QByteArray("\xFF\x01\xFF\xFF\xFF\xFF\x0B\xFF\x00\xFF", 10)
        << QStringList{"FF 01 FF FF FF", "FF 0B FF 00 FF"} << 0;
    QTest::newRow("garbage between frames")
        << QByteArray("\xFF\x3C\xFB\xFB\xFB\x01\x02\xFF\x32\xFE\xFE\xFE", 12)
        << QStringList{"FF 3C FB FB FB", "FF 32 FE FE FE"} << 2;
    QTest::newRow("partial frame waits") << QByteArray("\xFF\x01\x02", 3) << QStringList{} << 0;
}

void FrameFinderTest::finds()
{
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, frames);
    QFETCH(int, skipped);
    FrameFinder whole;
    QCOMPARE(words(whole.feed(stream, 0)), frames);
    QCOMPARE(whole.skipped(), skipped);
    // The same, a byte a read, as a line at 9600 baud delivers it.
    FrameFinder bytes;
    QList<QString> got;
    for (int i = 0; i < stream.size(); ++i)
        got += words(bytes.feed(stream.mid(i, 1), i));
    QCOMPARE(got, frames);
}

void FrameFinderTest::staleHalfFrameDropped()
{
    FrameFinder finder;
    QVERIFY(finder.feed(QByteArray("\xFF\x01\x02", 3), 0).empty());
    // The sender gave up on that one; the next marker begins a new frame.
    QCOMPARE(words(finder.feed(QByteArray("\xFF\x28\x00\xFB\xFB", 5), FrameFinder::LineGapMs + 1)),
             QList<QString>{"FF 28 00 FB FB"});
    QCOMPARE(finder.skipped(), 3);
    // Within the gap a split frame is still one frame.
    QVERIFY(finder.feed(QByteArray("\xFF\x01", 2), 1000).empty());
    QCOMPARE(words(finder.feed(QByteArray("\x01\x02\x03", 3), 1000 + FrameFinder::LineGapMs)),
             QList<QString>{"FF 01 01 02 03"});
}

// What it answers and prints for each command is in the command line's
// transcripts; what they never send is here.
void FrameFinderTest::moduleIgnoresWhatItDoesNotKnow()
{
    VirtualModule module({});
    const ModuleSettings before = module.state();
    QCOMPARE(module.handle({255, 40, 12, 251, 251}).line,
             QStringLiteral("SetMode 12 (out of range, ignored)"));
    QCOMPARE(module.handle({255, 99, 1, 2, 3}).line, QStringLiteral("Unknown FF 63 01 02 03"));
    QCOMPARE(module.state().mode, before.mode);
}

QTEST_GUILESS_MAIN(FrameFinderTest)
#include "tst_framefinder.moc"
