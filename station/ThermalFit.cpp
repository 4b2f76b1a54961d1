#include "ThermalFit.h"

#include <algorithm>
#include <cmath>

namespace ThermalFit {

namespace {

struct Candidate
{
    double deadTime;
    double timeConstant;
    double baseline = 0;
    double amplitude = 0;
    double sse = INFINITY;
};

// Baseline and amplitude by least squares for one dead time and time constant.
void solve(const QVector<Point> &points, Candidate &c)
{
    double n = 0, sg = 0, sgg = 0, sy = 0, sgy = 0;
    for (const Point &p : points) {
        const double g = p.t > c.deadTime ? 1.0 - std::exp(-(p.t - c.deadTime) / c.timeConstant) : 0.0;
        n += 1;
        sg += g;
        sgg += g * g;
        sy += p.value;
        sgy += g * p.value;
    }
    const double det = n * sgg - sg * sg;
    if (std::fabs(det) < 1e-12)
        return;
    c.amplitude = (n * sgy - sg * sy) / det;
    c.baseline = (sy - c.amplitude * sg) / n;
    c.sse = 0;
    for (const Point &p : points) {
        const double g = p.t > c.deadTime ? 1.0 - std::exp(-(p.t - c.deadTime) / c.timeConstant) : 0.0;
        const double r = p.value - c.baseline - c.amplitude * g;
        c.sse += r * r;
    }
}

Candidate search(const QVector<Point> &points, double deadLo, double deadHi, double tauLo, double tauHi, int steps)
{
    Candidate best{0, 1};
    for (int i = 0; i <= steps; ++i) {
        const double dead = deadLo + (deadHi - deadLo) * i / steps;
        for (int j = 0; j <= steps; ++j) {
            // Time constants on a logarithmic grid: the same relative resolution everywhere.
            Candidate c{dead, tauLo * std::pow(tauHi / tauLo, double(j) / steps)};
            solve(points, c);
            if (c.sse < best.sse)
                best = c;
        }
    }
    return best;
}

} // namespace

Result fit(const QVector<Point> &points, double stepCounts)
{
    Result r;
    double span = 0;
    int after = 0;
    for (const Point &p : points)
        if (p.t > 0) {
            span = std::max(span, p.t);
            ++after;
        }
    if (after < 8 || stepCounts == 0 || span <= 0)
        return r;
    Candidate best = search(points, 0, span / 3, span / 200, span * 2, 60);
    const double deadStep = span / 3 / 60;
    const double tauRatio = std::pow(400.0, 1.0 / 60);
    best = search(points, std::max(0.0, best.deadTime - deadStep), best.deadTime + deadStep,
                  best.timeConstant / tauRatio, best.timeConstant * tauRatio, 40);
    if (!std::isfinite(best.sse))
        return r;
    double mean = 0;
    for (const Point &p : points)
        mean += p.value;
    mean /= points.size();
    double sst = 0;
    for (const Point &p : points)
        sst += (p.value - mean) * (p.value - mean);
    if (sst <= 0)
        return r;
    r.valid = true;
    r.gain = best.amplitude / stepCounts;
    r.timeConstant = best.timeConstant;
    r.deadTime = best.deadTime;
    r.baseline = best.baseline;
    r.quality = 1.0 - best.sse / sst;
    return r;
}

} // namespace ThermalFit
