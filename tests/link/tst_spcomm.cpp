// The serial channel on its own, on this thread, against a pseudo-terminal
// whose master end this test drives as the device.

#include "PtyPair.h"
#include "SPComm.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QtTest>

#include <chrono>
#include <thread>

namespace {

QByteArray hex(const char *s) { return QByteArray::fromHex(s); }

// Gives bytes written on the master time to reach the slave's input queue.
void settle() { QTest::qSleep(30); }

} // namespace

class TestSPComm : public QObject
{
    Q_OBJECT
private slots:
    void openCloseAndReopenKeepsSettings();
    void baudRatesAndCodes();
    void closedPortIsHarmless();
    void writesReachTheLine();
    void clearDiscardsStaleInput();
    void replyOfExactLengthEndsAtOnce();
    void longerReplyEndsOnSilence();
    void shorterReplyEndsOnSilence();
    void noReplyEndsAfterDeadline();
    void chunkedReplyIsAssembled();
};

void TestSPComm::openCloseAndReopenKeepsSettings()
{
    PtyPair pty;
    SPComm ch;
    QCOMPARE(ch.commName(), QString());
    QVERIFY(!ch.isCommOpen());
    ch.setCommName(pty.slavePath());
    ch.setCommBaud(9600);
    QVERIFY(ch.openComm());
    QVERIFY(ch.isCommOpen());
    QCOMPARE(ch.port()->baudRate(), 9600);

    ch.setCommName("/dev/korvex-no-such-port");
    ch.setCommBaud(38400);
    ch.setCommStopBits(2);
    QVERIFY(ch.openComm()); // already open: nothing applied
    QCOMPARE("/dev/" + ch.port()->portName(), pty.slavePath());
    QCOMPARE(ch.port()->baudRate(), 9600);
    QCOMPARE(ch.port()->stopBits(), QSerialPort::OneStop);
    QCOMPARE(ch.commName(), QString("/dev/korvex-no-such-port"));

    ch.closeComm();
    QVERIFY(!ch.isCommOpen());
    ch.closeComm();
    QVERIFY(!ch.isCommOpen());
    // Now the stored (missing) name is applied and the open fails.
    QVERIFY(!ch.openComm());
    QVERIFY(!ch.isCommOpen());
    QCOMPARE(ch.port()->baudRate(), 38400);
}

void TestSPComm::baudRatesAndCodes()
{
    PtyPair pty;
    SPComm ch;
    ch.setCommName(pty.slavePath());
    for (int baud : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}) {
        ch.setCommBaud(baud);
        QVERIFY2(ch.openComm(), qPrintable(QString::number(baud)));
        QCOMPARE(ch.port()->baudRate(), baud);
        ch.closeComm();
    }
    // Rates outside the list reach the port as -1, which it cannot open with.
    for (int baud : {14400, 0, 230400, -9600}) {
        ch.setCommBaud(baud);
        QVERIFY(!ch.openComm());
        QCOMPARE(ch.port()->baudRate(), -1);
    }
    ch.setCommBaud(115200);

    ch.setCommStopBits(2);
    ch.setCommParity(1);
    QVERIFY(ch.openComm());
    QCOMPARE(ch.port()->stopBits(), QSerialPort::TwoStop);
    QCOMPARE(ch.port()->parity(), QSerialPort::OddParity);
    ch.closeComm();
    // An unknown stop-bits code leaves the stop bits alone; an unknown parity
    // code means none.
    ch.setCommStopBits(9);
    ch.setCommParity(9);
    QVERIFY(ch.openComm());
    QCOMPARE(ch.port()->stopBits(), QSerialPort::TwoStop);
    QCOMPARE(ch.port()->parity(), QSerialPort::NoParity);
    QCOMPARE(ch.port()->dataBits(), QSerialPort::Data8);
    QCOMPARE(ch.port()->flowControl(), QSerialPort::NoFlowControl);
    QCOMPARE(ch.port()->readBufferSize(), qint64(1024));
}

void TestSPComm::closedPortIsHarmless()
{
    PtyPair pty;
    QVERIFY(pty.write(hex("0102")));
    SPComm ch;
    ch.setCommName(pty.slavePath());
    QVERIFY(!ch.clearComm());
    ch.clearPortBuf();
    QVERIFY(!ch.isCommOpen());
    // Bytes that were waiting are untouched by the clear on a closed port.
    QVERIFY(ch.openComm());
    QByteArray out;
    QCOMPARE(ch.readReply(out, 2, 1000), 2);
    QCOMPARE(out, hex("0102"));
}

void TestSPComm::writesReachTheLine()
{
    PtyPair pty;
    SPComm ch;
    ch.setCommName(pty.slavePath());
    QVERIFY(ch.openComm());
    const QByteArray frame = hex("0100C1019188");
    QCOMPARE(ch.writeBytes(frame.constData(), frame.size()), frame.size());
    QCOMPARE(pty.readExactly(frame.size()), frame);
    QCOMPARE(ch.writeArray(hex("01001101CC48")), qint64(6));
    QVERIFY(ch.port()->waitForBytesWritten(1000));
    QCOMPARE(pty.readExactly(6), hex("01001101CC48"));
    QByteArray big(1000, 'x');
    QCOMPARE(ch.writeBytes(big.constData(), big.size()), 1000);
    QCOMPARE(pty.readExactly(1000).size(), 1000);
}

void TestSPComm::clearDiscardsStaleInput()
{
    PtyPair pty;
    SPComm ch;
    ch.setCommName(pty.slavePath());
    QVERIFY(ch.openComm());
    QVERIFY(pty.write(hex("DEADBEEF")));
    settle();
    // Some of the junk may already sit in the port's own buffer.
    ch.port()->waitForReadyRead(20);
    QVERIFY(ch.clearComm());
    QVERIFY(pty.write(hex("010203")));
    QByteArray out;
    QCOMPARE(ch.readReply(out, 3, 1000), 3);
    QCOMPARE(out, hex("010203"));

    QVERIFY(pty.write(hex("AA")));
    settle();
    ch.clearPortBuf();
    out.clear();
    QCOMPARE(ch.readReply(out, 6, 100), 0);
}

void TestSPComm::replyOfExactLengthEndsAtOnce()
{
    PtyPair pty;
    SPComm ch;
    ch.setCommName(pty.slavePath());
    QVERIFY(ch.openComm());
    QVERIFY(pty.write(hex("010011000D88")));
    QElapsedTimer t;
    t.start();
    QByteArray out;
    QCOMPARE(ch.readReply(out, 6, 3000), 6);
    QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(out, hex("010011000D88"));
}

void TestSPComm::longerReplyEndsOnSilence()
{
    PtyPair pty;
    SPComm ch;
    ch.setCommName(pty.slavePath());
    QVERIFY(ch.openComm());
    QVERIFY(pty.write(hex("010011000D88FF")));
    QElapsedTimer t;
    t.start();
    QByteArray out;
    // Past the expected 6 bytes it waits for silence, not for the deadline.
    QCOMPARE(ch.readReply(out, 6, 3000), 7);
    QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(out, hex("010011000D88FF"));
}

void TestSPComm::shorterReplyEndsOnSilence()
{
    PtyPair pty;
    SPComm ch;
    ch.setCommName(pty.slavePath());
    QVERIFY(ch.openComm());
    QVERIFY(pty.write(hex("0100C1")));
    QElapsedTimer t;
    t.start();
    QByteArray out = hex("AB"); // the reply is appended to what is there
    QCOMPARE(ch.readReply(out, 128, 3000), 4);
    QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(out, hex("AB0100C1"));
}

void TestSPComm::noReplyEndsAfterDeadline()
{
    PtyPair pty;
    SPComm ch;
    ch.setCommName(pty.slavePath());
    QVERIFY(ch.openComm());
    QElapsedTimer t;
    t.start();
    QByteArray out;
    QCOMPARE(ch.readReply(out, 6, 150), 0);
    const qint64 ms = t.elapsed();
    QVERIFY2(ms >= 150, qPrintable(QString::number(ms)));
    QVERIFY2(ms < 150 + 2000, qPrintable(QString::number(ms)));
    QVERIFY(out.isEmpty());
}

void TestSPComm::chunkedReplyIsAssembled()
{
    PtyPair pty;
    SPComm ch;
    ch.setCommName(pty.slavePath());
    QVERIFY(ch.openComm());
    QByteArray whole;
    for (int i = 0; i < 60; ++i)
        whole.append(char(i));

    for (int expected : {60, 128}) {
        // The device sends in three pieces with short pauses in between.
        std::thread device([&pty, whole] {
            for (int part = 0; part < 3; ++part) {
                pty.write(whole.mid(part * 20, 20));
                std::this_thread::sleep_for(std::chrono::milliseconds(8));
            }
        });
        QByteArray out;
        const int n = ch.readReply(out, expected, 3000);
        device.join();
        QCOMPARE(n, 60);
        QCOMPARE(out, whole);
    }
}

QTEST_GUILESS_MAIN(TestSPComm)
#include "tst_spcomm.moc"
