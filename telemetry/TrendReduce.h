#ifndef KORVEX_TRENDREDUCE_H
#define KORVEX_TRENDREDUCE_H

#include "TrendStore.h"

#include <QPair>
#include <QPointF>
#include <QVector>

// What the charts draw of a time span: lines broken at gaps, at most two
// points (the minimum and the maximum) per pixel column when the span holds
// more samples than the plot has pixels, and the spans of an alarm.
namespace TrendReduce {

using Segment = QVector<QPointF>; // x: milliseconds since the epoch

// The lines of one channel between from and to (inclusive, plus the nearest
// sample outside on either side so lines run to the plot's edges).
// Up to two samples per column every sample is drawn and every gap breaks the
// line. Beyond that each column contributes its smallest and largest value in
// the order they occurred; a gap breaks the line when it lies between two
// columns, while a gap inside one column is covered by that column's stroke.
QVector<Segment> segments(const TrendStore &store, int channel, qint64 from, qint64 to, int columns);

// [start, end] of each stretch where (alarms & mask) != 0 among the samples
// between from and to. A span ends at the first sample without the alarm, at
// a gap, or at the last sample with it. Spans less than mergeMs apart merge.
QVector<QPair<qint64, qint64>> alarmSpans(const TrendStore &store, quint8 mask, qint64 from, qint64 to,
                                          qint64 mergeMs);

// Smallest and largest y of the segments; false when they hold no point.
bool yRange(const QVector<Segment> &lines, double *low, double *high);

} // namespace TrendReduce

#endif
