// korvexctl's results for a line controller: one JSON object for what a
// command did, --verify reads the value back, status --check gates on the
// alarms, and help help is the overview.

#include "CtlRun.h"
#include "SimProcess.h"
#include "TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class TestKorvexctlResults : public QObject
{
    Q_OBJECT

private:
    static QJsonObject json(const CtlRun &r) { return QJsonDocument::fromJson(r.out.toUtf8()).object(); }

private slots:
    void settersSayWhatWasSentAndWhatCameBack_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("sent");     // compact JSON of "sent"
        QTest::addColumn<QString>("result");
        QTest::newRow("power, verified") << QStringList{"power", "640", "--verify"} << QStringList() << 0 << "640" << "done";
        QTest::newRow("threshold, verified") << QStringList{"threshold", "45.5", "--verify"} << QStringList() << 0 << "45.5"
                                             << "done";
        QTest::newRow("serial, verified") << QStringList{"--factory", "serial-number", "66051", "2024-07-10", "7", "--verify"}
                                          << QStringList() << 0 << "\"66051-202407100007\"" << "done";
        QTest::newRow("pid, verified") << QStringList{"--factory", "pid", "set", "1.5", "0.0007", "-2", "--verify"}
                                       << QStringList() << 0
                                       << "{\"kd\":-2,\"ki\":0.0007,\"kp\":1.5,\"words\":[15000,7,-20000]}" << "done";
        QTest::newRow("refused") << QStringList{"power", "640"} << QStringList{"--refuse", "0x0012"} << 5 << "640"
                                 << "refused";
        QTest::newRow("read-back lost") << QStringList{"power", "640", "--verify", "--retries", "0"}
                                        << QStringList{"--silent-after", "1"} << 4 << "640" << "done";
    }

    void settersSayWhatWasSentAndWhatCameBack()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, simOptions);
        QFETCH(int, exitCode);
        QFETCH(QString, sent);
        QFETCH(QString, result);
        SimProcess sim(simOptions);
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun r(QStringList{"--port", sim.ptyPath()} + args + QStringList{"--json"});
        QVERIFY2(r.exitCode == exitCode, r.describe());
        QCOMPARE(r.out.count('\n'), 1); // one object
        const QJsonObject o = json(r);
        QCOMPARE(QString::fromUtf8(QJsonDocument(QJsonArray{o.value("sent")}).toJson(QJsonDocument::Compact)),
                 "[" + sent + "]");
        QCOMPARE(o.value("result").toString(), result);
        QCOMPARE(o.value("exit_code").toInt(), exitCode);
        if (exitCode == 0 && args.contains("--verify")) {
            QVERIFY(o.value("verified").toBool());
            QVERIFY(o.contains("reported"));
        }
        if (exitCode != 0)
            QVERIFY2(!o.value("error").toString().isEmpty() && r.err.startsWith("korvexctl: "), r.describe());
    }

    void listsAndAppliesAreOneObject()
    {
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun ports({"ports", "--json"});
        QVERIFY2(ports.exitCode == 0 && json(ports).value("ports").isArray(), ports.describe());

        QTemporaryDir dir;
        const QString profile = dir.filePath("p.json");
        QVERIFY(writeFile(profile, "{\"korvex_profile\":1,\"temp_threshold_c\":40,\"power\":100,\"max_dac\":3000,"
                                   "\"compensation_hours\":0,\"laser_type\":0,\"pid\":{\"kp\":1,\"ki\":0,\"kd\":0}}"));
        const CtlRun apply({"--factory", "--port", sim.ptyPath(), "profile", "apply", profile, "--json", "--verify"});
        QVERIFY2(apply.exitCode == 0, apply.describe());
        const QJsonObject o = json(apply);
        QCOMPARE(o.value("values").toArray().size(), 6);
        for (const QJsonValue &v : o.value("values").toArray())
            QCOMPARE(v.toObject().value("result").toString(), QString("sent"));
        QVERIFY(o.value("verified").toBool());

        // flash: a row per port, one per line, also for a port that cannot be opened.
        QVERIFY(writeFile(dir.filePath("fw.bin"), pattern(100)));
        const CtlRun flash({"flash", dir.filePath("fw.bin"), "--port", "/dev/korvex-no-such-port", "--json"});
        QVERIFY2(flash.exitCode == 6, flash.describe());
        const QJsonObject row = json(flash);
        QCOMPARE(row.value("port").toString(), QString("/dev/korvex-no-such-port"));
        QCOMPARE(row.value("result").toString(), QString("failed"));
        QVERIFY(row.contains("bytes") && row.contains("seconds") && row.contains("message"));
    }

    void statusCheckGatesOnTheAlarms_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("no alarm") << QStringList() << 0;
        // A stalled fan raises its alarm after 2 s: simulated time runs 50 times faster.
        QTest::newRow("fan 2 stuck") << QStringList{"--fan-stuck", "2", "--speed", "50"} << 7;
    }

    void statusCheckGatesOnTheAlarms()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(int, exitCode);
        SimProcess sim(simOptions);
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        QTest::qWait(300);
        const CtlRun r({"--port", sim.ptyPath(), "status", "--check"});
        QVERIFY2(r.exitCode == exitCode, r.describe());
        if (exitCode != 0)
            QVERIFY2(r.err.contains("alarms set: fan2"), r.describe());
    }

    void helpHelpIsTheOverview()
    {
        const CtlRun overview({"help"});
        const CtlRun helpHelp({"help", "help"});
        QVERIFY2(helpHelp.exitCode == 0, helpHelp.describe());
        QCOMPARE(helpHelp.out, overview.out);
        const CtlRun power({"help", "power"});
        QVERIFY2(power.out.contains("--verify") && power.out.contains("--timeout") && power.out.contains("0 to 1000"), power.describe());
    }
};

QTEST_GUILESS_MAIN(TestKorvexctlResults)
#include "tst_korvexctl_results.moc"
