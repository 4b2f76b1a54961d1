#include "ReportTicks.h"

#include <QDateTime>

#include <cmath>

namespace ReportTicks {

Scale values(double low, double high, double minSpan, int count)
{
    if (high - low < minSpan) {
        const double middle = (low + high) / 2;
        low = middle - minSpan / 2;
        high = middle + minSpan / 2;
    }
    const double rough = (high - low) / qMax(1, count);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= rough)
            break;
    }
    return {std::floor(low / step) * step, std::ceil(high / step) * step, step};
}

QVector<qint64> times(qint64 from, qint64 to, int count)
{
    static const qint64 steps[] = {1000, 2000, 5000, 10000, 15000, 30000, 60000, 120000, 300000, 600000,
                                   900000, 1800000, 3600000, 7200000, 10800000, 21600000, 43200000};
    const qint64 rough = (to - from) / qMax(1, count);
    qint64 step = steps[sizeof steps / sizeof steps[0] - 1];
    for (qint64 s : steps) {
        if (s >= rough) {
            step = s;
            break;
        }
    }
    // Whole steps of local time, so that a label reads 10:15, not 10:14:37.
    const qint64 offset = qint64(QDateTime::fromMSecsSinceEpoch(from).offsetFromUtc()) * 1000;
    QVector<qint64> marks;
    for (qint64 t = ((from + offset + step - 1) / step) * step - offset; t <= to; t += step)
        marks << t;
    return marks;
}

} // namespace ReportTicks
