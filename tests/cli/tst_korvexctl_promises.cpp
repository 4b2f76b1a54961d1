// korvexctl keeps what its help promises a script: with --json every failure
// is one object, typed values are plain decimals, YModem lines are 8N1,
// --verify is offered where the status reports the value, an acknowledged
// write whose read-back was lost says so, and relative port names open.

#include "CtlRun.h"
#include "SimProcess.h"
#include "TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class TestKorvexctlPromises : public QObject
{
    Q_OBJECT

private:
    static QJsonObject json(const CtlRun &r) { return QJsonDocument::fromJson(r.out.toUtf8()).object(); }

private slots:
    void everyFailureIsOneJsonObject_data()
    {
        QTest::addColumn<QStringList>("args"); // PORT: the simulator's
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("command");
        QTest::newRow("value out of range") << QStringList{"--port", "PORT", "power", "1001", "--json"} << 2 << "power";
        QTest::newRow("unknown option") << QStringList{"--port", "PORT", "power", "5", "--frobnicate", "--json"} << 2 << "power";
        QTest::newRow("status, port missing") << QStringList{"--port", "/dev/korvex-no-such-port", "status", "--json"} << 6
                                              << "status";
        QTest::newRow("setter, port missing") << QStringList{"--port", "/dev/korvex-no-such-port", "laser", "on", "--json"}
                                              << 6 << "laser on";
        QTest::newRow("pid get, no port") << QStringList{"--factory", "pid", "get", "--json"} << 2 << "pid";
        QTest::newRow("send at even parity") << QStringList{"--port", "PORT", "--parity", "even", "send", "FILE", "--json"}
                                             << 2 << "send";
        QTest::newRow("profile apply, broken file")
            << QStringList{"--factory", "--port", "PORT", "profile", "apply", "FILE", "--json"} << 2 << "profile";
    }

    void everyFailureIsOneJsonObject()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, command);
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("f"), "{\"korvex_profile\": 1,"));
        args.replaceInStrings(QRegularExpression("^PORT$"), sim.ptyPath());
        args.replaceInStrings(QRegularExpression("^FILE$"), dir.filePath("f"));
        const CtlRun r(args);
        QVERIFY2(r.exitCode == exitCode, r.describe());
        QCOMPARE(r.out.count('\n'), 1);
        const QJsonObject o = json(r);
        QCOMPARE(o.value("command").toString(), command);
        QCOMPARE(o.value("exit_code").toInt(), exitCode);
        QVERIFY2(!o.value("error").toString().isEmpty(), r.describe());
    }

    void refusedBeforeTheLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        QTest::newRow("power 1e2") << QStringList{"power", "1e2"} << "whole number";
        QTest::newRow("threshold 4.5e1") << QStringList{"threshold", "4.5e1"} << "4.5e1";
        QTest::newRow("send, odd parity") << QStringList{"--parity", "odd", "send", "FILE"} << "8N1";
        QTest::newRow("receive, 2 stop bits") << QStringList{"receive", "DIR", "--stop-bits", "2"} << "8N1";
        QTest::newRow("flash, even parity") << QStringList{"flash", "FILE", "--parity", "even"} << "8N1";
        QTest::newRow("restart --verify") << QStringList{"restart", "--verify"} << "reports nothing";
    }

    void refusedBeforeTheLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("fw.bin"), pattern(100)));
        args.replaceInStrings(QRegularExpression("^FILE$"), dir.filePath("fw.bin"));
        args.replaceInStrings(QRegularExpression("^DIR$"), dir.path());
        const CtlRun r(QStringList{"--port", sim.ptyPath()} + args);
        QVERIFY2(r.exitCode == 2 && r.err.contains(said), r.describe());
        QTest::qWait(50);
        QCOMPARE(sim.receivedFrames().size(), 0);
    }

    void helpOffersVerifyWhereTheStatusReportsTheValue_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<bool>("offered");
        QTest::newRow("power") << QStringList{"power"} << true;
        QTest::newRow("laser") << QStringList{"laser"} << true;
        QTest::newRow("max-dac") << QStringList{"max-dac"} << true;
        QTest::newRow("restart") << QStringList{"restart"} << false;
        QTest::newRow("clear-counters") << QStringList{"clear-counters"} << false;
        QTest::newRow("tec") << QStringList{"tec"} << false;
        QTest::newRow("fan") << QStringList{"fan"} << false;
    }

    void helpOffersVerifyWhereTheStatusReportsTheValue()
    {
        QFETCH(QStringList, command);
        QFETCH(bool, offered);
        const CtlRun help(QStringList{"help"} + command);
        QVERIFY2(help.exitCode == 0, help.describe());
        QCOMPARE(help.out.contains("  --verify "), offered);
        QCOMPARE(help.out.contains("--verify is refused"), !offered);
    }

    void anAcknowledgedWriteWhoseReadBackIsLostSaysSo_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("setter") << QStringList{"power", "640", "--verify", "--json", "--retries", "0", "--timeout", "1000"};
        QTest::newRow("profile apply") << QStringList{"--factory", "profile", "apply", "FILE", "--verify", "--json", "--retries", "0",
                                                      "--timeout", "1000"};
    }

    void anAcknowledgedWriteWhoseReadBackIsLostSaysSo()
    {
        QFETCH(QStringList, args);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("p.json"), "{\"korvex_profile\":1,\"temp_threshold_c\":40,\"power\":100,\"max_dac\":3000,"
                                                  "\"compensation_hours\":0,\"laser_type\":0,\"pid\":{\"kp\":1,\"ki\":0,\"kd\":0}}"));
        args.replaceInStrings(QRegularExpression("^FILE$"), dir.filePath("p.json"));
        // The status read of apply, its six writes; then nothing: the read-back is lost.
        SimProcess sim({"--silent-after", args.contains("profile") ? "7" : "1"});
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun r(QStringList{"--port", sim.ptyPath()} + args);
        QVERIFY2(r.exitCode == 4, r.describe());
        const QJsonObject o = json(r);
        QVERIFY2(o.contains("verified") && o.value("verified").isNull(), r.describe());
        QVERIFY(o.value("error").toString().contains("read-back"));
        if (!args.contains("profile"))
            QCOMPARE(o.value("result").toString(), QString("done"));
    }

    void flashEndsWhereNoBootLoaderAsks_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<qint64>("withinMs");
        QTest::newRow("--start-timeout 2") << QStringList{"--start-timeout", "2"} << qint64(8000);
        QTest::newRow("default 10 s") << QStringList() << qint64(20000);
    }

    void flashEndsWhereNoBootLoaderAsks()
    {
        QFETCH(QStringList, options);
        QFETCH(qint64, withinMs);
        SimProcess unit; // running its firmware: it never asks for an image
        QVERIFY2(unit.isRunning(), qPrintable(unit.errorText()));
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("fw.bin"), pattern(5000)));
        const CtlRun r(QStringList{"flash", dir.filePath("fw.bin"), "--port", unit.ptyPath()} + options, 60000);
        QVERIFY2(r.exitCode == 4 && r.out.contains("no boot loader asked"), r.describe());
        QVERIFY2(r.finishedAtMs < withinMs, r.describe());
    }

    void aBootLoaderThatVanishesIsGone()
    {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath("fw")));
        QVERIFY(writeFile(dir.filePath("big.bin"), pattern(3000000)));
        SimProcess loader({"--firmware-dir", dir.filePath("fw")});
        QVERIFY2(loader.isRunning(), qPrintable(loader.errorText()));
        // Mid-transfer the boot loader goes away (unplugged, reset).
        QVERIFY(QProcess::startDetached("sh", {"-c", QStringLiteral("sleep 1; kill %1").arg(loader.process().processId())}));
        const CtlRun r({"flash", dir.filePath("big.bin"), "--port", loader.ptyPath()}, 60000);
        QVERIFY2(r.exitCode != 0 && r.out.contains("gone") && !r.out.contains("ioctl"), r.describe());
    }

    void theManualHoldsEveryCommandsHelp_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("said"); // in the manual page, when the build made one
        QTest::newRow("profile") << "profile" << "strict-serial";
        QTest::newRow("watch") << "watch" << "mqtt-tls-ca";
        QTest::newRow("flash") << "flash" << "start-timeout";
        QTest::newRow("restart") << "restart" << "does not report this value";
    }

    void theManualHoldsEveryCommandsHelp()
    {
        QFETCH(QString, command);
        QFETCH(QString, said);
        const CtlRun all({"--help-all"});
        const CtlRun one({"help", command});
        QVERIFY2(all.exitCode == 0 && one.exitCode == 0, all.describe());
        // The command's own text, up to the shared options every help ends with.
        const QString own = one.out.left(one.out.indexOf("\nShared options:"));
        QVERIFY2(all.out.contains("Command " + command + ":\n\n" + own), qPrintable(own));
        const QString page = qEnvironmentVariable("KORVEX_BUILD_DIR", ".") + "/packaging/korvexctl.1.gz";
        if (!QFile::exists(page))
            QSKIP("no manual page in this build (help2man missing or a sanitizer build)");
        QProcess zcat;
        zcat.start("zcat", {page});
        QVERIFY(zcat.waitForFinished(10000));
        QVERIFY2(QString::fromUtf8(zcat.readAllStandardOutput()).remove("\\").contains(said), qPrintable(page));
    }

    void relativePortNamesOpen_data()
    {
        QTest::addColumn<QString>("form");
        QTest::newRow("./u1") << "./%1";
        QTest::newRow("folder/u1") << "%1";
    }

    void relativePortNamesOpen()
    {
        QFETCH(QString, form);
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath("flash")));
        QVERIFY(QFile::link(sim.ptyPath(), dir.filePath("flash/u1")));
        CtlRun::Setup setup;
        setup.workingDirectory = form.startsWith("./") ? dir.filePath("flash") : dir.path();
        const QString name = form.arg(form.startsWith("./") ? "u1" : "flash/u1");
        const CtlRun r({"--port", name, "status"}, setup);
        QVERIFY2(r.exitCode == 0, r.describe());
        const CtlRun gone({"--port", name + "x", "status"}, setup);
        QVERIFY2(gone.exitCode == 6 && gone.err.contains("does not exist"), gone.describe());
    }
};

QTEST_GUILESS_MAIN(TestKorvexctlPromises)
#include "tst_korvexctl_promises.moc"
