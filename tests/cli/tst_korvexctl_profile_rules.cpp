// korvexctl profile against korvex-sim: a saved profile is never lost to a
// second save, apply reads stdin, a dry run shows what would change, --strict
// compares the model (firmware, laser type) and --strict-serial the unit.

#include "CtlRun.h"
#include "SimProcess.h"
#include "TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class TestKorvexctlProfileRules : public QObject
{
    Q_OBJECT

private:
    static QByteArray profileText(const QJsonObject &source = QJsonObject(), int power = 100)
    {
        QJsonObject o{{"korvex_profile", 1}, {"temp_threshold_c", 40}, {"power", power}, {"max_dac", 3000},
                      {"compensation_hours", 0}, {"laser_type", 0},
                      {"pid", QJsonObject{{"kp", 1}, {"ki", 0}, {"kd", 0}}}};
        if (!source.isEmpty())
            o.insert("source", source);
        return QJsonDocument(o).toJson();
    }

    // The firmware text the simulator reports, as a saved profile records it.
    static QString simFirmware(const SimProcess &sim)
    {
        const CtlRun save({"--factory", "--port", sim.ptyPath(), "profile", "save", "-"});
        return QJsonDocument::fromJson(save.out.toUtf8()).object().value("source").toObject().value("firmware").toString();
    }

private slots:
    void saveNeverReplacesNorWritesBlind_data()
    {
        QTest::addColumn<QString>("target");   // under the test's folder
        QTest::addColumn<bool>("existing");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("an existing golden profile") << "golden.json" << true << QStringList() << 2 << "--overwrite";
        QTest::newRow("replaced with --overwrite") << "golden.json" << true << QStringList{"--overwrite"} << 0 << "";
        QTest::newRow("a folder that is not there") << "nowhere/unit.json" << false << QStringList() << 2 << "does not exist";
    }

    void saveNeverReplacesNorWritesBlind()
    {
        QFETCH(QString, target);
        QFETCH(bool, existing);
        QFETCH(QStringList, extra);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString path = dir.filePath(target);
        const QByteArray golden = profileText();
        if (existing)
            QVERIFY(writeFile(path, golden));
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun save(QStringList{"--factory", "--port", sim.ptyPath(), "profile", "save", path} + extra);
        QVERIFY2(save.exitCode == exitCode && save.err.contains(said), save.describe());
        if (exitCode == 0) {
            QVERIFY(readFile(path) != golden);
            return;
        }
        // Refused before the unit was read.
        QTest::qWait(50);
        QCOMPARE(sim.receivedFrames().size(), 0);
        if (existing)
            QCOMPARE(readFile(path), golden);
    }

    void applyReadsStdin()
    {
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        CtlRun::Setup setup;
        setup.stdinData = profileText(QJsonObject(), 321);
        const CtlRun apply({"--factory", "--port", sim.ptyPath(), "profile", "apply", "-"}, setup);
        QVERIFY2(apply.exitCode == 0 && apply.out.contains("power 321: done"), apply.describe());
        QCOMPARE(sim.receivedFrames().size(), 1 + 6);
    }

    void dryRunShowsCurrentAndNew_data()
    {
        QTest::addColumn<bool>("json");
        QTest::newRow("lines") << false;
        QTest::newRow("--json") << true;
    }

    void dryRunShowsCurrentAndNew()
    {
        QFETCH(bool, json);
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        QVERIFY(CtlRun({"--port", sim.ptyPath(), "power", "640"}).exitCode == 0);
        // The two reads as status and pid get send them.
        QVERIFY(CtlRun({"--port", sim.ptyPath(), "status"}).exitCode == 0);
        QVERIFY(CtlRun({"--factory", "--port", sim.ptyPath(), "pid", "get"}).exitCode == 0);
        const QList<QByteArray> reads = sim.receivedFrames().mid(sim.receivedFrames().size() - 2);
        QTemporaryDir dir;
        const QString path = dir.filePath("p.json");
        QVERIFY(writeFile(path, profileText(QJsonObject(), 100)));
        const int before = sim.receivedFrames().size();
        QStringList args{"--factory", "--port", sim.ptyPath(), "profile", "apply", path, "--dry-run"};
        if (json)
            args << "--json";
        const CtlRun dry(args);
        QVERIFY2(dry.exitCode == 0, dry.describe());
        if (json) {
            const QJsonObject o = QJsonDocument::fromJson(dry.out.toUtf8()).object();
            const QJsonArray values = o.value("values").toArray();
            QCOMPARE(values.size(), 6);
            QCOMPARE(values.at(1).toObject().value("current").toString(), QString("640"));
            QCOMPARE(values.at(1).toObject().value("new").toString(), QString("100"));
            QVERIFY(o.value("dry_run").toBool());
        } else {
            QVERIFY2(dry.out.contains("power: 640 -> 100 (would be written)"), dry.describe());
            QCOMPARE(dry.out.count("would be written"), 6);
        }
        QTest::qWait(50);
        const QList<QByteArray> frames = sim.receivedFrames();
        QCOMPARE(frames.mid(before), reads); // nothing written
    }

    void strictComparesTheModelAndStrictSerialTheUnit_data()
    {
        QTest::addColumn<QString>("firmware"); // FW: the simulator's
        QTest::addColumn<int>("laserType");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("writes");
        const QString other = "66051-209912310001";
        QTest::newRow("golden profile, another unit") << "FW" << 0 << other << QStringList{"--strict"} << 0 << 6;
        QTest::newRow("another unit under --strict-serial") << "FW" << 0 << other << QStringList{"--strict-serial"} << 5 << 0;
        QTest::newRow("another laser type") << "FW" << 2 << other << QStringList{"--strict"} << 5 << 0;
        QTest::newRow("another firmware") << "0.1" << 0 << other << QStringList{"--strict"} << 5 << 0;
        QTest::newRow("another firmware, dry run") << "0.1" << 0 << other << QStringList{"--strict", "--dry-run"} << 5 << 0;
        QTest::newRow("no source under --strict") << "" << -1 << "" << QStringList{"--strict"} << 2 << 0;
        QTest::newRow("malformed source") << "MALFORMED" << 0 << other << QStringList() << 2 << 0;
        QTest::newRow("source laser type 9") << "FW" << 9 << other << QStringList{"--strict"} << 2 << 0;
    }

    void strictComparesTheModelAndStrictSerialTheUnit()
    {
        QFETCH(QString, firmware);
        QFETCH(int, laserType);
        QFETCH(QString, serial);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(int, writes);
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        QJsonObject source;
        if (firmware == "MALFORMED")
            source = QJsonObject{{"firmware", 15}, {"laser_type", laserType}};
        else if (!firmware.isEmpty())
            source = QJsonObject{{"firmware", firmware == "FW" ? simFirmware(sim) : firmware},
                                 {"laser_type", laserType}, {"serial_number", serial}};
        QTemporaryDir dir;
        const QString path = dir.filePath("golden.json");
        QVERIFY(writeFile(path, profileText(source)));
        const int before = sim.receivedFrames().size();
        const CtlRun apply(QStringList{"--factory", "--port", sim.ptyPath(), "profile", "apply", path} + options);
        QVERIFY2(apply.exitCode == exitCode, apply.describe());
        QTest::qWait(50);
        const int reads = exitCode == 2 ? 0 : 1; // the target's status
        QCOMPARE(sim.receivedFrames().size() - before, reads + writes);
    }
};

QTEST_GUILESS_MAIN(TestKorvexctlProfileRules)
#include "tst_korvexctl_profile_rules.moc"
