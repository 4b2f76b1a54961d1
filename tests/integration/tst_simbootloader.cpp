// korvex-sim --firmware-dir: the simulated laser takes a firmware image by
// YModem on its device line when the line is quiet, and goes on answering
// device frames.

#include "SimDevice.h"
#include "Ymodem.h"
#include "YmodemBlocks.h"

#include <QDir>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray StatusQuery = QByteArray::fromHex("0100C1019188");
constexpr int StatusReplySize = SimDevice::StatusReplySize;
const QByteArray Cancel5(5, '\x18');

QString buildProgram(const char *name)
{
    return qEnvironmentVariable("KORVEX_BUILD_DIR", QStringLiteral(".")) + QLatin1Char('/') + QLatin1String(name);
}

// The simulator with stdout and stderr read by the test (its reports).
class Sim
{
public:
    explicit Sim(const QStringList &args)
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(buildProgram("korvex-sim"), QStringList{"--pty"} + args);
        QElapsedTimer t;
        t.start();
        while (!process.canReadLine() && t.elapsed() < 10000 && process.state() != QProcess::NotRunning)
            process.waitForReadyRead(100);
        if (process.canReadLine())
            pty = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~Sim()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(5000);
    }
    QString output()
    {
        process.waitForReadyRead(50);
        seen += QString::fromLocal8Bit(process.readAll());
        return seen;
    }
    QProcess process;
    QString pty;
    QString seen;
};

QByteArray randomBytes(int n, quint32 seed)
{
    QByteArray out(n, '\0');
    for (int i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        out[i] = char(seed >> 16);
    }
    return out;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Reads from the port until `enough` says so or the time is up.
QByteArray readUntil(QSerialPort &port, int timeoutMs, const std::function<bool(const QByteArray &)> &enough)
{
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (!enough(got) && t.elapsed() < timeoutMs) {
        port.waitForReadyRead(20);
        got += port.readAll();
    }
    return got;
}

int sendWithCli(const QString &port, const QString &file)
{
    QProcess cli;
    cli.setStandardErrorFile(QProcess::nullDevice()); // progress lines
    cli.start(buildProgram("korvex-ymodem"), {"send", "--port", port, file});
    if (!cli.waitForFinished(60000))
        return -1;
    return cli.exitCode();
}

bool answersStatus(QSerialPort &host)
{
    host.clear();
    host.write(StatusQuery);
    const QByteArray reply = readUntil(host, 2000, [](const QByteArray &b) { return b.size() >= StatusReplySize; });
    return reply.size() == StatusReplySize && reply.startsWith(QByteArray::fromHex("0100C1"));
}

} // namespace

class TestSimBootLoader : public QObject
{
    Q_OBJECT

private slots:
    void imageArrivesWholeAndDeviceAnswersAfterwards();
    void staysSilentWhileFramesCome();
    void refusesHostileHeaders();
    void abandonedTransferLeavesNoFile();
    void needsAWritableDirectory();
    void takesTheNextImageAfterAFailure();
};

// Open descriptors of a process (Linux).
static int openDescriptors(qint64 pid)
{
    return QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size();
}

void TestSimBootLoader::imageArrivesWholeAndDeviceAnswersAfterwards()
{
    QTemporaryDir work;
    QVERIFY(QDir().mkpath(work.filePath("fw")));
    Sim sim({"--firmware-dir", work.filePath("fw")});
    QVERIFY(!sim.pty.isEmpty());

    // 1100 bytes: a 1024-byte block and a padded 128-byte tail.
    for (int size : {1100, 40000}) {
        const QByteArray image = randomBytes(size, quint32(size));
        const QString source = work.filePath(QStringLiteral("fw-%1.bin").arg(size));
        QFile f(source);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image);
        f.close();
        QCOMPARE(sendWithCli(sim.pty, source), 0);
        QCOMPARE(readFile(work.filePath(QStringLiteral("fw/fw-%1.bin").arg(size))), image);
        QTRY_VERIFY(sim.output().contains(QStringLiteral("fw-%1.bin (%2 bytes) saved").arg(size).arg(size)));
    }
    QCOMPARE(QDir(work.filePath("fw")).entryList(QDir::Files).size(), 2);

    QSerialPort host(sim.pty);
    QVERIFY(host.open(QIODevice::ReadWrite));
    QVERIFY(answersStatus(host));
    QVERIFY(answersStatus(host));
}

void TestSimBootLoader::staysSilentWhileFramesCome()
{
    QTemporaryDir work;
    Sim sim({"--firmware-dir", work.path()});
    QVERIFY(!sim.pty.isEmpty());
    QSerialPort host(sim.pty);
    QVERIFY(host.open(QIODevice::ReadWrite));

    // A quiet line brings the prompt.
    host.clear();
    QVERIFY(readUntil(host, 5000, [](const QByteArray &b) { return b.contains('C'); }).contains('C'));
    // A device frame takes the line back: the reply comes alone.
    QVERIFY(answersStatus(host));
    // Polled every 300 ms, the device never prompts.
    for (int i = 0; i < 8; ++i) {
        host.write(StatusQuery);
        QByteArray reply = readUntil(host, 2000, [](const QByteArray &b) { return b.size() >= StatusReplySize; });
        reply += readUntil(host, 250, [](const QByteArray &) { return false; }); // anything extra
        QCOMPARE(reply.size(), StatusReplySize);
        QVERIFY(reply.startsWith(QByteArray::fromHex("0100C1")));
    }
}

void TestSimBootLoader::refusesHostileHeaders()
{
    QTemporaryDir work;
    QVERIFY(QDir().mkpath(work.filePath("fw")));
    Sim sim({"--firmware-dir", work.filePath("fw")});
    QSerialPort host(sim.pty);
    QVERIFY(host.open(QIODevice::ReadWrite));

    struct Hostile {
        QByteArray header;
        QString logged;
    };
    const QList<Hostile> headers = {
        {QByteArray("../escape.bin") + '\0' + "4" + '\0', "refused image name \"../escape.bin\""},
        {QByteArray("/tmp/abs.bin") + '\0' + "4" + '\0', "refused image name \"/tmp/abs.bin\""},
        {QByteArray("nosize.bin") + '\0' + '\0', "refused nosize.bin: no usable size"},
        {QByteArray("huge.bin") + '\0' + "99999999999" + '\0', "refused huge.bin: no usable size"},
    };
    for (const Hostile &h : headers) {
        host.clear();
        QVERIFY(readUntil(host, 5000, [](const QByteArray &b) { return b.contains('C'); }).contains('C'));
        host.write(makeBlock(0, h.header, 128));
        const QByteArray answer = readUntil(host, 3000, [](const QByteArray &b) { return b.contains(Cancel5); });
        QVERIFY2(answer.contains(Cancel5), answer.toHex().constData());
        QTRY_VERIFY2(sim.output().contains(h.logged), qPrintable(h.logged));
    }
    QVERIFY(!QFile::exists(work.filePath("escape.bin")));
    QCOMPARE(QDir(work.filePath("fw")).entryList(QDir::Files | QDir::Hidden).size(), 0);
    QVERIFY(answersStatus(host));
}

void TestSimBootLoader::abandonedTransferLeavesNoFile()
{
    QTemporaryDir work;
    Sim sim({"--firmware-dir", work.path()});
    QSerialPort host(sim.pty);
    QVERIFY(host.open(QIODevice::ReadWrite));
    host.clear();
    QVERIFY(readUntil(host, 5000, [](const QByteArray &b) { return b.contains('C'); }).contains('C'));
    host.write(makeHeader("half.bin", "5000"));
    QVERIFY(readUntil(host, 3000, [](const QByteArray &b) { return b.contains('\x06'); }).contains('\x06'));
    host.write(makeBlock(1, randomBytes(1024, 1), 1024));
    QVERIFY(readUntil(host, 3000, [](const QByteArray &b) { return b.contains('\x06'); }).contains('\x06'));
    // The host falls silent: the device gives up after some seconds.
    const QByteArray end = readUntil(host, 20000, [](const QByteArray &b) { return b.contains(Cancel5); });
    QVERIFY2(end.contains(Cancel5), end.toHex().constData());
    QTRY_VERIFY(sim.output().contains(QStringLiteral("firmware transfer failed")));
    QCOMPARE(QDir(work.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
    QVERIFY(answersStatus(host));
}

void TestSimBootLoader::needsAWritableDirectory()
{
    QTemporaryDir work;
    QProcess sim;
    sim.start(buildProgram("korvex-sim"), {"--pty", "--firmware-dir", work.filePath("missing")});
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitCode(), 1);
    QVERIFY(sim.readAllStandardError().contains("firmware directory"));
}


void TestSimBootLoader::takesTheNextImageAfterAFailure()
{
    // An image that stops half way fails; the next one (with a plain name
    // that has dots in it) is saved, and no descriptor is left behind.
    QTemporaryDir work;
    QVERIFY(QDir().mkpath(work.filePath("fw")));
    Sim sim({"--firmware-dir", work.filePath("fw")});
    const qint64 pid = sim.process.processId();
    {
        QSerialPort host(sim.pty);
        QVERIFY(host.open(QIODevice::ReadWrite));
        host.clear();
        QVERIFY(readUntil(host, 5000, [](const QByteArray &b) { return b.contains('C'); }).contains('C'));
        const int before = openDescriptors(pid);
        host.write(makeHeader("half.bin", "5000"));
        QVERIFY(readUntil(host, 3000, [](const QByteArray &b) { return b.contains('\x06'); }).contains('\x06'));
        host.write(makeBlock(1, randomBytes(1024, 1), 1024));
        QVERIFY(readUntil(host, 3000, [](const QByteArray &b) { return b.contains('\x06'); }).contains('\x06'));
        host.write(Cancel5); // the host gives up
        QTRY_VERIFY(sim.output().contains(QStringLiteral("half.bin: cancelled by the host")));
        QTRY_COMPARE_WITH_TIMEOUT(openDescriptors(pid), before, 3000);
    }
    const QByteArray image = randomBytes(3000, 9);
    QFile f(work.filePath("fw..v2.bin"));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(image) == image.size());
    f.close();
    QCOMPARE(sendWithCli(sim.pty, f.fileName()), 0);
    QTRY_VERIFY2(sim.output().contains(QStringLiteral("firmware image fw..v2.bin (3000 bytes) saved")), qPrintable(sim.output()));
    QCOMPARE(readFile(work.filePath("fw/fw..v2.bin")), image);
    QCOMPARE(QDir(work.filePath("fw")).entryList(QDir::Files | QDir::Hidden), QStringList{"fw..v2.bin"});
}

QTEST_MAIN(TestSimBootLoader)
#include "tst_simbootloader.moc"
