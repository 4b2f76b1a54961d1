// The summary a watch ends with: samples, lost polls, the longest run of
// lost polls and how long each alarm lasted, from a run of samples.

#include "WatchSummary.h"

#include <QtTest>

class TestWatchSummary : public QObject
{
    Q_OBJECT
private slots:
    void countsGapsAndAlarms_data();
    void countsGapsAndAlarms();
};

void TestWatchSummary::countsGapsAndAlarms_data()
{
    // One letter per poll, 100 ms apart: A answered, F answered with fan 2
    // in alarm, L lost.
    QTest::addColumn<QString>("polls");
    QTest::addColumn<int>("lost");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<int>("gapPolls");
    QTest::addColumn<int>("fan2Ms");
    QTest::addColumn<int>("fan2Times");
    QTest::newRow("all answered") << "AAAA" << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("a gap, then an answer") << "ALLA" << 2 << 200 << 2 << 0 << 0;
    QTest::newRow("ends lost") << "ALLL" << 3 << 200 << 3 << 0 << 0;
    QTest::newRow("the longer of two gaps") << "LLAALA" << 3 << 200 << 2 << 0 << 0;
    QTest::newRow("an alarm twice") << "AFFAF" << 0 << 0 << 0 << 200 << 2;
    QTest::newRow("a lost poll ends what was seen") << "FLF" << 1 << 100 << 1 << 100 << 2;
    QTest::newRow("alarm to the end") << "FFFF" << 0 << 0 << 0 << 300 << 1;
}

void TestWatchSummary::countsGapsAndAlarms()
{
    QFETCH(QString, polls);
    QFETCH(int, lost);
    QFETCH(int, gapMs);
    QFETCH(int, gapPolls);
    QFETCH(int, fan2Ms);
    QFETCH(int, fan2Times);
    const QDateTime start = QDateTime::fromString("2026-12-09T03:00:00.000Z", Qt::ISODateWithMs);
    WatchSummary summary;
    for (int i = 0; i < polls.size(); ++i) {
        PolledSample s;
        s.time = start.addMSecs(100 * i);
        s.answered = polls.at(i) != 'L';
        s.status.alarmBits = polls.at(i) == 'F' ? 1u << 2 : 0;
        summary.add(s);
    }
    QCOMPARE(summary.samples(), qint64(polls.size() - lost));
    QCOMPARE(summary.lost(), qint64(lost));
    const QString text = summary.text();
    if (gapPolls == 0)
        QVERIFY2(text.contains("no gap"), qPrintable(text));
    else
        QVERIFY2(text.contains(QStringLiteral("longest gap %1 s (%2 lost polls from ")
                                   .arg(gapMs / 1000.0, 0, 'f', 1).arg(gapPolls)), qPrintable(text));
    QCOMPARE(summary.alarmMs("fan2"), qint64(fan2Ms));
    QCOMPARE(summary.alarmTimes("fan2"), fan2Times);
    QCOMPARE(summary.alarmsSeen(), fan2Times ? QStringList{"fan2"} : QStringList());
    QVERIFY2(text.endsWith(fan2Times ? QStringLiteral("alarms: fan2 %1 s (%2 %3)")
                                           .arg(fan2Ms / 1000.0, 0, 'f', 1).arg(fan2Times)
                                           .arg(fan2Times == 1 ? "time" : "times")
                                     : QStringLiteral("no alarm")),
             qPrintable(text));
}

QTEST_GUILESS_MAIN(TestWatchSummary)
#include "tst_watchsummary.moc"
