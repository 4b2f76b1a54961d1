// korvexctl test on simulated units: each step kind passing and failing on a
// unit made to fail it, the state every kind of end leaves the unit in, the
// records, and the thermal step's fit against the simulator's own model.

#include "StationRig.h"

#include <QJsonArray>
#include <QProcess>
#include <QtTest>

#include <cmath>
#include <csignal>

class TestStation : public QObject
{
    Q_OBJECT
private slots:
    void stepKinds_data();
    void stepKinds();
    void endStates_data();
    void endStates();
    void thermalFitRecoversTheModel_data();
    void thermalFitRecoversTheModel();
    void badPlanSendsNothing();
    void recordsForDashboards();
    void certificateForEachRun();
    void twoStationsShareResults();
    void crashLeavesNoHalfRecord();
    void examplePlanJudgesARack();
};

namespace {

QJsonObject onlyStep(const QJsonObject &record)
{
    const QJsonArray steps = record["steps"].toArray();
    return steps.isEmpty() ? QJsonObject() : steps.last().toObject();
}

// Whether the unit got the frame (hex) after its frame number `from`.
bool received(SimProcess &sim, const QByteArray &hex, int from = 0)
{
    const QList<QByteArray> frames = sim.receivedFrames();
    for (int i = from; i < frames.size(); ++i)
        if (frames[i].toHex().startsWith(hex))
            return true;
    return false;
}

const QByteArray LaserOn = "  - name: on\n    set: {power: 500, laser: on}\n";
// The laser current has settled.
const QByteArray Lit = "  - name: lit\n    wait: {until: {laser_current_a: {min: 2}}, for: 300ms, timeout: 5s}\n";

} // namespace

void TestStation::stepKinds_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QByteArray>("steps");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");

    const QByteArray check = "  - name: s\n    check: {alarms: none, firmware: {at_least: \"1.5\"}, laser_type: [Ld-25W]}\n";
    QTest::newRow("check") << QStringList() << check << "pass" << 0 << "";
    QTest::newRow("check: old firmware") << QStringList{"--firmware", "1.4"} << check << "fail" << 5 << "firmware 1.4, required at least 1\\.5";
    QTest::newRow("check: other laser") << QStringList{"--ld-type", "2"} << check << "fail" << 5 << "laser_type Ld-50W";
    const QByteArray set = "  - name: s\n    set: {power: 700, tec-auto: on}\n";
    QTest::newRow("set") << QStringList() << set << "pass" << 0 << "";
    QTest::newRow("set: refused") << QStringList{"--refuse", "0x0012"} << set << "fail" << 5 << "power 700: refused by the unit";
    QTest::newRow("wait") << QStringList()
                          << QByteArray("  - name: s\n    wait: {until: {laser_temp_c: {target: 25, within: 1}}, for: 1s, timeout: 5s}\n")
                          << "pass" << 0 << "";
    QTest::newRow("wait: never there") << QStringList()
                          << QByteArray("  - name: s\n    wait: {until: {laser_temp_c: {min: 40, max: 50}}, for: 1s, timeout: 2s}\n")
                          << "fail" << 5 << "not held for 1 s within 2 s: laser_temp_c = 2[45]";
    const QByteArray hold = "  - name: s\n    hold:\n      for: 2s\n      limits:\n        fan_rpm[1]: {min: 1000}\n        laser_temp_c: {max: 30}\n";
    QTest::newRow("hold") << QStringList() << hold << "pass" << 0 << "";
    QTest::newRow("hold: fan runs down") << QStringList{"--fan-stuck", "2"} << hold << "fail" << 5 << "fan_rpm\\[1\\] = [0-9]+ rpm at|alarm alarms.fan2";
    const QByteArray current = LaserOn + Lit + "  - name: s\n    measure: {field: laser_current_a, stat: mean, over: 1s, limits: {min: 2.7, max: 3.2}}\n";
    QTest::newRow("measure") << QStringList() << current << "pass" << 0 << "";
    QTest::newRow("measure: current off nominal") << QStringList{"--current-scale", "0.8"} << current << "fail" << 5
                                                  << "laser_current_a mean 2.3[0-9]* A outside 2.7 .. 3.2";
    QTest::newRow("measure: marginal") << QStringList{"--current-scale", "0.93"}
                                       << LaserOn + Lit + "  - name: s\n    measure: {field: laser_current_a, stat: mean, over: 1s, limits: {min: 2.5, max: 3.3, marginal: 0.3}}\n"
                                       << "marginal" << 0 << "marginal to 2.5 \\.\\. 3.3";
    const QByteArray thermal = "  - name: s\n    thermal-step: {start: 300, step: 1500, settle: 2s, duration: 5s, window: {min: 0, max: 40},\n"
                               "                   limits: {gain: {max: -0.004}, time_constant: {max: 2}, fit_quality: {min: 0.95}}}\n";
    QTest::newRow("thermal-step") << QStringList() << thermal << "pass" << 0 << "";
    QTest::newRow("thermal-step: weak TEC") << QStringList{"--tec-cooling", "8"} << thermal << "fail" << 5 << "gain -0.00";
    QTest::newRow("thermal-step: slow path") << QStringList{"--thermal-tau", "40"} << thermal << "fail" << 5 << "time_constant";
    QTest::newRow("thermal-step: past the window") << QStringList()
        << QByteArray("  - name: s\n    thermal-step: {start: 300, step: 3000, settle: 1s, duration: 5s, window: {min: 15, max: 40}, limits: {}}\n")
        << "fail" << 5 << "left the guard window";
    const QByteArray flash = "  - name: s\n    flash: {image: fw.bin, expect: \"1.6\"}\n";
    QTest::newRow("flash") << QStringList{"--firmware-dir", "DIR"} << flash << "pass" << 0 << "1.6";
    QTest::newRow("flash: image of another version") << QStringList{"--firmware-dir", "DIR", "IMAGE 1.7"} << flash << "fail" << 5
                                                     << "firmware 1.7, required 1.6";
    QTest::newRow("serial: allocated") << QStringList() << QByteArray("  - name: s\n    serial: {from: allocate, model: 25001}\n")
                                       << "pass" << 0 << "";
    QTest::newRow("serial: already recorded") << QStringList{"TAKEN"} << QByteArray("  - name: s\n    serial: {from: command-line}\n")
                                              << "fail" << 5 << "already in the station's records";
    QTest::newRow("apply: a golden profile") << QStringList() << QByteArray("  - name: s\n    apply: golden.json\n")
                                             << "pass" << 0 << "";
    const QByteArray fromFile = "  - name: s\n    serial: {from: file, file: serials.txt}\n";
    QTest::newRow("serial: from a file") << QStringList() << fromFile << "pass" << 0 << "";
    QTest::newRow("serial: file used up") << QStringList{"USED"} << fromFile << "error" << 4 << "no unused serial number left";
    QTest::newRow("prompt: nobody to answer") << QStringList() << QByteArray("  - name: s\n    prompt: Is the label straight?\n")
                                              << "error" << 4 << "needs an operator";
}

void TestStation::stepKinds()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QByteArray, steps);
    QFETCH(QString, outcome);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);

    StationRig rig;
    QByteArray imageVersion = "1.6";
    QStringList extra;
    if (simArgs.removeAll(QStringLiteral("IMAGE 1.7")))
        imageVersion = "1.7";
    if (simArgs.removeAll(QStringLiteral("TAKEN"))) {
        QDir().mkpath(rig.records() + QStringLiteral("/25001-202612010042"));
        extra << QStringLiteral("--serial") << QStringLiteral("25001-20261201-0042");
    }
    // The file's one good number; a line that is none is passed over.
    rig.writeFile(QStringLiteral("serials.txt"), "not a number\n25001-20261201-0007\n");
    if (simArgs.removeAll(QStringLiteral("USED")))
        QDir().mkpath(rig.records() + QStringLiteral("/25001-202612010007"));
    rig.writeFile(QStringLiteral("golden.json"),
                  "{\"korvex_profile\": 1, \"temp_threshold_c\": 45.5, \"power\": 640, \"max_dac\": 3900,"
                  " \"compensation_hours\": 36, \"laser_type\": 2, \"pid\": {\"kp\": 1.5, \"ki\": 0.1, \"kd\": 0}}");
    simArgs.replaceInStrings(QStringLiteral("DIR"), rig.path(QStringLiteral("loaded")));
    QDir().mkpath(rig.path(QStringLiteral("loaded")));
    rig.writeFile(QStringLiteral("fw.bin"), "header KORVEX-FIRMWARE " + imageVersion + " " + QByteArray(3000, 'x'));
    QVERIFY(rig.addUnit(simArgs));
    rig.writePlan(steps);
    const CtlRun r = rig.run(extra);
    QVERIFY2(r.exitCode == exitCode, r.describe());
    const QJsonObject record = rig.record(0);
    QCOMPARE(record["outcome"].toString(), outcome);
    const QJsonObject step = onlyStep(record);
    QCOMPARE(step["outcome"].toString(), outcome);
    const QString shown = step["reason"].toString() + QJsonDocument(step["measurements"].toArray()).toJson();
    QVERIFY2(shown.contains(QRegularExpression(reason)), qPrintable(shown));
    QVERIFY(record["end_state"].toObject()["confirmed_by_status"].toBool());
}

void TestStation::endStates_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("signalAfterMs");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<bool>("confirmed");

    QTest::newRow("pass") << QStringList() << QByteArray("timeout: 1m\n") << -1 << "pass" << true;
    QTest::newRow("SIGTERM") << QStringList() << QByteArray("timeout: 1m\n") << 2500 << "aborted" << true;
    QTest::newRow("plan timeout") << QStringList() << QByteArray("timeout: 2s\n") << -1 << "aborted" << true;
    QTest::newRow("alarm") << QStringList{"--fan-stuck", "1"} << QByteArray("timeout: 1m\n") << -1 << "fail" << true;
    QTest::newRow("unit goes silent") << QStringList{"--silent-after", "25"} << QByteArray("timeout: 1m\n") << -1 << "error" << false;
}

void TestStation::endStates()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QByteArray, head);
    QFETCH(int, signalAfterMs);
    QFETCH(QString, outcome);
    QFETCH(bool, confirmed);

    StationRig rig;
    QVERIFY(rig.addUnit(simArgs));
    rig.writePlan(LaserOn + "  - name: soak\n    hold: {for: 4s, limits: {laser_temp_c: {max: 45}}}\n", head);
    CtlRun::Setup setup;
    setup.signalAfterMs = signalAfterMs;
    setup.signo = SIGTERM;
    const CtlRun r = rig.run({}, setup);
    QVERIFY2(r.exitCode != 2 && r.exitCode != -1, r.describe());
    const QJsonObject record = rig.record(0);
    QCOMPARE(record["outcome"].toString(), outcome);
    const QJsonObject end = record["end_state"].toObject();
    QVERIFY(end["applied"].toBool());
    QCOMPARE(end["confirmed_by_status"].toBool(), confirmed);
    QCOMPARE(end["laser_on"].toBool(), false);
    // The last frames: laser off, TEC on and automatic, fans automatic.
    const QList<QByteArray> frames = rig.unit(0).receivedFrames();
    int laserOff = -1;
    for (int i = 0; i < frames.size(); ++i)
        if (frames[i].toHex().startsWith("01001100"))
            laserOff = i;
    QVERIFY2(laserOff > 0, "laser off never sent");
    QVERIFY(received(rig.unit(0), "0100a601", laserOff));
    QVERIFY(received(rig.unit(0), "0100a701ffff", laserOff));
    if (confirmed) {
        const CtlRun status({"--port", rig.unit(0).ptyPath(), "status", "--json"});
        const QJsonObject now = QJsonDocument::fromJson(status.out.toUtf8()).object();
        QVERIFY2(now.contains("laser_on") && !now["laser_on"].toBool(), status.describe());
    }
}

void TestStation::thermalFitRecoversTheModel_data()
{
    QTest::addColumn<double>("cooling");
    QTest::addColumn<double>("tau");
    QTest::newRow("good unit") << 20.0 << 8.0;
    QTest::newRow("weak TEC, slow path") << 10.0 << 16.0;
}

void TestStation::thermalFitRecoversTheModel()
{
    QFETCH(double, cooling);
    QFETCH(double, tau);
    StationRig rig;
    QVERIFY(rig.addUnit({"--tec-cooling", QString::number(cooling), "--thermal-tau", QString::number(tau)}));
    // Five time constants of response (in the station's time: the simulator runs faster).
    const double tauSeen = tau / StationRig::Speed;
    rig.writePlan(QStringLiteral("  - name: s\n    thermal-step: {start: 400, step: 2000, settle: 3s, duration: %1s,"
                                 " window: {min: 0, max: 40}, limits: {}}\n").arg(std::ceil(5 * tauSeen)).toUtf8());
    const CtlRun r = rig.run();
    QVERIFY2(r.exitCode == 0, r.describe());
    double gain = 0, timeConstant = 0;
    for (const QJsonValue &m : onlyStep(rig.record(0))["measurements"].toArray()) {
        if (m["name"] == "gain")
            gain = m["value"].toDouble();
        if (m["name"] == "time_constant")
            timeConstant = m["value"].toDouble();
    }
    const double modelGain = -cooling / 4095;
    QVERIFY2(std::fabs(gain / modelGain - 1) < 0.10, qPrintable(QStringLiteral("gain %1, model %2").arg(gain).arg(modelGain)));
    QVERIFY2(std::fabs(timeConstant / tauSeen - 1) < 0.10,
             qPrintable(QStringLiteral("time constant %1 s, model %2 s").arg(timeConstant).arg(tauSeen)));
}

void TestStation::badPlanSendsNothing()
{
    StationRig rig;
    QVERIFY(rig.addUnit());
    rig.writePlan("  - name: identity\n    check: {alarms: none}\n  - name: s\n    set: {power: 1001}\n");
    const CtlRun r = rig.run();
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(rig.path("plan.yaml") + ":8:18: power must be a whole number from 0 to 1000"), r.describe());
    QTest::qWait(300);
    QCOMPARE(rig.unit(0).receivedFrames().size(), 0);
    QVERIFY(rig.recordFolders().isEmpty());
}

void TestStation::recordsForDashboards()
{
    StationRig rig;
    QVERIFY(rig.addUnit());
    QVERIFY(rig.addUnit({"--fan-stuck", "3"}));
    rig.writePlan("  - name: identity\n    check: {alarms: none}\n"
                  "  - name: fans\n    on-fail: continue\n    hold: {for: 1s, limits: {fan3_rpm: {min: 1000}}}\n"
                  "  - name: temperature\n    measure: {field: laser_temp_c, limits: {max: 40}}\n");
    const CtlRun r = rig.run({"--operator", "Li Wei", "--json"});
    QVERIFY2(r.exitCode == 5, r.describe());
    // One summary line per unit, then the summary.
    const QStringList lines = r.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(QJsonDocument::fromJson(lines[2].toUtf8())["summary"]["fail"].toInt(), 1);

    const QJsonObject failed = rig.record(1);
    QCOMPARE(failed.keys(), (QStringList{"duration_s", "end", "end_state", "failed_step", "korvex_test_record", "korvex_version",
                                         "operator", "outcome", "plan", "reason", "start", "station", "steps", "unit"}));
    QCOMPARE(failed["unit"].toObject().keys(), (QStringList{"firmware_after", "firmware_before", "laser_type", "port", "serial_number"}));
    QCOMPARE(failed["operator"].toString(), QStringLiteral("Li Wei"));
    QCOMPARE(failed["failed_step"].toString(), QStringLiteral("fans"));
    // on-fail: continue: the next step ran and passed.
    QCOMPARE(failed["steps"].toArray()[2].toObject()["outcome"].toString(), QStringLiteral("pass"));
    const QJsonObject m = failed["steps"].toArray()[1].toObject()["measurements"].toArray()[0].toObject();
    QCOMPARE(m.keys(), (QStringList{"limits", "marginal", "name", "outcome", "unit", "value"}));

    // The JUnit files as a CI dashboard reads them.
    const QStringList folders = rig.recordFolders();
    QCOMPARE(folders.size(), 2);
    QProcess py;
    // Debian's own Python, whose python3-junitparser the tests use.
    py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral(R"(
import sys
from junitparser import JUnitXml, Failure
for path in sys.argv[1:]:
    for suite in JUnitXml.fromfile(path):
        for case in suite:
            bad = [r for r in case.result if isinstance(r, Failure)]
            print(suite.name, case.name, 'FAIL ' + bad[0].message if bad else 'ok')
)"), rig.records() + "/" + folders[0] + "/junit.xml", rig.records() + "/" + folders[1] + "/junit.xml"});
    QVERIFY(py.waitForFinished(30000));
    const QString parsed = QString::fromUtf8(py.readAll());
    QVERIFY2(parsed.count(QStringLiteral(" ok\n")) == 5, qPrintable(parsed + py.readAllStandardError()));
    QVERIFY2(parsed.contains(QStringLiteral("fans FAIL fan3_rpm = ")), qPrintable(parsed));

    QFile csv(rig.records() + QStringLiteral("/results.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(csv.readAll()).trimmed().split('\n');
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0], QStringLiteral("time,station,port,serial_number,plan,outcome,failed_step,duration_s,record"));
    // samples.csv has the columns of watch --csv.
    QFile samples(rig.records() + "/" + folders[0] + "/samples.csv");
    QVERIFY(samples.open(QIODevice::ReadOnly));
    QVERIFY(samples.readLine().startsWith("time,firmware,laser_on,"));
}

void TestStation::certificateForEachRun()
{
    StationRig rig;
    QVERIFY(rig.addUnit({"--serial", "25001-20261209-0001"}));
    QVERIFY(rig.addUnit({"--serial", "25001-20261209-0002", "--fan-stuck", "2"}));
    rig.writePlan("  - name: identity\n    check: {alarms: none}\n"
                  "  - name: fan hold\n    hold: {for: 2s, limits: {fan2_rpm: {min: 1000}}}\n");
    const CtlRun r = rig.run({"--operator", "Li Wei"});
    QVERIFY2(r.exitCode == 5, r.describe());
    const QStringList verdicts{"PASS", "FAIL"};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject record = rig.record(i);
        const QString folder = rig.records() + "/" + record["unit"].toObject()["serial_number"].toString();
        const QStringList runs = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(runs.size(), 1);
        const QString pdf = folder + "/" + runs.first() + "/certificate.pdf";
        QProcess text;
        text.start("pdftotext", {pdf, "-"});
        QVERIFY(text.waitForFinished(20000));
        const QString words = QString::fromUtf8(text.readAllStandardOutput());
        // korvexctl's certificates are in English.
        for (const QString &piece : {record["unit"].toObject()["serial_number"].toString(), QStringLiteral("identity"),
                                     QStringLiteral("fan hold"), verdicts[i], QStringLiteral("Li Wei"),
                                     QStringLiteral("bench-1"), QStringLiteral("Test certificate"),
                                     record["plan"].toObject()["sha256"].toString()})
            QVERIFY2(words.contains(piece), qPrintable(piece + " missing from:\n" + words));
        QProcess info;
        info.start("pdfinfo", {pdf});
        QVERIFY(info.waitForFinished(20000));
        const QString infoText = QString::fromUtf8(info.readAllStandardOutput());
        QVERIFY2(infoText.contains("595 x 842 pts (A4)"), qPrintable(infoText));
    }
}

void TestStation::twoStationsShareResults()
{
    StationRig one, two;
    for (StationRig *rig : {&one, &two}) {
        QVERIFY(rig->addUnit());
        QVERIFY(rig->addUnit());
        rig->writePlan("  - name: identity\n    check: {alarms: none}\n");
    }
    // Both write into one folder, at the same time.
    QStringList args1 = one.arguments(), args2 = two.arguments();
    args2[args2.indexOf("--records") + 1] = one.records();
    QProcess a, b;
    a.start(CtlRun::program(), args1);
    b.start(CtlRun::program(), args2);
    QVERIFY(a.waitForFinished(60000) && b.waitForFinished(60000));
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);
    QFile csv(one.records() + QStringLiteral("/results.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 5);
    QCOMPARE(rows.filter(QStringLiteral("time,station")).size(), 1);
    for (const QString &row : rows)
        QCOMPARE(row.count(','), 8);
    // Four units of one serial number (the simulator's default) started
    // within a second or two: four folders all the same.
    QCOMPARE(one.recordFolders().size(), 4);
}

void TestStation::crashLeavesNoHalfRecord()
{
    StationRig rig;
    QVERIFY(rig.addUnit());
    rig.writePlan("  - name: soak\n    hold: {for: 20s, limits: {laser_temp_c: {max: 45}}}\n");
    CtlRun::Setup setup;
    setup.signalAfterMs = 1500;
    setup.signo = SIGKILL;
    const CtlRun killed = rig.run({}, setup);
    QCOMPARE(killed.exitCode, -1);
    QVERIFY(rig.recordFolders().isEmpty());
    QVERIFY(!QFile::exists(rig.records() + QStringLiteral("/results.csv")));
    // The next run is not hindered by what the crash left.
    rig.writePlan("  - name: identity\n    check: {alarms: none}\n");
    const CtlRun r = rig.run();
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(rig.recordFolders().size(), 1);
}

// The shipped quick check on a rack of a good and three bad units, in real
// time (its limits are the unit's own seconds): each gets its verdict and why.
void TestStation::examplePlanJudgesARack()
{
    StationRig rig;
    const QVector<QPair<QStringList, QString>> units = {
        {{}, QString()},
        {{"--tec-cooling", "8"}, QStringLiteral("gain -0.00")},
        {{"--thermal-tau", "25"}, QStringLiteral("time_constant ")},
        {{"--fan-stuck", "2"}, QStringLiteral("fan_rpm[1] = ")}};
    for (const auto &u : units)
        QVERIFY(rig.addUnit(QStringList{"--speed", "1"} + u.first));
    QFile plan(qEnvironmentVariable("KORVEX_SOURCE_DIR") + QStringLiteral("/examples/quick-check.yaml"));
    QVERIFY(plan.open(QIODevice::ReadOnly));
    rig.writeFile(QStringLiteral("plan.yaml"), plan.readAll());
    const CtlRun r(rig.arguments(), 300000);
    QVERIFY2(r.exitCode == 5, r.describe());
    for (int i = 0; i < units.size(); ++i) {
        const QJsonObject record = rig.record(i);
        QCOMPARE(record["outcome"].toString(), units[i].second.isEmpty() ? QStringLiteral("pass") : QStringLiteral("fail"));
        QVERIFY2(record["reason"].toString().contains(units[i].second), qPrintable(record["reason"].toString()));
        QVERIFY(record["end_state"].toObject()["confirmed_by_status"].toBool());
    }
}

QTEST_GUILESS_MAIN(TestStation)
#include "tst_station.moc"
