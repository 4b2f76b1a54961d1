#include "Protocol.h"

#include <QtTest>

class TestProtocol : public QObject
{
    Q_OBJECT
private slots:
    void sampleFrames_data();
    void sampleFrames();
    void bufferFormMatchesArrayForm();
    void bufferFormRefusesOversizedData();
    void crcCheckValue();
    void checkFrame_data();
    void checkFrame();
};

static QByteArray hex(const char *s) { return QByteArray::fromHex(s); }

void TestProtocol::sampleFrames_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("device reset") << 0x0001 << hex("5AA5") << hex("0100015AA5B2DB");
    QTest::newRow("laser on") << 0x0011 << hex("01") << hex("01001101CC48");
    QTest::newRow("laser off") << 0x0011 << hex("00") << hex("010011000D88");
    QTest::newRow("power 50") << 0x0012 << hex("0032") << hex("01001200323810");
    QTest::newRow("status query") << 0x00C1 << hex("01") << hex("0100C1019188");
    QTest::newRow("pid query") << 0xA111 << hex("00") << hex("01A111005C6A");
}

void TestProtocol::sampleFrames()
{
    QFETCH(int, word);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, frame);
    Protocol p;
    QCOMPARE(p.packFrame(quint16(word), data).toHex(), frame.toHex());
    QCOMPARE(p.checkFrame(frame), 0);
}

void TestProtocol::bufferFormMatchesArrayForm()
{
    Protocol p;
    quint8 buf[Protocol::FrameBufferSize];
    for (int n : {0, 1, 12, 500, Protocol::MaxBufferedData}) {
        QByteArray data(n, '\0');
        for (int i = 0; i < n; ++i)
            data[i] = char(i * 7 + 3);
        const quint16 len = p.packFrame(0x1234, data, buf);
        QCOMPARE(int(len), n + 5);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(buf), len), p.packFrame(0x1234, data));
    }
    QCOMPARE(p.packFrame(0x0015, QByteArray()).size(), 5);
}

void TestProtocol::bufferFormRefusesOversizedData()
{
    // A guard region after the 1024 bytes must stay untouched.
    Protocol p;
    quint8 buf[Protocol::FrameBufferSize + 64];
    memset(buf, 0xEE, sizeof buf);
    for (int n : {Protocol::MaxBufferedData + 1, 1024, 5000}) {
        QCOMPARE(int(p.packFrame(0x00C1, QByteArray(n, 'x'), buf)), 0);
        for (size_t i = 0; i < sizeof buf; ++i)
            QCOMPARE(int(buf[i]), 0xEE);
    }
}

void TestProtocol::crcCheckValue()
{
    QCOMPARE(Protocol::modbusCrc16("123456789"), quint16(0x4B37));
    quint8 first, second;
    Protocol::modbusCrc(reinterpret_cast<const quint8 *>("123456789"), 9, first, second);
    QCOMPARE(int(first), 0x37);
    QCOMPARE(int(second), 0x4B);
}

void TestProtocol::checkFrame_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("expected");
    Protocol p;
    const QByteArray good = hex("01001101CC48");
    QTest::newRow("empty") << QByteArray() << -1;
    QTest::newRow("1 byte") << hex("01") << -1;
    QTest::newRow("2 bytes") << hex("0100") << -1;
    QTest::newRow("3 bytes, valid-looking") << hex("01FFFF") << -1;
    QByteArray four = hex("0142");
    const quint16 c = Protocol::modbusCrc16(four);
    four.append(char(c & 0xFF)).append(char(c >> 8));
    QTest::newRow("4 bytes with good crc") << four << 0;
    QTest::newRow("good write reply") << good << 0;
    QByteArray wrongAddr = hex("02001101");
    const quint16 c2 = Protocol::modbusCrc16(wrongAddr);
    wrongAddr.append(char(c2 & 0xFF)).append(char(c2 >> 8));
    QTest::newRow("wrong address, good crc") << wrongAddr << 5;
    QTest::newRow("extra trailing byte") << good + hex("5A") << 3;
    QTest::newRow("crc bytes swapped") << hex("0100110148CC") << 3;
    QByteArray flipped = good;
    flipped[2] = char(flipped[2] ^ 0x10);
    QTest::newRow("flipped data bit") << flipped << 3;
}

void TestProtocol::checkFrame()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, expected);
    Protocol p;
    QCOMPARE(p.checkFrame(reply), expected);
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
