#include "PtyPeer.h"
#include "TestFiles.h"
#include "YmodemFileReceive.h"
#include "YmodemFileTransmit.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

static const char C = 0x43, ACK = 0x06, NAK = 0x15, EOT = 0x04, CAN = 0x18;
static const QByteArray kCancel(5, CAN);

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

// Waits up to `ms` for the end of a transfer and returns its final status
// (the last one seen if none came).
template <class S>
static S finalStatus(const QSignalSpy &status, int ms)
{
    const auto last = [&status] { return status.isEmpty() ? S(0) : status.last().at(0).value<S>(); };
    QElapsedTimer t;
    t.start();
    while (last() < S(2) && t.elapsed() < ms)
        QTest::qWait(10);
    return last();
}

// The class under test runs on this thread's event loop, so every wait on
// the device side keeps the loop turning.
//
// Everything the class sends until the line has been quiet for 100 ms
// (waiting up to `ms` for the first byte).
static QByteArray answer(PtyPair &pty, int ms = 1500)
{
    QByteArray all;
    QElapsedTimer t, quiet;
    t.start();
    quiet.start();
    while (all.isEmpty() ? t.elapsed() < ms : quiet.elapsed() < 100) {
        QTest::qWait(5);
        const QByteArray got = pty.readAvailable();
        if (!got.isEmpty()) {
            all += got;
            quiet.restart();
        }
    }
    return all;
}

static QByteArray answerExactly(PtyPair &pty, int n, int ms = 3000)
{
    QByteArray all;
    QElapsedTimer t;
    t.start();
    while (all.size() < n && t.elapsed() < ms) {
        QTest::qWait(5);
        all += pty.readAvailable();
    }
    return all;
}

static void waitForPrompt(PtyPair &pty)
{
    QCOMPARE(answerExactly(pty, 1), QByteArray(1, C));
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
    PtyPair pty;
    QVERIFY(pty.isValid());
    YmodemFileTransmit t;
    QScopedPointer<QStringList> log(recordSignals(&t, &YmodemFileTransmit::transmitProgress,
                                                  &YmodemFileTransmit::transmitStatus));
    t.setSourceFile(dir.filePath("app.bin"));
    t.setPort(pty.slavePath());
    t.setBaud(115200);
    QVERIFY(t.startTransfer());
    PtyPeer peer(pty, false);
    peer.start();
    QTRY_VERIFY_WITH_TIMEOUT(finalIn(*log), 20000);
    QCOMPARE(*log, expected);
    QCOMPARE(peer.engine.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(peer.engine.header, ("app.bin" + QByteArray(1, '\0') + QByteArray::number(size)).leftJustified(128, '\0'));
    QCOMPARE(peer.engine.received.left(size), data);
    QCOMPARE(peer.engine.received.mid(size), QByteArray(peer.engine.received.size() - size, '\0'));
    QCOMPARE(t.transferredBytes(), quint64(size));
    QCOMPARE(t.currentStatus(), YmodemFileTransmit::StatusFinished);
}

void TestYmodemFiles::sendProblems()
{
    QTemporaryDir dir;
    PtyPair pty;
    // A file that cannot be read is noticed at the receiver's "C": failed,
    // five CAN on the line.
    {
        YmodemFileTransmit t;
        QSignalSpy status(&t, &YmodemFileTransmit::transmitStatus);
        t.setSourceFile(dir.filePath("missing.bin"));
        t.setPort(pty.slavePath());
        QVERIFY(t.startTransfer());
        pty.write(QByteArray(1, C));
        QTRY_COMPARE_WITH_TIMEOUT(status.count(), 1, 5000);
        QCOMPARE(status.at(0).at(0).value<YmodemFileTransmit::Status>(), YmodemFileTransmit::StatusFailed);
        QCOMPARE(answer(pty, 1000), kCancel);
        QVERIFY(!t.failureReason().isEmpty());
    }
    // The longest name that fits 128 bytes goes out whole in them
    // (124 + NUL + "10" + NUL); a longer one in a 1024-byte header, never cut.
    for (int length : {124, 125, 250}) {
        const QString name = QString(length - 4, QLatin1Char('m')) + ".bin";
        QVERIFY(writeFile(dir.filePath(name), pattern(10)));
        YmodemFileTransmit t;
        t.setSourceFile(dir.filePath(name));
        t.setPort(pty.slavePath());
        QVERIFY(t.startTransfer());
        pty.write(QByteArray(1, C));
        const int headerSize = length > 124 ? 1024 : 128;
        const QByteArray header = answerExactly(pty, headerSize + 5, 3000);
        QCOMPARE(header, makeBlock(0, name.toLatin1() + '\0' + "10" + '\0', headerSize));
        t.stopTransfer();
        QTRY_VERIFY_WITH_TIMEOUT(t.currentStatus() == YmodemFileTransmit::StatusAborted, 2000);
        answer(pty, 300);
    }
    // The receiver cancels after the header: aborted.
    {
        QVERIFY(writeFile(dir.filePath("c.bin"), pattern(3000)));
        YmodemFileTransmit t;
        QSignalSpy status(&t, &YmodemFileTransmit::transmitStatus);
        t.setSourceFile(dir.filePath("c.bin"));
        t.setPort(pty.slavePath());
        QVERIFY(t.startTransfer());
        pty.write(QByteArray(1, C));
        QCOMPARE(answerExactly(pty, 133, 3000).size(), 133);
        pty.write(QByteArray(2, CAN));
        QTRY_VERIFY_WITH_TIMEOUT(status.count() >= 2, 5000);
        QCOMPARE(status.last().at(0).value<YmodemFileTransmit::Status>(), YmodemFileTransmit::StatusAborted);
    }
}

void TestYmodemFiles::userStopSendsCancelOnly()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("s.bin"), pattern(5000)));
    PtyPair pty;
    YmodemFileTransmit t;
    QSignalSpy status(&t, &YmodemFileTransmit::transmitStatus);
    t.setSourceFile(dir.filePath("s.bin"));
    t.setPort(pty.slavePath());
    QVERIFY(t.startTransfer());
    pty.write(QByteArray(1, C));
    QCOMPARE(answerExactly(pty, 133, 3000).size(), 133);
    t.stopTransfer();
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 2, 3000); // started (header), then aborted
    QCOMPARE(status.last().at(0).value<YmodemFileTransmit::Status>(), YmodemFileTransmit::StatusAborted);
    QCOMPARE(answer(pty, 500), kCancel);
    // The port was closed before the report: it can be opened again at once.
    QVERIFY(t.startTransfer());
    t.stopTransfer();
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 3, 3000);
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
    PtyPair pty;
    YmodemFileReceive r;
    QScopedPointer<QStringList> log(recordSignals(&r, &YmodemFileReceive::receiveProgress,
                                                  &YmodemFileReceive::receiveStatus));
    r.setTargetDirectory(dir.path());
    r.setPort(pty.slavePath());
    QVERIFY(r.startTransfer());
    PtyPeer peer(pty, true);
    peer.engine.name = "app.bin";
    peer.engine.source = pattern(size);
    peer.start();
    QTRY_VERIFY_WITH_TIMEOUT(finalIn(*log), 30000);
    if (!expected.isEmpty())
        QCOMPARE(*log, expected);
    QCOMPARE(log->last(), QStringLiteral("s2"));
    QCOMPARE(r.targetPath(), dir.path() + "/app.bin");
    QCOMPARE(readFile(dir.filePath("app.bin")), peer.engine.source);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"app.bin"});
}


void TestYmodemFiles::headerWithMoreFields()
{
    QTemporaryDir dir;
    PtyPair pty;
    YmodemFileReceive r;
    QSignalSpy status(&r, &YmodemFileReceive::receiveStatus);
    r.setTargetDirectory(dir.path());
    r.setPort(pty.slavePath());
    QVERIFY(r.startTransfer());
    waitForPrompt(pty);
    const QByteArray data = pattern(4096, 5);
    pty.write(makeHeader("fw.img", "4096 14563721170 100644"));
    QCOMPARE(answer(pty), QByteArray() + ACK + C);
    for (int i = 0; i < 4; ++i) {
        pty.write(makeBlock(quint8(i + 1), data.mid(i * 1024), 1024));
        QCOMPARE(answer(pty), QByteArray(1, ACK));
    }
    pty.write(QByteArray(1, EOT));
    QCOMPARE(answer(pty), QByteArray(1, NAK));
    pty.write(QByteArray(1, EOT));
    QCOMPARE(answer(pty), QByteArray() + ACK + C);
    pty.write(makeBlock(0, QByteArray(), 128));
    QCOMPARE(answer(pty), QByteArray(1, ACK));
    QCOMPARE(finalStatus<YmodemFileReceive::Status>(status, 3000), YmodemFileReceive::StatusFinished);
    QCOMPARE(r.totalBytes(), quint64(4096));
    QCOMPARE(readFile(dir.filePath("fw.img")), data);
}

void TestYmodemFiles::largeHeaderIsTaken()
{
    // A header in a 1024-byte block (STX 00 FF) carries a name longer than
    // 128 bytes could.
    QTemporaryDir dir;
    PtyPair pty;
    YmodemFileReceive r;
    QSignalSpy status(&r, &YmodemFileReceive::receiveStatus);
    r.setTargetDirectory(dir.path());
    r.setPort(pty.slavePath());
    QVERIFY(r.startTransfer());
    waitForPrompt(pty);
    const QByteArray name = QByteArray(200, 'L') + ".bin";
    pty.write(makeBlock(0, name + '\0' + "3" + '\0', 1024));
    QCOMPARE(answer(pty), QByteArray() + ACK + C);
    pty.write(makeBlock(1, "abc", 128));
    QCOMPARE(answer(pty), QByteArray(1, ACK));
    pty.write(QByteArray(1, EOT));
    QCOMPARE(answer(pty), QByteArray(1, NAK));
    pty.write(QByteArray(1, EOT));
    QCOMPARE(answer(pty), QByteArray() + ACK + C);
    pty.write(makeBlock(0, QByteArray(), 1024));
    QCOMPARE(answer(pty), QByteArray(1, ACK));
    QCOMPARE(finalStatus<YmodemFileReceive::Status>(status, 3000), YmodemFileReceive::StatusFinished);
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
    PtyPair pty;
    YmodemFileReceive r;
    QSignalSpy status(&r, &YmodemFileReceive::receiveStatus);
    r.setTargetDirectory(inner);
    r.setPort(pty.slavePath());
    QVERIFY(r.startTransfer());
    waitForPrompt(pty);
    pty.write(makeHeader(name, "3"));
    QCOMPARE(answer(pty), kCancel);
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 1, 3000);
    QCOMPARE(status.at(0).at(0).value<YmodemFileReceive::Status>(), YmodemFileReceive::StatusFailed);
    QVERIFY(r.failureReason().contains("unsafe"));
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
    PtyPair pty;
    YmodemFileReceive r;
    QSignalSpy status(&r, &YmodemFileReceive::receiveStatus);
    r.setTargetDirectory(dir.path());
    r.setPort(pty.slavePath());
    QVERIFY(r.startTransfer());
    waitForPrompt(pty);
    pty.write(makeHeader("x.bin", size));
    if (size == "0") {
        // Announced empty, then data arrives: refused, nothing kept.
        QCOMPARE(answer(pty), QByteArray() + ACK + C);
        pty.write(makeBlock(1, "data", 128));
    }
    QCOMPARE(answer(pty), kCancel);
    QCOMPARE(finalStatus<YmodemFileReceive::Status>(status, 3000), YmodemFileReceive::StatusFailed);
    QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

void TestYmodemFiles::shortTransferLeavesNothing()
{
    // The sender stops after one of three blocks and ends with EOT: the peer
    // engine is content, but the file is not: failed, the old file untouched.
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("app.bin"), "previous firmware"));
    PtyPair pty;
    YmodemFileReceive r;
    QSignalSpy status(&r, &YmodemFileReceive::receiveStatus);
    r.setTargetDirectory(dir.path());
    r.setPort(pty.slavePath());
    QVERIFY(r.startTransfer());
    waitForPrompt(pty);
    pty.write(makeHeader("app.bin", "3000"));
    QCOMPARE(answer(pty), QByteArray() + ACK + C);
    pty.write(makeBlock(1, pattern(1024), 1024));
    QCOMPARE(answer(pty), QByteArray(1, ACK));
    pty.write(QByteArray(1, EOT));
    QCOMPARE(answer(pty), QByteArray(1, NAK));
    // The end of a short file is not acknowledged: the sender gets the
    // cancel burst and learns that the file did not arrive.
    pty.write(QByteArray(1, EOT));
    QCOMPARE(answer(pty), kCancel);
    QCOMPARE(finalStatus<YmodemFileReceive::Status>(status, 3000), YmodemFileReceive::StatusFailed);
    QVERIFY(r.failureReason().contains("1024 of 3000"));
    QCOMPARE(readFile(dir.filePath("app.bin")), QByteArray("previous firmware"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"app.bin"});
}

void TestYmodemFiles::garbageAndTruncatedBlocks()
{
    QTemporaryDir dir;
    PtyPair pty;
    YmodemFileReceive r;
    QSignalSpy status(&r, &YmodemFileReceive::receiveStatus);
    r.setTargetDirectory(dir.path());
    r.setPort(pty.slavePath());
    QVERIFY(r.startTransfer());
    waitForPrompt(pty);
    const QByteArray data = pattern(2048, 3);
    pty.write(makeHeader("g.bin", "2048"));
    QCOMPARE(answer(pty), QByteArray() + ACK + C);
    // Noise before the block (no cancel bytes among it) is idle.
    pty.write(QByteArray::fromHex("00ff7e3131"));
    QCOMPARE(answer(pty, 300), QByteArray());
    // A truncated block: the next bytes complete it and its CRC fails -> NAK.
    const QByteArray b1 = makeBlock(1, data, 1024);
    pty.write(b1.left(600));
    QCOMPARE(answer(pty, 300), QByteArray());
    pty.write(b1);
    QCOMPARE(answer(pty), QByteArray(1, NAK));
    // The rest of that copy was dropped with the NAK: the next copy is clean.
    pty.write(b1);
    QCOMPARE(answer(pty), QByteArray(1, ACK));
    pty.write(makeBlock(2, data.mid(1024), 1024));
    QByteArray last = answer(pty);
    QVERIFY2(last.endsWith(ACK), last.toHex().constData());
    pty.write(QByteArray(1, EOT));
    QCOMPARE(answer(pty), QByteArray(1, NAK));
    pty.write(QByteArray(1, EOT));
    QCOMPARE(answer(pty), QByteArray() + ACK + C);
    pty.write(makeBlock(0, QByteArray(), 128));
    QCOMPARE(finalStatus<YmodemFileReceive::Status>(status, 3000), YmodemFileReceive::StatusFinished);
    QCOMPARE(readFile(dir.filePath("g.bin")), data);
}

void TestYmodemFiles::peerVanishes()
{
    // The device side goes away mid-transfer: the port reports an error and
    // both directions end failed within seconds, leaving no file behind.
    QTemporaryDir dir;
    {
        PtyPair pty;
        pty.closeSlaveKeeper();
        YmodemFileReceive r;
        QSignalSpy status(&r, &YmodemFileReceive::receiveStatus);
        r.setTargetDirectory(dir.path());
        r.setPort(pty.slavePath());
        QVERIFY(r.startTransfer());
        waitForPrompt(pty);
        pty.write(makeHeader("v.bin", "5000"));
        QCOMPARE(answer(pty), QByteArray() + ACK + C);
        pty.write(makeBlock(1, pattern(1024), 1024));
        QCOMPARE(answer(pty), QByteArray(1, ACK));
        pty.closeMaster();
        QCOMPARE(finalStatus<YmodemFileReceive::Status>(status, 10000), YmodemFileReceive::StatusFailed);
        QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    }
    {
        QVERIFY(writeFile(dir.filePath("t.bin"), pattern(9000)));
        PtyPair pty;
        pty.closeSlaveKeeper();
        YmodemFileTransmit t;
        QSignalSpy status(&t, &YmodemFileTransmit::transmitStatus);
        t.setSourceFile(dir.filePath("t.bin"));
        t.setPort(pty.slavePath());
        QVERIFY(t.startTransfer());
        pty.write(QByteArray(1, C));
        QCOMPARE(answerExactly(pty, 133, 3000).size(), 133);
        pty.write(QByteArray() + ACK + C);
        QCOMPARE(answerExactly(pty, 1029, 3000).size(), 1029);
        pty.closeMaster();
        QCOMPARE(finalStatus<YmodemFileTransmit::Status>(status, 10000), YmodemFileTransmit::StatusFailed);
    }
}

void TestYmodemFiles::userStopThenNextReceivePromptsAtOnce()
{
    QTemporaryDir dir;
    PtyPair pty;
    YmodemFileReceive r;
    QSignalSpy status(&r, &YmodemFileReceive::receiveStatus);
    r.setTargetDirectory(dir.path());
    r.setPort(pty.slavePath());
    QVERIFY(r.startTransfer());
    waitForPrompt(pty);
    pty.write(makeHeader("u.bin", "5000"));
    QCOMPARE(answer(pty), QByteArray() + ACK + C);
    r.stopTransfer();
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 2, 3000);
    QCOMPARE(status.last().at(0).value<YmodemFileReceive::Status>(), YmodemFileReceive::StatusAborted);
    QCOMPARE(answer(pty, 500), kCancel); // and no stray "C" after it
    QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    QVERIFY(r.startTransfer());
    waitForPrompt(pty); // within a step, not after a retry period
    r.stopTransfer();
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 3, 3000);
}



void TestYmodemFiles::fileIsStoredBeforeItsEndIsAcked()
{
    // When the ACK of the end of file goes out, the file is already complete
    // under its own name; a sender that then falls silent (no closing
    // header) leaves a finished transfer, not a failed one.
    QTemporaryDir dir;
    PtyPair pty;
    YmodemFileReceive r;
    QSignalSpy status(&r, &YmodemFileReceive::receiveStatus);
    r.setTargetDirectory(dir.path());
    r.setPort(pty.slavePath());
    QVERIFY(r.startTransfer());
    waitForPrompt(pty);
    const QByteArray data = pattern(1100, 4);
    pty.write(makeHeader("app.bin", "1100"));
    QCOMPARE(answer(pty), QByteArray() + ACK + C);
    pty.write(makeBlock(1, data, 1024));
    QCOMPARE(answer(pty), QByteArray(1, ACK));
    pty.write(makeBlock(2, data.mid(1024), 128));
    QCOMPARE(answer(pty), QByteArray(1, ACK));
    pty.write(QByteArray(1, EOT));
    QCOMPARE(answer(pty), QByteArray(1, NAK));
    QCOMPARE(readFile(dir.filePath("app.bin")), QByteArray("<missing>"));
    pty.write(QByteArray(1, EOT));
    QCOMPARE(answerExactly(pty, 2), QByteArray() + ACK + C);
    QCOMPARE(readFile(dir.filePath("app.bin")), data);
    QElapsedTimer t;
    t.start();
    QCOMPARE(finalStatus<YmodemFileReceive::Status>(status, 15000), YmodemFileReceive::StatusFinished);
    QVERIFY2(t.elapsed() < 12000, "ends a retry period after the end of file, not after 30 s");
    QCOMPARE(answer(pty, 300), QByteArray()); // no retry, no cancel
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
        PtyPair pty;
        YmodemFileTransmit t;
        QSignalSpy status(&t, &YmodemFileTransmit::transmitStatus);
        t.setSourceFile(dir.filePath("app.bin"));
        t.setPort(pty.slavePath());
        QVERIFY(t.startTransfer());
        QVERIFY(!receiveUpToEnd(pty, 2).isEmpty());
        pty.write(QByteArray() + ACK + C);
        QCOMPARE(answerExactly(pty, 133), makeBlock(0, QByteArray(), 128));
        QElapsedTimer clock;
        clock.start();
        if (lineGoes) { // the receiver's end of the line goes away
            pty.closeMaster();
            pty.closeSlaveKeeper();
        }
        QCOMPARE(finalStatus<YmodemFileTransmit::Status>(status, 10000), YmodemFileTransmit::StatusFinished);
        QVERIFY2(clock.elapsed() < 4000, "a delivered file ends soon, not after 30 s");
        QVERIFY(t.failureReason().isEmpty());
        if (!lineGoes)
            QCOMPARE(answer(pty, 300), QByteArray()); // nothing more: no retry, no cancel
    }
}

void TestYmodemFiles::senderLearnsOfARefusedEnd()
{
    // The receiver answers the end of file with the cancel burst (it could
    // not store the file): the send has not succeeded.
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("app.bin"), pattern(500)));
    PtyPair pty;
    YmodemFileTransmit t;
    QSignalSpy status(&t, &YmodemFileTransmit::transmitStatus);
    t.setSourceFile(dir.filePath("app.bin"));
    t.setPort(pty.slavePath());
    QVERIFY(t.startTransfer());
    QVERIFY(!receiveUpToEnd(pty, 1).isEmpty());
    pty.write(kCancel);
    QCOMPARE(finalStatus<YmodemFileTransmit::Status>(status, 5000), YmodemFileTransmit::StatusAborted);
    QVERIFY2(t.failureReason().contains("refused the file"), qPrintable(t.failureReason()));
}

void TestYmodemFiles::cancelBehindAckEndsAtOnce()
{
    // A receiver that ACKs a block and cancels at once: aborted at once,
    // without another block on the line.
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("app.bin"), pattern(5000)));
    PtyPair pty;
    YmodemFileTransmit t;
    QSignalSpy status(&t, &YmodemFileTransmit::transmitStatus);
    t.setSourceFile(dir.filePath("app.bin"));
    t.setPort(pty.slavePath());
    QVERIFY(t.startTransfer());
    pty.write(QByteArray(1, C));
    QCOMPARE(answerExactly(pty, 133).size(), 133);
    pty.write(QByteArray() + ACK + C);
    QCOMPARE(answerExactly(pty, 1029).size(), 1029);
    QElapsedTimer clock;
    clock.start();
    pty.write(QByteArray() + ACK + CAN + CAN);
    QCOMPARE(finalStatus<YmodemFileTransmit::Status>(status, 10000), YmodemFileTransmit::StatusAborted);
    QVERIFY2(clock.elapsed() < 2000, "the cancel is heard at once");
    QCOMPARE(answer(pty, 300), QByteArray());
}

void TestYmodemFiles::plainNamesWithDotsAreTaken()
{
    // Only a name that is "." or ".." names a directory; dots inside a name
    // are plain.
    for (const QByteArray &name : {QByteArray("fw..v2.bin"), QByteArray("..fw"), QByteArray("fw..")}) {
        QVERIFY(YmodemFileReceive::isSafeFileName(QString::fromLatin1(name)));
        QTemporaryDir dir;
        PtyPair pty;
        YmodemFileReceive r;
        QSignalSpy status(&r, &YmodemFileReceive::receiveStatus);
        r.setTargetDirectory(dir.path());
        r.setPort(pty.slavePath());
        QVERIFY(r.startTransfer());
        waitForPrompt(pty);
        pty.write(makeHeader(name, "3"));
        QCOMPARE(answer(pty), QByteArray() + ACK + C);
        pty.write(makeBlock(1, "abc", 128));
        QCOMPARE(answer(pty), QByteArray(1, ACK));
        pty.write(QByteArray(1, EOT));
        QCOMPARE(answer(pty), QByteArray(1, NAK));
        pty.write(QByteArray(1, EOT));
        QCOMPARE(answer(pty), QByteArray() + ACK + C);
        pty.write(makeBlock(0, QByteArray(), 128));
        QCOMPARE(finalStatus<YmodemFileReceive::Status>(status, 3000), YmodemFileReceive::StatusFinished);
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
    PtyPair pty;
    YmodemFileReceive r;
    QSignalSpy status(&r, &YmodemFileReceive::receiveStatus);
    r.setTargetDirectory(inner);
    r.setPort(pty.slavePath());
    QVERIFY(r.startTransfer());
    waitForPrompt(pty);
    pty.write(makeHeader("app.bin", "3"));
    if (linkBeforeHeader) {
        QCOMPARE(answer(pty), kCancel);
    } else {
        QCOMPARE(answer(pty), QByteArray() + ACK + C);
        pty.write(makeBlock(1, "abc", 128));
        QCOMPARE(answer(pty), QByteArray(1, ACK));
        QVERIFY(QFile::link(victim, link));
        pty.write(QByteArray(1, EOT));
        QCOMPARE(answer(pty), QByteArray(1, NAK));
        pty.write(QByteArray(1, EOT));
        QCOMPARE(answer(pty), kCancel);
    }
    QCOMPARE(finalStatus<YmodemFileReceive::Status>(status, 3000), YmodemFileReceive::StatusFailed);
    QVERIFY2(r.failureReason().contains("link"), qPrintable(r.failureReason()));
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
        PtyPair pty;
        YmodemFileTransmit t;
        QSignalSpy status(&t, &YmodemFileTransmit::transmitStatus);
        t.setSourceFile(dir.filePath("big.bin"));
        t.setPort(pty.slavePath());
        t.setStepOnArrival(onArrival);
        QVERIFY(t.startTransfer());
        PtyPeer peer(pty, false);
        peer.timer.setInterval(1); // the peer answers within a millisecond
        peer.engine.setRetryDivider(4999);
        QElapsedTimer clock;
        clock.start();
        peer.start();
        const YmodemFileTransmit::Status end = finalStatus<YmodemFileTransmit::Status>(status, 30000);
        QVERIFY2(end == YmodemFileTransmit::StatusFinished,
                 qPrintable(QStringLiteral("%1 on arrival %2, peer events %3, wire %4").arg(t.failureReason()).arg(onArrival)
                                .arg(peer.engine.events.value(0, -1)).arg(QString::fromLatin1(peer.wire.right(40).toHex()))));
        elapsed[onArrival] = clock.elapsed();
        QCOMPARE(peer.engine.received.left(data.size()), data);
    }
    // The speed itself is measured by bench/run_throughput.sh.
    qInfo("60 KiB by timer steps: %lld ms, on arrival: %lld ms", elapsed[0], elapsed[1]);
}

QTEST_GUILESS_MAIN(TestYmodemFiles)
#include "tst_ymodem_files.moc"
