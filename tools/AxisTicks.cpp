#include "AxisTicks.h"

#include <QDateTime>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QValueAxis>

#include <cmath>

using namespace QtCharts;

namespace AxisTicks {

Scale niceScale(double low, double high, double minSpan, int intervals)
{
    if (high < low)
        qSwap(low, high);
    if (high - low < minSpan) {
        const double middle = (low + high) / 2;
        low = middle - minSpan / 2;
        high = middle + minSpan / 2;
    }
    Scale s;
    const double raw = (high - low) / qMax(1, intervals);
    if (!(raw > 0) || !std::isfinite(raw)) {
        s.low = low - 0.5;
        s.high = high + 0.5;
        return s;
    }
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double fraction = raw / magnitude;
    s.step = (fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10) * magnitude;
    // A hair of tolerance: 25.000000001 must not open a further step.
    s.low = std::floor(low / s.step + 1e-9) * s.step;
    s.high = std::ceil(high / s.step - 1e-9) * s.step;
    s.decimals = qMax(0, int(-std::floor(std::log10(s.step) + 1e-9)));
    return s;
}

QString labelFormat(const Scale &scale)
{
    return QStringLiteral("%.%1f").arg(scale.decimals);
}

void apply(QValueAxis *axis, const Scale &scale)
{
    // Every change makes the chart recompute its lines: change only what moved.
    if (axis->tickType() != QValueAxis::TicksDynamic)
        axis->setTickType(QValueAxis::TicksDynamic);
    if (axis->tickAnchor() != 0)
        axis->setTickAnchor(0);
    if (axis->tickInterval() != scale.step)
        axis->setTickInterval(scale.step);
    const QString format = labelFormat(scale);
    if (axis->labelFormat() != format)
        axis->setLabelFormat(format);
    if (axis->min() != scale.low || axis->max() != scale.high)
        axis->setRange(scale.low, scale.high);
}

qint64 timeStep(qint64 spanMs, int intervals)
{
    static const qint64 steps[] = {
        1000, 2000, 5000, 10000, 15000, 30000,                        // seconds
        60000, 2 * 60000, 5 * 60000, 10 * 60000, 15 * 60000, 30 * 60000, // minutes
        3600000, 2 * 3600000, 3 * 3600000, 6 * 3600000, 12 * 3600000, 24 * 3600000};
    const qint64 wanted = spanMs / qMax(1, intervals);
    for (qint64 step : steps) {
        if (step >= wanted)
            return step;
    }
    return steps[sizeof steps / sizeof steps[0] - 1];
}

void applyTime(QCategoryAxis *axis, qint64 fromMs, qint64 toMs)
{
    const qint64 step = timeStep(toMs - fromMs);
    const QString format = toMs - fromMs > 6 * 3600 * 1000 ? QStringLiteral("MM-dd hh:mm") : QStringLiteral("hh:mm:ss");
    // Whole minutes and hours of the local clock, whatever the zone's offset.
    const qint64 offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(fromMs).offsetFromUtc()) * 1000;
    QStringList labels;
    QVector<qint64> ticks;
    for (qint64 tick = ((fromMs + offsetMs + step - 1) / step) * step - offsetMs; tick <= toMs; tick += step) {
        ticks << tick;
        labels << QDateTime::fromMSecsSinceEpoch(tick).toString(format);
    }
    // Most redraws move the range by a poll and keep the ticks: rebuilding
    // them would make the chart lay itself out anew each time.
    const QStringList present = axis->categoriesLabels();
    bool same = present == labels;
    for (int i = 0; same && i < ticks.size(); ++i)
        same = axis->endValue(labels[i]) == double(ticks[i]);
    if (!same) {
        for (const QString &label : present)
            axis->remove(label);
        for (int i = 0; i < ticks.size(); ++i)
            axis->append(labels[i], double(ticks[i]));
    }
    axis->setStartValue(double(fromMs));
    axis->setRange(double(fromMs), double(toMs));
}

} // namespace AxisTicks
