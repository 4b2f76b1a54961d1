#ifndef KORVEX_REPORTTICKS_H
#define KORVEX_REPORTTICKS_H

#include <QVector>
#include <QtGlobal>

// Axis marks of the printed charts: round values (1, 2 or 5 times a power of
// ten) and times at whole seconds, minutes or hours.
namespace ReportTicks {

struct Scale
{
    double low;
    double high;
    double step;
};

// About `count` intervals over [low, high], widened to whole steps; a span
// smaller than minSpan is widened around its middle first.
Scale values(double low, double high, double minSpan, int count);
// Tick times (ms since the epoch) in [from, to], about `count` of them.
QVector<qint64> times(qint64 from, qint64 to, int count);

} // namespace ReportTicks

#endif
