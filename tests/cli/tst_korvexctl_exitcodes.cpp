// korvexctl's exit codes: each outcome has its number, its one stderr line,
// and a lost reply is asked for again --retries times, never taken for done.

#include "CtlRun.h"
#include "SimProcess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class TestKorvexctlExitCodes : public QObject
{
    Q_OBJECT

private slots:
    void aNoisyLineStillAnswers_data()
    {
        // Every reply followed by 1 to 4 stray bytes, or a byte of chatter
        // every 20 ms between replies: each request is answered, so each
        // command is done at its first attempt.
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("status, bytes after every reply") << QStringList{"--trailing", "1"} << QStringList{"status", "--json"};
        QTest::newRow("laser on, bytes after every reply") << QStringList{"--trailing", "1"} << QStringList{"laser", "on"};
        QTest::newRow("power, bytes after every reply") << QStringList{"--trailing", "1", "--split", "0.5"}
                                                        << QStringList{"power", "300", "--verify"};
        QTest::newRow("status, chatter") << QStringList{"--chatter", "20"} << QStringList{"status", "--json"};
    }

    void aNoisyLineStillAnswers()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QStringList, args);
        SimProcess sim(simArgs);
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        for (int run = 0; run < 5; ++run) {
            const CtlRun r(QStringList{"--port", sim.ptyPath()} + args);
            QVERIFY2(r.exitCode == 0, r.describe());
            if (simArgs.first() == "--trailing" && args.first() == "status")
                QVERIFY2(r.out.contains("\"line_noise_bytes\""), r.describe());
        }
        QCOMPARE(sim.receivedFrames().size(), 5 * (args.contains("--verify") ? 2 : 1));
    }

    void refusalIsFive()
    {
        SimProcess sim({"--refuse", "0x0012"});
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun r({"--port", sim.ptyPath(), "power", "500"});
        QVERIFY2(r.exitCode == 5, r.describe());
        QVERIFY(r.out.isEmpty());
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY2(r.err.startsWith("korvexctl: power 500: refused by the device"), r.describe());
        // A refusal is the device's answer: not asked again.
        QCOMPARE(sim.receivedFrames().size(), 1);
    }

    void refusedFactoryWriteIsFive()
    {
        SimProcess sim({"--refuse", "0x00A8"});
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun r({"--factory", "--port", sim.ptyPath(), "laser-type", "1"});
        QVERIFY2(r.exitCode == 5, r.describe());
    }

    void silenceIsFourAfterTheRetries_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("frames");
        QTest::newRow("status, default 2 retries") << QStringList{"status"} << 3;
        QTest::newRow("status, no retry") << QStringList{"--retries", "0", "status"} << 1;
        QTest::newRow("write, 4 retries") << QStringList{"laser", "on", "--retries", "4"} << 5;
        QTest::newRow("pid get") << QStringList{"--factory", "pid", "get"} << 3;
    }

    void silenceIsFourAfterTheRetries()
    {
        QFETCH(QStringList, args);
        QFETCH(int, frames);
        SimProcess sim({"--silent-after", "0"});
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun r(QStringList{"--port", sim.ptyPath()} + args);
        QVERIFY2(r.exitCode == 4, r.describe());
        QVERIFY(r.out.isEmpty());
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY2(r.err.contains("no valid reply"), r.describe());
        QVERIFY(sim.waitForFrames(frames));
        QTest::qWait(100);
        QCOMPARE(sim.receivedFrames().size(), frames);
    }

    void corruptRepliesAreNeverTakenForDone()
    {
        // Every reply has one byte flipped: nothing may pass as done or as data.
        SimProcess sim({"--corrupt", "1"});
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun write({"--port", sim.ptyPath(), "laser", "on"});
        QVERIFY2(write.exitCode == 4, write.describe());
        QVERIFY(write.out.isEmpty());
        const CtlRun read({"--port", sim.ptyPath(), "status", "--json"});
        QVERIFY2(read.exitCode == 4, read.describe());
        // No status data: with --json only the failure's own object (command, exit_code, error).
        const QJsonObject failure = QJsonDocument::fromJson(read.out.toUtf8()).object();
        QCOMPARE(failure.keys(), (QStringList{"command", "error", "exit_code"}));
        QCOMPARE(failure.value("exit_code").toInt(), 4);
        QCOMPARE(sim.receivedFrames().size(), 6); // each asked three times
    }

    void aLostReplyIsRetriedToSuccess()
    {
        // Half the requests go unanswered; with enough retries every write ends done.
        SimProcess sim({"--drop", "0.5", "--seed", "3"});
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        int retried = 0;
        for (int i = 0; i < 6; ++i) {
            const int before = sim.receivedFrames().size();
            const CtlRun r({"--port", sim.ptyPath(), "--retries", "10", "power", QString::number(100 + i)});
            QVERIFY2(r.exitCode == 0, r.describe());
            retried += sim.receivedFrames().size() - before - 1;
        }
        QVERIFY(retried > 0); // the drops really happened and were got over
    }

    void missingPortIsSix()
    {
        const CtlRun r({"--port", "/dev/korvex-no-such-port", "status"});
        QVERIFY2(r.exitCode == 6, r.describe());
        QVERIFY2(r.err.contains("cannot open port /dev/korvex-no-such-port"), r.describe());
    }

    void badArgumentsAreTwoAndSendNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no command") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"frobnicate"};
        QTest::newRow("unknown option") << QStringList{"status", "--frobnicate"};
        QTest::newRow("power too high") << QStringList{"power", "1001"};
        QTest::newRow("power not a number") << QStringList{"power", "lots"};
        QTest::newRow("power missing") << QStringList{"power"};
        QTest::newRow("threshold two decimals") << QStringList{"threshold", "45.55"};
        QTest::newRow("threshold out of range") << QStringList{"threshold", "70"};
        QTest::newRow("laser maybe") << QStringList{"laser", "maybe"};
        QTest::newRow("bad baud") << QStringList{"--baud", "fast", "status"};
        QTest::newRow("bad parity") << QStringList{"--parity", "mark", "status"};
        QTest::newRow("bad stop bits") << QStringList{"--stop-bits", "3", "status"};
        QTest::newRow("count and duration") << QStringList{"watch", "--count", "2", "--duration", "1"};
        QTest::newRow("interval shorter than a poll at 19200") << QStringList{"watch", "--interval", "38"};
        QTest::newRow("interval shorter than a poll at 1200") << QStringList{"--baud", "1200", "watch", "--interval", "500"};
        QTest::newRow("compensation beyond 16 bits") << QStringList{"--factory", "compensation", "70000"};
        QTest::newRow("serial date") << QStringList{"--factory", "serial-number", "1", "2024-02-30", "1"};
        QTest::newRow("serial raw short") << QStringList{"--factory", "serial-number", "--raw", "0102"};
        QTest::newRow("tec dac too high") << QStringList{"--factory", "tec", "dac", "3801"};
        QTest::newRow("pid set two values") << QStringList{"--factory", "pid", "set", "1", "2"};
        // One parse for every path: what the device must not get is refused.
        QTest::newRow("pid set nan") << QStringList{"--factory", "pid", "set", "nan", "0", "0"};
        QTest::newRow("pid set inf") << QStringList{"--factory", "pid", "set", "0", "inf", "0"};
        QTest::newRow("pid set 1e30") << QStringList{"--factory", "pid", "set", "0", "0", "1e30"};
        QTest::newRow("pid set 300000 flips sign") << QStringList{"--factory", "pid", "set", "300000", "0", "0"};
        QTest::newRow("pid set finer than 1/10000") << QStringList{"--factory", "pid", "set", "0.00005", "0", "0"};
        QTest::newRow("serial date with slashes") << QStringList{"--factory", "serial-number", "66051", "2024/07/09", "7"};
        QTest::newRow("serial date without zeros") << QStringList{"--factory", "serial-number", "66051", "2024-7-9", "7"};
        // Factory commands without --factory, as the window hides them.
        QTest::newRow("factory max-dac") << QStringList{"max-dac", "3000"};
        QTest::newRow("factory serial") << QStringList{"serial-number", "--raw", "0102031807090001"};
        QTest::newRow("factory pid") << QStringList{"pid", "get"};
        QTest::newRow("factory profile") << QStringList{"profile", "save", "/tmp/x.json"};
        QTest::newRow("factory fan") << QStringList{"fan", "pwm", "10"};
    }

    void badArgumentsAreTwoAndSendNothing()
    {
        QFETCH(QStringList, args);
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun r(QStringList{"--port", sim.ptyPath()} + args);
        QVERIFY2(r.exitCode == 2, r.describe());
        QVERIFY(r.out.isEmpty());
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY(r.err.startsWith("korvexctl: "));
        QTest::qWait(50);
        QCOMPARE(sim.receivedFrames().size(), 0);
    }

    void portIsRequiredExceptForPorts()
    {
        const CtlRun r({"status"});
        QVERIFY2(r.exitCode == 2, r.describe());
        QVERIFY(r.err.contains("--port"));
    }

    void watchOfASilentDeviceIsFour()
    {
        SimProcess sim({"--silent-after", "0"});
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun r({"--port", sim.ptyPath(), "--retries", "0", "watch", "--count", "2", "--interval", "100"});
        QVERIFY2(r.exitCode == 4, r.describe());
        // Both polls are still reported, as lost.
        QCOMPARE(r.out.count(" lost"), 2);
    }
};

QTEST_GUILESS_MAIN(TestKorvexctlExitCodes)
#include "tst_korvexctl_exitcodes.moc"
