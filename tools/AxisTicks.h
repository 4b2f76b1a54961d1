#ifndef KORVEX_AXISTICKS_H
#define KORVEX_AXISTICKS_H

#include <QString>
#include <QtGlobal>

namespace QtCharts {
class QCategoryAxis;
class QValueAxis;
}

// Axis scales that read right: ticks at round steps (1, 2 or 5 times a
// power of ten), labels with just the decimals the step needs, so no two
// labels repeat and each names its own gridline.
namespace AxisTicks {

struct Scale
{
    double low = 0;
    double high = 1;
    double step = 0.2;
    int decimals = 1;
};

// About `intervals` round steps over [low, high], widened to whole steps.
// A range narrower than minSpan (a flat line) is widened to minSpan around
// its middle first, so it still gets distinct labels.
Scale niceScale(double low, double high, double minSpan, int intervals = 5);

// "%.Nf" for the scale's decimals.
QString labelFormat(const Scale &scale);

// Sets the axis's range, a tick at every multiple of the step and the labels.
void apply(QtCharts::QValueAxis *axis, const Scale &scale);

// A time step (whole seconds, minutes or hours) for about `intervals` ticks
// over spanMs.
qint64 timeStep(qint64 spanMs, int intervals = 6);

// Labels a time axis over [fromMs, toMs] (ms since the epoch) at every whole
// multiple of the time step in local time: "hh:mm:ss", or "MM-dd hh:mm" for
// spans over six hours.
void applyTime(QtCharts::QCategoryAxis *axis, qint64 fromMs, qint64 toMs);

} // namespace AxisTicks

#endif
