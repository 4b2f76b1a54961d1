// The sample hub and the unit poller: every sample reaches every output of
// its unit, an output that fails is let go while the rest go on, and units
// on one event loop never wait for each other (real simulators on ptys).

#include "CommandCatalogue.h"
#include "PlCommand.h"
#include "SampleHub.h"
#include "SimProcess.h"
#include "UnitPoller.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

struct Tally
{
    QList<PolledSample> taken;
    bool finished = false;
};

// Remembers what it was given; fails from its failAt-th sample on (0: never).
class TallyOutput : public WatchOutput
{
public:
    TallyOutput(Tally *tally, int failAt = 0) : tally(tally), failAt(failAt) {}
    bool take(const PolledSample &s) override
    {
        if (failAt > 0 && tally->taken.size() + 1 >= failAt)
            return false;
        tally->taken.append(s);
        return true;
    }
    bool sample(const QDateTime &, const DevStatusCache &) override { return true; }
    bool lost(const QDateTime &) override { return true; }
    void finish() override { tally->finished = true; }
    QString errorText() const override { return QStringLiteral("disk full"); }

private:
    Tally *tally;
    int failAt;
};

PolledSample sampleOf(const QString &port, bool answered)
{
    PolledSample s;
    s.time = QDateTime::currentDateTime();
    s.port = port;
    s.answered = answered;
    return s;
}

QVector<QString> lineFor(const QString &path)
{
    return {path, QStringLiteral("19200"), QStringLiteral("1"), QStringLiteral("无校验")};
}

// One unit: its executor with the port open, and its poller.
struct Unit
{
    explicit Unit(const QString &path, UnitPoller::Settings settings) : executor(new PlCommand)
    {
        quint8 result = ResultPortClosed;
        QMetaObject::invokeMethod(
            executor, [&] { result = executor->turnOnSpcomm(lineFor(path)); }, Qt::BlockingQueuedConnection);
        opened = result == ResultOk;
        settings.port = path;
        LineSettings::fromDialogTexts(lineFor(path), &settings.lineSettings);
        poller = std::make_unique<UnitPoller>(executor, settings);
    }
    ~Unit()
    {
        poller.reset();
        delete executor;
    }
    PlCommand *executor;
    std::unique_ptr<UnitPoller> poller;
    bool opened = false;
};

} // namespace

class TestSampleHub : public QObject
{
    Q_OBJECT
private slots:
    void aFailedOutputIsLetGo_data();
    void aFailedOutputIsLetGo();
    void aUnitThatVanishesIsWaitedFor();
    void aHungUnitDelaysNoOther();
};

void TestSampleHub::aFailedOutputIsLetGo_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<QString>("routedTo"); // the failing output's unit ("": all)
    QTest::addColumn<int>("failingGets");
    QTest::addColumn<int>("failures");
    QTest::newRow("never fails") << 0 << QString() << 6 << 0;
    QTest::newRow("fails at once") << 1 << QString() << 0 << 1;
    QTest::newRow("fails at the third") << 3 << QString() << 2 << 1;
    QTest::newRow("one unit's output, fails at its second") << 2 << QStringLiteral("B") << 1 << 1;
    QTest::newRow("one unit's output, never fails") << 0 << QStringLiteral("B") << 3 << 0;
}

void TestSampleHub::aFailedOutputIsLetGo()
{
    QFETCH(int, failAt);
    QFETCH(QString, routedTo);
    QFETCH(int, failingGets);
    QFETCH(int, failures);
    Tally failing, steady;
    SampleHub hub;
    QSignalSpy failed(&hub, &SampleHub::outputFailed);
    QSignalSpy seen(&hub, &SampleHub::sampled);
    hub.addOutput(std::make_unique<TallyOutput>(&failing, failAt), routedTo);
    hub.addOutput(std::make_unique<TallyOutput>(&steady));
    for (int i = 0; i < 3; ++i) {
        hub.deliver(sampleOf(QStringLiteral("A"), true));
        hub.deliver(sampleOf(QStringLiteral("B"), i != 1));
    }
    QCOMPARE(failing.taken.size(), failingGets);
    QCOMPARE(steady.taken.size(), 6); // the other output misses nothing
    QCOMPARE(seen.size(), 6);
    QCOMPARE(failed.size(), failures);
    QCOMPARE(failing.finished, failures > 0);
    QCOMPARE(hub.outputCount(), 2 - failures);
    if (failures) {
        QCOMPARE(failed.first().at(1).toString(), QStringLiteral("disk full"));
        if (!routedTo.isEmpty())
            QCOMPARE(failed.first().at(0).toString(), routedTo);
    }
    for (const PolledSample &s : failing.taken)
        QVERIFY(routedTo.isEmpty() || s.port == routedTo);
    QCOMPARE(steady.taken.at(3).answered, false); // B's lost poll is a sample too
    hub.finishAll();
    QVERIFY(steady.finished);
    QCOMPARE(hub.outputCount(), 0);
}

void TestSampleHub::aUnitThatVanishesIsWaitedFor()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("unit"));
    auto sim = std::make_unique<SimProcess>(QStringList{QStringLiteral("--link"), link});
    QVERIFY2(sim->isRunning(), qPrintable(sim->errorText()));
    UnitPoller::Settings settings;
    settings.intervalMs = 100;
    Unit unit(link, settings);
    QVERIFY(unit.opened);
    Tally tally; // outlives the hub, which finishes its outputs when it goes
    SampleHub hub;
    hub.addOutput(std::make_unique<TallyOutput>(&tally), link);
    hub.watch(unit.poller.get());
    QSignalSpy gone(unit.poller.get(), &UnitPoller::portGone);
    QSignalSpy back(unit.poller.get(), &UnitPoller::portBack);
    unit.poller->start(true);
    QTRY_VERIFY_WITH_TIMEOUT(unit.poller->samples() >= 3, 10000);
    const QString serial = tally.taken.last().serial;
    QCOMPARE(serial, QStringLiteral("25001-202407090001"));

    sim.reset(); // the unit goes, its link with it
    QTRY_VERIFY_WITH_TIMEOUT(gone.size() == 1, 10000);
    QVERIFY(!unit.poller->portOpen());
    const int before = tally.taken.size();
    QTRY_VERIFY_WITH_TIMEOUT(tally.taken.size() >= before + 3, 10000); // polls go on, lost
    for (int i = before; i < tally.taken.size(); ++i) {
        QVERIFY(!tally.taken.at(i).answered);
        QCOMPARE(tally.taken.at(i).serial, serial); // still known as the unit it was
        QVERIFY(!tally.taken.at(i).portOpen);
    }

    sim = std::make_unique<SimProcess>(QStringList{QStringLiteral("--link"), link});
    QVERIFY2(sim->isRunning(), qPrintable(sim->errorText()));
    QTRY_VERIFY_WITH_TIMEOUT(back.size() == 1, 10000);
    const qint64 answeredBefore = unit.poller->samples();
    QTRY_VERIFY_WITH_TIMEOUT(unit.poller->samples() >= answeredBefore + 2, 10000);
    QVERIFY(tally.taken.last().answered);
    QVERIFY(unit.poller->portOpen());
}

void TestSampleHub::aHungUnitDelaysNoOther()
{
    // Two units answer; the third takes every request and never answers, so
    // each of its polls lasts its three attempts' reply timeouts.
    SimProcess a, b, hung(QStringList{QStringLiteral("--silent-after"), QStringLiteral("0")});
    QVERIFY2(a.isRunning() && b.isRunning() && hung.isRunning(), qPrintable(a.errorText() + b.errorText()));
    UnitPoller::Settings settings;
    settings.intervalMs = 50;
    settings.count = 12;
    Unit ua(a.ptyPath(), settings), ub(b.ptyPath(), settings), uh(hung.ptyPath(), settings);
    QVERIFY(ua.opened && ub.opened && uh.opened);
    Tally all; // outlives the hub, which finishes its outputs when it goes
    SampleHub hub;
    hub.addOutput(std::make_unique<TallyOutput>(&all));
    for (Unit *u : {&ua, &ub, &uh}) {
        hub.watch(u->poller.get());
        u->poller->start(true);
    }
    QSignalSpy aDone(ua.poller.get(), &UnitPoller::finished), bDone(ub.poller.get(), &UnitPoller::finished);
    QTRY_VERIFY_WITH_TIMEOUT(aDone.size() == 1 && bDone.size() == 1, 20000);
    // Polled in turn, every unit would have as many polls as the slowest.
    QCOMPARE(ua.poller->samples(), 12);
    QCOMPARE(ub.poller->samples(), 12);
    const qint64 hungPolls = uh.poller->samples() + uh.poller->lostSamples();
    QVERIFY2(hungPolls < 12, qPrintable(QString::number(hungPolls)));
    QCOMPARE(uh.poller->samples(), 0);
    for (const PolledSample &s : all.taken) {
        QCOMPARE(s.answered, s.port != hung.ptyPath());
        if (s.answered)
            QVERIFY(!s.serial.isEmpty());
    }
    uh.poller->stop();
    QTRY_VERIFY_WITH_TIMEOUT(!uh.poller->isBusy(), 5000);
}

QTEST_GUILESS_MAIN(TestSampleHub)
#include "tst_samplehub.moc"
