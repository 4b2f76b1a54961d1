#include "TrendReduce.h"

#include <cmath>

namespace TrendReduce {

namespace {

// Indices [begin, end) of the samples to look at for a span.
void window(const TrendStore &store, qint64 from, qint64 to, int *begin, int *end)
{
    *begin = store.lowerBound(from);
    if (*begin > 0)
        --*begin;
    *end = store.lowerBound(to + 1);
    if (*end < store.size())
        ++*end;
}

void closeSegment(QVector<Segment> &lines, Segment &current)
{
    if (!current.isEmpty())
        lines.append(current);
    current.clear();
}

} // namespace

QVector<Segment> segments(const TrendStore &store, int channel, qint64 from, qint64 to, int columns)
{
    QVector<Segment> lines;
    if (channel < 0 || channel >= TrendChannelCount || to < from)
        return lines;
    columns = qMax(1, columns);
    int begin, end;
    window(store, from, to, &begin, &end);
    Segment current;

    if (end - begin <= 2 * columns) {
        for (int i = begin; i < end; ++i) {
            const TrendSample &s = store.at(i);
            if (s.valid)
                current.append(QPointF(double(s.msecs), double(s.values[channel])));
            else
                closeSegment(lines, current);
        }
        closeSegment(lines, current);
        return lines;
    }

    const double columnMs = double(to - from + 1) / columns;
    qint64 column = 0;
    bool inColumn = false;
    bool gapBefore = false;
    QPointF low, high;
    int lowAt = 0, highAt = 0;
    auto flush = [&] {
        if (!inColumn)
            return;
        if (lowAt == highAt)
            current.append(low);
        else if (lowAt < highAt)
            current << low << high;
        else
            current << high << low;
    };
    for (int i = begin; i < end; ++i) {
        const TrendSample &s = store.at(i);
        if (!s.valid) {
            gapBefore = true;
            continue;
        }
        const qint64 c = qint64(std::floor((s.msecs - from) / columnMs));
        const QPointF p(double(s.msecs), double(s.values[channel]));
        if (!inColumn || c != column) {
            flush();
            if (gapBefore)
                closeSegment(lines, current);
            column = c;
            inColumn = true;
            low = high = p;
            lowAt = highAt = i;
        } else {
            if (p.y() < low.y()) {
                low = p;
                lowAt = i;
            }
            if (p.y() > high.y()) {
                high = p;
                highAt = i;
            }
        }
        gapBefore = false;
    }
    flush();
    closeSegment(lines, current);
    return lines;
}

QVector<QPair<qint64, qint64>> alarmSpans(const TrendStore &store, quint8 mask, qint64 from, qint64 to,
                                          qint64 mergeMs)
{
    QVector<QPair<qint64, qint64>> spans;
    int begin, end;
    window(store, from, to, &begin, &end);
    bool open = false;
    qint64 start = 0, last = 0;
    auto finish = [&](qint64 stop) {
        if (!spans.isEmpty() && start - spans.last().second <= mergeMs)
            spans.last().second = stop;
        else
            spans.append(qMakePair(start, stop));
        open = false;
    };
    for (int i = begin; i < end; ++i) {
        const TrendSample &s = store.at(i);
        const bool set = s.valid && (s.alarms & mask);
        if (set && !open) {
            open = true;
            start = s.msecs;
        } else if (!set && open) {
            finish(s.msecs);
        }
        if (set)
            last = s.msecs;
    }
    if (open)
        finish(last);
    return spans;
}

bool yRange(const QVector<Segment> &lines, double *low, double *high)
{
    bool any = false;
    for (const Segment &line : lines) {
        for (const QPointF &p : line) {
            if (!any) {
                *low = *high = p.y();
                any = true;
            } else {
                *low = qMin(*low, p.y());
                *high = qMax(*high, p.y());
            }
        }
    }
    return any;
}

} // namespace TrendReduce
