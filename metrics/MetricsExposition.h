#ifndef KORVEX_METRICSEXPOSITION_H
#define KORVEX_METRICSEXPOSITION_H

#include "UnitMetrics.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The Prometheus text exposition format (version 0.0.4) of the watched
// units: every series family once, with # HELP and # TYPE, one line per unit
// in it. The status fields' names, units and help come from the status
// schema; the watcher's own series (korvex_up, the poll counts, the time of
// the last sample, korvex_unit_info) are written here. Every series carries
// the labels port and serial.
namespace MetricsExposition {

// The value of the Content-Type header for this text.
extern const char *const ContentType;

QByteArray text(const QVector<UnitMetrics> &units);

// A label value between its quotes: backslash, double quote and line feed escaped.
QString escapeLabelValue(const QString &value);
// A sample value: integers in full, other numbers as the shortest text that
// reads back to the same double, NaN and ±Inf as Prometheus spells them.
QByteArray number(double value);

} // namespace MetricsExposition

#endif
