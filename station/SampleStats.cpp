#include "SampleStats.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace SampleStats {

double compute(PlanStep::Statistic statistic, const QVector<Point> &points)
{
    if (points.isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    double sum = 0, lo = points.first().value, hi = lo;
    for (const Point &p : points) {
        sum += p.value;
        lo = std::min(lo, p.value);
        hi = std::max(hi, p.value);
    }
    const double mean = sum / points.size();
    switch (statistic) {
    case PlanStep::Statistic::Value: return points.last().value;
    case PlanStep::Statistic::Mean: return mean;
    case PlanStep::Statistic::Min: return lo;
    case PlanStep::Statistic::Max: return hi;
    case PlanStep::Statistic::Spread: return hi - lo;
    case PlanStep::Statistic::Slope: {
        if (points.size() < 2)
            return std::numeric_limits<double>::quiet_NaN();
        double tMean = 0;
        for (const Point &p : points)
            tMean += p.ms / 60000.0;
        tMean /= points.size();
        double sxy = 0, sxx = 0;
        for (const Point &p : points) {
            const double dt = p.ms / 60000.0 - tMean;
            sxy += dt * (p.value - mean);
            sxx += dt * dt;
        }
        return sxx > 0 ? sxy / sxx : std::numeric_limits<double>::quiet_NaN();
    }
    }
    return mean;
}

QString unitOf(PlanStep::Statistic statistic, const QString &unit)
{
    return statistic == PlanStep::Statistic::Slope ? unit + QStringLiteral("/min") : unit;
}

} // namespace SampleStats
