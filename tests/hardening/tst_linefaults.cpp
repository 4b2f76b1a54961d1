// The command executor against the simulated laser on a line that drops,
// corrupts, splits, delays and pads a few percent of the replies, for a
// sustained run. The simulator logs what it did to every reply, so each
// result can be checked against the fault behind it.

#include "FaultLog.h"
#include "LinkTestSupport.h"
#include "SimProcess.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

constexpr quint16 WordPower = 0x0012;
constexpr quint16 WordThreshold = 0x0013; // refused by the device in this run
constexpr quint16 WordStatus = 0x00C1;

int campaignSeconds()
{
    bool ok = false;
    const int s = qEnvironmentVariableIntValue("KORVEX_CAMPAIGN_SECONDS", &ok);
    return ok && s > 0 ? s : 30;
}

struct Exchange
{
    quint16 word = 0;
    int result = -1;
    QByteArray frame;      // sent frame (writes) or received reply (reads)
    qulonglong errNums = 0; // count reported just before the result
    bool countReported = false;
};

} // namespace

class LineFaults : public QObject
{
    Q_OBJECT
private slots:
    void executorReportsEveryLostReplyAsFailure();
};

void LineFaults::executorReportsEveryLostReplyAsFailure()
{
    QTemporaryDir dir;
    const QString faultLog = dir.filePath("faults.log");
    SimProcess sim({"--seed", "20261207", "--drop", "0.04", "--corrupt", "0.04", "--trailing", "0.03",
                    "--split", "0.05", "--split-pause", "5", "--delay", "30", "--delay-share", "0.05",
                    "--refuse", "0x0013", "--fault-log", faultLog});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));

    auto *pl = new PlCommand;
    SignalRecorder rec(pl);
    QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm", Q_ARG(QVector<QString>, portSettings(sim.ptyPath())))), 0);
    rec.takeAll();

    // One command at a time, so that the n-th request the device logs is the
    // n-th command sent: status reads, power writes, refused threshold writes.
    QVector<Exchange> exchanges;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; clock.elapsed() < campaignSeconds() * 1000; ++i) {
        Exchange ex;
        switch (i % 3) {
        case 0:
            ex.word = WordStatus;
            callAndWait<quint8>(pl, "queryAllStatParam");
            break;
        case 1:
            ex.word = WordPower;
            callAndWait<quint8>(pl, "setPowerPercent", Q_ARG(quint16, quint16(i % 1001)));
            break;
        default:
            ex.word = WordThreshold;
            callAndWait<quint8>(pl, "setTempThreshold", Q_ARG(qint16, qint16(200 + i % 300)));
            break;
        }
        // Every exchange that reached the line reports the error count first,
        // then its result.
        for (const LinkEvent &e : rec.takeAll()) {
            if (e.signal == "sendCommErrNums") {
                QVERIFY2(!ex.countReported, "two error counts for one exchange");
                ex.errNums = e.args[0].toULongLong();
                ex.countReported = true;
            } else if (e.signal == "writeCmdResult" || e.signal == "readCmdResult") {
                QCOMPARE(ex.result, -1);
                ex.result = e.args[0].toInt();
                ex.frame = e.args[1].toByteArray();
            }
        }
        QVERIFY2(ex.result >= 0, "an exchange without a result");
        QVERIFY2(ex.countReported, "an exchange without an error count");
        exchanges.append(ex);
    }
    QCOMPARE(int(callAndWait<quint8>(pl, "turnOffSpcomm")), 0);
    pl->deleteLater();

    QVERIFY(sim.waitForFrames(exchanges.size()));
    const QList<FaultRecord> fates = readFaultLog(faultLog);
    QCOMPARE(fates.size(), exchanges.size());

    Protocol codec;
    quint64 expectedCount = 0;
    int lost = 0, lostWrites = 0, clean = 0, cleanFailed = 0, padded = 0, paddedOk = 0, splitOrLate = 0;
    for (int i = 0; i < exchanges.size(); ++i) {
        const Exchange &ex = exchanges[i];
        const FaultRecord &fate = fates[i];
        const QString where = QStringLiteral("exchange %1 (word %2, faults %3, result %4)")
                                  .arg(i).arg(ex.word, 4, 16, QChar('0'))
                                  .arg(QString::fromLatin1(fate.faults.join(','))).arg(ex.result);
        // The device saw exactly the command that was sent.
        QCOMPARE(quint16((quint8(fate.request[1]) << 8) | quint8(fate.request[2])), ex.word);
        if (ex.word != WordStatus)
            QCOMPARE(fate.request, ex.frame);

        // The possible results: 0 and 4 only from a reply that passed the check.
        QVERIFY2(ex.result == 0 || ex.result == 4 || ex.result == 255, qPrintable(where));
        if (ex.word == WordStatus)
            QVERIFY2(ex.result != 4, qPrintable(where));
        if (ex.result == 0 && ex.word == WordStatus) {
            QCOMPARE(codec.checkFrame(ex.frame), 0);
            QCOMPARE(ex.frame.mid(1, 2), QByteArray::fromHex("00C1"));
        }
        if (ex.word == WordPower && ex.result == 4)
            QFAIL(qPrintable("an accepted write reported as refused: " + where));
        if (ex.word == WordThreshold && ex.result == 0)
            QFAIL(qPrintable("a refused write reported as success: " + where));

        // A reply that was dropped or corrupted is never a success.
        if (fate.replyLost()) {
            ++lost;
            if (ex.word != WordStatus)
                ++lostWrites;
            QVERIFY2(ex.result == 255, qPrintable("lost reply not reported as failure: " + where));
        }
        if (fate.has("trailing")) {
            ++padded;
            paddedOk += ex.result != 255;
        }
        if (fate.has("split") || fate.has("delay"))
            ++splitOrLate;
        if (fate.clean()) {
            ++clean;
            cleanFailed += ex.result == 255;
        }

        // The count of consecutive failures, reset by any reply that passed.
        expectedCount = ex.result == 255 ? expectedCount + 1 : 0;
        QVERIFY2(ex.errNums == expectedCount, qPrintable(QStringLiteral("error count %1, expected %2 at ")
                                                             .arg(ex.errNums).arg(expectedCount) + where));
    }
    qInfo("%d exchanges in %d s: %d replies lost or corrupted (%d of them writes), %d padded (%d still passed), "
          "%d split or delayed, %d clean of which %d failed",
          exchanges.size(), campaignSeconds(), lost, lostWrites, padded, paddedOk, splitOrLate, clean, cleanFailed);
    QVERIFY(exchanges.size() > 100);
    QVERIFY(lost > 0);
    // A clean reply is answered well within the deadline; allow for a loaded
    // machine, but most must pass.
    QVERIFY2(cleanFailed * 10 < clean, "too many clean replies failed");
}

QTEST_GUILESS_MAIN(LineFaults)
#include "tst_linefaults.moc"
