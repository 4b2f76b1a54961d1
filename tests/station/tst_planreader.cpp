// The plan reader: a good plan read whole, every broken plan refused with
// the place of its fault.

#include "PlanReader.h"

#include <QTemporaryDir>
#include <QtTest>

class TestPlanReader : public QObject
{
    Q_OBJECT
private slots:
    void readsEveryKind();
    void refusesBrokenPlans_data();
    void refusesBrokenPlans();
    void durations_data();
    void durations();
};

namespace {

const char *const GoodPlan = R"(# a plan a line engineer writes
name: good
timeout: 10m
poll: 250ms
steps:
  - name: identity
    check: {alarms: none, firmware: {at_least: "1.5"}, laser_type: [Ld-25W, 2]}
  - name: settings
    set: {power: 640, threshold: 45.5, tec-auto: on}
  - name: warm
    wait: {until: {laser_temp_c: {target: 25, within: 0.5}}, for: 30s, timeout: 5m}
  - name: soak
    hold:
      for: 1h
      limits:
        fan_rpm[1]: {min: 1000}
        alarms.fan2: false
        fan3_rpm: {min: 900}
    on-fail: continue
  - name: drift
    measure: {field: laser_temp_c, stat: slope, over: 5m, limits: {min: -0.1, max: 0.1, marginal: 0.02}}
  - name: thermal
    thermal-step: {start: 500, step: 1500, settle: 20s, duration: 40s, window: {min: 5, max: 40},
                   limits: {gain: {max: -0.004}, time_constant: {max: 12}}}
  - name: number
    serial: {from: allocate, model: 25001}
  - name: look
    prompt: Is the label straight?
)";

} // namespace

void TestPlanReader::readsEveryKind()
{
    TestPlan plan;
    QString error;
    QVERIFY2(PlanReader::parse(GoodPlan, QStringLiteral("good.yaml"), &plan, &error), qPrintable(error));
    QCOMPARE(plan.steps.size(), 8);
    QCOMPARE(plan.timeoutMs, qint64(600000));
    QCOMPARE(plan.pollMs, 250);
    QCOMPARE(plan.sha256.size(), 64);
    QCOMPARE(plan.steps[0].laserTypeOneOf, (QVector<qint64>{0, 2}));
    // Values as sent: the threshold in tenths, the switch as 1.
    QCOMPARE(plan.steps[1].writes.size(), 3);
    QCOMPARE(plan.steps[1].writes[1].values, QVector<quint32>{455});
    QCOMPARE(plan.steps[1].writes[2].values, QVector<quint32>{1});
    QCOMPARE(*plan.steps[2].conditions[0].limit.min, 24.5);
    QCOMPARE(plan.steps[3].conditions[0].field.schemaIndex, plan.steps[3].conditions[2].field.schemaIndex - 1);
    QVERIFY(plan.steps[3].continueOnFail);
    QCOMPARE(plan.steps[4].statistic, PlanStep::Statistic::Slope);
    QCOMPARE(plan.steps[5].fitLimits.size(), 2);
    QCOMPARE(plan.steps[6].serialModel, quint32(25001));
}

void TestPlanReader::refusesBrokenPlans_data()
{
    QTest::addColumn<QByteArray>("yaml");
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("message");
    const QByteArray head = "name: p\nsteps:\n";
    QTest::newRow("not yaml") << QByteArray("name: [p\nsteps: x\n") << ":2:6:" << "end of sequence flow";
    QTest::newRow("no steps") << QByteArray("name: p\n") << ":1:1:" << "missing \"steps\"";
    QTest::newRow("unknown key") << QByteArray("name: p\nstep: []\nsteps: []\n") << ":2:1:" << "unknown key \"step\"";
    QTest::newRow("no kind") << head + "  - name: a\n" << ":3:5:" << "has no kind";
    QTest::newRow("two kinds") << head + "  - name: a\n    prompt: x\n    check: {alarms: none}\n" << ":4:13:" << "one kind";
    QTest::newRow("same name twice") << head + "  - {name: a, prompt: x}\n  - {name: a, prompt: y}\n" << ":4:12:" << "second step";
    QTest::newRow("power out of range") << head + "  - name: a\n    set: {power: 1001}\n" << ":4:18:" << "power must be";
    QTest::newRow("threshold too fine") << head + "  - name: a\n    set: {threshold: 45.55}\n" << ":4:22:" << "threshold must be";
    QTest::newRow("not a setting") << head + "  - name: a\n    set: {volume: 3}\n" << ":4:11:" << "not a setting";
    QTest::newRow("unknown field") << head + "  - name: a\n    hold: {for: 1s, limits: {laser_tmp_c: {max: 3}}}\n" << ":4:30:" << "unknown status field";
    QTest::newRow("fan past the array") << head + "  - name: a\n    hold:\n      for: 1s\n      limits:\n        fan_rpm[3]: {min: 3}\n" << ":7:9:" << "unknown status field";
    QTest::newRow("duration without unit") << head + "  - name: a\n    hold: {for: 30, limits: {power: 1}}\n" << ":4:17:" << "a duration is";
    QTest::newRow("min above max") << head + "  - name: a\n    measure: {field: power, limits: {min: 5, max: 1}}\n" << ":4:37:" << "min is above max";
    QTest::newRow("band eats limits") << head + "  - name: a\n    measure: {field: power, limits: {min: 0, max: 1, marginal: 0.5}}\n" << ":4:64:" << "marginal band";
    QTest::newRow("flag with limits") << head + "  - name: a\n    hold: {for: 1s, limits: {alarms.fan1: {max: 1}}}\n" << ":4:43:" << "true or false";
    QTest::newRow("window missing max") << head + "  - name: a\n    thermal-step: {start: 1, step: 2, settle: 1s, duration: 1s, window: {min: 1}, limits: {}}\n" << ":4:" << "min and max";
    QTest::newRow("drive past range") << head + "  - name: a\n    thermal-step: {start: 3000, step: 1000, settle: 1s, duration: 1s, window: {min: 1, max: 2}, limits: {}}\n" << ":4:39:" << "keeps the drive";
    QTest::newRow("image missing") << head + "  - name: a\n    flash: {image: nothere.bin, expect: \"1.6\"}\n" << ":4:20:" << "does not exist";
    QTest::newRow("bad version") << head + "  - name: a\n    check: {firmware: 1.5.1}\n" << ":4:23:" << "MAJOR.MINOR";
    QTest::newRow("unknown alarm") << head + "  - name: a\n    check: {alarms: [fan4]}\n" << ":4:22:" << "unknown alarm";
    QTest::newRow("profile without reader") << head + "  - name: a\n    apply: plan.yaml\n" << ":4:12:" << "cannot be applied";
    QTest::newRow("deep flow") << head + QByteArray(40, '[') << ":3:13:" << "nested deeper";
    QTest::newRow("deep blocks") << [] {
        QByteArray deep = "name: p\nsteps:\n  - name: a\n    prompt:\n";
        for (int i = 0; i < 20; ++i)
            deep += QByteArray(6 + 2 * i, ' ') + "k:\n";
        return deep;
    }() << ":" << "nested deeper";
    QTest::newRow("too large") << QByteArray(PlanReader::MaxFileSize + 1, '#') << ": " << "larger than";
}

void TestPlanReader::refusesBrokenPlans()
{
    QFETCH(QByteArray, yaml);
    QFETCH(QString, place);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("plan.yaml"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(yaml);
    f.close();
    TestPlan plan;
    QString error;
    QVERIFY(!PlanReader::read(path, &plan, &error));
    QVERIFY2(error.startsWith(path + place), qPrintable(error));
    QVERIFY2(error.contains(message), qPrintable(error));
}

void TestPlanReader::durations_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("ms");
    QTest::newRow("seconds") << "30s" << qint64(30000);
    QTest::newRow("minutes") << "5m" << qint64(300000);
    QTest::newRow("fraction") << "1.5h" << qint64(5400000);
    QTest::newRow("milliseconds") << "250ms" << qint64(250);
    QTest::newRow("bare number") << "30" << qint64(-1);
    QTest::newRow("negative") << "-3s" << qint64(-1);
    QTest::newRow("zero") << "0s" << qint64(-1);
    QTest::newRow("beyond a week") << "200h" << qint64(-1);
}

void TestPlanReader::durations()
{
    QFETCH(QString, text);
    QFETCH(qint64, ms);
    qint64 got = -1;
    QCOMPARE(PlanReader::parseDuration(text, &got) ? got : qint64(-1), ms);
}

QTEST_GUILESS_MAIN(TestPlanReader)
#include "tst_planreader.moc"
