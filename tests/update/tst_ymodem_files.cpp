#include "FileTransferRig.h"
#include "PtyPeer.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

static const char C = 0x43, ACK = 0x06, NAK = 0x15, EOT = 0x04, CAN = 0x18;
static const QByteArray CancelAnswer(5, CAN);

// Records the class's signals in the order they came.
template <class T, class S>
static QStringList *recordSignals(T *obj, void (T::*progress)(int), void (T::*status)(S))
{
    auto *log = new QStringList;
    QObject::connect(obj, progress, obj, [log](int p) { log->append(QStringLiteral("p%1").arg(p)); });
    QObject::connect(obj, status, obj, [log](S s) { log->append(QStringLiteral("s%1").arg(int(s))); });
    return log;
}

static bool finalIn(const QStringList &log)
{
    for (const QString &e : log)
        if (e.startsWith('s') && e.mid(1).toInt() >= 2)
            return true;
    return false;
}

class TestYmodemFiles : public QObject
{
    Q_OBJECT
private slots:
    void sendToPeer_data();
    void sendToPeer();
    void sendProblems();
    void userStopSendsCancelOnly();
    void portThatCannotOpen();
    void receiveFromPeer_data();
    void receiveFromPeer();
    void headerWithMoreFields();
    void largeHeaderIsTaken();
    void unsafeNamesAreRefused_data();
    void unsafeNamesAreRefused();
    void badSizesAreRefused_data();
    void badSizesAreRefused();
    void shortTransferLeavesNothing();
    void garbageAndTruncatedBlocks();
    void peerVanishes();
    void userStopThenNextReceivePromptsAtOnce();
    void fileIsStoredBeforeItsEndIsAcked();
    void senderSucceedsOnceItsEndIsAcked();
    void senderLearnsOfARefusedEnd();
    void cancelBehindAckEndsAtOnce();
    void plainNamesWithDotsAreTaken();
    void linksInTheTargetAreNeverFollowed_data();
    void linksInTheTargetAreNeverFollowed();
    void stepOnArrivalKeepsTheLineBusy();
};

// Plays the receiver on the device side of `pty` up to the ACK of the end of
// file: header, every block, EOT, EOT. Returns the bytes of the header.
static QByteArray receiveUpToEnd(PtyPair &pty, int blocks)
{
    pty.write(QByteArray(1, C));
    const QByteArray header = answerExactly(pty, 133, 3000);
    pty.write(QByteArray() + ACK + C);
    for (int i = 0; i < blocks; ++i) {
        const QByteArray first = answerExactly(pty, 1, 3000);
        const int size = first == QByteArray(1, 0x02) ? 1029 : 133;
        answerExactly(pty, size - 1, 3000);
        pty.write(QByteArray(1, ACK));
    }
    if (answerExactly(pty, 1, 3000) != QByteArray(1, EOT))
        return QByteArray();
    pty.write(QByteArray(1, NAK));
    if (answerExactly(pty, 1, 3000) != QByteArray(1, EOT))
        return QByteArray();
    return header;
}

void TestYmodemFiles::sendToPeer_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty") << 0 << QStringList{"s0", "s1", "s2"};
    QTest::newRow("128") << 128 << QStringList{"s0", "p100", "s1", "s1", "s2"};
    QTest::newRow("129") << 129 << QStringList{"s0", "p100", "s1", "s1", "s2"};
    QTest::newRow("1000") << 1000 << QStringList{"s0", "p100", "s1", "s1", "s2"};
    QTest::newRow("1100") << 1100 << QStringList{"s0", "p93", "s1", "p100", "s1", "s1", "s2"};
}

void TestYmodemFiles::sendToPeer()
{
    QFETCH(int, size);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QByteArray data = pattern(size);
    QVERIFY(writeFile(dir.filePath("app.bin"), data));
    SendRig tx(dir.filePath("app.bin"));
    QVERIFY(tx.pty.isValid());
    QScopedPointer<QStringList> log(recordSignals(&tx.t, &YmodemFileTransmit::transmitProgress,
                                                  &YmodemFileTransmit::transmitStatus));
    tx.t.setBaud(115200);
    QVERIFY(tx.start());
    PtyPeer peer(tx.pty, false);
    peer.start();
    QTRY_VERIFY_WITH_TIMEOUT(finalIn(*log), 20000);
    QCOMPARE(*log, expected);
    QCOMPARE(peer.engine.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(peer.engine.header, ("app.bin" + QByteArray(1, '\0') + QByteArray::number(size)).leftJustified(128, '\0'));
    QCOMPARE(peer.engine.received.left(size), data);
    QCOMPARE(peer.engine.received.mid(size), QByteArray(peer.engine.received.size() - size, '\0'));
    QCOMPARE(tx.t.transferredBytes(), quint64(size));
    QCOMPARE(tx.t.currentStatus(), YmodemFileTransmit::StatusFinished);
}

void TestYmodemFiles::sendProblems()
{
    QTemporaryDir dir;
    // A file that cannot be read is noticed at the receiver's "C": failed,
    // five CAN on the line.
    {
        SendRig tx(dir.filePath("missing.bin"));
        QVERIFY(tx.start());
        tx.pty.write(QByteArray(1, C));
        QTRY_COMPARE_WITH_TIMEOUT(tx.status.count(), 1, 5000);
        QCOMPARE(tx.statusAt(0), YmodemFileTransmit::StatusFailed);
        QCOMPARE(answer(tx.pty, 1000), CancelAnswer);
        QVERIFY(!tx.t.failureReason().isEmpty());
    }
    // The longest name that fits 128 bytes goes out whole in them
    // (124 + NUL + "10" + NUL); a longer one in a 1024-byte header, never cut.
    for (int length : {124, 125, 250}) {
        const QString name = QString(length - 4, QLatin1Char('m')) + ".bin";
        QVERIFY(writeFile(dir.filePath(name), pattern(10)));
        SendRig tx(dir.filePath(name));
        QVERIFY(tx.start());
        const int headerSize = length > 124 ? 1024 : 128;
        QCOMPARE(tx.prompt(headerSize + 5), makeBlock(0, name.toLatin1() + '\0' + "10" + '\0', headerSize));
        tx.t.stopTransfer();
        QTRY_VERIFY_WITH_TIMEOUT(tx.t.currentStatus() == YmodemFileTransmit::StatusAborted, 2000);
    }
    // The receiver cancels after the header: aborted.
    {
        QVERIFY(writeFile(dir.filePath("c.bin"), pattern(3000)));
        SendRig tx(dir.filePath("c.bin"));
        QVERIFY(tx.start());
        QCOMPARE(tx.prompt().size(), 133);
        tx.pty.write(QByteArray(2, CAN));
        QTRY_VERIFY_WITH_TIMEOUT(tx.status.count() >= 2, 5000);
        QCOMPARE(tx.statusAt(tx.status.count() - 1), YmodemFileTransmit::StatusAborted);
    }
}

void TestYmodemFiles::userStopSendsCancelOnly()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("s.bin"), pattern(5000)));
    SendRig tx(dir.filePath("s.bin"));
    QVERIFY(tx.start());
    QCOMPARE(tx.prompt().size(), 133);
    tx.t.stopTransfer();
    QTRY_COMPARE_WITH_TIMEOUT(tx.status.count(), 2, 3000); // started (header), then aborted
    QCOMPARE(tx.statusAt(1), YmodemFileTransmit::StatusAborted);
    QCOMPARE(answer(tx.pty, 500), CancelAnswer);
    // The port was closed before the report: it can be opened again at once.
    QVERIFY(tx.start());
    tx.t.stopTransfer();
    QTRY_COMPARE_WITH_TIMEOUT(tx.status.count(), 3, 3000);
}

void TestYmodemFiles::portThatCannotOpen()
{
    YmodemFileTransmit t;
    QSignalSpy tStatus(&t, &YmodemFileTransmit::transmitStatus);
    t.setPort("/dev/korvex-no-such-port");
    QVERIFY(!t.startTransfer());
    YmodemFileReceive r;
    QSignalSpy rStatus(&r, &YmodemFileReceive::receiveStatus);
    r.setPort("/dev/korvex-no-such-port");
    QVERIFY(!r.startTransfer());
    QTest::qWait(300);
    QCOMPARE(tStatus.count(), 0);
    QCOMPARE(rStatus.count(), 0);
}

void TestYmodemFiles::receiveFromPeer_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty") << 0 << QStringList{"s0", "s2"};
    QTest::newRow("1000") << 1000 << QStringList{"s0", "p100", "s1", "s2"};
    QTest::newRow("1100") << 1100 << QStringList{"s0", "p93", "s1", "p100", "s1", "s2"};
    QTest::newRow("70000") << 70000 << QStringList();
}

void TestYmodemFiles::receiveFromPeer()
{
    QFETCH(int, size);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    // An older file of the same name is replaced only by a complete one.
    QVERIFY(writeFile(dir.filePath("app.bin"), "old contents"));
    ReceiveRig rx(dir.path());
    QScopedPointer<QStringList> log(recordSignals(&rx.r, &YmodemFileReceive::receiveProgress,
                                                  &YmodemFileReceive::receiveStatus));
    QVERIFY(rx.r.startTransfer()); // the peer engine reads the first "C"
    PtyPeer peer(rx.pty, true);
    peer.engine.name = "app.bin";
    peer.engine.source = pattern(size);
    peer.start();
    QTRY_VERIFY_WITH_TIMEOUT(finalIn(*log), 30000);
    if (!expected.isEmpty())
        QCOMPARE(*log, expected);
    QCOMPARE(log->last(), QStringLiteral("s2"));
    QCOMPARE(rx.r.targetPath(), dir.path() + "/app.bin");
    QCOMPARE(readFile(dir.filePath("app.bin")), peer.engine.source);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"app.bin"});
}


void TestYmodemFiles::headerWithMoreFields()
{
    QTemporaryDir dir;
    ReceiveRig rx(dir.path());
    QVERIFY(rx.start());
    const QByteArray data = pattern(4096, 5);
    QCOMPARE(rx.say(makeHeader("fw.img", "4096 14563721170 100644")), QByteArray() + ACK + C);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(rx.say(makeBlock(quint8(i + 1), data.mid(i * 1024), 1024)), QByteArray(1, ACK));
    }
    QCOMPARE(rx.say(QByteArray(1, EOT)), QByteArray(1, NAK));
    QCOMPARE(rx.say(QByteArray(1, EOT)), QByteArray() + ACK + C);
    QCOMPARE(rx.say(makeBlock(0, QByteArray(), 128)), QByteArray(1, ACK));
    QCOMPARE(rx.finalStatus(3000), YmodemFileReceive::StatusFinished);
    QCOMPARE(rx.r.totalBytes(), quint64(4096));
    QCOMPARE(readFile(dir.filePath("fw.img")), data);
}

void TestYmodemFiles::largeHeaderIsTaken()
{
    // A header in a 1024-byte block (STX 00 FF) carries a name longer than
    // 128 bytes could.
    QTemporaryDir dir;
    ReceiveRig rx(dir.path());
    QVERIFY(rx.start());
    const QByteArray name = QByteArray(200, 'L') + ".bin";
    QCOMPARE(rx.say(makeBlock(0, name + '\0' + "3" + '\0', 1024)), QByteArray() + ACK + C);
    QCOMPARE(rx.say(makeBlock(1, "abc", 128)), QByteArray(1, ACK));
    QCOMPARE(rx.say(QByteArray(1, EOT)), QByteArray(1, NAK));
    QCOMPARE(rx.say(QByteArray(1, EOT)), QByteArray() + ACK + C);
    QCOMPARE(rx.say(makeBlock(0, QByteArray(), 1024)), QByteArray(1, ACK));
    QCOMPARE(rx.finalStatus(3000), YmodemFileReceive::StatusFinished);
    QCOMPARE(readFile(dir.filePath(QString::fromLatin1(name))), QByteArray("abc"));
}

void TestYmodemFiles::unsafeNamesAreRefused_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("absolute") << QByteArray("/tmp/korvex-evil");
    QTest::newRow("parent") << QByteArray("../x");
    QTest::newRow("sub dir") << QByteArray("a/b");
    QTest::newRow("dot dot") << QByteArray("..");
    QTest::newRow("backslash") << QByteArray("..\\x");
    QTest::newRow("drive") << QByteArray("C:x");
    QTest::newRow("control") << QByteArray("a\nb");
}

void TestYmodemFiles::unsafeNamesAreRefused()
{
    QFETCH(QByteArray, name);
    QTemporaryDir outer;
    QVERIFY(QDir(outer.path()).mkdir("in"));
    const QString inner = outer.filePath("in");
    ReceiveRig rx(inner);
    QVERIFY(rx.start());
    QCOMPARE(rx.say(makeHeader(name, "3")), CancelAnswer);
    QTRY_COMPARE_WITH_TIMEOUT(rx.status.count(), 1, 3000);
    QCOMPARE(rx.statusAt(0), YmodemFileReceive::StatusFailed);
    QVERIFY(rx.r.failureReason().contains("unsafe"));
    QVERIFY(QDir(inner).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    QCOMPARE(QDir(outer.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{"in"});
    QVERIFY(!QFile::exists("/tmp/korvex-evil"));
}

void TestYmodemFiles::badSizesAreRefused_data()
{
    QTest::addColumn<QByteArray>("size");
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("letters") << QByteArray("abc");
    QTest::newRow("mixed") << QByteArray("12x");
    QTest::newRow("negative") << QByteArray("-5");
    QTest::newRow("too big") << QByteArray("99999999999999999999999");
    QTest::newRow("zero then data") << QByteArray("0");
}

void TestYmodemFiles::badSizesAreRefused()
{
    QFETCH(QByteArray, size);
    QTemporaryDir dir;
    ReceiveRig rx(dir.path());
    QVERIFY(rx.start());
    rx.pty.write(makeHeader("x.bin", size));
    if (size == "0") {
        // Announced empty, then data arrives: refused, nothing kept.
        QCOMPARE(answer(rx.pty), QByteArray() + ACK + C);
        rx.pty.write(makeBlock(1, "data", 128));
    }
    QCOMPARE(answer(rx.pty), CancelAnswer);
    QCOMPARE(rx.finalStatus(3000), YmodemFileReceive::StatusFailed);
    QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

void TestYmodemFiles::shortTransferLeavesNothing()
{
    // The sender stops after one of three blocks and ends with EOT: the peer
    // engine is content, but the file is not: failed, the old file untouched.
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("app.bin"), "previous firmware"));
    ReceiveRig rx(dir.path());
    QVERIFY(rx.start());
    QCOMPARE(rx.say(makeHeader("app.bin", "3000")), QByteArray() + ACK + C);
    QCOMPARE(rx.say(makeBlock(1, pattern(1024), 1024)), QByteArray(1, ACK));
    QCOMPARE(rx.say(QByteArray(1, EOT)), QByteArray(1, NAK));
    // The end of a short file is not acknowledged: the sender gets the
    // cancel burst and learns that the file did not arrive.
    QCOMPARE(rx.say(QByteArray(1, EOT)), CancelAnswer);
    QCOMPARE(rx.finalStatus(3000), YmodemFileReceive::StatusFailed);
    QVERIFY(rx.r.failureReason().contains("1024 of 3000"));
    QCOMPARE(readFile(dir.filePath("app.bin")), QByteArray("previous firmware"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"app.bin"});
}

void TestYmodemFiles::garbageAndTruncatedBlocks()
{
    QTemporaryDir dir;
    ReceiveRig rx(dir.path());
    QVERIFY(rx.start());
    const QByteArray data = pattern(2048, 3);
    QCOMPARE(rx.say(makeHeader("g.bin", "2048")), QByteArray() + ACK + C);
    // Noise before the block (no cancel bytes among it) is idle.
    QCOMPARE(rx.say(QByteArray::fromHex("00ff7e3131"), 300), QByteArray());
    // A truncated block: the next bytes complete it and its CRC fails -> NAK.
    const QByteArray b1 = makeBlock(1, data, 1024);
    QCOMPARE(rx.say(b1.left(600), 300), QByteArray());
    QCOMPARE(rx.say(b1), QByteArray(1, NAK));
    // The rest of that copy was dropped with the NAK: the next copy is clean.
    QCOMPARE(rx.say(b1), QByteArray(1, ACK));
    rx.pty.write(makeBlock(2, data.mid(1024), 1024));
    QByteArray last = answer(rx.pty);
    QVERIFY2(last.endsWith(ACK), last.toHex().constData());
    QCOMPARE(rx.say(QByteArray(1, EOT)), QByteArray(1, NAK));
    QCOMPARE(rx.say(QByteArray(1, EOT)), QByteArray() + ACK + C);
    rx.pty.write(makeBlock(0, QByteArray(), 128));
    QCOMPARE(rx.finalStatus(3000), YmodemFileReceive::StatusFinished);
    QCOMPARE(readFile(dir.filePath("g.bin")), data);
}

void TestYmodemFiles::peerVanishes()
{
    // The device side goes away mid-transfer: the port reports an error and
    // both directions end failed within seconds, leaving no file behind.
    QTemporaryDir dir;
    {
        ReceiveRig rx(dir.path());
        rx.pty.closeSlaveKeeper();
        QVERIFY(rx.start());
        QCOMPARE(rx.say(makeHeader("v.bin", "5000")), QByteArray() + ACK + C);
        QCOMPARE(rx.say(makeBlock(1, pattern(1024), 1024)), QByteArray(1, ACK));
        rx.pty.closeMaster();
        QCOMPARE(rx.finalStatus(10000), YmodemFileReceive::StatusFailed);
        QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    }
    {
        QVERIFY(writeFile(dir.filePath("t.bin"), pattern(9000)));
        SendRig tx(dir.filePath("t.bin"));
        tx.pty.closeSlaveKeeper();
        QVERIFY(tx.start());
        QCOMPARE(tx.prompt().size(), 133);
        tx.pty.write(QByteArray() + ACK + C);
        QCOMPARE(answerExactly(tx.pty, 1029, 3000).size(), 1029);
        tx.pty.closeMaster();
        QCOMPARE(tx.finalStatus(10000), YmodemFileTransmit::StatusFailed);
    }
}

void TestYmodemFiles::userStopThenNextReceivePromptsAtOnce()
{
    QTemporaryDir dir;
    ReceiveRig rx(dir.path());
    QVERIFY(rx.start());
    QCOMPARE(rx.say(makeHeader("u.bin", "5000")), QByteArray() + ACK + C);
    rx.r.stopTransfer();
    QTRY_COMPARE_WITH_TIMEOUT(rx.status.count(), 2, 3000);
    QCOMPARE(rx.statusAt(rx.status.count() - 1), YmodemFileReceive::StatusAborted);
    QCOMPARE(answer(rx.pty, 500), CancelAnswer); // and no stray "C" after it
    QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    QVERIFY(rx.start()); // its "C" within a step, not after a retry period
    rx.r.stopTransfer();
    QTRY_COMPARE_WITH_TIMEOUT(rx.status.count(), 3, 3000);
}

void TestYmodemFiles::fileIsStoredBeforeItsEndIsAcked()
{
    // When the ACK of the end of file goes out, the file is already complete
    // under its own name; a sender that then falls silent (no closing
    // header) leaves a finished transfer, not a failed one.
    QTemporaryDir dir;
    ReceiveRig rx(dir.path());
    QVERIFY(rx.start());
    const QByteArray data = pattern(1100, 4);
    QCOMPARE(rx.say(makeHeader("app.bin", "1100")), QByteArray() + ACK + C);
    QCOMPARE(rx.say(makeBlock(1, data, 1024)), QByteArray(1, ACK));
    QCOMPARE(rx.say(makeBlock(2, data.mid(1024), 128)), QByteArray(1, ACK));
    QCOMPARE(rx.say(QByteArray(1, EOT)), QByteArray(1, NAK));
    QCOMPARE(readFile(dir.filePath("app.bin")), QByteArray("<missing>"));
    rx.pty.write(QByteArray(1, EOT));
    QCOMPARE(answerExactly(rx.pty, 2), QByteArray() + ACK + C);
    QCOMPARE(readFile(dir.filePath("app.bin")), data);
    QElapsedTimer t;
    t.start();
    QCOMPARE(rx.finalStatus(15000), YmodemFileReceive::StatusFinished);
    QVERIFY2(t.elapsed() < 12000, "ends a retry period after the end of file, not after 30 s");
    QCOMPARE(answer(rx.pty, 300), QByteArray()); // no retry, no cancel
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"app.bin"});
}

void TestYmodemFiles::senderSucceedsOnceItsEndIsAcked()
{
    // A receiver that acknowledges the end of file and asks for the closing
    // header, then exits before its last ACK reaches the line (rb on a
    // terminal): the file is delivered, the send has finished.
    for (bool lineGoes : {false, true}) {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("app.bin"), pattern(1100)));
        SendRig tx(dir.filePath("app.bin"));
        QVERIFY(tx.start());
        QVERIFY(!receiveUpToEnd(tx.pty, 2).isEmpty());
        tx.pty.write(QByteArray() + ACK + C);
        QCOMPARE(answerExactly(tx.pty, 133), makeBlock(0, QByteArray(), 128));
        QElapsedTimer clock;
        clock.start();
        if (lineGoes) { // the receiver's end of the line goes away
            tx.pty.closeMaster();
            tx.pty.closeSlaveKeeper();
        }
        QCOMPARE(tx.finalStatus(10000), YmodemFileTransmit::StatusFinished);
        QVERIFY2(clock.elapsed() < 4000, "a delivered file ends soon, not after 30 s");
        QVERIFY(tx.t.failureReason().isEmpty());
        if (!lineGoes) { // nothing more but the unanswered closing header again: no cancel
            const QByteArray more = answer(tx.pty, 300);
            QCOMPARE(more, makeBlock(0, QByteArray(), 128).repeated(more.size() / 133));
        }
    }
}

void TestYmodemFiles::senderLearnsOfARefusedEnd()
{
    // The receiver answers the end of file with the cancel burst (it could
    // not store the file): the send has not succeeded.
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("app.bin"), pattern(500)));
    SendRig tx(dir.filePath("app.bin"));
    QVERIFY(tx.start());
    QVERIFY(!receiveUpToEnd(tx.pty, 1).isEmpty());
    tx.pty.write(CancelAnswer);
    QCOMPARE(tx.finalStatus(5000), YmodemFileTransmit::StatusAborted);
    QVERIFY2(tx.t.failureReason().contains("refused the file"), qPrintable(tx.t.failureReason()));
}

void TestYmodemFiles::cancelBehindAckEndsAtOnce()
{
    // A receiver that ACKs a block and cancels at once: aborted at once,
    // without another block on the line.
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("app.bin"), pattern(5000)));
    SendRig tx(dir.filePath("app.bin"));
    QVERIFY(tx.start());
    QCOMPARE(tx.prompt().size(), 133);
    tx.pty.write(QByteArray() + ACK + C);
    QCOMPARE(answerExactly(tx.pty, 1029).size(), 1029);
    QElapsedTimer clock;
    clock.start();
    tx.pty.write(QByteArray() + ACK + CAN + CAN);
    QCOMPARE(tx.finalStatus(10000), YmodemFileTransmit::StatusAborted);
    QVERIFY2(clock.elapsed() < 2000, "the cancel is heard at once");
    QCOMPARE(answer(tx.pty, 300), QByteArray());
}

void TestYmodemFiles::plainNamesWithDotsAreTaken()
{
    // Only a name that is "." or ".." names a directory; dots inside a name
    // are plain.
    for (const QByteArray &name : {QByteArray("fw..v2.bin"), QByteArray("..fw"), QByteArray("fw..")}) {
        QVERIFY(YmodemFileReceive::isSafeFileName(QString::fromLatin1(name)));
        QTemporaryDir dir;
        ReceiveRig rx(dir.path());
        QVERIFY(rx.start());
        QCOMPARE(rx.say(makeHeader(name, "3")), QByteArray() + ACK + C);
        QCOMPARE(rx.say(makeBlock(1, "abc", 128)), QByteArray(1, ACK));
        QCOMPARE(rx.say(QByteArray(1, EOT)), QByteArray(1, NAK));
        QCOMPARE(rx.say(QByteArray(1, EOT)), QByteArray() + ACK + C);
        rx.pty.write(makeBlock(0, QByteArray(), 128));
        QCOMPARE(rx.finalStatus(3000), YmodemFileReceive::StatusFinished);
        QCOMPARE(readFile(dir.filePath(QString::fromLatin1(name))), QByteArray("abc"));
    }
    for (const char *name : {".", "..", "a/..", "a\x1b[2Jb", "a\xc2\x9b" "31mb", "x\xe2\x80\xaegnp.bin"})
        QVERIFY2(!YmodemFileReceive::isSafeFileName(QString::fromUtf8(name)), name);
}

void TestYmodemFiles::linksInTheTargetAreNeverFollowed_data()
{
    QTest::addColumn<bool>("linkBeforeHeader");
    QTest::newRow("link already there") << true;
    QTest::newRow("link made while the file arrives") << false;
}

void TestYmodemFiles::linksInTheTargetAreNeverFollowed()
{
    // A link in the target directory with the received file's name points
    // outside it: the file outside is never written, the link stays.
    QFETCH(bool, linkBeforeHeader);
    QTemporaryDir outer;
    QVERIFY(QDir(outer.path()).mkdir("in"));
    const QString inner = outer.filePath("in");
    const QString victim = outer.filePath("victim.txt");
    QVERIFY(writeFile(victim, "keep me"));
    const QString link = inner + "/app.bin";
    if (linkBeforeHeader)
        QVERIFY(QFile::link(victim, link));
    ReceiveRig rx(inner);
    QVERIFY(rx.start());
    rx.pty.write(makeHeader("app.bin", "3"));
    if (linkBeforeHeader) {
        QCOMPARE(answer(rx.pty), CancelAnswer);
    } else {
        QCOMPARE(answer(rx.pty), QByteArray() + ACK + C);
        QCOMPARE(rx.say(makeBlock(1, "abc", 128)), QByteArray(1, ACK));
        QVERIFY(QFile::link(victim, link));
        QCOMPARE(rx.say(QByteArray(1, EOT)), QByteArray(1, NAK));
        QCOMPARE(rx.say(QByteArray(1, EOT)), CancelAnswer);
    }
    QCOMPARE(rx.finalStatus(3000), YmodemFileReceive::StatusFailed);
    QVERIFY2(rx.r.failureReason().contains("link"), qPrintable(rx.r.failureReason()));
    QCOMPARE(readFile(victim), QByteArray("keep me"));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QDir(inner).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
             QStringList{"app.bin"});
}

void TestYmodemFiles::stepOnArrivalKeepsTheLineBusy()
{
    // With step on arrival each block follows its ACK at once, between the
    // timer's steps; the file arrives exact either way.
    QTemporaryDir dir;
    const QByteArray data = pattern(60 * 1024, 8);
    QVERIFY(writeFile(dir.filePath("big.bin"), data));
    qint64 elapsed[2] = {0, 0};
    for (bool onArrival : {false, true}) {
        SendRig tx(dir.filePath("big.bin"));
        tx.t.setStepOnArrival(onArrival);
        QVERIFY(tx.start());
        PtyPeer peer(tx.pty, false);
        peer.timer.setInterval(1); // the peer answers within a millisecond
        peer.engine.setRetryDivider(4999);
        QElapsedTimer clock;
        clock.start();
        peer.start();
        const YmodemFileTransmit::Status end = tx.finalStatus(30000);
        QVERIFY2(end == YmodemFileTransmit::StatusFinished,
                 qPrintable(QStringLiteral("%1 on arrival %2, peer events %3, wire %4").arg(tx.t.failureReason()).arg(onArrival)
                                .arg(peer.engine.events.value(0, -1)).arg(QString::fromLatin1(peer.wire.right(40).toHex()))));
        elapsed[onArrival] = clock.elapsed();
        QCOMPARE(peer.engine.received.left(data.size()), data);
    }
    // The speed itself is measured by bench/run_throughput.sh.
    qInfo("60 KiB by timer steps: %lld ms, on arrival: %lld ms", elapsed[0], elapsed[1]);
}

QTEST_GUILESS_MAIN(TestYmodemFiles)
#include "tst_ymodem_files.moc"
