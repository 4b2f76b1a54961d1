#include "EngineHarness.h"
#include "TestFiles.h"

#include <QRandomGenerator>
#include <QtTest>

static const char C = 0x43, ACK = 0x06, NAK = 0x15, EOT = 0x04, CAN = 0x18;
static const QByteArray CancelAnswer(5, CAN);

// Runs sender and receiver back to back until both raised an end event.
// `sWire` collects every byte the sender put on the line, `rWire` the receiver's.
struct Loop {
    Engine s{true};
    Engine r{false};
    QByteArray sWire, rWire;
    int steps = 0;
    bool run(int limit = 200000)
    {
        while (steps < limit && (s.events.isEmpty() || r.events.isEmpty())) {
            ++steps;
            // An engine that has ended is not stepped again (that would start anew).
            if (s.events.isEmpty())
                s.step();
            const QByteArray so = s.takeOutput();
            sWire += so;
            r.input += so;
            if (r.events.isEmpty())
                r.step();
            const QByteArray ro = r.takeOutput();
            rWire += ro;
            s.input += ro;
        }
        return steps < limit;
    }
};

class TestYmodemEngine : public QObject
{
    Q_OBJECT
private slots:
    void crcValues();
    void transfers_data();
    void transfers();
    void exactWireOf1100Bytes();
    void receiverWithoutPeerRetriesAndTimesOut();
    void senderWithoutPeerWaitsAndTimesOut();
    void errorLimitGivesUp();
    void silenceAfterHandshakeFails();
    void nakAndBadCrcAndRepeat();
    void blockNumberWrapsToZero();
    void peerCancelInEveryStage_data();
    void peerCancelInEveryStage();
    void refusals();
    void senderHeldBlockAndLateAck();
    void emptySourceSendsEotOnC();
    void endOfFileIsStoredBeforeItsAck();
    void deliveredFileSurvivesUnansweredClosing();
    void lateAckBeforeNakIsNotDelivery();
    void cancelRightBehindAckIsKept();
    void cancelInsideBrokenBlockIsKept();
    void untimedStepsNeverCountAsIdle();
    void oddInputIsOnlyIdle();
    void blocksArrivingInPiecesAreNotIdle();
    void garbageAndLossNeverCorrupt();
    void nextStepAfterEndStartsAfresh();
    void promptWhereTheEndsAckIsDue_data();
    void promptWhereTheEndsAckIsDue();
    void headersOfEitherSize_data();
    void headersOfEitherSize();
};

void TestYmodemEngine::crcValues()
{
    QCOMPARE(Ymodem::crc16(reinterpret_cast<const quint8 *>("123456789"), 9), quint16(0x31C3));
    const QByteArray zeros(128, '\0');
    QCOMPARE(Ymodem::crc16(reinterpret_cast<const quint8 *>(zeros.constData()), 128), quint16(0));
    QCOMPARE(Ymodem::crc16(nullptr, 0), quint16(0));
}

void TestYmodemEngine::transfers_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QVector<quint32>>("blocks");
    using V = QVector<quint32>;
    QTest::newRow("0") << 0 << V{};
    QTest::newRow("1") << 1 << V{128};
    QTest::newRow("127") << 127 << V{128};
    QTest::newRow("128") << 128 << V{128};
    QTest::newRow("129") << 129 << V{1024};
    QTest::newRow("1000") << 1000 << V{1024};
    QTest::newRow("1023") << 1023 << V{1024};
    QTest::newRow("1024") << 1024 << V{1024};
    QTest::newRow("1025") << 1025 << V{1024, 128};
    QTest::newRow("1100") << 1100 << V{1024, 128};
    V many(300, 1024);
    many.append(128);
    QTest::newRow("300 blocks, wraps") << 300 * 1024 + 5 << many;
}

void TestYmodemEngine::transfers()
{
    QFETCH(int, size);
    QFETCH(QVector<quint32>, blocks);
    Loop l;
    l.s.source = pattern(size, 7);
    QVERIFY(l.run());
    QCOMPARE(l.s.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(l.r.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(l.s.blockLengths, blocks);
    QCOMPARE(l.r.receivedLengths, blocks);
    // Data is exact; the tail of the last block is zero padding.
    QCOMPARE(l.r.received.left(size), l.s.source);
    QCOMPARE(l.r.received.mid(size), QByteArray(l.r.received.size() - size, '\0'));
    QCOMPARE(l.r.header, ("fw.bin" + QByteArray(1, '\0') + QByteArray::number(size)).leftJustified(128, '\0'));
    // Header block on the wire: SOH 00 FF, 128 data bytes, CRC high first.
    QCOMPARE(l.sWire.left(133), makeHeader("fw.bin", QByteArray::number(size)));
    // Ends with EOT, EOT, closing header of zeros with CRC 00 00.
    QByteArray closing = QByteArray::fromHex("0100FF") + QByteArray(130, '\0');
    QVERIFY(l.sWire.endsWith(QByteArray(1, EOT) + QByteArray(1, EOT) + closing));
    // Both engines are back in their idle stage.
    QCOMPARE(l.s.stageNow(), int(Ymodem::StageIdle));
    QCOMPARE(l.r.stageNow(), int(Ymodem::StageIdle));
    // Every data block the sender put on the wire carried the expected number
    // (block 256 is numbered 0) and was passed on exactly once.
    int pos = 133, expected = 1;
    for (quint32 len : blocks) {
        QCOMPARE(quint8(l.sWire[pos + 1]), quint8(expected & 0xFF));
        QCOMPARE(quint8(l.sWire[pos + 2]), quint8(~expected & 0xFF));
        pos += int(len) + 5;
        ++expected;
    }
    QCOMPARE(l.r.dataEvents, blocks.size());
}

void TestYmodemEngine::exactWireOf1100Bytes()
{
    Loop l;
    l.s.source = pattern(1100, 3);
    QVERIFY(l.run());
    QByteArray wire = makeHeader("fw.bin", "1100") + makeBlock(1, l.s.source, 1024)
        + makeBlock(2, l.s.source.mid(1024), 128) + EOT + EOT
        + makeBlock(0, QByteArray(), 128);
    QCOMPARE(l.sWire.toHex(), wire.toHex());
    QByteArray answers = QByteArray() + C + ACK + C + ACK + ACK + NAK + ACK + C + ACK;
    QCOMPARE(l.rWire.toHex(), answers.toHex());
}

void TestYmodemEngine::receiverWithoutPeerRetriesAndTimesOut()
{
    Engine r(false);
    QVector<int> promptSteps;
    int step = 0;
    while (r.events.isEmpty() && step < 10000) {
        ++step;
        r.step();
        const QByteArray o = r.takeOutput();
        if (o == QByteArray(1, C))
            promptSteps.append(step - 1); // idle steps before this one
        else if (!o.isEmpty()) {
            QCOMPARE(o, CancelAnswer);
            break;
        }
    }
    // "C" at once, then after 500, 1000, 1500, 2000 and 2500 idle steps.
    QCOMPARE(promptSteps, (QVector<int>{0, 500, 1000, 1500, 2000, 2500}));
    QCOMPARE(step - 1, 3000);
    QCOMPARE(r.events, QVector<int>{Ymodem::EventTimedOut});
    QCOMPARE(r.stageNow(), int(Ymodem::StageIdle));
}

void TestYmodemEngine::senderWithoutPeerWaitsAndTimesOut()
{
    Engine s(true);
    int step = 0;
    QByteArray all;
    while (s.events.isEmpty() && step < 10000) {
        ++step;
        s.step();
        all += s.takeOutput();
        if (step <= 3000)
            QVERIFY2(all.isEmpty(), "the sender never prompts");
    }
    QCOMPARE(step - 1, 3000); // the first step only arms the handshake
    QCOMPARE(all, CancelAnswer);
    QCOMPARE(s.events, QVector<int>{Ymodem::EventTimedOut});
}

void TestYmodemEngine::errorLimitGivesUp()
{
    Engine r(false);
    r.step();
    r.takeOutput();
    QByteArray bad = makeHeader("x", "1");
    bad[140 % bad.size()] = char(bad[140 % bad.size()] ^ 1); // a data byte: CRC no longer matches
    for (int i = 1; i <= 999; ++i) {
        r.input = bad;
        r.step();
        QCOMPARE(r.takeOutput(), QByteArray(1, C));
        QCOMPARE(int(r.errors()), i);
    }
    r.input = bad;
    r.step();
    QCOMPARE(r.takeOutput(), CancelAnswer);
    QCOMPARE(r.events, QVector<int>{Ymodem::EventFailed});
    QCOMPARE(r.headerEvents, 0);
}

void TestYmodemEngine::silenceAfterHandshakeFails()
{
    // A receiver that has accepted the header and hears nothing more: NAK per
    // retry period, then cancel and EventFailed (not TimedOut).
    Engine r(false);
    r.step();
    r.takeOutput();
    r.input = makeHeader("a.bin", "10");
    r.step();
    QCOMPARE(r.takeOutput(), QByteArray() + ACK + C);
    int naks = 0, step = 0;
    while (r.events.isEmpty() && step < 10000) {
        ++step;
        r.step();
        const QByteArray o = r.takeOutput();
        if (o == QByteArray(1, NAK)) {
            ++naks;
            QCOMPARE(step % 500, 0);
        }
    }
    QCOMPARE(naks, 5);
    QCOMPARE(step, 3000);
    QCOMPARE(r.events, QVector<int>{Ymodem::EventFailed});

    // A sender whose data block is never answered resends it per period, then fails.
    Engine s(true);
    s.source = pattern(300, 7);
    s.step();
    s.input = QByteArray() + C;
    s.step();
    s.input = QByteArray() + ACK + C;
    s.step();
    s.step();
    const QByteArray block1 = s.takeOutput().mid(133);
    QCOMPARE(block1, makeBlock(1, s.source, 1024));
    int resends = 0;
    step = 0;
    while (s.events.isEmpty() && step < 10000) {
        ++step;
        s.step();
        const QByteArray o = s.takeOutput();
        if (o == block1)
            ++resends;
    }
    QCOMPARE(resends, 5);
    QCOMPARE(s.events, QVector<int>{Ymodem::EventFailed});
}

void TestYmodemEngine::nakAndBadCrcAndRepeat()
{
    Engine r(false);
    r.step();
    r.input = makeHeader("a.bin", "2000");
    r.step();
    r.takeOutput();
    const QByteArray data = pattern(2000, 7);
    QByteArray b1 = makeBlock(1, data, 1024);
    QByteArray corrupt = b1;
    corrupt[500] = char(corrupt[500] ^ 0x40);
    r.input = corrupt;
    r.step();
    QCOMPARE(r.takeOutput(), QByteArray(1, NAK));
    QCOMPARE(r.dataEvents, 0);
    r.input = b1;
    r.step();
    QCOMPARE(r.takeOutput(), QByteArray(1, ACK));
    QCOMPARE(r.dataEvents, 1);
    // The same block again: acknowledged, not passed on, counted as an error.
    r.input = b1;
    r.step();
    QCOMPARE(r.takeOutput(), QByteArray(1, ACK));
    QCOMPARE(r.dataEvents, 1);
    QCOMPARE(int(r.errors()), 1);
    // Wrong complement and a skipped number are refused with NAK.
    QByteArray badComplement = makeBlock(2, data.mid(1024), 1024);
    badComplement[2] = 0x00;
    r.input = badComplement;
    r.step();
    QCOMPARE(r.takeOutput(), QByteArray(1, NAK));
    r.input = makeBlock(3, data, 128);
    r.step();
    QCOMPARE(r.takeOutput(), QByteArray(1, NAK));
    QCOMPARE(r.dataEvents, 1);
    QCOMPARE(r.received, data.left(1024));

    // The sender answers NAK by sending the same block again, unchanged.
    Engine s(true);
    s.source = data;
    s.step();
    s.input = QByteArray(1, C);
    s.step();
    s.input = QByteArray() + ACK + C;
    s.step();
    s.step();
    const QByteArray sent = s.takeOutput().mid(133);
    s.input = QByteArray(1, NAK);
    s.step();
    QCOMPARE(s.takeOutput(), sent);
    QCOMPARE(s.dataEvents, 1);
    QCOMPARE(int(s.errors()), 1);
}

void TestYmodemEngine::blockNumberWrapsToZero()
{
    Engine r(false);
    r.step();
    r.input = makeHeader("w.bin", "40000");
    r.step();
    for (int n = 1; n <= 257; ++n) {
        r.input = makeBlock(quint8(n), QByteArray(1, char(n)), 128);
        r.step();
        QCOMPARE(r.takeOutput().right(1), QByteArray(1, ACK));
    }
    QCOMPARE(r.dataEvents, 257);
    QCOMPARE(r.number(), 1); // 256 was numbered 0, 257 is 1
    QCOMPARE(r.received[255 * 128], char(0)); // block 256 carried byte 0 (256 & 0xFF)
}

void TestYmodemEngine::peerCancelInEveryStage_data()
{
    QTest::addColumn<bool>("sender");
    QTest::addColumn<int>("stage");
    QTest::addColumn<char>("cancel");
    const char codes[] = {0x18, 'A', 'a'};
    for (bool sender : {false, true})
        for (int stage = Ymodem::StageHandshake; stage <= Ymodem::StageClosing; ++stage)
            for (char c : codes)
                QTest::addRow("%s stage %d byte %02x", sender ? "sender" : "receiver", stage, c)
                    << sender << stage << c;
}

// Drives one engine (the other side played by a real engine) until `stage`.
static bool driveTo(Loop &l, bool sender, int stage)
{
    for (int i = 0; i < 100000; ++i) {
        Engine &e = sender ? l.s : l.r;
        if (e.stageNow() == stage)
            return true;
        if (!l.s.events.isEmpty() || !l.r.events.isEmpty())
            return false;
        l.s.step();
        if (sender && l.s.stageNow() == stage) {
            l.s.takeOutput();
            return true;
        }
        l.r.input += l.s.takeOutput();
        l.r.step();
        if (!sender && l.r.stageNow() == stage) {
            l.r.takeOutput();
            return true;
        }
        l.s.input += l.r.takeOutput();
    }
    return false;
}

void TestYmodemEngine::peerCancelInEveryStage()
{
    QFETCH(bool, sender);
    QFETCH(int, stage);
    QFETCH(char, cancel);
    Loop l;
    l.s.source = pattern(3000, 7);
    QVERIFY(driveTo(l, sender, stage));
    Engine &e = sender ? l.s : l.r;
    e.input = QByteArray(1, cancel);
    e.step();
    // In the closing stage the end of the file has been acknowledged: the
    // file is delivered and a cancel only ends the session.
    const int expected = stage == Ymodem::StageClosing ? Ymodem::EventFinished : Ymodem::EventCancelled;
    QCOMPARE(e.events, QVector<int>{expected});
    QVERIFY2(e.output.isEmpty(), "a peer cancel is not answered");
    QCOMPARE(e.stageNow(), int(Ymodem::StageIdle));
}

void TestYmodemEngine::refusals()
{
    // Receiver refuses the header: five CAN, no event, idle.
    Engine r(false);
    r.headerAnswer = 0x18;
    r.step();
    r.takeOutput();
    r.input = makeHeader("a", "1");
    r.step();
    QCOMPARE(r.takeOutput(), CancelAnswer);
    QVERIFY(r.events.isEmpty());
    QCOMPARE(r.stageNow(), int(Ymodem::StageIdle));

    // Receiver refuses the second data block.
    Loop l;
    l.s.source = pattern(5000, 7);
    l.r.refuseDataAt = 2;
    l.run(200);
    QVERIFY(l.rWire.contains(QByteArray(1, ACK) + CancelAnswer));
    QCOMPARE(l.r.received, l.s.source.left(1024));
    QVERIFY(l.r.events.isEmpty());
    QCOMPARE(l.s.events, QVector<int>{Ymodem::EventCancelled});

    // Sender refuses its header or a data block.
    Loop h;
    h.s.headerAnswer = 0x18;
    h.run(200);
    QCOMPARE(h.sWire, CancelAnswer);
    QCOMPARE(h.r.events, QVector<int>{Ymodem::EventCancelled});
    Loop d;
    d.s.source = pattern(5000, 7);
    d.s.refuseDataAt = 3;
    d.run(200);
    QVERIFY(d.sWire.endsWith(CancelAnswer));
    QCOMPARE(d.r.events, QVector<int>{Ymodem::EventCancelled});
    QCOMPARE(d.r.received, d.s.source.left(2048));
}

void TestYmodemEngine::senderHeldBlockAndLateAck()
{
    Engine s(true);
    s.source = pattern(3000, 7);
    s.step();
    s.input = QByteArray(1, C);
    s.step();
    s.takeOutput();
    s.input = QByteArray(1, ACK); // the header's ACK: block 1 is built and held
    s.step();
    QVERIFY(s.output.isEmpty());
    QCOMPARE(s.dataEvents, 1);
    // A repeated ACK of the header must not fetch more file data.
    s.input = QByteArray(1, ACK);
    s.step();
    QVERIFY(s.output.isEmpty());
    QCOMPARE(s.dataEvents, 1);
    QCOMPARE(s.stageNow(), int(Ymodem::StageHeaderDone));
    // No "C" comes: the retry sends block 1 and the sender now waits for its ACK.
    int step = 0;
    while (s.output.isEmpty() && step < 1000) {
        ++step;
        s.step();
    }
    QCOMPARE(s.takeOutput(), makeBlock(1, s.source, 1024));
    QCOMPARE(s.stageNow(), int(Ymodem::StageData));
    // The late ACK acknowledges block 1: block 2 carries the next bytes.
    s.input = QByteArray(1, ACK);
    s.step();
    QCOMPARE(s.takeOutput(), makeBlock(2, s.source.mid(1024), 1024));
    QCOMPARE(s.dataEvents, 2);

    // Against a receiver that never sends the "C" after the header's ACK the
    // file still arrives complete.
    Loop l;
    l.s.source = pattern(2500, 9);
    bool droppedC = false;
    while (l.steps < 20000 && (l.s.events.isEmpty() || l.r.events.isEmpty())) {
        ++l.steps;
        l.s.step();
        l.r.input += l.s.takeOutput();
        l.r.step();
        QByteArray o = l.r.takeOutput();
        if (!droppedC && o == QByteArray() + ACK + C) {
            o.chop(1);
            droppedC = true;
        }
        l.s.input += o;
    }
    QVERIFY(droppedC);
    QCOMPARE(l.s.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(l.r.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(l.r.received.left(2500), l.s.source);
}

void TestYmodemEngine::emptySourceSendsEotOnC()
{
    // The EOT of an empty file waits for the "C" that follows the header's
    // ACK, as block 1 would: an EOT right behind the ACK looks like noise to
    // some receivers.
    Engine s(true);
    s.step();
    s.input = QByteArray(1, C);
    s.step();
    QCOMPARE(s.takeOutput(), makeHeader("fw.bin", "0"));
    s.input = QByteArray(1, ACK);
    s.step();
    QVERIFY(s.output.isEmpty());
    QCOMPARE(s.stageNow(), int(Ymodem::StageHeaderDone));
    s.input = QByteArray(1, C);
    s.step();
    QCOMPARE(s.takeOutput(), QByteArray(1, EOT));
    QCOMPARE(s.stageNow(), int(Ymodem::StageEnding));
    s.input = QByteArray(1, NAK);
    s.step();
    QCOMPARE(s.takeOutput(), QByteArray(1, EOT));
    s.input = QByteArray() + ACK + C;
    s.step();
    s.step();
    QCOMPARE(s.takeOutput(), makeBlock(0, QByteArray(), 128));
    s.input = QByteArray(1, ACK);
    s.step();
    QCOMPARE(s.events, QVector<int>{Ymodem::EventFinished});

    // Without the "C" the retry sends the EOT all the same.
    Engine q(true);
    q.step();
    q.input = QByteArray(1, C);
    q.step();
    q.takeOutput();
    q.input = QByteArray(1, ACK);
    int steps = 0;
    while (q.output.isEmpty() && steps < 1000) {
        ++steps;
        q.step();
    }
    QCOMPARE(q.takeOutput(), QByteArray(1, EOT));
    QCOMPARE(steps, 501);
    QCOMPARE(q.stageNow(), int(Ymodem::StageEnding));

    // Against a receiving engine both ends agree.
    Loop l;
    QVERIFY(l.run());
    QCOMPARE(l.r.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(l.s.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(l.r.endOfFileEvents, 1);
    QCOMPARE(l.rWire.toHex(), (QByteArray() + C + ACK + C + NAK + ACK + C + ACK).toHex());
}

void TestYmodemEngine::endOfFileIsStoredBeforeItsAck()
{
    // The receiver hands the end of the file to its owner on the second EOT,
    // before anything answers it; the ACK follows the owner's ACK.
    Loop l;
    l.s.source = pattern(1100, 5);
    QVERIFY(l.run());
    QCOMPARE(l.r.endOfFileEvents, 1);
    QVERIFY(l.r.outputAtEndOfFile.isEmpty() || l.r.outputAtEndOfFile.endsWith(NAK));
    QCOMPARE(l.r.events, QVector<int>{Ymodem::EventFinished});

    // A file the owner cannot store: the cancel burst goes out instead of
    // the ACK, the receiver ends without an event (its owner has its reason),
    // and the sender learns that the file did not arrive.
    Loop f;
    f.s.source = pattern(1100, 5);
    f.r.endOfFileAnswer = CAN;
    while (f.steps < 5000 && f.s.events.isEmpty()) {
        ++f.steps;
        f.s.step();
        f.r.input += f.s.takeOutput();
        if (f.r.stageNow() != Ymodem::StageIdle || f.r.endOfFileEvents == 0)
            f.r.step();
        const QByteArray o = f.r.takeOutput();
        f.rWire += o;
        f.s.input += o;
    }
    QCOMPARE(f.r.endOfFileEvents, 1);
    QVERIFY(f.rWire.endsWith(QByteArray(1, NAK) + CancelAnswer));
    QVERIFY(f.r.events.isEmpty());
    QCOMPARE(f.r.stageNow(), int(Ymodem::StageIdle));
    QCOMPARE(f.s.events, QVector<int>{Ymodem::EventCancelled});
    QVERIFY(!f.s.deliveredNow());
}

void TestYmodemEngine::deliveredFileSurvivesUnansweredClosing()
{
    // The receiver ACKs the end of the file and asks for the closing header,
    // then falls silent (rb exits and its last ACK is lost): the sender
    // repeats the closing header every tenth of that wait (a receiver that
    // flushed it gets it again) and ends as finished a fifth of a retry
    // period later, never with a cancel.
    Loop l;
    l.s.source = pattern(1100, 5);
    while (l.steps < 10000) {
        ++l.steps;
        l.s.step();
        if (l.s.stageNow() == Ymodem::StageClosing)
            break; // the closing header never reaches the receiver
        l.r.input += l.s.takeOutput();
        l.r.step();
        l.s.input += l.r.takeOutput();
    }
    QCOMPARE(l.s.stageNow(), int(Ymodem::StageClosing));
    QVERIFY(l.s.deliveredNow());
    l.s.takeOutput();
    int steps = 0;
    while (l.s.events.isEmpty() && steps < 5000) {
        ++steps;
        l.s.step();
    }
    QCOMPARE(l.s.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(steps, 100);
    const QByteArray closing = makeBlock(0, QByteArray(), 128);
    QCOMPARE(l.s.output, closing.repeated(9));
    QCOMPARE(l.s.stageNow(), int(Ymodem::StageIdle));
    QVERIFY(!l.s.deliveredNow());

    // When the "C" never comes after the ACK of the end of file, the sender
    // waits a whole retry period for it (rb sends it a second after its ACK),
    // then ends as finished instead of repeating the EOT.
    Engine s(true);
    s.source = pattern(10, 1);
    s.step();
    s.input = QByteArray(1, C);
    s.step();
    s.input = QByteArray(1, ACK);
    s.step();
    s.input = QByteArray(1, C);
    s.step();
    s.input = QByteArray(1, ACK);
    s.step(); // EOT out
    s.input = QByteArray(1, ACK);
    s.step();
    s.takeOutput();
    QCOMPARE(s.stageNow(), int(Ymodem::StageEnding));
    QVERIFY(s.deliveredNow());
    for (int i = 0; i < 499; ++i)
        s.step();
    QVERIFY(s.events.isEmpty());
    s.input = QByteArray(1, C); // a late "C" still gets the closing header
    s.step();
    QCOMPARE(s.takeOutput(), closing);
    for (int i = 0; i < 100; ++i)
        s.step();
    QCOMPARE(s.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(s.output, closing.repeated(9));
    Engine n(true);
    n.source = pattern(10, 1);
    n.step();
    n.input = QByteArray(1, C);
    n.step();
    n.input = QByteArray() + ACK + C;
    n.step();
    n.step();
    n.input = QByteArray(1, ACK);
    n.step(); // EOT out
    n.input = QByteArray(1, ACK);
    n.step();
    n.takeOutput();
    steps = 0;
    while (n.events.isEmpty() && steps < 5000) {
        ++steps;
        n.step();
    }
    QCOMPARE(n.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(steps, 500);
    QVERIFY(n.output.isEmpty());

    // The receiver, once it has stored the file and ACKed its end, ends as
    // finished too when the closing header does not come.
    Engine r(false);
    r.step();
    r.input = makeHeader("a.bin", "1");
    r.step();
    r.input = makeBlock(1, "x", 128);
    r.step();
    r.input = QByteArray(1, EOT);
    r.step();
    r.input = QByteArray(1, EOT);
    r.step();
    QCOMPARE(r.takeOutput().right(2), QByteArray() + ACK + C);
    steps = 0;
    while (r.events.isEmpty() && steps < 5000) {
        ++steps;
        r.step();
    }
    QCOMPARE(r.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(steps, 500);
    QVERIFY(r.output.isEmpty());
}

void TestYmodemEngine::lateAckBeforeNakIsNotDelivery()
{
    // An ACK that answers a repeated last block may arrive after the EOT went
    // out; the receiver's NAK of the EOT shows that it has not taken the end.
    Engine s(true);
    s.source = pattern(10, 1);
    s.step();
    s.input = QByteArray(1, C);
    s.step();
    s.input = QByteArray(1, ACK);
    s.step();
    s.input = QByteArray(1, C);
    s.step();
    s.input = QByteArray(1, ACK);
    s.step(); // EOT out
    s.takeOutput();
    s.input = QByteArray(1, ACK); // the late ACK
    s.step();
    QVERIFY(s.deliveredNow());
    s.input = QByteArray(1, NAK);
    s.step();
    QCOMPARE(s.takeOutput(), QByteArray(1, EOT));
    QVERIFY(!s.deliveredNow());
    // Silence now is a failure after the usual retries, not a delivery.
    int steps = 0;
    while (s.events.isEmpty() && steps < 5000) {
        ++steps;
        s.step();
    }
    QCOMPARE(s.events, QVector<int>{Ymodem::EventFailed});
    QCOMPARE(steps, 3000);
    QVERIFY(s.output.endsWith(CancelAnswer));
}

void TestYmodemEngine::cancelRightBehindAckIsKept()
{
    // The receiver ACKs block 1 and cancels at once: the sender stops at that
    // step, without putting block 2 on the line.
    for (const QByteArray &cancel : {QByteArray(2, CAN), QByteArray(1, CAN), QByteArray("A")}) {
        Engine s(true);
        s.source = pattern(5000, 3);
        s.step();
        s.input = QByteArray(1, C);
        s.step();
        s.input = QByteArray() + ACK + C;
        s.step();
        s.step();
        QCOMPARE(s.stageNow(), int(Ymodem::StageData));
        s.takeOutput();
        s.input = QByteArray(1, ACK) + cancel;
        s.step();
        QCOMPARE(s.events, QVector<int>{Ymodem::EventCancelled});
        QVERIFY2(s.output.isEmpty(), "no block and no answer after a cancel");
        QCOMPARE(s.stageNow(), int(Ymodem::StageIdle));
    }
    // Behind the ACK of the end of file the session is over: the file was
    // delivered, a cancel there does not undo that.
    Engine e(true);
    e.source = pattern(10, 1);
    e.step();
    e.input = QByteArray(1, C);
    e.step();
    e.input = QByteArray() + ACK + C;
    e.step();
    e.step();
    e.input = QByteArray(1, ACK);
    e.step(); // EOT
    e.input = QByteArray() + ACK + C + CAN + CAN;
    e.step();
    e.step();
    QCOMPARE(e.events, QVector<int>{Ymodem::EventFinished});
}

void TestYmodemEngine::cancelInsideBrokenBlockIsKept()
{
    // The sender gives up in the middle of a block: the receiver holds the
    // cut block with the cancel burst inside it. After a retry period of
    // silence that is a cancel, not a NAK and 30 s of waiting.
    Engine r(false);
    r.step();
    r.input = makeHeader("a.bin", "5000");
    r.step();
    r.takeOutput();
    r.input = makeBlock(1, pattern(1024, 1), 1024).left(300) + CancelAnswer;
    int steps = 0;
    while (r.events.isEmpty() && steps < 5000) {
        ++steps;
        r.step();
    }
    QCOMPARE(r.events, QVector<int>{Ymodem::EventCancelled});
    QCOMPARE(steps, 501);
    QVERIFY(r.output.isEmpty());

    // A cut block followed by a whole one (the lost tail was retried): the
    // rest of the broken packet goes, and the cancel burst behind it is kept.
    Engine q(false);
    q.step();
    q.input = makeHeader("a.bin", "5000");
    q.step();
    q.takeOutput();
    q.input = makeBlock(1, pattern(128, 1), 128).left(100) + makeBlock(1, pattern(128, 1), 128) + CancelAnswer;
    for (int i = 0; i < 5 && q.events.isEmpty(); ++i)
        q.step();
    QCOMPARE(q.events, QVector<int>{Ymodem::EventCancelled});

    // A stalled block without a cancel in it is dropped at the retry, so that
    // the resent block starts clean.
    Engine d(false);
    d.step();
    d.input = makeHeader("a.bin", "128");
    d.step();
    d.takeOutput();
    d.input = makeBlock(1, pattern(128, 1), 128).left(60);
    for (int i = 0; i < 501; ++i)
        d.step();
    QCOMPARE(d.takeOutput(), QByteArray(1, NAK));
    d.input = makeBlock(1, pattern(128, 1), 128);
    d.step();
    QCOMPARE(d.takeOutput(), QByteArray(1, ACK));
    QCOMPARE(d.dataEvents, 1);
}

void TestYmodemEngine::untimedStepsNeverCountAsIdle()
{
    // Steps taken on arrival (or while the owner's packet is still on the
    // line) handle input but never retry or give up.
    Engine r(false);
    r.step(Ymodem::StepUntimed);
    QVERIFY2(r.output.isEmpty(), "an untimed step does not start a transfer");
    r.step();
    QCOMPARE(r.takeOutput(), QByteArray(1, C));
    for (int i = 0; i < 10000; ++i)
        r.step(Ymodem::StepUntimed);
    QCOMPARE(int(r.idle()), 0);
    QVERIFY(r.output.isEmpty());
    QVERIFY(r.events.isEmpty());
    r.input = makeHeader("a.bin", "3");
    r.step(Ymodem::StepUntimed);
    QCOMPARE(r.takeOutput(), QByteArray() + ACK + C);

    // A block trickling in at 1200 baud, each byte taken by a step on its
    // arrival: the timed steps in between see nothing new, yet the line is
    // alive, so no retry cuts the block off.
    Engine t(false, 49);
    t.step();
    t.input = makeHeader("a.bin", "1024");
    t.step();
    t.takeOutput();
    const QByteArray slowBlock = makeBlock(1, pattern(1024, 4), 1024);
    for (char byte : slowBlock) {
        t.input = QByteArray(1, byte);
        t.step(Ymodem::StepUntimed);
        t.step();
    }
    QCOMPARE(t.takeOutput(), QByteArray(1, ACK));
    QCOMPARE(t.dataEvents, 1);

    // A whole transfer on untimed steps only, as on arrival.
    Loop l;
    l.s.source = pattern(3000, 2);
    l.s.step();
    l.r.step();
    while (l.steps < 1000 && (l.s.events.isEmpty() || l.r.events.isEmpty())) {
        ++l.steps;
        l.r.input += l.s.takeOutput();
        if (l.r.events.isEmpty())
            l.r.step(Ymodem::StepUntimed);
        l.s.input += l.r.takeOutput();
        if (l.s.events.isEmpty())
            l.s.step(Ymodem::StepUntimed);
    }
    QCOMPARE(l.r.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(l.s.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(l.r.received.left(3000), l.s.source);
}

void TestYmodemEngine::oddInputIsOnlyIdle()
{
    // Stray bytes and a block still arriving during the handshake are idle
    // steps. (A 1024-byte block numbered 0 is a header: headersOfEitherSize.)
    Engine r(false);
    r.step();
    r.takeOutput();
    r.input = makeBlock(0, "x", 1024).left(600);
    r.step();
    QVERIFY(r.output.isEmpty());
    QCOMPARE(int(r.idle()), 0); // the line is busy
    r.input = "zq";
    r.step();
    r.step();
    r.step();
    QCOMPARE(int(r.idle()), 2);
    QCOMPARE(int(r.errors()), 0);
    QVERIFY(r.output.isEmpty());
    QVERIFY(r.events.isEmpty());
}

void TestYmodemEngine::blocksArrivingInPiecesAreNotIdle()
{
    Loop l;
    l.s.source = pattern(5000, 7);
    l.r.maxChunk = 7; // a slow line: a 1029-byte block needs 147 steps
    l.s.maxChunk = 1;
    l.r.setRetryDivider(49); // a retry period far shorter than one block
    QVERIFY(l.run());
    QCOMPARE(l.r.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(l.r.received.left(5000), l.s.source);
    QVERIFY2(!l.rWire.contains(NAK) || l.rWire.count(NAK) == 1, "no retry while a block is arriving");
}

void TestYmodemEngine::garbageAndLossNeverCorrupt()
{
    // Bytes flipped, dropped, duplicated and inserted on both lines: whatever
    // happens, every transfer ends and the receiver only ever passes on the
    // sender's bytes, in order.
    int finished = 0;
    for (quint32 seed = 1; seed <= 20; ++seed) {
        QRandomGenerator g(seed);
        Engine s(true, 19, 5, 999), r(false, 19, 5, 999);
        s.source = pattern(6000 + int(seed) * 97, seed);
        auto mangle = [&g](QByteArray bytes) {
            QByteArray out;
            for (char b : bytes) {
                const quint32 dice = g.bounded(20000);
                if (dice == 0)
                    continue;                     // dropped
                if (dice == 1)
                    b = char(b ^ (1 << g.bounded(8))); // flipped
                out.append(b);
                if (dice == 2)
                    out.append(b);                // duplicated
                if (dice == 3)
                    out.append(char(g.bounded(256))); // inserted garbage
            }
            return out;
        };
        int steps = 0;
        while (steps < 200000 && (s.events.isEmpty() || r.events.isEmpty())) {
            ++steps;
            if (s.events.isEmpty())
                s.step();
            r.input += mangle(s.takeOutput());
            if (r.events.isEmpty())
                r.step();
            s.input += mangle(r.takeOutput());
            QVERIFY(s.source.startsWith(r.received.left(s.source.size())));
        }
        QVERIFY2(steps < 200000, "every transfer ends");
        // A receiver that ends short sees it by the announced size (the file
        // classes report that as failed); it never holds a wrong byte.
        if (r.events.value(0) == Ymodem::EventFinished && r.received.size() >= s.source.size()) {
            ++finished;
            QCOMPARE(r.received.left(s.source.size()), s.source);
        }
    }
    QVERIFY(finished > 0);
}

void TestYmodemEngine::nextStepAfterEndStartsAfresh()
{
    Loop l;
    l.s.source = pattern(10, 7);
    QVERIFY(l.run());
    l.r.step();
    QCOMPARE(l.r.takeOutput(), QByteArray(1, C));
    QCOMPARE(l.r.stageNow(), int(Ymodem::StageHandshake));
    l.s.step();
    QCOMPARE(l.s.stageNow(), int(Ymodem::StageHandshake));
    // abortTransfer: five CAN, idle, no event.
    l.r.abortTransfer();
    QCOMPARE(l.r.takeOutput(), CancelAnswer);
    QCOMPARE(l.r.stageNow(), int(Ymodem::StageIdle));
    QCOMPARE(l.r.events.size(), 1);
}

// How the receiving side misbehaves around the end of the file.
enum EndPeer {
    RestartsOnce,   // takes every block, dies at the EOT; a fresh receiver asks anew
    RestartsAlways, // every receiver dies at the EOT
    AckOfEndLost,   // the ACK of the EOT never reaches the sender
    FreshAcksEot    // as RestartsOnce, and the fresh receiver ACKs an EOT while it waits for a header (rb)
};

void TestYmodemEngine::promptWhereTheEndsAckIsDue_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("peer");
    QTest::addColumn<int>("endEvent");
    QTest::addColumn<int>("restarts");
    QTest::newRow("fresh receiver after a dead one") << 100000 << int(RestartsOnce) << int(Ymodem::EventFinished) << 1;
    QTest::newRow("empty file, fresh receiver") << 0 << int(RestartsOnce) << int(Ymodem::EventFinished) << 1;
    QTest::newRow("receiver always starts over") << 3000 << int(RestartsAlways) << int(Ymodem::EventFailed)
                                                 << int(Ymodem::RestartLimit);
    QTest::newRow("empty file, its EOT ignored") << 0 << int(RestartsAlways) << int(Ymodem::EventFailed)
                                                 << int(Ymodem::RestartLimit);
    // Its "C" alone is a receiver that starts over: the sender never saw the
    // end acknowledged, so it does not claim it.
    QTest::newRow("ACK of the end lost") << 1100 << int(AckOfEndLost) << int(Ymodem::EventFailed) << 1;
    QTest::newRow("fresh receiver ACKs a stray EOT") << 20000 << int(FreshAcksEot) << int(Ymodem::EventFinished) << 1;
    QTest::newRow("empty file, fresh receiver ACKs a stray EOT") << 0 << int(FreshAcksEot) << int(Ymodem::EventFinished) << 1;
}

void TestYmodemEngine::promptWhereTheEndsAckIsDue()
{
    // A "C" where the ACK of the EOT is due does not ask for the closing
    // header, nor for the EOT again: the receiver started over and gets the
    // whole file again, a bounded number of times. The send succeeds only
    // when a receiver acknowledged the end of the file it was sent.
    QFETCH(int, size);
    QFETCH(int, peer);
    QFETCH(int, endEvent);
    QFETCH(int, restarts);
    Engine s(true);
    s.source = pattern(size, 12);
    QScopedPointer<Engine> r(new Engine(false));
    int deaths = 0;
    bool ackDropped = false;
    QByteArray sWire;
    for (int step = 0; step < 200000 && s.events.isEmpty(); ++step) {
        s.step();
        QByteArray so = s.takeOutput();
        sWire += so;
        const bool diesOnce = peer == RestartsOnce || peer == FreshAcksEot;
        const bool dies = so == QByteArray(1, EOT) && (peer == RestartsAlways || (diesOnce && deaths == 0))
            && r->stageNow() != Ymodem::StageHandshake;
        if (dies) {
            ++deaths;
            r.reset(new Engine(false)); // the EOT dies with it
            so.clear();
        } else if (peer == FreshAcksEot && so == QByteArray(1, EOT) && r->stageNow() == Ymodem::StageHandshake) {
            s.input += ACK;
            so.clear();
        }
        r->input += so;
        if (r->events.isEmpty())
            r->step();
        QByteArray ro = r->takeOutput();
        if (peer == AckOfEndLost && !ackDropped && r->deliveredNow() && ro.startsWith(ACK)) {
            ro.remove(0, 1);
            ackDropped = true;
        }
        s.input += ro;
    }
    QCOMPARE(s.events, QVector<int>{endEvent});
    QCOMPARE(int(s.restartCount()), restarts);
    if (endEvent == Ymodem::EventFinished) {
        // The receiver that acknowledged the end has every byte.
        QCOMPARE(r->events, QVector<int>{Ymodem::EventFinished});
        QCOMPARE(r->received.left(size), s.source);
        QCOMPARE(r->endOfFileEvents, 1);
        QCOMPARE(ackDropped, peer == AckOfEndLost);
    } else {
        QVERIFY(sWire.endsWith(CancelAnswer));
        if (peer == AckOfEndLost) {
            QCOMPARE(r->received.left(size), s.source);
        } else {
            QCOMPARE(deaths, int(Ymodem::RestartLimit) + 1);
            QVERIFY(!r->events.contains(Ymodem::EventFinished));
        }
    }
}

void TestYmodemEngine::headersOfEitherSize_data()
{
    QTest::addColumn<int>("nameLength");
    QTest::addColumn<int>("headerSize");
    // With the size "2000": name, NUL, four digits, NUL.
    QTest::newRow("short name, 128-byte header") << 6 << 128;
    QTest::newRow("longest for 128 bytes") << 122 << 128;
    QTest::newRow("one more, 1024-byte header") << 123 << 1024;
    QTest::newRow("longest for 1024 bytes") << 1018 << 1024;
}

void TestYmodemEngine::headersOfEitherSize()
{
    // A header too long for 128 bytes goes in a 1024-byte block (STX 00 FF);
    // the receiver takes either and passes all of it on.
    QFETCH(int, nameLength);
    QFETCH(int, headerSize);
    Loop l;
    l.s.name = QByteArray(nameLength, 'n');
    l.s.source = pattern(2000, 4);
    QVERIFY(l.run());
    const QByteArray fields = l.s.name + '\0' + "2000" + '\0';
    QCOMPARE(l.sWire.left(headerSize + 5), makeBlock(0, fields, headerSize));
    QCOMPARE(l.r.header, fields.leftJustified(headerSize, '\0'));
    QCOMPARE(l.r.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(l.s.events, QVector<int>{Ymodem::EventFinished});
    QCOMPARE(l.r.received.left(2000), l.s.source);

    // A 1024-byte block 0 that is not a header (bad CRC) is turned down like
    // a 128-byte one: the receiver prompts again.
    Engine r(false);
    r.step();
    r.takeOutput();
    QByteArray bad = makeBlock(0, fields, 1024);
    bad[10] = char(bad[10] ^ 0x40);
    r.input = bad;
    r.step();
    QCOMPARE(r.takeOutput(), QByteArray(1, C));
    QCOMPARE(int(r.errors()), 1);
    QCOMPARE(r.headerEvents, 0);
}

QTEST_APPLESS_MAIN(TestYmodemEngine)
#include "tst_ymodem_engine.moc"
