#include "ExecutorUnitLink.h"

#include "CommandCatalogue.h"
#include "ExitCode.h"
#include "PlCommand.h"
#include "UnitPoller.h"

#include <QMetaObject>

ExecutorUnitLink::ExecutorUnitLink(PlCommand *plCommand, int retryCount) : executor(plCommand), retries(retryCount) {}

int ExecutorUnitLink::open()
{
    bool isOpen = false;
    QMetaObject::invokeMethod(executor, [&] { isOpen = executor->isSpcOn(); }, Qt::BlockingQueuedConnection);
    if (!isOpen) {
        error = QStringLiteral("the device port is not open");
        return ExitCode::PortNotOpened;
    }
    error.clear();
    return ExitCode::Done;
}

int ExecutorUnitLink::failureFor(quint8 result)
{
    switch (result) {
    case ResultDeviceError:
        error = QStringLiteral("refused by the device");
        return ExitCode::Failed;
    case ResultPortClosed:
        error = QStringLiteral("the device port is closed (device gone?)");
        return ExitCode::NoReply;
    case ResultRefused:
        error = QStringLiteral("not sent: a value outside the command's range");
        return ExitCode::BadArguments;
    default:
        error = QStringLiteral("no valid reply in %1 attempts").arg(retries + 1);
        return ExitCode::NoReply;
    }
}

int ExecutorUnitLink::readStatus(DevStatusCache &cache)
{
    quint8 result = ResultPortClosed;
    for (int attempt = 0; attempt <= retries; ++attempt) {
        QByteArray reply;
        // The reply is taken on the worker thread during this very exchange:
        // the window's own polls, before or after it, are not mistaken for it.
        QMetaObject::invokeMethod(
            executor,
            [&] {
                const auto taken = QObject::connect(executor, &PlCommand::readCmdResult, executor,
                                                    [&reply](quint8, QByteArray r) { reply = r; }, Qt::DirectConnection);
                result = executor->queryAllStatParam();
                QObject::disconnect(taken);
            },
            Qt::BlockingQueuedConnection);
        if (result == ResultOk && UnitPoller::decodeStatus(reply, &cache)) {
            error.clear();
            return ExitCode::Done;
        }
        if (result == ResultPortClosed)
            break;
        result = ResultDataLost;
    }
    return failureFor(result);
}

int ExecutorUnitLink::write(const PlanWrite &w)
{
    quint8 result = ResultPortClosed;
    for (int attempt = 0; attempt <= retries; ++attempt) {
        QMetaObject::invokeMethod(
            executor, [&] { result = executor->execWrite(w.word, w.values); }, Qt::BlockingQueuedConnection);
        if (result == ResultOk || result == ResultDeviceError || result == ResultPortClosed || result == ResultRefused)
            break;
    }
    if (result == ResultOk) {
        error.clear();
        return ExitCode::Done;
    }
    return failureFor(result);
}

int ExecutorUnitLink::flash(const QString &, qint64)
{
    error = QStringLiteral("the window's test does not flash firmware (use the update window, or korvexctl test)");
    return ExitCode::Failed;
}
