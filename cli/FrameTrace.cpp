#include "FrameTrace.h"

#include "Console.h"

namespace FrameTrace {

QString requestLine(const QString &port, const PlCommand::Exchange &exchange)
{
    return QStringLiteral("%1 > %2").arg(port, QString::fromLatin1(exchange.request.toHex(' ').toUpper()));
}

QString replyLine(const QString &port, const PlCommand::Exchange &exchange)
{
    if (exchange.received.isEmpty())
        return QStringLiteral("%1 < nothing in %2 ms").arg(port).arg(exchange.elapsedMs);
    QString note = QStringLiteral("%1 bytes in %2 ms").arg(exchange.received.size()).arg(exchange.elapsedMs);
    if (!exchange.taken)
        note += QStringLiteral(", no valid reply");
    else if (exchange.noiseBytes > 0)
        note += QStringLiteral(", %1 of them line noise").arg(exchange.noiseBytes);
    return QStringLiteral("%1 < %2 (%3)").arg(port, QString::fromLatin1(exchange.received.toHex(' ').toUpper()), note);
}

QString retryLine(const QString &port, int attempt, int attempts, const QString &why)
{
    return QStringLiteral("%1 retry %2 of %3 (%4)").arg(port).arg(attempt).arg(attempts).arg(why);
}

void attach(PlCommand &executor, const QString &port)
{
    executor.setExchangeTrace([port](const PlCommand::Exchange &exchange) {
        Console::trace(requestLine(port, exchange));
        Console::trace(replyLine(port, exchange));
    });
}

} // namespace FrameTrace
