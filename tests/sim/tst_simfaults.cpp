#include "Protocol.h"
#include "SimDevice.h"
#include "SimFaults.h"
#include "SimOptions.h"

#include <QtTest>

namespace {

QByteArray reply()
{
    return SimDevice::writeReply(0x0011, 0);
}

QByteArray joined(const QList<SimFaults::Chunk> &chunks)
{
    QByteArray all;
    for (const auto &c : chunks)
        all += c.bytes;
    return all;
}

// What 200 replies look like under the given faults.
QList<QByteArray> run(SimFaults::Settings s)
{
    SimFaults f(s);
    QList<QByteArray> out;
    for (int i = 0; i < 200; ++i)
        out.append(joined(f.plan(reply())));
    return out;
}

} // namespace

class TestSimFaults : public QObject
{
    Q_OBJECT
private slots:
    void noFaultsSendsReplyAsIs();
    void dropAndSilence();
    void corruptAlwaysBreaksTheCheck();
    void trailingBytes();
    void splitAndDelay();
    void sameSeedSameFaults();
    void optionsParse();
    void badOptions_data();
    void badOptions();
};

void TestSimFaults::noFaultsSendsReplyAsIs()
{
    SimFaults f;
    const QList<SimFaults::Chunk> c = f.plan(reply());
    QCOMPARE(c.size(), 1);
    QCOMPARE(c[0].bytes, reply());
    QCOMPARE(c[0].pauseMs, 0);
    QVERIFY(f.plan(QByteArray()).isEmpty());
}

void TestSimFaults::dropAndSilence()
{
    SimFaults::Settings s;
    s.dropShare = 1.0;
    for (const QByteArray &r : run(s))
        QVERIFY(r.isEmpty());

    s.dropShare = 0.3;
    const QList<QByteArray> some = run(s);
    const int dropped = int(std::count(some.begin(), some.end(), QByteArray()));
    QVERIFY2(dropped > 20 && dropped < 120, qPrintable(QString::number(dropped)));

    SimFaults::Settings quiet;
    quiet.silentAfter = 3;
    const QList<QByteArray> q = run(quiet);
    QCOMPARE(q.mid(0, 3), (QList<QByteArray>{reply(), reply(), reply()}));
    QCOMPARE(q.mid(3).count(QByteArray()), 197);
}

void TestSimFaults::corruptAlwaysBreaksTheCheck()
{
    SimFaults::Settings s;
    s.corruptShare = 1.0;
    const QByteArray status = SimDevice().statusReply();
    SimFaults f(s);
    for (int i = 0; i < 300; ++i) {
        const QByteArray r = joined(f.plan(i % 2 ? reply() : status));
        QCOMPARE(r.size(), i % 2 ? 6 : 59);
        QVERIFY(Protocol().checkFrame(r) != 0);
    }
}

void TestSimFaults::trailingBytes()
{
    SimFaults::Settings s;
    s.trailingShare = 1.0;
    for (const QByteArray &r : run(s)) {
        QVERIFY(r.size() >= 7 && r.size() <= 10);
        QVERIFY(r.startsWith(reply()));
        QCOMPARE(Protocol().checkFrame(r.left(6)), 0);
    }
}

void TestSimFaults::splitAndDelay()
{
    SimFaults::Settings s;
    s.splitShare = 1.0;
    s.splitPauseMs = 33;
    s.delayMs = 70;
    SimFaults f(s);
    for (int i = 0; i < 50; ++i) {
        const QList<SimFaults::Chunk> c = f.plan(reply());
        QCOMPARE(c.size(), 2);
        QCOMPARE(c[0].pauseMs, 70);
        QCOMPARE(c[1].pauseMs, 33);
        QVERIFY(!c[0].bytes.isEmpty() && !c[1].bytes.isEmpty());
        QCOMPARE(joined(c), reply());
    }
    s.splitShare = 0;
    s.delayShare = 0;
    QCOMPARE(SimFaults(s).plan(reply()).first().pauseMs, 0);
}

void TestSimFaults::sameSeedSameFaults()
{
    SimFaults::Settings s;
    s.dropShare = 0.2;
    s.corruptShare = 0.3;
    s.trailingShare = 0.2;
    s.seed = 7;
    const QList<QByteArray> a = run(s);
    QCOMPARE(run(s), a);
    s.seed = 8;
    QVERIFY(run(s) != a);
}

void TestSimFaults::optionsParse()
{
    SimOptions o;
    QString error;
    QCOMPARE(o.parse({"--pty", "--link", "/tmp/x", "--refuse", "0x0012,0x00a1", "--drop", "0.05",
                      "--corrupt=0.1", "--trailing", "0.2", "--split", "0.3", "--split-pause", "40",
                      "--delay", "15", "--delay-share", "0.5", "--silent-after", "9", "--seed", "123",
                      "--log", "/tmp/l", "-v", "--gap", "25", "--speed", "60", "--fan-stuck", "1,3",
                      "--firmware", "2.10", "--ld-type", "1", "--run-seconds", "7200", "--chatter", "20"},
                     &error),
             SimOptions::Run);
    QVERIFY(o.usePty);
    QCOMPARE(o.linkPath, QString("/tmp/x"));
    QCOMPARE(o.refusedWords, (QSet<quint16>{0x0012, 0x00A1}));
    QCOMPARE(o.faults.dropShare, 0.05);
    QCOMPARE(o.faults.corruptShare, 0.1);
    QCOMPARE(o.faults.trailingShare, 0.2);
    QCOMPARE(o.faults.splitShare, 0.3);
    QCOMPARE(o.faults.splitPauseMs, 40);
    QCOMPARE(o.faults.delayMs, 15);
    QCOMPARE(o.faults.delayShare, 0.5);
    QCOMPARE(o.faults.silentAfter, qint64(9));
    QCOMPARE(o.faults.seed, quint32(123));
    QCOMPARE(o.logPath, QString("/tmp/l"));
    QVERIFY(o.verbose);
    QCOMPARE(o.gapMs, 25);
    QCOMPARE(o.speed, 60.0);
    QCOMPARE(o.stuckFans, (QList<int>{0, 2}));
    QCOMPARE(o.fwMajor, quint8(2));
    QCOMPARE(o.fwMinor, quint8(10));
    QCOMPARE(o.ldType, quint8(1));
    QCOMPARE(o.runSeconds, quint32(7200));
    QCOMPARE(o.chatterMs, 20);
    QCOMPARE(SimOptions().chatterMs, 0);
    QCOMPARE(SimOptions().parse({"--pty", "--chatter", "0"}, &error), SimOptions::Invalid);

    SimOptions p;
    QCOMPARE(p.parse({"--port", "/dev/ttyUSB0", "--baud", "9600"}, &error), SimOptions::Run);
    QVERIFY(!p.usePty);
    QCOMPARE(p.baud, 9600);
    QCOMPARE(SimOptions().parse({"--pty", "--help"}, &error), SimOptions::ShowHelp);
}

void TestSimFaults::badOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("nothing") << QStringList{} << "--pty";
    QTest::newRow("both lines") << QStringList{"--pty", "--port", "x"} << "--pty";
    QTest::newRow("link without pty") << QStringList{"--port", "x", "--link", "y"} << "--link";
    QTest::newRow("unknown") << QStringList{"--pty", "--bogus"} << "--bogus";
    QTest::newRow("stray") << QStringList{"--pty", "stray"} << "stray";
    QTest::newRow("missing value") << QStringList{"--pty", "--drop"} << "--drop";
    QTest::newRow("share too big") << QStringList{"--pty", "--drop", "1.5"} << "--drop";
    QTest::newRow("share not a number") << QStringList{"--pty", "--corrupt", "lots"} << "--corrupt";
    QTest::newRow("bad word") << QStringList{"--pty", "--refuse", "0x12,0xZZ"} << "--refuse";
    QTest::newRow("word too big") << QStringList{"--pty", "--refuse", "0x10000"} << "--refuse";
    QTest::newRow("negative delay") << QStringList{"--pty", "--delay", "-1"} << "--delay";
    QTest::newRow("fan 4") << QStringList{"--pty", "--fan-stuck", "4"} << "--fan-stuck";
    QTest::newRow("bad firmware") << QStringList{"--pty", "--firmware", "1"} << "--firmware";
    QTest::newRow("zero speed") << QStringList{"--pty", "--speed", "0"} << "--speed";
    QTest::newRow("bad baud") << QStringList{"--port", "x", "--baud", "fast"} << "--baud";
}

void TestSimFaults::badOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QString, mentions);
    SimOptions o;
    QString error;
    QCOMPARE(o.parse(args, &error), SimOptions::Invalid);
    QVERIFY2(error.contains(mentions), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestSimFaults)
#include "tst_simfaults.moc"
