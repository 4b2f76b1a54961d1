// Decoding of read replies, texts of the data display, lamp states and the
// wording of write results, checked without a window.

#include "DevStatusCache.h"
#include "Protocol.h"
#include "StatusBytes.h"
#include "StatusDecoder.h"
#include "StatusFormat.h"
#include "WriteResult.h"

#include <QtTest>

using FieldList = QVector<QPair<QString, QString>>;

static QString fieldText(const DevStatusCache &c, const QString &name)
{
    for (const auto &f : StatusFormat::fieldTexts(c))
        if (f.first == name)
            return f.second;
    return QStringLiteral("<missing>");
}

static QByteArray frame(quint16 word, const QByteArray &data) { return Protocol().packFrame(word, data); }

class TestStatusDecoding : public QObject
{
    Q_OBJECT
private slots:
    void wholeStatusReplyFillsEveryField();
    void fieldTexts_data();
    void fieldTexts();
    void serialNumberText_data();
    void serialNumberText();
    void lamps_data();
    void lamps();
    void shortStatusReplyIsIgnored_data();
    void shortStatusReplyIsIgnored();
    void singleValueReplies();
    void shortSingleValueRepliesAreIgnored_data();
    void shortSingleValueRepliesAreIgnored();
    void unknownWordChangesNothing();
    void pidReply();
    void writeResultTexts_data();
    void writeResultTexts();
    void commandNames_data();
    void commandNames();
    void writeEcho();
    void writeEchoIgnoresTruncatedFrames();
};

void TestStatusDecoding::wholeStatusReplyFillsEveryField()
{
    DevStatusCache c;
    QVERIFY(StatusDecoder::applyReadReply(c, 0x00C1, StatusBytes::sample().frame()));
    const FieldList expected = {
        {"SoftVersion", "V1.5"},
        {"PowerPercentShow", "640"},
        {"TempThreshold", "45.5℃"},
        {"DevRxFrame", "123456"},
        {"DevTxFrame", "654321"},
        {"devSerialNum", "66051-202407090042"},
        {"LdWorkHours", "2H"},
        {"StatAutoCompensation", "36H"},
        {"FanSpeed1", "3000 rpm"},
        {"FanSpeed2", "3100 rpm"},
        {"FanSpeed3", "3200 rpm"},
        {"LdCurrent", "1.23 A"},
        {"tecCurrent", "0.56 A"},
        {"LdTemp", "-1.5 ℃"},
        {"LdTemp_2", "25.3 ℃"},
        {"lineEdit_MaxDacShow", "3900"},
        {"mcuTemperature", "41.2 ℃"},
        {"envTemperature", "23.7 ℃"},
        {"devLdType", "Ld-50W"},
    };
    QCOMPARE(StatusFormat::fieldTexts(c), expected);
    QCOMPARE(c.ldStatBits, quint8(0x01));
    QCOMPARE(c.alarmBits, quint8(0x0A));
}

void TestStatusDecoding::fieldTexts_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    auto row = [](const char *name, const StatusBytes &s, const char *field, const QString &text) {
        QTest::newRow(name) << s.data() << QString::fromLatin1(field) << text;
    };
    row("threshold 45.5", StatusBytes().s16(6, 455), "TempThreshold", "45.5℃");
    row("threshold negative", StatusBytes().s16(6, -5), "TempThreshold", "-0.5℃");
    row("laser temp -1.5", StatusBytes().s16(42, -15), "LdTemp", "-1.5 ℃");
    row("temp 2 zero", StatusBytes(), "LdTemp_2", "0.0 ℃");
    row("mcu temp -40.0", StatusBytes().s16(50, -400), "mcuTemperature", "-40.0 ℃");
    row("env temp max", StatusBytes().s16(52, 32767), "envTemperature", "3276.7 ℃");
    row("run 7199 s", StatusBytes().u32(24, 7199), "LdWorkHours", "1H");
    row("run 7200 s", StatusBytes().u32(24, 7200), "LdWorkHours", "2H");
    row("run 0 s", StatusBytes(), "LdWorkHours", "0H");
    row("run max", StatusBytes().u32(24, 0xFFFFFFFF), "LdWorkHours", "1193046H");
    row("current 1.23", StatusBytes().u16(38, 1234), "LdCurrent", "1.23 A");
    row("current 0", StatusBytes(), "LdCurrent", "0.00 A");
    row("tec current 65.53", StatusBytes().u16(40, 65530), "tecCurrent", "65.53 A");
    row("fan 3 speed", StatusBytes().u16(36, 65535), "FanSpeed3", "65535 rpm");
    row("firmware", StatusBytes().u8(0, 12).u8(1, 0), "SoftVersion", "V12.0");
    row("rx frames max", StatusBytes().u32(8, 4294967295u), "DevRxFrame", "4294967295");
    row("compensation", StatusBytes().u32(28, 100000), "StatAutoCompensation", "100000H");
    row("type 0", StatusBytes().u8(48, 0), "devLdType", "Ld-25W");
    row("type 1", StatusBytes().u8(48, 1), "devLdType", "Ld-30W");
    row("type 2", StatusBytes().u8(48, 2), "devLdType", "Ld-50W");
    row("type 3", StatusBytes().u8(48, 3), "devLdType", "UnKnown!");
    row("type 255", StatusBytes().u8(48, 255), "devLdType", "UnKnown!");
    row("unused byte ignored", StatusBytes().u8(49, 0x7F), "devLdType", "Ld-25W");
    row("max dac", StatusBytes().u16(46, 4095), "lineEdit_MaxDacShow", "4095");
    row("power", StatusBytes().u16(4, 1000), "PowerPercentShow", "1000");
}

void TestStatusDecoding::fieldTexts()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, field);
    QFETCH(QString, text);
    DevStatusCache c;
    QVERIFY(StatusDecoder::parseAllStatus(c, frame(0x00C1, data)));
    QCOMPARE(fieldText(c, field), text);
}

void TestStatusDecoding::serialNumberText_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("text");
    QTest::newRow("example") << QByteArray::fromHex("010203180709002A") << "66051-202407090042";
    QTest::newRow("zeros") << QByteArray::fromHex("0000000000000000") << "0-200000000000";
    QTest::newRow("composer sample") << QByteArray::fromHex("12D687180305000C") << "1234567-202403050012";
    QTest::newRow("five-digit day number") << QByteArray::fromHex("000001FF0C1FFFFF") << "1-2255123165535";
    QTest::newRow("nothing read yet") << QByteArray() << "";
    QTest::newRow("truncated record") << QByteArray::fromHex("01020318070900") << "";
}

void TestStatusDecoding::serialNumberText()
{
    QFETCH(QByteArray, record);
    QFETCH(QString, text);
    QCOMPARE(StatusFormat::formatSerialNumber(record), text);
}

void TestStatusDecoding::lamps_data()
{
    QTest::addColumn<int>("ldStat");
    QTest::addColumn<int>("alarms");
    QTest::addColumn<bool>("commError");
    // green flags: laser, link, temperature, fan 1, fan 2, fan 3
    QTest::addColumn<QVector<bool>>("green");
    QTest::newRow("start state") << 0 << 0 << false << QVector<bool>{false, true, true, true, true, true};
    QTest::newRow("laser on") << 1 << 0 << false << QVector<bool>{true, true, true, true, true, true};
    QTest::newRow("only bit 0 counts for the laser") << 0xFE << 0 << false
                                                     << QVector<bool>{false, true, true, true, true, true};
    QTest::newRow("fans 1 and 3") << 1 << 0x0A << false << QVector<bool>{true, true, true, false, true, false};
    QTest::newRow("temperature") << 1 << 0x01 << false << QVector<bool>{true, true, false, true, true, true};
    QTest::newRow("fan 2") << 1 << 0x04 << false << QVector<bool>{true, true, true, true, false, true};
    QTest::newRow("upper bits unused") << 1 << 0xF0 << false << QVector<bool>{true, true, true, true, true, true};
    QTest::newRow("all alarms, link fault") << 0 << 0x0F << true << QVector<bool>{false, false, false, false, false, false};
}

void TestStatusDecoding::lamps()
{
    QFETCH(int, ldStat);
    QFETCH(int, alarms);
    QFETCH(bool, commError);
    QFETCH(QVector<bool>, green);
    DevStatusCache c;
    c.ldStatBits = quint8(ldStat);
    c.alarmBits = quint8(alarms);
    c.commError = commError;
    StatusDecoder::decodeAlarmBits(c);
    StatusDecoder::decodeLaserState(c);
    const auto lamps = StatusFormat::lampStates(c);
    const QStringList names = {"label_LdOnOffStat", "CommStat", "labelTempAlarm",
                               "labelFanAlarm_1", "labelFanAlarm_2", "labelFanAlarm_3"};
    QCOMPARE(lamps.size(), 6);
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(lamps[i].first, names[i]);
        QCOMPARE(lamps[i].second, green[i]);
    }
}

void TestStatusDecoding::shortStatusReplyIsIgnored_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("applied");
    QTest::newRow("header only") << 3 << false;
    QTest::newRow("half") << 30 << false;
    QTest::newRow("data without CRC room") << 57 << false;
    QTest::newRow("one byte short") << 58 << false;
    QTest::newRow("whole") << 59 << true;
    QTest::newRow("longer") << 70 << true;
}

void TestStatusDecoding::shortStatusReplyIsIgnored()
{
    QFETCH(int, length);
    QFETCH(bool, applied);
    QByteArray f = StatusBytes::sample().frame();
    f.resize(length); // longer frames are padded with zeros after the CRC
    DevStatusCache c;
    c.powerPercent = 7;
    c.serialNum = QByteArray::fromHex("0000000000000001");
    QCOMPARE(StatusDecoder::applyReadReply(c, 0x00C1, f), applied);
    QCOMPARE(c.powerPercent, quint16(applied ? 640 : 7));
    QCOMPARE(StatusFormat::formatSerialNumber(c.serialNum),
             QString(applied ? "66051-202407090042" : "0-200000000001"));
    if (!applied)
        QCOMPARE(c.fwMajor, quint8(0));
}

void TestStatusDecoding::singleValueReplies()
{
    DevStatusCache c;
    QVERIFY(StatusDecoder::applyReadReply(c, 0x0050, frame(0x0050, QByteArray::fromHex("0203"))));
    QVERIFY(StatusDecoder::applyReadReply(c, 0x0051, frame(0x0051, QByteArray::fromHex("01"))));
    QVERIFY(StatusDecoder::applyReadReply(c, 0x0052, frame(0x0052, QByteArray::fromHex("02EE"))));
    QVERIFY(StatusDecoder::applyReadReply(c, 0x0053, frame(0x0053, QByteArray::fromHex("FFF1"))));
    QVERIFY(StatusDecoder::applyReadReply(c, 0x0054, frame(0x0054, QByteArray::fromHex("0000000100000102"))));
    QVERIFY(StatusDecoder::applyReadReply(c, 0x0055, frame(0x0055, QByteArray::fromHex("010203180709002A"))));
    QVERIFY(StatusDecoder::applyReadReply(c, 0x0056, frame(0x0056, QByteArray::fromHex("04"))));
    QCOMPARE(fieldText(c, "SoftVersion"), QString("V2.3"));
    QCOMPARE(c.ldStatBits, quint8(1));
    QCOMPARE(fieldText(c, "PowerPercentShow"), QString("750"));
    QCOMPARE(fieldText(c, "TempThreshold"), QString("-1.5℃"));
    QCOMPARE(fieldText(c, "DevRxFrame"), QString("1"));
    QCOMPARE(fieldText(c, "DevTxFrame"), QString("258"));
    QCOMPARE(fieldText(c, "devSerialNum"), QString("66051-202407090042"));
    QCOMPARE(c.alarmBits, quint8(4));
    // Fields of other words stay as they were.
    QCOMPARE(c.maxDac, quint16(0));
    QCOMPARE(c.runSeconds, quint32(0));
}

void TestStatusDecoding::shortSingleValueRepliesAreIgnored_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("version, one byte") << 0x0050 << QByteArray::fromHex("02");
    QTest::newRow("laser state, none") << 0x0051 << QByteArray();
    QTest::newRow("power, one byte") << 0x0052 << QByteArray::fromHex("02");
    QTest::newRow("threshold, one byte") << 0x0053 << QByteArray::fromHex("FF");
    QTest::newRow("counters, seven bytes") << 0x0054 << QByteArray::fromHex("00000001000001");
    QTest::newRow("serial, four bytes") << 0x0055 << QByteArray::fromHex("01020318");
    QTest::newRow("alarms, none") << 0x0056 << QByteArray();
}

void TestStatusDecoding::shortSingleValueRepliesAreIgnored()
{
    QFETCH(int, word);
    QFETCH(QByteArray, data);
    DevStatusCache c;
    QVERIFY(StatusDecoder::parseAllStatus(c, StatusBytes::sample().frame()));
    const FieldList before = StatusFormat::fieldTexts(c);
    const quint8 alarmsBefore = c.alarmBits;
    const quint8 stateBefore = c.ldStatBits;
    QVERIFY(!StatusDecoder::applyReadReply(c, quint16(word), frame(quint16(word), data)));
    QCOMPARE(StatusFormat::fieldTexts(c), before);
    QCOMPARE(c.alarmBits, alarmsBefore);
    QCOMPARE(c.ldStatBits, stateBefore);
}

void TestStatusDecoding::unknownWordChangesNothing()
{
    DevStatusCache c;
    QVERIFY(StatusDecoder::parseAllStatus(c, StatusBytes::sample().frame()));
    const FieldList before = StatusFormat::fieldTexts(c);
    QVERIFY(!StatusDecoder::applyReadReply(c, 0x0057, frame(0x0057, QByteArray(60, '\x11'))));
    QVERIFY(!StatusDecoder::applyReadReply(c, 0xA111, frame(0xA111, QByteArray(20, '\x11'))));
    QCOMPARE(StatusFormat::fieldTexts(c), before);
    QCOMPARE(StatusDecoder::commandWord(QByteArray::fromHex("0100")), quint16(0));
    QCOMPARE(StatusDecoder::commandWord(QByteArray::fromHex("01A111")), quint16(0xA111));
}

void TestStatusDecoding::pidReply()
{
    const QByteArray data = QByteArray::fromHex("0000012C" "000003E8" "00002710" "00000064" "FFFFFFFF");
    QVector<quint32> full = StatusDecoder::decodePidReply(frame(0xA111, data));
    QCOMPARE(full.size(), 16);
    QCOMPARE(full.mid(0, 5), (QVector<quint32>{300, 1000, 10000, 100, 0xFFFFFFFFu}));
    QCOMPARE(full.mid(5), QVector<quint32>(11, 0));

    // A reply that ends after byte 10: two values, the rest 0.
    QVector<quint32> cut = StatusDecoder::decodePidReply(QByteArray::fromHex("01A111" "0000012C" "000003E8"));
    QCOMPARE(cut.mid(0, 2), (QVector<quint32>{300, 1000}));
    QCOMPARE(cut.mid(2), QVector<quint32>(14, 0));
    // Missing bytes inside a value read as 0.
    QCOMPARE(StatusDecoder::decodePidReply(QByteArray::fromHex("01A1110102")).at(0), quint32(0x01020000));
    QCOMPARE(StatusDecoder::decodePidReply(QByteArray()), QVector<quint32>(16, 0));
}

void TestStatusDecoding::writeResultTexts_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "成功";
    QTest::newRow("1") << 1 << "失败，串口未打开";
    QTest::newRow("2") << 2 << "失败，总线忙";
    QTest::newRow("3") << 3 << "失败，CRC校验出错";
    QTest::newRow("4") << 4 << "失败，设备处理命令返回错误";
    QTest::newRow("5") << 5 << "失败，原因未知";
    QTest::newRow("7") << 7 << "失败，原因未知";
    QTest::newRow("254") << 254 << "失败，原因未知";
    QTest::newRow("255") << 255 << "失败，总线数据丢失";
}

void TestStatusDecoding::writeResultTexts()
{
    QFETCH(int, result);
    QFETCH(QString, text);
    QCOMPARE(WriteResult::resultText(quint8(result)), text);
    const QByteArray power = frame(0x0012, QByteArray::fromHex("0032"));
    QCOMPARE(WriteResult::logMessage(quint8(result), power), QString("设置激光功率") + text + "\n");
}

void TestStatusDecoding::commandNames_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("name");
    QTest::newRow("reset") << frame(0x0001, QByteArray::fromHex("5AA5")) << "软件重启";
    QTest::newRow("laser on") << frame(0x0011, QByteArray::fromHex("01")) << "开启光源";
    QTest::newRow("laser off") << frame(0x0011, QByteArray::fromHex("00")) << "关闭光源";
    QTest::newRow("laser 2 is off") << frame(0x0011, QByteArray::fromHex("02")) << "关闭光源";
    QTest::newRow("laser, no data") << frame(0x0011, QByteArray()) << "关闭光源";
    QTest::newRow("power") << frame(0x0012, QByteArray::fromHex("0032")) << "设置激光功率";
    QTest::newRow("threshold") << frame(0x0013, QByteArray::fromHex("0177")) << "设置温度保护阈值";
    QTest::newRow("counters") << frame(0x0014, QByteArray(8, 0)) << "设置收发帧数";
    QTest::newRow("serial") << frame(0x0015, QByteArray(8, 1)) << "设置序列号";
    QTest::newRow("dac save") << frame(0x00A1, QByteArray::fromHex("0190")) << "设置最大DAC并保存";
    QTest::newRow("dac only") << frame(0x00A2, QByteArray::fromHex("0190")) << "仅设置最大DAC（不保存)";
    QTest::newRow("compensation") << frame(0x00A3, QByteArray::fromHex("00001170")) << "设置自动补偿时长";
    QTest::newRow("tec on") << frame(0x00A4, QByteArray::fromHex("01")) << "开启TEC";
    QTest::newRow("tec off") << frame(0x00A4, QByteArray::fromHex("00")) << "关闭TEC";
    QTest::newRow("tec power") << frame(0x00A5, QByteArray::fromHex("0100")) << "设置TEC功率";
    QTest::newRow("auto tec on") << frame(0x00A6, QByteArray::fromHex("01")) << "开启自动控制TEC";
    QTest::newRow("auto tec off") << frame(0x00A6, QByteArray::fromHex("00")) << "关闭自动控制TEC";
    QTest::newRow("fans") << frame(0x00A7, QByteArray::fromHex("010203")) << "设置风扇调试命令";
    QTest::newRow("laser type") << frame(0x00A8, QByteArray::fromHex("02")) << "保存激光类型命令";
    QTest::newRow("pid") << frame(0xA010, QByteArray(12, 0)) << "设置PID系数";
    QTest::newRow("unknown") << frame(0x0099, QByteArray::fromHex("01")) << "设置未知命令";
    QTest::newRow("garbage") << QByteArray::fromHex("01") << "设置未知命令";
}

void TestStatusDecoding::commandNames()
{
    QFETCH(QByteArray, sent);
    QFETCH(QString, name);
    QCOMPARE(WriteResult::commandName(sent), name);
}

void TestStatusDecoding::writeEcho()
{
    DevStatusCache c;
    QVERIFY(WriteResult::applyWriteEcho(c, frame(0x0012, QByteArray::fromHex("02EE"))));
    QVERIFY(WriteResult::applyWriteEcho(c, frame(0x0013, QByteArray::fromHex("0177"))));
    QVERIFY(WriteResult::applyWriteEcho(c, frame(0x0014, QByteArray::fromHex("0000000100000102"))));
    QVERIFY(WriteResult::applyWriteEcho(c, frame(0x0015, QByteArray::fromHex("12D687180305000C"))));
    QVERIFY(WriteResult::applyWriteEcho(c, frame(0x00A2, QByteArray::fromHex("018F"))));
    QVERIFY(WriteResult::applyWriteEcho(c, frame(0x00A3, QByteArray::fromHex("00001170"))));
    QCOMPARE(fieldText(c, "PowerPercentShow"), QString("750"));
    QCOMPARE(fieldText(c, "TempThreshold"), QString("37.5℃"));
    QCOMPARE(fieldText(c, "DevRxFrame"), QString("1"));
    QCOMPARE(fieldText(c, "DevTxFrame"), QString("258"));
    QCOMPARE(fieldText(c, "devSerialNum"), QString("1234567-202403050012"));
    QCOMPARE(fieldText(c, "lineEdit_MaxDacShow"), QString("399"));
    QCOMPARE(fieldText(c, "StatAutoCompensation"), QString("4464H"));
    QVERIFY(WriteResult::applyWriteEcho(c, frame(0x00A1, QByteArray::fromHex("0FFF"))));
    QCOMPARE(c.maxDac, quint16(4095));

    // Switches, PID, laser type and reset carry nothing into the cache.
    const DevStatusCache before = c;
    QVERIFY(!WriteResult::applyWriteEcho(c, frame(0x0011, QByteArray::fromHex("01"))));
    QVERIFY(!WriteResult::applyWriteEcho(c, frame(0x00A8, QByteArray::fromHex("02"))));
    QVERIFY(!WriteResult::applyWriteEcho(c, frame(0x0001, QByteArray::fromHex("5AA5"))));
    QCOMPARE(StatusFormat::fieldTexts(c), StatusFormat::fieldTexts(before));
    QCOMPARE(c.ldStatBits, before.ldStatBits);
    QCOMPARE(c.ldType, before.ldType);
}

void TestStatusDecoding::writeEchoIgnoresTruncatedFrames()
{
    DevStatusCache c;
    c.serialNum = QByteArray::fromHex("010203180709002A");
    c.powerPercent = 5;
    QVERIFY(!WriteResult::applyWriteEcho(c, frame(0x0015, QByteArray())));
    QVERIFY(!WriteResult::applyWriteEcho(c, frame(0x0015, QByteArray::fromHex("0102"))));
    QVERIFY(!WriteResult::applyWriteEcho(c, frame(0x0012, QByteArray::fromHex("02"))));
    QVERIFY(!WriteResult::applyWriteEcho(c, QByteArray::fromHex("0100")));
    QCOMPARE(c.serialNum, QByteArray::fromHex("010203180709002A"));
    QCOMPARE(c.powerPercent, quint16(5));
}

QTEST_APPLESS_MAIN(TestStatusDecoding)
#include "tst_statusdecoding.moc"
