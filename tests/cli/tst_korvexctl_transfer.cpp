// korvexctl send / receive: korvex-ymodem's transfers under korvexctl, with
// its exit codes: to the simulated boot loader, from lrzsz's sb, cancelled
// with Ctrl-C, and to a port that is not there.

#include "CtlRun.h"
#include "LinkedPtys.h"
#include "TestFiles.h"

#include <QDir>
#include <QtTest>

#include <csignal>

class TestKorvexctlTransfer : public QObject
{
    Q_OBJECT

private slots:
    void sendToTheBootLoader()
    {
        QTemporaryDir work;
        QVERIFY(QDir().mkpath(work.filePath("fw")));
        QProcess sim;
        sim.start(qEnvironmentVariable("KORVEX_BUILD_DIR", ".") + "/korvex-sim",
                  {"--pty", "--firmware-dir", work.filePath("fw")});
        QVERIFY(sim.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 10000);
        const QString pty = QString::fromLocal8Bit(sim.readLine()).trimmed();
        const QByteArray image = pattern(20000, 3);
        QVERIFY(writeFile(work.filePath("image.bin"), image));

        const CtlRun r({"--port", pty, "send", work.filePath("image.bin")}, 120000);
        QVERIFY2(r.exitCode == 0, r.describe());
        QCOMPARE(readFile(work.filePath("fw/image.bin")), image);
        // The result on stdout under korvexctl's name, as every command's.
        QVERIFY2(r.out.startsWith("korvexctl: sent image.bin (20000 bytes)"), r.describe());
        QVERIFY2(!r.err.contains("korvex-ymodem"), r.describe());
        sim.terminate();
        sim.waitForFinished(5000);
    }

    void receiveFromSb()
    {
        QTemporaryDir src, dst;
        const QByteArray data = pattern(9000, 8);
        QVERIFY(writeFile(src.filePath("log.bin"), data));
        PtyToCommand sb("sb --ymodem -q log.bin", src.path());
        QVERIFY(sb.isValid());
        const CtlRun r({"--port", sb.port, "--baud", "115200", "receive", dst.path()}, 120000);
        QVERIFY2(r.exitCode == 0, r.describe());
        QCOMPARE(readFile(dst.filePath("log.bin")), data);
        QVERIFY2(r.out.startsWith("korvexctl: received ") && r.out.contains("(9000 bytes)"), r.describe());
    }

    void ctrlCCancelsASend()
    {
        QTemporaryDir work;
        QVERIFY(writeFile(work.filePath("x.bin"), pattern(4000)));
        LinkedPtys line; // nobody answers at the far end
        QVERIFY(line.isValid());
        QProcess send;
        send.start(CtlRun::program(), {"--port", line.a, "send", work.filePath("x.bin")});
        QVERIFY(send.waitForStarted());
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += send.readAllStandardError()).contains("waiting for the receiver"),
                                  said.constData(), 10000);
        ::kill(pid_t(send.processId()), SIGINT);
        QVERIFY(send.waitForFinished(15000));
        QCOMPARE(send.exitCode(), 3);
    }

    void unusableArgumentsAndPorts()
    {
        QTemporaryDir work;
        QVERIFY(writeFile(work.filePath("x.bin"), "abc"));
        QCOMPARE(CtlRun({"--port", "/dev/korvex-no-such-port", "send", work.filePath("x.bin")}).exitCode, 6);
        QCOMPARE(CtlRun({"--port", "/dev/null", "send", work.filePath("missing.bin")}).exitCode, 2);
        QCOMPARE(CtlRun({"--port", "/dev/null", "receive", work.filePath("x.bin")}).exitCode, 2);
        QCOMPARE(CtlRun({"--port", "/dev/null", "send"}).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(TestKorvexctlTransfer)
#include "tst_korvexctl_transfer.moc"
