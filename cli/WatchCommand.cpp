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
    : m_session(session), m_settings(settings), m_portOpen(session.isOpen()), m_openBackOffMs(settings.intervalMs)
{
}

void WatchCommand::reopenOutputs()
{
    for (const auto &output : m_outputs) {
        if (!output->reopen())
            Console::error(QStringLiteral("watch: %1").arg(output->errorText()));
    }
}

void WatchCommand::addOutput(std::unique_ptr<WatchOutput> output)
{
    m_outputs.push_back(std::move(output));
}

bool WatchCommand::waitUntil(qint64 elapsedMs)
{
    while (!KorvexCtl::stopRequested().load()) {
        // SIGHUP (log rotation): the files are reopened between polls.
        if (SignalEvents::reopenPending().exchange(false))
            reopenOutputs();
        const qint64 remaining = elapsedMs - m_clock.elapsed();
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
        ++m_samples;
    else
        ++m_lost;
    for (const auto &output : m_outputs) {
        const bool written = cache ? output->sample(time, *cache) : output->lost(time);
        if (!written) {
            m_error = output->errorText().isEmpty() ? QStringLiteral("an output could not be written")
                                                    : output->errorText();
            m_failed = true;
            return false;
        }
    }
    return true;
}

bool WatchCommand::tryReopen()
{
    // A stat per interval is cheap; an open that fails is retried less often.
    if (!QFileInfo::exists(m_session.portName())) {
        m_openBackOffMs = m_settings.intervalMs;
        return false;
    }
    if (m_clock.elapsed() < m_nextOpenMs)
        return false;
    if (m_session.open() == ExitCode::Done) {
        m_portOpen = true;
        m_openBackOffMs = m_settings.intervalMs;
        Console::error(QStringLiteral("watch: port %1 is back").arg(m_session.portName()));
        return true;
    }
    m_nextOpenMs = m_clock.elapsed() + m_openBackOffMs;
    m_openBackOffMs = qMin(m_openBackOffMs * 2, qMax(MaxReopenBackOffMs, m_settings.intervalMs));
    return false;
}

bool WatchCommand::pollOnce()
{
    // The sample's time is when it was asked for.
    const QDateTime time = QDateTime::currentDateTime();
    if (!m_portOpen && !tryReopen())
        return deliver(time, nullptr);
    DevStatusCache cache;
    const int code = m_session.readStatus(cache);
    if (code == ExitCode::Done)
        return deliver(time, &cache);
    if (!deliver(time, nullptr))
        return false;
    if (!m_session.isOpen()) {
        if (m_settings.exitOnPortLoss) {
            m_error = m_session.errorText();
            return false;
        }
        // The outputs stay open; a lost row per interval until it is back.
        m_portOpen = false;
        m_nextOpenMs = 0;
        m_openBackOffMs = m_settings.intervalMs;
        Console::error(QStringLiteral("watch: port %1 is gone; waiting for it (a lost row per poll meanwhile)")
                           .arg(m_session.portName()));
    }
    return true;
}

int WatchCommand::run()
{
    m_clock.start();
    qint64 next = 0;
    bool stoppedByUser = false;
    bool stopped = false;
    while (!stopped) {
        if (!waitUntil(next)) {
            stoppedByUser = true;
            break;
        }
        if (m_settings.durationMs > 0 && m_clock.elapsed() >= m_settings.durationMs)
            break;
        if (!pollOnce())
            stopped = true;
        if (m_settings.count > 0 && m_samples + m_lost >= m_settings.count)
            break;
        // A fixed rate; a poll that overran its slot starts the next at once.
        next += m_settings.intervalMs;
        if (next < m_clock.elapsed())
            next = m_clock.elapsed();
    }
    for (const auto &output : m_outputs)
        output->finish();
    if (m_failed)
        return ExitCode::Failed;
    if (stopped)
        return ExitCode::NoReply;
    if (m_samples == 0 && m_lost > 0) {
        m_error = QStringLiteral("no valid reply in %1 polls").arg(m_lost);
        return ExitCode::NoReply;
    }
    const bool limited = m_settings.count > 0 || m_settings.durationMs > 0;
    if (stoppedByUser && limited) {
        m_error = QStringLiteral("cancelled after %1 samples").arg(m_samples + m_lost);
        return ExitCode::Aborted;
    }
    return ExitCode::Done;
}
