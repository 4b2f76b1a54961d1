// The event log alone: spans that open and close with what they are fed,
// the value a sent frame carries, and the CSV file.

#include "EventLog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A frame as the executor sends it: address, word, data, and two CRC bytes
// (the log reads neither address nor CRC).
QByteArray frame(quint16 word, const QByteArray &data)
{
    QByteArray f;
    f.append(char(0x01)).append(char(word >> 8)).append(char(word & 0xFF)).append(data).append(2, '\0');
    return f;
}

DevStatusCache alarms(quint8 bits)
{
    DevStatusCache c;
    c.alarmBits = bits;
    return c;
}

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT
private slots:
    void alarmSpans();
    void linkAndAnswerSpans();
    void sentValues_data();
    void sentValues();
    void csvQuotesAndRefusesBadPath();
};

void TestEventLog::alarmSpans()
{
    EventLog log;
    log.noteStatus(alarms(0x0A)); // fans 1 and 3
    QCOMPARE(log.events().size(), 2);
    QCOMPARE(log.events()[0].text, QString::fromUtf8("风扇1报警"));
    QCOMPARE(log.events()[1].text, QString::fromUtf8("风扇3报警"));
    QVERIFY(log.events()[0].open);
    log.noteStatus(alarms(0x0A)); // still on: no new entry
    QCOMPARE(log.events().size(), 2);
    QTest::qWait(30);
    log.noteStatus(alarms(0x08)); // fan 1 cleared
    QCOMPARE(log.events().size(), 2);
    QVERIFY(!log.events()[0].open);
    QVERIFY(log.events()[0].end >= log.events()[0].start.addMSecs(30));
    QCOMPARE(log.events()[0].outcome, QString::fromUtf8("已恢复"));
    QVERIFY(log.events()[1].open);
    QCOMPARE(EventLog::durationText(log.events()[1]), QString::fromUtf8("进行中"));
    // A lost link ends what nobody can see any more.
    log.notePortLost(QStringLiteral("/dev/ttyUSB0"));
    QVERIFY(!log.events()[1].open);
    QCOMPARE(log.events()[1].outcome, QString::fromUtf8("连接丢失"));
}

void TestEventLog::linkAndAnswerSpans()
{
    EventLog log;
    log.noteErrorCount(10, 10); // at the limit the lamp is still green
    QVERIFY(log.events().isEmpty());
    log.noteErrorCount(11, 10);
    log.noteErrorCount(12, 10);
    QCOMPARE(log.events().size(), 1);
    QCOMPARE(log.events()[0].kind, EventLog::NoAnswer);
    log.noteErrorCount(0, 10);
    QVERIFY(!log.events()[0].open);
    log.notePortLost(QStringLiteral("/dev/ttyUSB0"));
    log.notePortOpened(QStringLiteral("/dev/ttyUSB0"), true, true);
    QCOMPARE(log.events()[1].text, QString::fromUtf8("连接丢失"));
    QVERIFY(!log.events()[1].open);
    QCOMPARE(log.events()[1].outcome, QString::fromUtf8("已重新连接"));
    QCOMPARE(log.events()[2].text, QString::fromUtf8("串口重新打开"));
}

void TestEventLog::sentValues_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("value");
    QTest::newRow("threshold") << frame(0x0013, QByteArray::fromHex("0177")) << "37.5 °C";
    QTest::newRow("power") << frame(0x0012, QByteArray::fromHex("03E8")) << "1000";
    QTest::newRow("compensation") << frame(0x00A3, QByteArray::fromHex("00000064")) << "100 h";
    QTest::newRow("frame counters") << frame(0x0014, QByteArray(8, '\0')) << "0, 0";
    QTest::newRow("negative PID") << frame(0xA010, QByteArray::fromHex("00003A98FFFFFC1800000000"))
                                  << "1.5000, -0.1000, 0.0000";
    QTest::newRow("laser switch names itself") << frame(0x0011, QByteArray::fromHex("01")) << "";
    QTest::newRow("fan bytes") << frame(0x00A7, QByteArray::fromHex("0132FF")) << "01 32 FF";
    QTest::newRow("short frame") << QByteArray::fromHex("0100") << "";
    QTest::newRow("unknown word") << frame(0x7777, QByteArray::fromHex("01")) << "";
}

void TestEventLog::sentValues()
{
    QFETCH(QByteArray, sent);
    QFETCH(QString, value);
    QCOMPARE(EventLog::sentValueText(sent), value);
}

void TestEventLog::csvQuotesAndRefusesBadPath()
{
    EventLog log;
    log.noteTransfer(true, QStringLiteral("/tmp/a,b \"new\".bin"), false, QStringLiteral("TimedOut"));
    QTemporaryDir dir;
    QString error;
    QVERIFY(log.saveCsv(dir.filePath("e.csv"), &error));
    QFile f(dir.filePath("e.csv"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[1].contains("\"/tmp/a,b \"\"new\"\".bin\""), qPrintable(lines[1]));
    QVERIFY(!log.saveCsv(dir.filePath("missing/e.csv"), &error));
    QVERIFY(!error.isEmpty());
}

QTEST_MAIN(TestEventLog)
#include "tst_eventlog.moc"
