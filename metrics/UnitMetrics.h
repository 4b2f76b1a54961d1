#ifndef KORVEX_UNITMETRICS_H
#define KORVEX_UNITMETRICS_H

#include "DevStatusCache.h"

#include <QDateTime>
#include <QString>

// What the metrics endpoint knows of one watched unit: its port, the last
// sample it answered (kept while it is lost, so that its series never
// vanish) and the watcher's own counts.
struct UnitMetrics
{
    QString port;
    bool seen = false;       // answered at least once; before that only korvex_up is shown
    bool up = false;         // the last poll was answered
    DevStatusCache last;     // the last answered sample
    QDateTime lastSampleTime;
    qint64 polls = 0;
    qint64 lostPolls = 0;
};

#endif
