#ifndef KORVEX_FRAMETRACE_H
#define KORVEX_FRAMETRACE_H

#include "PlCommand.h"

#include <QString>

// korvexctl -v: each exchange on the line as two lines on stderr, the
// request and what came back, e.g.
//   korvexctl: /dev/ttyUSB0 > 01 00 C1 01 91 88
//   korvexctl: /dev/ttyUSB0 < 01 00 C1 … (59 bytes in 14 ms)
//   korvexctl: /dev/ttyUSB0 < nothing in 113 ms
namespace FrameTrace {

QString requestLine(const QString &port, const PlCommand::Exchange &exchange);
QString replyLine(const QString &port, const PlCommand::Exchange &exchange);
// A lost reply asked for again: "PORT retry 2 of 3 (no valid reply)".
QString retryLine(const QString &port, int attempt, int attempts, const QString &why);

// Writes both lines of every exchange of executor through Console::trace.
void attach(PlCommand &executor, const QString &port);

} // namespace FrameTrace

#endif
