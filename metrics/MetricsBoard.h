#ifndef KORVEX_METRICSBOARD_H
#define KORVEX_METRICSBOARD_H

#include "UnitMetrics.h"

#include <QByteArray>
#include <QVector>

#include <mutex>

// The latest state of every watched unit, written by the poll and read by
// the HTTP server's thread. A reader copies the states under the lock and
// writes the text outside it, so a scrape holds up a poll only for a copy.
class MetricsBoard
{
public:
    // A unit to be watched; it shows korvex_up 0 until it answers.
    // Returns its index for sample() and lost().
    int addUnit(const QString &port);
    void sample(int unit, const QDateTime &time, const DevStatusCache &cache);
    void lost(int unit, const QDateTime &time);

    QVector<UnitMetrics> units() const;
    // The exposition text of all units now.
    QByteArray text() const;

private:
    mutable std::mutex mutex;
    QVector<UnitMetrics> unitStates;
};

#endif
