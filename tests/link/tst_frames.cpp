#include "link/commandframe.h"
#include "link/reply.h"

#include <QtTest>

class FramesTest : public QObject
{
    Q_OBJECT

private slots:
    void hexOfEveryByte();
    void bodies_data();
    void bodies();
    void settingsReplyChecks_data();
    void settingsReplyChecks();
    void decodesSlots();
    void saveAck_data();
    void saveAck();
};

void FramesTest::hexOfEveryByte()
{
    for (int b = 0; b < 256; ++b) {
        const QString text = HexByte(std::uint8_t(b));
        QCOMPARE(text.size(), 3);
        QCOMPARE(text.back(), QChar(u' '));
        QCOMPARE(text.left(2), QStringLiteral("%1").arg(b, 2, 16, QChar(u'0')).toUpper());
        bool ok = false;
        QCOMPARE(text.left(2).toInt(&ok, 16), b);
        QVERIFY(ok);
    }
    QCOMPARE(HexFrame({255, 1, 128, 64, 0}), QStringLiteral("FF 01 80 40 00 "));
}

void FramesTest::bodies_data()
{
    QTest::addColumn<FrameBody>("body");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("words");
    QTest::newRow("SetColor") << SetColorBody(128, 64, 0) << "FF 01 80 40 00 "
                              << "SetColor r=128 g=64 b=0";
    QTest::newRow("StoreSlot 0") << StoreSlotBody(0, 1, 2, 3) << "FF 02 01 02 03 "
                                 << "StoreSlot slot=1 r=1 g=2 b=3";
    QTest::newRow("StoreSlot 9") << StoreSlotBody(9, 255, 7, 10) << "FF 0B FF 07 0A "
                                 << "StoreSlot slot=10 r=255 g=7 b=10";
    QTest::newRow("SetFade") << SetFadeBody(2) << "FF 14 02 FD FD "
                             << "SetFade 2";
    QTest::newRow("SetHold") << SetHoldBody(240) << "FF 1E F0 FC FC "
                             << "SetHold 240";
    QTest::newRow("SetMode 0") << SetModeBody(0) << "FF 28 00 FB FB "
                               << "SetMode 0";
    QTest::newRow("SetMode 11") << SetModeBody(11) << "FF 28 0B FB FB "
                                << "SetMode 11";
    QTest::newRow("SaveToEeprom") << SaveToEepromBody() << "FF 32 FE FE FE "
                                  << "SaveToEeprom";
    QTest::newRow("ReadModuleSettings") << ReadModuleSettingsBody() << "FF 3C FB FB FB "
                                        << "ReadModuleSettings";
}

void FramesTest::bodies()
{
    QFETCH(FrameBody, body);
    QFETCH(QString, hex);
    QFETCH(QString, words);
    const Frame frame{StartMarker, body[0], body[1], body[2], body[3]};
    QCOMPARE(HexFrame(frame), hex);
    QCOMPARE(DescribeFrame(frame), words);
}

namespace {
QByteArray bytes(std::initializer_list<int> values, int size)
{
    QByteArray out(size, '\0');
    int i = 0;
    for (int v : values)
        out[i++] = char(v);
    return out;
}
} // namespace

void FramesTest::settingsReplyChecks_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("content");
    QTest::addColumn<bool>("decodes");
    QTest::newRow("35 bytes from 255") << bytes({255, 3, 1, 10}, 35) << true << true;
    QTest::newRow("40 bytes from 255") << bytes({255, 3, 1, 10}, 40) << true << true;
    QTest::newRow("34 bytes") << bytes({255, 3, 1, 10}, 34) << true << false;
    QTest::newRow("255 with any byte 1 passes content")
        << bytes({255, 254, 1, 10}, 35) << true << false;
    QTest::newRow("254 in byte 1 passes content") << bytes({0, 254, 1, 10}, 35) << true << false;
    QTest::newRow("neither") << bytes({0, 3, 1, 10}, 35) << false << false;
    QTest::newRow("mode 11, fade 2, hold 240") << bytes({255, 11, 2, 240}, 35) << true << true;
    QTest::newRow("mode 12") << bytes({255, 12, 2, 240}, 35) << true << false;
    QTest::newRow("fade 3") << bytes({255, 11, 3, 240}, 35) << true << false;
    QTest::newRow("hold 241") << bytes({255, 11, 2, 241}, 35) << true << false;
    QTest::newRow("empty") << QByteArray() << false << false;
}

void FramesTest::settingsReplyChecks()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, content);
    QFETCH(bool, decodes);
    QCOMPARE(SettingsReplyContentOk(reply), content);
    QCOMPARE(DecodeSettingsReply(reply).has_value(), decodes);
    QCOMPARE(SettingsReplyCountOk(int(reply.size())), reply.size() >= 35);
}

void FramesTest::decodesSlots()
{
    ModuleSettings s;
    s.mode = 3;
    s.fade = 1;
    s.hold = 10;
    for (int i = 0; i < SlotCount; ++i)
        s.slotColors[i] = {std::uint8_t(10 * i + 1), std::uint8_t(10 * i + 2),
                           std::uint8_t(10 * i + 3)};
    const QByteArray reply = EncodeSettingsReply(s);
    QCOMPARE(reply.size(), 35);
    QCOMPARE(std::uint8_t(reply[4]), 1);
    QCOMPARE(std::uint8_t(reply[33]), 93);
    QCOMPARE(DecodeSettingsReply(reply), std::optional<ModuleSettings>(s));
    QCOMPARE(DecodeSettingsReply(reply + QByteArray(5, '\x77')), std::optional<ModuleSettings>(s));
    // The count check is on a signed 16-bit number, as the module protocol has it.
    QVERIFY(!SettingsReplyCountOk(65536 + 10));
    QVERIFY(SettingsReplyCountOk(1024));
}

void FramesTest::saveAck_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok");
    QTest::newRow("FE AA") << QByteArray("\xFE\xAA") << true;
    QTest::newRow("FE AA and more") << QByteArray("\xFE\xAA\x01\x02") << true;
    QTest::newRow("FE AB") << QByteArray("\xFE\xAB") << false;
    QTest::newRow("AA FE") << QByteArray("\xAA\xFE") << false;
    QTest::newRow("FE") << QByteArray("\xFE") << false;
}

void FramesTest::saveAck()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    QCOMPARE(SaveAckOk(reply), ok);
    QCOMPARE(SaveAckCountOk(int(reply.size())), reply.size() >= 2);
}

QTEST_GUILESS_MAIN(FramesTest)
#include "tst_frames.moc"
