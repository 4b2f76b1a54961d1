// korvex-sim as a program: a real process serving a real pseudo-terminal.

#include "PtyPair.h"
#include "Protocol.h"
#include "SimDevice.h"
#include "SimProcess.h"

#include <QSerialPort>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray frame(quint16 word, const QByteArray &data)
{
    return Protocol().packFrame(word, data);
}

const QByteArray LaserOn = QByteArray::fromHex("01001101CC48");
const QByteArray LaserOff = QByteArray::fromHex("010011000D88");
const QByteArray StatusQuery = QByteArray::fromHex("0100C1019188");

// The host's end of the line: the terminal the simulator printed, opened raw.
class HostEnd
{
public:
    explicit HostEnd(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        struct termios t;
        if (m_fd >= 0 && ::tcgetattr(m_fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(m_fd, TCSANOW, &t);
        }
    }
    ~HostEnd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }

    bool write(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Waits up to timeoutMs for a first byte, then until quietMs pass without any.
    QByteArray read(int timeoutMs = 2000, int quietMs = 60)
    {
        QByteArray out;
        QElapsedTimer total;
        total.start();
        for (;;) {
            const int wait = out.isEmpty() ? int(qMax<qint64>(0, timeoutMs - total.elapsed())) : quietMs;
            struct pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, wait) <= 0)
                break;
            char buf[512];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, int(n));
        }
        return out;
    }

    QByteArray exchange(const QByteArray &request, int timeoutMs = 2000)
    {
        write(request);
        return read(timeoutMs);
    }

private:
    int m_fd = -1;
};

} // namespace

class TestSimProgram : public QObject
{
    Q_OBJECT
private slots:
    void helpAndBadOptions();
    void answersAndLogsFrames();
    void garbageAndBadCrcAreIgnored();
    void variableLengthRequests();
    void hostMayCloseAndReopen();
    void refusedCommands();
    void droppedReplies();
    void corruptedReplies();
    void trailingBytes();
    void silentAfterN();
    void splitAndDelayedReplies();
    void chatterBetweenReplies();
    void seedReproducesFaults();
    void sigtermRemovesLink();
    void servesExistingPort();
    void unopenablePort();
    void startStateOptions();
    void verboseTrace();
    void idleCostsNoCpu();
};

void TestSimProgram::helpAndBadOptions()
{
    QProcess p;
    p.start(SimProcess::program(), {"--help"});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(p.readAllStandardOutput());
    for (const char *opt : {"--pty", "--link", "--port", "--baud", "--seed", "--refuse", "--drop", "--corrupt",
                            "--trailing", "--split", "--split-pause", "--delay", "--delay-share",
                            "--silent-after", "--log", "--verbose", "--gap", "--speed", "--fan-stuck",
                            "--firmware", "--ld-type", "--run-seconds", "--chatter"})
        QVERIFY2(help.contains(QLatin1String(opt)), opt);

    for (const QStringList &args : {QStringList{"--pty", "--bogus"}, QStringList{}, QStringList{"--pty", "--drop", "2"}}) {
        p.start(SimProcess::program(), args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardOutput().isEmpty());
        QVERIFY(p.readAllStandardError().startsWith("korvex-sim: "));
    }
}

void TestSimProgram::answersAndLogsFrames()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    HostEnd host(sim.ptyPath());
    QVERIFY(host.isOpen());

    QCOMPARE(host.exchange(LaserOn), SimDevice::writeReply(0x0011, 0));
    const QByteArray power = frame(0x0012, QByteArray::fromHex("0032"));
    QCOMPARE(host.exchange(power), SimDevice::writeReply(0x0012, 0));
    const QByteArray status = host.exchange(StatusQuery);
    QCOMPARE(status.size(), SimDevice::StatusReplySize);
    QCOMPARE(Protocol().checkFrame(status), 0);
    QCOMPARE(status.mid(1, 2), QByteArray::fromHex("00C1"));
    QCOMPARE(quint8(status[5]) & 0x01, 0x01);
    QCOMPARE(status.mid(7, 2), QByteArray::fromHex("0032"));
    QCOMPARE(status.mid(11, 4), QByteArray::fromHex("00000003")); // three requests received
    QCOMPARE(status.mid(15, 4), QByteArray::fromHex("00000002")); // two replies sent before
    const QByteArray pid = host.exchange(QByteArray::fromHex("01A111005C6A"));
    QCOMPARE(pid.size(), SimDevice::PidReplySize);
    QCOMPARE(Protocol().checkFrame(pid), 0);

    QVERIFY(sim.waitForFrames(4));
    QCOMPARE(sim.receivedFrames(),
             (QList<QByteArray>{LaserOn, power, StatusQuery, QByteArray::fromHex("01A111005C6A")}));
}

void TestSimProgram::garbageAndBadCrcAreIgnored()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    HostEnd host(sim.ptyPath());

    QByteArray badOn = LaserOn;
    badOn[5] = char(0x49);
    const QByteArray status = host.exchange(QByteArray::fromHex("FF00010203") + badOn + StatusQuery);
    QCOMPARE(status.size(), SimDevice::StatusReplySize);
    QCOMPARE(quint8(status[5]) & 0x01, 0); // the bad frame was not obeyed

    // A torn fragment: nothing comes back, and the next request still works.
    QVERIFY(host.exchange(QByteArray::fromHex("010014"), 300).isEmpty());
    QThread::msleep(100);
    QCOMPARE(host.exchange(LaserOn), SimDevice::writeReply(0x0011, 0));

    // A fragment glued to a request: the request is found once the line is quiet.
    QCOMPARE(host.exchange(QByteArray::fromHex("010012") + LaserOff), SimDevice::writeReply(0x0011, 0));

    QVERIFY(sim.waitForFrames(3));
    QCOMPARE(sim.receivedFrames(), (QList<QByteArray>{StatusQuery, LaserOn, LaserOff}));
}

void TestSimProgram::variableLengthRequests()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    HostEnd host(sim.ptyPath());

    QCOMPARE(host.exchange(frame(0x0015, QByteArray::fromHex("0102"))),
             SimDevice::writeReply(0x0015, SimDevice::InvalidData));
    QCOMPARE(host.exchange(frame(0x0015, QByteArray())), SimDevice::writeReply(0x0015, SimDevice::InvalidData));
    QCOMPARE(host.exchange(frame(0x0015, QByteArray::fromHex("010203180709002A"))), SimDevice::writeReply(0x0015, 0));
    QCOMPARE(host.exchange(frame(0x00A7, QByteArray::fromHex("FF03E8"))), SimDevice::writeReply(0x00A7, 0));
    QCOMPARE(host.exchange(frame(0x00A8, QByteArray(1, 1))), SimDevice::writeReply(0x00A8, 0));
    QCOMPARE(host.exchange(frame(0x0050, QByteArray(1, 0))), SimDevice::writeReply(0x0050, SimDevice::UnknownCommand));
    const QByteArray status = host.exchange(StatusQuery);
    QCOMPARE(status.size(), SimDevice::StatusReplySize);
    QCOMPARE(status.mid(19, 8), QByteArray::fromHex("010203180709002A"));
    QCOMPARE(quint8(status[51]), quint8(1));
}

void TestSimProgram::hostMayCloseAndReopen()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    for (int round = 0; round < 3; ++round) {
        HostEnd host(sim.ptyPath());
        QCOMPARE(host.exchange(LaserOn), SimDevice::writeReply(0x0011, 0));
    }
    // The same through a serial port object, as the program opens it.
    for (int round = 0; round < 2; ++round) {
        QSerialPort port;
        port.setPortName(sim.ptyPath());
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        port.write(StatusQuery);
        QByteArray reply;
        QElapsedTimer t;
        t.start();
        while (reply.size() < SimDevice::StatusReplySize && t.elapsed() < 5000) {
            port.waitForReadyRead(100);
            reply += port.readAll();
        }
        QCOMPARE(reply.size(), SimDevice::StatusReplySize);
        QCOMPARE(Protocol().checkFrame(reply), 0);
        port.close();
    }
    QCOMPARE(sim.terminate(), 0);
}

void TestSimProgram::refusedCommands()
{
    SimProcess sim({"--refuse", "0x0012,0x00A1"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    HostEnd host(sim.ptyPath());
    const QByteArray r = host.exchange(frame(0x0012, QByteArray::fromHex("0064")));
    QCOMPARE(r.size(), 6);
    QCOMPARE(Protocol().checkFrame(r), 0);
    QVERIFY(r[3] != 0);
    QCOMPARE(host.exchange(frame(0x00A1, QByteArray::fromHex("0800")))[3], char(SimDevice::Refused));
    QCOMPARE(host.exchange(LaserOn), SimDevice::writeReply(0x0011, 0));
    QCOMPARE(host.exchange(StatusQuery).mid(7, 2), QByteArray::fromHex("0000")); // power unchanged
}

void TestSimProgram::droppedReplies()
{
    SimProcess sim({"--drop", "1"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    HostEnd host(sim.ptyPath());
    QVERIFY(host.exchange(LaserOn, 400).isEmpty());
    QVERIFY(host.exchange(StatusQuery, 400).isEmpty());
    QVERIFY(sim.waitForFrames(2)); // received, just not answered
}

void TestSimProgram::corruptedReplies()
{
    SimProcess sim({"--corrupt", "1"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    HostEnd host(sim.ptyPath());
    for (int i = 0; i < 5; ++i) {
        const QByteArray r = host.exchange(i % 2 ? LaserOn : StatusQuery);
        QCOMPARE(r.size(), i % 2 ? 6 : SimDevice::StatusReplySize);
        QVERIFY(Protocol().checkFrame(r) != 0);
    }
}

void TestSimProgram::trailingBytes()
{
    SimProcess sim({"--trailing", "1"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    HostEnd host(sim.ptyPath());
    const QByteArray r = host.exchange(LaserOn);
    QVERIFY2(r.size() > 6 && r.size() <= 10, r.toHex().constData());
    QCOMPARE(r.left(6), SimDevice::writeReply(0x0011, 0));
    QCOMPARE(Protocol().checkFrame(r), 3); // the CRC is taken from the last two bytes
}

void TestSimProgram::silentAfterN()
{
    SimProcess sim({"--silent-after", "2"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    HostEnd host(sim.ptyPath());
    QCOMPARE(host.exchange(LaserOn), SimDevice::writeReply(0x0011, 0));
    QCOMPARE(host.exchange(LaserOff), SimDevice::writeReply(0x0011, 0));
    QVERIFY(host.exchange(LaserOn, 400).isEmpty());
    QVERIFY(host.exchange(StatusQuery, 400).isEmpty());
    QVERIFY(sim.waitForFrames(4));
}

void TestSimProgram::splitAndDelayedReplies()
{
    {
        SimProcess sim({"--split", "1", "--split-pause", "600"});
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        HostEnd host(sim.ptyPath());
        host.write(StatusQuery);
        const QByteArray first = host.read(2000, 200);
        QVERIFY2(!first.isEmpty() && first.size() < SimDevice::StatusReplySize, first.toHex().constData());
        const QByteArray whole = first + host.read(3000, 100);
        QCOMPARE(whole.size(), SimDevice::StatusReplySize);
        QCOMPARE(Protocol().checkFrame(whole), 0);
    }
    {
        SimProcess sim({"--delay", "300"});
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        HostEnd host(sim.ptyPath());
        QElapsedTimer t;
        t.start();
        QCOMPARE(host.exchange(LaserOn, 5000), SimDevice::writeReply(0x0011, 0));
        QVERIFY2(t.elapsed() >= 250, qPrintable(QString::number(t.elapsed())));
    }
}

void TestSimProgram::chatterBetweenReplies()
{
    SimProcess sim({"--chatter", "20"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    HostEnd host(sim.ptyPath());
    // The line is never quiet for long: read for a fixed time.
    auto readFor = [&host](int ms) {
        QByteArray all;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            all += host.read(int(qMax<qint64>(1, ms - t.elapsed())), 5);
        return all;
    };
    readFor(200); // what piled up before the host looked
    // Unsolicited dots, about one every 20 ms, and nothing else.
    const QByteArray dots = readFor(1000);
    QVERIFY2(dots.size() >= 25 && dots.size() <= 75, qPrintable(QString::number(dots.size())));
    QCOMPARE(dots, QByteArray(dots.size(), '.'));
    // Requests are still answered, whole, among the dots.
    for (int i = 0; i < 5; ++i) {
        host.write(StatusQuery);
        const QByteArray got = readFor(300);
        const int at = got.indexOf(char(0x01));
        QVERIFY2(at >= 0, got.toHex().constData());
        const QByteArray reply = got.mid(at, SimDevice::StatusReplySize);
        QCOMPARE(Protocol().checkFrame(reply), 0);
        QCOMPARE(QByteArray(got).remove(at, reply.size()), QByteArray(got.size() - reply.size(), '.'));
    }
}

void TestSimProgram::seedReproducesFaults()
{
    auto replies = [](const QString &seed) {
        SimProcess sim({"--seed", seed, "--corrupt", "0.5", "--trailing", "0.5"});
        HostEnd host(sim.ptyPath());
        QList<QByteArray> out;
        for (int i = 0; i < 16; ++i)
            out.append(host.exchange(i % 2 ? LaserOn : LaserOff));
        return out;
    };
    const QList<QByteArray> a = replies("5");
    QCOMPARE(a.size(), 16);
    QVERIFY(!a.contains(QByteArray()));
    QVERIFY(a.contains(SimDevice::writeReply(0x0011, 0)));  // some pass untouched
    QVERIFY(!std::all_of(a.begin(), a.end(), [](const QByteArray &r) { return r == SimDevice::writeReply(0x0011, 0); }));
    QCOMPARE(replies("5"), a);
    QVERIFY(replies("6") != a);
}

void TestSimProgram::sigtermRemovesLink()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("laser");
    SimProcess sim({"--link", link});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.ptyPath());
    {
        HostEnd host(link);
        QCOMPARE(host.exchange(LaserOn), SimDevice::writeReply(0x0011, 0));
    }
    QCOMPARE(sim.terminate(), 0);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
}

void TestSimProgram::servesExistingPort()
{
    PtyPair pair;
    QVERIFY(pair.isValid());
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(SimProcess::program(), {"--port", pair.slavePath(), "--baud", "9600"});
    QElapsedTimer t;
    t.start();
    while (!p.canReadLine() && t.elapsed() < 10000)
        p.waitForReadyRead(100);
    QCOMPARE(QString::fromLocal8Bit(p.readLine()).trimmed(), pair.slavePath());
    QVERIFY(pair.write(frame(0x0012, QByteArray::fromHex("01F4"))));
    QCOMPARE(pair.readExactly(6, 3000), SimDevice::writeReply(0x0012, 0));
    QVERIFY(pair.write(StatusQuery));
    const QByteArray status = pair.readExactly(SimDevice::StatusReplySize, 3000);
    QCOMPARE(status.mid(7, 2), QByteArray::fromHex("01F4"));
    p.terminate();
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
}

void TestSimProgram::unopenablePort()
{
    QProcess p;
    p.start(SimProcess::program(), {"--port", "/nonexistent/ttyKORVEX"});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(p.readAllStandardOutput().isEmpty());
    QVERIFY(p.readAllStandardError().contains("ttyKORVEX"));
}

void TestSimProgram::startStateOptions()
{
    SimProcess sim({"--firmware", "3.14", "--ld-type", "2", "--run-seconds", "7200", "--fan-stuck", "3",
                    "--speed", "3600"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    HostEnd host(sim.ptyPath());
    const QByteArray first = host.exchange(StatusQuery);
    QCOMPARE(first.size(), SimDevice::StatusReplySize);
    QCOMPARE(quint8(first[3]), quint8(3));
    QCOMPARE(quint8(first[4]), quint8(14));
    QCOMPARE(quint8(first[51]), quint8(2));
    QThread::msleep(1000);
    // An hour of device time is worked off before the reply: on a busy
    // machine that may take longer than the usual wait.
    const QByteArray later = host.exchange(StatusQuery, 8000);
    QCOMPARE(later.size(), SimDevice::StatusReplySize);
    // An hour of device time per second: at least half an hour has passed.
    const quint32 run = (quint32(quint8(later[27])) << 24) | (quint32(quint8(later[28])) << 16)
        | (quint32(quint8(later[29])) << 8) | quint8(later[30]);
    QVERIFY2(run >= 7200 + 1800, qPrintable(QString::number(run)));
    QCOMPARE(later.mid(39, 2), QByteArray::fromHex("0000")); // fan 3 stands still
    QCOMPARE(quint8(later[6]) & 0x08, 0x08);                  // and is alarmed
    QCOMPARE(quint8(later[6]) & 0x06, 0);
}

void TestSimProgram::verboseTrace()
{
    QProcess p;
    p.start(SimProcess::program(), {"--pty", "-v"});
    QElapsedTimer t;
    t.start();
    while (!p.canReadLine() && t.elapsed() < 10000)
        p.waitForReadyRead(100);
    const QString path = QString::fromLocal8Bit(p.readLine()).trimmed();
    {
        HostEnd host(path);
        host.exchange(QByteArray::fromHex("AB") + LaserOn);
    }
    p.terminate();
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(err.contains("dropped AB"), err.constData());
    QVERIFY2(err.contains("request 01 00 11 01 CC 48"), err.constData());
    QVERIFY2(err.contains("reply 01 00 11 00"), err.constData());
}

void TestSimProgram::idleCostsNoCpu()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    {
        HostEnd host(sim.ptyPath());
        QCOMPARE(host.exchange(LaserOn), SimDevice::writeReply(0x0011, 0));
    }
    // Nobody has the terminal open now; the simulator must simply wait.
    QThread::msleep(1500);
    QFile stat(QStringLiteral("/proc/%1/stat").arg(sim.process().processId()));
    QVERIFY(stat.open(QIODevice::ReadOnly));
    const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
    const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble(); // utime + stime
    const double seconds = ticks / double(::sysconf(_SC_CLK_TCK));
    QVERIFY2(seconds < 1.0, qPrintable(QString::number(seconds)));
    HostEnd again(sim.ptyPath());
    QCOMPARE(again.exchange(LaserOff), SimDevice::writeReply(0x0011, 0));
}

QTEST_GUILESS_MAIN(TestSimProgram)
#include "tst_simprogram.moc"
