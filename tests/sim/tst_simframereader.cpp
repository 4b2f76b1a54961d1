#include "Protocol.h"
#include "SimFrameReader.h"

#include <QtTest>
#include <random>

namespace {

QByteArray frame(quint16 word, const QByteArray &data)
{
    return Protocol().packFrame(word, data);
}

} // namespace

class TestSimFrameReader : public QObject
{
    Q_OBJECT
private slots:
    void fixedLengthFramesWhole();
    void framesArrivingByteByByte();
    void garbageAndBadCrcAreDroppedAndResync();
    void variableLengthFrames();
    void staleFragmentIsDiscardedOnSilence();
    void unknownWordWithGoodCrc();
    void floodOfGarbage();
};

void TestSimFrameReader::fixedLengthFramesWhole()
{
    SimFrameReader r;
    const QByteArray a = frame(0x0011, QByteArray(1, 1));
    const QByteArray b = frame(0x0014, QByteArray(8, 0));
    const QByteArray c = frame(0xA010, QByteArray(12, 7));
    r.append(a + b + c);
    const QList<QByteArray> got = r.takeFrames(false);
    QCOMPARE(got, (QList<QByteArray>{a, b, c}));
    QCOMPARE(r.pending(), 0);
    QCOMPARE(r.droppedBytes(), qint64(0));
}

void TestSimFrameReader::framesArrivingByteByByte()
{
    SimFrameReader r;
    const QByteArray f = frame(0x00C1, QByteArray(1, 1));
    for (int i = 0; i < f.size() - 1; ++i) {
        r.append(f.mid(i, 1));
        QVERIFY(r.takeFrames(false).isEmpty());
    }
    r.append(f.right(1));
    QCOMPARE(r.takeFrames(false), QList<QByteArray>{f});
}

void TestSimFrameReader::garbageAndBadCrcAreDroppedAndResync()
{
    SimFrameReader r;
    QByteArray bad = frame(0x0012, QByteArray::fromHex("0032"));
    bad[bad.size() - 1] = char(bad[bad.size() - 1] ^ 0x01);
    const QByteArray good = frame(0x0011, QByteArray(1, 0));
    r.append(QByteArray::fromHex("FFEE00") + bad + good);
    QCOMPARE(r.takeFrames(false), QList<QByteArray>{good});
    QCOMPARE(r.droppedBytes(), qint64(3 + bad.size()));
    QCOMPARE(r.takeDropped(), QByteArray::fromHex("FFEE00") + bad);
}

void TestSimFrameReader::variableLengthFrames()
{
    SimFrameReader r;
    // The usual sizes are taken without waiting for silence.
    const QByteArray serial = frame(0x0015, QByteArray::fromHex("010203180709002A"));
    const QByteArray fan = frame(0x00A7, QByteArray::fromHex("FF012C"));
    const QByteArray type = frame(0x00A8, QByteArray(1, 2));
    r.append(serial + fan + type);
    QCOMPARE(r.takeFrames(false), (QList<QByteArray>{serial, fan, type}));

    // Other sizes end on silence.
    const QByteArray shortSerial = frame(0x0015, QByteArray::fromHex("0102"));
    const QByteArray empty = frame(0x0015, QByteArray());
    r.append(shortSerial);
    QVERIFY(r.takeFrames(false).isEmpty());
    QCOMPARE(r.takeFrames(true), QList<QByteArray>{shortSerial});
    r.append(empty);
    QCOMPARE(r.takeFrames(true), QList<QByteArray>{empty});
    const QByteArray longType = frame(0x00A8, QByteArray(40, 'x'));
    r.append(longType);
    QVERIFY(r.takeFrames(false).isEmpty());
    QCOMPARE(r.takeFrames(true), QList<QByteArray>{longType});
    QCOMPARE(r.droppedBytes(), qint64(0));
}

void TestSimFrameReader::staleFragmentIsDiscardedOnSilence()
{
    SimFrameReader r;
    r.append(QByteArray::fromHex("010014"));
    QVERIFY(r.takeFrames(false).isEmpty());
    QVERIFY(r.takeFrames(true).isEmpty());
    QCOMPARE(r.pending(), 0);
    QCOMPARE(r.droppedBytes(), qint64(3));
    const QByteArray f = frame(0x00C1, QByteArray(1, 1));
    r.append(f);
    QCOMPARE(r.takeFrames(false), QList<QByteArray>{f});

    // A fragment glued to a whole frame: the frame is found on silence.
    r.append(QByteArray::fromHex("010014") + f);
    QVERIFY(r.takeFrames(false).isEmpty());
    QCOMPARE(r.takeFrames(true), QList<QByteArray>{f});
}

void TestSimFrameReader::unknownWordWithGoodCrc()
{
    SimFrameReader r;
    const QByteArray f = frame(0x0050, QByteArray::fromHex("0102"));
    r.append(f);
    QVERIFY(r.takeFrames(false).isEmpty());
    QCOMPARE(r.takeFrames(true), QList<QByteArray>{f});
}

void TestSimFrameReader::floodOfGarbage()
{
    // Garbage full of 0x01 bytes makes every position a possible frame start.
    std::mt19937 rng(42);
    QByteArray junk;
    for (int i = 0; i < 20000; ++i)
        junk.append(char(rng() % 4 == 0 ? 0x01 : rng() & 0xFF));
    SimFrameReader r;
    const QByteArray f = frame(0x0011, QByteArray(1, 1));
    QElapsedTimer t;
    t.start();
    r.append(junk);
    QList<QByteArray> got = r.takeFrames(false);
    got += r.takeFrames(true);
    r.append(f);
    got += r.takeFrames(true);
    QVERIFY(got.contains(f));
    QCOMPARE(r.pending(), 0);
    QVERIFY2(t.elapsed() < 20000, "reading garbage must stay cheap");
}

QTEST_GUILESS_MAIN(TestSimFrameReader)
#include "tst_simframereader.moc"
