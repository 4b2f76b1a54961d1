#ifndef KORVEX_TRENDCHART_H
#define KORVEX_TRENDCHART_H

#include <QRectF>
#include <QtGlobal>

class QPainter;
class TrendStore;

// The three trend plots (temperatures, currents, fans) on one time axis,
// drawn with a painter as vector paths from the samples kept: each line
// broken at every gap, alarm spans as a band along the time axis, a legend
// above each plot. `unit` is the painter's length of one millimetre.
namespace TrendChart {

void paint(QPainter &painter, const QRectF &area, qreal unit, const TrendStore &store, qint64 from, qint64 to);

// The time span a chart of the samples shows: all of them, or only the last
// `lastMs` milliseconds when that is shorter (0: all).
void span(const TrendStore &store, qint64 lastMs, qint64 *from, qint64 *to);

} // namespace TrendChart

#endif
