// Request/reply exchanges of the executor with this test playing the device
// on the master end of a pseudo-terminal: result codes, the count of failed
// exchanges, the order of the signals and the bus lock.

#include "LinkTestSupport.h"
#include "PlCommand.h"
#include "PtyPair.h"
#include "SPComm.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QtTest>

#include <algorithm>

namespace {

QByteArray hex(const char *s) { return QByteArray::fromHex(s); }

const QByteArray LaserOnFrame = hex("01001101CC48");
const QByteArray StatusQueryFrame = hex("0100C1019188");

bool postLaserOn(PlCommand *pl)
{
    return postToWorker(pl, [pl] { pl->turnOnOffLd(1); });
}

bool postStatusQuery(PlCommand *pl)
{
    return postToWorker(pl, [pl] { pl->queryAllStatParam(); });
}

quint8 callLaserOn(PlCommand *pl)
{
    return runOnWorker<quint8>(pl, [pl] { return pl->turnOnOffLd(1); });
}

quint8 callStatusQuery(PlCommand *pl)
{
    return runOnWorker<quint8>(pl, [pl] { return pl->queryAllStatParam(); });
}

// Lets every call queued so far run on the worker thread.
void drainWorker(PlCommand *pl)
{
    runOnWorker<bool>(pl, [pl] { return pl->isSpcOn(); });
}

} // namespace

class TestPlCommandExchange : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void writeSuccess();
    void readSuccessWithOtherWord();
    void closedPort();
    void busBusy();
    void deviceRefusal();
    void failuresCountUntilGoodReply();
    void staleInputIsNotTakenForTheReply();
    void onlyASixByteReplyAnswersAWrite();
    void floodOfGarbage();
    void replyAmidLineNoise_data();
    void replyAmidLineNoise();
    void deviceSideHangsUp();
    void roundTripTimes();

private:
    // One exchange: posts the command, checks the request on the line,
    // answers it (or not) and returns the signals it produced.
    QVector<LinkEvent> exchange(bool (*post)(PlCommand *), const QByteArray &request,
                                const QByteArray &reply, bool answer = true);
    void expectPair(const QVector<LinkEvent> &events, quint32 count, const char *result, int code,
                    const QByteArray &frame);

    PtyPair *m_pty = nullptr;
    PlCommand *m_pl = nullptr;
    SignalRecorder *m_rec = nullptr;
};

void TestPlCommandExchange::init()
{
    m_pty = new PtyPair;
    QVERIFY(m_pty->isValid());
    m_pl = new PlCommand;
    m_rec = new SignalRecorder(m_pl);
    QCOMPARE(int(callAndWait<quint8>(m_pl, "turnOnSpcomm", Q_ARG(QVector<QString>, portSettings(m_pty->slavePath())))), 0);
    QVERIFY(m_rec->waitForCount(1));
    QCOMPARE(m_rec->takeAll().at(0).args, (QVariantList{m_pty->slavePath(), 0}));
}

void TestPlCommandExchange::cleanup()
{
    delete m_rec;
    m_rec = nullptr;
    if (m_pl) {
        QPointer<QThread> thread = m_pl->workerThread();
        m_pl->deleteLater();
        QTRY_VERIFY_WITH_TIMEOUT(thread.isNull(), 5000);
        m_pl = nullptr;
    }
    delete m_pty;
    m_pty = nullptr;
}

QVector<LinkEvent> TestPlCommandExchange::exchange(bool (*post)(PlCommand *), const QByteArray &request,
                                                   const QByteArray &reply, bool answer)
{
    const int before = m_rec->count();
    if (!post(m_pl))
        return {};
    const QByteArray sent = m_pty->readExactly(request.size());
    if (sent != request) {
        qWarning("unexpected request %s", sent.toHex().constData());
        return {};
    }
    if (answer)
        m_pty->write(reply);
    m_rec->waitForCount(before + 2);
    return m_rec->takeAll();
}

void TestPlCommandExchange::expectPair(const QVector<LinkEvent> &events, quint32 count, const char *result,
                                       int code, const QByteArray &frame)
{
    QCOMPARE(events.size(), 2);
    // The count always comes first, the result after it.
    QCOMPARE(events.at(0).signal, QString("sendCommErrNums"));
    QCOMPARE(events.at(0).args, (QVariantList{qulonglong(count)}));
    QCOMPARE(events.at(1).signal, QString(result));
    QCOMPARE(events.at(1).args.at(0).toInt(), code);
    QCOMPARE(events.at(1).args.at(1).toByteArray().toHex(), frame.toHex());
}

void TestPlCommandExchange::writeSuccess()
{
    const auto events = exchange(postLaserOn, LaserOnFrame, writeReply(0x00));
    expectPair(events, 0, "writeCmdResult", 0, LaserOnFrame);
}

void TestPlCommandExchange::readSuccessWithOtherWord()
{
    // A well-formed reply counts as success whatever word it carries.
    const QByteArray reply = statusReply(0x00C2);
    const auto events = exchange(postStatusQuery, StatusQueryFrame, reply);
    expectPair(events, 0, "readCmdResult", 0, reply);

    const QByteArray status = statusReply();
    QCOMPARE(status.size(), 59);
    expectPair(exchange(postStatusQuery, StatusQueryFrame, status), 0, "readCmdResult", 0, status);
}

void TestPlCommandExchange::closedPort()
{
    QCOMPARE(int(callAndWait<quint8>(m_pl, "turnOffSpcomm")), 0);
    QVERIFY(m_rec->waitForCount(1));
    m_rec->takeAll();

    // A write names the full frame it would have sent, and no count follows.
    QCOMPARE(int(callLaserOn(m_pl)), 1);
    QVector<LinkEvent> events = m_rec->takeAll();
    QCOMPARE(events.size(), 1);
    QCOMPARE(events.at(0).signal, QString("writeCmdResult"));
    QCOMPARE(events.at(0).args, (QVariantList{1, LaserOnFrame}));

    // A read is dropped without a word.
    QCOMPARE(int(callStatusQuery(m_pl)), 1);
    QVERIFY(postStatusQuery(m_pl));
    drainWorker(m_pl);
    QCOMPARE(m_rec->count(), 0);
    QCOMPARE(m_pty->read(50), QByteArray());
}

void TestPlCommandExchange::busBusy()
{
    // Count one failure first, so that a change of the count would show.
    expectPair(exchange(postLaserOn, LaserOnFrame, {}, false), 1, "writeCmdResult", 255, LaserOnFrame);

    m_pl->channel()->busMutex.lock(); // another thread holds the bus
    QCOMPARE(int(callLaserOn(m_pl)), 2);
    QVector<LinkEvent> events = m_rec->takeAll();
    QCOMPARE(events.size(), 1);
    QCOMPARE(events.at(0).signal, QString("writeCmdResult"));
    QCOMPARE(events.at(0).args, (QVariantList{2, LaserOnFrame}));

    QCOMPARE(int(callStatusQuery(m_pl)), 2);
    QCOMPARE(m_rec->count(), 0);
    QCOMPARE(m_pty->read(50), QByteArray()); // nothing went onto the line
    m_pl->channel()->busMutex.unlock();

    // The count went on from where it was, and the bus is free again.
    expectPair(exchange(postLaserOn, LaserOnFrame, {}, false), 2, "writeCmdResult", 255, LaserOnFrame);
    expectPair(exchange(postLaserOn, LaserOnFrame, writeReply(0)), 0, "writeCmdResult", 0, LaserOnFrame);
    QVERIFY(m_pl->channel()->busMutex.tryLock(1000));
    m_pl->channel()->busMutex.unlock();
}

void TestPlCommandExchange::deviceRefusal()
{
    expectPair(exchange(postLaserOn, LaserOnFrame, {}, false), 1, "writeCmdResult", 255, LaserOnFrame);
    // A well-formed refusal resets the count but reports 4.
    expectPair(exchange(postLaserOn, LaserOnFrame, writeReply(0x01)), 0, "writeCmdResult", 4, LaserOnFrame);
    expectPair(exchange(postLaserOn, LaserOnFrame, writeReply(0xFF)), 0, "writeCmdResult", 4, LaserOnFrame);
    // A read reply's fourth byte is data, never a status.
    const QByteArray status = deviceFrame(hex("00C1FF00"));
    expectPair(exchange(postStatusQuery, StatusQueryFrame, status), 0, "readCmdResult", 0, status);
}

void TestPlCommandExchange::failuresCountUntilGoodReply()
{
    const QByteArray good = writeReply(0x00);
    QByteArray badCrc = statusReply();
    badCrc[badCrc.size() - 1] = char(badCrc.at(badCrc.size() - 1) ^ 0x01);
    QByteArray wrongAddress = good;
    wrongAddress[0] = 0x02;
    wrongAddress = wrongAddress.left(4);
    const quint16 crc = Protocol::modbusCrc16(wrongAddress);
    wrongAddress.append(char(crc & 0xFF)).append(char(crc >> 8)); // CRC right, address wrong
    const QByteArray shortReply = hex("0100C1");
    const QByteArray noise = hex("011100000000"); // six bytes, CRC wrong

    // Silence, garbage and short answers: 255 each, the count grows over
    // write and read commands alike, and a read result carries what came.
    expectPair(exchange(postLaserOn, LaserOnFrame, {}, false), 1, "writeCmdResult", 255, LaserOnFrame);
    expectPair(exchange(postStatusQuery, StatusQueryFrame, badCrc), 2, "readCmdResult", 255, badCrc);
    expectPair(exchange(postLaserOn, LaserOnFrame, wrongAddress), 3, "writeCmdResult", 255, LaserOnFrame);
    expectPair(exchange(postStatusQuery, StatusQueryFrame, shortReply), 4, "readCmdResult", 255, shortReply);
    expectPair(exchange(postLaserOn, LaserOnFrame, noise), 5, "writeCmdResult", 255, LaserOnFrame);
    expectPair(exchange(postStatusQuery, StatusQueryFrame, {}, false), 6, "readCmdResult", 255, QByteArray());

    const QByteArray status = statusReply();
    expectPair(exchange(postStatusQuery, StatusQueryFrame, status), 0, "readCmdResult", 0, status);
    expectPair(exchange(postLaserOn, LaserOnFrame, {}, false), 1, "writeCmdResult", 255, LaserOnFrame);
    expectPair(exchange(postLaserOn, LaserOnFrame, good), 0, "writeCmdResult", 0, LaserOnFrame);
}

void TestPlCommandExchange::staleInputIsNotTakenForTheReply()
{
    // Leftovers of an earlier, late answer are discarded before the request.
    QVERIFY(m_pty->write(writeReply(0x01)));
    QTest::qSleep(30);
    expectPair(exchange(postLaserOn, LaserOnFrame, writeReply(0x00)), 0, "writeCmdResult", 0, LaserOnFrame);
    QVERIFY(m_pty->write(hex("0100C1DEAD")));
    QTest::qSleep(30);
    const QByteArray status = statusReply();
    expectPair(exchange(postStatusQuery, StatusQueryFrame, status), 0, "readCmdResult", 0, status);
}

void TestPlCommandExchange::onlyASixByteReplyAnswersAWrite()
{
    // The device answers a status query too late and the following
    // "开启光源" not at all: the late status frame (firmware major 0 where a
    // write reply has its status byte) arrives while the write waits.
    QByteArray data(54, '\0');
    data[1] = 5;
    const QByteArray lateStatus = deviceFrame(hex("00C1") + data);
    QCOMPARE(lateStatus.size(), 59);
    QCOMPARE(int(lateStatus.at(3)), 0);
    expectPair(exchange(postStatusQuery, StatusQueryFrame, {}, false), 1, "readCmdResult", 255, QByteArray());
    expectPair(exchange(postLaserOn, LaserOnFrame, lateStatus), 2, "writeCmdResult", 255, LaserOnFrame);

    // Well-formed frames of the wrong size or kind: lost replies as well.
    const QByteArray seven = deviceFrame(hex("00110000")); // 7 bytes, status byte 0
    QCOMPARE(seven.size(), 7);
    expectPair(exchange(postLaserOn, LaserOnFrame, seven), 3, "writeCmdResult", 255, LaserOnFrame);
    const QByteArray five = deviceFrame(hex("0011")); // 5 bytes
    expectPair(exchange(postLaserOn, LaserOnFrame, five), 4, "writeCmdResult", 255, LaserOnFrame);
    const QByteArray laserStateReply = deviceFrame(hex("005100")); // a 6-byte read reply
    QCOMPARE(laserStateReply.size(), 6);
    expectPair(exchange(postLaserOn, LaserOnFrame, laserStateReply), 5, "writeCmdResult", 255, LaserOnFrame);

    // The write reply itself still passes, whatever its two middle bytes.
    expectPair(exchange(postLaserOn, LaserOnFrame, writeReply(0x00, 0x1234)), 0, "writeCmdResult", 0, LaserOnFrame);
    expectPair(exchange(postLaserOn, LaserOnFrame, writeReply(0x03)), 0, "writeCmdResult", 4, LaserOnFrame);
}

void TestPlCommandExchange::floodOfGarbage()
{
    // Far more than any reply: judged as lost, nothing is kept for later.
    QByteArray flood;
    for (int i = 0; i < 3000; ++i)
        flood.append(char(0x01 + (i % 200)));
    const auto events = exchange(postStatusQuery, StatusQueryFrame, flood);
    QCOMPARE(events.size(), 2);
    QCOMPARE(events.at(0).args, (QVariantList{qulonglong(1)}));
    QCOMPARE(events.at(1).args.at(0).toInt(), 255);
    QVERIFY(flood.startsWith(events.at(1).args.at(1).toByteArray()));
    QVERIFY(!events.at(1).args.at(1).toByteArray().isEmpty());

    const QByteArray status = statusReply();
    expectPair(exchange(postStatusQuery, StatusQueryFrame, status), 0, "readCmdResult", 0, status);
    expectPair(exchange(postLaserOn, LaserOnFrame, writeReply(0)), 0, "writeCmdResult", 0, LaserOnFrame);
}

void TestPlCommandExchange::replyAmidLineNoise_data()
{
    // The device's answer as it reaches the line: pieces written 20 ms
    // apart; what the executor takes for the reply; the stray bytes beside it.
    QTest::addColumn<bool>("isWrite");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("taken");
    QTest::addColumn<int>("noise");
    const QByteArray status = statusReply();
    const QByteArray ok = writeReply(0x00);
    const QByteArray dot(1, '.');
    QByteArray longer = status.left(status.size() - 2) + hex("BEEF");
    const quint16 crc = Protocol::modbusCrc16(longer);
    longer.append(char(crc & 0xFF)).append(char(crc >> 8));
    QTest::newRow("status, 3 bytes after") << false << QList<QByteArray>{status + hex("00FF5A")} << 0 << status << 3;
    QTest::newRow("write, 1 byte after") << true << QList<QByteArray>{ok + hex("00")} << 0 << ok << 1;
    QTest::newRow("write, 4 bytes after") << true << QList<QByteArray>{ok + hex("01001100")} << 0 << ok << 4;
    QTest::newRow("refusal, 2 bytes after") << true << QList<QByteArray>{writeReply(0x03) + hex("FFFF")} << 4
                                            << writeReply(0x03) << 2;
    QTest::newRow("status, chatter after") << false << QList<QByteArray>{status, dot, dot} << 0 << status << 0;
    QTest::newRow("status, chatter before") << false << QList<QByteArray>{dot + status} << 0 << status << 1;
    QTest::newRow("write, glitch before and after") << true << QList<QByteArray>{hex("00") + ok + dot} << 0 << ok << 2;
    QTest::newRow("status in two pieces") << false << QList<QByteArray>{status.left(20), status.mid(20)} << 0 << status << 0;
    QTest::newRow("status in two pieces, bytes after") << false
        << QList<QByteArray>{status.left(50), status.mid(50) + hex("0102")} << 0 << status << 2;
    QTest::newRow("write in three pieces") << true << QList<QByteArray>{ok.left(1), ok.mid(1, 3), ok.mid(4)} << 0 << ok << 0;
    // Other firmware: two more data bytes; the whole reply is taken once the
    // line is quiet.
    QTest::newRow("longer status reply") << false << QList<QByteArray>{longer} << 0 << longer << 0;
    QTest::newRow("longer status in two pieces") << false << QList<QByteArray>{longer.left(59), longer.mid(59)} << 0
                                                 << longer << 0;
    // Noise inside the reply spoils it: lost, whatever came is reported.
    QTest::newRow("chatter inside the status") << false << QList<QByteArray>{status.left(30), dot, status.mid(30)}
                                               << 255 << status.left(30) + dot + status.mid(30) << 0;
}

void TestPlCommandExchange::replyAmidLineNoise()
{
    QFETCH(bool, isWrite);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(int, result);
    QFETCH(QByteArray, taken);
    QFETCH(int, noise);
    const QByteArray request = isWrite ? LaserOnFrame : StatusQueryFrame;
    QVERIFY(isWrite ? postLaserOn(m_pl) : postStatusQuery(m_pl));
    QCOMPARE(m_pty->readExactly(request.size()).toHex(), request.toHex());
    for (int i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            QTest::qSleep(20);
        QVERIFY(m_pty->write(pieces.at(i)));
    }
    QVERIFY(m_rec->waitForCount(2));
    const QVector<LinkEvent> events = m_rec->takeAll();
    QCOMPARE(events.size(), 2);
    QCOMPARE(events.at(0).args, (QVariantList{qulonglong(result == 255 ? 1 : 0)}));
    QCOMPARE(events.at(1).args.at(0).toInt(), result);
    QCOMPARE(events.at(1).args.at(1).toByteArray().toHex(), (isWrite ? request : taken).toHex());
    const PlCommand::Exchange record = runOnWorker<PlCommand::Exchange>(m_pl, [pl = m_pl] { return pl->lastExchange(); });
    QCOMPARE(record.request.toHex(), request.toHex());
    QCOMPARE(record.noiseBytes, noise);
    QVERIFY(record.received.contains(taken));

    // Whatever stray bytes are still on their way do not spoil the next exchange.
    QTest::qSleep(60);
    const QByteArray next = statusReply();
    expectPair(exchange(postStatusQuery, StatusQueryFrame, next), 0, "readCmdResult", 0, next);
}

void TestPlCommandExchange::deviceSideHangsUp()
{
    // The cable is pulled: the command on the line is answered as lost data,
    // then the executor closes the vanished port and says so; later polls are
    // dropped as on any closed port, and the worker stays responsive.
    m_pty->closeMaster();
    m_pty->closeSlaveKeeper();
    QElapsedTimer t;
    t.start();
    const quint8 w = callLaserOn(m_pl);
    const quint8 r = callStatusQuery(m_pl);
    QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
    const QVector<LinkEvent> events = m_rec->takeAll();
    // The hang-up shows on the port either while the write is on the line
    // (lost data, then the close) or before it starts (close, then the write
    // finds the port closed).
    QCOMPARE(int(r), 1);
    if (w == 255) {
        QCOMPARE(events.size(), 3);
        QCOMPARE(events.at(0).args, (QVariantList{qulonglong(1)}));
        QCOMPARE(events.at(1).args, (QVariantList{255, LaserOnFrame}));
        QCOMPARE(events.at(2).signal, QStringLiteral("turnOffSpcommResult"));
        QCOMPARE(events.at(2).args, (QVariantList{m_pty->slavePath(), 0}));
    } else {
        QCOMPARE(int(w), 1);
        QCOMPARE(events.size(), 2);
        QCOMPARE(events.at(0).signal, QStringLiteral("turnOffSpcommResult"));
        QCOMPARE(events.at(0).args, (QVariantList{m_pty->slavePath(), 0}));
        QCOMPARE(events.at(1).args, (QVariantList{1, LaserOnFrame}));
    }
    QCOMPARE(int(callAndWait<quint8>(m_pl, "turnOffSpcomm")), 0);
}

void TestPlCommandExchange::roundTripTimes()
{
    // Reported, not judged: how long a command takes from the queued call to
    // its result signal with an immediate device answer.
    const int rounds = 20;
    QVector<qint64> statusUs, writeUs;
    QElapsedTimer t;
    const QByteArray status = statusReply();
    for (int i = 0; i < rounds; ++i) {
        t.start();
        const auto events = exchange(postStatusQuery, StatusQueryFrame, status);
        statusUs << t.nsecsElapsed() / 1000;
        QCOMPARE(events.size(), 2);
        QCOMPARE(events.at(1).args.at(0).toInt(), 0);
        t.start();
        const auto wevents = exchange(postLaserOn, LaserOnFrame, writeReply(0));
        writeUs << t.nsecsElapsed() / 1000;
        QCOMPARE(wevents.size(), 2);
        QCOMPARE(wevents.at(1).args.at(0).toInt(), 0);
    }
    std::sort(statusUs.begin(), statusUs.end());
    std::sort(writeUs.begin(), writeUs.end());
    qInfo("status query (59-byte reply): median %.1f ms, max %.1f ms", statusUs.at(rounds / 2) / 1000.0,
          statusUs.last() / 1000.0);
    qInfo("write command (6-byte reply): median %.1f ms, max %.1f ms", writeUs.at(rounds / 2) / 1000.0,
          writeUs.last() / 1000.0);
}

QTEST_GUILESS_MAIN(TestPlCommandExchange)
#include "tst_plcommand_exchange.moc"
