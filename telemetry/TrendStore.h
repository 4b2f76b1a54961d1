#ifndef KORVEX_TRENDSTORE_H
#define KORVEX_TRENDSTORE_H

#include "TrendSample.h"

#include <vector>

// The trend window's samples, oldest first, in a ring of fixed capacity: when
// it is full the oldest sample drops off. Times never run backwards (a sample
// stamped before the newest one is moved to the newest one's time), so the
// samples can be searched by time.
class TrendStore
{
public:
    // 24 hours at two polls a second.
    static constexpr int DefaultCapacity = 24 * 3600 * 2;

    explicit TrendStore(int capacity = DefaultCapacity);

    void append(const TrendSample &sample);
    // A gap ends the line: lost reply or closed port. Repeated gaps are kept
    // as one, so a long closed port costs a single sample.
    void appendGap(qint64 msecs);
    void clear();

    int size() const { return count; }
    int capacity() const { return int(ring.size()); }
    bool isEmpty() const { return count == 0; }
    // i = 0 is the oldest sample kept.
    const TrendSample &at(int i) const { return ring[(first + i) % ring.size()]; }
    const TrendSample &newest() const { return at(count - 1); }

    // Index of the first sample at or after msecs (size() when none).
    int lowerBound(qint64 msecs) const;
    // The valid sample nearest to msecs, or -1 when there is none.
    int nearestValid(qint64 msecs) const;

private:
    std::vector<TrendSample> ring;
    int first = 0;
    int count = 0;
};

#endif
