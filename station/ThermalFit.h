#ifndef KORVEX_THERMALFIT_H
#define KORVEX_THERMALFIT_H

#include <QVector>

// Identifies a unit's thermal response to a step of the TEC drive as a
// first-order-plus-dead-time model:
//   y(t) = y0                                    for t < deadTime
//   y(t) = y0 + gain * du * (1 - e^-(t - deadTime)/timeConstant)   after
// with t in seconds from the step and du the step in drive counts. The
// baseline y0 and the gain come from linear least squares for every
// (deadTime, timeConstant) of a grid that is searched twice, the second
// time finer around the best; fit quality is R² of the whole series.
namespace ThermalFit {

struct Point
{
    double t;     // s from the step (negative: before it)
    double value; // °C
};

struct Result
{
    bool valid = false; // too few points, or nothing moved
    double gain = 0;          // °C per drive count
    double timeConstant = 0;  // s
    double deadTime = 0;      // s
    double baseline = 0;      // °C
    double quality = 0;       // R², 1 is a perfect fit
};

Result fit(const QVector<Point> &points, double stepCounts);

} // namespace ThermalFit

#endif
