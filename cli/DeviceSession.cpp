#include "DeviceSession.h"

#include "CommandCatalogue.h"
#include "Console.h"
#include "ExitCode.h"
#include "FrameTrace.h"
#include "PlCommand.h"
#include "PortCheck.h"
#include "SignalEvents.h"
#include "StatusDecoder.h"
#include "UnitPoller.h"

#include <QMetaObject>

namespace {

constexpr int PidReplySize = 3 + 20 + 2;

} // namespace

DeviceSession::DeviceSession(const LineOptions &line) : lineOptions(line)
{
    plCommand = new PlCommand;
    plCommand->setReplyTimeout(line.timeoutMs); // before the worker runs a command
    if (line.verbose)
        FrameTrace::attach(*plCommand, line.port());
    // Direct connections: the answers are taken on the worker thread while
    // the blocking call that caused them is still running.
    QObject::connect(plCommand, &PlCommand::readCmdResult, plCommand,
                     [this](quint8, QByteArray reply) { lastReply = reply; }, Qt::DirectConnection);
    QObject::connect(plCommand, &PlCommand::sendCommErrNums, plCommand,
                     [this](quint32 count) { failures = count; }, Qt::DirectConnection);
}

DeviceSession::~DeviceSession()
{
    // Deleted from this thread, the executor stops its worker, then closes.
    delete plCommand;
}

quint8 DeviceSession::runOnWorker(const std::function<quint8(PlCommand &)> &command)
{
    quint8 result = ResultPortClosed;
    QMetaObject::invokeMethod(
        plCommand, [&] { result = command(*plCommand); }, Qt::BlockingQueuedConnection);
    return result;
}

int DeviceSession::open()
{
    if (stopped())
        return ExitCode::Aborted;
    const QString name = lineOptions.port();
    const LineSettings settings = lineOptions.lineSettings(name);
    const quint8 result = runOnWorker([&](PlCommand &c) { return c.openPort(settings); });
    if (result != ResultOk) {
        const QString why = PortCheck::whyNotOpened(name);
        error = why.isEmpty() ? QStringLiteral("cannot open port %1").arg(name)
                                : QStringLiteral("cannot open port %1: %2").arg(name, why);
        return ExitCode::PortNotOpened;
    }
    return ExitCode::Done;
}

quint64 DeviceSession::lineNoiseBytes() const
{
    // Read between blocking calls: the worker has finished with it.
    return plCommand->lineNoiseBytes();
}

bool DeviceSession::isOpen()
{
    bool open = false;
    QMetaObject::invokeMethod(
        plCommand, [&] { open = plCommand->isSpcOn(); }, Qt::BlockingQueuedConnection);
    return open;
}

void DeviceSession::traceRetry(int attempt, quint8 lastResult)
{
    if (!lineOptions.verbose)
        return;
    const QString why = lastResult == ResultBusBusy ? QStringLiteral("line busy") : QStringLiteral("no valid reply");
    Console::trace(FrameTrace::retryLine(lineOptions.port(), attempt, lineOptions.retries + 1, why));
}

int DeviceSession::failureFor(quint8 result, int attempts)
{
    switch (result) {
    case ResultDeviceError:
        error = QStringLiteral("refused by the device");
        return ExitCode::Failed;
    case ResultPortClosed:
        error = QStringLiteral("port %1 is closed (device gone?)").arg(lineOptions.port());
        return ExitCode::NoReply;
    case ResultRefused:
        error = QStringLiteral("not sent: a value outside the command's range");
        return ExitCode::BadArguments;
    default:
        error = attempts == 1 ? QStringLiteral("no valid reply")
                                : QStringLiteral("no valid reply in %1 attempts").arg(attempts);
        return ExitCode::NoReply;
    }
}

bool DeviceSession::stopped()
{
    if (!stopsOnSignal || !SignalEvents::pending().load())
        return false;
    error = QStringLiteral("stopped by a signal before the next frame");
    return true;
}

int DeviceSession::withRetries(const std::function<quint8()> &attempt, const std::function<bool(quint8)> &isFinal)
{
    quint8 result = ResultPortClosed;
    int attempts = 0;
    while (attempts <= lineOptions.retries) {
        if (stopped())
            return ExitCode::Aborted;
        if (attempts > 0)
            traceRetry(attempts + 1, result);
        ++attempts;
        result = attempt();
        if (isFinal(result))
            break;
    }
    if (result == ResultOk) {
        error.clear();
        return ExitCode::Done;
    }
    return failureFor(result, attempts);
}

int DeviceSession::write(const std::function<quint8(PlCommand &)> &command)
{
    // Only a lost reply (or a busy line, code 2) is worth asking again: a refusal
    // is the device's answer and a closed port stays closed.
    return withRetries([&] { return runOnWorker(command); },
                       [](quint8 result) {
                           return result == ResultOk || result == ResultDeviceError || result == ResultPortClosed
                               || result == ResultRefused;
                       });
}

int DeviceSession::readReply(const std::function<quint8(PlCommand &)> &query,
                             const std::function<bool(const QByteArray &)> &accept)
{
    return withRetries(
        [&]() -> quint8 {
            lastReply.clear();
            const quint8 result = runOnWorker(query);
            if (result == ResultOk && accept(lastReply))
                return ResultOk;
            // A well-formed frame of the wrong kind or length is as good as lost.
            return result == ResultPortClosed ? result : quint8(ResultDataLost);
        },
        [](quint8 result) { return result == ResultOk || result == ResultPortClosed; });
}

int DeviceSession::readStatus(DevStatusCache &cache)
{
    return readReply([](PlCommand &c) { return c.queryAllStatParam(); },
                     [&cache](const QByteArray &reply) { return UnitPoller::decodeStatus(reply, &cache); });
}

int DeviceSession::readPid(QVector<quint32> &values)
{
    return readReply([](PlCommand &c) { return c.queryPidParam(); },
                     [&values](const QByteArray &reply) {
                         if (StatusDecoder::commandWord(reply) != StatusDecoder::WordPidParam
                             || reply.size() < PidReplySize)
                             return false;
                         values = StatusDecoder::decodePidReply(reply).mid(0, 5);
                         return true;
                     });
}
