#ifndef KORVEX_SAMPLESTATS_H
#define KORVEX_SAMPLESTATS_H

#include "TestPlan.h"

#include <QVector>

// A statistic of one field over a window of samples (time in ms, value in
// the field's unit). The slope is the least-squares line's, per minute.
// With no sample every statistic is NaN (and fails every limit).
namespace SampleStats {

struct Point
{
    qint64 ms;
    double value;
};

double compute(PlanStep::Statistic statistic, const QVector<Point> &points);
// The unit of a statistic of a field in `unit`: a slope is per minute.
QString unitOf(PlanStep::Statistic statistic, const QString &unit);

} // namespace SampleStats

#endif
