#include "WatchCommand.h"

#include "Console.h"
#include "DeviceSession.h"
#include "ExitCode.h"
#include "KorvexCtl.h"
#include "SignalEvents.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {
// How long the exchanges on the line may take to end after the last poll.
constexpr int StopWaitMs = 10000;
} // namespace

WatchCommand::WatchCommand(const Settings &settings) : watchSettings(settings) {}

WatchCommand::~WatchCommand()
{
    sampleHub.finishAll();
}

UnitPoller *WatchCommand::addUnit(DeviceSession &session, int retries)
{
    UnitPoller::Settings s;
    s.port = session.portName();
    s.lineSettings = session.lineSettings();
    s.intervalMs = watchSettings.intervalMs;
    s.retries = retries;
    s.count = watchSettings.count;
    s.maxReopenBackOffMs = MaxReopenBackOffMs;
    auto unit = std::make_unique<Unit>();
    unit->poller = std::make_unique<UnitPoller>(session.executor(), s);
    unit->openAtStart = session.isOpen();
    sampleHub.watch(unit->poller.get());
    UnitPoller *poller = unit->poller.get();
    units.push_back(std::move(unit));
    return poller;
}

void WatchCommand::addOutput(std::unique_ptr<WatchOutput> output, const QString &port)
{
    sampleHub.addOutput(std::move(output), port);
}

WatchCommand::Unit *WatchCommand::unitOf(const QString &port)
{
    for (const auto &u : units)
        if (u->poller->port() == port)
            return u.get();
    return nullptr;
}

bool WatchCommand::allFinished() const
{
    for (const auto &u : units)
        if (u->poller->isRunning())
            return false;
    return true;
}

qint64 WatchCommand::samples() const
{
    qint64 n = 0;
    for (const auto &u : units)
        n += u->poller->samples();
    return n;
}

qint64 WatchCommand::lostSamples() const
{
    qint64 n = 0;
    for (const auto &u : units)
        n += u->poller->lostSamples();
    return n;
}

QStringList WatchCommand::summaryLines() const
{
    QStringList out;
    for (const auto &u : units) {
        const QString serial = u->poller->serial();
        const QString who = units.size() == 1 ? QString()
                            : serial.isEmpty() ? u->poller->port() + QStringLiteral(": ")
                                               : QStringLiteral("%1 (%2): ").arg(u->poller->port(), serial);
        out << who + u->summary.text();
    }
    return out;
}

bool WatchCommand::nothingToSum() const
{
    if (watchSettings.count == 0)
        return false;
    for (const auto &u : units) {
        if (u->summary.lost() > 0 || !u->summary.alarmsSeen().isEmpty()
            || u->summary.samples() < watchSettings.count)
            return false;
    }
    return true;
}

void WatchCommand::stopPolls()
{
    for (const auto &u : units)
        u->poller->stop();
    // Every question on the line gets its sample: the device counted it.
    QElapsedTimer waited;
    waited.start();
    auto busy = [this] {
        for (const auto &u : units)
            if (u->poller->isBusy())
                return true;
        return false;
    };
    while (busy() && waited.elapsed() < StopWaitMs) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

int WatchCommand::run()
{
    QEventLoop loop;
    bool stoppedByUser = false;
    QObject context;
    QObject::connect(&sampleHub, &SampleHub::sampled, &context, [this](const PolledSample &s) {
        if (Unit *u = unitOf(s.port))
            u->summary.add(s);
    });
    QObject::connect(&sampleHub, &SampleHub::outputFailed, &context, [this, &loop](const QString &, const QString &why) {
        if (!failed)
            error = why;
        failed = true;
        loop.quit();
    });
    QObject::connect(&sampleHub, &SampleHub::reopenFailed, &context,
                     [](const QString &why) { Console::error(QStringLiteral("watch: %1").arg(why)); });
    for (const auto &u : units) {
        UnitPoller *poller = u->poller.get();
        QObject::connect(poller, &UnitPoller::finished, &context, [this, &loop] {
            if (allFinished())
                loop.quit();
        });
        QObject::connect(poller, &UnitPoller::portGone, &context, [this, &loop](const QString &port) {
            if (watchSettings.exitOnPortLoss) {
                error = QStringLiteral("port %1 is closed (device gone?)").arg(port);
                portLost = true;
                loop.quit();
                return;
            }
            // The outputs stay open; a lost row per interval until it is back.
            Console::error(QStringLiteral("watch: port %1 is gone; waiting for it (a lost row per poll meanwhile)").arg(port));
        });
        QObject::connect(poller, &UnitPoller::portBack, &context, [](const QString &port) {
            Console::error(QStringLiteral("watch: port %1 is back").arg(port));
        });
    }
    // Ctrl-C is noticed within 20 ms; SIGHUP (log rotation) reopens the files between polls.
    QTimer signalCheck;
    QObject::connect(&signalCheck, &QTimer::timeout, &context, [this, &loop, &stoppedByUser] {
        if (SignalEvents::reopenPending().exchange(false))
            sampleHub.reopenAll();
        if (KorvexCtl::stopRequested().load()) {
            stoppedByUser = true;
            loop.quit();
        }
    });
    signalCheck.start(20);
    QTimer duration;
    duration.setSingleShot(true);
    duration.setTimerType(Qt::PreciseTimer); // a coarse timer may end a 10 s watch half a second late
    QObject::connect(&duration, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (watchSettings.durationMs > 0)
        duration.start(int(qMin<qint64>(watchSettings.durationMs, 0x7fffffff)));
    for (const auto &u : units)
        u->poller->start(u->openAtStart);
    if (!KorvexCtl::stopRequested().load())
        loop.exec();
    else
        stoppedByUser = true;
    signalCheck.stop();
    stopPolls();
    sampleHub.finishAll();

    if (failed)
        return ExitCode::Failed;
    if (portLost)
        return ExitCode::NoReply;
    for (const auto &u : units) {
        if (u->poller->samples() == 0 && u->poller->lostSamples() > 0) {
            error = units.size() == 1 ? QStringLiteral("no valid reply in %1 polls").arg(u->poller->lostSamples())
                                      : QStringLiteral("no valid reply from %1 in %2 polls")
                                            .arg(u->poller->port())
                                            .arg(u->poller->lostSamples());
            return ExitCode::NoReply;
        }
    }
    const bool limited = watchSettings.count > 0 || watchSettings.durationMs > 0;
    if (stoppedByUser && limited) {
        error = QStringLiteral("cancelled after %1 samples").arg(samples() + lostSamples());
        return ExitCode::Aborted;
    }
    return ExitCode::Done;
}
