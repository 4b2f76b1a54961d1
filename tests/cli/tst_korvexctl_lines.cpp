// korvexctl on a production line: it talks to the one unit it was given
// (ports compared by the device they lead to), says why a port cannot be
// opened, works at every rate it accepts, never exits 0 when its results
// were lost, and stops before its next frame on SIGINT or SIGTERM.

#include "CtlRun.h"
#include "SimProcess.h"
#include "TestFiles.h"

#include <QFile>
#include <QtTest>

class TestKorvexctlLines : public QObject
{
    Q_OBJECT

private slots:
    void twoUnitsForOneUnitCommandsSendNothing()
    {
        SimProcess a;
        SimProcess b;
        QVERIFY2(a.isRunning() && b.isRunning(), qPrintable(a.errorText() + b.errorText()));
        const CtlRun r({"--port", a.ptyPath(), "--factory", "serial-number", "66051", "2024-07-10", "7", "--port",
                        b.ptyPath()});
        QVERIFY2(r.exitCode == 2, r.describe());
        QVERIFY2(r.err.contains("different devices"), r.describe());
        QTest::qWait(50);
        QCOMPARE(a.receivedFrames().size() + b.receivedFrames().size(), 0);

        // A link and its target are one device: one unit, one frame.
        QTemporaryDir dir;
        const QString link = dir.filePath("laser");
        QVERIFY(QFile::link(a.ptyPath(), link));
        const CtlRun same({"--port", link, "--port", a.ptyPath(), "power", "5"});
        QVERIFY2(same.exitCode == 0, same.describe());
        QCOMPARE(a.receivedFrames().size(), 1);
        // flash refuses one boot loader named twice.
        const QString image = dir.filePath("fw.bin");
        QVERIFY(writeFile(image, pattern(2000)));
        const CtlRun twice({"flash", image, "--port", link, "--port", a.ptyPath()});
        QVERIFY2(twice.exitCode == 2 && twice.err.contains("twice"), twice.describe());
    }

    void aPortThatCannotBeOpenedSaysWhy_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("why");
        QTest::newRow("missing") << "/dev/korvex-no-such-port" << "does not exist";
        QTest::newRow("/dev/null") << "/dev/null" << "is not a serial device";
        QTest::newRow("directory") << "DIR" << "is not a serial device (a directory)";
        QTest::newRow("regular file") << "FILE" << "is not a serial device (a regular file)";
    }

    void aPortThatCannotBeOpenedSaysWhy()
    {
        QFETCH(QString, port);
        QFETCH(QString, why);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("file"), "x"));
        port.replace("DIR", dir.path()).replace("FILE", dir.filePath("file"));
        const CtlRun r({"--port", port, "status"});
        QVERIFY2(r.exitCode == 6, r.describe());
        QVERIFY2(r.err.contains(QStringLiteral("cannot open port %1: %2").arg(port, why)), r.describe());
    }

    void aPortHeldByKorvexIsBusyUnderEveryName()
    {
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        QTemporaryDir dir;
        const QString link = dir.filePath("laser");
        QVERIFY(QFile::link(sim.ptyPath(), link));
        QProcess holder; // watch keeps the port open under the link's name
        holder.start(CtlRun::program(), {"--port", link, "watch", "--interval", "200"});
        QVERIFY(holder.waitForStarted());
        QVERIFY(sim.waitForFrames(1));
        const CtlRun r({"--port", sim.ptyPath(), "power", "5"});
        holder.kill();
        holder.waitForFinished();
        QVERIFY2(r.exitCode == 6, r.describe());
        QVERIFY2(r.err.contains("busy (held by korvexctl"), r.describe());
    }

    void everyAcceptedRateGetsItsReply_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("exitCode");
        // The status reply's own 59 bytes take 123 ms at 4800 baud: a fixed
        // 100 ms deadline could never be met on a real line. (A pty does not
        // pace bytes, so the unit answers late instead, within the line time.)
        QTest::newRow("4800 baud, answer after 180 ms") << QStringList{"--baud", "4800", "--retries", "0"} << 180 << 0;
        QTest::newRow("1200 baud, answer after 400 ms") << QStringList{"--baud", "1200", "--retries", "0"} << 400 << 0;
        QTest::newRow("--timeout 400, answer after 250 ms") << QStringList{"--timeout", "400", "--retries", "0"} << 250 << 0;
        QTest::newRow("answer after 250 ms is too late") << QStringList{"--retries", "0"} << 250 << 4;
        QTest::newRow("a rate no line uses") << QStringList{"--baud", "12345"} << 0 << 2;
        QTest::newRow("a rate the device link lacks") << QStringList{"--baud", "230400"} << 0 << 2;
        QTest::newRow("--timeout 0") << QStringList{"--timeout", "0"} << 0 << 2;
    }

    void everyAcceptedRateGetsItsReply()
    {
        QFETCH(QStringList, options);
        QFETCH(int, delayMs);
        QFETCH(int, exitCode);
        SimProcess sim(delayMs > 0 ? QStringList{"--delay", QString::number(delayMs)} : QStringList());
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun r(QStringList{"--port", sim.ptyPath(), "status"} + options);
        QVERIFY2(r.exitCode == exitCode, r.describe());
        if (exitCode == 2) // the refusal names the rates there are
            QVERIFY2(r.err.contains("115200") || r.err.contains("--timeout"), r.describe());
    }

    // -v: each request and what came back on stderr, and each retry;
    // stdout is what it is without it.
    void verboseShowsEveryFrame_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("traced");
        QTest::newRow("a good reply") << QStringList() << 0 << QStringList{" > 01 00 C1 ", "(59 bytes in "};
        QTest::newRow("noise after the reply") << QStringList{"--trailing", "1"} << 0
                                               << QStringList{"of them line noise"};
        QTest::newRow("a mute unit, asked again") << QStringList{"--silent-after", "0"} << 4
                                                  << QStringList{"< nothing in ", "retry 2 of 2 (no valid reply)"};
    }

    void verboseShowsEveryFrame()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(int, exitCode);
        QFETCH(QStringList, traced);
        SimProcess sim(simArgs);
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun quiet({"--port", sim.ptyPath(), "--retries", "1", "status"});
        const CtlRun r({"-v", "--port", sim.ptyPath(), "--retries", "1", "status"});
        QVERIFY2(r.exitCode == exitCode, r.describe());
        for (const QString &text : traced)
            QVERIFY2(r.err.contains(sim.ptyPath() + " ") && r.err.contains(text), r.describe());
        QVERIFY2(!quiet.err.contains(" > "), quiet.describe());
        if (exitCode == 0)
            QCOMPARE(r.out.count('\n'), quiet.out.count('\n')); // the values move; the fields stay
    }

    void lostResultsAreNeverSuccess_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("why");
        const QString stdoutFull = "cannot write the results to stdout: No space left on device";
        QTest::newRow("status --json") << QStringList{"status", "--json"} << stdoutFull;
        QTest::newRow("pid get --json") << QStringList{"--factory", "pid", "get", "--json"} << stdoutFull;
        QTest::newRow("power") << QStringList{"power", "5"} << stdoutFull;
        QTest::newRow("profile save -") << QStringList{"--factory", "profile", "save", "-"} << stdoutFull;
        QTest::newRow("watch --csv /dev/full") << QStringList{"watch", "--count", "1", "--csv", "/dev/full"}
                                               << "watch: cannot write the header: No space left on device";
    }

    void lostResultsAreNeverSuccess()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, why);
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        CtlRun::Setup full;
        full.stdoutFile = "/dev/full";
        const CtlRun r(QStringList{"--port", sim.ptyPath()} + args, full);
        QVERIFY2(r.exitCode == 5, r.describe());
        QVERIFY2(r.err.contains(why), r.describe());
    }

    void aSignalStopsBeforeTheNextFrame_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("signo");
        QTest::addColumn<int>("allFrames"); // what the command sends when left alone
        QTest::newRow("SIGTERM, mute unit, 100 retries")
            << QStringList{"--silent-after", "0"} << QStringList{"--retries", "100", "status"} << int(SIGTERM) << 101;
        QTest::newRow("SIGINT, profile apply")
            << QStringList{"--delay", "90"} << QStringList{"--factory", "profile", "apply", "PROFILE"} << int(SIGINT) << 7;
    }

    void aSignalStopsBeforeTheNextFrame()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QStringList, args);
        QFETCH(int, signo);
        QFETCH(int, allFrames);
        QTemporaryDir dir;
        const QString profile = dir.filePath("p.json");
        QVERIFY(writeFile(profile, "{\"korvex_profile\":1,\"temp_threshold_c\":40,\"power\":100,\"max_dac\":3000,"
                                   "\"compensation_hours\":0,\"laser_type\":0,\"pid\":{\"kp\":1,\"ki\":0,\"kd\":0}}"));
        args.replaceInStrings("PROFILE", profile);
        SimProcess sim(simOptions);
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        CtlRun::Setup stop;
        stop.signalAfterMs = 250;
        stop.signo = signo;
        const CtlRun r(QStringList{"--port", sim.ptyPath()} + args, stop);
        QVERIFY2(r.exitCode == 3, r.describe());
        QVERIFY2(r.err.contains("stopped by a signal"), r.describe());
        QVERIFY2(r.finishedAtMs - r.signalledAtMs < 2000, r.describe()); // loose: one frame at most
        QTest::qWait(100);
        QVERIFY(sim.receivedFrames().size() < allFrames);
        if (args.contains("apply")) // the output says which writes went out
            QVERIFY2(r.out.contains(": not sent"), r.describe());
    }
};

QTEST_GUILESS_MAIN(TestKorvexctlLines)
#include "tst_korvexctl_lines.moc"
