#include "LinkedPtys.h"
#include "TestFiles.h"
#include "YmodemCli.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

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
};

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

    // The peer cancels during the handshake: aborted.
    LinkedPtys cable;
    QVERIFY(cable.isValid());
    p.start(program(), {"receive", "--port", cable.a, dir.path()});
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
    QByteArray data = QByteArray("../escape.bin") + '\0' + "5" + '\0';
    data = data.leftJustified(128, '\0');
    quint16 crc = 0;
    for (char ch : data) {
        crc ^= quint16(quint8(ch)) << 8;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    far.write(QByteArray::fromHex("0100FF") + data + char(crc >> 8) + char(crc & 0xFF));
    QVERIFY(receive.waitForFinished(10000));
    QCOMPARE(receive.exitCode(), 5);
    QVERIFY(receive.readAllStandardError().contains("unsafe"));
    QCOMPARE(QDir(outer.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"in"});
    QVERIFY(QDir(outer.filePath("in")).isEmpty());
}

QTEST_GUILESS_MAIN(TestYmodemCli)
#include "tst_ymodem_cli.moc"
