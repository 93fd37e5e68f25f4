#include "framefinder.h"
#include "module.h"

#include <QtTest>

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
    void splitAcrossReads();
    void staleHalfFrameDropped();
    void moduleKeepsStateAndAnswers();
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
    FrameFinder finder;
    QCOMPARE(words(finder.feed(stream, 0)), frames);
    QCOMPARE(finder.skipped(), skipped);
}

void FrameFinderTest::splitAcrossReads()
{
    FrameFinder finder;
    const QByteArray stream("\xFF\x01\x0A\x0B\x0C\xFF\x28\x03\xFB\xFB", 10);
    QList<QString> got;
    for (int i = 0; i < stream.size(); ++i)
        got += words(finder.feed(stream.mid(i, 1), i));
    QCOMPARE(got, (QList<QString>{"FF 01 0A 0B 0C", "FF 28 03 FB FB"}));
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

void FrameFinderTest::moduleKeepsStateAndAnswers()
{
    VirtualModule module({});
    QCOMPARE(module.handle({255, 1, 128, 64, 0}).line, QStringLiteral("SetColor r=128 g=64 b=0"));
    QCOMPARE(module.colour(), (Rgb{128, 64, 0}));
    QCOMPARE(module.handle({255, 11, 255, 7, 10}).line,
             QStringLiteral("StoreSlot slot=10 r=255 g=7 b=10"));
    QCOMPARE(module.handle({255, 40, 3, 251, 251}).line, QStringLiteral("SetMode 3"));
    QCOMPARE(module.handle({255, 40, 12, 251, 251}).line,
             QStringLiteral("SetMode 12 (out of range, ignored)"));
    QCOMPARE(module.handle({255, 20, 2, 253, 253}).line, QStringLiteral("SetFade 2"));
    QCOMPARE(module.handle({255, 30, 240, 252, 252}).line, QStringLiteral("SetHold 240"));
    QCOMPARE(module.handle({255, 99, 1, 2, 3}).line, QStringLiteral("Unknown FF 63 01 02 03"));

    const VirtualModule::Outcome read = module.handle({255, 60, 251, 251, 251});
    QCOMPARE(read.line, QStringLiteral("ReadModuleSettings -> 35 bytes"));
    const auto decoded = DecodeSettingsReply(read.answer);
    QVERIFY(decoded);
    QCOMPARE(decoded->mode, 3);
    QCOMPARE(decoded->fade, 2);
    QCOMPARE(decoded->hold, 240);
    QCOMPARE(decoded->slotColors[9], (Rgb{255, 7, 10}));

    const VirtualModule::Outcome save = module.handle({255, 50, 254, 254, 254});
    QCOMPARE(save.line, QStringLiteral("SaveToEeprom -> FE AA"));
    QCOMPARE(save.answer, QByteArray("\xFE\xAA"));

    VirtualModule::Options faulty;
    faulty.shortReply = true;
    faulty.badAck = true;
    VirtualModule bad(faulty);
    QCOMPARE(bad.handle({255, 60, 251, 251, 251}).answer.size(), 34);
    QCOMPARE(bad.handle({255, 50, 254, 254, 254}).answer, QByteArray("\xFE\xAB"));
}

QTEST_GUILESS_MAIN(FrameFinderTest)
#include "tst_framefinder.moc"
