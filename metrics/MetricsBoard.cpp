#include "MetricsBoard.h"

#include "MetricsExposition.h"

int MetricsBoard::addUnit(const QString &port)
{
    std::lock_guard<std::mutex> lock(mutex);
    UnitMetrics unit;
    unit.port = port;
    unitStates.append(unit);
    return unitStates.size() - 1;
}

void MetricsBoard::sample(int unit, const QDateTime &time, const DevStatusCache &cache)
{
    std::lock_guard<std::mutex> lock(mutex);
    UnitMetrics &u = unitStates[unit];
    u.seen = true;
    u.up = true;
    u.last = cache;
    u.lastSampleTime = time;
    ++u.polls;
}

void MetricsBoard::lost(int unit, const QDateTime &)
{
    std::lock_guard<std::mutex> lock(mutex);
    UnitMetrics &u = unitStates[unit];
    u.up = false;
    ++u.polls;
    ++u.lostPolls;
}

QVector<UnitMetrics> MetricsBoard::units() const
{
    std::lock_guard<std::mutex> lock(mutex);
    // Implicitly shared: the poll's next write detaches its own copy.
    return unitStates;
}

QByteArray MetricsBoard::text() const
{
    return MetricsExposition::text(units());
}
