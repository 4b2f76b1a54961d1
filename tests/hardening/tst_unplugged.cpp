// The far end of the device line vanishing (a USB adapter pulled out, here
// the simulated laser killed so that its side of the pseudo-terminal closes)
// while the executor polls and while a command runs. The executor must not
// crash, hang or spin: it closes the port and reports the link as closed.

#include "CpuClock.h"
#include "LinkTestSupport.h"
#include "SimProcess.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

class Unplugged : public QObject
{
    Q_OBJECT
private slots:
    void vanishingWhilePolling();
    void vanishingDuringACommand();

private:
    // Collects the events of one kind from the recorder while polling the
    // status every 100 ms (as the main window does), until pred holds.
    bool pollUntil(PlCommand *pl, SignalRecorder &rec, QVector<LinkEvent> &seen, int timeoutMs,
                   const std::function<bool(const QVector<LinkEvent> &)> &pred);
};

// Events of one signal; for the command results optionally only one code.
static int countOf(const QVector<LinkEvent> &events, const char *signal, int result = -1)
{
    int n = 0;
    for (const LinkEvent &e : events)
        if (e.signal == QLatin1String(signal) && (result < 0 || e.args.value(0).toInt() == result))
            ++n;
    return n;
}

bool Unplugged::pollUntil(PlCommand *pl, SignalRecorder &rec, QVector<LinkEvent> &seen, int timeoutMs,
                          const std::function<bool(const QVector<LinkEvent> &)> &pred)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        postToWorker(pl, [pl] { pl->queryAllStatParam(); });
        QTest::qWait(100);
        seen += rec.takeAll();
        if (pred(seen))
            return true;
    }
    return false;
}

void Unplugged::vanishingWhilePolling()
{
    auto sim = std::make_unique<SimProcess>();
    QVERIFY2(sim->isRunning(), qPrintable(sim->errorText()));
    auto *pl = new PlCommand;
    SignalRecorder rec(pl);
    QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm", Q_ARG(QVector<QString>, portSettings(sim->ptyPath())))), 0);

    QVector<LinkEvent> seen;
    QVERIFY(pollUntil(pl, rec, seen, 5000, [](const QVector<LinkEvent> &ev) {
        return countOf(ev, "readCmdResult", 0) >= 3;
    }));

    // Pull the plug, and time how long the executor takes to notice.
    rec.takeAll();
    seen.clear();
    QElapsedTimer sincePull;
    sincePull.start();
    sim->process().kill();
    QVERIFY(sim->process().waitForFinished(5000));
    while (sincePull.elapsed() < 5000 && countOf(seen += rec.takeAll(), "turnOffSpcommResult") == 0)
        QThread::msleep(1);
    qInfo("far end closed while polling -> port closed by the executor: %.1f ms", sincePull.nsecsElapsed() / 1e6);
    QVERIFY2(sincePull.elapsed() < 1500, qPrintable(QString::number(sincePull.elapsed())));
    QVERIFY2(pollUntil(pl, rec, seen, 5000, [](const QVector<LinkEvent> &ev) {
        return countOf(ev, "turnOffSpcommResult") > 0;
    }), "the executor never reported the port closed");
    QCOMPARE(countOf(seen, "turnOffSpcommResult"), 1);
    QCOMPARE(countOf(seen, "readCmdResult", 0), 0);
    QVERIFY(!callAndWait<bool>(pl, "isSpcOn"));

    // Idle from now on: polls are dropped, writes report the closed port, and
    // the worker does not spin.
    seen.clear();
    const qint64 cpu0 = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    pollUntil(pl, rec, seen, 2000, [](const QVector<LinkEvent> &) { return false; });
    const qint64 cpu = processCpuMs() - cpu0;
    qInfo("after the unplug: %lld ms CPU in %lld ms", cpu, wall.elapsed());
    QVERIFY2(cpu < wall.elapsed() / 2, "busy after the port vanished");
    QCOMPARE(countOf(seen, "readCmdResult"), 0);
    QCOMPARE(int(callAndWait<quint8>(pl, "turnOnOffLd", Q_ARG(quint8, 1))), 1);

    // Plugged in again: the operator opens the port anew and polling works.
    sim = std::make_unique<SimProcess>();
    QVERIFY2(sim->isRunning(), qPrintable(sim->errorText()));
    QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm", Q_ARG(QVector<QString>, portSettings(sim->ptyPath())))), 0);
    seen.clear();
    QVERIFY(pollUntil(pl, rec, seen, 5000, [](const QVector<LinkEvent> &ev) {
        return countOf(ev, "readCmdResult", 0) >= 2;
    }));
    QCOMPARE(countOf(seen, "turnOffSpcommResult"), 0);
    pl->deleteLater();
}

void Unplugged::vanishingDuringACommand()
{
    // The device answers only after 80 ms; the line goes within that time.
    SimProcess sim({"--delay", "80"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    auto *pl = new PlCommand;
    SignalRecorder rec(pl);
    QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm", Q_ARG(QVector<QString>, portSettings(sim.ptyPath())))), 0);
    rec.takeAll();

    postToWorker(pl, [pl] { pl->setPowerPercent(500); });
    QVERIFY(sim.waitForFrames(1));
    sim.process().kill();
    QVERIFY(sim.process().waitForFinished(5000));

    QVERIFY(rec.waitForCount(3, 5000));
    QTest::qWait(200);
    const QVector<LinkEvent> seen = rec.takeAll();
    QCOMPARE(countOf(seen, "writeCmdResult"), 1);
    QCOMPARE(countOf(seen, "writeCmdResult", 255), 1);
    QCOMPARE(countOf(seen, "turnOffSpcommResult"), 1);
    QVERIFY(!callAndWait<bool>(pl, "isSpcOn"));

    const qint64 cpu0 = processCpuMs();
    QTest::qWait(2000);
    const qint64 cpu = processCpuMs() - cpu0;
    QVERIFY2(cpu < 1000, qPrintable(QStringLiteral("%1 ms CPU in 2 s").arg(cpu)));
    pl->deleteLater();
}

QTEST_GUILESS_MAIN(Unplugged)
#include "tst_unplugged.moc"
