#include "WatchCommand.h"

#include "Console.h"
#include "DeviceSession.h"
#include "ExitCode.h"
#include "KorvexCtl.h"
#include "SignalEvents.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

WatchCommand::WatchCommand(DeviceSession &session, const Settings &settings)
    : deviceSession(session), watchSettings(settings), portIsOpen(session.isOpen()), openBackOffMs(settings.intervalMs)
{
}

void WatchCommand::reopenOutputs()
{
    for (const auto &output : outputs) {
        if (!output->reopen())
            Console::error(QStringLiteral("watch: %1").arg(output->errorText()));
    }
}

void WatchCommand::addOutput(std::unique_ptr<WatchOutput> output)
{
    outputs.push_back(std::move(output));
}

bool WatchCommand::waitUntil(qint64 elapsedMs)
{
    while (!KorvexCtl::stopRequested().load()) {
        // SIGHUP (log rotation): the files are reopened between polls.
        if (SignalEvents::reopenPending().exchange(false))
            reopenOutputs();
        const qint64 remaining = elapsedMs - clock.elapsed();
        if (remaining <= 0)
            return true;
        // Short slices: Ctrl-C is noticed within 20 ms.
        QEventLoop loop;
        QTimer::singleShot(int(qMin<qint64>(remaining, 20)), &loop, &QEventLoop::quit);
        loop.exec();
    }
    return false;
}

bool WatchCommand::deliver(const QDateTime &time, const DevStatusCache *cache)
{
    if (cache)
        ++sampleCount;
    else
        ++lost;
    for (const auto &output : outputs) {
        const bool written = cache ? output->sample(time, *cache) : output->lost(time);
        if (!written) {
            error = output->errorText().isEmpty() ? QStringLiteral("an output could not be written")
                                                    : output->errorText();
            failed = true;
            return false;
        }
    }
    return true;
}

bool WatchCommand::tryReopen()
{
    // A stat per interval is cheap; an open that fails is retried less often.
    if (!QFileInfo::exists(deviceSession.portName())) {
        openBackOffMs = watchSettings.intervalMs;
        return false;
    }
    if (clock.elapsed() < nextOpenMs)
        return false;
    if (deviceSession.open() == ExitCode::Done) {
        portIsOpen = true;
        openBackOffMs = watchSettings.intervalMs;
        Console::error(QStringLiteral("watch: port %1 is back").arg(deviceSession.portName()));
        return true;
    }
    nextOpenMs = clock.elapsed() + openBackOffMs;
    openBackOffMs = qMin(openBackOffMs * 2, qMax(MaxReopenBackOffMs, watchSettings.intervalMs));
    return false;
}

bool WatchCommand::pollOnce()
{
    // The sample's time is when it was asked for.
    const QDateTime time = QDateTime::currentDateTime();
    if (!portIsOpen && !tryReopen())
        return deliver(time, nullptr);
    DevStatusCache cache;
    const int code = deviceSession.readStatus(cache);
    if (code == ExitCode::Done)
        return deliver(time, &cache);
    if (!deliver(time, nullptr))
        return false;
    if (!deviceSession.isOpen()) {
        if (watchSettings.exitOnPortLoss) {
            error = deviceSession.errorText();
            return false;
        }
        // The outputs stay open; a lost row per interval until it is back.
        portIsOpen = false;
        nextOpenMs = 0;
        openBackOffMs = watchSettings.intervalMs;
        Console::error(QStringLiteral("watch: port %1 is gone; waiting for it (a lost row per poll meanwhile)")
                           .arg(deviceSession.portName()));
    }
    return true;
}

int WatchCommand::run()
{
    clock.start();
    qint64 next = 0;
    bool stoppedByUser = false;
    bool stopped = false;
    while (!stopped) {
        if (!waitUntil(next)) {
            stoppedByUser = true;
            break;
        }
        if (watchSettings.durationMs > 0 && clock.elapsed() >= watchSettings.durationMs)
            break;
        if (!pollOnce())
            stopped = true;
        if (watchSettings.count > 0 && sampleCount + lost >= watchSettings.count)
            break;
        // A fixed rate; a poll that overran its slot starts the next at once.
        next += watchSettings.intervalMs;
        if (next < clock.elapsed())
            next = clock.elapsed();
    }
    for (const auto &output : outputs)
        output->finish();
    if (failed)
        return ExitCode::Failed;
    if (stopped)
        return ExitCode::NoReply;
    if (sampleCount == 0 && lost > 0) {
        error = QStringLiteral("no valid reply in %1 polls").arg(lost);
        return ExitCode::NoReply;
    }
    const bool limited = watchSettings.count > 0 || watchSettings.durationMs > 0;
    if (stoppedByUser && limited) {
        error = QStringLiteral("cancelled after %1 samples").arg(sampleCount + lost);
        return ExitCode::Aborted;
    }
    return ExitCode::Done;
}
