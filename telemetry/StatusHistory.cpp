#include "StatusHistory.h"

StatusHistory::StatusHistory(int capacity) : ring(size_t(qMax(1, capacity))) {}

void StatusHistory::keep(Poll poll)
{
    const int capacity = int(ring.size());
    if (count < capacity) {
        ring[size_t((first + count) % capacity)] = std::move(poll);
        ++count;
    } else {
        ring[size_t(first)] = std::move(poll);
        first = (first + 1) % capacity;
    }
}

bool StatusHistory::sample(const QDateTime &time, const DevStatusCache &cache)
{
    keep({time, true, cache});
    return true;
}

bool StatusHistory::lost(const QDateTime &time)
{
    keep({time, false, DevStatusCache()});
    return true;
}

bool StatusHistory::replay(WatchOutput &output) const
{
    for (int i = 0; i < count; ++i) {
        const Poll &poll = ring[size_t((first + i) % int(ring.size()))];
        if (!(poll.valid ? output.sample(poll.time, poll.cache) : output.lost(poll.time)))
            return false;
    }
    return true;
}
