#include "TrendStore.h"

TrendStore::TrendStore(int capacity) : ring(size_t(qMax(1, capacity))) {}

void TrendStore::append(const TrendSample &sample)
{
    TrendSample s = sample;
    if (count > 0 && s.msecs < newest().msecs)
        s.msecs = newest().msecs; // the wall clock stepped back
    if (count < int(ring.size())) {
        ring[(first + count) % ring.size()] = s;
        ++count;
    } else {
        ring[first] = s; // overwrite the oldest
        first = (first + 1) % int(ring.size());
    }
}

void TrendStore::appendGap(qint64 msecs)
{
    if (count > 0 && !newest().valid)
        return;
    append(TrendSample::gap(msecs));
}

void TrendStore::clear()
{
    first = 0;
    count = 0;
}

int TrendStore::lowerBound(qint64 msecs) const
{
    int lo = 0;
    int hi = count;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (at(mid).msecs < msecs)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int TrendStore::nearestValid(qint64 msecs) const
{
    if (count == 0)
        return -1;
    const int right = lowerBound(msecs);
    int after = right;
    while (after < count && !at(after).valid)
        ++after;
    int before = right - 1;
    while (before >= 0 && !at(before).valid)
        --before;
    if (before < 0)
        return after < count ? after : -1;
    if (after >= count)
        return before;
    return msecs - at(before).msecs <= at(after).msecs - msecs ? before : after;
}
