#include "CommandOnPty.h"
#include "ExitCode.h"
#include "LinkedPtys.h"
#include "ScriptedReceiver.h"
#include "TestFiles.h"
#include "TiedProcess.h"
#include "Ymodem.h"
#include "YmodemBlocks.h"
#include "YmodemCli.h"
#include "YmodemHeader.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

static QString program() { return qEnvironmentVariable("KORVEX_BUILD_DIR") + "/korvex-ymodem"; }

// The far end of a linked pty, read without blocking.
class FarEnd
{
public:
    explicit FarEnd(const QString &path) { fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK); }
    ~FarEnd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool isOpen() const { return fd >= 0; }
    void write(const QByteArray &b) { QVERIFY(::write(fd, b.constData(), size_t(b.size())) == b.size()); }
    // Reads exactly n bytes, or what came within ms.
    QByteArray read(int n, int ms)
    {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.size() < n && t.elapsed() < ms) {
            char buf[2048];
            const ssize_t r = ::read(fd, buf, size_t(qMin<int>(int(sizeof buf), n - got.size())));
            if (r > 0)
                got.append(buf, int(r));
            else
                QThread::msleep(5);
        }
        return got;
    }
    // Waits up to ms for `wanted` to appear in what arrives.
    bool waitFor(char wanted, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            char buf[256];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0 && QByteArray(buf, int(n)).contains(wanted))
                return true;
            QThread::msleep(10);
        }
        return false;
    }

private:
    int fd = -1;
};

class TestYmodemCli : public QObject
{
    Q_OBJECT
private slots:
    void arguments_data();
    void arguments();
    void exitCodes();
    void programOutcomes();
    void sendToRb_data();
    void sendToRb();
    void receiveFromSb_data();
    void receiveFromSb();
    void hostileHeaderFromPeer();
    void sendToRbOnPlainPty_data();
    void sendToRbOnPlainPty();
    void cancelBehindAckIsAbortedAtOnce();
    void controlCharactersInNamesAreShownEscaped();
    void stopFlagAndInterrupt();
    void transfersAt1200Baud();
    void sendEndsOnlyWithTheEndsAck_data();
    void sendEndsOnlyWithTheEndsAck();
    void longNameToRb();
};

static QString pacer() { return qEnvironmentVariable("KORVEX_BUILD_DIR") + "/bench/korvex-pacer"; }

void TestYmodemCli::arguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error"); // empty: accepted
    static QTemporaryDir dir; // lives for the test run, removed at exit
    const QString file = dir.filePath("f.bin");
    writeFile(file, "x");
    const QString d = dir.path();
    QTest::newRow("send") << QStringList{"send", "--port", "/dev/ttyS9", "--baud", "9600", file} << QString();
    QTest::newRow("receive, = forms") << QStringList{"receive", "--port=/dev/ttyUSB0", "--baud=921600", d} << QString();
    QTest::newRow("default baud") << QStringList{"send", "--port", "p", file} << QString();
    QTest::newRow("no command") << QStringList{} << "missing command";
    QTest::newRow("bad command") << QStringList{"push", "--port", "p", file} << "unknown command";
    QTest::newRow("no port") << QStringList{"send", file} << "missing --port";
    QTest::newRow("port without value") << QStringList{"send", file, "--port"} << "needs a value";
    QTest::newRow("baud not a number") << QStringList{"send", "--port", "p", "--baud", "fast", file} << "baud rate";
    QTest::newRow("baud zero") << QStringList{"send", "--port", "p", "--baud", "0", file} << "baud rate";
    QTest::newRow("unknown option") << QStringList{"send", "--port", "p", "-x", file} << "unknown option";
    QTest::newRow("missing file") << QStringList{"send", "--port", "p", d + "/nope"} << "not a readable file";
    QTest::newRow("dir as file") << QStringList{"send", "--port", "p", d} << "not a readable file";
    QTest::newRow("file as dir") << QStringList{"receive", "--port", "p", file} << "not a writable directory";
    QTest::newRow("two files") << QStringList{"send", "--port", "p", file, file} << "exactly one FILE";
}

void TestYmodemCli::arguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    const YmodemCli::Options o = YmodemCli::parseArguments(args);
    if (error.isEmpty()) {
        QVERIFY2(o.error.isEmpty(), qPrintable(o.error));
        QCOMPARE(o.send, args.first() == "send");
        QVERIFY(!o.port.isEmpty());
        QVERIFY(o.baud == 9600 || o.baud == 921600 || o.baud == 115200);
    } else {
        QVERIFY2(o.error.contains(error), qPrintable(o.error));
    }
}

void TestYmodemCli::exitCodes()
{
    QCOMPARE(YmodemCli::exitCodeFor(2), 0);
    QCOMPARE(YmodemCli::exitCodeFor(3), 3);
    QCOMPARE(YmodemCli::exitCodeFor(4), 4);
    QCOMPARE(YmodemCli::exitCodeFor(5), 5);
    QCOMPARE(YmodemCli::progressText(true, "a.bin", 50, 512, 1024),
             QStringLiteral("sending a.bin: 50% (512 of 1024 bytes)"));
}

void TestYmodemCli::programOutcomes()
{
    QProcess p;
    p.start(program(), {"--help"});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(p.readAllStandardOutput().contains("korvex-ymodem send"));

    p.start(program(), {"send", "--baud", "x"});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(p.readAllStandardError().contains("baud rate"));

    QTemporaryDir dir;
    p.start(program(), {"receive", "--port", "/dev/korvex-no-such-port", dir.path()});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 6);
    QVERIFY(p.readAllStandardError().contains("cannot open port"));

    // The peer cancels during the handshake: aborted. The port is named
    // relative to the working folder, as a udev link beside a script is.
    LinkedPtys cable;
    QVERIFY(cable.isValid());
    QVERIFY(QFile::link(cable.a, dir.filePath("u1")));
    p.setWorkingDirectory(dir.path());
    p.start(program(), {"receive", "--port", "./u1", dir.path()});
    FarEnd far(cable.b);
    QVERIFY(far.isOpen());
    QVERIFY(far.waitFor('C', 5000));
    far.write(QByteArray(2, 0x18));
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 3);
    QVERIFY(p.readAllStandardError().contains("cancelled by the sender"));
}

void TestYmodemCli::sendToRb_data()
{
    QTest::addColumn<int>("size");
    for (int size : {1, 128, 129, 1024, 1100, 300 * 1024 + 5})
        QTest::addRow("%d", size) << size;
}

void TestYmodemCli::sendToRb()
{
    QFETCH(int, size);
    QTemporaryDir src, dst;
    const QByteArray data = pattern(size, quint32(size));
    QVERIFY(writeFile(src.filePath("image.bin"), data));
    PtyToCommand rb("rb --ymodem -q", dst.path());
    QVERIFY(rb.isValid());
    QProcess send;
    send.start(program(), {"send", "--port", rb.port, "--baud", "115200", src.filePath("image.bin")});
    QVERIFY(send.waitForFinished(60000));
    const QByteArray err = send.readAllStandardError();
    QVERIFY(rb.waitForEnd(20000));
    QVERIFY2(send.exitCode() == 0, err.constData());
    QCOMPARE(readFile(dst.filePath("image.bin")), data);
    // Not a terminal: plain progress lines, the last one at 100 %.
    QVERIFY(!err.contains('\r'));
    QVERIFY2(err.contains(QStringLiteral("100% (%1 of %1 bytes)").arg(size).toUtf8()), err.constData());
}

void TestYmodemCli::receiveFromSb_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("oneK");
    for (int size : {0, 1, 127, 128, 1024, 1100, 300 * 1024 + 5})
        QTest::addRow("1k %d", size) << size << true;
    for (int size : {1, 129, 1100, 40000})
        QTest::addRow("128 %d", size) << size << false;
}

void TestYmodemCli::receiveFromSb()
{
    QFETCH(int, size);
    QFETCH(bool, oneK);
    QTemporaryDir src, dst;
    const QByteArray data = pattern(size, quint32(size) + 1);
    QVERIFY(writeFile(src.filePath("dump.bin"), data));
    PtyToCommand sb(oneK ? "sb --ymodem -q -k dump.bin" : "sb --ymodem -q dump.bin", src.path());
    QVERIFY(sb.isValid());
    QProcess receive;
    receive.start(program(), {"receive", "--port", sb.port, "--baud", "115200", dst.path()});
    QVERIFY(receive.waitForFinished(90000));
    const QByteArray err = receive.readAllStandardError();
    QVERIFY(sb.waitForEnd(20000));
    QVERIFY2(receive.exitCode() == 0, err.constData());
    QCOMPARE(readFile(dst.filePath("dump.bin")), data);
    QCOMPARE(QDir(dst.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"dump.bin"});
}

void TestYmodemCli::hostileHeaderFromPeer()
{
    // A peer announcing "../escape.bin": refused, nothing written anywhere.
    LinkedPtys cable;
    QVERIFY(cable.isValid());
    QTemporaryDir outer;
    QVERIFY(QDir(outer.path()).mkdir("in"));
    QProcess receive;
    receive.start(program(), {"receive", "--port", cable.a, outer.filePath("in")});
    FarEnd far(cable.b);
    QVERIFY(far.isOpen());
    QVERIFY(far.waitFor('C', 5000));
    far.write(makeHeader("../escape.bin", "5"));
    QVERIFY(receive.waitForFinished(10000));
    QCOMPARE(receive.exitCode(), 5);
    QVERIFY(receive.readAllStandardError().contains("unsafe"));
    QCOMPARE(QDir(outer.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"in"});
    QVERIFY(QDir(outer.filePath("in")).isEmpty());
}


void TestYmodemCli::sendToRbOnPlainPty_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << 0;
    QTest::newRow("1000") << 1000;
    QTest::newRow("70000") << 70000;
}

void TestYmodemCli::sendToRbOnPlainPty()
{
    // rb with its terminal on a pty: its last ACK (of the closing header) is
    // lost when it exits. The file was delivered when rb ACKed its end, so
    // the send has finished, and soon; an empty file is taken by rb too.
    QFETCH(int, size);
    LinkedPtys cable;
    QVERIFY(cable.isValid());
    QTemporaryDir src, dst;
    const QByteArray data = pattern(size, 3);
    QVERIFY(writeFile(src.filePath("image.bin"), data));
    TiedProcess rb; // ends with the test, even a crashed one
    rb.setWorkingDirectory(dst.path());
    rb.setStandardInputFile(cable.b);
    rb.setStandardOutputFile(cable.b);
    rb.start("rb", {"--ymodem", "-q"});
    QVERIFY(rb.waitForStarted(5000));
    QProcess send;
    QElapsedTimer clock;
    clock.start();
    send.start(program(), {"send", "--port", cable.a, src.filePath("image.bin")});
    QVERIFY(send.waitForFinished(60000));
    const qint64 ms = clock.elapsed();
    QVERIFY(rb.state() == QProcess::NotRunning || rb.waitForFinished(20000));
    const QByteArray err = send.readAllStandardError();
    QVERIFY2(send.exitCode() == 0, err.constData());
    QCOMPARE(rb.exitCode(), 0);
    QCOMPARE(readFile(dst.filePath("image.bin")), data);
    qInfo("korvex-ymodem send -> rb on a pty, %d bytes: %lld ms", size, ms);
    QVERIFY2(ms < 20000, "a delivered file does not wait out the closing header's retries");
}

void TestYmodemCli::cancelBehindAckIsAbortedAtOnce()
{
    LinkedPtys cable;
    QVERIFY(cable.isValid());
    QTemporaryDir src;
    QVERIFY(writeFile(src.filePath("image.bin"), pattern(5000, 1)));
    QProcess send;
    send.start(program(), {"send", "--port", cable.a, src.filePath("image.bin")});
    FarEnd far(cable.b);
    QVERIFY(far.isOpen());
    QThread::msleep(500); // the sender listens
    far.write("C");
    QCOMPARE(far.read(133, 5000).size(), 133);
    far.write(QByteArray() + char(0x06) + 'C');
    QCOMPARE(far.read(1029, 5000).size(), 1029);
    QElapsedTimer clock;
    clock.start();
    far.write(QByteArray() + char(0x06) + char(0x18) + char(0x18));
    QVERIFY(send.waitForFinished(40000));
    QCOMPARE(send.exitCode(), 3);
    QVERIFY2(clock.elapsed() < 3000, "the cancel behind the ACK is heard at once");
    QVERIFY(send.readAllStandardError().contains("cancelled by the receiver"));
}

void TestYmodemCli::controlCharactersInNamesAreShownEscaped()
{
    // A name with a terminal escape in it is refused and shown escaped: no
    // raw control byte reaches the terminal.
    LinkedPtys cable;
    QVERIFY(cable.isValid());
    QTemporaryDir dir;
    QProcess receive;
    receive.start(program(), {"receive", "--port", cable.a, dir.path()});
    FarEnd far(cable.b);
    QVERIFY(far.isOpen());
    QVERIFY(far.waitFor('C', 5000));
    far.write(makeHeader("evil\x1b]0;owned\x07\x1b[2J\xc2\x9b" "31m.bin", "5"));
    QVERIFY(receive.waitForFinished(10000));
    QCOMPARE(receive.exitCode(), 5);
    const QByteArray err = receive.readAllStandardError();
    QVERIFY2(err.contains("evil\\x1b]0;owned\\x07\\x1b[2J\\x9b31m.bin"), err.constData());
    for (char c : err)
        QVERIFY2(quint8(c) >= 0x20 || c == '\n', qPrintable(QStringLiteral("raw control byte %1").arg(quint8(c))));
    QVERIFY(!err.contains("\xc2\x9b"));
    QVERIFY(QDir(dir.path()).isEmpty());
    QCOMPARE(YmodemHeader::printable(QStringLiteral("a\\b\tc\u202ed")), QStringLiteral("a\\\\b\\x09c\\u202ed"));
}

void TestYmodemCli::stopFlagAndInterrupt()
{
    // In-process, as another program uses it: a flag that a signal handler
    // would set stops the transfer (the peer gets the cancel burst), and the
    // progress and messages come as signals, nothing is printed.
    {
        LinkedPtys cable;
        QVERIFY(cable.isValid());
        QTemporaryDir dir;
        FarEnd far(cable.b);
        QVERIFY(far.isOpen());
        YmodemCli::Options o;
        o.port = cable.a;
        o.path = dir.path();
        static volatile std::sig_atomic_t flag = 0;
        flag = 0;
        YmodemCli cli(nullptr, false);
        cli.setStopFlag(&flag);
        QStringList messages;
        connect(&cli, &YmodemCli::message, this, [&messages](const QString &m) { messages << m; });
        QTimer::singleShot(400, [] { flag = 1; });
        QCOMPARE(cli.run(o), ExitCode::Aborted);
        QVERIFY2(messages.join('\n').contains("stopped by the user"), qPrintable(messages.join('\n')));
        QByteArray got = far.read(6, 2000);
        QVERIFY2(got.endsWith(QByteArray(5, 0x18)), got.toHex().constData());
    }
    // The program: Ctrl-C (SIGINT) stops it the same way, and so does a
    // closed terminal (SIGHUP).
    for (int signo : {SIGINT, SIGHUP}) {
        LinkedPtys cable;
        QVERIFY(cable.isValid());
        QTemporaryDir dir;
        FarEnd far(cable.b);
        QProcess receive;
        receive.start(program(), {"receive", "--port", cable.a, dir.path()});
        QVERIFY(far.waitFor('C', 5000));
        ::kill(pid_t(receive.processId()), signo);
        QVERIFY(receive.waitForFinished(10000));
        QCOMPARE(receive.exitStatus(), QProcess::NormalExit);
        QCOMPARE(receive.exitCode(), ExitCode::Aborted);
        QVERIFY(receive.readAllStandardError().contains("stopped by the user"));
        QVERIFY(far.read(5, 2000).endsWith(QByteArray(5, 0x18)));
    }
}

void TestYmodemCli::transfersAt1200Baud()
{
    // At 1200 baud a 1 KiB block is 8.6 s on the line, longer than a retry
    // period: no retry may start while it is still going out. Through a line
    // paced at 1200 baud, korvex-ymodem to korvex-ymodem and to rb.
    QTemporaryDir src;
    const QByteArray data = pattern(5000, 12);
    QVERIFY(writeFile(src.filePath("slow.bin"), data));
    {
        QTemporaryDir dst, lines;
        TiedProcess line; // the paced line ends with the test
        line.start(pacer(), {"--baud", "1200", "pty:" + lines.filePath("a"), "pty:" + lines.filePath("b")});
        LinkedPtys::waitFor({lines.filePath("a"), lines.filePath("b")});
        QProcess send, receive;
        send.start(program(), {"send", "--port", lines.filePath("a"), "--baud", "1200", src.filePath("slow.bin")});
        QThread::msleep(500);
        receive.start(program(), {"receive", "--port", lines.filePath("b"), "--baud", "1200", dst.path()});
        QVERIFY(send.waitForFinished(150000));
        QVERIFY(receive.state() == QProcess::NotRunning || receive.waitForFinished(20000));
        line.terminate();
        line.waitForFinished(5000);
        const QByteArray sendErr = send.readAllStandardError();
        QVERIFY2(send.exitCode() == 0, sendErr.constData());
        QVERIFY2(receive.exitCode() == 0, receive.readAllStandardError().constData());
        QCOMPARE(readFile(dst.filePath("slow.bin")), data);
    }
    {
        QTemporaryDir dst, lines;
        TiedProcess line; // the paced line ends with the test
        line.setWorkingDirectory(dst.path());
        line.start(pacer(), {"--baud", "1200", "pty:" + lines.filePath("a"), "exec:rb --ymodem -q"});
        LinkedPtys::waitFor({lines.filePath("a")});
        QProcess send;
        send.start(program(), {"send", "--port", lines.filePath("a"), "--baud", "1200", src.filePath("slow.bin")});
        QVERIFY(send.waitForFinished(150000));
        QVERIFY(line.state() == QProcess::NotRunning || line.waitForFinished(20000));
        QVERIFY2(send.exitCode() == 0, send.readAllStandardError().constData());
        QCOMPARE(line.exitCode(), 0); // rb's exit status
        QCOMPARE(readFile(dst.filePath("slow.bin")), data);
    }
}

void TestYmodemCli::sendEndsOnlyWithTheEndsAck_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("deadReceivers"); // each takes every block and dies at the EOT
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("deafMs"); // the last receiver ignores what comes this soon after its prompt
    // The last receiver is rb, which acknowledges an EOT while it waits for a
    // header: an EOT there would end a transfer that rb never had.
    QTest::addColumn<bool>("freshRb");
    const int all = int(Ymodem::RestartLimit) + 1;
    QTest::newRow("fresh receiver after a dead one") << 100000 << 1 << 0 << 0 << false;
    QTest::newRow("empty file, fresh receiver after a dead one") << 0 << 1 << 0 << 0 << false;
    QTest::newRow("every receiver dies at the end") << 3000 << all << 5 << 0 << false;
    QTest::newRow("empty file, every EOT ignored") << 0 << all << 5 << 0 << false;
    QTest::newRow("receiver deaf right after its prompt for the closing header") << 3000 << 0 << 0 << 50 << false;
    QTest::newRow("fresh rb after a dead receiver") << 20000 << 1 << 0 << 0 << true;
    QTest::newRow("empty file, fresh rb after a dead receiver") << 0 << 1 << 0 << 0 << true;
}

void TestYmodemCli::sendEndsOnlyWithTheEndsAck()
{
    // A boot loader that resets at the end of the file and asks again gets
    // the whole file again; the send succeeds only when a receiver
    // acknowledged the end of the file, and fails after a few restarts.
    QFETCH(int, size);
    QFETCH(int, deadReceivers);
    QFETCH(int, exitCode);
    QFETCH(int, deafMs);
    QFETCH(bool, freshRb);
    QTemporaryDir src, dst;
    const QByteArray data = pattern(size, 21);
    QVERIFY(writeFile(src.filePath("image.bin"), data));
    PtyPair pty;
    QVERIFY(pty.isValid());
    TiedProcess send;
    send.start(program(), {"send", "--port", pty.slavePath(), src.filePath("image.bin")});
    QVERIFY(send.waitForStarted(5000));
    for (int i = 0; i < deadReceivers; ++i) {
        ScriptedReceiver dead(pty);
        QVERIFY(dead.takeHeader());
        QCOMPARE(dead.name, QByteArray("image.bin"));
        QVERIFY(dead.takeBlocksUntilEnd());
        QCOMPARE(dead.data.left(size), data);
    }
    ScriptedReceiver fresh(pty);
    if (freshRb) {
        CommandOnPty rb(pty, "rb", {"--ymodem", "-q"}, dst.path());
        QVERIFY(rb.waitForEnd(30000));
        QCOMPARE(readFile(dst.filePath("image.bin")), data);
        QCOMPARE(rb.exitCode(), 0);
    } else if (exitCode == 0) {
        QVERIFY(fresh.takeHeader());
        QCOMPARE(fresh.name, QByteArray("image.bin"));
        QVERIFY(fresh.takeBlocksUntilEnd());
        QVERIFY(fresh.finish(10000, deafMs));
        QCOMPARE(fresh.data.left(size), data);
    } else {
        QVERIFY(!fresh.takeHeader(4000)); // the cancel burst, no header
    }
    const bool ended = send.state() == QProcess::NotRunning || send.waitForFinished(20000);
    const QByteArray err = send.readAllStandardError();
    QVERIFY2(ended, err.constData());
    QVERIFY2(send.exitCode() == exitCode, err.constData());
    if (exitCode != 0)
        QVERIFY2(err.contains("started over"), err.constData());
}

void TestYmodemCli::longNameToRb()
{
    // A name too long for a 128-byte header goes in a 1024-byte one, which
    // rb takes.
    QTemporaryDir src, dst;
    const QString name = QString(200, QLatin1Char('L')) + ".bin";
    const QByteArray data = pattern(3000, 22);
    QVERIFY(writeFile(src.filePath(name), data));
    PtyToCommand rb("rb --ymodem -q", dst.path());
    QVERIFY(rb.isValid());
    QProcess send;
    send.start(program(), {"send", "--port", rb.port, src.filePath(name)});
    QVERIFY(send.waitForFinished(30000));
    QVERIFY(rb.waitForEnd(20000));
    QVERIFY2(send.exitCode() == 0, send.readAllStandardError().constData());
    QCOMPARE(readFile(dst.filePath(name)), data);
}

QTEST_GUILESS_MAIN(TestYmodemCli)
#include "tst_ymodem_cli.moc"
