#include "PidMath.h"
#include "SpreadTracker.h"

#include <QtTest>

class TestPidMath : public QObject
{
    Q_OBJECT
private slots:
    void scaleCoefficient_data();
    void scaleCoefficient();
    void coefficientVectorOrder();
    void statusLine_data();
    void statusLine();
    void shortSampleGivesNoLine();
    void spreadsAfterReset();
    void sampleEqualToMarkerKeepsResetState();
    void unsignedPwmTracking();
    void extremeSignedSpreadDoesNotOverflow();
};

void TestPidMath::scaleCoefficient_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("word");
    QTest::newRow("1.5") << "1.5" << quint32(15000);
    QTest::newRow("0.1") << "0.1" << quint32(1000);
    QTest::newRow("empty") << "" << quint32(0);
    // Exact decimal scaling, as every path scales a coefficient.
    QTest::newRow("3.1416 exactly") << "3.1416" << quint32(31416);
    QTest::newRow("0.0007 exactly") << "0.0007" << quint32(7);
    QTest::newRow("negative two's complement") << "-1.5" << quint32(4294952296u);
    QTest::newRow("not a number") << "abc" << quint32(0);
    QTest::newRow("integer") << "12" << quint32(120000);
    // Refused text (the window never sends it) has no word: 0.
    QTest::newRow("below resolution is refused") << "0.00001" << quint32(0);
    QTest::newRow("nan text") << "nan" << quint32(0);
    QTest::newRow("beyond 32 bits is refused") << "1000000" << quint32(0);
    QTest::newRow("1e30 is refused") << "1e30" << quint32(0);
}

void TestPidMath::scaleCoefficient()
{
    QFETCH(QString, text);
    QFETCH(quint32, word);
    QCOMPARE(PidMath::scaleCoefficient(text), word);
}

void TestPidMath::coefficientVectorOrder()
{
    const QVector<quint32> v = PidMath::coefficientVector("1.5", "0.1", "");
    QCOMPARE(v, (QVector<quint32>{15000, 1000, 0}));
    QCOMPARE(PidMath::coefficientVector("", "", "2"), (QVector<quint32>{0, 0, 20000}));
}

void TestPidMath::statusLine_data()
{
    QTest::addColumn<QVector<quint32>>("status");
    QTest::addColumn<QString>("line");
    QTest::newRow("typical") << QVector<quint32>{25, 600, 15000, 1000, 0}
                             << "25,600,   1.5000,0.1000,0.0000,\n";
    QTest::newRow("negative temperature") << QVector<quint32>{quint32(-12), 0, 31415, 6, 10000}
                                          << "-12,0,   3.1415,0.0006,1.0000,\n";
    QTest::newRow("pwm is unsigned") << QVector<quint32>{0, 0xFFFFFFFFu, 1, 2, 3}
                                     << "0,4294967295,   0.0001,0.0002,0.0003,\n";
    QTest::newRow("extra elements ignored")
        << QVector<quint32>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}
        << "1,2,   0.0003,0.0004,0.0005,\n";
}

void TestPidMath::statusLine()
{
    QFETCH(QVector<quint32>, status);
    QFETCH(QString, line);
    QCOMPARE(PidMath::statusLine(status), line);
}

void TestPidMath::shortSampleGivesNoLine()
{
    QVERIFY(PidMath::statusLine({}).isEmpty());
    QVERIFY(PidMath::statusLine({1, 2, 3, 4}).isEmpty());
}

void TestPidMath::spreadsAfterReset()
{
    TempSpreadTracker t(TempResetMarker);
    QCOMPARE(t.maximum(), -100000);
    QCOMPARE(t.minimum(), -100000);
    QList<qint64> spreads;
    for (qint32 s : {25, 30, 20}) {
        t.add(s);
        spreads << t.spread();
    }
    QCOMPARE(spreads, (QList<qint64>{0, 5, 10}));
    t.add(22); // inside the range: nothing moves
    QCOMPARE(t.spread(), qint64(10));
    t.reset();
    QCOMPARE(t.maximum(), TempResetMarker);
    t.add(-7);
    QCOMPARE(t.spread(), qint64(0));
    t.add(-9);
    QCOMPARE(t.spread(), qint64(2));
}

void TestPidMath::sampleEqualToMarkerKeepsResetState()
{
    TempSpreadTracker t(TempResetMarker);
    t.add(-100000);
    t.add(40); // starts afresh instead of spreading from -100000
    QCOMPARE(t.spread(), qint64(0));
    QCOMPARE(t.minimum(), 40);

    PwmSpreadTracker p(PwmResetMarker);
    p.add(500000);
    p.add(300);
    QCOMPARE(p.spread(), qint64(0));
    p.add(310);
    QCOMPARE(p.spread(), qint64(10));
}

void TestPidMath::unsignedPwmTracking()
{
    PwmSpreadTracker p(PwmResetMarker);
    QCOMPARE(p.maximum(), 500000u);
    p.add(10);
    p.add(0xFFFFFFF0u); // would be negative if compared signed
    QCOMPARE(p.maximum(), 0xFFFFFFF0u);
    QCOMPARE(p.minimum(), 10u);
    QCOMPARE(p.spread(), qint64(0xFFFFFFF0u - 10u));
}

void TestPidMath::extremeSignedSpreadDoesNotOverflow()
{
    TempSpreadTracker t(TempResetMarker);
    t.add(std::numeric_limits<qint32>::max());
    t.add(std::numeric_limits<qint32>::min());
    QCOMPARE(t.spread(), qint64(0xFFFFFFFFLL));
}

QTEST_APPLESS_MAIN(TestPidMath)
#include "tst_pidmath.moc"
